#pragma once

class MSlpGw;

// Entry points of the SLP gateway library.
class SlpGwFactory
{
public:
    // Interface version of the library; below 1 means unusable.
    static int version();
    // A new gateway object for the given interface version (1), owned by the
    // caller; null on failure.
    static MSlpGw *createSlpGw(int interfaceVersion);
};
