#pragma once

#include <QDateTime>
#include <QObject>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

// Passive GPS fixes from ModemManager: the modem's GPS (the "gps-raw"
// location source) as another program has it running. The daemon switches
// nothing on: it only listens to the Location property changes that
// ModemManager signals while a program has enabled GPS with location
// signalling, so the fixes cost no extra power. (gpsd would serve too, but
// watching it starts the receiver when no other client does.)
//
// Each fix is handed on as PlatformEvents::passiveFix in the positioning
// daemon's fourteen fields; ModemManager gives no accuracy and no speed, so
// the ellipse is undefined (NaN), the altitude accuracy 0 and the speed
// 65535 (not defined). The fix time is the source's UTC time of day on the
// current UTC date (the day before when that would lie in the future).
class ModemPassiveFixes : public QObject
{
    Q_OBJECT

public:
    explicit ModemPassiveFixes(QObject *parent = nullptr);

    // Starts listening to the modem present now; false without a modem.
    bool follow();

    // The fourteen fields of a raw GPS location (a{sv} with "utc-time",
    // "latitude", "longitude", "altitude"); nothing when a field is missing,
    // of the wrong type or out of range.
    static std::optional<QVariantList> fieldsFrom(const QVariantMap &gpsRaw, const QDateTime &nowUtc);

private slots:
    void onPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);

private:
    static std::optional<QTime> timeOfDay(const QString &text);
};
