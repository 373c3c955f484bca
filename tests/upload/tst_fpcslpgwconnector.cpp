// The gateway connector against the gateway and positioning-server
// stand-ins: what reaches the server, how replies and failures end, and
// which requests stay recorded.

#include "FpcBufferManager.h"
#include "GatewayFixture.h"
#include "StorageTestData.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

// "offset length last" of every part the gateway accepted, from the log.
QStringList sentParts(const LogCapture &log)
{
    static const QRegularExpression line(QStringLiteral("index\\[ (\\d+) \\] n= (\\d+) \\) lastMime:\\s+(\\w+) OK$"));
    QStringList parts;
    for (const QString &text : log.matching(QStringLiteral("Calling slpgw->SendData() (index["))) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            parts << QStringList{match.captured(1), match.captured(2), match.captured(3)}.join(' ');
    }
    return parts;
}

} // namespace

class TestFpcSlpgwConnector : public QObject
{
    Q_OBJECT
    GatewayFixture f;

private slots:
    void initTestCase() { QVERIFY(f.start()); }
    void init() { f.reset(); FpcConfig::addKey(QStringLiteral("slpgw_connection_timeout"), QStringLiteral("60000")); }
    void cleanup() { f.finish(); }

    void prepareUpload_data();
    void prepareUpload();
    void storedFingerprintsReachTheServer();
    void attachesOfAKind();
    void generalErrorReconnectsOnce_data();
    void generalErrorReconnectsOnce();
    void unknownTransactionIdsAreIgnored();
    void failedTransferFreesItsKind_data();
    void failedTransferFreesItsKind();
    void replyTimeOutCancelsPrepare();
    void refusedRequestEndsTheSession();
    void nothingCallsBackAfterConnectorIsGone();
};

void TestFpcSlpgwConnector::prepareUpload_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QString>("serverMode");
    QTest::addColumn<QByteArray>("gatewayConfig");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QString>("error");   // empty: uploadFinished expected

    const QByteArray valid = GatewayFixture::headerOnlyReport();
    const QStringList one{"0 36 true"};
    const QString invalid = QStringLiteral("Server.InvalidReport");
    const QString parseError = QStringLiteral("FpcSLPGWConnector::serverResponseValid() XML PARSE ERROR");
    QTest::newRow("empty report") << QByteArray() << "ok" << QByteArray() << QStringList{"0 0 true"} << invalid;
    QTest::newRow("under one part") << valid << "ok" << QByteArray() << one << QString();
    QTest::newRow("exactly one part") << pattern(16384) << "ok" << QByteArray() << QStringList{"0 16384 true"} << invalid;
    QTest::newRow("2 x 16384 + 100") << pattern(2 * 16384 + 100) << "ok" << QByteArray()
        << QStringList{"0 16384 false", "16384 16384 false", "32768 100 true"} << invalid;
    QTest::newRow("reply in pieces") << valid << "pieces:3" << QByteArray("receive_piece_size=16\n") << one << QString();
    QTest::newRow("zero-length end after pieces") << valid << "ok"
        << QByteArray("receive_piece_size=64\nreceive_end_empty=1\n") << one << QString();
    QTest::newRow("first of two responses") << valid << "two-responses" << QByteArray() << one << QString();
    QTest::newRow("failure status") << valid << "fail" << QByteArray() << one << "Server.UploadFailed";
    QTest::newRow("wrong root") << valid << "wrong-root" << QByteArray() << one
        << parseError + ": Excepted tag SLP-FP, but found instead: FP-SLP";
    QTest::newRow("no response element") << valid << "no-response" << QByteArray() << one << parseError;
    QTest::newRow("malformed") << valid << "malformed" << QByteArray() << one
        << "FpcSLPGWConnector::serverResponseValid(): ERROR: Can't set content to QDomDocument";
    QTest::newRow("zero-length end, nothing received") << valid << "empty" << QByteArray() << one
        << "FpcSLPGWConnector: SLPGW ReceiveData() ERROR: Zero bytes returned indicating end of data, but buffer still empty";
    QTest::newRow("HTTP error") << valid << "http-error:503" << QByteArray() << one
        << "ERROR: SLPGW called ErrorCallback() status: 2203 SLPGW_ERR_REMOTE_SERVER_DOWN";
    QTest::newRow("no network") << valid << "ok" << QByteArray("network=none\n") << QStringList()
        << "ERROR: SLPGW called ErrorCallback() status: 2204 SLPGW_ERR_NO_CONNECTION";
}

