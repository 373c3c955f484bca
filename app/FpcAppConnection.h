#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <functional>

// The app's link to the daemon on the system bus: every call is
// asynchronous with a time-out, so the window never waits on the daemon.
// It follows the daemon coming and going on the bus, subscribes to its status
// and upload signals, and turns each failure into a message a person can
// act on.
class FpcAppConnection : public QObject
{
    Q_OBJECT
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString message READ message NOTIFY stateChanged)

public:
    enum State { Connecting, Ready, NotRunning, AccessDenied, Broken };
    Q_ENUM(State)

    static constexpr int DefaultTimeoutMs = 10000;

    struct Reply
    {
        bool ok = false;
        QVariantList values;
        QString error;
    };
    using Handler = std::function<void(const Reply &)>;

    explicit FpcAppConnection(QObject *parent = nullptr);

    State state() const { return m_state; }
    QString message() const { return m_message; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Looks for the daemon now; later arrivals are followed by themselves.
    void start();
    // An asynchronous call; handler runs on the main thread with the reply
    // or a readable error. A refusal or a lost daemon also updates state().
    void call(const QString &method, const QVariantList &arguments, const Handler &handler);
    // A method the daemon answers without a reply.
    void send(const QString &method, const QVariantList &arguments);
    // Sets the state from outside, e.g. when a change did not arrive.
    void report(State state, const QString &message);

Q_SIGNALS:
    void stateChanged();
    // The daemon is on the bus (again): everything shown is to be fetched anew.
    void daemonAppeared();
    void statusReceived(const QVariantList &arguments);
    void uploadFinished(bool ok, uint count, const QString &reason);

private Q_SLOTS:
    void onStatusSignal(const QDBusMessage &message);
    void onUploadSignal(const QDBusMessage &message);

private:
    void onRegistered();
    void onUnregistered();
    void setState(State state, const QString &message);
    QString describeFailure(const QDBusMessage &reply, const QString &method);

    QDBusConnection m_bus;
    QDBusServiceWatcher m_watcher;
    State m_state = Connecting;
    QString m_message;
    int m_timeoutMs = DefaultTimeoutMs;
};
