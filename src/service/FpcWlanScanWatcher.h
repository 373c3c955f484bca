#pragma once

#include <QString>
#include <QtGlobal>

// Tells WLAN scans that another application made from the daemon's own, by
// following the connectivity daemon's search states ("state_sig"). A search
// that starts while the daemon's own scan result is not fresh and then stops
// leaves free scan results: the caller may skip the battery check for a
// while, and at most once per "wlan_free_scan_interval" minutes a
// fingerprint is made from them.
//
// Holds the last accepted search state and the time of the last free-WLAN
// fingerprint; times and settings come from the caller, so the decisions can
// be checked without a clock or a bus. Log lines carry the name of the
// service object's handler that drives it.
class FpcWlanScanWatcher
{
public:
    static constexpr uint SearchStarted = 8;
    static constexpr uint SearchStopped = 9;
    static constexpr const char *WlanBearer = "WLAN_INFRA";

    struct Settings
    {
        int passiveScanDelaySeconds = 5;
        int freeScanIntervalMinutes = 240;
    };
    static Settings fromConfiguration();

    struct Reaction
    {
        // Free scan results are available for freeResultsMs from now.
        bool freeResults = false;
        int freeResultsMs = 0;
        bool createFingerprint = false;
    };

    // One "state_sig": bearer type and search state, the current time and
    // the collector's last own scan result time (ms since the epoch).
    Reaction onStateChange(const QString &bearerType, uint state, qint64 nowMs, qint64 lastOwnScanMs,
                           const Settings &settings);

    uint searchState() const { return m_searchState; }
    qint64 lastFreeWlanFingerprintTime() const { return m_lastFreeWlanFingerprintTime; }

    // The delay in milliseconds, negative delays counting as 0 and long ones
    // limited to what a timer can hold.
    static qint64 delayMs(int delaySeconds);

private:
    static const char *stateName(uint state);
    // True when the last own scan result is older than the delay.
    static bool ownScanIsOld(qint64 nowMs, qint64 lastOwnScanMs, qint64 delay);
    Reaction searchStopped(qint64 nowMs, qint64 lastOwnScanMs, const Settings &settings);

    uint m_searchState = SearchStopped;
    qint64 m_lastFreeWlanFingerprintTime = 0;
};
