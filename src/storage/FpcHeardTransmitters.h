#pragma once

#include "FpcStoredRecord.h"

#include <QMap>
#include <QString>

// Where each transmitter was heard: the centroid of the positions of the
// stored fingerprints that heard it, per serving cell and per access point.
// A rough place to draw a transmitter on a map, nothing more.
class FpcHeardTransmitters
{
public:
    struct Centroid
    {
        double latitudeSum = 0;
        double longitudeSum = 0;
        int count = 0;

        double latitude() const { return latitudeSum / count; }
        double longitude() const { return longitudeSum / count; }
    };

    // Counts a fingerprint with a position once for its serving cell and once
    // for each access point it heard, however often the point is listed.
    void add(const FpcStoredRecord &record);

    // Serving cells by FpcStoredRecord::servingCellKey().
    QMap<QString, Centroid> cells;
    // Access points by their stored MAC.
    QMap<qint64, Centroid> accessPoints;
};
