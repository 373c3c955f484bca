#pragma once

#include <QtGlobal>

// What the benchmarks count of their own process: flushes to the storage
// device and the kernel's I/O and memory figures.
namespace BenchProcessCounters {

// fsync + fdatasync calls so far (the program's own wrappers stand in for the
// C library's; the executable exports its symbols for that).
long flushes();

// A field of /proc/self/io: "wchar" is bytes handed to write(); "write_bytes"
// bytes of page-cache pages dirtied, i.e. what the file system must write back
// to flash in whole 4 KiB pages (minus "cancelled_write_bytes").
qint64 ioCounter(const char *name);

// A kB field of /proc/self/status, e.g. "VmHWM".
qint64 statusKib(const char *name);

} // namespace BenchProcessCounters
