#include "ConnectivityDaemonSim.h"
#include "DeviceStateSim.h"
#include "PositioningDaemonSim.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
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

const QString Member = QStringLiteral("positionMessage");

PositionFix fixFrom(const QDBusMessage& message)
{
    return PositionFix::fromArguments(message.arguments());
}

// describe() prints every field, NaN and infinities included, so equal
// descriptions mean equal fixes.
bool sameFix(const PositionFix& a, const PositionFix& b)
{
    return a.describe() == b.describe();
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runSim(const QStringList& arguments)
{
    QProcess process;
    TestSupport::dieWithParent(process);
    process.start(QStringLiteral(FPCSIM_BINARY), arguments);
    Run run;
    if (!process.waitForFinished(20000))
        TestSupport::stopProcess(process, 1000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

Q_DECLARE_METATYPE(PositionFix::Signature)

class TstFpcSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requestStartsTheWalk();
    void fixesKeepValuesAndSignature_data();
    void fixesKeepValuesAndSignature();
    void stateSequences();
    void shutdownIndication();
    void commandLineFixes();
    void commandLineWalks();
    void commandLineRejectsBadInput_data();
    void commandLineRejectsBadInput();

private:
    QDBusConnection openConnection(const QString& role);
    // Subscribes like the daemon does: from the positioning daemon's name,
    // with the exact signature.
    void listenForFixes();
    // One round trip, so the listener's subscriptions are in place on the bus.
    void syncListener() { m_listener.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus")); }

    TestBus m_bus;
    QDBusConnection m_listener{QString()};
    QDBusConnection m_simBus{QString()};
    QStringList m_connectionNames;
    SignalRecorder m_typed;
    SignalRecorder m_any;
};

void TstFpcSim::initTestCase()
{
    QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString()));
}

QDBusConnection TstFpcSim::openConnection(const QString& role)
{
    static int serial = 0;
    const QString name = QStringLiteral("%1-%2").arg(role).arg(++serial);
    m_connectionNames << name;
    return QDBusConnection::connectToBus(m_bus.address(), name);
}

void TstFpcSim::init()
{
    m_typed.messages.clear();
    m_any.messages.clear();
    m_listener = openConnection(QStringLiteral("listener"));
    m_simBus = openConnection(QStringLiteral("sim"));
    QVERIFY(m_listener.isConnected() && m_simBus.isConnected());
}

void TstFpcSim::cleanup()
{
    // A connection closes once no handle refers to it any more.
    m_listener = QDBusConnection(QString());
    m_simBus = QDBusConnection(QString());
    for (const QString& name : std::as_const(m_connectionNames))
        QDBusConnection::disconnectFromBus(name);
    m_connectionNames.clear();
    QVERIFY(m_bus.waitForNameGone(PositioningDaemonSim::ServiceName));
}

void TstFpcSim::listenForFixes()
{
    QVERIFY(m_listener.connect(PositioningDaemonSim::ServiceName, PositioningDaemonSim::ObjectPath,
                               PositioningDaemonSim::InterfaceName, Member, PositioningDaemonSim::Signature,
                               &m_typed, SLOT(record(QDBusMessage))));
    QVERIFY(m_listener.connect(QString(), PositioningDaemonSim::ObjectPath, PositioningDaemonSim::InterfaceName,
                               Member, &m_any, SLOT(record(QDBusMessage))));
    syncListener();
}

void TstFpcSim::requestStartsTheWalk()
{
    listenForFixes();
    // 111 m north at 36 km/h: 11.1 route seconds, one fix per route second.
    auto sim = std::make_unique<PositioningDaemonSim>(m_simBus);
    sim->setWalker(RouteWalker(GpxRoute::straightLine(61.0, 21.0, 61.001, 21.0, 36.0, 25.0), 100.0, 100.0));
    QString error;
    QVERIFY2(sim->registerOnBus(&error), qPrintable(error));
    QVERIFY(m_bus.isNameRegistered(PositioningDaemonSim::ServiceName));
    QSignalSpy requests(sim.get(), &PositioningDaemonSim::requestReceived);
    QSignalSpy finished(sim.get(), &PositioningDaemonSim::walkFinished);
    QVERIFY(m_typed.messages.isEmpty());

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    QDBusMessage request = QDBusMessage::createMethodCall(PositioningDaemonSim::ServiceName, PositioningDaemonSim::ObjectPath,
                                                          PositioningDaemonSim::InterfaceName, QStringLiteral("request"));
    request << 1;
    QDBusPendingCall reply = m_listener.asyncCall(request);
    QTRY_VERIFY_WITH_TIMEOUT(reply.isFinished(), 10000);
    QVERIFY2(!reply.isError(), qPrintable(reply.error().message()));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(finished.first().first().toLongLong(), qint64(13));
    QTRY_COMPARE(m_typed.messages.size(), 13);
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);

    QDateTime previous = before;
    for (const QDBusMessage& message : std::as_const(m_typed.messages)) {
        const PositionFix fix = fixFrom(message);
        QCOMPARE(fix.lon, 21.0);
        QCOMPARE(fix.alt, 25.0);
        QCOMPARE(fix.speed, quint16(36));
        QCOMPARE(fix.angle, quint8(0));  // heading north
        const QDateTime time = fix.dateTime();
        QVERIFY2(time >= previous && time <= after, qPrintable(fix.describe()));
        previous = time;
    }
    QCOMPARE(fixFrom(m_typed.messages.first()).lat, 61.0);
    QCOMPARE(fixFrom(m_typed.messages.last()).lat, 61.001);

    // After the walk a new request walks the route again.
    m_listener.asyncCall(request);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 10000);
    QTRY_COMPARE(m_typed.messages.size(), 26);
    QCOMPARE(m_any.messages.size(), 26);

    sim.reset();
    QVERIFY(m_bus.waitForNameGone(PositioningDaemonSim::ServiceName));
}

