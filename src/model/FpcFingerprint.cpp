#include "FpcFingerprint.h"

#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuObservationElement.h"

#include <QDebug>
#include <QStringList>

namespace {

void info(const QString &text)
{
    qDebug().noquote() << "[INFO]" << text;
}

QString num(qint64 value)
{
    return QString::number(value);
}

// An element is only taken when its id matches its real type: every
// consumer downstream casts by id.
bool isGsm(const VomuObservationElement *e)
{
    return e->elementId() == VomuObservationElement::ElementIdGSM && dynamic_cast<const VomuElementGSM *>(e);
}

bool isWcdma(const VomuObservationElement *e)
{
    return e->elementId() == VomuObservationElement::ElementIdWCDMA && dynamic_cast<const VomuElementWCDMA *>(e);
}

bool isWlan(const VomuObservationElement *e)
{
    return e->elementId() == VomuObservationElement::ElementIdWLAN && dynamic_cast<const VomuElementWLAN *>(e);
}

void printGsm(const VomuElementGSM &cell)
{
    info(QStringLiteral("VomuElementGSM ["));
    info(QStringLiteral("\t Ts: ") + num(cell.timestamp()));
    info(QStringLiteral("\t MCC: ") + num(cell.countryCode()));
    info(QStringLiteral("\t MNC: ") + num(cell.networkId()));
    info(QStringLiteral("\t LAC: ") + num(cell.locationAreaCode()));
    info(QStringLiteral("\t CellID: ") + num(cell.cellId()));
    if (cell.powerRx() != 255)
        info(QStringLiteral("\t Power Rx: ") + num(cell.powerRx()));
    if (cell.timingAdvanceSet())
        info(QStringLiteral("\t TA: ") + num(cell.timingAdvance()));
    info(QStringLiteral("\t Neighbor cell count: ") + num(cell.neighbourCellCount()));
    for (int i = 0; i < cell.neighbourCellCount(); ++i) {
        const VomuElementGSM::NeighbourCell n = cell.neighbourCell(i);
        info(QStringLiteral("\t VomuElementGSM::NeighborCell ["));
        info(QStringLiteral("\t\t BSIC: ") + num(n.color()));
        if (n.powerRx() != 255)
            info(QStringLiteral("\t\t Rx level: ") + num(n.powerRx()));
        info(QStringLiteral("\t\t BCCH: ") + num(n.frequency()));
        info(QStringLiteral("\t / VomuElementGSM::NeighborCell]"));
    }
    info(QStringLiteral("/ VomuElementGSM]"));
}

void printWcdma(const VomuElementWCDMA &cell)
{
    info(QStringLiteral("VomuObservationElement Type = WCDMA"));
    info(QStringLiteral("VomuObservationElement Timestamp = ") + num(cell.timestamp()));
    info(QStringLiteral("VomuElementWCDMA ["));
    info(QStringLiteral("\t Ts: ") + num(cell.timestamp()));
    info(QStringLiteral("\t MCC: ") + num(cell.countryCode()));
    info(QStringLiteral("\t MNC: ") + num(cell.networkId()));
    info(QStringLiteral("\t UC-ID: ") + num(cell.ucId()));
    info(QStringLiteral("\t Neighbor cell count: ") + num(cell.neighbourCellCount()));
    for (int i = 0; i < cell.neighbourCellCount(); ++i) {
        const VomuElementWCDMA::NeighbourCell n = cell.neighbourCell(i);
        info(QStringLiteral("\t VomuElementWCDMA::NeighborCell ["));
        if (n.ucId != 0xFFFFFFFFu)
            info(QStringLiteral("\t\t UC-ID: ") + num(n.ucId));
        if (n.pCpich != 0xFFFF)
            info(QStringLiteral("\t\t P-CPICH: ") + num(n.pCpich));
        if (n.uarfcnDl != 0xFFFF)
            info(QStringLiteral("\t\t UARFCN_DL: ") + num(n.uarfcnDl));
        if (n.rssi != 255)
            info(QStringLiteral("\t\t RSSI: ") + num(n.rssi));
        if (n.ecn0 != 255)
            info(QStringLiteral("\t\t ECN0: ") + num(n.ecn0));
        if (n.rscp != 255)
            info(QStringLiteral("\t\t RSCP: ") + num(n.rscp));
        if (n.pathloss != 255)
            info(QStringLiteral("\t\t Pathloss: ") + num(n.pathloss));
        info(QStringLiteral("\t / VomuElementWCDMA::NeighborCell]"));
    }
    info(QStringLiteral("/ VomuElementWCDMA]"));
}

QString macText(const VomuWlanMacAddress &mac)
{
    QStringList bytes;
    for (int i = 0; i < VomuWlanMacAddress::kSize; ++i) {
        if (mac.isByteSet(i))
            bytes << QStringLiteral("%1").arg(mac.macByte(i), 2, 16, QLatin1Char('0'));
    }
    return bytes.join(QLatin1Char(':'));
}

void printWlan(const VomuElementWLAN &ap)
{
    info(QStringLiteral("[ ElementId: WLAN: "));
    info(QStringLiteral("\tMAC:\t") + macText(ap.mac()));
    if (ap.powerRxSet())
        info(QStringLiteral("\tPowRx:\t") + num(ap.powerRx()));
    if (ap.powerTxSet())
        info(QStringLiteral("\tPowTx:\t") + num(ap.powerTx()));
    if (ap.rssiSet())
        info(QStringLiteral("\tRSSI:\t") + num(ap.rssi()));
    info(QStringLiteral("/ WLAN ]"));
}

} // namespace

