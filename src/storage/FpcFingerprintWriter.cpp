#include "FpcFingerprintWriter.h"

#include "FpcLog.h"
#include "FpcMacConversion.h"
#include "FpcSqlConnection.h"
#include "FpcSqlValue.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>

#include <cmath>
#include <limits>

namespace {

// A float of the position in whole units, truncated toward zero; NULL
// (no value) for a value that is not defined.
QVariant truncatedOrNull(float value)
{
    if (!std::isfinite(value))
        return QVariant();
    const double truncated = std::trunc(static_cast<double>(value));
    const double lowest = std::numeric_limits<qint32>::min();
    const double highest = std::numeric_limits<qint32>::max();
    return QVariant(static_cast<qint64>(qBound(lowest, truncated, highest)));
}

} // namespace

// One row of an INSERT: the values bound to the prepared statement, plus the
// same statement with the values written out as decimal literals, which is
// what the log shows when the row cannot be written.
class FpcFingerprintWriter::InsertRow
{
public:
    explicit InsertRow(const char *head) : m_head(QString::fromLatin1(head)) {}

    void add(qint64 value) { m_values << QVariant(value); }
    // Fixed notation with ten decimals; the stored value is the same number.
    void addCoordinate(double degrees)
    {
        if (!std::isfinite(degrees)) {
            addNull();
            return;
        }
        m_values << QVariant(QString::number(degrees, 'f', 10).toDouble());
        m_coordinates << (m_values.size() - 1);
    }
    void addTruncated(float value)
    {
        const QVariant v = truncatedOrNull(value);
        if (v.isNull())
            addNull();
        else
            add(v.toLongLong());
    }
    void addNull() { m_values << QVariant(); }

    const QString &head() const { return m_head; }
    const QList<QVariant> &values() const { return m_values; }
    QString preparedText() const
    {
        QStringList marks;
        for (int i = 0; i < m_values.size(); ++i)
            marks << QStringLiteral("?");
        return m_head + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    // Built only for the log of a row that could not be written.
    QString literalText() const
    {
        QStringList texts;
        for (int i = 0; i < m_values.size(); ++i) {
            const QVariant &value = m_values.at(i);
            if (value.isNull())
                texts << QStringLiteral("NULL");
            else if (m_coordinates.contains(i))
                texts << QString::number(value.toDouble(), 'f', 10);
            else
                texts << QString::number(value.toLongLong());
        }
        return m_head + texts.join(QStringLiteral(", ")) + QLatin1Char(')');
    }

private:
    QString m_head;
    QList<QVariant> m_values;
    QList<int> m_coordinates;
};

FpcFingerprintWriter::FpcFingerprintWriter() = default;

FpcFingerprintWriter::~FpcFingerprintWriter() = default;

void FpcFingerprintWriter::clearQueries()
{
    m_insertQueries.clear();
}

bool FpcFingerprintWriter::execInsert(const InsertRow &row, const char *prefix, const char *label)
{
    auto it = m_insertQueries.find(row.head());
    if (it == m_insertQueries.end()) {
        QSqlQuery query(FpcSqlConnection::database());
        if (!query.prepare(row.preparedText())) {
            qCritical() << prefix << "Unable to insert row to"
                        << QString(QLatin1String(label) + FpcSqlConnection::errorText(query));
            qCritical() << prefix << "statement:" << row.literalText();
            return false;
        }
        it = m_insertQueries.insert(row.head(), query);
    }
    QSqlQuery &query = it.value();
    const QList<QVariant> &values = row.values();
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec()) {
        qCritical() << prefix << "Unable to insert row to"
                    << QString(QLatin1String(label) + FpcSqlConnection::errorText(query));
        qCritical() << prefix << "statement:" << row.literalText();
        // A statement that failed may be unusable; the next row prepares anew.
        m_insertQueries.erase(it);
        return false;
    }
    return true;
}

