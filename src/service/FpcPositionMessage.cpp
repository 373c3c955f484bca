#include "FpcPositionMessage.h"

#include <cmath>
#include <limits>

namespace {

// Generated fixes: a place, its uncertainty and walking speed.
const double FakeLatitude = 61.4937;
const double FakeLongitude = 21.7975;
const double FakeAltitude = 1.0;
const double FakeAlongAxis = 11.21;
const double FakeOrthoAxis = 86.65;
const quint8 FakeAngle = 20;
const quint16 FakeAltitudeUncertainty = 63;
const quint16 FakeSpeed = 4;

bool isAxisUsable(double axis)
{
    return std::isnan(axis) || (std::isfinite(axis) && axis >= 0);
}

} // namespace

FpcPositionMessage FpcPositionMessage::fromArguments(const QVariantList &arguments)
{
    FpcPositionMessage m;
    if (arguments.size() != qsizetype(qstrlen(Signature)))
        return m;
    m.lat = arguments.at(0).toDouble();
    m.lon = arguments.at(1).toDouble();
    m.alt = arguments.at(2).toDouble();
    m.along = arguments.at(3).toDouble();
    m.ortho = arguments.at(4).toDouble();
    m.angle = quint8(arguments.at(5).toUInt());
    m.ualt = quint16(arguments.at(6).toUInt());
    m.speed = quint16(arguments.at(7).toUInt());
    m.year = quint16(arguments.at(8).toUInt());
    m.day = quint8(arguments.at(9).toUInt());
    m.month = quint8(arguments.at(10).toUInt());
    m.hours = quint8(arguments.at(11).toUInt());
    m.minutes = quint8(arguments.at(12).toUInt());
    m.msecs = quint16(arguments.at(13).toUInt());
    return m;
}

FpcPositionMessage FpcPositionMessage::generatedFix(const QDateTime &utc)
{
    const QDateTime time = utc.toUTC();
    FpcPositionMessage m;
    m.lat = FakeLatitude;
    m.lon = FakeLongitude;
    m.alt = FakeAltitude;
    m.along = FakeAlongAxis;
    m.ortho = FakeOrthoAxis;
    m.angle = FakeAngle;
    m.ualt = FakeAltitudeUncertainty;
    m.speed = FakeSpeed;
    m.year = quint16(time.date().year());
    m.day = quint8(time.date().day());
    m.month = quint8(time.date().month());
    m.hours = quint8(time.time().hour());
    m.minutes = quint8(time.time().minute());
    m.msecs = quint16(time.time().second() * 1000 + time.time().msec());
    return m;
}

QDateTime FpcPositionMessage::fixTime() const
{
    const QDate date(year, month, day);
    const QTime time(hours, minutes, msecs / 1000, msecs % 1000);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

QString FpcPositionMessage::problem() const
{
    if (std::isnan(lat) || std::isnan(lon))
        return QStringLiteral("coordinate not a number");
    if (std::isinf(lat) || std::isinf(lon))
        return QStringLiteral("coordinate infinite");
    if (std::isinf(alt) || std::abs(alt) > double(std::numeric_limits<float>::max()))
        return QStringLiteral("altitude out of range");
    if (!isAxisUsable(along) || !isAxisUsable(ortho))
        return QStringLiteral("uncertainty axis infinite or negative");
    if (!fixTime().isValid())
        return QStringLiteral("impossible GPS time");
    return QString();
}

FpcPosition FpcPositionMessage::toPosition() const
{
    FpcPosition position;
    position.setCoordinate(lat, lon, float(alt));
    position.setUncertaintyEllipse(angle, along, ortho);
    position.setAltitudeAccuracy(float(ualt));
    position.setGroundSpeed(speed);
    const QDateTime time = fixTime();
    if (time.isValid()) {
        position.setTimestamp(long(time.toSecsSinceEpoch()));
        position.setTimestampMicroseconds(unsigned(msecs % 1000) * 1000);
    }
    return position;
}
