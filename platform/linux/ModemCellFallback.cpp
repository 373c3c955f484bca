#include "ModemCellFallback.h"

#include "LinuxBusProperties.h"
#include "ModemCellInfo.h"
#include "ModemManagerModem.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDebug>
#include <QStringList>

#include <optional>

namespace {
const char LocationInterface[] = "org.freedesktop.ModemManager1.Modem.Location";
const char SignalInterface[] = "org.freedesktop.ModemManager1.Modem.Signal";
constexpr quint32 SourceLacCi = 1;
constexpr quint32 TechnologiesGsm = (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4);
constexpr quint32 TechnologiesUmts = (1u << 5) | (1u << 6) | (1u << 7) | (1u << 8) | (1u << 9);

// What was switched on here, to be switched back by restore().
QString locationEnabledOn;
quint32 locationSourcesBefore = 0;
bool locationSignalledBefore = false;
QString signalEnabledOn;
}

bool ModemCellFallback::call(const QString &path, const char *interface, const char *method,
                             const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(ModemManagerModem::Service), path,
                                                          QLatin1String(interface), QLatin1String(method));
    message.setArguments(arguments);
    const QDBusMessage reply =
        QDBusConnection::systemBus().call(message, QDBus::Block, LinuxBusProperties::CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qDebug() << "ModemCellFallback" << interface << method << "failed:" << reply.errorName();
        return false;
    }
    return true;
}

QVariantMap ModemCellFallback::cellFromLocation(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 4)
        return {};
    bool mccOk = false;
    bool mncOk = false;
    const uint mcc = parts.at(0).toUInt(&mccOk);
    const uint mnc = parts.at(1).toUInt(&mncOk);
    if (!mccOk || !mncOk || mcc > 999 || mnc > 999)
        return {};
    const int mncDigits = parts.at(1).size() == 3 ? 3 : 2;
    QVariantMap cell;
    cell.insert(QStringLiteral("operator-id"),
                QStringLiteral("%1%2").arg(mcc, 3, 10, QLatin1Char('0')).arg(mnc, mncDigits, 10, QLatin1Char('0')));
    cell.insert(QStringLiteral("lac"), parts.at(2));
    cell.insert(QStringLiteral("ci"), parts.at(3));
    return cell;
}

std::optional<QString> ModemCellFallback::locationText(const ModemManagerModem &modem)
{
    const std::optional<QVariantMap> location = modem.interfaceProperties(LocationInterface);
    if (!location)
        return std::nullopt;
    const quint32 capabilities = quint32(LinuxBusProperties::integer(*location, "Capabilities").value_or(0));
    const quint32 enabled = quint32(LinuxBusProperties::integer(*location, "Enabled").value_or(0));
    if (!(capabilities & SourceLacCi)) {
        qDebug() << "ModemCellFallback the modem gives no 3GPP location";
        return std::nullopt;
    }
    if (!(enabled & SourceLacCi)) {
        const bool signalled = location->value(QStringLiteral("SignalsLocation")).toBool();
        if (!call(modem.path(), LocationInterface, "Setup", {QVariant::fromValue(enabled | SourceLacCi), signalled}))
            return std::nullopt;
        if (locationEnabledOn.isEmpty()) {
            locationEnabledOn = modem.path();
            locationSourcesBefore = enabled;
            locationSignalledBefore = signalled;
        }
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(QLatin1String(ModemManagerModem::Service), modem.path(),
                                       QLatin1String(LocationInterface), QStringLiteral("GetLocation"));
    const QDBusMessage reply =
        QDBusConnection::systemBus().call(message, QDBus::Block, LinuxBusProperties::CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1
        || !reply.arguments().constFirst().canConvert<QDBusArgument>()) {
        qDebug() << "ModemCellFallback GetLocation failed:" << reply.errorName();
        return std::nullopt;
    }
    const QDBusArgument argument = reply.arguments().constFirst().value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a{uv}"))
        return std::nullopt;
    QMap<uint, QDBusVariant> sources;
    argument >> sources;
    const QVariant value = sources.value(SourceLacCi).variant();
    if (value.metaType().id() != QMetaType::QString || value.toString().size() > 64) {
        qDebug() << "ModemCellFallback no 3GPP location value";
        return std::nullopt;
    }
    return value.toString();
}

void ModemCellFallback::ensureSignalRefresh(const ModemManagerModem &modem)
{
    const std::optional<QVariantMap> signal = modem.interfaceProperties(SignalInterface);
    if (!signal || LinuxBusProperties::integer(*signal, "Rate").value_or(0) != 0)
        return;
    if (call(modem.path(), SignalInterface, "Setup", {QVariant::fromValue(SignalRefreshSeconds)})
        && signalEnabledOn.isEmpty())
        signalEnabledOn = modem.path();
}

std::unique_ptr<VomuObservationElement> ModemCellFallback::servingCell(const ModemManagerModem &modem)
{
    const quint32 technologies =
        quint32(LinuxBusProperties::integer(modem.properties(), "AccessTechnologies").value_or(0));
    const bool gsm = technologies & TechnologiesGsm;
    const bool umts = technologies & TechnologiesUmts;
    if (!gsm && !umts) {
        qDebug() << "[INFO] ModemCellFallback serving cell skipped: neither GSM nor UMTS, technologies" << technologies;
        return nullptr;
    }
    const std::optional<QString> text = locationText(modem);
    QVariantMap cell = text ? cellFromLocation(*text) : QVariantMap();
    if (cell.isEmpty()) {
        qDebug() << "ModemCellFallback no usable 3GPP location:" << text.value_or(QString());
        return nullptr;
    }
    ensureSignalRefresh(modem);
    const std::optional<QVariantMap> signal = modem.interfaceProperties(SignalInterface);
    const QVariantMap levels =
        signal ? qdbus_cast<QVariantMap>(signal->value(umts ? QStringLiteral("Umts") : QStringLiteral("Gsm")))
               : QVariantMap();
    if (umts) {
        for (const char *key : {"rscp", "ecio"}) {
            if (levels.contains(QLatin1String(key)))
                cell.insert(QLatin1String(key), levels.value(QLatin1String(key)));
        }
        return ModemCellInfo::umtsCell(cell);
    }
    std::unique_ptr<VomuElementGSM> element = ModemCellInfo::gsmCell(cell);
    const QVariant rssi = levels.value(QStringLiteral("rssi"));
    if (rssi.metaType().id() == QMetaType::Double && rssi.toDouble() >= -150.0 && rssi.toDouble() <= 0.0)
        element->setPowerRx(VomuElementGSM::rxLevelFromDbm(rssi.toDouble()));
    return element;
}

void ModemCellFallback::restore()
{
    if (!locationEnabledOn.isEmpty())
        call(locationEnabledOn, LocationInterface, "Setup",
             {QVariant::fromValue(locationSourcesBefore), locationSignalledBefore});
    if (!signalEnabledOn.isEmpty())
        call(signalEnabledOn, SignalInterface, "Setup", {QVariant::fromValue(quint32(0))});
    locationEnabledOn.clear();
    signalEnabledOn.clear();
}
