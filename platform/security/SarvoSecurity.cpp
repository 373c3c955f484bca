#include "SarvoSecurity.h"

#include <sys/stat.h>
#include <unistd.h>

int sarvoSessionSetupEnvironmentHelper()
{
    return 1;
}

int sarvo_crypto_verify_sarvofs(const char *path)
{
    if (!path || !*path)
        return SARVO_VERIFY_NO_PATH;
    struct stat info
    {};
    if (stat(path, &info) != 0)
        return SARVO_VERIFY_NOT_FOUND;
    if (!S_ISDIR(info.st_mode))
        return SARVO_VERIFY_NOT_DIRECTORY;
    if (info.st_uid != geteuid())
        return SARVO_VERIFY_WRONG_OWNER;
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return SARVO_VERIFY_OPEN_ACCESS;
    return SARVO_VERIFY_OK;
}
