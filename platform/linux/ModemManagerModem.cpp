#include "ModemManagerModem.h"

#include "LinuxBusProperties.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDebug>

namespace {
const char ManagerPath[] = "/org/freedesktop/ModemManager1";
}

std::optional<ModemManagerModem> ModemManagerModem::find()
{
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(ManagerPath),
                                                       QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                       QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, LinuxBusProperties::CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1
        || !reply.arguments().constFirst().canConvert<QDBusArgument>()) {
        qDebug() << "ModemManagerModem::find() ModemManager not reachable:" << reply.errorName();
        return std::nullopt;
    }
    const QDBusArgument objects = reply.arguments().constFirst().value<QDBusArgument>();
    if (objects.currentSignature() != QLatin1String("a{oa{sa{sv}}}")) {
        qDebug() << "ModemManagerModem::find() unexpected object list" << objects.currentSignature();
        return std::nullopt;
    }
    std::optional<ModemManagerModem> found;
    // The map is always read to its end: leaving it early would leak the
    // demarshaller's nested iterators.
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        objects.beginMapEntry();
        objects >> path >> interfaces;
        objects.endMapEntry();
        const auto modem = interfaces.constFind(QLatin1String(ModemInterface));
        if (!found && modem != interfaces.constEnd()) {
            found = ModemManagerModem();
            found->m_path = path.path();
            found->m_properties = modem.value();
        }
    }
    objects.endMap();
    if (!found)
        qDebug() << "ModemManagerModem::find() no modem";
    return found;
}

std::optional<QVariantMap> ModemManagerModem::interfaceProperties(const char *interface) const
{
    return LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(Service), m_path,
                                      QLatin1String(interface));
}

QString ModemManagerModem::simPath() const
{
    const QString sim = LinuxBusProperties::objectPath(m_properties, "Sim").value_or(QString());
    return sim == QLatin1String("/") ? QString() : sim;
}

bool ModemManagerModem::isRegistered() const
{
    return LinuxBusProperties::integer(m_properties, "State").value_or(0) >= StateRegistered;
}
