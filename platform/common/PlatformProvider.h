#pragma once

#include <QString>

#include <optional>

// Which implementation serves the platform APIs (radio measurements, device
// information, positions, networks) in this process: the simulated world
// ("sim") or the Linux services of a real phone ("linux"). Chosen once at
// start-up, before the first measurement is read.
class PlatformProvider
{
public:
    enum class Kind { Sim, Linux };

    static constexpr const char *EnvironmentVariable = "FPCD_PROVIDER";

    static std::optional<Kind> fromName(const QString &name);
    static QString name(Kind kind);

    // The simulated world serves development trees (FPCD_ROOT set) and
    // rd-mode devices; everything else is a real phone.
    static Kind defaultKind(bool rdMode);

    static Kind current();
    static void setCurrent(Kind kind);
};
