#include "FpcSqlHandler.h"

#include "FpcFingerprintRows.h"
#include "FpcLog.h"
#include "FpcMacConversion.h"
#include "FpcSchema.h"
#include "FpcSqlValue.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QScopeGuard>
#include <QSqlRecord>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <vector>
#include <limits>

namespace {

QSqlDatabase connection()
{
    return QSqlDatabase::database(QSqlDatabase::defaultConnection, false);
}

QString errorText(const QSqlQuery &query)
{
    return query.lastError().text();
}

// Runs one statement on a throw-away query; errorOut gets the driver's text.
bool execText(const QString &statement, QString *errorOut = nullptr)
{
    QSqlQuery query(connection());
    if (query.exec(statement))
        return true;
    if (errorOut)
        *errorOut = errorText(query);
    return false;
}

// The seven read queries, in the order of FpcSqlHandler::PreparedQuery.
const char *const PreparedTexts[] = {
    "SELECT time, timeMSecs, dataMask FROM Fingerprint WHERE FpId= :fpid",
    "SELECT mcc, mnc, ucid, lac FROM UtraFdd WHERE FpId= :fpid",
    "SELECT pcpich, uarfcndn, ucid, rssi, ecn, rscp, pl FROM Uncell WHERE fpId= :fpid",
    "SELECT mac, rxLevel, rssi FROM Wlan WHERE FpId= :fpid",
    "SELECT latitude, longitude, altitude, altUncertainty, time,timeMSecs, cep68 FROM Position "
    "WHERE fpId= :fpid",
    "SELECT mcc, mnc, lac, cid, rxLevel, ta FROM Geran WHERE fpId= :fpid",
    "SELECT bsic, bcch, rxLevel FROM Gncell WHERE fpId= :fpid",
};

// Tables in the order in which a fingerprint's rows are deleted.
const char *const DeleteOrder[] = {"Uncell", "Gncell", "UtraFdd", "Geran", "Wlan", "Position",
                                   "Fingerprint"};

} // namespace

FpcSqlHandler::FpcSqlHandler(Clock now)
    : m_now(std::move(now))
{
}

FpcSqlHandler::~FpcSqlHandler()
{
    clearQueries();
}

bool FpcSqlHandler::configureConnection()
{
    return m_journal.configureConnection();
}

bool FpcSqlHandler::checkpoint()
{
    return m_journal.checkpoint();
}

void FpcSqlHandler::setLogShare(qint64 sizeLimit)
{
    m_journal.setLogShare(sizeLimit);
}

qint64 FpcSqlHandler::logReserve() const
{
    return m_journal.logReserve();
}

qint64 FpcSqlHandler::pageBytes()
{
    return m_journal.pageBytes();
}

// ---------------------------------------------------------------- schema

bool FpcSqlHandler::createTables()
{
    return FpcSchema::create(m_configuration, m_now ? m_now : Clock(&QDateTime::currentDateTimeUtc));
}

// ---------------------------------------------------------------- insert

qint64 FpcSqlHandler::insert(const FpcFingerprint &fp)
{
    return m_writer.insert(fp);
}

bool FpcSqlHandler::insertGsm(const VomuElementGSM &gsm, qint64 fpId)
{
    return m_writer.insertGsm(gsm, fpId);
}

bool FpcSqlHandler::insertUtraFdd(const VomuElementWCDMA &wcdma, qint64 fpId)
{
    return m_writer.insertUtraFdd(wcdma, fpId);
}

bool FpcSqlHandler::insertWlan(const VomuElementWLAN &wlan, qint64 fpId)
{
    return m_writer.insertWlan(wlan, fpId);
}

// ---------------------------------------------------------------- vacuum

bool FpcSqlHandler::vacuum()
{
    // An open statement would make the compaction fail.
    clearQueries();
    return m_journal.vacuum();
}

// ---------------------------------------------------------------- prepared queries

void FpcSqlHandler::clearQueries()
{
    for (auto &query : m_queries) {
        if (query)
            query->clear();
    }
    m_writer.clearQueries();
    m_configuration.clearQueries();
    m_journal.clearQueries();
    m_prepared = false;
}

