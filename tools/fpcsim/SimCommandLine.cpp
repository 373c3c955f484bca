#include "SimCommandLine.h"

#include "ConnectivityDaemonSim.h"
#include "DeviceStateSim.h"
#include "PositioningDaemonSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>

namespace {

const char *const TopLevelHelp =
    "Usage: fpcsim <command> [options]\n"
    "Simulates the peer daemons of vomu-fpcd on the system bus (DBUS_SYSTEM_BUS_ADDRESS).\n"
    "\n"
    "Commands:\n"
    "  positioning   own com.vexlo.positioningd.vomu, answer \"request\" and broadcast\n"
    "                \"positionMessage\" fixes along a GPX track or a straight line\n"
    "  fix           broadcast one \"positionMessage\" with any field values\n"
    "  connectivity  broadcast \"state_sig\" (bearer type, search state), alone or as WLAN scans\n"
    "  shutdown      broadcast \"shutdown_ind\"\n"
    "\n"
    "Run \"fpcsim <command> --help\" for the options of a command.\n"
    "Progress goes to stdout, one line per signal (--quiet silences it); errors go to stderr.\n"
    "Exit status: 0 done, 1 bus or input failure, 2 bad command line.\n";

void printError(const QString &text)
{
    QTextStream(stderr) << "fpcsim: " << text << Qt::endl;
}

// Progress lines on stdout, flushed one by one so a reading test or script
// sees each signal as it goes out.
class Progress
{
public:
    explicit Progress(bool quiet) : m_quiet(quiet) {}
    void line(const QString &text) const
    {
        if (m_quiet)
            return;
        QTextStream out(stdout);
        out << text << Qt::endl;
    }

private:
    bool m_quiet;
};

// One command's parser with the options every command shares.
class Command
{
public:
    Command(const QString &name, const QString &description) : m_name(name)
    {
        parser.setApplicationDescription(description);
        parser.addHelpOption();
        parser.addOption({QStringLiteral("quiet"), QStringLiteral("Print no progress lines.")});
    }

    // -1 when the command should go on, otherwise its exit status.
    int parse(const QStringList &arguments)
    {
        if (!parser.parse(arguments)) {
            printError(QStringLiteral("%1: %2").arg(m_name, parser.errorText()));
            return SimCommandLine::UsageError;
        }
        if (parser.isSet(QStringLiteral("help"))) {
            QString help = parser.helpText();
            help.replace(0, help.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: fpcsim %1 [options]").arg(m_name));
            QTextStream(stdout) << help;
            return SimCommandLine::Success;
        }
        if (!parser.positionalArguments().isEmpty()) {
            printError(
                QStringLiteral("%1: unexpected argument \"%2\"").arg(m_name, parser.positionalArguments().first()));
            return SimCommandLine::UsageError;
        }
        return -1;
    }

    void addValueOption(const QString &name, const QString &help, const QString &valueName)
    {
        parser.addOption({name, help, valueName});
    }

    Progress progress() const { return Progress(parser.isSet(QStringLiteral("quiet"))); }

    QCommandLineParser parser;

private:
    QString m_name;
};

// Reads option values, keeping the first error for the caller to report.
class OptionValues
{
public:
    explicit OptionValues(const QCommandLineParser &parser) : m_parser(parser) {}

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString text(const QString &name, const QString &fallback) const
    {
        return isSet(name) ? m_parser.value(name) : fallback;
    }
    const QString &error() const { return m_error; }

    // Any double, "nan", "inf" and "-inf" included.
    double real(const QString &name, double fallback)
    {
        if (!isSet(name))
            return fallback;
        double value = 0.0;
        if (!toReal(m_parser.value(name), &value))
            fail(QStringLiteral("--%1: \"%2\" is not a number").arg(name, m_parser.value(name)));
        return value;
    }

    quint64 whole(const QString &name, quint64 max, quint64 fallback)
    {
        return isSet(name) ? toWhole(name, m_parser.value(name), max) : fallback;
    }

    QList<quint64> wholes(const QString &name, quint64 max)
    {
        QList<quint64> values;
        for (const QString &text : m_parser.values(name))
            values << toWhole(name, text, max);
        return values;
    }

