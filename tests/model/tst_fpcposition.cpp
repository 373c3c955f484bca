#include "FpcPosition.h"

#include <QtTest>

#include <cmath>

namespace {

QStringList captured;
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured << message;
}

FpcPosition at(double latitude, double longitude)
{
    FpcPosition p;
    p.setCoordinate(latitude, longitude);
    return p;
}

} // namespace

class TstFpcPosition : public QObject
{
    Q_OBJECT

private slots:
    void defaults()
    {
        const FpcPosition p;
        QVERIFY(std::isnan(p.majorAxis) && std::isnan(p.minorAxis));
        QCOMPARE(p.groundSpeed(), quint16(65535));
        QCOMPARE(p.uncertainty(), quint8(0));
        QVERIFY(std::isnan(p.cep68()));
        QCOMPARE(p.cep68K(), quint8(0));
        QCOMPARE(p.latitudeNormalized(), 0);
        QCOMPARE(p.longitudeNormalized(), 0);
        QVERIFY(p.isValid()); // NaN coordinates fail neither range test
    }

    void normalisation_data()
    {
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::addColumn<qint32>("latNorm");
        QTest::addColumn<qint32>("lonNorm");
        QTest::addColumn<bool>("valid");
        const qint32 min = std::numeric_limits<qint32>::min();
        const qint32 max = std::numeric_limits<qint32>::max();
        QTest::newRow("north pole, 180") << 90.0 << 180.0 << max << max << true;
        QTest::newRow("south pole, -180") << -90.0 << -180.0 << min << min << true;
        QTest::newRow("half way") << 45.0 << -90.0 << 1073741824 << -1073741824 << true;
        QTest::newRow("floors toward minus") << -1e-9 << 1e-9 << -1 << 0 << true;
        QTest::newRow("latitude beyond") << 90.0001 << 0.0 << max << 0 << false;
        QTest::newRow("longitude beyond") << 0.0 << -1000.0 << 0 << min << false;
    }

    void normalisation()
    {
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        const FpcPosition p = at(latitude, longitude);
        QTEST(p.latitudeNormalized(), "latNorm");
        QTEST(p.longitudeNormalized(), "lonNorm");
        QTEST(p.isValid(), "valid");
    }

    void kValue_data()
    {
        QTest::addColumn<double>("metres");
        QTest::addColumn<int>("k");
        QTest::newRow("0") << 0.0 << 0;
        QTest::newRow("1000") << 1000.0 << 255;
        QTest::newRow("-10") << -10.0 << 0;
        QTest::newRow("-5 (log of 0)") << -5.0 << 0;
        QTest::newRow("NaN") << double(NAN) << 0;
        QTest::newRow("5 m") << 5.0 << 35;
        QTest::newRow("K 254 decodes back") << 5 * (std::pow(1.02, 254) - 1) << 254;
    }

    void kValue()
    {
        QFETCH(double, metres);
        QTEST(int(FpcPosition::kValue(metres)), "k");
    }

    void altitudeClamp_data()
    {
        QTest::addColumn<float>("altitude");
        QTest::addColumn<int>("expected");
        QTest::newRow("NaN") << float(NAN) << 32767;
        QTest::newRow("32767") << 32767.0f << 32767;
        QTest::newRow("32766.4") << 32766.4f << 32766;
        QTest::newRow("-32768") << -32768.0f << -32768;
        QTest::newRow("below") << -1e9f << -32768;
        QTest::newRow("-1.5 rounds up") << -1.5f << -1;
        QTest::newRow("-1.6") << -1.6f << -2;
    }

    void altitudeClamp()
    {
        QFETCH(float, altitude);
        FpcPosition p;
        p.setAltitude(altitude);
        QTEST(int(p.altitudeInt16()), "expected");
    }

    void uncertaintyMask_data()
    {
        QTest::addColumn<long>("timestamp");
        QTest::addColumn<float>("cep");
        QTest::addColumn<int>("angle");
        QTest::addColumn<float>("altitude");
        QTest::addColumn<float>("altitudeAccuracy");
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("line");
        const float nan = NAN;
        QTest::newRow("everything") << 1700000000L << 5.0f << 0 << 10.0f << 3.0f << 7
                                    << "CEP68 present";
        QTest::newRow("ellipse, angle 180") << 1700000000L << nan << 180 << nan << nan << 1
                                            << "Confidence ellipse present";
        QTest::newRow("ellipse, angle 181") << 0L << nan << 181 << 10.0f << nan << 0
                                            << "ERROR: CEP68 is not defined";
        QTest::newRow("no altitude accuracy") << 0L << 5.0f << 0 << 10.0f << nan << 2
                                              << "Altitude accuracy not present";
    }

    void uncertaintyMask()
    {
        QFETCH(long, timestamp);
        QFETCH(float, cep);
        QFETCH(int, angle);
        QFETCH(float, altitude);
        QFETCH(float, altitudeAccuracy);
        QFETCH(QString, line);
        FpcPosition p;
        p.setTimestamp(timestamp);
        p.setHorizontalAccuracy(cep);
        p.setUncertaintyEllipse(quint8(angle), 20.0, 10.0);
        p.setAltitude(altitude);
        p.setAltitudeAccuracy(altitudeAccuracy);
        captured.clear();
        const QtMessageHandler previous = qInstallMessageHandler(capture);
        const int mask = p.uncertainty();
        qInstallMessageHandler(previous);
        QTEST(mask, "mask");
        QVERIFY2(!captured.filter(line).isEmpty(), qPrintable(captured.join('\n')));
    }

    void cep68FromEllipse()
    {
        FpcPosition p;
        p.setUncertaintyEllipse(0, 30.0, NAN);
        QVERIFY(std::isnan(p.cep68()));
        p.setUncertaintyEllipse(0, 30.0, 10.0);
        QCOMPARE(p.cep68(), float(40.0 * 0.7548));
        p.setHorizontalAccuracy(7.0f); // a measured CEP68 wins over the ellipse
        QCOMPARE(p.cep68(), 7.0f);
    }

    void gpsTime()
    {
        FpcPosition p;
        p.setTimestamp(1);
        p.setTimestampMicroseconds(1999);
        QCOMPARE(p.gpsTimeMSecs(), quint64(62167219200000ULL + 1000 + 1));
        QCOMPARE(p.dateTime(), QDateTime::fromMSecsSinceEpoch(1001, Qt::UTC));
        p.setTimestamp(0); // no GPS time, whatever the microseconds say
        QCOMPARE(p.gpsTimeMSecs(), quint64(0));
        p.setTimestamp(std::numeric_limits<long>::max());
        QCOMPARE(p.gpsTimeMSecs(), quint64(0));
    }

    void distance()
    {
        const FpcPosition helsinki = at(60.1699, 24.9384);
        QCOMPARE(helsinki.distanceTo(helsinki), 0.0);
        const double degree = at(10, 20).distanceTo(at(11, 20));
        QVERIFY2(std::abs(degree - 111195.084) < 0.01, qPrintable(QString::number(degree)));
        QVERIFY(std::abs(at(0, 0).distanceTo(at(0, 180)) - M_PI * 6371009) < 0.01);
        QVERIFY(std::isnan(FpcPosition().distanceTo(helsinki)));
    }
};

QTEST_GUILESS_MAIN(TstFpcPosition)
#include "tst_fpcposition.moc"
