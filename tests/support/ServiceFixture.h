#pragma once

#include "DaemonProcess.h"
#include "TempRoot.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <memory>

class TestBus;

// One real daemon on the test's private bus with its own path root and
// configuration (database in the root plus the test's items), tracing in
// rd-mode: with "--sbox" to its standard output, otherwise to a file. Calls
// its D-Bus interface and reads its database with SQL.
class ServiceFixture
{
public:
    using Items = QList<QPair<QString, QString>>;

    explicit ServiceFixture(TestBus &bus);
    ~ServiceFixture();

    TempRoot &root() { return *m_root; }
    DaemonProcess &daemon() { return *m_daemon; }
    QString databasePath() const { return m_root->path(QStringLiteral("/fp.db")); }

    // Starts the daemon and waits until its start event has run.
    bool start(const QStringList &arguments, const Items &config = {});
    // Ends it with the D-Bus method quit; its exit code, -1 when it did not end.
    int quit();

    QByteArray trace();
    int traceCount(const QByteArray &needle) { return int(trace().count(needle)); }
    bool waitForTrace(const QByteArray &needle, int count = 1);

    QDBusMessage call(const QString &method, const QVariantList &arguments = {});
    bool callNoReply(const QString &method, const QVariantList &arguments = {});
    bool broadcast(const QString &interface, const QString &member, const QVariantList &arguments = {});

    // Rows of sql, on a read-only connection of its own; queryValue the first value of the first row.
    QList<QVariantList> queryRows(const QString &sql);
    QVariant queryValue(const QString &sql) { return queryRows(sql).value(0).value(0); }
    int fingerprintCount() { return queryValue(QStringLiteral("SELECT COUNT(*) FROM Fingerprint")).toInt(); }

private:
    QDBusMessage methodCall(const QString &method, const QVariantList &arguments) const;

    TestBus &m_bus;
    std::unique_ptr<TempRoot> m_root;
    std::unique_ptr<DaemonProcess> m_daemon;
    bool m_traceOnStdout = false;
};

// Records one signal of the daemon's interface as a client sees it.
class DaemonSignalRecorder : public QObject
{
    Q_OBJECT

public:
    DaemonSignalRecorder(QDBusConnection bus, const QString &member);
    QList<QDBusMessage> messages;

public Q_SLOTS:
    void record(const QDBusMessage &message) { messages << message; }
};
