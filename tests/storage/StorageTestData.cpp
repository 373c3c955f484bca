#include "StorageTestData.h"

#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cmath>

namespace StorageTestData {

FpcPosition position(double latitude, double longitude, Optional optional)
{
    FpcPosition p;
    p.setTimestamp(1700000000);
    p.setTimestampMicroseconds(250000);
    if (optional == AllFields) {
        p.setCoordinate(latitude, longitude, 12.0f);
        p.setHorizontalAccuracy(8.0f);
        p.setAltitudeAccuracy(15.0f);
    } else {
        p.setCoordinate(latitude, longitude);
    }
    return p;
}

VomuElementGSM *gsm(quint16 cellId, Optional optional)
{
    auto *cell = new VomuElementGSM;
    cell->setCountryCode(244);
    cell->setNetworkId(5);
    cell->setLocationAreaCode(1234);
    cell->setCellId(cellId);
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
    cell->setCountryCode(244);
    cell->setNetworkId(42);
    cell->setUcId(ucId);
    VomuElementWCDMA::NeighbourCell neighbour;
    neighbour.pCpich = 100;
    neighbour.uarfcnDl = 10000;
    if (optional == AllFields) {
        cell->setLocationAreaCode(12);
        neighbour.ucId = ucId;
        neighbour.rssi = 10;
        neighbour.ecn0 = 35;
        neighbour.rscp = 0;      // the lowest level, not an absent one
        neighbour.pathloss = 20; // 66 dB
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

namespace {

QString number(double value)
{
    return std::isnan(value) ? QStringLiteral("-") : QString::number(value, 'g', 12);
}

QString describeElement(const VomuObservationElement *e)
{
    QStringList parts;
    if (auto *g = dynamic_cast<const VomuElementGSM *>(e)) {
        parts << QStringLiteral("GSM %1/%2/%3/%4 rx%5 ta%6")
                     .arg(g->countryCode()).arg(g->networkId()).arg(g->locationAreaCode()).arg(g->cellId())
                     .arg(g->powerRx()).arg(g->timingAdvanceSet() ? int(g->timingAdvance()) : -1);
        for (int i = 0; i < g->neighbourCellCount(); ++i) {
            const auto n = g->neighbourCell(i);
            parts << QStringLiteral("n %1/%2 rx%3").arg(n.color()).arg(n.frequency()).arg(n.powerRx());
        }
    } else if (auto *w = dynamic_cast<const VomuElementWCDMA *>(e)) {
        parts << QStringLiteral("WCDMA %1/%2/%3 lac%4")
                     .arg(w->countryCode()).arg(w->networkId()).arg(w->ucId())
                     .arg(w->locationAreaCodeSet() ? int(w->locationAreaCode()) : -1);
        for (int i = 0; i < w->neighbourCellCount(); ++i) {
            const auto n = w->neighbourCell(i);
            parts << QStringLiteral("n %1/%2/%3 %4/%5/%6/%7")
                         .arg(n.pCpich).arg(n.uarfcnDl).arg(n.ucId).arg(n.rssi).arg(n.ecn0).arg(n.rscp).arg(n.pathloss);
        }
    } else if (auto *a = dynamic_cast<const VomuElementWLAN *>(e)) {
        QStringList bytes;
        for (int i = 0; i < 8; ++i)
            bytes << (a->mac().isByteSet(i) ? QString::number(a->mac().macByte(i), 16) : QStringLiteral("_"));
        parts << QStringLiteral("WLAN %1 rx%2 rssi%3")
                     .arg(bytes.join(QLatin1Char(':'))).arg(a->powerRx()).arg(a->rssiSet() ? int(a->rssi()) : -1);
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString describe(const FpcFingerprint &fp)
{
    QStringList parts;
    parts << QStringLiteral("time %1 mask %2 radio %3")
                 .arg(fp.time().toMSecsSinceEpoch()).arg(fp.dataMask()).arg(fp.radioType());
    const VomuMeasurements m = fp.measurements();
    for (int i = 0; i < m.count(); ++i)
        parts << describeElement(m.element(i));
    if (fp.hasPosition()) {
        const FpcPosition p = fp.position();
        parts << QStringLiteral("pos %1 %2 alt %3 acc %4 %5 t %6.%7")
                     .arg(number(p.latitude()), number(p.longitude()), number(p.altitude()),
                          number(p.horizontalAccuracy()), number(p.altitudeAccuracy()))
                     .arg(p.timestamp()).arg(p.timestampMicroseconds());
    }
    return parts.join(QLatin1Char('\n'));
}

int rowCount(const QString &table)
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("SELECT count(*) FROM ") + table) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool exec(const QString &statement)
{
    QSqlQuery query;
    if (query.exec(statement))
        return true;
    qWarning() << statement << query.lastError().text();
    return false;
}

} // namespace StorageTestData
