#include "TempRoot.h"

#include "DeviceInfo.h"
#include "FpcPaths.h"
#include "SysInfoFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const char RootVariable[] = "FPCD_ROOT";

bool writeAbsolute(const QString &path, const QByteArray &contents)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}
}

TempRoot::TempRoot()
{
    m_hadPreviousRoot = qEnvironmentVariableIsSet(RootVariable);
    m_previousRoot = qgetenv(RootVariable);
    if (m_dir.isValid())
        qputenv(RootVariable, QFile::encodeName(m_dir.path()));
}

TempRoot::~TempRoot()
{
    if (m_hadPreviousRoot)
        qputenv(RootVariable, m_previousRoot);
    else
        qunsetenv(RootVariable);
}

QString TempRoot::path(const QString &absolutePath) const
{
    return QDir::cleanPath(root() + QLatin1Char('/') + absolutePath);
}

bool TempRoot::writeFile(const QString &absolutePath, const QByteArray &contents) const
{
    return writeAbsolute(path(absolutePath), contents);
}

bool TempRoot::removeFile(const QString &absolutePath) const
{
    const QString file = path(absolutePath);
    return !QFile::exists(file) || QFile::remove(file);
}

bool TempRoot::makeDirectory(const QString &absolutePath) const
{
    return QDir().mkpath(path(absolutePath));
}

bool TempRoot::setRdMode(bool enabled) const
{
    if (enabled)
        return setSysInfoValue(QStringLiteral("/device/rd-mode"), "enabled");
    const QString file = SysInfoFiles::fileForKey(QStringLiteral("/device/rd-mode"));
    return !QFile::exists(file) || QFile::remove(file);
}

bool TempRoot::setSysInfoValue(const QString &key, const QByteArray &value) const
{
    const QString file = SysInfoFiles::fileForKey(key);
    return !file.isEmpty() && writeAbsolute(file, value);
}

bool TempRoot::setDeviceInfo(const QString &fileName, const QByteArray &value) const
{
    const QString file = DeviceInfo::directory() + QLatin1Char('/') + fileName;
    if (value.isEmpty())
        return !QFile::exists(file) || QFile::remove(file);
    return writeAbsolute(file, value);
}

bool TempRoot::writeConfigItems(const QList<QPair<QString, QString>> &items) const
{
    QByteArray xml = "<fpcconfig>\n";
    for (const auto &item : items) {
        xml += " <item key=\"" + item.first.toHtmlEscaped().toUtf8() + "\" value=\""
               + item.second.toHtmlEscaped().toUtf8() + "\"/>\n";
    }
    xml += "</fpcconfig>\n";
    return writeAbsolute(FpcPaths::localConfigFile(), xml);
}

QString TempRoot::logDirectory() const
{
    return FpcPaths::logDirectory();
}

bool TempRoot::makeLogDirectory() const
{
    return QDir().mkpath(logDirectory());
}

QString TempRoot::defaultTraceFile() const
{
    return FpcPaths::defaultTraceFile();
}

QString TempRoot::tracePathFile() const
{
    return FpcPaths::tracePathFile();
}