FpcFingerprint::FpcFingerprint() : QObject(nullptr), m_time(QDateTime::currentDateTimeUtc()) {}

FpcFingerprint::FpcFingerprint(const FpcFingerprint &other)
    : QObject(nullptr), m_id(other.m_id), m_dataMask(other.m_dataMask), m_time(other.m_time),
      m_position(other.m_position), m_cellMeasurements(other.m_cellMeasurements),
      m_wlanMeasurements(other.m_wlanMeasurements), m_radioType(other.m_radioType)
{}

FpcFingerprint &FpcFingerprint::operator=(const FpcFingerprint &other)
{
    if (this != &other) {
        m_id = other.m_id;
        m_dataMask = other.m_dataMask;
        m_time = other.m_time;
        m_position = other.m_position;
        m_cellMeasurements = other.m_cellMeasurements;
        m_wlanMeasurements = other.m_wlanMeasurements;
        m_radioType = other.m_radioType;
    }
    return *this;
}

FpcFingerprint::~FpcFingerprint() = default;

void FpcFingerprint::setPosition(const FpcPosition &position)
{
    m_position = position;
    m_dataMask |= GPS;
}

void FpcFingerprint::setMeasurements(const VomuMeasurements &m)
{
    bool cellsReplaced = false;
    bool wlanReplaced = false;
    for (int i = 0; i < m.count(); ++i) {
        const VomuObservationElement *element = m.element(i);
        if (isGsm(element) || isWcdma(element)) {
            if (!cellsReplaced) {
                m_cellMeasurements.clear();
                cellsReplaced = true;
            }
            m_cellMeasurements.append(element->clone());
            m_dataMask |= Cell;
            int neighbours = 0;
            if (isGsm(element)) {
                m_radioType = RadioGSM;
                neighbours = static_cast<const VomuElementGSM *>(element)->neighbourCellCount();
            } else {
                m_radioType = RadioWCDMA;
                neighbours = static_cast<const VomuElementWCDMA *>(element)->neighbourCellCount();
            }
            if (neighbours != 0)
                m_dataMask |= NeighborCell;
        } else if (isWlan(element)) {
            if (!wlanReplaced) {
                m_wlanMeasurements.clear();
                wlanReplaced = true;
            }
            m_wlanMeasurements.append(element->clone());
            m_dataMask |= WLAN;
        } else {
            qDebug() << "FpcFingerprint::setMeasurements() Skipping element with id" << element->elementId();
        }
    }
}

VomuMeasurements FpcFingerprint::measurements() const
{
    VomuMeasurements all(m_cellMeasurements);
    for (int i = 0; i < m_wlanMeasurements.count(); ++i) {
        const VomuObservationElement *element = m_wlanMeasurements.element(i);
        if (element->elementId() == VomuObservationElement::ElementIdWLAN)
            all.append(element->clone());
    }
    return all;
}

void FpcFingerprint::print() const
{
    info(QStringLiteral("FpcFingerprint ["));
    if (hasPosition())
        m_position.print();
    printMeasurements(measurements());
    info(QStringLiteral("/ FpcFingerprint ]"));
}

void FpcFingerprint::printMeasurements(const VomuMeasurements &measurements)
{
    qDebug() << "VomuMeasurements has" << measurements.count() << "elements";
    for (int i = 0; i < measurements.count(); ++i) {
        const VomuObservationElement *element = measurements.element(i);
        if (isGsm(element))
            printGsm(*static_cast<const VomuElementGSM *>(element));
        else if (isWcdma(element))
            printWcdma(*static_cast<const VomuElementWCDMA *>(element));
        else if (isWlan(element))
            printWlan(*static_cast<const VomuElementWLAN *>(element));
        else
            info(QStringLiteral("Invalid element id: ") + num(element->elementId()));
    }
    qDebug() << "RadioInformationController::printMeasurements() ->";
}

void FpcFingerprint::registerMetaTypes()
{
    qRegisterMetaType<FpcFingerprint>("FpcFingerprint");
    qRegisterMetaType<FpcPosition>("FpcPosition");
    qRegisterMetaType<VomuMeasurements>("VomuMeasurements");
}
