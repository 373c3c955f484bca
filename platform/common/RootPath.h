#pragma once

#include <QString>

// Every fixed absolute path of the daemon and of the platform stand-ins goes
// through here: when FPCD_ROOT is set (tests, the demo, a development host)
// the path is moved below that directory, so nothing touches /home/user or
// /usr/share of the machine.
class RootPath
{
public:
    static QString apply(const QString &absolutePath);
    static QString root();
};
