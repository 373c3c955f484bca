// The creator and the measurement collector (against the simulated radio) in one executable.

#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "FpcMeasurementCollector.h"
#include "LogCapture.h"
#include "TempRoot.h"
#include "TestBus.h"
#include "VomuObservationElement.h"

#include <QDateTime>
#include <QtTest>

int runCreatorTests(int argc, char **argv);

namespace {

// One GSM cell and two access points around the phone's start position.
QByteArray world(int scanDelayMs, bool neverAnswers = false)
{
    return QStringLiteral(R"({
        "startPosition": {"latitude": 61.485, "longitude": 21.797},
        "followPositionMessages": false,
        "wlanScanDelayMs": %1,
        "wlanScanNeverAnswers": %2,
        "gsmCells": [{"mcc": 244, "mnc": 5, "lac": 10, "cid": 1001, "bsic": 11, "bcch": 60,
                      "latitude": 61.4851, "longitude": 21.797, "txPowerDbm": 43}],
        "accessPoints": [
            {"mac": "00:1a:2b:3c:4d:01", "latitude": 61.4851, "longitude": 21.797, "txPowerDbm": 20},
            {"mac": "00:1a:2b:3c:4d:02", "latitude": 61.4849, "longitude": 21.797, "txPowerDbm": 20}]
    })")
        .arg(scanDelayMs)
        .arg(neverAnswers ? "true" : "false")
        .toUtf8();
}

// Element kinds of one announced cycle, e.g. "1 4 4".
QString kinds(const QSignalSpy &spy, int emission)
{
    const auto measurements = spy.at(emission).at(0).value<VomuMeasurements>();
    QStringList ids;
    for (int i = 0; i < measurements.count(); ++i)
        ids << QString::number(measurements.element(i)->elementId());
    return ids.join(' ');
}

} // namespace

class TstFpcMeasurementCollector : public QObject
{
    Q_OBJECT

    TempRoot m_root;
    TestBus m_bus;

