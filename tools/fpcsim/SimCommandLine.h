#pragma once

#include <QStringList>

// The fpcsim command line: one command per simulated peer daemon. Runs the
// command named by arguments[1] on the system bus (DBUS_SYSTEM_BUS_ADDRESS),
// with an event loop where it takes time, and returns the exit status.
// Needs a QCoreApplication.
class SimCommandLine
{
public:
    enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

    static int run(const QStringList &arguments);

private:
    static int runPositioning(const QStringList &arguments);
    static int runFix(const QStringList &arguments);
    static int runConnectivity(const QStringList &arguments);
    static int runShutdown(const QStringList &arguments);
};
