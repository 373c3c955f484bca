#pragma once

#include <optional>

// The battery as UPower's display device shows it (the one figure a desktop
// shows, summed over all batteries). No UPower, no display device, or a
// display device that is not a present battery: the phone runs on mains and
// nothing is returned, so no battery rule applies.
class UPowerBattery
{
public:
    // Percentage rounded to a whole number 0..100, or nothing.
    static std::optional<int> level();

private:
    static std::optional<int> percentFrom(double percentage);
};
