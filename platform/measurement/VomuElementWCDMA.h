#pragma once

#include "VomuObservationElement.h"

#include <cstdint>
#include <vector>

// A WCDMA (UTRA-FDD) serving cell with its neighbour cells.
//
// Not-set markers: countryCode/networkId 0xFFFF, ucId 0xFFFFFFFF; the
// location area code carries a presence flag. Neighbour records mark an
// absent value with all ones of the field's width (0xFFFFFFFF, 0xFFFF, 255).
//
// Neighbour levels are stored as 3GPP reporting levels:
//   rssi      UTRA carrier RSSI level 0..76 (0: below -100 dBm,
//             n: -101+n <= P < -100+n, 76: -25 dBm and above)
//   rscp      CPICH RSCP level + 5, so 0..96 (level -5: below -120 dBm,
//             n: -116+n <= P < -115+n, 91: -25 dBm and above)
//   ecn0      CPICH Ec/N0 level 0..49 (0: below -24 dB, n: -24.5+n/2 <= E <
//             -24+n/2, 49: 0 dB and above)
//   pathloss  path loss in dB minus 46, so 0..112 for 46..158 dB
//
// XML text (internalize):
//   <wCell mcc="244" mnc="42" lac="12" ucid="100000" timestamp="0">
//     <wNCell ucid="100000" sCode="100" uarfcn_dl="10000" utraCarrierRssi="90"
//             ecn0="7.5" rscp="63" pathloss="66"/>
//   </wCell>
// mcc, mnc: 0..65534. lac: 0..65535. ucid: 0..4294967294. sCode (primary
// CPICH scrambling code), uarfcn_dl: 0..65534. timestamp: seconds, 0 or more.
// utraCarrierRssi and rscp: received power as a positive number of dB below
// 1 mW ("90" is -90 dBm, fractions allowed, at most 255). ecn0: Ec/N0 as a
// positive number of dB below 0 ("7.5" is -7.5 dB, at most 63). pathloss:
// dB, 46..158. Each is converted to the level above.
// Every attribute may be left out: its field then stays not set. Any present
// attribute that is malformed or out of range refuses the whole text, and so
// does any element other than wNCell below wCell.
class VomuElementWCDMA : public VomuObservationElement
{
public:
    struct NeighbourCell
    {
        uint32_t ucId = 0xFFFFFFFF;
        uint16_t pCpich = 0xFFFF; // primary CPICH scrambling code
        uint16_t uarfcnDl = 0xFFFF;
        uint8_t rssi = 255;
        uint8_t ecn0 = 255;
        uint8_t rscp = 255;
        uint8_t pathloss = 255;
    };

    VomuElementWCDMA();
    VomuElementWCDMA(const VomuElementWCDMA &) = default;
    VomuElementWCDMA &operator=(const VomuElementWCDMA &) = default;

    uint16_t countryCode() const { return m_countryCode; }
    uint16_t networkId() const { return m_networkId; }
    uint16_t locationAreaCode() const { return m_locationAreaCode; }
    bool locationAreaCodeSet() const { return m_locationAreaCodeSet; }
    uint32_t ucId() const { return m_ucId; }

    void setCountryCode(uint16_t countryCode) { m_countryCode = countryCode; }
    void setNetworkId(uint16_t networkId) { m_networkId = networkId; }
    void setLocationAreaCode(uint16_t locationAreaCode);
    void setUcId(uint32_t ucId) { m_ucId = ucId; }

    int neighbourCellCount() const { return static_cast<int>(m_neighbours.size()); }
    // A default (all not set) record for an index outside the list.
    NeighbourCell neighbourCell(int index) const;
    void appendNeighbourCell(const NeighbourCell &cell) { m_neighbours.push_back(cell); }
    void clearNeighbourCells() { m_neighbours.clear(); }

    // Conversions of physical values to the stored levels; 255 for NaN
    // (and for a path loss outside 46..158 dB).
    static uint8_t rssiLevelFromDbm(double dbm);
    static uint8_t rscpLevelFromDbm(double dbm);
    static uint8_t ecn0LevelFromDb(double db);
    static uint8_t pathlossLevelFromDb(double db);

    VomuObservationElement *clone() const override;
    bool internalize(const std::string &xml) override;

private:
    uint16_t m_countryCode = 0xFFFF;
    uint16_t m_networkId = 0xFFFF;
    uint16_t m_locationAreaCode = 0;
    bool m_locationAreaCodeSet = false;
    uint32_t m_ucId = 0xFFFFFFFF;
    std::vector<NeighbourCell> m_neighbours;
};