void TstFpcSim::fixesKeepValuesAndSignature_data()
{
    QTest::addColumn<PositionFix>("fix");
    QTest::addColumn<PositionFix::Signature>("signature");
    QTest::addColumn<QString>("text");
    const auto correct = PositionFix::Signature::Correct;
    const double inf = qInf();
    PositionFix f;
    f.lat = f.lon = f.alt = f.along = f.ortho = qQNaN();
    QTest::newRow("nan everywhere") << f << correct << "dddddyqqqyyyyq";
    f = {};
    f.lat = 91.0, f.lon = -181.0, f.alt = inf, f.along = -inf, f.ortho = -1.0, f.angle = 200;
    QTest::newRow("infinite and out of range") << f << correct << "dddddyqqqyyyyq";
    f = {};
    f.year = 0, f.month = 13, f.day = 32, f.hours = 24, f.minutes = 60, f.msecs = 60000;
    QTest::newRow("impossible date") << f << correct << "dddddyqqqyyyyq";
    f = {};
    f.angle = 255, f.ualt = 65535, f.speed = 65535, f.year = 65535, f.day = 255, f.month = 255, f.msecs = 65535;
    QTest::newRow("largest wire values") << f << correct << "dddddyqqqyyyyq";
    QTest::newRow("int32 fields") << PositionFix() << PositionFix::Signature::Int32Fields << "dddddiiiiiiiii";
    QTest::newRow("msecs missing") << PositionFix() << PositionFix::Signature::MissingMsecs << "dddddyqqqyyyy";
    QTest::newRow("extra argument") << PositionFix() << PositionFix::Signature::ExtraArgument << "dddddyqqqyyyyqs";
}

