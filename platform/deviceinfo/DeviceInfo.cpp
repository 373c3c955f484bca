#include "DeviceInfo.h"

#include "DeviceInfoBackend.h"
#include "RootPath.h"

#include <QFile>
#include <QNetworkInterface>

namespace {
// Identity values are short; a larger file is not a value of ours.
constexpr qint64 MaxValueSize = 4096;
}

QString DeviceInfo::directory()
{
    return RootPath::apply(QStringLiteral("/var/lib/deviceinfo"));
}

QString DeviceInfo::value(const char *environmentName, const char *fileName)
{
    if (qEnvironmentVariableIsSet(environmentName))
        return qEnvironmentVariable(environmentName).trimmed();
    QFile file(directory() + QLatin1Char('/') + QLatin1String(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(MaxValueSize)).trimmed();
}

QString DeviceInfo::imsi() const
{
    if (DeviceInfoBackend *backend = DeviceInfoBackend::installed())
        return backend->imsi();
    return value("FPCD_IMSI", "imsi");
}

QString DeviceInfo::imei() const
{
    if (DeviceInfoBackend *backend = DeviceInfoBackend::installed())
        return backend->imei();
    return value("FPCD_IMEI", "imei");
}

QString DeviceInfo::wlanInterfaceName() const
{
    if (DeviceInfoBackend *backend = DeviceInfoBackend::installed())
        return backend->wlanInterfaceName();
    return value("FPCD_WLAN_INTERFACE", "wlan_interface");
}

QString DeviceInfo::wlanHardwareAddress() const
{
    const QString given = value("FPCD_WLAN_HWADDR", "wlan_hwaddr");
    if (!given.isEmpty())
        return given;
    const QString name = wlanInterfaceName();
    if (name.isEmpty())
        return QString();
    return QNetworkInterface::interfaceFromName(name).hardwareAddress();
}

int DeviceInfo::batteryLevel() const
{
    if (DeviceInfoBackend *backend = DeviceInfoBackend::installed())
        return backend->batteryLevel();
    bool ok = false;
    const int level = value("FPCD_BATTERY_LEVEL", "battery_level").toInt(&ok);
    if (!ok || level < 0 || level > 100)
        return UnknownBatteryLevel;
    return level;
}
