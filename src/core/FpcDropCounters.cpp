#include "FpcDropCounters.h"

namespace {

const char *const Names[FpcDropCounters::ReasonCount] = {"collectionOff",    "tooFast",      "tooClose",
                                                         "privacyRule",      "batteryRule",  "noMeasurements",
                                                         "evaluator",        "firstFilter",  "secondFilter",
                                                         "bufferFull",       "dailyLimit",   "uploadsTried",
                                                         "uploadsSucceeded", "uploadsFailed"};

} // namespace

std::array<quint32, FpcDropCounters::ReasonCount> &FpcDropCounters::counters()
{
    static std::array<quint32, ReasonCount> values{};
    return values;
}

void FpcDropCounters::add(Reason reason, quint32 count)
{
    // Saturates rather than wrapping to a small number.
    quint32 &value = counters()[reason];
    value = count > UINT32_MAX - value ? UINT32_MAX : value + count;
}

quint32 FpcDropCounters::value(Reason reason)
{
    return counters()[reason];
}

QString FpcDropCounters::name(Reason reason)
{
    return QString::fromLatin1(Names[reason]);
}

QVariantMap FpcDropCounters::toMap()
{
    QVariantMap map;
    for (int i = 0; i < ReasonCount; ++i)
        map.insert(name(Reason(i)), uint(counters()[i]));
    return map;
}

void FpcDropCounters::reset()
{
    counters().fill(0);
}