    // "LAT,LON" with latitude in -90..90 and longitude in -180..180.
    bool coordinate(const QString &name, double *lat, double *lon)
    {
        const QStringList parts = m_parser.value(name).split(QLatin1Char(','));
        if (parts.size() == 2 && toReal(parts[0], lat) && toReal(parts[1], lon) && std::fabs(*lat) <= 90.0
            && std::fabs(*lon) <= 180.0)
            return true;
        fail(QStringLiteral("--%1: \"%2\" is not LAT,LON in degrees (-90..90,-180..180)")
                 .arg(name, m_parser.value(name)));
        return false;
    }

    void fail(const QString &error)
    {
        if (m_error.isEmpty())
            m_error = error;
    }

private:
    static bool toReal(const QString &text, double *out)
    {
        const QString t = text.trimmed().toLower();
        if (t == QLatin1String("nan")) {
            *out = std::numeric_limits<double>::quiet_NaN();
            return true;
        }
        if (t == QLatin1String("inf") || t == QLatin1String("+inf") || t == QLatin1String("-inf")) {
            *out = t.startsWith(QLatin1Char('-')) ? -HUGE_VAL : HUGE_VAL;
            return true;
        }
        bool ok = false;
        *out = QLocale::c().toDouble(t, &ok);
        return ok && std::isfinite(*out);
    }

    quint64 toWhole(const QString &name, const QString &text, quint64 max)
    {
        bool ok = false;
        const quint64 value = text.trimmed().toULongLong(&ok, 10);
        if (!ok || value > max || text.trimmed().startsWith(QLatin1Char('-'))) {
            fail(QStringLiteral("--%1: \"%2\" is not a whole number from 0 to %3").arg(name, text).arg(max));
            return 0;
        }
        return value;
    }

    const QCommandLineParser &m_parser;
    QString m_error;
};

int usageError(const QString &command, const QString &error)
{
    printError(QStringLiteral("%1: %2").arg(command, error));
    return SimCommandLine::UsageError;
}

// Ends the event loop with the given status once it runs (also when asked
// before exec() was entered).
void exitLater(int code)
{
    QTimer::singleShot(0, QCoreApplication::instance(), [code] { QCoreApplication::exit(code); });
}

int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM run onStop on the event loop (self-pipe), so a long
// walk can print its last line and leave the bus cleanly.
void onTermination(std::function<void()> onStop)
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onStop = std::move(onStop)] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        onStop();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool isConnected(const QDBusConnection &bus)
{
    if (bus.isConnected())
        return true;
    printError(QStringLiteral("cannot connect to the system bus (DBUS_SYSTEM_BUS_ADDRESS=%1): %2")
                   .arg(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), bus.lastError().message()));
    return false;
}

} // namespace

int SimCommandLine::run(const QStringList &arguments)
{
    const QString command = arguments.value(1);
    const QStringList commandArguments = arguments.mid(1);
    if (command == QLatin1String("positioning"))
        return runPositioning(commandArguments);
    if (command == QLatin1String("fix"))
        return runFix(commandArguments);
    if (command == QLatin1String("connectivity"))
        return runConnectivity(commandArguments);
    if (command == QLatin1String("shutdown"))
        return runShutdown(commandArguments);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        QTextStream(stdout) << TopLevelHelp;
        return Success;
    }
    if (command.isEmpty())
        printError(QStringLiteral("no command given"));
    else
        printError(QStringLiteral("unknown command \"%1\"").arg(command));
    QTextStream(stderr) << TopLevelHelp;
    return UsageError;
}

