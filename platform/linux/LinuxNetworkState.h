#pragma once

#include "SlpGwNetworkSource.h"

#include <optional>

// The network an upload would use, from the phone's services:
//   free WLAN        NetworkManager's primary connection is a WLAN one
//                    ("802-11-wireless") and not metered (Metered "no" or
//                    "guess-no");
//   home cellular    ModemManager's 3GPP registration state is "home";
//   roaming cellular the registration state is "roaming";
//   none             otherwise (no service, no modem, unknown).
// The best of these, in that order, is the answer.
class LinuxNetworkState : public SlpGwNetworkSource
{
public:
    SlpGwNetwork currentNetwork() override;

    static bool freeWlan();
    static std::optional<SlpGwNetwork> cellular();
};