void TestFpcSlpgwConnector::prepareUpload()
{
    QFETCH(QByteArray, report);
    QFETCH(QString, serverMode);
    QFETCH(QByteArray, gatewayConfig);
    QFETCH(QStringList, parts);
    QFETCH(QString, error);
    f.report = report;
    QVERIFY(f.server().setMode(serverMode));
    QVERIFY(f.writeGatewayConfig(gatewayConfig));
    const int uploadsBefore = f.server().uploadCount();

    FpcSLPGWConnector connector;
    QSignalSpy finished(&connector, &FpcSLPGWConnector::uploadFinished);
    QSignalSpy errors(&connector, &FpcSLPGWConnector::connectionError);
    connector.startPrepare();
    QVERIFY(TestSupport::waitFor([&] { return finished.count() + errors.count() > 0; }, kWaitMs));
    QCoreApplication::processEvents();

    QCOMPARE(sentParts(*f.log), parts);
    if (!parts.isEmpty()) {
        QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::PrepareOngoing));
        QTRY_COMPARE_WITH_TIMEOUT(f.server().uploadCount(), uploadsBefore + 1, kWaitMs);
        QCOMPARE(f.server().uploadBody(uploadsBefore + 1), report);
    }
    QCOMPARE(finished.count(), error.isEmpty() ? 1 : 0);
    QCOMPARE(errors.count(), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty())
        QCOMPARE(errors.at(0).at(0).toString(), error);
    QVERIFY(f.log->contains(QStringLiteral("SLPGW timer removed")));
}

void TestFpcSlpgwConnector::storedFingerprintsReachTheServer()
{
    QVERIFY(QDir().mkpath(f.path(QStringLiteral("/db"))));
    FpcConfig::addKey(QStringLiteral("db_file"), f.path(QStringLiteral("/db/fp.db")));
    FpcSLPGWConnector::setReportSource(nullptr);
    FpcBufferManager &buffer = FpcBufferManager::instance();
    const int stored = 150;
    using namespace StorageTestData;
    for (int i = 0; i < stored; ++i) {
        const uint8_t b = uint8_t(i);
        QVERIFY(buffer.storeFpEntry(fingerprint(1700000000 + i, {gsm(quint16(i)), wlan({2, 0, 0, b, 1, 1}),
            wlan({2, 0, 0, b, 1, 2}), wlan({2, 0, 0, b, 1, 3}), wlan({2, 0, 0, b, 1, 4}), wlan({2, 0, 0, b, 1, 5})})));
    }

    FpcSLPGWConnector connector;
    QSignalSpy finished(&connector, &FpcSLPGWConnector::uploadFinished);
    connector.startPrepare();
    QVERIFY(finished.wait(kWaitMs));
    QVERIFY(sentParts(*f.log).size() > 1);
    const QJsonObject upload = f.server().readLines().constLast();
    QCOMPARE(upload.value(QStringLiteral("fingerprints")).toInt(), stored);
    QVERIFY(upload.value(QStringLiteral("accepted")).toBool());
    QByteArray report;
    QVERIFY(buffer.createFpReport(report));
    QCOMPARE(f.server().uploadBody(upload.value(QStringLiteral("upload")).toInt()), report);

    FpcBufferManager::destroyInstance();
    FpcConfig::addKey(QStringLiteral("db_file"), QString());
}

void TestFpcSlpgwConnector::attachesOfAKind()
{
    QVERIFY(f.writeGatewayConfig("network=none\n"));
    FpcSLPGWConnector connector;
    QSignalSpy finished(&connector, &FpcSLPGWConnector::uploadFinished);
    QSignalSpy errors(&connector, &FpcSLPGWConnector::connectionError);

    const uint32_t onlyFree = connector.startAttach(OnlyFree);
    QVERIFY(onlyFree != 0);
    QCOMPARE(connector.startAttach(OnlyFree), 0u);
    QCOMPARE(connector.startAttach(ESlpGwNwUsageAny), 0u);
    QCOMPARE(f.log->count(QStringLiteral("Calling slpgw->attachToSend()")), 1);
    QVERIFY(!connector.isPendingAttach(FreeAndHomeNw));
    QVERIFY(!connector.isPendingAttach(ESlpGwNwUsageAny));

    // FreeAndHomeNw cancels the OnlyFree attach, which stays recorded.
    QVERIFY(connector.startAttach(FreeAndHomeNw) != 0);
    QCOMPARE(f.log->count(QStringLiteral("cancelled pending OnlyFree attach, it was transaction id: %1").arg(onlyFree)), 1);
    QVERIFY(connector.isPendingAttach(OnlyFree));

    // Over the home network only the FreeAndHomeNw attach sends; its reply
    // ends every recorded request.
    QVERIFY(f.writeGatewayConfig("network=home\n"));
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::FreeAndHomeSending));
    QCOMPARE(f.log->count(QStringLiteral("RequestData(transaction_id=")), 1);
    QVERIFY(!connector.isPendingAttach(OnlyFree) && !connector.isPendingAttach(FreeAndHomeNw));

    // A failing FreeAndHomeNw attach takes the OnlyFree one it replaced along.
    QVERIFY(f.writeGatewayConfig("network=none\n"));
    connector.startAttach(OnlyFree);
    connector.startAttach(FreeAndHomeNw);
    QVERIFY(f.server().setMode(QStringLiteral("http-error:500")));
    QVERIFY(f.writeGatewayConfig("network=wlan\n"));
    QVERIFY(errors.wait(kWaitMs));
    QVERIFY(!connector.isPendingAttach(OnlyFree) && !connector.isPendingAttach(FreeAndHomeNw));

    // A successful OnlyFree attach sets its own upload state.
    QVERIFY(f.server().setMode(QStringLiteral("ok")));
    connector.startAttach(OnlyFree);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::OnlyFreeSending));
}

