#pragma once

// Puts the Linux services of a real phone behind the platform APIs
// (radio measurements, device information, the network for uploads). Call once, after the
// application object exists.
class LinuxProviders
{
public:
    static void install();
};
