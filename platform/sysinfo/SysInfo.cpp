#include "SysInfo.h"

#include "SysInfoFiles.h"

#include <QFile>

#include <cstdlib>
#include <cstring>

// Nothing to hold: each read goes to the file afresh, so a value changed
// on disk is seen at the next read.
struct sysinfo_context
{};

int sysinfo_init(sysinfo_context **context)
{
    if (!context)
        return -1;
    *context = new sysinfo_context;
    return 0;
}

int sysinfo_get_value(sysinfo_context *context, const char *key, unsigned char **value, size_t *length)
{
    if (!context || !key || !value || !length)
        return -1;
    *value = nullptr;
    *length = 0;

    const QString path = SysInfoFiles::fileForKey(QString::fromUtf8(key));
    if (path.isEmpty())
        return -1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = file.read(SysInfoFiles::MaxValueSize + 1);
    if (data.size() > SysInfoFiles::MaxValueSize)
        return -1;

    auto *buffer = static_cast<unsigned char *>(std::malloc(size_t(data.size()) + 1));
    if (!buffer)
        return -1;
    std::memcpy(buffer, data.constData(), size_t(data.size()));
    buffer[data.size()] = 0;
    *value = buffer;
    *length = size_t(data.size());
    return 0;
}

void sysinfo_finish(sysinfo_context *context)
{
    delete context;
}
