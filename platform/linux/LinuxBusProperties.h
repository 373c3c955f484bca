#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

#include <optional>

// Reads the properties of one object of a system service through
// org.freedesktop.DBus.Properties, bounded in time so that a service that
// hangs cannot stall the daemon. Values are checked by the typed getters:
// a missing property or one of another type yields nothing (and a log line),
// never a default that looks like a measurement.
class LinuxBusProperties
{
public:
    static constexpr int CallTimeoutMs = 2000;

    // Nothing when the service, the object or the interface is not there.
    static std::optional<QVariantMap> getAll(const QDBusConnection &bus, const QString &service, const QString &path,
                                             const QString &interface);

    static std::optional<QString> string(const QVariantMap &properties, const char *name);
    static std::optional<double> real(const QVariantMap &properties, const char *name);
    static std::optional<qint64> integer(const QVariantMap &properties, const char *name);
    static std::optional<QByteArray> bytes(const QVariantMap &properties, const char *name);
    static std::optional<QString> objectPath(const QVariantMap &properties, const char *name);
    static std::optional<QStringList> objectPaths(const QVariantMap &properties, const char *name);

private:
    static void logMismatch(const char *name, const QVariant &value);
};
