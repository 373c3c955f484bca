#include "RadioPathLoss.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kEarthRadiusM = 6371009.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

uint64_t mix(uint64_t value)
{
    // splitmix64 finaliser: every input bit reaches every output bit.
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// Uniform in (0, 1].
double unitInterval(uint64_t bits)
{
    return (double(bits >> 11) + 1.0) * (1.0 / 9007199254740992.0);
}

} // namespace

RadioPathLoss::RadioPathLoss(const RadioPropagation &propagation, uint64_t seed)
    : m_propagation(propagation), m_seed(seed)
{}

double RadioPathLoss::receivedPowerDbm(double txPowerDbm, const RadioGeoPoint &transmitter, uint64_t transmitterKey,
                                       const RadioGeoPoint &receiver) const
{
    return txPowerDbm - pathLossDb(transmitter, transmitterKey, receiver);
}

double RadioPathLoss::pathLossDb(const RadioGeoPoint &transmitter, uint64_t transmitterKey,
                                 const RadioGeoPoint &receiver) const
{
    const double distance = std::max(1.0, distanceMeters(transmitter, receiver));
    const double atOneMetre = 20.0 * std::log10(m_propagation.frequencyMHz) - 27.55;
    const double loss = atOneMetre + 10.0 * m_propagation.exponent * std::log10(distance)
                        + m_propagation.shadowingSigmaDb * shadowing(transmitter, transmitterKey, receiver);
    // Nothing is received louder than it was sent.
    return std::max(0.0, loss);
}

double RadioPathLoss::distanceMeters(const RadioGeoPoint &a, const RadioGeoPoint &b)
{
    const double dLat = (b.latitude - a.latitude) * kDegree;
    const double dLon = (b.longitude - a.longitude) * kDegree;
    const double h =
        std::sin(dLat / 2) * std::sin(dLat / 2)
        + std::cos(a.latitude * kDegree) * std::cos(b.latitude * kDegree) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2.0 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(h)));
}

uint64_t RadioPathLoss::keyOf(const QString &identity)
{
    uint64_t hash = 0xCBF29CE484222325ull;
    for (const char byte : identity.toUtf8()) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

double RadioPathLoss::shadowing(const RadioGeoPoint &transmitter, uint64_t transmitterKey,
                                const RadioGeoPoint &receiver) const
{
    if (m_propagation.shadowingSigmaDb <= 0.0)
        return 0.0;
    // Local metres east and north of the transmitter, in grid units.
    const double east = (receiver.longitude - transmitter.longitude) * kDegree * kEarthRadiusM
                        * std::cos(transmitter.latitude * kDegree);
    const double north = (receiver.latitude - transmitter.latitude) * kDegree * kEarthRadiusM;
    const double x = east / m_propagation.shadowingGridM;
    const double y = north / m_propagation.shadowingGridM;
    const double column = std::floor(x);
    const double row = std::floor(y);
    const double fx = x - column;
    const double fy = y - row;
    const auto c = static_cast<int64_t>(column);
    const auto r = static_cast<int64_t>(row);

    const double weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
    const double values[4] = {cornerValue(transmitterKey, c, r), cornerValue(transmitterKey, c + 1, r),
                              cornerValue(transmitterKey, c, r + 1), cornerValue(transmitterKey, c + 1, r + 1)};
    double sum = 0.0;
    double squares = 0.0;
    for (int i = 0; i < 4; ++i) {
        sum += weights[i] * values[i];
        squares += weights[i] * weights[i];
    }
    // Blending independent corners shrinks the variance between them; scale
    // it back so the field has unit variance everywhere.
    return sum / std::sqrt(squares);
}

double RadioPathLoss::cornerValue(uint64_t transmitterKey, int64_t column, int64_t row) const
{
    uint64_t bits = mix(m_seed ^ mix(transmitterKey));
    bits = mix(bits ^ static_cast<uint64_t>(column));
    bits = mix(bits ^ static_cast<uint64_t>(row));
    // Box-Muller: a standard normal value from two uniform ones.
    const double u1 = unitInterval(bits);
    const double u2 = unitInterval(mix(bits));
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}