void FpcSqlHandler::resetQueries()
{
    for (auto &query : m_queries)
        query = std::make_unique<QSqlQuery>(connection());
    m_writer.clearQueries();
    m_configuration.clearQueries();
    m_journal.clearQueries();
    m_prepared = false;
}

void FpcSqlHandler::prepareQueries()
{
    if (m_prepared)
        return;
    resetQueries();
    m_prepared = true;
    for (int i = 0; i < PreparedQueryCount; ++i) {
        m_queries[i]->setForwardOnly(true);
        if (!m_queries[i]->prepare(QString::fromLatin1(PreparedTexts[i]))) {
            qCritical() << "FpcSqlHandler::prepareQueries() Unable to prepare" << PreparedTexts[i]
                        << errorText(*m_queries[i]);
            // Try again on the next read rather than keep a broken query.
            m_prepared = false;
        }
    }
}

bool FpcSqlHandler::execBound(PreparedQuery which, qint64 fpId, const char *prefix)
{
    prepareQueries();
    QSqlQuery &query = *m_queries[which];
    query.bindValue(QStringLiteral(":fpid"), fpId);
    if (query.exec())
        return true;
    qCritical() << prefix << "Error in select:" << errorText(query);
    qCritical() << prefix << "Select clause:" << query.executedQuery();
    return false;
}

// ---------------------------------------------------------------- forwarded

bool FpcSqlHandler::getValue(const QString &key, QString &value)
{
    return m_configuration.getValue(key, value);
}

bool FpcSqlHandler::getValue(const QString &key, quint32 &value)
{
    return m_configuration.getValue(key, value);
}

void FpcSqlHandler::setValue(const QString &key, const QString &value)
{
    m_configuration.setValue(key, value);
}

void FpcSqlHandler::setValue(const QString &key, quint32 value)
{
    m_configuration.setValue(key, value);
}

QString FpcSqlHandler::macToString(const VomuWlanMacAddress &mac)
{
    return FpcMacConversion::toText(mac);
}

qint64 FpcSqlHandler::macToInt(const VomuWlanMacAddress &mac)
{
    return FpcMacConversion::toInt(mac);
}

VomuWlanMacAddress FpcSqlHandler::intToMac(qint64 value)
{
    return FpcMacConversion::fromInt(value);
}

// ---------------------------------------------------------------- reads

bool FpcSqlHandler::select(qint64 fpId, FpcFingerprint &fp)
{
    FPC_TRACE << "FpcSqlHandler::select() fp id: " << fpId;
    prepareQueries();
    QSqlQuery &query = *m_queries[QueryFingerprint];
    query.bindValue(QStringLiteral(":fpid"), fpId);
    if (!query.exec()) {
        qDebug() << "[ERROR] FpcSqlHandler::select() Error in select:" << errorText(query);
        qDebug() << "[ERROR] FpcSqlHandler::select() Select clause:" << query.executedQuery();
        return false;
    }
    query.next();
    const bool read = FpcFingerprintRows::readFingerprint(query, fp);
    query.finish();
    if (!read)
        return false;
    fp.setId(fpId);

    VomuMeasurements measurements;
    if (selectUtraFdd(fpId, measurements))
        FPC_TRACE << "FpcSqlHandler::select() fp id:" << fpId << "-> WCDMA cell found";
    else if (selectGeran(fpId, measurements))
        FPC_TRACE << "FpcSqlHandler::select() fp id:" << fpId << "-> GSM cell found";
    if (selectWlan(fpId, measurements))
        FPC_TRACE << "FpcSqlHandler::select() fp id:" << fpId << "-> WLAN measurements found";
    fp.setMeasurements(measurements);

    FpcPosition position;
    if (selectPosition(fpId, position)) {
        fp.setPosition(position);
        FPC_TRACE << "FpcSqlHandler::select() GPS fix:" << position.latitude() << position.longitude();
    }
    FPC_TRACE << "FpcSqlHandler::select() ->";
    return true;
}

