#pragma once

#include <QtGlobal>

#include <cstdint>
#include <optional>

// Received power of an access point in dBm, the unit VomuElementWLAN carries,
// from what the WLAN services report:
//
//   source                          value            received power
//   NetworkManager AP "Strength"    0..100 (%)       -100 + 0.6 * Strength dBm, rounded
//                                                    (0 % = -100 dBm, 100 % = -40 dBm)
//   wpa_supplicant BSS "Signal"     dBm (int16)      as given, when -128..0
//
// NetworkManager derives its percentage from the scan's dBm figure with a
// straight line from -100 dBm (0 %) to -40 dBm (100 %), clamped at both ends,
// so the inverse is exact inside that range and saturates at its ends. Any
// other value is no measurement.
class WlanSignalMapping
{
public:
    static std::optional<int8_t> fromNetworkManagerStrength(qint64 strengthPercent);
    static std::optional<int8_t> fromSupplicantSignal(qint64 dbm);
};
