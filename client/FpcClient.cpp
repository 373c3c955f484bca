#include "FpcClient.h"

#include "FpcConfigurationText.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDebug>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace {

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

QString notRunning()
{
    return QStringLiteral("vomu-fpcd is not running (no owner of %1 on the system bus)").arg(text(FpcClient::Service));
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 4) + QStringLiteral(" s");
}

} // namespace

FpcClient::FpcClient(QObject *parent) : FpcClient(QDBusConnection::systemBus(), parent) {}

FpcClient::FpcClient(const QDBusConnection &bus, QObject *parent) : QObject(parent), m_bus(bus) {}

FpcClientResult FpcClient::checkDaemon()
{
    if (!m_bus.isConnected()) {
        const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
        QString reason = QStringLiteral("vomu-fpcd is not reachable: cannot connect to the system bus");
        if (!address.isEmpty())
            reason += QStringLiteral(" at %1").arg(address);
        const QString detail = m_bus.lastError().message();
        if (!detail.isEmpty())
            reason += QStringLiteral(" (%1)").arg(detail);
        return FpcClientResult::failure(FpcClientResult::NotRunning, reason);
    }
    if (!isDaemonRunning())
        return FpcClientResult::failure(FpcClientResult::NotRunning, notRunning());
    return {};
}

bool FpcClient::isDaemonRunning()
{
    if (!m_bus.isConnected())
        return false;
    const QDBusReply<bool> reply = m_bus.interface()->isServiceRegistered(text(Service));
    return reply.isValid() && reply.value();
}

uint FpcClient::daemonPid()
{
    if (!m_bus.isConnected())
        return 0;
    const QDBusReply<uint> reply = m_bus.interface()->servicePid(text(Service));
    return reply.isValid() ? reply.value() : 0;
}

bool FpcClient::subscribe(QString *error)
{
    const QString service = text(Service);
    const auto listen = [&](const char *name, const char *slot) {
        return m_bus.connect(service, text(Path), text(Interface), text(name), this, slot);
    };
    if (!listen("fpStatus", SLOT(onFpStatus(QDBusMessage)))
        || !listen("activeCollectionStatus", SLOT(onActiveCollectionStatus(QDBusMessage)))
        || !listen("uploadFinished", SLOT(onUploadFinished(QDBusMessage)))) {
        *error = QStringLiteral("cannot subscribe to the daemon's signals: ") + m_bus.lastError().message();
        return false;
    }
    auto *watcher = new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                emit daemonRunningChanged(!newOwner.isEmpty());
            });
    return true;
}

