#include "FpcEventHandler.h"

#include "FpcBufferManager.h"
#include "FpcBusSignal.h"
#include "FpcDropCounters.h"
#include "FpcExceptionGuard.h"
#include "FpcKeptSettings.h"
#include "FpcLog.h"
#include "FpcPositionMessage.h"
#include "FpcSLPGWConnector.h"
#include "FpcStatusReport.h"
#include "FpcTriggerSchedule.h"
#include "FpcUploader.h"
#include "PlatformEvents.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QDebug>
#include <QEvent>

#include <climits>

namespace {

const char PositioningService[] = "com.vexlo.positioningd.vomu";
const char PositioningPath[] = "/com/vexlo/positioningd/vomu";
const char PositioningInterface[] = "com.vexlo.positioningd.vomu";
const char ConnectivityPath[] = "/com/vexlo/wem2";
const char ConnectivityInterface[] = "com.vexlo.wem2";
const char DeviceStateInterface[] = "com.vexlo.hesk.signal";
const int StartEventHint = 1001;
const int StartFailureStatus = 255;

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

// A decimal command-line value, or fallback when it is missing or not a number.
int argumentValue(const QStringList &arguments, int index, int fallback)
{
    if (index >= arguments.size())
        return fallback;
    bool ok = false;
    const int value = arguments.at(index).toInt(&ok, 10);
    return ok ? value : fallback;
}

} // namespace

FpcEventHandler::FpcEventHandler(QObject *parent)
    : QDBusAbstractAdaptor(parent), m_startEventType(QEvent::registerEventType(StartEventHint))
{
    qDebug() << "FpcEventHandler::FpcEventHandler() <-";
    FpcFingerprint::registerMetaTypes();
    if (FpcLog::hasLogFile())
        qDebug() << "FpcEventHandler::FpcEventHandler() Tracefile set from commandline - ignore LTT loggin check";
    else
        restartLogging();

    m_communityUpload.apply("FpcEventHandler::FpcEventHandler()");
    subscribeOwnInterfaceSignals();
    readFakeFixArguments();

    connect(&m_creator, &FpcCreator::fingerprintCreated, this, &FpcEventHandler::onNewEntryCreated);
    connect(&m_creator, &FpcCreator::collectMeasurements, this, &FpcEventHandler::onCollectMeasurements);
    connect(&m_collector, &FpcMeasurementCollector::measurementsAvailable, this,
            &FpcEventHandler::onMeasurementsAvailable);
    // The buffer manager's fpStored is connected when the buffer is opened
    // by the start event (bufferManager()): opening it here would run the
    // database set-up before the service is even on the bus.
    m_uploader = FpcUploader::instance();
    connect(m_uploader, &FpcUploader::uploadFinished, this, &FpcEventHandler::onUploadFinished);
    connect(m_uploader, &FpcUploader::uploadError, this, &FpcEventHandler::onUploadError);
    connectBufferToUploader();

    subscribePeerSignals();

    m_freeWlanResultsTimer.setSingleShot(true);
    connect(&m_freeWlanResultsTimer, &QTimer::timeout, this, &FpcEventHandler::disablePassiveWlanScanResultsAvailable);
    connect(&m_triggerTimer, &QTimer::timeout, this, &FpcEventHandler::onTimerTriggerTimeout);
    startTimerTrigger();
    qDebug() << "FpcEventHandler::FpcEventHandler() ->";
}

// The buffer and the gateway connector know nothing of each other: the
// connector takes its report from the buffer, and the buffer asks the
// uploader for an attach, through what is installed here.
void FpcEventHandler::connectBufferToUploader()
{
    FpcSLPGWConnector::setReportSource(
        [](QByteArray &report) { return FpcBufferManager::instance().createFpReport(report); });
    FpcUploader *uploader = m_uploader;
    FpcBufferManager::setUploadRequest({[uploader](SlpGwNetworkUsage kind) { return uploader->isPendingAttach(kind); },
                                        [uploader](SlpGwNetworkUsage kind) { uploader->fprAttach(kind); }});
}

FpcEventHandler::~FpcEventHandler()
{
    qDebug() << "FpcEventHandler::~FpcEventHandler()";
}

void FpcEventHandler::setLogFile(const QString &path)
{
    FpcLog::setLogFile(path);
}

bool FpcEventHandler::isSandbox()
{
    return QCoreApplication::arguments().contains(QStringLiteral("--sbox"));
}

