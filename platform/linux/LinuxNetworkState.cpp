#include "LinuxNetworkState.h"

#include "LinuxBusProperties.h"
#include "ModemManagerModem.h"

#include <QDBusConnection>

namespace {
const char NmService[] = "org.freedesktop.NetworkManager";
const char NmPath[] = "/org/freedesktop/NetworkManager";
const char ActiveConnectionInterface[] = "org.freedesktop.NetworkManager.Connection.Active";
// NetworkManager's NMMetered values that say "not metered".
constexpr qint64 MeteredNo = 2;
constexpr qint64 MeteredGuessNo = 4;
// ModemManager's 3GPP registration states.
constexpr qint64 RegistrationHome = 1;
constexpr qint64 RegistrationRoaming = 5;
}

bool LinuxNetworkState::freeWlan()
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    const std::optional<QVariantMap> manager =
        LinuxBusProperties::getAll(bus, QLatin1String(NmService), QLatin1String(NmPath), QLatin1String(NmService));
    if (!manager)
        return false;
    const std::optional<qint64> metered = LinuxBusProperties::integer(*manager, "Metered");
    const std::optional<QString> primary = LinuxBusProperties::objectPath(*manager, "PrimaryConnection");
    if (!metered || (*metered != MeteredNo && *metered != MeteredGuessNo) || !primary || *primary == QLatin1String("/"))
        return false;
    const std::optional<QVariantMap> connection =
        LinuxBusProperties::getAll(bus, QLatin1String(NmService), *primary, QLatin1String(ActiveConnectionInterface));
    return connection && LinuxBusProperties::string(*connection, "Type") == QLatin1String("802-11-wireless");
}

std::optional<SlpGwNetwork> LinuxNetworkState::cellular()
{
    const std::optional<ModemManagerModem> modem = ModemManagerModem::find();
    if (!modem)
        return std::nullopt;
    const std::optional<QVariantMap> threegpp =
        modem->interfaceProperties("org.freedesktop.ModemManager1.Modem.Modem3gpp");
    const std::optional<qint64> state =
        threegpp ? LinuxBusProperties::integer(*threegpp, "RegistrationState") : std::nullopt;
    if (state == RegistrationHome)
        return SlpGwNetwork::HomeCellular;
    if (state == RegistrationRoaming)
        return SlpGwNetwork::RoamingCellular;
    return std::nullopt;
}

SlpGwNetwork LinuxNetworkState::currentNetwork()
{
    if (freeWlan())
        return SlpGwNetwork::FreeWlan;
    return cellular().value_or(SlpGwNetwork::None);
}
