#pragma once

#include "RadioMeasurements.h"

// What serves RadioMeasurements' entry points. Without an installed backend
// the simulated radio environment answers; a real phone's provider installs
// its own at start-up (one at a time, kept for the life of the process).
class RadioBackend
{
public:
    virtual ~RadioBackend() = default;

    virtual bool mobileMeasurementsValid() = 0;
    virtual bool appendServingCell(VomuMeasurements &measurements) = 0;
    // True when the scan was started; the callback then runs later on the
    // event loop's thread.
    virtual bool startWlanScan(RadioMeasurements::WlanScanCallback callback, void *context) = 0;

    // Takes ownership; null goes back to the simulated environment.
    static void install(RadioBackend *backend);
    static RadioBackend *installed();
};
