#include "FpcBufferManager.h"

#include "FpcConfig.h"
#include "FpcDropCounters.h"
#include "FpcLog.h"
#include "FpcPaths.h"
#include "FpcReport.h"
#include "FpcSqlHandler.h"
#include "SarvoSecurity.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

FpcBufferManager *s_instance = nullptr;
bool s_exitCleanupRegistered = false;
std::function<QDateTime()> s_clock;
FpcBufferManager::UploadRequest s_uploadRequest;

const char DefaultDatabasePath[] = "/home/user/.vomu-fpcd/private/fp.db";
const quint32 DefaultMaxSize = 300000;
const qint32 DefaultDailyLimit = 100000;
const qint32 DefaultCleanupPercentage = 5;
const quint32 DefaultWlanAgeThreshold = 259200; // 3 days
const quint32 DefaultGprsAgeThreshold = 604800; // 7 days
const float DefaultUploadFillRatio = 1.0f;

// Data masks in the order in which they give up fingerprints to a cleanup:
// the kinds that say least about a position go first. Masks not listed are
// never deleted by a cleanup.
struct CleanupPriority
{
    quint8 mask;
    const char *name;
};
const CleanupPriority CleanupPriorities[] = {
    {FpcFingerprint::Cell | FpcFingerprint::WLAN, "Cell + WLAN"},
    {FpcFingerprint::Cell | FpcFingerprint::WLAN | FpcFingerprint::NeighborCell, "Cell + WLAN + NeighborCell"},
    {FpcFingerprint::Cell | FpcFingerprint::GPS, "Cell + GPS"},
    {FpcFingerprint::Cell | FpcFingerprint::GPS | FpcFingerprint::NeighborCell, "Cell + GPS + NeighborCell"},
    {FpcFingerprint::WLAN | FpcFingerprint::GPS, "WLAN + GPS"},
    {FpcFingerprint::Cell | FpcFingerprint::WLAN | FpcFingerprint::GPS, "Cell + WLAN + GPS"},
    {FpcFingerprint::Cell | FpcFingerprint::WLAN | FpcFingerprint::GPS | FpcFingerprint::NeighborCell,
     "Cell + WLAN + GPS + NeighborCell"},
};

// A latitude/longitude box around a circle; west > east when it crosses
// the 180th meridian.
struct CoordinateBox
{
    double south;
    double north;
    double west;
    double east;

    // Holds every point whose distance from the centre, truncated to whole
    // metres, is at most maxDistance, on the sphere FpcPosition::distanceTo
    // measures on; with a small margin for rounding.
    static CoordinateBox around(double latitude, double longitude, int maxDistance)
    {
        const double earthRadius = 6371009.0;
        const double degrees = 180.0 / M_PI;
        const double angle = (double(maxDistance) + 1.0) / earthRadius * (1.0 + 1e-6) + 1e-12;
        CoordinateBox box{latitude - angle * degrees, latitude + angle * degrees, -180.0, 180.0};
        // A circle that reaches a pole spans every longitude.
        if (box.north >= 90.0 || box.south <= -90.0)
            return box;
        const double spread = std::asin(std::sin(angle) / std::cos(latitude / degrees)) * degrees * (1.0 + 1e-6) + 1e-9;
        const double centre = std::remainder(longitude, 360.0);
        if (spread >= 180.0)
            return box;
        box.west = centre - spread;
        box.east = centre + spread;
        if (box.west < -180.0)
            box.west += 360.0;
        if (box.east > 180.0)
            box.east -= 360.0;
        return box;
    }
};

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

void FpcBufferManager::setUploadRequest(UploadRequest request)
{
    s_uploadRequest = std::move(request);
}

QDateTime FpcBufferManager::currentTime()
{
    return s_clock ? s_clock().toUTC() : QDateTime::currentDateTimeUtc();
}

FpcBufferManager::FpcBufferManager()
    : m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QString::fromLatin1(QSqlDatabase::defaultConnection))),
      m_sql(std::make_unique<FpcSqlHandler>(&FpcBufferManager::currentTime))
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
    FPC_TRACE << "DB directory verified as SarvoFS mountpoint: " << directory;
}

