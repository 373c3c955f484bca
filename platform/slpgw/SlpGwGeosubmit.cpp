#include "SlpGwGeosubmit.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <cmath>

namespace {

enum ElementId { Geran = 1, UtraFdd = 2, Gnss = 3, Wlan = 5 };
// GNSS time counts milliseconds from 0000-01-01 00:00 UTC.
constexpr qint64 GnssToUnixMs = Q_INT64_C(62167219200000);

// Bounds-checked little-endian cursor over [pos, end); a read past the end
// sets failed and returns 0, so one check after a block suffices.
struct Reader
{
    const QByteArray &data;
    qsizetype pos;
    qsizetype end;
    bool failed = false;

    bool take(qsizetype size)
    {
        if (failed || size > end - pos) {
            failed = true;
            return false;
        }
        pos += size;
        return true;
    }
    quint64 uint(int size)
    {
        const qsizetype at = pos;
        if (!take(size))
            return 0;
        quint64 value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = (value << 8) | quint8(data[at + i]);
        return value;
    }
    qint64 sint(int size)
    {
        const quint64 value = uint(size);
        const int shift = 64 - 8 * size;
        return qint64(value << shift) >> shift;
    }
    void string() { take(qsizetype(uint(1))); }
    qsizetype remaining() const { return end - pos; }
};

double kToMetres(int k)
{
    return 5.0 * (std::pow(1.02, k) - 1.0);
}

QJsonObject position(Reader &r, qint64 recordMs, qint64 *fixMs)
{
    const qint64 content = r.remaining();
    QJsonObject p;
    p[QStringLiteral("latitude")] = double(r.sint(4)) * 90.0 / 2147483648.0;
    p[QStringLiteral("longitude")] = double(r.sint(4)) * 180.0 / 2147483648.0;
    const int mask = int(r.uint(1));
    const qint64 expected = 9 + (mask & 1 ? 6 : 0) + (mask & 2 ? 1 : 3) + (mask & 4 ? 3 : 0);
    if ((mask & ~7) || content != expected) {
        r.failed = true;
        return p;
    }
    if (mask & 1) {
        *fixMs = qint64(r.uint(6)) - GnssToUnixMs;
        if (recordMs >= *fixMs)
            p[QStringLiteral("age")] = recordMs - *fixMs;
    }
    if (mask & 2)
        p[QStringLiteral("accuracy")] = std::round(kToMetres(int(r.uint(1))) * 10) / 10;
    else
        r.take(3); // an ellipse has no single accuracy
    if (mask & 4) {
        p[QStringLiteral("altitude")] = double(r.sint(2));
        p[QStringLiteral("altitudeAccuracy")] = std::round(kToMetres(int(r.uint(1))) * 10) / 10;
    }
    p[QStringLiteral("source")] = QStringLiteral("gps");
    return p;
}

QJsonObject gsmCell(Reader &r)
{
    QJsonObject c{{QStringLiteral("radioType"), QStringLiteral("gsm")}, {QStringLiteral("serving"), 1}};
    c[QStringLiteral("mobileCountryCode")] = int(r.uint(2));
    c[QStringLiteral("mobileNetworkCode")] = int(r.uint(2));
    c[QStringLiteral("locationAreaCode")] = int(r.uint(2));
    c[QStringLiteral("cellId")] = int(r.uint(2));
    const int flags = int(r.uint(1));
    if (flags & 1) {
        const int rxLevel = int(r.uint(1));
        c[QStringLiteral("signalStrength")] = rxLevel - 110; // RXLEV 0..63 from -110 dBm
        c[QStringLiteral("asu")] = rxLevel;
    }
    if (flags & 2)
        c[QStringLiteral("timingAdvance")] = int(r.uint(1));
    r.take(r.remaining()); // neighbours carry no cell identity worth sending
    return c;
}

QJsonObject wcdmaCell(Reader &r)
{
    QJsonObject c{{QStringLiteral("radioType"), QStringLiteral("wcdma")}, {QStringLiteral("serving"), 1}};
    c[QStringLiteral("mobileCountryCode")] = int(r.uint(2));
    c[QStringLiteral("mobileNetworkCode")] = int(r.uint(2));
    c[QStringLiteral("cellId")] = qint64(r.uint(4) & 0x0FFFFFFF);
    if (r.uint(1) & 1)
        c[QStringLiteral("locationAreaCode")] = int(r.uint(2));
    r.take(r.remaining());
    return c;
}

// The address field is 8 bytes less the bytes the access point did not
// set; the flags byte after it announces the fields that fill the rest.
QJsonObject accessPoint(Reader &r)
{
    const qsizetype size = r.remaining();
    int length = -1;
    for (int candidate = 8; candidate >= 0 && length < 0; --candidate) {
        if (candidate < size) {
            const int flags = quint8(r.data[r.pos + candidate]);
            if (!(flags & ~7) && candidate + 1 + qPopulationCount(quint32(flags)) == size)
                length = candidate;
        }
    }
    QJsonObject ap;
    if (length < 0) {
        r.failed = true;
        return ap;
    }
    QByteArray mac = r.data.mid(r.pos, length);
    r.take(length);
    if (mac.size() == 8 && mac[0] == 0 && mac[1] == 0)
        mac = mac.mid(2);
    const int flags = int(r.uint(1));
    if (mac.size() == 6)
        ap[QStringLiteral("macAddress")] = QString::fromLatin1(mac.toHex(':'));
    if (flags & 1)
        ap[QStringLiteral("signalStrength")] = int(r.sint(1));
    r.take(r.remaining());
    return ap;
}

} // namespace

