#pragma once

#include "RadioWorld.h"

#include <QString>

#include <cstdint>

// Log-distance path loss with log-normal shadowing, deterministic for a seed:
//
//   loss(d) = FSPL(1 m, f) + 10 * exponent * log10(max(d, 1 m)) + sigma * S(x, y)
//
// FSPL(1 m, f) = 20 log10(f / MHz) - 27.55 dB. S is a unit-variance field
// drawn per transmitter from the seed on a square grid (spacing
// shadowingGridM, in metres east and north of the transmitter) and blended
// bilinearly between grid corners, so the shadowing changes smoothly along a
// route and is the same whenever the phone returns to a place.
class RadioPathLoss
{
public:
    RadioPathLoss(const RadioPropagation &propagation, uint64_t seed);

    // Received power in dBm at receiver from a transmitter of txPowerDbm at
    // transmitter; transmitterKey tells transmitters apart for the shadowing.
    double receivedPowerDbm(double txPowerDbm, const RadioGeoPoint &transmitter, uint64_t transmitterKey,
                            const RadioGeoPoint &receiver) const;
    double pathLossDb(const RadioGeoPoint &transmitter, uint64_t transmitterKey, const RadioGeoPoint &receiver) const;

    // Great-circle distance in metres (sphere of radius 6371009 m).
    static double distanceMeters(const RadioGeoPoint &a, const RadioGeoPoint &b);
    // A stable 64-bit key of a transmitter identity text (FNV-1a).
    static uint64_t keyOf(const QString &identity);

private:
    double shadowing(const RadioGeoPoint &transmitter, uint64_t transmitterKey, const RadioGeoPoint &receiver) const;
    double cornerValue(uint64_t transmitterKey, int64_t column, int64_t row) const;

    RadioPropagation m_propagation;
    uint64_t m_seed;
};
