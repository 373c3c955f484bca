#include "ModemIdentity.h"

#include "LinuxBusProperties.h"
#include "ModemManagerModem.h"

#include <QDBusConnection>
#include <QDebug>

namespace {
// IMSI and IMEI have at most 15 digits (16 for an IMEISV).
constexpr int MaxIdentityDigits = 16;
}

QString ModemIdentity::digitsOnly(const QString &value, const char *what)
{
    if (value.isEmpty())
        return QString();
    bool digits = value.size() <= MaxIdentityDigits;
    for (const QChar c : value)
        digits = digits && c.isDigit() && c.unicode() < 128;
    if (!digits) {
        qDebug() << "ModemIdentity" << what << "skipped: not a string of up to" << MaxIdentityDigits << "digits";
        return QString();
    }
    return value;
}

QString ModemIdentity::imsi()
{
    const std::optional<ModemManagerModem> modem = ModemManagerModem::find();
    if (!modem || modem->simPath().isEmpty())
        return QString();
    const std::optional<QVariantMap> sim =
        LinuxBusProperties::getAll(QDBusConnection::systemBus(), QLatin1String(ModemManagerModem::Service),
                                   modem->simPath(), QStringLiteral("org.freedesktop.ModemManager1.Sim"));
    if (!sim)
        return QString();
    return digitsOnly(LinuxBusProperties::string(*sim, "Imsi").value_or(QString()), "IMSI");
}

QString ModemIdentity::imei()
{
    const std::optional<ModemManagerModem> modem = ModemManagerModem::find();
    if (!modem)
        return QString();
    return digitsOnly(LinuxBusProperties::string(modem->properties(), "EquipmentIdentifier").value_or(QString()),
                      "IMEI");
}
