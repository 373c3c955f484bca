#include "LinuxDeviceInfoBackend.h"

#include "DeviceInfo.h"
#include "ModemIdentity.h"
#include "NmWlanScanner.h"
#include "SupplicantWlanScanner.h"
#include "UPowerBattery.h"

QString LinuxDeviceInfoBackend::imsi()
{
    return ModemIdentity::imsi();
}

QString LinuxDeviceInfoBackend::imei()
{
    return ModemIdentity::imei();
}

QString LinuxDeviceInfoBackend::wlanInterfaceName()
{
    const QString name = NmWlanScanner().interfaceName();
    return name.isEmpty() ? SupplicantWlanScanner().interfaceName() : name;
}

int LinuxDeviceInfoBackend::batteryLevel()
{
    return UPowerBattery::level().value_or(DeviceInfo::UnknownBatteryLevel);
}
