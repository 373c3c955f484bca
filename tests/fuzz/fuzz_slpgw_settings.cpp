// The gateway stand-in's settings file.
#include "QuietLog.h"
#include "SlpGwSettings.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    quietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SlpGwSettings::fromText(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), QString());
    return 0;
}
