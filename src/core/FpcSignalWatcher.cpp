#include "FpcSignalWatcher.h"

#include <QDebug>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

FpcSignalWatcher *FpcSignalWatcher::s_instance = nullptr;

namespace {
int pipeFds[2] = {-1, -1};
const int watchedSignals[] = {SIGTERM, SIGINT};
}

FpcSignalWatcher::FpcSignalWatcher(QObject *parent) : QObject(parent)
{
    if (s_instance)
        return;
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning() << "FpcSignalWatcher::FpcSignalWatcher() cannot create signal pipe:" << qt_error_string(errno);
        return;
    }
    s_instance = this;
    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FpcSignalWatcher::onSignalPending);

    struct sigaction action
    {};
    action.sa_handler = &FpcSignalWatcher::handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : watchedSignals)
        sigaction(signalNumber, &action, nullptr);
}

FpcSignalWatcher::~FpcSignalWatcher()
{
    if (s_instance != this)
        return;
    for (int signalNumber : watchedSignals)
        std::signal(signalNumber, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
    s_instance = nullptr;
}

void FpcSignalWatcher::handleSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    // A full pipe already holds a pending request; the byte may be dropped.
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

void FpcSignalWatcher::onSignalPending()
{
    char bytes[16];
    ssize_t count;
    while ((count = ::read(pipeFds[0], bytes, sizeof bytes)) > 0) {
        m_pending = true;
        for (ssize_t i = 0; i < count; ++i)
            emit caught(int(bytes[i]));
    }
}
