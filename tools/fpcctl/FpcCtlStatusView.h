#pragma once

#include "FpcStatusReport.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVariantMap>

// Renders status reports: the full status page of "fpcctl status" (text or
// JSON) and the one-line forms of "fpcctl watch". Times are shown relative
// to the given now, so the output can be checked.
class FpcCtlStatusView
{
public:
    static constexpr int BarWidth = 30;

    // pid 0 when unknown.
    static QString text(const FpcStatusReport &status, bool activeGps, uint pid, const QDateTime &now);
    static QJsonObject json(const FpcStatusReport &status, bool activeGps, uint pid);

    // The daemon's drop and upload counters (dropCounters): a block of
    // lines for the status page, and the same as a JSON object.
    static QString countersText(const QVariantMap &counters);
    static QJsonObject countersJson(const QVariantMap &counters);

    // "[#########.....................]  30%"
    static QString bar(uint percent);

    // previous is null for the first line of a watch.
    static QString watchLine(const FpcStatusReport &status, const FpcStatusReport *previous, const QDateTime &now);
    static QString watchActiveLine(bool activeGps, const QDateTime &now);
    static QJsonObject watchJson(const FpcStatusReport &status, const QDateTime &now);
    static QJsonObject watchActiveJson(bool activeGps, const QDateTime &now);

private:
    static QString lastUploadText(const FpcStatusReport &status, const QDateTime &now);
    static QString sizeText(const FpcStatusReport &status);
    static QString growthText(const FpcStatusReport &status);
    static QJsonObject fingerprintsJson(const FpcStatusReport &status);
};
