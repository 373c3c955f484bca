#include "MSlpGw.h"
#include "MSlpGwObserver.h"
#include "SlpGwFactory.h"
#include "SlpGwRequestParam.h"
#include "SlpGwSettings.h"
#include "SlpGwTypes.h"
#include "TempRoot.h"

#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

// A minimal HTTP/1.1 server on loopback: records each request and answers it
// as told, or stays silent, or drops the connection.
class LoopbackServer : public QTcpServer
{
public:
    enum Mode { Answer, Silent, Drop };
    struct Request { QByteArray head; QByteArray body; };

    Mode mode = Answer;
    int status = 200;
    QByteArray answer;
    QList<Request> requests;

    LoopbackServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }

    QByteArray header(int index, const QByteArray &name) const
    {
        for (const QByteArray &line : requests.at(index).head.split('\n')) {
            const int colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
                return line.mid(colon + 1).trimmed();
        }
        return QByteArray();
    }

private:
    QHash<QTcpSocket *, QByteArray> m_pending;

    void read(QTcpSocket *socket)
    {
        QByteArray &data = m_pending[socket];
        data += socket->readAll();
        const int end = data.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = data.left(end);
        const QByteArray lengthHeader = "content-length:";
        const int at = head.toLower().indexOf(lengthHeader);
        const int length = at < 0 ? 0 : head.mid(at + lengthHeader.size()).split('\r').first().trimmed().toInt();
        if (data.size() < end + 4 + length)
            return;
        requests.append({head, data.mid(end + 4, length)});
        m_pending.remove(socket);
        if (mode == Drop) {
            socket->close();
        } else if (mode == Answer) {
            socket->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: text/xml\r\n"
                          "Connection: close\r\nContent-Length: " + QByteArray::number(answer.size())
                          + "\r\n\r\n" + answer);
            socket->disconnectFromHost();
        }
    }
};

// Records every callback as a line ("request 5", "piece 2301 7 5", "error 2203 5",
// "status 3") and, asked for data, sends its parts like the daemon does.
class Recorder : public MSlpGwObserver
{
public:
    MSlpGw *gateway = nullptr;
    QList<QByteArray> parts;
    QList<int> sendResults;
    QStringList events;
    QByteArray received;
    bool cancelOnFirstPiece = false;

    void RequestData(uint32_t id) override
    {
        events << QStringLiteral("request %1").arg(id);
        for (int i = 0; i < parts.size(); ++i)
            sendResults << gateway->SendData(parts[i].constData(), parts[i].size(), i == parts.size() - 1, id);
    }
    void ReceiveData(const char *data, uint32_t length, uint32_t id, int status) override
    {
        events << QStringLiteral("piece %1 %2 %3").arg(status).arg(length).arg(id);
        received.append(data, length);
        if (cancelOnFirstPiece)
            gateway->cancel(id);
    }
    void ConnectionStatusChanged(uint32_t status) override { events << QStringLiteral("status %1").arg(status); }
    void ErrorCallback(int status, uint32_t id) override { events << QStringLiteral("error %1 %2").arg(status).arg(id); }
};

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + seed) & 0xff);
    return bytes;
}

} // namespace

class TestSlpGwGateway : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void uploadRoundTrip_data();
    void uploadRoundTrip();
    void attachWaitsForAllowedNetwork_data();
    void attachWaitsForAllowedNetwork();
    void transferFailures_data();
    void transferFailures();
    void cancelEndsTransactionSilently();
    void configuredRefusals();
    void badConfigurationFallsBackToDefaults();

private:
    // Atomically, so that the polling gateway never sees half a file.
    void writeConfig(const QByteArray &lines, quint16 port = 0);
    void connectGateway();
    uint32_t start(bool attach, uint32_t usage, int expectedCode = 0);

    std::unique_ptr<TempRoot> m_root;
    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<MSlpGw> m_gateway;
    Recorder m_recorder;
    SlpGwRequestParam m_params;
};

void TestSlpGwGateway::init()
{
    m_root = std::make_unique<TempRoot>();
    m_server = std::make_unique<LoopbackServer>();
    m_recorder = Recorder();
    m_params = SlpGwRequestParam();
    m_params.setStringAttribute(ESlpGwAttrRequestType, "uploadXYZ", 6);
    m_params.setStringAttribute(ESlpGwAttrContentType, "application/octet-stream", 24);
    m_params.setPtrAttribute(ESlpGwAttrObserver, static_cast<MSlpGwObserver *>(&m_recorder));
    writeConfig("network=wlan\n");
}

void TestSlpGwGateway::cleanup()
{
    m_gateway.reset();
    m_server.reset();
    m_root.reset();
}