FpcBusSignal *FpcEventHandler::addBusSignal(const QString &service, const QString &path, const QString &interface,
                                            const QString &member, const QString &signature)
{
    auto *busSignal = new FpcBusSignal(service, path, interface, member, signature, this);
    busSignal->subscribe(QDBusConnection::systemBus());
    return busSignal;
}

void FpcEventHandler::subscribeOwnInterfaceSignals()
{
    const QString interface = text(InterfaceName);
    // Signals without arguments are taken whatever they carry.
    const struct
    {
        const char *member, *signature;
    } controlSignals[] = {{"quit", nullptr},
                          {"restartLogging", nullptr},
                          {"setConfigurationValue", "ss"},
                          {"activeMode", "b"}};
    for (const auto &control : controlSignals) {
        connect(addBusSignal(QString(), QString(), interface, text(control.member),
                             control.signature ? text(control.signature) : QString()),
                &FpcBusSignal::received, this, &FpcEventHandler::onControlSignal);
    }
}

void FpcEventHandler::subscribePeerSignals()
{
    connect(addBusSignal(QString(), text(ConnectivityPath), text(ConnectivityInterface), QStringLiteral("state_sig"),
                         QStringLiteral("su")),
            &FpcBusSignal::received, this, &FpcEventHandler::onStateSignal);
    connect(addBusSignal(QString(), QString(), text(DeviceStateInterface), QStringLiteral("shutdown_ind"), QString()),
            &FpcBusSignal::received, this, &FpcEventHandler::quit);
    // A platform provider that watches the system's own services reports in
    // the same shapes as the peer daemons.
    if (PlatformEvents *events = PlatformEvents::instance()) {
        connect(events, &PlatformEvents::wlanSearchState, this, &FpcEventHandler::onWem2SearchStateChange);
        connect(events, &PlatformEvents::passiveFix, this, [this](const QVariantList &fields) {
            const FpcPositionMessage m = FpcPositionMessage::fromArguments(fields);
            positionMessage(m.lat, m.lon, m.alt, m.along, m.ortho, m.angle, m.ualt, m.speed, m.year, m.day, m.month,
                            m.hours, m.minutes, m.msecs);
        });
    }
}

void FpcEventHandler::readFakeFixArguments()
{
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--gps"))
            m_fakeFixInterval = argumentValue(arguments, i + 1, 5);
        else if (arguments.at(i) == QLatin1String("--gps-count"))
            m_fakeFixCount = argumentValue(arguments, i + 1, 9999);
    }
}

bool FpcEventHandler::event(QEvent *e)
{
    if (e->type() == m_startEventType) {
        startComponents();
        return true;
    }
    return QDBusAbstractAdaptor::event(e);
}

FpcBufferManager &FpcEventHandler::bufferManager()
{
    FpcBufferManager &buffer = FpcBufferManager::instance();
    if (m_connectedBuffer != &buffer) {
        connect(&buffer, &FpcBufferManager::fpStored, this, &FpcEventHandler::onNewFingerprintStored);
        m_connectedBuffer = &buffer;
    }
    return buffer;
}

void FpcEventHandler::startComponents()
{
    qDebug() << "FpcEventHandler::startComponents() <-";
    qDebug() << "FpcEventHandler::startComponents() Start buffer manager";
    QString error;
    if (!FpcExceptionGuard::run(
            "FpcEventHandler::startComponents()", [this] { bufferManager(); }, &error)) {
        // Without its buffer the daemon cannot work: end the loop so that
        // main reports the failed start.
        qCritical() << "main() Cannot start vomu-fpc -- ERROR: " << error;
        m_startFailed = true;
        QCoreApplication::exit(StartFailureStatus);
        qDebug() << "FpcEventHandler::startComponents() ->";
        return;
    }

    if (m_fakeFixInterval < 0 || m_fakeFixCount < 1) {
        qDebug() << "FpcEventHandler::startComponents() Start listening GPS";
        onStartPassiveGpsFixes();
    } else {
        qDebug() << "FpcEventHandler::startComponents() Enabling fake GPS fixes";
        scheduleFakeFix();
    }
    qDebug() << "FpcEventHandler::startComponents() ->";
}

// ---------------------------------------------------------------------------
// D-Bus interface

void FpcEventHandler::start()
{
    if (!callerMayControl("start"))
        return;
    qDebug() << "FpcEventHandler::start() FPC started with dbus";
}

