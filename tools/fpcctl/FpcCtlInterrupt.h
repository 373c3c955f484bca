#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal while it exists, so that a
// command waiting in the event loop (watch, upload) ends cleanly and says
// why. The signal handler only writes a byte to a pipe. One at a time.
class FpcCtlInterrupt : public QObject
{
    Q_OBJECT

public:
    FpcCtlInterrupt();
    ~FpcCtlInterrupt() override;

    // The live instance, or null when nothing catches the signals.
    static FpcCtlInterrupt *instance() { return s_instance; }
    bool isPending() const { return m_pending; }

signals:
    void interrupted();

private:
    void onReadable();
    static void handleSignal(int signalNumber);

    static FpcCtlInterrupt *s_instance;
    QSocketNotifier *m_notifier = nullptr;
    bool m_pending = false;
};
