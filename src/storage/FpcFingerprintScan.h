#pragma once

#include "FpcFingerprint.h"

#include <functional>

// Reads every stored fingerprint, whole, in id order on the application's
// default connection: one query per table, the tables walked side by side.
class FpcFingerprintScan
{
public:
    // Hands each fingerprint to visit; one whose own row cannot be read is
    // skipped. Stops early when visit returns false. False when a table
    // cannot be read.
    static bool forEach(const std::function<bool(const FpcFingerprint &)> &visit);
};
