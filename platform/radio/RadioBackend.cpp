#include "RadioBackend.h"

#include <memory>

namespace {
std::unique_ptr<RadioBackend> &installedBackend()
{
    static std::unique_ptr<RadioBackend> backend;
    return backend;
}
}

void RadioBackend::install(RadioBackend *backend)
{
    installedBackend().reset(backend);
}

RadioBackend *RadioBackend::installed()
{
    return installedBackend().get();
}
