#include "FpcMeasurementCollector.h"

#include "FpcConfig.h"
#include "RadioMeasurements.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QSet>

#include <memory>

namespace {

const char SboxCell[] =
    "<wCell mcc=\"244\" mnc=\"42\" ucid=\"100000\" timestamp=\"0\"><wNCell ucid=\"100000\" "
    "sCode=\"100\" uarfcn_dl=\"10000\" utraCarrierRssi=\"90\" rscp=\"63\" pathloss=\"66\"/></wCell>";
const char SboxAccessPoint[] = "<wlan mac=\"ee:ee:bb:77:44:99\" powRx=\"23\" timestamp=\"0\"/>";
constexpr int kUpdateIntervalMs = 10000;

// Collectors that exist now: a scan result names its collector only by an
// untyped context pointer and may arrive after the collector is gone.
QSet<const void *> &liveCollectors()
{
    static QSet<const void *> collectors;
    return collectors;
}

} // namespace

FpcMeasurementCollector::FpcMeasurementCollector(QObject *parent) : QObject(parent)
{
    qDebug() << "FpcMeasurementCollector::FpcMeasurementCollector() <-";
    qRegisterMetaType<VomuMeasurements>();
    m_wlanScanTimer.setSingleShot(true);
    connect(&m_wlanScanTimer, &QTimer::timeout, this, &FpcMeasurementCollector::wlanScanResultTimeout);
    liveCollectors().insert(this);
    qDebug() << "FpcMeasurementCollector::FpcMeasurementCollector() ->";
}

FpcMeasurementCollector::~FpcMeasurementCollector()
{
    qDebug() << "FpcMeasurementCollector::~FpcMeasurementCollector() <-";
    liveCollectors().remove(this);
    stopActiveGpsFixes();
    qDebug() << "FpcMeasurementCollector::~FpcMeasurementCollector() ->";
}

bool FpcMeasurementCollector::isSandbox()
{
    return QCoreApplication::arguments().contains(QStringLiteral("--sbox"));
}

void FpcMeasurementCollector::collectMeasurements(bool needWlan)
{
    qDebug() << "FpcMeasurementCollector::collectMeasurements() <-";
    m_measurements.clear();
    // The fixed test cell does not depend on the library's coverage.
    if (isSandbox() || RadioMeasurements::mobileMeasurementsValid(0))
        getCellMeasurements();
    else
        qDebug() << "FpcMeasurementCollector::collectMeasurements() Mobile measurements not available";

    if (!needWlan) {
        qDebug() << "FpcMeasurementCollector::collectMeasurements() WLAN mesurements not requested";
        announce();
    } else {
        const qint64 interval = FpcConfig::getIntValue(QStringLiteral("wlan_scan_interval"), 60);
        const qint64 sinceLastScan = QDateTime::currentMSecsSinceEpoch() - m_lastWlanScanTime;
        // A negative difference means the wall clock was set back: the last
        // scan's time says nothing then, so scan rather than wait for the
        // clock to catch up.
        if (sinceLastScan > interval || sinceLastScan < 0) {
            getWlanMeasurements();
        } else {
            qDebug() << "[INFO] FpcMeasurementCollector::collectMeasurements() WLAN scan interval not exceeded - "
                        "no WLAN measurements";
            announce();
        }
    }
    qDebug() << "FpcMeasurementCollector::collectMeasurements() ->";
}

void FpcMeasurementCollector::getCellMeasurements()
{
    qDebug() << "FpcMeasurementCollector::getCellMeasurements() <-";
    if (isSandbox()) {
        auto cell = std::make_unique<VomuElementWCDMA>();
        if (cell->internalize(SboxCell))
            m_measurements.append(cell.release());
    } else {
        RadioMeasurements::getMobileMeasurements(m_measurements);
    }
    qDebug() << "[INFO] FpcMeasurementCollector::getCellMeasurements() received" << m_measurements.count()
             << "mobile measurements";
    qDebug() << "FpcMeasurementCollector::getCellMeasurements() ->";
}

void FpcMeasurementCollector::getWlanMeasurements()
{
    qDebug() << "FpcMeasurementCollector::getWlanMeasurements() <-";
    if (isSandbox()) {
        VomuMeasurements fake;
        auto accessPoint = std::make_unique<VomuElementWLAN>();
        if (accessPoint->internalize(SboxAccessPoint))
            fake.append(accessPoint.release());
        qDebug() << "[INFO] FpcMeasurementCollector::getWlanMeasurements() --sbox defined - return fake";
        wlanScanResultCallback(this, fake);
    } else if (!m_wlanScanTimer.isActive()) {
        qDebug() << "FpcMeasurementCollector::getWlanMeasurements() Start scan";
        m_wlanScanTimer.start(WlanScanTimeoutMs);
        if (RadioMeasurements::wlanWemScan(&FpcMeasurementCollector::wlanScanResultCallback, this) != 0)
            qDebug() << "FpcMeasurementCollector::getWlanMeasurements() Scan refused, waiting for the time-out";
    } else {
        qDebug() << "[INFO] FpcMeasurementCollector::getWlanMeasurements() WLAN scan already issued";
    }
    qDebug() << "FpcMeasurementCollector::getWlanMeasurements() ->";
}

