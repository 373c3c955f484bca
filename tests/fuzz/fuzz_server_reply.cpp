// The positioning server's reply to an upload.
#include "FpcSLPGWConnector.h"
#include "QuietLog.h"

#include <QByteArray>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    quietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FpcSLPGWConnector::serverResponseValid(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
