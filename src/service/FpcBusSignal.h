#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

// One subscription to a D-Bus signal of a peer (empty service or path: any).
// Messages whose argument signature is not the expected one are logged and
// refused here, where a typed receiver would drop them silently; the others
// are handed on with received(). A null expected signature accepts any
// arguments (signals whose arguments are not used).
class FpcBusSignal : public QObject
{
    Q_OBJECT

public:
    FpcBusSignal(const QString &service, const QString &path, const QString &interface, const QString &member,
                 const QString &expectedSignature, QObject *parent = nullptr);

    // Subscribes on bus once; later calls keep the first subscription.
    // False when the bus refuses it.
    bool subscribe(QDBusConnection bus);
    bool isSubscribed() const { return m_subscribed; }
    QString member() const { return m_member; }

    // Whether a message with this signature is handed on.
    bool accepts(const QString &signature) const;

signals:
    void received(const QDBusMessage &message);

private slots:
    void onMessage(const QDBusMessage &message);

private:
    QString m_service;
    QString m_path;
    QString m_interface;
    QString m_member;
    QString m_expectedSignature;
    bool m_subscribed = false;
};
