#include "NmWlanScanner.h"

#include "LinuxBusProperties.h"
#include "RadioWlanPrivacy.h"
#include "VomuElementWLAN.h"
#include "WlanMacText.h"
#include "WlanSignalMapping.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDateTime>
#include <QDebug>

#include <algorithm>
#include <memory>

namespace {
const char Service[] = "org.freedesktop.NetworkManager";
const char ManagerPath[] = "/org/freedesktop/NetworkManager";
const char DeviceInterface[] = "org.freedesktop.NetworkManager.Device";
const char WirelessInterface[] = "org.freedesktop.NetworkManager.Device.Wireless";
const char AccessPointInterface[] = "org.freedesktop.NetworkManager.AccessPoint";
constexpr qint64 DeviceTypeWifi = 2;
// A scan lists a few dozen access points; more is not a scan we can trust.
constexpr int MaxAccessPoints = 256;
}

NmWlanScanner::NmWlanScanner(QObject *parent) : WlanScanner(parent) {}

QString NmWlanScanner::findWlanDevice()
{
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(ManagerPath),
                                                       QLatin1String(Service), QStringLiteral("GetDevices"));
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, LinuxBusProperties::CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        qDebug() << "NmWlanScanner::findWlanDevice() NetworkManager not reachable:" << reply.errorName();
        return QString();
    }
    const QList<QDBusObjectPath> devices = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().constFirst());
    for (const QDBusObjectPath &device : devices) {
        const std::optional<QVariantMap> properties =
            LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), device.path(),
                                       QLatin1String(DeviceInterface));
        if (properties && LinuxBusProperties::integer(*properties, "DeviceType") == DeviceTypeWifi)
            return device.path();
    }
    qDebug() << "NmWlanScanner::findWlanDevice() no WLAN device";
    return QString();
}

void NmWlanScanner::watch(const QString &devicePath)
{
    if (devicePath == m_watchedPath)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
    const QString changed = QStringLiteral("PropertiesChanged");
    if (!m_watchedPath.isEmpty())
        bus.disconnect(QLatin1String(Service), m_watchedPath, properties, changed, this,
                       SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    m_watchedPath = devicePath;
    if (!bus.connect(QLatin1String(Service), devicePath, properties, changed, this,
                     SLOT(onPropertiesChanged(QString, QVariantMap, QStringList))))
        qDebug() << "NmWlanScanner::watch() cannot follow" << devicePath;
}

bool NmWlanScanner::follow()
{
    const QString device = findWlanDevice();
    if (device.isEmpty())
        return false;
    watch(device);
    return true;
}

bool NmWlanScanner::startScan(RadioMeasurements::WlanScanCallback callback, void *context)
{
    const QString device = findWlanDevice();
    if (device.isEmpty())
        return false;
    watch(device);
    // A caller whose earlier scan never finished (a service that vanished)
    // is answered once, by the next result.
    const bool alreadyWaiting = std::any_of(m_waiting.cbegin(), m_waiting.cend(), [&](const Waiting &entry) {
        return entry.callback == callback && entry.context == context;
    });
    if (!alreadyWaiting)
        m_waiting.append({callback, context});
    requestScan(device);
    return true;
}

void NmWlanScanner::requestScan(const QString &devicePath)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service), devicePath,
                                                       QLatin1String(WirelessInterface), QStringLiteral("RequestScan"));
    call << QVariantMap();
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher *finished) {
        // A refused request (a scan already running, or one just done) still
        // ends with a LastScan change or with the caller's time-out.
        if (finished->isError())
            qDebug() << "NmWlanScanner::requestScan() refused:" << finished->error().message();
        finished->deleteLater();
    });
}

void NmWlanScanner::onPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                        const QStringList &invalidated)
{
    Q_UNUSED(invalidated);
    if (interface != QLatin1String(WirelessInterface) || !changed.contains(QStringLiteral("LastScan")))
        return;
    if (m_waiting.isEmpty()) {
        qDebug() << "[INFO] NmWlanScanner::onPropertiesChanged() scan by another program";
        emit foreignScan();
        return;
    }
    deliver();
}

void NmWlanScanner::deliver()
{
    const VomuMeasurements result = accessPoints();
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    for (const Waiting &entry : waiting)
        entry.callback(entry.context, result);
}

VomuMeasurements NmWlanScanner::accessPoints()
{
    VomuMeasurements result;
    if (m_watchedPath.isEmpty())
        return result;
    const std::optional<QVariantMap> device =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), m_watchedPath,
                                   QLatin1String(WirelessInterface));
    const std::optional<QStringList> paths =
        device ? LinuxBusProperties::objectPaths(*device, "AccessPoints") : std::nullopt;
    if (!paths)
        return result;
    for (const QString &path : paths->mid(0, MaxAccessPoints))
        appendAccessPoint(path, result);
    return result;
}

bool NmWlanScanner::appendAccessPoint(const QString &path, VomuMeasurements &result)
{
    const std::optional<QVariantMap> properties =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), path,
                                   QLatin1String(AccessPointInterface));
    if (!properties)
        return false;
    const std::optional<QString> address = LinuxBusProperties::string(*properties, "HwAddress");
    const std::optional<VomuWlanMacAddress> mac = address ? WlanMacText::parse(*address) : std::nullopt;
    const std::optional<qint64> strength = LinuxBusProperties::integer(*properties, "Strength");
    const std::optional<int8_t> power =
        strength ? WlanSignalMapping::fromNetworkManagerStrength(*strength) : std::nullopt;
    if (!mac || !power) {
        qDebug() << "NmWlanScanner::appendAccessPoint() access point skipped:" << path << address.value_or(QString())
                 << strength.value_or(-1);
        return false;
    }
    // The network name decides whether the access point may be kept at all;
    // it goes no further than this check.
    const QString ssid = QString::fromUtf8(LinuxBusProperties::bytes(*properties, "Ssid").value_or(QByteArray()));
    if (!RadioWlanPrivacy::mayKeep(ssid, *mac))
        return false;
    auto element = std::make_unique<VomuElementWLAN>();
    element->setMac(*mac);
    element->setPowerRx(*power);
    element->setTimestamp(long(QDateTime::currentSecsSinceEpoch()));
    result.append(element.release());
    return true;
}

QString NmWlanScanner::interfaceName()
{
    const QString device = findWlanDevice();
    if (device.isEmpty())
        return QString();
    const std::optional<QVariantMap> properties =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), device,
                                   QLatin1String(DeviceInterface));
    return properties ? LinuxBusProperties::string(*properties, "Interface").value_or(QString()) : QString();
}
