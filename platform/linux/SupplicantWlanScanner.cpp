#include "SupplicantWlanScanner.h"

#include "LinuxBusProperties.h"
#include "RadioWlanPrivacy.h"
#include "VomuElementWLAN.h"
#include "WlanSignalMapping.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QDebug>

#include <algorithm>
#include <memory>

namespace {
const char Service[] = "fi.w1.wpa_supplicant1";
const char ManagerPath[] = "/fi/w1/wpa_supplicant1";
const char InterfaceInterface[] = "fi.w1.wpa_supplicant1.Interface";
const char BssInterface[] = "fi.w1.wpa_supplicant1.BSS";
// An active scan: the answers to our probes come within the collector's
// time-out, where listening for beacons channel by channel may not.
const char ScanType[] = "active";
// A scan lists a few dozen access points; more is not a scan we can trust.
constexpr int MaxAccessPoints = 256;
constexpr int BssidBytes = 6;
}

SupplicantWlanScanner::SupplicantWlanScanner(QObject *parent) : WlanScanner(parent) {}

QString SupplicantWlanScanner::findInterface()
{
    const std::optional<QVariantMap> manager =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), QLatin1String(ManagerPath),
                                   QLatin1String(Service));
    const std::optional<QStringList> interfaces =
        manager ? LinuxBusProperties::objectPaths(*manager, "Interfaces") : std::nullopt;
    if (!interfaces || interfaces->isEmpty()) {
        qDebug() << "SupplicantWlanScanner::findInterface() no wpa_supplicant interface";
        return QString();
    }
    return interfaces->constFirst();
}

void SupplicantWlanScanner::watch(const QString &interfacePath)
{
    if (interfacePath == m_watchedPath)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    const QString scanDone = QStringLiteral("ScanDone");
    if (!m_watchedPath.isEmpty())
        bus.disconnect(QLatin1String(Service), m_watchedPath, QLatin1String(InterfaceInterface), scanDone, this,
                       SLOT(onScanDone(bool)));
    m_watchedPath = interfacePath;
    if (!bus.connect(QLatin1String(Service), interfacePath, QLatin1String(InterfaceInterface), scanDone, this,
                     SLOT(onScanDone(bool))))
        qDebug() << "SupplicantWlanScanner::watch() cannot follow" << interfacePath;
}

bool SupplicantWlanScanner::follow()
{
    const QString path = findInterface();
    if (path.isEmpty())
        return false;
    watch(path);
    return true;
}

bool SupplicantWlanScanner::startScan(RadioMeasurements::WlanScanCallback callback, void *context)
{
    const QString path = findInterface();
    if (path.isEmpty())
        return false;
    watch(path);
    // A caller whose earlier scan never finished is answered once.
    const bool alreadyWaiting = std::any_of(m_waiting.cbegin(), m_waiting.cend(), [&](const Waiting &entry) {
        return entry.callback == callback && entry.context == context;
    });
    if (!alreadyWaiting)
        m_waiting.append({callback, context});
    requestScan(path);
    return true;
}

void SupplicantWlanScanner::requestScan(const QString &interfacePath)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service), interfacePath,
                                                       QLatin1String(InterfaceInterface), QStringLiteral("Scan"));
    call << QVariantMap{{QStringLiteral("Type"), QLatin1String(ScanType)}};
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher *finished) {
        // A rejected request (a scan already running) still ends with that
        // scan's ScanDone or with the caller's time-out.
        if (finished->isError())
            qDebug() << "SupplicantWlanScanner::requestScan() refused:" << finished->error().message();
        finished->deleteLater();
    });
}

void SupplicantWlanScanner::onScanDone(bool success)
{
    if (m_waiting.isEmpty()) {
        if (success) {
            qDebug() << "[INFO] SupplicantWlanScanner::onScanDone() scan by another program";
            emit foreignScan();
        }
        return;
    }
    if (!success) {
        // The access points of an earlier scan are not this scan's result.
        qDebug() << "SupplicantWlanScanner::onScanDone() scan failed";
        deliver(VomuMeasurements());
        return;
    }
    deliver(accessPoints());
}

void SupplicantWlanScanner::deliver(const VomuMeasurements &result)
{
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    for (const Waiting &entry : waiting)
        entry.callback(entry.context, result);
}

VomuMeasurements SupplicantWlanScanner::accessPoints()
{
    VomuMeasurements result;
    if (m_watchedPath.isEmpty())
        return result;
    const std::optional<QVariantMap> interface =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), m_watchedPath,
                                   QLatin1String(InterfaceInterface));
    const std::optional<QStringList> paths =
        interface ? LinuxBusProperties::objectPaths(*interface, "BSSs") : std::nullopt;
    if (!paths)
        return result;
    for (const QString &path : paths->mid(0, MaxAccessPoints))
        appendAccessPoint(path, result);
    return result;
}

bool SupplicantWlanScanner::appendAccessPoint(const QString &path, VomuMeasurements &result)
{
    const std::optional<QVariantMap> properties =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), path,
                                   QLatin1String(BssInterface));
    if (!properties)
        return false;
    const std::optional<QByteArray> bssid = LinuxBusProperties::bytes(*properties, "BSSID");
    const std::optional<qint64> signal = LinuxBusProperties::integer(*properties, "Signal");
    const std::optional<int8_t> power = signal ? WlanSignalMapping::fromSupplicantSignal(*signal) : std::nullopt;
    if (!bssid || bssid->size() != BssidBytes || !power) {
        qDebug() << "SupplicantWlanScanner::appendAccessPoint() access point skipped:" << path
                 << bssid.value_or(QByteArray()).toHex(':') << signal.value_or(1);
        return false;
    }
    const VomuWlanMacAddress mac(reinterpret_cast<const uint8_t *>(bssid->constData()), BssidBytes);
    // The network name decides whether the access point may be kept at all;
    // it goes no further than this check.
    const QString ssid = QString::fromUtf8(LinuxBusProperties::bytes(*properties, "SSID").value_or(QByteArray()));
    if (!RadioWlanPrivacy::mayKeep(ssid, mac))
        return false;
    auto element = std::make_unique<VomuElementWLAN>();
    element->setMac(mac);
    element->setPowerRx(*power);
    element->setTimestamp(long(QDateTime::currentSecsSinceEpoch()));
    result.append(element.release());
    return true;
}

QString SupplicantWlanScanner::interfaceName()
{
    const QString path = findInterface();
    if (path.isEmpty())
        return QString();
    const std::optional<QVariantMap> properties =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), path,
                                   QLatin1String(InterfaceInterface));
    return properties ? LinuxBusProperties::string(*properties, "Ifname").value_or(QString()) : QString();
}
