// The uploader over the real connector and the gateway and positioning-server
// stand-ins: prepare results, the upload state and the retry of failed
// attaches.

#include "GatewayFixture.h"

#include <QSignalSpy>
#include <QtTest>

class TestFpcUploader : public QObject
{
    Q_OBJECT
    GatewayFixture f;

    // An attach whose report the server refuses.
    void failOneAttach(FpcUploader &uploader, SlpGwNetworkUsage type)
    {
        QSignalSpy errors(&uploader, &FpcUploader::uploadError);
        QVERIFY(f.server().setMode(QStringLiteral("fail")));
        QCOMPARE(uploader.fprAttach(type), 0);
        QVERIFY(errors.wait(kWaitMs));
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Server.UploadFailed"));
        QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::Idle));
    }

private slots:
    void initTestCase() { QVERIFY(f.start()); }
    void init() { f.reset(); FpcConfig::addKey(QStringLiteral("fp_upload_retry_timeout"), QStringLiteral("3600")); }
    void cleanup() { f.finish(); }

    void secondPrepareThrowsUntilOutcome()
    {
        FpcUploader uploader;
        QSignalSpy finished(&uploader, &FpcUploader::uploadFinished);
        QCOMPARE(uploader.fprPrepare(), 0);
        QVERIFY_THROWS_EXCEPTION(QString, uploader.fprPrepare());
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(uploader.fprPrepare(), 0);
        QVERIFY(finished.wait(kWaitMs));
    }

    void prepareRefused_data()
    {
        QTest::addColumn<QByteArray>("gatewayConfig");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("logged");
        QTest::newRow("no gateway object") << QByteArray("fail_create=1\n") << 1
            << "EXCEPTION -- error str:  \"FpcSLPGWConnector(): ERROR: SLPGWFactory returned NULL\"";
        QTest::newRow("library version 0") << QByteArray("library_version=0\n") << 1
            << "EXCEPTION -- error str:  \"FpcSLPGWConnector::startPrepare(): ERROR: SLPGWFactory under version 1 not supported\"";
        QTest::newRow("gateway code") << QByteArray("fail_connect=2203\n") << 2 << "EXCEPTION -- error code:  2203";
        QTest::newRow("gateway error callback") << QByteArray("network=none\n") << 0 << "No attach/prepare retry timer started";
    }

    // A prepare is never retried, whatever ends it.
    void prepareRefused()
    {
        QFETCH(QByteArray, gatewayConfig);
        QFETCH(int, result);
        QFETCH(QString, logged);
        QVERIFY(f.writeGatewayConfig(gatewayConfig));
        FpcUploader uploader;
        QSignalSpy errors(&uploader, &FpcUploader::uploadError);
        QCOMPARE(uploader.fprPrepare(), result);
        if (result == 0)
            QVERIFY(errors.wait(kWaitMs));
        QVERIFY(f.log->contains(logged));
        QVERIFY(!uploader.isRetryPending());
        QCOMPARE(FpcUploader::uploadState(), int(FpcUploader::Idle));
    }

    void failedAttachArmsOneRetry_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("network");
        QTest::addColumn<QString>("armed");
        QTest::addColumn<QString>("again");
        QTest::newRow("OnlyFree") << int(OnlyFree) << QByteArray("network=wlan\n")
            << "Attach(ONLY_FREE) failed -- new retry attach timered at: "
            << "Attach(ATTACH_ONLY_FREE) failed again-- already waiting for retry timer";
        QTest::newRow("FreeAndHomeNw") << int(FreeAndHomeNw) << QByteArray("network=home\n")
            << "Attach(FREE_AND_HOME) failed -- new retry attach timered at: "
            << "Attach(FREE_AND_HOME) failed again -- already waiting for retry timer";
    }

    void failedAttachArmsOneRetry()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, network);
        QFETCH(QString, armed);
        QFETCH(QString, again);
        QVERIFY(f.writeGatewayConfig(network));
        FpcUploader uploader;
        failOneAttach(uploader, SlpGwNetworkUsage(type));
        failOneAttach(uploader, SlpGwNetworkUsage(type));
        QVERIFY(uploader.isRetryPending());
        QCOMPARE(f.log->count(armed), 1);
        QCOMPARE(f.log->count(again), 1);
    }

    void retryTimerExpires_data()
    {
        QTest::addColumn<QString>("meanwhile");   // what happens before the timer fires
        QTest::addColumn<QString>("logged");
        QTest::newRow("nothing") << "" << "Timer has expired to retry attach request to SLPGW";
        QTest::newRow("a success") << "success" << "Timer has expired, but not anymore need to retry";
        QTest::newRow("gateway refuses the retry") << "refusal" << "retry attach refused -- error code:  2103";
    }

    void retryTimerExpires()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, logged);
        FpcConfig::addKey(QStringLiteral("fp_upload_retry_timeout"), QStringLiteral("1"));
        FpcUploader uploader;
        QSignalSpy finished(&uploader, &FpcUploader::uploadFinished);
        failOneAttach(uploader, OnlyFree);
        QVERIFY(f.server().setMode(QStringLiteral("ok")));
        if (meanwhile == QLatin1String("success")) {
            uploader.fprAttach(OnlyFree);
            QVERIFY(finished.wait(kWaitMs));
        } else if (meanwhile == QLatin1String("refusal")) {
            QVERIFY(f.writeGatewayConfig("fail_next_calls=2103\n"));
        }
        QVERIFY(TestSupport::waitFor([&] { return f.log->contains(logged); }, kWaitMs));
        if (meanwhile.isEmpty())
            QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(f.log->count(QStringLiteral("Attach type of OnlyFree -- requested")), 2);
        QVERIFY(!uploader.isRetryPending());
    }

    // Queued calls carry the network usage, as cross-thread ones would.
    void queuedAttach()
    {
        FpcUploader uploader;
        QSignalSpy finished(&uploader, &FpcUploader::uploadFinished);
        QVERIFY(QMetaObject::invokeMethod(&uploader, "fprAttach", Qt::QueuedConnection,
                                          Q_ARG(SlpGwNetworkUsage, OnlyFree)));
        QVERIFY(finished.wait(kWaitMs));
    }
};

QTEST_GUILESS_MAIN(TestFpcUploader)
#include "tst_fpcuploader.moc"
