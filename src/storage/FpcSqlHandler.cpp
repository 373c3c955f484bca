#include "FpcSqlHandler.h"

#include "FpcFingerprintRows.h"
#include "FpcFingerprintScan.h"
#include "FpcLog.h"
#include "FpcMacConversion.h"
#include "FpcSchema.h"
#include "FpcSqlConnection.h"
#include "FpcSqlValue.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

// Tables in the order in which a fingerprint's rows are deleted.
const char *const DeleteOrder[] = {"Uncell", "Gncell", "UtraFdd", "Geran", "Wlan", "Position", "Fingerprint"};

} // namespace

FpcSqlHandler::FpcSqlHandler(Clock now) : m_now(std::move(now)), m_lookup([this] { clearOtherQueries(); }) {}

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
    m_lookup.clearQueries();
    clearOtherQueries();
}

void FpcSqlHandler::resetQueries()
{
    m_lookup.resetQueries();
    clearOtherQueries();
}

void FpcSqlHandler::clearOtherQueries()
{
    m_writer.clearQueries();
    m_configuration.clearQueries();
    m_journal.clearQueries();
}

void FpcSqlHandler::prepareQueries()
{
    m_lookup.prepareQueries();
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
    return m_lookup.select(fpId, fp);
}

bool FpcSqlHandler::selectGeran(qint64 fpId, VomuMeasurements &measurements)
{
    return m_lookup.selectGeran(fpId, measurements);
}

bool FpcSqlHandler::selectGeranNcells(qint64 fpId, VomuElementGSM &gsm)
{
    return m_lookup.selectGeranNcells(fpId, gsm);
}

bool FpcSqlHandler::selectUtraFdd(qint64 fpId, VomuMeasurements &measurements)
{
    return m_lookup.selectUtraFdd(fpId, measurements);
}

bool FpcSqlHandler::selectUtraFddNcells(qint64 fpId, VomuElementWCDMA &wcdma)
{
    return m_lookup.selectUtraFddNcells(fpId, wcdma);
}

bool FpcSqlHandler::selectWlan(qint64 fpId, VomuMeasurements &measurements)
{
    return m_lookup.selectWlan(fpId, measurements);
}

bool FpcSqlHandler::selectPosition(qint64 fpId, FpcPosition &position)
{
    return m_lookup.selectPosition(fpId, position);
}

bool FpcSqlHandler::selectAllPositions(QList<FpcPosition *> &positions)
{
    static const char prefix[] = "FpcSqlHandler::selectAllPositions()";
    QSqlQuery query(FpcSqlConnection::database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT latitude, longitude, altitude, altUncertainty, time, "
                                   "timeMSecs, cep68, fpId FROM Position"))) {
        FpcSqlConnection::logSelectFailure(query, prefix);
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
    QSqlQuery query(FpcSqlConnection::database());
    query.setForwardOnly(true);
    if (!query.exec(statement)) {
        qCritical() << "FpcSqlHandler::selectIds() Error in select:" << FpcSqlConnection::errorText(query);
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
    QSqlQuery query(FpcSqlConnection::database());
    query.setForwardOnly(true);
    const QString statement =
        withRadioType ? QStringLiteral("SELECT fpId, time, timeMSecs, dataMask, "
                                       "EXISTS(SELECT 1 FROM UtraFdd u WHERE u.fpId=f.fpId) FROM Fingerprint f")
                      : QStringLiteral("SELECT fpId, time, timeMSecs, dataMask FROM Fingerprint");
    if (!query.exec(statement)) {
        FpcSqlConnection::logSelectFailure(query, prefix);
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
    QSqlQuery query(FpcSqlConnection::database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT fpId, time, timeMSecs, dataMask, "
                                   "EXISTS(SELECT 1 FROM UtraFdd u WHERE u.fpId=f.fpId) FROM Fingerprint f"))) {
        FpcSqlConnection::logSelectFailure(query, prefix);
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
    QSqlQuery query(FpcSqlConnection::database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT fpId, latitude, longitude, rowid FROM Position "
                                 "WHERE latitude BETWEEN :south AND :north AND (%1)")
                      .arg(longitudes));
    query.bindValue(QStringLiteral(":south"), south);
    query.bindValue(QStringLiteral(":north"), north);
    query.bindValue(QStringLiteral(":west"), west);
    query.bindValue(QStringLiteral(":east"), east);
    if (!query.exec()) {
        FpcSqlConnection::logSelectFailure(query, prefix);
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

bool FpcSqlHandler::forEachFingerprint(const std::function<bool(const FpcFingerprint &)> &visit)
{
    return FpcFingerprintScan::forEach(visit);
}

namespace {

bool selectIdsBy(const QString &statement, const char *prefix, QList<qint64> &ids)
{
    QSqlQuery query(FpcSqlConnection::database());
    query.setForwardOnly(true);
    if (!query.exec(statement)) {
        qCritical() << prefix << "Error in select:" << FpcSqlConnection::errorText(query);
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
    const QString statement =
        QStringLiteral("SELECT fpId FROM UtraFdd WHERE mcc=%1 AND mnc=%2 AND ucid=%3").arg(mcc).arg(mnc).arg(ucid);
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
        if (!FpcSqlConnection::exec(statement, &error)) {
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
        FPC_TRACE << "FpcSqlHandler::updateFingerprint() List of fingerprint"
                  << "ID's is empty";
        return true;
    }
    // A long list takes several statements: one transaction marks all or none.
    QSqlDatabase db = FpcSqlConnection::database();
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
        FPC_TRACE << "FpcSqlHandler::deleteFingerprint() List of fingerprint"
                  << "ID's is empty";
        return true;
    }
    QList<qint64> wanted;
    wanted.reserve(ids.size());
    for (qint64 id : ids) {
        if (id != 0)
            wanted << id;
    }
    if (wanted.isEmpty()) {
        qWarning() << "FpcSqlHandler::deleteFingerprint() Nothing in fpId list"
                   << "- nothing deleted";
        return false;
    }

    // All or nothing: the first failing statement rolls every table back.
    QSqlDatabase db = FpcSqlConnection::database();
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
