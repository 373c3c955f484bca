#include "FpcCtlMap.h"

#include "FpcCtlKind.h"
#include "FpcCtlOutput.h"
#include "FpcDatabaseReader.h"
#include "FpcHeardTransmitters.h"

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double PlotX = 20;
constexpr double PlotY = 70;
constexpr double PlotWidth = 760;
constexpr double PlotHeight = 630;
constexpr double LegendX = 800;
// A lone point (or a tight cluster) is shown on about 200 m.
constexpr double MinimumSpanDegrees = 0.0018;
constexpr double Padding = 0.06;
constexpr double Pi = 3.14159265358979323846;

QString num(double value)
{
    return QString::number(value, 'f', 1);
}

QString latitudeText(double latitude)
{
    return QString::number(std::fabs(latitude), 'f', 5) + QStringLiteral("\u00b0 ")
           + (latitude < 0 ? QLatin1Char('S') : QLatin1Char('N'));
}

QString longitudeText(double longitude)
{
    return QString::number(std::fabs(longitude), 'f', 5) + QStringLiteral("\u00b0 ")
           + (longitude < 0 ? QLatin1Char('W') : QLatin1Char('E'));
}

QString text(double x, double y, const QString &content, const QString &attributes = QString())
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\"%3>%4</text>\n")
        .arg(num(x), num(y), attributes.isEmpty() ? QString() : QLatin1Char(' ') + attributes,
             FpcCtlMap::escape(content));
}

// Projection of the drawn points into the plot area.
struct Projection
{
    double centreLat = 0;
    double centreLon = 0;
    double cosLat = 1;
    double pixelsPerDegree = 1;

    static Projection fit(const QList<const FpcCtlRecord *> &points)
    {
        double latMin = 90, latMax = -90, lonMin = 180, lonMax = -180;
        for (const FpcCtlRecord *r : points) {
            latMin = std::min(latMin, r->position.latitude);
            latMax = std::max(latMax, r->position.latitude);
            lonMin = std::min(lonMin, r->position.longitude);
            lonMax = std::max(lonMax, r->position.longitude);
        }
        Projection p;
        p.centreLat = (latMin + latMax) / 2;
        p.centreLon = (lonMin + lonMax) / 2;
        p.cosLat = std::max(0.01, std::cos(p.centreLat * Pi / 180));
        const double spanX = std::max((lonMax - lonMin) * p.cosLat, MinimumSpanDegrees) * (1 + 2 * Padding);
        const double spanY = std::max(latMax - latMin, MinimumSpanDegrees) * (1 + 2 * Padding);
        p.pixelsPerDegree = std::min(PlotWidth / spanX, PlotHeight / spanY);
        return p;
    }
    double x(double longitude) const
    {
        return PlotX + PlotWidth / 2 + (longitude - centreLon) * cosLat * pixelsPerDegree;
    }
    double y(double latitude) const { return PlotY + PlotHeight / 2 - (latitude - centreLat) * pixelsPerDegree; }
    double longitudeAt(double px) const
    {
        return centreLon + (px - PlotX - PlotWidth / 2) / (cosLat * pixelsPerDegree);
    }
    double latitudeAt(double py) const { return centreLat - (py - PlotY - PlotHeight / 2) / pixelsPerDegree; }
    double metresPerPixel() const { return FpcCtlMap::MetresPerDegree / pixelsPerDegree; }
};

QString scaleBar(const Projection &projection)
{
    const double metres = FpcCtlMap::scaleLength(PlotWidth / 4 * projection.metresPerPixel());
    const double length = metres / projection.metresPerPixel();
    const double x = PlotX + 16;
    const double y = PlotY + PlotHeight - 18;
    QString svg = QStringLiteral("<g stroke=\"#222\" stroke-width=\"2\">\n");
    svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\"/>\n").arg(num(x), num(y), num(x + length));
    svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\"/>\n").arg(num(x), num(y - 6), num(y + 1));
    svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\"/>\n")
               .arg(num(x + length), num(y - 6), num(y + 1));
    svg += QStringLiteral("</g>\n");
    svg += text(x, y - 9, FpcCtlMap::distanceText(metres), QStringLiteral("font-size=\"12\""));
    return svg;
}

