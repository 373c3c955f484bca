// The service's small decision units: the timer trigger's schedule, the
// watch on other apps' WLAN scans, GPS position messages and control access.

#include "FpcControlAccess.h"
#include "FpcPositionMessage.h"
#include "FpcTriggerSchedule.h"
#include "FpcWlanScanWatcher.h"
#include "LogCapture.h"
#include "TestBus.h"

#include <QDBusConnection>
#include <QTest>

#include <grp.h>
#include <limits>
#include <unistd.h>

namespace {
const qint64 Minute = 60000;
const qint64 T0 = 1700000000000; // "now", ms since the epoch
const QString Wlan = QString::fromLatin1(FpcWlanScanWatcher::WlanBearer);
} // namespace

class TstFpcService : public QObject
{
    Q_OBJECT

    FpcWlanScanWatcher m_watcher;
    FpcWlanScanWatcher::Settings m_settings;
    const QDateTime m_time{QDate(2024, 5, 2), QTime(9, 0, 30, 250), Qt::UTC};

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

    void triggerWait_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("dayFactor");
        QTest::addColumn<int>("nightFactor");
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<int>("timerMs");
        QTest::addColumn<bool>("clamped");
        QTest::newRow("05:59 night") << QTime(5, 59) << 180 << 1 << 2 << qint64(360) << 21600000 << false;
        QTest::newRow("06:00 day") << QTime(6, 0) << 180 << 1 << 2 << qint64(180) << 10800000 << false;
        QTest::newRow("23:00 night") << QTime(23, 0) << 180 << 1 << 2 << qint64(360) << 21600000 << false;
        QTest::newRow("base 0: re-check base") << QTime(12, 0) << 0 << 1 << 2 << qint64(360) << 21600000 << false;
        QTest::newRow("35791 min fits") << QTime(12, 0) << 35791 << 1 << 2 << qint64(35791) << 2147460000 << false;
        QTest::newRow("35792 min clamped") << QTime(12, 0) << 35792 << 1 << 2 << qint64(35792) << INT_MAX << true;
        QTest::newRow("beyond 32 bits") << QTime(3, 0) << INT_MAX << 1 << INT_MAX << qint64(INT_MAX) * INT_MAX
                                        << INT_MAX << true;
        QTest::newRow("factor 0 does not spin") << QTime(12, 0) << 180 << 0 << 2 << qint64(0) << 60000 << true;
    }
    void triggerWait()
    {
        QFETCH(QTime, time);
        QFETCH(int, base);
        QFETCH(int, dayFactor);
        QFETCH(int, nightFactor);
        QFETCH(bool, clamped);
        const FpcTriggerSchedule schedule({base, 6, 23, dayFactor, nightFactor}, time);
        QCOMPARE(schedule.isOff(), base < 1);
        QTEST(schedule.minutes(), "minutes");
        bool wasClamped = !clamped; // must be written either way
        QTEST(schedule.timerMilliseconds(&wasClamped), "timerMs");
        QCOMPARE(wasClamped, clamped);
    }

    // Without the keys: every 180 minutes from 06:00, twice that from 23:00.
    void triggerDefaults()
    {
        const auto settings = FpcTriggerSchedule::fromConfiguration();
        QCOMPARE(FpcTriggerSchedule(settings, QTime(6, 0)).minutes(), 180);
        QCOMPARE(FpcTriggerSchedule(settings, QTime(5, 59)).minutes(), 360);
        QCOMPARE(FpcTriggerSchedule(settings, QTime(22, 59)).minutes(), 180);
        QCOMPARE(FpcTriggerSchedule(settings, QTime(23, 0)).minutes(), 360);
    }

    // Another bearer is not looked at; an unknown state is refused and changes nothing.
    void scanWatchIgnores()
    {
        LogCapture log;
        QVERIFY(!scan(T0, 0, QStringLiteral("GPRS")).freeResults);
        QVERIFY(log.lines().isEmpty());
        m_watcher.onStateChange(Wlan, FpcWlanScanWatcher::SearchStarted, T0, 0, {});
        QVERIFY(!m_watcher.onStateChange(Wlan, 42, T0 + 1000, 0, {}).freeResults);
        QCOMPARE(m_watcher.searchState(), FpcWlanScanWatcher::SearchStarted);
        QVERIFY(log.contains(QStringLiteral("unknown wem state 42 ignored")));
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

    void positionMsecsGiveSecondsAndMicroseconds()
    {
        FpcPositionMessage m = FpcPositionMessage::generatedFix(m_time);
        QCOMPARE(m.fixTime(), m_time);
        m.msecs = 59999;
        const FpcPosition position = m.toPosition();
        QCOMPARE(qint64(position.timestamp()), QDateTime(m_time.date(), QTime(9, 0, 59), Qt::UTC).toSecsSinceEpoch());
        QCOMPARE(position.timestampMicroseconds(), 999000u);
    }

    void positionUnusableFields_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<int>("field"); // 0 lat, 1 lon, 2 alt, 3 along, 4 ortho, 5 month, 6 msecs, 7 hours
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("usable");
        QTest::newRow("lat NaN") << 0 << nan << false;
        QTest::newRow("lon -inf") << 1 << -inf << false;
        QTest::newRow("alt beyond float") << 2 << 1e300 << false;
        QTest::newRow("alt NaN: undefined") << 2 << nan << true;
        QTest::newRow("along negative") << 3 << -1.0 << false;
        QTest::newRow("ortho inf") << 4 << inf << false;
        QTest::newRow("month 13") << 5 << 13.0 << false;
        QTest::newRow("msecs 60000") << 6 << 60000.0 << false;
        QTest::newRow("hours 24") << 7 << 24.0 << false;
        QTest::newRow("lat 91: left to isValid") << 0 << 91.0 << true;
    }
    void positionUnusableFields()
    {
        QFETCH(int, field);
        QFETCH(double, value);
        FpcPositionMessage m = FpcPositionMessage::generatedFix(m_time);
        double *doubles[] = {&m.lat, &m.lon, &m.alt, &m.along, &m.ortho};
        if (field < 5)
            *doubles[field] = value;
        else if (field == 5)
            m.month = quint8(value);
        else if (field == 6)
            m.msecs = quint16(value);
        else
            m.hours = quint8(value);
        QTEST(m.problem().isEmpty(), "usable");
    }

    // Who may control the daemon: the bus names users, the group database
    // tells membership; each side is checked real and replaced.
    void controlAccessRealLookups()
    {
        TestBus bus;
        QVERIFY2(bus.start(), qPrintable(bus.errorString()));
        const QString self = QDBusConnection::systemBus().baseService();
        QCOMPARE(FpcControlAccess::systemBusUser(self), std::optional<uint>(::getuid()));
        QCOMPARE(FpcControlAccess::systemBusUser(QStringLiteral(":1.99999")), std::nullopt);

        const group *primary = ::getgrgid(::getgid());
        QVERIFY(primary);
        QVERIFY(FpcControlAccess::systemGroupMember(::getuid(), QString::fromLocal8Bit(primary->gr_name)));
        QVERIFY(!FpcControlAccess::systemGroupMember(::getuid(), QStringLiteral("no-such-group-fpcd")));
    }

    void controlAccessRootAndGroupMembersOnly()
    {
        // Bus name ":uid" stands for a connection of that user; ":?" for one the bus cannot tell.
        const auto userOf = [](const QString &name) -> std::optional<uint> {
            bool ok = false;
            const uint uid = name.mid(1).toUInt(&ok);
            return ok ? std::optional<uint>(uid) : std::nullopt;
        };
        const auto isMember = [](uint uid, const QString &group) { return uid == 1000 && group == "ctl"; };
        const FpcControlAccess access(userOf, isMember, QStringLiteral("ctl"));
        LogCapture log;
        QVERIFY(access.allows(":0", "quit"));
        QVERIFY(access.allows(":1000", "quit"));
        QVERIFY(!access.allows(":1001", "clearBuffer"));
        QVERIFY(!access.allows(":?", "signal quit"));
        QCOMPARE(log.lines().filter("refused: sender").size(), 2);
        QVERIFY(log.lines().join('\n').contains("signal quit refused: sender :? is user unknown"));
        QCOMPARE(FpcControlAccess().controlGroup(), QStringLiteral(FPCD_CONTROL_GROUP)); // the build setting
    }
};

QTEST_GUILESS_MAIN(TstFpcService)
#include "tst_fpcservice.moc"