void TestSlpGwGateway::writeConfig(const QByteArray &lines, quint16 port)
{
    const QString path = m_root->path(QStringLiteral("/etc/slpgw/slpgw.conf"));
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("poll_interval_ms=20\nrequest_data_delay_ms=0\nanswer_timeout_ms=300\nserver_url=http://127.0.0.1:"
               + QByteArray::number(port ? port : m_server->serverPort()) + "/fp\n" + lines);
    QVERIFY(file.commit());
}

void TestSlpGwGateway::connectGateway()
{
    m_gateway.reset(SlpGwFactory::createSlpGw(1));
    QVERIFY(m_gateway);
    m_recorder.gateway = m_gateway.get();
    QCOMPARE(m_gateway->Connect(m_params), 0);
}

uint32_t TestSlpGwGateway::start(bool attach, uint32_t usage, int expectedCode)
{
    uint32_t id = 0;
    m_params.setUIntAttribute(ESlpGwAttrNetworkUsage, usage);
    const int code = attach ? m_gateway->attachToSend(id, m_params) : m_gateway->PrepareToSend(id, m_params);
    if (code != expectedCode)
        qWarning() << "gateway code" << code << "instead of" << expectedCode;
    return code == expectedCode ? id : 0;
}

void TestSlpGwGateway::uploadRoundTrip_data()
{
    QTest::addColumn<QList<int>>("partSizes");
    QTest::addColumn<int>("answerSize");
    QTest::addColumn<QByteArray>("pieceSetting");
    QTest::addColumn<QStringList>("pieces");   // "status length" of each ReceiveData

    QTest::newRow("empty report, one piece") << QList<int>{0} << 50 << QByteArray()
                                             << QStringList{"2303 50"};
    QTest::newRow("one part, pieces of 4") << QList<int>{100} << 10 << QByteArray("receive_piece_size=4\n")
                                           << QStringList{"2301 4", "2301 4", "2303 2"};
    QTest::newRow("three parts, empty end") << QList<int>{16384, 16384, 100} << 700
                                            << QByteArray("receive_piece_size=300\nreceive_end_empty=1\n")
                                            << QStringList{"2301 300", "2301 300", "2301 100", "2303 0"};
    QTest::newRow("empty answer") << QList<int>{5} << 0 << QByteArray() << QStringList{"2303 0"};
}

void TestSlpGwGateway::uploadRoundTrip()
{
    QFETCH(QList<int>, partSizes);
    QFETCH(int, answerSize);
    QFETCH(QByteArray, pieceSetting);
    QFETCH(QStringList, pieces);
    writeConfig(pieceSetting);
    m_server->answer = pattern(answerSize, 7);
    QByteArray report;
    for (int i = 0; i < partSizes.size(); ++i) {
        m_recorder.parts << pattern(partSizes[i], i);
        report += m_recorder.parts.last();
    }
    connectGateway();
    const uint32_t id = start(false, ESlpGwNwUsageAny);
    QVERIFY(id != 0);

    QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.join(' ').contains(QStringLiteral("2303")), 10000);
    QCOMPARE(m_recorder.sendResults, QList<int>(partSizes.size(), 0));
    QCOMPARE(m_server->requests.size(), 1);
    QVERIFY(m_server->requests[0].head.startsWith("POST /fp HTTP/1.1"));
    QCOMPARE(m_server->requests[0].body, report);
    QCOMPARE(m_server->header(0, "Content-Type"), QByteArray("application/octet-stream"));
    QCOMPARE(m_server->header(0, "X-SlpGw-Request-Type"), QByteArray("upload"));
    QStringList expected{QStringLiteral("request %1").arg(id)};
    for (const QString &piece : pieces)
        expected << QStringLiteral("piece %1 %2").arg(piece).arg(id);
    QCOMPARE(m_recorder.events, expected);
    QCOMPARE(m_recorder.received, m_server->answer);
}

void TestSlpGwGateway::attachWaitsForAllowedNetwork_data()
{
    QTest::addColumn<uint32_t>("usage");
    QTest::addColumn<QStringList>("networks");   // after "none", the last one allows the attach
    QTest::addColumn<QStringList>("statuses");

    QTest::newRow("OnlyFree") << uint32_t(OnlyFree) << QStringList{"home", "roaming", "wlan"}
                              << QStringList{"status 1", "status 5", "status 3"};
    QTest::newRow("FreeAndHomeNw") << uint32_t(FreeAndHomeNw) << QStringList{"roaming", "home"}
                                   << QStringList{"status 5", "status 1"};
}

