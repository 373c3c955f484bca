#pragma once

#include "FpcConfigurationTable.h"
#include "FpcFingerprint.h"
#include "FpcFingerprintLookup.h"
#include "FpcFingerprintWriter.h"
#include "FpcJournalTuning.h"
#include "FpcPosition.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"
#include "VomuWlanMacAddress.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

// The buffer's one door to the fingerprint database: owns the schema,
// writes a fingerprint with all its rows in one transaction, reads
// fingerprints, positions and id lists back, marks and deletes them, and
// keeps the buffer's bookkeeping values in the Configuration table. The
// schema, the journal tuning, the row writing, the look-ups by id, the
// reading of all fingerprints and the Configuration table live in classes
// of their own (named at each group below); the id lists, the marking and
// the deletion are here. Works on the application's default connection,
// main thread only. Nothing here throws: failures are results plus a log
// line.
class FpcSqlHandler : public QObject
{
    Q_OBJECT

public:
    // Source of the current time, read when a new buffer's age starts.
    using Clock = std::function<QDateTime()>;
    // Without a clock the system's UTC time is used.
    explicit FpcSqlHandler(Clock now = Clock());
    ~FpcSqlHandler() override;

    // Journal tuning (FpcJournalTuning). Storage settings of a freshly
    // opened connection, before createTables:
    // PageSize pages, free pages given back to the file system on vacuum(),
    // and a write-ahead log. A file laid out otherwise (an older buffer, a
    // file made by another tool) is rewritten once into this layout. False
    // when the file does not accept them (for example: not a database).
    bool configureConnection();
    // Whether the connection writes through the write-ahead log.
    bool usesWal() const { return m_journal.usesWal(); }
    // Folds the write-ahead log back into the database file.
    bool checkpoint();

    // Page and log sizes (FpcJournalTuning explains them).
    static constexpr int PageSize = FpcJournalTuning::PageSize;
    static constexpr int LogShareDivisor = FpcJournalTuning::LogShareDivisor;
    static constexpr int MinCheckpointPages = FpcJournalTuning::MinCheckpointPages;
    static constexpr int MaxCheckpointPages = FpcJournalTuning::MaxCheckpointPages;
    static constexpr int CommitSlackPages = FpcJournalTuning::CommitSlackPages;
    // Sizes the log for a buffer limited to sizeLimit bytes: the checkpoint
    // mark, and the size the log file is cut back to after a checkpoint.
    void setLogShare(qint64 sizeLimit);
    int checkpointPages() const { return m_journal.checkpointPages(); }
    // Bytes counted for the log whatever its current size: the largest it
    // grows to between checkpoints, so that the counted size does not jump
    // when the log is folded back.
    qint64 logReserve() const;
    // page_count x page_size: the database as this connection sees it,
    // including what still waits in the log; -1 when it cannot be read.
    qint64 pageBytes();

    // Schema (FpcSchema): creates it, or drops a database without version
    // table and recreates it; true when every step succeeded.
    bool createTables();

    // Fingerprint rows (FpcFingerprintWriter). Stores fp with all its rows
    // in one transaction; the new fpId, or -1 when nothing was stored.
    qint64 insert(const FpcFingerprint &fp);
    bool insertGsm(const VomuElementGSM &gsm, qint64 fpId);
    bool insertUtraFdd(const VomuElementWCDMA &wcdma, qint64 fpId);
    bool insertWlan(const VomuElementWLAN &wlan, qint64 fpId);

    // Configuration table (FpcConfigurationTable). getValue assigns value
    // only when the key exists.
    bool getValue(const QString &key, QString &value);
    // Text converted in base 10; a text that does not convert gives 0.
    bool getValue(const QString &key, quint32 &value);
    void setValue(const QString &key, const QString &value);
    void setValue(const QString &key, quint32 value);

    // Gives the free pages back to the file system (incremental, never a
    // rewrite of the whole file) and folds the log back into the file.
    bool vacuum();

    // The reusable prepared queries of all the classes above: clearQueries
    // before the connection closes or changes.
    void clearQueries();
    void resetQueries();
    void prepareQueries();

    // Reads. The look-ups by id are FpcFingerprintLookup's; the rows are
    // turned into model objects by FpcFingerprintRows.
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
    // deletes them. withRadioType also sets the radio type of those with a
    // serving cell (WCDMA when the fingerprint has a UtraFdd row, else
    // GSM), in the same query.
    bool selectFingerprintsOnly(QList<FpcFingerprint *> &fps, bool withRadioType = false);
    // Every stored fingerprint's id, time of birth (ms since the epoch),
    // data mask and radio type (as selectFingerprintsOnly with radio types),
    // without building fingerprints: the status list of a full buffer.
    struct StoredSummary
    {
        qint64 fpId;
        qint64 timeMSecs;
        quint8 dataMask;
        int radioType;
    };
    bool selectSummaries(QList<StoredSummary> &summaries);
    // Ids of the stored positions inside the box latitude [south, north]
    // and longitude [west, east] (west > east: the box crosses the 180th
    // meridian), with their coordinates, in stored order.
    struct StoredCoordinate
    {
        qint64 fpId;
        double latitude;
        double longitude;
    };
    bool selectPositionsInBox(double south, double north, double west, double east, QList<StoredCoordinate> &found);
    // Every stored fingerprint (FpcFingerprintScan), whole, in id order, read table by table
    // with one query each and handed to visit one at a time; a fingerprint
    // whose own row cannot be read is skipped as select() skips it. Stops
    // early when visit returns false. False when a table cannot be read.
    bool forEachFingerprint(const std::function<bool(const FpcFingerprint &)> &visit);
    bool selectByGeran(quint32 mcc, quint32 mnc, quint32 lac, quint32 cid, QList<qint64> &ids);
    bool selectByUtraFdd(quint32 mcc, quint32 mnc, quint32 ucid, QList<qint64> &ids);

    // Export marking and deletion of whole fingerprints.
    bool updateFingerprint(const QList<qint64> &ids, bool exported);
    // All or nothing: a failure rolls every table back and gives false.
    bool deleteFingerprint(const QList<qint64> &ids);

    // WLAN MAC addresses as stored (FpcMacConversion).
    static QString macToString(const VomuWlanMacAddress &mac);
    static qint64 macToInt(const VomuWlanMacAddress &mac);
    static VomuWlanMacAddress intToMac(qint64 value);

    // Largest number of ids put into one IN (...) list.
    static constexpr int MaxIdsPerStatement = 500;

private:
    // Drops the prepared statements other than the look-ups by id.
    void clearOtherQueries();
    // Runs statement once for each chunk of ids; false at the first failure.
    bool execForIdChunks(const QString &head, const QList<qint64> &ids, const char *prefix, const char *failureText);

    Clock m_now;
    FpcConfigurationTable m_configuration;
    FpcJournalTuning m_journal;
    FpcFingerprintWriter m_writer;
    FpcFingerprintLookup m_lookup;
};
