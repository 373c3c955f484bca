#pragma once

#include "DaemonProcess.h"
#include "TempRoot.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QVariantList>

#include <memory>

class TestBus;

// One real daemon on the test's private bus, with its own path root: the
// configuration (database in the root plus the test's items), rd-mode so it
// traces, a client for its D-Bus interface and SQL look-ups in its database.
// With "--sbox" the trace comes on the daemon's standard output, otherwise in
// a trace file below the root.
class ServiceFixture
{
public:
    using Items = QList<QPair<QString, QString>>;

    explicit ServiceFixture(TestBus &bus);
    ~ServiceFixture();

    TempRoot &root() { return *m_root; }
    DaemonProcess &daemon() { return *m_daemon; }
    QString databasePath() const;

    // Starts the daemon and waits until its start event has run.
    bool start(const QStringList &arguments, const Items &config = {});
    // Ends it with the D-Bus method quit; its exit code (-1: did not end).
    int quit();

    QByteArray trace();
    int traceCount(const QByteArray &needle) { return int(trace().count(needle)); }
    bool waitForTrace(const QByteArray &needle, int count = 1, int timeoutMs = 10000);

    // A method call on the daemon's interface, answered or not.
    QDBusMessage call(const QString &method, const QVariantList &arguments = {});
    bool callNoReply(const QString &method, const QVariantList &arguments = {});
    // A signal broadcast by the test on interface.
    bool broadcast(const QString &interface, const QString &member, const QVariantList &arguments = {});

    // The first column of the first row of sql run on the database (read-only
    // connection of its own); invalid when it fails.
    QVariant queryValue(const QString &sql);
    int fingerprintCount() { return queryValue(QStringLiteral("SELECT COUNT(*) FROM Fingerprint")).toInt(); }

private:
    TestBus &m_bus;
    std::unique_ptr<TempRoot> m_root;
    std::unique_ptr<DaemonProcess> m_daemon;
    bool m_traceOnStdout = false;
};

// Records one signal of the daemon's interface as the test's client sees it.
class DaemonSignalRecorder : public QObject
{
    Q_OBJECT

public:
    DaemonSignalRecorder(QDBusConnection bus, const QString &member);
    QList<QDBusMessage> messages;

public Q_SLOTS:
    void record(const QDBusMessage &message) { messages << message; }
};
