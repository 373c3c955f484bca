#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

class FpcAppConnection;
class FpcStatusReport;

// What the Status page shows: the daemon's last status report (stored
// fingerprints by radio and kind, buffer and growth against their limits,
// the last upload), its drop counters over the last hour, and "Upload now"
// with its outcome. Follows the daemon's signals as they arrive.
class FpcAppStatusModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool hasStatus READ hasStatus NOTIFY statusChanged)
    Q_PROPERTY(int total READ total NOTIFY statusChanged)
    Q_PROPERTY(int gsm READ gsm NOTIFY statusChanged)
    Q_PROPERTY(int wcdma READ wcdma NOTIFY statusChanged)
    Q_PROPERTY(int noRadio READ noRadio NOTIFY statusChanged)
    // [{mask, count}], most frequent first.
    Q_PROPERTY(QVariantList kinds READ kinds NOTIFY statusChanged)
    Q_PROPERTY(double bufferBytes READ bufferBytes NOTIFY statusChanged)
    Q_PROPERTY(double bufferLimit READ bufferLimit NOTIFY statusChanged)
    Q_PROPERTY(double growthBytes READ growthBytes NOTIFY statusChanged)
    Q_PROPERTY(double growthLimit READ growthLimit NOTIFY statusChanged)
    // Seconds since the epoch, 0 for never.
    Q_PROPERTY(double lastUpload READ lastUpload NOTIFY statusChanged)
    Q_PROPERTY(int lastUploadCount READ lastUploadCount NOTIFY statusChanged)
    // Counter name -> count over the window below.
    Q_PROPERTY(QVariantMap recentDrops READ recentDrops NOTIFY dropsChanged)
    // The non-zero drops of that window in plain words, largest first.
    Q_PROPERTY(QStringList dropLines READ dropLines NOTIFY dropsChanged)
    // Start of that window; invalid while it reaches back to the daemon's start.
    Q_PROPERTY(QDateTime dropsSince READ dropsSince NOTIFY dropsChanged)
    Q_PROPERTY(bool uploading READ uploading NOTIFY uploadChanged)
    // "", "ok" or "failed": the outcome of the last attempt this app saw.
    Q_PROPERTY(QString uploadOutcome READ uploadOutcome NOTIFY uploadChanged)
    Q_PROPERTY(QString uploadMessage READ uploadMessage NOTIFY uploadChanged)
    Q_PROPERTY(int uploadElapsed READ uploadElapsed NOTIFY uploadElapsedChanged)

public:
    static constexpr qint64 DropWindowMs = 3600 * 1000;
    // Longer than the gateway's own answer time-out: by then an outcome is due.
    static constexpr int UploadWaitMs = 200000;

    explicit FpcAppStatusModel(FpcAppConnection *connection, QObject *parent = nullptr);

    bool hasStatus() const { return m_hasStatus; }
    int total() const { return m_total; }
    int gsm() const { return m_gsm; }
    int wcdma() const { return m_wcdma; }
    int noRadio() const { return m_noRadio; }
    QVariantList kinds() const { return m_kinds; }
    double bufferBytes() const { return m_bufferBytes; }
    double bufferLimit() const { return m_bufferLimit; }
    double growthBytes() const { return m_growthBytes; }
    double growthLimit() const { return m_growthLimit; }
    double lastUpload() const { return m_lastUpload; }
    int lastUploadCount() const { return m_lastUploadCount; }
    QVariantMap recentDrops() const { return m_recentDrops; }
    QStringList dropLines() const;
    QDateTime dropsSince() const { return m_dropsSince; }
    bool uploading() const { return m_uploading; }
    QString uploadOutcome() const { return m_uploadOutcome; }
    QString uploadMessage() const { return m_uploadMessage; }
    int uploadElapsed() const { return m_uploadElapsed; }

    Q_INVOKABLE void refresh();
    Q_INVOKABLE void uploadNow();

Q_SIGNALS:
    void statusChanged();
    void dropsChanged();
    void uploadChanged();
    void uploadElapsedChanged();

private:
    struct Sample
    {
        qint64 timeMs = 0;
        QVariantMap counters;
    };

    void onStatus(const FpcStatusReport &status);
    void onUploadFinished(bool ok, uint count, const QString &reason);
    void fetchDrops();
    void addDropSample(const QVariantMap &counters);
    void setUploadMessage(const QString &message);
    void setUpload(bool uploading, const QString &outcome, const QString &message);

    FpcAppConnection *m_connection;
    bool m_hasStatus = false;
    int m_total = 0;
    int m_gsm = 0;
    int m_wcdma = 0;
    int m_noRadio = 0;
    QVariantList m_kinds;
    double m_bufferBytes = 0;
    double m_bufferLimit = 0;
    double m_growthBytes = 0;
    double m_growthLimit = 0;
    double m_lastUpload = 0;
    int m_lastUploadCount = 0;
    QList<Sample> m_samples;
    QVariantMap m_recentDrops;
    QDateTime m_dropsSince;
    bool m_uploading = false;
    QString m_uploadOutcome;
    QString m_uploadMessage;
    int m_uploadElapsed = 0;
    QTimer m_uploadClock;
    QTimer m_dropClock;
};
