#include "FpcCtlClient.h"

#include "FpcCtlExitCode.h"
#include "FpcSignalWatcher.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QDebug>

#include <optional>

namespace {

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

QString notRunning()
{
    return QStringLiteral("vomu-fpcd is not running (no owner of %1 on the system bus)")
        .arg(text(FpcCtlClient::Service));
}

} // namespace

FpcCtlClient::FpcCtlClient(int timeoutMs, QObject *parent)
    : QObject(parent), m_bus(QDBusConnection::systemBus()), m_timeoutMs(timeoutMs)
{
}

FpcCtlClient::Result FpcCtlClient::connectToDaemon()
{
    if (!m_bus.isConnected()) {
        const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
        QString reason = QStringLiteral("vomu-fpcd is not reachable: cannot connect to the system bus");
        if (!address.isEmpty())
            reason += QStringLiteral(" at %1").arg(address);
        const QString detail = m_bus.lastError().message();
        if (!detail.isEmpty())
            reason += QStringLiteral(" (%1)").arg(detail);
        return {FpcCtlExitCode::NotRunning, reason, {}};
    }
    if (!isDaemonRegistered())
        return {FpcCtlExitCode::NotRunning, notRunning(), {}};
    return {};
}

bool FpcCtlClient::isDaemonRegistered()
{
    const QDBusReply<bool> reply = m_bus.interface()->isServiceRegistered(text(Service));
    return reply.isValid() && reply.value();
}

uint FpcCtlClient::daemonPid()
{
    const QDBusReply<uint> reply = m_bus.interface()->servicePid(text(Service));
    return reply.isValid() ? reply.value() : 0;
}

bool FpcCtlClient::subscribe(QString *error)
{
    const QString service = text(Service);
    const bool ok = m_bus.connect(service, text(Path), text(Interface), QStringLiteral("fpStatus"), this,
                                  SLOT(onFpStatus(QDBusMessage)))
                    && m_bus.connect(service, text(Path), text(Interface), QStringLiteral("activeCollectionStatus"),
                                     this, SLOT(onActiveCollectionStatus(QDBusMessage)))
                    && m_bus.connect(service, text(Path), text(Interface), QStringLiteral("uploadFinished"),
                                     this, SLOT(onUploadFinished(QDBusMessage)));
    if (!ok) {
        *error = QStringLiteral("cannot subscribe to the daemon's signals: ") + m_bus.lastError().message();
        return false;
    }
    auto *watcher = new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &FpcCtlClient::onServiceUnregistered);
    return true;
}

QDBusMessage FpcCtlClient::methodCall(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(text(Service), text(Path), text(Interface), method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return message;
}

FpcCtlClient::Result FpcCtlClient::failure(const QDBusMessage &reply, const QString &method)
{
    const QDBusError error(reply);
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
        return {FpcCtlExitCode::NotRunning, notRunning(), {}};
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        if (!isDaemonRegistered())
            return {FpcCtlExitCode::NotRunning, QStringLiteral("vomu-fpcd stopped before answering %1").arg(method), {}};
        return {FpcCtlExitCode::Timeout,
                QStringLiteral("vomu-fpcd did not answer %1 within %2 s").arg(method).arg(m_timeoutMs / 1000.0), {}};
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownObject:
        return {FpcCtlExitCode::Failed,
                QStringLiteral("vomu-fpcd does not offer %1: %2").arg(method, error.message()), {}};
    default:
        return {FpcCtlExitCode::Failed, QStringLiteral("%1 failed: %2").arg(method, error.message()), {}};
    }
}

FpcCtlClient::Result FpcCtlClient::call(const QString &method, const QVariantList &arguments)
{
    QDBusPendingCallWatcher watcher(m_bus.asyncCall(methodCall(method, arguments), m_timeoutMs));
    QEventLoop loop;
    connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    // The bus enforces the time-out; the local timer only guards against a
    // reply that never comes back through a broken connection.
    QTimer::singleShot(m_timeoutMs + 5000, &loop, &QEventLoop::quit);
    if (!watcher.isFinished())
        loop.exec();
    if (!watcher.isFinished()) {
        return {FpcCtlExitCode::Timeout,
                QStringLiteral("vomu-fpcd did not answer %1 within %2 s").arg(method).arg(m_timeoutMs / 1000.0), {}};
    }
    const QDBusMessage reply = watcher.reply();
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(reply, method);
    return {FpcCtlExitCode::Success, QString(), reply.arguments()};
}