qint64 FpcFingerprintWriter::insert(const FpcFingerprint &fp)
{
    FPC_TRACE << "FpcSqlHandler::insert() <-";
    if (fp.time().isNull() || !fp.time().isValid()) {
        qCritical() << "FpcSqlHandler::insert() Fingerprint has no valid time - not stored";
        return -1;
    }
    QSqlDatabase db = FpcSqlConnection::database();
    if (!db.transaction()) {
        qCritical() << "FpcSqlHandler::insert() Unable to begin a transaction:" << db.lastError().text();
        return -1;
    }

    qint64 fpId = -1;
    bool ok = insertFingerprintRow(fp, &fpId);
    if (ok && fp.hasPosition())
        ok = insertPosition(fp.position(), fpId);
    if (ok && fp.hasMeasurements()) {
        ok = insertMeasurements(fp.measurements(), fpId);
        if (!ok)
            qCritical() << "FpcSqlHandler::insert() Inserting measurements failed";
    }
    if (ok && !db.commit()) {
        qCritical() << "FpcSqlHandler::insert() Unable to commit:" << db.lastError().text();
        ok = false;
    }
    if (!ok) {
        db.rollback();
        return -1;
    }
    FPC_TRACE << "FpcSqlHandler::insert() Insertions committed";
    FPC_TRACE << "FpcSqlHandler::insert() ->";
    return fpId;
}

bool FpcFingerprintWriter::insertFingerprintRow(const FpcFingerprint &fp, qint64 *fpId)
{
    InsertRow row("INSERT INTO Fingerprint (time, timeMSecs, exported, dataMask) values(");
    row.add(fp.time().toSecsSinceEpoch());
    row.add(fp.time().time().msec());
    row.add(0);
    row.add(fp.dataMask());
    if (!execInsert(row, "FpcSqlHandler::insert()", "Fingerprint: "))
        return false;

    const QVariant lastId = m_insertQueries.value(row.head()).lastInsertId();
    FPC_TRACE << "FpcSqlHandler::insert() Fingerprint ID:" << lastId;
    const std::optional<qint64> id = FpcSqlValue::toInt64(lastId);
    if (!id || *id < 1) {
        qCritical() << "FpcSqlHandler::insert() Unable to cast Fingerprint ID"
                    << "to integer";
        return false;
    }
    *fpId = *id;
    return true;
}

bool FpcFingerprintWriter::insertPosition(const FpcPosition &position, qint64 fpId)
{
    InsertRow row("INSERT INTO Position (fpId, latitude, longitude, altitude, altUncertainty, time, "
                  "timeMSecs, cep68) values(");
    row.add(fpId);
    row.addCoordinate(position.latitude());
    row.addCoordinate(position.longitude());
    row.addTruncated(position.altitude());
    row.addTruncated(position.altitudeAccuracy());
    row.add(position.timestamp());
    row.add(position.timestampMicroseconds());
    row.addTruncated(position.cep68());
    return execInsert(row, "FpcSqlHandler::insert()", "Position: ");
}

bool FpcFingerprintWriter::insertMeasurements(const VomuMeasurements &measurements, qint64 fpId)
{
    if (measurements.isEmpty())
        return false;
    for (int i = 0; i < measurements.count(); ++i) {
        const VomuObservationElement *element = measurements.element(i);
        const int id = element->elementId();
        bool ok = true;
        if (const auto *gsm = dynamic_cast<const VomuElementGSM *>(element);
            gsm && id == VomuObservationElement::ElementIdGSM)
            ok = insertGsm(*gsm, fpId);
        else if (const auto *wcdma = dynamic_cast<const VomuElementWCDMA *>(element);
                 wcdma && id == VomuObservationElement::ElementIdWCDMA)
            ok = insertUtraFdd(*wcdma, fpId);
        else if (const auto *wlan = dynamic_cast<const VomuElementWLAN *>(element);
                 wlan && id == VomuObservationElement::ElementIdWLAN)
            ok = insertWlan(*wlan, fpId);
        else
            qDebug() << "[ERROR] FpcSqlHandler::insert() Unknown measurement element:" << id;
        if (!ok)
            return false;
    }
    return true;
}

