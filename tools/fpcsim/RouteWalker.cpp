#include "RouteWalker.h"

#include <algorithm>
#include <cmath>
#include <utility>

RouteWalker::RouteWalker(GpxRoute route, double fixesPerSecond, double speedup)
    : m_route(std::move(route)), m_fixesPerSecond(fixesPerSecond), m_speedup(speedup)
{}

QString RouteWalker::checkPace(double fixesPerSecond, double speedup)
{
    if (!(fixesPerSecond >= MinFixesPerSecond && fixesPerSecond <= MaxFixesPerSecond))
        return QStringLiteral("rate must be between %1 and %2 fixes per second")
            .arg(MinFixesPerSecond)
            .arg(MaxFixesPerSecond);
    if (!(speedup >= MinSpeedup && speedup <= MaxSpeedup))
        return QStringLiteral("speedup must be between %1 and %2").arg(MinSpeedup).arg(MaxSpeedup);
    return {};
}

qint64 RouteWalker::fixesPerLap() const
{
    const double duration = m_route.durationSeconds();
    if (m_route.isEmpty())
        return 0;
    if (duration <= 0.0)
        return 1;
    // The small tolerance keeps a route of exactly n steps at n + 1 fixes
    // despite rounding in the division.
    return qint64(std::ceil(duration / routeStepSeconds() - 1e-9)) + 1;
}

double RouteWalker::routeSecondsOf(qint64 index) const
{
    return std::min(double(index) * routeStepSeconds(), m_route.durationSeconds());
}
