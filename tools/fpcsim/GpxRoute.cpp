#include "GpxRoute.h"

#include <QDateTime>
#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double DegToRad = M_PI / 180.0;

struct RawPoint
{
    double latitude = Nan;
    double longitude = Nan;
    double elevation = Nan;
    QDateTime time;
    qint64 line = 0;
};

QString atLine(qint64 line, const QString &text)
{
    return QStringLiteral("line %1: %2").arg(line).arg(text);
}

bool parseAngle(const QXmlStreamAttributes &attributes, const char *name, double limit, double *out)
{
    bool ok = false;
    const double value = attributes.value(QLatin1String(name)).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < -limit || value > limit)
        return false;
    *out = value;
    return true;
}

// Reads one trkpt/rtept element; the reader stands on its start tag and is
// left on its end tag.
bool readPoint(QXmlStreamReader &xml, RawPoint *point, QString *error)
{
    point->line = xml.lineNumber();
    const QString tag = xml.name().toString();
    if (!parseAngle(xml.attributes(), "lat", 90.0, &point->latitude)
        || !parseAngle(xml.attributes(), "lon", 180.0, &point->longitude)) {
        *error = atLine(point->line, QStringLiteral("%1 needs lat in -90..90 and lon in -180..180").arg(tag));
        return false;
    }
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("ele")) {
            bool ok = false;
            const QString text = xml.readElementText().trimmed();
            point->elevation = text.toDouble(&ok);
            if (!ok || !std::isfinite(point->elevation)) {
                *error = atLine(xml.lineNumber(), QStringLiteral("bad elevation \"%1\"").arg(text));
                return false;
            }
        } else if (xml.name() == QLatin1String("time")) {
            const QString text = xml.readElementText().trimmed();
            point->time = QDateTime::fromString(text, Qt::ISODateWithMs);
            if (!point->time.isValid()) {
                *error = atLine(xml.lineNumber(), QStringLiteral("bad time \"%1\"").arg(text));
                return false;
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    return !xml.hasError();
}

double lerp(double a, double b, double fraction)
{
    return a + (b - a) * fraction;
}

double normalizedLongitude(double lon)
{
    while (lon > 180.0)
        lon -= 360.0;
    while (lon < -180.0)
        lon += 360.0;
    return lon;
}

// Longitude step from a to b the short way round, so a segment across the
// antimeridian does not sweep the whole globe.
double longitudeDelta(double from, double to)
{
    double delta = to - from;
    if (delta > 180.0)
        delta -= 360.0;
    else if (delta < -180.0)
        delta += 360.0;
    return delta;
}

} // namespace

GpxRoute GpxRoute::fromGpx(const QByteArray &gpx, double fallbackSpeedKmh, QString *error)
{
    if (gpx.trimmed().isEmpty()) {
        *error = QStringLiteral("empty document");
        return {};
    }
    QXmlStreamReader xml(gpx);
    if (!xml.readNextStartElement()) {
        *error = xml.hasError() ? atLine(xml.lineNumber(), xml.errorString()) : QStringLiteral("empty document");
        return {};
    }
    if (xml.name() != QLatin1String("gpx")) {
        *error = QStringLiteral("not a GPX document (root element <%1>)").arg(xml.name());
        return {};
    }

    QVector<RawPoint> trackPoints;
    QVector<RawPoint> routePoints;
    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const bool isTrackPoint = xml.name() == QLatin1String("trkpt");
        if (!isTrackPoint && xml.name() != QLatin1String("rtept"))
            continue;
        RawPoint point;
        if (!readPoint(xml, &point, error)) {
            if (xml.hasError())
                *error = atLine(xml.lineNumber(), xml.errorString());
            return {};
        }
        (isTrackPoint ? trackPoints : routePoints).append(point);
    }
    if (xml.hasError()) {
        *error = atLine(xml.lineNumber(), xml.errorString());
        return {};
    }

    const QVector<RawPoint> &raw = trackPoints.isEmpty() ? routePoints : trackPoints;
    if (raw.isEmpty()) {
        *error = QStringLiteral("no track or route points");
        return {};
    }

    const auto timed = std::count_if(raw.begin(), raw.end(), [](const RawPoint &p) { return p.time.isValid(); });
    if (timed != 0 && timed != raw.size()) {
        *error = QStringLiteral("some points have a time and some do not");
        return {};
    }

    GpxRoute route;
    for (const RawPoint &p : raw) {
        double seconds = 0.0;
        if (timed) {
            seconds = raw.first().time.msecsTo(p.time) / 1000.0;
            if (!route.m_points.isEmpty() && seconds < route.m_points.last().seconds) {
                *error = atLine(p.line, QStringLiteral("time goes backwards"));
                return {};
            }
        }
        route.m_points.append({p.latitude, p.longitude, p.elevation, seconds});
    }
    if (!timed && !spaceBySpeed(route.m_points, fallbackSpeedKmh, error))
        return {};
    return route;
}

