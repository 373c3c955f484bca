#include "FpcCtlExporter.h"

#include "FpcCtlKind.h"
#include "FpcCtlOutput.h"
#include "FpcDatabaseReader.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace {

// -1 (or the given marker) means "not measured".
QJsonValue measured(qint64 value, qint64 missing = -1)
{
    return value == missing ? QJsonValue() : QJsonValue(value);
}

QString measuredText(qint64 value, qint64 missing = -1)
{
    return value == missing ? QString() : QString::number(value);
}

QString csvField(const QString &value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\n'))
        && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QJsonObject gsmJson(const FpcCtlRecord::GsmCell &cell)
{
    QJsonArray neighbours;
    for (const auto &n : cell.neighbours) {
        neighbours.append(QJsonObject{{QStringLiteral("bsic"), n.bsic},
                                      {QStringLiteral("bcch"), n.bcch},
                                      {QStringLiteral("rxLevel"), measured(n.rxLevel)}});
    }
    return QJsonObject{{QStringLiteral("mcc"), cell.mcc},
                       {QStringLiteral("mnc"), cell.mnc},
                       {QStringLiteral("lac"), cell.lac},
                       {QStringLiteral("cellId"), cell.cellId},
                       {QStringLiteral("rxLevel"), measured(cell.rxLevel)},
                       {QStringLiteral("timingAdvance"), measured(cell.ta)},
                       {QStringLiteral("neighbours"), neighbours}};
}

QJsonObject wcdmaJson(const FpcCtlRecord::WcdmaCell &cell)
{
    QJsonArray neighbours;
    for (const auto &n : cell.neighbours) {
        neighbours.append(QJsonObject{{QStringLiteral("pcpich"), n.pcpich},
                                      {QStringLiteral("uarfcnDl"), n.uarfcnDl},
                                      {QStringLiteral("ucid"), measured(n.ucid)},
                                      {QStringLiteral("rssi"), measured(n.rssi)},
                                      {QStringLiteral("ecn0"), measured(n.ecn0)},
                                      {QStringLiteral("rscp"), measured(n.rscp, -100)},
                                      {QStringLiteral("pathloss"), measured(n.pathloss)}});
    }
    return QJsonObject{{QStringLiteral("mcc"), cell.mcc},
                       {QStringLiteral("mnc"), cell.mnc},
                       {QStringLiteral("ucid"), cell.ucid},
                       {QStringLiteral("lac"), measured(cell.lac)},
                       {QStringLiteral("neighbours"), neighbours}};
}

QString birth(const FpcCtlRecord &record)
{
    return FpcCtlOutput::isoUtc(QDateTime::fromMSecsSinceEpoch(record.timeMs, Qt::UTC));
}

} // namespace

QString FpcCtlExporter::coordinate(double value)
{
    QString text = QString::number(value, 'f', 10);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QJsonObject FpcCtlExporter::feature(const FpcCtlRecord &record)
{
    QJsonObject properties{
        {QStringLiteral("time"), birth(record)},
        {QStringLiteral("kind"), FpcCtlKind::name(record.dataMask)},
        {QStringLiteral("dataMask"), record.dataMask},
        {QStringLiteral("radio"), record.radio() ? QJsonValue(FpcCtlKind::radioName(record.radio())) : QJsonValue()},
        {QStringLiteral("exported"), record.exported},
    };
    QJsonValue geometry;
    if (record.hasPosition) {
        const auto &p = record.position;
        geometry = QJsonObject{{QStringLiteral("type"), QStringLiteral("Point")},
                               {QStringLiteral("coordinates"), QJsonArray{p.longitude, p.latitude}}};
        properties.insert(QStringLiteral("position"),
                          QJsonObject{{QStringLiteral("altitude"), p.altitude},
                                      {QStringLiteral("altitudeUncertainty"), p.altitudeUncertainty},
                                      {QStringLiteral("cep68"), p.cep68},
                                      {QStringLiteral("time"),
                                       FpcCtlOutput::isoUtc(QDateTime::fromMSecsSinceEpoch(
                                           p.timeSeconds * 1000 + p.timeMicroseconds / 1000, Qt::UTC))}});
    }
    if (record.hasGsm)
        properties.insert(QStringLiteral("gsm"), gsmJson(record.gsm));
    if (record.hasWcdma)
        properties.insert(QStringLiteral("wcdma"), wcdmaJson(record.wcdma));
    QJsonArray wlans;
    for (const auto &wlan : record.wlans) {
        wlans.append(QJsonObject{{QStringLiteral("mac"), FpcDatabaseReader::macText(wlan.mac)},
                                 {QStringLiteral("rxLevel"), wlan.rxLevel},
                                 {QStringLiteral("rssi"), measured(wlan.rssi)}});
    }
    properties.insert(QStringLiteral("wlan"), wlans);
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("Feature")},
                       {QStringLiteral("id"), record.id},
                       {QStringLiteral("geometry"), geometry},
                       {QStringLiteral("properties"), properties}};
}

