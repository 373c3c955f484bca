#pragma once

#include <QSqlQuery>
#include <QtGlobal>

#include <memory>

// Page layout and write-ahead log of the application's default connection:
// the settings of a freshly opened file, the one-off rewrite of a file laid
// out otherwise, the log's size and checkpoints. Failures are logged under
// the SQL handler's name, which forwards to this class.
class FpcJournalTuning
{
public:
    FpcJournalTuning();
    ~FpcJournalTuning();

    // One fingerprint touches about a dozen tables and indices, so every
    // commit writes that many pages to the log: small pages keep a commit
    // small (SQLite's default of 4 KiB writes eight times as much), and with
    // the log's share below the checkpoints stay rare. 512-byte pages wrote
    // less and flushed less than 1 KiB pages both in a small and in a large
    // buffer (bench/README.md).
    static constexpr int PageSize = 512;
    // The log may take this share (1/n) of the buffer's size limit. It is
    // folded back into the database when it holds that many bytes, so a
    // larger buffer gets rarer checkpoints (two flushes each).
    static constexpr int LogShareDivisor = 6;
    static constexpr int MinCheckpointPages = 16;
    static constexpr int MaxCheckpointPages = 1000;
    // Pages one commit may add to the log past the checkpoint mark.
    static constexpr int CommitSlackPages = 16;

    // PageSize pages, incremental vacuum and a write-ahead log; false when
    // the file does not accept them.
    bool configureConnection();
    bool usesWal() const { return m_wal; }
    // Folds the write-ahead log back into the database file.
    bool checkpoint();
    // The checkpoint mark and the log's size limit for a buffer limited to
    // sizeLimit bytes.
    void setLogShare(qint64 sizeLimit);
    int checkpointPages() const { return m_checkpointPages; }
    // The largest the log grows to between checkpoints; 0 without a log.
    qint64 logReserve() const;
    // page_count x page_size; -1 when it cannot be read.
    qint64 pageBytes();
    // Gives the free pages back to the file system, then checkpoints.
    bool vacuum();
    // Drops the prepared page count, before the connection closes or changes.
    void clearQueries();

private:
    // Rewrites a file whose page size or vacuum mode differ from ours.
    bool convertLayout();

    bool m_wal = false;
    int m_checkpointPages = MinCheckpointPages;
    int m_pageSize = PageSize;
    std::unique_ptr<QSqlQuery> m_pageCountQuery;
};