FpcCtlClient::Result FpcCtlClient::send(const QString &method, const QVariantList &arguments, bool confirm)
{
    if (!m_bus.send(methodCall(method, arguments)))
        return {FpcCtlExitCode::Failed, QStringLiteral("cannot send %1: %2").arg(method, m_bus.lastError().message()), {}};
    if (!confirm)
        return {};
    // The daemon handles the methods of its interface in order on its one
    // loop, so the answer to a read-only call sent after the request means the
    // request has been handled - and this client was still connected while
    // the daemon asked the bus who sent it. (A Peer.Ping is answered by the
    // bus library apart from that order.)
    QDBusPendingCallWatcher watcher(m_bus.asyncCall(methodCall(QStringLiteral("configurations"), {}), m_timeoutMs));
    QEventLoop loop;
    connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(m_timeoutMs + 5000, &loop, &QEventLoop::quit);
    if (!watcher.isFinished())
        loop.exec();
    if (!watcher.isFinished())
        return {FpcCtlExitCode::Timeout, QStringLiteral("vomu-fpcd did not confirm %1 in time").arg(method), {}};
    const QDBusMessage reply = watcher.reply();
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(reply, method);
    return {};
}

FpcCtlClient::Wait FpcCtlClient::waitUntil(const std::function<bool()> &done, int timeoutMs,
                                           const std::function<void(int)> &tick)
{
    FpcSignalWatcher *interrupt = FpcSignalWatcher::instance();
    auto outcome = [&]() -> std::optional<Wait> {
        if (done())
            return Wait::Done;
        if (interrupt && interrupt->isPending())
            return Wait::Interrupted;
        if (m_gone)
            return Wait::DaemonGone;
        return std::nullopt;
    };
    if (const auto early = outcome())
        return *early;

    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    auto check = [&] {
        if (outcome())
            loop.quit();
    };
    connect(this, &FpcCtlClient::statusReceived, &loop, check);
    connect(this, &FpcCtlClient::activeGpsReceived, &loop, check);
    connect(this, &FpcCtlClient::uploadOutcomeReceived, &loop, check);
    connect(this, &FpcCtlClient::daemonGone, &loop, check);
    if (interrupt)
        connect(interrupt, &FpcSignalWatcher::caught, &loop, check);
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    QTimer ticker;
    if (tick) {
        connect(&ticker, &QTimer::timeout, &loop, [&] { tick(int(elapsed.elapsed())); });
        ticker.start(100);
        tick(0);
    }
    loop.exec();
    return outcome().value_or(Wait::TimedOut);
}

void FpcCtlClient::onFpStatus(const QDBusMessage &message)
{
    FpcCtlStatus status;
    QString error;
    if (!FpcCtlStatus::fromArguments(message.arguments(), &status, &error)) {
        qWarning().noquote() << "ignoring a malformed status report:" << error;
        return;
    }
    m_status = status;
    m_hasStatus = true;
    ++m_statusCount;
    emit statusReceived(m_status);
}

void FpcCtlClient::onActiveCollectionStatus(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    if (arguments.size() != 1 || arguments.first().metaType().id() != QMetaType::Bool) {
        qWarning().noquote() << "ignoring a malformed activeCollectionStatus signal";
        return;
    }
    m_activeGps = arguments.first().toBool();
    m_hasActiveGps = true;
    ++m_activeGpsCount;
    emit activeGpsReceived(m_activeGps);
}

void FpcCtlClient::onUploadFinished(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("bus")) {
        qWarning().noquote() << "ignoring a malformed uploadFinished signal";
        return;
    }
    const QVariantList arguments = message.arguments();
    m_uploadOutcome = UploadOutcome{arguments.at(0).toBool(), arguments.at(1).toUInt(), arguments.at(2).toString()};
    ++m_uploadOutcomeCount;
    emit uploadOutcomeReceived(m_uploadOutcome);
}

void FpcCtlClient::onServiceUnregistered()
{
    m_gone = true;
    emit daemonGone();
}
