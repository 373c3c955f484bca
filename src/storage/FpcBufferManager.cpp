#include "FpcBufferManager.h"

#include "FpcConfig.h"
#include "FpcPaths.h"
#include "FpcSqlHandler.h"
#include "SarvoSecurity.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>

#include <cmath>

namespace {

FpcBufferManager *s_instance = nullptr;
bool s_exitCleanupRegistered = false;
std::function<QDateTime()> s_clock;

const char DefaultDatabasePath[] = "/home/user/.vomu-fpcd/private/fp.db";
const quint32 DefaultMaxSize = 300000;
const qint32 DefaultDailyLimit = 100000;

QString timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

// ---------------------------------------------------------------- lifetime

FpcBufferManager &FpcBufferManager::instance()
{
    if (s_instance)
        return *s_instance;
    try {
        s_instance = new FpcBufferManager();
    } catch (...) {
        // The half-built object is gone; drop its connection too so that
        // the next call starts from scratch.
        QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
        throw;
    }
    if (!s_exitCleanupRegistered && QCoreApplication::instance()) {
        qAddPostRoutine(&FpcBufferManager::destroyInstance);
        s_exitCleanupRegistered = true;
    }
    return *s_instance;
}

void FpcBufferManager::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
    QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
}

bool FpcBufferManager::hasInstance()
{
    return s_instance != nullptr;
}

void FpcBufferManager::setClock(std::function<QDateTime()> now)
{
    s_clock = std::move(now);
}

QDateTime FpcBufferManager::currentTime()
{
    return s_clock ? s_clock().toUTC() : QDateTime::currentDateTimeUtc();
}

FpcBufferManager::FpcBufferManager()
    : m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                     QString::fromLatin1(QSqlDatabase::defaultConnection))),
      m_sql(std::make_unique<FpcSqlHandler>())
{
    openDatabase();
}

FpcBufferManager::~FpcBufferManager()
{
    // Statements first: the connection closes cleanly only without them.
    m_sql.reset();
    m_db.close();
    m_db = QSqlDatabase();
}

QString FpcBufferManager::defaultDatabasePath()
{
    return FpcPaths::databaseFile();
}

QString FpcBufferManager::configuredDatabasePath()
{
    const QString configured = FpcConfig::getValue(QStringLiteral("db_file"));
    // The default named literally is still the default: below the path root.
    if (configured.isEmpty() || configured == QLatin1String(DefaultDatabasePath))
        return defaultDatabasePath();
    return configured;
}

void FpcBufferManager::verifyDatabaseDirectory(const QString &path)
{
    QString directory = path;
    directory.replace(QRegularExpression(QStringLiteral("fp.db$")), QString());
    const QByteArray nativeDirectory = QFile::encodeName(directory);
    const int result = sarvo_crypto_verify_sarvofs(nativeDirectory.constData());
    if (result != 0) {
        throw QStringLiteral("Given directory is not SarvoFS mounted, cannot continue! "
                             "sarvo_crypto_verify_sarvofs(")
            + directory + QStringLiteral(")=") + QString::number(result);
    }
    qDebug() << "DB directory verified as SarvoFS mountpoint: " << directory;
}

void FpcBufferManager::openDatabase()
{
    m_dbPath = configuredDatabasePath();
    if (m_dbPath == defaultDatabasePath())
        verifyDatabaseDirectory(m_dbPath);

    if (m_db.isOpen())
        m_db.close();
    m_db.setDatabaseName(m_dbPath);
    if (!m_db.open()) {
        throw QStringLiteral("Unable to open database in ") + m_dbPath + QStringLiteral(": ")
            + m_db.lastError().text();
    }
    // A file that refuses the settings is caught by the schema check below.
    m_sql->configureConnection();
    if (!m_sql->createTables())
        throw QStringLiteral("Creating database tables failed");
    m_sql->resetQueries();
}

// ---------------------------------------------------------------- storing

