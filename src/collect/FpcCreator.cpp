#include "FpcCreator.h"

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcDropCounters.h"
#include "FpcFilter1.h"
#include "FpcFilter2.h"
#include "FpcMsmEvaluator.h"
#include "FpcPrivacyZones.h"

#include <QDebug>

#include <algorithm>
#include <exception>

namespace {

constexpr quint16 kSpeedNotDefined = 65535;

int configInt(const char *key, int defaultValue)
{
    return FpcConfig::getIntValue(QLatin1String(key), defaultValue);
}

bool collectionEnabled()
{
    return configInt("collection_enabled", 1) != 0;
}

// Drop counter of the filter at index i of the chain.
FpcDropCounters::Reason filterReason(size_t index)
{
    static const FpcDropCounters::Reason reasons[] = {FpcDropCounters::Evaluator, FpcDropCounters::FirstFilter,
                                                      FpcDropCounters::SecondFilter};
    return reasons[std::min<size_t>(index, 2)];
}

} // namespace

FpcCreator::FpcCreator(QObject *parent) : QObject(parent)
{
    FpcFingerprint::registerMetaTypes();
    m_filters.push_back(std::make_unique<FpcMsmEvaluator>());
    m_filters.push_back(std::make_unique<FpcFilter1>());
    m_filters.push_back(std::make_unique<FpcFilter2>());
}

FpcCreator::~FpcCreator() = default;

void FpcCreator::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

QDateTime FpcCreator::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

void FpcCreator::newGpsFix(const FpcPosition &pos)
{
    qDebug() << "FpcCreator::newGpsFix() <-";
    noteNewestFix(pos);
    if (!collectionEnabled()) {
        qDebug() << "[INFO] FpcCreator::newGpsFix() Collection is switched off - fix ignored";
        FpcDropCounters::add(FpcDropCounters::CollectionOff);
        qDebug() << "FpcCreator::newGpsFix() ->";
        return;
    }
    if (m_newestFixInZone) {
        qDebug() << "[INFO] FpcCreator::newGpsFix() Fix inside a privacy zone - no fingerprint";
        FpcDropCounters::add(FpcDropCounters::PrivacyRule);
        qDebug() << "FpcCreator::newGpsFix() ->";
        return;
    }
    const bool fastEnough = checkSpeed(pos);
    if (!fastEnough || !checkDistance(pos)) {
        FpcDropCounters::add(fastEnough ? FpcDropCounters::TooClose : FpcDropCounters::TooFast);
        qDebug() << "FpcCreator::newGpsFix() ->";
        return;
    }
    appendFixToCache(pos);

    std::unique_ptr<FpcFingerprint> fp = newborn();
    if (!fp)
        return;
    fp->setPosition(pos);
    const qint64 key = cacheNewborn(std::move(fp));
    // Fast movement makes a WLAN scan describe a smeared place; a fix
    // without speed gives no reason to scan.
    const int maxWlanSpeed = configInt("max_wlan_speed", 40);
    const bool needWlan = pos.groundSpeed() != kSpeedNotDefined && pos.groundSpeed() <= maxWlanSpeed;
    requestMeasurements(key, needWlan);
    qDebug() << "FpcCreator::newGpsFix() ->";
}

void FpcCreator::createFingerprint()
{
    qDebug() << "FpcCreator::createFingerprint() <-";
    if (!collectionEnabled()) {
        qDebug() << "[INFO] FpcCreator::createFingerprint() Collection is switched off - no fingerprint";
        FpcDropCounters::add(FpcDropCounters::CollectionOff);
        return;
    }
    if (fixlessBlockedByZone()) {
        qDebug() << "[INFO] FpcCreator::createFingerprint() Newest fix inside a privacy zone or none known -"
                 << "no fingerprint without fix";
        FpcDropCounters::add(FpcDropCounters::PrivacyRule);
        return;
    }
    std::unique_ptr<FpcFingerprint> fp = newborn();
    if (!fp)
        return;
    const qint64 key = cacheNewborn(std::move(fp));
    requestMeasurements(key, true);
    qDebug() << "FpcCreator::createFingerprint() ->";
}

std::unique_ptr<FpcFingerprint> FpcCreator::newborn() const
{
    auto fp = std::make_unique<FpcFingerprint>();
    fp->setTime(now());
    if (fp->time().isNull() || !fp->time().isValid()) {
        qDebug() << "FpcCreator::newGpsFix() ERROR: "
                 << "Can't determine time for FP to be born ->";
        return nullptr;
    }
    return fp;
}

qint64 FpcCreator::cacheNewborn(std::unique_ptr<FpcFingerprint> fp)
{
    const qint64 key = fp->time().toMSecsSinceEpoch();
    std::unique_ptr<FpcFingerprint> &slot = m_fpCache[key];
    if (slot) {
        // Both births describe the same moment; a position is worth more
        // than anything else a fingerprint can carry at birth.
        const bool keepCached = slot->hasPosition() && !fp->hasPosition();
        qDebug() << "[INFO] FpcCreator::cacheNewborn() Fingerprint born in the same millisecond as a cached one -"
                 << (keepCached ? "new one dropped" : "cached one replaced");
        if (keepCached)
            return key;
    }
    slot = std::move(fp);
    return key;
}