// The dot, then the line to its serving cell's marker, hidden until the
// pointer is on the dot (the style sheet shows ".fp:hover + .link").
QString dot(const FpcCtlRecord &record, const Projection &projection, const FpcHeardTransmitters &estimates)
{
    QString tip = QStringLiteral("#%1 %2 %3")
                      .arg(record.id)
                      .arg(FpcCtlOutput::isoUtc(QDateTime::fromMSecsSinceEpoch(record.timeMs, Qt::UTC)),
                           FpcCtlKind::name(record.dataMask));
    if (record.radio())
        tip += QStringLiteral(", ") + FpcCtlKind::radioName(record.radio());
    const QString key = record.servingCellKey();
    if (!key.isEmpty())
        tip += QStringLiteral(" ") + key;
    if (!record.wlans.isEmpty())
        tip += QStringLiteral(", %1 access points").arg(record.wlans.size());
    const double x = projection.x(record.position.longitude);
    const double y = projection.y(record.position.latitude);
    QString svg = QStringLiteral("<circle class=\"fp\" cx=\"%1\" cy=\"%2\" r=\"4.5\" fill=\"%3\" stroke=\"%4\">"
                                 "<title>%5</title></circle>\n")
                      .arg(num(x), num(y), key.isEmpty() ? QStringLiteral("#bbb") : FpcCtlMap::cellColour(key),
                           FpcCtlKind::colour(record.dataMask), FpcCtlMap::escape(tip));
    if (!key.isEmpty()) {
        const FpcHeardTransmitters::Centroid cell = estimates.cells.value(key);
        svg += QStringLiteral("<line class=\"link\" x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\"/>\n")
                   .arg(num(x), num(y), num(projection.x(cell.longitude())), num(projection.y(cell.latitude())));
    }
    return svg;
}

// Cells as squares in their colour, access points as small dark triangles.
QString markers(const FpcHeardTransmitters &estimates, const Projection &projection)
{
    QString svg = QStringLiteral("<g stroke=\"#111\" stroke-width=\"1\">\n");
    for (auto it = estimates.accessPoints.cbegin(); it != estimates.accessPoints.cend(); ++it) {
        const double x = projection.x(it.value().longitude());
        const double y = projection.y(it.value().latitude());
        svg += QStringLiteral("<polygon class=\"ap\" points=\"%1,%2 %3,%4 %5,%4\" fill=\"#555\">"
                              "<title>Access point %6: heard in %7 fingerprints</title></polygon>\n")
                   .arg(num(x), num(y - 5), num(x - 4.5), num(y + 3.5), num(x + 4.5))
                   .arg(FpcDatabaseReader::macText(it.key()))
                   .arg(it.value().count);
    }
    for (auto it = estimates.cells.cbegin(); it != estimates.cells.cend(); ++it) {
        const double x = projection.x(it.value().longitude());
        const double y = projection.y(it.value().latitude());
        svg +=
            QStringLiteral("<rect class=\"cell\" x=\"%1\" y=\"%2\" width=\"12\" height=\"12\" fill=\"%3\" "
                           "stroke-width=\"2\"><title>Serving cell %4: estimate from %5 fingerprints</title></rect>\n")
                .arg(num(x - 6), num(y - 6), FpcCtlMap::cellColour(it.key()), FpcCtlMap::escape(it.key()))
                .arg(it.value().count);
    }
    svg += QStringLiteral("</g>\n");
    return svg;
}

QString zoneCircles(const QList<FpcZoneText::Zone> &zones, const Projection &projection)
{
    QString svg = QStringLiteral("<g clip-path=\"url(#plot)\" fill=\"#d33\" fill-opacity=\"0.12\" stroke=\"#d33\" "
                                 "stroke-width=\"1.5\" stroke-dasharray=\"6 4\">\n");
    for (const FpcZoneText::Zone &zone : zones) {
        svg += QStringLiteral(
                   "<circle class=\"zone\" cx=\"%1\" cy=\"%2\" r=\"%3\"><title>Privacy zone, %4</title></circle>\n")
                   .arg(num(projection.x(zone.longitude)), num(projection.y(zone.latitude)),
                        QString::number(zone.radiusMetres / projection.metresPerPixel(), 'f', 2),
                        FpcCtlMap::distanceText(zone.radiusMetres));
    }
    svg += QStringLiteral("</g>\n");
    return svg;
}

