#include "FpcPrivacyZones.h"

#include "FpcConfig.h"
#include "FpcPosition.h"

#include <QDebug>

FpcPrivacyZones FpcPrivacyZones::parse(const QString &text, QStringList *errors)
{
    FpcPrivacyZones result;
    result.m_zones = FpcZoneText::parse(text, errors);
    return result;
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
