#pragma once

#include "VomuWlanMacAddress.h"

#include <QString>
#include <QtGlobal>

// WLAN MAC addresses as the fingerprint database stores them: the address
// read as one big-endian number (below 2^48 for a 48-bit address).
class FpcMacConversion
{
public:
    // Lower-case hexadecimal digits without separators; empty for an
    // address that is neither 48 nor 64 bits long.
    static QString toText(const VomuWlanMacAddress &mac);
    // 0 for an invalid address or one that does not fit a signed 64-bit value.
    static qint64 toInt(const VomuWlanMacAddress &mac);
    // Eight bytes at 2^48 and above, else six.
    static VomuWlanMacAddress fromInt(qint64 value);
};
