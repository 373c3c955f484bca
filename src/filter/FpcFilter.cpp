#include "FpcFilter.h"

#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuMeasurements.h"
#include "VomuObservationElement.h"
#include "VomuWlanMacAddress.h"

#include <QDebug>
#include <QSet>

#include <cstdlib>
#include <ctime>

namespace {

// The serving cell is element 0 of a cell container. Elements are told by
// their id; the cast is checked as well, so a mislabelled element is
// treated as an unknown kind instead of being misread.
const VomuElementGSM *gsmCell(const VomuObservationElement *element)
{
    if (!element || element->elementId() != VomuObservationElement::ElementIdGSM)
        return nullptr;
    return dynamic_cast<const VomuElementGSM *>(element);
}

const VomuElementWCDMA *wcdmaCell(const VomuObservationElement *element)
{
    if (!element || element->elementId() != VomuObservationElement::ElementIdWCDMA)
        return nullptr;
    return dynamic_cast<const VomuElementWCDMA *>(element);
}

// Neighbour identities packed into one word: (BSIC, ARFCN) for GSM and
// (UARFCN-DL, scrambling code) for WCDMA.
quint32 gsmNeighbourKey(const VomuElementGSM::NeighbourCell &cell)
{
    return (quint32(cell.color()) << 16) | cell.frequency();
}

quint32 wcdmaNeighbourKey(const VomuElementWCDMA::NeighbourCell &cell)
{
    return (quint32(cell.uarfcnDl) << 16) | cell.pCpich;
}

QSet<quint32> gsmNeighbourKeys(const VomuElementGSM &cell)
{
    QSet<quint32> keys;
    for (int i = 0; i < cell.neighbourCellCount(); ++i)
        keys.insert(gsmNeighbourKey(cell.neighbourCell(i)));
    return keys;
}

QSet<quint32> wcdmaNeighbourKeys(const VomuElementWCDMA &cell)
{
    QSet<quint32> keys;
    for (int i = 0; i < cell.neighbourCellCount(); ++i)
        keys.insert(wcdmaNeighbourKey(cell.neighbourCell(i)));
    return keys;
}

bool hasNewGsmNeighbour(const VomuElementGSM &newCell, const VomuElementGSM &oldCell)
{
    const QSet<quint32> known = gsmNeighbourKeys(oldCell);
    for (int i = 0; i < newCell.neighbourCellCount(); ++i) {
        if (!known.contains(gsmNeighbourKey(newCell.neighbourCell(i))))
            return true;
    }
    return false;
}

bool hasNewWcdmaNeighbour(const VomuElementWCDMA &newCell, const VomuElementWCDMA &oldCell)
{
    const QSet<quint32> known = wcdmaNeighbourKeys(oldCell);
    for (int i = 0; i < newCell.neighbourCellCount(); ++i) {
        if (!known.contains(wcdmaNeighbourKey(newCell.neighbourCell(i))))
            return true;
    }
    return false;
}

} // namespace

FpcFilter::~FpcFilter() = default;

