#include "FpcPosition.h"

#include <QDebug>
#include <QString>

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kEarthRadiusMetres = 6371009.0;
constexpr double kDegreesToRadians = M_PI / 180.0;
// Milliseconds from 0000-01-01 00:00 UTC to the Unix epoch.
constexpr qint64 kYearZeroToEpochMSecs = 62167219200000LL;

void info(const QString &text)
{
    qDebug().noquote() << "[INFO]" << text;
}

// floor(value / range * 2^31), saturated to the signed 32-bit range.
qint32 normalized(double value, double range)
{
    const double scaled = std::floor(value / range * 2147483648.0);
    if (scaled >= 2147483647.0)
        return std::numeric_limits<qint32>::max();
    if (scaled <= -2147483648.0)
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(scaled);
}

} // namespace

FpcPosition::FpcPosition() : majorAxis(kNaN), minorAxis(kNaN) {}

FpcPosition::~FpcPosition() = default;

void FpcPosition::setDatumId(VomuDatum datum)
{
    VomuPosition::setDatumId(datum);
}

void FpcPosition::externalize(std::string &out) const
{
    VomuPosition::externalize(out);
}

bool FpcPosition::internalize(const std::string &xml)
{
    return VomuPosition::internalize(xml);
}

void FpcPosition::setUncertaintyEllipse(quint8 offsetAngle, double major, double minor)
{
    m_offsetAngle = offsetAngle;
    majorAxis = major;
    minorAxis = minor;
}

QDateTime FpcPosition::dateTime() const
{
    QDateTime result = QDateTime::fromSecsSinceEpoch(timestamp(), Qt::UTC);
    if (timestampMicroseconds() != 0)
        result = result.addMSecs(timestampMicroseconds() / 1000);
    return result;
}

quint64 FpcPosition::gpsTimeMSecs() const
{
    if (timestamp() == 0)
        return 0;
    qint64 msecs = 0;
    if (__builtin_mul_overflow(static_cast<qint64>(timestamp()), qint64(1000), &msecs)
        || __builtin_add_overflow(msecs, kYearZeroToEpochMSecs + timestampMicroseconds() / 1000, &msecs) || msecs < 0) {
        qDebug() << "FpcPosition::gpsTimeMSecs() timestamp out of range:" << timestamp();
        return 0;
    }
    return static_cast<quint64>(msecs);
}

double FpcPosition::distanceTo(const FpcPosition &other) const
{
    const double lat1 = latitude() * kDegreesToRadians;
    const double lat2 = other.latitude() * kDegreesToRadians;
    const double dLat = lat2 - lat1;
    const double dLon = (other.longitude() - longitude()) * kDegreesToRadians;
    const double sinLat = std::sin(dLat / 2);
    const double sinLon = std::sin(dLon / 2);
    double a = sinLat * sinLat + std::cos(lat1) * std::cos(lat2) * sinLon * sinLon;
    // Rounding can push a a hair past 1 for antipodal points; an undefined
    // coordinate must stay NaN rather than be clamped into a distance.
    if (a > 1.0)
        a = 1.0;
    return 2 * std::atan2(std::sqrt(a), std::sqrt(1 - a)) * kEarthRadiusMetres;
}

qint16 FpcPosition::altitudeInt16() const
{
    const double value = altitude();
    if (std::isnan(value) || value >= 32767.0)
        return 32767;
    if (value <= -32768.0)
        return -32768;
    return static_cast<qint16>(std::floor(value + 0.5));
}

bool FpcPosition::isValid() const
{
    if (latitude() < -90 || latitude() > 90) {
        qDebug() << "FpcPosition::isValid() Latitude out of range (-90 - 90):" << latitude();
        return false;
    }
    if (longitude() < -180 || longitude() > 180) {
        qDebug() << "FpcPosition::isValid() Longitude out of range (-180 - 180):" << longitude();
        return false;
    }
    return true;
}

qint32 FpcPosition::latitudeNormalized() const
{
    if (std::isnan(latitude())) {
        qDebug() << "FpcPosition::latitudeNormalized() ERROR: latitude not defined";
        return 0;
    }
    const qint32 result = normalized(latitude(), 90.0);
    qDebug() << "FpcPosition::latitudeNormalized() latitude:" << result;
    return result;
}

qint32 FpcPosition::longitudeNormalized() const
{
    if (std::isnan(longitude())) {
        qDebug() << "FpcPosition::longitudeNormalized() ERROR: longitude not defined";
        return 0;
    }
    const qint32 result = normalized(longitude(), 180.0);
    qDebug() << "FpcPosition::longitudeNormalized() longitude:" << result;
    return result;
}