void TstFpcSim::fixesKeepValuesAndSignature()
{
    QFETCH(PositionFix, fix);
    QFETCH(PositionFix::Signature, signature);
    QFETCH(QString, text);
    listenForFixes();
    PositioningDaemonSim sim(m_simBus);
    QString error;
    QVERIFY2(sim.claimName(PositioningDaemonSim::ServiceName, &error), qPrintable(error));
    QCOMPARE(sim.sendFix(fix, signature), QString());
    QCOMPARE(sim.sendFix(PositionFix()), QString());  // a correct fix after it shows what got through

    QTRY_COMPARE(m_any.messages.size(), 2);
    QCOMPARE(m_any.messages.first().signature(), text);
    const bool correct = signature == PositionFix::Signature::Correct;
    QCOMPARE(m_typed.messages.size(), correct ? 2 : 1);
    const PositionFix received = fixFrom(m_typed.messages.first());
    QVERIFY2(sameFix(received, correct ? fix : PositionFix()), qPrintable(received.describe()));
}

void TstFpcSim::stateSequences()
{
    QVERIFY(m_listener.connect(QString(), ConnectivityDaemonSim::ObjectPath, ConnectivityDaemonSim::InterfaceName,
                               QStringLiteral("state_sig"), QStringLiteral("su"), &m_typed, SLOT(record(QDBusMessage))));
    syncListener();
    ConnectivityDaemonSim sim(m_simBus);
    QSignalSpy sent(&sim, &ConnectivityDaemonSim::stateSent);
    QSignalSpy finished(&sim, &ConnectivityDaemonSim::finished);

    sim.run(ConnectivityDaemonSim::foreignScans(2, 30, 50));
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toInt(), 4);
    sim.setBearer(QStringLiteral("GPRS"));
    sim.run(ConnectivityDaemonSim::stateSequence({42, 9}, 0));
    QTRY_COMPARE(finished.count(), 2);
    sim.run({});
    QCOMPARE(finished.count(), 3);

    QTRY_COMPARE(m_typed.messages.size(), 6);
    const QList<QVariantList> expected = {{"WLAN_INFRA", 8u}, {"WLAN_INFRA", 9u}, {"WLAN_INFRA", 8u},
                                          {"WLAN_INFRA", 9u}, {"GPRS", 42u},      {"GPRS", 9u}};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(m_typed.messages[i].arguments(), expected[i]);
    QCOMPARE(sent.count(), 6);
    QCOMPARE(sent.at(3), (QVariantList{"WLAN_INFRA", 9u, 4, 4}));
}

void TstFpcSim::shutdownIndication()
{
    QVERIFY(m_listener.connect(QString(), QString(), DeviceStateSim::InterfaceName, QStringLiteral("shutdown_ind"),
                               &m_any, SLOT(record(QDBusMessage))));
    syncListener();
    DeviceStateSim sim(m_simBus);
    QCOMPARE(sim.sendShutdown(), QString());
    QVERIFY(sim.sendShutdown(QStringLiteral("relative/path")).contains("object path"));
    QCOMPARE(sim.sendShutdown(QStringLiteral("/other")), QString());
    QTRY_COMPARE(m_any.messages.size(), 2);
    QCOMPARE(m_any.messages[0].path(), DeviceStateSim::DefaultObjectPath);
    QVERIFY(m_any.messages[0].arguments().isEmpty());
    QCOMPARE(m_any.messages[1].path(), QStringLiteral("/other"));
}

void TstFpcSim::commandLineFixes()
{
    listenForFixes();
    const Run named = runSim({"fix", "--lat", "nan", "--lon", "-inf", "--month", "13", "--msecs", "60000"});
    QVERIFY2(named.exitCode == 0, named.err.constData());
    QVERIFY2(named.out.startsWith("fix 1/1 sig=dddddyqqqyyyyq lat=nan lon=-inf alt=100 "), named.out.constData());
    // A stranger's fix does not come from the positioning daemon's name.
    const Run anonymous = runSim({"fix", "--anonymous", "--quiet", "--signature", "int32", "--year", "2000"});
    QVERIFY2(anonymous.exitCode == 0, anonymous.err.constData());
    QVERIFY(anonymous.out.isEmpty());

    QTRY_COMPARE(m_any.messages.size(), 2);
    QCOMPARE(m_typed.messages.size(), 1);
    const PositionFix fix = fixFrom(m_typed.messages.first());
    QVERIFY(std::isnan(fix.lat));
    QCOMPARE(fix.lon, -qInf());
    // Wire order: ... year (8), day (9), month (10), hours, minutes, msecs (13).
    const QVariantList wire = m_typed.messages.first().arguments();
    QCOMPARE(wire.at(10), QVariant::fromValue(quint8(13)));
    QCOMPARE(wire.at(13), QVariant::fromValue(quint16(60000)));
    QCOMPARE(fix.year, quint16(QDateTime::currentDateTimeUtc().date().year()));
    QCOMPARE(m_any.messages[1].signature(), QStringLiteral("dddddiiiiiiiii"));
    QCOMPARE(m_any.messages[1].arguments().value(8).toInt(), 2000);
}

