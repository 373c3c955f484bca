#include "FpcFilter2.h"

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcLog.h"
#include "FpcFingerprint.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"

#include <QDebug>

#include <exception>

namespace {

const VomuElementWLAN *accessPoint(const VomuMeasurements &wlans, int index)
{
    return dynamic_cast<const VomuElementWLAN *>(wlans.element(index));
}

} // namespace

FpcFilter2::~FpcFilter2() = default;

bool FpcFilter2::evaluateEntry(const FpcFingerprint *fingerprint)
{
    qDebug() << "FpcFilter2::evaluateEntry() <-";
    if (!fingerprint)
        return false;
    // A buffer that cannot answer must not let the fingerprint through
    // unchecked, nor let the exception reach the event loop.
    try {
        return evaluate(*fingerprint);
    } catch (const QString &error) {
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry() ERROR: " << error;
    } catch (const std::exception &error) {
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry() ERROR: "
                                   << QString::fromLocal8Bit(error.what());
    }
    return false;
}

bool FpcFilter2::evaluate(const FpcFingerprint &newFp)
{
    const qint64 runStart = currentTimeMicros();
    QList<qint64> ids;
    if (!selectCandidates(newFp, ids))
        return true;

    const bool passed = compareWithCandidates(newFp, ids);
    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry() 2nd filter run took = " << elapsedMillis(runStart)
                               << " m-seconds ->";
    return passed;
}

bool FpcFilter2::selectCandidates(const FpcFingerprint &newFp, QList<qint64> &ids)
{
    if (newFp.hasPosition()) {
        const qint32 maxDistance = FpcConfig::getIntValue(QStringLiteral("max_distance_to_new_fp"), 20);
        const qint64 queryStart = currentTimeMicros();
        if (!FpcBufferManager::instance().getFingerprintsNearby(newFp.position(), maxDistance, ids)) {
            // Nothing to compare with is no reason to lose the fingerprint.
            qDebug() << "FpcFilter2::evaluateEntry() Nearest GPS query failed";
            ids.clear();
        }
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry() Nearest GPS query, FPS found " << ids.count()
                                   << ", took: " << elapsedMillis(queryStart) << " m-seconds";
        if (ids.isEmpty()) {
            FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry()"
                                       << "Existing FPs not in" << maxDistance << "meters range - FILTER PASSED";
            return false;
        }
        return true;
    }

    if (!newFp.cellMeasurements().isEmpty()) {
        const qint64 queryStart = currentTimeMicros();
        FpcBufferManager::instance().getFpIdsByServingCell(newFp, ids);
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry() Serving cell query, FPs found " << ids.count()
                                   << ", took: " << elapsedMillis(queryStart) << " m-seconds";
        if (ids.isEmpty()) {
            FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry()"
                                       << "Serving cell is unique - FILTER PASSED";
            return false;
        }
        return true;
    }

    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry()"
                               << "Found no fingerprints to compare to - FILTER PASSED";
    return false;
}

bool FpcFilter2::compareWithCandidates(const FpcFingerprint &newFp, const QList<qint64> &ids)
{
    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry()"
                               << "Comparing with" << ids.count() << "fingerprints START";
    const qint64 loopStart = currentTimeMicros();
    // Phase totals in microseconds, reported in milliseconds.
    qint64 queryMicros = 0;
    qint64 cellMicros = 0;
    qint64 wlanMicros = 0;
    bool passed = true;

    FpcBufferManager &buffer = FpcBufferManager::instance();
    for (const qint64 id : ids) {
        FpcFingerprint candidate;
        qint64 start = currentTimeMicros();
        if (!buffer.getFingerprint(id, candidate))
            continue;
        queryMicros += currentTimeMicros() - start;

        start = currentTimeMicros();
        const bool newCellInfo = compareCellInfo(newFp, candidate);
        cellMicros += currentTimeMicros() - start;
        if (newCellInfo)
            continue;

        start = currentTimeMicros();
        const bool betterWlan = hasBetterWlanData(newFp, candidate);
        wlanMicros += currentTimeMicros() - start;
        if (betterWlan)
            continue;

        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry()"
                                   << "FP" << candidate.id() << "is better than the new one - FILTER NOT PASSED";
        passed = false;
        break;
    }

    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry()"
                               << "Comparing with" << ids.count() << "fingerprints END - took "
                               << elapsedMillis(loopStart) << " m-seconds (sql queries total: " << queryMicros / 1000
                               << ", cell compare: " << cellMicros / 1000 << ", wlan compare: " << wlanMicros / 1000
                               << ")";
    if (passed)
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::evaluateEntry() - FILTER PASSED";
    return passed;
}

bool FpcFilter2::hasBetterWlanData(const FpcFingerprint &newFp, const FpcFingerprint &storedFp) const
{
    const VomuMeasurements newWlans = newFp.wlanMeasurements();
    const VomuMeasurements storedWlans = storedFp.wlanMeasurements();
    bool better = false;

    if (newWlans.isEmpty()) {
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::hasBetterWlanData() New FP has no WLAN data - FALSE";
    } else if (newWlans.count() > storedWlans.count()) {
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::hasBetterWlanData() New FP has more WLANs"
                                   << "than FP" << storedFp.id() << "- TRUE";
        better = true;
    } else {
        for (int i = 0; i < newWlans.count() && !better; ++i) {
            const VomuElementWLAN *newAp = accessPoint(newWlans, i);
            if (!newAp)
                continue;
            const VomuElementWLAN *storedAp = nullptr;
            for (int j = 0; j < storedWlans.count() && !storedAp; ++j) {
                const VomuElementWLAN *candidate = accessPoint(storedWlans, j);
                if (candidate && areMacsEqual(newAp->mac(), candidate->mac()))
                    storedAp = candidate;
            }
            if (!storedAp) {
                FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::hasBetterWlanData()"
                                           << "New FP has a WLAN that the FP" << storedFp.id() << "doesn't have - TRUE";
                better = true;
            } else if (!newAp->powerRxSet()) {
                continue;
            } else if (!storedAp->powerRxSet()) {
                FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::hasBetterWlanData()"
                                           << "Old WLAN doesn't have signal strength - TRUE";
                better = true;
            } else if (newAp->powerRx() > storedAp->powerRx()) {
                FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcFilter2::hasBetterWlanData()"
                                           << "New WLAN has better signal strength"
                                           << "than FP" << storedFp.id() << "- TRUE";
                better = true;
            }
        }
    }
    qDebug() << "FpcFilter2::hasBetterWlanData() ->" << (better ? "true" : "false");
    return better;
}
