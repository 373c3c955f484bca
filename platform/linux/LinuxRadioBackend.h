#pragma once

#include "RadioBackend.h"

#include <QPointer>

class NmWlanScanner;

// Radio measurements of a real phone: cells from ModemManager, WLAN scans
// through NetworkManager.
class LinuxRadioBackend : public RadioBackend
{
public:
    ~LinuxRadioBackend() override;

    bool mobileMeasurementsValid() override;
    bool appendServingCell(VomuMeasurements &measurements) override;
    bool startWlanScan(RadioMeasurements::WlanScanCallback callback, void *context) override;

    NmWlanScanner *wlanScanner();

private:
    QPointer<NmWlanScanner> m_wlanScanner;
};