bool FpcBufferManager::storeFpEntry(const FpcFingerprint &fp)
{
    qDebug() << "FpcBufferManager::storeFpEntry() <-";
    bool cleanupRan = false;
    try {
        if (bufferSize() >= bufferMaxSize() || dailyLimitExceeded()) {
            cleanupBuffer();
            cleanupRan = true;
        }
    } catch (const QString &error) {
        qDebug() << "[ERROR] FpcBufferManager::storeFpEntry()" << error;
        return false;
    }

    const qint64 id = m_sql->insert(fp);
    const bool stored = id >= 1;
    if (stored && (!m_newest.time().isValid() || m_newest.time() < fp.time()))
        setNewestFingerprint(fp, id);
    qDebug() << "FpcBufferManager::storeFpEntry() tt: " << fp.time().toMSecsSinceEpoch();
    if (!stored) {
        qDebug() << "[ERROR] FpcBufferManager::storeFpEntry() Fp insert failed ->";
        return false;
    }

    qDebug() << "[INFO] FpcBufferManager::storeFpEntry() Fp inserted with ID" << id;
    if (cleanupRan)
        m_sql->vacuum();
    emit fpStored(id);
    try {
        checkUploadTriggers();
    } catch (const QString &error) {
        qDebug() << "FpcBufferManager::storeFpEntry() Upload trigger checking failed:" << error;
    } catch (...) {
        qDebug() << "FpcBufferManager::storeFpEntry() Upload trigger checking failed -- unknown exception!";
    }
    qDebug() << "FpcBufferManager::storeFpEntry() ->";
    return true;
}

int FpcBufferManager::cleanupBuffer()
{
    qDebug() << "FpcBufferManager::cleanupBuffer() Buffer cleanup not available yet - skipped";
    return -1;
}

void FpcBufferManager::checkUploadTriggers()
{
    qDebug() << "FpcBufferManager::checkUploadTriggers() Upload trigger check not available yet - skipped";
}

// ---------------------------------------------------------------- newest fingerprint

bool FpcBufferManager::getFingerprint(qint64 fpId, FpcFingerprint &fp)
{
    return m_sql->select(fpId, fp);
}

void FpcBufferManager::setNewestFingerprint(const FpcFingerprint &fp, qint64 fpId)
{
    m_newest = fp;
    m_newest.setId(fpId);
    qDebug() << "FpcBufferManager::setNewestFingerprint() ID: " << fpId;
}

void FpcBufferManager::logNewest(const FpcFingerprint &fp) const
{
    qDebug() << "FpcBufferManager::getNewestFingerprint() id: " << fp.id() << "  tt: "
             << fp.time().toMSecsSinceEpoch();
}

bool FpcBufferManager::getNewestFingerprint(FpcFingerprint &fp)
{
    if (m_newest.hasMeasurements()) {
        fp = m_newest;
        qDebug() << "FpcBufferManager::getNewestFingerprint() Newest returned from cache";
        logNewest(fp);
        return true;
    }
    const qint64 id = m_sql->selectNewest();
    bool found = false;
    if (id < 0) {
        qDebug() << "FpcBufferManager::getNewestFingerprint() Newest FP" << "not found";
    } else if (!m_sql->select(id, fp)) {
        qDebug() << "FpcBufferManager::getNewestFingerprint() Unable to" << "select FP with ID" << id;
    } else {
        setNewestFingerprint(fp, id);
        qDebug() << "FpcBufferManager::getNewestFingerprint() Newest returned from DB";
        found = true;
    }
    logNewest(fp);
    return found;
}

void FpcBufferManager::resetNewest()
{
    m_newest = FpcFingerprint();
    m_newest.setId(0);
    qDebug() << "FpcBufferManager::removeNewest() Cached newest fingerprint reseted";
}

bool FpcBufferManager::removeNewest()
{
    const qint64 id = m_newest.id();
    if (id <= 0) {
        qDebug() << "FpcBufferManager::removeNewest() Newest FP ID:" << id << " - Nothing to remove from DB";
        resetNewest();
        return true;
    }
    if (!m_sql->deleteFingerprint({id})) {
        qDebug() << "FpcBufferManager::removeNewest() Deleting newest" << "fingerprint failed.";
        return false;
    }
    qDebug() << "FpcBufferManager::removeNewest() Deleted newest fingerprint from DB with ID:" << id;
    resetNewest();
    m_sql->vacuum();
    return true;
}

void FpcBufferManager::forgetDeletedNewest(const QList<qint64> &deletedIds)
{
    if (m_newest.id() > 0 && deletedIds.contains(m_newest.id()))
        resetNewest();
}

// ---------------------------------------------------------------- look-ups

