#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QProcess>
#include <QString>

// A private bus standing in for the system bus: starts dbus-daemon with the
// repository's tests/dbus/test-bus.conf, points DBUS_SYSTEM_BUS_ADDRESS of
// this process (and so of every child started afterwards) at it, and stops it
// and restores the variable when destroyed. The bus dies with the test
// process even when the test crashes.
//
// Create it before anything in the test process touches
// QDBusConnection::systemBus(): Qt connects that one only once.
class TestBus
{
public:
    TestBus();
    ~TestBus();
    TestBus(const TestBus &) = delete;
    TestBus &operator=(const TestBus &) = delete;

    // Starts the bus; false (with errorString()) when it does not come up
    // within timeoutMs.
    bool start(int timeoutMs = 10000);
    bool isRunning() const;
    QString address() const { return m_address; }
    QString errorString() const { return m_error; }

    // A connection of the test process to the bus (its own, not the cached
    // system bus connection).
    QDBusConnection connection() const;

    bool isNameRegistered(const QString &name) const;
    // Wait until name has an owner / has none; false on time-out.
    bool waitForName(const QString &name, int timeoutMs = 15000) const;
    bool waitForNameGone(const QString &name, int timeoutMs = 15000) const;

    // The configuration file the bus is started from.
    static QString configFile();

private:
    QProcess m_process;
    QString m_address;
    QString m_connectionName;
    QString m_error;
    QByteArray m_previousAddress;
    bool m_hadPreviousAddress = false;
};
