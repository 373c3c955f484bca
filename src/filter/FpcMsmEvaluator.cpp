#include "FpcMsmEvaluator.h"

#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"
#include "VomuObservationElement.h"

#include <QDebug>

namespace {

// Limits of the values the radio library may deliver.
constexpr quint32 MaxCountryOrNetworkCode = 999;
constexpr quint32 MaxGsmLevel = 63; // RXLEV
constexpr quint32 MaxBsic = 63;
constexpr quint32 MaxArfcn = 1023;
constexpr quint32 MaxUtranCellId = 0x0FFFFFFF; // 28 bits
constexpr quint32 MaxUarfcn = 16383;
constexpr quint32 MaxScramblingCode = 511;
constexpr quint32 MaxCarrierRssi = 76;
constexpr quint32 MaxEcn0 = 63;
constexpr quint32 MaxRscp = 132;
constexpr quint32 MaxPathloss = 127;

constexpr quint8 LevelNotSet = 255;
constexpr quint32 IdentityNotSet = 0xFFFFFFFF;

// An 8-bit level that is either not reported or within its range.
bool levelOk(quint8 level, quint32 max)
{
    return level == LevelNotSet || level <= max;
}

// Logs which value broke its rule; the element check then fails.
bool invalid(const char *method, const char *field, quint64 value)
{
    qDebug() << method << "Invalid" << field << value;
    return false;
}

} // namespace

FpcMsmEvaluator::~FpcMsmEvaluator() = default;

bool FpcMsmEvaluator::evaluateEntry(const FpcFingerprint *fingerprint)
{
    qDebug() << "FpcMsmEvaluator::evaluateEntry() <-";
    if (!fingerprint || !validateCombination(*fingerprint) || !evaluateMeasurements(*fingerprint)) {
        qDebug() << "[INFO] FpcMsmEvaluator::evaluateEntry() Invalid mesurements found -> return FALSE";
        return false;
    }
    qDebug() << "FpcMsmEvaluator::evaluateEntry() ->";
    return true;
}

bool FpcMsmEvaluator::validateCombination(const FpcFingerprint &fingerprint) const
{
    const VomuMeasurements measurements = fingerprint.measurements();
    if (measurements.count() > 0) {
        if (fingerprint.hasPosition())
            return true;

        int wlanCount = 0;
        int cellCount = 0;
        for (int i = 0; i < measurements.count(); ++i) {
            switch (measurements.element(i)->elementId()) {
            case VomuObservationElement::ElementIdWLAN:
                ++wlanCount;
                break;
            case VomuObservationElement::ElementIdGSM:
            case VomuObservationElement::ElementIdWCDMA:
                ++cellCount;
                break;
            default:
                break;
            }
        }
        const qint32 minWlanCount = FpcConfig::getIntValue(QStringLiteral("min_wlan_count"), 3);
        if (wlanCount >= minWlanCount && cellCount >= 1)
            return true;
        qDebug() << "[INFO] FpcMsmEvaluator::validateCombination() Not enough measurements: WLAN " << wlanCount
                 << "Cell" << cellCount;
    }
    qDebug() << "[INFO] FpcMsmEvaluator::validateCombination() Invalid combination found -> return FALSE";
    return false;
}

bool FpcMsmEvaluator::evaluateMeasurements(const FpcFingerprint &fingerprint) const
{
    const VomuMeasurements measurements = fingerprint.measurements();
    for (int i = 0; i < measurements.count(); ++i) {
        const VomuObservationElement *element = measurements.element(i);
        switch (element->elementId()) {
        case VomuObservationElement::ElementIdWLAN: {
            const auto *accessPoint = dynamic_cast<const VomuElementWLAN *>(element);
            if (!accessPoint || !evaluateWLANElement(*accessPoint)) {
                qDebug() << "[INFO] FpcMsmEvaluator::evaluateMeasurements() Invalid WLAN measurements";
                return false;
            }
            break;
        }
        case VomuObservationElement::ElementIdGSM: {
            const auto *cell = dynamic_cast<const VomuElementGSM *>(element);
            if (!cell || !evaluateGERANElement(*cell)) {
                qDebug() << "[INFO] FpcMsmEvaluator::evaluateMeasurements() Invalid GERAN measurements";
                return false;
            }
            break;
        }
        case VomuObservationElement::ElementIdWCDMA: {
            const auto *cell = dynamic_cast<const VomuElementWCDMA *>(element);
            if (!cell || !evaluateFDDElement(*cell)) {
                qDebug() << "[INFO] FpcMsmEvaluator::evaluateMeasurements() Invalid UTRA-FDD measurements";
                return false;
            }
            break;
        }
        default:
            break;
        }
    }
    return true;
}

