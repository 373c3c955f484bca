#include "ModemPassiveFixes.h"

#include "LinuxBusProperties.h"
#include "ModemManagerModem.h"
#include "PlatformEvents.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QDebug>

#include <cmath>
#include <limits>

namespace {
constexpr uint SourceGpsRaw = 4;
const char LocationInterface[] = "org.freedesktop.ModemManager1.Modem.Location";
constexpr quint16 SpeedNotDefined = 65535;
}

ModemPassiveFixes::ModemPassiveFixes(QObject *parent) : QObject(parent) {}

bool ModemPassiveFixes::follow()
{
    const std::optional<ModemManagerModem> modem = ModemManagerModem::find();
    if (!modem)
        return false;
    return QDBusConnection::systemBus().connect(QLatin1String(ModemManagerModem::Service), modem->path(),
                                                QStringLiteral("org.freedesktop.DBus.Properties"),
                                                QStringLiteral("PropertiesChanged"), this,
                                                SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
}

std::optional<QTime> ModemPassiveFixes::timeOfDay(const QString &text)
{
    // "hhmmss" with optional fractions of a second.
    if (text.size() < 6 || text.size() > 12)
        return std::nullopt;
    bool hoursOk = false;
    bool minutesOk = false;
    bool secondsOk = false;
    const int hours = text.left(2).toInt(&hoursOk);
    const int minutes = text.mid(2, 2).toInt(&minutesOk);
    const double seconds = text.mid(4).toDouble(&secondsOk);
    if (!hoursOk || !minutesOk || !secondsOk || !std::isfinite(seconds) || seconds < 0 || seconds >= 60)
        return std::nullopt;
    const int msecs = int(std::floor(seconds * 1000));
    const QTime time(hours, minutes, msecs / 1000, msecs % 1000);
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

std::optional<QVariantList> ModemPassiveFixes::fieldsFrom(const QVariantMap &gpsRaw, const QDateTime &nowUtc)
{
    const std::optional<QString> utc = LinuxBusProperties::string(gpsRaw, "utc-time");
    const std::optional<double> lat = LinuxBusProperties::real(gpsRaw, "latitude");
    const std::optional<double> lon = LinuxBusProperties::real(gpsRaw, "longitude");
    const std::optional<QTime> time = utc ? timeOfDay(*utc) : std::nullopt;
    if (!time || !lat || !lon || !std::isfinite(*lat) || !std::isfinite(*lon) || std::abs(*lat) > 90
        || std::abs(*lon) > 180) {
        qDebug() << "ModemPassiveFixes fix skipped: time, latitude or longitude missing or out of range";
        return std::nullopt;
    }
    const double alt = LinuxBusProperties::real(gpsRaw, "altitude").value_or(0.0);
    QDate date = nowUtc.date();
    if (QDateTime(date, *time, Qt::UTC) > nowUtc.addSecs(60))
        date = date.addDays(-1);
    const double undefined = std::numeric_limits<double>::quiet_NaN();
    const int msecs = time->second() * 1000 + time->msec();
    return QVariantList{*lat,
                        *lon,
                        std::isfinite(alt) ? alt : 0.0,
                        undefined,
                        undefined,
                        QVariant::fromValue(quint8(0)),
                        QVariant::fromValue(quint16(0)),
                        QVariant::fromValue(SpeedNotDefined),
                        QVariant::fromValue(quint16(date.year())),
                        QVariant::fromValue(quint8(date.day())),
                        QVariant::fromValue(quint8(date.month())),
                        QVariant::fromValue(quint8(time->hour())),
                        QVariant::fromValue(quint8(time->minute())),
                        QVariant::fromValue(quint16(msecs))};
}

void ModemPassiveFixes::onPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                            const QStringList &invalidated)
{
    Q_UNUSED(invalidated);
    if (interface != QLatin1String(LocationInterface))
        return;
    const QVariant location = changed.value(QStringLiteral("Location"));
    if (!location.canConvert<QDBusArgument>()
        || location.value<QDBusArgument>().currentSignature() != QLatin1String("a{uv}"))
        return;
    QMap<uint, QDBusVariant> sources;
    location.value<QDBusArgument>() >> sources;
    if (!sources.contains(SourceGpsRaw))
        return;
    const QVariantMap gpsRaw = qdbus_cast<QVariantMap>(sources.value(SourceGpsRaw).variant());
    const std::optional<QVariantList> fields = fieldsFrom(gpsRaw, QDateTime::currentDateTimeUtc());
    PlatformEvents *events = PlatformEvents::instance();
    if (fields && events)
        emit events->passiveFix(*fields);
}