void FpcEventHandler::quit()
{
    if (!callerMayControl("quit"))
        return;
    qDebug() << "FpcEventHandler::quit() <-";
    QCoreApplication::quit();
    qDebug() << "FpcEventHandler::quit() ->";
}

void FpcEventHandler::restartLogging()
{
    if (!callerMayControl("restartLogging"))
        return;
    FpcLog::restartLogging();
}

void FpcEventHandler::setConfigurationValue(const QString &key, const QString &value)
{
    if (!callerMayControl("setConfigurationValue"))
        return;
    qDebug() << "FpcEventHandler::setConfigurationValue() <-";
    if (key.isEmpty()) {
        qWarning() << "FpcEventHandler::setConfigurationValue() Empty key refused";
    } else if (key.size() > MaxKeyLength || value.size() > MaxValueLength) {
        qWarning() << "FpcEventHandler::setConfigurationValue() Refused: key of" << key.size() << "characters, value of"
                   << value.size() << "characters (limits" << MaxKeyLength << "and" << MaxValueLength << ")";
    } else if (key == QLatin1String(FpcCommunityUpload::Key) && !FpcCommunityUpload::accepts(value.trimmed())) {
        qWarning() << "FpcEventHandler::setConfigurationValue()" << key << "refused:" << value
                   << "is not an http(s) URL with a host";
    } else {
        FpcConfig::addKey(key, value);
        m_communityUpload.apply("FpcEventHandler::setConfigurationValue()");
        if (FpcKeptSettings::isKept(key))
            FpcKeptSettings::save();
    }
    qDebug() << "FpcEventHandler::setConfigurationValue() ->";
}

void FpcEventHandler::activeMode(bool enabled)
{
    if (!callerMayControl("activeMode"))
        return;
    qDebug() << "FpcEventHandler::activeMode() <-";
    FpcExceptionGuard::run("FpcEventHandler::activeMode()", [this, enabled] {
        if (enabled) {
            m_collector.startActiveGpsFixes();
        } else {
            m_collector.stopActiveGpsFixes();
            onStartPassiveGpsFixes();
        }
    });
    if (m_statusSubscribed)
        emit activeCollectionStatus(m_collector.isActiveGpsRunning());
    qDebug() << "FpcEventHandler::activeMode() ->";
}

QString FpcEventHandler::forcedUpload()
{
    if (!callerMayControl("forcedUpload"))
        return QString();
    qDebug() << "FpcEventHandler::forcedUpload() <-";
    qDebug() << "FpcEventHandler::forcedUpload() Starting to send fingerprint prepare request to SLPGW ...";
    int result = 0;
    QString thrown;
    const bool returned = FpcExceptionGuard::run(
        "FpcEventHandler::forcedUpload()", [&] { result = m_uploader->fprPrepare(); }, &thrown);
    QString answer;
    if (returned && result == 0) {
        answer = QStringLiteral("Upload to server started");
    } else {
        if (returned && result == FpcUploader::SwitchedOff) {
            answer = QStringLiteral("Upload is switched off");
        } else if (returned) {
            qDebug() << "FpcEventHandler::forcedUpload() FCUploader::fpcCreated() returned: " << result;
            answer = QStringLiteral("Starting to upload failed");
        } else {
            qDebug() << "FpcEventHandler::forcedUpload() FCUploader::fpcCreated() returned: " << thrown;
            answer = QStringLiteral("Cannot start upload: ") + thrown;
        }
        returnExportedFingerprints();
        // An attempt that never started is an attempt all the same: a
        // client waiting for the outcome learns it here.
        countUploadOutcome(false);
        emit uploadFinished(false, 0, answer);
    }
    qDebug() << "FpcEventHandler::forcedUpload() ->";
    return answer;
}

// After a forced upload that did not start, fingerprints marked exported go
// back to the buffer - unless an upload is still on its way (the refusal may
// be "a prepare is already under way"): its own outcome deletes or returns
// them, and un-marking them now would leave the uploaded ones stored and
// send them a second time.
void FpcEventHandler::returnExportedFingerprints()
{
    if (FpcUploader::uploadState() != FpcUploader::Idle) {
        qDebug() << "FpcEventHandler::forcedUpload() Upload under way (state" << FpcUploader::uploadState()
                 << ") - its fingerprints stay exported";
        return;
    }
    FpcExceptionGuard::run("FpcEventHandler::forcedUpload()", [this] { bufferManager().cancelExport(); });
}

