#pragma once

#include <QString>

// The daemon's fixed file locations. Each one goes through RootPath, so with
// FPCD_ROOT set (tests, the demo, a development host) they all lie below that
// directory. Directory paths end with "/".
class FpcPaths
{
public:
    // "/usr/share/vomu-fpc/vomu-fpc.cfg"
    static QString configFile();
    // "/home/user/MyDocs/location_logs/"
    static QString logDirectory();
    // the log directory + "fpc_tracefile": holds the seed of numbered trace files
    static QString tracePathFile();
    // the log directory + "vomu-fpcd.log"
    static QString defaultTraceFile();
    // "/home/user/.vomu-fpcd/private/fp.db"
    static QString databaseFile();
    // "/home/user/": report dumps are written here
    static QString reportDumpDirectory();

private:
    static QString directory(const char *absolutePath);
};
