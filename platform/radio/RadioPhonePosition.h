#pragma once

#include "RadioWorld.h"

#include <QObject>
#include <QString>

#include <optional>

class QDBusConnection;

// Where the simulated phone is. It starts at the world's start position and
// moves with every valid "positionMessage" that the positioning daemon
// ("com.vexlo.positioningd.vomu") broadcasts on the bus it follows, so the
// radio environment measured along a route is the one of the route's places.
// Fixes with coordinates outside -90..90 / -180..180, or not finite, are
// logged and ignored.
class RadioPhonePosition : public QObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;
    static const QString InterfaceName;

    explicit RadioPhonePosition(QObject *parent = nullptr);
    ~RadioPhonePosition() override;

    // Subscribes to the positioning daemon's broadcasts on bus (once; a
    // second call with the same bus does nothing). False when the bus is not
    // connected or refuses the subscription.
    bool follow(const QDBusConnection &bus);
    void stopFollowing();
    bool isFollowing() const { return !m_busName.isEmpty(); }

    // Back to start (none: the position is unknown until a fix arrives).
    void reset(const std::optional<RadioGeoPoint> &start);
    const std::optional<RadioGeoPoint> &position() const { return m_position; }

public slots:
    // The positioning daemon's broadcast; only lat and lon are used.
    void positionMessage(double lat, double lon, double alt, double along, double ortho, uchar angle, ushort ualt,
                         ushort speed, ushort year, uchar day, uchar month, uchar hours, uchar minutes, ushort msecs);

signals:
    void positionChanged(double latitude, double longitude);

private:
    std::optional<RadioGeoPoint> m_position;
    QString m_busName; // the followed connection's name, empty when not following
};
