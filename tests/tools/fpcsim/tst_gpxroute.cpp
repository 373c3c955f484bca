#include "GpxRoute.h"
#include "RouteWalker.h"

#include <QtTest>

#include <cmath>

namespace {

QByteArray gpx(const QByteArray& body)
{
    return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n" + body
        + "\n</gpx>\n";
}

QByteArray trkpt(const char* lat, const char* lon, const char* inner = "")
{
    return QByteArray("<trkpt lat=\"") + lat + "\" lon=\"" + lon + "\">" + inner + "</trkpt>";
}

} // namespace

class TstGpxRoute : public QObject
{
    Q_OBJECT

private slots:
    void rejectsUnusableDocuments_data();
    void rejectsUnusableDocuments();
    void readsTracksInDocumentOrder();
    void spacesUntimedPointsBySpeed();
    void interpolatesBetweenPoints();
    void handlesJumpsAndTheAntimeridian();
    void pacesFixesOverTheRoute_data();
    void pacesFixesOverTheRoute();
};

void TstGpxRoute::rejectsUnusableDocuments_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("expected");
    const QByteArray t0 = "<time>2024-05-02T09:00:00Z</time>";
    const QByteArray t1 = "<time>2024-05-02T09:00:30Z</time>";
    QTest::newRow("malformed xml") << QByteArray("<gpx><trk><trkpt lat=\"1\" lon=\"2\"></trk></gpx>") << "line 1";
    QTest::newRow("not gpx") << QByteArray("<kml><trkpt lat=\"1\" lon=\"2\"/></kml>") << "not a GPX document";
    QTest::newRow("no points") << gpx("<trk><trkseg/></trk>") << "no track or route points";
    QTest::newRow("latitude 95") << gpx(trkpt("95", "21")) << "lat in -90..90";
    QTest::newRow("longitude missing") << gpx("<trkpt lat=\"61\"/>") << "lon in -180..180";
    QTest::newRow("bad elevation") << gpx(trkpt("61", "21", "<ele>high</ele>")) << "bad elevation";
    QTest::newRow("bad time") << gpx(trkpt("61", "21", "<time>noon</time>")) << "bad time";
    QTest::newRow("time backwards") << gpx(trkpt("61", "21", t1) + "\n" + trkpt("61.1", "21", t0))
                                    << "line 4: time goes backwards";
    QTest::newRow("time on some points") << gpx(trkpt("61", "21", t0) + trkpt("61.1", "21")) << "some points have a time";
}

void TstGpxRoute::rejectsUnusableDocuments()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, expected);
    QString error;
    const GpxRoute route = GpxRoute::fromGpx(document, 5.0, &error);
    QVERIFY(route.isEmpty());
    QVERIFY2(error.contains(expected), qPrintable(error));
}

void TstGpxRoute::readsTracksInDocumentOrder()
{
    // Two segments in two tracks join into one route; route points are
    // ignored while there are track points; other elements are skipped.
    const QByteArray document = gpx(
        "<metadata><name>x</name></metadata><rte><rtept lat=\"0\" lon=\"0\"/></rte>"
        "<trk><trkseg>" + trkpt("61.0", "21.0", "<ele>10</ele><time>2024-05-02T09:00:00Z</time><extensions/>")
        + "</trkseg></trk><trk><trkseg>" + trkpt("61.001", "21.0", "<time>2024-05-02T09:00:30.500Z</time>")
        + trkpt("61.002", "21.0", "<ele>12</ele><time>2024-05-02T11:01:00+02:00</time>") + "</trkseg></trk>");
    QString error;
    const GpxRoute route = GpxRoute::fromGpx(document, 5.0, &error);
    QVERIFY2(!route.isEmpty(), qPrintable(error));
    QCOMPARE(route.pointCount(), 3);
    const auto& p = route.points();
    QCOMPARE(p[0].latitude, 61.0);
    QCOMPARE(p[0].elevation, 10.0);
    QVERIFY(std::isnan(p[1].elevation));
    QCOMPARE(p[1].seconds, 30.5);
    QCOMPARE(p[2].seconds, 60.0);  // the time zone offset is honoured

    const GpxRoute example = GpxRoute::fromGpxFile(FPCD_SOURCE_DIR "/tools/fpcsim/examples/short-walk.gpx", 5.0, &error);
    QVERIFY2(!example.isEmpty(), qPrintable(error));
    QCOMPARE(example.pointCount(), 5);
    QCOMPARE(example.durationSeconds(), 120.0);
    QVERIFY(example.lengthMetres() > 150.0 && example.lengthMetres() < 190.0);
}