void FpcBufferManager::openDatabase()
{
    m_dbPath = configuredDatabasePath();
    if (m_dbPath == defaultDatabasePath())
        verifyDatabaseDirectory(m_dbPath);

    QString error;
    if (openAndPrepare(&error))
        return;
    if (!holdsCorruptDatabase())
        throw error;
    const QString aside = moveCorruptDatabaseAside();
    if (aside.isEmpty())
        throw error;
    qCritical() << "FpcBufferManager::openDatabase()" << error << "- the file is moved aside to" << aside
                << "and a fresh database started";
    if (!openAndPrepare(&error))
        throw error;
}

bool FpcBufferManager::openAndPrepare(QString *error)
{
    if (m_db.isOpen())
        m_db.close();
    m_db.setDatabaseName(m_dbPath);
    if (!m_db.open()) {
        *error =
            QStringLiteral("Unable to open database in ") + m_dbPath + QStringLiteral(": ") + m_db.lastError().text();
        return false;
    }
    // A file that refuses the settings is caught by the schema check below.
    m_sql->configureConnection();
    applyLogShare();
    if (!m_sql->createTables()) {
        *error = QStringLiteral("Creating database tables failed");
        return false;
    }
    m_sql->resetQueries();
    return true;
}

// True when SQLite itself calls the open file damaged or not a database,
// as opposed to a file it cannot reach (permissions, locks, a full disk),
// which must stay where it is.
bool FpcBufferManager::holdsCorruptDatabase()
{
    if (!m_db.isOpen())
        return false;
    QSqlQuery probe(m_db);
    if (probe.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")) && probe.next()) {
        probe.finish();
        return false;
    }
    const int primaryCode = probe.lastError().nativeErrorCode().toInt() & 0xff;
    return primaryCode == SqliteCorrupt || primaryCode == SqliteNotADatabase;
}

// A damaged database would stop every start of the daemon. It is kept for
// inspection, never deleted: renamed to "<file>.corrupt-<UTC time>" together
// with its journal files, and never over an existing name. Returns the new
// name, empty when the file could not be moved.
QString FpcBufferManager::moveCorruptDatabaseAside()
{
    // Renamed while the connection is still open: closing it deletes the
    // journal files under their usual names, which by then are gone.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString aside = m_dbPath + QStringLiteral(".corrupt-") + stamp;
    for (int n = 1; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = m_dbPath + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(m_dbPath, aside)) {
        m_db.close();
        return QString();
    }
    for (const char *journal : {"-wal", "-shm", "-journal"}) {
        const QString from = m_dbPath + QLatin1String(journal);
        if (QFileInfo::exists(from) && !QFile::rename(from, aside + QLatin1String(journal)))
            qCritical() << "FpcBufferManager::openDatabase() Unable to move" << from << "aside";
    }
    m_db.close();
    return aside;
}

// ---------------------------------------------------------------- storing

