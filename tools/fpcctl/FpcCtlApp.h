#pragma once

#include "FpcCtlCommandLine.h"

#include <QMap>
#include <QString>
#include <QStringList>

class FpcClient;
class FpcCtlWait;
struct FpcClientResult;

// Runs one fpcctl command: parses the command line, talks to the daemon or
// reads its database, prints the result (text or JSON) and returns the exit
// status (FpcCtlExitCode). Needs a QCoreApplication.
class FpcCtlApp
{
public:
    // arguments as QCoreApplication::arguments(), program name first.
    static int run(const QStringList &arguments);

    // The database the export and map commands read: --db, else the running
    // daemon's "db_file", else the default path (below the daemon's own
    // FPCD_ROOT when it can be read from /proc, else below this process's).
    // privacyZones (optional) receives the running daemon's "privacy_zones",
    // empty when no daemon answers.
    static QString databasePath(const FpcCtlOptions &options, int timeoutMs, QString *privacyZones = nullptr);

private:
    explicit FpcCtlApp(const FpcCtlOptions &options) : m_options(options) {}

    int dispatch();
    int status();
    int watch();
    int upload();
    int switchKey(const QString &key);
    int config();
    int configKeys();
    int configShow(FpcClient &client);
    int configGet(FpcClient &client, const QString &key);
    int configSet(FpcClient &client, const QString &key, const QString &value);
    int configLoad(FpcClient &client, const QString &file);
    int clear();
    int active();
    int logRestart();
    int quit();
    int exportDatabase();
    int map();

    // Connects to the daemon; on failure prints the reason and stores the
    // exit status.
    bool connectClient(FpcClient &client, int *exitCode) const;
    bool connectAndSubscribe(FpcClient &client, int *exitCode) const;
    qint64 bufferTotal(FpcClient &client, FpcCtlWait &wait) const;
    bool readConfiguration(FpcClient &client, QMap<QString, QString> *items, int *exitCode) const;
    bool writeOutput(const QString &file, const QByteArray &data, int *exitCode) const;
    static int fail(int exitCode, const QString &reason);
    // The reason on standard error; the exit status of the client's error.
    static int fail(const FpcClientResult &result);
    static int exitCodeOf(const FpcClientResult &result);

    FpcCtlOptions m_options;
    int m_timeoutMs = 0;
};
