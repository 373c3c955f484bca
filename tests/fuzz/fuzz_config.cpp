// The configuration XML as it comes over D-Bus or from the file.
#include "FpcConfig.h"
#include "QuietLog.h"

#include <QString>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    quietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FpcConfig::internalizeFromString(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
