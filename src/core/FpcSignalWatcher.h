#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop on SIGTERM and SIGINT the way a quit request does, so
// that main() releases the service name and the process exits with 0 when a
// service manager or a terminal stops the daemon. The signal handler only
// writes a byte to a pipe; the quit happens on the main thread's event loop.
// One watcher per process.
class FpcSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit FpcSignalWatcher(QObject *parent = nullptr);
    ~FpcSignalWatcher() override;

    bool isActive() const { return m_notifier != nullptr; }

private:
    void onSignalPending();
    static void handleSignal(int signalNumber);

    QSocketNotifier *m_notifier = nullptr;
};
