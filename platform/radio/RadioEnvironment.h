#pragma once

#include "RadioMeasurements.h"
#include "RadioSurvey.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

#include <optional>

class RadioPhonePosition;
class RadioWlanScanner;

// The process-wide simulated radio environment behind RadioMeasurements.
//
// The world file (JSON, format in RadioWorld.h) is $FPCD_RADIO_WORLD when
// that variable is set and not empty, otherwise "/var/lib/radio/world.json"
// below the path root. It is read afresh on every operation, so a test or a
// developer can swap worlds while the daemon runs: a changed file is parsed
// again and puts the phone back at the world's start position; a missing or
// refused file (logged once, with the reason) means no world.
//
// When the world says so (followPositionMessages) and an application object
// exists, the phone follows the positioning daemon's broadcasts on the
// system bus (DBUS_SYSTEM_BUS_ADDRESS); the bus is touched only then.
class RadioEnvironment
{
public:
    static RadioEnvironment &instance();
    static QString worldFilePath();

    // Re-reads the world file; true while a world is loaded.
    bool refresh();
    const RadioSurvey *survey() const { return m_survey ? &*m_survey : nullptr; }
    std::optional<RadioGeoPoint> phonePosition() const;

    bool cellsAvailable();
    bool appendServingCell(VomuMeasurements &measurements);
    bool startWlanScan(RadioMeasurements::WlanScanCallback callback, void *context);

private:
    RadioEnvironment() = default;

    void useWorld(const RadioWorld &world, const QString &path);
    void dropWorld(const QString &reason);
    RadioPhonePosition *phone();
    RadioWlanScanner *scanner();

    QByteArray m_contents;   // of the world file last read
    bool m_fileSeen = false; // m_contents came from an existing file
    QString m_path;          // of the world file last read
    std::optional<RadioSurvey> m_survey;
    QPointer<RadioPhonePosition> m_phone;
    QPointer<RadioWlanScanner> m_scanner;
};
