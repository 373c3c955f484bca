#pragma once

#include "FpcSLPGWConnector.h"
#include "SlpGwTypes.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>

Q_DECLARE_METATYPE(SlpGwNetworkUsage)

// The process-wide upload controller: owns the gateway connector, offers an
// upload now (fprPrepare, the forced upload), an upload over a given kind of
// network (fprAttach, the upload triggers) and whether such a request is
// pending, turns the connector's outcome into uploadFinished() or
// uploadError() and requests a failed attach again after
// "fp_upload_retry_timeout" seconds.
//
// Lives on the main thread; the connector's signals reach it through
// automatic connections, so a gateway calling from a thread of its own is
// served here too.
class FpcUploader : public QObject
{
    Q_OBJECT

public:
    // Upload state shared with the connector, which sets it when the gateway
    // asks for a transaction's data.
    enum UploadState { Idle = 0, PrepareOngoing = 1, OnlyFreeSending = 2, FreeAndHomeSending = 3 };

    // The one uploader of the process, created at the first call and never
    // destroyed.
    static FpcUploader *instance();
    static int uploadState();
    // False while "upload_enabled" is 0: no upload of any kind starts.
    static bool uploadEnabled();
    // fprPrepare's result while upload is switched off.
    static constexpr int SwitchedOff = 3;
    static void setUploadState(int state);

    // Tests make their own; the daemon uses instance().
    explicit FpcUploader(QObject *parent = nullptr);
    ~FpcUploader() override;

    bool isRetryPending() const { return m_retryPending; }

signals:
    void uploadFinished();
    void uploadError(QString reason);

public slots:
    // 0 started, 1 gateway library missing or unusable, 2 refused by the
    // gateway, SwitchedOff while upload is switched off. Throws a QString while a prepare is under way.
    int fprPrepare();
    // Returns 0; the connector's exceptions pass to the caller.
    int fprAttach(SlpGwNetworkUsage connType);
    bool isPendingAttach(SlpGwNetworkUsage connType);

private slots:
    void fpcConnectorUploadFinished();
    void fpcConnectorConnectionError(QString reason);
    void attachRetryTimeout();

private:
    void startRetryTimer(quint32 timeoutSeconds, SlpGwNetworkUsage type);

    FpcSLPGWConnector m_connector;
    bool m_retryPending = false;
    SlpGwNetworkUsage m_retryAttachType = OnlyFree;
    QTimer m_retryTimer;
};