SlpGwGeosubmit::Result SlpGwGeosubmit::fromReport(const QByteArray &report)
{
    Result result;
    Reader r{report, 0, report.size()};
    r.take(3);
    r.string();
    r.take(1);
    r.string();
    r.take(2);
    for (int i = 0; i < 4; ++i) // terminal type, user id, hardware id, user name
        r.string();
    result.fingerprints = int(r.uint(2));
    r.take(2);
    for (int i = 0; i < result.fingerprints && !r.failed; ++i) {
        const qint64 recordMs = qint64(r.uint(4)) * 1000;
        r.take(1);
        const int elements = int(r.uint(1));
        QJsonObject item;
        QJsonArray cells, accessPoints;
        qint64 fixMs = -1;
        for (int e = 0; e < elements && !r.failed; ++e) {
            const int id = int(r.uint(1));
            const qsizetype length = qsizetype(r.uint(2));
            if (r.failed || length > r.remaining()) {
                r.failed = true;
                break;
            }
            Reader content{report, r.pos, r.pos + length};
            if (id == Gnss)
                item[QStringLiteral("position")] = position(content, recordMs, &fixMs);
            else if (id == Geran)
                cells.append(gsmCell(content));
            else if (id == UtraFdd)
                cells.append(wcdmaCell(content));
            else if (id == Wlan) {
                const QJsonObject ap = accessPoint(content);
                if (ap.contains(QStringLiteral("macAddress")))
                    accessPoints.append(ap);
            } else
                content.failed = true;
            r.failed = content.failed;
            r.pos += length;
        }
        if (!item.contains(QStringLiteral("position")))
            continue; // without a fix a fingerprint says nothing such a database can use
        item[QStringLiteral("timestamp")] = fixMs >= 0 ? fixMs : recordMs;
        if (!cells.isEmpty())
            item[QStringLiteral("cellTowers")] = cells;
        if (!accessPoints.isEmpty())
            item[QStringLiteral("wifiAccessPoints")] = accessPoints;
        result.items.append(item);
    }
    if (r.failed || r.remaining() != 0)
        result.error = QStringLiteral("report malformed near byte %1").arg(r.pos);
    return result;
}

QByteArray SlpGwGeosubmit::body(const QJsonArray &items)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("items"), items}}).toJson(QJsonDocument::Compact);
}

namespace {

quint32 crc32(const QByteArray &data)
{
    static quint32 table[256];
    static bool ready = false;
    if (!ready) {
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

} // namespace

QByteArray SlpGwGeosubmit::gzip(const QByteArray &data)
{
    // qCompress gives a 4-byte size, a 2-byte zlib header, the deflate
    // stream and a 4-byte Adler-32: the deflate stream is what gzip wraps.
    const QByteArray zlib = qCompress(data, 6);
    const QByteArray deflate = zlib.mid(6, zlib.size() - 10);
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    out += deflate;
    char trailer[8];
    qToLittleEndian(crc32(data), trailer);
    qToLittleEndian(quint32(data.size()), trailer + 4);
    out.append(trailer, 8);
    return out;
}