void FpcCreator::requestMeasurements(qint64 key, bool needWlan)
{
    if (m_pendingTime != 0)
        return;
    m_pendingTime = key;
    emit collectMeasurements(needWlan);
}

bool FpcCreator::checkSpeed(const FpcPosition &pos) const
{
    qDebug() << "FpcCreator::checkSpeed() <-";
    const int maxSpeed = configInt("gps_max_speed", 150);
    const bool ok = maxSpeed <= 0 || pos.groundSpeed() <= maxSpeed;
    if (!ok)
        qDebug() << "[INFO] FpcCreator::checkSpeed() Speed of the GPS fix is" << pos.groundSpeed()
                 << " when the configured maximum speed is" << maxSpeed;
    qDebug() << "FpcCreator::checkSpeed() ->";
    return ok;
}

bool FpcCreator::checkDistance(const FpcPosition &pos) const
{
    qDebug() << "FpcCreator::checkDistance() <-";
    FpcFingerprint previous;
    bool found = false;
    try {
        found = FpcBufferManager::instance().getNewestFingerprint(previous);
    } catch (const QString &error) {
        // Without a buffer nothing can be compared; the fix is not to blame.
        qDebug() << "[ERROR] FpcCreator::checkDistance() Buffer not available:" << error;
    }
    bool ok = true;
    if (found && !previous.hasPosition()) {
        qDebug() << "FpcCreator::checkDistance() Previous FP doesn't have"
                 << "GPS position";
    } else if (found) {
        const int minDistance = configInt("min_distance_between_consecutive_positions", 30);
        if (minDistance > 0 && pos.distanceTo(previous.position()) < minDistance) {
            qDebug() << "[INFO] FpcCreator::checkDistance() Position too close to previous FP";
            ok = false;
        }
    }
    qDebug() << "FpcCreator::checkDistance() ->";
    return ok;
}

void FpcCreator::appendFixToCache(const FpcPosition &pos)
{
    qDebug() << "FpcCreator::appendFixToCache() <-";
    m_gpsCache.push_back(pos);
    const qint64 limit = now().toSecsSinceEpoch() - configInt("gps_cache_time_frame", 0);
    // Every expired fix goes, not only those in front: a fix stamped far in
    // the future must not hold back the removal of the ones behind it.
    m_gpsCache.erase(std::remove_if(m_gpsCache.begin(), m_gpsCache.end(),
                                    [limit](const FpcPosition &fix) { return fix.timestamp() <= limit; }),
                     m_gpsCache.end());
    qDebug() << "FpcCreator::appendFixToCache() ->";
}

void FpcCreator::newMeasurements(const VomuMeasurements &measurements)
{
    qDebug() << "FpcCreator::newMeasurements() <-";
    if (m_fpCache.empty()) {
        qDebug() << "FpcCreator::newMeasurements() ERROR: Ignoring WLAN results! FP cache is empty";
    } else {
        qDebug() << "FpcCreator::newMeasurements() Fingerprints in cache " << int(m_fpCache.size());
        for (auto &[key, fp] : m_fpCache) {
            qDebug() << "FpcCreator::newMeasurements() Found cached fingerprint @" << fp.get();
            // Births before the outstanding request are not served by it.
            if (key < m_pendingTime)
                continue;
            fp->setMeasurements(measurements);
            qDebug() << "FpcCreator::newMeasurements() Measurements set to fingerprint";
            FpcPosition fix;
            if (!fp->hasPosition() && findMatchingGpsFix(fp->time(), fix)) {
                qDebug() << "[INFO] FpcCreator::newMeasurements() Setting GPS"
                         << "fix to fingerprint";
                fp->setPosition(fix);
            }
            fp->print();
        }
    }
    m_pendingTime = 0;
    evaluateFPEntry();
    qDebug() << "FpcCreator::newMeasurements() ->";
}

bool FpcCreator::findMatchingGpsFix(const QDateTime &fpTime, FpcPosition &out) const
{
    qDebug() << "FpcCreator::findMatchingGpsFix() <-";
    qint64 bestDiff = -1;
    for (const FpcPosition &fix : m_gpsCache) {
        qint64 diff = 0;
        if (!isValidPosition(fix, fpTime, diff))
            continue;
        qDebug() << "FpcCreator::findMatchingGpsFix()"
                 << "Found a valid GPS position";
        qDebug() << "FpcCreator::findMatchingGpsFix()"
                 << "diff:" << diff << "bestDiff:" << bestDiff;
        // Strictly better only: on a tie the older fix stays.
        if (bestDiff < 0 || diff < bestDiff) {
            qDebug() << "FpcCreator::findMatchingGpsFix()"
                     << "Position is better than previous";
            out = fix;
            bestDiff = diff;
        }
    }
    qDebug() << "FpcCreator::findMatchingGpsFix() ->";
    return bestDiff >= 0;
}

