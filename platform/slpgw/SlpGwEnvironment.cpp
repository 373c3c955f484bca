#include "SlpGwEnvironment.h"

#include "SlpGwNetworkSource.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>

SlpGwEnvironment *SlpGwEnvironment::instance()
{
    static QPointer<SlpGwEnvironment> environment;
    QCoreApplication *app = QCoreApplication::instance();
    if (!environment && app)
        environment = new SlpGwEnvironment(app);
    return environment;
}

SlpGwEnvironment::SlpGwEnvironment(QObject *parent) : QObject(parent)
{
    refresh();
    m_pollTimer.setInterval(m_settings.pollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &SlpGwEnvironment::refresh);
    m_pollTimer.start();
}

void SlpGwEnvironment::refresh()
{
    const QString stamp = SlpGwSettings::currentStamp();
    const bool first = m_failStamp.isNull();
    if (stamp == m_stamp) {
        updateNetwork(true);
        return;
    }
    m_stamp = stamp;
    m_settings = SlpGwSettings::load();
    qDebug() << "SlpGwEnvironment: configuration loaded from" << SlpGwSettings::configPath()
             << "-- network:" << SlpGwSettings::networkName(m_settings.network)
             << "server:" << m_settings.serverUrl.toString();

    if (m_settings.failNextCallsStamp != m_failStamp) {
        m_failStamp = m_settings.failNextCallsStamp;
        m_failQueue = m_settings.failNextCalls;
    }
    if (m_pollTimer.interval() != m_settings.pollIntervalMs)
        m_pollTimer.setInterval(m_settings.pollIntervalMs);
    updateNetwork(!first);
}

void SlpGwEnvironment::updateNetwork(bool announce)
{
    const SlpGwNetwork before = m_network;
    SlpGwNetworkSource *source = SlpGwNetworkSource::installed();
    m_network = source ? source->currentNetwork() : m_settings.network;
    if (announce && before != m_network) {
        qDebug() << "SlpGwEnvironment: network changed from" << SlpGwSettings::networkName(before) << "to"
                 << SlpGwSettings::networkName(m_network);
        emit networkChanged();
    }
}

int SlpGwEnvironment::takeNextCallFailure()
{
    return m_failQueue.isEmpty() ? 0 : m_failQueue.takeFirst();
}
