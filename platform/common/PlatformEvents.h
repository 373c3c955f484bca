#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>

// Events a platform provider observes on its own and hands to the daemon in
// the shapes of the peer daemons' broadcasts, so that the daemon treats them
// exactly like those: WLAN search states as the connectivity daemon's
// "state_sig" (bearer type, state) and fixes as the positioning daemon's
// "positionMessage" (its fourteen fields, in order and type). The simulated
// world emits nothing here; its peers broadcast on the bus.
class PlatformEvents : public QObject
{
    Q_OBJECT

public:
    // Null until an application object exists.
    static PlatformEvents *instance();

signals:
    void wlanSearchState(const QString &bearerType, uint state);
    void passiveFix(const QVariantList &fields);

private:
    explicit PlatformEvents(QObject *parent);
};
