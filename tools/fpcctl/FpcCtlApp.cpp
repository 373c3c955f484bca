#include "FpcCtlApp.h"

#include "FpcClient.h"
#include "FpcConfigurationText.h"
#include "FpcCtlExitCode.h"
#include "FpcCtlExporter.h"
#include "FpcCtlGeosubmitExport.h"
#include "FpcCtlMap.h"
#include "FpcCtlOutput.h"
#include "FpcCtlStatusView.h"
#include "FpcCtlWait.h"
#include "FpcConfigKeys.h"
#include "FpcDatabaseReader.h"
#include "FpcKeptSettings.h"
#include "FpcPaths.h"
#include "FpcSignalWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <QTextStream>

#include <climits>
#include <cstdio>

namespace {

constexpr int DefaultTimeoutMs = 10000;
constexpr int DefaultUploadTimeoutMs = 120000;
// A configuration file is a few kilobytes; anything far larger is a mistake.
constexpr qint64 MaxConfigurationFileBytes = 1024 * 1024;
const QString DefaultDatabaseLiteral = QStringLiteral("/home/user/.vomu-fpcd/private/fp.db");

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 4) + QStringLiteral(" s");
}

// A variable of another process's environment, read from /proc (only
// possible for a process of the same user, or as root).
QString processEnvironment(uint pid, const QByteArray &name)
{
    QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
    if (pid == 0 || !file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray prefix = name + '=';
    for (const QByteArray &entry : file.readAll().split('\0')) {
        if (entry.startsWith(prefix))
            return QString::fromLocal8Bit(entry.mid(prefix.size()));
    }
    return QString();
}

// The daemon's default database below the daemon's path root.
QString defaultDatabaseOf(uint pid)
{
    const QString root = processEnvironment(pid, "FPCD_ROOT");
    if (root.isEmpty())
        return FpcPaths::databaseFile();
    return QDir::cleanPath(root + QLatin1Char('/') + DefaultDatabaseLiteral);
}

// Every stored fingerprint of the database at path; a missing file's error
// says how to name another one.
bool readDatabase(const QString &path, QList<FpcCtlRecord> *records, QString *error)
{
    if (FpcDatabaseReader::read(path, records, error))
        return true;
    if (!QFileInfo::exists(path))
        *error += QStringLiteral(" (give one with --db PATH)");
    return false;
}

} // namespace

int FpcCtlApp::run(const QStringList &arguments)
{
    FpcCtlOptions options;
    QString error;
    if (!FpcCtlCommandLine::parse(arguments.mid(1), &options, &error))
        return fail(FpcCtlExitCode::Usage, error);
    if (options.version) {
        FpcCtlOutput::printLine(QStringLiteral("fpcctl ") + QStringLiteral(FPCCTL_VERSION));
        return FpcCtlExitCode::Success;
    }
    if (options.command == QLatin1String("help") || options.help) {
        const QString topic = options.command == QLatin1String("help") ? options.arguments.value(0) : options.command;
        FpcCtlOutput::print(topic.isEmpty() ? FpcCtlCommandLine::usage() : FpcCtlCommandLine::help(topic));
        return FpcCtlExitCode::Success;
    }
    FpcCtlApp app(options);
    app.m_timeoutMs = options.timeoutMs > 0 ? options.timeoutMs
                      : options.command == QLatin1String("upload") && options.arguments.isEmpty()
                          ? DefaultUploadTimeoutMs
                          : DefaultTimeoutMs;
    return app.dispatch();
}

