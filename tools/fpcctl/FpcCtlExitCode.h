#pragma once

// Exit status of fpcctl. Each failure has its own code so that scripts can
// tell a stopped daemon from a refused request or a wrong argument.
namespace FpcCtlExitCode {
enum Code {
    Success = 0,
    // The daemon answered, but the request failed or was refused.
    Failed = 1,
    // Unknown command or option, missing or malformed argument.
    Usage = 2,
    // The daemon is not on the bus, or the bus cannot be reached.
    NotRunning = 3,
    // No answer, or no expected signal, within the time-out.
    Timeout = 4,
    // A file (database, configuration, output) cannot be read or written.
    FileError = 5,
    // config get: the key is not set.
    NotFound = 6,
    // clear: the question was answered with no.
    Cancelled = 7,
    // Interrupted (SIGINT/SIGTERM) while waiting for an upload.
    Interrupted = 130
};
}
