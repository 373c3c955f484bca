#include "FpcCtlCommandLine.h"

#include <QCommandLineParser>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace {

struct CommandRule
{
    int minArguments;
    int maxArguments;
    // Long names of the options the command takes besides the global ones
    // (--help, --json, --timeout).
    QStringList options;
};

const QHash<QString, CommandRule> &rules()
{
    static const QHash<QString, CommandRule> table{
        {QStringLiteral("status"), {0, 0, {}}},
        {QStringLiteral("watch"), {0, 0, {QStringLiteral("count")}}},
        {QStringLiteral("upload"), {0, 1, {}}},
        {QStringLiteral("collect"), {1, 1, {}}},
        {QStringLiteral("config"), {1, 3, {QStringLiteral("force")}}},
        {QStringLiteral("clear"), {0, 0, {QStringLiteral("yes")}}},
        {QStringLiteral("active"), {1, 1, {}}},
        {QStringLiteral("log"), {1, 1, {}}},
        {QStringLiteral("quit"), {0, 0, {}}},
        {QStringLiteral("export"), {0, 0, {QStringLiteral("format"), QStringLiteral("db"), QStringLiteral("output")}}},
        {QStringLiteral("map"), {0, 0, {QStringLiteral("db"), QStringLiteral("output")}}},
        {QStringLiteral("help"), {0, 1, {}}},
    };
    return table;
}

// Every option: long name, short name (or none), the name of its value
// (none for a switch).
struct OptionEntry
{
    const char *name;
    const char *shortName;
    const char *valueName;
};

const OptionEntry Options[] = {
    {"help", "h", nullptr},      {"version", nullptr, nullptr}, {"json", "j", nullptr},  {"yes", "y", nullptr},
    {"force", nullptr, nullptr}, {"timeout", "t", "SECONDS"},   {"db", nullptr, "PATH"}, {"format", "f", "FORMAT"},
    {"output", "o", "FILE"},     {"count", "n", "COUNT"},
};

// QCommandLineParser reads every word that starts with '-' as an option; a
// word that looks like a negative number is an argument (config set KEY -1),
// so it is hidden behind this mark while parsing.
const QChar NumberMark(0x1);

QString marked(const QString &word)
{
    static const QRegularExpression number(QStringLiteral("^-[0-9.]"));
    return number.match(word).hasMatch() ? NumberMark + word : word;
}

QString unmarked(const QString &word)
{
    return word.startsWith(NumberMark) ? word.mid(1) : word;
}

QString longName(const QString &given)
{
    for (const OptionEntry &option : Options) {
        if (option.shortName && given == QLatin1String(option.shortName))
            return QLatin1String(option.name);
    }
    return given;
}

const char *const GeneralUsage =
    "Usage: fpcctl [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Control and inspect the vomu-fpcd fingerprint collector over the system D-Bus\n"
    "(com.vexlo.location.fpcd).\n"
    "\n"
    "Daemon commands:\n"
    "  status                     Stored fingerprints by kind, buffer fill, database size,\n"
    "                             growth, last upload and active GPS\n"
    "  watch                      Follow the daemon's status reports live\n"
    "  upload                     Upload the buffer now and wait for the outcome\n"
    "  config show|get|set|load   Show or change the running configuration\n"
    "  config keys                Every key the daemon reads, with type and default\n"
    "  clear                      Delete every stored fingerprint\n"
    "  active on|off              Switch active GPS collection on or off\n"
    "  collect on|off             Switch collection on or off (kept across restarts)\n"
    "  upload on|off              Switch upload on or off (kept across restarts)\n"
    "  log restart                Re-apply the daemon's trace file rule\n"
    "  quit                       Stop the daemon\n"
    "\n"
    "Database commands (read-only, work without the daemon):\n"
    "  export --format geojson|csv|geosubmit   Write the stored fingerprints\n"
    "  map                           Draw the stored fingerprints as an SVG map\n"
    "\n"
    "Options:\n"
    "  -h, --help                 Show this help, or the help of COMMAND\n"
    "      --version              Show the version\n"
    "  -j, --json                 Machine-readable JSON output\n"
    "  -t, --timeout SECONDS      How long to wait for the daemon (default 10,\n"
    "                             upload 120)\n"
    "\n"
    "Run 'fpcctl COMMAND --help' for the options of a command.\n"
    "\n"
    "Exit status: 0 success, 1 the daemon refused or failed the request, 2 wrong\n"
    "usage, 3 the daemon is not running, 4 time-out, 5 file or database error,\n"
    "6 configuration key not set, 7 cancelled, 130 interrupted.\n"
    "\n"
    "The system bus is the one of DBUS_SYSTEM_BUS_ADDRESS when set.\n";