void TstFpcSim::commandLineWalks()
{
    listenForFixes();
    // 53 m east at 36 km/h, one fix per route second: 7 fixes.
    const QStringList line = {"positioning", "--from", "61.0,21.0", "--to", "61.0,21.001", "--speed", "36",
                              "--rate", "100", "--speedup", "100"};
    QProcess walk;
    TestSupport::dieWithParent(walk);
    walk.start(QStringLiteral(FPCSIM_BINARY), line);
    QTRY_VERIFY_WITH_TIMEOUT(walk.canReadLine(), 10000);
    QVERIFY(walk.readLine().startsWith("ready service=com.vexlo.positioningd.vomu fixes_per_lap=7 "));
    QDBusMessage request = QDBusMessage::createMethodCall(PositioningDaemonSim::ServiceName, PositioningDaemonSim::ObjectPath,
                                                          PositioningDaemonSim::InterfaceName, QStringLiteral("request"));
    m_listener.asyncCall(request << 1);
    QVERIFY(walk.waitForFinished(20000));
    QCOMPARE(walk.exitCode(), 0);
    const QList<QByteArray> lines = walk.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.first(), QByteArray("request value=1"));
    QVERIFY(lines[1].startsWith("fix 1/7 lap=1 lat=61 lon=21 alt=100 along=6 ortho=4 angle=90 ualt=10 speed=36 "));
    QVERIFY(lines[7].startsWith("fix 7/7 lap=1 lat=61 lon=21.001 "));
    QCOMPARE(lines.last(), QByteArray("done fixes=7"));
    QTRY_COMPARE(m_typed.messages.size(), 7);

    // An endless walk ends cleanly on SIGTERM and keeps the name meanwhile.
    QProcess loop;
    TestSupport::dieWithParent(loop);
    loop.start(QStringLiteral(FPCSIM_BINARY), QStringList(line) << "--laps" << "0" << "--start-now");
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

void TstFpcSim::commandLineRejectsBadInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("no command") << QStringList{} << 2 << "no command given";
    QTest::newRow("unknown command") << QStringList{"walk"} << 2 << "unknown command \"walk\"";
    QTest::newRow("angle 256") << QStringList{"fix", "--angle", "256"} << 2 << "--angle: \"256\"";
    QTest::newRow("word for number") << QStringList{"fix", "--lat", "north"} << 2 << "--lat: \"north\"";
    QTest::newRow("no route") << QStringList{"positioning"} << 2 << "either --gpx";
    QTest::newRow("latitude 91") << QStringList{"positioning", "--from", "91,0", "--to", "0,0"} << 2 << "--from";
    QTest::newRow("missing file") << QStringList{"positioning", "--gpx", "/nonexistent.gpx"} << 1 << "cannot read";
    QTest::newRow("state over 32 bits") << QStringList{"connectivity", "--state", "4294967296"} << 2 << "--state";
    QTest::newRow("relative path") << QStringList{"shutdown", "--path", "hesk"} << 1 << "object path";
}

void TstFpcSim::commandLineRejectsBadInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    const Run run = runSim(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(run.err).contains(error), run.err.constData());
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(TstFpcSim)
#include "tst_fpcsim.moc"
