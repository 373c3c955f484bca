#pragma once

#include <QString>

class FpcCommandLine;

// Start-up steps of the daemon that touch the platform, the environment and
// the configuration, kept out of main() so they can be tested one by one.
class FpcStartup
{
public:
    // True only when the system information holds a "/device/rd-mode" value
    // whose first 7 bytes are "enabled".
    static bool readRdModeFlag();

    // Hands the trace file path to the closed radio and gateway libraries
    // through their environment variables when the command line asks for it
    // (an empty path still sets the variable, with an empty value).
    static void exportLibraryTraceVariables(const FpcCommandLine &commandLine, const QString &traceFilePath);

    // Sets the log threshold from the command line's level name, or from the
    // configuration's "loglevel" when the command line gave none; a
    // command-line name replaces the configuration's value.
    static void applyLogLevel(const FpcCommandLine &commandLine);

    // Chooses where measurements, device information and networks come
    // from: the environment variable FPCD_PROVIDER, else the configuration's
    // "platform_provider", else the simulated world on development trees
    // and rd-mode devices and the phone's Linux services otherwise. An
    // unknown name is logged and passed over. Logs the choice; returns it.
    static QString choosePlatformProvider(bool rdMode);
};
