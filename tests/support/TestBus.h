#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QProcess>
#include <QString>

// A private dbus-daemon (tests/dbus/test-bus.conf) as the system bus of this process and its children.
// Create it before anything touches QDBusConnection::systemBus(): Qt connects that one only once.
class TestBus
{
public:
    TestBus();
    ~TestBus();
    TestBus(const TestBus &) = delete;
    TestBus &operator=(const TestBus &) = delete;

    // Starts the bus; false (with errorString()) when it does not come up within timeoutMs.
    bool start(int timeoutMs = 10000);
    QString errorString() const { return m_error; }

    // A connection of the test process to the bus (its own, not the cached system bus connection).
    QDBusConnection connection() const;

    bool isNameRegistered(const QString &name) const;
    // Wait until name has an owner / has none; false on time-out.
    bool waitForName(const QString &name, int timeoutMs = 15000) const;
    bool waitForNameGone(const QString &name, int timeoutMs = 15000) const;

private:
    QProcess m_process;
    QString m_address;
    QString m_connectionName;
    QString m_error;
    QByteArray m_previousAddress;
    bool m_hadPreviousAddress = false;
};
