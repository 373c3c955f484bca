#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// One stored fingerprint as FpcDatabaseReader reads it back, with every row
// that belongs to it, values as stored. Values the database marks as "not
// measured" (-1, and -100 for RSCP) are kept as they are; the readers' users
// (fpcctl's exporters) turn them into empty fields.
struct FpcStoredRecord
{
    struct GsmNeighbour
    {
        qint64 bsic = -1;
        qint64 bcch = -1;
        qint64 rxLevel = -1;
    };
    struct GsmCell
    {
        qint64 mcc = -1;
        qint64 mnc = -1;
        qint64 lac = -1;
        qint64 cellId = -1;
        qint64 rxLevel = -1;
        qint64 ta = -1;
        QList<GsmNeighbour> neighbours;
    };
    struct WcdmaNeighbour
    {
        qint64 pcpich = -1;
        qint64 uarfcnDl = -1;
        qint64 ucid = -1;
        qint64 rssi = -1;
        qint64 ecn0 = -1;
        qint64 rscp = -100;
        qint64 pathloss = -1;
    };
    struct WcdmaCell
    {
        qint64 mcc = -1;
        qint64 mnc = -1;
        qint64 ucid = -1;
        qint64 lac = -1;
        QList<WcdmaNeighbour> neighbours;
    };
    struct Wlan
    {
        qint64 mac = 0;
        qint64 rxLevel = 0;
        qint64 rssi = -1;
    };
    struct Position
    {
        double latitude = 0;
        double longitude = 0;
        qint64 altitude = 0;
        qint64 altitudeUncertainty = 0;
        qint64 timeSeconds = 0;
        qint64 timeMicroseconds = 0;
        qint64 cep68 = 0;
    };

    qint64 id = 0;
    // Time of birth in ms since the epoch (UTC).
    qint64 timeMs = 0;
    bool exported = false;
    int dataMask = 0;
    // Only a position with finite coordinates in range counts.
    bool hasPosition = false;
    Position position;
    bool hasGsm = false;
    GsmCell gsm;
    bool hasWcdma = false;
    WcdmaCell wcdma;
    QList<Wlan> wlans;

    // The radio of the serving cell: 1 WCDMA, 2 GSM, 0 none.
    int radio() const { return hasWcdma ? 1 : hasGsm ? 2 : 0; }

    // The serving cell as "gsm mcc/mnc/lac/ci" or "wcdma mcc/mnc/ucid", the
    // same text for every fingerprint of one cell; empty without a cell.
    QString servingCellKey() const
    {
        if (hasWcdma)
            return QStringLiteral("wcdma %1/%2/%3").arg(wcdma.mcc).arg(wcdma.mnc).arg(wcdma.ucid);
        if (hasGsm)
            return QStringLiteral("gsm %1/%2/%3/%4").arg(gsm.mcc).arg(gsm.mnc).arg(gsm.lac).arg(gsm.cellId);
        return QString();
    }
};
