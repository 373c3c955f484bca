#include "FpcConfig.h"

#include "DeviceInfo.h"

#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QHash>

#include <cmath>
#include <optional>

namespace {

QHash<QString, QString> &table()
{
    static QHash<QString, QString> entries;
    return entries;
}

// An absent or empty attribute counts as not given; the first child element
// of that name is consulted instead. Returns nothing when neither gives
// anything.
std::optional<QString> itemField(const QDomElement &item, const QString &name)
{
    const QString attribute = item.attribute(name);
    if (!attribute.isEmpty())
        return attribute;
    const QDomElement child = item.firstChildElement(name);
    if (child.isNull())
        return std::nullopt;
    return child.text();
}

// Shared by the typed getters: the stored text, or nothing when the key is
// absent (then the "not found" line is logged).
template<typename T>
bool storedText(const char *method, const QString &key, T defaultValue, QString *text)
{
    const auto it = table().constFind(key);
    if (it == table().constEnd()) {
        qDebug() << method << "value for" << key << "not found. Returning default value" << defaultValue;
        return false;
    }
    *text = it.value();
    return true;
}

template<typename T>
T invalidValue(const char *method, const QString &key, const QString &text, T defaultValue)
{
    qDebug() << method << "value for" << key << "is invalid:" << text << ". Returning default value" << defaultValue;
    return defaultValue;
}

} // namespace

FpcConfig::FpcConfig(QObject *parent) : QObject(parent)
{
    qDebug() << "FpcConfig::FpcConfig() <-";
    getDeviceData();
    addKey(QStringLiteral("fpr/user_name"), QString());
    addKey(QStringLiteral("fpr/dump_reports"), QStringLiteral("0"));
    qDebug() << "FpcConfig::FpcConfig() ->";
}

FpcConfig::~FpcConfig()
{
    qDebug() << "FpcConfig::~FpcConfig() <-";
    qDebug() << "FpcConfig::~FpcConfig() ->";
}

void FpcConfig::getDeviceData()
{
    qDebug() << "FpcConfig::getDeviceData <-";
    addKey(QStringLiteral("fpr/model_id"), QString());
    addKey(QStringLiteral("fpr/user_id"), getUserId());
    addKey(QStringLiteral("fpr/hw_id"), getHwId());
    qDebug() << "FpcConfig::getDeviceData ->";
}

// The configuration format is three elements deep (fpcconfig, item, key or
// value) and holds a few dozen items; texts beyond these bounds are refused
// whole before parsing, so that no text can hold the daemon up.
const FpcXmlLimits &FpcConfig::limits()
{
    static const FpcXmlLimits bounds(MaxDepth, MaxElements);
    return bounds;
}

bool FpcConfig::withinLimits(const char *method, const FpcXmlLimits::Result &check)
{
    if (!check.accepted)
        qWarning() << method << "Configuration text refused:" << check.reason;
    return check.accepted;
}

bool FpcConfig::internalizeConf(const QString &path)
{
    qDebug() << "FpcConfig::internalizeConf(" << path << ") <-";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "FpcConfig::internalizeConf() Can't open file for reading";
        return false;
    }
    // One byte more than allowed tells a file that is too large.
    const QByteArray contents = file.read(MaxTextBytes + 1);
    const bool tooLarge = contents.size() > MaxTextBytes;
    if (tooLarge)
        qWarning() << "FpcConfig::internalizeConf() Configuration file larger than" << MaxTextBytes << "bytes refused";
    QDomDocument document;
    if (tooLarge || !withinLimits("FpcConfig::internalizeConf()", limits().check(contents))
        || !document.setContent(contents)) {
        file.close();
        qDebug() << "FpcConfig::internalizeConf() Can't parse document for reading";
        return false;
    }
    file.close();
    qDebug() << "FpcConfig::internalizeConf() ->";
    return parseConfig(document);
}

bool FpcConfig::internalizeFromString(const QString &xml)
{
    qDebug() << "FpcConfig::internalizeFromString() <-";
    QDomDocument document;
    if (!withinLimits("FpcConfig::internalizeFromString()", limits().check(xml)) || !document.setContent(xml))
        return false;
    const bool result = parseConfig(document);
    qDebug() << "FpcConfig::internalizeFromString() ->";
    return result;
}

