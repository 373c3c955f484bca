#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class TestBus;

// The real vomu-fpcd binary of this build, started as a child of the test.
// It inherits this process's environment at start() (so FPCD_ROOT of a
// TempRoot and DBUS_SYSTEM_BUS_ADDRESS of a TestBus reach it) plus the
// variables set with setEnv(). Standard output and error are collected.
// A daemon still running when the object is destroyed is stopped; it also
// dies with the test process.
class DaemonProcess
{
public:
    static constexpr const char *ServiceName = "com.vexlo.location.fpcd";
    static constexpr const char *ObjectPath = "/com/vexlo/location/fpcd";

    explicit DaemonProcess(const TestBus &bus);
    ~DaemonProcess();
    DaemonProcess(const DaemonProcess &) = delete;
    DaemonProcess &operator=(const DaemonProcess &) = delete;

    static QString binaryPath();

    // Extra environment for the next start(); unsetEnv removes an inherited one.
    void setEnv(const QString &name, const QString &value);
    void unsetEnv(const QString &name);

    // Starts the daemon with arguments (no program name); false when it
    // cannot be executed.
    bool start(const QStringList &arguments = {});
    // start() and wait until the daemon owns its service name.
    bool startAndWaitRegistered(const QStringList &arguments = {}, int timeoutMs = 15000);
    // True once the service name is on the bus; false when the daemon ends
    // first or the time runs out.
    bool waitRegistered(int timeoutMs = 15000);

    // Waits for the process to end; false on time-out.
    bool waitForExit(int timeoutMs = 15000);
    // Sends SIGTERM (or another signal) and waits for the end; returns the
    // exit code, or -1 when it crashed or did not end in time.
    int terminate(int timeoutMs = 15000);
    int sendSignalAndWait(int signalNumber, int timeoutMs = 15000);

    bool isRunning() const;
    qint64 pid() const;
    // Valid after the end: exit code, and whether it exited normally.
    int exitCode() const;
    bool exitedNormally() const;

    // Everything printed so far (read on each call).
    QByteArray standardOutput();
    QByteArray standardError();
    bool waitForOutput(const QByteArray &needle, int timeoutMs = 10000);

    // Contents of a trace (or any) file, empty when there is none.
    static QByteArray readTrace(const QString &path);

    // Explains the last failure for a test message: state, exit, stderr.
    QString describe();

private:
    void collectOutput();

    const TestBus &m_bus;
    QProcess m_process;
    QProcessEnvironment m_extraEnvironment;
    QStringList m_removedVariables;
    QByteArray m_stdout;
    QByteArray m_stderr;
};
