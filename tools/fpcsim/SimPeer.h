#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

// Common ground of the simulated peer daemons: the bus connection they
// speak on, sending with a readable error, optional ownership of a
// well-known name, and a flush for one-shot senders that exit right after.
class SimPeer : public QObject
{
    Q_OBJECT

public:
    explicit SimPeer(const QDBusConnection &bus, QObject *parent = nullptr);
    // Releases the names this peer claimed.
    ~SimPeer() override;

    QDBusConnection bus() const { return m_bus; }

    // Claims the name without queueing; fails when another peer owns it.
    // The name is held until this object is destroyed.
    bool claimName(const QString &name, QString *error);

    // Empty when the message went out, otherwise why it did not.
    QString send(const QDBusMessage &message);

    // Returns once the bus has routed every message sent so far, so a
    // process may exit without losing its last signal.
    void flush();

private:
    QDBusConnection m_bus;
    QStringList m_claimedNames;
};
