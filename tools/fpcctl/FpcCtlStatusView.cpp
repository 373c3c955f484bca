#include "FpcCtlStatusView.h"

#include "FpcCtlKind.h"
#include "FpcCtlOutput.h"

#include <QJsonArray>

#include <algorithm>

namespace {

const QString Service = QStringLiteral("com.vexlo.location.fpcd");

// Label column of the status page, right-aligned like systemctl's.
QString row(const QString &label, const QString &value)
{
    return label.rightJustified(14) + QStringLiteral(": ") + value + QLatin1Char('\n');
}

QString indent(const QString &value)
{
    return QString(16, QLatin1Char(' ')) + value + QLatin1Char('\n');
}

QString plural(int count, const QString &singular, const QString &pluralForm)
{
    return QString::number(count) + QLatin1Char(' ') + (count == 1 ? singular : pluralForm);
}

QDateTime fromMs(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QJsonValue isoOrNull(qint64 ms)
{
    return ms < 0 ? QJsonValue() : QJsonValue(FpcCtlOutput::isoUtc(fromMs(ms)));
}

uint percentOf(quint32 part, quint32 whole)
{
    return whole == 0 ? 0 : uint((quint64(part) * 100 + whole / 2) / whole);
}

QString watchTime(const QDateTime &now)
{
    return now.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Kinds by count, most frequent first; equal counts by mask.
QList<QPair<int, int>> sortedKinds(const FpcStatusReport &status)
{
    QList<QPair<int, int>> kinds;
    for (auto it = status.kinds.cbegin(); it != status.kinds.cend(); ++it)
        kinds << qMakePair(it.key(), it.value());
    std::sort(kinds.begin(), kinds.end(), [](const QPair<int, int> &a, const QPair<int, int> &b) {
        return a.second != b.second ? a.second > b.second : a.first > b.first;
    });
    return kinds;
}

} // namespace

QString FpcCtlStatusView::bar(uint percent)
{
    const uint clamped = std::min(percent, 100u);
    const int filled = int((clamped * BarWidth + 50) / 100);
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('.'))
           + QStringLiteral("] ") + QString::number(percent).rightJustified(3) + QLatin1Char('%');
}

QString FpcCtlStatusView::lastUploadText(const FpcStatusReport &status, const QDateTime &now)
{
    if (status.lastUpload == 0)
        return QStringLiteral("never");
    const QDateTime time = QDateTime::fromSecsSinceEpoch(status.lastUpload, Qt::UTC);
    return FpcCtlOutput::dateTime(time) + QStringLiteral("; ") + FpcCtlOutput::relative(time, now)
           + QStringLiteral(", ")
           + plural(int(status.lastUploadAmount), QStringLiteral("fingerprint"), QStringLiteral("fingerprints"));
}

QString FpcCtlStatusView::sizeText(const FpcStatusReport &status)
{
    return FpcCtlOutput::bytes(status.dbSize) + QStringLiteral(" of ") + FpcCtlOutput::bytes(status.effectiveMaxSize())
           + (status.maxSizeConfigured() ? QString() : QStringLiteral(" (default)"));
}

QString FpcCtlStatusView::growthText(const FpcStatusReport &status)
{
    return FpcCtlOutput::bytes(status.growth) + QStringLiteral(" of ")
           + FpcCtlOutput::bytes(status.effectiveDailyLimit())
           + (status.dailyLimitConfigured() ? QString() : QStringLiteral(" (default)"));
}

QString FpcCtlStatusView::text(const FpcStatusReport &status, bool activeGps, uint pid, const QDateTime &now)
{
    QString page = QStringLiteral("vomu-fpcd (") + Service
                   + (pid ? QStringLiteral(", pid %1)").arg(pid) : QStringLiteral(")")) + QLatin1Char('\n');
    page += row(QStringLiteral("Active GPS"), activeGps ? QStringLiteral("on") : QStringLiteral("off"));

    QString radios = QStringLiteral("WCDMA %1, GSM %2").arg(status.wcdma).arg(status.gsm);
    if (status.noRadio > 0)
        radios += QStringLiteral(", no cell %1").arg(status.noRadio);
    page += row(QStringLiteral("Fingerprints"), status.total() == 0
                                                    ? QStringLiteral("none stored")
                                                    : QStringLiteral("%1 stored (%2)").arg(status.total()).arg(radios));
    for (const auto &kind : sortedKinds(status)) {
        page += indent(QString::number(kind.second).rightJustified(6) + QStringLiteral("  ")
                       + FpcCtlKind::name(kind.first) + QStringLiteral(" (%1)").arg(kind.first));
    }
    if (status.unreadable > 0)
        page +=
            indent(plural(status.unreadable, QStringLiteral("unreadable entry"), QStringLiteral("unreadable entries")));
    if (status.oldestMs >= 0) {
        page += row(QStringLiteral("Collected"),
                    FpcCtlOutput::dateTime(fromMs(status.oldestMs)) + QStringLiteral(" to ")
                        + FpcCtlOutput::dateTime(fromMs(status.newestMs)) + QStringLiteral("; newest ")
                        + FpcCtlOutput::relative(fromMs(status.newestMs), now));
    }
    page += row(QStringLiteral("Buffer"), bar(status.fillRatio));
    page += row(QStringLiteral("Database"),
                QStringLiteral("%1 of %2 (%3 of %4 bytes%5)")
                    .arg(FpcCtlOutput::bytes(status.dbSize), FpcCtlOutput::bytes(status.effectiveMaxSize()))
                    .arg(status.dbSize)
                    .arg(status.effectiveMaxSize())
                    .arg(status.maxSizeConfigured() ? QString() : QStringLiteral("; default maximum")));
    page += row(QStringLiteral("Daily growth"),
                QStringLiteral("%1 of %2 allowed (%3%%4)")
                    .arg(FpcCtlOutput::bytes(status.growth), FpcCtlOutput::bytes(status.effectiveDailyLimit()))
                    .arg(percentOf(status.growth, status.effectiveDailyLimit()))
                    .arg(status.dailyLimitConfigured() ? QString() : QStringLiteral("; default limit")));
    page += row(QStringLiteral("Last upload"), lastUploadText(status, now));
    return page;
}

QJsonObject FpcCtlStatusView::fingerprintsJson(const FpcStatusReport &status)
{
    QJsonArray kinds;
    for (const auto &kind : sortedKinds(status)) {
        kinds.append(QJsonObject{{QStringLiteral("kind"), FpcCtlKind::name(kind.first)},
                                 {QStringLiteral("dataMask"), kind.first},
                                 {QStringLiteral("count"), kind.second}});
    }
    return QJsonObject{
        {QStringLiteral("total"), status.total()},
        {QStringLiteral("unreadable"), status.unreadable},
        {QStringLiteral("byRadio"), QJsonObject{{QStringLiteral("WCDMA"), status.wcdma},
                                                {QStringLiteral("GSM"), status.gsm},
                                                {QStringLiteral("none"), status.noRadio}}},
        {QStringLiteral("byKind"), kinds},
        {QStringLiteral("oldest"), isoOrNull(status.oldestMs)},
        {QStringLiteral("newest"), isoOrNull(status.newestMs)},
    };
}

QJsonObject FpcCtlStatusView::json(const FpcStatusReport &status, bool activeGps, uint pid)
{
    QJsonObject object{
        {QStringLiteral("service"), Service},
        {QStringLiteral("activeGps"), activeGps},
        {QStringLiteral("fingerprints"), fingerprintsJson(status)},
        {QStringLiteral("buffer"), QJsonObject{{QStringLiteral("fillPercent"), qint64(status.fillRatio)},
                                               {QStringLiteral("size"), qint64(status.dbSize)},
                                               {QStringLiteral("maxSize"), qint64(status.effectiveMaxSize())},
                                               {QStringLiteral("maxSizeConfigured"), status.maxSizeConfigured()}}},
        {QStringLiteral("growth"),
         QJsonObject{{QStringLiteral("bytes"), qint64(status.growth)},
                     {QStringLiteral("dailyLimit"), qint64(status.effectiveDailyLimit())},
                     {QStringLiteral("dailyLimitConfigured"), status.dailyLimitConfigured()}}},
        {QStringLiteral("lastUpload"),
         QJsonObject{{QStringLiteral("time"), status.lastUpload == 0
                                                  ? QJsonValue()
                                                  : QJsonValue(FpcCtlOutput::isoUtc(
                                                      QDateTime::fromSecsSinceEpoch(status.lastUpload, Qt::UTC)))},
                     {QStringLiteral("epochSeconds"), qint64(status.lastUpload)},
                     {QStringLiteral("fingerprints"), qint64(status.lastUploadAmount)}}},
    };
    if (pid)
        object.insert(QStringLiteral("pid"), qint64(pid));
    return object;
}

QString FpcCtlStatusView::watchLine(const FpcStatusReport &status, const FpcStatusReport *previous,
                                    const QDateTime &now)
{
    QString count = plural(status.total(), QStringLiteral("fingerprint"), QStringLiteral("fingerprints"));
    if (previous && previous->total() != status.total()) {
        const int delta = status.total() - previous->total();
        count += QStringLiteral(" (%1%2)").arg(delta > 0 ? QStringLiteral("+") : QString()).arg(delta);
    }
    QString upload = QStringLiteral("never");
    if (status.lastUpload != 0) {
        const QDateTime time = QDateTime::fromSecsSinceEpoch(status.lastUpload, Qt::UTC);
        upload = FpcCtlOutput::relative(time, now) + QStringLiteral(" (%1)").arg(status.lastUploadAmount);
    }
    return watchTime(now) + QStringLiteral("  status  ") + count
           + QStringLiteral(", fill %1%, db %2, growth %3, last upload %4")
                 .arg(status.fillRatio)
                 .arg(sizeText(status), growthText(status), upload);
}

QString FpcCtlStatusView::watchActiveLine(bool activeGps, const QDateTime &now)
{
    return watchTime(now) + QStringLiteral("  active GPS ")
           + (activeGps ? QStringLiteral("on") : QStringLiteral("off"));
}

QJsonObject FpcCtlStatusView::watchJson(const FpcStatusReport &status, const QDateTime &now)
{
    QJsonObject object = json(status, false, 0);
    object.remove(QStringLiteral("activeGps"));
    object.remove(QStringLiteral("service"));
    object.insert(QStringLiteral("event"), QStringLiteral("status"));
    object.insert(QStringLiteral("time"), FpcCtlOutput::isoUtc(now));
    return object;
}

QJsonObject FpcCtlStatusView::watchActiveJson(bool activeGps, const QDateTime &now)
{
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("activeGps")},
                       {QStringLiteral("time"), FpcCtlOutput::isoUtc(now)},
                       {QStringLiteral("activeGps"), activeGps}};
}

