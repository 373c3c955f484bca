#pragma once

#include <QTime>
#include <QtGlobal>

#include <climits>

// The wait of the timer-based fingerprint trigger: the configured base
// interval times the daytime or nighttime factor, chosen by the local hour at
// the moment of arming. Pure arithmetic on the settings and the time it is
// given, done in 64 bits and limited to what a QTimer interval can hold.
class FpcTriggerSchedule
{
public:
    // Base used while timer-based creation is off (configured base below 1):
    // the timer keeps running so that the setting is looked at again later.
    static constexpr int OffRecheckBaseMinutes = 360;
    static constexpr qint64 MillisecondsPerMinute = 60000;
    // A QTimer interval is a signed 32-bit count of milliseconds.
    static constexpr qint64 MaximumMilliseconds = INT_MAX;
    // A product below one minute (a factor of 0 or below) would make the
    // single-shot timer fire and re-arm in a tight loop.
    static constexpr qint64 MinimumMilliseconds = MillisecondsPerMinute;

    struct Settings
    {
        int baseMinutes = 180;
        int daytimeStartHour = 6;
        int nighttimeStartHour = 23;
        int daytimeFactor = 1;
        int nighttimeFactor = 2;
    };

    // The five values as configured now, with their defaults.
    static Settings fromConfiguration();

    FpcTriggerSchedule(const Settings &settings, const QTime &localTime);

    // The configured base is below 1: expiries create no fingerprint.
    bool isOff() const { return m_settings.baseMinutes < 1; }
    int baseMinutes() const { return isOff() ? OffRecheckBaseMinutes : m_settings.baseMinutes; }
    bool isDaytime() const;
    int factor() const;
    // base × factor.
    qint64 minutes() const { return qint64(baseMinutes()) * factor(); }
    // minutes() in milliseconds, limited to MinimumMilliseconds ..
    // MaximumMilliseconds; *clamped tells whether the limit applied.
    int timerMilliseconds(bool *clamped = nullptr) const;

private:
    Settings m_settings;
    int m_hour;
};
