#pragma once

#include "RadioPathLoss.h"
#include "RadioWorld.h"
#include "VomuMeasurements.h"
#include "VomuObservationElement.h"

#include <memory>
#include <vector>

// What a phone standing at one place of a world hears. Levels come from the
// path-loss model of each radio kind and are quantised with the measurement
// types' own level conversions, so they always lie within the library's
// reporting ranges:
// - the serving cell is the strongest cell heard at or above its kind's
//   sensitivity (GSM received power and WCDMA CPICH RSCP compared in dBm);
//   its neighbours are the strongest other cells of the same kind, at most
//   maxReported of them.
//   GSM: RXLEV of the serving cell and each neighbour (BSIC, BCCH), timing
//   advance from the distance (553.5 m per step, at most 63).
//   WCDMA: the first neighbour record is the serving cell's own measurement
//   (with its UC-ID), then the neighbours (scrambling code and UARFCN only).
//   Each record carries RSCP, the carrier RSSI of its UARFCN (thermal noise
//   of -100 dBm plus every cell's total power, taken 10 dB above its CPICH),
//   Ec/N0 = RSCP - RSSI and the path loss CPICH power - RSCP.
// - the access points heard at or above the WLAN sensitivity, strongest
//   first, at most maxReported, with received and transmit power in dBm.
class RadioSurvey
{
public:
    explicit RadioSurvey(RadioWorld world);

    const RadioWorld &world() const { return m_world; }

    bool hasCoverage(const RadioGeoPoint &at) const;
    // The serving cell with its neighbours, or null without coverage.
    std::unique_ptr<VomuObservationElement> servingCell(const RadioGeoPoint &at, long timestamp) const;
    // One VomuElementWLAN per access point heard.
    VomuMeasurements accessPoints(const RadioGeoPoint &at, long timestamp) const;

private:
    struct Heard
    {
        size_t index; // into the world's list of that kind
        double dbm;
    };

    std::vector<Heard> heardGsm(const RadioGeoPoint &at) const;
    std::vector<Heard> heardWcdma(const RadioGeoPoint &at) const;
    std::vector<Heard> heardAccessPoints(const RadioGeoPoint &at) const;
    std::unique_ptr<VomuObservationElement> gsmElement(const std::vector<Heard> &heard, const RadioGeoPoint &at,
                                                       long timestamp) const;
    std::unique_ptr<VomuObservationElement> wcdmaElement(const std::vector<Heard> &heard, const RadioGeoPoint &at,
                                                         long timestamp) const;
    double carrierRssiDbm(uint16_t uarfcnDl, const RadioGeoPoint &at) const;

    RadioWorld m_world;
    RadioPathLoss m_gsmLoss;
    RadioPathLoss m_wcdmaLoss;
    RadioPathLoss m_wlanLoss;
    std::vector<uint64_t> m_gsmKeys;
    std::vector<uint64_t> m_wcdmaKeys;
    std::vector<uint64_t> m_accessPointKeys;
};
