#include "FpcPrivacyZones.h"

#include "FpcConfig.h"
#include "FpcPosition.h"

#include <QDebug>

#include <cmath>

FpcPrivacyZones FpcPrivacyZones::parse(const QString &text, QStringList *errors)
{
    FpcPrivacyZones result;
    const QStringList entries = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        if (entry.trimmed().isEmpty())
            continue;
        Zone zone;
        QString error;
        if (parseZone(entry, &zone, &error))
            result.m_zones.append(zone);
        else if (errors)
            errors->append(QStringLiteral("\"%1\": %2").arg(entry.trimmed(), error));
    }
    return result;
}

bool FpcPrivacyZones::parseZone(const QString &entry, Zone *zone, QString *error)
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

FpcPrivacyZones FpcPrivacyZones::fromConfiguration()
{
    static QString parsedText;
    static FpcPrivacyZones parsed;
    const QString text = FpcConfig::getValue(QStringLiteral("privacy_zones"));
    if (text != parsedText) {
        QStringList errors;
        parsed = parse(text, &errors);
        parsedText = text;
        for (const QString &error : std::as_const(errors))
            qWarning() << "[ERROR] FpcPrivacyZones: privacy_zones entry refused:" << error;
        qDebug() << "[INFO] FpcPrivacyZones:" << parsed.m_zones.size() << "privacy zone(s) in force";
    }
    return parsed;
}

bool FpcPrivacyZones::contains(const FpcPosition &position) const
{
    for (const Zone &zone : m_zones) {
        FpcPosition centre;
        centre.setCoordinate(zone.latitude, zone.longitude);
        if (position.distanceTo(centre) <= zone.radiusMetres)
            return true;
    }
    return false;
}