void TestSlpGwGateway::attachWaitsForAllowedNetwork()
{
    QFETCH(uint32_t, usage);
    QFETCH(QStringList, networks);
    QFETCH(QStringList, statuses);
    writeConfig("network=none\n");
    connectGateway();
    QCOMPARE(m_gateway->connectionStatus(), 0u);
    const uint32_t id = start(true, usage);
    QVERIFY(id != 0);
    // A prepare does not wait.
    const uint32_t prepare = start(false, ESlpGwNwUsageAny);
    const QString prepareFailed = QStringLiteral("error %1 %2").arg(ESlpGwErrNoConnection).arg(prepare);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder.events, QStringList{prepareFailed}, 10000);

    for (int i = 0; i < networks.size(); ++i) {
        writeConfig("network=" + networks[i].toLatin1() + "\n");
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.size() > i + 1, 10000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder.events.size(), networks.size() + 2, 10000);
    // A RequestData on a network the attach may not use would come right
    // after that network's status change, before the next one.
    QCOMPARE(m_recorder.events, QStringList{prepareFailed} + statuses
                                    + QStringList{QStringLiteral("request %1").arg(id)});
}

void TestSlpGwGateway::transferFailures_data()
{
    QTest::addColumn<int>("mode");   // a server mode; -1 no server, -2 no data sent
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<int>("code");

    QTest::newRow("refused") << -1 << 0 << QByteArray() << int(ESlpGwErrRemoteServerDown);
    QTest::newRow("no data handed over") << -2 << 0 << QByteArray() << int(ESlpGwErrCanceled);
    QTest::newRow("HTTP 500") << int(LoopbackServer::Answer) << 500 << QByteArray() << int(ESlpGwErrRemoteServerDown);
    QTest::newRow("HTTP 403") << int(LoopbackServer::Answer) << 403 << QByteArray() << int(ESlpGwErrServerPermissionDenied);
    QTest::newRow("HTTP 404") << int(LoopbackServer::Answer) << 404 << QByteArray() << int(ESlpGwErrServerNotFound);
    QTest::newRow("HTTP 302") << int(LoopbackServer::Answer) << 302 << QByteArray() << int(ESlpGwErrProtocolNotSupported);
    QTest::newRow("dropped") << int(LoopbackServer::Drop) << 0 << QByteArray() << int(ESlpGwErrEarlyDisconnect);
    QTest::newRow("silent") << int(LoopbackServer::Silent) << 0 << QByteArray() << int(ESlpGwErrConnectionLost);
    QTest::newRow("network lost") << int(LoopbackServer::Silent) << 0 << QByteArray("network=none\n")
                                  << int(ESlpGwErrNoConnection);
}

void TestSlpGwGateway::transferFailures()
{
    QFETCH(int, mode);
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, setting);
    QFETCH(int, code);
    if (mode == -1) {
        const quint16 port = m_server->serverPort();
        m_server->close();
        writeConfig("network=wlan\n", port);
    } else if (mode >= 0) {
        m_server->mode = LoopbackServer::Mode(mode);
        m_server->status = httpStatus;
        m_server->answer = "<SLP-FP/>";
    }
    if (mode != -2)
        m_recorder.parts << pattern(10, 1);
    if (!setting.isEmpty())
        writeConfig("answer_timeout_ms=60000\n");
    connectGateway();
    const uint32_t id = start(false, ESlpGwNwUsageAny);
    if (!setting.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests.size(), 1, 10000);
        writeConfig(setting);
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.join(' ').contains(QStringLiteral("error")), 10000);
    QCOMPARE(m_recorder.events.filter(QRegularExpression(QStringLiteral("^(request|piece|error)"))),
             (QStringList{QStringLiteral("request %1").arg(id), QStringLiteral("error %1 %2").arg(code).arg(id)}));
}

void TestSlpGwGateway::cancelEndsTransactionSilently()
{
    m_server->mode = LoopbackServer::Silent;
    m_recorder.parts << pattern(10, 2);
    connectGateway();
    const uint32_t posting = start(false, ESlpGwNwUsageAny);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests.size(), 1, 10000);
    QCOMPARE(m_gateway->cancel(posting), 0);
    QCOMPARE(m_gateway->cancel(posting), int(ESlpGwErrNotFound));

    // Started later with the same answer time-out: once it has timed out, the
    // cancelled transfer would have, too.
    const uint32_t later = start(false, ESlpGwNwUsageAny);
    QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.contains(QStringLiteral("error 2208 %1").arg(later)), 10000);
    QCOMPARE(m_recorder.events.filter(QRegularExpression(QStringLiteral(" %1$").arg(posting))),
             QStringList{QStringLiteral("request %1").arg(posting)});

    // Cancelled while the answer comes in: no further piece.
    m_recorder.events.clear();
    m_server->mode = LoopbackServer::Answer;
    m_server->answer = pattern(40, 3);
    writeConfig("receive_piece_size=10\n");
    m_recorder.cancelOnFirstPiece = true;
    const uint32_t answered = start(false, ESlpGwNwUsageAny);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder.events.size(), 2, 10000);
    m_recorder.cancelOnFirstPiece = false;

    // Waiting attaches: only the one not cancelled is started.
    writeConfig("receive_piece_size=10\nnetwork=none\n");
    const uint32_t first = start(true, OnlyFree);
    const uint32_t second = start(true, OnlyFree);
    QCOMPARE(m_gateway->cancel(first), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.contains(QStringLiteral("status 0")), 10000);
    writeConfig("receive_piece_size=10\nnetwork=wlan\n");
    QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.contains(QStringLiteral("request %1").arg(second)), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.join(' ').contains(QStringLiteral("2303")), 10000);
    QCOMPARE(m_recorder.events, (QStringList{QStringLiteral("request %1").arg(answered),
                                             QStringLiteral("piece 2301 10 %1").arg(answered),
                                             "status 0", "status 3",
                                             QStringLiteral("request %1").arg(second),
                                             QStringLiteral("piece 2301 10 %1").arg(second),
                                             QStringLiteral("piece 2301 10 %1").arg(second),
                                             QStringLiteral("piece 2301 10 %1").arg(second),
                                             QStringLiteral("piece 2303 10 %1").arg(second)}));
}

