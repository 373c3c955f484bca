#include "FpcPaths.h"

#include "RootPath.h"

#include <QFileInfo>

// The build chooses the layout; the phone's paths are the default.
#ifndef FPCD_SHIPPED_CONFIG_FILE
#define FPCD_SHIPPED_CONFIG_FILE "/usr/share/vomu-fpc/vomu-fpc.cfg"
#endif

namespace {

struct LayoutPaths
{
    const char *localConfigFile;
    const char *logDirectory;
    const char *databaseFile;
    const char *reportDumpDirectory;
};

#ifdef FPCD_LAYOUT_DISTRIBUTION
constexpr FpcPaths::Layout BuiltLayout = FpcPaths::Layout::Distribution;
constexpr LayoutPaths Paths{"/etc/vomu-fpcd/vomu-fpc.cfg", "/var/log/vomu-fpcd/", "/var/lib/vomu-fpcd/private/fp.db",
                            "/var/lib/vomu-fpcd/"};
#else
constexpr FpcPaths::Layout BuiltLayout = FpcPaths::Layout::Phone;
constexpr LayoutPaths Paths{FPCD_SHIPPED_CONFIG_FILE, "/home/user/MyDocs/location_logs/",
                            "/home/user/.vomu-fpcd/private/fp.db", "/home/user/"};
#endif

} // namespace

FpcPaths::Layout FpcPaths::layout()
{
    return BuiltLayout;
}

QString FpcPaths::layoutName()
{
    return BuiltLayout == Layout::Distribution ? QStringLiteral("distribution") : QStringLiteral("phone");
}

QString FpcPaths::directory(const char *absolutePath)
{
    QString path = RootPath::apply(QString::fromLatin1(absolutePath));
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

QString FpcPaths::configFile()
{
    const QString local = localConfigFile();
    return QFileInfo::exists(local) ? local : shippedConfigFile();
}

QString FpcPaths::localConfigFile()
{
    return RootPath::apply(QString::fromLatin1(Paths.localConfigFile));
}

QString FpcPaths::shippedConfigFile()
{
    return RootPath::apply(QStringLiteral(FPCD_SHIPPED_CONFIG_FILE));
}

QString FpcPaths::logDirectory()
{
    return directory(Paths.logDirectory);
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
    return RootPath::apply(QString::fromLatin1(Paths.databaseFile));
}

QString FpcPaths::reportDumpDirectory()
{
    return directory(Paths.reportDumpDirectory);
}
