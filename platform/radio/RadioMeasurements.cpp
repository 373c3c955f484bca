#include "RadioMeasurements.h"

#include "RadioBackend.h"
#include "RadioEnvironment.h"

bool RadioMeasurements::mobileMeasurementsValid(int modem)
{
    if (modem != 0)
        return false;
    if (RadioBackend *backend = RadioBackend::installed())
        return backend->mobileMeasurementsValid();
    return RadioEnvironment::instance().cellsAvailable();
}

bool RadioMeasurements::getMobileMeasurements(VomuMeasurements &measurements)
{
    if (RadioBackend *backend = RadioBackend::installed())
        return backend->appendServingCell(measurements);
    return RadioEnvironment::instance().appendServingCell(measurements);
}

int RadioMeasurements::wlanWemScan(WlanScanCallback callback, void *context)
{
    if (RadioBackend *backend = RadioBackend::installed())
        return callback && backend->startWlanScan(callback, context) ? 0 : -1;
    return RadioEnvironment::instance().startWlanScan(callback, context) ? 0 : -1;
}