void FpcBufferManager::getFingerprintsOnly(QList<FpcFingerprint *> &fps)
{
    if (!m_sql->selectFingerprintsOnly(fps)) {
        qCritical() << "FpcBufferManager::getFingerprintsOnly() Select from Fingerprint table failed";
        return;
    }
    for (FpcFingerprint *fp : fps) {
        if (!(fp->dataMask() & FpcFingerprint::Cell))
            continue;
        VomuMeasurements cells;
        fp->setRadioType(m_sql->selectUtraFdd(fp->id(), cells) ? FpcFingerprint::RadioWCDMA
                                                                : FpcFingerprint::RadioGSM);
    }
}

bool FpcBufferManager::getFingerprintsNearby(const FpcPosition &position, int maxDistance, QList<qint64> &ids)
{
    qDebug() << "FpcBufferManager::getFingerprintsNearby() maxDistance:" << maxDistance;
    if (maxDistance < 0) {
        qDebug() << "FpcBufferManager::getFingerprintsNearby()" << "maxDistance is negative. Returning all the FPs";
        return m_sql->selectAll(ids);
    }
    QList<FpcPosition *> positions;
    const bool ok = m_sql->selectAllPositions(positions);
    for (const FpcPosition *stored : std::as_const(positions)) {
        // An undefined distance (a fix without coordinates) is never near.
        const double distance = position.distanceTo(*stored);
        if (!std::isnan(distance) && std::trunc(distance) <= maxDistance)
            ids.append(stored->fpId());
    }
    qDeleteAll(positions);
    return ok;
}

void FpcBufferManager::getFpIdsByServingCell(const FpcFingerprint &fp, QList<qint64> &ids)
{
    const VomuMeasurements cells = fp.cellMeasurements();
    if (cells.isEmpty()) {
        qDebug() << "FpcBufferManager::getFpIdsByServingCell() FP has no serving cell";
        return;
    }
    const VomuObservationElement *first = cells.element(0);
    if (const auto *wcdma = dynamic_cast<const VomuElementWCDMA *>(first);
        wcdma && first->elementId() == VomuObservationElement::ElementIdWCDMA) {
        if (!m_sql->selectByUtraFdd(wcdma->countryCode(), wcdma->networkId(), wcdma->ucId(), ids))
            throw QStringLiteral("Unable to select fingerprints by UtraFdd serving cell");
    } else if (const auto *gsm = dynamic_cast<const VomuElementGSM *>(first);
               gsm && first->elementId() == VomuObservationElement::ElementIdGSM) {
        if (!m_sql->selectByGeran(gsm->countryCode(), gsm->networkId(), gsm->locationAreaCode(),
                                  gsm->cellId(), ids))
            throw QStringLiteral("Unable to select fingerprints by Geran serving cell");
    }
}

// ---------------------------------------------------------------- size, fill ratio, age

qint64 FpcBufferManager::bufferSize()
{
    QFile file(m_dbPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCritical() << "FpcBufferManager::bufferSize() Unable to open" << m_dbPath << file.errorString();
        throw QStringLiteral("Can't open db for estimating it's size");
    }
    qint64 size = file.size();
    if (m_sql->usesWal()) {
        // Data waits in the write-ahead log before it reaches the file; the
        // log is held to its reserve, which is counted whole so that the
        // size neither hides the log nor jumps when it is folded back.
        const QFileInfo wal(m_dbPath + QStringLiteral("-wal"));
        size += qMax(wal.exists() ? wal.size() : 0, FpcSqlHandler::WalReserveBytes);
    }
    qDebug() << "FpcBufferManager::bufferSize() size:" << size;
    return size;
}

quint32 FpcBufferManager::bufferMaxSize()
{
    const quint32 size = FpcConfig::getUIntValue(QStringLiteral("fp_buffer_max_size"), DefaultMaxSize);
    if (size < 1024) {
        qCritical() << "FpcBufferManager::bufferMaxSize() 'fp_buffer_max_size'"
                    << "must be at least 1024. Using default value 300000";
        return DefaultMaxSize;
    }
    return size;
}

float FpcBufferManager::getFpBufferFillRatio()
{
    float ratio = float(bufferSize()) / float(bufferMaxSize());
    if (ratio > 1.0f) {
        qDebug() << "FpcBufferManager::getFpBufferFillRatio(): Note: Ratio >1 (" << ratio << "), but forced to 1";
        ratio = 1.0f;
    }
    qDebug() << "FpcBufferManager::getFpBufferFillRatio() ratio=" << ratio;
    return ratio;
}

