#include "FpcCounterText.h"

namespace {

struct Words
{
    const char *name;
    // What is counted, singular and plural, and why it went no further.
    const char *one;
    const char *many;
    const char *why;
};

constexpr Words Table[] = {
    {"collectionOff", "fix", "fixes", "while collection was off"},
    {"tooFast", "fix", "fixes", "too fast for a fingerprint"},
    {"tooClose", "fix", "fixes", "too close to the last fingerprint"},
    {"privacyRule", "fix or fingerprint", "fixes or fingerprints", "inside a privacy zone"},
    {"batteryRule", "WLAN scan", "WLAN scans", "left out for a low battery"},
    {"noMeasurements", "fingerprint", "fingerprints", "without measurements"},
    {"evaluator", "fingerprint", "fingerprints", "with values out of range or too little data"},
    {"firstFilter", "fingerprint", "fingerprints", "too like the last one"},
    {"secondFilter", "fingerprint", "fingerprints", "too like one stored nearby"},
    {"bufferFull", "fingerprint", "fingerprints", "deleted because the buffer was full"},
    {"dailyLimit", "fingerprint", "fingerprints", "deleted for the daily growth limit"},
    {"uploadsTried", "upload", "uploads", "tried"},
    {"uploadsSucceeded", "upload", "uploads", "succeeded"},
    {"uploadsFailed", "upload", "uploads", "failed"},
};

} // namespace

const QStringList &FpcCounterText::names()
{
    static const QStringList list = [] {
        QStringList names;
        for (const Words &words : Table)
            names << QLatin1String(words.name);
        return names;
    }();
    return list;
}

QString FpcCounterText::sentence(const QString &name, uint count)
{
    for (const Words &words : Table) {
        if (name == QLatin1String(words.name))
            return QStringLiteral("%1 %2 %3")
                .arg(count)
                .arg(QLatin1String(count == 1 ? words.one : words.many), QLatin1String(words.why));
    }
    return QStringLiteral("%1: %2").arg(name).arg(count);
}
