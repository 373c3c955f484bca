#include "UPowerBattery.h"

#include "LinuxBusProperties.h"

#include <QDBusConnection>
#include <QDebug>

#include <cmath>

namespace {
const char Service[] = "org.freedesktop.UPower";
const char DisplayDevicePath[] = "/org/freedesktop/UPower/devices/DisplayDevice";
const char DeviceInterface[] = "org.freedesktop.UPower.Device";
// UPower device types and states that matter here.
constexpr qint64 TypeBattery = 2;
constexpr qint64 StateUnknown = 0;
}

std::optional<int> UPowerBattery::level()
{
    const std::optional<QVariantMap> properties =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service),
                                   QLatin1String(DisplayDevicePath), QLatin1String(DeviceInterface));
    if (!properties)
        return std::nullopt;
    const std::optional<qint64> type = LinuxBusProperties::integer(*properties, "Type");
    const std::optional<qint64> state = LinuxBusProperties::integer(*properties, "State");
    const QVariant present = properties->value(QStringLiteral("IsPresent"));
    if (type != TypeBattery || (present.isValid() && !present.toBool()) || !state || *state == StateUnknown) {
        qDebug() << "UPowerBattery::level() no battery present - mains power";
        return std::nullopt;
    }
    const std::optional<double> percentage = LinuxBusProperties::real(*properties, "Percentage");
    if (!percentage)
        return std::nullopt;
    return percentFrom(*percentage);
}

std::optional<int> UPowerBattery::percentFrom(double percentage)
{
    if (!std::isfinite(percentage) || percentage < 0.0 || percentage > 100.0) {
        qDebug() << "UPowerBattery::level() percentage out of range skipped:" << percentage;
        return std::nullopt;
    }
    return int(std::lround(percentage));
}
