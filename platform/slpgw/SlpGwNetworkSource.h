#pragma once

#include "SlpGwSettings.h"

// Where the gateway learns which network it has. Without an installed
// source the development configuration says it (SlpGwSettings::network); a
// real phone's provider installs one that asks the system's network
// services. One at a time, kept for the life of the process.
class SlpGwNetworkSource
{
public:
    virtual ~SlpGwNetworkSource() = default;
    virtual SlpGwNetwork currentNetwork() = 0;

    // Takes ownership; null goes back to the configuration.
    static void install(SlpGwNetworkSource *source);
    static SlpGwNetworkSource *installed();
};
