#pragma once

#include <QString>
#include <QVariantMap>

#include <array>

// Counts, since the daemon started, every fix or fingerprint that went no
// further and why, and every upload attempt and its outcome: the answer to
// "why was nothing collected?". Process-wide; main thread only.
class FpcDropCounters
{
public:
    enum Reason {
        CollectionOff,  // a fix or trigger while collection is switched off
        TooFast,        // a fix faster than gps_max_speed
        TooClose,       // a fix too close to the newest stored fingerprint
        PrivacyRule,    // a fix or fingerprint inside a privacy zone
        BatteryRule,    // a WLAN scan left out for a low battery
        NoMeasurements, // a fingerprint whose measurement result was empty
        Evaluator,      // refused by the measurement evaluator
        FirstFilter,    // refused by the first filter
        SecondFilter,   // refused by the second filter
        BufferFull,     // stored fingerprints deleted because the buffer was full
        DailyLimit,     // stored fingerprints deleted because of the daily growth limit
        UploadsTried,
        UploadsSucceeded,
        UploadsFailed,
        ReasonCount
    };

    static void add(Reason reason, quint32 count = 1);
    static quint32 value(Reason reason);
    // The name a reason has on the bus and in fpcctl ("tooFast", ...).
    static QString name(Reason reason);
    // Every counter by name, unsigned values.
    static QVariantMap toMap();
    static void reset();

private:
    static std::array<quint32, ReasonCount> &counters();
};
