#pragma once

#include "FpcFilter.h"

class VomuElementWCDMA;
class VomuElementWLAN;

// First link of the filter chain: rejects fingerprints whose radio values are
// out of range or whose data are too thin to be useful. Stateless; the only
// setting read is "min_wlan_count".
class FpcMsmEvaluator : public FpcFilter
{
public:
    FpcMsmEvaluator() = default;
    ~FpcMsmEvaluator() override;

    // The combination rule first, then every element.
    bool evaluateEntry(const FpcFingerprint *fingerprint) override;

    // At least one element; without a position also at least one cell and
    // "min_wlan_count" (default 3) access points.
    bool validateCombination(const FpcFingerprint &fingerprint) const;
    // Every element in order (cells before access points); the first invalid
    // one decides.
    bool evaluateMeasurements(const FpcFingerprint &fingerprint) const;

    bool evaluateGERANElement(const VomuElementGSM &cell) const;
    bool evaluateFDDElement(const VomuElementWCDMA &cell) const;
    bool evaluateWLANElement(const VomuElementWLAN &accessPoint) const;
};
