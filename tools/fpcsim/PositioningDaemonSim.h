#pragma once

#include "PositionFix.h"
#include "RouteWalker.h"
#include "SimPeer.h"

#include <QElapsedTimer>
#include <QTimer>

// The positioning daemon: owns "com.vexlo.positioningd.vomu", answers
// "request" and then broadcasts "positionMessage" along a route, one fix per
// wall-clock interval. Fix date and time come from the wall clock; the
// ground speed field is the route's own speed (see RouteWalker for pacing),
// so a walk replayed faster still reports walking speed.
class PositioningDaemonSim : public SimPeer
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;
    static const QString InterfaceName;
    static const QString Signature; // of a correct "positionMessage"

    explicit PositioningDaemonSim(const QDBusConnection &bus, QObject *parent = nullptr);
    ~PositioningDaemonSim() override;

    // Claims the service name and serves "request" on the object path.
    bool registerOnBus(QString *error);

    void setWalker(const RouteWalker &walker) { m_walker = walker; }
    const RouteWalker &walker() const { return m_walker; }
    void setLaps(int laps) { m_laps = laps; } // 0: walk the route again and again
    // The uncertainty values every walked fix carries.
    void setAccuracy(double along, double ortho, quint16 ualt);

    bool isWalking() const { return m_walking; }
    qint64 fixesSent() const { return m_sent; }

    // Starts the walk now, from the route's first point.
    void startWalk();
    void stopWalk();

    // The fix the walker reports at a route sample and wall-clock instant.
    PositionFix fixAt(const RouteSample &sample, const QDateTime &utc) const;
    // Broadcasts one fix now; empty on success, otherwise why not.
    QString sendFix(const PositionFix &fix, PositionFix::Signature signature = PositionFix::Signature::Correct);

public slots:
    // D-Bus method "request" (i): starts the walk unless one is under way.
    Q_SCRIPTABLE void request(int value);

signals:
    void requestReceived(int value);
    void fixSent(const PositionFix &fix, qint64 indexInLap, qint64 fixesPerLap, int lap);
    void sendFailed(const QString &error);
    void walkFinished(qint64 fixesSent);

private:
    void sendNextFix();
    void scheduleNextFix();
    void finishWalk();

    RouteWalker m_walker;
    int m_laps = 1;
    PositionFix m_accuracy; // only along, ortho and ualt are used
    bool m_registered = false;
    bool m_walking = false;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_index = 0; // next fix within the lap
    int m_lap = 1;
    qint64 m_sent = 0; // fixes sent since the walk started
};

Q_DECLARE_METATYPE(PositionFix)
