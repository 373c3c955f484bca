#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QStringList>

// Runs the built fpcctl with this process's environment and TZ=UTC; collects exit status and output.
struct CtlResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QJsonDocument json() const { return QJsonDocument::fromJson(out); }
    // For failure messages.
    QByteArray describe() const;
    // Exit status code, no output and one "fpcctl: " error line holding text; otherwise the run is shown.
    bool refused(int code, const QByteArray &text) const;
};

namespace CtlRunner {

// Pipes; environment adds "NAME=value" entries; wrapper is a command fpcctl runs under (e.g. setpriv).
CtlResult run(const QStringList &arguments, const QByteArray &input = {}, const QStringList &environment = {},
              int timeoutMs = 30000, const QStringList &wrapper = {});
// A process environment for fpcctl children (TZ=UTC plus extra entries).
QProcessEnvironment childEnvironment(const QStringList &extra = {});
// On a pseudo terminal; out holds all it showed (input echoed).
CtlResult runOnTerminal(const QStringList &arguments, const QByteArray &input);

} // namespace CtlRunner
