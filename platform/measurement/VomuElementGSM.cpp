#include "VomuElementGSM.h"

#include "VomuLevels.h"
#include "VomuXmlAttributes.h"
#include "VomuXmlText.h"

#include <climits>

VomuElementGSM::NeighbourCell::NeighbourCell(uint8_t color, uint16_t frequency) : m_color(color), m_frequency(frequency)
{}

void VomuElementGSM::NeighbourCell::setCellId(uint16_t cellId)
{
    m_cellId = cellId;
    m_cellIdSet = true;
}

void VomuElementGSM::NeighbourCell::setLocationAreaCode(uint16_t locationAreaCode)
{
    m_locationAreaCode = locationAreaCode;
    m_locationAreaCodeSet = true;
}

VomuElementGSM::VomuElementGSM() : VomuObservationElement(ElementIdGSM) {}

void VomuElementGSM::setLocationAreaCode(uint16_t locationAreaCode)
{
    m_locationAreaCode = locationAreaCode;
    m_locationAreaCodeSet = true;
}

void VomuElementGSM::setCellId(uint16_t cellId)
{
    m_cellId = cellId;
    m_cellIdSet = true;
}

void VomuElementGSM::setTimingAdvance(uint8_t timingAdvance)
{
    m_timingAdvance = timingAdvance;
    m_timingAdvanceSet = true;
}

VomuElementGSM::NeighbourCell VomuElementGSM::neighbourCell(int index) const
{
    if (index < 0 || index >= neighbourCellCount())
        return NeighbourCell();
    return m_neighbours[static_cast<size_t>(index)];
}

uint8_t VomuElementGSM::rxLevelFromDbm(double dbm)
{
    return VomuLevels::saturated(dbm, 111, 0, 63);
}

VomuObservationElement *VomuElementGSM::clone() const
{
    return new VomuElementGSM(*this);
}

namespace {

constexpr double kMaxAttenuationDb = 255.0;

VomuElementGSM::NeighbourCell readNeighbour(const VomuXmlText::Node &node, bool &ok)
{
    VomuElementGSM::NeighbourCell cell;
    VomuXmlAttributes attributes(node.name, node.attributes);
    uint64_t value = 0;
    double db = 0;
    if (attributes.readUnsigned("bsic", 254, value))
        cell.setColor(static_cast<uint8_t>(value));
    if (attributes.readUnsigned("bcch", 0xFFFE, value))
        cell.setFrequency(static_cast<uint16_t>(value));
    if (attributes.readMagnitude("powRx", kMaxAttenuationDb, db))
        cell.setPowerRx(VomuElementGSM::rxLevelFromDbm(-db));
    if (attributes.readUnsigned("lac", 0xFFFF, value))
        cell.setLocationAreaCode(static_cast<uint16_t>(value));
    if (attributes.readUnsigned("cid", 0xFFFF, value))
        cell.setCellId(static_cast<uint16_t>(value));
    ok = ok && attributes.ok();
    return cell;
}

} // namespace

bool VomuElementGSM::internalize(const std::string &xml)
{
    VomuXmlText::Node root;
    if (!VomuXmlText::parse(xml, "gCell", "gNCell", root))
        return false;

    VomuElementGSM cell;
    VomuXmlAttributes attributes(root.name, root.attributes);
    uint64_t value = 0;
    double db = 0;
    if (attributes.readUnsigned("mcc", 0xFFFE, value))
        cell.setCountryCode(static_cast<uint16_t>(value));
    if (attributes.readUnsigned("mnc", 0xFFFE, value))
        cell.setNetworkId(static_cast<uint16_t>(value));
    if (attributes.readUnsigned("lac", 0xFFFF, value))
        cell.setLocationAreaCode(static_cast<uint16_t>(value));
    if (attributes.readUnsigned("cid", 0xFFFF, value))
        cell.setCellId(static_cast<uint16_t>(value));
    if (attributes.readMagnitude("powRx", kMaxAttenuationDb, db))
        cell.setPowerRx(rxLevelFromDbm(-db));
    if (attributes.readUnsigned("ta", 255, value))
        cell.setTimingAdvance(static_cast<uint8_t>(value));
    if (attributes.readUnsigned("timestamp", LONG_MAX, value))
        cell.setTimestamp(static_cast<long>(value));

    bool ok = attributes.ok();
    for (const VomuXmlText::Node &child : root.children)
        cell.appendNeighbourCell(readNeighbour(child, ok));
    if (!ok)
        return false;

    *this = cell;
    return true;
}
