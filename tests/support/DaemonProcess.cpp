#include "DaemonProcess.h"

#include "TestBus.h"
#include "TestSupport.h"

#include <csignal>
#include <sys/types.h>

DaemonProcess::DaemonProcess(const TestBus &bus) : m_bus(bus)
{
    TestSupport::dieWithParent(m_process);
    m_process.setProgram(QStringLiteral(FPCD_DAEMON_PATH));
}

DaemonProcess::~DaemonProcess()
{
    TestSupport::stopProcess(m_process, 10000);
}

void DaemonProcess::setEnv(const QString &name, const QString &value)
{
    m_extraEnvironment.insert(name, value);
}

bool DaemonProcess::start(const QStringList &arguments)
{
    TestSupport::stopProcess(m_process, 10000);
    m_stdout.clear();
    m_stderr.clear();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(m_extraEnvironment);
    m_process.setProcessEnvironment(environment);
    m_process.setArguments(arguments);
    m_process.start();
    return m_process.waitForStarted(10000);
}

bool DaemonProcess::startAndWaitRegistered(const QStringList &arguments, int timeoutMs)
{
    const QString name = QLatin1String(ServiceName);
    if (!start(arguments))
        return false;
    TestSupport::waitFor([&] { return !isRunning() || m_bus.isNameRegistered(name); }, timeoutMs);
    return isRunning() && m_bus.isNameRegistered(name);
}

bool DaemonProcess::waitForExit(int timeoutMs)
{
    return TestSupport::waitFor([&] { return !isRunning(); }, timeoutMs);
}

int DaemonProcess::terminate(int timeoutMs)
{
    return sendSignalAndWait(SIGTERM, timeoutMs);
}

int DaemonProcess::sendSignalAndWait(int signalNumber, int timeoutMs)
{
    if (isRunning())
        ::kill(pid_t(m_process.processId()), signalNumber);
    return waitForExit(timeoutMs) && exitedNormally() ? exitCode() : -1;
}

bool DaemonProcess::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

qint64 DaemonProcess::pid() const
{
    return m_process.processId();
}

int DaemonProcess::exitCode() const
{
    return m_process.exitCode();
}

bool DaemonProcess::exitedNormally() const
{
    return !isRunning() && m_process.exitStatus() == QProcess::NormalExit;
}

void DaemonProcess::collectOutput()
{
    m_stdout += m_process.readAllStandardOutput();
    m_stderr += m_process.readAllStandardError();
}

QByteArray DaemonProcess::standardOutput()
{
    collectOutput();
    return m_stdout;
}

QString DaemonProcess::describe()
{
    collectOutput();
    QString text = isRunning() ? QStringLiteral("daemon running")
                               : QStringLiteral("daemon ended, %1, exit code %2")
                                     .arg(m_process.exitStatus() == QProcess::NormalExit ? QStringLiteral("normal exit")
                                                                                         : QStringLiteral("crashed"))
                                     .arg(m_process.exitCode());
    if (!m_stderr.isEmpty())
        text += QStringLiteral("; stderr: ") + QString::fromLocal8Bit(m_stderr.right(2000));
    return text;
}
