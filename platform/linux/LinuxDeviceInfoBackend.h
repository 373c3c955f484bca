#pragma once

#include "DeviceInfoBackend.h"

// Device information of a real phone: identities from ModemManager, the WLAN
// interface from NetworkManager, the battery from UPower.
class LinuxDeviceInfoBackend : public DeviceInfoBackend
{
public:
    QString imsi() override;
    QString imei() override;
    QString wlanInterfaceName() override;
    int batteryLevel() override;
};
