#include "SysInfoFiles.h"

#include "RootPath.h"

#include <QStringList>

QString SysInfoFiles::directory()
{
    return RootPath::apply(QStringLiteral("/var/lib/sysinfo"));
}

QString SysInfoFiles::fileForKey(const QString &key)
{
    if (!key.startsWith(QLatin1Char('/')) || key.size() < 2)
        return QString();
    const QStringList parts = key.mid(1).split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QString();
    }
    return directory() + key;
}
