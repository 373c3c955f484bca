#pragma once

#include "VomuWlanMacAddress.h"

#include <QString>

// Which access points a measurement provider may hand on at all. Called by
// every provider where a scan's access points become WLAN elements: the
// network name is looked at here, for this decision only, and is never kept.
// Refused are networks whose owner opted out (name ending in "_nomap"),
// hidden networks (no name) and locally administered, that is randomised,
// 48-bit hardware addresses (bit 1 of the first octet), which identify a
// device rather than a place.
class RadioWlanPrivacy
{
public:
    enum class Verdict { Keep, OptedOut, Hidden, LocallyAdministered };

    static Verdict judge(const QString &ssid, const VomuWlanMacAddress &mac);
    static bool mayKeep(const QString &ssid, const VomuWlanMacAddress &mac)
    {
        return judge(ssid, mac) == Verdict::Keep;
    }
    // A name made of NUL bytes only is how some access points hide theirs.
    static bool isHidden(const QString &ssid);
    static bool isLocallyAdministered(const VomuWlanMacAddress &mac);
};
