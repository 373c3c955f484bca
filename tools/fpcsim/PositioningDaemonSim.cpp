#include "PositioningDaemonSim.h"

#include <QDBusConnectionInterface>

#include <algorithm>
#include <cmath>

const QString PositioningDaemonSim::ServiceName = QStringLiteral("com.vexlo.positioningd.vomu");
const QString PositioningDaemonSim::ObjectPath = QStringLiteral("/com/vexlo/positioningd/vomu");
const QString PositioningDaemonSim::InterfaceName = QStringLiteral("com.vexlo.positioningd.vomu");
const QString PositioningDaemonSim::Signature = QStringLiteral("dddddyqqqyyyyq");

PositioningDaemonSim::PositioningDaemonSim(const QDBusConnection &bus, QObject *parent) : SimPeer(bus, parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PositioningDaemonSim::sendNextFix);
}

PositioningDaemonSim::~PositioningDaemonSim()
{
    if (m_registered)
        bus().unregisterObject(ObjectPath);
}

bool PositioningDaemonSim::registerOnBus(QString *error)
{
    if (!claimName(ServiceName, error))
        return false;
    QDBusConnection connection = bus();
    if (!connection.registerObject(ObjectPath, InterfaceName, this, QDBusConnection::ExportScriptableSlots)) {
        *error = QStringLiteral("cannot serve %1: the path is taken on this connection").arg(ObjectPath);
        return false;
    }
    m_registered = true;
    return true;
}

void PositioningDaemonSim::setAccuracy(double along, double ortho, quint16 ualt)
{
    m_accuracy.along = along;
    m_accuracy.ortho = ortho;
    m_accuracy.ualt = ualt;
}

void PositioningDaemonSim::request(int value)
{
    emit requestReceived(value);
    if (!isWalking())
        startWalk();
}

void PositioningDaemonSim::startWalk()
{
    m_index = 0;
    m_lap = 1;
    m_sent = 0;
    if (m_walker.fixesPerLap() == 0) {
        emit walkFinished(0);
        return;
    }
    m_walking = true;
    m_clock.start();
    m_timer.start(0);
}

void PositioningDaemonSim::stopWalk()
{
    m_walking = false;
    m_timer.stop();
}

void PositioningDaemonSim::finishWalk()
{
    m_walking = false;
    emit walkFinished(m_sent);
}

PositionFix PositioningDaemonSim::fixAt(const RouteSample &sample, const QDateTime &utc) const
{
    PositionFix fix = m_accuracy;
    fix.lat = sample.latitude;
    fix.lon = sample.longitude;
    fix.alt = sample.elevation;
    // The ellipse's major axis lies along the direction of travel.
    fix.angle = quint8(std::lround(std::fmod(sample.headingDeg, 180.0)));
    fix.speed = quint16(std::clamp<long>(std::lround(sample.speedKmh), 0, 65534));
    fix.setTime(utc);
    return fix;
}

QString PositioningDaemonSim::sendFix(const PositionFix &fix, PositionFix::Signature signature)
{
    return send(fix.toSignal(ObjectPath, InterfaceName, signature));
}

void PositioningDaemonSim::sendNextFix()
{
    const qint64 perLap = m_walker.fixesPerLap();
    const PositionFix fix = fixAt(m_walker.sampleOf(m_index), QDateTime::currentDateTimeUtc());
    const QString error = sendFix(fix);
    if (!error.isEmpty()) {
        emit sendFailed(error);
        finishWalk();
        return;
    }
    ++m_sent;
    emit fixSent(fix, m_index, perLap, m_lap);
    if (!m_walking)
        return; // a receiver stopped the walk

    if (++m_index >= perLap) {
        if (m_laps > 0 && m_lap >= m_laps) {
            finishWalk();
            return;
        }
        ++m_lap;
        m_index = 0;
    }
    scheduleNextFix();
}

void PositioningDaemonSim::scheduleNextFix()
{
    // Due times count from the walk's start, so timer latency does not add
    // up over a long walk.
    const double dueMs = double(m_sent) * m_walker.wallIntervalMs();
    const double waitMs = std::max(0.0, dueMs - double(m_clock.elapsed()));
    m_timer.start(int(std::ceil(waitMs))); // at most 1000 s: the rate is at least 0.001
}
