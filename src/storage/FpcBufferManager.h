#pragma once

#include "FpcDropCounters.h"
#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "FpcSqlHandler.h"
#include "SlpGwTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>

// The fingerprint buffer: the one process-wide owner of the database
// connection and of the SQL handler. Every other component stores
// fingerprints and looks stored ones up through instance(); the buffer keeps
// itself below its size limit and its daily growth limit and decides after
// each stored fingerprint whether an upload is due.
//
// Main thread only. Failures that callers must not ignore are thrown as a
// QString holding the message.
class FpcBufferManager : public QObject
{
    Q_OBJECT

public:
    // The process-wide buffer, created (and its database opened) on the
    // first call. Throws a QString when the database cannot be opened; no
    // instance is left behind then and the next call tries again.
    static FpcBufferManager &instance();
    // Closes the database and drops the instance; the next instance() opens
    // it again. Used at exit and by tests.
    static void destroyInstance();
    static bool hasInstance();

    // Source of the current time for the buffer's age and daily period.
    // Tests install a fake clock; an empty function restores the system one.
    static void setClock(std::function<QDateTime()> now);
    static QDateTime currentTime();

    // How the buffer asks for an upload once it is old and full enough:
    // whether an attach for a network kind is pending already, and the
    // request of one. The daemon installs its uploader here; unset, no
    // upload is requested.
    struct UploadRequest
    {
        std::function<bool(SlpGwNetworkUsage)> isPending;
        std::function<void(SlpGwNetworkUsage)> attach;
    };
    static void setUploadRequest(UploadRequest request);

    ~FpcBufferManager() override;

    // Stores a new fingerprint; true once it is in the database.
    bool storeFpEntry(const FpcFingerprint &fp);

    // One whole stored fingerprint; false when it cannot be loaded.
    bool getFingerprint(qint64 fpId, FpcFingerprint &fp);

    // Newest stored fingerprint, from the cache or from the database;
    // false when the buffer holds none.
    bool getNewestFingerprint(FpcFingerprint &fp);
    void setNewestFingerprint(const FpcFingerprint &fp, qint64 fpId);
    // Deletes the cached newest fingerprint (true when there was none).
    bool removeNewest();

    // Every stored fingerprint with id, time, data mask and radio type only;
    // the caller owns and deletes the objects.
    void getFingerprintsOnly(QList<FpcFingerprint *> &fps);
    // The same without a fingerprint object per row, in one query: what
    // the status list of a full buffer needs.
    bool getFingerprintSummaries(QList<FpcSqlHandler::StoredSummary> &summaries);
    // Ids of the stored fingerprints whose position lies within maxDistance
    // metres of position; a negative distance gives every id. False when
    // the database could not be read.
    bool getFingerprintsNearby(const FpcPosition &position, int maxDistance, QList<qint64> &ids);
    // Ids of the stored fingerprints with fp's serving cell; throws a
    // QString when the database cannot be read.
    void getFpIdsByServingCell(const FpcFingerprint &fp, QList<qint64> &ids);

    // Bytes the buffer occupies on disk: the database as the connection
    // sees it plus the write-ahead log counted at its reserve. Stable from
    // one insertion to the next whatever the file's page size. Throws a
    // QString when the database file is gone.
    qint64 bufferSize();
    quint32 bufferMaxSize();
    // bufferSize() / bufferMaxSize(), at most 1.
    float getFpBufferFillRatio();
    // Seconds since the buffer's age was last reset.
    quint32 getFpBufferAge();
    // Last upload time, fill percentage, size, maximum size, growth in the
    // current daily period, daily limit and the last upload's count.
    bool getBufferStatistics(quint32 &lastUploadTime, quint32 &fillPercentage, quint32 &size, quint32 &maxSize,
                             quint32 &dailyGrowth, quint32 &dailyLimit, quint32 &lastUploadCount);

    bool dailyLimitExceeded();
    void resetDailyLimit();

    // Deletes every stored fingerprint.
    bool removeAll();

    // Export state across an upload. createFpReport writes the report of the
    // stored fingerprints into out and marks exactly those that went into it
    // exported; a fingerprint that cannot be read, or does not fit, stays
    // unexported for a later report. False (nothing marked) when the report
    // cannot be built or marked.
    bool createFpReport(QByteArray &out);
    // After a successful upload: deletes the exported fingerprints, restarts
    // the buffer's age and records the upload's time and count. *count,
    // when given, receives the number of fingerprints the upload carried.
    bool removeExported(int *count = nullptr);
    // After the server refused the report (not a failure to reach it):
    // remembers which fingerprints it held, and createFpReport builds no
    // report of exactly those again - they go once the stored set changes.
    void rememberRefusedExport();
    // After a failed upload: the exported fingerprints return to the buffer;
    // *count, when given, receives how many they were.
    bool cancelExport(int *count = nullptr);

    // The database file in use.
    QString databasePath() const { return m_dbPath; }

signals:
    void fpStored(qint64 fpId);

private:
    FpcBufferManager();
    void openDatabase();
    bool openAndPrepare(QString *error);
    bool holdsCorruptDatabase();
    QString moveCorruptDatabaseAside();
    // SQLite's primary result codes for a damaged file and for a file that
    // is not a database.
    static constexpr int SqliteCorrupt = 11;
    static constexpr int SqliteNotADatabase = 26;
    static QString configuredDatabasePath();
    static QString defaultDatabasePath();
    void verifyDatabaseDirectory(const QString &path);
    // Sizes the write-ahead log for the configured size limit whenever that
    // limit changes.
    void applyLogShare();
    static quint32 configuredMaxSize();

    // Buffer policies run around every insertion: shrinking a full (or too
    // fast grown) buffer before it, and the upload decision after it.
    // cleanupBuffer returns the number of fingerprints left, -1 when they
    // could not be read. checkUploadTriggers throws a QString on a
    // contradictory configuration; the uploader's exceptions pass through.
    // reason: the drop counter the deleted fingerprints are counted under.
    int cleanupBuffer(FpcDropCounters::Reason reason);
    void checkUploadTriggers();
    // How many fingerprints one cleanup deletes out of count.
    static int cleanupTarget(int count, qint32 percentage);
    // Empties the newest-fingerprint cache when its fingerprint was among
    // deletedIds; every deletion outside removeNewest() calls it.
    void forgetDeletedNewest(const QList<qint64> &deletedIds);
    void resetNewest();
    // Identifies a set of fingerprint ids (sorted), for the refused report.
    static QString idSetSignature(QList<qint64> ids);
    void logNewest(const FpcFingerprint &fp) const;

    QSqlDatabase m_db;
    std::unique_ptr<FpcSqlHandler> m_sql;
    FpcFingerprint m_newest;
    QString m_dbPath;
    quint32 m_logShareLimit = 0;
};
