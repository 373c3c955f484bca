#pragma once

#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"

#include <QList>
#include <QVariantMap>

#include <memory>

// Turns ModemManager's cell list (Modem.GetCellInfo, one a{sv} per cell) into
// the serving cell element with its neighbours. Units, from ModemManager's
// keys to the element's fields:
//
//   GSM   operator-id "MCCMNC"  -> countryCode, networkId
//         lac, ci (hex)         -> locationAreaCode, cellId (16 bit)
//         timing-advance        -> timingAdvance (bit periods, as given)
//         rx-level 0..63        -> powerRx (RXLEV, as given)
//         arfcn, base-station-id (hex BSIC), rx-level, lac, ci -> neighbour
//         frequency, color, powerRx, locationAreaCode, cellId
//   UMTS  operator-id           -> countryCode, networkId
//         lac, ci (hex UC-ID)   -> locationAreaCode, ucId (28 bit)
//         frequency-fdd-dl      -> uarfcnDl
//         psc                   -> pCpich
//         rscp (dBm)            -> rscp level (rscpLevelFromDbm)
//         ecio (dB)             -> ecn0 level (ecn0LevelFromDb)
//         the serving cell's own figures form its first neighbour record,
//         as the element keeps them.
//
// The serving GSM or UMTS cell decides the element; neighbours of the other
// radio type, LTE and 5G cells (the report has no element for them) are
// counted as skipped.
class ModemCellInfo
{
public:
    struct Result
    {
        std::unique_ptr<VomuObservationElement> serving;
        int skipped = 0;
    };

    static constexpr quint32 CellTypeGsm = 2;
    static constexpr quint32 CellTypeUmts = 3;

    static Result fromCells(const QList<QVariantMap> &cells);

    static std::unique_ptr<VomuElementGSM> gsmCell(const QVariantMap &cell);
    static std::unique_ptr<VomuElementWCDMA> umtsCell(const QVariantMap &cell);
    static VomuElementGSM::NeighbourCell gsmNeighbour(const QVariantMap &cell);
    static VomuElementWCDMA::NeighbourCell umtsRecord(const QVariantMap &cell);

private:
    static const QVariantMap *findServing(const QList<QVariantMap> &cells, quint32 *type);
};
