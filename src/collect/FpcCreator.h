#pragma once

#include "FpcDropCounters.h"
#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "VomuMeasurements.h"

#include <QDateTime>
#include <QObject>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class FpcFilter;

// Gives birth to fingerprints and sees them through to the buffer. A
// fingerprint is born from a GPS fix (with that fix as its position) or from
// a trigger without position, waits in a cache keyed by its time of birth
// until the next measurement result, receives those measurements (and, when
// born without position, the best matching cached GPS fix), and then runs
// through the measurement evaluator and the two filters. Each one that
// passes is announced with fingerprintCreated; every evaluation empties the
// cache. Only one measurement request is outstanding at a time: births while
// it is pending join the cache and are served by the same result.
//
// Main thread only; every signal is delivered synchronously.
class FpcCreator : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    explicit FpcCreator(QObject *parent = nullptr);
    ~FpcCreator() override;

    // Source of "now" for births and for the age of cached fixes; an empty
    // function restores the system clock (UTC).
    void setClock(Clock clock);

    // Time of birth (ms since the epoch) of the fingerprint whose
    // measurements were requested last; 0 when no request is outstanding.
    qint64 pendingTime() const { return m_pendingTime; }
    int cachedFingerprintCount() const { return int(m_fpCache.size()); }
    int cachedFixCount() const { return int(m_gpsCache.size()); }

public slots:
    void newGpsFix(const FpcPosition &pos);
    void createFingerprint();
    void newMeasurements(const VomuMeasurements &measurements);
    void fingerprintStored(qint64 key);

signals:
    void fingerprintCreated(const FpcFingerprint &fingerprint);
    void collectMeasurements(const bool &needWlan);

private:
    friend class TstFpcCreator;

    bool checkSpeed(const FpcPosition &pos) const;
    bool checkDistance(const FpcPosition &pos) const;
    void appendFixToCache(const FpcPosition &pos);
    bool findMatchingGpsFix(const QDateTime &fpTime, FpcPosition &out) const;
    bool isValidPosition(const FpcPosition &fix, const QDateTime &fpTime, qint64 &diff) const;
    void evaluateFPEntry();

    QDateTime now() const;
    // A fingerprint born now, or null (after the log line) when the clock
    // gives no usable time.
    std::unique_ptr<FpcFingerprint> newborn() const;
    // Puts a newborn into fpCache and returns its key. Two births in the same
    // millisecond share a key: the one with a GPS position is kept, otherwise
    // the newer; the other is freed.
    qint64 cacheNewborn(std::unique_ptr<FpcFingerprint> fp);
    // Asks for measurements unless a request is outstanding.
    void requestMeasurements(qint64 key, bool needWlan);
    // Why an evaluated fingerprint goes no further: the collection switch,
    // a privacy zone, no measurements, or the first filter of the chain that
    // refuses it (one that throws counts as refusing); ReasonCount when it
    // passes.
    FpcDropCounters::Reason refusalOf(const FpcFingerprint &fp) const;
    // Remembers whether the newest fix, whatever became of it, lay in a
    // privacy zone.
    void noteNewestFix(const FpcPosition &pos);
    bool fixlessBlockedByZone() const;

    qint64 m_pendingTime = 0;
    std::map<qint64, std::unique_ptr<FpcFingerprint>> m_fpCache;
    std::deque<FpcPosition> m_gpsCache;
    std::vector<std::unique_ptr<FpcFilter>> m_filters;
    Clock m_clock;
    bool m_fixSeen = false;
    bool m_newestFixInZone = false;
};