bool FpcSqlHandler::selectGeran(qint64 fpId, VomuMeasurements &measurements)
{
    static const char prefix[] = "FpcSqlHandler::selectGeran()";
    if (!execBound(QueryGeran, fpId, prefix))
        return false;
    QSqlQuery &query = *m_queries[QueryGeran];
    if (!query.next()) {
        query.finish();
        FPC_TRACE << "FpcSqlHandler::selectGeran() Cell not found";
        return false;
    }
    std::unique_ptr<VomuElementGSM> gsm = FpcFingerprintRows::readGeran(query);
    query.finish();
    if (!gsm)
        return false;
    if (!selectGeranNcells(fpId, *gsm)) {
        qDebug() << "[ERROR] FpcSqlHandler::selectGeran() GSM cell not appended to measurements";
        return false;
    }
    measurements.append(gsm.release());
    return true;
}

bool FpcSqlHandler::selectGeranNcells(qint64 fpId, VomuElementGSM &gsm)
{
    if (!execBound(QueryGeranNcells, fpId, "FpcSqlHandler::selectGeranNcells()"))
        return false;
    QSqlQuery &query = *m_queries[QueryGeranNcells];
    bool lastConverted = true;
    while (query.next())
        lastConverted = FpcFingerprintRows::readGeranNcell(query, gsm);
    query.finish();
    return lastConverted;
}

bool FpcSqlHandler::selectUtraFdd(qint64 fpId, VomuMeasurements &measurements)
{
    static const char prefix[] = "FpcSqlHandler::selectUtraFdd()";
    if (!execBound(QueryUtraFdd, fpId, prefix))
        return false;
    QSqlQuery &query = *m_queries[QueryUtraFdd];
    if (!query.next()) {
        query.finish();
        FPC_TRACE << "FpcSqlHandler::selectUtraFdd() Cell not found";
        return false;
    }
    std::unique_ptr<VomuElementWCDMA> wcdma = FpcFingerprintRows::readUtraFdd(query);
    query.finish();
    if (!wcdma)
        return false;
    if (!selectUtraFddNcells(fpId, *wcdma)) {
        qDebug() << "[ERROR] FpcSqlHandler::selectUtraFdd() WCDMA cell not appended to measurements";
        return false;
    }
    measurements.append(wcdma.release());
    return true;
}

bool FpcSqlHandler::selectUtraFddNcells(qint64 fpId, VomuElementWCDMA &wcdma)
{
    if (!execBound(QueryUtraFddNcells, fpId, "FpcSqlHandler::selectUtraFddNcells()"))
        return false;
    QSqlQuery &query = *m_queries[QueryUtraFddNcells];
    bool lastConverted = true;
    while (query.next())
        lastConverted = FpcFingerprintRows::readUtraFddNcell(query, wcdma);
    query.finish();
    return lastConverted;
}

bool FpcSqlHandler::selectWlan(qint64 fpId, VomuMeasurements &measurements)
{
    if (!execBound(QueryWlan, fpId, "FpcSqlHandler::selectWlan()"))
        return false;
    QSqlQuery &query = *m_queries[QueryWlan];
    bool lastConverted = true;
    while (query.next())
        lastConverted = FpcFingerprintRows::readWlan(query, measurements);
    query.finish();
    return lastConverted;
}

bool FpcSqlHandler::selectPosition(qint64 fpId, FpcPosition &position)
{
    static const char prefix[] = "FpcSqlHandler::selectPosition()";
    if (!execBound(QueryPosition, fpId, prefix))
        return false;
    QSqlQuery &query = *m_queries[QueryPosition];
    if (!query.next()) {
        query.finish();
        FPC_TRACE << "FpcSqlHandler::selectPosition() Position not found";
        return false;
    }
    const bool ok = FpcFingerprintRows::readPosition(query, position, prefix, true);
    query.finish();
    return ok;
}

bool FpcSqlHandler::selectAllPositions(QList<FpcPosition *> &positions)
{
    static const char prefix[] = "FpcSqlHandler::selectAllPositions()";
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT latitude, longitude, altitude, altUncertainty, time, "
                                   "timeMSecs, cep68, fpId FROM Position"))) {
        qCritical() << prefix << "Error in select:" << errorText(query);
        qCritical() << prefix << "Select clause:" << query.lastQuery();
        return false;
    }
    while (query.next()) {
        auto position = std::make_unique<FpcPosition>();
        if (!FpcFingerprintRows::readPosition(query, *position, prefix, false))
            return false;
        const QVariant rawId = query.value(7);
        if (const auto id = FpcSqlValue::toInt64(rawId))
            position->setFpId(*id);
        else
            qCritical() << "FpcSqlHandler::selectAllPositions() Invalid fpId from database:" << rawId;
        positions.append(position.release());
    }
    return true;
}

