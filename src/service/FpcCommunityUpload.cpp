#include "FpcCommunityUpload.h"

#include "FpcConfig.h"
#include "SlpGwSettings.h"

#include <QDebug>
#include <QUrl>

const char *const FpcCommunityUpload::Key = "community_upload_url";

bool FpcCommunityUpload::accepts(const QString &value)
{
    return value.isEmpty() || SlpGwSettings::isServerUrl(QUrl(value, QUrl::StrictMode));
}

void FpcCommunityUpload::apply(const char *method)
{
    const QString key = QLatin1String(Key);
    const QString value = FpcConfig::getValue(key).trimmed();
    if (!accepts(value)) {
        qWarning() << method << key << "refused:" << value << "is not an http(s) URL with a host; kept"
                   << (m_inEffect.isEmpty() ? QStringLiteral("the gateway's own server") : m_inEffect);
        FpcConfig::addKey(key, m_inEffect);
        return;
    }
    SlpGwSettings::setCommunityServer(QUrl(value, QUrl::StrictMode));
    if (value == m_inEffect)
        return;
    m_inEffect = value;
    qDebug() << method << "community uploads go to"
             << (value.isEmpty() ? QStringLiteral("the gateway's own server") : value);
}
