#pragma once

#include "SimPeer.h"

#include <QList>
#include <QTimer>

// The connectivity daemon: broadcasts "state_sig" (s bearer type, u search
// state) on "/com/vexlo/wem2", interface "com.vexlo.wem2", either once or as
// a timed sequence such as WLAN scans made by another application.
class ConnectivityDaemonSim : public SimPeer
{
    Q_OBJECT

public:
    static const QString ObjectPath;
    static const QString InterfaceName;
    static const QString WlanBearer;
    static constexpr uint SearchStarted = 8;
    static constexpr uint SearchStopped = 9;

    // One signal of a sequence, sent delayMs after the previous one.
    struct Step
    {
        uint state;
        int delayMs;
    };

    // count scans: start, stop startToStopMs later, next start betweenScansMs
    // after that stop.
    static QList<Step> foreignScans(int count, int startToStopMs, int betweenScansMs);
    // The given states, intervalMs apart.
    static QList<Step> stateSequence(const QList<uint> &states, int intervalMs);

    explicit ConnectivityDaemonSim(const QDBusConnection &bus, QObject *parent = nullptr);

    void setBearer(const QString &bearer) { m_bearer = bearer; }
    QString bearer() const { return m_bearer; }

    // Broadcasts one "state_sig" now; empty on success, otherwise why not.
    QString sendState(uint state);

    // Plays the steps; stateSent reports each, finished the end.
    void run(const QList<Step> &steps);
    bool isRunning() const { return m_timer.isActive(); }

signals:
    void stateSent(const QString &bearer, uint state, int index, int total);
    void sendFailed(const QString &error);
    void finished(int sent);

private:
    void sendNextStep();

    QString m_bearer = WlanBearer;
    QList<Step> m_steps;
    int m_next = 0;
    QTimer m_timer;
};