void FpcEventHandler::onStartPassiveGpsFixes()
{
    if (!callerMayControl("onStartPassiveGpsFixes"))
        return;
    qDebug() << "FpcEventHandler::onStartPassiveGpsFixes() <-";
    if (!m_positionSignal) {
        m_positionSignal = addBusSignal(text(PositioningService), text(PositioningPath), text(PositioningInterface),
                                        QStringLiteral("positionMessage"), text(FpcPositionMessage::Signature));
        connect(m_positionSignal, &FpcBusSignal::received, this, &FpcEventHandler::onPositionMessageSignal);
    } else {
        m_positionSignal->subscribe(QDBusConnection::systemBus());
    }
    requestPassiveFixes();
    qDebug() << "FpcEventHandler::onStartPassiveGpsFixes() ->";
}

// Asks the positioning daemon to broadcast its fixes. The answer carries
// nothing the daemon needs, so the loop does not wait for it; a failure is
// only logged (an absent positioning daemon simply sends no fixes).
void FpcEventHandler::requestPassiveFixes()
{
    QDBusMessage request = QDBusMessage::createMethodCall(text(PositioningService), text(PositioningPath),
                                                          text(PositioningInterface), QStringLiteral("request"));
    request << int(1);
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(request), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher *call) {
        if (call->isError())
            qDebug() << "FpcEventHandler::onStartPassiveGpsFixes() request not answered:" << call->error().name()
                     << call->error().message();
        call->deleteLater();
    });
}

void FpcEventHandler::onNewFingerprintStored(qint64 key)
{
    if (!callerMayControl("onNewFingerprintStored"))
        return;
    qDebug() << "FpcEventHandler::onNewFingerprintStored() <-";
    FpcExceptionGuard::run("FpcEventHandler::onNewFingerprintStored()",
                           [this, key] { m_creator.fingerprintStored(key); });
    if (m_statusSubscribed)
        sendDatabaseStatus();
    qDebug() << "FpcEventHandler::onNewFingerprintStored() ->";
}

void FpcEventHandler::sendStatistics(const QDBusMessage &msg)
{
    qDebug() << "FpcEventHandler::sendStatistics() <-";
    qDebug() << "FpcEventHandler::sendStatistics() message interface:" << msg.interface();
    m_statusSubscribed = true;
    emit activeCollectionStatus(m_collector.isActiveGpsRunning());
    QString error;
    if (!sendDatabaseStatus(&error) && msg.type() == QDBusMessage::MethodCallMessage) {
        // The caller learns that no status came instead of waiting for one.
        msg.setDelayedReply(true);
        QDBusConnection::systemBus().send(
            msg.createErrorReply(QDBusError::Failed, QStringLiteral("Status not available: ") + error));
    }
    qDebug() << "FpcEventHandler::sendStatistics() ->";
}

QString FpcEventHandler::clearBuffer()
{
    if (!callerMayControl("clearBuffer"))
        return QString();
    qDebug() << "FpcEventHandler::cleanupBuffer() <-";
    bool removed = false;
    FpcExceptionGuard::run("FpcEventHandler::cleanupBuffer()", [&] { removed = bufferManager().removeAll(); });
    qDebug() << "FpcEventHandler::cleanupBuffer() ->";
    return removed ? QStringLiteral("All fingerprints deleted") : QStringLiteral("Deleting fingerprints failed");
}

QString FpcEventHandler::configurations()
{
    qDebug() << "FpcEventHandler::configurations() <-";
    const QString xml = FpcConfig::toXml();
    qDebug() << "FpcEventHandler::configurations()\n" << xml;
    qDebug() << "FpcEventHandler::configurations() ->";
    return xml;
}

bool FpcEventHandler::setConfigurations(const QString &xmlConfig)
{
    if (!callerMayControl("setConfigurations"))
        return false;
    qDebug() << "FpcEventHandler::setConfigurations() <-";
    bool result = false;
    if (xmlConfig.size() > MaxConfigurationTextLength) {
        qWarning() << "FpcEventHandler::setConfigurations() Refused: text of" << xmlConfig.size() << "characters (limit"
                   << MaxConfigurationTextLength << ")";
    } else {
        result = FpcConfig::internalizeFromString(xmlConfig);
        m_communityUpload.apply("FpcEventHandler::setConfigurations()");
        // Items before a faulty one are in effect: kept ones are saved either way.
        FpcKeptSettings::save();
        if (!result)
            qWarning() << "FpcEventHandler::setConfigurations() Configuration text refused: not a valid"
                       << "fpcconfig document (items before a faulty one stay in effect)";
    }
    qDebug() << "FpcEventHandler::setConfigurations() <-";
    return result;
}

