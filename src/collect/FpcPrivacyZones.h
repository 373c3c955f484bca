#pragma once

#include <QList>
#include <QString>

class FpcPosition;

// Circles (centre latitude and longitude in degrees, radius in metres) in
// which nothing is collected, read from "privacy_zones":
//   "61.4851,21.7971,150; 61.5002,21.8100,80"
// Entries are separated by ';', the three numbers by ','. A malformed entry
// is reported and skipped; the well-formed ones stay in force.
class FpcPrivacyZones
{
public:
    struct Zone
    {
        double latitude = 0;
        double longitude = 0;
        double radiusMetres = 0;
    };

    // Parses text; *errors receives one line per refused entry.
    static FpcPrivacyZones parse(const QString &text, QStringList *errors = nullptr);
    // The zones of the current configuration; a changed text is parsed (and
    // its faults logged) once.
    static FpcPrivacyZones fromConfiguration();

    bool isEmpty() const { return m_zones.isEmpty(); }
    const QList<Zone> &zones() const { return m_zones; }
    bool contains(const FpcPosition &position) const;

private:
    static bool parseZone(const QString &entry, Zone *zone, QString *error);

    QList<Zone> m_zones;
};
