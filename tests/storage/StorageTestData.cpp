#include "StorageTestData.h"

#include "LogCapture.h"

#include <QSqlError>
#include <QSqlQuery>

namespace StorageTestData {

FpcPosition position(double latitude, double longitude, Optional optional)
{
    FpcPosition p;
    p.setTimestamp(T0);
    p.setTimestampMicroseconds(250000);
    p.setCoordinate(latitude, longitude);
    if (optional == AllFields) {
        p.setCoordinate(latitude, longitude, 12.0f);
        p.setHorizontalAccuracy(8.0f);
        p.setAltitudeAccuracy(15.0f);
    }
    return p;
}

VomuElementGSM *gsm(quint16 cellId, Optional optional)
{
    auto *cell = new VomuElementGSM;
    cell->setCountryCode(244), cell->setNetworkId(5), cell->setLocationAreaCode(1234), cell->setCellId(cellId);
    VomuElementGSM::NeighbourCell neighbour(12, 65);
    if (optional == AllFields) {
        cell->setPowerRx(40);
        cell->setTimingAdvance(3);
        neighbour.setPowerRx(30);
    }
    cell->appendNeighbourCell(neighbour);
    cell->appendNeighbourCell(VomuElementGSM::NeighbourCell(13, 66));
    return cell;
}

VomuElementWCDMA *wcdma(quint32 ucId, Optional optional)
{
    auto *cell = new VomuElementWCDMA;
    cell->setCountryCode(244), cell->setNetworkId(42), cell->setUcId(ucId);
    VomuElementWCDMA::NeighbourCell neighbour;
    neighbour.pCpich = 100, neighbour.uarfcnDl = 10000;
    if (optional == AllFields) {
        cell->setLocationAreaCode(12);
        neighbour.ucId = ucId, neighbour.rssi = 10, neighbour.ecn0 = 35, neighbour.pathloss = 20;
        neighbour.rscp = 0; // the lowest level, not an absent one
    }
    cell->appendNeighbourCell(neighbour);
    return cell;
}

VomuElementWLAN *wlan(std::initializer_list<uint8_t> macBytes, Optional optional)
{
    auto *ap = new VomuElementWLAN;
    ap->setMac(VomuWlanMacAddress(macBytes.begin(), int(macBytes.size())));
    ap->setPowerRx(-67);
    if (optional == AllFields)
        ap->setRssi(180);
    return ap;
}

FpcFingerprint fingerprint(qint64 secondsSinceEpoch, std::initializer_list<VomuObservationElement *> elements,
                           bool withPosition, double latitude, double longitude)
{
    FpcFingerprint fp;
    fp.setTime(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC).addMSecs(250));
    VomuMeasurements m;
    for (VomuObservationElement *e : elements)
        m.append(e);
    fp.setMeasurements(m);
    if (withPosition)
        fp.setPosition(position(latitude, longitude));
    return fp;
}

FpcFingerprint withMask(int mask, qint64 seconds, int accessPoints)
{
    FpcFingerprint fp = fingerprint(T0 + seconds, {}, mask & FpcFingerprint::GPS);
    VomuMeasurements m;
    if (mask & FpcFingerprint::Cell) {
        VomuElementGSM *cell = gsm(1);
        if (!(mask & FpcFingerprint::NeighborCell))
            cell->clearNeighbourCells();
        m.append(cell);
    }
    for (int i = 0; (mask & FpcFingerprint::WLAN) && i < accessPoints; ++i)
        m.append(wlan({0x02, 0x11, 0x22, 0x33, 0x44, quint8(i)}));
    fp.setMeasurements(m);
    fp.setDataMask(quint8(mask)); // also masks that no measurement gives
    return fp;
}

QString describe(const FpcFingerprint &fp)
{
    LogCapture trace;
    fp.print();
    QStringList text = trace.lines();
    text << QStringLiteral("time %1 mask %2 radio %3")
                .arg(fp.time().toMSecsSinceEpoch())
                .arg(fp.dataMask())
                .arg(fp.radioType());
    const VomuMeasurements cells = fp.cellMeasurements();
    for (int i = 0; i < cells.count(); ++i) {
        if (auto *w = dynamic_cast<const VomuElementWCDMA *>(cells.element(i)))
            text << QStringLiteral("LAC %1").arg(w->locationAreaCodeSet() ? int(w->locationAreaCode()) : -1);
    }
    return text.join(u'\n');
}

int rowCount(const QString &table)
{
    return column(QStringLiteral("SELECT count(*) FROM ") + table).value(0, QStringLiteral("-1")).toInt();
}

bool exec(const QString &statement)
{
    return column(statement) != QStringList{QStringLiteral("error")};
}

QStringList column(const QString &statement)
{
    QSqlQuery query;
    if (!query.exec(statement)) {
        qWarning() << statement << query.lastError().text();
        return {QStringLiteral("error")};
    }
    QStringList values;
    while (query.next())
        values << (query.value(0).isNull() ? QStringLiteral("NULL") : query.value(0).toString());
    return values;
}

QList<qint64> ids(const QString &condition)
{
    QList<qint64> found;
    for (const QString &id : column(QStringLiteral("SELECT fpId FROM Fingerprint %1 ORDER BY fpId").arg(condition)))
        found << id.toLongLong();
    return found;
}

} // namespace StorageTestData
