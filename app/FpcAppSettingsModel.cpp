#include "FpcAppSettingsModel.h"

#include "FpcAppConnection.h"
#include "FpcZoneText.h"

#include <QXmlStreamReader>

#include <cmath>

namespace {

QString zoneEntry(double latitude, double longitude, double radiusMetres)
{
    return QStringLiteral("%1,%2,%3")
        .arg(QString::number(latitude, 'f', 6), QString::number(longitude, 'f', 6),
             QString::number(std::round(radiusMetres)));
}

} // namespace

FpcAppSettingsModel::FpcAppSettingsModel(FpcAppConnection *connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
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

void FpcAppSettingsModel::reload()
{
    ++m_pending;
    emit busyChanged();
    m_connection->call(QStringLiteral("configurations"), {}, [this](const FpcAppConnection::Reply &reply) {
        --m_pending;
        emit busyChanged();
        if (!reply.ok) {
            setError(reply.error);
            return;
        }
        if (!parse(reply.values.value(0).toString())) {
            setError(tr("The collector's settings could not be read; the last ones stay shown."));
            return;
        }
        m_loaded = true;
        emit settingsChanged();
    });
}

bool FpcAppSettingsModel::parse(const QString &xml)
{
    QXmlStreamReader reader(xml);
    QMap<QString, QString> values;
    bool root = false;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == QLatin1String("fpcconfig"))
            root = true;
        else if (reader.name() == QLatin1String("item"))
            values.insert(reader.attributes().value(QLatin1String("key")).toString(),
                          reader.attributes().value(QLatin1String("value")).toString());
    }
    if (reader.hasError() || !root)
        return false;
    m_values = values;
    return true;
}

void FpcAppSettingsModel::setCollectionEnabled(bool enabled)
{
    change(QLatin1String(CollectionKey), enabled ? QStringLiteral("1") : QStringLiteral("0"));
}

void FpcAppSettingsModel::setUploadEnabled(bool enabled)
{
    change(QLatin1String(UploadKey), enabled ? QStringLiteral("1") : QStringLiteral("0"));
}

bool FpcAppSettingsModel::addZone(double latitude, double longitude, double radiusMetres)
{
    const QString problem = zoneProblem(latitude, longitude, radiusMetres);
    if (!problem.isEmpty()) {
        setError(problem);
        return false;
    }
    QStringList entries;
    for (const QVariant &zone : zones()) {
        const QVariantMap map = zone.toMap();
        entries << zoneEntry(map.value(QStringLiteral("latitude")).toDouble(),
                             map.value(QStringLiteral("longitude")).toDouble(),
                             map.value(QStringLiteral("radius")).toDouble());
    }
    entries << zoneEntry(latitude, longitude, radiusMetres);
    change(QLatin1String(ZonesKey), entries.join(QStringLiteral("; ")));
    return true;
}

void FpcAppSettingsModel::removeZone(int index)
{
    QStringList entries;
    const QVariantList list = zones();
    if (index < 0 || index >= list.size())
        return;
    for (int i = 0; i < list.size(); ++i) {
        const QVariantMap map = list.at(i).toMap();
        if (i != index)
            entries << zoneEntry(map.value(QStringLiteral("latitude")).toDouble(),
                                 map.value(QStringLiteral("longitude")).toDouble(),
                                 map.value(QStringLiteral("radius")).toDouble());
    }
    change(QLatin1String(ZonesKey), entries.join(QStringLiteral("; ")));
}

// The daemon answers no setting change; reading the settings back right after
// (the bus keeps the order) shows whether it took it.
void FpcAppSettingsModel::change(const QString &key, const QString &value)
{
    if (m_connection->state() != FpcAppConnection::Ready) {
        setError(m_connection->message().isEmpty() ? tr("The collector is not reachable; nothing was changed.")
                                                   : m_connection->message());
        return;
    }
    setError(QString());
    m_connection->send(QStringLiteral("setConfigurationValue"), {key, value});
    ++m_pending;
    emit busyChanged();
    m_connection->call(QStringLiteral("configurations"), {}, [this, key, value](const FpcAppConnection::Reply &reply) {
        --m_pending;
        emit busyChanged();
        if (!reply.ok || !parse(reply.values.value(0).toString())) {
            setError(reply.ok ? tr("The collector's settings could not be read back.") : reply.error);
            return;
        }
        m_loaded = true;
        emit settingsChanged();
        if (m_values.value(key) != value) {
            m_connection->report(FpcAppConnection::AccessDenied,
                                 tr("The collector did not take the change: only root and members of the vomu-fpcd "
                                    "group may change it. Ask the phone's owner to add you to that group."));
            setError(tr("Not changed: the collector refused it."));
        }
    });
}

void FpcAppSettingsModel::setError(const QString &error)
{
    if (error == m_error)
        return;
    m_error = error;
    emit errorChanged();
}