quint32 FpcBufferManager::getFpBufferAge()
{
    quint32 ageStart = 0;
    if (!m_sql->getValue(QStringLiteral("fp_age_time"), ageStart)) {
        qDebug() << "FpcBufferManager::getFpBufferAge() ERROR (Can't get age of the FP buffer) ->";
        return 0;
    }
    // Unsigned arithmetic: a start in the future (clock set back) wraps to
    // a very large age.
    const quint32 age = quint32(currentTime().toSecsSinceEpoch()) - ageStart;
    qDebug() << "FpcBufferManager::getFpBufferAge() Buffer age: " << age << "seconds ->";
    return age;
}

bool FpcBufferManager::getBufferStatistics(quint32 &lastUploadTime, quint32 &fillPercentage, quint32 &size,
                                           quint32 &maxSize, quint32 &dailyGrowth, quint32 &dailyLimit,
                                           quint32 &lastUploadCount)
{
    if (m_sql->getValue(QStringLiteral("last_upload_utc_time"), lastUploadTime)) {
        lastUploadCount = 0;
        m_sql->getValue(QStringLiteral("last_upload_fp_count"), lastUploadCount);
    } else {
        lastUploadTime = 0;
        lastUploadCount = 0;
    }
    fillPercentage = quint32(std::floor(getFpBufferFillRatio() * 100.0f + 0.5f));
    const qint64 currentSize = bufferSize();
    size = quint32(currentSize);
    maxSize = FpcConfig::getUIntValue(QStringLiteral("fp_buffer_max_size"), 0);
    quint32 periodStartSize = 0;
    if (m_sql->getValue(QStringLiteral("fp_buffer_size"), periodStartSize))
        dailyGrowth = currentSize > periodStartSize ? quint32(currentSize - periodStartSize) : 0;
    dailyLimit = quint32(FpcConfig::getIntValue(QStringLiteral("fp_buffer_daily_limit"), 0));
    return true;
}

// ---------------------------------------------------------------- daily limit

bool FpcBufferManager::dailyLimitExceeded()
{
    static const char method[] = "FpcBufferManager::dailyLimitExceeded()";
    bool exceeded = false;
    quint32 periodStart = 0;
    quint32 periodStartSize = 0;
    if (!m_sql->getValue(QStringLiteral("fp_buffer_updated"), periodStart)) {
        qDebug() << method << "'fp_buffer_updated' configuration value not set." << "Initializing the daily limit";
        resetDailyLimit();
    } else {
        const QDateTime periodEnd = QDateTime::fromSecsSinceEpoch(periodStart, Qt::LocalTime).addDays(1);
        const QDateTime now = currentTime();
        qDebug() << "FpcBufferManager::dailyLimitExceeded() Next daily limit timeout:" << timeText(periodEnd);
        qDebug() << "FpcBufferManager::dailyLimitExceeded() Current UTC time:" << timeText(now);
        if (periodEnd < now) {
            resetDailyLimit();
            qDebug() << "FpcBufferManager::dailyLimitExceeded() Daily limit reset";
        } else if (!m_sql->getValue(QStringLiteral("fp_buffer_size"), periodStartSize)) {
            qDebug() << method << "'fp_buffer_size' configuration value not set." << "Initializing the daily limit";
            resetDailyLimit();
        } else {
            const qint64 size = bufferSize();
            if (size < periodStartSize) {
                qDebug() << method << "Buffer size is smaller than the daily limit"
                         << "reference value. Re-initialize the daily limit";
                resetDailyLimit();
            } else {
                const quint32 limit = quint32(
                    FpcConfig::getIntValue(QStringLiteral("fp_buffer_daily_limit"), DefaultDailyLimit));
                exceeded = quint32(size) - periodStartSize >= limit;
            }
        }
    }
    qDebug() << method << (exceeded ? "true" : "false");
    return exceeded;
}

void FpcBufferManager::resetDailyLimit()
{
    m_sql->setValue(QStringLiteral("fp_buffer_size"), quint32(bufferSize()));
    m_sql->setValue(QStringLiteral("fp_buffer_updated"), quint32(currentTime().toSecsSinceEpoch()));
}

// ---------------------------------------------------------------- clearing

bool FpcBufferManager::removeAll()
{
    QList<qint64> ids;
    if (!m_sql->selectAll(ids))
        return false;
    const bool deleted = m_sql->deleteFingerprint(ids);
    if (deleted)
        forgetDeletedNewest(ids);
    m_sql->vacuum();
    return deleted;
}
