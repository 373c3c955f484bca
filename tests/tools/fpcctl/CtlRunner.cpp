#include "CtlRunner.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <csignal>
#include <unistd.h>

namespace {

void drain(int fd, QByteArray *into)
{
    char buffer[4096];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0)
        into->append(buffer, count);
}

} // namespace

QProcessEnvironment CtlRunner::childEnvironment(const QStringList &extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    env.remove(QStringLiteral("FPCCTL_DEBUG"));
    for (const QString &entry : extra)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    return env;
}

QByteArray CtlResult::describe() const
{
    return "exit " + QByteArray::number(exitCode) + "\nstdout:\n" + out + "\nstderr:\n" + err;
}

CtlResult CtlRunner::run(const QStringList &arguments, const QByteArray &input, const QStringList &environment,
                         int timeoutMs, const QStringList &wrapper)
{
    QProcess process;
    process.setProcessEnvironment(childEnvironment(environment));
    TestSupport::dieWithParent(process);
    const QStringList command = wrapper + QStringList{QStringLiteral(FPCCTL_BINARY)} + arguments;
    process.start(command.first(), command.mid(1));
    CtlResult result;
    if (!process.waitForStarted(10000))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        TestSupport::stopProcess(process, 2000);
        result.err = process.readAllStandardError() + "\n(killed after time-out)";
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

CtlResult CtlRunner::runOnTerminal(const QStringList &arguments, const QByteArray &input, int timeoutMs)
{
    CtlResult result;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        result.err = "no pseudo terminal";
        return result;
    }
    const QByteArray slaveName = ptsname(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.setChildProcessModifier([name = slaveName.constData()] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        setsid();
        const int slave = ::open(name, O_RDWR);
        if (slave < 0)
            _exit(127);
        ioctl(slave, TIOCSCTTY, 0);
        dup2(slave, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        if (slave > 2)
            ::close(slave);
    });
    process.start(QStringLiteral(FPCCTL_BINARY), arguments);
    if (!process.waitForStarted(10000)) {
        ::close(master);
        return result;
    }
    if (!input.isEmpty()) [[maybe_unused]]
        const ssize_t written = ::write(master, input.constData(), size_t(input.size()));
    QElapsedTimer elapsed;
    elapsed.start();
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(20) && elapsed.elapsed() < timeoutMs)
        drain(master, &result.out);
    if (process.state() != QProcess::NotRunning) {
        TestSupport::stopProcess(process, 2000);
        result.err = "killed after time-out";
    } else {
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    drain(master, &result.out);
    ::close(master);
    return result;
}
