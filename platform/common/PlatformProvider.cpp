#include "PlatformProvider.h"

#include "RootPath.h"

namespace {
PlatformProvider::Kind currentKind = PlatformProvider::Kind::Sim;
}

std::optional<PlatformProvider::Kind> PlatformProvider::fromName(const QString &name)
{
    const QString trimmed = name.trimmed().toLower();
    if (trimmed == QLatin1String("sim"))
        return Kind::Sim;
    if (trimmed == QLatin1String("linux"))
        return Kind::Linux;
    return std::nullopt;
}

QString PlatformProvider::name(Kind kind)
{
    return kind == Kind::Linux ? QStringLiteral("linux") : QStringLiteral("sim");
}

PlatformProvider::Kind PlatformProvider::defaultKind(bool rdMode)
{
    return (rdMode || !RootPath::root().isEmpty()) ? Kind::Sim : Kind::Linux;
}

PlatformProvider::Kind PlatformProvider::current()
{
    return currentKind;
}

void PlatformProvider::setCurrent(Kind kind)
{
    currentKind = kind;
}
