#include "VomuPosition.h"

#include "VomuXmlAttributes.h"
#include "VomuXmlText.h"

#include <QString>
#include <QXmlStreamWriter>

#include <climits>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();

void writeReal(QXmlStreamWriter &writer, const char *name, double value)
{
    if (!std::isnan(value))
        writer.writeAttribute(QLatin1String(name), QString::number(value, 'g', 17));
}

} // namespace

VomuPosition::VomuPosition()
    : m_latitude(kNaN), m_longitude(kNaN), m_altitude(kNaNf), m_horizontalAccuracy(kNaNf), m_altitudeAccuracy(kNaNf)
{}

VomuPosition::~VomuPosition() = default;

void VomuPosition::setCoordinate(double latitude, double longitude, float altitude)
{
    m_latitude = latitude;
    m_longitude = longitude;
    m_altitude = altitude;
}

void VomuPosition::setCoordinate(double latitude, double longitude)
{
    m_latitude = latitude;
    m_longitude = longitude;
}

void VomuPosition::setDatumId(VomuDatum datum)
{
    m_datum = datum;
}

void VomuPosition::externalize(std::string &out) const
{
    QString text;
    QXmlStreamWriter writer(&text);
    writer.writeStartElement(QStringLiteral("position"));
    writeReal(writer, "lat", m_latitude);
    writeReal(writer, "lon", m_longitude);
    writeReal(writer, "alt", m_altitude);
    writeReal(writer, "hAcc", m_horizontalAccuracy);
    writeReal(writer, "altAcc", m_altitudeAccuracy);
    writer.writeAttribute(QStringLiteral("timestamp"), QString::number(m_timestamp));
    writer.writeAttribute(QStringLiteral("usec"), QString::number(m_timestampMicroseconds));
    writer.writeAttribute(QStringLiteral("datum"), QString::number(static_cast<int>(m_datum)));
    writer.writeEndElement();
    out = text.toStdString();
}

bool VomuPosition::internalize(const std::string &xml)
{
    VomuXmlText::Node root;
    if (!VomuXmlText::parse(xml, "position", nullptr, root))
        return false;

    VomuXmlAttributes attributes(root.name, root.attributes);
    const double maxFloat = std::numeric_limits<float>::max();
    double latitude = kNaN, longitude = kNaN;
    double altitude = kNaN, horizontalAccuracy = kNaN, altitudeAccuracy = kNaN;
    uint64_t timestamp = 0, microseconds = 0, datum = VomuDatumWGS84;
    attributes.readReal("lat", -90.0, 90.0, latitude);
    attributes.readReal("lon", -180.0, 180.0, longitude);
    attributes.readReal("alt", -maxFloat, maxFloat, altitude);
    attributes.readReal("hAcc", 0.0, maxFloat, horizontalAccuracy);
    attributes.readReal("altAcc", 0.0, maxFloat, altitudeAccuracy);
    attributes.readUnsigned("timestamp", LONG_MAX, timestamp);
    attributes.readUnsigned("usec", 999999, microseconds);
    attributes.readUnsigned("datum", VomuDatumWGS84, datum);
    if (!attributes.ok())
        return false;

    m_latitude = latitude;
    m_longitude = longitude;
    m_altitude = static_cast<float>(altitude);
    m_horizontalAccuracy = static_cast<float>(horizontalAccuracy);
    m_altitudeAccuracy = static_cast<float>(altitudeAccuracy);
    m_timestamp = static_cast<long>(timestamp);
    m_timestampMicroseconds = static_cast<unsigned>(microseconds);
    setDatumId(static_cast<VomuDatum>(datum));
    return true;
}