const QHash<QString, QString> &commandHelp()
{
    static const QHash<QString, QString> table{
        {QStringLiteral("status"),
         QStringLiteral("Usage: fpcctl status [--json] [--timeout SECONDS]\n\n"
                        "Asks the daemon for a status report and shows the stored fingerprints by kind\n"
                        "(data-mask combination) and by radio (WCDMA, GSM), the buffer fill as a bar and\n"
                        "a percentage, the database size and maximum, today's growth against the daily\n"
                        "limit, the last upload (time, age and number of fingerprints) and whether active\n"
                        "GPS is on. Asking for a status subscribes the daemon to status reports.\n")},
        {QStringLiteral("watch"),
         QStringLiteral("Usage: fpcctl watch [--json] [-n COUNT] [--timeout SECONDS]\n\n"
                        "Prints one line for the current status, then one line per change of the status\n"
                        "or of active GPS, until interrupted (Ctrl-C) or the daemon stops. With --json\n"
                        "every line is one JSON object.\n\n"
                        "  -n, --count COUNT   Stop after COUNT lines\n")},
        {QStringLiteral("upload"),
         QStringLiteral("Usage: fpcctl upload [--json] [--timeout SECONDS]\n"
                        "       fpcctl upload on|off [--json]\n\n"
                        "With on or off: switches upload on or off (\"upload_enabled\"); the daemon keeps\n"
                        "the switch across restarts. With upload off nothing is sent and the buffer still\n"
                        "follows its size and daily limits.\n\n"
                        "Without: "
                        "Starts an upload of the buffer now and waits (default 120 seconds) for the\n"
                        "daemon's outcome of the attempt, showing progress on a terminal.\n"
                        "Exit status 1 when the upload could not start or the server did not take the\n"
                        "data (the fingerprints stay in the buffer), 4 when no outcome came in time.\n")},
        {QStringLiteral("config"),
         QStringLiteral("Usage: fpcctl config show [--json]\n"
                        "       fpcctl config get KEY [--json]\n"
                        "       fpcctl config set KEY VALUE [--force] [--json]\n"
                        "       fpcctl config load FILE\n"
                        "       fpcctl config keys [--json]\n\n"
                        "show   every configuration value of the running daemon, sorted by key\n"
                        "get    the value in effect; for a key the daemon reads that is not set, its\n"
                        "       default, with a note on standard error (exit status 6 for another key\n"
                        "       that is not set)\n"
                        "set    change one value in the daemon's memory and read it back to confirm;\n"
                        "       warns about a key the daemon does not use and refuses a value of the\n"
                        "       wrong type for its key (exit status 2)\n"
                        "load   add the items of an XML configuration file (<fpcconfig><item key=\"..\"\n"
                        "       value=\"..\"/>...</fpcconfig>)\n"
                        "keys   every key the daemon reads: key, type, default and meaning, separated by\n"
                        "       tabs (needs no daemon)\n\n"
                        "      --force   set: send a value of the wrong type all the same\n\n"
                        "Changes last until the daemon stops; the configuration file is not written.\n")},
        {QStringLiteral("clear"),
         QStringLiteral("Usage: fpcctl clear [--yes] [--json]\n\n"
                        "Deletes every stored fingerprint. Asks for confirmation on a terminal; without a\n"
                        "terminal it refuses unless --yes is given.\n\n"
                        "  -y, --yes   Do not ask\n")},
        {QStringLiteral("collect"),
         QStringLiteral("Usage: fpcctl collect on|off [--json]\n\n"
                        "Switches collection on or off (\"collection_enabled\"); the daemon keeps the\n"
                        "switch across restarts. With collection off no fix or trigger gives birth to a\n"
                        "fingerprint.\n")},
        {QStringLiteral("active"),
         QStringLiteral("Usage: fpcctl active on|off [--json]\n\n"
                        "Switches active GPS collection on or off and shows the state the daemon reports\n"
                        "afterwards (exit status 1 when it differs from the one asked for).\n")},
        {QStringLiteral("log"),
         QStringLiteral("Usage: fpcctl log restart [--json]\n\n"
                        "Makes the daemon apply its trace file rule again (for example after the trace\n"
                        "seed file was created or removed).\n")},
        {QStringLiteral("quit"), QStringLiteral("Usage: fpcctl quit [--json] [--timeout SECONDS]\n\n"
                                                "Stops the daemon and waits until it has left the bus.\n")},
        {QStringLiteral("export"),
         QStringLiteral("Usage: fpcctl export [--format geojson|csv|geosubmit] [--db PATH] [-o FILE]\n\n"
                        "Writes every stored fingerprint with its position, serving and neighbour cells\n"
                        "and access points. The database is opened read-only; its path is --db, else the\n"
                        "running daemon's \"db_file\", else the default path.\n\n"
                        "  -f, --format FORMAT   geojson (default; a FeatureCollection, fingerprints without\n"
                        "                        position have a null geometry), csv (one row each) or\n"
                        "                        geosubmit (the community upload format: fingerprints with\n"
                        "                        a position only, no SSID or identity)\n"
                        "      --db PATH         The database file\n"
                        "  -o, --output FILE     Write to FILE instead of standard output\n")},
        {QStringLiteral("map"),
         QStringLiteral("Usage: fpcctl map [--db PATH] [-o FILE] [--json]\n\n"
                        "Draws the stored fingerprints with a position as an SVG picture for a browser:\n"
                        "points filled by serving cell and ringed by kind, the serving cells (squares)\n"
                        "and access points (triangles) at the centroid of the fingerprints that heard\n"
                        "them, a line from a point to its cell while the pointer is on it, the running\n"
                        "daemon's privacy zones as circles, a legend with the counts and a scale bar\n"
                        "(equirectangular projection). The database is found as for export.\n\n"
                        "      --db PATH       The database file\n"
                        "  -o, --output FILE   The picture (default fpc-map.svg; - for standard output)\n")},
        {QStringLiteral("help"),
         QStringLiteral("Usage: fpcctl help [COMMAND]\n\nShows the general help or the help of COMMAND.\n")},
    };
    return table;
}

} // namespace

