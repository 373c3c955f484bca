#include "RadioPhonePosition.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDebug>

#include <cmath>

const QString RadioPhonePosition::ServiceName = QStringLiteral("com.vexlo.positioningd.vomu");
const QString RadioPhonePosition::ObjectPath = QStringLiteral("/com/vexlo/positioningd/vomu");
const QString RadioPhonePosition::InterfaceName = QStringLiteral("com.vexlo.positioningd.vomu");

namespace {

const char *positionSlot()
{
    return SLOT(positionMessage(double, double, double, double, double, uchar, ushort, ushort, ushort, uchar, uchar,
                                uchar, uchar, ushort));
}

} // namespace

RadioPhonePosition::RadioPhonePosition(QObject *parent) : QObject(parent) {}

RadioPhonePosition::~RadioPhonePosition()
{
    stopFollowing();
}

bool RadioPhonePosition::follow(const QDBusConnection &bus)
{
    if (isFollowing() && m_busName == bus.name())
        return true;
    stopFollowing();
    if (!bus.isConnected()) {
        qWarning() << "RadioPhonePosition::follow() bus not connected; the phone stays where it is";
        return false;
    }
    QDBusConnection connection = bus;
    if (!connection.connect(ServiceName, ObjectPath, InterfaceName, QStringLiteral("positionMessage"), this,
                            positionSlot())) {
        qWarning() << "RadioPhonePosition::follow() cannot subscribe to positionMessage:"
                   << connection.lastError().message();
        return false;
    }
    m_busName = bus.name();
    return true;
}

void RadioPhonePosition::stopFollowing()
{
    if (!isFollowing())
        return;
    QDBusConnection(m_busName).disconnect(ServiceName, ObjectPath, InterfaceName, QStringLiteral("positionMessage"),
                                          this, positionSlot());
    m_busName.clear();
}

void RadioPhonePosition::reset(const std::optional<RadioGeoPoint> &start)
{
    m_position = start;
}

void RadioPhonePosition::positionMessage(double lat, double lon, double, double, double, uchar, ushort, ushort, ushort,
                                         uchar, uchar, uchar, uchar, ushort)
{
    if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0 || std::fabs(lon) > 180.0) {
        qWarning() << "RadioPhonePosition::positionMessage() fix ignored, coordinates out of range:" << lat << lon;
        return;
    }
    m_position = RadioGeoPoint{lat, lon};
    emit positionChanged(lat, lon);
}
