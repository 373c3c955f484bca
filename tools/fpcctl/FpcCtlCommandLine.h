#pragma once

#include <QString>
#include <QStringList>

// What one fpcctl invocation asks for: the command, its positional
// arguments and the options, already checked against the command.
struct FpcCtlOptions
{
    QString command;
    QStringList arguments;
    bool help = false;
    bool version = false;
    bool json = false;
    bool yes = false;
    // config set: send a value of the wrong type all the same.
    bool force = false;
    // Milliseconds; -1 when not given (each command has its own default).
    int timeoutMs = -1;
    QString database;
    QString format;
    QString output;
    // watch: stop after this many lines; -1 runs until interrupted.
    int count = -1;
    // Long names of the options given, for the per-command check.
    QStringList given;
};

// The fpcctl command line, in the manner of systemctl and busctl, read by
// QCommandLineParser: the command and its arguments are the positional
// arguments, options may stand before or after them, "--opt=value" and
// "--opt value" are both accepted, "--" ends the options, and a word that
// looks like a negative number is an argument (config set KEY -1).
class FpcCtlCommandLine
{
public:
    // Parses the arguments without the program name. False with a one-line
    // reason on a usage error.
    static bool parse(const QStringList &arguments, FpcCtlOptions *options, QString *error);

    static QStringList commands();
    // General help (every command) and the help of one command; the latter
    // is empty for an unknown command.
    static QString usage();
    static QString help(const QString &command);

private:
    static bool takeValue(const QString &name, const QString &value, FpcCtlOptions *options, QString *error);
    static bool checkCommand(const FpcCtlOptions &options, QString *error);
    static bool parseTimeout(const QString &text, int *milliseconds);
};