bool FpcSqlHandler::selectIds(QList<qint64> &ids, const QString &condition)
{
    QString statement = QStringLiteral("SELECT fpId FROM Fingerprint");
    if (!condition.isEmpty())
        statement += QLatin1Char(' ') + condition;
    // Id order, as the table stores its rows: an index on another column
    // must not change the order in which ids (and reports) come.
    statement += QStringLiteral(" ORDER BY fpId");
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(statement)) {
        qCritical() << "FpcSqlHandler::selectIds() Error in select:" << errorText(query);
        return false;
    }
    while (query.next()) {
        const QVariant raw = query.value(0);
        if (const auto id = FpcSqlValue::toInt64(raw))
            ids.append(*id);
        else
            qDebug() << "[ERROR] FpcSqlHandler::selectIds() Select returned an invalid field:" << raw;
    }
    return true;
}

bool FpcSqlHandler::selectAll(QList<qint64> &ids)
{
    return selectIds(ids, QString());
}

bool FpcSqlHandler::selectExported(QList<qint64> &ids)
{
    return selectIds(ids, QStringLiteral("WHERE exported=1"));
}

qint64 FpcSqlHandler::selectNewest()
{
    QList<qint64> ids;
    if (!selectIds(ids, QStringLiteral("WHERE time=(SELECT max(time) FROM Fingerprint)")) || ids.isEmpty())
        return -1;
    if (ids.size() > 1)
        qWarning() << "FpcSqlHandler::selectNewest() Select returned multiple rows";
    return ids.first();
}

bool FpcSqlHandler::selectFingerprintsOnly(QList<FpcFingerprint *> &fps, bool withRadioType)
{
    static const char prefix[] = "FpcSqlHandler::selectFingerprintsOnly()";
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    const QString statement = withRadioType
        ? QStringLiteral("SELECT fpId, time, timeMSecs, dataMask, "
                         "EXISTS(SELECT 1 FROM UtraFdd u WHERE u.fpId=f.fpId) FROM Fingerprint f")
        : QStringLiteral("SELECT fpId, time, timeMSecs, dataMask FROM Fingerprint");
    if (!query.exec(statement)) {
        qCritical() << prefix << "Error in select:" << errorText(query);
        qCritical() << prefix << "Select clause:" << query.lastQuery();
        return false;
    }
    while (query.next()) {
        const auto listed = FpcFingerprintRows::readListed(query, prefix);
        if (!listed)
            return false;
        auto fp = std::make_unique<FpcFingerprint>();
        fp->setId(listed->fpId);
        fp->setTime(FpcFingerprintRows::fingerprintTime(listed->seconds, listed->milliseconds));
        fp->setDataMask(listed->dataMask);
        if (withRadioType && (listed->dataMask & FpcFingerprint::Cell))
            fp->setRadioType(query.value(4).toInt() ? FpcFingerprint::RadioWCDMA : FpcFingerprint::RadioGSM);
        fps.append(fp.release());
    }
    return true;
}

bool FpcSqlHandler::selectSummaries(QList<StoredSummary> &summaries)
{
    static const char prefix[] = "FpcSqlHandler::selectFingerprintsOnly()";
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT fpId, time, timeMSecs, dataMask, "
                                   "EXISTS(SELECT 1 FROM UtraFdd u WHERE u.fpId=f.fpId) FROM Fingerprint f"))) {
        qCritical() << prefix << "Error in select:" << errorText(query);
        qCritical() << prefix << "Select clause:" << query.lastQuery();
        return false;
    }
    while (query.next()) {
        const auto listed = FpcFingerprintRows::readListed(query, prefix);
        if (!listed)
            return false;
        int radio = FpcFingerprint::RadioNone;
        if (listed->dataMask & FpcFingerprint::Cell)
            radio = query.value(4).toInt() ? FpcFingerprint::RadioWCDMA : FpcFingerprint::RadioGSM;
        summaries.append({listed->fpId, listed->seconds * 1000 + listed->milliseconds, listed->dataMask, radio});
    }
    return true;
}

