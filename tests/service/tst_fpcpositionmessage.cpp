#include "FpcPositionMessage.h"

#include <QTest>

#include <limits>

class TstFpcPositionMessage : public QObject
{
    Q_OBJECT

    const QDateTime m_time{QDate(2024, 5, 2), QTime(9, 0, 30, 250), Qt::UTC};

private slots:
    void msecsGiveSecondsAndMicroseconds()
    {
        FpcPositionMessage m = FpcPositionMessage::generatedFix(m_time);
        QCOMPARE(m.fixTime(), m_time);
        m.msecs = 59999;
        const FpcPosition position = m.toPosition();
        QCOMPARE(qint64(position.timestamp()), QDateTime(m_time.date(), QTime(9, 0, 59), Qt::UTC).toSecsSinceEpoch());
        QCOMPARE(position.timestampMicroseconds(), 999000u);
    }

    void unusableFields_data()
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
    void unusableFields()
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
};

QTEST_APPLESS_MAIN(TstFpcPositionMessage)
#include "tst_fpcpositionmessage.moc"
