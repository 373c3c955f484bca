#pragma once

#include <QString>

// The daemon's fixed file locations, in one of two layouts chosen when the
// daemon is built:
//   phone         the handset's paths: configuration in
//                 /usr/share/vomu-fpc/, database, report dumps and traces
//                 below /home/user/
//   distribution  configuration in /etc/vomu-fpcd/ (the shipped default
//                 under the data directory when there is none), database and
//                 report dumps below /var/lib/vomu-fpcd/, traces in
//                 /var/log/vomu-fpcd/
// Each path goes through RootPath, so with FPCD_ROOT set (tests, the demo, a
// development host) they all lie below that directory. Directory paths end
// with "/".
class FpcPaths
{
public:
    enum class Layout { Phone, Distribution };
    static Layout layout();
    static QString layoutName();

    // The configuration file read at start: the local file when it exists,
    // the shipped default otherwise.
    static QString configFile();
    // The administrator's own configuration file (phone: the shipped one).
    static QString localConfigFile();
    // The default configuration installed with the daemon.
    static QString shippedConfigFile();
    static QString logDirectory();
    // the log directory + "fpc_tracefile": holds the seed of numbered trace files
    static QString tracePathFile();
    // the log directory + "vomu-fpcd.log"
    static QString defaultTraceFile();
    // "private/fp.db" in the state directory; "private" is kept 0700
    static QString databaseFile();
    // Report dumps ("fpr_" files) are written here.
    static QString reportDumpDirectory();

private:
    static QString directory(const char *absolutePath);
};
