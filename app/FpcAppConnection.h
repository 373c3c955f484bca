#pragma once

#include "FpcClient.h"
#include "FpcClientResult.h"

#include <QObject>
#include <QString>

// The app's one link to the daemon: the control clients' library (every call
// asynchronous, so the window never waits on the daemon) plus what the pages
// show about the link itself: whether the daemon runs, refuses this user or
// could not be reached, and what to do about it.
class FpcAppConnection : public QObject
{
    Q_OBJECT
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString message READ message NOTIFY stateChanged)

public:
    enum State { Connecting, Ready, NotRunning, AccessDenied, Broken };
    Q_ENUM(State)

    explicit FpcAppConnection(QObject *parent = nullptr);

    State state() const { return m_state; }
    QString message() const { return m_message; }
    FpcClient &client() { return m_client; }

    // Looks for the daemon now; later arrivals and departures follow by themselves.
    void start();
    // Takes what a failed request says about the link (not running, refused).
    void note(const FpcClientResult &result);

Q_SIGNALS:
    void stateChanged();
    // The daemon is on the bus (again): everything shown is to be fetched anew.
    void daemonAppeared();

private:
    void onRunningChanged(bool running);
    void setState(State state, const QString &message);

    FpcClient m_client;
    State m_state = Connecting;
    QString m_message;
};
