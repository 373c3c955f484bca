#pragma once

#include "VomuMeasurements.h"

#include <QString>

class ModemManagerModem;

// The serving cell with its neighbours from ModemManager: Modem.GetCellInfo
// where the modem supports it, otherwise the serving cell's identity from
// the 3GPP source of Modem.Location and its signal from Modem.Signal
// (ModemCellFallback). Without a modem, without SIM, or while the modem is
// not registered there are no cells; the reason is logged once each time it
// changes, not on every cycle.
class ModemCells
{
public:
    static bool available();
    static bool appendServingCell(VomuMeasurements &measurements);

private:
    static QString unavailableReason(const ModemManagerModem *modem);
    static void noteReason(const QString &reason);
};