QStringList FpcCtlCommandLine::commands()
{
    return {QStringLiteral("status"),  QStringLiteral("watch"),  QStringLiteral("upload"), QStringLiteral("config"),
            QStringLiteral("collect"), QStringLiteral("clear"),  QStringLiteral("active"), QStringLiteral("log"),
            QStringLiteral("quit"),    QStringLiteral("export"), QStringLiteral("map"),    QStringLiteral("help")};
}

QString FpcCtlCommandLine::usage()
{
    return QString::fromLatin1(GeneralUsage);
}

QString FpcCtlCommandLine::help(const QString &command)
{
    return commandHelp().value(command);
}

bool FpcCtlCommandLine::parseTimeout(const QString &text, int *milliseconds)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400)
        return false;
    *milliseconds = std::max(1, int(std::lround(seconds * 1000)));
    return true;
}

bool FpcCtlCommandLine::takeValue(const QString &name, const QString &value, FpcCtlOptions *options, QString *error)
{
    if (name == QLatin1String("timeout") && !parseTimeout(value, &options->timeoutMs)) {
        *error = QStringLiteral("invalid time-out '%1': expected seconds above 0 and at most 86400").arg(value);
        return false;
    }
    if ((name == QLatin1String("db") || name == QLatin1String("output")) && value.isEmpty()) {
        *error = QStringLiteral("option '--%1' needs a %2")
                     .arg(name, name == QLatin1String("db") ? QStringLiteral("path") : QStringLiteral("file name"));
        return false;
    }
    if (name == QLatin1String("db"))
        options->database = value;
    else if (name == QLatin1String("output"))
        options->output = value;
    if (name == QLatin1String("format")) {
        options->format = value.toLower();
        if (options->format != QLatin1String("geojson") && options->format != QLatin1String("csv")
            && options->format != QLatin1String("geosubmit")) {
            *error = QStringLiteral("unknown format '%1': expected geojson, csv or geosubmit").arg(value);
            return false;
        }
    }
    if (name == QLatin1String("count")) {
        bool ok = false;
        options->count = value.toInt(&ok);
        if (!ok || options->count < 1) {
            *error = QStringLiteral("invalid count '%1': expected a whole number above 0").arg(value);
            return false;
        }
    }
    return true;
}

