#pragma once

#include "MSlpGwObserver.h"
#include "SlpGwRequestParam.h"
#include "SlpGwTypes.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class MSlpGw;

// The daemon's one contact with the SLP gateway library. It asks the gateway
// for transactions of two kinds, an attach (upload as soon as a network of
// the wanted kind is there) and a prepare (upload now, over any network);
// when the gateway asks for a transaction's data it takes the fingerprint
// report from its report source and hands it over in parts of 16384 bytes,
// collects the server's XML reply and reports the outcome with
// uploadFinished() or connectionError(). A prepare is watched by a GLib
// time-out served by the main event loop.
//
// startAttach() and startPrepare() throw a std::string when the library is
// missing or unusable and an int holding the gateway code when a gateway
// call fails. Nothing is thrown out of the gateway's callbacks.
class FpcSLPGWConnector : public QObject
{
    Q_OBJECT

public:
    // Receives the gateway's callbacks and hands them to its connector.
    class SLPGWObserverImpl : public MSlpGwObserver
    {
    public:
        explicit SLPGWObserverImpl(FpcSLPGWConnector *connector);
        void RequestData(uint32_t transactionId) override;
        void ReceiveData(const char *data, uint32_t length, uint32_t transactionId, int status) override;
        void ConnectionStatusChanged(uint32_t status) override;
        void ErrorCallback(int status, uint32_t transactionId) override;
        ~SLPGWObserverImpl() override;

    private:
        FpcSLPGWConnector *m_connector;
    };

    static constexpr qsizetype kPartSize = 0x4000;
    static constexpr qsizetype kMaxParts = 262144;
    // A server reply is a short XML document; anything larger is refused
    // rather than collected without bound.
    static constexpr qsizetype kMaxReplyBytes = 1024 * 1024;
    // Depth and element count of a server reply worth parsing.
    static constexpr int kMaxReplyDepth = 16;
    static constexpr qint64 kMaxReplyElements = 4096;
    static constexpr int kDefaultReplyTimeoutMs = 180000;
    // The reply status of a server that will not take the report: sending
    // the same fingerprints again would be refused again.
    static constexpr const char *kRefusedStatus = "Server.UploadRefused";

    explicit FpcSLPGWConnector(QObject *parent = nullptr);
    ~FpcSLPGWConnector() override;

    // Requests an attach for OnlyFree or FreeAndHomeNw; returns its
    // transaction id, or 0 when nothing was requested (one of that kind is
    // pending, or the kind is not supported).
    uint32_t startAttach(SlpGwNetworkUsage usage);
    // Requests an upload over any network right now and starts the reply
    // time-out ("slpgw_connection_timeout", milliseconds).
    void startPrepare();
    bool isPendingAttach(SlpGwNetworkUsage usage);

    // The observer handed to the gateway with every request.
    MSlpGwObserver *observer() { return &m_observer; }

    // Name of a gateway code ("SLPGW_ERR_GENERAL"); empty for an unknown code.
    static QString errorName(int code);
    // "SLPGW_CONNECTION_OPEN SLPGW_CONNECTION_FREE " for the status bits 1|2.
    static QString connectionStatusText(uint32_t status);
    // The status attribute of the reply's first fingerprintResponse element,
    // or the text of the parse error.
    static QString serverResponseValid(const QByteArray &reply);

    // Where the report for a data request comes from: the daemon installs
    // the buffer's report of every stored fingerprint, the transfer tests
    // hand over reports of exact sizes. Unset, no report can be built.
    using ReportSource = std::function<bool(QByteArray &report)>;
    static void setReportSource(ReportSource source);

signals:
    void uploadFinished();
    void connectionError(QString error);

private:
    // Which of the recorded transactions an id was.
    enum TransactionKind : unsigned {
        NoTransaction = 0,
        OnlyFreeAttach = 1,
        FreeAndHomeAttach = 2,
        PrepareTransaction = 4
    };

    void emitUploadFinished();
    void emitConnectionError(const QString &error);

    void checkLibraryVersion(const char *message);
    void obtainGateway(const char *caller);
    void createGateway();
    void connectGateway();
    void reconnectGateway();
    void releaseGateway(bool reportLostPrepare = true);
    void checkSLPGwError(int code);

    unsigned transactionKind(uint32_t transactionId) const;
    unsigned forgetTransaction(uint32_t transactionId);
    void forgetAllTransactions();
    void abandonTransaction(uint32_t transactionId);
    void stopReplyTimer(const char *message);
    void startReplyTimer();
    static int replyTimeoutMs();

    bool buildReport(QByteArray &report);
    void sendReport(const QByteArray &report, uint32_t transactionId);

    void requestData(uint32_t transactionId);
    void receiveData(const char *data, uint32_t length, uint32_t transactionId, int status);
    void finishReply();
    void connectionStatusChanged(uint32_t status);
    void errorCallback(int status, uint32_t transactionId);
    void replyTimedOut();
    friend int slpgwTimerThreadCallbackForPrepare(void *connector);

    SLPGWObserverImpl m_observer;
    MSlpGw *m_slpgw = nullptr;
    uint32_t m_prepareId = 0;
    uint32_t m_freeAndHomeId = 0;
    uint32_t m_onlyFreeId = 0;
    // The recorded OnlyFree attach was cancelled in favour of the pending
    // FreeAndHomeNw attach and stands for it: it goes when that one goes.
    bool m_onlyFreeCancelled = false;
    QByteArray m_receiveBuffer;
    uint32_t m_connectionStatus = 0;
    SlpGwRequestParam m_params;
    // The GLib source watching the running prepare; 0 when none runs.
    unsigned m_replyTimer = 0;
};
