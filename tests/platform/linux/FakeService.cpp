#include "FakeService.h"

#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonDocument>

namespace {

bool registered(const QString &busName)
{
    return QDBusConnection::systemBus().interface()->isServiceRegistered(busName);
}

} // namespace

FakeService::~FakeService()
{
    TestSupport::stopProcess(m_process, 5000);
    // The next fake may claim the same name at once.
    TestSupport::waitFor([this] { return !registered(m_busName); }, 5000);
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
    TestSupport::dieWithParent(m_process);
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments); // with the distribution's dbusmock
    const bool up =
        TestSupport::waitFor([this] { return registered(m_busName) || m_process.state() == QProcess::NotRunning; },
                             20000);
    if (!up || !registered(m_busName))
        m_error = QStringLiteral("fake %1 did not come up: %2").arg(m_busName, m_process.errorString());
    return m_error.isEmpty();
}

QDBusMessage FakeService::call(const QString &path, const QString &interface, const QString &method,
                               const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(m_busName, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::systemBus().call(message, QDBus::Block, 10000);
}