quint8 FpcPosition::uncertainty() const
{
    quint8 mask = 0;
    if (gpsTimeMSecs() != 0)
        mask |= 1;
    else
        qDebug() << "FpcPosition::uncertainty() GPS time not present";

    if (!std::isnan(horizontalAccuracy())) {
        mask |= 2;
        qDebug() << "FpcPosition::uncertainty() CEP68 present";
    } else if (!std::isnan(majorAxis) && !std::isnan(minorAxis) && m_offsetAngle <= 180) {
        qDebug() << "FpcPosition::uncertainty() Confidence ellipse present";
    } else {
        qDebug() << "FpcPosition::uncertainty() ERROR: CEP68 is not defined"
                 << "nor all of the uncertainty ellipse values.";
        qDebug() << "FpcPosition::uncertainty() Bit 1 will be set off. This"
                 << "indicates that uncertainty ellipse is defined, which"
                 << "it isn't.";
    }

    if (std::isnan(altitude()))
        qDebug() << "FpcPosition::uncertainty() Altitude not present";
    else if (std::isnan(altitudeAccuracy()))
        qDebug() << "FpcPosition::uncertainty() Altitude accuracy not present";
    else
        mask |= 4;

    qDebug().noquote() << "FpcPosition::uncertainty() return (bits):" << QString::number(mask, 2);
    return mask;
}

float FpcPosition::cep68() const
{
    qDebug() << "FpcPosition::cep68() <-";
    float result = horizontalAccuracy();
    if (std::isnan(result)) {
        qDebug() << "FpcPosition::cep68() cep68 not defined."
                 << "Calculating cep68 from 1-sigma ellipse.";
        if (std::isnan(majorAxis))
            qDebug() << "FpcPosition::cep68() Major axis not defined.";
        else if (std::isnan(minorAxis))
            qDebug() << "FpcPosition::cep68() Minor axis not defined.";
        else
            result = static_cast<float>((majorAxis + minorAxis) * 0.7548);
    }
    qDebug() << "FpcPosition::cep68() ->";
    return result;
}

quint8 FpcPosition::kValue(double metres)
{
    qDebug() << "FpcPosition::kValue() from value:" << metres;
    if (std::isnan(metres)) {
        qDebug() << "FpcPosition::kValue() Value is not a number - return 0";
        return 0;
    }
    const double k = std::floor(std::log(1 + metres / 5) / std::log(1.02) + 0.5);
    quint8 result = 0;
    if (k > 255)
        result = 255;
    else if (k > 0) // false for negative and NaN results
        result = static_cast<quint8>(k);
    qDebug() << "FpcPosition::kValue() return:" << result;
    return result;
}

quint8 FpcPosition::majorAxisK() const
{
    return kValue(majorAxis);
}

quint8 FpcPosition::minorAxisK() const
{
    return kValue(minorAxis);
}

quint8 FpcPosition::altitudeAccuracyK() const
{
    return kValue(altitudeAccuracy());
}

quint8 FpcPosition::cep68K() const
{
    return kValue(cep68());
}

void FpcPosition::print() const
{
    info(QStringLiteral("FpcPosition ["));
    info(QStringLiteral("\t FP ts: ") + dateTime().toString(Qt::ISODateWithMs));
    info(QStringLiteral("\t Latitude: ") + QString::number(latitude(), 'f', 10));
    info(QStringLiteral("\t Longitude: ") + QString::number(longitude(), 'f', 10));
    info(QStringLiteral("\t Horz. acc: ") + QString::number(horizontalAccuracy()) + QStringLiteral("m"));
    info(QStringLiteral("\t Altitude: ") + QString::number(altitude()) + QStringLiteral("m"));
    info(QStringLiteral("\t Alt. acc: ") + QString::number(altitudeAccuracy()));
    if (!std::isnan(majorAxis))
        info(QStringLiteral("\t Major axis: ") + QString::number(majorAxis));
    if (!std::isnan(minorAxis))
        info(QStringLiteral("\t Minor axis: ") + QString::number(minorAxis));
    info(QStringLiteral("\t Offset angle: ") + QString::number(m_offsetAngle));
    info(QStringLiteral("\t Ground speed: ") + QString::number(m_groundSpeed) + QStringLiteral("km\"h"));
    info(QStringLiteral("/ FpcPosition ]"));
}