void TstGpxRoute::spacesUntimedPointsBySpeed()
{
    // 0.01 degree of latitude is about 1112 m; at 3.6 km/h that is 1112 s.
    QString error;
    const GpxRoute route = GpxRoute::fromGpx(
        gpx("<rte><rtept lat=\"61.00\" lon=\"21\"/><rtept lat=\"61.01\" lon=\"21\"/></rte>"), 3.6, &error);
    QVERIFY2(!route.isEmpty(), qPrintable(error));
    QCOMPARE(route.durationSeconds(), route.lengthMetres());
    QVERIFY(std::fabs(route.lengthMetres() - 1111.95) < 0.1);
    QVERIFY(GpxRoute::fromGpx(gpx(trkpt("61", "21") + trkpt("61.1", "21")), 0.0, &error).isEmpty());
    QVERIFY(error.contains("speed"));
}

void TstGpxRoute::interpolatesBetweenPoints()
{
    QString error;
    const GpxRoute route = GpxRoute::fromGpx(
        gpx(trkpt("61.000", "21.000", "<ele>10</ele><time>2024-05-02T09:00:00Z</time>")
            + trkpt("61.001", "21.000", "<ele>20</ele><time>2024-05-02T09:01:00Z</time>")
            + trkpt("61.001", "21.002", "<ele>30</ele><time>2024-05-02T09:01:30Z</time>")),
        5.0, &error);
    QVERIFY2(!route.isEmpty(), qPrintable(error));

    const RouteSample north = route.sampleAt(15.0);
    QCOMPARE(north.latitude, 61.00025);
    QCOMPARE(north.longitude, 21.0);
    QCOMPARE(north.elevation, 12.5);
    QVERIFY(std::fabs(north.speedKmh - 111.195 / 60 * 3.6) < 0.01);
    QVERIFY(north.headingDeg < 0.001 || north.headingDeg > 359.999);

    const RouteSample east = route.sampleAt(75.0);
    QCOMPARE(east.longitude, 21.001);
    QCOMPARE(east.elevation, 25.0);
    QVERIFY(std::fabs(east.headingDeg - 90.0) < 0.01);

    // Outside the route the walker stands on its ends; NaN counts as start.
    QCOMPARE(route.sampleAt(-5.0).latitude, 61.0);
    QCOMPARE(route.sampleAt(qQNaN()).latitude, 61.0);
    const RouteSample end = route.sampleAt(1e9);
    QCOMPARE(end.latitude, 61.001);
    QCOMPARE(end.longitude, 21.002);
    QCOMPARE(end.elevation, 30.0);
}

