#include "FpcDatabaseReader.h"

#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <cmath>

namespace {

qint64 integer(const QVariant &value, qint64 fallback)
{
    if (value.isNull())
        return fallback;
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    return ok ? number : fallback;
}

bool real(const QVariant &value, double *out)
{
    if (value.isNull())
        return false;
    bool ok = false;
    *out = value.toDouble(&ok);
    return ok && std::isfinite(*out);
}

// Each reads one row of its table into the fingerprint it belongs to. The
// first row wins for what a fingerprint has once (position, serving cells).
void readPosition(FpcStoredRecord *record, const QSqlQuery &row)
{
    FpcStoredRecord::Position position;
    if (record->hasPosition || !real(row.value(1), &position.latitude) || !real(row.value(2), &position.longitude)
        || std::fabs(position.latitude) > 90 || std::fabs(position.longitude) > 180)
        return;
    position.altitude = integer(row.value(3), 0);
    position.altitudeUncertainty = integer(row.value(4), 0);
    position.timeSeconds = integer(row.value(5), 0);
    position.timeMicroseconds = integer(row.value(6), 0);
    position.cep68 = integer(row.value(7), 0);
    record->position = position;
    record->hasPosition = true;
}

void readGsmCell(FpcStoredRecord *record, const QSqlQuery &row)
{
    if (record->hasGsm)
        return;
    FpcStoredRecord::GsmCell &cell = record->gsm;
    cell.mcc = integer(row.value(1), -1);
    cell.mnc = integer(row.value(2), -1);
    cell.lac = integer(row.value(3), -1);
    cell.cellId = integer(row.value(4), -1);
    cell.rxLevel = integer(row.value(5), -1);
    cell.ta = integer(row.value(6), -1);
    record->hasGsm = true;
}

void readGsmNeighbour(FpcStoredRecord *record, const QSqlQuery &row)
{
    FpcStoredRecord::GsmNeighbour neighbour;
    neighbour.bsic = integer(row.value(1), -1);
    neighbour.bcch = integer(row.value(2), -1);
    neighbour.rxLevel = integer(row.value(3), -1);
    record->gsm.neighbours.append(neighbour);
}

void readWcdmaCell(FpcStoredRecord *record, const QSqlQuery &row)
{
    if (record->hasWcdma)
        return;
    FpcStoredRecord::WcdmaCell &cell = record->wcdma;
    cell.mcc = integer(row.value(1), -1);
    cell.mnc = integer(row.value(2), -1);
    cell.ucid = integer(row.value(3), -1);
    cell.lac = integer(row.value(4), -1);
    record->hasWcdma = true;
}

void readWcdmaNeighbour(FpcStoredRecord *record, const QSqlQuery &row)
{
    FpcStoredRecord::WcdmaNeighbour neighbour;
    neighbour.pcpich = integer(row.value(1), -1);
    neighbour.uarfcnDl = integer(row.value(2), -1);
    neighbour.ucid = integer(row.value(3), -1);
    neighbour.rssi = integer(row.value(4), -1);
    neighbour.ecn0 = integer(row.value(5), -1);
    neighbour.rscp = integer(row.value(6), -100);
    neighbour.pathloss = integer(row.value(7), -1);
    record->wcdma.neighbours.append(neighbour);
}

void readWlan(FpcStoredRecord *record, const QSqlQuery &row)
{
    FpcStoredRecord::Wlan wlan;
    wlan.mac = integer(row.value(1), 0);
    wlan.rxLevel = integer(row.value(2), 0);
    wlan.rssi = integer(row.value(3), -1);
    record->wlans.append(wlan);
}

// The tables whose rows belong to a fingerprint, each with its query (the
// fingerprint's id first) and its row reader, in rowid order.
struct RowTable
{
    const char *table;
    const char *sql;
    void (*read)(FpcStoredRecord *record, const QSqlQuery &row);
};

const RowTable RowTables[] = {
    {"Position",
     "SELECT fpId, latitude, longitude, altitude, altUncertainty, time, timeMSecs, cep68 FROM Position ORDER BY rowid",
     readPosition},
    {"Geran", "SELECT fpId, mcc, mnc, lac, cid, rxLevel, ta FROM Geran ORDER BY rowid", readGsmCell},
    {"Gncell", "SELECT fpId, bsic, bcch, rxLevel FROM Gncell ORDER BY rowid", readGsmNeighbour},
    {"UtraFdd", "SELECT fpId, mcc, mnc, ucid, lac FROM UtraFdd ORDER BY rowid", readWcdmaCell},
    {"Uncell", "SELECT fpId, pcpich, uarfcndn, ucid, rssi, ecn, rscp, pl FROM Uncell ORDER BY rowid",
     readWcdmaNeighbour},
    {"Wlan", "SELECT fpId, mac, rxLevel, rssi FROM Wlan ORDER BY rowid", readWlan},
};

// Reads every fingerprint and its rows on an open connection.
class Reader
{
public:
    Reader(QSqlDatabase db, QList<FpcStoredRecord> *records) : m_db(db), m_records(records) {}

