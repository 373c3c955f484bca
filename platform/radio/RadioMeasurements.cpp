#include "RadioMeasurements.h"

#include "RadioEnvironment.h"

bool RadioMeasurements::mobileMeasurementsValid(int modem)
{
    return modem == 0 && RadioEnvironment::instance().cellsAvailable();
}

bool RadioMeasurements::getMobileMeasurements(VomuMeasurements &measurements)
{
    return RadioEnvironment::instance().appendServingCell(measurements);
}

int RadioMeasurements::wlanWemScan(WlanScanCallback callback, void *context)
{
    return RadioEnvironment::instance().startWlanScan(callback, context) ? 0 : -1;
}