void TstGpxRoute::handlesJumpsAndTheAntimeridian()
{
    // Two points with the same time are a jump: no division by zero, the
    // walker is at the far point right after it, with the previous speed.
    QString error;
    const GpxRoute jump = GpxRoute::fromGpx(
        gpx(trkpt("10", "10", "<time>2024-05-02T09:00:00Z</time>") + trkpt("10.001", "10", "<time>2024-05-02T09:01:00Z</time>")
            + trkpt("20", "20", "<time>2024-05-02T09:01:00Z</time>") + trkpt("20.001", "20", "<time>2024-05-02T09:02:00Z</time>")
            + trkpt("30", "30", "<time>2024-05-02T09:02:00Z</time>")),
        5.0, &error);
    QVERIFY2(!jump.isEmpty(), qPrintable(error));
    for (double t : {59.9, 60.0, 60.1, 120.0}) {
        const RouteSample s = jump.sampleAt(t);
        QVERIFY(std::isfinite(s.latitude) && std::isfinite(s.speedKmh));
        QVERIFY(s.speedKmh < 10.0);
    }
    QVERIFY(jump.sampleAt(60.0).latitude >= 20.0);
    QCOMPARE(jump.sampleAt(120.0).latitude, 30.0);

    // Across 180 degrees the walker takes the short way.
    const GpxRoute dateLine = GpxRoute::straightLine(0.0, 179.9995, 0.0, -179.9995, 3.6, 0.0);
    QVERIFY(dateLine.lengthMetres() < 120.0);
    const RouteSample middle = dateLine.sampleAt(dateLine.durationSeconds() / 2);
    QVERIFY(std::fabs(std::fabs(middle.longitude) - 180.0) < 1e-6);
}

void TstGpxRoute::pacesFixesOverTheRoute_data()
{
    QTest::addColumn<double>("metres");  // straight line walked at 3.6 km/h: 1 m per route second
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("speedup");
    QTest::addColumn<qint64>("fixes");
    QTest::addColumn<double>("intervalMs");
    QTest::addColumn<double>("secondFixAt");

    QTest::newRow("real time") << 10.0 << 1.0 << 1.0 << qint64(11) << 1000.0 << 1.0;
    QTest::newRow("2 per second, 10x") << 60.0 << 2.0 << 10.0 << qint64(13) << 500.0 << 5.0;
    QTest::newRow("end between fixes") << 61.0 << 2.0 << 10.0 << qint64(14) << 500.0 << 5.0;
    QTest::newRow("slow motion") << 1.0 << 4.0 << 0.5 << qint64(9) << 250.0 << 0.125;
    QTest::newRow("shorter than a step") << 0.5 << 1.0 << 1.0 << qint64(2) << 1000.0 << 0.5;
}

void TstGpxRoute::pacesFixesOverTheRoute()
{
    QFETCH(double, metres);
    QFETCH(double, rate);
    QFETCH(double, speedup);
    QFETCH(qint64, fixes);
    QFETCH(double, intervalMs);
    QFETCH(double, secondFixAt);

    const double degrees = metres / (GpxRoute::EarthRadiusM * M_PI / 180.0);
    const RouteWalker walker(GpxRoute::straightLine(0.0, 0.0, degrees, 0.0, 3.6, 0.0), rate, speedup);
    QCOMPARE(walker.fixesPerLap(), fixes);
    QCOMPARE(walker.wallIntervalMs(), intervalMs);
    QCOMPARE(walker.routeSecondsOf(0), 0.0);
    QCOMPARE(walker.routeSecondsOf(1), secondFixAt);
    QVERIFY(std::fabs(walker.routeSecondsOf(fixes - 1) - metres) < 1e-6);
    QCOMPARE(walker.sampleOf(fixes - 1).latitude, degrees);
    QCOMPARE(walker.sampleOf(fixes - 1).speedKmh, 3.6);

    // A route of one place is one fix a lap; a pace that cannot be walked
    // (no rate, NaN) is refused before walking.
    QCOMPARE(RouteWalker(GpxRoute::straightLine(1, 1, 1, 1, 5, 0), rate, speedup).fixesPerLap(), qint64(1));
    QVERIFY(RouteWalker::checkPace(rate, speedup).isEmpty());
    QVERIFY(!RouteWalker::checkPace(0.0, speedup).isEmpty() && !RouteWalker::checkPace(rate, qQNaN()).isEmpty());
}

QTEST_GUILESS_MAIN(TstGpxRoute)
#include "tst_gpxroute.moc"
