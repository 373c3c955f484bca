#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QString>

// Turns a fingerprint report as the daemon hands it to the gateway into the
// body of a geosubmit v2 request, {"items": [...]}, the format public
// community location databases accept. Only fingerprints with a GNSS fix
// go; each becomes one item with its position, its serving cells (GSM with
// signal in dBm and timing advance, WCDMA by its 28-bit cell id) and its
// access points (BSSID and received power in dBm). Nothing identifying the
// user goes: no SSID, no subscriber or equipment identity. What a report
// does not carry (channel, frequency, accuracy without CEP68) is left out
// rather than sent as a marker value.
class SlpGwGeosubmit
{
public:
    struct Result
    {
        QJsonArray items;
        int fingerprints = 0; // records in the report
        QString error;        // empty when the report was read whole
    };

    static Result fromReport(const QByteArray &report);
    static QByteArray body(const QJsonArray &items);
    // RFC 1952 gzip of data (one member, deflate).
    static QByteArray gzip(const QByteArray &data);
};
