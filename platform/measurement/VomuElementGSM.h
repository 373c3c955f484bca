#pragma once

#include "VomuObservationElement.h"

#include <cstdint>
#include <vector>

// A GSM (GERAN) serving cell with its neighbour cells.
//
// Not-set markers: countryCode/networkId 0xFFFF, powerRx 255 (also for
// neighbours), neighbour color 255 and frequency 0xFFFF; cell id, location
// area code and timing advance carry presence flags instead.
//
// XML text (internalize):
//   <gCell mcc="244" mnc="5" lac="1234" cid="4321" powRx="75" ta="3" timestamp="1700000000">
//     <gNCell bsic="12" bcch="65" powRx="88" lac="1234" cid="4322"/>
//   </gCell>
// mcc, mnc, bcch: 0..65534. lac, cid: 0..65535. bsic: 0..254. ta: 0..255.
// timestamp: seconds since the Unix epoch, 0 or more.
// powRx: received power as a positive number of dB below 1 mW ("75" is
// -75 dBm, fractions allowed, at most 255); it is stored as the GSM RXLEV
// 0..63 (0: below -110 dBm, n: -111+n <= P < -110+n, 63: -48 dBm and above).
// Every attribute may be left out: its field then stays not set. Any present
// attribute that is malformed or out of range refuses the whole text, and so
// does any element other than gNCell below gCell.
class VomuElementGSM : public VomuObservationElement
{
public:
    class NeighbourCell
    {
    public:
        NeighbourCell() = default;
        NeighbourCell(uint8_t color, uint16_t frequency);

        uint8_t color() const { return m_color; }          // BSIC
        uint16_t frequency() const { return m_frequency; } // BCCH ARFCN
        uint8_t powerRx() const { return m_powerRx; }      // RXLEV, 255 = not set
        uint16_t cellId() const { return m_cellId; }
        uint16_t locationAreaCode() const { return m_locationAreaCode; }
        bool cellIdSet() const { return m_cellIdSet; }
        bool locationAreaCodeSet() const { return m_locationAreaCodeSet; }

        void setColor(uint8_t color) { m_color = color; }
        void setFrequency(uint16_t frequency) { m_frequency = frequency; }
        void setPowerRx(uint8_t powerRx) { m_powerRx = powerRx; }
        void setCellId(uint16_t cellId);
        void setLocationAreaCode(uint16_t locationAreaCode);

    private:
        uint8_t m_color = 255;
        uint16_t m_frequency = 0xFFFF;
        uint8_t m_powerRx = 255;
        uint16_t m_cellId = 0;
        uint16_t m_locationAreaCode = 0;
        bool m_cellIdSet = false;
        bool m_locationAreaCodeSet = false;
    };

    VomuElementGSM();
    VomuElementGSM(const VomuElementGSM &) = default;
    VomuElementGSM &operator=(const VomuElementGSM &) = default;

    uint16_t countryCode() const { return m_countryCode; }
    uint16_t networkId() const { return m_networkId; }
    uint16_t locationAreaCode() const { return m_locationAreaCode; }
    uint16_t cellId() const { return m_cellId; }
    uint8_t powerRx() const { return m_powerRx; }
    uint8_t timingAdvance() const { return m_timingAdvance; }
    bool locationAreaCodeSet() const { return m_locationAreaCodeSet; }
    bool cellIdSet() const { return m_cellIdSet; }
    bool timingAdvanceSet() const { return m_timingAdvanceSet; }

    void setCountryCode(uint16_t countryCode) { m_countryCode = countryCode; }
    void setNetworkId(uint16_t networkId) { m_networkId = networkId; }
    void setLocationAreaCode(uint16_t locationAreaCode);
    void setCellId(uint16_t cellId);
    void setPowerRx(uint8_t powerRx) { m_powerRx = powerRx; }
    void setTimingAdvance(uint8_t timingAdvance);

    int neighbourCellCount() const { return static_cast<int>(m_neighbours.size()); }
    // A default (all not set) record for an index outside the list.
    NeighbourCell neighbourCell(int index) const;
    void appendNeighbourCell(const NeighbourCell &cell) { m_neighbours.push_back(cell); }
    void clearNeighbourCells() { m_neighbours.clear(); }

    // GSM RXLEV (0..63) of a received power in dBm; 255 for NaN.
    static uint8_t rxLevelFromDbm(double dbm);

    VomuObservationElement *clone() const override;
    bool internalize(const std::string &xml) override;

private:
    uint16_t m_countryCode = 0xFFFF;
    uint16_t m_networkId = 0xFFFF;
    uint16_t m_locationAreaCode = 0;
    uint16_t m_cellId = 0;
    uint8_t m_powerRx = 255;
    uint8_t m_timingAdvance = 0;
    bool m_locationAreaCodeSet = false;
    bool m_cellIdSet = false;
    bool m_timingAdvanceSet = false;
    std::vector<NeighbourCell> m_neighbours;
};
