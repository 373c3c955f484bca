#pragma once

#include <QObject>

#include <functional>

class FpcClient;

// fpcctl's waits on the daemon's signals: serves the event loop until a
// condition holds (checked after each signal of the client), the time
// passes, the daemon leaves the bus or SIGINT/SIGTERM arrives. Created
// after FpcClient::subscribe(), so that the daemon's leaving is seen.
class FpcCtlWait : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Done, TimedOut, DaemonGone, Interrupted };

    explicit FpcCtlWait(FpcClient &client);

    // tick, when given, runs every 100 ms (progress).
    Outcome until(const std::function<bool()> &done, int timeoutMs,
                  const std::function<void(int elapsedMs)> &tick = {});

private:
    FpcClient &m_client;
    bool m_gone = false;
};
