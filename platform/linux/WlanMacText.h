#pragma once

#include "VomuWlanMacAddress.h"

#include <QString>

#include <optional>

// An access point's hardware address as the Linux services write it: six or
// eight pairs of hex digits separated by ':'. Anything else is no address.
class WlanMacText
{
public:
    static std::optional<VomuWlanMacAddress> parse(const QString &text);
};