bool FpcBufferManager::storeFpEntry(const FpcFingerprint &fp)
{
    FPC_TRACE << "FpcBufferManager::storeFpEntry() <-";
    bool cleanupRan = false;
    try {
        const bool full = bufferSize() >= bufferMaxSize();
        if (full || dailyLimitExceeded()) {
            cleanupBuffer(full ? FpcDropCounters::BufferFull : FpcDropCounters::DailyLimit);
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
    FPC_TRACE << "FpcBufferManager::storeFpEntry() tt: " << fp.time().toMSecsSinceEpoch();
    if (!stored) {
        qDebug() << "[ERROR] FpcBufferManager::storeFpEntry() Fp insert failed ->";
        return false;
    }

    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcBufferManager::storeFpEntry() Fp inserted with ID" << id;
    if (cleanupRan)
        m_sql->vacuum();
    emit fpStored(id);
    try {
        checkUploadTriggers();
    } catch (const QString &error) {
        FPC_TRACE << "FpcBufferManager::storeFpEntry() Upload trigger checking failed:" << error;
    } catch (const std::string &error) {
        // The gateway library is missing or unusable.
        FPC_TRACE << "FpcBufferManager::storeFpEntry() Upload trigger checking failed:"
                  << QString::fromStdString(error);
    } catch (int code) {
        // The gateway refused the attach request.
        FPC_TRACE << "FpcBufferManager::storeFpEntry() Upload trigger checking failed: gateway code" << code;
    } catch (...) {
        FPC_TRACE << "FpcBufferManager::storeFpEntry() Upload trigger checking failed -- unknown exception!";
    }
    FPC_TRACE << "FpcBufferManager::storeFpEntry() ->";
    return true;
}

// ---------------------------------------------------------------- cleanup

int FpcBufferManager::cleanupTarget(int count, qint32 percentage)
{
    // Single precision and truncation, as the share has always been taken.
    // A negative or huge percentage must neither wipe the buffer by accident
    // (a target below 1 would never be reached) nor overflow the conversion.
    const float share = (float(count) / 100.0f) * float(percentage);
    if (!(share < float(count)))
        return qMax(count, 1);
    return qMax(int(share), 1);
}

int FpcBufferManager::cleanupBuffer(FpcDropCounters::Reason reason)
{
    FPC_TRACE << "FpcBufferManager::cleanupBuffer() <-";
    const qint32 percentage =
        FpcConfig::getIntValue(QStringLiteral("fp_buffer_cleanup_percentage"), DefaultCleanupPercentage);
    FPC_TRACE << "FpcBufferManager::cleanupBuffer() Cleanup percentage:" << percentage << "%";

    QList<FpcFingerprint *> selected;
    const bool readOk = m_sql->selectFingerprintsOnly(selected);
    std::vector<std::unique_ptr<FpcFingerprint>> fps;
    fps.reserve(size_t(selected.size()));
    for (FpcFingerprint *fp : std::as_const(selected))
        fps.emplace_back(fp);
    if (!readOk) {
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcBufferManager::cleanupBuffer() Selecting fingerprints"
                                   << "failed";
        return -1;
    }

    const int count = int(fps.size());
    FPC_TRACE << "FpcBufferManager::cleanupBuffer() Fingerprints in DB:" << count;
    const int target = cleanupTarget(count, percentage);
    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcBufferManager::cleanupBuffer() Deleting" << target << "fingerprints";

    // Oldest first; the scan below walks from the newest end.
    std::stable_sort(fps.begin(), fps.end(), [](const auto &a, const auto &b) { return a->time() < b->time(); });
    for (const CleanupPriority &row : CleanupPriorities) {
        FPC_TRACE << "FpcBufferManager::cleanupBuffer() Mask:" << QString::fromLatin1(row.name)
                  << "bytes:" << qPrintable(QString::number(row.mask, 2));
    }

    QList<qint64> victims;
    for (const CleanupPriority &row : CleanupPriorities) {
        if (victims.size() >= target)
            break;
        int taken = 0;
        for (auto it = fps.rbegin(); it != fps.rend() && victims.size() < target; ++it) {
            const FpcFingerprint &fp = **it;
            if (fp.dataMask() != row.mask)
                continue;
            victims.append(fp.id());
            ++taken;
            FPC_TRACE << "FpcBufferManager::cleanupBuffer() Delete FP with timestamp"
                      << fp.time().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss:zzz"));
        }
        FPC_TRACE << "FpcBufferManager::cleanupBuffer() Delete" << taken << QString::fromLatin1(row.name)
                  << "fingerprints";
    }
    fps.clear();

    // The deletion is all or nothing: when it fails, every fingerprint is
    // still there and the count says so.
    int left = count;
    if (m_sql->deleteFingerprint(victims)) {
        forgetDeletedNewest(victims);
        left = count - int(victims.size());
        FpcDropCounters::add(reason, quint32(victims.size()));
    } else {
        qDebug() << "[ERROR] FpcBufferManager::cleanupBuffer() Deleting" << victims.size() << "fingerprints failed";
    }
    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcBufferManager::cleanupBuffer() Fingerprints in DB after"
                               << "cleanup:" << left;
    return left;
}

// ---------------------------------------------------------------- upload triggers

void FpcBufferManager::checkUploadTriggers()
{
    FPC_TRACE << "FpcBufferManager::checkUploadTriggers() <-";
    const quint32 age = getFpBufferAge();
    const quint32 wlanThreshold =
        FpcConfig::getUIntValue(QStringLiteral("wlan_upload_age_threshold"), DefaultWlanAgeThreshold);
    const quint32 gprsThreshold =
        FpcConfig::getUIntValue(QStringLiteral("gprs_upload_age_threshold"), DefaultGprsAgeThreshold);
    if (gprsThreshold < wlanThreshold) {
        throw QStringLiteral("FpcBufferManager::checkUploadTriggers(): WARNING -- POSSIBLE CONFIGURATION "
                             "ERROR: wlanUploadThreshold > gprsUploadThreshold");
    }

    FPC_TRACE << "FpcBufferManager::checkUploadTriggers():   FP buffer age in seconds       : " << age;
    if (age < wlanThreshold)
        FPC_TRACE << "FpcBufferManager::checkUploadTriggers():    Time left to reach WLAN threshold  : "
                  << wlanThreshold - age;
    if (age < gprsThreshold)
        FPC_TRACE << "FpcBufferManager::checkUploadTriggers():    Time left to reach GPRS threshold  : "
                  << gprsThreshold - age;

    if (age <= wlanThreshold) {
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcBufferManager::checkUploadTriggers() FP buffer age less than WLAN age "
                                      "threshold -- No upload triggered by this insertion ->";
        return;
    }
    // Past the longer threshold the home network may be used too.
    const bool home = age > gprsThreshold;
    const SlpGwNetworkUsage type = home ? FreeAndHomeNw : OnlyFree;
    FPC_TRACE << (home ? "FpcBufferManager::checkUploadTriggers() GPRS upload age threshold exceeded"
                       : "FpcBufferManager::checkUploadTriggers() WLAN upload age threshold exceeded (but under "
                         "GPRS threshold)");

    if (!s_uploadRequest.isPending || !s_uploadRequest.attach) {
        FPC_TRACE << "FpcBufferManager::checkUploadTriggers() no uploader installed -- continue collection ->";
        return;
    }
    if (s_uploadRequest.isPending(type)) {
        FPC_TRACE << (home ? "FpcBufferManager::checkUploadTriggers() attach for FreeAndHomeNw pending already -- "
                             "continue collection  ->"
                           : "FpcBufferManager::checkUploadTriggers() attach for OnlyFree pending already -- "
                             "continue collection  ->");
        return;
    }

    const float ratio = getFpBufferFillRatio();
    const float wanted = FpcConfig::getFloatValue(home ? QStringLiteral("gprs_upload_fill_ratio")
                                                       : QStringLiteral("wlan_upload_fill_ratio"),
                                                  DefaultUploadFillRatio);
    FPC_TRACE << "FpcBufferManager::checkUploadTriggers()               FP buffer fill ratio: " << ratio;
    FPC_TRACE << (home ? "FpcBufferManager::checkUploadTriggers() GPRS upload fill ratio from config: "
                       : "FpcBufferManager::checkUploadTriggers() WLAN upload fill ratio from config: ")
              << wanted;
    // Age alone never uploads: the buffer must also be full enough.
    if (ratio > wanted) {
        FPC_TRACE << (home ? "FpcBufferManager::checkUploadTriggers() GPRS FP fill ratio exceeded the config value, "
                             "making attach request to SLPGW ->"
                           : "FpcBufferManager::checkUploadTriggers() WLAN FP fill ratio exceeded the config value, "
                             "making attach request to SLPGW ->");
        s_uploadRequest.attach(type);
    } else {
        FPC_TRACE << (home ? "FpcBufferManager::checkUploadTriggers() GPRS FP fill ratio not exceeded the config "
                             "value -- continue collection ->"
                           : "FpcBufferManager::checkUploadTriggers() WLAN FP fill ratio not exceeded the config "
                             "value -- continue collection ->");
    }
}

// ---------------------------------------------------------------- export state

bool FpcBufferManager::createFpReport(QByteArray &out)
{
    FPC_TRACE << "FpcBufferManager::createFpReport() <-";
    // Fingerprints are read and encoded one at a time, in id order; one
    // that cannot be read stays out of the report and out of the export
    // marking. Reading stops where the report is full: the rest waits for
    // the next report.
    QByteArray report;
    QList<qint64> taken;
    try {
        FpcReport::Progress progress = FpcReport::beginReport(report);
        const bool read = m_sql->forEachFingerprint([&](const FpcFingerprint &fp) {
            if (progress.records >= FpcReport::kMaxFingerprints)
                return false;
            FPC_TRACE << "FpcBufferManager::createFpReport() Fingerprint ID:" << fp.id();
            FPC_TRACE << "FpcBufferManager::createFpReport()"
                      << "Fingerprint selected successfully";
            FpcReport::appendRecord(fp, progress, report);
            taken.append(fp.id());
            return true;
        });
        if (!read) {
            // An empty report would pass for an upload of the whole buffer.
            qDebug() << "[ERROR] FpcBufferManager::createFpReport() Selecting fingerprints failed ->";
            return false;
        }
        FpcReport::finishReport(progress, report);
    } catch (const QString &error) {
        qDebug() << "[ERROR] FpcBufferManager::createFpReport() FPReport externalization failed: " << error;
        return false;
    }
    QString refused;
    if (m_sql->getValue(QStringLiteral("refused_report"), refused) && !refused.isEmpty()
        && refused == idSetSignature(taken)) {
        qDebug() << "[INFO] FpcBufferManager::createFpReport() The server refused these" << taken.size()
                 << "fingerprints; they are not sent again until the stored set changes ->";
        return false;
    }
    out.clear();
    out.swap(report);
    if (!m_sql->updateFingerprint(taken, true)) {
        qDebug() << "[ERROR] FpcBufferManager::createFpReport() Failed setting FPs as exported";
        return false;
    }
    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcBufferManager::createFpReport() Report created using" << taken.size()
                               << "fingerprints";
    FPC_TRACE << "FpcBufferManager::createFpReport() ->";
    return true;
}

bool FpcBufferManager::removeExported(int *count)
{
    FPC_TRACE << "FpcBufferManager::removeExported() <-";
    QList<qint64> ids;
    bool removed = false;
    if (!m_sql->selectExported(ids)) {
        FPC_TRACE << "FpcBufferManager::removeExported() Selecting exported"
                  << "fingerprints failed. Unable to remove.";
        ids.clear();
    } else if (m_sql->deleteFingerprint(ids)) {
        removed = true;
        forgetDeletedNewest(ids);
        FPC_TRACE << "FpcBufferManager::removeExported() Deleted" << ids.size() << "fingerprints";
        m_sql->vacuum();
    } else {
        FPC_TRACE << "FpcBufferManager::removeExported() Deleting exported"
                  << "fingerprints failed.";
    }

    // The server has the report whatever became of the local copies: the
    // buffer's age starts again and the upload is on record.
    const quint32 now = quint32(currentTime().toSecsSinceEpoch());
    m_sql->setValue(QStringLiteral("fp_age_time"), now);
    m_sql->setValue(QStringLiteral("last_upload_utc_time"), now);
    m_sql->setValue(QStringLiteral("last_upload_fp_count"), quint32(ids.size()));
    if (count)
        *count = int(ids.size());
    FPC_TRACE << "FpcBufferManager::removeExported() ->";
    return removed;
}

QString FpcBufferManager::idSetSignature(QList<qint64> ids)
{
    std::sort(ids.begin(), ids.end());
    QByteArray text;
    for (const qint64 id : std::as_const(ids))
        text += QByteArray::number(id) + ',';
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex());
}

void FpcBufferManager::rememberRefusedExport()
{
    QList<qint64> ids;
    if (m_sql->selectExported(ids) && !ids.isEmpty())
        m_sql->setValue(QStringLiteral("refused_report"), idSetSignature(ids));
}

bool FpcBufferManager::cancelExport(int *count)
{
    FPC_TRACE << "FpcBufferManager::cancelExport() <-";
    QList<qint64> ids;
    if (count)
        *count = 0;
    if (!m_sql->selectExported(ids)) {
        FPC_TRACE << "FpcBufferManager::cancelExport() Selecting exported"
                  << "fingerprints failed";
        return false;
    }
    if (!m_sql->updateFingerprint(ids, false)) {
        FPC_TRACE << "FpcBufferManager::cancelExport() Setting" << ids.size() << "fingerprints unexported failed";
        return false;
    }
    FPC_TRACE << "FpcBufferManager::cancelExport()" << ids.size() << "fingerprints set as unexported";
    if (count)
        *count = int(ids.size());
    return true;
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
    FPC_TRACE << "FpcBufferManager::setNewestFingerprint() ID: " << fpId;
}

void FpcBufferManager::logNewest(const FpcFingerprint &fp) const
{
    FPC_TRACE << "FpcBufferManager::getNewestFingerprint() id: " << fp.id()
              << "  tt: " << fp.time().toMSecsSinceEpoch();
}

bool FpcBufferManager::getNewestFingerprint(FpcFingerprint &fp)
{
    if (m_newest.hasMeasurements()) {
        fp = m_newest;
        FPC_TRACE << "FpcBufferManager::getNewestFingerprint() Newest returned from cache";
        logNewest(fp);
        return true;
    }
    const qint64 id = m_sql->selectNewest();
    bool found = false;
    if (id < 0) {
        FPC_TRACE << "FpcBufferManager::getNewestFingerprint() Newest FP"
                  << "not found";
    } else if (!m_sql->select(id, fp)) {
        FPC_TRACE << "FpcBufferManager::getNewestFingerprint() Unable to"
                  << "select FP with ID" << id;
    } else {
        setNewestFingerprint(fp, id);
        FPC_TRACE << "FpcBufferManager::getNewestFingerprint() Newest returned from DB";
        found = true;
    }
    logNewest(fp);
    return found;
}

void FpcBufferManager::resetNewest()
{
    m_newest = FpcFingerprint();
    m_newest.setId(0);
    FPC_TRACE << "FpcBufferManager::removeNewest() Cached newest fingerprint reseted";
}

bool FpcBufferManager::removeNewest()
{
    const qint64 id = m_newest.id();
    if (id <= 0) {
        FPC_TRACE << "FpcBufferManager::removeNewest() Newest FP ID:" << id << " - Nothing to remove from DB";
        resetNewest();
        return true;
    }
    if (!m_sql->deleteFingerprint({id})) {
        FPC_TRACE << "FpcBufferManager::removeNewest() Deleting newest"
                  << "fingerprint failed.";
        return false;
    }
    FPC_TRACE << "FpcBufferManager::removeNewest() Deleted newest fingerprint from DB with ID:" << id;
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
    // One query for the whole list, radio types included.
    if (!m_sql->selectFingerprintsOnly(fps, true))
        qCritical() << "FpcBufferManager::getFingerprintsOnly() Select from Fingerprint table failed";
}

bool FpcBufferManager::getFingerprintSummaries(QList<FpcSqlHandler::StoredSummary> &summaries)
{
    if (m_sql->selectSummaries(summaries))
        return true;
    qCritical() << "FpcBufferManager::getFingerprintsOnly() Select from Fingerprint table failed";
    return false;
}

bool FpcBufferManager::getFingerprintsNearby(const FpcPosition &position, int maxDistance, QList<qint64> &ids)
{
    FPC_TRACE << "FpcBufferManager::getFingerprintsNearby() maxDistance:" << maxDistance;
    if (maxDistance < 0) {
        FPC_TRACE << "FpcBufferManager::getFingerprintsNearby()"
                  << "maxDistance is negative. Returning all the FPs";
        return m_sql->selectAll(ids);
    }
    // An undefined position is near nothing.
    if (!std::isfinite(position.latitude()) || !std::isfinite(position.longitude()))
        return true;
    // Only the positions inside a box around the circle are read (through
    // the coordinate index); the exact distance decides inside the box.
    const CoordinateBox box = CoordinateBox::around(position.latitude(), position.longitude(), maxDistance);
    QList<FpcSqlHandler::StoredCoordinate> candidates;
    if (!m_sql->selectPositionsInBox(box.south, box.north, box.west, box.east, candidates))
        return false;
    FpcPosition stored;
    for (const FpcSqlHandler::StoredCoordinate &candidate : std::as_const(candidates)) {
        stored.setCoordinate(candidate.latitude, candidate.longitude);
        const double distance = position.distanceTo(stored);
        if (!std::isnan(distance) && std::trunc(distance) <= maxDistance)
            ids.append(candidate.fpId);
    }
    return true;
}

void FpcBufferManager::getFpIdsByServingCell(const FpcFingerprint &fp, QList<qint64> &ids)
{
    const VomuMeasurements cells = fp.cellMeasurements();
    if (cells.isEmpty()) {
        FPC_TRACE << "FpcBufferManager::getFpIdsByServingCell() FP has no serving cell";
        return;
    }
    const VomuObservationElement *first = cells.element(0);
    if (const auto *wcdma = dynamic_cast<const VomuElementWCDMA *>(first);
        wcdma && first->elementId() == VomuObservationElement::ElementIdWCDMA) {
        if (!m_sql->selectByUtraFdd(wcdma->countryCode(), wcdma->networkId(), wcdma->ucId(), ids))
            throw QStringLiteral("Unable to select fingerprints by UtraFdd serving cell");
    } else if (const auto *gsm = dynamic_cast<const VomuElementGSM *>(first);
               gsm && first->elementId() == VomuObservationElement::ElementIdGSM) {
        if (!m_sql->selectByGeran(gsm->countryCode(), gsm->networkId(), gsm->locationAreaCode(), gsm->cellId(), ids))
            throw QStringLiteral("Unable to select fingerprints by Geran serving cell");
    }
}

// ---------------------------------------------------------------- size, fill ratio, age

qint64 FpcBufferManager::bufferSize()
{
    // Measured with stat() and the connection only: opening and closing any
    // descriptor of the database file would drop every POSIX lock this
    // process holds on it, SQLite's included.
    const QFileInfo file(m_dbPath);
    if (!file.exists()) {
        qCritical() << "FpcBufferManager::bufferSize() Unable to open" << m_dbPath;
        throw QStringLiteral("Can't open db for estimating it's size");
    }
    applyLogShare();
    // Pages committed to the log belong to the database before they reach
    // the file; after a deletion the file is cut only at the checkpoint.
    qint64 size = qMax(file.size(), m_sql->pageBytes());
    if (m_sql->usesWal()) {
        // The log is counted at the largest size it reaches between
        // checkpoints (its real size when it is larger), so the count
        // neither hides the log nor jumps when it is folded back.
        const QFileInfo wal(m_dbPath + QStringLiteral("-wal"));
        size += qMax(wal.exists() ? wal.size() : 0, m_sql->logReserve());
    }
    FPC_TRACE << "FpcBufferManager::bufferSize() size:" << size;
    return size;
}

void FpcBufferManager::applyLogShare()
{
    const quint32 limit = configuredMaxSize();
    if (limit == m_logShareLimit)
        return;
    m_logShareLimit = limit;
    m_sql->setLogShare(limit);
}

quint32 FpcBufferManager::configuredMaxSize()
{
    const quint32 size = FpcConfig::getUIntValue(QStringLiteral("fp_buffer_max_size"), DefaultMaxSize);
    return size < 1024 ? DefaultMaxSize : size;
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
        FPC_TRACE << "FpcBufferManager::getFpBufferFillRatio(): Note: Ratio >1 (" << ratio << "), but forced to 1";
        ratio = 1.0f;
    }
    FPC_TRACE << "FpcBufferManager::getFpBufferFillRatio() ratio=" << ratio;
    return ratio;
}

