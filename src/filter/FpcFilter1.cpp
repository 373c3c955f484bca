#include "FpcFilter1.h"

#include "FpcBufferManager.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"

#include <QDebug>

#include <limits>

namespace {

const VomuElementWLAN *accessPoint(const VomuMeasurements &wlans, int index)
{
    return dynamic_cast<const VomuElementWLAN *>(wlans.element(index));
}

// Mean received power over the access points that report one; NaN when
// none does, which makes every comparison with it false.
double averagePowerRx(const VomuMeasurements &wlans)
{
    double sum = 0;
    int counted = 0;
    for (int i = 0; i < wlans.count(); ++i) {
        const VomuElementWLAN *ap = accessPoint(wlans, i);
        if (ap && ap->powerRxSet()) {
            sum += ap->powerRx();
            ++counted;
        }
    }
    return counted > 0 ? sum / counted : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

FpcFilter1::FpcFilter1() = default;

FpcFilter1::~FpcFilter1() = default;

bool FpcFilter1::evaluateEntry(const FpcFingerprint *fingerprint)
{
    qDebug() << "FpcFilter1::evaluateEntry() <-";
    if (!fingerprint || fingerprint->time().isNull() || !fingerprint->time().isValid()) {
        qDebug() << "FpcFilter1::evaluateEntry() New FP has no valid time - DISCARD NEW FP ->";
        return false;
    }
    const FpcFingerprint &newFp = *fingerprint;

    if (!getPreviousFp()) {
        qDebug() << "[INFO] FpcFilter1::evaluateEntry() Previous FP not available - FILTER PASSED ->";
        return true;
    }
    if (newFp.hasPosition() && m_previous.hasPosition() && !checkComparability(newFp)) {
        qDebug() << "[INFO] FpcFilter1::evaluateEntry() New and previous are not comparable - FILTER PASSED ->";
        return true;
    }

    if (newFp.hasPosition()) {
        if (compareCellInfo(newFp, m_previous)) {
            qDebug() << "[INFO] FpcFilter1::evaluateEntry() New FP has new cell info - FILTER PASSED ->";
            return true;
        }
        if (newFp.wlanMeasurements().isEmpty()) {
            qDebug() << "[INFO] FpcFilter1::evaluateEntry() New FP has no new cell data and no wlan measurements"
                        " - DISCARD NEW FP ->";
            return false;
        }
        if (!m_previous.hasPosition()) {
            qDebug() << "[INFO] FpcFilter1::evaluateEntry() Previous doesn't have GPS fix and new has wlan"
                        " measurements - FILTER PASSED ->";
            return true;
        }
        return wlanDecision(newFp, true);
    }
    // A fix is worth more than better access points: a previous fingerprint
    // with a position is never replaced by one without.
    return wlanDecision(newFp, !m_previous.hasPosition());
}

bool FpcFilter1::wlanDecision(const FpcFingerprint &newFp, bool removePreviousWhenBetter)
{
    if (compareMACs(newFp)) {
        qDebug() << "[INFO] FpcFilter1::evaluateEntry() New FP has different MAC - FILTER PASSED ->";
        return true;
    }
    if (compareAverageSignalStrengths(newFp)) {
        if (!removePreviousWhenBetter) {
            qDebug() << "[INFO] FpcFilter1::evaluateEntry() New FP has better signal strength average"
                        " - FILTER PASSED ->";
            return true;
        }
        qDebug() << "FpcFilter1::evaluateEntry() New FP has better signal strength average - REMOVE PREVIOUS ->";
        if (!removePrevious())
            qDebug() << "[INFO] FpcFilter1::evaluateEntry() Error while removing previous - FILTER PASSED ->";
        else
            qDebug() << "[INFO] FpcFilter1::evaluateEntry() Previous removed - FILTER PASSED ->";
        return true;
    }
    qDebug() << "[INFO] FpcFilter1::evaluateEntry() Previous has better signal strength average"
                " - DISCARD NEW FP ->";
    return false;
}

bool FpcFilter1::getPreviousFp()
{
    FpcFingerprint newest;
    try {
        if (!FpcBufferManager::instance().getNewestFingerprint(newest))
            return false;
    } catch (const QString &error) {
        // No buffer, no previous fingerprint: the new one is judged alone.
        qDebug() << "[ERROR] FpcFilter1::getPreviousFp() Buffer not available:" << error;
        return false;
    }
    m_previous = newest;
    return true;
}

bool FpcFilter1::checkComparability(const FpcFingerprint &newFp) const
{
    const int newWlans = newFp.wlanMeasurements().count();
    const int newCells = newFp.cellMeasurements().count();
    const int previousWlans = m_previous.wlanMeasurements().count();
    const int previousCells = m_previous.cellMeasurements().count();
    qDebug() << "FpcFilter1::checkComparability() New WLAN: " << newWlans << "Cell: " << newCells;
    qDebug() << "FpcFilter1::checkComparability() Previous WLAN: " << previousWlans << "Cell: " << previousCells;

    const bool newWlanOnly = newWlans > 0 && newCells == 0;
    const bool newCellOnly = newCells > 0 && newWlans == 0;
    const bool previousWlanOnly = previousWlans > 0 && previousCells == 0;
    const bool previousCellOnly = previousCells > 0 && previousWlans == 0;
    return !((newWlanOnly && previousCellOnly) || (newCellOnly && previousWlanOnly));
}

bool FpcFilter1::compareMACs(const FpcFingerprint &newFp) const
{
    const VomuMeasurements newWlans = newFp.wlanMeasurements();
    if (newWlans.isEmpty()) {
        qDebug() << "[INFO] FpcFilter1::compareMACs() New FP doesn't have MAC's - false ->";
        return false;
    }
    const VomuMeasurements previousWlans = m_previous.wlanMeasurements();
    if (previousWlans.isEmpty()) {
        qDebug() << "[INFO] FpcFilter1::compareMACs() Previous FP doesn't have MAC's - true ->";
        return true;
    }

    bool newMacFound = false;
    for (int i = 0; i < newWlans.count() && !newMacFound; ++i) {
        const VomuElementWLAN *newAp = accessPoint(newWlans, i);
        bool matched = false;
        for (int j = 0; newAp && j < previousWlans.count() && !matched; ++j) {
            const VomuElementWLAN *previousAp = accessPoint(previousWlans, j);
            matched = previousAp && areMacsEqual(newAp->mac(), previousAp->mac());
        }
        if (!matched) {
            qDebug() << "[INFO] FpcFilter1::compareMACs() First new MAC compared previous in measurement @ index:" << i;
            newMacFound = true;
        }
    }
    qDebug() << "[INFO] FpcFilter1::compareMACs() New macs found compared to previous FP: - "
             << (newMacFound ? "true" : "false") << "->";
    return newMacFound;
}

bool FpcFilter1::compareAverageSignalStrengths(const FpcFingerprint &newFp) const
{
    const VomuMeasurements newWlans = newFp.wlanMeasurements();
    if (newWlans.isEmpty()) {
        qDebug() << "[INFO] FpcFilter1::compareAverageSignalStrengths() New FP doesn't have MAC's - false ->";
        return false;
    }
    const VomuMeasurements previousWlans = m_previous.wlanMeasurements();
    if (previousWlans.isEmpty()) {
        qDebug() << "[INFO] FpcFilter1::compareAverageSignalStrengths() Previous FP doesn't have MAC's - true ->";
        return true;
    }

    const double newAverage = averagePowerRx(newWlans);
    const double previousAverage = averagePowerRx(previousWlans);
    qDebug() << "FpcFilter1::compareAverageSignalStrengths() New average: " << newAverage;
    qDebug() << "FpcFilter1::compareAverageSignalStrengths() Previous average: " << previousAverage;

    if (newAverage > previousAverage) {
        qDebug() << "[INFO] FpcFilter1::compareAverageSignalStrengths() New has better average - TRUE ->";
        return true;
    }
    if (newAverage < previousAverage) {
        qDebug() << "[INFO] FpcFilter1::compareAverageSignalStrengths() Previous has better average - FALSE ->";
        return false;
    }
    if (newAverage == previousAverage && newWlans.count() > previousWlans.count()) {
        qDebug() << "[INFO] FpcFilter1::compareAverageSignalStrengths() Same average but new has more MAC's' - TRUE ->";
        return true;
    }
    if (newAverage == previousAverage && newWlans.count() < previousWlans.count()) {
        qDebug() << "[INFO] FpcFilter1::compareAverageSignalStrengths() Same average but new has less MAC's' - TRUE ->";
        return true;
    }
    qDebug() << "[INFO] FpcFilter1::compareAverageSignalStrengths() Same average and amount of MAC's"
                " -> new is not that better - FALSE ->";
    return false;
}

bool FpcFilter1::removePrevious()
{
    try {
        return FpcBufferManager::instance().removeNewest();
    } catch (const QString &error) {
        qDebug() << "[ERROR] FpcFilter1::removePrevious() Buffer not available:" << error;
        return false;
    }
}