void TestFpcSlpgwConnector::generalErrorReconnectsOnce_data()
{
    QTest::addColumn<bool>("attach");
    QTest::addColumn<QByteArray>("gatewayConfig");
    QTest::addColumn<int>("thrown");   // 0: the request is accepted
    QTest::addColumn<int>("reconnects");

    QTest::newRow("attach, 2001 once") << true << QByteArray("fail_next_calls=2001\n") << 0 << 1;
    QTest::newRow("attach, 2001 twice") << true << QByteArray("fail_next_calls=2001,2001\n") << 2001 << 1;
    QTest::newRow("prepare, 2001 twice") << false << QByteArray("fail_next_calls=2001,2001\n") << 2001 << 1;
    QTest::newRow("attach, other code") << true << QByteArray("fail_next_calls=2103\n") << 2103 << 0;
    QTest::newRow("connect refused") << false << QByteArray("fail_connect=2204\n") << 2204 << 0;
}

void TestFpcSlpgwConnector::generalErrorReconnectsOnce()
{
    QFETCH(bool, attach);
    QFETCH(QByteArray, gatewayConfig);
    QFETCH(int, thrown);
    QFETCH(int, reconnects);
    QVERIFY(f.writeGatewayConfig("network=none\n" + gatewayConfig));

    FpcSLPGWConnector connector;
    int code = 0;
    try {
        attach ? void(connector.startAttach(OnlyFree)) : connector.startPrepare();
    } catch (int error) {
        code = error;
    }
    QCOMPARE(code, thrown);
    QCOMPARE(f.log->count(QStringLiteral("trying to reconnect")), reconnects);
    QCOMPARE(connector.isPendingAttach(OnlyFree), attach && !thrown);

    // A refusal releases the gateway object; the next request gets a new one.
    QVERIFY(f.writeGatewayConfig("network=none\n"));
    connector.startAttach(FreeAndHomeNw);
    QCOMPARE(f.log->count(QStringLiteral("Requesting new SLPGW instance")), thrown ? 2 : 1);
}

void TestFpcSlpgwConnector::unknownTransactionIdsAreIgnored()
{
    QVERIFY(f.writeGatewayConfig("network=none\n"));
    FpcSLPGWConnector connector;
    QSignalSpy errors(&connector, &FpcSLPGWConnector::connectionError);
    const uint32_t pending = connector.startAttach(OnlyFree);

    for (uint32_t id : {0u, pending + 1000}) {
        connector.observer()->ErrorCallback(ESlpGwErrConnectionLost, id);
        connector.observer()->RequestData(id);
    }
    QCOMPARE(errors.count(), 0);
    QCOMPARE(f.reportsBuilt, 0);
    QVERIFY(connector.isPendingAttach(OnlyFree));

    connector.observer()->ErrorCallback(ESlpGwErrCanceled, pending);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(),
             QStringLiteral("ERROR: SLPGW called ErrorCallback() status: 2207 SLPGW_ERR_CANCELED"));
    QVERIFY(!connector.isPendingAttach(OnlyFree));
}

void TestFpcSlpgwConnector::failedTransferFreesItsKind_data()
{
    QTest::addColumn<int>("failure");   // 0 report refused, 1 report throws, 2 gateway refuses a part
    QTest::addColumn<QString>("error");

    const QString noReport = QStringLiteral("FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): ERROR: "
                                            "Creating fingerprint report failed, nothing sent");
    QTest::newRow("report not built") << 0 << noReport;
    QTest::newRow("report throws") << 1 << noReport;
    QTest::newRow("gateway refuses a part") << 2 << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): "
                                                    "Calling slpgw->SendData() failed, error: 2003 SLPGW_ERR_OUT_OF_MEMORY";
}

