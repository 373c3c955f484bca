#include "FpcAppStatusModel.h"

#include "FpcAppConnection.h"
#include "FpcCounterText.h"
#include "FpcStatusReport.h"

#include <algorithm>

namespace {

constexpr int UploadTickMs = 1000;
// The counters change with every fix; a minute keeps the hour's window current.
constexpr int DropPollMs = 60000;

} // namespace

FpcAppStatusModel::FpcAppStatusModel(FpcAppConnection *connection, QObject *parent)
    : QObject(parent), m_connection(connection)
{
    connect(&connection->client(), &FpcClient::statusReceived, this, &FpcAppStatusModel::onStatus);
    connect(&connection->client(), &FpcClient::uploadFinished, this, &FpcAppStatusModel::onUploadFinished);
    connect(connection, &FpcAppConnection::daemonAppeared, this, &FpcAppStatusModel::refresh);
    connect(connection, &FpcAppConnection::stateChanged, this, [this] {
        if (m_uploading && m_connection->state() == FpcAppConnection::NotRunning)
            setUpload(false, QStringLiteral("failed"), tr("The collector stopped before the upload finished."));
    });
    m_uploadClock.setInterval(UploadTickMs);
    connect(&m_uploadClock, &QTimer::timeout, this, [this] {
        m_uploadElapsed += UploadTickMs / 1000;
        emit uploadElapsedChanged();
        if (m_uploadElapsed * 1000 >= UploadWaitMs)
            setUpload(false, QStringLiteral("failed"),
                      tr("No outcome from the collector after %1 s; the upload may still finish later.")
                          .arg(m_uploadElapsed));
    });
    m_dropClock.setInterval(DropPollMs);
    connect(&m_dropClock, &QTimer::timeout, this, &FpcAppStatusModel::fetchDrops);
    m_dropClock.start();
}

void FpcAppStatusModel::refresh()
{
    m_connection->client().requestStatus(this, [this](const FpcClientResult &result) { m_connection->note(result); });
    fetchDrops();
}

void FpcAppStatusModel::onStatus(const FpcStatusReport &status)
{
    m_hasStatus = true;
    m_total = status.total();
    m_gsm = status.gsm;
    m_wcdma = status.wcdma;
    m_noRadio = status.noRadio;
    QList<QPair<int, int>> kinds;
    for (auto it = status.kinds.cbegin(); it != status.kinds.cend(); ++it)
        kinds << qMakePair(it.key(), it.value());
    std::stable_sort(kinds.begin(), kinds.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    m_kinds.clear();
    for (const auto &kind : kinds)
        m_kinds << QVariantMap{{QStringLiteral("mask"), kind.first}, {QStringLiteral("count"), kind.second}};
    m_bufferBytes = status.dbSize;
    m_bufferLimit = status.effectiveMaxSize();
    m_growthBytes = status.growth;
    m_growthLimit = status.effectiveDailyLimit();
    m_lastUpload = status.lastUpload;
    m_lastUploadCount = int(status.lastUploadAmount);
    emit statusChanged();
    fetchDrops();
}

void FpcAppStatusModel::fetchDrops()
{
    if (m_connection->state() != FpcAppConnection::Ready && m_connection->state() != FpcAppConnection::AccessDenied)
        return;
    m_connection->client().readDropCounters(this, [this](const FpcClientResult &result) {
        if (result.ok())
            addDropSample(result.counters);
    });
}

// The daemon counts since its start; the hour's figures are the difference to
// the newest sample that is at least an hour old.
void FpcAppStatusModel::addDropSample(const QVariantMap &counters)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    // A counter that went down means the daemon restarted: older samples are void.
    for (auto it = counters.cbegin(); it != counters.cend() && !m_samples.isEmpty(); ++it) {
        if (it.value().toUInt() < m_samples.last().counters.value(it.key()).toUInt())
            m_samples.clear();
    }
    m_samples.append({now, counters});
    while (m_samples.size() > 1 && m_samples.at(1).timeMs <= now - DropWindowMs)
        m_samples.removeFirst();
    const bool hasBaseline = m_samples.size() > 1 && m_samples.first().timeMs <= now - DropWindowMs;
    QVariantMap recent;
    for (auto it = counters.cbegin(); it != counters.cend(); ++it) {
        const uint base = hasBaseline ? m_samples.first().counters.value(it.key()).toUInt() : 0;
        recent.insert(it.key(), it.value().toUInt() - base);
    }
    m_recentDrops = recent;
    m_dropsSince = hasBaseline ? QDateTime::fromMSecsSinceEpoch(m_samples.first().timeMs) : QDateTime();
    emit dropsChanged();
}

QStringList FpcAppStatusModel::dropLines() const
{
    QList<QPair<uint, QString>> drops;
    for (auto it = m_recentDrops.cbegin(); it != m_recentDrops.cend(); ++it) {
        if (it.value().toUInt() > 0 && !it.key().startsWith(QLatin1String("uploads")))
            drops << qMakePair(it.value().toUInt(), it.key());
    }
    std::stable_sort(drops.begin(), drops.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList lines;
    for (const auto &drop : drops)
        lines << FpcCounterText::sentence(drop.second, drop.first);
    return lines;
}

void FpcAppStatusModel::uploadNow()
{
    if (m_uploading)
        return;
    setUpload(true, QString(), tr("Asking the collector to upload…"));
    // A start the daemon refuses also comes as a failed outcome; whichever
    // arrives first is shown.
    m_connection->client().startUpload(this, [this](const FpcClientResult &result) {
        m_connection->note(result);
        if (!m_uploading)
            return;
        if (!result.ok())
            setUpload(false, QStringLiteral("failed"), result.message);
        else
            setUploadMessage(result.answer);
    });
}

void FpcAppStatusModel::onUploadFinished(bool ok, uint count, const QString &reason)
{
    // An upload the daemon started by itself is shown just the same.
    if (ok)
        setUpload(false, QStringLiteral("ok"), tr("Uploaded %n fingerprint(s).", nullptr, int(count)));
    else
        setUpload(false, QStringLiteral("failed"),
                  tr("Upload failed: %1").arg(reason.isEmpty() ? tr("no reason given") : reason));
    refresh();
}

// The daemon's answer to the request; the outcome signal follows.
void FpcAppStatusModel::setUploadMessage(const QString &message)
{
    m_uploadMessage = message;
    emit uploadChanged();
}

void FpcAppStatusModel::setUpload(bool uploading, const QString &outcome, const QString &message)
{
    m_uploading = uploading;
    m_uploadOutcome = outcome;
    m_uploadMessage = message;
    m_uploadElapsed = 0;
    if (uploading)
        m_uploadClock.start();
    else
        m_uploadClock.stop();
    emit uploadChanged();
    emit uploadElapsedChanged();
}
