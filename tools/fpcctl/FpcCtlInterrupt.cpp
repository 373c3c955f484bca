#include "FpcCtlInterrupt.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

FpcCtlInterrupt *FpcCtlInterrupt::s_instance = nullptr;

namespace {
int pipeFds[2] = {-1, -1};
const int caughtSignals[] = {SIGINT, SIGTERM};
}

FpcCtlInterrupt::FpcCtlInterrupt()
{
    if (s_instance || pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    s_instance = this;
    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FpcCtlInterrupt::onReadable);
    struct sigaction action {};
    action.sa_handler = &FpcCtlInterrupt::handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : caughtSignals)
        sigaction(signalNumber, &action, nullptr);
}

FpcCtlInterrupt::~FpcCtlInterrupt()
{
    if (s_instance != this)
        return;
    for (int signalNumber : caughtSignals)
        std::signal(signalNumber, SIG_DFL);
    delete m_notifier;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
    s_instance = nullptr;
}

void FpcCtlInterrupt::handleSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

void FpcCtlInterrupt::onReadable()
{
    char bytes[16];
    while (::read(pipeFds[0], bytes, sizeof bytes) > 0) {
    }
    m_pending = true;
    emit interrupted();
}