qint64 FpcFilter::currentTimeMicros()
{
    struct timespec now;
    if (clock_gettime(CLOCK_REALTIME, &now) != 0)
        return -1;
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

qint64 FpcFilter::elapsedMillis(qint64 startMicros)
{
    return (currentTimeMicros() - startMicros) / 1000;
}

QString FpcFilter::macToString(const VomuWlanMacAddress &mac) const
{
    int first = 0;
    if (mac.is48Bit()) {
        first = 2;
    } else if (!mac.is64Bit()) {
        qDebug() << "FpcFilter::macToString() MAC address is invalid";
        return QString();
    }
    QString text;
    text.reserve(2 * (VomuWlanMacAddress::kSize - first));
    for (int i = first; i < VomuWlanMacAddress::kSize; ++i)
        text += QStringLiteral("%1").arg(mac.macByte(i), 2, 16, QLatin1Char('0'));
    return text;
}

bool FpcFilter::areMacsEqual(const VomuWlanMacAddress &a, const VomuWlanMacAddress &b) const
{
    if (a.is48Bit() != b.is48Bit() || a.is64Bit() != b.is64Bit()) {
        qDebug() << "FpcFilter::areMacsEqual() MAC's are different size - FALSE ->";
        return false;
    }
    // Two addresses of neither size have no defined extent to compare.
    if (!a.is48Bit() && !a.is64Bit()) {
        qDebug() << "FpcFilter::areMacsEqual() MAC address is invalid - FALSE ->";
        return false;
    }
    const int first = a.is48Bit() ? 2 : 0;
    // The last bytes differ most often between access points.
    for (int i = VomuWlanMacAddress::kSize - 1; i >= first; --i) {
        if (a.macByte(i) != b.macByte(i)) {
            qDebug() << "FpcFilter::areMacsEqual() MAC's are different - FALSE ->";
            return false;
        }
    }
    qDebug() << "FpcFilter::areMacsEqual() MAC's are equal - TRUE ->";
    return true;
}

bool FpcFilter::differentTA(const VomuElementGSM &newCell, const VomuElementGSM &oldCell) const
{
    if (!newCell.timingAdvanceSet()) {
        qDebug() << "FpcFilter::differentTA() New doesn't have TA set - FALSE";
        return false;
    }
    if (!oldCell.timingAdvanceSet()) {
        qDebug() << "FpcFilter::differentTA() New has TA, Old doesn't -> TRUE";
        return true;
    }
    const qint32 threshold = FpcConfig::getIntValue(QStringLiteral("min_ta_difference"), 2);
    const int difference = std::abs(int(newCell.timingAdvance()) - int(oldCell.timingAdvance()));
    if (difference <= threshold) {
        qDebug() << "FpcFilter::differentTA() TA difference is below threshold " << threshold << " -> FALSE";
        return false;
    }
    qDebug() << "FpcFilter::differentTA() TA difference is above threshold " << threshold << " -> TRUE";
    return true;
}

bool FpcFilter::differentServingCell(const FpcFingerprint &newFp, const FpcFingerprint &oldFp) const
{
    return differentServingCell(newFp.cellMeasurements(), oldFp.cellMeasurements());
}

bool FpcFilter::differentServingCell(const VomuMeasurements &newCells, const VomuMeasurements &oldCells) const
{
    if (newCells.isEmpty()) {
        qDebug() << "FpcFilter::differentServingCell() New FP has no cell data - FALSE ->";
        return false;
    }
    if (oldCells.isEmpty()) {
        qDebug() << "FpcFilter::differentServingCell() Old FP has no cell data - TRUE ->";
        return true;
    }
    const VomuObservationElement *newServing = newCells.element(0);
    const VomuObservationElement *oldServing = oldCells.element(0);
    if (newServing->elementId() != oldServing->elementId()) {
        qDebug() << "FpcFilter::differentServingCell() Different networks - TRUE ->";
        return true;
    }

    const VomuElementGSM *newGsm = gsmCell(newServing);
    const VomuElementGSM *oldGsm = gsmCell(oldServing);
    if (newGsm && oldGsm) {
        if (newGsm->cellId() != oldGsm->cellId()) {
            qDebug() << "FpcFilter::differentServingCell() Different GERAN CID - TRUE ->";
            return true;
        }
        qDebug() << "FpcFilter::differentServingCell() Same GERAN CID - Check TA value";
        if (differentTA(*newGsm, *oldGsm)) {
            qDebug() << "FpcFilter::differentServingCell() Different TA - TRUE ->";
            return true;
        }
        qDebug() << "FpcFilter::differentServingCell() Same CID and TA - FALSE ->";
        return false;
    }

    const VomuElementWCDMA *newWcdma = wcdmaCell(newServing);
    const VomuElementWCDMA *oldWcdma = wcdmaCell(oldServing);
    if (newWcdma && oldWcdma) {
        if (newWcdma->ucId() == oldWcdma->ucId()) {
            qDebug() << "FpcFilter::differentServingCell() Same UTRA-FDD UC-ID - FALSE ->";
            return false;
        }
        qDebug() << "FpcFilter::differentServingCell() Different UTRA-FDD UC-ID - TRUE ->";
        return true;
    }

    qDebug() << "FpcFilter::differentServingCell() Unknown measurements - FALSE ->";
    return false;
}

bool FpcFilter::newNeighborCells(const FpcFingerprint &newFp, const FpcFingerprint &oldFp) const
{
    return newNeighborCells(newFp.cellMeasurements(), oldFp.cellMeasurements());
}

bool FpcFilter::newNeighborCells(const VomuMeasurements &newCells, const VomuMeasurements &oldCells) const
{
    if (newCells.isEmpty()) {
        qDebug() << "FpcFilter::newNeighborCells() New FP has no cell data - FALSE ->";
        return false;
    }
    if (oldCells.isEmpty()) {
        qDebug() << "FpcFilter::newNeighborCells() Old FP has no cell data - TRUE ->";
        return true;
    }
    const VomuObservationElement *newServing = newCells.element(0);
    const VomuObservationElement *oldServing = oldCells.element(0);
    if (newServing->elementId() != oldServing->elementId()) {
        qDebug() << "FpcFilter::newNeighborCells() Different networks (shouldn't happen!!) - TRUE ->";
        return true;
    }

    const VomuElementGSM *newGsm = gsmCell(newServing);
    const VomuElementGSM *oldGsm = gsmCell(oldServing);
    if (newGsm && oldGsm) {
        const int newCount = newGsm->neighbourCellCount();
        const int oldCount = oldGsm->neighbourCellCount();
        if (newCount == 0) {
            qDebug() << "FpcFilter::newNeighborCells() New FP has no neighbor cells - FALSE ->";
            return false;
        }
        if (oldCount == 0) {
            qDebug() << "FpcFilter::newNeighborCells() Old FP has no neighbor cells - TRUE ->";
            return true;
        }
        if (newCount > oldCount) {
            qDebug() << "FpcFilter::newNeighborCells() New FP has more neighbor cells - TRUE ->";
            return true;
        }
        if (hasNewGsmNeighbour(*newGsm, *oldGsm)) {
            qDebug() << "FpcFilter::newNeighborCells() New FP has a new neighbor cell - TRUE ->";
            return true;
        }
    }

    const VomuElementWCDMA *newWcdma = wcdmaCell(newServing);
    const VomuElementWCDMA *oldWcdma = wcdmaCell(oldServing);
    if (newWcdma && oldWcdma) {
        if (newWcdma->neighbourCellCount() > oldWcdma->neighbourCellCount()) {
            qDebug() << "FpcFilter::newNeighborCells() New FP has more neighbor cells - TRUE ->";
            return true;
        }
        if (hasNewWcdmaNeighbour(*newWcdma, *oldWcdma)) {
            qDebug() << "FpcFilter::newNeighborCells() New FP has a new neighbor cell - TRUE ->";
            return true;
        }
    }

    qDebug() << "FpcFilter::newNeighborCells() No new neighbor cells in new FP - FALSE ->";
    return false;
}

bool FpcFilter::compareCellInfo(const FpcFingerprint &newFp, const FpcFingerprint &oldFp) const
{
    const qint64 start = currentTimeMicros();
    const VomuMeasurements newCells = newFp.cellMeasurements();
    const VomuMeasurements oldCells = oldFp.cellMeasurements();

    if (newCells.isEmpty()) {
        qDebug() << "FpcFilter::compareCellInfo() New FP has no cell info - took " << elapsedMillis(start)
                 << "m-seconds  FALSE ->";
        return false;
    }
    if (oldCells.isEmpty()) {
        qDebug() << "FpcFilter::compareCellInfo() Old FP has no cell info - took " << elapsedMillis(start)
                 << "m-seconds TRUE ->";
        return true;
    }
    if (differentServingCell(newCells, oldCells)) {
        qDebug() << "FpcFilter::compareCellInfo() New has different serving cell - took " << elapsedMillis(start)
                 << "m-seconds TRUE ->";
        return true;
    }
    if (newNeighborCells(newCells, oldCells)) {
        qDebug() << "FpcFilter::compareCellInfo() New FP has new neighbor cells - took " << elapsedMillis(start)
                 << "m-seconds  TRUE ->";
        return true;
    }
    qDebug() << "FpcFilter::compareCellInfo() took " << elapsedMillis(start) << "m-seconds FALSE ->";
    return false;
}
