#include "FpcTriggerSchedule.h"

#include <QTest>

class TstFpcTriggerSchedule : public QObject
{
    Q_OBJECT

private slots:
    void wait_data()
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
    void wait()
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
    void defaults()
    {
        const auto settings = FpcTriggerSchedule::fromConfiguration();
        QCOMPARE(FpcTriggerSchedule(settings, QTime(6, 0)).minutes(), 180);
        QCOMPARE(FpcTriggerSchedule(settings, QTime(5, 59)).minutes(), 360);
        QCOMPARE(FpcTriggerSchedule(settings, QTime(22, 59)).minutes(), 180);
        QCOMPARE(FpcTriggerSchedule(settings, QTime(23, 0)).minutes(), 360);
    }
};

QTEST_APPLESS_MAIN(TstFpcTriggerSchedule)
#include "tst_fpctriggerschedule.moc"
