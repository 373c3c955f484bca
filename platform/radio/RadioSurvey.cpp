#include "RadioSurvey.h"

#include "RadioWlanPrivacy.h"

#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMetresPerTimingAdvance = 553.5;
constexpr int kMaxTimingAdvance = 63;
constexpr double kThermalNoiseDbm = -100.0;
constexpr double kTotalAboveCpichDb = 10.0;

double milliwatts(double dbm)
{
    return std::pow(10.0, dbm / 10.0);
}

// Strongest first; equal levels keep the world's order.
template<typename Heard>
void strongestFirst(std::vector<Heard> &heard)
{
    std::stable_sort(heard.begin(), heard.end(), [](const Heard &a, const Heard &b) { return a.dbm > b.dbm; });
}

} // namespace

RadioSurvey::RadioSurvey(RadioWorld world)
    : m_world(std::move(world)), m_gsmLoss(m_world.propagation(RadioWorld::Kind::Gsm), m_world.seed()),
      m_wcdmaLoss(m_world.propagation(RadioWorld::Kind::Wcdma), m_world.seed()),
      m_wlanLoss(m_world.propagation(RadioWorld::Kind::Wlan), m_world.seed())
{
    // Shadowing follows a transmitter's identity, not its place in the file.
    for (const RadioWorld::GsmCell &cell : m_world.gsmCells())
        m_gsmKeys.push_back(RadioPathLoss::keyOf(QStringLiteral("gsm %1 %2 %3 %4 %5 %6")
                                                     .arg(cell.mcc)
                                                     .arg(cell.mnc)
                                                     .arg(cell.lac ? int(*cell.lac) : -1)
                                                     .arg(cell.cid ? int(*cell.cid) : -1)
                                                     .arg(cell.bsic)
                                                     .arg(cell.bcch)));
    for (const RadioWorld::WcdmaCell &cell : m_world.wcdmaCells())
        m_wcdmaKeys.push_back(RadioPathLoss::keyOf(QStringLiteral("wcdma %1 %2 %3 %4 %5")
                                                       .arg(cell.mcc)
                                                       .arg(cell.mnc)
                                                       .arg(cell.ucid)
                                                       .arg(cell.scramblingCode)
                                                       .arg(cell.uarfcnDl)));
    for (const RadioWorld::AccessPoint &accessPoint : m_world.accessPoints())
        m_accessPointKeys.push_back(RadioPathLoss::keyOf(QStringLiteral("wlan ") + accessPoint.macText));
}

bool RadioSurvey::hasCoverage(const RadioGeoPoint &at) const
{
    return !heardGsm(at).empty() || !heardWcdma(at).empty();
}

std::unique_ptr<VomuObservationElement> RadioSurvey::servingCell(const RadioGeoPoint &at, long timestamp) const
{
    const std::vector<Heard> gsm = heardGsm(at);
    const std::vector<Heard> wcdma = heardWcdma(at);
    if (gsm.empty() && wcdma.empty())
        return nullptr;
    const bool gsmServes = wcdma.empty() || (!gsm.empty() && gsm.front().dbm >= wcdma.front().dbm);
    return gsmServes ? gsmElement(gsm, at, timestamp) : wcdmaElement(wcdma, at, timestamp);
}

VomuMeasurements RadioSurvey::accessPoints(const RadioGeoPoint &at, long timestamp) const
{
    std::vector<Heard> heard = heardAccessPoints(at);
    const auto limit = size_t(m_world.propagation(RadioWorld::Kind::Wlan).maxReported);
    if (heard.size() > limit)
        heard.resize(limit);
    VomuMeasurements result;
    for (const Heard &entry : heard) {
        const RadioWorld::AccessPoint &accessPoint = m_world.accessPoints()[entry.index];
        // Networks that must not be mapped never leave the provider.
        if (!RadioWlanPrivacy::mayKeep(accessPoint.ssid, accessPoint.mac))
            continue;
        auto element = std::make_unique<VomuElementWLAN>();
        element->setMac(accessPoint.mac);
        element->setPowerRx(static_cast<int8_t>(std::clamp(std::floor(entry.dbm), -128.0, 0.0)));
        element->setPowerTx(static_cast<int8_t>(std::clamp(std::round(accessPoint.txPowerDbm), -128.0, 127.0)));
        element->setTimestamp(timestamp);
        result.append(element.release());
    }
    return result;
}

std::vector<RadioSurvey::Heard> RadioSurvey::heardGsm(const RadioGeoPoint &at) const
{
    std::vector<Heard> heard;
    const double sensitivity = m_world.propagation(RadioWorld::Kind::Gsm).sensitivityDbm;
    const auto &cells = m_world.gsmCells();
    for (size_t i = 0; i < cells.size(); ++i) {
        const double dbm = m_gsmLoss.receivedPowerDbm(cells[i].txPowerDbm, cells[i].position, m_gsmKeys[i], at);
        if (dbm >= sensitivity)
            heard.push_back({i, dbm});
    }
    strongestFirst(heard);
    return heard;
}