bool FpcCtlCommandLine::parse(const QStringList &arguments, FpcCtlOptions *options, QString *error)
{
    *options = FpcCtlOptions();
    QCommandLineParser parser;
    for (const OptionEntry &entry : Options) {
        QStringList names{QLatin1String(entry.name)};
        if (entry.shortName)
            names.prepend(QLatin1String(entry.shortName));
        parser.addOption(QCommandLineOption(names, QString(), QLatin1String(entry.valueName ? entry.valueName : "")));
    }
    QStringList words{QStringLiteral("fpcctl")};
    for (const QString &word : arguments)
        words << marked(word);
    if (!parser.parse(words)) {
        QString text = parser.errorText().remove(NumberMark);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        *error = text.left(1).toLower() + text.mid(1);
        return false;
    }
    for (const QString &given : parser.optionNames()) {
        if (!options->given.contains(longName(given)))
            options->given << longName(given);
    }
    options->help = parser.isSet(QStringLiteral("help"));
    options->version = parser.isSet(QStringLiteral("version"));
    options->json = parser.isSet(QStringLiteral("json"));
    options->yes = parser.isSet(QStringLiteral("yes"));
    options->force = parser.isSet(QStringLiteral("force"));
    for (const OptionEntry &entry : Options) {
        const QString name = QLatin1String(entry.name);
        if (entry.valueName && parser.isSet(name) && !takeValue(name, unmarked(parser.value(name)), options, error))
            return false;
    }
    QStringList positional;
    for (const QString &word : parser.positionalArguments())
        positional << unmarked(word);
    if (!positional.isEmpty()) {
        options->command = positional.takeFirst();
        options->arguments = positional;
    }
    if (options->version)
        return true;
    if (options->command.isEmpty()) {
        if (options->help)
            return true;
        *error = QStringLiteral("no command given (see 'fpcctl --help')");
        return false;
    }
    if (!rules().contains(options->command)) {
        *error = QStringLiteral("unknown command '%1' (see 'fpcctl --help')").arg(options->command);
        return false;
    }
    // "fpcctl export --help" needs no valid arguments.
    if (options->help)
        return true;
    return checkCommand(*options, error);
}

bool FpcCtlCommandLine::checkCommand(const FpcCtlOptions &options, QString *error)
{
    const CommandRule &rule = rules()[options.command];
    static const QSet<QString> global{QStringLiteral("help"), QStringLiteral("version"), QStringLiteral("json"),
                                      QStringLiteral("timeout")};
    for (const QString &name : options.given) {
        if (!global.contains(name) && !rule.options.contains(name)) {
            *error = QStringLiteral("option '--%1' does not apply to '%2'").arg(name, options.command);
            return false;
        }
    }
    const int count = int(options.arguments.size());
    if (count < rule.minArguments || count > rule.maxArguments) {
        *error = count < rule.minArguments
                     ? QStringLiteral("'%1' needs an argument (see 'fpcctl %1 --help')").arg(options.command)
                     : QStringLiteral("too many arguments for '%1' (see 'fpcctl %1 --help')").arg(options.command);
        return false;
    }
    const QString first = options.arguments.value(0);
    if (options.command == QLatin1String("config")) {
        static const QHash<QString, int> arity{{QStringLiteral("show"), 0},
                                               {QStringLiteral("get"), 1},
                                               {QStringLiteral("set"), 2},
                                               {QStringLiteral("load"), 1},
                                               {QStringLiteral("keys"), 0}};
        if (!arity.contains(first)) {
            *error = QStringLiteral("unknown config action '%1': expected show, get, set, load or keys").arg(first);
            return false;
        }
        if (count - 1 != arity[first]) {
            *error =
                QStringLiteral("wrong number of arguments for 'config %1' (see 'fpcctl config --help')").arg(first);
            return false;
        }
        if ((first == QLatin1String("get") || first == QLatin1String("set")) && options.arguments.at(1).isEmpty()) {
            *error = QStringLiteral("the configuration key must not be empty");
            return false;
        }
    } else if (count > 0
               && (options.command == QLatin1String("active") || options.command == QLatin1String("collect")
                   || options.command == QLatin1String("upload"))) {
        if (first != QLatin1String("on") && first != QLatin1String("off")) {
            *error = QStringLiteral("expected 'on' or 'off', not '%1'").arg(first);
            return false;
        }
    } else if (options.command == QLatin1String("log")) {
        if (first != QLatin1String("restart")) {
            *error = QStringLiteral("unknown log action '%1': expected restart").arg(first);
            return false;
        }
    } else if (options.command == QLatin1String("help") && count == 1 && !rules().contains(first)) {
        *error = QStringLiteral("unknown command '%1' (see 'fpcctl --help')").arg(first);
        return false;
    }
    return true;
}