void FpcEventHandler::onNewEntryCreated(const FpcFingerprint &fp)
{
    qDebug() << "FpcEventHandler::onNewEntryCreated() <-";
    FpcExceptionGuard::run("FpcEventHandler::onNewEntryCreated()", [&] { bufferManager().storeFpEntry(fp); });
    qDebug() << "FpcEventHandler::onNewEntryCreated() ->";
}

// ---------------------------------------------------------------------------
// Status report

bool FpcEventHandler::sendDatabaseStatus(QString *error)
{
    qDebug() << "FpcEventHandler::sendDatabaseStatus() <-";
    QStringList entries;
    quint32 lastUpload = 0, fillRatio = 0, dbSize = 0, dbMaxSize = 0, growth = 0, dailyLimit = 0, lastUploadAmount = 0;
    const bool read = FpcExceptionGuard::run(
        "FpcEventHandler::sendDatabaseStatus()",
        [&] {
            FpcBufferManager &buffer = bufferManager();
            QList<FpcSqlHandler::StoredSummary> summaries;
            buffer.getFingerprintSummaries(summaries);
            entries.reserve(summaries.size());
            for (const FpcSqlHandler::StoredSummary &summary : std::as_const(summaries))
                entries << FpcStatusReport::entry(summary.timeMSecs, summary.dataMask, summary.radioType);
            buffer.getBufferStatistics(lastUpload, fillRatio, dbSize, dbMaxSize, growth, dailyLimit, lastUploadAmount);
        },
        error);
    if (read)
        emit fpStatus(entries, lastUpload, fillRatio, dbSize, dbMaxSize, growth, dailyLimit, lastUploadAmount);
    qDebug() << "FpcEventHandler::sendDatabaseStatus() ->";
    return read;
}

// ---------------------------------------------------------------------------
// GPS fixes

void FpcEventHandler::onPositionMessageSignal(const QDBusMessage &message)
{
    const FpcPositionMessage m = FpcPositionMessage::fromArguments(message.arguments());
    positionMessage(m.lat, m.lon, m.alt, m.along, m.ortho, m.angle, m.ualt, m.speed, m.year, m.day, m.month, m.hours,
                    m.minutes, m.msecs);
}

void FpcEventHandler::positionMessage(double lat, double lon, double alt, double along, double ortho, uchar angle,
                                      ushort ualt, ushort speed, ushort year, uchar day, uchar month, uchar hours,
                                      uchar minutes, ushort msecs)
{
    qDebug() << "FpcEventHandler::positionMessage() <-";
    const FpcPositionMessage m{lat,   lon,  alt, along, ortho, angle,   ualt,
                               speed, year, day, month, hours, minutes, msecs};
    const FpcPosition position = m.toPosition();
    qDebug() << "FpcEventHandler::positionMessage() latitude:" << QString::number(lat, 'f', 10)
             << ", longitude: " << QString::number(lon, 'f', 10);
    qDebug() << "FpcEventHandler::positionMessage() GPS time:"
             << m.fixTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    qDebug() << "FpcEventHandler::positionMessage() microseconds:" << position.timestampMicroseconds();
    qDebug() << "[INFO] FpcEventHandler::positionMessage() GPS position:\n";
    position.print();

    const QString problem = m.problem();
    if (!problem.isEmpty()) {
        qWarning() << "FpcEventHandler::positionMessage() GPS position refused:" << problem;
        qDebug() << "FpcEventHandler::positionMessage() GPS position discarded";
    } else if (position.isValid()) {
        FpcExceptionGuard::run("FpcEventHandler::positionMessage()", [&] { m_creator.newGpsFix(position); });
    } else {
        qDebug() << "FpcEventHandler::positionMessage() GPS position discarded";
    }
    qDebug() << "FpcEventHandler::positionMessage() ->";
}

void FpcEventHandler::scheduleFakeFix()
{
    const qint64 delay = qMin<qint64>(qint64(m_fakeFixInterval) * 1000, INT_MAX);
    QTimer::singleShot(int(delay), this, &FpcEventHandler::sendPositionMessage);
}

