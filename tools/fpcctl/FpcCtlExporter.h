#pragma once

#include "FpcCtlRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

// Writes stored fingerprints for other tools: GeoJSON (RFC 7946) with one
// Feature per fingerprint - a Point [longitude, latitude], or a null
// geometry without position - and CSV (RFC 4180 quoting, LF line ends) with
// one row per fingerprint. Values the database marks as not measured are
// null in GeoJSON and empty in CSV.
class FpcCtlExporter
{
public:
    static QByteArray geoJson(const QList<FpcCtlRecord> &records);
    static QByteArray csv(const QList<FpcCtlRecord> &records);

    static QJsonObject feature(const FpcCtlRecord &record);
    static QStringList csvHeader();
    static QStringList csvRow(const FpcCtlRecord &record);

    // Coordinates in fixed notation without trailing zeros.
    static QString coordinate(double value);
};
