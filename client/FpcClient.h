#pragma once

#include "FpcClientResult.h"
#include "FpcStatusReport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <functional>

// The daemon's D-Bus interface for its control clients (fpcctl and the
// app): asynchronous requests whose outcome comes to a callback, the status
// and upload signals, and the daemon's arrival on and leaving of the bus.
// Nothing here starts the daemon (no bus activation): a stopped daemon is
// reported, not woken. The system bus is the one of DBUS_SYSTEM_BUS_ADDRESS
// when set.
class FpcClient : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *Service = "com.vexlo.location.fpcd";
    static constexpr const char *Path = "/com/vexlo/location/fpcd";
    static constexpr const char *Interface = "com.vexlo.location.fpcd";
    // The daemon's answers that mean it did what was asked.
    static constexpr const char *UploadStarted = "Upload to server started";
    static constexpr const char *AllDeleted = "All fingerprints deleted";
    static constexpr int DefaultTimeoutMs = 10000;

    // Runs once with the outcome, from the event loop.
    using Done = std::function<void(const FpcClientResult &result)>;

    explicit FpcClient(QObject *parent = nullptr);
    FpcClient(const QDBusConnection &bus, QObject *parent = nullptr);

    void setTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }
    int timeoutMs() const { return m_timeoutMs; }

    // Asked of the bus itself, so quick and synchronous: NotRunning with
    // the reason when the bus cannot be reached or the daemon is not on it.
    FpcClientResult checkDaemon();
    bool isDaemonRunning();
    // The daemon's process id, 0 when the bus does not tell.
    uint daemonPid();

    // Subscribes to fpStatus, activeCollectionStatus, uploadFinished and the
    // daemon's name changing owner. Done before the request that makes the
    // daemon emit, so that nothing is missed.
    bool subscribe(QString *error);

    // The requests. Each calls done exactly once, unless context (this
    // client when null) is destroyed first.
    //
    // sendStatistics: the daemon answers with statusReceived and
    // activeGpsReceived (and keeps sending them on change).
    void requestStatus(QObject *context, const Done &done);
    // configurations, parsed into result.configuration.
    void readConfiguration(QObject *context, const Done &done);
    // setConfigurationValue, confirmed by reading the configuration back:
    // Refused when the daemon does not hold the value afterwards.
    void setConfigurationValue(const QString &key, const QString &value, QObject *context, const Done &done);
    // The switches and zones the daemon keeps across restarts.
    void setCollectionEnabled(bool enabled, QObject *context, const Done &done);
    void setUploadEnabled(bool enabled, QObject *context, const Done &done);
    void setPrivacyZones(const QString &zones, QObject *context, const Done &done);
    // setConfigurations with an fpcconfig document; Refused when the daemon
    // did not take it.
    void loadConfiguration(const QByteArray &xml, QObject *context, const Done &done);
    // forcedUpload: ok once the upload started (result.answer holds the
    // daemon's words); the outcome follows as uploadFinished.
    void startUpload(QObject *context, const Done &done);
    // dropCounters into result.counters.
    void readDropCounters(QObject *context, const Done &done);
    void clearBuffer(QObject *context, const Done &done);
    void setActiveMode(bool enabled, QObject *context, const Done &done);
    void restartLogging(QObject *context, const Done &done);
    // quit is sent without waiting for an answer: the daemon may be gone
    // before it could give one. daemonRunningChanged(false) follows.
    void quitDaemon(QObject *context, const Done &done);
    // Any method of the interface; result.values holds the reply.
    void call(const QString &method, const QVariantList &arguments, QObject *context, const Done &done);

    // For command-line use: starts request with a callback and serves the
    // event loop until it has run, e.g.
    //   client.wait([&](const FpcClient::Done &done) { client.readConfiguration(nullptr, done); });
    FpcClientResult wait(const std::function<void(const Done &)> &request);

    // The newest signals received since subscribe().
    bool hasStatus() const { return m_statusCount > 0; }
    const FpcStatusReport &status() const { return m_status; }
    int statusCount() const { return m_statusCount; }
    bool hasActiveGps() const { return m_activeGpsCount > 0; }
    bool activeGps() const { return m_activeGps; }
    int activeGpsCount() const { return m_activeGpsCount; }
    int uploadOutcomeCount() const { return m_uploadOutcomeCount; }
    bool uploadOk() const { return m_uploadOk; }
    uint uploadCount() const { return m_uploadCount; }
    QString uploadReason() const { return m_uploadReason; }

signals:
    void statusReceived(const FpcStatusReport &status);
    void activeGpsReceived(bool enabled);
    // The outcome of an upload attempt: count fingerprints uploaded, or
    // kept in the buffer when ok is false (reason says why).
    void uploadFinished(bool ok, uint count, const QString &reason);
    void daemonRunningChanged(bool running);

private slots:
    void onFpStatus(const QDBusMessage &message);
    void onActiveCollectionStatus(const QDBusMessage &message);
    void onUploadFinished(const QDBusMessage &message);

private:
    using Check = std::function<void(FpcClientResult *result)>;

    QDBusMessage methodCall(const QString &method, const QVariantList &arguments) const;
    void request(const QString &method, const QVariantList &arguments, const QString &signature, const Check &check,
                 QObject *context, const Done &done);
    FpcClientResult failure(const QDBusMessage &reply, const QString &method);
    static void answerLater(QObject *context, const Done &done, const FpcClientResult &result);

    QDBusConnection m_bus;
    int m_timeoutMs = DefaultTimeoutMs;
    FpcStatusReport m_status;
    int m_statusCount = 0;
    bool m_activeGps = false;
    int m_activeGpsCount = 0;
    bool m_uploadOk = false;
    uint m_uploadCount = 0;
    QString m_uploadReason;
    int m_uploadOutcomeCount = 0;
};