    bool readAll(QString *error)
    {
        // Listing the tables is the first read: a file that is no SQLite
        // database fails here with SQLite's own reason.
        QSqlQuery tables(m_db);
        if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"))) {
            *error = QStringLiteral("cannot read: ") + tables.lastError().text();
            return false;
        }
        while (tables.next())
            m_tables << tables.value(0).toString();
        if (!hasTable(QStringLiteral("Fingerprint"))) {
            *error = QStringLiteral("not a fingerprint database (no Fingerprint table)");
            return false;
        }
        if (!readFingerprints(error))
            return false;
        for (const RowTable &rows : RowTables) {
            if (!readRows(rows, error))
                return false;
        }
        return true;
    }

private:
    bool hasTable(const QString &name) const { return m_tables.contains(name, Qt::CaseInsensitive); }

    // Runs sql when its table exists; a missing table holds no rows.
    bool select(const QString &table, const QString &sql, QSqlQuery *query, QString *error)
    {
        if (!hasTable(table))
            return true;
        query->setForwardOnly(true);
        if (!query->exec(sql)) {
            *error = QStringLiteral("cannot read table %1: %2").arg(table, query->lastError().text());
            return false;
        }
        return true;
    }

    FpcStoredRecord *recordOf(const QVariant &fpId)
    {
        bool ok = false;
        const qint64 id = fpId.toLongLong(&ok);
        const auto it = m_index.constFind(id);
        return ok && it != m_index.cend() ? &(*m_records)[*it] : nullptr;
    }

    bool readFingerprints(QString *error)
    {
        QSqlQuery query(m_db);
        if (!select(QStringLiteral("Fingerprint"),
                    QStringLiteral("SELECT fpId, time, timeMSecs, exported, dataMask FROM Fingerprint ORDER BY fpId"),
                    &query, error))
            return false;
        while (query.next()) {
            FpcStoredRecord record;
            bool ok = false;
            record.id = query.value(0).toLongLong(&ok);
            if (!ok || m_index.contains(record.id))
                continue;
            const qint64 seconds = integer(query.value(1), 0);
            const qint64 ms = integer(query.value(2), 0);
            record.timeMs = seconds * 1000 + ((ms >= 0 && ms < 1000) ? ms : 0);
            record.exported = integer(query.value(3), 0) != 0;
            record.dataMask = int(integer(query.value(4), 0) & 0xff);
            m_index.insert(record.id, int(m_records->size()));
            m_records->append(record);
        }
        return true;
    }

    // Runs a row table's query when its table exists and hands each row to
    // the fingerprint it belongs to; a row of no stored fingerprint is skipped.
    bool readRows(const RowTable &rows, QString *error)
    {
        QSqlQuery query(m_db);
        if (!select(QLatin1String(rows.table), QLatin1String(rows.sql), &query, error))
            return false;
        while (query.next()) {
            if (FpcStoredRecord *record = recordOf(query.value(0)))
                rows.read(record, query);
        }
        return true;
    }

    QSqlDatabase m_db;
    QList<FpcStoredRecord> *m_records;
    QStringList m_tables;
    QHash<qint64, int> m_index;
};

bool readOpen(QSqlDatabase db, const QString &path, QList<FpcStoredRecord> *records, QString *error)
{
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, db.lastError().text());
        return false;
    }
    // One read transaction: all tables from the same snapshot.
    db.transaction();
    Reader reader(db, records);
    const bool ok = reader.readAll(error);
    db.rollback();
    db.close();
    if (!ok)
        *error = path + QStringLiteral(": ") + *error;
    return ok;
}

} // namespace

bool FpcDatabaseReader::read(const QString &path, QList<FpcStoredRecord> *records, QString *error)
{
    records->clear();
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("no database at %1").arg(path);
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("cannot read %1: not a readable file").arg(path);
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        *error = QStringLiteral("the Qt SQLite driver (QSQLITE) is not installed");
        return false;
    }
    const QString name = QString::fromLatin1(ConnectionName);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        ok = readOpen(db, path, records, error);
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok)
        records->clear();
    return ok;
}

QString FpcDatabaseReader::macText(qint64 value)
{
    const int byteCount = value < (qint64(1) << 48) ? 6 : 8;
    const quint64 bits = quint64(value);
    QStringList bytes;
    for (int k = 0; k < byteCount; ++k) {
        const unsigned byte = unsigned((bits >> (8 * (byteCount - 1 - k))) & 0xff);
        bytes << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return bytes.join(QLatin1Char(':'));
}
