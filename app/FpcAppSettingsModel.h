#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

class FpcAppConnection;
struct FpcClientResult;

// The Privacy page's settings as the daemon holds them: the collection and
// upload switches, the privacy zones and the community-upload address. A zone
// or address is checked here first
// (nothing the daemon would refuse is sent); the library reads each change
// back, so one that did not arrive is reported, never shown as done.
class FpcAppSettingsModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool loaded READ loaded NOTIFY settingsChanged)
    Q_PROPERTY(bool collectionEnabled READ collectionEnabled NOTIFY settingsChanged)
    Q_PROPERTY(bool uploadEnabled READ uploadEnabled NOTIFY settingsChanged)
    // [{latitude, longitude, radius}]
    Q_PROPERTY(QVariantList zones READ zones NOTIFY settingsChanged)
    // Empty: the gateway's own server.
    Q_PROPERTY(QString communityUploadUrl READ communityUploadUrl NOTIFY settingsChanged)
    // The database the daemon writes, as configured; empty for its default place.
    Q_PROPERTY(QString databaseFile READ databaseFile NOTIFY settingsChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)

public:
    static constexpr double MaxZoneRadiusMetres = 50000;
    static constexpr const char *CollectionKey = "collection_enabled";
    static constexpr const char *UploadKey = "upload_enabled";
    static constexpr const char *ZonesKey = "privacy_zones";
    static constexpr const char *CommunityUrlKey = "community_upload_url";

    explicit FpcAppSettingsModel(FpcAppConnection *connection, QObject *parent = nullptr);

    bool loaded() const { return m_loaded; }
    bool collectionEnabled() const;
    bool uploadEnabled() const;
    QVariantList zones() const;
    QString communityUploadUrl() const { return m_values.value(QLatin1String(CommunityUrlKey)); }
    QString databaseFile() const { return m_values.value(QStringLiteral("db_file")); }
    bool busy() const { return m_pending > 0; }
    QString error() const { return m_error; }

    // Empty when a zone may be sent, else what is wrong with it.
    Q_INVOKABLE static QString zoneProblem(double latitude, double longitude, double radiusMetres);
    // Empty when the address may be sent (empty or an http(s) URL with a host, as the daemon takes it).
    Q_INVOKABLE static QString urlProblem(const QString &url);

    Q_INVOKABLE void reload();
    Q_INVOKABLE void setCollectionEnabled(bool enabled);
    Q_INVOKABLE void setUploadEnabled(bool enabled);
    Q_INVOKABLE bool addZone(double latitude, double longitude, double radiusMetres);
    Q_INVOKABLE void removeZone(int index);
    // False (with the error set) when the address is refused here and not sent.
    Q_INVOKABLE bool setCommunityUploadUrl(const QString &url);

Q_SIGNALS:
    void settingsChanged();
    void busyChanged();
    void errorChanged();

private:
    void take(const FpcClientResult &result);
    bool ready();
    void setZones(const QStringList &entries);
    void setError(const QString &error);

    FpcAppConnection *m_connection;
    QMap<QString, QString> m_values;
    bool m_loaded = false;
    int m_pending = 0;
    QString m_error;
};
