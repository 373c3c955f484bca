#pragma once

#include <QString>

// Where the development-host system information keeps its values: one file
// per key below "/var/lib/sysinfo" (moved below FPCD_ROOT when that is set).
class SysInfoFiles
{
public:
    static QString directory();
    // The file holding a key's value, or an empty string for a key that is
    // not an absolute, clean path ("/device/rd-mode" is fine, "../x" is not).
    static QString fileForKey(const QString &key);
    // Largest value the service hands out; longer files are refused.
    static constexpr qint64 MaxValueSize = 64 * 1024;
};
