#include "ConnectivityDaemonSim.h"
#include "FpServerProcess.h"
#include "PositioningDaemonSim.h"
#include "ServiceFixture.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QDBusArgument>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <limits>

// Collection driven by the peers: the real daemon on a private bus with the
// simulated positioning and connectivity daemons of fpcsim. (A walk along a
// route is in tst_upload_e2e.)
class TstServiceCollection : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;
    std::unique_ptr<ServiceFixture> m_service;
    std::unique_ptr<PositioningDaemonSim> m_positioning;

    void startPositioning()
    {
        m_positioning = std::make_unique<PositioningDaemonSim>(m_bus->connection());
        QString error;
        QVERIFY2(m_positioning->registerOnBus(&error), qPrintable(error));
    }
    static PositionFix fixNow()
    {
        PositionFix fix;
        fix.setTime(QDateTime::currentDateTimeUtc());
        return fix;
    }
    void send(const PositionFix &fix, PositionFix::Signature signature = PositionFix::Signature::Correct)
    {
        QCOMPARE(m_positioning->sendFix(fix, signature), QString());
    }

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }
    void init() { m_service = std::make_unique<ServiceFixture>(*m_bus); }
    void cleanup()
    {
        m_service.reset();
        m_positioning.reset();
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
    }

    void badFixesRefusedGoodFixStored()
    {
        startPositioning();
        QSignalSpy requests(m_positioning.get(), &PositioningDaemonSim::requestReceived);
        QVERIFY(m_service->start({"--sbox"}));
        QTRY_COMPARE(requests.size(), 1);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (int field = 0; field < 5; ++field) {
            PositionFix bad = fixNow();
            double *values[] = {&bad.lat, &bad.lon, &bad.alt, &bad.along, &bad.lat};
            *values[field] = field < 2 ? nan : field < 4 ? std::numeric_limits<double>::infinity() : 95;
            send(bad);
        }
        PositionFix badTime = fixNow();
        badTime.month = 13;
        send(badTime);
        send(fixNow(), PositionFix::Signature::Int32Fields);
        QVERIFY(m_service->waitForTrace("refused: arguments \"dddddiiiiiiiii\" instead of \"dddddyqqqyyyyq\""));
        QCOMPARE(m_service->traceCount("GPS position refused:"), 5);
        QVERIFY(m_service->trace().contains("Latitude out of range (-90 - 90): 95"));
        QCOMPARE(m_service->fingerprintCount(), 0);

        PositionFix good = fixNow();
        good.lat = 61.4901;
        send(good);
        QTRY_COMPARE(m_service->fingerprintCount(), 1);
        QCOMPARE(m_service->queryValue("SELECT dataMask FROM Fingerprint").toInt(), 1 | 2 | 4 | 8);
        QCOMPARE(m_service->queryValue("SELECT latitude FROM Position").toDouble(), 61.4901);
        QCOMPARE(m_service->quit(), 0);
    }

    void generatedFixes()
    {
        QVERIFY(m_service->start({"--sbox", "--gps", "0", "--gps-count", "3"}));
        QVERIFY(m_service->waitForTrace("FpcEventHandler::sendPositionMessage() ->", 3));
        QTRY_COMPARE(m_service->fingerprintCount(), 1); // the same place thrice
        QCOMPARE(m_service->queryValue("SELECT latitude FROM Position").toDouble(), 61.4937);
        QCOMPARE(m_service->quit(), 0);
        QCOMPARE(m_service->traceCount("FpcEventHandler::sendPositionMessage() <-"), 3);
        QCOMPARE(m_service->traceCount("FpcEventHandler::onStartPassiveGpsFixes() <-"), 0);
    }

    void foreignWlanScanCreatesFingerprint()
    {
        QVERIFY(m_service->start({"--sbox"}, {{"min_wlan_count", "1"}, {"passive_wlan_scan_delay", "0"}}));
        ConnectivityDaemonSim connectivity(m_bus->connection());
        connectivity.setBearer("GPRS");
        QVERIFY(connectivity.sendState(8).isEmpty() && connectivity.sendState(9).isEmpty());
        connectivity.setBearer(ConnectivityDaemonSim::WlanBearer);
        QVERIFY(connectivity.sendState(42).isEmpty());
        QVERIFY(m_service->waitForTrace("unknown wem state 42 ignored"));
        QCOMPARE(m_service->traceCount("internal state ="), 1); // the other bearer is not looked at

        QVERIFY(connectivity.sendState(8).isEmpty() && connectivity.sendState(9).isEmpty());
        QTRY_COMPARE(m_service->fingerprintCount(), 1);
        QCOMPARE(m_service->queryValue("SELECT dataMask & 1 FROM Fingerprint").toInt(), 0); // no position
        QVERIFY(connectivity.sendState(8).isEmpty() && connectivity.sendState(9).isEmpty());
        QVERIFY(m_service->waitForTrace("Free Wlan results ignored: last free scan  done  0"));
        QCOMPARE(m_service->quit(), 0);
    }

    void batteryRule_data()
    {
        QTest::addColumn<QByteArray>("level");
        QTest::newRow("24 of 25: no WLAN") << QByteArray("24");
        QTest::newRow("25 of 25: WLAN") << QByteArray("25");
    }
    void batteryRule()
    {
        QFETCH(QByteArray, level);
        const bool tooLow = level == "24";
        QVERIFY(m_service->root().setDeviceInfo("battery_level", level));
        startPositioning();
        QVERIFY(m_service->start({}));
        send(fixNow());
        QVERIFY(m_service->waitForTrace("FpcEventHandler::onCollectMeasurements() ->"));
        const QByteArray trace = m_service->trace();
        QVERIFY(trace.contains("FpcEventHandler::onCollectMeasurements() Battery level: " + level));
        QCOMPARE(trace.contains("too low for WLAN scans (current: " + level), tooLow);
        QCOMPARE(trace.contains("WLAN mesurements not requested"), tooLow);
        QCOMPARE(m_service->quit(), 0);
    }

    void activeModeReportsCollectionStatus()
    {
        QVERIFY(m_service->start({"--sbox"}));
        DaemonSignalRecorder active(m_bus->connection(), "activeCollectionStatus");
        QVERIFY(m_service->callNoReply("activeMode", {true}));
        QVERIFY(m_service->waitForTrace("FpcEventHandler::activeMode() ->"));
        QCOMPARE(m_service->call("sendStatistics").type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(active.messages.size(), 1); // nothing before the subscription
        // Whether a position source exists depends on the host's plugins.
        const bool running = m_service->trace().contains("Location update started");
        QCOMPARE(active.messages.at(0).arguments().value(0).toBool(), running);
        QVERIFY(m_service->broadcast(DaemonProcess::ServiceName, "activeMode", {false}));
        QTRY_COMPARE(active.messages.size(), 2);
        QCOMPARE(active.messages.at(1).arguments().value(0).toBool(), false);
        QCOMPARE(m_service->traceCount("FpcEventHandler::onStartPassiveGpsFixes() <-"), 2);
        QCOMPARE(m_service->quit(), 0);
    }

    // Every file the daemon writes - database and journals, report dumps,
    // numbered trace files - is created for its user alone.
    void filesTheDaemonWritesArePrivate()
    {
        FpServerProcess server(m_service->root().path("/server"));
        QVERIFY2(server.start("ok"), qPrintable(server.errorString()));
        m_service->daemon().setEnv("SLPGW_SERVER_URL", server.url());
        startPositioning();
        QVERIFY(m_service->start({"--sbox"}));
        QVERIFY(m_service->callNoReply("setConfigurationValue", {"fpr/dump_reports", "1"}));
        send(fixNow());
        QTRY_COMPARE(m_service->fingerprintCount(), 1);
        QCOMPARE(m_service->call("forcedUpload").arguments().value(0).toString(),
                 QStringLiteral("Upload to server started"));
        QTRY_COMPARE(m_service->fingerprintCount(), 0);
        QVERIFY(m_service->root().writeFile("/home/user/MyDocs/location_logs/fpc_tracefile", "run0001"));
        QVERIFY(m_service->callNoReply("restartLogging"));
        const QString logDir = m_service->root().logDirectory();
        QTRY_VERIFY(QFile::exists(logDir + "fpc_run0001.log"));

        const QString root = m_service->root().root();
        QStringList created;
        for (const QString &name : QDir(root).entryList({"fp.db*"}, QDir::Files))
            created << root + "/" + name;
        for (const QString &name : QDir(root + "/home/user").entryList({"fpr_*"}, QDir::Files))
            created << root + "/home/user/" + name;
        created << logDir + "fpc_run0001.log";
        QVERIFY2(created.size() >= 3, qPrintable(created.join(' ')));
        for (const QString &path : created)
            QVERIFY2(TestSupport::fileMode(path) == 0600, qPrintable(path));
        QCOMPARE(m_service->quit(), 0);
    }

    // A forced upload while one is under way is refused, and the report under
    // way keeps its fingerprints. (Uploads that succeed or fail are in tst_upload_e2e.)
    void secondForcedUploadRefusedWhileSending()
    {
        FpServerProcess server(m_service->root().path("/server"));
        QVERIFY2(server.start("delay:1"), qPrintable(server.errorString()));
        m_service->daemon().setEnv("SLPGW_SERVER_URL", server.url());
        startPositioning();
        QVERIFY(m_service->start({"--sbox"}));
        send(fixNow());
        QTRY_COMPARE(m_service->fingerprintCount(), 1);
        QCOMPARE(m_service->call("forcedUpload").arguments().value(0).toString(),
                 QStringLiteral("Upload to server started"));
        QTRY_COMPARE(server.uploadCount(), 1);
        QVERIFY(m_service->call("forcedUpload").arguments().value(0).toString().startsWith("Cannot start upload: "));
        QTRY_COMPARE_WITH_TIMEOUT(server.readLines("fingerprints.jsonl").size(), 1, 15000);
        QTRY_COMPARE(m_service->fingerprintCount(), 0);
        QCOMPARE(m_service->quit(), 0);
    }
};

QTEST_GUILESS_MAIN(TstServiceCollection)
#include "tst_service_collection.moc"
