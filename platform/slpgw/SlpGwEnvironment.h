#pragma once

#include "SlpGwSettings.h"

#include <QObject>
#include <QTimer>

// The process-wide state behind all gateway objects of the stand-in: the
// current configuration, re-read when its file or environment changes, the
// network it describes, and the queue of failures to hand out to the next
// attach/prepare calls (shared, so that a reconnect with a new gateway
// object sees the rest of the queue).
class SlpGwEnvironment : public QObject
{
    Q_OBJECT
public:
    // Null when no QCoreApplication exists: the stand-in needs an event loop.
    static SlpGwEnvironment *instance();

    // Loads the configuration anew when its file or environment changed.
    void refresh();
    const SlpGwSettings &settings() const { return m_settings; }
    // From the installed network source when there is one, else from the
    // configuration.
    SlpGwNetwork network() const { return m_network; }
    // The next queued failure code for an attach/prepare call, 0 for none.
    int takeNextCallFailure();

signals:
    // Emitted after the configured network changed.
    void networkChanged();

private:
    explicit SlpGwEnvironment(QObject *parent);

    void updateNetwork(bool announce);

    SlpGwSettings m_settings;
    SlpGwNetwork m_network = SlpGwNetwork::None;
    QString m_stamp;
    QString m_failStamp;
    QList<int> m_failQueue;
    QTimer m_pollTimer;
};
