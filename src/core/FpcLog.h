#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>

// The daemon's one trace sink: a process-wide message handler that filters
// Qt messages by a numeric threshold and appends time-stamped lines to the
// current trace file, plus the numbered ("LTT") trace file rule. While no
// trace file is open every message is dropped.
//
// The service object exposes setLogFile and restartLogging under its own
// name by delegating here, which is why their log lines carry
// "FpcEventHandler::".
class FpcLog
{
public:
    enum Level { Debug = 1, Info = 2, Warning = 3, Error = 4, Critical = 5, Fatal = 6 };

    // Installs messageHandler() as Qt's message handler.
    static void install();
    static void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    // Whether a plain debug line passes the threshold and would reach a
    // trace file now. While the trace sink is not installed only the
    // threshold counts, so that any other handler (a test's capture) still
    // sees the lines.
    static bool writesDebug() { return writes(Debug); }
    // The same for a line of the given level.
    static bool writes(int level);

    // Lowest level written; Fatal lines are written whatever it is.
    static int threshold();
    static void setThreshold(int level);
    // The level of "DEBUG", "INFO", "WARN", "ERROR", "CRITICAL" or "FATAL"
    // (exact case), 0 for any other name.
    static int levelFromName(const QString &name);

    // Developer tracing is allowed only on devices in rd-mode.
    static bool rdMode();
    static void setRdMode(bool enabled);

    // Closes the current trace file and opens path (appending, unbuffered)
    // as the new one; an empty path only closes.
    static void setLogFile(const QString &path);
    static QString logFileName();
    static bool hasLogFile();

    // Start-up trace file chosen on the command line: truncates path, falls
    // back to the default trace file when path cannot be opened, and makes
    // the result the trace file when it is writable. The default trace file
    // is never opened through a link. Returns the path finally
    // chosen (the default one after a fall-back), writable or not.
    static QString openStartupTraceFile(const QString &path);

    // Numbered trace files: derives the next trace file name from the seed in
    // the trace-path file and switches to it (only in rd-mode).
    static void restartLogging();

private:
    static QString nextNumberedTraceFile(const QString &seed, bool *alreadyOngoing);
    static QString numberedIndexText(const QString &entry, const QString &namePart);
    static void closeLogFile();
    static void useLogFile(FILE *file, const QString &path);
    // Makes the open descriptor fd, which belongs to path, the trace file
    // (taking it over; closed on failure).
    static bool adoptLogFile(int fd, const QString &path);
};

// qDebug() that skips building the line when writesDebug() is false; for
// plain debug lines on paths that run for every stored fingerprint.
#define FPC_TRACE FPC_TRACE_AT(FpcLog::Debug)
// The same for a debug line tagged "[INFO]" or "[ERROR]" (level Info, Error).
#define FPC_TRACE_AT(level)                                                                                            \
    for (bool fpcTraceOnce = FpcLog::writes(level); fpcTraceOnce; fpcTraceOnce = false)                                \
    qDebug()