std::vector<RadioSurvey::Heard> RadioSurvey::heardWcdma(const RadioGeoPoint &at) const
{
    std::vector<Heard> heard;
    const double sensitivity = m_world.propagation(RadioWorld::Kind::Wcdma).sensitivityDbm;
    const auto &cells = m_world.wcdmaCells();
    for (size_t i = 0; i < cells.size(); ++i) {
        const double rscp = m_wcdmaLoss.receivedPowerDbm(cells[i].txPowerDbm, cells[i].position, m_wcdmaKeys[i], at);
        if (rscp >= sensitivity)
            heard.push_back({i, rscp});
    }
    strongestFirst(heard);
    return heard;
}

std::vector<RadioSurvey::Heard> RadioSurvey::heardAccessPoints(const RadioGeoPoint &at) const
{
    std::vector<Heard> heard;
    const double sensitivity = m_world.propagation(RadioWorld::Kind::Wlan).sensitivityDbm;
    const auto &accessPoints = m_world.accessPoints();
    for (size_t i = 0; i < accessPoints.size(); ++i) {
        const double dbm =
            m_wlanLoss.receivedPowerDbm(accessPoints[i].txPowerDbm, accessPoints[i].position, m_accessPointKeys[i], at);
        if (dbm >= sensitivity)
            heard.push_back({i, dbm});
    }
    strongestFirst(heard);
    return heard;
}

std::unique_ptr<VomuObservationElement> RadioSurvey::gsmElement(const std::vector<Heard> &heard,
                                                                const RadioGeoPoint &at, long timestamp) const
{
    const RadioWorld::GsmCell &serving = m_world.gsmCells()[heard.front().index];
    auto element = std::make_unique<VomuElementGSM>();
    element->setCountryCode(serving.mcc);
    element->setNetworkId(serving.mnc);
    if (serving.lac)
        element->setLocationAreaCode(*serving.lac);
    if (serving.cid)
        element->setCellId(*serving.cid);
    element->setPowerRx(VomuElementGSM::rxLevelFromDbm(heard.front().dbm));
    const double distance = RadioPathLoss::distanceMeters(serving.position, at);
    element->setTimingAdvance(
        static_cast<uint8_t>(std::min<double>(kMaxTimingAdvance, std::floor(distance / kMetresPerTimingAdvance))));
    element->setTimestamp(timestamp);

    const size_t limit = size_t(m_world.propagation(RadioWorld::Kind::Gsm).maxReported);
    for (size_t i = 1; i < heard.size() && i <= limit; ++i) {
        const RadioWorld::GsmCell &cell = m_world.gsmCells()[heard[i].index];
        VomuElementGSM::NeighbourCell neighbour(cell.bsic, cell.bcch);
        neighbour.setPowerRx(VomuElementGSM::rxLevelFromDbm(heard[i].dbm));
        element->appendNeighbourCell(neighbour);
    }
    return element;
}

std::unique_ptr<VomuObservationElement> RadioSurvey::wcdmaElement(const std::vector<Heard> &heard,
                                                                  const RadioGeoPoint &at, long timestamp) const
{
    const RadioWorld::WcdmaCell &serving = m_world.wcdmaCells()[heard.front().index];
    auto element = std::make_unique<VomuElementWCDMA>();
    element->setCountryCode(serving.mcc);
    element->setNetworkId(serving.mnc);
    if (serving.lac)
        element->setLocationAreaCode(*serving.lac);
    element->setUcId(serving.ucid);
    element->setTimestamp(timestamp);

    // The serving cell's own record first, then up to maxReported others.
    const size_t limit = size_t(m_world.propagation(RadioWorld::Kind::Wcdma).maxReported);
    for (size_t i = 0; i < heard.size() && i <= limit; ++i) {
        const RadioWorld::WcdmaCell &cell = m_world.wcdmaCells()[heard[i].index];
        const double rscp = heard[i].dbm;
        const double rssi = carrierRssiDbm(cell.uarfcnDl, at);
        VomuElementWCDMA::NeighbourCell record;
        if (i == 0)
            record.ucId = cell.ucid;
        record.pCpich = cell.scramblingCode;
        record.uarfcnDl = cell.uarfcnDl;
        record.rssi = VomuElementWCDMA::rssiLevelFromDbm(rssi);
        record.ecn0 = VomuElementWCDMA::ecn0LevelFromDb(rscp - rssi);
        record.rscp = VomuElementWCDMA::rscpLevelFromDbm(rscp);
        record.pathloss = VomuElementWCDMA::pathlossLevelFromDb(cell.txPowerDbm - rscp);
        element->appendNeighbourCell(record);
    }
    return element;
}

double RadioSurvey::carrierRssiDbm(uint16_t uarfcnDl, const RadioGeoPoint &at) const
{
    double total = milliwatts(kThermalNoiseDbm);
    const auto &cells = m_world.wcdmaCells();
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].uarfcnDl != uarfcnDl)
            continue;
        total += milliwatts(m_wcdmaLoss.receivedPowerDbm(cells[i].txPowerDbm + kTotalAboveCpichDb, cells[i].position,
                                                         m_wcdmaKeys[i], at));
    }
    return 10.0 * std::log10(total);
}
