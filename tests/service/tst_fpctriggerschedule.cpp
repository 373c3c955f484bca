#include "FpcTriggerSchedule.h"

#include <QTest>

class TstFpcTriggerSchedule : public QObject
{
    Q_OBJECT

private slots:
    void waitFollowsLocalTimeAndSettings_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("dayFactor");
        QTest::addColumn<int>("nightFactor");
        QTest::addColumn<bool>("off");
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<int>("timerMs");
        QTest::addColumn<bool>("clamped");

        QTest::newRow("05:59 night") << QTime(5, 59) << 180 << 1 << 2 << false << qint64(360) << 21600000 << false;
        QTest::newRow("06:00 day") << QTime(6, 0) << 180 << 1 << 2 << false << qint64(180) << 10800000 << false;
        QTest::newRow("22:59 day") << QTime(22, 59) << 180 << 1 << 2 << false << qint64(180) << 10800000 << false;
        QTest::newRow("23:00 night") << QTime(23, 0) << 180 << 1 << 2 << false << qint64(360) << 21600000 << false;
        QTest::newRow("base 0 by day") << QTime(12, 0) << 0 << 1 << 2 << true << qint64(360) << 21600000 << false;
        QTest::newRow("base -5 by night") << QTime(2, 0) << -5 << 1 << 2 << true << qint64(720) << 43200000 << false;
        // 35791 minutes is the last whole minute a timer can hold.
        QTest::newRow("35791 minutes") << QTime(12, 0) << 35791 << 1 << 2 << false << qint64(35791) << 2147460000
                                       << false;
        QTest::newRow("35792 minutes") << QTime(12, 0) << 35792 << 1 << 2 << false << qint64(35792) << INT_MAX
                                       << true;
        QTest::newRow("product beyond 32 bits") << QTime(3, 0) << INT_MAX << 1 << INT_MAX << false
                                                << qint64(INT_MAX) * INT_MAX << INT_MAX << true;
        QTest::newRow("factor 0 does not spin") << QTime(12, 0) << 180 << 0 << 2 << false << qint64(0) << 60000
                                                << true;
        QTest::newRow("negative factor") << QTime(12, 0) << 180 << -1 << 2 << false << qint64(-180) << 60000
                                         << true;
    }
    void waitFollowsLocalTimeAndSettings()
    {
        QFETCH(QTime, time);
        QFETCH(int, base);
        QFETCH(int, dayFactor);
        QFETCH(int, nightFactor);
        FpcTriggerSchedule::Settings settings;
        settings.baseMinutes = base;
        settings.daytimeFactor = dayFactor;
        settings.nighttimeFactor = nightFactor;
        const FpcTriggerSchedule schedule(settings, time);

        QFETCH(bool, clamped);

        bool wasClamped = !clamped; // must be written either way
        QTEST(schedule.isOff(), "off");
        QTEST(schedule.minutes(), "minutes");
        QTEST(schedule.timerMilliseconds(&wasClamped), "timerMs");
        QCOMPARE(wasClamped, clamped);
    }

    void dayWindowFollowsConfiguredHours()
    {
        FpcTriggerSchedule::Settings settings;
        settings.daytimeStartHour = 8;
        settings.nighttimeStartHour = 20;
        QVERIFY(!FpcTriggerSchedule(settings, QTime(7, 59)).isDaytime());
        QVERIFY(FpcTriggerSchedule(settings, QTime(8, 0)).isDaytime());
        QVERIFY(!FpcTriggerSchedule(settings, QTime(20, 0)).isDaytime());
    }
};

QTEST_APPLESS_MAIN(TstFpcTriggerSchedule)
#include "tst_fpctriggerschedule.moc"
