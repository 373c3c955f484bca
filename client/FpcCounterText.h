#pragma once

#include <QString>
#include <QStringList>

// The daemon's drop and upload counters (dropCounters, by name) in plain
// words for people: "12 fixes too close to the last fingerprint".
class FpcCounterText
{
public:
    // The counter names in the order they are best shown: the drops first,
    // then the uploads.
    static const QStringList &names();
    // One sentence for count of name; an unknown name is shown as it is.
    static QString sentence(const QString &name, uint count);
};
