#pragma once

#include "VomuObservationElement.h"

#include <QString>
#include <QVariantMap>

#include <memory>

class ModemManagerModem;

// The serving cell of a modem without GetCellInfo: its identity from the
// 3GPP LAC/CI source of Modem.Location ("MCC,MNC,LAC,CI,TAC", LAC and CI in
// hex) and its signal from Modem.Signal (GSM "rssi" dBm -> RXLEV; UMTS
// "rscp" dBm and "ecio" dB -> the levels of ModemCellInfo). The access
// technology decides GSM or UMTS; LTE and 5G give no cell.
//
// Only what is off is switched on: the 3GPP location source (other sources
// stay as they are) and the signal refresh (at SignalRefreshSeconds, the
// slowest that still gives every measurement cycle a recent value when the
// default trigger runs). restore() switches back what was switched on here.
class ModemCellFallback
{
public:
    static constexpr quint32 SignalRefreshSeconds = 30;

    static std::unique_ptr<VomuObservationElement> servingCell(const ModemManagerModem &modem);
    static void restore();

    // "MCC,MNC,LAC,CI[,TAC]" into GSM or UMTS identity fields of a cell map
    // as GetCellInfo has them (operator-id, lac, ci); empty when malformed.
    static QVariantMap cellFromLocation(const QString &text);

private:
    static std::optional<QString> locationText(const ModemManagerModem &modem);
    static void ensureSignalRefresh(const ModemManagerModem &modem);
    static bool call(const QString &path, const char *interface, const char *method, const QVariantList &arguments);
};
