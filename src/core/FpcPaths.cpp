#include "FpcPaths.h"

#include "RootPath.h"

QString FpcPaths::directory(const char *absolutePath)
{
    QString path = RootPath::apply(QString::fromLatin1(absolutePath));
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

QString FpcPaths::configFile()
{
    return RootPath::apply(QStringLiteral("/usr/share/vomu-fpc/vomu-fpc.cfg"));
}

QString FpcPaths::logDirectory()
{
    return directory("/home/user/MyDocs/location_logs/");
}

QString FpcPaths::tracePathFile()
{
    return logDirectory() + QStringLiteral("fpc_tracefile");
}

QString FpcPaths::defaultTraceFile()
{
    return logDirectory() + QStringLiteral("vomu-fpcd.log");
}

QString FpcPaths::databaseFile()
{
    return RootPath::apply(QStringLiteral("/home/user/.vomu-fpcd/private/fp.db"));
}

QString FpcPaths::reportDumpDirectory()
{
    return directory("/home/user/");
}
