#include "WlanMacText.h"

#include <QStringList>

std::optional<VomuWlanMacAddress> WlanMacText::parse(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6 && parts.size() != 8)
        return std::nullopt;
    uint8_t bytes[VomuWlanMacAddress::kSize];
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const uint value = parts.at(i).toUInt(&ok, 16);
        if (!ok || parts.at(i).size() != 2 || value > 0xff)
            return std::nullopt;
        bytes[i] = uint8_t(value);
    }
    return VomuWlanMacAddress(bytes, int(parts.size()));
}
