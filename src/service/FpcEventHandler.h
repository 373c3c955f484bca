#pragma once

#include "DeviceInfo.h"
#include "FpcCommunityUpload.h"
#include "FpcConfig.h"
#include "FpcControlAccess.h"
#include "FpcCreator.h"
#include "FpcFingerprint.h"
#include "FpcMeasurementCollector.h"
#include "FpcWlanScanWatcher.h"
#include "VomuMeasurements.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class FpcBufferManager;
class FpcBusSignal;
class FpcUploader;
class QEvent;

// The daemon's one service object: the D-Bus adaptor of the application
// object (service and path "com.vexlo.location.fpcd" /
// "/com/vexlo/location/fpcd", registered by main). It owns the collector,
// the creator and a configuration object, reaches the buffer manager and the
// uploader, wires their signals, follows the peer daemons' signals (GPS
// fixes, WLAN search states, shutdown) and turns every event into calls on
// the components.
//
// Its public slots with D-Bus argument types form the D-Bus interface.
// Nothing thrown by a component leaves a handler: the event loop never sees
// an exception.
//
// Methods and control signals that change the daemon's state are acted on
// only for root and members of the control group (FpcControlAccess); the
// status (sendStatistics), the drop counters and the configuration listing
// are open to all.
class FpcEventHandler : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vexlo.location.fpcd")
    Q_CLASSINFO("D-Bus Introspection",
                ""
                "  <interface name=\"com.vexlo.location.fpcd\">\n"
                "    <method name=\"start\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Method.NoReply\" value=\"true\"/>\n"
                "    </method>\n"
                "    <method name=\"quit\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Method.NoReply\" value=\"true\"/>\n"
                "    </method>\n"
                "    <method name=\"restartLogging\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Method.NoReply\" value=\"true\"/>\n"
                "    </method>\n"
                "    <method name=\"setConfigurationValue\">\n"
                "      <arg name=\"key\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"value\" type=\"s\" direction=\"in\"/>\n"
                "      <annotation name=\"org.freedesktop.DBus.Method.NoReply\" value=\"true\"/>\n"
                "    </method>\n"
                "    <method name=\"activeMode\">\n"
                "      <arg name=\"enabled\" type=\"b\" direction=\"in\"/>\n"
                "      <annotation name=\"org.freedesktop.DBus.Method.NoReply\" value=\"true\"/>\n"
                "    </method>\n"
                "    <method name=\"forcedUpload\">\n"
                "      <arg name=\"status\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"onStartPassiveGpsFixes\"/>\n"
                "    <method name=\"onNewFingerprintStored\">\n"
                "      <arg name=\"key\" type=\"x\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"sendStatistics\"/>\n"
                "    <method name=\"clearBuffer\">\n"
                "      <arg name=\"result\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"configurations\">\n"
                "      <arg name=\"xmlConfig\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"setConfigurations\">\n"
                "      <arg name=\"xmlConfig\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"accepted\" type=\"b\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"dropCounters\">\n"
                "      <arg name=\"counters\" type=\"a{sv}\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <signal name=\"fpStatus\">\n"
                "      <arg name=\"fingerprints\" type=\"as\"/>\n"
                "      <arg name=\"lastUpload\" type=\"u\"/>\n"
                "      <arg name=\"fillRatio\" type=\"u\"/>\n"
                "      <arg name=\"dbSize\" type=\"u\"/>\n"
                "      <arg name=\"dbMaxSize\" type=\"u\"/>\n"
                "      <arg name=\"growth\" type=\"u\"/>\n"
                "      <arg name=\"dailyLimit\" type=\"u\"/>\n"
                "      <arg name=\"lastUploadAmount\" type=\"u\"/>\n"
                "    </signal>\n"
                "    <signal name=\"activeCollectionStatus\">\n"
                "      <arg name=\"enabled\" type=\"b\"/>\n"
                "    </signal>\n"
                "    <signal name=\"uploadFinished\">\n"
                "      <arg name=\"ok\" type=\"b\"/>\n"
                "      <arg name=\"count\" type=\"u\"/>\n"
                "      <arg name=\"reason\" type=\"s\"/>\n"
                "    </signal>\n"
                "  </interface>\n")

