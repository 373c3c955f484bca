#pragma once

#include "SimPeer.h"

// The device-state daemon: announces device shutdown with "shutdown_ind"
// (no arguments) on interface "com.vexlo.hesk.signal".
class DeviceStateSim : public SimPeer
{
    Q_OBJECT

public:
    static const QString DefaultObjectPath;
    static const QString InterfaceName;

    explicit DeviceStateSim(const QDBusConnection &bus, QObject *parent = nullptr);

    // Broadcasts "shutdown_ind" now; empty on success, otherwise why not.
    QString sendShutdown(const QString &path = DefaultObjectPath);
};
