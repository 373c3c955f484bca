#include "FpcWlanScanWatcher.h"
#include "LogCapture.h"

#include <QTest>

namespace {
const qint64 Minute = 60000;
const qint64 T0 = 1700000000000; // an arbitrary "now" in ms since the epoch
const QString Wlan = QString::fromLatin1(FpcWlanScanWatcher::WlanBearer);
const uint Start = FpcWlanScanWatcher::SearchStarted;
const uint Stop = FpcWlanScanWatcher::SearchStopped;
}

class TstFpcWlanScanWatcher : public QObject
{
    Q_OBJECT

    FpcWlanScanWatcher::Settings defaults() const { return {}; }

    // A start and a stop one second later, the daemon's own last scan at ownScan.
    FpcWlanScanWatcher::Reaction scan(FpcWlanScanWatcher &watcher, qint64 at, qint64 ownScan)
    {
        watcher.onStateChange(Wlan, Start, at, ownScan, defaults());
        return watcher.onStateChange(Wlan, Stop, at + 1000, ownScan, defaults());
    }

private slots:
    void otherBearerChangesAndLogsNothing()
    {
        LogCapture log;
        FpcWlanScanWatcher watcher;
        watcher.onStateChange(QStringLiteral("GPRS"), Start, T0, 0, defaults());
        const auto reaction = watcher.onStateChange(QStringLiteral("GPRS"), Stop, T0 + 1000, 0, defaults());
        QVERIFY(!reaction.freeResults && !reaction.createFingerprint);
        QCOMPARE(watcher.searchState(), Stop);
        QVERIFY(log.lines().isEmpty());
    }

    void startRightAfterOwnScanIsNotRecorded()
    {
        FpcWlanScanWatcher watcher;
        // Own result 2 s ago, delay 5 s: the search belongs to the daemon.
        const auto reaction = scan(watcher, T0, T0 - 2000);
        QCOMPARE(watcher.searchState(), Stop);
        QVERIFY(!reaction.freeResults && !reaction.createFingerprint);
    }

    void foreignScansAreThrottledByInterval()
    {
        LogCapture log;
        FpcWlanScanWatcher watcher;
        auto first = scan(watcher, T0, 0);
        QVERIFY(first.freeResults);
        QCOMPARE(first.freeResultsMs, 5000);
        QVERIFY(first.createFingerprint);
        QCOMPARE(watcher.lastFreeWlanFingerprintTime(), T0 + 1000);

        auto second = scan(watcher, T0 + 10 * Minute, 0);
        QVERIFY(second.freeResults);
        QVERIFY(!second.createFingerprint);
        QVERIFY(log.contains(QStringLiteral("Free Wlan results ignored: last free scan  done  10")));

        auto later = scan(watcher, T0 + 242 * Minute, 0);
        QVERIFY(later.createFingerprint);
    }

    void stopAfterOwnRecentScanSetsFlagOnly()
    {
        FpcWlanScanWatcher watcher;
        watcher.onStateChange(Wlan, Start, T0, 0, defaults());
        // The daemon's own scan finished meanwhile, just before the stop.
        const auto reaction = watcher.onStateChange(Wlan, Stop, T0 + 1000, T0 + 500, defaults());
        QVERIFY(reaction.freeResults);
        QVERIFY(!reaction.createFingerprint);
    }

    void unknownStatesAreRefused()
    {
        LogCapture log;
        FpcWlanScanWatcher watcher;
        watcher.onStateChange(Wlan, Start, T0, 0, defaults());
        const auto reaction = watcher.onStateChange(Wlan, 42, T0 + 1000, 0, defaults());
        QVERIFY(!reaction.freeResults);
        QCOMPARE(watcher.searchState(), Start);
        QVERIFY(log.contains(QStringLiteral("unknown wem state 42 ignored")));
    }

    void delayIsKeptWithinTimerRange()
    {
        QCOMPARE(FpcWlanScanWatcher::delayMs(-3), qint64(0));
        QCOMPARE(FpcWlanScanWatcher::delayMs(INT_MAX), qint64(INT_MAX));
    }
};

QTEST_GUILESS_MAIN(TstFpcWlanScanWatcher)
#include "tst_fpcwlanscanwatcher.moc"
