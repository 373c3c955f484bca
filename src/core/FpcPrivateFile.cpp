#include "FpcPrivateFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openPath(const QString &path, int flags)
{
    return ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_CLOEXEC, FpcPrivateFile::kFileMode);
}

// A regular file (with a single name when singleName is set); anything else
// is closed again and refused with EPERM.
int openRegular(const QString &path, int flags, bool singleName)
{
    const int fd = openPath(path, flags | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info
    {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (singleName && info.st_nlink != 1)) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

int FpcPrivateFile::createNew(const QString &path)
{
    return openPath(path, O_WRONLY | O_CREAT | O_EXCL);
}

int FpcPrivateFile::createOrTruncate(const QString &path)
{
    // Non-blocking: a FIFO planted at the name must not hold the daemon.
    const int fd = openRegular(path, O_WRONLY | O_CREAT, true);
    if (fd < 0)
        return -1;
    if (::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int FpcPrivateFile::openForReading(const QString &path)
{
    return openRegular(path, O_RDONLY, false);
}
