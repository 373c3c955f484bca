#pragma once

#include "RadioMeasurements.h"

#include <QObject>

// Hands finished WLAN scans back through the library's callback, from the
// event loop of the thread this object lives in, after the scan's delay.
// Scans still pending when the scanner is destroyed are dropped.
class RadioWlanScanner : public QObject
{
    Q_OBJECT

public:
    explicit RadioWlanScanner(QObject *parent = nullptr);

    void deliverLater(RadioMeasurements::WlanScanCallback callback, void *context, const VomuMeasurements &result,
                      int delayMs);
};
