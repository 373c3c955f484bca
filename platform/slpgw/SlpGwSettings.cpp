#include "SlpGwSettings.h"

#include "RootPath.h"

#include <QDebug>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <iterator>

#include <sys/stat.h>

namespace {

const char *const Keys[] = {
    "server_url",         "network",           "request_data_delay_ms", "answer_timeout_ms",
    "receive_piece_size", "receive_end_empty", "fail_connect",          "fail_next_calls",
    "fail_create",        "library_version",   "poll_interval_ms",      "transport",
};

constexpr int MaxFailList = 64;

QUrl &communityServerOverride()
{
    static QUrl url;
    return url;
}
constexpr int MaxCode = 99999;

QString environmentName(const QString &key)
{
    return QStringLiteral("SLPGW_") + key.toUpper();
}

bool parseInt(const QString &key, const QString &text, int min, int max, int *out)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < min || value > max) {
        qDebug() << "SlpGwSettings: invalid value for" << key << ":" << text << "-- expected an integer from" << min
                 << "to" << max << ", default kept";
        return false;
    }
    *out = int(value);
    return true;
}

// -1 for a text that is no boolean.
int parseBool(const QString &text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("on"))
        return 1;
    if (t.isEmpty() || t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("no")
        || t == QLatin1String("off"))
        return 0;
    return -1;
}

} // namespace

QString SlpGwSettings::configPath()
{
    const QString own = qEnvironmentVariable("SLPGW_CONFIG");
    return own.isEmpty() ? RootPath::apply(QStringLiteral("/etc/slpgw/slpgw.conf")) : own;
}

QString SlpGwSettings::currentStamp()
{
    QString stamp = fileStamp(configPath());
    const QMap<QString, QString> env = environmentOverrides();
    for (auto it = env.cbegin(); it != env.cend(); ++it)
        stamp += QLatin1Char('\n') + it.key() + QLatin1Char('=') + it.value();
    if (!communityServer().isEmpty())
        stamp += QStringLiteral("\ncommunity=") + communityServer().toString();
    return stamp;
}

// Inode, size and change times with nanoseconds: a rewrite of the file shows
// even when its text stays the same.
QString SlpGwSettings::fileStamp(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1:%2:%3.%4:%5.%6")
        .arg(qulonglong(info.st_ino))
        .arg(qlonglong(info.st_size))
        .arg(qlonglong(info.st_mtim.tv_sec))
        .arg(qlonglong(info.st_mtim.tv_nsec))
        .arg(qlonglong(info.st_ctim.tv_sec))
        .arg(qlonglong(info.st_ctim.tv_nsec));
}

SlpGwSettings SlpGwSettings::load()
{
    const QString path = configPath();
    const QString stamp = fileStamp(path);
    QByteArray text;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        text = file.read(MaxConfigBytes + 1);
        if (text.size() > MaxConfigBytes) {
            qDebug() << "SlpGwSettings: configuration file" << path << "is larger than" << MaxConfigBytes
                     << "bytes, ignored";
            text.clear();
        }
    } else if (file.exists()) {
        qDebug() << "SlpGwSettings: cannot read configuration file" << path << ":" << file.errorString();
    }
    return fromText(text, stamp);
}

SlpGwSettings SlpGwSettings::fromText(const QByteArray &fileText, const QString &fileStamp)
{
    SlpGwSettings settings;
    QMap<QString, QString> values = parseLines(fileText);
    const QMap<QString, QString> env = environmentOverrides();
    for (auto it = env.cbegin(); it != env.cend(); ++it)
        values.insert(it.key(), it.value());
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.apply(it.key(), it.value());
    settings.applyCommunityServer();

    // The failure list restarts whenever it is given anew: each write of the
    // file, or a new value of its environment variable.
    settings.failNextCallsStamp = env.contains(QStringLiteral("fail_next_calls"))
                                      ? QStringLiteral("env:") + env.value(QStringLiteral("fail_next_calls"))
                                      : QStringLiteral("file:") + fileStamp;
    return settings;
}

QMap<QString, QString> SlpGwSettings::parseLines(const QByteArray &text)
{
    QMap<QString, QString> values;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        const QString key = eq > 0 ? line.left(eq).trimmed().toLower() : QString();
        if (key.isEmpty()) {
            qDebug() << "SlpGwSettings: line" << i + 1 << "is no key=value pair, ignored";
            continue;
        }
        if (std::find(std::begin(Keys), std::end(Keys), key) == std::end(Keys)) {
            qDebug() << "SlpGwSettings: unknown key" << key << "on line" << i + 1 << ", ignored";
            continue;
        }
        values.insert(key, line.mid(eq + 1).trimmed());
    }
    return values;
}