    bool writeWorld(const QByteArray &contents) { return m_root.writeFile("/var/lib/radio/world.json", contents); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        // The platform's positioning source talks to the system bus: keep it private.
        QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString()));
        // QtPositioning hides its platform plugins from tests; this one should run, on the private bus.
        qunsetenv("QT_QTESTLIB_RUNNING");
    }

    void init()
    {
        FpcConfig::addKey("wlan_scan_interval", "60");
        QVERIFY(writeWorld(world(50)));
    }

    // Cells alone at once, then nothing at all once the radio world is gone.
    void cycleWithoutWlan()
    {
        for (const bool haveWorld : {true, false}) {
            QVERIFY(haveWorld || m_root.removeFile("/var/lib/radio/world.json"));
            FpcMeasurementCollector collector;
            QSignalSpy spy(&collector, &FpcMeasurementCollector::measurementsAvailable);
            collector.collectMeasurements(false);
            QCOMPARE(spy.count(), 1);
            QCOMPARE(kinds(spy, 0), haveWorld ? "1" : "");
            QCOMPARE(collector.lastWlanScanTime(), 0);
        }
    }

    void scanInterval()
    {
        FpcMeasurementCollector collector;
        QSignalSpy spy(&collector, &FpcMeasurementCollector::measurementsAvailable);
        // A second request while the scan is pending: one announcement of its cells and the scan's result.
        collector.collectMeasurements(true);
        collector.collectMeasurements(true);
        QCOMPARE(spy.count(), 0);
        QVERIFY(spy.wait());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(kinds(spy, 0), "1 4 4");
        const qint64 scanned = collector.lastWlanScanTime();
        QVERIFY(scanned > 0);

        // Within the interval: cells at once, no scan.
        FpcConfig::addKey("wlan_scan_interval", "600000");
        collector.collectMeasurements(true);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(kinds(spy, 1), "1");
        QCOMPARE(collector.lastWlanScanTime(), scanned);

        // The last scan seems to lie a day ahead: the clock went back since, so scan.
        collector.m_lastWlanScanTime = QDateTime::currentMSecsSinceEpoch() + 86400000;
        collector.collectMeasurements(true);
        QVERIFY(spy.wait());
        QCOMPARE(kinds(spy, 2), "1 4 4");

        // Past the interval: a fresh scan.
        FpcConfig::addKey("wlan_scan_interval", "0");
        collector.m_lastWlanScanTime = scanned;
        QTRY_VERIFY(QDateTime::currentMSecsSinceEpoch() > scanned);
        collector.collectMeasurements(true);
        QCOMPARE(spy.count(), 3);
        QVERIFY(spy.wait());
        QCOMPARE(kinds(spy, 3), "1 4 4");
        QVERIFY(collector.lastWlanScanTime() > scanned);
    }

    void scanTimeouts()
    {
        // One 5-second time-out for a scan that answers late and one that never answers.
        QVERIFY(writeWorld(world(5400)));
        FpcMeasurementCollector late;
        QSignalSpy lateSpy(&late, &FpcMeasurementCollector::measurementsAvailable);
        late.collectMeasurements(true);
        QVERIFY(writeWorld(world(0, true)));
        FpcMeasurementCollector silent;
        QSignalSpy silentSpy(&silent, &FpcMeasurementCollector::measurementsAvailable);
        const qint64 asked = QDateTime::currentMSecsSinceEpoch();
        silent.collectMeasurements(true);

        QTRY_COMPARE_WITH_TIMEOUT(silentSpy.count(), 1, 10000);
        QCOMPARE(lateSpy.count(), 1);
        QCOMPARE(kinds(silentSpy, 0), "1");
        QCOMPARE(kinds(lateSpy, 0), "1");
        QVERIFY(silent.lastWlanScanTime() >= asked);
        // The time-out counts as a scan: the next one waits for the interval.
        FpcConfig::addKey("wlan_scan_interval", "600000");
        silent.collectMeasurements(true);
        QCOMPARE(silentSpy.count(), 2);

        // The late result is appended to that cycle's cells and announced again.
        QTRY_COMPARE_WITH_TIMEOUT(lateSpy.count(), 2, 5000);
        QCOMPARE(kinds(lateSpy, 1), "1 4 4");
        QCOMPARE(silentSpy.count(), 2);
    }

    // A result for a collector that is gone (or for none) is dropped.
    void collectorGoneBeforeItsScanAnswers()
    {
        LogCapture log;
        auto *gone = new FpcMeasurementCollector;
        gone->collectMeasurements(true);
        delete gone;
        QTRY_VERIFY(log.contains("Collector no longer exists"));
        FpcMeasurementCollector::wlanScanResultCallback(nullptr, VomuMeasurements());
    }

    void activePositioningTwice()
    {
        const bool platformSource = QGeoPositionInfoSource::availableSources().contains("geoclue2");
        FpcMeasurementCollector collector;
        collector.startActiveGpsFixes();
        QGeoPositionInfoSource *const source = collector.m_positionSource;
        QCOMPARE(source != nullptr, platformSource);
        collector.startActiveGpsFixes();
        QCOMPARE(collector.m_positionSource, source);
        QCOMPARE(collector.isActiveGpsRunning(), platformSource);
        collector.stopActiveGpsFixes();
        collector.stopActiveGpsFixes();
        QVERIFY(!collector.isActiveGpsRunning());
        // Once more, left running for the destructor to stop.
        collector.startActiveGpsFixes();
        QCOMPARE(collector.isActiveGpsRunning(), platformSource);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    TstFpcMeasurementCollector collector;
    const bool failed = runCreatorTests(argc, argv) != 0;
    return (QTest::qExec(&collector, argc, argv) != 0 || failed) ? 1 : 0;
}

#include "tst_fpcmeasurementcollector.moc"
