#include "BenchProcessCounters.h"

#include <QByteArray>
#include <QFile>

#include <dlfcn.h>

#include <atomic>

namespace {
std::atomic<long> g_flushes{0};

template<typename Fn>
Fn realFunction(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

QByteArray procField(const char *file, const char *name)
{
    QFile proc(QString::fromLatin1(file));
    if (!proc.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray prefix = QByteArray(name) + ':';
    for (const QByteArray &line : proc.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return QByteArray();
}
} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = realFunction<int (*)(int)>("fsync");
    ++g_flushes;
    return real(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = realFunction<int (*)(int)>("fdatasync");
    ++g_flushes;
    return real(fd);
}

long BenchProcessCounters::flushes()
{
    return g_flushes;
}

qint64 BenchProcessCounters::ioCounter(const char *name)
{
    return procField("/proc/self/io", name).toLongLong();
}

qint64 BenchProcessCounters::statusKib(const char *name)
{
    return procField("/proc/self/status", name).split(' ').first().toLongLong();
}
