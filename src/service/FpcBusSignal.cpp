#include "FpcBusSignal.h"

#include <QDebug>

FpcBusSignal::FpcBusSignal(const QString &service, const QString &path, const QString &interface, const QString &member,
                           const QString &expectedSignature, QObject *parent)
    : QObject(parent), m_service(service), m_path(path), m_interface(interface), m_member(member),
      m_expectedSignature(expectedSignature)
{}

bool FpcBusSignal::subscribe(QDBusConnection bus)
{
    if (m_subscribed)
        return true;
    m_subscribed = bus.connect(m_service, m_path, m_interface, m_member, this, SLOT(onMessage(QDBusMessage)));
    if (!m_subscribed)
        qWarning() << "FpcBusSignal::subscribe() Subscription to" << m_interface << m_member
                   << "failed:" << bus.lastError().message();
    return m_subscribed;
}

bool FpcBusSignal::accepts(const QString &signature) const
{
    return m_expectedSignature.isNull() || signature == m_expectedSignature;
}

void FpcBusSignal::onMessage(const QDBusMessage &message)
{
    if (!accepts(message.signature())) {
        qWarning() << "FpcBusSignal::onMessage() Signal" << m_member << "from" << message.service()
                   << "refused: arguments" << message.signature() << "instead of" << m_expectedSignature;
        return;
    }
    emit received(message);
}
