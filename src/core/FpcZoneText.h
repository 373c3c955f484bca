#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The text form of the privacy zones ("privacy_zones"), shared by the daemon
// and fpcctl so both keep the same zones in force:
//   "61.4851,21.7971,150; 61.5002,21.8100,80"
// Entries are separated by ';', the three numbers (latitude and longitude in
// degrees, radius in metres) by ','. An entry that is not three numbers, has
// a coordinate out of range or a radius that is not a positive number is
// refused; the well-formed ones stay.
class FpcZoneText
{
public:
    struct Zone
    {
        double latitude = 0;
        double longitude = 0;
        double radiusMetres = 0;
    };

    // The well-formed entries; *errors receives one line per refused entry.
    static QList<Zone> parse(const QString &text, QStringList *errors = nullptr);

private:
    static bool parseZone(const QString &entry, Zone *zone, QString *error);
};
