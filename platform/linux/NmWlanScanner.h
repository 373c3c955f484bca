#pragma once

#include "WlanScanner.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

// WLAN scans through NetworkManager's first WLAN device: RequestScan, then,
// when the device's LastScan changes, one VomuElementWLAN per access point
// of its AccessPoints list (HwAddress and Strength). A LastScan change while
// no scan of ours waits is a scan another program caused: foreignScan() is
// emitted, and its results are there for the taking without a scan of our
// own. The device is looked up afresh for every scan, so a restarted
// NetworkManager or a WLAN device that comes later is found.
class NmWlanScanner : public WlanScanner
{
    Q_OBJECT

public:
    explicit NmWlanScanner(QObject *parent = nullptr);

    bool follow() override;
    bool startScan(RadioMeasurements::WlanScanCallback callback, void *context) override;
    // The access points NetworkManager knows now.
    VomuMeasurements accessPoints();
    QString interfaceName() override;

private slots:
    void onPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);

private:
    struct Waiting
    {
        RadioMeasurements::WlanScanCallback callback;
        void *context;
    };

    QString findWlanDevice();
    void watch(const QString &devicePath);
    void requestScan(const QString &devicePath);
    void deliver();
    static bool appendAccessPoint(const QString &path, VomuMeasurements &result);

    QString m_watchedPath;
    QList<Waiting> m_waiting;
};