int SimCommandLine::runPositioning(const QStringList &arguments)
{
    Command cmd(QStringLiteral("positioning"),
                QStringLiteral("Owns com.vexlo.positioningd.vomu and serves the method \"request\" (i) on\n"
                               "/com/vexlo/positioningd/vomu. After the first request (or at once with --start-now)\n"
                               "it broadcasts \"positionMessage\" (dddddyqqqyyyyq) along the route.\n"
                               "\n"
                               "Pacing: one fix every 1/RATE seconds of wall time; each fix moves the walker\n"
                               "SPEEDUP/RATE seconds further along the route's own time line (the GPX timestamps, or\n"
                               "distance over --speed). The first fix stands on the route's first point, the last\n"
                               "one on its last point. Date and time fields carry the wall clock (UTC) at sending;\n"
                               "the speed field carries the route's own speed (km/h), so a walk replayed with\n"
                               "--speedup 10 still reports walking speed. The uncertainty ellipse's major axis\n"
                               "points along the direction of travel.\n"
                               "\n"
                               "Prints \"ready ...\" once the name is owned, \"request value=N\" per request,\n"
                               "\"fix K/N lap=L lat=... msecs=...\" per fix and \"done fixes=T\" at the end\n"
                               "(\"stopped fixes=T\" on SIGINT/SIGTERM). Without --linger it exits after the walk."));
    cmd.addValueOption(QStringLiteral("gpx"), QStringLiteral("Walk the track (or route) points of a GPX file."),
                       QStringLiteral("file"));
    cmd.addValueOption(QStringLiteral("from"), QStringLiteral("Walk a straight line from here..."),
                       QStringLiteral("lat,lon"));
    cmd.addValueOption(QStringLiteral("to"), QStringLiteral("...to here."), QStringLiteral("lat,lon"));
    cmd.addValueOption(QStringLiteral("speed"),
                       QStringLiteral("Walking speed for --from/--to and for GPX points without time (default 5)."),
                       QStringLiteral("km/h"));
    cmd.addValueOption(QStringLiteral("alt"), QStringLiteral("Altitude of a --from/--to line (default 100)."),
                       QStringLiteral("metres"));
    cmd.addValueOption(QStringLiteral("rate"), QStringLiteral("Fixes per second of wall time (default 1)."),
                       QStringLiteral("n"));
    cmd.addValueOption(QStringLiteral("speedup"), QStringLiteral("Route seconds walked per wall second (default 1)."),
                       QStringLiteral("factor"));
    cmd.addValueOption(QStringLiteral("laps"),
                       QStringLiteral("Walk the route this many times, 0 for ever (default 1). "
                                      "Each lap starts again at the first point."),
                       QStringLiteral("n"));
    cmd.addValueOption(QStringLiteral("along"), QStringLiteral("Major axis of the uncertainty ellipse (default 6)."),
                       QStringLiteral("metres"));
    cmd.addValueOption(QStringLiteral("ortho"), QStringLiteral("Minor axis of the uncertainty ellipse (default 4)."),
                       QStringLiteral("metres"));
    cmd.addValueOption(QStringLiteral("ualt"), QStringLiteral("Altitude uncertainty (default 10)."),
                       QStringLiteral("metres"));
    cmd.parser.addOption(
        {QStringLiteral("start-now"), QStringLiteral("Start walking without waiting for \"request\".")});
    cmd.parser.addOption({QStringLiteral("linger"),
                          QStringLiteral("Stay on the bus after the walk; the next \"request\" walks again.")});
    if (const int status = cmd.parse(arguments); status >= 0)
        return status;

    OptionValues values(cmd.parser);
    const double speed = values.real(QStringLiteral("speed"), 5.0);
    const double alt = values.real(QStringLiteral("alt"), 100.0);
    const double rate = values.real(QStringLiteral("rate"), 1.0);
    const double speedup = values.real(QStringLiteral("speedup"), 1.0);
    const int laps = int(values.whole(QStringLiteral("laps"), INT_MAX, 1));
    PositionFix accuracy;
    accuracy.along = values.real(QStringLiteral("along"), accuracy.along);
    accuracy.ortho = values.real(QStringLiteral("ortho"), accuracy.ortho);
    accuracy.ualt = quint16(values.whole(QStringLiteral("ualt"), 65535, accuracy.ualt));
    const bool line = values.isSet(QStringLiteral("from")) || values.isSet(QStringLiteral("to"));
    double lat1 = 0, lon1 = 0, lat2 = 0, lon2 = 0;
    if (values.isSet(QStringLiteral("gpx")) == line)
        values.fail(QStringLiteral("give either --gpx FILE or --from LAT,LON --to LAT,LON"));
    else if (line && (!values.isSet(QStringLiteral("from")) || !values.isSet(QStringLiteral("to"))))
        values.fail(QStringLiteral("a line needs both --from and --to"));
    else if (line && values.coordinate(QStringLiteral("from"), &lat1, &lon1)
             && values.coordinate(QStringLiteral("to"), &lat2, &lon2) && !(speed > 0.0 && std::isfinite(speed)))
        values.fail(QStringLiteral("--speed must be above 0"));
    if (values.error().isEmpty())
        values.fail(RouteWalker::checkPace(rate, speedup));
    if (!values.error().isEmpty())
        return usageError(QStringLiteral("positioning"), values.error());

    QString error;
    const GpxRoute route = line ? GpxRoute::straightLine(lat1, lon1, lat2, lon2, speed, alt)
                                : GpxRoute::fromGpxFile(cmd.parser.value(QStringLiteral("gpx")), speed, &error);
    if (route.isEmpty()) {
        printError(error);
        return Failure;
    }

    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!isConnected(bus))
        return Failure;
    PositioningDaemonSim sim(bus);
    sim.setWalker(RouteWalker(route, rate, speedup));
    sim.setLaps(laps);
    sim.setAccuracy(accuracy.along, accuracy.ortho, accuracy.ualt);
    if (!sim.registerOnBus(&error)) {
        printError(error);
        return Failure;
    }

    const Progress progress = cmd.progress();
    const bool linger = values.isSet(QStringLiteral("linger"));
    int status = Success;
    QObject::connect(&sim, &PositioningDaemonSim::requestReceived, &sim,
                     [&](int value) { progress.line(QStringLiteral("request value=%1").arg(value)); });
    QObject::connect(
        &sim, &PositioningDaemonSim::fixSent, &sim, [&](const PositionFix &fix, qint64 index, qint64 perLap, int lap) {
            progress.line(
                QStringLiteral("fix %1/%2 lap=%3 %4").arg(index + 1).arg(perLap).arg(lap).arg(fix.describe()));
        });
    QObject::connect(&sim, &PositioningDaemonSim::sendFailed, &sim, [&](const QString &text) {
        printError(text);
        status = Failure;
    });
    QObject::connect(&sim, &PositioningDaemonSim::walkFinished, &sim, [&](qint64 sent) {
        sim.flush();
        progress.line(QStringLiteral("done fixes=%1").arg(sent));
        if (!linger || status != Success)
            exitLater(status);
    });
    onTermination([&] {
        const bool walking = sim.isWalking();
        sim.stopWalk();
        sim.flush();
        if (walking)
            progress.line(QStringLiteral("stopped fixes=%1").arg(sim.fixesSent()));
        exitLater(status);
    });

    const RouteWalker &walker = sim.walker();
    progress.line(QStringLiteral("ready service=%1 fixes_per_lap=%2 interval_ms=%3 route_s=%4 length_m=%5")
                      .arg(PositioningDaemonSim::ServiceName)
                      .arg(walker.fixesPerLap())
                      .arg(walker.wallIntervalMs(), 0, 'f', 1)
                      .arg(route.durationSeconds(), 0, 'f', 1)
                      .arg(route.lengthMetres(), 0, 'f', 1));
    if (values.isSet(QStringLiteral("start-now")))
        sim.startWalk();
    return QCoreApplication::exec();
}