bool FpcSqlHandler::selectPositionsInBox(double south, double north, double west, double east,
                                         QList<StoredCoordinate> &found)
{
    static const char prefix[] = "FpcSqlHandler::selectPositionsInBox()";
    const QString longitudes = west <= east ? QStringLiteral("longitude BETWEEN :west AND :east")
                                            : QStringLiteral("(longitude >= :west OR longitude <= :east)");
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT fpId, latitude, longitude, rowid FROM Position "
                                 "WHERE latitude BETWEEN :south AND :north AND (%1)")
                      .arg(longitudes));
    query.bindValue(QStringLiteral(":south"), south);
    query.bindValue(QStringLiteral(":north"), north);
    query.bindValue(QStringLiteral(":west"), west);
    query.bindValue(QStringLiteral(":east"), east);
    if (!query.exec()) {
        qCritical() << prefix << "Error in select:" << errorText(query);
        qCritical() << prefix << "Select clause:" << query.lastQuery();
        return false;
    }
    // Sorted here, not in SQL: an ORDER BY on the row id would lead SQLite
    // to read the whole table in row id order instead of the index range.
    std::vector<std::pair<qint64, StoredCoordinate>> rows;
    while (query.next()) {
        const auto id = FpcSqlValue::toInt64(query.value(0));
        const auto latitude = FpcSqlValue::toDouble(query.value(1));
        const auto longitude = FpcSqlValue::toDouble(query.value(2));
        if (id && latitude && longitude)
            rows.push_back({query.value(3).toLongLong(), {*id, *latitude, *longitude}});
    }
    std::sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &row : rows)
        found.append(row.second);
    return true;
}

namespace {

// One table read in fingerprint id order: the tables are walked side by
// side, each row handed to the fingerprint with its id.
class TableCursor
{
public:
    TableCursor(const char *statement, int idColumn)
        : m_query(connection()), m_statement(QString::fromLatin1(statement)), m_idColumn(idColumn)
    {
        m_query.setForwardOnly(true);
    }