QDBusMessage FpcClient::methodCall(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(text(Service), text(Path), text(Interface), method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return message;
}

FpcClientResult FpcClient::failure(const QDBusMessage &reply, const QString &method)
{
    const QDBusError error(reply);
    // Without bus activation, a call to a name nobody owns ends in NameHasNoOwner.
    if (error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return FpcClientResult::failure(FpcClientResult::NotRunning, notRunning());
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
        return FpcClientResult::failure(FpcClientResult::NotRunning, notRunning());
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        if (!isDaemonRunning())
            return FpcClientResult::failure(FpcClientResult::NotRunning,
                                            QStringLiteral("vomu-fpcd stopped before answering %1").arg(method));
        return FpcClientResult::failure(FpcClientResult::Timeout,
                                        QStringLiteral("vomu-fpcd did not answer %1 within %2")
                                            .arg(method, seconds(m_timeoutMs)));
    case QDBusError::AccessDenied:
        return FpcClientResult::failure(
            FpcClientResult::AccessDenied,
            QStringLiteral("vomu-fpcd refused %1: %2. Changing the collector needs root or membership of its "
                           "control group; add the user to that group and log in again")
                .arg(method, error.message()));
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownObject:
        return FpcClientResult::failure(FpcClientResult::Refused,
                                        QStringLiteral("vomu-fpcd does not offer %1: %2").arg(method, error.message()));
    default:
        return FpcClientResult::failure(FpcClientResult::Refused,
                                        QStringLiteral("%1 failed: %2").arg(method, error.message()));
    }
}

void FpcClient::answerLater(QObject *context, const Done &done, const FpcClientResult &result)
{
    QTimer::singleShot(0, context, [done, result] { done(result); });
}

// Sends method and checks the reply's signature ("*" takes any); check, when given, reads
// the reply into the result and may turn it into a failure.
void FpcClient::request(const QString &method, const QVariantList &arguments, const QString &signature,
                        const Check &check, QObject *context, const Done &done)
{
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(methodCall(method, arguments), m_timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
    connect(watcher, &QDBusPendingCallWatcher::finished, context ? context : this,
            [this, watcher, method, signature, check, done] {
                const QDBusMessage reply = watcher->reply();
                FpcClientResult result;
                if (reply.type() != QDBusMessage::ReplyMessage) {
                    result = failure(reply, method);
                } else if (signature != QLatin1String("*") && reply.signature() != signature) {
                    result = FpcClientResult::failure(FpcClientResult::BadReply,
                                                      QStringLiteral("vomu-fpcd answered %1 with '%2' instead of '%3'")
                                                          .arg(method, reply.signature(), signature));
                } else {
                    result.values = reply.arguments();
                    if (check)
                        check(&result);
                }
                done(result);
            });
}

void FpcClient::call(const QString &method, const QVariantList &arguments, QObject *context, const Done &done)
{
    request(method, arguments, QStringLiteral("*"), {}, context, done);
}

void FpcClient::requestStatus(QObject *context, const Done &done)
{
    request(QStringLiteral("sendStatistics"), {}, QString(), {}, context, done);
}

void FpcClient::readConfiguration(QObject *context, const Done &done)
{
    request(
        QStringLiteral("configurations"), {}, QStringLiteral("s"),
        [](FpcClientResult *result) {
            QString error;
            if (!FpcConfigurationText::parse(result->values.value(0).toString().toUtf8(), &result->configuration,
                                             &error))
                *result = FpcClientResult::failure(FpcClientResult::BadReply,
                                                   QStringLiteral("unreadable configuration from vomu-fpcd: ") + error);
        },
        context, done);
}

void FpcClient::setConfigurationValue(const QString &key, const QString &value, QObject *context, const Done &done)
{
    // The daemon answers once it has handled the value (when asked for an
    // answer); reading back tells whether it took it.
    QPointer<QObject> guard(context ? context : this);
    request(QStringLiteral("setConfigurationValue"), {key, value}, QString(), {}, guard,
            [this, guard, key, value, done](const FpcClientResult &sent) {
                if (!sent.ok()) {
                    done(sent);
                    return;
                }
                readConfiguration(guard, [key, value, done](const FpcClientResult &read) {
                    if (read.ok() && (!read.configuration.contains(key) || read.configuration.value(key) != value)) {
                        FpcClientResult refused = FpcClientResult::failure(
                            FpcClientResult::Refused,
                            QStringLiteral("vomu-fpcd did not take the value for '%1' (see its trace)").arg(key));
                        refused.configuration = read.configuration;
                        done(refused);
                        return;
                    }
                    done(read);
                });
            });
}

void FpcClient::setCollectionEnabled(bool enabled, QObject *context, const Done &done)
{
    setConfigurationValue(QStringLiteral("collection_enabled"), enabled ? QStringLiteral("1") : QStringLiteral("0"),
                          context, done);
}

void FpcClient::setUploadEnabled(bool enabled, QObject *context, const Done &done)
{
    setConfigurationValue(QStringLiteral("upload_enabled"), enabled ? QStringLiteral("1") : QStringLiteral("0"),
                          context, done);
}

void FpcClient::setPrivacyZones(const QString &zones, QObject *context, const Done &done)
{
    setConfigurationValue(QStringLiteral("privacy_zones"), zones, context, done);
}

void FpcClient::loadConfiguration(const QByteArray &xml, QObject *context, const Done &done)
{
    request(
        QStringLiteral("setConfigurations"), {QString::fromUtf8(xml)}, QStringLiteral("b"),
        [](FpcClientResult *result) {
            if (!result->values.value(0).toBool())
                *result =
                    FpcClientResult::failure(FpcClientResult::Refused,
                                             QStringLiteral("vomu-fpcd refused the configuration (see its trace)"));
        },
        context, done);
}

void FpcClient::startUpload(QObject *context, const Done &done)
{
    request(
        QStringLiteral("forcedUpload"), {}, QStringLiteral("s"),
        [](FpcClientResult *result) {
            result->answer = result->values.value(0).toString();
            if (result->answer != text(UploadStarted))
                *result = FpcClientResult::failure(FpcClientResult::Refused,
                                                   QStringLiteral("the upload did not start: ") + result->answer);
        },
        context, done);
}

void FpcClient::readDropCounters(QObject *context, const Done &done)
{
    request(
        QStringLiteral("dropCounters"), {}, QStringLiteral("a{sv}"),
        [](FpcClientResult *result) { result->counters = qdbus_cast<QVariantMap>(result->values.value(0)); }, context,
        done);
}

void FpcClient::clearBuffer(QObject *context, const Done &done)
{
    request(
        QStringLiteral("clearBuffer"), {}, QStringLiteral("s"),
        [](FpcClientResult *result) {
            result->answer = result->values.value(0).toString();
            if (result->answer != text(AllDeleted))
                *result =
                    FpcClientResult::failure(FpcClientResult::Refused,
                                             result->answer.isEmpty() ? QStringLiteral("clearBuffer gave no answer")
                                                                      : result->answer);
        },
        context, done);
}

void FpcClient::setActiveMode(bool enabled, QObject *context, const Done &done)
{
    request(QStringLiteral("activeMode"), {enabled}, QString(), {}, context, done);
}

void FpcClient::restartLogging(QObject *context, const Done &done)
{
    request(QStringLiteral("restartLogging"), {}, QString(), {}, context, done);
}

void FpcClient::quitDaemon(QObject *context, const Done &done)
{
    FpcClientResult result;
    if (!m_bus.send(methodCall(QStringLiteral("quit"), {})))
        result = FpcClientResult::failure(FpcClientResult::NotRunning,
                                          QStringLiteral("cannot send quit: ") + m_bus.lastError().message());
    answerLater(context ? context : this, done, result);
}

FpcClientResult FpcClient::wait(const std::function<void(const Done &)> &request)
{
    QEventLoop loop;
    bool finished = false;
    FpcClientResult outcome;
    request([&](const FpcClientResult &result) {
        outcome = result;
        finished = true;
        loop.quit();
    });
    // The bus ends every call at its time-out; the local guard only covers a
    // connection that breaks without a word.
    QTimer::singleShot(m_timeoutMs * 2 + 5000, &loop, &QEventLoop::quit);
    if (!finished)
        loop.exec();
    if (!finished)
        return FpcClientResult::failure(FpcClientResult::Timeout,
                                        QStringLiteral("vomu-fpcd did not answer within %1").arg(seconds(m_timeoutMs)));
    return outcome;
}

void FpcClient::onFpStatus(const QDBusMessage &message)
{
    FpcStatusReport status;
    QString error;
    if (!FpcStatusReport::fromArguments(message.arguments(), &status, &error)) {
        qWarning().noquote() << "ignoring a malformed status report:" << error;
        return;
    }
    m_status = status;
    ++m_statusCount;
    emit statusReceived(m_status);
}

void FpcClient::onActiveCollectionStatus(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("b")) {
        qWarning().noquote() << "ignoring a malformed activeCollectionStatus signal";
        return;
    }
    m_activeGps = message.arguments().first().toBool();
    ++m_activeGpsCount;
    emit activeGpsReceived(m_activeGps);
}

void FpcClient::onUploadFinished(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("bus")) {
        qWarning().noquote() << "ignoring a malformed uploadFinished signal";
        return;
    }
    const QVariantList arguments = message.arguments();
    m_uploadOk = arguments.at(0).toBool();
    m_uploadCount = arguments.at(1).toUInt();
    m_uploadReason = arguments.at(2).toString();
    ++m_uploadOutcomeCount;
    emit uploadFinished(m_uploadOk, m_uploadCount, m_uploadReason);
}
