#include "FpcMacConversion.h"

#include "FpcLog.h"

#include <QDebug>

QString FpcMacConversion::toText(const VomuWlanMacAddress &mac)
{
    int first = 0;
    if (mac.is48Bit()) {
        first = 2;
    } else if (!mac.is64Bit()) {
        FPC_TRACE << "FpcSqlHandler::macToString() MAC address is invalid";
        return QString();
    }
    QString text;
    for (int i = first; i < VomuWlanMacAddress::kSize; ++i)
        text += QStringLiteral("%1").arg(mac.macByte(i), 2, 16, QLatin1Char('0'));
    return text;
}

qint64 FpcMacConversion::toInt(const VomuWlanMacAddress &mac)
{
    // The number macToString() writes in hexadecimal, without the text.
    const int first = mac.is48Bit() ? 2 : 0;
    quint64 bits = 0;
    for (int i = first; i < VomuWlanMacAddress::kSize; ++i)
        bits = (bits << 8) | mac.macByte(i);
    qint64 value = qint64(bits);
    if ((!mac.is48Bit() && !mac.is64Bit()) || (bits >> 63) != 0) {
        if (!mac.is48Bit() && !mac.is64Bit())
            FPC_TRACE << "FpcSqlHandler::macToString() MAC address is invalid";
        qCritical() << "FpcSqlHandler::macToInt() Converting MAC address to"
                    << "integer failed";
        value = 0;
    }
    FPC_TRACE << "FpcSqlHandler::macToInt() MAC as int: " << value;
    return value;
}

VomuWlanMacAddress FpcMacConversion::fromInt(qint64 value)
{
    int length = 6;
    if (value >= (qint64(1) << 48)) {
        length = 8;
        FPC_TRACE << "FpcSqlHandler::intToMac() 64bit MAC";
    }
    const quint64 bits = static_cast<quint64>(value);
    uint8_t bytes[8];
    for (int k = 0; k < length; ++k)
        bytes[k] = static_cast<uint8_t>(bits >> (8 * (length - 1 - k)));
    return VomuWlanMacAddress(bytes, length);
}
