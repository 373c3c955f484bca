#include "FpcStartup.h"

#include "FpcCommandLine.h"
#include "FpcConfig.h"
#include "FpcLog.h"
#include "LinuxProviders.h"
#include "PlatformProvider.h"
#include "SysInfo.h"

#include <QDebug>

#include <cstdlib>
#include <cstring>

bool FpcStartup::readRdModeFlag()
{
    sysinfo_context *context = nullptr;
    if (sysinfo_init(&context) != 0)
        return false;
    unsigned char *value = nullptr;
    size_t length = 0;
    bool enabled = false;
    if (sysinfo_get_value(context, "/device/rd-mode", &value, &length) == 0 && value)
        enabled = length >= 7 && std::memcmp(value, "enabled", 7) == 0;
    std::free(value);
    sysinfo_finish(context);
    return enabled;
}

void FpcStartup::exportLibraryTraceVariables(const FpcCommandLine &commandLine, const QString &traceFilePath)
{
    const QByteArray path = traceFilePath.toLocal8Bit();
    if (commandLine.radioLibraryLogging())
        qputenv("VOMURADIOMEASUREMENTS_TRACEFILE", path);
    if (commandLine.gatewayLibraryLogging())
        qputenv("SLPGWAPI_TRACEFILE", path);
}

void FpcStartup::applyLogLevel(const FpcCommandLine &commandLine)
{
    QString name;
    if (!commandLine.hasLogLevel()) {
        name = FpcConfig::getValue(QStringLiteral("loglevel"));
    } else {
        name = commandLine.logLevelName();
        FpcConfig::addKey(QStringLiteral("loglevel"), name);
    }
    const int level = FpcLog::levelFromName(name);
    if (level == 0) {
        qDebug() << "main() Unknown log level:" << name;
        qDebug() << "main() Possible log levels are:"
                 << "DEBUG, INFO, WARN, ERROR, CRITICAL and FATAL";
        return;
    }
    FpcLog::setThreshold(level);
}

QString FpcStartup::choosePlatformProvider(bool rdMode)
{
    PlatformProvider::Kind kind = PlatformProvider::defaultKind(rdMode);
    QString origin = QStringLiteral("default");
    const QString fromConfig = FpcConfig::getValue(QStringLiteral("platform_provider"));
    const QString fromEnvironment = qEnvironmentVariable(PlatformProvider::EnvironmentVariable);
    const std::pair<QString, QString> requests[] = {{fromConfig, QStringLiteral("platform_provider")},
                                                    {fromEnvironment,
                                                     QLatin1String(PlatformProvider::EnvironmentVariable)}};
    for (const auto &[name, source] : requests) {
        if (name.isEmpty())
            continue;
        if (const std::optional<PlatformProvider::Kind> chosen = PlatformProvider::fromName(name)) {
            kind = *chosen;
            origin = source;
        } else {
            qDebug() << "[ERROR] main() unknown platform provider" << name << "from" << source
                     << "- possible providers are sim and linux";
        }
    }
    if (kind == PlatformProvider::Kind::Linux) {
        const QString wlanSource = qEnvironmentVariable("FPCD_WLAN_SOURCE");
        LinuxProviders::install(wlanSource.isEmpty() ? FpcConfig::getValue(QStringLiteral("wlan_source")) : wlanSource);
    }
    PlatformProvider::setCurrent(kind);
    const QString name = PlatformProvider::name(kind);
    qDebug() << "[INFO] main() platform provider:" << name << "(" << origin << ")";
    return name;
}