void FpcMeasurementCollector::wlanScanResultCallback(void *context, VomuMeasurements result)
{
    qDebug() << "FpcMeasurementCollector::wlanScanResultCallback() <-";
    if (!context || !liveCollectors().contains(context)) {
        qWarning() << "FpcMeasurementCollector::wlanScanResultCallback() Collector no longer exists - result of"
                   << result.count() << "wlan measurements dropped";
    } else {
        static_cast<FpcMeasurementCollector *>(context)->appendWlanResult(result);
    }
    qDebug() << "FpcMeasurementCollector::wlanScanResultCallback() ->";
}

void FpcMeasurementCollector::appendWlanResult(const VomuMeasurements &result)
{
    qDebug() << "[INFO] FpcMeasurementCollector::wlanScanResultCallback() received" << result.count()
             << "wlan measurements";
    m_wlanScanTimer.stop();
    for (int i = 0; i < result.count(); ++i) {
        const VomuObservationElement *element = result.element(i);
        // Only access points belong here; anything else would be read as one.
        if (element->elementId() != VomuObservationElement::ElementIdWLAN) {
            qDebug() << "FpcMeasurementCollector::wlanScanResultCallback() Skipped element of id"
                     << element->elementId();
            continue;
        }
        auto *copy = new VomuElementWLAN(static_cast<const VomuElementWLAN &>(*element));
        m_measurements.append(copy);
        qDebug() << "FpcMeasurementCollector::wlanScanResultCallback() Appended WLAN object @"
                 << static_cast<const void *>(copy);
    }
    onWlanScanFinished();
}

void FpcMeasurementCollector::wlanScanResultTimeout()
{
    qDebug() << "FpcMeasurementCollector::wlanScanResultTimeout() <-";
    wlanScanResultCallback(this, VomuMeasurements());
    qDebug() << "FpcMeasurementCollector::wlanScanResultTimeout() ->";
}

void FpcMeasurementCollector::onWlanScanFinished()
{
    qDebug() << "FpcMeasurementCollector::onWlanScanFinished() <-";
    m_lastWlanScanTime = QDateTime::currentMSecsSinceEpoch();
    announce();
    qDebug() << "FpcMeasurementCollector::onWlanScanFinished() ->";
}

void FpcMeasurementCollector::announce()
{
    // Receivers get their own copy: one that starts the next cycle from its
    // slot empties m_measurements while the signal is still being delivered.
    const VomuMeasurements snapshot(m_measurements);
    emit measurementsAvailable(snapshot);
}

void FpcMeasurementCollector::startActiveGpsFixes()
{
    qDebug() << "FpcMeasurementCollector::startActiveGpsFixes() <-";
    if (m_positionSource) {
        qDebug() << "FpcMeasurementCollector::startActiveGpsFixes()"
                 << "QGeoPositionInfoSource is already running";
        qDebug() << "FpcMeasurementCollector::startActiveGpsFixes() ->";
        return;
    }
    m_positionSource = QGeoPositionInfoSource::createDefaultSource(this);
    if (!m_positionSource) {
        qDebug() << "FpcMeasurementCollector::startActiveGpsFixes()"
                 << "QGeoPositionInfoSource object not created";
        qCritical() << "FpcMeasurementCollector::startActiveGpsFixes()"
                    << "Unable to start GPS";
        qDebug() << "FpcMeasurementCollector::startActiveGpsFixes() ->";
        return;
    }
    connect(m_positionSource, &QGeoPositionInfoSource::positionUpdated, this,
            &FpcMeasurementCollector::positionUpdated);
    connect(m_positionSource, &QGeoPositionInfoSource::errorOccurred, this, &FpcMeasurementCollector::positionError);
    m_positionSource->setPreferredPositioningMethods(QGeoPositionInfoSource::AllPositioningMethods);
    m_positionSource->setUpdateInterval(kUpdateIntervalMs);
    m_positionSource->startUpdates();
    qDebug() << "[INFO] FpcMeasurementCollector::startActiveGpsFixes()"
             << "Location update started";
    qDebug() << "FpcMeasurementCollector::startActiveGpsFixes() ->";
}

void FpcMeasurementCollector::stopActiveGpsFixes()
{
    qDebug() << "FpcMeasurementCollector::stopActiveGpsFixes() <-";
    if (!m_positionSource) {
        qDebug() << "FpcMeasurementCollector::stopActiveGpsFixes()"
                 << "QGeoPositionInfoSource is already null";
        qDebug() << "FpcMeasurementCollector::stopActiveGpsFixes() ->";
        return;
    }
    m_positionSource->stopUpdates();
    qDebug() << "[INFO] FpcMeasurementCollector::stopActiveGpsFixes()"
             << "Location updates stopped";
    m_positionSource->disconnect();
    delete m_positionSource;
    m_positionSource = nullptr;
    qDebug() << "FpcMeasurementCollector::stopActiveGpsFixes()"
             << "QGeoPositionInfoSource destroyed";
    qDebug() << "FpcMeasurementCollector::stopActiveGpsFixes() ->";
}

void FpcMeasurementCollector::positionUpdated(const QGeoPositionInfo &info)
{
    qDebug() << "FpcMeasurementCollector::positionUpdated()"
             << "Position updated:" << info;
}

void FpcMeasurementCollector::updateTimeout()
{
    qDebug() << "FpcMeasurementCollector::updateTimeout()"
             << "GPS update timeout";
}

void FpcMeasurementCollector::positionError(QGeoPositionInfoSource::Error error)
{
    // Qt 6 reports a missed update as an error of its own kind.
    if (error == QGeoPositionInfoSource::UpdateTimeoutError)
        updateTimeout();
    else
        qDebug() << "FpcMeasurementCollector::positionError()"
                 << "GPS error" << error;
}
