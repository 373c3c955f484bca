#pragma once

#include "DaemonProcess.h"
#include "TempRoot.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <memory>

class TestBus;

// The real daemon on the test bus with its own path root and configuration, tracing in rd-mode (to standard
// output with "--sbox", otherwise to a file); calls its D-Bus interface and reads its database.
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
    // The configuration items the daemon lists, key to value.
    QMap<QString, QString> configurations();

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

public slots:
    void record(const QDBusMessage &message) { messages << message; }
};
