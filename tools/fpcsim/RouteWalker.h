#pragma once

#include "GpxRoute.h"

// Paces a walk along a route. Fixes are emitted every 1/fixesPerSecond
// seconds of wall time, and each fix moves the walker speedup/fixesPerSecond
// seconds further along the route's own time line. A lap's fixes are numbered
// from 0; fix 0 stands on the first point and the lap's last fix exactly on
// the last point.
class RouteWalker
{
public:
    static constexpr double MinFixesPerSecond = 0.001;
    static constexpr double MaxFixesPerSecond = 1000.0;
    static constexpr double MinSpeedup = 0.001;
    static constexpr double MaxSpeedup = 1000000.0;

    RouteWalker() = default;
    RouteWalker(GpxRoute route, double fixesPerSecond, double speedup);

    // Empty when the values can be walked, otherwise why not.
    static QString checkPace(double fixesPerSecond, double speedup);

    const GpxRoute &route() const { return m_route; }
    double fixesPerSecond() const { return m_fixesPerSecond; }
    double speedup() const { return m_speedup; }

    qint64 fixesPerLap() const;
    double wallIntervalMs() const { return 1000.0 / m_fixesPerSecond; }
    double routeSecondsOf(qint64 index) const;
    RouteSample sampleOf(qint64 index) const { return m_route.sampleAt(routeSecondsOf(index)); }

private:
    double routeStepSeconds() const { return m_speedup / m_fixesPerSecond; }

    GpxRoute m_route;
    double m_fixesPerSecond = 1.0;
    double m_speedup = 1.0;
};
