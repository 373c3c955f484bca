#include "VomuWlanMacAddress.h"

namespace {
constexpr uint8_t kMask48 = 0xFC; // bytes 2..7
constexpr uint8_t kMask64 = 0xFF;
}

VomuWlanMacAddress::VomuWlanMacAddress() : m_bytes{}, m_setMask(0) {}

VomuWlanMacAddress::VomuWlanMacAddress(const uint8_t *bytes, int length) : VomuWlanMacAddress()
{
    if (!bytes || (length != 6 && length != 8))
        return;
    const int first = kSize - length;
    for (int i = 0; i < length; ++i)
        setMacByte(first + i, bytes[i]);
}

bool VomuWlanMacAddress::is48Bit() const
{
    return m_setMask == kMask48;
}

bool VomuWlanMacAddress::is64Bit() const
{
    return m_setMask == kMask64;
}

uint8_t VomuWlanMacAddress::macByte(int index) const
{
    return isByteSet(index) ? m_bytes[index] : 0;
}

bool VomuWlanMacAddress::isByteSet(int index) const
{
    return index >= 0 && index < kSize && (m_setMask & (1u << index));
}

void VomuWlanMacAddress::setMacByte(int index, uint8_t value)
{
    if (index < 0 || index >= kSize)
        return;
    m_bytes[index] = value;
    m_setMask = static_cast<uint8_t>(m_setMask | (1u << index));
}

void VomuWlanMacAddress::clear()
{
    *this = VomuWlanMacAddress();
}

bool VomuWlanMacAddress::operator==(const VomuWlanMacAddress &other) const
{
    if (m_setMask != other.m_setMask)
        return false;
    for (int i = 0; i < kSize; ++i) {
        if (isByteSet(i) && m_bytes[i] != other.m_bytes[i])
            return false;
    }
    return true;
}
