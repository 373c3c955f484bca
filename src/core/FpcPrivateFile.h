#pragma once

#include <QString>

// Opens the files the daemon writes in directories other users can write to
// (trace files, report dumps). A symbolic link in the last component of the
// name is never followed, so nobody can point the daemon's writes at a file
// of their choice, and a file created here is readable by the daemon's user
// only (0600). Every function returns a descriptor (close-on-exec), or -1
// with errno set.
class FpcPrivateFile
{
public:
    // A new file only: fails with EEXIST when the name is taken by anything,
    // a dangling link included.
    static int createNew(const QString &path);
    // Creates the file or empties an existing one. An existing file that is
    // not a regular file with a single name is left as it is (EPERM): a
    // hard link could make the truncation hit some other file.
    static int createOrTruncate(const QString &path);
    // Reading a regular file only; refuses a link, a FIFO or a device.
    static int openForReading(const QString &path);

    // Mode bits of files the daemon creates.
    static constexpr unsigned kFileMode = 0600;
};
