#include "DeviceStateSim.h"

#include <QDBusMessage>
#include <QRegularExpression>

const QString DeviceStateSim::DefaultObjectPath = QStringLiteral("/com/vexlo/hesk/signal");
const QString DeviceStateSim::InterfaceName = QStringLiteral("com.vexlo.hesk.signal");

DeviceStateSim::DeviceStateSim(const QDBusConnection &bus, QObject *parent) : SimPeer(bus, parent) {}

QString DeviceStateSim::sendShutdown(const QString &path)
{
    static const QRegularExpression objectPath(QStringLiteral("^/([A-Za-z0-9_]+(/[A-Za-z0-9_]+)*)?$"));
    if (!objectPath.match(path).hasMatch())
        return QStringLiteral("\"%1\" is not a D-Bus object path").arg(path);
    return send(QDBusMessage::createSignal(path, InterfaceName, QStringLiteral("shutdown_ind")));
}