QString legend(const QList<FpcCtlRecord> &records, const FpcCtlMap::Summary &summary, int zoneCount)
{
    QMap<int, int> drawnKinds;
    qint64 first = -1, last = -1;
    for (const FpcCtlRecord &r : records) {
        if (r.hasPosition)
            ++drawnKinds[r.dataMask];
        first = first < 0 ? r.timeMs : std::min(first, r.timeMs);
        last = std::max(last, r.timeMs);
    }
    double y = PlotY + 14;
    QString svg =
        text(LegendX, y, QStringLiteral("Fingerprints: %1").arg(summary.total), QStringLiteral("font-weight=\"bold\""));
    y += 24;
    QList<QPair<int, int>> kinds;
    for (auto it = drawnKinds.cbegin(); it != drawnKinds.cend(); ++it)
        kinds << qMakePair(it.key(), it.value());
    std::sort(kinds.begin(), kinds.end(), [](const auto &a, const auto &b) {
        return a.second != b.second ? a.second > b.second : a.first > b.first;
    });
    for (const auto &kind : kinds) {
        svg += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"5\" fill=\"white\" stroke=\"%3\" stroke-width=\"3\"/>\n")
                   .arg(num(LegendX + 6), num(y - 4), FpcCtlKind::colour(kind.first));
        svg += text(LegendX + 18, y, FpcCtlKind::name(kind.first));
        svg += text(LegendX + 280, y, QString::number(kind.second), QStringLiteral("text-anchor=\"end\""));
        y += 22;
    }
    svg += text(LegendX, y, QStringLiteral("Without position (not drawn): %1").arg(summary.withoutPosition));
    y += 34;
    svg += text(LegendX, y, QStringLiteral("Serving cells: %1").arg(summary.gsmCells + summary.wcdmaCells),
                QStringLiteral("font-weight=\"bold\""));
    y += 20;
    svg += text(LegendX + 18, y, QStringLiteral("GSM %1, WCDMA %2").arg(summary.gsmCells).arg(summary.wcdmaCells));
    y += 18;
    svg += text(LegendX + 18, y, QStringLiteral("squares; dots filled with their colour"),
                QStringLiteral("font-size=\"12\""));
    y += 28;
    svg += text(LegendX, y, QStringLiteral("Access points: %1").arg(summary.accessPoints),
                QStringLiteral("font-weight=\"bold\""));
    y += 18;
    svg += text(LegendX + 18, y, QStringLiteral("triangles"), QStringLiteral("font-size=\"12\""));
    y += 28;
    svg += text(LegendX, y, QStringLiteral("Privacy zones: %1").arg(zoneCount), QStringLiteral("font-weight=\"bold\""));
    y += 18;
    svg +=
        text(LegendX + 18, y, QStringLiteral("Pointer on a dot: line to its cell"), QStringLiteral("font-size=\"12\""));
    if (first >= 0) {
        y += 34;
        svg += text(LegendX, y,
                    QStringLiteral("First: ") + FpcCtlOutput::isoUtc(QDateTime::fromMSecsSinceEpoch(first, Qt::UTC)),
                    QStringLiteral("font-size=\"12\""));
        y += 18;
        svg += text(LegendX, y,
                    QStringLiteral("Last: ") + FpcCtlOutput::isoUtc(QDateTime::fromMSecsSinceEpoch(last, Qt::UTC)),
                    QStringLiteral("font-size=\"12\""));
    }
    svg += text(LegendX, PlotY + PlotHeight, QStringLiteral("Equirectangular projection"),
                QStringLiteral("font-size=\"11\" fill=\"#666\""));
    return svg;
}

} // namespace

QString FpcCtlMap::escape(const QString &content)
{
    QString escaped = content.toHtmlEscaped();
    escaped.replace(QLatin1Char('\''), QStringLiteral("&#39;"));
    // Control characters are not allowed in XML 1.0 text.
    for (QChar &c : escaped) {
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            c = QLatin1Char('?');
    }
    return escaped;
}

double FpcCtlMap::scaleLength(double maxMetres)
{
    if (!(maxMetres >= 1))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(maxMetres)));
    for (double step : {5.0, 2.0, 1.0}) {
        if (step * power <= maxMetres)
            return step * power;
    }
    return power;
}

QString FpcCtlMap::distanceText(double metres)
{
    if (metres < 1000)
        return QString::number(qint64(std::llround(metres))) + QStringLiteral(" m");
    const double km = metres / 1000;
    return (km == std::floor(km) ? QString::number(qint64(km)) : QString::number(km, 'g', 3)) + QStringLiteral(" km");
}

