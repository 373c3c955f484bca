#include "ConnectivityDaemonSim.h"

#include <QDBusMessage>

const QString ConnectivityDaemonSim::ObjectPath = QStringLiteral("/com/vexlo/wem2");
const QString ConnectivityDaemonSim::InterfaceName = QStringLiteral("com.vexlo.wem2");
const QString ConnectivityDaemonSim::WlanBearer = QStringLiteral("WLAN_INFRA");

QList<ConnectivityDaemonSim::Step> ConnectivityDaemonSim::foreignScans(int count, int startToStopMs, int betweenScansMs)
{
    QList<Step> steps;
    for (int i = 0; i < count; ++i) {
        steps.append({SearchStarted, i == 0 ? 0 : betweenScansMs});
        steps.append({SearchStopped, startToStopMs});
    }
    return steps;
}

QList<ConnectivityDaemonSim::Step> ConnectivityDaemonSim::stateSequence(const QList<uint> &states, int intervalMs)
{
    QList<Step> steps;
    for (uint state : states)
        steps.append({state, steps.isEmpty() ? 0 : intervalMs});
    return steps;
}

ConnectivityDaemonSim::ConnectivityDaemonSim(const QDBusConnection &bus, QObject *parent) : SimPeer(bus, parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ConnectivityDaemonSim::sendNextStep);
}

QString ConnectivityDaemonSim::sendState(uint state)
{
    QDBusMessage message = QDBusMessage::createSignal(ObjectPath, InterfaceName, QStringLiteral("state_sig"));
    message << m_bearer << state;
    return send(message);
}

void ConnectivityDaemonSim::run(const QList<Step> &steps)
{
    m_steps = steps;
    m_next = 0;
    if (m_steps.isEmpty()) {
        emit finished(0);
        return;
    }
    m_timer.start(m_steps.first().delayMs);
}

void ConnectivityDaemonSim::sendNextStep()
{
    const Step step = m_steps.at(m_next);
    const QString error = sendState(step.state);
    if (!error.isEmpty()) {
        emit sendFailed(error);
        emit finished(m_next);
        return;
    }
    ++m_next;
    emit stateSent(m_bearer, step.state, m_next, int(m_steps.size()));
    if (m_next == m_steps.size())
        emit finished(m_next);
    else
        m_timer.start(m_steps.at(m_next).delayMs);
}
