#pragma once

#include "WlanScanner.h"

#include <QList>
#include <QString>

// WLAN scans through wpa_supplicant's first interface: Interface.Scan, then,
// on its ScanDone signal, one VomuElementWLAN per entry of the interface's
// BSSs list (BSSID and Signal in dBm). A successful ScanDone while no scan of
// ours waits is another program's scan (foreignScan()). The interface is
// looked up afresh for every scan, so a restarted wpa_supplicant or an
// interface added later is found.
class SupplicantWlanScanner : public WlanScanner
{
    Q_OBJECT

public:
    explicit SupplicantWlanScanner(QObject *parent = nullptr);

    bool follow() override;
    bool startScan(RadioMeasurements::WlanScanCallback callback, void *context) override;
    QString interfaceName() override;
    // The access points wpa_supplicant knows now.
    VomuMeasurements accessPoints();

private slots:
    void onScanDone(bool success);

private:
    struct Waiting
    {
        RadioMeasurements::WlanScanCallback callback;
        void *context;
    };

    QString findInterface();
    void watch(const QString &interfacePath);
    void requestScan(const QString &interfacePath);
    void deliver(const VomuMeasurements &result);
    static bool appendAccessPoint(const QString &path, VomuMeasurements &result);

    QString m_watchedPath;
    QList<Waiting> m_waiting;
};
