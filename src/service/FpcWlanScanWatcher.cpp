#include "FpcWlanScanWatcher.h"

#include "FpcConfig.h"

#include <QDebug>

#include <climits>

FpcWlanScanWatcher::Settings FpcWlanScanWatcher::fromConfiguration()
{
    Settings settings;
    settings.passiveScanDelaySeconds = FpcConfig::getIntValue(QStringLiteral("passive_wlan_scan_delay"), 5);
    settings.freeScanIntervalMinutes = FpcConfig::getIntValue(QStringLiteral("wlan_free_scan_interval"), 240);
    return settings;
}

const char *FpcWlanScanWatcher::stateName(uint state)
{
    return state == SearchStarted ? "WEM_STATE_SEARCH_START" : "WEM_STATE_SEARCH_STOP";
}

qint64 FpcWlanScanWatcher::delayMs(int delaySeconds)
{
    return qMin<qint64>(qMax(0, delaySeconds) * qint64(1000), INT_MAX);
}

bool FpcWlanScanWatcher::ownScanIsOld(qint64 nowMs, qint64 lastOwnScanMs, qint64 delay)
{
    return lastOwnScanMs + delay < nowMs;
}

FpcWlanScanWatcher::Reaction FpcWlanScanWatcher::onStateChange(const QString &bearerType, uint state, qint64 nowMs,
                                                               qint64 lastOwnScanMs, const Settings &settings)
{
    if (bearerType != QLatin1String(WlanBearer))
        return {};

    qDebug() << "FpcEventHandler::onWem2SearchStateChange() internal state = " << stateName(m_searchState);
    if (state != SearchStarted && state != SearchStopped) {
        qWarning() << "FpcEventHandler::onWem2SearchStateChange() unknown wem state" << state << "ignored";
        return {};
    }
    qDebug() << "FpcEventHandler::onWem2SearchStateChange() wem state = " << stateName(state);

    if (state == SearchStopped && m_searchState == SearchStarted)
        return searchStopped(nowMs, lastOwnScanMs, settings);
    if (state == SearchStarted && m_searchState == SearchStopped) {
        // A start soon after the daemon's own result belongs to that scan.
        if (ownScanIsOld(nowMs, lastOwnScanMs, delayMs(settings.passiveScanDelaySeconds)))
            m_searchState = SearchStarted;
    }
    return {};
}

FpcWlanScanWatcher::Reaction FpcWlanScanWatcher::searchStopped(qint64 nowMs, qint64 lastOwnScanMs,
                                                               const Settings &settings)
{
    m_searchState = SearchStopped;
    Reaction reaction;
    const qint64 delay = delayMs(settings.passiveScanDelaySeconds);
    reaction.freeResults = true;
    reaction.freeResultsMs = int(delay);
    if (!ownScanIsOld(nowMs, lastOwnScanMs, delay))
        return reaction;

    qDebug() << "[INFO] FpcEventHandler::onWem2SearchStateChange()"
             << "Free WLAN results requested by some other app";
    const qint64 interval = settings.freeScanIntervalMinutes;
    const qint64 since = (nowMs - m_lastFreeWlanFingerprintTime) / 60000;
    qDebug() << "FpcEventHandler::onWem2SearchStateChange() currentTimeStamp: " << nowMs;
    qDebug() << "FpcEventHandler::onWem2SearchStateChange() lastFreeWlanTimestamp: " << m_lastFreeWlanFingerprintTime;
    qDebug() << "FpcEventHandler::onWem2SearchStateChange() sinceLastFreeScan (minutes): " << since;
    qDebug() << "FpcEventHandler::onWem2SearchStateChange() wlanFreeScanMinimumInterval (minutes): " << interval;
    if (since > interval) {
        qDebug() << "FpcEventHandler::onWem2SearchStateChange() Create fingerprint from free WLAN results passed";
        m_lastFreeWlanFingerprintTime = nowMs;
        reaction.createFingerprint = true;
    } else {
        qDebug() << "FpcEventHandler::onWem2SearchStateChange() Free Wlan results ignored: last free scan  done "
                 << since << " minutes ago (limit: " << interval << " minutes)";
    }
    return reaction;
}
