#include "RootPath.h"

#include <QDir>

QString RootPath::root()
{
    return qEnvironmentVariable("FPCD_ROOT");
}

QString RootPath::apply(const QString &absolutePath)
{
    const QString base = root();
    if (base.isEmpty())
        return absolutePath;
    return QDir::cleanPath(base + QLatin1Char('/') + absolutePath);
}
