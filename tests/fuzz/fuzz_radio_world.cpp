// The simulated radio world document.
#include "QuietLog.h"
#include "RadioWorld.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    quietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RadioWorld world;
    QString error;
    RadioWorld::fromJson(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), world, &error);
    return 0;
}
