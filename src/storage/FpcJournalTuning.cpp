#include "FpcJournalTuning.h"

#include "FpcLog.h"
#include "FpcSqlConnection.h"
#include "FpcSqlValue.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>

#include <optional>

FpcJournalTuning::FpcJournalTuning() = default;

FpcJournalTuning::~FpcJournalTuning() = default;

void FpcJournalTuning::clearQueries()
{
    m_pageCountQuery.reset();
}

namespace {

std::optional<qint64> pragmaValue(const char *name)
{
    QSqlQuery query(FpcSqlConnection::database());
    if (!query.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) || !query.next())
        return std::nullopt;
    return FpcSqlValue::toInt64(query.value(0));
}

QString journalMode(const char *mode)
{
    QSqlQuery query(FpcSqlConnection::database());
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=%1").arg(QLatin1String(mode))) || !query.next())
        return QString();
    return query.value(0).toString().toLower();
}

const int WalFrameHeaderBytes = 24;
const int WalHeaderBytes = 32;
const int IncrementalVacuum = 2;

} // namespace

bool FpcJournalTuning::configureConnection()
{
    // Both take effect only on a file that holds no table yet; an existing
    // file is brought over by convertLayout().
    bool ok = FpcSqlConnection::exec(QStringLiteral("PRAGMA page_size=%1").arg(PageSize));
    ok = FpcSqlConnection::exec(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL")) && ok;
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
    ok = FpcSqlConnection::exec(QStringLiteral("PRAGMA synchronous=NORMAL")) && ok;
    m_pageSize = int(pragmaValue("page_size").value_or(PageSize));
    setLogShare(0);
    FPC_TRACE << "FpcSqlHandler::configureConnection() write-ahead log:" << m_wal << "page size:" << m_pageSize
              << "settings applied:" << ok;
    return ok;
}

bool FpcJournalTuning::convertLayout()
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
    const bool converted = FpcSqlConnection::exec(QStringLiteral("PRAGMA page_size=%1").arg(PageSize), &error)
                           && FpcSqlConnection::exec(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL"), &error)
                           && FpcSqlConnection::exec(QStringLiteral("VACUUM"), &error);
    if (!converted)
        qWarning() << "FpcSqlHandler::configureConnection() Rewriting the database failed:" << error;
    return converted;
}

void FpcJournalTuning::setLogShare(qint64 sizeLimit)
{
    const qint64 frame = m_pageSize + WalFrameHeaderBytes;
    const qint64 pages = sizeLimit / LogShareDivisor / frame - CommitSlackPages;
    m_checkpointPages = int(qBound(qint64(MinCheckpointPages), pages, qint64(MaxCheckpointPages)));
    if (!m_wal)
        return;
    FpcSqlConnection::exec(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(m_checkpointPages));
    FpcSqlConnection::exec(QStringLiteral("PRAGMA journal_size_limit=%1").arg(logReserve()));
}

qint64 FpcJournalTuning::logReserve() const
{
    if (!m_wal)
        return 0;
    return qint64(m_checkpointPages + CommitSlackPages) * (m_pageSize + WalFrameHeaderBytes) + WalHeaderBytes;
}

qint64 FpcJournalTuning::pageBytes()
{
    // Prepared once: this runs several times for every stored fingerprint.
    if (!m_pageCountQuery) {
        m_pageCountQuery = std::make_unique<QSqlQuery>(FpcSqlConnection::database());
        m_pageCountQuery->setForwardOnly(true);
        m_pageCountQuery->prepare(QStringLiteral("PRAGMA page_count"));
    }
    QSqlQuery &query = *m_pageCountQuery;
    const bool read = query.exec() && query.next();
    const auto pages = read ? FpcSqlValue::toInt64(query.value(0)) : std::nullopt;
    query.finish();
    return pages ? *pages * m_pageSize : -1;
}

bool FpcJournalTuning::checkpoint()
{
    if (!m_wal)
        return true;
    QString error;
    if (FpcSqlConnection::exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"), &error))
        return true;
    qWarning() << "FpcSqlHandler::checkpoint() Folding the log back failed:" << error;
    return false;
}

bool FpcJournalTuning::vacuum()
{
    // Moves the pages at the end of the file into the free ones and cuts
    // the file: only the moved pages are written, not the whole file.
    // Each run of the statement moves and frees one page; one transaction
    // for all of them.
    const qint64 freePages = pragmaValue("freelist_count").value_or(0);
    QSqlDatabase db = FpcSqlConnection::database();
    const bool inTransaction = db.transaction();
    QSqlQuery query(FpcSqlConnection::database());
    bool ok = query.prepare(QStringLiteral("PRAGMA incremental_vacuum"));
    for (qint64 page = 0; ok && page < freePages; ++page)
        ok = query.exec();
    query.finish();
    if (!ok || (inTransaction && !db.commit())) {
        qCritical() << "FpcSqlHandler::vacuum() Compressing database failed ->" << query.lastError().text();
        if (inTransaction)
            db.rollback();
        return false;
    }
    // The file shrinks when the log is folded back: at once, so the counted
    // size drops with the deletion and a cleanup is not run again.
    checkpoint();
    return true;
}