    bool start()
    {
        if (!m_query.exec(m_statement)) {
            qCritical() << "FpcSqlHandler::forEachFingerprint() Error in select:" << errorText(m_query);
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

bool FpcSqlHandler::forEachFingerprint(const std::function<bool(const FpcFingerprint &)> &visit)
{
    // The columns of each table's look-up by id, followed by the id.
    TableCursor fingerprints("SELECT time, timeMSecs, dataMask, fpId FROM Fingerprint ORDER BY fpId", 3);
    TableCursor utraFdd("SELECT mcc, mnc, ucid, lac, fpId FROM UtraFdd ORDER BY fpId, rowid", 4);
    TableCursor uncells("SELECT pcpich, uarfcndn, ucid, rssi, ecn, rscp, pl, fpId FROM Uncell "
                        "ORDER BY fpId, rowid", 7);
    TableCursor geran("SELECT mcc, mnc, lac, cid, rxLevel, ta, fpId FROM Geran ORDER BY fpId", 6);
    TableCursor gncells("SELECT bsic, bcch, rxLevel, fpId FROM Gncell ORDER BY fpId, rowid", 3);
    TableCursor wlans("SELECT mac, rxLevel, rssi, fpId FROM Wlan ORDER BY fpId, rowid", 3);
    TableCursor positions("SELECT latitude, longitude, altitude, altUncertainty, time, timeMSecs, cep68, fpId "
                          "FROM Position ORDER BY fpId, rowid", 7);
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

namespace {

bool selectIdsBy(const QString &statement, const char *prefix, QList<qint64> &ids)
{
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(statement)) {
        qCritical() << prefix << "Error in select:" << errorText(query);
        qCritical() << prefix << "Select clause:" << statement;
        return false;
    }
    while (query.next()) {
        const auto id = FpcFingerprintRows::readFpId(query, 0, prefix);
        if (!id)
            return false;
        ids.append(*id);
    }
    return true;
}

} // namespace

bool FpcSqlHandler::selectByGeran(quint32 mcc, quint32 mnc, quint32 lac, quint32 cid, QList<qint64> &ids)
{
    const QString statement = QStringLiteral("SELECT fpId FROM Geran WHERE mcc=%1 AND mnc=%2 AND lac=%3 AND cid=%4")
                                  .arg(mcc)
                                  .arg(mnc)
                                  .arg(lac)
                                  .arg(cid);
    return selectIdsBy(statement, "FpcSqlHandler::selectByGeran()", ids);
}

bool FpcSqlHandler::selectByUtraFdd(quint32 mcc, quint32 mnc, quint32 ucid, QList<qint64> &ids)
{
    const QString statement = QStringLiteral("SELECT fpId FROM UtraFdd WHERE mcc=%1 AND mnc=%2 AND ucid=%3")
                                  .arg(mcc)
                                  .arg(mnc)
                                  .arg(ucid);
    return selectIdsBy(statement, "FpcSqlHandler::selectByUtraFdd()", ids);
}

// ---------------------------------------------------------------- update and delete

bool FpcSqlHandler::execForIdChunks(const QString &head, const QList<qint64> &ids, const char *prefix,
                                    const char *failureText)
{
    for (qsizetype start = 0; start < ids.size(); start += MaxIdsPerStatement) {
        QStringList texts;
        const qsizetype end = qMin<qsizetype>(ids.size(), start + MaxIdsPerStatement);
        for (qsizetype i = start; i < end; ++i)
            texts << QString::number(ids.at(i));
        const QString statement = head + texts.join(QLatin1Char(',')) + QLatin1Char(')');
        QString error;
        if (!execText(statement, &error)) {
            qCritical() << prefix << failureText << error;
            qCritical() << prefix << "statement:" << statement;
            return false;
        }
    }
    return true;
}

bool FpcSqlHandler::updateFingerprint(const QList<qint64> &ids, bool exported)
{
    if (ids.isEmpty()) {
        FPC_TRACE << "FpcSqlHandler::updateFingerprint() List of fingerprint" << "ID's is empty";
        return true;
    }
    // A long list takes several statements: one transaction marks all or none.
    QSqlDatabase db = connection();
    const bool inTransaction = db.transaction();
    const QString head = QStringLiteral("UPDATE Fingerprint SET exported=%1 WHERE fpId IN (")
                             .arg(exported ? QLatin1Char('1') : QLatin1Char('0'));
    bool ok = execForIdChunks(head, ids, "FpcSqlHandler::updateFingerprint()", "Update failed:");
    if (ok && inTransaction && !db.commit()) {
        qCritical() << "FpcSqlHandler::updateFingerprint() Update failed:" << db.lastError().text();
        ok = false;
    }
    if (!ok && inTransaction)
        db.rollback();
    return ok;
}

bool FpcSqlHandler::deleteFingerprint(const QList<qint64> &ids)
{
    if (ids.isEmpty()) {
        FPC_TRACE << "FpcSqlHandler::deleteFingerprint() List of fingerprint" << "ID's is empty";
        return true;
    }
    QList<qint64> wanted;
    wanted.reserve(ids.size());
    for (qint64 id : ids) {
        if (id != 0)
            wanted << id;
    }
    if (wanted.isEmpty()) {
        qWarning() << "FpcSqlHandler::deleteFingerprint() Nothing in fpId list" << "- nothing deleted";
        return false;
    }

    // All or nothing: the first failing statement rolls every table back.
    QSqlDatabase db = connection();
    if (!db.transaction()) {
        qCritical() << "FpcSqlHandler::deleteFingerprint() Delete failed:" << db.lastError().text();
        return false;
    }
    bool ok = true;
    for (const char *table : DeleteOrder) {
        const QString head = QStringLiteral("DELETE FROM %1 WHERE fpId IN (").arg(QLatin1String(table));
        ok = execForIdChunks(head, wanted, "FpcSqlHandler::deleteFingerprint()", "Delete failed:");
        if (!ok)
            break;
    }
    if (ok && !db.commit()) {
        qCritical() << "FpcSqlHandler::deleteFingerprint() Delete failed:" << db.lastError().text();
        ok = false;
    }
    if (!ok)
        db.rollback();
    FPC_TRACE << "FpcSqlHandler::deleteFingerprint() ->";
    return ok;
}
