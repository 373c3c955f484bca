#pragma once

#include "RadioMeasurements.h"

#include <QObject>
#include <QString>

// A WLAN service that scans for access points on the radio backend's behalf.
// Each caller of startScan() is answered once, by the next finished scan; a
// finished scan no caller waits for is another program's (foreignScan()).
class WlanScanner : public QObject
{
    Q_OBJECT

public:
    explicit WlanScanner(QObject *parent = nullptr);
    ~WlanScanner() override;

    // Starts following the service's scans (for foreignScan()); false
    // without a WLAN device.
    virtual bool follow() = 0;
    // False when there is no WLAN device (nothing is called back then).
    virtual bool startScan(RadioMeasurements::WlanScanCallback callback, void *context) = 0;
    // Kernel name of the WLAN device, empty without one.
    virtual QString interfaceName() = 0;

signals:
    void foreignScan();
};
