#include "ModemCellInfo.h"

#include "LinuxBusProperties.h"
#include "ModemCellFields.h"

#include <QDateTime>
#include <QDebug>

namespace {
constexpr quint32 MaxCode16 = 0xFFFF;
constexpr quint32 MaxUtranCellId = 0x0FFFFFFF;
constexpr quint32 MaxRxLevel = 63;
constexpr quint32 MaxBsic = 63;
constexpr quint32 MaxArfcn = 1023;
constexpr quint32 MaxTimingAdvance = 255;
constexpr quint32 MaxUarfcn = 16383;
constexpr quint32 MaxPsc = 511;

quint32 cellType(const QVariantMap &cell)
{
    return quint32(LinuxBusProperties::integer(cell, "cell-type").value_or(0));
}

bool isServing(const QVariantMap &cell)
{
    const QVariant serving = cell.value(QStringLiteral("serving"));
    return serving.metaType().id() == QMetaType::Bool && serving.toBool();
}

template<typename Element>
void setOperator(Element &element, const QVariantMap &cell)
{
    const std::optional<QString> text = LinuxBusProperties::string(cell, "operator-id");
    const std::optional<ModemCellFields::Operator> op = text ? ModemCellFields::operatorId(*text) : std::nullopt;
    if (!op) {
        qDebug() << "ModemCellInfo operator-id skipped:" << text.value_or(QString());
        return;
    }
    element.setCountryCode(op->mcc);
    element.setNetworkId(op->mnc);
}
}

const QVariantMap *ModemCellInfo::findServing(const QList<QVariantMap> &cells, quint32 *type)
{
    for (const QVariantMap &cell : cells) {
        const quint32 t = cellType(cell);
        if (isServing(cell) && (t == CellTypeGsm || t == CellTypeUmts)) {
            *type = t;
            return &cell;
        }
    }
    return nullptr;
}

ModemCellInfo::Result ModemCellInfo::fromCells(const QList<QVariantMap> &cells)
{
    Result result;
    quint32 type = 0;
    const QVariantMap *serving = findServing(cells, &type);
    std::unique_ptr<VomuElementGSM> gsm = serving && type == CellTypeGsm ? gsmCell(*serving) : nullptr;
    std::unique_ptr<VomuElementWCDMA> umts = serving && type == CellTypeUmts ? umtsCell(*serving) : nullptr;
    for (const QVariantMap &cell : cells) {
        if (&cell == serving)
            continue;
        if (gsm && cellType(cell) == CellTypeGsm && !isServing(cell))
            gsm->appendNeighbourCell(gsmNeighbour(cell));
        else if (umts && cellType(cell) == CellTypeUmts && !isServing(cell))
            umts->appendNeighbourCell(umtsRecord(cell));
        else
            ++result.skipped;
    }
    if (gsm)
        result.serving = std::move(gsm);
    else if (umts)
        result.serving = std::move(umts);
    if (result.skipped > 0)
        qDebug() << "[INFO] ModemCellInfo::fromCells() cells skipped (other radio type or not GSM/UMTS):"
                 << result.skipped;
    if (result.serving)
        result.serving->setTimestamp(long(QDateTime::currentSecsSinceEpoch()));
    return result;
}

std::unique_ptr<VomuElementGSM> ModemCellInfo::gsmCell(const QVariantMap &cell)
{
    auto element = std::make_unique<VomuElementGSM>();
    setOperator(*element, cell);
    if (const auto lac = ModemCellFields::hexField(cell, "lac", MaxCode16))
        element->setLocationAreaCode(uint16_t(*lac));
    if (const auto ci = ModemCellFields::hexField(cell, "ci", MaxCode16))
        element->setCellId(uint16_t(*ci));
    if (const auto rx = ModemCellFields::unsignedField(cell, "rx-level", MaxRxLevel))
        element->setPowerRx(uint8_t(*rx));
    if (const auto ta = ModemCellFields::unsignedField(cell, "timing-advance", MaxTimingAdvance))
        element->setTimingAdvance(uint8_t(*ta));
    return element;
}

VomuElementGSM::NeighbourCell ModemCellInfo::gsmNeighbour(const QVariantMap &cell)
{
    const auto bsic = ModemCellFields::hexField(cell, "base-station-id", MaxBsic);
    const auto arfcn = ModemCellFields::unsignedField(cell, "arfcn", MaxArfcn);
    VomuElementGSM::NeighbourCell neighbour(uint8_t(bsic.value_or(255)), uint16_t(arfcn.value_or(0xFFFF)));
    if (const auto rx = ModemCellFields::unsignedField(cell, "rx-level", MaxRxLevel))
        neighbour.setPowerRx(uint8_t(*rx));
    if (const auto lac = ModemCellFields::hexField(cell, "lac", MaxCode16))
        neighbour.setLocationAreaCode(uint16_t(*lac));
    if (const auto ci = ModemCellFields::hexField(cell, "ci", MaxCode16))
        neighbour.setCellId(uint16_t(*ci));
    return neighbour;
}

std::unique_ptr<VomuElementWCDMA> ModemCellInfo::umtsCell(const QVariantMap &cell)
{
    auto element = std::make_unique<VomuElementWCDMA>();
    setOperator(*element, cell);
    if (const auto lac = ModemCellFields::hexField(cell, "lac", MaxCode16))
        element->setLocationAreaCode(uint16_t(*lac));
    if (const auto ci = ModemCellFields::hexField(cell, "ci", MaxUtranCellId))
        element->setUcId(*ci);
    element->appendNeighbourCell(umtsRecord(cell));
    return element;
}

VomuElementWCDMA::NeighbourCell ModemCellInfo::umtsRecord(const QVariantMap &cell)
{
    VomuElementWCDMA::NeighbourCell record;
    if (const auto ci = ModemCellFields::hexField(cell, "ci", MaxUtranCellId))
        record.ucId = *ci;
    if (const auto uarfcn = ModemCellFields::unsignedField(cell, "frequency-fdd-dl", MaxUarfcn))
        record.uarfcnDl = uint16_t(*uarfcn);
    if (const auto psc = ModemCellFields::unsignedField(cell, "psc", MaxPsc))
        record.pCpich = uint16_t(*psc);
    if (const auto rscp = ModemCellFields::realField(cell, "rscp", -140.0, 0.0))
        record.rscp = VomuElementWCDMA::rscpLevelFromDbm(*rscp);
    if (const auto ecio = ModemCellFields::realField(cell, "ecio", -50.0, 0.0))
        record.ecn0 = VomuElementWCDMA::ecn0LevelFromDb(*ecio);
    return record;
}
