#pragma once

#include <QString>

// What serves DeviceInfo on a real phone. Without an installed backend the
// simulated source (environment variables and files) answers; a provider
// installs its own at start-up (one at a time, kept for the process's life).
class DeviceInfoBackend
{
public:
    virtual ~DeviceInfoBackend() = default;

    // Empty when not known.
    virtual QString imsi() = 0;
    virtual QString imei() = 0;
    virtual QString wlanInterfaceName() = 0;
    // 0..100; DeviceInfo::UnknownBatteryLevel when there is no battery.
    virtual int batteryLevel() = 0;

    // Takes ownership; null goes back to the simulated source.
    static void install(DeviceInfoBackend *backend);
    static DeviceInfoBackend *installed();
};
