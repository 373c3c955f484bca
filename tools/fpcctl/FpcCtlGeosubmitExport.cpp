#include "FpcCtlGeosubmitExport.h"

#include "FpcDatabaseReader.h"

#include <QJsonArray>
#include <QJsonDocument>

QByteArray FpcCtlGeosubmitExport::document(const QList<FpcCtlRecord> &records)
{
    QJsonArray items;
    for (const FpcCtlRecord &record : records) {
        const QJsonObject entry = item(record);
        if (!entry.isEmpty())
            items.append(entry);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("items"), items}}).toJson(QJsonDocument::Indented);
}

QJsonObject FpcCtlGeosubmitExport::item(const FpcCtlRecord &record)
{
    if (!record.hasPosition)
        return QJsonObject();
    const FpcCtlRecord::Position &p = record.position;
    QJsonObject position{{QStringLiteral("latitude"), p.latitude},
                         {QStringLiteral("longitude"), p.longitude},
                         {QStringLiteral("source"), QStringLiteral("gps")}};
    if (p.cep68 > 0)
        position.insert(QStringLiteral("accuracy"), p.cep68);
    const qint64 fixMs = p.timeSeconds * 1000 + p.timeMicroseconds / 1000;
    QJsonObject item{{QStringLiteral("timestamp"), p.timeSeconds > 0 ? fixMs : record.timeMs},
                     {QStringLiteral("position"), position}};

    QJsonArray cells;
    if (record.hasGsm) {
        const FpcCtlRecord::GsmCell &c = record.gsm;
        QJsonObject cell{{QStringLiteral("radioType"), QStringLiteral("gsm")},
                         {QStringLiteral("serving"), 1},
                         {QStringLiteral("mobileCountryCode"), c.mcc},
                         {QStringLiteral("mobileNetworkCode"), c.mnc},
                         {QStringLiteral("locationAreaCode"), c.lac},
                         {QStringLiteral("cellId"), c.cellId}};
        if (c.rxLevel >= 0 && c.rxLevel <= 63)
            cell.insert(QStringLiteral("signalStrength"), c.rxLevel - 110);
        if (c.ta >= 0)
            cell.insert(QStringLiteral("timingAdvance"), c.ta);
        cells.append(cell);
    }
    if (record.hasWcdma) {
        const FpcCtlRecord::WcdmaCell &c = record.wcdma;
        QJsonObject cell{{QStringLiteral("radioType"), QStringLiteral("wcdma")},
                         {QStringLiteral("serving"), 1},
                         {QStringLiteral("mobileCountryCode"), c.mcc},
                         {QStringLiteral("mobileNetworkCode"), c.mnc},
                         {QStringLiteral("cellId"), c.ucid & 0x0FFFFFFF}};
        if (c.lac >= 0)
            cell.insert(QStringLiteral("locationAreaCode"), c.lac);
        cells.append(cell);
    }
    if (!cells.isEmpty())
        item.insert(QStringLiteral("cellTowers"), cells);

    QJsonArray accessPoints;
    for (const FpcCtlRecord::Wlan &wlan : record.wlans) {
        const QString mac = FpcDatabaseReader::macText(wlan.mac);
        // Only a 48-bit address the manufacturer gave out describes a place.
        if (mac.size() != 17 || (mac.left(2).toInt(nullptr, 16) & 0x02))
            continue;
        accessPoints.append(
            QJsonObject{{QStringLiteral("macAddress"), mac}, {QStringLiteral("signalStrength"), wlan.rxLevel}});
    }
    if (!accessPoints.isEmpty())
        item.insert(QStringLiteral("wifiAccessPoints"), accessPoints);
    return item;
}