void FpcEventHandler::sendPositionMessage()
{
    qDebug() << "FpcEventHandler::sendPositionMessage() <-";
    const FpcPositionMessage m = FpcPositionMessage::generatedFix(QDateTime::currentDateTimeUtc());
    positionMessage(m.lat, m.lon, m.alt, m.along, m.ortho, m.angle, m.ualt, m.speed, m.year, m.day, m.month, m.hours,
                    m.minutes, m.msecs);
    if (m_fakeFixInterval >= 0) {
        --m_fakeFixCount;
        if (m_fakeFixCount > 0)
            scheduleFakeFix();
    }
    qDebug() << "FpcEventHandler::sendPositionMessage() ->";
}

// ---------------------------------------------------------------------------
// Timer trigger

void FpcEventHandler::startTimerTrigger()
{
    qDebug() << "FpcEventHandler::startTimerTrigger() <-";
    m_triggerTimer.stop();
    const FpcTriggerSchedule schedule(FpcTriggerSchedule::fromConfiguration(), QTime::currentTime());
    if (schedule.isOff())
        qDebug() << "FpcEventHandler::startTimerTrigger() Timer is set off."
                 << "Checking again later if the timer is enabled";
    if (schedule.isDaytime())
        qDebug() << "FpcEventHandler::startTimerTrigger() Use daytime multiplier";
    else
        qDebug() << "FpcEventHandler::startTimerTrigger() Use nighttime multiplier";
    qDebug() << "FpcEventHandler::startTimerTrigger() Next timeout occurs after" << schedule.minutes() << "minute(s)";
    bool clamped = false;
    const int ms = schedule.timerMilliseconds(&clamped);
    if (clamped)
        qWarning() << "FpcEventHandler::startTimerTrigger()" << schedule.minutes()
                   << "minute(s) is outside the timer's range; the timer is armed for" << ms << "ms";
    m_triggerTimer.setSingleShot(true);
    m_triggerTimer.start(ms);
    qDebug() << "FpcEventHandler::startTimerTrigger() ->";
}

void FpcEventHandler::onTimerTriggerTimeout()
{
    qDebug() << "FpcEventHandler::onTimerTriggerTimeout() <-";
    // The same settings (and default) the timer was started with.
    const int base = FpcTriggerSchedule::fromConfiguration().baseMinutes;
    if (base < 1) {
        qDebug() << "FpcEventHandler::onTimerTriggerTimeout() Timer trigger"
                 << "has a base value" << base << ". Timer based fingerprint creation is disabled";
    } else {
        qDebug() << "[INFO] FpcEventHandler::onTimerTriggerTimeout() Create fingerprint"
                 << "based on timer timeout";
        FpcExceptionGuard::run("FpcEventHandler::onTimerTriggerTimeout()", [this] { m_creator.createFingerprint(); });
    }
    startTimerTrigger();
    qDebug() << "FpcEventHandler::onTimerTriggerTimeout() ->";
}

// ---------------------------------------------------------------------------
// WLAN scans of other applications

void FpcEventHandler::onStateSignal(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    onWem2SearchStateChange(arguments.at(0).toString(), arguments.at(1).toUInt());
}

void FpcEventHandler::onWem2SearchStateChange(const QString &bearerType, uint state)
{
    const FpcWlanScanWatcher::Reaction reaction =
        m_wlanScanWatcher.onStateChange(bearerType, state, QDateTime::currentMSecsSinceEpoch(),
                                        m_collector.lastWlanScanTime(), FpcWlanScanWatcher::fromConfiguration());
    if (reaction.freeResults) {
        m_freeWlanResults = true;
        m_freeWlanResultsTimer.start(reaction.freeResultsMs);
    }
    if (reaction.createFingerprint)
        FpcExceptionGuard::run("FpcEventHandler::onWem2SearchStateChange()", [this] { m_creator.createFingerprint(); });
}

void FpcEventHandler::disablePassiveWlanScanResultsAvailable()
{
    qDebug() << "FpcEventHandler::disablePassiveWlanScanResultsAvailable() <-";
    m_freeWlanResults = false;
    qDebug() << "FpcEventHandler::disablePassiveWlanScanResultsAvailable() ->";
}

// ---------------------------------------------------------------------------
// Measurements

