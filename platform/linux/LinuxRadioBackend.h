#pragma once

#include "RadioBackend.h"

#include <QPointer>

class WlanScanner;

// Radio measurements of a real phone: cells from ModemManager, WLAN scans
// through NetworkManager or wpa_supplicant.
class LinuxRadioBackend : public RadioBackend
{
public:
    enum class WlanSource { NetworkManager, Supplicant };

    explicit LinuxRadioBackend(WlanSource wlanSource = WlanSource::NetworkManager);
    ~LinuxRadioBackend() override;

    bool mobileMeasurementsValid() override;
    bool appendServingCell(VomuMeasurements &measurements) override;
    bool startWlanScan(RadioMeasurements::WlanScanCallback callback, void *context) override;

    WlanScanner *wlanScanner();

private:
    WlanSource m_wlanSource;
    QPointer<WlanScanner> m_wlanScanner;
};