bool FpcFingerprintWriter::insertGsm(const VomuElementGSM &gsm, qint64 fpId)
{
    InsertRow cell("INSERT INTO Geran (fpId, mcc, mnc, lac, cid, rxLevel, ta) values(");
    cell.add(fpId);
    cell.add(gsm.countryCode());
    cell.add(gsm.networkId());
    cell.add(gsm.locationAreaCode());
    cell.add(gsm.cellId());
    cell.add(gsm.powerRx() == 255 ? -1 : gsm.powerRx());
    cell.add(gsm.timingAdvanceSet() ? gsm.timingAdvance() : -1);
    if (!execInsert(cell, "FpcSqlHandler::insertGsm()", "Geran: "))
        return false;

    for (int i = 0; i < gsm.neighbourCellCount(); ++i) {
        const VomuElementGSM::NeighbourCell n = gsm.neighbourCell(i);
        InsertRow row("INSERT INTO Gncell (fpId, bsic, bcch, rxLevel) values(");
        row.add(fpId);
        row.add(n.color());
        row.add(n.frequency());
        row.add(n.powerRx() == 255 ? -1 : n.powerRx());
        if (!execInsert(row, "FpcSqlHandler::insertGsm()", "Gncell: "))
            return false;
    }
    return true;
}

bool FpcFingerprintWriter::insertUtraFdd(const VomuElementWCDMA &wcdma, qint64 fpId)
{
    InsertRow cell("INSERT INTO UtraFdd (fpId, mcc, mnc, ucid, lac) values(");
    cell.add(fpId);
    cell.add(wcdma.countryCode());
    cell.add(wcdma.networkId());
    cell.add(wcdma.ucId());
    cell.add(wcdma.locationAreaCodeSet() ? wcdma.locationAreaCode() : -1);
    if (!execInsert(cell, "FpcSqlHandler::insertUtraFdd()", "UtraFdd: "))
        return false;

    const auto level = [](quint8 value, int absent) { return value == 255 ? absent : int(value); };
    for (int i = 0; i < wcdma.neighbourCellCount(); ++i) {
        const VomuElementWCDMA::NeighbourCell n = wcdma.neighbourCell(i);
        InsertRow row("INSERT INTO Uncell (fpId, pcpich, uarfcndn, ucid, rssi, ecn, rscp, pl) values(");
        row.add(fpId);
        row.add(n.pCpich);
        row.add(n.uarfcnDl);
        row.add(n.ucId == 0xFFFFFFFFu ? -1 : qint64(n.ucId));
        row.add(level(n.rssi, -1));
        row.add(level(n.ecn0, -1));
        row.add(level(n.rscp, -100));
        row.add(level(n.pathloss, -1));
        if (!execInsert(row, "FpcSqlHandler::insertUtraFdd()", "Uncell: "))
            return false;
    }
    return true;
}

bool FpcFingerprintWriter::insertWlan(const VomuElementWLAN &wlan, qint64 fpId)
{
    const qint64 mac = FpcMacConversion::toInt(wlan.mac());
    if (!wlan.powerRxSet()) {
        qDebug() << "[ERROR] FpcSqlHandler::insertWlan() ERROR powerRx not set - skip this WLAN AP";
        return true;
    }
    InsertRow row("INSERT INTO Wlan (fpId, mac, rxLevel, rssi) values(");
    row.add(fpId);
    row.add(mac);
    row.add(wlan.powerRx());
    row.add(wlan.rssiSet() ? wlan.rssi() : -1);
    return execInsert(row, "FpcSqlHandler::insertWlan()", "Wlan: ");
}
