#pragma once

#include <QString>

// Puts the Linux services of a real phone behind the platform APIs
// (radio measurements, device information, the network for uploads). Call once, after the
// application object exists.
class LinuxProviders
{
public:
    // WLAN scans go through the service named by wlanSource: "networkmanager"
    // (also when empty) or "wpa_supplicant". An unknown name is logged and
    // NetworkManager used.
    static void install(const QString &wlanSource = QString());
};
