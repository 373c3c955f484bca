#include "FpcAppConnection.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace {

const QString Service = QStringLiteral("com.vexlo.location.fpcd");
const QString Path = QStringLiteral("/com/vexlo/location/fpcd");
const QString Interface = QStringLiteral("com.vexlo.location.fpcd");

QDBusMessage methodCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, Path, Interface, method);
    message.setArguments(arguments);
    // The app only shows a daemon that runs; it never starts one.
    message.setAutoStartService(false);
    return message;
}

} // namespace

FpcAppConnection::FpcAppConnection(QObject *parent)
    : QObject(parent)
    , m_bus(QDBusConnection::systemBus())
    , m_watcher(Service, m_bus, QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration)
{
    connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &FpcAppConnection::onRegistered);
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &FpcAppConnection::onUnregistered);
}

void FpcAppConnection::start()
{
    if (!m_bus.isConnected()) {
        setState(Broken, tr("The system bus cannot be reached (%1). Without it the app cannot see the collector.")
                             .arg(m_bus.lastError().message()));
        return;
    }
    m_bus.connect(Service, Path, Interface, QStringLiteral("fpStatus"), this, SLOT(onStatusSignal(QDBusMessage)));
    m_bus.connect(Service, Path, Interface, QStringLiteral("uploadFinished"), this,
                  SLOT(onUploadSignal(QDBusMessage)));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.interface()->asyncCall(QStringLiteral("NameHasOwner"), Service),
                                                this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool())
            onRegistered();
        else
            onUnregistered();
    });
}

void FpcAppConnection::call(const QString &method, const QVariantList &arguments, const Handler &handler)
{
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(methodCall(method, arguments), m_timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method, handler](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        Reply result;
        if (reply.type() == QDBusMessage::ReplyMessage) {
            result.ok = true;
            result.values = reply.arguments();
        } else {
            result.error = describeFailure(reply, method);
        }
        if (handler)
            handler(result);
    });
}

void FpcAppConnection::send(const QString &method, const QVariantList &arguments)
{
    m_bus.send(methodCall(method, arguments));
}

void FpcAppConnection::report(State state, const QString &message)
{
    setState(state, message);
}

QString FpcAppConnection::describeFailure(const QDBusMessage &reply, const QString &method)
{
    const QDBusError error(reply);
    switch (error.type()) {
    case QDBusError::AccessDenied:
        setState(AccessDenied, tr("The collector refuses changes from this user. Ask the phone's owner to add you to "
                                  "the vomu-fpcd group, then log in again."));
        return tr("Refused: %1").arg(error.message());
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
        onUnregistered();
        return m_message;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return tr("The collector did not answer %1 within %2 s; it may be busy. Try again.")
            .arg(method)
            .arg(m_timeoutMs / 1000);
    default:
        return tr("%1 failed: %2").arg(method, error.message());
    }
}

void FpcAppConnection::onRegistered()
{
    setState(Ready, QString());
    // Asking for statistics also subscribes this bus client to the status reports.
    call(QStringLiteral("sendStatistics"), {}, {});
    emit daemonAppeared();
}

void FpcAppConnection::onUnregistered()
{
    setState(NotRunning, tr("The collector (vomu-fpcd) is not running. Start it with "
                            "\"systemctl start vomu-fpcd\"; this page follows it as soon as it is up."));
}

void FpcAppConnection::setState(State state, const QString &message)
{
    if (state == m_state && message == m_message)
        return;
    m_state = state;
    m_message = message;
    emit stateChanged();
}

void FpcAppConnection::onStatusSignal(const QDBusMessage &message)
{
    if (m_state != Ready && m_state != AccessDenied)
        setState(Ready, QString());
    emit statusReceived(message.arguments());
}

void FpcAppConnection::onUploadSignal(const QDBusMessage &message)
{
    const QVariantList args = message.arguments();
    if (message.signature() != QLatin1String("bus"))
        return;
    emit uploadFinished(args.at(0).toBool(), args.at(1).toUInt(), args.at(2).toString());
}