void TestSlpGwGateway::configuredRefusals()
{
    writeConfig("fail_connect=2204\n");
    m_gateway.reset(SlpGwFactory::createSlpGw(1));
    QCOMPARE(m_gateway->Connect(m_params), int(ESlpGwErrNoConnection));
    uint32_t id = 0;
    QCOMPARE(m_gateway->attachToSend(id, m_params), int(ESlpGwErrGeneral));   // not connected

    // The queued failures are shared by gateway objects (a reconnect creates a
    // new one) and start again with every write of the file.
    for (int round = 0; round < 2; ++round) {
        writeConfig("fail_next_calls=2001, 2001\n");
        connectGateway();
        QCOMPARE(start(true, OnlyFree, ESlpGwErrGeneral), 0u);
        connectGateway();
        QCOMPARE(start(false, ESlpGwNwUsageAny, ESlpGwErrGeneral), 0u);
        QVERIFY(start(true, FreeAndHomeNw) != 0);
    }
    QCOMPARE(m_gateway->SendData("x", 1, true, 999999), int(ESlpGwErrNotFound));
    writeConfig("network=none\n");
    const uint32_t waiting = start(true, OnlyFree);
    QCOMPARE(m_gateway->SendData("x", 1, true, waiting), int(ESlpGwErrInvalidArguments));
    QCOMPARE(start(true, 7, ESlpGwErrInvalidArguments), 0u);

    QCOMPARE(SlpGwFactory::version(), 1);
    writeConfig("library_version=0\nfail_create=yes\n");
    QCOMPARE(SlpGwFactory::version(), 0);
    QVERIFY(!SlpGwFactory::createSlpGw(1));
    writeConfig(QByteArray());
    QVERIFY(!SlpGwFactory::createSlpGw(2));
}

void TestSlpGwGateway::badConfigurationFallsBackToDefaults()
{
    const SlpGwSettings defaults;
    static const char text[] = "network=banana\nrequest_data_delay_ms=-5\nanswer_timeout_ms=abc\n=x\nno pair\n"
                               "\xff\xfe\x00\x01\nserver_url=ftp://host/\nfail_next_calls=2001,zz,0\n"
                               "receive_end_empty=maybe\nunknown_key=1\nreceive_piece_size=7\nfail_connect=true\n";
    const SlpGwSettings settings = SlpGwSettings::fromText(QByteArray(text, sizeof(text) - 1), QStringLiteral("x"));
    QCOMPARE(settings.network, defaults.network);
    QCOMPARE(settings.requestDataDelayMs, defaults.requestDataDelayMs);
    QCOMPARE(settings.answerTimeoutMs, defaults.answerTimeoutMs);
    QCOMPARE(settings.serverUrl, defaults.serverUrl);
    QCOMPARE(settings.receiveEndEmpty, defaults.receiveEndEmpty);
    QCOMPARE(settings.failNextCalls, (QList<int>{2001, 0}));
    QCOMPARE(settings.receivePieceSize, 7);
    QCOMPARE(settings.failConnect, int(ESlpGwErrGeneral));

    // A file too large to be a configuration is ignored as a whole; the
    // environment still overrides.
    writeConfig(QByteArray(SlpGwSettings::MaxConfigBytes, '#') + "\nlibrary_version=5\n");
    qputenv("SLPGW_NETWORK", "roaming");
    const auto unset = qScopeGuard([] { qunsetenv("SLPGW_NETWORK"); });
    connectGateway();
    QCOMPARE(SlpGwFactory::version(), 1);
    QCOMPARE(m_gateway->connectionStatus(), uint32_t(ESlpGwConnectionOpen | ESlpGwConnectionRoaming));
}

QTEST_GUILESS_MAIN(TestSlpGwGateway)
#include "tst_slpgwgateway.moc"
