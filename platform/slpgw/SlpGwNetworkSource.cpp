#include "SlpGwNetworkSource.h"

#include <memory>

namespace {
std::unique_ptr<SlpGwNetworkSource> &installedSource()
{
    static std::unique_ptr<SlpGwNetworkSource> source;
    return source;
}
}

void SlpGwNetworkSource::install(SlpGwNetworkSource *source)
{
    installedSource().reset(source);
}

SlpGwNetworkSource *SlpGwNetworkSource::installed()
{
    return installedSource().get();
}