int SimCommandLine::runFix(const QStringList &arguments)
{
    Command cmd(QStringLiteral("fix"),
                QStringLiteral("Broadcasts one \"positionMessage\" from com.vexlo.positioningd.vomu and exits.\n"
                               "Every field may be set to any value its wire type carries: NaN, inf and -inf for\n"
                               "the doubles, impossible dates (--month 13, --msecs 60000) and so on. Unset date\n"
                               "and time fields come from the wall clock (UTC). Prints \"fix 1/1 sig=... lat=...\"."));
    const QString doubles[][2] = {{"lat", "Latitude, degrees (default 61.4937)."},
                                  {"lon", "Longitude, degrees (default 21.7975)."},
                                  {"alt", "Altitude, metres (default 100)."},
                                  {"along", "Major axis of the uncertainty ellipse, metres (default 6)."},
                                  {"ortho", "Minor axis of the uncertainty ellipse, metres (default 4)."}};
    for (const auto &option : doubles)
        cmd.addValueOption(option[0], option[1], QStringLiteral("number"));
    const QString wholes[][2] = {{"angle", "Ellipse orientation, degrees, 0..255 (default 0)."},
                                 {"ualt", "Altitude uncertainty, metres, 0..65535 (default 10)."},
                                 {"speed", "Ground speed, km/h, 0..65535 (default 4)."},
                                 {"year", "Year, 0..65535."},
                                 {"month", "Month, 0..255."},
                                 {"day", "Day of the month, 0..255."},
                                 {"hours", "Hour, 0..255."},
                                 {"minutes", "Minute, 0..255."},
                                 {"msecs", "Milliseconds within the minute, 0..65535."}};
    for (const auto &option : wholes)
        cmd.addValueOption(option[0], option[1], QStringLiteral("n"));
    cmd.addValueOption(QStringLiteral("signature"),
                       QStringLiteral("Argument typing: correct (dddddyqqqyyyyq, default), int32 (dddddiiiiiiiii), "
                                      "short (msecs left out) or extra (a string appended)."),
                       QStringLiteral("kind"));
    cmd.parser.addOption({QStringLiteral("anonymous"),
                          QStringLiteral("Send without owning com.vexlo.positioningd.vomu (a stranger's fix).")});
    if (const int status = cmd.parse(arguments); status >= 0)
        return status;

    OptionValues values(cmd.parser);
    PositionFix fix;
    fix.setTime(QDateTime::currentDateTimeUtc());
    fix.lat = values.real(QStringLiteral("lat"), fix.lat);
    fix.lon = values.real(QStringLiteral("lon"), fix.lon);
    fix.alt = values.real(QStringLiteral("alt"), fix.alt);
    fix.along = values.real(QStringLiteral("along"), fix.along);
    fix.ortho = values.real(QStringLiteral("ortho"), fix.ortho);
    fix.angle = quint8(values.whole(QStringLiteral("angle"), 255, fix.angle));
    fix.ualt = quint16(values.whole(QStringLiteral("ualt"), 65535, fix.ualt));
    fix.speed = quint16(values.whole(QStringLiteral("speed"), 65535, fix.speed));
    fix.year = quint16(values.whole(QStringLiteral("year"), 65535, fix.year));
    fix.month = quint8(values.whole(QStringLiteral("month"), 255, fix.month));
    fix.day = quint8(values.whole(QStringLiteral("day"), 255, fix.day));
    fix.hours = quint8(values.whole(QStringLiteral("hours"), 255, fix.hours));
    fix.minutes = quint8(values.whole(QStringLiteral("minutes"), 255, fix.minutes));
    fix.msecs = quint16(values.whole(QStringLiteral("msecs"), 65535, fix.msecs));
    PositionFix::Signature signature = PositionFix::Signature::Correct;
    if (!PositionFix::parseSignature(values.text(QStringLiteral("signature"), QStringLiteral("correct")), &signature))
        values.fail(QStringLiteral("--signature: expected one of %1")
                        .arg(PositionFix::signatureNames().join(QLatin1String(", "))));
    if (!values.error().isEmpty())
        return usageError(QStringLiteral("fix"), values.error());

    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!isConnected(bus))
        return Failure;
    PositioningDaemonSim sim(bus);
    QString error;
    if (!values.isSet(QStringLiteral("anonymous")) && !sim.claimName(PositioningDaemonSim::ServiceName, &error)) {
        printError(error);
        return Failure;
    }
    error = sim.sendFix(fix, signature);
    if (!error.isEmpty()) {
        printError(error);
        return Failure;
    }
    sim.flush();
    cmd.progress().line(QStringLiteral("fix 1/1 sig=%1 %2").arg(PositionFix::signatureText(signature), fix.describe()));
    return Success;
}

