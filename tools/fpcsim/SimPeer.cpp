#include "SimPeer.h"

#include <QDBusConnectionInterface>

SimPeer::SimPeer(const QDBusConnection &bus, QObject *parent) : QObject(parent), m_bus(bus) {}

SimPeer::~SimPeer()
{
    if (!m_bus.isConnected())
        return;
    for (const QString &name : std::as_const(m_claimedNames))
        m_bus.interface()->unregisterService(name);
}

bool SimPeer::claimName(const QString &name, QString *error)
{
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("not connected to the bus: %1").arg(m_bus.lastError().message());
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        *error = QStringLiteral("cannot claim %1: %2").arg(name, reply.error().message());
        return false;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error = QStringLiteral("cannot claim %1: another peer owns it").arg(name);
        return false;
    }
    m_claimedNames << name;
    return true;
}

QString SimPeer::send(const QDBusMessage &message)
{
    if (!m_bus.isConnected())
        return QStringLiteral("not connected to the bus: %1").arg(m_bus.lastError().message());
    if (!m_bus.send(message))
        return QStringLiteral("sending %1 failed: %2").arg(message.member(), m_bus.lastError().message());
    return {};
}

void SimPeer::flush()
{
    // The bus handles a connection's messages in order, so one round trip
    // after the last signal means that signal has been routed.
    if (m_bus.isConnected())
        m_bus.interface()->serviceOwner(m_bus.baseService());
}