int FpcCtlApp::dispatch()
{
    const QString &command = m_options.command;
    if (command == QLatin1String("status"))
        return status();
    if (command == QLatin1String("watch"))
        return watch();
    if (command == QLatin1String("upload") && !m_options.arguments.isEmpty())
        return switchKey(QStringLiteral("upload_enabled"));
    if (command == QLatin1String("upload"))
        return upload();
    if (command == QLatin1String("collect"))
        return switchKey(QStringLiteral("collection_enabled"));
    if (command == QLatin1String("config"))
        return config();
    if (command == QLatin1String("clear"))
        return clear();
    if (command == QLatin1String("active"))
        return active();
    if (command == QLatin1String("log"))
        return logRestart();
    if (command == QLatin1String("quit"))
        return quit();
    if (command == QLatin1String("export"))
        return exportDatabase();
    return map();
}

int FpcCtlApp::fail(int exitCode, const QString &reason)
{
    FpcCtlOutput::printError(reason);
    return exitCode;
}

int FpcCtlApp::exitCodeOf(const FpcClientResult &result)
{
    switch (result.error) {
    case FpcClientResult::NoError:
        return FpcCtlExitCode::Success;
    case FpcClientResult::NotRunning:
        return FpcCtlExitCode::NotRunning;
    case FpcClientResult::Timeout:
        return FpcCtlExitCode::Timeout;
    default:
        return FpcCtlExitCode::Failed;
    }
}

int FpcCtlApp::fail(const FpcClientResult &result)
{
    return fail(exitCodeOf(result), result.message);
}

bool FpcCtlApp::connectClient(FpcClient &client, int *exitCode) const
{
    client.setTimeoutMs(m_timeoutMs);
    const FpcClientResult result = client.checkDaemon();
    if (!result.ok())
        *exitCode = fail(result);
    return result.ok();
}

// The status commands listen to the daemon's signals: subscribe before the
// first call so no report is missed.
bool FpcCtlApp::connectAndSubscribe(FpcClient &client, int *exitCode) const
{
    if (!connectClient(client, exitCode))
        return false;
    QString error;
    if (client.subscribe(&error))
        return true;
    *exitCode = fail(FpcCtlExitCode::Failed, error);
    return false;
}

