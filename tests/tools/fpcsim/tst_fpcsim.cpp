#include "ConnectivityDaemonSim.h"
#include "DeviceStateSim.h"
#include "GpxRoute.h"
#include "PositioningDaemonSim.h"
#include "RouteWalker.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QtTest>

#include <cmath>

// Keeps every D-Bus signal that a subscription delivers.
class SignalRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QDBusMessage> messages;
public slots:
    void record(const QDBusMessage& message) { messages << message; }
};

namespace {

QByteArray gpx(const QByteArray& body)
{
    return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n" + body
        + "\n</gpx>\n";
}

QByteArray trkpt(const char* lat, const char* lon, const QByteArray& inner = {})
{
    return QByteArray("<trkpt lat=\"") + lat + "\" lon=\"" + lon + "\">" + inner + "</trkpt>";
}

QByteArray at(const char* time) { return QByteArray("<time>2024-05-02T") + time + "Z</time>"; }

bool near(double a, double b) { return std::fabs(a - b) < 1e-9; }

PositionFix fixFrom(const QDBusMessage& message) { return PositionFix::fromArguments(message.arguments()); }

void startSim(QProcess& process, const QStringList& arguments)
{
    TestSupport::dieWithParent(process);
    process.start(QStringLiteral(FPCSIM_BINARY), arguments);
}

struct Run
{
    int exitCode = -1;
    QByteArray out, err;
};

Run runSim(const QStringList& arguments)
{
    QProcess process;
    startSim(process, arguments);
    if (!process.waitForFinished(20000))
        TestSupport::stopProcess(process, 1000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

} // namespace

Q_DECLARE_METATYPE(PositionFix::Signature)

// The peer-daemon simulator: GPX routes and their pacing, then the simulated
// peers (classes and the command-line binary) on a private bus.
class TstFpcSim : public QObject
{
    Q_OBJECT

    TestBus m_bus;
    QDBusConnection m_listener{QString()};
    QDBusConnection m_simBus{QString()};
    QStringList m_connectionNames;
    SignalRecorder m_typed; // subscribed like the daemon: from the service name, exact signature
    SignalRecorder m_any;

    QDBusConnection openConnection(const QString& role)
    {
        static int serial = 0;
        m_connectionNames << QStringLiteral("%1-%2").arg(role).arg(++serial);
        return QDBusConnection::connectToBus(m_bus.address(), m_connectionNames.last());
    }
    // One round trip, so the listener's subscriptions are in place on the bus.
    void syncListener() { m_listener.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus")); }
    void listenForFixes()
    {
        const QString name = PositioningDaemonSim::ServiceName, path = PositioningDaemonSim::ObjectPath,
                      interface = PositioningDaemonSim::InterfaceName, member = QStringLiteral("positionMessage");
        QVERIFY(m_listener.connect(name, path, interface, member, PositioningDaemonSim::Signature, &m_typed,
                                   SLOT(record(QDBusMessage))));
        QVERIFY(m_listener.connect(QString(), path, interface, member, &m_any, SLOT(record(QDBusMessage))));
        syncListener();
    }

private slots:
    void initTestCase() { QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString())); }
    void init()
    {
        m_typed.messages.clear();
        m_any.messages.clear();
        m_listener = openConnection(QStringLiteral("listener"));
        m_simBus = openConnection(QStringLiteral("sim"));
        QVERIFY(m_listener.isConnected() && m_simBus.isConnected());
    }
    void cleanup()
    {
        // A connection closes once no handle refers to it any more.
        m_listener = m_simBus = QDBusConnection(QString());
        for (const QString& name : std::as_const(m_connectionNames))
            QDBusConnection::disconnectFromBus(name);
        m_connectionNames.clear();
        QVERIFY(m_bus.waitForNameGone(PositioningDaemonSim::ServiceName));
    }

    void rejectsUnusableRoutes()
    {
        const QList<QPair<QByteArray, QString>> cases = {
            {"<gpx><trk><trkpt lat=\"1\" lon=\"2\"></trk></gpx>", "line 1"},
            {"<kml><trkpt lat=\"1\" lon=\"2\"/></kml>", "not a GPX document"},
            {gpx("<trk><trkseg/></trk>"), "no track or route points"},
            {gpx(trkpt("95", "21")), "lat in -90..90"},
            {gpx("<trkpt lat=\"61\"/>"), "lon in -180..180"},
            {gpx(trkpt("61", "21", "<ele>high</ele>")), "bad elevation"},
            {gpx(trkpt("61", "21", "<time>noon</time>")), "bad time"},
            {gpx(trkpt("61", "21", at("09:00:30")) + "\n" + trkpt("61.1", "21", at("09:00:00"))),
             "line 4: time goes backwards"},
            {gpx(trkpt("61", "21", at("09:00:00")) + trkpt("61.1", "21")), "some points have a time"},
        };
        for (const auto& [document, expected] : cases) {
            QString error;
            QVERIFY(GpxRoute::fromGpx(document, 5.0, &error).isEmpty());
            QVERIFY2(error.contains(expected), qPrintable(expected + " / " + error));
        }
    }

    void readsTracksInDocumentOrder()
    {
        // Segments of two tracks join into one route; route points are ignored
        // while there are track points; other elements are skipped.
        const QByteArray document = gpx(
            "<metadata><name>x</name></metadata><rte><rtept lat=\"0\" lon=\"0\"/></rte><trk><trkseg>"
            + trkpt("61.0", "21.0", "<ele>10</ele>" + at("09:00:00") + "<extensions/>") + "</trkseg></trk><trk><trkseg>"
            + trkpt("61.001", "21.0", at("09:00:30.500"))
            + trkpt("61.002", "21.0", "<ele>12</ele><time>2024-05-02T11:01:00+02:00</time>") + "</trkseg></trk>");
        QString error;
        const GpxRoute route = GpxRoute::fromGpx(document, 5.0, &error);
        QVERIFY2(route.pointCount() == 3, qPrintable(error));
        const auto& p = route.points();
        QVERIFY(near(p[0].latitude, 61.0) && near(p[0].elevation, 10.0) && std::isnan(p[1].elevation));
        QCOMPARE(p[1].seconds, 30.5);
        QCOMPARE(p[2].seconds, 60.0); // the time zone offset is honoured

        // Untimed points are spaced by the speed: ~1112 m at 3.6 km/h take ~1112 s.
        const GpxRoute untimed = GpxRoute::fromGpx(
            gpx("<rte><rtept lat=\"61.00\" lon=\"21\"/><rtept lat=\"61.01\" lon=\"21\"/></rte>"), 3.6, &error);
        QCOMPARE(untimed.durationSeconds(), untimed.lengthMetres());
        QVERIFY(std::fabs(untimed.lengthMetres() - 1111.95) < 0.1);
        QVERIFY(GpxRoute::fromGpx(gpx(trkpt("61", "21") + trkpt("61.1", "21")), 0.0, &error).isEmpty());
        QVERIFY(error.contains("speed"));
    }

    void samplesAlongTheRoute()
    {
        // North for a minute, then east: interpolated between the points; outside
        // the route the walker stands on its ends, and NaN counts as the start.
        QString error;
        const GpxRoute route = GpxRoute::fromGpx(gpx(trkpt("61.000", "21.000", "<ele>10</ele>" + at("09:00:00"))
                                                     + trkpt("61.001", "21.000", "<ele>20</ele>" + at("09:01:00"))
                                                     + trkpt("61.001", "21.002", "<ele>30</ele>" + at("09:01:30"))),
                                                 5.0, &error);
        QVERIFY2(!route.isEmpty(), qPrintable(error));
        const RouteSample north = route.sampleAt(15.0);
        QVERIFY(near(north.latitude, 61.00025) && near(north.longitude, 21.0) && near(north.elevation, 12.5));
        QVERIFY(std::fabs(north.speedKmh - 111.195 / 60 * 3.6) < 0.01);
        QVERIFY(north.headingDeg < 0.001 || north.headingDeg > 359.999);
        const RouteSample east = route.sampleAt(75.0);
        QVERIFY(near(east.longitude, 21.001) && near(east.elevation, 25.0) && std::fabs(east.headingDeg - 90.0) < 0.01);
        QCOMPARE(route.sampleAt(-5.0).latitude, 61.0);
        QCOMPARE(route.sampleAt(qQNaN()).latitude, 61.0);
        const RouteSample end = route.sampleAt(1e9);
        QVERIFY(near(end.latitude, 61.001) && near(end.longitude, 21.002) && near(end.elevation, 30.0));

        // Two points with the same time are a jump: no division by zero, the
        // walker is at the far point right after it, with the previous speed.
        const GpxRoute jump = GpxRoute::fromGpx(
            gpx(trkpt("10", "10", at("09:00:00")) + trkpt("10.001", "10", at("09:01:00")) + trkpt("20", "20", at("09:01:00"))
                + trkpt("20.001", "20", at("09:02:00")) + trkpt("30", "30", at("09:02:00"))),
            5.0, &error);
        QVERIFY2(!jump.isEmpty(), qPrintable(error));
        for (double t : {59.9, 60.0, 60.1, 120.0}) {
            const RouteSample s = jump.sampleAt(t);
            QVERIFY(std::isfinite(s.latitude) && std::isfinite(s.speedKmh) && s.speedKmh < 10.0);
        }
        QVERIFY(jump.sampleAt(60.0).latitude >= 20.0);
        QCOMPARE(jump.sampleAt(120.0).latitude, 30.0);

        // Across 180 degrees the walker takes the short way.
        const GpxRoute dateLine = GpxRoute::straightLine(0.0, 179.9995, 0.0, -179.9995, 3.6, 0.0);
        QVERIFY(dateLine.lengthMetres() < 120.0);
        QVERIFY(std::fabs(std::fabs(dateLine.sampleAt(dateLine.durationSeconds() / 2).longitude) - 180.0) < 1e-6);
    }

    void pacesFixesOverTheRoute()
    {
        // Straight lines walked at 3.6 km/h, 1 m per route second.
        const struct { double metres, rate, speedup; qint64 fixes; double intervalMs, secondFixAt; } cases[] = {
            {10, 1, 1, 11, 1000, 1},    {60, 2, 10, 13, 500, 5},  {61, 2, 10, 14, 500, 5}, // end between fixes
            {1, 4, 0.5, 9, 250, 0.125}, {0.5, 1, 1, 2, 1000, 0.5}, {0, 1, 1, 1, 1000, 0},   // one place
        };
        for (const auto& c : cases) {
            const double degrees = c.metres / (GpxRoute::EarthRadiusM * M_PI / 180.0);
            const RouteWalker walker(GpxRoute::straightLine(0.0, 0.0, degrees, 0.0, 3.6, 0.0), c.rate, c.speedup);
            QCOMPARE(walker.fixesPerLap(), c.fixes);
            QCOMPARE(walker.wallIntervalMs(), c.intervalMs);
            QCOMPARE(walker.routeSecondsOf(c.fixes > 1 ? 1 : 0), c.secondFixAt);
            QVERIFY(near(walker.routeSecondsOf(c.fixes - 1), c.metres));
            QCOMPARE(walker.sampleOf(c.fixes - 1).latitude, degrees);
        }
        // A pace that cannot be walked (no rate, NaN) is refused before walking.
        QVERIFY(RouteWalker::checkPace(2, 10).isEmpty());
        QVERIFY(!RouteWalker::checkPace(0.0, 1).isEmpty() && !RouteWalker::checkPace(1, qQNaN()).isEmpty());
    }

    void fixesKeepValuesAndSignature_data()
    {
        QTest::addColumn<PositionFix>("fix");
        QTest::addColumn<PositionFix::Signature>("signature");
        QTest::addColumn<QString>("text");
        const auto correct = PositionFix::Signature::Correct;
        const QString wire = "dddddyqqqyyyyq";
        PositionFix f;
        f.lat = f.lon = f.alt = f.along = f.ortho = qQNaN();
        QTest::newRow("nan everywhere") << f << correct << wire;
        f = {};
        f.lat = 91.0, f.lon = -181.0, f.alt = qInf(), f.along = -qInf(), f.ortho = -1.0, f.angle = 200;
        QTest::newRow("infinite and out of range") << f << correct << wire;
        f = {};
        f.year = 0, f.month = 13, f.day = 32, f.hours = 24, f.minutes = 60, f.msecs = 60000;
        QTest::newRow("impossible date") << f << correct << wire;
        f = {};
        f.angle = 255, f.ualt = 65535, f.speed = 65535, f.year = 65535, f.day = 255, f.month = 255, f.msecs = 65535;
        QTest::newRow("largest wire values") << f << correct << wire;
        QTest::newRow("int32 fields") << PositionFix() << PositionFix::Signature::Int32Fields << "dddddiiiiiiiii";
        QTest::newRow("msecs missing") << PositionFix() << PositionFix::Signature::MissingMsecs << "dddddyqqqyyyy";
        QTest::newRow("extra argument") << PositionFix() << PositionFix::Signature::ExtraArgument << "dddddyqqqyyyyqs";
    }
    void fixesKeepValuesAndSignature()
    {
        QFETCH(PositionFix, fix);
        QFETCH(PositionFix::Signature, signature);
        listenForFixes();
        PositioningDaemonSim sim(m_simBus);
        QString error;
        QVERIFY2(sim.claimName(PositioningDaemonSim::ServiceName, &error), qPrintable(error));
        QCOMPARE(sim.sendFix(fix, signature), QString());
        QCOMPARE(sim.sendFix(PositionFix()), QString()); // a correct fix after it shows what got through

        QTRY_COMPARE(m_any.messages.size(), 2);
        QTEST(m_any.messages.first().signature(), "text");
        const bool correct = signature == PositionFix::Signature::Correct;
        QCOMPARE(m_typed.messages.size(), correct ? 2 : 1);
        // describe() prints every field, NaN and infinities included.
        const PositionFix received = fixFrom(m_typed.messages.first());
        QCOMPARE(received.describe(), (correct ? fix : PositionFix()).describe());
    }

    void stateSequencesAndShutdown()
    {
        QVERIFY(m_listener.connect(QString(), ConnectivityDaemonSim::ObjectPath, ConnectivityDaemonSim::InterfaceName,
                                   QStringLiteral("state_sig"), QStringLiteral("su"), &m_typed, SLOT(record(QDBusMessage))));
        QVERIFY(m_listener.connect(QString(), QString(), DeviceStateSim::InterfaceName, QStringLiteral("shutdown_ind"),
                                   &m_any, SLOT(record(QDBusMessage))));
        syncListener();
        ConnectivityDaemonSim sim(m_simBus);
        QSignalSpy finished(&sim, &ConnectivityDaemonSim::finished);
        sim.run(ConnectivityDaemonSim::foreignScans(2, 30, 50));
        QTRY_COMPARE(finished.count(), 1);
        sim.setBearer(QStringLiteral("GPRS"));
        sim.run(ConnectivityDaemonSim::stateSequence({42, 9}, 0));
        QTRY_COMPARE(finished.count(), 2);
        sim.run({}); // nothing to send: finished at once
        QCOMPARE(finished.count(), 3);
        QTRY_COMPARE(m_typed.messages.size(), 6);
        const QList<QVariantList> expected = {{"WLAN_INFRA", 8u}, {"WLAN_INFRA", 9u}, {"WLAN_INFRA", 8u},
                                              {"WLAN_INFRA", 9u}, {"GPRS", 42u},      {"GPRS", 9u}};
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(m_typed.messages[i].arguments(), expected[i]);

        DeviceStateSim device(m_simBus);
        QCOMPARE(device.sendShutdown(), QString());
        QVERIFY(device.sendShutdown(QStringLiteral("relative/path")).contains("object path"));
        QTRY_COMPARE(m_any.messages.size(), 1);
        QCOMPARE(m_any.messages[0].path(), DeviceStateSim::DefaultObjectPath);
        QVERIFY(m_any.messages[0].arguments().isEmpty());
    }

    void commandLineFixes()
    {
        listenForFixes();
        const Run named = runSim({"fix", "--lat", "nan", "--lon", "-inf", "--month", "13", "--msecs", "60000"});
        QVERIFY2(named.exitCode == 0, named.err.constData());
        QVERIFY2(named.out.startsWith("fix 1/1 sig=dddddyqqqyyyyq lat=nan lon=-inf alt=100 "), named.out.constData());
        // A stranger's fix does not come from the positioning daemon's name.
        const Run anonymous = runSim({"fix", "--anonymous", "--quiet", "--signature", "int32", "--year", "2000"});
        QVERIFY2(anonymous.exitCode == 0 && anonymous.out.isEmpty(), anonymous.err.constData());

        QTRY_COMPARE(m_any.messages.size(), 2);
        QCOMPARE(m_typed.messages.size(), 1);
        const PositionFix fix = fixFrom(m_typed.messages.first());
        QVERIFY(std::isnan(fix.lat) && fix.lon == -qInf());
        // Wire order: ... year (8), day (9), month (10), hours, minutes, msecs (13).
        const QVariantList wire = m_typed.messages.first().arguments();
        QVERIFY(wire.at(10) == QVariant::fromValue(quint8(13)) && wire.at(13) == QVariant::fromValue(quint16(60000)));
        QCOMPARE(fix.year, quint16(QDateTime::currentDateTimeUtc().date().year()));
        QCOMPARE(m_any.messages[1].signature(), QStringLiteral("dddddiiiiiiiii"));
        QCOMPARE(m_any.messages[1].arguments().value(8).toInt(), 2000);
    }

    void commandLineWalks()
    {
        listenForFixes();
        // 53 m east at 36 km/h, one fix per route second: 7 fixes.
        const QStringList line = {"positioning", "--from", "61.0,21.0", "--to", "61.0,21.001", "--speed", "36",
                                  "--rate", "100", "--speedup", "100"};
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        QProcess walk;
        startSim(walk, line);
        QTRY_VERIFY_WITH_TIMEOUT(walk.canReadLine(), 10000);
        QVERIFY(walk.readLine().startsWith("ready service=com.vexlo.positioningd.vomu fixes_per_lap=7 "));
        QVERIFY(m_typed.messages.isEmpty()); // nothing before the request
        m_listener.asyncCall(QDBusMessage::createMethodCall(PositioningDaemonSim::ServiceName,
                                                            PositioningDaemonSim::ObjectPath,
                                                            PositioningDaemonSim::InterfaceName, "request")
                             << 1);
        QVERIFY(walk.waitForFinished(20000));
        QCOMPARE(walk.exitCode(), 0);
        const QList<QByteArray> lines = walk.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 9);
        QCOMPARE(lines.first(), QByteArray("request value=1"));
        QVERIFY(lines[1].startsWith("fix 1/7 lap=1 lat=61 lon=21 alt=100 along=6 ortho=4 angle=90 ualt=10 speed=36 "));
        QCOMPARE(lines.last(), QByteArray("done fixes=7"));

        // The fixes on the bus: along the route, at walking speed, in wall-clock order.
        QTRY_COMPARE(m_typed.messages.size(), 7);
        QCOMPARE(fixFrom(m_typed.messages.first()).lon, 21.0);
        QCOMPARE(fixFrom(m_typed.messages.last()).lon, 21.001);
        QDateTime previous = before;
        for (const QDBusMessage& message : std::as_const(m_typed.messages)) {
            const PositionFix fix = fixFrom(message);
            QVERIFY2(near(fix.lat, 61.0) && fix.speed == 36 && fix.angle == 90, qPrintable(fix.describe()));
            QVERIFY2(fix.dateTime() >= previous && fix.dateTime() <= QDateTime::currentDateTimeUtc().addSecs(1),
                     qPrintable(fix.describe()));
            previous = fix.dateTime();
        }

        // An endless walk keeps the name and ends cleanly on SIGTERM.
        QProcess loop;
        startSim(loop, QStringList(line) << "--laps" << "0" << "--start-now");
        QTRY_VERIFY_WITH_TIMEOUT(m_typed.messages.size() > 7 + 7, 10000);
        const Run refused = runSim({"fix"});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("another peer owns it"), refused.err.constData());
        loop.terminate();
        QVERIFY(loop.waitForFinished(10000));
        QCOMPARE(loop.exitStatus(), QProcess::NormalExit);
        QCOMPARE(loop.exitCode(), 0);
        QVERIFY(loop.readAllStandardOutput().trimmed().split('\n').last().startsWith("stopped fixes="));
    }

    void commandLineRejectsBadInput()
    {
        const struct { QStringList arguments; int exitCode; const char* error; } cases[] = {
            {{}, 2, "no command given"},
            {{"walk"}, 2, "unknown command \"walk\""},
            {{"fix", "--angle", "256"}, 2, "--angle: \"256\""},
            {{"fix", "--lat", "north"}, 2, "--lat: \"north\""},
            {{"positioning"}, 2, "either --gpx"},
            {{"positioning", "--from", "91,0", "--to", "0,0"}, 2, "--from"},
            {{"positioning", "--gpx", "/nonexistent.gpx"}, 1, "cannot read"},
            {{"connectivity", "--state", "4294967296"}, 2, "--state"},
            {{"shutdown", "--path", "hesk"}, 1, "object path"},
        };
        for (const auto& c : cases) {
            const Run run = runSim(c.arguments);
            QVERIFY2(run.exitCode == c.exitCode && run.err.contains(c.error) && run.out.isEmpty(),
                     qPrintable(c.arguments.join(' ') + " -> " + QString::number(run.exitCode) + " " + run.err));
        }
    }
};

QTEST_GUILESS_MAIN(TstFpcSim)
#include "tst_fpcsim.moc"
