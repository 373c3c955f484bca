#pragma once

#include "FpcFilter.h"

#include <QList>

// Last link of the filter chain: compares a new fingerprint with every stored
// fingerprint taken nearby (when it has a position) or under the same
// serving cell (when it has none), and rejects it as soon as one of them is
// at least as good. Times its queries and comparisons for the log.
class FpcFilter2 : public FpcFilter
{
public:
    FpcFilter2() = default;
    ~FpcFilter2() override;

    bool evaluateEntry(const FpcFingerprint *fingerprint) override;

    // True when the new fingerprint's access points beat the stored one's:
    // more of them, one the stored fingerprint lacks, or one received
    // stronger (or measured where the stored one has no level).
    bool hasBetterWlanData(const FpcFingerprint &newFp, const FpcFingerprint &storedFp) const;

private:
    // The whole run; buffer failures arrive as exceptions.
    bool evaluate(const FpcFingerprint &newFp);
    // Fills ids with the candidates; false when the new fingerprint passes
    // already because there is nothing to compare with.
    bool selectCandidates(const FpcFingerprint &newFp, QList<qint64> &ids);
    // Compares with the candidates in order until the first better one.
    bool compareWithCandidates(const FpcFingerprint &newFp, const QList<qint64> &ids);
};