int FpcCtlApp::status()
{
    FpcClient client;
    int exitCode = 0;
    if (!connectAndSubscribe(client, &exitCode))
        return exitCode;
    FpcCtlWait wait(client);
    const FpcClientResult reply =
        client.wait([&](const FpcClient::Done &done) { client.requestStatus(nullptr, done); });
    if (!reply.ok())
        return fail(reply);
    switch (wait.until([&] { return client.hasStatus() && client.hasActiveGps(); }, client.timeoutMs())) {
    case FpcCtlWait::Done:
        break;
    case FpcCtlWait::DaemonGone:
        return fail(FpcCtlExitCode::NotRunning, QStringLiteral("vomu-fpcd stopped before it sent its status"));
    default:
        return fail(FpcCtlExitCode::Timeout,
                    QStringLiteral("no status report from vomu-fpcd within %1").arg(seconds(client.timeoutMs())));
    }
    const uint pid = client.daemonPid();
    // A daemon without the counters still has a status to show.
    const FpcClientResult counters =
        client.wait([&](const FpcClient::Done &done) { client.readDropCounters(nullptr, done); });
    if (m_options.json) {
        QJsonObject json = FpcCtlStatusView::json(client.status(), client.activeGps(), pid);
        if (counters.ok())
            json.insert(QStringLiteral("counters"), FpcCtlStatusView::countersJson(counters.counters));
        FpcCtlOutput::printJson(json);
    } else {
        QString text =
            FpcCtlStatusView::text(client.status(), client.activeGps(), pid, QDateTime::currentDateTimeUtc());
        if (counters.ok())
            text += FpcCtlStatusView::countersText(counters.counters);
        FpcCtlOutput::print(text);
    }
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::watch()
{
    FpcSignalWatcher interrupt;
    FpcClient client;
    int exitCode = 0;
    if (!connectAndSubscribe(client, &exitCode))
        return exitCode;
    FpcCtlWait wait(client);

    int lines = 0;
    bool hasPrevious = false;
    FpcStatusReport previous;
    int previousActive = -1;
    QObject::connect(&client, &FpcClient::statusReceived, &client, [&](const FpcStatusReport &status) {
        if (hasPrevious && status.sameReport(previous))
            return;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (m_options.json)
            FpcCtlOutput::printJsonLine(FpcCtlStatusView::watchJson(status, now));
        else
            FpcCtlOutput::printLine(FpcCtlStatusView::watchLine(status, hasPrevious ? &previous : nullptr, now));
        previous = status;
        hasPrevious = true;
        ++lines;
    });
    QObject::connect(&client, &FpcClient::activeGpsReceived, &client, [&](bool enabled) {
        if (previousActive == int(enabled))
            return;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (m_options.json)
            FpcCtlOutput::printJsonLine(FpcCtlStatusView::watchActiveJson(enabled, now));
        else
            FpcCtlOutput::printLine(FpcCtlStatusView::watchActiveLine(enabled, now));
        previousActive = int(enabled);
        ++lines;
    });
    // Asking once subscribes the daemon to status reports and gives the
    // first lines.
    const FpcClientResult reply =
        client.wait([&](const FpcClient::Done &done) { client.requestStatus(nullptr, done); });
    if (reply.error == FpcClientResult::NotRunning || reply.error == FpcClientResult::Timeout)
        return fail(reply);
    if (!reply.ok())
        FpcCtlOutput::printError(reply.message);

    const auto done = [&] { return m_options.count > 0 && lines >= m_options.count; };
    if (wait.until(done, INT_MAX) == FpcCtlWait::DaemonGone)
        return fail(FpcCtlExitCode::NotRunning, QStringLiteral("vomu-fpcd left the bus"));
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::upload()
{
    FpcSignalWatcher interrupt;
    FpcClient client;
    int exitCode = 0;
    if (!connectAndSubscribe(client, &exitCode))
        return exitCode;
    FpcCtlWait wait(client);

    // Subscribed before the call: the daemon's uploadFinished after this
    // attempt, success or failure, is what ends the wait.
    const FpcClientResult reply = client.wait([&](const FpcClient::Done &done) { client.startUpload(nullptr, done); });
    if (!reply.ok())
        return fail(reply);

    static const char spinner[] = {'|', '/', '-', '\\'};
    const auto progress = [&](int elapsedMs) {
        FpcCtlOutput::progress(QStringLiteral("%1 Uploading ... %2")
                                   .arg(QLatin1Char(spinner[(elapsedMs / 100) % 4]))
                                   .arg(seconds(elapsedMs / 1000 * 1000)));
    };
    const FpcCtlWait::Outcome outcome =
        wait.until([&] { return client.uploadOutcomeCount() > 0; }, client.timeoutMs(), progress);
    FpcCtlOutput::clearProgress();
    switch (outcome) {
    case FpcCtlWait::Done:
        break;
    case FpcCtlWait::DaemonGone:
        return fail(FpcCtlExitCode::NotRunning, QStringLiteral("vomu-fpcd stopped during the upload"));
    case FpcCtlWait::Interrupted:
        return fail(FpcCtlExitCode::Interrupted, QStringLiteral("stopped waiting; the upload goes on in vomu-fpcd"));
    case FpcCtlWait::TimedOut:
        return fail(FpcCtlExitCode::Timeout,
                    QStringLiteral("the upload started, but no outcome came within %1: it is still under way")
                        .arg(seconds(client.timeoutMs())));
    }
    const bool ok = client.uploadOk();
    const uint count = client.uploadCount();
    const qint64 remaining = bufferTotal(client, wait);
    if (m_options.json) {
        QJsonObject result{{QStringLiteral("started"), true},
                           {QStringLiteral("finished"), true},
                           {QStringLiteral("ok"), ok},
                           {QStringLiteral("answer"), reply.answer},
                           {QStringLiteral("uploaded"), ok ? qint64(count) : 0},
                           {QStringLiteral("remaining"), remaining}};
        if (!ok)
            result.insert(QStringLiteral("reason"), client.uploadReason());
        FpcCtlOutput::printJson(result);
    } else if (ok) {
        FpcCtlOutput::printLine(QStringLiteral("Upload finished: %1 fingerprint%2 uploaded, %3 left in the buffer.")
                                    .arg(count)
                                    .arg(count == 1 ? QString() : QStringLiteral("s"))
                                    .arg(remaining < 0 ? QStringLiteral("?") : QString::number(remaining)));
    } else {
        FpcCtlOutput::printError(QStringLiteral("the upload failed, %1 fingerprint%2 kept in the buffer: %3")
                                     .arg(count)
                                     .arg(count == 1 ? QString() : QStringLiteral("s"))
                                     .arg(client.uploadReason()));
    }
    return ok ? FpcCtlExitCode::Success : FpcCtlExitCode::Failed;
}

// Fingerprints in the buffer from a fresh status report; -1 when none came.
qint64 FpcCtlApp::bufferTotal(FpcClient &client, FpcCtlWait &wait) const
{
    const int before = client.statusCount();
    if (!client.wait([&](const FpcClient::Done &done) { client.requestStatus(nullptr, done); }).ok())
        return -1;
    wait.until([&] { return client.statusCount() > before; }, std::min(client.timeoutMs(), DefaultTimeoutMs));
    return client.statusCount() > before ? qint64(client.status().total()) : -1;
}

bool FpcCtlApp::readConfiguration(FpcClient &client, QMap<QString, QString> *items, int *exitCode) const
{
    const FpcClientResult reply =
        client.wait([&](const FpcClient::Done &done) { client.readConfiguration(nullptr, done); });
    if (!reply.ok()) {
        *exitCode = fail(reply);
        return false;
    }
    *items = reply.configuration;
    return true;
}

int FpcCtlApp::config()
{
    const QString action = m_options.arguments.at(0);
    if (action == QLatin1String("keys"))
        return configKeys();
    // A value the daemon's reader would not take is refused before anything is sent.
    const FpcConfigKeys::Key *known = FpcConfigKeys::find(m_options.arguments.value(1));
    QString typeError;
    if (action == QLatin1String("set") && known && !m_options.force
        && !FpcConfigKeys::valueFits(*known, m_options.arguments.at(2), &typeError))
        return fail(FpcCtlExitCode::Usage, typeError + QStringLiteral("; not sent (--force sends it all the same)"));
    FpcClient client;
    int exitCode = 0;
    if (!connectClient(client, &exitCode))
        return exitCode;
    if (action == QLatin1String("show"))
        return configShow(client);
    if (action == QLatin1String("get"))
        return configGet(client, m_options.arguments.at(1));
    if (action == QLatin1String("set")) {
        if (!known)
            FpcCtlOutput::printError(QStringLiteral("warning: vomu-fpcd does not use the key '%1' (see 'fpcctl config "
                                                    "keys'); setting it all the same")
                                         .arg(m_options.arguments.at(1)));
        return configSet(client, m_options.arguments.at(1), m_options.arguments.at(2));
    }
    return configLoad(client, m_options.arguments.at(1));
}

int FpcCtlApp::configKeys()
{
    if (m_options.json) {
        QJsonArray array;
        for (const FpcConfigKeys::Key &key : FpcConfigKeys::all()) {
            array.append(QJsonObject{{QStringLiteral("key"), key.name},
                                     {QStringLiteral("type"), key.type},
                                     {QStringLiteral("default"), key.defaultValue},
                                     {QStringLiteral("meaning"), key.meaning},
                                     {QStringLiteral("setByDaemon"), key.setByDaemon}});
        }
        FpcCtlOutput::printJson(QJsonObject{{QStringLiteral("keys"), array}});
        return FpcCtlExitCode::Success;
    }
    QString text;
    for (const FpcConfigKeys::Key &key : FpcConfigKeys::all())
        text +=
            QStringList{key.name, key.type, key.defaultValue, key.meaning}.join(QLatin1Char('\t')) + QLatin1Char('\n');
    FpcCtlOutput::print(text);
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::configShow(FpcClient &client)
{
    QMap<QString, QString> items;
    int exitCode = 0;
    if (!readConfiguration(client, &items, &exitCode))
        return exitCode;
    if (m_options.json) {
        QJsonObject object;
        for (auto it = items.cbegin(); it != items.cend(); ++it)
            object.insert(it.key(), it.value());
        FpcCtlOutput::printJson(object);
    } else {
        QString text;
        for (auto it = items.cbegin(); it != items.cend(); ++it)
            text += it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n');
        FpcCtlOutput::print(text);
    }
    return FpcCtlExitCode::Success;
}

// The value in effect: the one set, else the default of a key the daemon reads.
int FpcCtlApp::configGet(FpcClient &client, const QString &key)
{
    QMap<QString, QString> items;
    int exitCode = 0;
    if (!readConfiguration(client, &items, &exitCode))
        return exitCode;
    const FpcConfigKeys::Key *known = FpcConfigKeys::find(key);
    const bool isDefault = !items.contains(key);
    if (isDefault && !known)
        return fail(FpcCtlExitCode::NotFound, QStringLiteral("configuration key '%1' is not set").arg(key));
    const QString value = isDefault ? known->defaultValue : items.value(key);
    if (m_options.json) {
        FpcCtlOutput::printJson(QJsonObject{{QStringLiteral("key"), key},
                                            {QStringLiteral("value"), value},
                                            {QStringLiteral("default"), isDefault}});
        return FpcCtlExitCode::Success;
    }
    FpcCtlOutput::printLine(value);
    if (isDefault)
        FpcCtlOutput::printNote(QStringLiteral("(%1 is not set: this is the daemon's default)\n").arg(key));
    return FpcCtlExitCode::Success;
}

// "on" or "off" for a switch key, set in the running daemon (which keeps it
// across restarts) and read back.
int FpcCtlApp::switchKey(const QString &key)
{
    FpcClient client;
    int exitCode = 0;
    if (!connectClient(client, &exitCode))
        return exitCode;
    const bool on = m_options.arguments.at(0) == QLatin1String("on");
    return configSet(client, key, on ? QStringLiteral("1") : QStringLiteral("0"));
}

int FpcCtlApp::configSet(FpcClient &client, const QString &key, const QString &value)
{
    const FpcClientResult reply =
        client.wait([&](const FpcClient::Done &done) { client.setConfigurationValue(key, value, nullptr, done); });
    if (!reply.ok())
        return fail(reply);
    if (m_options.json)
        FpcCtlOutput::printJson(QJsonObject{{QStringLiteral("key"), key}, {QStringLiteral("value"), value}});
    else
        FpcCtlOutput::printLine(QStringLiteral("%1=%2 (%3)")
                                    .arg(key, value,
                                         FpcKeptSettings::isKept(key) ? QStringLiteral("kept across restarts")
                                                                      : QStringLiteral("until vomu-fpcd stops")));
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::configLoad(FpcClient &client, const QString &file)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return fail(FpcCtlExitCode::FileError, QStringLiteral("cannot read %1: %2").arg(file, input.errorString()));
    const QByteArray xml = input.read(MaxConfigurationFileBytes + 1);
    if (xml.size() > MaxConfigurationFileBytes)
        return fail(FpcCtlExitCode::FileError, QStringLiteral("%1: too large for a configuration file").arg(file));
    // Checked whole first: the daemon keeps the items before a faulty one.
    QMap<QString, QString> items;
    QString error;
    if (!FpcConfigurationText::parse(xml, &items, &error))
        return fail(FpcCtlExitCode::FileError, QStringLiteral("%1: %2; nothing loaded").arg(file, error));
    const FpcClientResult reply =
        client.wait([&](const FpcClient::Done &done) { client.loadConfiguration(xml, nullptr, done); });
    if (reply.error == FpcClientResult::Refused)
        return fail(FpcCtlExitCode::Failed, QStringLiteral("vomu-fpcd refused %1 (see its trace)").arg(file));
    if (!reply.ok())
        return fail(reply);
    if (m_options.json) {
        QJsonArray keys;
        for (const QString &key : items.keys())
            keys.append(key);
        FpcCtlOutput::printJson(QJsonObject{{QStringLiteral("file"), file}, {QStringLiteral("keys"), keys}});
    } else {
        FpcCtlOutput::printLine(QStringLiteral("Loaded %1 value%2 from %3 (until vomu-fpcd stops)")
                                    .arg(items.size())
                                    .arg(items.size() == 1 ? QString() : QStringLiteral("s"))
                                    .arg(file));
    }
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::clear()
{
    FpcClient client;
    int exitCode = 0;
    if (!connectClient(client, &exitCode))
        return exitCode;
    if (!m_options.yes) {
        if (!FpcCtlOutput::stdinIsTerminal())
            return fail(FpcCtlExitCode::Usage, QStringLiteral("refusing to delete every fingerprint without "
                                                              "confirmation: no terminal to ask on; pass --yes"));
        FpcCtlOutput::printNote(QStringLiteral("Delete every stored fingerprint? This cannot be undone. [y/N] "));
        QTextStream input(stdin);
        const QString answer = input.readLine().trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes"))
            return fail(FpcCtlExitCode::Cancelled, QStringLiteral("cancelled; nothing deleted"));
    }
    const FpcClientResult reply = client.wait([&](const FpcClient::Done &done) { client.clearBuffer(nullptr, done); });
    if (!reply.ok())
        return fail(reply);
    if (m_options.json)
        FpcCtlOutput::printJson(
            QJsonObject{{QStringLiteral("cleared"), true}, {QStringLiteral("answer"), reply.answer}});
    else
        FpcCtlOutput::printLine(reply.answer);
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::active()
{
    const bool wanted = m_options.arguments.at(0) == QLatin1String("on");
    FpcClient client;
    int exitCode = 0;
    if (!connectAndSubscribe(client, &exitCode))
        return exitCode;
    FpcCtlWait wait(client);
    // The daemon reports active GPS changes only to a status subscriber.
    const FpcClientResult statistics =
        client.wait([&](const FpcClient::Done &done) { client.requestStatus(nullptr, done); });
    if (statistics.error == FpcClientResult::NotRunning || statistics.error == FpcClientResult::Timeout)
        return fail(statistics);
    wait.until([&] { return client.hasActiveGps(); }, client.timeoutMs());
    const int before = client.activeGpsCount();
    const FpcClientResult sent =
        client.wait([&](const FpcClient::Done &done) { client.setActiveMode(wanted, nullptr, done); });
    if (!sent.ok())
        return fail(sent);
    switch (wait.until([&] { return client.activeGpsCount() > before; }, client.timeoutMs())) {
    case FpcCtlWait::Done:
        break;
    case FpcCtlWait::DaemonGone:
        return fail(FpcCtlExitCode::NotRunning, QStringLiteral("vomu-fpcd stopped"));
    default:
        return fail(FpcCtlExitCode::Timeout,
                    QStringLiteral("vomu-fpcd did not report active GPS within %1").arg(seconds(client.timeoutMs())));
    }
    const bool state = client.activeGps();
    if (m_options.json)
        FpcCtlOutput::printJson(QJsonObject{{QStringLiteral("activeGps"), state}});
    else
        FpcCtlOutput::printLine(
            QStringLiteral("Active GPS: %1").arg(state ? QStringLiteral("on") : QStringLiteral("off")));
    if (state != wanted)
        return fail(FpcCtlExitCode::Failed, QStringLiteral("active GPS could not be switched %1 (no position source?)")
                                                .arg(wanted ? QStringLiteral("on") : QStringLiteral("off")));
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::logRestart()
{
    FpcClient client;
    int exitCode = 0;
    if (!connectClient(client, &exitCode))
        return exitCode;
    const FpcClientResult sent =
        client.wait([&](const FpcClient::Done &done) { client.restartLogging(nullptr, done); });
    if (!sent.ok())
        return fail(sent);
    if (m_options.json)
        FpcCtlOutput::printJson(QJsonObject{{QStringLiteral("loggingRestarted"), true}});
    else
        FpcCtlOutput::printLine(QStringLiteral("Logging restarted"));
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::quit()
{
    FpcClient client;
    int exitCode = 0;
    if (!connectAndSubscribe(client, &exitCode))
        return exitCode;
    FpcCtlWait wait(client);
    const uint pid = client.daemonPid();
    const FpcClientResult sent = client.wait([&](const FpcClient::Done &done) { client.quitDaemon(nullptr, done); });
    if (!sent.ok())
        return fail(sent);
    const auto stopped = [&] { return !client.isDaemonRunning(); };
    if (wait.until(stopped, client.timeoutMs()) == FpcCtlWait::TimedOut)
        return fail(FpcCtlExitCode::Timeout,
                    QStringLiteral("vomu-fpcd did not stop within %1").arg(seconds(client.timeoutMs())));
    if (m_options.json) {
        QJsonObject object{{QStringLiteral("stopped"), true}};
        if (pid)
            object.insert(QStringLiteral("pid"), qint64(pid));
        FpcCtlOutput::printJson(object);
    } else {
        FpcCtlOutput::printLine(pid ? QStringLiteral("vomu-fpcd (pid %1) stopped").arg(pid)
                                    : QStringLiteral("vomu-fpcd stopped"));
    }
    return FpcCtlExitCode::Success;
}

QString FpcCtlApp::databasePath(const FpcCtlOptions &options, int timeoutMs, QString *privacyZones)
{
    if (!options.database.isEmpty() && !privacyZones)
        return options.database;
    FpcClient client;
    client.setTimeoutMs(timeoutMs);
    if (!client.checkDaemon().ok())
        return options.database.isEmpty() ? FpcPaths::databaseFile() : options.database;
    const uint pid = client.daemonPid();
    const FpcClientResult reply =
        client.wait([&](const FpcClient::Done &done) { client.readConfiguration(nullptr, done); });
    if (!reply.ok())
        return options.database.isEmpty() ? defaultDatabaseOf(pid) : options.database;
    const QMap<QString, QString> &items = reply.configuration;
    if (privacyZones)
        *privacyZones = items.value(QStringLiteral("privacy_zones"));
    if (!options.database.isEmpty())
        return options.database;
    const QString configured = items.value(QStringLiteral("db_file"));
    if (configured.isEmpty() || configured == DefaultDatabaseLiteral)
        return defaultDatabaseOf(pid);
    if (QDir::isRelativePath(configured) && pid != 0) {
        const QString cwd = QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid));
        if (!cwd.isEmpty())
            return QDir(cwd).filePath(configured);
    }
    return configured;
}

bool FpcCtlApp::writeOutput(const QString &file, const QByteArray &data, int *exitCode) const
{
    if (file == QLatin1String("-")) {
        if (std::fwrite(data.constData(), 1, size_t(data.size()), stdout) != size_t(data.size())
            || std::fflush(stdout) != 0) {
            *exitCode = fail(FpcCtlExitCode::FileError, QStringLiteral("cannot write to standard output"));
            return false;
        }
        return true;
    }
    QSaveFile output(file);
    if (!output.open(QIODevice::WriteOnly) || output.write(data) != data.size() || !output.commit()) {
        *exitCode =
            fail(FpcCtlExitCode::FileError, QStringLiteral("cannot write %1: %2").arg(file, output.errorString()));
        return false;
    }
    return true;
}

int FpcCtlApp::exportDatabase()
{
    const QString path = databasePath(m_options, m_timeoutMs);
    QList<FpcCtlRecord> records;
    QString error;
    if (!readDatabase(path, &records, &error))
        return fail(FpcCtlExitCode::FileError, error);
    const QString format = m_options.format.isEmpty() ? QStringLiteral("geojson") : m_options.format;
    const QByteArray data = format == QLatin1String("csv")         ? FpcCtlExporter::csv(records)
                            : format == QLatin1String("geosubmit") ? FpcCtlGeosubmitExport::document(records)
                                                                   : FpcCtlExporter::geoJson(records);
    const QString file = m_options.output.isEmpty() ? QStringLiteral("-") : m_options.output;
    int exitCode = 0;
    if (!writeOutput(file, data, &exitCode))
        return exitCode;
    if (file == QLatin1String("-"))
        return FpcCtlExitCode::Success;
    if (m_options.json) {
        FpcCtlOutput::printJson(QJsonObject{{QStringLiteral("file"), file},
                                            {QStringLiteral("format"), format},
                                            {QStringLiteral("database"), path},
                                            {QStringLiteral("fingerprints"), int(records.size())}});
    } else {
        FpcCtlOutput::printLine(
            QStringLiteral("Exported %1 fingerprints from %2 to %3 (%4)").arg(records.size()).arg(path, file, format));
    }
    return FpcCtlExitCode::Success;
}

int FpcCtlApp::map()
{
    QString zonesText;
    const QString path = databasePath(m_options, m_timeoutMs, &zonesText);
    QList<FpcCtlRecord> records;
    QString error;
    if (!readDatabase(path, &records, &error))
        return fail(FpcCtlExitCode::FileError, error);
    // A refused entry is not in force in the daemon either; say so and draw the rest.
    QStringList zoneErrors;
    const QList<FpcZoneText::Zone> zones = FpcZoneText::parse(zonesText, &zoneErrors);
    for (const QString &zoneError : std::as_const(zoneErrors))
        FpcCtlOutput::printError(QStringLiteral("privacy_zones entry not drawn: ") + zoneError);
    const QString file = m_options.output.isEmpty() ? QStringLiteral("fpc-map.svg") : m_options.output;
    int exitCode = 0;
    if (!writeOutput(file, FpcCtlMap::svg(records, path, zones), &exitCode))
        return exitCode;
    if (file == QLatin1String("-"))
        return FpcCtlExitCode::Success;
    const FpcCtlMap::Summary summary = FpcCtlMap::summarize(records);
    if (m_options.json) {
        FpcCtlOutput::printJson(QJsonObject{{QStringLiteral("file"), QFileInfo(file).absoluteFilePath()},
                                            {QStringLiteral("database"), path},
                                            {QStringLiteral("fingerprints"), summary.total},
                                            {QStringLiteral("drawn"), summary.drawn},
                                            {QStringLiteral("withoutPosition"), summary.withoutPosition},
                                            {QStringLiteral("gsmCells"), summary.gsmCells},
                                            {QStringLiteral("wcdmaCells"), summary.wcdmaCells},
                                            {QStringLiteral("accessPoints"), summary.accessPoints},
                                            {QStringLiteral("privacyZones"), int(zones.size())}});
    } else {
        FpcCtlOutput::printLine(QStringLiteral("Map of %1 fingerprints (%2 drawn, %3 without position) written to %4")
                                    .arg(summary.total)
                                    .arg(summary.drawn)
                                    .arg(summary.withoutPosition)
                                    .arg(QFileInfo(file).absoluteFilePath()));
    }
    return FpcCtlExitCode::Success;
}
