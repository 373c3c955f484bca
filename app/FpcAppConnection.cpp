#include "FpcAppConnection.h"

FpcAppConnection::FpcAppConnection(QObject *parent) : QObject(parent)
{
    connect(&m_client, &FpcClient::daemonRunningChanged, this, &FpcAppConnection::onRunningChanged);
    // A status report proves the daemon answers, whatever went before.
    connect(&m_client, &FpcClient::statusReceived, this, [this] {
        if (m_state != AccessDenied)
            setState(Ready, QString());
    });
}

void FpcAppConnection::start()
{
    QString error;
    if (!m_client.subscribe(&error)) {
        setState(Broken,
                 tr("The system bus cannot be reached (%1). Without it the app cannot see the collector.").arg(error));
        return;
    }
    onRunningChanged(m_client.checkDaemon().ok());
}

void FpcAppConnection::note(const FpcClientResult &result)
{
    if (result.error == FpcClientResult::NotRunning)
        onRunningChanged(false);
    else if (result.error == FpcClientResult::AccessDenied)
        setState(AccessDenied, tr("The collector refuses changes from this user: only root and members of the "
                                  "vomu-fpcd group may make them. Ask the phone's owner to add you to that group, "
                                  "then log in again."));
}

void FpcAppConnection::onRunningChanged(bool running)
{
    if (!running) {
        setState(NotRunning, tr("The collector (vomu-fpcd) is not running. Start it with \"systemctl start "
                                "vomu-fpcd\"; the app follows it as soon as it is up."));
        return;
    }
    setState(Ready, QString());
    emit daemonAppeared();
}

void FpcAppConnection::setState(State state, const QString &message)
{
    if (state == m_state && message == m_message)
        return;
    m_state = state;
    m_message = message;
    emit stateChanged();
}