bool FpcMsmEvaluator::evaluateGERANElement(const VomuElementGSM &cell) const
{
    static const char method[] = "FpcMsmEvaluator::evaluateGERANElement()";
    // The not-set marker 0xFFFF of the codes lies above the range as well.
    if (cell.countryCode() > MaxCountryOrNetworkCode)
        return invalid(method, "MCC", cell.countryCode());
    if (cell.networkId() > MaxCountryOrNetworkCode)
        return invalid(method, "MNC", cell.networkId());
    if (!cell.locationAreaCodeSet())
        return invalid(method, "LAC (not set)", cell.locationAreaCode());
    if (!cell.cellIdSet())
        return invalid(method, "cell id (not set)", cell.cellId());
    if (!levelOk(cell.powerRx(), MaxGsmLevel))
        return invalid(method, "RX level", cell.powerRx());

    for (int i = 0; i < cell.neighbourCellCount(); ++i) {
        const VomuElementGSM::NeighbourCell neighbour = cell.neighbourCell(i);
        // The BSIC has no not-set value here: a neighbour without one is
        // unusable.
        if (neighbour.color() > MaxBsic)
            return invalid(method, "neighbor BSIC", neighbour.color());
        if (neighbour.frequency() > MaxArfcn)
            return invalid(method, "neighbor ARFCN", neighbour.frequency());
        if (!levelOk(neighbour.powerRx(), MaxGsmLevel))
            return invalid(method, "neighbor RX level", neighbour.powerRx());
    }
    return true;
}

bool FpcMsmEvaluator::evaluateFDDElement(const VomuElementWCDMA &cell) const
{
    static const char method[] = "FpcMsmEvaluator::evaluateFDDElement()";
    if (cell.countryCode() > MaxCountryOrNetworkCode)
        return invalid(method, "MCC", cell.countryCode());
    if (cell.networkId() > MaxCountryOrNetworkCode)
        return invalid(method, "MNC", cell.networkId());
    if (cell.ucId() > MaxUtranCellId)
        return invalid(method, "UC-ID", cell.ucId());

    for (int i = 0; i < cell.neighbourCellCount(); ++i) {
        const VomuElementWCDMA::NeighbourCell n = cell.neighbourCell(i);
        if (n.uarfcnDl > MaxUarfcn)
            return invalid(method, "neighbor UARFCN-DL", n.uarfcnDl);
        if (n.pCpich > MaxScramblingCode)
            return invalid(method, "neighbor P-CPICH", n.pCpich);
        if (!levelOk(n.rssi, MaxCarrierRssi))
            return invalid(method, "neighbor RSSI", n.rssi);
        if (n.ucId != IdentityNotSet && n.ucId > MaxUtranCellId)
            return invalid(method, "neighbor UC-ID", n.ucId);
        if (!levelOk(n.ecn0, MaxEcn0))
            return invalid(method, "neighbor EcN0", n.ecn0);
        if (!levelOk(n.rscp, MaxRscp))
            return invalid(method, "neighbor RSCP", n.rscp);
        if (!levelOk(n.pathloss, MaxPathloss))
            return invalid(method, "neighbor pathloss", n.pathloss);
    }
    return true;
}

bool FpcMsmEvaluator::evaluateWLANElement(const VomuElementWLAN &accessPoint) const
{
    const VomuWlanMacAddress &mac = accessPoint.mac();
    if (!mac.is48Bit() && !mac.is64Bit()) {
        qDebug() << "[ERROR] FpcMsmEvaluator::evaluateWLANElement() MAC is not 48 bit or 64 bit -> ERROR";
        return false;
    }
    if (mac.is64Bit())
        qDebug() << "FpcMsmEvaluator::evaluateWLANElement() MAC address is 64 bit";
    if (!accessPoint.powerRxSet()) {
        qDebug() << "[INFO] FpcMsmEvaluator::evaluateWLANElement() powerRx not set";
        return false;
    }
    return true;
}
