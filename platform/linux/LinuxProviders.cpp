#include "LinuxProviders.h"

#include "LinuxDeviceInfoBackend.h"
#include "LinuxNetworkState.h"
#include "LinuxRadioBackend.h"
#include "ModemCellFallback.h"
#include "ModemPassiveFixes.h"
#include "WlanScanner.h"
#include "PlatformEvents.h"
#include "PlatformProvider.h"

#include <QCoreApplication>
#include <QDebug>

namespace {
// The connectivity daemon's search states.
constexpr uint SearchStarted = 8;
constexpr uint SearchStopped = 9;

LinuxRadioBackend::WlanSource wlanSourceNamed(const QString &name)
{
    if (name == QLatin1String("wpa_supplicant"))
        return LinuxRadioBackend::WlanSource::Supplicant;
    if (!name.isEmpty() && name != QLatin1String("networkmanager"))
        qDebug() << "[ERROR] LinuxProviders::install() unknown WLAN source" << name
                 << "- possible sources are networkmanager and wpa_supplicant; networkmanager used";
    return LinuxRadioBackend::WlanSource::NetworkManager;
}
}

void LinuxProviders::install(const QString &wlanSource)
{
    auto *radio = new LinuxRadioBackend(wlanSourceNamed(wlanSource));
    RadioBackend::install(radio);
    // Another program's scan reaches the daemon as a finished WLAN search of
    // the connectivity daemon would.
    if (PlatformEvents *events = PlatformEvents::instance()) {
        QObject::connect(radio->wlanScanner(), &WlanScanner::foreignScan, events, [events] {
            emit events->wlanSearchState(QStringLiteral("WLAN_INFRA"), SearchStarted);
            emit events->wlanSearchState(QStringLiteral("WLAN_INFRA"), SearchStopped);
        });
        radio->wlanScanner()->follow();
        // Lives with the application object, like the events it feeds.
        (new ModemPassiveFixes(events))->follow();
    }
    DeviceInfoBackend::install(new LinuxDeviceInfoBackend);
    SlpGwNetworkSource::install(new LinuxNetworkState);
    PlatformProvider::setCurrent(PlatformProvider::Kind::Linux);
    // Modem settings switched on for measurements go back before the bus
    // connection closes.
    if (QCoreApplication *app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, [] { ModemCellFallback::restore(); });
}
