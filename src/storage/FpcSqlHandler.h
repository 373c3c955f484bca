#pragma once

#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"
#include "VomuWlanMacAddress.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <memory>

// The only code that speaks SQL: owns the fingerprint database's schema,
// writes a fingerprint with all its rows in one transaction, reads
// fingerprints, positions and id lists back, marks and deletes them, and
// keeps the buffer's bookkeeping values in the Configuration table.
// Works on the application's default connection, main thread only. Nothing
// here throws: failures are results plus a log line.
class FpcSqlHandler : public QObject
{
    Q_OBJECT

public:
    FpcSqlHandler();
    ~FpcSqlHandler() override;

    // Storage settings of a freshly opened connection, before createTables:
    // small pages for a small buffer and a write-ahead log held to
    // WalReserveBytes (see bufferSize of the buffer manager). False when
    // the file does not accept them (for example: not a database).
    bool configureConnection();
    // Whether the connection writes through the write-ahead log.
    bool usesWal() const { return m_wal; }
    // Folds the write-ahead log back into the database file and empties it.
    bool checkpoint();

    // Page size given to a new database file: a fingerprint touches a dozen
    // small tables, so small pages keep both the file and each write small.
    static constexpr int PageSize = 512;
    // The log is folded back into the database after this many pages...
    static constexpr int WalAutoCheckpointPages = 32;
    // ...and cut back to this size afterwards, which it only outgrows for a
    // moment. The buffer counts this much for the log whatever its current
    // size (more when it is larger), so the log never hides from the size
    // limit and the counted size does not jump when the log is folded back.
    static constexpr qint64 WalReserveBytes = 36 * 1024;

    // Schema: creates it, or drops a database without version table and
    // recreates it; true when every step succeeded.
    bool createTables();

    // Stores fp with all its rows in one transaction; the new fpId, or -1
    // when nothing was stored.
    qint64 insert(const FpcFingerprint &fp);
    bool insertGsm(const VomuElementGSM &gsm, qint64 fpId);
    bool insertUtraFdd(const VomuElementWCDMA &wcdma, qint64 fpId);
    bool insertWlan(const VomuElementWLAN &wlan, qint64 fpId);

    // Configuration table. getValue assigns value only when the key exists.
    bool getValue(const QString &key, QString &value);
    // Text converted in base 10; a text that does not convert gives 0.
    bool getValue(const QString &key, quint32 &value);
    void setValue(const QString &key, const QString &value);
    void setValue(const QString &key, quint32 value);

    // Compacts the database file.
    bool vacuum();

    // The reusable read queries.
    void clearQueries();
    void resetQueries();
    void prepareQueries();

    // Reads.
    bool select(qint64 fpId, FpcFingerprint &fp);
    bool selectPosition(qint64 fpId, FpcPosition &position);
    // Newly allocated positions with their fpId; the caller deletes them.
    bool selectAllPositions(QList<FpcPosition *> &positions);
    bool selectGeran(qint64 fpId, VomuMeasurements &measurements);
    bool selectUtraFdd(qint64 fpId, VomuMeasurements &measurements);
    bool selectWlan(qint64 fpId, VomuMeasurements &measurements);
    bool selectGeranNcells(qint64 fpId, VomuElementGSM &gsm);
    bool selectUtraFddNcells(qint64 fpId, VomuElementWCDMA &wcdma);
    bool selectIds(QList<qint64> &ids, const QString &condition);
    bool selectAll(QList<qint64> &ids);
    bool selectExported(QList<qint64> &ids);
    // Id of the newest fingerprint, -1 when there is none.
    qint64 selectNewest();
    // Newly allocated fingerprints with id, time and mask only; the caller
    // deletes them.
    bool selectFingerprintsOnly(QList<FpcFingerprint *> &fps);
    bool selectByGeran(quint32 mcc, quint32 mnc, quint32 lac, quint32 cid, QList<qint64> &ids);
    bool selectByUtraFdd(quint32 mcc, quint32 mnc, quint32 ucid, QList<qint64> &ids);

    // Export marking and deletion of whole fingerprints.
    bool updateFingerprint(const QList<qint64> &ids, bool exported);
    // All or nothing: a failure rolls every table back and gives false.
    bool deleteFingerprint(const QList<qint64> &ids);

    // WLAN MAC addresses as stored: the address read as one big-endian
    // number (below 2^48 for a 48-bit address).
    static QString macToString(const VomuWlanMacAddress &mac);
    static qint64 macToInt(const VomuWlanMacAddress &mac);
    static VomuWlanMacAddress intToMac(qint64 value);

    // Largest number of ids put into one IN (...) list.
    static constexpr int MaxIdsPerStatement = 500;

private:
    enum PreparedQuery {
        QueryFingerprint,
        QueryUtraFdd,
        QueryUtraFddNcells,
        QueryWlan,
        QueryPosition,
        QueryGeran,
        QueryGeranNcells,
        PreparedQueryCount
    };

    class InsertRow;

    bool listTables(QStringList &tables);
    void dropAllTables();
    bool createDataTables(bool *configurationCreated);
    bool insertFingerprintRow(const FpcFingerprint &fp, qint64 *fpId);
    bool insertPosition(const FpcPosition &position, qint64 fpId);
    bool insertMeasurements(const VomuMeasurements &measurements, qint64 fpId);
    // Runs one row insert; on failure logs the statement under prefix/label.
    bool execInsert(const InsertRow &row, const char *prefix, const char *label);
    bool execBound(PreparedQuery which, qint64 fpId, const char *prefix);
    bool readPositionRow(const QSqlQuery &query, FpcPosition &position, const char *prefix,
                         bool cep68Required);
    // Runs statement once for each chunk of ids; false at the first failure.
    bool execForIdChunks(const QString &head, const QList<qint64> &ids, const char *prefix,
                         const char *failureText);

    bool m_prepared = false;
    bool m_wal = false;
    std::unique_ptr<QSqlQuery> m_queries[PreparedQueryCount];
    // Insert statements, prepared once and reused for every row.
    QHash<QString, QSqlQuery> m_insertQueries;
};
