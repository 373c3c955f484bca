#pragma once

#include "FpcCtlRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

// "fpcctl export --format geosubmit": the stored fingerprints as the body of
// a geosubmit v2 request, {"items": [...]}, the way the gateway's community
// transport would send them - only fingerprints with a position, serving
// cells with signal in dBm, 48-bit universally administered BSSIDs with
// received power; no SSID and no identity.
class FpcCtlGeosubmitExport
{
public:
    static QByteArray document(const QList<FpcCtlRecord> &records);
    // Null object for a record without position.
    static QJsonObject item(const FpcCtlRecord &record);
};