QByteArray FpcCtlExporter::geoJson(const QList<FpcCtlRecord> &records)
{
    QJsonArray features;
    for (const FpcCtlRecord &record : records)
        features.append(feature(record));
    const QJsonObject collection{{QStringLiteral("type"), QStringLiteral("FeatureCollection")},
                                 {QStringLiteral("features"), features}};
    return QJsonDocument(collection).toJson(QJsonDocument::Indented);
}

QStringList FpcCtlExporter::csvHeader()
{
    return {QStringLiteral("id"),
            QStringLiteral("time"),
            QStringLiteral("kind"),
            QStringLiteral("data_mask"),
            QStringLiteral("radio"),
            QStringLiteral("exported"),
            QStringLiteral("latitude"),
            QStringLiteral("longitude"),
            QStringLiteral("altitude"),
            QStringLiteral("altitude_uncertainty"),
            QStringLiteral("cep68"),
            QStringLiteral("mcc"),
            QStringLiteral("mnc"),
            QStringLiteral("lac"),
            QStringLiteral("cell_id"),
            QStringLiteral("rx_level"),
            QStringLiteral("timing_advance"),
            QStringLiteral("neighbour_cells"),
            QStringLiteral("wlan_count"),
            QStringLiteral("wlan")};
}

QStringList FpcCtlExporter::csvRow(const FpcCtlRecord &record)
{
    QStringList row{QString::number(record.id),
                    birth(record),
                    FpcCtlKind::name(record.dataMask),
                    QString::number(record.dataMask),
                    FpcCtlKind::radioName(record.radio()),
                    record.exported ? QStringLiteral("1") : QStringLiteral("0")};
    if (record.hasPosition) {
        const auto &p = record.position;
        row << coordinate(p.latitude) << coordinate(p.longitude) << QString::number(p.altitude)
            << QString::number(p.altitudeUncertainty) << QString::number(p.cep68);
    } else {
        row << QString() << QString() << QString() << QString() << QString();
    }
    // The serving cell: WCDMA when the fingerprint has one, else GSM.
    if (record.hasWcdma) {
        const auto &c = record.wcdma;
        row << QString::number(c.mcc) << QString::number(c.mnc) << measuredText(c.lac) << QString::number(c.ucid)
            << QString() << QString() << QString::number(c.neighbours.size());
    } else if (record.hasGsm) {
        const auto &c = record.gsm;
        row << QString::number(c.mcc) << QString::number(c.mnc) << measuredText(c.lac) << QString::number(c.cellId)
            << measuredText(c.rxLevel) << measuredText(c.ta) << QString::number(c.neighbours.size());
    } else {
        row << QString() << QString() << QString() << QString() << QString() << QString() << QStringLiteral("0");
    }
    QStringList wlans;
    for (const auto &wlan : record.wlans)
        wlans << FpcDatabaseReader::macText(wlan.mac) + QLatin1Char('/') + QString::number(wlan.rxLevel);
    row << QString::number(record.wlans.size()) << wlans.join(QLatin1Char(';'));
    return row;
}

QByteArray FpcCtlExporter::csv(const QList<FpcCtlRecord> &records)
{
    auto line = [](const QStringList &fields) {
        QStringList quoted;
        for (const QString &field : fields)
            quoted << csvField(field);
        return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
    };
    QString text = line(csvHeader());
    for (const FpcCtlRecord &record : records)
        text += line(csvRow(record));
    return text.toUtf8();
}
