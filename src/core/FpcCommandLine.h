#pragma once

#include <QStringList>

// The start-up reading of the daemon's command line. Options are exact,
// case-sensitive whole arguments; unknown ones are ignored.
//   --sbox                      development-host run: trace to /dev/stdout
//   --tracefile [path]          trace file (rd-mode only; default trace file
//                               when it is the last argument)
//   --loglevel <name>           log threshold name
//   --enable-rmlogging          export the trace path to the radio library
//   --enable-slpgwapilogging    export the trace path to the gateway library
// The arguments the service object reads itself (--gps, --gps-count) are
// ignored here.
class FpcCommandLine
{
public:
    // arguments holds the program name at index 0, like
    // QCoreApplication::arguments().
    FpcCommandLine(const QStringList &arguments, bool rdMode);

    // The argument list as walked: "--sbox" appends "--tracefile" and
    // "/dev/stdout" to it.
    QStringList arguments() const { return m_arguments; }
    bool sbox() const { return m_sbox; }
    // One trace file path for every honoured "--tracefile", in order.
    QStringList traceFileRequests() const { return m_traceFileRequests; }
    bool hasLogLevel() const { return m_hasLogLevel; }
    QString logLevelName() const { return m_logLevelName; }
    // Only true in rd-mode.
    bool radioLibraryLogging() const { return m_radioLibraryLogging; }
    bool gatewayLibraryLogging() const { return m_gatewayLibraryLogging; }

private:
    QStringList m_arguments;
    QStringList m_traceFileRequests;
    QString m_logLevelName;
    bool m_sbox = false;
    bool m_hasLogLevel = false;
    bool m_radioLibraryLogging = false;
    bool m_gatewayLibraryLogging = false;
};
