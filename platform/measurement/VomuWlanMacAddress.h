#pragma once

#include <cstdint>

// Hardware address of a WLAN access point as the measurement library keeps
// it: eight byte slots, each with its own "set" flag. A 48-bit (EUI-48)
// address occupies bytes 2 to 7 with bytes 0 and 1 unset; a 64-bit (EUI-64)
// address occupies all eight. Any other combination is neither.
class VomuWlanMacAddress
{
public:
    static constexpr int kSize = 8;

    VomuWlanMacAddress();
    // Takes 6 bytes (48-bit) or 8 bytes (64-bit). Any other length, or a null
    // pointer, yields an address with no byte set.
    VomuWlanMacAddress(const uint8_t *bytes, int length);

    bool is48Bit() const;
    bool is64Bit() const;
    // 0 for an unset byte or an index outside 0..7.
    uint8_t macByte(int index) const;
    bool isByteSet(int index) const;

    // Stores one byte; indices outside 0..7 are ignored.
    void setMacByte(int index, uint8_t value);
    void clear();

    bool operator==(const VomuWlanMacAddress &other) const;
    bool operator!=(const VomuWlanMacAddress &other) const { return !(*this == other); }

private:
    uint8_t m_bytes[kSize];
    uint8_t m_setMask; // bit i set <=> byte i is set
};
