#pragma once

#include <cmath>
#include <cstdint>

// Conversion of a physical value to a saturating reporting level: the value
// is floored, shifted by offset and clamped to min..max. NaN gives 255, the
// not-set marker of every level.
class VomuLevels
{
public:
    static uint8_t saturated(double value, int offset, int min, int max)
    {
        if (std::isnan(value))
            return 255;
        const double level = std::floor(value) + offset;
        if (level < min)
            return static_cast<uint8_t>(min);
        if (level > max)
            return static_cast<uint8_t>(max);
        return static_cast<uint8_t>(level);
    }
};