quint32 FpcBufferManager::getFpBufferAge()
{
    quint32 ageStart = 0;
    if (!m_sql->getValue(QStringLiteral("fp_age_time"), ageStart)) {
        FPC_TRACE << "FpcBufferManager::getFpBufferAge() ERROR (Can't get age of the FP buffer) ->";
        return 0;
    }
    // Unsigned arithmetic: a start in the future (clock set back) wraps to
    // a very large age.
    const quint32 age = quint32(currentTime().toSecsSinceEpoch()) - ageStart;
    FPC_TRACE << "FpcBufferManager::getFpBufferAge() Buffer age: " << age << "seconds ->";
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
        FPC_TRACE << method << "'fp_buffer_updated' configuration value not set."
                  << "Initializing the daily limit";
        resetDailyLimit();
    } else {
        const QDateTime periodEnd = QDateTime::fromSecsSinceEpoch(periodStart, Qt::LocalTime).addDays(1);
        const QDateTime now = currentTime();
        FPC_TRACE << "FpcBufferManager::dailyLimitExceeded() Next daily limit timeout:" << timeText(periodEnd);
        FPC_TRACE << "FpcBufferManager::dailyLimitExceeded() Current UTC time:" << timeText(now);
        if (periodEnd < now) {
            resetDailyLimit();
            FPC_TRACE << "FpcBufferManager::dailyLimitExceeded() Daily limit reset";
        } else if (!m_sql->getValue(QStringLiteral("fp_buffer_size"), periodStartSize)) {
            FPC_TRACE << method << "'fp_buffer_size' configuration value not set."
                      << "Initializing the daily limit";
            resetDailyLimit();
        } else {
            const qint64 size = bufferSize();
            if (size < periodStartSize) {
                FPC_TRACE << method << "Buffer size is smaller than the daily limit"
                          << "reference value. Re-initialize the daily limit";
                resetDailyLimit();
            } else {
                const quint32 limit =
                    quint32(FpcConfig::getIntValue(QStringLiteral("fp_buffer_daily_limit"), DefaultDailyLimit));
                exceeded = quint32(size) - periodStartSize >= limit;
            }
        }
    }
    FPC_TRACE << method << (exceeded ? "true" : "false");
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
