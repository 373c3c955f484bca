// Connector and uploader over the gateway stand-in and the server stand-in: parts, outcomes, attaches, retries.

#include "FpServerProcess.h"
#include "FpcConfig.h"
#include "FpcSLPGWConnector.h"
#include "FpcUploader.h"
#include "LogCapture.h"
#include "TempRoot.h"
#include "TestSupport.h"

#include <QRegularExpression>
#include <QSaveFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWaitMs = 15000;

// The smallest valid report (empty identities, no fingerprint), its checksum last.
const QByteArray kHeaderOnlyReport =
    QByteArray::fromHex("000003056c696e75780007766f6d756670631500087465726d696e616c 000000 0000 b908");

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

struct ConnectorSpies
{
    explicit ConnectorSpies(FpcSLPGWConnector &c)
        : finished(&c, &FpcSLPGWConnector::uploadFinished), errors(&c, &FpcSLPGWConnector::connectionError)
    {}
    QString firstError() const { return errors.isEmpty() ? QString() : errors.at(0).at(0).toString(); }
    QSignalSpy finished, errors;
};

} // namespace

class TestFpcUpload : public QObject
{
    Q_OBJECT
    TempRoot m_root;
    std::unique_ptr<FpServerProcess> m_server;
    std::unique_ptr<LogCapture> m_log;
    QByteArray m_report;
    int m_reportsBuilt = 0;

