#include "FpcZoneText.h"

#include <QtGlobal>

#include <cmath>

QList<FpcZoneText::Zone> FpcZoneText::parse(const QString &text, QStringList *errors)
{
    QList<Zone> zones;
    for (const QString &entry : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (entry.trimmed().isEmpty())
            continue;
        Zone zone;
        QString error;
        if (parseZone(entry, &zone, &error))
            zones.append(zone);
        else if (errors)
            errors->append(QStringLiteral("\"%1\": %2").arg(entry.trimmed(), error));
    }
    return zones;
}

bool FpcZoneText::parseZone(const QString &entry, Zone *zone, QString *error)
{
    const QStringList parts = entry.split(QLatin1Char(','));
    if (parts.size() != 3) {
        *error = QStringLiteral("expected latitude,longitude,radius");
        return false;
    }
    bool ok[3] = {false, false, false};
    zone->latitude = parts[0].trimmed().toDouble(&ok[0]);
    zone->longitude = parts[1].trimmed().toDouble(&ok[1]);
    zone->radiusMetres = parts[2].trimmed().toDouble(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2]) {
        *error = QStringLiteral("not a number");
        return false;
    }
    if (!std::isfinite(zone->latitude) || qAbs(zone->latitude) > 90 || !std::isfinite(zone->longitude)
        || qAbs(zone->longitude) > 180) {
        *error = QStringLiteral("latitude or longitude out of range");
        return false;
    }
    if (!std::isfinite(zone->radiusMetres) || zone->radiusMetres <= 0) {
        *error = QStringLiteral("radius must be a positive number of metres");
        return false;
    }
    return true;
}
