#include "VomuElementWLAN.h"

#include "VomuXmlAttributes.h"
#include "VomuXmlText.h"

#include <climits>

VomuElementWLAN::VomuElementWLAN() : VomuObservationElement(ElementIdWLAN) {}

void VomuElementWLAN::setPowerRx(int8_t dbm)
{
    m_powerRx = dbm;
    m_powerRxSet = true;
}

void VomuElementWLAN::setRssi(uint8_t rssi)
{
    m_rssi = rssi;
    m_rssiSet = true;
}

void VomuElementWLAN::setPowerTx(int8_t dbm)
{
    m_powerTx = dbm;
    m_powerTxSet = true;
}

VomuObservationElement *VomuElementWLAN::clone() const
{
    return new VomuElementWLAN(*this);
}

bool VomuElementWLAN::internalize(const std::string &xml)
{
    VomuXmlText::Node root;
    if (!VomuXmlText::parse(xml, "wlan", nullptr, root))
        return false;

    VomuElementWLAN accessPoint;
    VomuXmlAttributes attributes(root.name, root.attributes);
    VomuWlanMacAddress mac;
    uint64_t value = 0;
    int64_t dbm = 0;
    if (attributes.readMac("mac", mac))
        accessPoint.setMac(mac);
    // Received power is written as attenuation below 1 mW: "23" is -23 dBm.
    if (attributes.readUnsigned("powRx", 128, value))
        accessPoint.setPowerRx(static_cast<int8_t>(-static_cast<int>(value)));
    if (attributes.readSigned("powTx", -128, 127, dbm))
        accessPoint.setPowerTx(static_cast<int8_t>(dbm));
    if (attributes.readUnsigned("rssi", 255, value))
        accessPoint.setRssi(static_cast<uint8_t>(value));
    if (attributes.readUnsigned("timestamp", LONG_MAX, value))
        accessPoint.setTimestamp(static_cast<long>(value));
    if (!attributes.ok())
        return false;

    *this = accessPoint;
    return true;
}
