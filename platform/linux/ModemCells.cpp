#include "ModemCells.h"

#include "ModemCellFallback.h"
#include "LinuxBusProperties.h"
#include "ModemCellInfo.h"
#include "ModemManagerModem.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>

#include <optional>

namespace {
QString lastReason;
// A modem reports a few dozen cells at most.
constexpr int MaxCells = 64;
}

QString ModemCells::unavailableReason(const ModemManagerModem *modem)
{
    if (!modem)
        return QStringLiteral("no modem");
    if (modem->simPath().isEmpty())
        return QStringLiteral("no SIM");
    if (!modem->isRegistered())
        return QStringLiteral("modem not registered");
    return QString();
}

void ModemCells::noteReason(const QString &reason)
{
    if (reason == lastReason)
        return;
    lastReason = reason;
    if (reason.isEmpty())
        qDebug() << "[INFO] ModemCells cell measurements available";
    else
        qDebug() << "[INFO] ModemCells no cell measurements:" << reason;
}

bool ModemCells::available()
{
    const std::optional<ModemManagerModem> modem = ModemManagerModem::find();
    const QString reason = unavailableReason(modem ? &*modem : nullptr);
    noteReason(reason);
    return reason.isEmpty();
}

bool ModemCells::appendServingCell(VomuMeasurements &measurements)
{
    const std::optional<ModemManagerModem> modem = ModemManagerModem::find();
    if (!modem || !unavailableReason(&*modem).isEmpty())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(ModemManagerModem::Service), modem->path(),
                                       QLatin1String(ModemManagerModem::ModemInterface), QStringLiteral("GetCellInfo"));
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, LinuxBusProperties::CallTimeoutMs);
    std::unique_ptr<VomuObservationElement> serving;
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1
        && reply.arguments().constFirst().canConvert<QDBusArgument>()) {
        const QDBusArgument argument = reply.arguments().constFirst().value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("aa{sv}")) {
            QList<QVariantMap> cells;
            argument >> cells;
            serving = ModemCellInfo::fromCells(cells.mid(0, MaxCells)).serving;
        } else {
            qDebug() << "ModemCells::appendServingCell() cell list of unexpected type" << argument.currentSignature();
        }
    } else {
        qDebug() << "ModemCells::appendServingCell() GetCellInfo not served:" << reply.errorName()
                 << "- serving cell from location and signal";
        serving = ModemCellFallback::servingCell(*modem);
    }
    if (!serving)
        return false;
    measurements.append(serving.release());
    return true;
}