QMap<QString, QString> SlpGwSettings::environmentOverrides()
{
    QMap<QString, QString> values;
    for (const char *key : Keys) {
        const QString name = environmentName(QLatin1String(key));
        if (qEnvironmentVariableIsSet(name.toLatin1().constData()))
            values.insert(QLatin1String(key), qEnvironmentVariable(name.toLatin1().constData()).trimmed());
    }
    return values;
}

void SlpGwSettings::apply(const QString &key, const QString &value)
{
    if (key == QLatin1String("server_url")) {
        const QUrl url(value, QUrl::StrictMode);
        if (isServerUrl(url))
            serverUrl = url;
        else
            qWarning() << "SlpGwSettings: invalid server_url" << value << "-- not an http(s) URL, default kept";
        serverUrlUsable = serverUrl == url;
    } else if (key == QLatin1String("transport")) {
        const QString name = value.toLower();
        if (name == QLatin1String("slp"))
            transport = SlpGwTransport::SlpReport;
        else if (name == QLatin1String("geosubmit"))
            transport = SlpGwTransport::Geosubmit;
        else
            qWarning() << "SlpGwSettings: invalid transport" << value << "-- expected slp or geosubmit; default kept";
    } else if (key == QLatin1String("network")) {
        const QString name = value.toLower();
        if (name == QLatin1String("none"))
            network = SlpGwNetwork::None;
        else if (name == QLatin1String("wlan"))
            network = SlpGwNetwork::FreeWlan;
        else if (name == QLatin1String("home"))
            network = SlpGwNetwork::HomeCellular;
        else if (name == QLatin1String("roaming"))
            network = SlpGwNetwork::RoamingCellular;
        else
            qDebug() << "SlpGwSettings: invalid network" << value
                     << "-- expected none, wlan, home or roaming; default kept";
    } else if (key == QLatin1String("request_data_delay_ms")) {
        parseInt(key, value, 0, 3600000, &requestDataDelayMs);
    } else if (key == QLatin1String("answer_timeout_ms")) {
        parseInt(key, value, 1, 86400000, &answerTimeoutMs);
    } else if (key == QLatin1String("receive_piece_size")) {
        parseInt(key, value, 0, 16 * 1024 * 1024, &receivePieceSize);
    } else if (key == QLatin1String("library_version")) {
        parseInt(key, value, -1000000, 1000000, &libraryVersion);
    } else if (key == QLatin1String("poll_interval_ms")) {
        parseInt(key, value, 10, 3600000, &pollIntervalMs);
    } else if (key == QLatin1String("fail_connect")) {
        const int flag = parseBool(value);
        if (flag >= 0)
            failConnect = flag ? 2001 : 0;
        else
            parseInt(key, value, 0, MaxCode, &failConnect);
    } else if (key == QLatin1String("fail_next_calls")) {
        const QStringList items = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
        QList<int> codes;
        for (const QString &item : items) {
            int code = 0;
            if (codes.size() < MaxFailList && parseInt(key, item.trimmed(), 0, MaxCode, &code))
                codes.append(code);
        }
        failNextCalls = codes;
    } else if (key == QLatin1String("receive_end_empty") || key == QLatin1String("fail_create")) {
        const int flag = parseBool(value);
        if (flag < 0)
            qDebug() << "SlpGwSettings: invalid value for" << key << ":" << value << "-- expected 0 or 1, default kept";
        else
            (key == QLatin1String("fail_create") ? failCreate : receiveEndEmpty) = flag == 1;
    }
}

bool SlpGwSettings::isServerUrl(const QUrl &url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
           && !url.host().isEmpty();
}

void SlpGwSettings::setCommunityServer(const QUrl &url)
{
    communityServerOverride() = isServerUrl(url) ? url : QUrl();
}

QUrl SlpGwSettings::communityServer()
{
    return communityServerOverride();
}

void SlpGwSettings::applyCommunityServer()
{
    const QUrl url = communityServer();
    if (url.isEmpty())
        return;
    transport = SlpGwTransport::Geosubmit;
    serverUrl = url;
    serverUrlUsable = true;
}

QString SlpGwSettings::networkName(SlpGwNetwork network)
{
    switch (network) {
    case SlpGwNetwork::None:
        return QStringLiteral("none");
    case SlpGwNetwork::FreeWlan:
        return QStringLiteral("wlan");
    case SlpGwNetwork::HomeCellular:
        return QStringLiteral("home");
    case SlpGwNetwork::RoamingCellular:
        return QStringLiteral("roaming");
    }
    return QString();
}
