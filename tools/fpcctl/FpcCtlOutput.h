#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// Everything fpcctl writes to the terminal: results on standard output,
// one-line reasons and progress on standard error, JSON for scripts, and the
// human forms of sizes, times and ages.
class FpcCtlOutput
{
public:
    // Standard output, flushed at once (watch is read through pipes).
    static void print(const QString &text);
    static void printLine(const QString &line) { print(line + QLatin1Char('\n')); }
    // "fpcctl: <reason>" on standard error.
    static void printError(const QString &reason);
    // Standard error without prefix (questions, notes).
    static void printNote(const QString &text);
    // Indented on a terminal, one compact line otherwise.
    static void printJson(const QJsonObject &object);
    // Always one compact line (JSON Lines for watch).
    static void printJsonLine(const QJsonObject &object);

    // One progress line on standard error, rewritten in place; only shown
    // when standard error is a terminal.
    static void progress(const QString &text);
    static void clearProgress();

    static bool stdinIsTerminal();
    static bool stdoutIsTerminal();
    static bool stderrIsTerminal();

    // "512 B", "80.0 KiB", "1.5 MiB".
    static QString bytes(qint64 count);
    // Local time in the manner of systemctl: "Wed 2024-05-01 14:00:03 CEST".
    static QString dateTime(const QDateTime &time);
    // "3min 2s ago", "1 day 4h ago", "just now", "in 5s".
    static QString relative(const QDateTime &time, const QDateTime &now);
    // ISO 8601 in UTC with milliseconds: "2024-05-01T12:00:03.250Z".
    static QString isoUtc(const QDateTime &time);

    // Library debug output (the daemon's shared classes log freely) is kept
    // off the terminal unless FPCCTL_DEBUG is set; warnings still show.
    static void installMessageFilter();

private:
    static bool s_progressShown;
};
