#pragma once

#include "VomuMeasurements.h"

// The measurement library's entry points. On a real phone they are served by
// the backend its provider installs (RadioBackend); otherwise by a simulated
// radio environment (RadioEnvironment): a world file
// places GSM and WCDMA cells and WLAN access points on the map, and the
// phone's position in it follows the positioning daemon. Without a world
// file there is no coverage and no access point.
//
// All three operations belong to the thread that runs the application's
// event loop; scan results are delivered there.
class RadioMeasurements
{
public:
    // Receives a finished WLAN scan: the context given to wlanWemScan and one
    // VomuElementWLAN per access point (possibly none).
    typedef void (*WlanScanCallback)(void *context, VomuMeasurements result);

    // True when cell measurements can be read now, i.e. the phone hears at
    // least one cell. modem selects the modem; 0 is the only one.
    static bool mobileMeasurementsValid(int modem);

    // Appends the serving cell (a VomuElementGSM or VomuElementWCDMA with its
    // neighbours); false, appending nothing, without coverage.
    static bool getMobileMeasurements(VomuMeasurements &measurements);

    // Starts a WLAN scan and returns at once; callback(context, result) runs
    // later from the event loop, after the world's scan delay (or never, when
    // the world says so). Returns 0 when the scan was started, -1 when it
    // cannot be (null callback, no application event loop).
    static int wlanWemScan(WlanScanCallback callback, void *context);
};
