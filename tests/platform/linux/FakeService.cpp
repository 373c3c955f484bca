#include "FakeService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QThread>

FakeService::FakeService(const QString &template_, const QString &busName, const QJsonObject &parameters)
    : m_template(template_), m_busName(busName), m_parameters(parameters)
{}

FakeService::~FakeService()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
    // The next fake may claim the same name at once.
    QDeadlineTimer deadline(5000);
    while (QDBusConnection::systemBus().interface()->isServiceRegistered(m_busName) && !deadline.hasExpired())
        QThread::msleep(20);
}

QString FakeService::templateFile(const QString &name)
{
    return QStringLiteral(FPCD_SOURCE_DIR "/tests/platform/linux/") + name;
}

bool FakeService::start()
{
    QStringList arguments{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                          QStringLiteral("--template"), m_template};
    if (!m_parameters.isEmpty())
        arguments << QStringLiteral("--parameters")
                  << QString::fromUtf8(QJsonDocument(m_parameters).toJson(QJsonDocument::Compact));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments); // with the distribution's dbusmock
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start dbusmock: ") + m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(20000);
    while (!QDBusConnection::systemBus().interface()->isServiceRegistered(m_busName)) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("fake %1 did not come up").arg(m_busName);
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

QDBusMessage FakeService::mock(const QString &path, const QString &method, const QVariantList &arguments) const
{
    return call(path, QStringLiteral("org.freedesktop.DBus.Mock"), method, arguments);
}

QDBusMessage FakeService::call(const QString &path, const QString &interface, const QString &method,
                               const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(m_busName, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::systemBus().call(message, QDBus::Block, 10000);
}
