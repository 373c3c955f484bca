#include "FpcPositionMessage.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

FpcPositionMessage goodFix()
{
    return FpcPositionMessage::generatedFix(QDateTime(QDate(2024, 5, 2), QTime(9, 0, 30, 250), Qt::UTC));
}
}

class TstFpcPositionMessage : public QObject
{
    Q_OBJECT

private slots:
    void timeFieldsBecomeTimestampAndMicroseconds()
    {
        FpcPositionMessage m = goodFix();
        m.msecs = 59999;
        const FpcPosition position = m.toPosition();
        QCOMPARE(m.fixTime(), QDateTime(QDate(2024, 5, 2), QTime(9, 0, 59, 999), Qt::UTC));
        QCOMPARE(qint64(position.timestamp()), QDateTime(QDate(2024, 5, 2), QTime(9, 0, 59), Qt::UTC).toSecsSinceEpoch());
        QCOMPARE(position.timestampMicroseconds(), 999000u);
        QCOMPARE(position.groundSpeed(), quint16(4));
        QCOMPARE(position.offsetAngle(), quint8(20));
        QCOMPARE(position.majorAxis, 11.21);
    }

    void generatedFixRoundTripsTheClock()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QCOMPARE(FpcPositionMessage::generatedFix(now).fixTime(), now);
    }

    void unusableFieldsAreNamed_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("usable");
        // field: 0 lat, 1 lon, 2 alt, 3 along, 4 ortho, 5 month, 6 msecs, 7 hours, 8 day
        QTest::newRow("lat NaN") << 0 << NaN << false;
        QTest::newRow("lon inf") << 1 << -Inf << false;
        QTest::newRow("alt inf") << 2 << Inf << false;
        QTest::newRow("alt beyond float") << 2 << 1e300 << false;
        QTest::newRow("alt NaN = undefined") << 2 << NaN << true;
        QTest::newRow("along negative") << 3 << -1.0 << false;
        QTest::newRow("ortho inf") << 4 << Inf << false;
        QTest::newRow("ortho NaN = undefined") << 4 << NaN << true;
        QTest::newRow("month 13") << 5 << 13.0 << false;
        QTest::newRow("msecs 60000") << 6 << 60000.0 << false;
        QTest::newRow("hours 24") << 7 << 24.0 << false;
        QTest::newRow("February 30") << 8 << 30.0 << false;
        QTest::newRow("lat 91 left to isValid") << 0 << 91.0 << true;
    }
    void unusableFieldsAreNamed()
    {
        QFETCH(int, field);
        QFETCH(double, value);
        FpcPositionMessage m = goodFix();
        switch (field) {
        case 0: m.lat = value; break;
        case 1: m.lon = value; break;
        case 2: m.alt = value; break;
        case 3: m.along = value; break;
        case 4: m.ortho = value; break;
        case 5: m.month = quint8(value); break;
        case 6: m.msecs = quint16(value); break;
        case 7: m.hours = quint8(value); break;
        case 8: m.month = 2; m.day = quint8(value); break;
        }
        QFETCH(bool, usable);
        QCOMPARE(m.problem().isEmpty(), usable);
        if (field >= 5)
            QVERIFY(!m.fixTime().isValid());
    }

    void argumentsAreReadInWireOrder()
    {
        const QVariantList args{1.5, 2.5, 3.5, 4.5, 5.5, QVariant::fromValue<uchar>(6), QVariant::fromValue<ushort>(7),
                                QVariant::fromValue<ushort>(8), QVariant::fromValue<ushort>(2024),
                                QVariant::fromValue<uchar>(10), QVariant::fromValue<uchar>(11),
                                QVariant::fromValue<uchar>(12), QVariant::fromValue<uchar>(13),
                                QVariant::fromValue<ushort>(14000)};
        const FpcPositionMessage m = FpcPositionMessage::fromArguments(args);
        QCOMPARE(m.ortho, 5.5);
        QCOMPARE(m.speed, quint16(8));
        QCOMPARE(m.fixTime(), QDateTime(QDate(2024, 11, 10), QTime(12, 13, 14), Qt::UTC));
    }
};

QTEST_APPLESS_MAIN(TstFpcPositionMessage)
#include "tst_fpcpositionmessage.moc"