bool FpcConfig::parseConfig(const QDomDocument &document)
{
    qDebug() << "FpcConfig::parseConfig() <-";
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("fpcconfig")) {
        qDebug() << "FpcConfig::parseConfig() Invalid root tag name:" << root.tagName();
        return false;
    }
    const QString itemTag = QStringLiteral("item");
    for (QDomElement item = root.firstChildElement(itemTag); !item.isNull(); item = item.nextSiblingElement(itemTag)) {
        const std::optional<QString> key = itemField(item, QStringLiteral("key"));
        if (!key) {
            qDebug() << "FpcConfig::parseConfig() No key in item";
            return false;
        }
        const std::optional<QString> value = itemField(item, QStringLiteral("value"));
        if (!value) {
            qDebug() << "FpcConfig::parseConfig() Key" << *key << "doesn't have a value";
            return false;
        }
        addKey(*key, *value);
    }
    qDebug() << "FpcConfig::parseConfig() ->";
    return true;
}

void FpcConfig::addKey(const QString &key, const QString &value)
{
    table().insert(key, value);
    qDebug() << "FpcConfig::addKey() key=" << key << ", value=" << value << " added";
}

QString FpcConfig::getValue(const QString &key)
{
    qDebug() << "FpcConfig::getValue() key=" << key;
    const QString value = table().value(key);
    qDebug() << "FpcConfig::getValue() value=" << value << " ->";
    return value;
}

quint32 FpcConfig::getUIntValue(const QString &key, quint32 defaultValue)
{
    static const char method[] = "FpcConfig::getUIntValue()";
    QString text;
    if (!storedText(method, key, defaultValue, &text))
        return defaultValue;
    bool ok = false;
    const quint32 value = text.toUInt(&ok, 10);
    return ok ? value : invalidValue(method, key, text, defaultValue);
}

qint32 FpcConfig::getIntValue(const QString &key, qint32 defaultValue)
{
    static const char method[] = "FpcConfig::getIntValue()";
    QString text;
    if (!storedText(method, key, defaultValue, &text))
        return defaultValue;
    bool ok = false;
    const qint32 value = text.toInt(&ok, 10);
    return ok ? value : invalidValue(method, key, text, defaultValue);
}

float FpcConfig::getFloatValue(const QString &key, float defaultValue)
{
    static const char method[] = "FpcConfig::getFloatValue()";
    QString text;
    if (!storedText(method, key, defaultValue, &text))
        return defaultValue;
    bool ok = false;
    const float value = text.toFloat(&ok);
    // "nan" and "inf" convert but are no usable setting: every comparison
    // with a ratio of NaN fails silently.
    if (!ok || !std::isfinite(value))
        return invalidValue(method, key, text, defaultValue);
    return value;
}

QString FpcConfig::toXml()
{
    qDebug() << "FpcConfig::toXml() <-";
    QDomDocument document;
    QDomElement root = document.createElement(QStringLiteral("fpcconfig"));
    document.appendChild(root);
    for (auto it = table().constBegin(); it != table().constEnd(); ++it) {
        QDomElement item = document.createElement(QStringLiteral("item"));
        item.setAttribute(QStringLiteral("key"), it.key());
        item.setAttribute(QStringLiteral("value"), it.value());
        // The parser reads an empty value attribute as "not given"; an empty
        // child element carries the empty value so the text reads back whole.
        if (it.value().isEmpty())
            item.appendChild(document.createElement(QStringLiteral("value")));
        root.appendChild(item);
    }
    return document.toString(1);
}

QString FpcConfig::maskIdentity(const QString &identity, int keptDigits, const char *mismatchMessage)
{
    QString masked = identity.left(keptDigits);
    masked += QString(qMax<qsizetype>(0, identity.size() - keptDigits), QLatin1Char('0'));
    if (masked.size() != identity.size())
        qDebug() << mismatchMessage;
    return masked;
}

QString FpcConfig::getUserId()
{
    qDebug() << "FpcConfig::getUserId() <-";
    const QString imsi = DeviceInfo().imsi();
    const QString userId =
        QStringLiteral("IMSI: ") + maskIdentity(imsi, 6, "SlpGwMain::getImsiAndImei() IMSI Replacement failed");
    qDebug() << "FpcConfig::getUserId() User ID: " << userId;
    return userId;
}

QString FpcConfig::getHwId()
{
    qDebug() << "FpcConfig::getHwId() <-";
    const DeviceInfo device;
    const QString imei = device.imei();
    QString hwId;
    if (imei.isEmpty()) {
        hwId = QStringLiteral("MAC: ") + device.wlanHardwareAddress();
    } else {
        hwId = QStringLiteral("IMEI: ") + maskIdentity(imei, 8, "SlpGwMain::getImsiAndImei() IMEI Replacement failed");
    }
    qDebug() << "FpcConfig::getHwId() HWID: " << hwId;
    return hwId;
}