    // Written whole at once: the gateway re-reads the file while it runs.
    bool writeGatewayConfig(const QByteArray &extraLines = QByteArray())
    {
        const QString path = m_root.path(QStringLiteral("/etc/slpgw/slpgw.conf"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        return file.open(QIODevice::WriteOnly)
               && file.write("server_url=" + m_server->url().toUtf8()
                             + "\nnetwork=wlan\nrequest_data_delay_ms=0\n"
                               "answer_timeout_ms=20000\npoll_interval_ms=20\n"
                             + extraLines)
                      > 0
               && file.commit();
    }

    void useReportSource(const std::function<bool(QByteArray &)> &source)
    {
        FpcSLPGWConnector::setReportSource([this, source](QByteArray &out) {
            ++m_reportsBuilt;
            return source(out);
        });
    }

    // An attach whose report the server refuses.
    void failOneAttach(FpcUploader &uploader, SlpGwNetworkUsage type)
    {
        QSignalSpy errors(&uploader, &FpcUploader::uploadError);
        QVERIFY(m_server->setMode(QStringLiteral("fail")));
        QCOMPARE(uploader.fprAttach(type), 0);
        QVERIFY(errors.wait(kWaitMs));
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Server.UploadFailed"));
        QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::Idle));
    }

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<FpServerProcess>(m_root.path(QStringLiteral("/fpserver")));
        QVERIFY(m_root.isValid() && m_server->start());
    }

    // Before each test: a free network, an accepting server, the valid report, idle state, a fresh log.
    void init()
    {
        QVERIFY(writeGatewayConfig());
        QVERIFY(m_server->setMode(QStringLiteral("ok")));
        m_report = kHeaderOnlyReport;
        m_reportsBuilt = 0;
        useReportSource([this](QByteArray &out) {
            out = m_report;
            return true;
        });
        FpcUploader::setUploadState(FpcUploader::Idle);
        FpcConfig::addKey(QStringLiteral("slpgw_connection_timeout"), QStringLiteral("60000"));
        FpcConfig::addKey(QStringLiteral("fp_upload_retry_timeout"), QString()); // the default, an hour
        m_log.reset();
        m_log = std::make_unique<LogCapture>();
    }

    void cleanup()
    {
        m_log.reset();
        FpcSLPGWConnector::setReportSource(nullptr);
    }

    void prepareUpload_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<QString>("serverMode");
        QTest::addColumn<QByteArray>("gatewayConfig");
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("error"); // empty: uploadFinished expected

        const QByteArray valid = kHeaderOnlyReport;
        const QStringList one{"0 36 true"};
        const QString invalid = QStringLiteral("Server.InvalidReport");
        const QString parseError = QStringLiteral("FpcSLPGWConnector::serverResponseValid() XML PARSE ERROR");
        QTest::newRow("empty report") << QByteArray() << "ok" << QByteArray() << QStringList{"0 0 true"} << invalid;
        QTest::newRow("exactly one part")
            << pattern(16384) << "ok" << QByteArray() << QStringList{"0 16384 true"} << invalid;
        QTest::newRow("2 x 16384 + 100") << pattern(2 * 16384 + 100) << "ok" << QByteArray()
                                         << QStringList{"0 16384 false", "16384 16384 false", "32768 100 true"}
                                         << invalid;
        QTest::newRow("reply in pieces") << valid << "pieces:3" << QByteArray("receive_piece_size=16\n") << one
                                         << QString();
        QTest::newRow("zero-length end after pieces")
            << valid << "ok" << QByteArray("receive_piece_size=64\nreceive_end_empty=1\n") << one << QString();
        QTest::newRow("first of two responses") << valid << "two-responses" << QByteArray() << one << QString();
        QTest::newRow("wrong root") << valid << "wrong-root" << QByteArray() << one
                                    << parseError + ": Excepted tag SLP-FP, but found instead: FP-SLP";
        QTest::newRow("malformed")
            << valid << "malformed" << QByteArray() << one
            << "FpcSLPGWConnector::serverResponseValid(): ERROR: Can't set content to QDomDocument";
        QTest::newRow("zero-length end, nothing received")
            << valid << "empty" << QByteArray() << one
            << "FpcSLPGWConnector: SLPGW ReceiveData() ERROR: Zero bytes returned indicating end of data, but buffer "
               "still empty";
        QTest::newRow("HTTP error") << valid << "http-error:503" << QByteArray() << one
                                    << "ERROR: SLPGW called ErrorCallback() status: 2203 SLPGW_ERR_REMOTE_SERVER_DOWN";
        QTest::newRow("no network") << valid << "ok" << QByteArray("network=none\n") << QStringList()
                                    << "ERROR: SLPGW called ErrorCallback() status: 2204 SLPGW_ERR_NO_CONNECTION";
    }
    void prepareUpload()
    {
        QFETCH(QByteArray, report);
        QFETCH(QString, serverMode);
        QFETCH(QByteArray, gatewayConfig);
        QFETCH(QStringList, parts);
        QFETCH(QString, error);
        m_report = report;
        QVERIFY(m_server->setMode(serverMode));
        QVERIFY(writeGatewayConfig(gatewayConfig));
        const int uploadsBefore = m_server->uploadCount();

        FpcSLPGWConnector connector;
        ConnectorSpies spies(connector);
        connector.startPrepare();
        QVERIFY(TestSupport::waitFor([&] { return spies.finished.count() + spies.errors.count() > 0; }, kWaitMs));
        QCoreApplication::processEvents();

        QCOMPARE(sentParts(*m_log), parts);
        if (!parts.isEmpty()) {
            QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::PrepareOngoing));
            QTRY_COMPARE_WITH_TIMEOUT(m_server->uploadCount(), uploadsBefore + 1, kWaitMs);
            QCOMPARE(m_server->uploadBody(uploadsBefore + 1), report);
        }
        QCOMPARE(spies.finished.count() + spies.errors.count(), 1);
        QCOMPARE(spies.firstError(), error);
        QVERIFY(m_log->contains(QStringLiteral("SLPGW timer removed")));
    }

    void attachesOfAKind()
    {
        QVERIFY(writeGatewayConfig("network=none\n"));
        FpcSLPGWConnector connector;
        ConnectorSpies spies(connector);

        // One attach of a kind at a time.
        const uint32_t onlyFree = connector.startAttach(OnlyFree);
        QVERIFY(onlyFree != 0);
        QCOMPARE(connector.startAttach(OnlyFree), 0u);
        QCOMPARE(connector.startAttach(ESlpGwNwUsageAny), 0u);
        QCOMPARE(m_log->count(QStringLiteral("Calling slpgw->attachToSend()")), 1);
        QVERIFY(!connector.isPendingAttach(FreeAndHomeNw));
        // Callbacks for ids the connector never handed out change nothing.
        for (uint32_t id : {0u, onlyFree + 1000}) {
            connector.observer()->ErrorCallback(ESlpGwErrConnectionLost, id);
            connector.observer()->RequestData(id);
        }
        QVERIFY(spies.errors.isEmpty() && m_reportsBuilt == 0 && connector.isPendingAttach(OnlyFree));
        m_log->clear();

        // FreeAndHomeNw cancels the OnlyFree attach, which stays recorded.
        QVERIFY(connector.startAttach(FreeAndHomeNw) != 0);
        QCOMPARE(m_log->count(
                     QStringLiteral("cancelled pending OnlyFree attach, it was transaction id: %1").arg(onlyFree)),
                 1);
        QVERIFY(connector.isPendingAttach(OnlyFree));

        // Over the home network only FreeAndHomeNw sends; its reply ends every recorded request.
        QVERIFY(writeGatewayConfig("network=home\n"));
        QVERIFY(spies.finished.wait(kWaitMs));
        QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::FreeAndHomeSending));
        QCOMPARE(m_log->count(QStringLiteral("RequestData(transaction_id=")), 1);
        QVERIFY(!connector.isPendingAttach(OnlyFree) && !connector.isPendingAttach(FreeAndHomeNw));

        // A failing FreeAndHomeNw attach takes the OnlyFree one it replaced along.
        QVERIFY(writeGatewayConfig("network=none\n"));
        connector.startAttach(OnlyFree);
        connector.startAttach(FreeAndHomeNw);
        QVERIFY(m_server->setMode(QStringLiteral("http-error:500")));
        QVERIFY(writeGatewayConfig("network=wlan\n"));
        QVERIFY(spies.errors.wait(kWaitMs));
        QVERIFY(!connector.isPendingAttach(OnlyFree) && !connector.isPendingAttach(FreeAndHomeNw));
    }

    void generalErrorReconnectsOnce_data()
    {
        QTest::addColumn<bool>("attach");
        QTest::addColumn<QByteArray>("gatewayConfig");
        QTest::addColumn<int>("thrown"); // 0: the request is accepted
        QTest::addColumn<int>("reconnects");
        QTest::newRow("attach, 2001 once") << true << QByteArray("fail_next_calls=2001\n") << 0 << 1;
        QTest::newRow("attach, 2001 twice") << true << QByteArray("fail_next_calls=2001,2001\n") << 2001 << 1;
        QTest::newRow("prepare, 2001 twice") << false << QByteArray("fail_next_calls=2001,2001\n") << 2001 << 1;
        QTest::newRow("attach, other code") << true << QByteArray("fail_next_calls=2103\n") << 2103 << 0;
        QTest::newRow("connect refused") << false << QByteArray("fail_connect=2204\n") << 2204 << 0;
    }
    void generalErrorReconnectsOnce()
    {
        QFETCH(bool, attach);
        QFETCH(QByteArray, gatewayConfig);
        QFETCH(int, thrown);
        QVERIFY(writeGatewayConfig("network=none\n" + gatewayConfig));
        FpcSLPGWConnector connector;
        int code = 0;
        try {
            attach ? void(connector.startAttach(OnlyFree)) : connector.startPrepare();
        } catch (int error) {
            code = error;
        }
        QCOMPARE(code, thrown);
        QTEST(m_log->count(QStringLiteral("trying to reconnect")), "reconnects");
        QCOMPARE(connector.isPendingAttach(OnlyFree), attach && !thrown);

        // A refusal releases the gateway object; the next request gets a new one.
        QVERIFY(writeGatewayConfig("network=none\n"));
        connector.startAttach(FreeAndHomeNw);
        QCOMPARE(m_log->count(QStringLiteral("Requesting new SLPGW instance")), thrown ? 2 : 1);
    }

    void failedTransferFreesItsKind_data()
    {
        QTest::addColumn<int>("failure"); // 0 report refused, 1 report throws, 2 gateway refuses a part
        QTest::addColumn<QString>("error");
        const QString noReport = QStringLiteral("FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): ERROR: "
                                                "Creating fingerprint report failed, nothing sent");
        QTest::newRow("report not built") << 0 << noReport;
        QTest::newRow("report throws") << 1 << noReport;
        QTest::newRow("gateway refuses a part")
            << 2
            << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): "
               "Calling slpgw->SendData() failed, error: 2003 SLPGW_ERR_OUT_OF_MEMORY";
    }
    void failedTransferFreesItsKind()
    {
        QFETCH(int, failure);
        // The gateway stand-in holds at most 64 MiB of one upload.
        const QByteArray tooLarge = failure == 2 ? pattern(64 * 1024 * 1024 + 1) : QByteArray();
        useReportSource([&](QByteArray &report) {
            if (failure == 1)
                throw QStringLiteral("database gone");
            report = tooLarge;
            return failure == 2;
        });
        FpcSLPGWConnector connector;
        ConnectorSpies spies(connector);
        connector.startAttach(OnlyFree);
        QVERIFY(spies.errors.wait(kWaitMs));
        QTEST(spies.firstError(), "error");
        QVERIFY(!connector.isPendingAttach(OnlyFree));

        init();
        QVERIFY(connector.startAttach(OnlyFree) != 0);
        QVERIFY(spies.finished.wait(kWaitMs));
        QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::OnlyFreeSending));
        QCOMPARE(spies.errors.count(), 1);
    }

    void replyTimeOutCancelsPrepare()
    {
        FpcConfig::addKey(QStringLiteral("slpgw_connection_timeout"), QStringLiteral("300"));
        QVERIFY(m_server->setMode(QStringLiteral("hang")));
        FpcSLPGWConnector connector;
        ConnectorSpies spies(connector);
        connector.startPrepare();
        QVERIFY(spies.errors.wait(kWaitMs));
        QCOMPARE(spies.firstError(),
                 QStringLiteral(
                     "slpgwTimerThreadCallbackForPrepare() ERROR timeout when waiting reply from SLPGW API"));
        QVERIFY(m_log->contains(QStringLiteral("now timed out, calling cancel for transaction id:")));

        // A new gateway object; a prepare answered in time is not cut short later.
        QVERIFY(m_server->setMode(QStringLiteral("ok")));
        connector.startPrepare();
        QVERIFY(spies.finished.wait(kWaitMs));
        QCOMPARE(m_log->count(QStringLiteral("Requesting new SLPGW instance")), 2);
        QTest::qWait(500);
        QCOMPARE(spies.errors.count() + spies.finished.count(), 2);

        // Neither a time-out nor the network an attach waited for reach a connector that is gone.
        FpcConfig::addKey(QStringLiteral("slpgw_connection_timeout"), QStringLiteral("100"));
        QVERIFY(writeGatewayConfig("network=none\n"));
        m_log->clear();
        {
            FpcSLPGWConnector gone;
            gone.startAttach(OnlyFree);
            gone.startPrepare();
        }
        QVERIFY(writeGatewayConfig("network=wlan\n"));
        QTest::qWait(300);
        QCOMPARE(m_log->count(QStringLiteral("slpgwTimerThreadCallbackForPrepare()")), 0);
        QCOMPARE(m_log->count(QStringLiteral("RequestData(transaction_id=")), 0);
    }

    void refusedRequestEndsTheSession()
    {
        // Over the home network the prepare sends and the OnlyFree attach waits.
        QVERIFY(writeGatewayConfig("network=home\n"));
        QVERIFY(m_server->setMode(QStringLiteral("hang")));
        FpcSLPGWConnector connector;
        ConnectorSpies spies(connector);
        connector.startPrepare();
        QVERIFY(connector.startAttach(OnlyFree) != 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_log->contains(QStringLiteral("Calling slpgw->SendData() DONE")), kWaitMs);

        // The refused attach releases every transaction: the prepare fails, the OnlyFree attach is forgotten.
        QVERIFY(writeGatewayConfig("network=home\nfail_next_calls=2103\n"));
        QVERIFY_THROWS_EXCEPTION(int, connector.startAttach(FreeAndHomeNw));
        QVERIFY(!connector.isPendingAttach(OnlyFree) && !connector.isPendingAttach(FreeAndHomeNw));
        QVERIFY(spies.errors.wait(kWaitMs));
        QVERIFY(spies.firstError().contains(QStringLiteral("SLPGW session released")));

        QVERIFY(writeGatewayConfig("network=wlan\n"));
        QTest::qWait(200);
        QCOMPARE(spies.errors.count(), 1);
        QCOMPARE(m_log->count(QStringLiteral("RequestData(transaction_id=")), 1);
    }

    void prepareRefused_data()
    {
        QTest::addColumn<QByteArray>("gatewayConfig");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("logged");
        QTest::newRow("no gateway object")
            << QByteArray("fail_create=1\n") << 1
            << "EXCEPTION -- error str:  \"FpcSLPGWConnector(): ERROR: SLPGWFactory returned NULL\"";
        QTest::newRow("gateway code") << QByteArray("fail_connect=2203\n") << 2 << "EXCEPTION -- error code:  2203";
        QTest::newRow("gateway error callback")
            << QByteArray("network=none\n") << 0 << "No attach/prepare retry timer started";
    }
    // A prepare is never retried, whatever ends it.
    void prepareRefused()
    {
        QFETCH(QByteArray, gatewayConfig);
        QFETCH(int, result);
        QFETCH(QString, logged);
        QVERIFY(writeGatewayConfig(gatewayConfig));
        FpcUploader uploader;
        QSignalSpy errors(&uploader, &FpcUploader::uploadError);
        QCOMPARE(uploader.fprPrepare(), result);
        QVERIFY(result != 0 || errors.wait(kWaitMs));
        QVERIFY(m_log->contains(logged));
        QVERIFY(!uploader.isRetryPending());
        QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::Idle));
    }

    void failedAttachArmsOneRetry()
    {
        FpcUploader uploader;
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        failOneAttach(uploader, OnlyFree);
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        failOneAttach(uploader, OnlyFree);
        QCOMPARE(m_log->count(QStringLiteral("Attach(ONLY_FREE) failed -- new retry attach timered at: ")), 1);
        QCOMPARE(m_log->count(
                     QStringLiteral("Attach(ATTACH_ONLY_FREE) failed again-- already waiting for retry timer")),
                 1);
        const QString line = m_log->matching(QStringLiteral("new retry attach timered at: ")).value(0);
        const QString at = line.section(QStringLiteral("at: "), 1).remove(u'"').simplified();
        // The default, an hour after the failure (logged to the second).
        const qint64 retryAt = QDateTime::fromString(at, Qt::TextDate).toSecsSinceEpoch();
        QVERIFY2(retryAt >= before + 3600 && retryAt <= after + 3600, qPrintable(line));
    }

    void retryTimerExpires_data()
    {
        QTest::addColumn<QString>("meanwhile"); // what happens before the timer fires
        QTest::addColumn<QString>("logged");
        QTest::newRow("nothing") << ""
                                 << "Timer has expired to retry attach request to SLPGW";
        QTest::newRow("a success") << "success"
                                   << "Timer has expired, but not anymore need to retry";
        QTest::newRow("gateway refuses the retry") << "refusal"
                                                   << "retry attach refused -- error code:  2103";
    }
    void retryTimerExpires()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, logged);
        FpcConfig::addKey(QStringLiteral("fp_upload_retry_timeout"), QStringLiteral("1"));
        FpcUploader uploader;
        QSignalSpy finished(&uploader, &FpcUploader::uploadFinished);
        failOneAttach(uploader, OnlyFree);
        QVERIFY(m_server->setMode(QStringLiteral("ok")));
        if (meanwhile == QLatin1String("success")) {
            uploader.fprAttach(OnlyFree);
            QVERIFY(finished.wait(kWaitMs));
        } else if (meanwhile == QLatin1String("refusal")) {
            QVERIFY(writeGatewayConfig("fail_next_calls=2103\n"));
        }
        QVERIFY(TestSupport::waitFor([&] { return m_log->contains(logged); }, kWaitMs));
        // The upload may already have finished while the log line was awaited.
        QVERIFY(!meanwhile.isEmpty() || !finished.isEmpty() || finished.wait(kWaitMs));
        QCOMPARE(m_log->count(QStringLiteral("Attach type of OnlyFree -- requested")), 2);
        QVERIFY(!uploader.isRetryPending());
    }
};

QTEST_GUILESS_MAIN(TestFpcUpload)
#include "tst_fpcupload.moc"