void FpcEventHandler::onCollectMeasurements(bool needWlan)
{
    qDebug() << "FpcEventHandler::onCollectMeasurements() <-";
    if (needWlan && !isSandbox()) {
        const int level = m_deviceInfo.batteryLevel();
        qDebug() << "FpcEventHandler::onCollectMeasurements() Battery level:" << level;
        if (m_freeWlanResults) {
            qDebug() << "FpcEventHandler::onCollectMeasurements() Free WLAN scan"
                     << "results available";
        } else {
            const int minimum = FpcConfig::getIntValue(QStringLiteral("min_battery_level_for_wlan_scan"), 25);
            if (level < minimum) {
                needWlan = false;
                FpcDropCounters::add(FpcDropCounters::BatteryRule);
                qDebug() << "[INFO] FpcEventHandler::onCollectMeasurements() Battery level"
                         << "too low for WLAN scans (current:" << level << " minimum:" << minimum << ")";
            }
        }
    }
    FpcExceptionGuard::run("FpcEventHandler::onCollectMeasurements()",
                           [this, needWlan] { m_collector.collectMeasurements(needWlan); });
    qDebug() << "FpcEventHandler::onCollectMeasurements() ->";
}

void FpcEventHandler::onMeasurementsAvailable(const VomuMeasurements &msm)
{
    qDebug() << "FpcEventHandler::onMeasurementsAvailable() <-";
    FpcExceptionGuard::run("FpcEventHandler::onMeasurementsAvailable()", [&] { m_creator.newMeasurements(msm); });
    qDebug() << "FpcEventHandler::onMeasurementsAvailable() ->";
}

// ---------------------------------------------------------------------------
// Upload outcomes

void FpcEventHandler::onUploadFinished()
{
    qDebug() << "FpcEventHandler::onUploadFinished() <-";
    int count = 0;
    FpcExceptionGuard::run("FpcEventHandler::onUploadFinished()",
                           [this, &count] { bufferManager().removeExported(&count); });
    if (m_statusSubscribed)
        sendDatabaseStatus();
    countUploadOutcome(true);
    emit uploadFinished(true, uint(count), QString());
    qDebug() << "FpcEventHandler::onUploadFinished() ->";
}

void FpcEventHandler::onUploadError(QString err)
{
    qDebug() << "FpcEventHandler::onUploadError() " << err << " <-";
    int count = 0;
    const bool refused = err == QLatin1String(FpcSLPGWConnector::kRefusedStatus);
    FpcExceptionGuard::run("FpcEventHandler::onUploadError()", [this, &count, refused] {
        if (refused)
            bufferManager().rememberRefusedExport();
        bufferManager().cancelExport(&count);
    });
    countUploadOutcome(false);
    emit uploadFinished(false, uint(count), err);
    qDebug() << "FpcEventHandler::onUploadError() ->";
}

void FpcEventHandler::countUploadOutcome(bool ok)
{
    FpcDropCounters::add(FpcDropCounters::UploadsTried);
    FpcDropCounters::add(ok ? FpcDropCounters::UploadsSucceeded : FpcDropCounters::UploadsFailed);
}

QVariantMap FpcEventHandler::dropCounters()
{
    return FpcDropCounters::toMap();
}

// ---------------------------------------------------------------------------
// Own-interface broadcasts with arguments

// A broadcast of quit, restartLogging, setConfigurationValue or activeMode on
// the daemon's own interface: acted on like the method of the same name, for
// the same senders only.
void FpcEventHandler::onControlSignal(const QDBusMessage &message)
{
    const QString member = message.member();
    if (!m_controlAccess.allows(message.service(), QStringLiteral("signal ") + member))
        return;
    const QVariantList arguments = message.arguments();
    if (member == QLatin1String("quit"))
        quit();
    else if (member == QLatin1String("restartLogging"))
        restartLogging();
    else if (member == QLatin1String("setConfigurationValue"))
        setConfigurationValue(arguments.at(0).toString(), arguments.at(1).toString());
    else if (member == QLatin1String("activeMode"))
        activeMode(arguments.at(0).toBool());
}

bool FpcEventHandler::callerMayControl(const char *action)
{
    const auto *call = dynamic_cast<const QDBusContext *>(parent());
    if (!call || !call->calledFromDBus())
        return true;
    if (m_controlAccess.allows(call->message().service(), text(action)))
        return true;
    if (call->message().isReplyRequired())
        call->sendErrorReply(QDBusError::AccessDenied, QStringLiteral("%1 is for root and the group %2 only")
                                                           .arg(text(action), m_controlAccess.controlGroup()));
    return false;
}