GpxRoute GpxRoute::fromGpxFile(const QString &path, double fallbackSpeedKmh, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    GpxRoute route = fromGpx(file.readAll(), fallbackSpeedKmh, error);
    if (route.isEmpty())
        *error = QStringLiteral("%1: %2").arg(path, *error);
    return route;
}

GpxRoute GpxRoute::straightLine(double lat1, double lon1, double lat2, double lon2, double speedKmh, double elevation)
{
    GpxRoute route;
    route.m_points = {{lat1, lon1, elevation, 0.0}, {lat2, lon2, elevation, 0.0}};
    QString ignored;
    spaceBySpeed(route.m_points, speedKmh, &ignored);
    return route;
}

bool GpxRoute::spaceBySpeed(QVector<Point> &points, double speedKmh, QString *error)
{
    if (!(speedKmh > 0.0) || !std::isfinite(speedKmh)) {
        *error = QStringLiteral("points without time need a walking speed above 0 km/h");
        return false;
    }
    const double metresPerSecond = speedKmh / 3.6;
    for (int i = 1; i < points.size(); ++i) {
        const Point &a = points[i - 1];
        points[i].seconds =
            a.seconds
            + distanceMetres(a.latitude, a.longitude, points[i].latitude, points[i].longitude) / metresPerSecond;
    }
    return true;
}

double GpxRoute::durationSeconds() const
{
    return m_points.isEmpty() ? 0.0 : m_points.last().seconds;
}

double GpxRoute::lengthMetres() const
{
    double total = 0.0;
    for (int i = 1; i < m_points.size(); ++i)
        total += distanceMetres(m_points[i - 1].latitude, m_points[i - 1].longitude, m_points[i].latitude,
                                m_points[i].longitude);
    return total;
}

RouteSample GpxRoute::sampleAt(double seconds) const
{
    RouteSample sample;
    if (m_points.isEmpty())
        return sample;
    if (m_points.size() == 1) {
        sample.latitude = m_points.first().latitude;
        sample.longitude = m_points.first().longitude;
        sample.elevation = m_points.first().elevation;
        return sample;
    }
    seconds = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, durationSeconds());

    // Segment i runs from point i to i + 1 and holds the route time.
    const auto after = std::upper_bound(m_points.begin(), m_points.end(), seconds,
                                        [](double t, const Point &p) { return t < p.seconds; });
    int i = std::clamp(int(after - m_points.begin()) - 1, 0, int(m_points.size()) - 2);
    // A segment of zero duration is a jump; speed and heading come from the
    // last segment that takes time.
    while (i > 0 && m_points[i + 1].seconds <= m_points[i].seconds)
        --i;

    const Point &a = m_points[i];
    const Point &b = m_points[i + 1];
    const double span = b.seconds - a.seconds;
    const double fraction = span > 0.0 ? std::clamp((seconds - a.seconds) / span, 0.0, 1.0) : 1.0;
    if (seconds >= durationSeconds()) {
        const Point &last = m_points.last();
        sample.latitude = last.latitude;
        sample.longitude = last.longitude;
        sample.elevation = last.elevation;
    } else {
        sample.latitude = lerp(a.latitude, b.latitude, fraction);
        sample.longitude = normalizedLongitude(a.longitude + fraction * longitudeDelta(a.longitude, b.longitude));
        sample.elevation =
            std::isnan(a.elevation) || std::isnan(b.elevation) ? Nan : lerp(a.elevation, b.elevation, fraction);
    }
    const double metres = distanceMetres(a.latitude, a.longitude, b.latitude, b.longitude);
    sample.speedKmh = span > 0.0 ? metres / span * 3.6 : 0.0;
    sample.headingDeg = metres > 0.0 ? bearingDeg(a.latitude, a.longitude, b.latitude, b.longitude) : 0.0;
    return sample;
}

double GpxRoute::distanceMetres(double lat1, double lon1, double lat2, double lon2)
{
    const double dLat = (lat2 - lat1) * DegToRad;
    const double dLon = (lon2 - lon1) * DegToRad;
    const double a = std::pow(std::sin(dLat / 2), 2)
                     + std::cos(lat1 * DegToRad) * std::cos(lat2 * DegToRad) * std::pow(std::sin(dLon / 2), 2);
    return 2.0 * std::atan2(std::sqrt(a), std::sqrt(1.0 - a)) * EarthRadiusM;
}

double GpxRoute::bearingDeg(double lat1, double lon1, double lat2, double lon2)
{
    const double phi1 = lat1 * DegToRad;
    const double phi2 = lat2 * DegToRad;
    const double dLon = (lon2 - lon1) * DegToRad;
    const double y = std::sin(dLon) * std::cos(phi2);
    const double x = std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLon);
    return std::fmod(std::atan2(y, x) / DegToRad + 360.0, 360.0);
}
