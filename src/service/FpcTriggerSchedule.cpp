#include "FpcTriggerSchedule.h"

#include "FpcConfig.h"

FpcTriggerSchedule::Settings FpcTriggerSchedule::fromConfiguration()
{
    Settings settings;
    settings.baseMinutes = FpcConfig::getIntValue(QStringLiteral("timer_trigger_base_value"), 180);
    settings.daytimeStartHour = FpcConfig::getIntValue(QStringLiteral("daytime_start_hour"), 6);
    settings.nighttimeStartHour = FpcConfig::getIntValue(QStringLiteral("nighttime_start_hour"), 23);
    settings.daytimeFactor = FpcConfig::getIntValue(QStringLiteral("daytime_factor"), 1);
    settings.nighttimeFactor = FpcConfig::getIntValue(QStringLiteral("nighttime_factor"), 2);
    return settings;
}

FpcTriggerSchedule::FpcTriggerSchedule(const Settings &settings, const QTime &localTime)
    : m_settings(settings), m_hour(localTime.isValid() ? localTime.hour() : 0)
{}

bool FpcTriggerSchedule::isDaytime() const
{
    return m_settings.daytimeStartHour <= m_hour && m_hour < m_settings.nighttimeStartHour;
}

int FpcTriggerSchedule::factor() const
{
    return isDaytime() ? m_settings.daytimeFactor : m_settings.nighttimeFactor;
}

int FpcTriggerSchedule::timerMilliseconds(bool *clamped) const
{
    const qint64 wanted = minutes();
    qint64 ms;
    bool limited = true;
    if (wanted < 1)
        ms = MinimumMilliseconds;
    else if (wanted > MaximumMilliseconds / MillisecondsPerMinute)
        ms = MaximumMilliseconds;
    else {
        ms = wanted * MillisecondsPerMinute;
        limited = false;
    }
    if (clamped)
        *clamped = limited;
    return int(ms);
}
