#include "FpcWlanScanWatcher.h"
#include "LogCapture.h"

#include <QTest>

namespace {
const qint64 Minute = 60000;
const qint64 T0 = 1700000000000; // "now", ms since the epoch
const QString Wlan = QString::fromLatin1(FpcWlanScanWatcher::WlanBearer);
}

class TstFpcWlanScanWatcher : public QObject
{
    Q_OBJECT

    FpcWlanScanWatcher m_watcher;
    FpcWlanScanWatcher::Settings m_settings;

    // Search start at `at`, stop a second later; the daemon's own last scan
    // result at ownScan.
    FpcWlanScanWatcher::Reaction scan(qint64 at, qint64 ownScan, const QString &bearer = Wlan)
    {
        m_watcher.onStateChange(bearer, FpcWlanScanWatcher::SearchStarted, at, ownScan, m_settings);
        return m_watcher.onStateChange(bearer, FpcWlanScanWatcher::SearchStopped, at + 1000, ownScan, m_settings);
    }

private slots:
    // Settings from a configuration without the keys: the defaults.
    void init()
    {
        m_watcher = FpcWlanScanWatcher();
        m_settings = FpcWlanScanWatcher::fromConfiguration();
    }

    void otherBearerIsNotLookedAt()
    {
        LogCapture log;
        const auto reaction = scan(T0, 0, QStringLiteral("GPRS"));
        QVERIFY(!reaction.freeResults);
        QVERIFY(log.lines().isEmpty());
    }

    void searchRightAfterOwnScanIsOurs()
    {
        const auto reaction = scan(T0, T0 - 5000); // exactly the default delay of 5 s
        QVERIFY(!reaction.freeResults && !reaction.createFingerprint);
        QCOMPARE(m_watcher.searchState(), FpcWlanScanWatcher::SearchStopped);
    }

    // By default a free-WLAN fingerprint at most every 240 minutes: one
    // exactly 240 minutes later is still too early.
    void foreignScansTenMinutesApart()
    {
        LogCapture log;
        const auto first = scan(T0, 0);
        QVERIFY(first.freeResults && first.createFingerprint);
        QCOMPARE(first.freeResultsMs, 5000);
        const auto second = scan(T0 + 10 * Minute, 0);
        QVERIFY(second.freeResults && !second.createFingerprint);
        QVERIFY(log.contains(QStringLiteral("Free Wlan results ignored: last free scan  done  10")));
        QVERIFY(!scan(T0 + 240 * Minute, 0).createFingerprint);
        QVERIFY(scan(T0 + 241 * Minute, 0).createFingerprint);
    }

    void unknownStateIsRefused()
    {
        LogCapture log;
        m_watcher.onStateChange(Wlan, FpcWlanScanWatcher::SearchStarted, T0, 0, {});
        QVERIFY(!m_watcher.onStateChange(Wlan, 42, T0 + 1000, 0, {}).freeResults);
        QCOMPARE(m_watcher.searchState(), FpcWlanScanWatcher::SearchStarted);
        QVERIFY(log.contains(QStringLiteral("unknown wem state 42 ignored")));
    }
};

QTEST_GUILESS_MAIN(TstFpcWlanScanWatcher)
#include "tst_fpcwlanscanwatcher.moc"
