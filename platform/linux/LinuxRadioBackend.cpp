#include "LinuxRadioBackend.h"

#include "ModemCells.h"
#include "NmWlanScanner.h"
#include "SupplicantWlanScanner.h"

#include <QCoreApplication>

LinuxRadioBackend::LinuxRadioBackend(WlanSource wlanSource) : m_wlanSource(wlanSource) {}

LinuxRadioBackend::~LinuxRadioBackend()
{
    delete m_wlanScanner.data();
}

WlanScanner *LinuxRadioBackend::wlanScanner()
{
    if (!m_wlanScanner) {
        if (m_wlanSource == WlanSource::Supplicant)
            m_wlanScanner = new SupplicantWlanScanner(QCoreApplication::instance());
        else
            m_wlanScanner = new NmWlanScanner(QCoreApplication::instance());
    }
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
