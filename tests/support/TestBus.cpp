#include "TestBus.h"

#include "TestSupport.h"

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QUuid>

namespace {
const char AddressVariable[] = "DBUS_SYSTEM_BUS_ADDRESS";
}

TestBus::TestBus()
{
    m_hadPreviousAddress = qEnvironmentVariableIsSet(AddressVariable);
    m_previousAddress = qgetenv(AddressVariable);
}

TestBus::~TestBus()
{
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    TestSupport::stopProcess(m_process, 5000);
    if (m_hadPreviousAddress)
        qputenv(AddressVariable, m_previousAddress);
    else
        qunsetenv(AddressVariable);
}

bool TestBus::start(int timeoutMs)
{
    TestSupport::dieWithParent(m_process);
    m_process.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=" FPCD_SOURCE_DIR "/tests/dbus/test-bus.conf"),
                     QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    while (!output.contains('\n')) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_error = QStringLiteral("dbus-daemon printed no address: ") + m_process.errorString() + ' '
                      + QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        output += m_process.readAllStandardOutput();
    }
    m_address = QString::fromUtf8(output.left(output.indexOf('\n'))).trimmed();
    qputenv(AddressVariable, m_address.toUtf8());

    m_connectionName = QStringLiteral("fpcd-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDBusConnection::connectToBus(m_address, m_connectionName).isConnected()) {
        m_error = QStringLiteral("cannot connect to the private bus at ") + m_address;
        return false;
    }
    return true;
}

QDBusConnection TestBus::connection() const
{
    return QDBusConnection(m_connectionName);
}

bool TestBus::isNameRegistered(const QString &name) const
{
    const QDBusConnection bus = connection();
    if (!bus.isConnected())
        return false;
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(name);
    return reply.isValid() && reply.value();
}

bool TestBus::waitForName(const QString &name, int timeoutMs) const
{
    return TestSupport::waitFor([&] { return isNameRegistered(name); }, timeoutMs);
}

bool TestBus::waitForNameGone(const QString &name, int timeoutMs) const
{
    return TestSupport::waitFor([&] { return !isNameRegistered(name); }, timeoutMs);
}
