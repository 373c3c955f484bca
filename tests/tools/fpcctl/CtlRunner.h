#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QStringList>

// Runs the built fpcctl binary as a child of the test with this process's
// environment (private bus, path root) and TZ=UTC, and collects its exit
// status and output.
struct CtlResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QJsonDocument json() const { return QJsonDocument::fromJson(out); }
    // For failure messages.
    QByteArray describe() const;
    // Exit status code, nothing on standard output and one "fpcctl: " line
    // holding text; otherwise the run is shown.
    bool refused(int code, const QByteArray &text) const;
};

namespace CtlRunner {

// Standard input, output and error are pipes; input is written and closed.
// environment: extra "NAME=value" entries for this run; wrapper: a command
// fpcctl runs under (e.g. setpriv for another user).
CtlResult run(const QStringList &arguments, const QByteArray &input = {}, const QStringList &environment = {},
              int timeoutMs = 30000, const QStringList &wrapper = {});
// A process environment for fpcctl children (TZ=UTC plus extra entries).
QProcessEnvironment childEnvironment(const QStringList &extra = {});
// Standard input, output and error are one pseudo terminal; out holds all
// the terminal showed (input echoed).
CtlResult runOnTerminal(const QStringList &arguments, const QByteArray &input);

} // namespace CtlRunner
