#pragma once

#include <QMap>
#include <QStringList>
#include <QVariantList>

// One status report of the daemon (the fpStatus signal) with the counts
// derived from its fingerprint list. Each entry of the list reads
// "<birth in ms since the epoch>:<data mask>", followed by ":W" for a WCDMA
// or ":G" for a GSM serving cell; an entry of another form is counted as
// unreadable, never trusted.
class FpcStatusReport
{
public:
    // The daemon's own limits when the configuration leaves them unset (the
    // report then carries 0): buffer maximum and allowed growth per day.
    static constexpr quint32 DefaultMaxSize = 300000;
    static constexpr quint32 MinimumMaxSize = 1024;
    static constexpr quint32 DefaultDailyLimit = 100000;

    // The eight signal arguments: as, then seven u. False with a reason
    // when the types or the count do not fit.
    static bool fromArguments(const QVariantList &arguments, FpcStatusReport *status, QString *error);

    QStringList entries;
    quint32 lastUpload = 0;
    quint32 fillRatio = 0;
    quint32 dbSize = 0;
    quint32 dbMaxSize = 0;
    quint32 growth = 0;
    quint32 dailyLimit = 0;
    quint32 lastUploadAmount = 0;

    int total() const { return int(entries.size()); }
    int unreadable = 0;
    int wcdma = 0;
    int gsm = 0;
    int noRadio = 0;
    // Data mask -> count, readable entries only.
    QMap<int, int> kinds;
    // Oldest and newest time of birth (ms since the epoch), -1 without one.
    qint64 oldestMs = -1;
    qint64 newestMs = -1;

    // The maximum the daemon works with: the configured one, or its default
    // when none (or one below the minimum) is configured.
    bool maxSizeConfigured() const { return dbMaxSize >= MinimumMaxSize; }
    quint32 effectiveMaxSize() const { return maxSizeConfigured() ? dbMaxSize : DefaultMaxSize; }
    bool dailyLimitConfigured() const { return dailyLimit > 0; }
    quint32 effectiveDailyLimit() const { return dailyLimitConfigured() ? dailyLimit : DefaultDailyLimit; }

    bool sameReport(const FpcStatusReport &other) const;

private:
    void countEntry(const QString &entry);
};
