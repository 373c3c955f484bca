#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QProcess;

// Small helpers shared by the harness classes and the tests.
namespace TestSupport {

// Polls condition while serving the event loop until it holds (true) or timeoutMs has passed (false).
bool waitFor(const std::function<bool()> &condition, int timeoutMs);

// The whole file, or an empty array when it cannot be read.
QByteArray readFile(const QString &path);

// Permission bits of path itself (a link is not followed), -1 when missing.
int fileMode(const QString &path);

// The process started next gets SIGKILL when the test process dies: a crashed test leaves nothing running.
void dieWithParent(QProcess &process);

// SIGTERM, then SIGKILL when it has not ended within timeoutMs.
void stopProcess(QProcess &process, int timeoutMs);

} // namespace TestSupport
