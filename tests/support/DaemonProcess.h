#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class TestBus;

// The vomu-fpcd binary of this build as a child with this process's environment (FPCD_ROOT, bus address)
// plus setEnv() variables; stopped when destroyed, dies with the test process.
class DaemonProcess
{
public:
    static constexpr const char *ServiceName = "com.vexlo.location.fpcd";
    static constexpr const char *ObjectPath = "/com/vexlo/location/fpcd";

    explicit DaemonProcess(const TestBus &bus);
    ~DaemonProcess();
    DaemonProcess(const DaemonProcess &) = delete;
    DaemonProcess &operator=(const DaemonProcess &) = delete;

    // Extra environment for the next start().
    void setEnv(const QString &name, const QString &value);

    // Starts the daemon with arguments (no program name); false when it cannot be executed.
    bool start(const QStringList &arguments = {});
    // start() and wait until the daemon owns its service name; false when it ends first or the time runs out.
    bool startAndWaitRegistered(const QStringList &arguments = {}, int timeoutMs = 15000);

    // Waits for the process to end; false on time-out.
    bool waitForExit(int timeoutMs = 15000);
    // Sends SIGTERM (or another signal) and waits: the exit code, -1 when it crashed or did not end.
    int terminate(int timeoutMs = 15000);
    int sendSignalAndWait(int signalNumber, int timeoutMs = 15000);

    bool isRunning() const;
    qint64 pid() const;
    // Valid after the end: exit code, and whether it exited normally.
    int exitCode() const;
    bool exitedNormally() const;

    // Everything printed so far (read on each call).
    QByteArray standardOutput();

    // Explains the last failure for a test message: state, exit, stderr.
    QString describe();

private:
    void collectOutput();

    const TestBus &m_bus;
    QProcess m_process;
    QProcessEnvironment m_extraEnvironment;
    QByteArray m_stdout;
    QByteArray m_stderr;
};