QString FpcCtlMap::cellColour(const QString &key)
{
    // FNV-1a: qHash is seeded per process, this is not.
    quint32 hash = 2166136261u;
    for (const char c : key.toUtf8()) {
        hash ^= quint8(c);
        hash *= 16777619u;
    }
    // Hues 30 degrees apart at two lightnesses: 24 colours told apart by eye.
    return QStringLiteral("hsl(%1,70%,%2%)").arg((hash % 12) * 30).arg((hash / 12) % 2 ? 38 : 58);
}

FpcCtlMap::Summary FpcCtlMap::summarize(const QList<FpcCtlRecord> &records)
{
    Summary summary;
    QSet<QString> gsm;
    QSet<QString> wcdma;
    QSet<qint64> accessPoints;
    for (const FpcCtlRecord &r : records) {
        ++summary.total;
        if (r.hasPosition)
            ++summary.drawn;
        if (r.hasGsm)
            gsm.insert(QStringLiteral("%1/%2/%3/%4").arg(r.gsm.mcc).arg(r.gsm.mnc).arg(r.gsm.lac).arg(r.gsm.cellId));
        if (r.hasWcdma)
            wcdma.insert(QStringLiteral("%1/%2/%3").arg(r.wcdma.mcc).arg(r.wcdma.mnc).arg(r.wcdma.ucid));
        for (const auto &wlan : r.wlans)
            accessPoints.insert(wlan.mac);
    }
    summary.withoutPosition = summary.total - summary.drawn;
    summary.gsmCells = int(gsm.size());
    summary.wcdmaCells = int(wcdma.size());
    summary.accessPoints = int(accessPoints.size());
    return summary;
}

QByteArray FpcCtlMap::svg(const QList<FpcCtlRecord> &records, const QString &subtitle,
                          const QList<FpcZoneText::Zone> &zones)
{
    const Summary summary = summarize(records);
    QList<const FpcCtlRecord *> points;
    for (const FpcCtlRecord &r : records) {
        if (r.hasPosition)
            points << &r;
    }
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                                 "viewBox=\"0 0 %1 %2\" font-family=\"sans-serif\" font-size=\"13\">\n")
                      .arg(Width)
                      .arg(Height);
    svg += QStringLiteral("<style>.link{stroke:#222;stroke-width:1.2;visibility:hidden;pointer-events:none}"
                          ".fp:hover+.link{visibility:visible}</style>\n");
    svg += QStringLiteral("<clipPath id=\"plot\"><rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/></clipPath>\n")
               .arg(num(PlotX), num(PlotY), num(PlotWidth), num(PlotHeight));
    svg += QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n");
    svg += text(PlotX, 30, QStringLiteral("vomu-fpcd fingerprints"),
                QStringLiteral("font-size=\"20\" font-weight=\"bold\""));
    svg += text(PlotX, 52, subtitle, QStringLiteral("font-size=\"12\" fill=\"#555\""));
    svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#f4f6f8\" stroke=\"#999\"/>\n")
               .arg(num(PlotX), num(PlotY), num(PlotWidth), num(PlotHeight));
    if (points.isEmpty()) {
        svg += text(PlotX + PlotWidth / 2, PlotY + PlotHeight / 2, QStringLiteral("No fingerprint with a position"),
                    QStringLiteral("text-anchor=\"middle\" fill=\"#666\""));
    } else {
        const Projection projection = Projection::fit(points);
        FpcHeardTransmitters estimates;
        for (const FpcCtlRecord *r : points)
            estimates.add(*r);
        svg += zoneCircles(zones, projection);
        svg += QStringLiteral("<g stroke-width=\"1.5\" fill-opacity=\"0.9\">\n");
        for (const FpcCtlRecord *r : points)
            svg += dot(*r, projection, estimates);
        svg += QStringLiteral("</g>\n");
        svg += markers(estimates, projection);
        svg += scaleBar(projection);
        const QString small = QStringLiteral("font-size=\"11\" fill=\"#555\"");
        svg += text(PlotX + 4, PlotY + 14,
                    latitudeText(projection.latitudeAt(PlotY)) + QStringLiteral(", ")
                        + longitudeText(projection.longitudeAt(PlotX)),
                    small);
        svg += text(PlotX + PlotWidth - 4, PlotY + PlotHeight - 6,
                    latitudeText(projection.latitudeAt(PlotY + PlotHeight)) + QStringLiteral(", ")
                        + longitudeText(projection.longitudeAt(PlotX + PlotWidth)),
                    small + QStringLiteral(" text-anchor=\"end\""));
    }
    svg += legend(records, summary, int(zones.size()));
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}
