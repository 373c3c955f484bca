#pragma once

#include "VomuObservationElement.h"
#include "VomuWlanMacAddress.h"

#include <cstdint>

// One WLAN access point seen by a scan.
//
// XML text (internalize):
//   <wlan mac="ee:ee:bb:77:44:99" powRx="23" powTx="20" rssi="180" timestamp="0"/>
// mac: 6 bytes (48-bit) or 8 bytes (64-bit), two hex digits each, ':'
// between them. powRx: received power as a positive number of dB below 1 mW,
// an integer 0..128 ("23" is -23 dBm; stored as signed dBm). powTx: transmit
// power in dBm, -128..127. rssi: the driver's raw signal figure 0..255.
// timestamp: seconds since the Unix epoch, 0 or more.
// Every attribute may be left out: its field then stays not set. Any present
// attribute that is malformed or out of range refuses the whole text; child
// elements are not allowed.
class VomuElementWLAN : public VomuObservationElement
{
public:
    // The library's own name for the address type.
    using VomuWlanMacAddress = ::VomuWlanMacAddress;

    VomuElementWLAN();
    VomuElementWLAN(const VomuElementWLAN &) = default;
    VomuElementWLAN &operator=(const VomuElementWLAN &) = default;

    const VomuWlanMacAddress &mac() const { return m_mac; }
    int8_t powerRx() const { return m_powerRx; } // dBm
    uint8_t rssi() const { return m_rssi; }
    int8_t powerTx() const { return m_powerTx; } // dBm
    bool powerRxSet() const { return m_powerRxSet; }
    bool rssiSet() const { return m_rssiSet; }
    bool powerTxSet() const { return m_powerTxSet; }

    void setMac(const VomuWlanMacAddress &mac) { m_mac = mac; }
    void setPowerRx(int8_t dbm);
    void setRssi(uint8_t rssi);
    void setPowerTx(int8_t dbm);

    VomuObservationElement *clone() const override;
    bool internalize(const std::string &xml) override;

private:
    VomuWlanMacAddress m_mac;
    int8_t m_powerRx = 0;
    uint8_t m_rssi = 0;
    int8_t m_powerTx = 0;
    bool m_powerRxSet = false;
    bool m_rssiSet = false;
    bool m_powerTxSet = false;
};
