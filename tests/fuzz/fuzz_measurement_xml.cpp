// The XML text forms of a position and of the GSM, WCDMA and WLAN elements.
// A position text that is accepted must read back from its written form to
// the same written form.
#include "QuietLog.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuPosition.h"

#include <cstdlib>
#include <string>

namespace {

void positionRoundTrip(const std::string &text)
{
    VomuPosition first;
    if (!first.internalize(text))
        return;
    std::string written;
    first.externalize(written);
    VomuPosition second;
    if (!second.internalize(written))
        std::abort(); // an accepted value must be readable in its written form
    std::string rewritten;
    second.externalize(rewritten);
    if (rewritten != written)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    quietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    positionRoundTrip(text);
    VomuElementGSM().internalize(text);
    VomuElementWCDMA().internalize(text);
    VomuElementWLAN().internalize(text);
    return 0;
}
