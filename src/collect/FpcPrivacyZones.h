#pragma once

#include "FpcZoneText.h"

#include <QList>
#include <QString>

class FpcPosition;

// Circles in which nothing is collected, read from "privacy_zones" (text
// form in FpcZoneText). A malformed entry is reported and skipped; the
// well-formed ones stay in force.
class FpcPrivacyZones
{
public:
    using Zone = FpcZoneText::Zone;

    // Parses text; *errors receives one line per refused entry.
    static FpcPrivacyZones parse(const QString &text, QStringList *errors = nullptr);
    // The zones of the current configuration; a changed text is parsed (and
    // its faults logged) once.
    static FpcPrivacyZones fromConfiguration();

    bool isEmpty() const { return m_zones.isEmpty(); }
    const QList<Zone> &zones() const { return m_zones; }
    bool contains(const FpcPosition &position) const;

private:
    QList<Zone> m_zones;
};
