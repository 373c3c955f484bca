#include "LinuxBusProperties.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDebug>

std::optional<QVariantMap> LinuxBusProperties::getAll(const QDBusConnection &bus, const QString &service,
                                                      const QString &path, const QString &interface)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("GetAll"));
    call << interface;
    const QDBusMessage reply = QDBusConnection(bus).call(call, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        qDebug() << "LinuxBusProperties::getAll()" << service << path
                 << interface << "not readable:" << reply.errorName();
        return std::nullopt;
    }
    const QVariant value = reply.arguments().constFirst();
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    QVariantMap properties;
    value.value<QDBusArgument>() >> properties;
    return properties;
}

void LinuxBusProperties::logMismatch(const char *name, const QVariant &value)
{
    qDebug() << "LinuxBusProperties property" << name << "skipped: unexpected type" << value.metaType().name();
}

std::optional<QString> LinuxBusProperties::string(const QVariantMap &properties, const char *name)
{
    const QVariant value = properties.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    if (value.metaType().id() != QMetaType::QString) {
        logMismatch(name, value);
        return std::nullopt;
    }
    return value.toString();
}

std::optional<double> LinuxBusProperties::real(const QVariantMap &properties, const char *name)
{
    const QVariant value = properties.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    if (value.metaType().id() != QMetaType::Double) {
        logMismatch(name, value);
        return std::nullopt;
    }
    return value.toDouble();
}

std::optional<qint64> LinuxBusProperties::integer(const QVariantMap &properties, const char *name)
{
    const QVariant value = properties.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::ULongLong:
        if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
            return value.toLongLong();
        break;
    default:
        break;
    }
    logMismatch(name, value);
    return std::nullopt;
}

std::optional<QByteArray> LinuxBusProperties::bytes(const QVariantMap &properties, const char *name)
{
    const QVariant value = properties.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    if (value.metaType().id() != QMetaType::QByteArray) {
        logMismatch(name, value);
        return std::nullopt;
    }
    return value.toByteArray();
}

std::optional<QString> LinuxBusProperties::objectPath(const QVariantMap &properties, const char *name)
{
    const QVariant value = properties.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    if (value.metaType() != QMetaType::fromType<QDBusObjectPath>()) {
        logMismatch(name, value);
        return std::nullopt;
    }
    return value.value<QDBusObjectPath>().path();
}

std::optional<QStringList> LinuxBusProperties::objectPaths(const QVariantMap &properties, const char *name)
{
    const QVariant value = properties.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    if (!value.canConvert<QDBusArgument>()) {
        logMismatch(name, value);
        return std::nullopt;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("ao")) {
        logMismatch(name, value);
        return std::nullopt;
    }
    QList<QDBusObjectPath> paths;
    argument >> paths;
    QStringList result;
    for (const QDBusObjectPath &path : paths)
        result << path.path();
    return result;
}