bool FpcCreator::isValidPosition(const FpcPosition &fix, const QDateTime &fpTime, qint64 &diff) const
{
    qDebug() << "FpcCreator::isValidPosition() <-";
    const bool lowSpeed = fix.groundSpeed() != kSpeedNotDefined && fix.groundSpeed() < configInt("speed_threshold", 10);
    const qint64 maxDiff =
        lowSpeed ? configInt("max_time_difference_low_speed", 10) : configInt("max_time_difference_high_speed", 2);
    diff = qAbs(fpTime.toSecsSinceEpoch() - qint64(fix.timestamp()));
    qDebug() << "FpcCreator::isValidPosition() ->";
    return diff <= maxDiff;
}

void FpcCreator::evaluateFPEntry()
{
    qDebug() << "FpcCreator::evaluateFPEntry() <-";
    if (m_fpCache.empty()) {
        qDebug() << "FpcCreator::evaluateFPEntry() ->";
        return;
    }
    qDebug() << "FpcCreator::evaluateFPEntry() Evaluate " << int(m_fpCache.size()) << " fingerprints";
    std::vector<qint64> keys;
    keys.reserve(m_fpCache.size());
    for (const auto &entry : m_fpCache)
        keys.push_back(entry.first);

    for (const qint64 key : keys) {
        // Taken out of the cache before anything else runs: nothing that
        // happens inside the fingerprintCreated emission (a stored
        // notification, a new birth) can reach the fingerprint under way.
        auto node = m_fpCache.extract(key);
        if (node.empty()) {
            qDebug() << "FpcCreator::evaluateFPEntry() "
                     << "ERROR: No FP found from internal cache";
            continue;
        }
        const std::unique_ptr<FpcFingerprint> fp = std::move(node.mapped());
        qDebug() << "FpcCreator::evaluateFPEntry() Evaluate fingerprint @" << fp.get();
        const FpcDropCounters::Reason refusal = refusalOf(*fp);
        if (refusal == FpcDropCounters::ReasonCount) {
            emit fingerprintCreated(*fp);
        } else {
            FpcDropCounters::add(refusal);
            qDebug() << "FpcCreator::evaluateFPEntry() Fingerprint @" << fp.get()
                     << " failed to pass filters:" << FpcDropCounters::name(refusal);
        }
    }
    qDebug() << "FpcCreator::evaluateFPEntry() ->";
}

FpcDropCounters::Reason FpcCreator::refusalOf(const FpcFingerprint &fp) const
{
    // The switch and the zones may have changed while the measurements
    // were under way.
    if (!collectionEnabled())
        return FpcDropCounters::CollectionOff;
    if (fp.hasPosition() ? FpcPrivacyZones::fromConfiguration().contains(fp.position()) : fixlessBlockedByZone())
        return FpcDropCounters::PrivacyRule;
    if (fp.measurements().count() == 0)
        return FpcDropCounters::NoMeasurements;
    for (size_t i = 0; i < m_filters.size(); ++i) {
        try {
            if (!m_filters[i]->evaluateEntry(&fp))
                return filterReason(i);
        } catch (const QString &error) {
            qDebug() << "[ERROR] FpcCreator::evaluateFPEntry() Filter failed:" << error;
            return filterReason(i);
        } catch (const std::exception &error) {
            qDebug() << "[ERROR] FpcCreator::evaluateFPEntry() Filter failed:" << error.what();
            return filterReason(i);
        }
    }
    return FpcDropCounters::ReasonCount;
}

void FpcCreator::noteNewestFix(const FpcPosition &pos)
{
    m_fixSeen = true;
    m_newestFixInZone = FpcPrivacyZones::fromConfiguration().contains(pos);
}

// A fingerprint without fix says where it was made only through what it
// heard, which inside a zone is just as telling. It is refused while the
// newest fix, however old, lay inside a zone - indoors GPS is lost where
// people spend hours, so a stale fix inside is the likeliest place - and
// while no fix at all has come since start, as the phone may well be at
// home. Only a newer fix outside every zone lifts it.
bool FpcCreator::fixlessBlockedByZone() const
{
    const FpcPrivacyZones zones = FpcPrivacyZones::fromConfiguration();
    if (zones.isEmpty())
        return false;
    return !m_fixSeen || m_newestFixInZone;
}

void FpcCreator::fingerprintStored(qint64 key)
{
    qDebug() << "FpcCreator::fingerprintStored() <-";
    // The value is a database id, not a time of birth, so this hardly ever
    // finds anything. Evaluated fingerprints are owned by evaluateFPEntry()
    // and are out of the cache by the time their storing is reported.
    if (!m_fpCache.empty())
        m_fpCache.erase(key);
    qDebug() << "FpcCreator::fingerprintStored() ->";
}
