#pragma once

#include "VomuMeasurements.h"

#include <QGeoPositionInfo>
#include <QGeoPositionInfoSource>
#include <QObject>
#include <QTimer>

// Gathers one cycle of radio measurements on request: the serving and
// neighbour cells from the measurement library and, when asked for and not
// done too recently, an asynchronous WLAN scan. Each cycle ends with
// measurementsAvailable: at once when no scan is needed, otherwise when the
// scan's result arrives or after a 5-second time-out with the cell data only.
// A scan result that comes after its time-out is still appended to the
// current measurements and announced again.
//
// It also switches the platform's active positioning on and off; the fixes
// themselves reach the daemon through the positioning daemon's broadcasts.
//
// With "--sbox" among the application's arguments it returns fixed test
// measurements (one WCDMA cell with one neighbour, one access point) without
// calling the library.
class FpcMeasurementCollector : public QObject
{
    Q_OBJECT

public:
    static constexpr int WlanScanTimeoutMs = 5000;

    explicit FpcMeasurementCollector(QObject *parent = nullptr);
    ~FpcMeasurementCollector() override;

    void collectMeasurements(bool needWlan);
    void startActiveGpsFixes();
    void stopActiveGpsFixes();
    bool isActiveGpsRunning() const { return m_positionSource != nullptr; }
    // Milliseconds since the epoch when the last WLAN scan result (or its
    // time-out) was handled; 0 before the first.
    qint64 lastWlanScanTime() const { return m_lastWlanScanTime; }

    void getCellMeasurements();
    void getWlanMeasurements();
    void onWlanScanFinished();

    // Handed to RadioMeasurements::wlanWemScan with the collector as context.
    // A result for a collector that no longer exists is dropped.
    static void wlanScanResultCallback(void *context, VomuMeasurements result);

signals:
    void measurementsAvailable(const VomuMeasurements &measurements);

public slots:
    void positionUpdated(const QGeoPositionInfo &info);
    void updateTimeout();
    void wlanScanResultTimeout();

private slots:
    void positionError(QGeoPositionInfoSource::Error error);

private:
    friend class TstFpcMeasurementCollector;

    static bool isSandbox();
    void appendWlanResult(const VomuMeasurements &result);
    void announce();

    QGeoPositionInfoSource *m_positionSource = nullptr;
    QTimer m_wlanScanTimer;
    qint64 m_lastWlanScanTime = 0;
    VomuMeasurements m_measurements;
};
