#pragma once

// The platform security framework, as the daemon calls it.

// Prepares the process's security-session environment. Returns non-zero on
// success, 0 on failure. A development host has no session to prepare, so
// this build always succeeds.
int sarvoSessionSetupEnvironmentHelper();

// Result codes of sarvo_crypto_verify_sarvofs.
enum SarvoVerifyResult {
    SARVO_VERIFY_OK = 0,
    SARVO_VERIFY_NO_PATH = 1,       // null or empty path
    SARVO_VERIFY_NOT_FOUND = 2,     // path does not exist or cannot be examined
    SARVO_VERIFY_NOT_DIRECTORY = 3, // path exists but is no directory
    SARVO_VERIFY_WRONG_OWNER = 4,   // directory not owned by the process's user
    SARVO_VERIFY_OPEN_ACCESS = 5    // group or others have any permission on it
};

// Checks that path is a directory fit to hold private data. On the phone this
// asks whether the directory lies on the encrypted file system; on this build
// it passes (returns 0) only for an existing directory owned by the process's
// effective user and closed to group and others, and returns one of the
// non-zero codes above otherwise.
int sarvo_crypto_verify_sarvofs(const char *path);
