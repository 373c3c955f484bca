#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The daemon's privacy zones as fpcctl reads them from "privacy_zones":
// "lat,lon,radius_m;..." - entries separated by ';', the three numbers by
// ','. The same entries are refused as in the daemon (not three numbers,
// coordinates out of range, a radius that is not a positive number), so the
// map shows the zones the daemon keeps in force.
class FpcCtlPrivacyZones
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
