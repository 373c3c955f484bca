#pragma once

#include "FpcCtlStatus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <functional>

// fpcctl's side of the daemon's D-Bus interface on the system bus
// (DBUS_SYSTEM_BUS_ADDRESS when set): method calls with a time-out, the
// no-reply methods followed by a round trip that proves their arrival, the
// status signals, and the daemon leaving the bus. Nothing here starts the
// daemon (no bus activation): a stopped daemon is reported, not woken.
class FpcCtlClient : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *Service = "com.vexlo.location.fpcd";
    static constexpr const char *Path = "/com/vexlo/location/fpcd";
    static constexpr const char *Interface = "com.vexlo.location.fpcd";

    // exitCode is an FpcCtlExitCode; values are the reply's arguments.
    struct Result
    {
        int exitCode = 0;
        QString error;
        QVariantList values;
        bool ok() const { return exitCode == 0; }
    };

    // What the daemon's uploadFinished signal told.
    struct UploadOutcome
    {
        bool ok = false;
        uint count = 0;
        QString reason;
    };

    enum class Wait { Done, TimedOut, DaemonGone, Interrupted };

    explicit FpcCtlClient(int timeoutMs, QObject *parent = nullptr);

    int timeoutMs() const { return m_timeoutMs; }

    // Connects to the bus and checks that the daemon owns its name.
    Result connectToDaemon();
    bool isDaemonRegistered();
    // The daemon's process id, 0 when the bus does not tell.
    uint daemonPid();

    // Subscribes to fpStatus, activeCollectionStatus, uploadFinished and the daemon's
    // leaving. Done before the call that makes the daemon emit.
    bool subscribe(QString *error);

    Result call(const QString &method, const QVariantList &arguments = {});
    // A no-reply method; with confirm, a round trip afterwards proves that
    // the daemon has handled it.
    Result send(const QString &method, const QVariantList &arguments = {}, bool confirm = true);

    // Serves the event loop until done() holds (checked after each event
    // that may change it), the time passes, the daemon leaves or SIGINT/
    // SIGTERM arrives. tick, when given, runs every 100 ms (progress).
    Wait waitUntil(const std::function<bool()> &done, int timeoutMs,
                   const std::function<void(int elapsedMs)> &tick = {});

    bool hasStatus() const { return m_hasStatus; }
    const FpcCtlStatus &status() const { return m_status; }
    bool hasActiveGps() const { return m_hasActiveGps; }
    bool activeGps() const { return m_activeGps; }
    // Status reports received since subscribe().
    int statusCount() const { return m_statusCount; }
    int activeGpsCount() const { return m_activeGpsCount; }
    // Upload outcomes received since subscribe(), and the last one.
    int uploadOutcomeCount() const { return m_uploadOutcomeCount; }
    const UploadOutcome &uploadOutcome() const { return m_uploadOutcome; }

signals:
    void statusReceived(const FpcCtlStatus &status);
    void activeGpsReceived(bool enabled);
    void uploadOutcomeReceived(const FpcCtlClient::UploadOutcome &outcome);
    void daemonGone();

private slots:
    void onFpStatus(const QDBusMessage &message);
    void onActiveCollectionStatus(const QDBusMessage &message);
    void onUploadFinished(const QDBusMessage &message);
    void onServiceUnregistered();

private:
    QDBusMessage methodCall(const QString &method, const QVariantList &arguments) const;
    Result failure(const QDBusMessage &reply, const QString &method);

    QDBusConnection m_bus;
    int m_timeoutMs;
    bool m_gone = false;
    bool m_hasStatus = false;
    FpcCtlStatus m_status;
    bool m_hasActiveGps = false;
    bool m_activeGps = false;
    int m_statusCount = 0;
    int m_activeGpsCount = 0;
    UploadOutcome m_uploadOutcome;
    int m_uploadOutcomeCount = 0;
};
