#include "FpcSqlHandler.h"

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
class FpcSqlHandler::InsertRow
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

FpcSqlHandler::FpcSqlHandler(Clock now)
    : m_now(std::move(now))
{
}

FpcSqlHandler::~FpcSqlHandler()
{
    clearQueries();
}

namespace {

std::optional<qint64> pragmaValue(const char *name)
{
    QSqlQuery query(connection());
    if (!query.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) || !query.next())
        return std::nullopt;
    return FpcSqlValue::toInt64(query.value(0));
}

QString journalMode(const char *mode)
{
    QSqlQuery query(connection());
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=%1").arg(QLatin1String(mode))) || !query.next())
        return QString();
    return query.value(0).toString().toLower();
}

const int WalFrameHeaderBytes = 24;
const int WalHeaderBytes = 32;
const int IncrementalVacuum = 2;

} // namespace

bool FpcSqlHandler::configureConnection()
{
    // Both take effect only on a file that holds no table yet; an existing
    // file is brought over by convertLayout().
    bool ok = execText(QStringLiteral("PRAGMA page_size=%1").arg(PageSize));
    ok = execText(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL")) && ok;
    ok = convertLayout() && ok;
    const QString mode = journalMode("WAL");
    if (mode.isEmpty()) {
        qWarning() << "FpcSqlHandler::configureConnection() Journal mode not set";
        m_wal = false;
        return false;
    }
    m_wal = mode == QLatin1String("wal");
    if (!m_wal)
        qWarning() << "FpcSqlHandler::configureConnection() Write-ahead log refused, journal mode:" << mode;
    ok = execText(QStringLiteral("PRAGMA synchronous=NORMAL")) && ok;
    m_pageSize = int(pragmaValue("page_size").value_or(PageSize));
    setLogShare(0);
    FPC_TRACE << "FpcSqlHandler::configureConnection() write-ahead log:" << m_wal << "page size:" << m_pageSize
             << "settings applied:" << ok;
    return ok;
}

bool FpcSqlHandler::convertLayout()
{
    const auto pageSize = pragmaValue("page_size");
    const auto vacuumMode = pragmaValue("auto_vacuum");
    const auto pages = pragmaValue("page_count");
    if (!pageSize || !vacuumMode || !pages)
        return false;
    if (*pages == 0 || (*pageSize == PageSize && *vacuumMode == IncrementalVacuum))
        return true;
    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcSqlHandler::configureConnection() Rewriting the database from" << *pageSize
             << "-byte pages (vacuum mode" << *vacuumMode << ") to" << PageSize
             << "-byte pages with incremental vacuum";
    // The page size of a file in write-ahead log mode is fixed: the rewrite
    // goes through the rollback journal. Another client holding the file
    // prevents it; the file is then used as it is and converted next time.
    if (journalMode("DELETE") != QLatin1String("delete")) {
        qWarning() << "FpcSqlHandler::configureConnection() Database in use, layout kept for now";
        return false;
    }
    QString error;
    const bool converted = execText(QStringLiteral("PRAGMA page_size=%1").arg(PageSize), &error)
        && execText(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL"), &error)
        && execText(QStringLiteral("VACUUM"), &error);
    if (!converted)
        qWarning() << "FpcSqlHandler::configureConnection() Rewriting the database failed:" << error;
    return converted;
}

void FpcSqlHandler::setLogShare(qint64 sizeLimit)
{
    const qint64 frame = m_pageSize + WalFrameHeaderBytes;
    const qint64 pages = sizeLimit / LogShareDivisor / frame - CommitSlackPages;
    m_checkpointPages = int(qBound(qint64(MinCheckpointPages), pages, qint64(MaxCheckpointPages)));
    if (!m_wal)
        return;
    execText(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(m_checkpointPages));
    execText(QStringLiteral("PRAGMA journal_size_limit=%1").arg(logReserve()));
}

qint64 FpcSqlHandler::logReserve() const
{
    if (!m_wal)
        return 0;
    return qint64(m_checkpointPages + CommitSlackPages) * (m_pageSize + WalFrameHeaderBytes) + WalHeaderBytes;
}

qint64 FpcSqlHandler::pageBytes()
{
    QSqlQuery &query = cachedQuery(m_pageCountQuery, "PRAGMA page_count");
    const bool read = query.exec() && query.next();
    const auto pages = read ? FpcSqlValue::toInt64(query.value(0)) : std::nullopt;
    query.finish();
    return pages ? *pages * m_pageSize : -1;
}

bool FpcSqlHandler::checkpoint()
{
    if (!m_wal)
        return true;
    QString error;
    if (execText(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"), &error))
        return true;
    qWarning() << "FpcSqlHandler::checkpoint() Folding the log back failed:" << error;
    return false;
}

// ---------------------------------------------------------------- schema

bool FpcSqlHandler::createTables()
{
    return FpcSchema::create(m_configuration, m_now ? m_now : Clock(&QDateTime::currentDateTimeUtc));
}

// ---------------------------------------------------------------- insert

bool FpcSqlHandler::execInsert(const InsertRow &row, const char *prefix, const char *label)
{
    auto it = m_insertQueries.find(row.head());
    if (it == m_insertQueries.end()) {
        QSqlQuery query(connection());
        if (!query.prepare(row.preparedText())) {
            qCritical() << prefix << "Unable to insert row to"
                        << QString(QLatin1String(label) + errorText(query));
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
                    << QString(QLatin1String(label) + errorText(query));
        qCritical() << prefix << "statement:" << row.literalText();
        // A statement that failed may be unusable; the next row prepares anew.
        m_insertQueries.erase(it);
        return false;
    }
    return true;
}

qint64 FpcSqlHandler::insert(const FpcFingerprint &fp)
{
    FPC_TRACE << "FpcSqlHandler::insert() <-";
    if (fp.time().isNull() || !fp.time().isValid()) {
        qCritical() << "FpcSqlHandler::insert() Fingerprint has no valid time - not stored";
        return -1;
    }
    QSqlDatabase db = connection();
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

bool FpcSqlHandler::insertFingerprintRow(const FpcFingerprint &fp, qint64 *fpId)
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
        qCritical() << "FpcSqlHandler::insert() Unable to cast Fingerprint ID" << "to integer";
        return false;
    }
    *fpId = *id;
    return true;
}

bool FpcSqlHandler::insertPosition(const FpcPosition &position, qint64 fpId)
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

bool FpcSqlHandler::insertMeasurements(const VomuMeasurements &measurements, qint64 fpId)
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

bool FpcSqlHandler::insertGsm(const VomuElementGSM &gsm, qint64 fpId)
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

bool FpcSqlHandler::insertUtraFdd(const VomuElementWCDMA &wcdma, qint64 fpId)
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

bool FpcSqlHandler::insertWlan(const VomuElementWLAN &wlan, qint64 fpId)
{
    const qint64 mac = macToInt(wlan.mac());
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

// ---------------------------------------------------------------- configuration

QSqlQuery &FpcSqlHandler::cachedQuery(std::unique_ptr<QSqlQuery> &query, const char *text)
{
    // Prepared once: these run several times for every stored fingerprint.
    if (!query) {
        query = std::make_unique<QSqlQuery>(connection());
        query->setForwardOnly(true);
        query->prepare(QString::fromLatin1(text));
    }
    return *query;
}

bool FpcSqlHandler::vacuum()
{
    // An open statement would make the compaction fail.
    clearQueries();
    // Moves the pages at the end of the file into the free ones and cuts
    // the file: only the moved pages are written, not the whole file.
    // Each run of the statement moves and frees one page; one transaction
    // for all of them.
    const qint64 freePages = pragmaValue("freelist_count").value_or(0);
    QSqlDatabase db = connection();
    const bool inTransaction = db.transaction();
    QSqlQuery query(connection());
    bool ok = query.prepare(QStringLiteral("PRAGMA incremental_vacuum"));
    for (qint64 page = 0; ok && page < freePages; ++page)
        ok = query.exec();
    query.finish();
    if (!ok || (inTransaction && !db.commit())) {
        qCritical() << "FpcSqlHandler::vacuum() Compressing database failed ->" << errorText(query);
        if (inTransaction)
            db.rollback();
        return false;
    }
    // The file shrinks when the log is folded back: at once, so the counted
    // size drops with the deletion and a cleanup is not run again.
    checkpoint();
    return true;
}

// ---------------------------------------------------------------- prepared queries

void FpcSqlHandler::clearQueries()
{
    for (auto &query : m_queries) {
        if (query)
            query->clear();
    }
    m_insertQueries.clear();
    m_configuration.clearQueries();
    m_pageCountQuery.reset();
    m_prepared = false;
}

void FpcSqlHandler::resetQueries()
{
    for (auto &query : m_queries)
        query = std::make_unique<QSqlQuery>(connection());
    m_insertQueries.clear();
    m_configuration.clearQueries();
    m_pageCountQuery.reset();
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

namespace {

// Reads column `column` with convert(); logs "<prefix> Invalid <name>:" at
// the given level when the value does not convert.
enum class Level { Critical, Error };

template <typename T>
std::optional<T> readColumn(const QSqlQuery &query, int column, const char *prefix, const char *name,
                            Level level, std::optional<T> (*convert)(const QVariant &))
{
    const QVariant raw = query.value(column);
    const std::optional<T> value = convert(raw);
    if (!value) {
        const QString label = QStringLiteral("Invalid %1:").arg(QLatin1String(name));
        const QString shown = raw.isNull() ? QStringLiteral("NULL") : raw.toString();
        if (level == Level::Critical)
            qCritical() << prefix << qPrintable(label) << shown;
        else
            qDebug() << "[ERROR]" << prefix << qPrintable(label) << shown;
    }
    return value;
}

std::optional<qint64> asInt64(const QVariant &v) { return FpcSqlValue::toInt64(v); }
std::optional<qint64> asUInt32(const QVariant &v) { return FpcSqlValue::toIntIn(v, 0, 0xFFFFFFFFLL); }
std::optional<qint64> asUInt16(const QVariant &v) { return FpcSqlValue::toIntIn(v, 0, 0xFFFF); }
std::optional<qint64> asUInt8(const QVariant &v) { return FpcSqlValue::toIntIn(v, 0, 0xFF); }
std::optional<qint64> asInt32(const QVariant &v)
{
    return FpcSqlValue::toIntIn(v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
}
std::optional<qint64> asInt8(const QVariant &v) { return FpcSqlValue::toIntIn(v, -128, 127); }
std::optional<qint64> asMilliseconds(const QVariant &v) { return FpcSqlValue::toIntIn(v, 0, 999); }
std::optional<qint64> asMicroseconds(const QVariant &v) { return FpcSqlValue::toIntIn(v, 0, 999999); }
std::optional<double> asDouble(const QVariant &v) { return FpcSqlValue::toDouble(v); }

bool inRange(qint64 value, qint64 lowest, qint64 highest)
{
    return value >= lowest && value <= highest;
}

QDateTime fingerprintTime(qint64 seconds, qint64 milliseconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).addMSecs(milliseconds);
}

} // namespace

bool FpcSqlHandler::readFingerprintRow(const QSqlQuery &query, FpcFingerprint &fp)
{
    static const char prefix[] = "FpcSqlHandler::select()";
    const auto time = readColumn<qint64>(query, 0, prefix, "time", Level::Critical, asUInt32);
    if (!time)
        return false;
    const auto msecs = readColumn<qint64>(query, 1, prefix, "timeMSecs", Level::Critical, asMilliseconds);
    if (!msecs)
        return false;
    fp.setTime(fingerprintTime(*time, *msecs));
    const auto mask = readColumn<qint64>(query, 2, prefix, "dataMask", Level::Critical, asUInt8);
    if (!mask)
        return false;
    fp.setDataMask(quint8(*mask));
    return true;
}

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
    const bool read = readFingerprintRow(query, fp);
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

std::unique_ptr<VomuElementGSM> FpcSqlHandler::readGeranRow(const QSqlQuery &query)
{
    static const char prefix[] = "FpcSqlHandler::selectGeran()";
    const auto mcc = readColumn<qint64>(query, 0, prefix, "mcc", Level::Critical, asUInt16);
    const auto mnc = mcc ? readColumn<qint64>(query, 1, prefix, "mnc", Level::Critical, asUInt16) : std::nullopt;
    const auto lac = mnc ? readColumn<qint64>(query, 2, prefix, "lac", Level::Critical, asUInt16) : std::nullopt;
    const auto cid = lac ? readColumn<qint64>(query, 3, prefix, "cid", Level::Critical, asUInt16) : std::nullopt;
    const auto rx = cid ? readColumn<qint64>(query, 4, prefix, "rxLevel", Level::Critical, asInt32) : std::nullopt;
    const auto ta = rx ? readColumn<qint64>(query, 5, prefix, "ta", Level::Critical, asInt32) : std::nullopt;
    if (!ta)
        return nullptr;

    auto gsm = std::make_unique<VomuElementGSM>();
    gsm->setCountryCode(quint16(*mcc));
    gsm->setNetworkId(quint16(*mnc));
    gsm->setLocationAreaCode(quint16(*lac));
    gsm->setCellId(quint16(*cid));
    if (inRange(*rx, 0, 63))
        gsm->setPowerRx(quint8(*rx));
    // Timing advance is an 8-bit field: a larger stored value is not one.
    if (inRange(*ta, 0, 255))
        gsm->setTimingAdvance(quint8(*ta));
    return gsm;
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
    std::unique_ptr<VomuElementGSM> gsm = readGeranRow(query);
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

bool FpcSqlHandler::readGeranNcellRow(const QSqlQuery &query, VomuElementGSM &gsm)
{
    static const char prefix[] = "FpcSqlHandler::selectGeranNcells()";
    const auto bsic = readColumn<qint64>(query, 0, prefix, "bsic", Level::Error, asUInt8);
    const auto bcch = bsic ? readColumn<qint64>(query, 1, prefix, "bcch", Level::Error, asUInt16) : std::nullopt;
    if (!bcch)
        return false;
    VomuElementGSM::NeighbourCell cell{quint8(*bsic), quint16(*bcch)};
    const auto rx = readColumn<qint64>(query, 2, prefix, "rxLevel", Level::Error, asInt64);
    if (rx && inRange(*rx, 0, 63))
        cell.setPowerRx(quint8(*rx));
    gsm.appendNeighbourCell(cell);
    FPC_TRACE << "FpcSqlHandler::selectGeranNcells() Neighbor cell appended";
    return rx.has_value();
}

bool FpcSqlHandler::selectGeranNcells(qint64 fpId, VomuElementGSM &gsm)
{
    if (!execBound(QueryGeranNcells, fpId, "FpcSqlHandler::selectGeranNcells()"))
        return false;
    QSqlQuery &query = *m_queries[QueryGeranNcells];
    bool lastConverted = true;
    while (query.next())
        lastConverted = readGeranNcellRow(query, gsm);
    query.finish();
    return lastConverted;
}

std::unique_ptr<VomuElementWCDMA> FpcSqlHandler::readUtraFddRow(const QSqlQuery &query)
{
    static const char prefix[] = "FpcSqlHandler::selectUtraFdd()";
    const auto mcc = readColumn<qint64>(query, 0, prefix, "mcc", Level::Critical, asUInt16);
    const auto mnc = mcc ? readColumn<qint64>(query, 1, prefix, "mnc", Level::Critical, asUInt16) : std::nullopt;
    const auto ucid = mnc ? readColumn<qint64>(query, 2, prefix, "ucid", Level::Critical, asUInt32) : std::nullopt;
    const auto lac = ucid ? readColumn<qint64>(query, 3, prefix, "lac", Level::Critical, asInt32) : std::nullopt;
    if (!lac)
        return nullptr;

    auto wcdma = std::make_unique<VomuElementWCDMA>();
    wcdma->setCountryCode(quint16(*mcc));
    wcdma->setNetworkId(quint16(*mnc));
    wcdma->setUcId(quint32(*ucid));
    if (inRange(*lac, 0, 65534))
        wcdma->setLocationAreaCode(quint16(*lac));
    return wcdma;
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
    std::unique_ptr<VomuElementWCDMA> wcdma = readUtraFddRow(query);
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

bool FpcSqlHandler::readUtraFddNcellRow(const QSqlQuery &query, VomuElementWCDMA &wcdma)
{
    static const char prefix[] = "FpcSqlHandler::selectUtraFddNcells()";
    const auto pcpich = readColumn<qint64>(query, 0, prefix, "pcpich", Level::Error, asUInt16);
    const auto uarfcn = pcpich ? readColumn<qint64>(query, 1, prefix, "uarfcndn", Level::Error, asUInt16)
                               : std::nullopt;
    if (!uarfcn)
        return false;
    VomuElementWCDMA::NeighbourCell cell;
    cell.pCpich = quint16(*pcpich);
    cell.uarfcnDl = quint16(*uarfcn);
    // Each level is set only from a value inside its field's range.
    struct Field {
        int column;
        const char *name;
        qint64 lowest;
        qint64 highest;
    };
    const Field fields[] = {
        {2, "ucid", 0, 0xFFFFFFFELL}, {3, "rssi", 0, 127}, {4, "ecn", 0, 63},
        {5, "rscp", -5, 127},         {6, "pl", 0, 127},
    };
    bool lastConverted = true;
    for (const Field &f : fields) {
        const auto v = readColumn<qint64>(query, f.column, prefix, f.name, Level::Error, asInt64);
        lastConverted = v.has_value();
        if (!v || !inRange(*v, f.lowest, f.highest))
            continue;
        switch (f.column) {
        case 2: cell.ucId = quint32(*v); break;
        case 3: cell.rssi = quint8(*v); break;
        case 4: cell.ecn0 = quint8(*v); break;
        case 5: cell.rscp = quint8(*v); break;
        default: cell.pathloss = quint8(*v); break;
        }
    }
    wcdma.appendNeighbourCell(cell);
    FPC_TRACE << "FpcSqlHandler::selectUtraFddNcells() Neighbor cell appended";
    return lastConverted;
}

bool FpcSqlHandler::selectUtraFddNcells(qint64 fpId, VomuElementWCDMA &wcdma)
{
    if (!execBound(QueryUtraFddNcells, fpId, "FpcSqlHandler::selectUtraFddNcells()"))
        return false;
    QSqlQuery &query = *m_queries[QueryUtraFddNcells];
    bool lastConverted = true;
    while (query.next())
        lastConverted = readUtraFddNcellRow(query, wcdma);
    query.finish();
    return lastConverted;
}

bool FpcSqlHandler::readWlanRow(const QSqlQuery &query, VomuMeasurements &measurements)
{
    static const char prefix[] = "FpcSqlHandler::selectWlan()";
    const auto mac = readColumn<qint64>(query, 0, prefix, "mac", Level::Critical, asInt64);
    const auto rx = mac ? readColumn<qint64>(query, 1, prefix, "rxLevel", Level::Critical, asInt8) : std::nullopt;
    const auto rssi = rx ? readColumn<qint64>(query, 2, prefix, "rssi", Level::Critical, asInt64) : std::nullopt;
    if (!rssi)
        return false;
    auto wlan = std::make_unique<VomuElementWLAN>();
    wlan->setMac(intToMac(*mac));
    wlan->setPowerRx(qint8(*rx));
    if (inRange(*rssi, 1, 254))
        wlan->setRssi(quint8(*rssi));
    FPC_TRACE << "FpcSqlHandler::selectWlan() Wlan MAC:" << macToString(wlan->mac());
    measurements.append(wlan.release());
    return true;
}

bool FpcSqlHandler::selectWlan(qint64 fpId, VomuMeasurements &measurements)
{
    if (!execBound(QueryWlan, fpId, "FpcSqlHandler::selectWlan()"))
        return false;
    QSqlQuery &query = *m_queries[QueryWlan];
    bool lastConverted = true;
    while (query.next())
        lastConverted = readWlanRow(query, measurements);
    query.finish();
    return lastConverted;
}

// Fills position from the first seven columns of a position row. Altitude,
// its uncertainty and cep68 stored as NULL are fixes without that value. An
// unusable cep68 fails the row only when cep68Required.
bool FpcSqlHandler::readPositionRow(const QSqlQuery &query, FpcPosition &position, const char *prefix,
                                    bool cep68Required)
{
    const auto latitude = readColumn<double>(query, 0, prefix, "latitude", Level::Critical, asDouble);
    if (!latitude)
        return false;
    const auto longitude = readColumn<double>(query, 1, prefix, "longitude", Level::Critical, asDouble);
    if (!longitude)
        return false;
    if (query.value(2).isNull()) {
        position.setCoordinate(*latitude, *longitude);
    } else {
        const auto altitude = readColumn<qint64>(query, 2, prefix, "altitude", Level::Critical, asInt32);
        if (!altitude)
            return false;
        position.setCoordinate(*latitude, *longitude, float(*altitude));
    }
    if (!query.value(3).isNull()) {
        if (const auto v = readColumn<qint64>(query, 3, prefix, "altUncertainty", Level::Error, asUInt32))
            position.setAltitudeAccuracy(float(*v));
    }
    if (const auto v = readColumn<qint64>(query, 4, prefix, "time", Level::Error, asUInt32))
        position.setTimestamp(long(*v));
    if (const auto v = readColumn<qint64>(query, 5, prefix, "timeMSecs", Level::Error, asMicroseconds))
        position.setTimestampMicroseconds(unsigned(*v));
    if (query.value(6).isNull())
        return true;
    const auto cep68 = readColumn<qint64>(query, 6, prefix, "cep68",
                                          cep68Required ? Level::Critical : Level::Error, asUInt32);
    if (!cep68)
        return !cep68Required;
    position.setHorizontalAccuracy(float(*cep68));
    return true;
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
    const bool ok = readPositionRow(query, position, prefix, true);
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
        if (!readPositionRow(query, *position, prefix, false))
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
        const auto id = readColumn<qint64>(query, 0, prefix, "fpId", Level::Critical, asInt64);
        const auto time = id ? readColumn<qint64>(query, 1, prefix, "time", Level::Critical, asUInt32)
                             : std::nullopt;
        const auto msecs = time ? readColumn<qint64>(query, 2, prefix, "timeMSecs", Level::Critical, asMilliseconds)
                                : std::nullopt;
        const auto mask = msecs ? readColumn<qint64>(query, 3, prefix, "dataMask", Level::Critical, asUInt8)
                                : std::nullopt;
        if (!mask)
            return false;
        auto fp = std::make_unique<FpcFingerprint>();
        fp->setId(*id);
        fp->setTime(fingerprintTime(*time, *msecs));
        fp->setDataMask(quint8(*mask));
        if (withRadioType && (*mask & FpcFingerprint::Cell))
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
        const auto id = readColumn<qint64>(query, 0, prefix, "fpId", Level::Critical, asInt64);
        const auto time = id ? readColumn<qint64>(query, 1, prefix, "time", Level::Critical, asUInt32)
                             : std::nullopt;
        const auto msecs = time ? readColumn<qint64>(query, 2, prefix, "timeMSecs", Level::Critical, asMilliseconds)
                                : std::nullopt;
        const auto mask = msecs ? readColumn<qint64>(query, 3, prefix, "dataMask", Level::Critical, asUInt8)
                                : std::nullopt;
        if (!mask)
            return false;
        int radio = FpcFingerprint::RadioNone;
        if (*mask & FpcFingerprint::Cell)
            radio = query.value(4).toInt() ? FpcFingerprint::RadioWCDMA : FpcFingerprint::RadioGSM;
        summaries.append({*id, *time * 1000 + *msecs, quint8(*mask), radio});
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
        if (!readFingerprintRow(fingerprints.row(), fp))
            continue;
        fp.setId(fpId);

        // As select(): the first WCDMA cell, else the first GSM cell, each
        // only with all its neighbours readable; then the access points.
        VomuMeasurements measurements;
        bool cellFound = false;
        if (utraFdd.at(fpId)) {
            if (std::unique_ptr<VomuElementWCDMA> wcdma = readUtraFddRow(utraFdd.row())) {
                bool converted = true;
                for (; uncells.at(fpId); uncells.advance())
                    converted = readUtraFddNcellRow(uncells.row(), *wcdma);
                if (converted) {
                    measurements.append(wcdma.release());
                    cellFound = true;
                }
            }
        }
        if (!cellFound && geran.at(fpId)) {
            if (std::unique_ptr<VomuElementGSM> gsm = readGeranRow(geran.row())) {
                bool converted = true;
                for (; gncells.at(fpId); gncells.advance())
                    converted = readGeranNcellRow(gncells.row(), *gsm);
                if (converted)
                    measurements.append(gsm.release());
            }
        }
        for (; wlans.at(fpId); wlans.advance())
            readWlanRow(wlans.row(), measurements);
        fp.setMeasurements(measurements);

        FpcPosition position;
        if (positions.at(fpId) && readPositionRow(positions.row(), position, "FpcSqlHandler::selectPosition()", true))
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
        if (!readColumn<qint64>(query, 0, prefix, "fpId", Level::Critical, asInt64))
            return false;
        ids.append(FpcSqlValue::toInt64(query.value(0)).value_or(0));
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
