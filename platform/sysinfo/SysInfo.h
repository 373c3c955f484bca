#pragma once

#include <cstddef>

// The phone's system information service, as the daemon calls it. On this
// build every key is a file below SysInfoFiles::directory(): the key
// "/device/rd-mode" is the file <directory>/device/rd-mode and its contents
// are the value. No file, no value.

struct sysinfo_context;

// Opens a session; returns 0 on success and hands over the context.
int sysinfo_init(sysinfo_context **context);

// Reads one key. Returns 0 on success and hands over a heap buffer made with
// malloc() (the caller frees it with free()) and its length in bytes; the
// buffer carries one extra terminating zero byte that the length excludes.
// Returns non-zero when the key is malformed or has no value.
int sysinfo_get_value(sysinfo_context *context, const char *key, unsigned char **value, size_t *length);

// Ends a session opened by sysinfo_init.
void sysinfo_finish(sysinfo_context *context);
