#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// One place on a route: where the walker is at a given route time.
struct RouteSample
{
    double latitude = 0.0;
    double longitude = 0.0;
    double elevation = 0.0;  // metres; NaN when the route carries none
    double speedKmh = 0.0;   // speed of the segment the walker is on
    double headingDeg = 0.0; // direction of travel, 0..360 from north
};

// A walkable route: points with positions and a time line in seconds from
// the first point. Built from a GPX track (its timestamps, or a fixed speed
// when the track has none) or from a straight line walked at a fixed speed.
// Between points the walker moves linearly in latitude and longitude.
class GpxRoute
{
public:
    struct Point
    {
        double latitude;
        double longitude;
        double elevation; // NaN when absent
        double seconds;   // route time since the first point
    };

    static constexpr double EarthRadiusM = 6371009.0;

    // Parses GPX text. Track points ("trkpt") are used, route points
    // ("rtept") when there are none. Points without "time" are spaced by
    // walking at fallbackSpeedKmh. Returns an empty route and sets *error
    // when the document cannot be used.
    static GpxRoute fromGpx(const QByteArray &gpx, double fallbackSpeedKmh, QString *error);
    static GpxRoute fromGpxFile(const QString &path, double fallbackSpeedKmh, QString *error);
    static GpxRoute straightLine(double lat1, double lon1, double lat2, double lon2, double speedKmh, double elevation);

    bool isEmpty() const { return m_points.isEmpty(); }
    int pointCount() const { return m_points.size(); }
    const QVector<Point> &points() const { return m_points; }
    double durationSeconds() const;
    double lengthMetres() const;

    // Position at route time t; t is clamped to [0, duration].
    RouteSample sampleAt(double seconds) const;

    static double distanceMetres(double lat1, double lon1, double lat2, double lon2);
    static double bearingDeg(double lat1, double lon1, double lat2, double lon2);

private:
    static bool spaceBySpeed(QVector<Point> &points, double speedKmh, QString *error);

    QVector<Point> m_points;
};
