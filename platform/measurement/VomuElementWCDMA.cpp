#include "VomuElementWCDMA.h"

#include "VomuLevels.h"
#include "VomuXmlAttributes.h"
#include "VomuXmlText.h"

#include <climits>
#include <cmath>

VomuElementWCDMA::VomuElementWCDMA() : VomuObservationElement(ElementIdWCDMA) {}

void VomuElementWCDMA::setLocationAreaCode(uint16_t locationAreaCode)
{
    m_locationAreaCode = locationAreaCode;
    m_locationAreaCodeSet = true;
}

VomuElementWCDMA::NeighbourCell VomuElementWCDMA::neighbourCell(int index) const
{
    if (index < 0 || index >= neighbourCellCount())
        return NeighbourCell();
    return m_neighbours[static_cast<size_t>(index)];
}

uint8_t VomuElementWCDMA::rssiLevelFromDbm(double dbm)
{
    return VomuLevels::saturated(dbm, 101, 0, 76);
}

uint8_t VomuElementWCDMA::rscpLevelFromDbm(double dbm)
{
    // Level -5..91 is stored shifted by 5.
    return VomuLevels::saturated(dbm, 116 + 5, 0, 96);
}

uint8_t VomuElementWCDMA::ecn0LevelFromDb(double db)
{
    return VomuLevels::saturated(2.0 * db, 49, 0, 49);
}

uint8_t VomuElementWCDMA::pathlossLevelFromDb(double db)
{
    if (std::isnan(db) || db < 46.0 || db >= 159.0)
        return 255;
    return VomuLevels::saturated(db, -46, 0, 112);
}

VomuObservationElement *VomuElementWCDMA::clone() const
{
    return new VomuElementWCDMA(*this);
}

namespace {

constexpr double kMaxAttenuationDb = 255.0;
constexpr double kMaxEcn0Db = 63.0;

VomuElementWCDMA::NeighbourCell readNeighbour(const VomuXmlText::Node &node, bool &ok)
{
    VomuElementWCDMA::NeighbourCell cell;
    VomuXmlAttributes attributes(node.name, node.attributes);
    uint64_t value = 0;
    double db = 0;
    if (attributes.readUnsigned("ucid", 0xFFFFFFFE, value))
        cell.ucId = static_cast<uint32_t>(value);
    if (attributes.readUnsigned("sCode", 0xFFFE, value))
        cell.pCpich = static_cast<uint16_t>(value);
    if (attributes.readUnsigned("uarfcn_dl", 0xFFFE, value))
        cell.uarfcnDl = static_cast<uint16_t>(value);
    if (attributes.readMagnitude("utraCarrierRssi", kMaxAttenuationDb, db))
        cell.rssi = VomuElementWCDMA::rssiLevelFromDbm(-db);
    if (attributes.readMagnitude("ecn0", kMaxEcn0Db, db))
        cell.ecn0 = VomuElementWCDMA::ecn0LevelFromDb(-db);
    if (attributes.readMagnitude("rscp", kMaxAttenuationDb, db))
        cell.rscp = VomuElementWCDMA::rscpLevelFromDbm(-db);
    if (attributes.readMagnitude("pathloss", 158.999, db)) {
        if (db < 46.0)
            attributes.reject("pathloss", QString::number(db), "below 46 dB");
        else
            cell.pathloss = VomuElementWCDMA::pathlossLevelFromDb(db);
    }
    ok = ok && attributes.ok();
    return cell;
}

} // namespace

bool VomuElementWCDMA::internalize(const std::string &xml)
{
    VomuXmlText::Node root;
    if (!VomuXmlText::parse(xml, "wCell", "wNCell", root))
        return false;

    VomuElementWCDMA cell;
    VomuXmlAttributes attributes(root.name, root.attributes);
    uint64_t value = 0;
    if (attributes.readUnsigned("mcc", 0xFFFE, value))
        cell.setCountryCode(static_cast<uint16_t>(value));
    if (attributes.readUnsigned("mnc", 0xFFFE, value))
        cell.setNetworkId(static_cast<uint16_t>(value));
    if (attributes.readUnsigned("lac", 0xFFFF, value))
        cell.setLocationAreaCode(static_cast<uint16_t>(value));
    if (attributes.readUnsigned("ucid", 0xFFFFFFFE, value))
        cell.setUcId(static_cast<uint32_t>(value));
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
