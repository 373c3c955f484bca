#pragma once

#include <QString>

// The device's identity and battery, standing in for the phone's system
// information (subscriber and equipment identity, the network interface used
// for WLAN and the battery level).
//
// A real phone's provider installs a DeviceInfoBackend that answers instead.
// Otherwise a simulated source is read on every call, so a value changed while
// the daemon runs is seen at the next read. Each value comes from an
// environment variable when that is set, otherwise from a file below
// directory() ("/var/lib/deviceinfo", moved below FPCD_ROOT when that is set);
// surrounding white space is dropped:
//
//   value                  environment variable   file
//   IMSI                   FPCD_IMSI              imsi
//   IMEI                   FPCD_IMEI              imei
//   WLAN interface name    FPCD_WLAN_INTERFACE    wlan_interface
//   WLAN hardware address  FPCD_WLAN_HWADDR       wlan_hwaddr
//   battery level (%)      FPCD_BATTERY_LEVEL     battery_level
//
// Unset values are empty. The WLAN hardware address, when not given, is the
// address the kernel reports for the configured WLAN interface (empty when no
// interface is configured or it does not exist). The battery level is 100
// when it is not given or is not a whole number from 0 to 100.
class DeviceInfo
{
public:
    static QString directory();

    QString imsi() const;
    QString imei() const;
    QString wlanInterfaceName() const;
    QString wlanHardwareAddress() const;
    int batteryLevel() const;

    static constexpr int UnknownBatteryLevel = 100;

private:
    static QString value(const char *environmentName, const char *fileName);
};
