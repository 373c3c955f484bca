#include "FpcAppSettingsModel.h"

#include "FpcAppConnection.h"
#include "FpcZoneText.h"

#include <QUrl>

#include <cmath>

namespace {

QString zoneEntry(const QVariantMap &zone)
{
    return QStringLiteral("%1,%2,%3")
        .arg(QString::number(zone.value(QStringLiteral("latitude")).toDouble(), 'f', 6),
             QString::number(zone.value(QStringLiteral("longitude")).toDouble(), 'f', 6),
             QString::number(std::round(zone.value(QStringLiteral("radius")).toDouble())));
}

} // namespace

FpcAppSettingsModel::FpcAppSettingsModel(FpcAppConnection *connection, QObject *parent)
    : QObject(parent), m_connection(connection)
{
    connect(connection, &FpcAppConnection::daemonAppeared, this, &FpcAppSettingsModel::reload);
}

bool FpcAppSettingsModel::collectionEnabled() const
{
    return m_values.value(QLatin1String(CollectionKey), QStringLiteral("1")).trimmed() != QLatin1String("0");
}

bool FpcAppSettingsModel::uploadEnabled() const
{
    return m_values.value(QLatin1String(UploadKey), QStringLiteral("1")).trimmed() != QLatin1String("0");
}

QVariantList FpcAppSettingsModel::zones() const
{
    QVariantList list;
    for (const FpcZoneText::Zone &zone : FpcZoneText::parse(m_values.value(QLatin1String(ZonesKey)))) {
        list << QVariantMap{{QStringLiteral("latitude"), zone.latitude},
                            {QStringLiteral("longitude"), zone.longitude},
                            {QStringLiteral("radius"), zone.radiusMetres}};
    }
    return list;
}

QString FpcAppSettingsModel::zoneProblem(double latitude, double longitude, double radiusMetres)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90 || std::fabs(longitude) > 180)
        return tr("The position is not on the earth.");
    if (!std::isfinite(radiusMetres) || std::round(radiusMetres) < 1)
        return tr("A zone needs a radius of at least 1 m.");
    if (radiusMetres > MaxZoneRadiusMetres)
        return tr("A zone may be at most 50 km wide.");
    return QString();
}

QString FpcAppSettingsModel::urlProblem(const QString &url)
{
    const QString text = url.trimmed();
    if (text.isEmpty())
        return QString();
    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid() || (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https")))
        return tr("The address must start with http:// or https://.");
    if (parsed.host().isEmpty())
        return tr("The address needs a server name after http(s)://.");
    return QString();
}

void FpcAppSettingsModel::reload()
{
    ++m_pending;
    emit busyChanged();
    m_connection->client().readConfiguration(this, [this](const FpcClientResult &result) { take(result); });
}

// Every answer, a refused change's too, carries the settings in effect: shown as they are.
void FpcAppSettingsModel::take(const FpcClientResult &result)
{
    --m_pending;
    emit busyChanged();
    m_connection->note(result);
    if (result.ok() || !result.configuration.isEmpty()) {
        m_values = result.configuration;
        m_loaded = true;
        emit settingsChanged();
    }
    setError(result.ok() ? QString() : result.message);
}

// Nothing is sent while the daemon is away: the person decides again, no queue does.
bool FpcAppSettingsModel::ready()
{
    if (m_connection->state() != FpcAppConnection::Ready) {
        setError(m_connection->message().isEmpty() ? tr("The collector is not reachable; nothing was changed.")
                                                   : m_connection->message());
        return false;
    }
    ++m_pending;
    emit busyChanged();
    setError(QString());
    return true;
}

void FpcAppSettingsModel::setCollectionEnabled(bool enabled)
{
    if (ready())
        m_connection->client().setCollectionEnabled(enabled, this, [this](const FpcClientResult &r) { take(r); });
}

void FpcAppSettingsModel::setUploadEnabled(bool enabled)
{
    if (ready())
        m_connection->client().setUploadEnabled(enabled, this, [this](const FpcClientResult &r) { take(r); });
}

bool FpcAppSettingsModel::addZone(double latitude, double longitude, double radiusMetres)
{
    const QString problem = zoneProblem(latitude, longitude, radiusMetres);
    if (!problem.isEmpty()) {
        setError(problem);
        return false;
    }
    QStringList entries;
    for (const QVariant &zone : zones())
        entries << zoneEntry(zone.toMap());
    entries << zoneEntry({{QStringLiteral("latitude"), latitude},
                          {QStringLiteral("longitude"), longitude},
                          {QStringLiteral("radius"), radiusMetres}});
    setZones(entries);
    return true;
}

void FpcAppSettingsModel::removeZone(int index)
{
    const QVariantList list = zones();
    if (index < 0 || index >= list.size())
        return;
    QStringList entries;
    for (int i = 0; i < list.size(); ++i) {
        if (i != index)
            entries << zoneEntry(list.at(i).toMap());
    }
    setZones(entries);
}

bool FpcAppSettingsModel::setCommunityUploadUrl(const QString &url)
{
    const QString problem = urlProblem(url);
    if (!problem.isEmpty()) {
        setError(problem);
        return false;
    }
    if (ready())
        m_connection->client().setConfigurationValue(QLatin1String(CommunityUrlKey), url.trimmed(), this,
                                                     [this](const FpcClientResult &r) { take(r); });
    return true;
}

void FpcAppSettingsModel::setZones(const QStringList &entries)
{
    if (ready())
        m_connection->client().setPrivacyZones(entries.join(QStringLiteral("; ")), this,
                                               [this](const FpcClientResult &r) { take(r); });
}

void FpcAppSettingsModel::setError(const QString &error)
{
    if (error == m_error)
        return;
    m_error = error;
    emit errorChanged();
}