namespace {

const char *const UploadCounters[] = {"uploadsTried", "uploadsSucceeded", "uploadsFailed"};

// "tooFast" -> "too fast"
QString words(const QString &name)
{
    QString text;
    for (const QChar c : name) {
        if (c.isUpper())
            text += QLatin1Char(' ') + c.toLower();
        else
            text += c;
    }
    return text;
}

bool isUploadCounter(const QString &name)
{
    for (const char *upload : UploadCounters) {
        if (name == QLatin1String(upload))
            return true;
    }
    return false;
}

} // namespace

QString FpcCtlStatusView::countersText(const QVariantMap &counters)
{
    QString text = QStringLiteral("Dropped since start:\n");
    for (auto it = counters.cbegin(); it != counters.cend(); ++it) {
        if (!isUploadCounter(it.key()))
            text += QStringLiteral("  %1 %2\n").arg(words(it.key()) + QLatin1Char(':'), -17).arg(it.value().toUInt());
    }
    text += QStringLiteral("Uploads since start:  %1 tried, %2 succeeded, %3 failed\n")
                .arg(counters.value(QLatin1String(UploadCounters[0])).toUInt())
                .arg(counters.value(QLatin1String(UploadCounters[1])).toUInt())
                .arg(counters.value(QLatin1String(UploadCounters[2])).toUInt());
    return text;
}

QJsonObject FpcCtlStatusView::countersJson(const QVariantMap &counters)
{
    QJsonObject dropped;
    QJsonObject uploads;
    for (auto it = counters.cbegin(); it != counters.cend(); ++it) {
        if (isUploadCounter(it.key()))
            uploads.insert(it.key(), qint64(it.value().toUInt()));
        else
            dropped.insert(it.key(), qint64(it.value().toUInt()));
    }
    return QJsonObject{{QStringLiteral("dropped"), dropped}, {QStringLiteral("uploads"), uploads}};
}
