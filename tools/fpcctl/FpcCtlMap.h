#pragma once

#include "FpcZoneText.h"
#include "FpcCtlRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

// An SVG picture of stored fingerprints for a browser: every fingerprint
// with a position as a dot filled with its serving cell's colour and ringed
// with its kind's colour, in an equirectangular projection around the middle
// latitude; each serving cell and access point as a marker at its estimated
// position (the centroid of the fingerprints that heard it); a line from a
// fingerprint to its serving cell's marker while the pointer is on the dot
// (CSS :hover, no script); the privacy zones as circles; a scale bar, the
// corner coordinates and a legend (counts per kind, fingerprints without
// position, distinct serving cells and access points, zones, time span).
class FpcCtlMap
{
public:
    static constexpr int Width = 1100;
    static constexpr int Height = 720;
    // Metres per degree of latitude on the sphere the daemon measures on.
    static constexpr double MetresPerDegree = 111195.08;

    struct Summary
    {
        int total = 0;
        int drawn = 0;
        int withoutPosition = 0;
        int gsmCells = 0;
        int wcdmaCells = 0;
        int accessPoints = 0;
    };

    static Summary summarize(const QList<FpcCtlRecord> &records);
    // subtitle: a line under the title, e.g. the database path.
    static QByteArray svg(const QList<FpcCtlRecord> &records, const QString &subtitle,
                          const QList<FpcZoneText::Zone> &zones = {});

    // The same colour for the same cell in every run and on every machine.
    static QString cellColour(const QString &key);

    // The longest of 1, 2 or 5 times a power of ten metres not above
    // maxMetres (at least 1 m).
    static double scaleLength(double maxMetres);
    // "500 m", "2 km", "1.5 km".
    static QString distanceText(double metres);
    static QString escape(const QString &text);
};
