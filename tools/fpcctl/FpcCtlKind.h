#pragma once

#include <QString>

// Names of fingerprint kinds. A kind is the data mask of a fingerprint:
// 1 GPS, 2 Cell, 4 NeighborCell, 8 WLAN. Its name joins the names of the
// set bits in the order Cell, WLAN, GPS, NeighborCell, so mask 15 is
// "Cell + WLAN + GPS + NeighborCell" and mask 9 "WLAN + GPS".
class FpcCtlKind
{
public:
    enum Bit { Gps = 1, Cell = 2, NeighborCell = 4, Wlan = 8 };

    static QString name(int dataMask);
    static bool hasPosition(int dataMask) { return dataMask >= 0 && (dataMask & Gps); }
    // The map's colour of a kind ("#rrggbb"); the kinds with a position
    // have colours that are told apart easily.
    static QString colour(int dataMask);

    // Radio of the serving cell: 0 none, 1 WCDMA, 2 GSM.
    enum Radio { NoRadio = 0, Wcdma = 1, Gsm = 2 };
    static QString radioName(int radio);
};
