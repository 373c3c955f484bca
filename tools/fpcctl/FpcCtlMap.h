#pragma once

#include "FpcCtlRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

// An SVG picture of stored fingerprints for a browser: every fingerprint
// with a position as a dot coloured by its kind, in an equirectangular
// projection around the middle latitude, with a scale bar, the corner
// coordinates and a legend (counts per kind, fingerprints without position,
// distinct serving cells and access points, time span).
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
    static QByteArray svg(const QList<FpcCtlRecord> &records, const QString &subtitle);

    // The longest of 1, 2 or 5 times a power of ten metres not above
    // maxMetres (at least 1 m).
    static double scaleLength(double maxMetres);
    // "500 m", "2 km", "1.5 km".
    static QString distanceText(double metres);
    static QString escape(const QString &text);
};
