#pragma once

#include <QString>
#include <QtGlobal>

class FpcFingerprint;
class VomuElementGSM;
class VomuMeasurements;
class VomuWlanMacAddress;

// Base of the filter chain that every new fingerprint runs through before it
// is stored: the measurement evaluator and the two fingerprint filters. Each
// answers one question with evaluateEntry(); the comparisons below are shared
// by the filters, which weigh a new fingerprint ("new") against a stored one
// ("old"). Every comparison logs the reason for its answer, so a trace of
// one filter run reads as a chain of decisions.
class FpcFilter
{
public:
    FpcFilter() = default;
    // The creator deletes its filters through base pointers.
    virtual ~FpcFilter();

    // True when the fingerprint passes this filter. The fingerprint is only
    // read; a null pointer never passes.
    virtual bool evaluateEntry(const FpcFingerprint *fingerprint) = 0;

    // Lowercase hex of the address bytes without separators (12 characters
    // for a 48-bit, 16 for a 64-bit address); empty for any other address.
    QString macToString(const VomuWlanMacAddress &mac) const;
    // Same size and same bytes; bytes 0-1 of a 48-bit address are not part of
    // it. An address of neither size equals nothing.
    bool areMacsEqual(const VomuWlanMacAddress &a, const VomuWlanMacAddress &b) const;

    // True when the new fingerprint has a neighbour cell that the old one
    // lacks, or more neighbours.
    bool newNeighborCells(const FpcFingerprint &newFp, const FpcFingerprint &oldFp) const;
    // True when the timing advances differ by more than "min_ta_difference".
    bool differentTA(const VomuElementGSM &newCell, const VomuElementGSM &oldCell) const;
    // True when the serving cells differ (cell identity and, for equal GSM
    // cells, timing advance).
    bool differentServingCell(const FpcFingerprint &newFp, const FpcFingerprint &oldFp) const;
    // True when the new fingerprint brings different or additional cell
    // information compared with the old one.
    bool compareCellInfo(const FpcFingerprint &newFp, const FpcFingerprint &oldFp) const;

    // Wall-clock microseconds since the epoch, -1 when the clock cannot be
    // read. Only used for the durations in the log.
    static qint64 currentTimeMicros();
    // Milliseconds elapsed since a currentTimeMicros() value.
    static qint64 elapsedMillis(qint64 startMicros);

private:
    // The same comparisons on the cell containers, so that compareCellInfo
    // copies each fingerprint's cells only once.
    bool newNeighborCells(const VomuMeasurements &newCells, const VomuMeasurements &oldCells) const;
    bool differentServingCell(const VomuMeasurements &newCells, const VomuMeasurements &oldCells) const;
};
