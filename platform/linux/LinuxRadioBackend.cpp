#include "LinuxRadioBackend.h"

#include "ModemCells.h"
#include "NmWlanScanner.h"

#include <QCoreApplication>

LinuxRadioBackend::~LinuxRadioBackend()
{
    delete m_wlanScanner.data();
}

NmWlanScanner *LinuxRadioBackend::wlanScanner()
{
    if (!m_wlanScanner)
        m_wlanScanner = new NmWlanScanner(QCoreApplication::instance());
    return m_wlanScanner;
}

bool LinuxRadioBackend::mobileMeasurementsValid()
{
    return ModemCells::available();
}

bool LinuxRadioBackend::appendServingCell(VomuMeasurements &measurements)
{
    return ModemCells::appendServingCell(measurements);
}

bool LinuxRadioBackend::startWlanScan(RadioMeasurements::WlanScanCallback callback, void *context)
{
    return wlanScanner()->startScan(callback, context);
}
