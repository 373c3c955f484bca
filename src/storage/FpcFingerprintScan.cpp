#include "FpcFingerprintScan.h"

#include "FpcFingerprintRows.h"
#include "FpcSqlConnection.h"
#include "FpcSqlValue.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

// One table read in fingerprint id order: the tables are walked side by
// side, each row handed to the fingerprint with its id.
class TableCursor
{
public:
    TableCursor(const char *statement, int idColumn)
        : m_query(FpcSqlConnection::database()), m_statement(QString::fromLatin1(statement)), m_idColumn(idColumn)
    {
        m_query.setForwardOnly(true);
    }

    bool start()
    {
        if (!m_query.exec(m_statement)) {
            qCritical() << "FpcSqlHandler::forEachFingerprint() Error in select:"
                        << FpcSqlConnection::errorText(m_query);
            qCritical() << "FpcSqlHandler::forEachFingerprint() Select clause:" << m_statement;
            return false;
        }
        advance();
        return true;
    }

    // Skips the rows of lower ids; true while the current row is fpId's.
    bool at(qint64 fpId)
    {
        while (m_valid && m_id < fpId)
            advance();
        return m_valid && m_id == fpId;
    }

    // Rows without a usable id belong to no fingerprint and are passed over.
    void advance()
    {
        for (m_valid = m_query.next(); m_valid; m_valid = m_query.next()) {
            if (const auto id = FpcSqlValue::toInt64(m_query.value(m_idColumn))) {
                m_id = *id;
                return;
            }
        }
    }

    bool valid() const { return m_valid; }
    qint64 id() const { return m_id; }
    const QSqlQuery &row() const { return m_query; }

private:
    QSqlQuery m_query;
    QString m_statement;
    int m_idColumn;
    bool m_valid = false;
    qint64 m_id = 0;
};

} // namespace

bool FpcFingerprintScan::forEach(const std::function<bool(const FpcFingerprint &)> &visit)
{
    // The columns of each table's look-up by id, followed by the id.
    TableCursor fingerprints("SELECT time, timeMSecs, dataMask, fpId FROM Fingerprint ORDER BY fpId", 3);
    TableCursor utraFdd("SELECT mcc, mnc, ucid, lac, fpId FROM UtraFdd ORDER BY fpId, rowid", 4);
    TableCursor uncells("SELECT pcpich, uarfcndn, ucid, rssi, ecn, rscp, pl, fpId FROM Uncell "
                        "ORDER BY fpId, rowid",
                        7);
    TableCursor geran("SELECT mcc, mnc, lac, cid, rxLevel, ta, fpId FROM Geran ORDER BY fpId", 6);
    TableCursor gncells("SELECT bsic, bcch, rxLevel, fpId FROM Gncell ORDER BY fpId, rowid", 3);
    TableCursor wlans("SELECT mac, rxLevel, rssi, fpId FROM Wlan ORDER BY fpId, rowid", 3);
    TableCursor positions("SELECT latitude, longitude, altitude, altUncertainty, time, timeMSecs, cep68, fpId "
                          "FROM Position ORDER BY fpId, rowid",
                          7);
    for (TableCursor *cursor : {&fingerprints, &utraFdd, &uncells, &geran, &gncells, &wlans, &positions}) {
        if (!cursor->start())
            return false;
    }

    for (; fingerprints.valid(); fingerprints.advance()) {
        const qint64 fpId = fingerprints.id();
        FpcFingerprint fp;
        if (!FpcFingerprintRows::readFingerprint(fingerprints.row(), fp))
            continue;
        fp.setId(fpId);

        // As select(): the first WCDMA cell, else the first GSM cell, each
        // only with all its neighbours readable; then the access points.
        VomuMeasurements measurements;
        bool cellFound = false;
        if (utraFdd.at(fpId)) {
            if (std::unique_ptr<VomuElementWCDMA> wcdma = FpcFingerprintRows::readUtraFdd(utraFdd.row())) {
                bool converted = true;
                for (; uncells.at(fpId); uncells.advance())
                    converted = FpcFingerprintRows::readUtraFddNcell(uncells.row(), *wcdma);
                if (converted) {
                    measurements.append(wcdma.release());
                    cellFound = true;
                }
            }
        }
        if (!cellFound && geran.at(fpId)) {
            if (std::unique_ptr<VomuElementGSM> gsm = FpcFingerprintRows::readGeran(geran.row())) {
                bool converted = true;
                for (; gncells.at(fpId); gncells.advance())
                    converted = FpcFingerprintRows::readGeranNcell(gncells.row(), *gsm);
                if (converted)
                    measurements.append(gsm.release());
            }
        }
        for (; wlans.at(fpId); wlans.advance())
            FpcFingerprintRows::readWlan(wlans.row(), measurements);
        fp.setMeasurements(measurements);

        FpcPosition position;
        if (positions.at(fpId)
            && FpcFingerprintRows::readPosition(positions.row(), position, "FpcSqlHandler::selectPosition()", true))
            fp.setPosition(position);
        if (!visit(fp))
            break;
    }
    return true;
}
