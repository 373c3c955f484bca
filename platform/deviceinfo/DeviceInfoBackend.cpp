#include "DeviceInfoBackend.h"

#include <memory>

namespace {
std::unique_ptr<DeviceInfoBackend> &installedBackend()
{
    static std::unique_ptr<DeviceInfoBackend> backend;
    return backend;
}
}

void DeviceInfoBackend::install(DeviceInfoBackend *backend)
{
    installedBackend().reset(backend);
}

DeviceInfoBackend *DeviceInfoBackend::installed()
{
    return installedBackend().get();
}