int SimCommandLine::runConnectivity(const QStringList &arguments)
{
    Command cmd(QStringLiteral("connectivity"),
                QStringLiteral("Broadcasts \"state_sig\" (s bearer, u state) on /com/vexlo/wem2, interface\n"
                               "com.vexlo.wem2. By default plays WLAN scans made by another application: search\n"
                               "start (8), search stop (9) --delay ms later, the next start --interval ms after\n"
                               "the stop. With --state the given states are sent instead, --interval ms apart.\n"
                               "Prints \"state K/N bearer=... state=...\" per signal and \"done signals=N\"."));
    cmd.addValueOption(QStringLiteral("bearer"), QStringLiteral("Bearer type (default WLAN_INFRA)."),
                       QStringLiteral("text"));
    cmd.addValueOption(QStringLiteral("state"),
                       QStringLiteral("Send this search state (any 32-bit value; repeat for a sequence)."),
                       QStringLiteral("n"));
    cmd.addValueOption(QStringLiteral("scans"), QStringLiteral("Number of scans (default 1)."), QStringLiteral("n"));
    cmd.addValueOption(QStringLiteral("delay"), QStringLiteral("From search start to stop (default 2000)."),
                       QStringLiteral("ms"));
    cmd.addValueOption(QStringLiteral("interval"),
                       QStringLiteral("Between a stop and the next start, or between --state signals (default 5000)."),
                       QStringLiteral("ms"));
    if (const int status = cmd.parse(arguments); status >= 0)
        return status;

    OptionValues values(cmd.parser);
    const int scans = int(values.whole(QStringLiteral("scans"), 1000000, 1));
    const int delay = int(values.whole(QStringLiteral("delay"), INT_MAX, 2000));
    const int interval = int(values.whole(QStringLiteral("interval"), INT_MAX, 5000));
    QList<uint> states;
    for (quint64 state : values.wholes(QStringLiteral("state"), UINT_MAX))
        states << uint(state);
    if (!states.isEmpty() && (values.isSet(QStringLiteral("scans")) || values.isSet(QStringLiteral("delay"))))
        values.fail(QStringLiteral("--state does not go with --scans or --delay"));
    if (!values.error().isEmpty())
        return usageError(QStringLiteral("connectivity"), values.error());

    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!isConnected(bus))
        return Failure;
    ConnectivityDaemonSim sim(bus);
    sim.setBearer(values.text(QStringLiteral("bearer"), ConnectivityDaemonSim::WlanBearer));
    const Progress progress = cmd.progress();
    int status = Success;
    QObject::connect(
        &sim, &ConnectivityDaemonSim::stateSent, &sim, [&](const QString &bearer, uint state, int index, int total) {
            progress.line(
                QStringLiteral("state %1/%2 bearer=%3 state=%4").arg(index).arg(total).arg(bearer).arg(state));
        });
    QObject::connect(&sim, &ConnectivityDaemonSim::sendFailed, &sim, [&](const QString &text) {
        printError(text);
        status = Failure;
    });
    QObject::connect(&sim, &ConnectivityDaemonSim::finished, &sim, [&](int sent) {
        sim.flush();
        progress.line(QStringLiteral("done signals=%1").arg(sent));
        exitLater(status);
    });
    onTermination([&] { exitLater(status); });
    sim.run(states.isEmpty() ? ConnectivityDaemonSim::foreignScans(scans, delay, interval)
                             : ConnectivityDaemonSim::stateSequence(states, interval));
    return QCoreApplication::exec();
}

int SimCommandLine::runShutdown(const QStringList &arguments)
{
    Command cmd(QStringLiteral("shutdown"),
                QStringLiteral("Broadcasts \"shutdown_ind\" (no arguments) on interface com.vexlo.hesk.signal\n"
                               "and exits. Prints \"shutdown_ind path=...\"."));
    cmd.addValueOption(QStringLiteral("path"),
                       QStringLiteral("Object path of the signal (default /com/vexlo/hesk/signal)."),
                       QStringLiteral("path"));
    if (const int status = cmd.parse(arguments); status >= 0)
        return status;

    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!isConnected(bus))
        return Failure;
    DeviceStateSim sim(bus);
    const QString path = cmd.parser.isSet(QStringLiteral("path")) ? cmd.parser.value(QStringLiteral("path"))
                                                                  : DeviceStateSim::DefaultObjectPath;
    const QString error = sim.sendShutdown(path);
    if (!error.isEmpty()) {
        printError(error);
        return Failure;
    }
    sim.flush();
    cmd.progress().line(QStringLiteral("shutdown_ind path=%1").arg(path));
    return Success;
}
