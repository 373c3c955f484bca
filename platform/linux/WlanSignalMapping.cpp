#include "WlanSignalMapping.h"

#include <cmath>

std::optional<int8_t> WlanSignalMapping::fromNetworkManagerStrength(qint64 strengthPercent)
{
    if (strengthPercent < 0 || strengthPercent > 100)
        return std::nullopt;
    return int8_t(std::lround(-100.0 + 0.6 * double(strengthPercent)));
}

std::optional<int8_t> WlanSignalMapping::fromSupplicantSignal(qint64 dbm)
{
    if (dbm < -128 || dbm > 0)
        return std::nullopt;
    return int8_t(dbm);
}
