#include "CtlRunner.h"

#include "TestSupport.h"

#include <QDebug>
#include <QProcess>
#include <QProcessEnvironment>

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

bool CtlResult::refused(int code, const QByteArray &text) const
{
    const bool ok =
        exitCode == code && out.isEmpty() && err.startsWith("fpcctl: ") && err.count('\n') == 1 && err.contains(text);
    if (!ok)
        qWarning().noquote() << describe();
    return ok;
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

CtlResult CtlRunner::runOnTerminal(const QStringList &arguments, const QByteArray &input)
{
    // util-linux script gives fpcctl a pseudo terminal and passes its exit status on.
    return run(arguments, input, {}, 30000, {"sh", "-c", "exec script -qec \"$*\" /dev/null", "sh"});
}