void TestFpcSlpgwConnector::failedTransferFreesItsKind()
{
    QFETCH(int, failure);
    QFETCH(QString, error);
    // The gateway stand-in holds at most 64 MiB of one upload.
    const QByteArray tooLarge = failure == 2 ? pattern(64 * 1024 * 1024 + 1) : QByteArray();
    FpcSLPGWConnector::setReportSource([&](QByteArray &report) {
        if (failure == 1)
            throw QStringLiteral("database gone");
        report = tooLarge;
        return failure == 2;
    });

    FpcSLPGWConnector connector;
    QSignalSpy finished(&connector, &FpcSLPGWConnector::uploadFinished);
    QSignalSpy errors(&connector, &FpcSLPGWConnector::connectionError);
    connector.startAttach(OnlyFree);
    QVERIFY(errors.wait(kWaitMs));
    QCOMPARE(errors.at(0).at(0).toString(), error);
    QVERIFY(!connector.isPendingAttach(OnlyFree));

    f.reset();
    QVERIFY(connector.startAttach(OnlyFree) != 0);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(errors.count(), 1);
}

void TestFpcSlpgwConnector::replyTimeOutCancelsPrepare()
{
    FpcConfig::addKey(QStringLiteral("slpgw_connection_timeout"), QStringLiteral("300"));
    QVERIFY(f.server().setMode(QStringLiteral("hang")));
    FpcSLPGWConnector connector;
    QSignalSpy finished(&connector, &FpcSLPGWConnector::uploadFinished);
    QSignalSpy errors(&connector, &FpcSLPGWConnector::connectionError);

    connector.startPrepare();
    QVERIFY(errors.wait(kWaitMs));
    QCOMPARE(errors.at(0).at(0).toString(),
             QStringLiteral("slpgwTimerThreadCallbackForPrepare() ERROR timeout when waiting reply from SLPGW API"));
    QVERIFY(f.log->contains(QStringLiteral("now timed out, calling cancel for transaction id:")));

    // A new gateway object; a prepare answered in time is not cut short later.
    QVERIFY(f.server().setMode(QStringLiteral("ok")));
    connector.startPrepare();
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(f.log->count(QStringLiteral("Requesting new SLPGW instance")), 2);
    QTest::qWait(500);
    QCOMPARE(errors.count() + finished.count(), 2);
}

void TestFpcSlpgwConnector::refusedRequestEndsTheSession()
{
    // Over the home network the prepare sends and the OnlyFree attach waits.
    QVERIFY(f.writeGatewayConfig("network=home\n"));
    QVERIFY(f.server().setMode(QStringLiteral("hang")));
    FpcSLPGWConnector connector;
    QSignalSpy errors(&connector, &FpcSLPGWConnector::connectionError);
    connector.startPrepare();
    QVERIFY(connector.startAttach(OnlyFree) != 0);
    QTRY_VERIFY_WITH_TIMEOUT(f.log->contains(QStringLiteral("Calling slpgw->SendData() DONE")), kWaitMs);

    // The refused attach releases the gateway object with every transaction
    // in it: the prepare is reported failed, the OnlyFree attach forgotten.
    QVERIFY(f.writeGatewayConfig("network=home\nfail_next_calls=2103\n"));
    QVERIFY_THROWS_EXCEPTION(int, connector.startAttach(FreeAndHomeNw));
    QVERIFY(!connector.isPendingAttach(OnlyFree) && !connector.isPendingAttach(FreeAndHomeNw));
    QVERIFY(errors.wait(kWaitMs));
    QVERIFY(errors.at(0).at(0).toString().contains(QStringLiteral("SLPGW session released")));

    QVERIFY(f.writeGatewayConfig("network=wlan\n"));
    QTest::qWait(200);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(f.log->count(QStringLiteral("RequestData(transaction_id=")), 1);
}

void TestFpcSlpgwConnector::nothingCallsBackAfterConnectorIsGone()
{
    FpcConfig::addKey(QStringLiteral("slpgw_connection_timeout"), QStringLiteral("100"));
    QVERIFY(f.writeGatewayConfig("network=none\n"));
    {
        FpcSLPGWConnector connector;
        connector.startAttach(OnlyFree);
        connector.startPrepare();
    }
    // Neither the time-out nor the network the attach waited for reach it.
    QVERIFY(f.writeGatewayConfig("network=wlan\n"));
    QTest::qWait(300);
    QCOMPARE(f.log->count(QStringLiteral("slpgwTimerThreadCallbackForPrepare()")), 0);
    QCOMPARE(f.log->count(QStringLiteral("RequestData(transaction_id=")), 0);
}

QTEST_GUILESS_MAIN(TestFpcSlpgwConnector)
#include "tst_fpcslpgwconnector.moc"