public:
    static constexpr const char *InterfaceName = "com.vexlo.location.fpcd";
    // Longest texts setConfigurationValue and setConfigurations take: a
    // configuration value is a number, a name or a path.
    static constexpr int MaxKeyLength = 256;
    static constexpr int MaxValueLength = 4096;
    static constexpr int MaxConfigurationTextLength = 1024 * 1024;

    explicit FpcEventHandler(QObject *parent);
    ~FpcEventHandler() override;

    // Type of the event main posts to start the components in the loop.
    int startEventType() const { return m_startEventType; }
    // True when the start event could not open the buffer; the event loop
    // has been asked to end then, and main exits with the start-up failure
    // status.
    bool startFailed() const { return m_startFailed; }

    static void setLogFile(const QString &path);

    // Replaces the check of callers and control-signal senders.
    void setControlAccess(const FpcControlAccess &access) { m_controlAccess = access; }

    bool event(QEvent *e) override;

public slots:
    Q_NOREPLY void start();
    Q_NOREPLY void quit();
    Q_NOREPLY void restartLogging();
    Q_NOREPLY void setConfigurationValue(const QString &key, const QString &value);
    Q_NOREPLY void activeMode(bool enabled);
    QString forcedUpload();
    void onStartPassiveGpsFixes();
    void onNewFingerprintStored(qint64 key);
    void sendStatistics(const QDBusMessage &msg);
    QString clearBuffer();
    QString configurations();
    bool setConfigurations(const QString &xmlConfig);
    // Since start: fixes and fingerprints dropped, by reason, and upload
    // attempts with their outcomes (FpcDropCounters names, unsigned values).
    QVariantMap dropCounters();
    // Not on D-Bus: the argument type has no D-Bus form.
    void onNewEntryCreated(const FpcFingerprint &fp);

signals:
    void fpStatus(const QStringList &fingerprints, uint lastUpload, uint fillRatio, uint dbSize, uint dbMaxSize,
                  uint growth, uint dailyLimit, uint lastUploadAmount);
    void activeCollectionStatus(bool enabled);
    // After every upload attempt, forced or triggered: whether the server
    // took the data, how many fingerprints the attempt carried and, when it
    // failed, why. Nothing is deleted before ok is true.
    void uploadFinished(bool ok, uint count, const QString &reason);

private slots:
    void positionMessage(double lat, double lon, double alt, double along, double ortho, uchar angle, ushort ualt,
                         ushort speed, ushort year, uchar day, uchar month, uchar hours, uchar minutes, ushort msecs);
    void sendPositionMessage();
    void onUploadFinished();
    void onUploadError(QString err);
    void onCollectMeasurements(bool needWlan);
    void onMeasurementsAvailable(const VomuMeasurements &msm);
    void onWem2SearchStateChange(const QString &bearerType, uint state);
    void startTimerTrigger();
    void onTimerTriggerTimeout();
    void disablePassiveWlanScanResultsAvailable();

    // Peer signals that passed their signature check.
    void onPositionMessageSignal(const QDBusMessage &message);
    void onStateSignal(const QDBusMessage &message);
    void onControlSignal(const QDBusMessage &message);

private:
    void startComponents();
    void countUploadOutcome(bool ok);
    // False when the current D-Bus caller may not do action; a caller
    // waiting for a reply gets an access-denied error. Calls that do not come
    // over D-Bus are the daemon's own and always allowed. The call's context
    // is kept by the parent object (the application object in the daemon).
    bool callerMayControl(const char *action);
    // The status report (fpStatus); false with *error when the buffer's
    // contents or size cannot be read.
    bool sendDatabaseStatus(QString *error = nullptr);
    // The buffer manager, opened on first use, with its fpStored signal
    // connected to this object. Throws what opening throws.
    FpcBufferManager &bufferManager();
    void readFakeFixArguments();
    void subscribeOwnInterfaceSignals();
    void subscribePeerSignals();
    void connectBufferToUploader();
    FpcBusSignal *addBusSignal(const QString &service, const QString &path, const QString &interface,
                               const QString &member, const QString &signature);
    void requestPassiveFixes();
    void returnExportedFingerprints();
    void scheduleFakeFix();
    static bool isSandbox();

    int m_startEventType;
    FpcMeasurementCollector m_collector;
    FpcCreator m_creator;
    FpcConfig m_config;
    int m_fakeFixInterval = -1;
    int m_fakeFixCount = 9999;
    FpcWlanScanWatcher m_wlanScanWatcher;
    QTimer m_triggerTimer;
    DeviceInfo m_deviceInfo;
    bool m_freeWlanResults = false;
    QTimer m_freeWlanResultsTimer;
    bool m_statusSubscribed = false;

    FpcControlAccess m_controlAccess;
    bool m_startFailed = false;
    FpcUploader *m_uploader = nullptr;
    QPointer<FpcBufferManager> m_connectedBuffer;
    FpcBusSignal *m_positionSignal = nullptr;
    FpcCommunityUpload m_communityUpload;
};
