#include "FpcKeptSettings.h"

#include "FpcConfig.h"
#include "FpcPaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamWriter>

const QStringList &FpcKeptSettings::keys()
{
    static const QStringList list{QStringLiteral("collection_enabled"), QStringLiteral("upload_enabled"),
                                  QStringLiteral("privacy_zones"), QStringLiteral("community_upload_url")};
    return list;
}

bool FpcKeptSettings::isKept(const QString &key)
{
    return keys().contains(key);
}

QString FpcKeptSettings::filePath()
{
    return QFileInfo(FpcPaths::databaseFile()).absolutePath() + QStringLiteral("/settings.cfg");
}

void FpcKeptSettings::load()
{
    const QString path = filePath();
    if (!QFile::exists(path))
        return;
    qDebug() << "[INFO] FpcKeptSettings::load() reading kept settings from" << path;
    if (!FpcConfig::internalizeConf(path))
        qWarning() << "[ERROR] FpcKeptSettings::load() kept settings in" << path << "unreadable; ignored";
}

bool FpcKeptSettings::save()
{
    const QString path = filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning() << "[ERROR] FpcKeptSettings::save() cannot write" << path << ":" << file.errorString();
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("fpcconfig"));
    for (const QString &key : keys()) {
        const QString value = FpcConfig::getValue(key);
        // An empty text is a value of its own (no zones, the gateway's own
        // server) that must win over the configuration file's.
        if (value.isEmpty() && key != QLatin1String("privacy_zones") && key != QLatin1String("community_upload_url"))
            continue;
        xml.writeStartElement(QStringLiteral("item"));
        xml.writeAttribute(QStringLiteral("key"), key);
        xml.writeAttribute(QStringLiteral("value"), value);
        // The reader takes an empty attribute for a missing one and looks
        // for a child element instead: without it the file would be refused
        // from this item on.
        if (value.isEmpty())
            xml.writeEmptyElement(QStringLiteral("value"));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (!file.commit()) {
        qWarning() << "[ERROR] FpcKeptSettings::save() cannot write" << path << ":" << file.errorString();
        return false;
    }
    return true;
}
