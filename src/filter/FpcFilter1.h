#pragma once

#include "FpcFilter.h"
#include "FpcFingerprint.h"

// Second link of the filter chain: weighs a new fingerprint against the
// newest stored one and passes it, discards it, or passes it and deletes the
// stored one because the new one is better. Keeps fingerprints taken one
// after another at the same place from piling up.
class FpcFilter1 : public FpcFilter
{
public:
    FpcFilter1();
    ~FpcFilter1() override;

    bool evaluateEntry(const FpcFingerprint *fingerprint) override;

    // Loads the newest stored fingerprint into previous(); false (previous()
    // unchanged) when there is none or it cannot be read.
    bool getPreviousFp();
    // False only when one of the two holds WLAN data alone and the other
    // cell data alone.
    bool checkComparability(const FpcFingerprint &newFp) const;
    // True when the new fingerprint sees an access point the previous one
    // does not.
    bool compareMACs(const FpcFingerprint &newFp) const;
    // True when the new fingerprint's access points are received better on
    // average (or equally well, but with a different number of them).
    bool compareAverageSignalStrengths(const FpcFingerprint &newFp) const;
    // Deletes the previous fingerprint from the buffer.
    bool removePrevious();

    const FpcFingerprint &previous() const { return m_previous; }

private:
    // The access-point part of the decision, with or without deleting the
    // previous fingerprint when the new one is received better.
    bool wlanDecision(const FpcFingerprint &newFp, bool removePreviousWhenBetter);

    FpcFingerprint m_previous;
};
