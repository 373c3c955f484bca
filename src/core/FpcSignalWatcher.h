#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into the Qt signal caught() on the main thread's
// event loop while it exists: the daemon ends its event loop the way a quit
// request does, fpcctl ends a command that waits (watch, upload) and says
// why. The signal handler only writes a byte to a pipe. One watcher at a
// time: a second one made while the first lives catches nothing.
class FpcSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit FpcSignalWatcher(QObject *parent = nullptr);
    ~FpcSignalWatcher() override;

    // The live watcher, or null when nothing catches the signals.
    static FpcSignalWatcher *instance() { return s_instance; }
    bool isActive() const { return m_notifier != nullptr; }
    // Whether a signal has been caught since the watcher was made.
    bool isPending() const { return m_pending; }

signals:
    void caught(int signalNumber);

private:
    void onSignalPending();
    static void handleSignal(int signalNumber);

    static FpcSignalWatcher *s_instance;
    QSocketNotifier *m_notifier = nullptr;
    bool m_pending = false;
};
