#include "FpcSLPGWConnector.h"

#include "FpcConfig.h"
#include "FpcUploader.h"
#include "FpcXmlLimits.h"
#include "MSlpGw.h"
#include "SlpGwFactory.h"

#include <QDebug>
#include <QDomDocument>
#include <QMap>
#include <QTimer>

#include <exception>
#include <string>

#include <glib.h>

namespace {

const QMap<int, QString> &errorNames()
{
    static const QMap<int, QString> names = {
        {2001, QStringLiteral("SLPGW_ERR_GENERAL")},
        {2002, QStringLiteral("SLPGW_ERR_INVALID_ARGUMENTS")},
        {2003, QStringLiteral("SLPGW_ERR_OUT_OF_MEMORY")},
        {2004, QStringLiteral("SLPGW_ERR_NOT_FOUND")},
        {2101, QStringLiteral("SLPGW_ERR_SERVER_NOT_FOUND")},
        {2102, QStringLiteral("SLPGW_ERR_ALREADY_CONNECTED")},
        {2103, QStringLiteral("SLPGW_ERR_UNAVAILABLE_NW")},
        {2201, QStringLiteral("SLPGW_ERR_PROTOCOL_NOT_SUPPORTED")},
        {2202, QStringLiteral("SLPGW_ERR_SERVER_PERMISSION_DENIED")},
        {2203, QStringLiteral("SLPGW_ERR_REMOTE_SERVER_DOWN")},
        {2204, QStringLiteral("SLPGW_ERR_NO_CONNECTION")},
        {2205, QStringLiteral("SLPGW_ERR_USER_PERMISSION_DENIED")},
        {2206, QStringLiteral("SLPGW_ERR_EARLY_DISCONNECT")},
        {2207, QStringLiteral("SLPGW_ERR_CANCELED")},
        {2208, QStringLiteral("SLPGW_ERR_CONNECTION_LOST")},
        {2209, QStringLiteral("SLPGW_ERR_BEARER_CHANGED")},
        {2301, QStringLiteral("SLPGW_RECEIVE_ONGOING")},
        {2302, QStringLiteral("SLPGW_RECEIVE_END_OF_MIME")},
        {2303, QStringLiteral("SLPGW_RECEIVE_COMPLETE")},
    };
    return names;
}

FpcSLPGWConnector::ReportSource &reportSource()
{
    static FpcSLPGWConnector::ReportSource source;
    return source;
}

void setStringAttribute(SlpGwRequestParam &params, int attribute, const char *text)
{
    params.setStringAttribute(attribute, text, uint32_t(qstrlen(text)));
}

const char *const TimeoutMessage =
    "slpgwTimerThreadCallbackForPrepare() ERROR timeout when waiting reply from SLPGW API";

} // namespace

// The reply time-out of a prepare: runs once from the GLib main context,
// which the main thread's Qt event loop serves.
gboolean slpgwTimerThreadCallbackForPrepare(gpointer connector)
{
    static_cast<FpcSLPGWConnector *>(connector)->replyTimedOut();
    return FALSE;
}

// ---------------------------------------------------------------- observer

FpcSLPGWConnector::SLPGWObserverImpl::SLPGWObserverImpl(FpcSLPGWConnector *connector) : m_connector(connector) {}

FpcSLPGWConnector::SLPGWObserverImpl::~SLPGWObserverImpl() = default;

void FpcSLPGWConnector::SLPGWObserverImpl::RequestData(uint32_t transactionId)
{
    m_connector->requestData(transactionId);
}

void FpcSLPGWConnector::SLPGWObserverImpl::ReceiveData(const char *data, uint32_t length, uint32_t transactionId,
                                                       int status)
{
    m_connector->receiveData(data, length, transactionId, status);
}

void FpcSLPGWConnector::SLPGWObserverImpl::ConnectionStatusChanged(uint32_t status)
{
    m_connector->connectionStatusChanged(status);
}

void FpcSLPGWConnector::SLPGWObserverImpl::ErrorCallback(int status, uint32_t transactionId)
{
    m_connector->errorCallback(status, transactionId);
}

// ---------------------------------------------------------------- set-up

FpcSLPGWConnector::FpcSLPGWConnector(QObject *parent) : QObject(parent), m_observer(this)
{
    setStringAttribute(m_params, ESlpGwAttrRequestType, "upload");
    setStringAttribute(m_params, ESlpGwAttrDataType, "fingerprint");
    setStringAttribute(m_params, ESlpGwAttrProtocolVersion, "2.0");
    setStringAttribute(m_params, ESlpGwAttrEncoding, "binary");
    setStringAttribute(m_params, ESlpGwAttrContentType, "application/octet-stream");
    m_params.setUIntAttribute(ESlpGwAttrBufferSize, 4096);
    m_params.setPtrAttribute(ESlpGwAttrObserver, static_cast<MSlpGwObserver *>(&m_observer));
    qDebug() << "FpcSLPGWConnector()";
}

// The time-out source and the gateway both hold pointers to this object:
// neither may call back once it is gone.
FpcSLPGWConnector::~FpcSLPGWConnector()
{
    if (m_replyTimer != 0) {
        g_source_remove(m_replyTimer);
        m_replyTimer = 0;
    }
    releaseGateway(false);
}

void FpcSLPGWConnector::setReportSource(ReportSource source)
{
    reportSource() = std::move(source);
}

QString FpcSLPGWConnector::errorName(int code)
{
    return errorNames().value(code);
}

QString FpcSLPGWConnector::connectionStatusText(uint32_t status)
{
    QString text;
    if (status & ESlpGwConnectionOpen)
        text += QLatin1String("SLPGW_CONNECTION_OPEN ");
    if (status & ESlpGwConnectionFree)
        text += QLatin1String("SLPGW_CONNECTION_FREE ");
    if (status & ESlpGwConnectionRoaming)
        text += QLatin1String("SLPGW_CONNECTION_ROAMING ");
    return text;
}

void FpcSLPGWConnector::emitUploadFinished()
{
    qDebug() << "FpcSLPGWConnector::emitUploadFinished()";
    emit uploadFinished();
}

void FpcSLPGWConnector::emitConnectionError(const QString &error)
{
    qDebug() << "FpcSLPGWConnector::emitConnectionError()" << error;
    emit connectionError(error);
}

// ---------------------------------------------------------------- gateway object

void FpcSLPGWConnector::checkLibraryVersion(const char *message)
{
    if (SlpGwFactory::version() < 1)
        throw std::string(message);
}

void FpcSLPGWConnector::obtainGateway(const char *caller)
{
    if (m_slpgw) {
        qDebug().noquote() << caller << "We already have a SLPGW object, using existing instance";
        return;
    }
    qDebug().noquote() << caller << "Requesting new SLPGW instance from the library";
    createGateway();
    connectGateway();
}

void FpcSLPGWConnector::createGateway()
{
    m_slpgw = SlpGwFactory::createSlpGw(1);
    if (!m_slpgw)
        throw std::string("FpcSLPGWConnector(): ERROR: SLPGWFactory returned NULL");
}

void FpcSLPGWConnector::connectGateway()
{
    qDebug() << "FpcSLPGWConnector::connect(): Calling slpgw->Connect()";
    checkSLPGwError(m_slpgw->Connect(m_params));
}

// A general error may mean a broken session: start over with a new one.
void FpcSLPGWConnector::reconnectGateway()
{
    releaseGateway();
    createGateway();
    connectGateway();
}

// Every transaction of the gateway object ends with it, so the recorded ids
// go too: kept, they would refuse new attaches of their kind for ever. A
// prepare ended this way is reported as failed (after this call has
// returned), so that the upload state does not stay "prepare under way".
void FpcSLPGWConnector::releaseGateway(bool reportLostPrepare)
{
    if (!m_slpgw)
        return;
    MSlpGw *gateway = m_slpgw;
    m_slpgw = nullptr;
    gateway->close();
    delete gateway;

    const uint32_t lostPrepare = m_prepareId;
    forgetAllTransactions();
    m_receiveBuffer.clear();
    if (lostPrepare == 0 || !reportLostPrepare)
        return;
    stopReplyTimer("FpcSLPGWConnector::releaseGateway() prepare ended with the session -- SLPGW timer removed");
    qDebug() << "FpcSLPGWConnector::releaseGateway() SLPGW session released, prepare transaction id:" << lostPrepare
             << "ended with it";
    QTimer::singleShot(0, this, [this, lostPrepare] {
        emitConnectionError(QStringLiteral("FpcSLPGWConnector: ERROR: SLPGW session released, "
                                           "prepare transaction %1 ended with it")
                                .arg(lostPrepare));
    });
}

void FpcSLPGWConnector::checkSLPGwError(int code)
{
    qDebug() << "FpcSLPGWConnector::checkSLPGwError(" << code << "): " << errorName(code);
    if (code == ESlpGwOk)
        return;
    stopReplyTimer("FpcSLPGWConnector::start() error detected -- SLPGW timer removed");
    releaseGateway();
    throw code;
}

// ---------------------------------------------------------------- requests

uint32_t FpcSLPGWConnector::startAttach(SlpGwNetworkUsage usage)
{
    qDebug() << "FpcSLPGWConnector::startAttach() <-";
    if (usage == OnlyFree) {
        qDebug() << "FpcSLPGWConnector::startAttach() Attach type of OnlyFree -- requested";
        if (m_onlyFreeId != 0) {
            qDebug() << "FpcSLPGWConnector::startAttach()   -> cannot request - attach already exists for OnlyFree, "
                        "transactionid:"
                     << m_onlyFreeId;
            return 0;
        }
    } else if (usage == FreeAndHomeNw) {
        qDebug() << "FpcSLPGWConnector::startAttach() Attach type of FreeAndHomeNw -- requested";
        if (m_freeAndHomeId != 0) {
            qDebug() << "FpcSLPGWConnector::startAttach()   -> cannot request - attach already exists for "
                        "FreeAndHomeNw, transactionid:"
                     << m_freeAndHomeId;
            return 0;
        }
    } else {
        qDebug() << "FpcSLPGWConnector::startAttach() ERROR: Not supported attach type requested!";
        return 0;
    }

    // Checked before anything is cancelled: a refused request leaves the
    // pending OnlyFree attach alone.
    checkLibraryVersion("FpcSLPGWConnector::startAttach(): ERROR: SLPGWFactory under version 1 not supported");

    // A FreeAndHomeNw attach also uses free networks: the pending OnlyFree
    // one is cancelled, and its id stays recorded while the new one stands.
    if (usage == FreeAndHomeNw && m_onlyFreeId != 0 && m_slpgw && !m_onlyFreeCancelled) {
        m_slpgw->cancel(m_onlyFreeId);
        m_onlyFreeCancelled = true;
        qDebug() << "FpcSLPGWConnector::startAttach()   -> cancelled pending OnlyFree attach, it was transaction id:"
                 << m_onlyFreeId;
    }

    m_params.setUIntAttribute(ESlpGwAttrNetworkUsage, uint32_t(usage));
    obtainGateway("FpcSLPGWConnector::startAttach()");

    uint32_t transactionId = 0;
    qDebug() << "FpcSLPGWConnector::startAttach(): Calling slpgw->attachToSend()";
    int code = m_slpgw->attachToSend(transactionId, m_params);
    if (code == ESlpGwErrGeneral) {
        qDebug() << "FpcSLPGWConnector::startAttach(): attachToSend() returned SLPGWGENERALERROR, it might be a broken "
                    "connection, trying to reconnect:";
        reconnectGateway();
        transactionId = 0;
        code = m_slpgw->attachToSend(transactionId, m_params);
    }
    checkSLPGwError(code);

    if (usage == OnlyFree) {
        m_onlyFreeId = transactionId;
        m_onlyFreeCancelled = false;
    } else {
        m_freeAndHomeId = transactionId;
    }
    qDebug() << "FpcSLPGWConnector::startAttach(): slpgw->attachToSend() DONE transaction id for this session is: "
             << transactionId;
    qDebug() << "FpcSLPGWConnector::startAttach() ->";
    return transactionId;
}

void FpcSLPGWConnector::startPrepare()
{
    qDebug() << "FpcSLPGWConnector::startPrepare() BEGIN";
    if (SlpGwFactory::version() < 1) {
        stopReplyTimer("FpcSLPGWConnector::startPrepare() error  -- SLPGW timer removed");
        throw std::string("FpcSLPGWConnector::startPrepare(): ERROR: SLPGWFactory under version 1 not supported");
    }

    obtainGateway("FpcSLPGWConnector::startPrepare()");
    const uint32_t status = m_slpgw->connectionStatus();
    qDebug() << "   - Connection updated " << connectionStatusText(m_connectionStatus) << " -> "
             << connectionStatusText(status);
    m_connectionStatus = status;

    qDebug() << "FpcSLPGWConnector::startPrepare(): Network usage: VomuPdAllowed -> ESlpGwNwUsageAny";
    m_params.setUIntAttribute(ESlpGwAttrNetworkUsage, uint32_t(ESlpGwNwUsageAny));

    uint32_t transactionId = 0;
    qDebug() << "FpcSLPGWConnector::startPrepare(): Calling slpgw->PrepareToSend()";
    int code = m_slpgw->PrepareToSend(transactionId, m_params);
    if (code == ESlpGwErrGeneral) {
        qDebug() << "FpcSLPGWConnector::startPrepare(): prepareToSend() returned SLPGWGENERALERROR, it might be a "
                    "broken connection, trying to reconnect:";
        reconnectGateway();
        transactionId = 0;
        code = m_slpgw->PrepareToSend(transactionId, m_params);
    }
    checkSLPGwError(code);

    m_prepareId = transactionId;
    qDebug() << "FpcSLPGWConnector::startPrepare(): slpgw->PrepareToSend() DONE transaction id for this session is: "
             << transactionId;
    startReplyTimer();
    qDebug() << "FpcSLPGWConnector::startPrepare() END";
}

bool FpcSLPGWConnector::isPendingAttach(SlpGwNetworkUsage usage)
{
    if (usage == OnlyFree) {
        if (m_onlyFreeId != 0) {
            qDebug() << "FpcSLPGWConnector::isPendingAttach(): Pending attach for OnlyFree exists";
            return true;
        }
        qDebug() << "FpcSLPGWConnector::isPendingAttach(): No pending attach for OnlyFree";
        return false;
    }
    if (usage == FreeAndHomeNw) {
        if (m_freeAndHomeId != 0) {
            qDebug() << "FpcSLPGWConnector::isPendingAttach(): Pending attach for FreeAndHomeNw exists";
            return true;
        }
        qDebug() << "FpcSLPGWConnector::isPendingAttach(): No pending attach for FreeAndHomeNw";
        return false;
    }
    return false;
}

// ---------------------------------------------------------------- transactions

// Id 0 is "none recorded" and never matches.
unsigned FpcSLPGWConnector::transactionKind(uint32_t transactionId) const
{
    unsigned kind = NoTransaction;
    if (transactionId == 0)
        return kind;
    if (transactionId == m_onlyFreeId)
        kind |= OnlyFreeAttach;
    if (transactionId == m_freeAndHomeId)
        kind |= FreeAndHomeAttach;
    if (transactionId == m_prepareId)
        kind |= PrepareTransaction;
    return kind;
}

// Clears every recorded id equal to transactionId and tells which they were.
unsigned FpcSLPGWConnector::forgetTransaction(uint32_t transactionId)
{
    const unsigned kind = transactionKind(transactionId);
    if (kind & OnlyFreeAttach) {
        m_onlyFreeId = 0;
        m_onlyFreeCancelled = false;
    }
    if (kind & FreeAndHomeAttach) {
        m_freeAndHomeId = 0;
        if (m_onlyFreeCancelled) {
            m_onlyFreeId = 0;
            m_onlyFreeCancelled = false;
        }
    }
    if (kind & PrepareTransaction)
        m_prepareId = 0;
    return kind;
}

void FpcSLPGWConnector::forgetAllTransactions()
{
    m_prepareId = 0;
    m_freeAndHomeId = 0;
    m_onlyFreeId = 0;
    m_onlyFreeCancelled = false;
}

// Ends a transaction that failed on this side: the gateway must not answer
// it later, and its kind may be requested again.
void FpcSLPGWConnector::abandonTransaction(uint32_t transactionId)
{
    if (m_slpgw)
        m_slpgw->cancel(transactionId);
    if (forgetTransaction(transactionId) & PrepareTransaction)
        m_receiveBuffer.clear();
}

void FpcSLPGWConnector::stopReplyTimer(const char *message)
{
    if (m_replyTimer == 0)
        return;
    qDebug() << message;
    g_source_remove(m_replyTimer);
    m_replyTimer = 0;
}

int FpcSLPGWConnector::replyTimeoutMs()
{
    const int timeout = FpcConfig::getIntValue(QStringLiteral("slpgw_connection_timeout"), kDefaultReplyTimeoutMs);
    if (timeout > 0)
        return timeout;
    qDebug() << "[ERROR] FpcSLPGWConnector::startPrepare(): slpgw_connection_timeout" << timeout
             << "is not a positive number of milliseconds, using" << kDefaultReplyTimeoutMs;
    return kDefaultReplyTimeoutMs;
}

void FpcSLPGWConnector::startReplyTimer()
{
    const int timeout = replyTimeoutMs();
    qDebug() << "FpcSLPGWConnector::startPrepare(): Starting timer to watch reply timeout from SLPGW " << timeout
             << " (ms)";
    // One prepare is watched at a time; a source left running would cut the
    // new prepare short later.
    stopReplyTimer("FpcSLPGWConnector::startPrepare() earlier SLPGW timer removed");
    m_replyTimer = g_timeout_add(guint(timeout), &slpgwTimerThreadCallbackForPrepare, this);
}

void FpcSLPGWConnector::replyTimedOut()
{
    m_replyTimer = 0;
    qDebug() << "slpgwTimerThreadCallbackForPrepare() --- SLPGW connection timeout expired, return error reply --";
    if (m_prepareId != 0 && m_slpgw) {
        qDebug() << "slpgwTimerThreadCallbackForPrepare()  SLPGW session is active and now timed out, calling cancel "
                    "for transaction id: "
                 << m_prepareId;
        m_slpgw->cancel(m_prepareId);
        m_prepareId = 0;
        releaseGateway();
    }
    m_prepareId = 0;
    m_receiveBuffer.clear();
    emitConnectionError(QString::fromLatin1(TimeoutMessage));
}

// ---------------------------------------------------------------- data request

void FpcSLPGWConnector::requestData(uint32_t transactionId)
{
    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData(transaction_id=" << transactionId << ")";
    const unsigned kind = transactionKind(transactionId);
    if (kind == NoTransaction) {
        qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): ERROR: Unknown transaction ID:"
                 << transactionId << "-- we have no request done for this ID!";
        // Nobody here waits for it: the gateway must not hold it open.
        if (m_slpgw)
            m_slpgw->cancel(transactionId);
        return;
    }
    int state = FpcUploader::Idle;
    if (kind & OnlyFreeAttach)
        state = FpcUploader::OnlyFreeSending;
    if (kind & FreeAndHomeAttach)
        state = FpcUploader::FreeAndHomeSending;
    if (kind & PrepareTransaction)
        state = FpcUploader::PrepareOngoing;
    FpcUploader::setUploadState(state);

    QByteArray report;
    const bool built = buildReport(report);
    if (!built || report.size() > kMaxParts * kPartSize) {
        if (built)
            qDebug() << "[ERROR] FpcSLPGWConnector::SLPGWObserverImpl::RequestData() report of" << report.size()
                     << "bytes exceeds" << kMaxParts << "parts";
        qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData() (Creating fingerprint report failed) -->";
        // Nothing can be sent: end the transaction and say so, so that the
        // exported fingerprints are released and the kind may be requested
        // again.
        abandonTransaction(transactionId);
        if (kind & PrepareTransaction)
            stopReplyTimer(
                "FpcSLPGWConnector::SLPGWObserverImpl:RequestData() error response provided -- SLPGW timer removed");
        emitConnectionError(QStringLiteral("FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): "
                                           "ERROR: Creating fingerprint report failed, nothing sent"));
        return;
    }
    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData() Fingerprint report created";
    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData() Creating MIME part data for SLPGW -- bytes: "
             << report.size();
    sendReport(report, transactionId);
}

// Nothing thrown while the report is built may leave the gateway's callback.
bool FpcSLPGWConnector::buildReport(QByteArray &report)
{
    try {
        if (reportSource())
            return reportSource()(report);
        qDebug() << "[ERROR] FpcSLPGWConnector::SLPGWObserverImpl::RequestData() no report source installed";
    } catch (const QString &error) {
        qDebug() << "[ERROR] FpcSLPGWConnector::SLPGWObserverImpl::RequestData() report failed:" << error;
    } catch (const std::exception &error) {
        qDebug() << "[ERROR] FpcSLPGWConnector::SLPGWObserverImpl::RequestData() report failed:" << error.what();
    } catch (...) {
        qDebug() << "[ERROR] FpcSLPGWConnector::SLPGWObserverImpl::RequestData() report failed: unknown exception";
    }
    report.clear();
    return false;
}

void FpcSLPGWConnector::sendReport(const QByteArray &report, uint32_t transactionId)
{
    const qsizetype size = report.size();
    for (qsizetype offset = 0;; offset += kPartSize) {
        const bool last = offset + kPartSize >= size;
        const qsizetype length = last ? size - offset : kPartSize;
        const char *lastText = last ? "true" : "false";
        qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): Calling slpgw->SendData() (index[" << offset
                 << "] n=" << length << ") lastMime: " << lastText;
        const int code = m_slpgw ? m_slpgw->SendData(report.constData() + offset, uint32_t(length), last, transactionId)
                                 : int(ESlpGwErrGeneral);
        if (code != ESlpGwOk) {
            const bool prepare = transactionKind(transactionId) & PrepareTransaction;
            abandonTransaction(transactionId);
            if (prepare)
                stopReplyTimer("FpcSLPGWConnector::SLPGWObserverImpl:RequestData() error response provided -- SLPGW "
                               "timer removed");
            qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): Calling slpgw->SendData() DONE";
            emitConnectionError(QStringLiteral("FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): "
                                               "Calling slpgw->SendData() failed, error: %1 %2")
                                    .arg(code)
                                    .arg(errorName(code)));
            return;
        }
        qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): Calling slpgw->SendData() (index[" << offset
                 << "] n=" << length << ") lastMime: " << lastText << "OK";
        if (last)
            break;
    }
    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::RequestData(): Calling slpgw->SendData() DONE";
}

// ---------------------------------------------------------------- reply

void FpcSLPGWConnector::receiveData(const char *data, uint32_t length, uint32_t transactionId, int status)
{
    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::ReceiveData(trans_id=" << transactionId
             << ", data_len=" << length << ", status=" << status << " [" << errorName(status) << "])";
    if (!data && length > 0) {
        qDebug() << "[ERROR] FpcSLPGWConnector::SLPGWObserverImpl::ReceiveData() no data for" << length
                 << "bytes, piece ignored";
        length = 0;
    }

    if (status == ESlpGwReceiveComplete && length == 0 && m_receiveBuffer.isEmpty()) {
        // The reply is over without a byte: the transfer failed.
        stopReplyTimer("FpcSLPGWConnector::SLPGWObserverImpl:ReceiveData() response provided -- SLPGW timer removed");
        forgetAllTransactions();
        emitConnectionError(QStringLiteral("FpcSLPGWConnector: SLPGW ReceiveData() ERROR: Zero bytes returned "
                                           "indicating end of data, but buffer still empty"));
        return;
    }
    if (status != ESlpGwReceiveOngoing && status != ESlpGwReceiveComplete)
        return;

    if (m_receiveBuffer.size() + qsizetype(length) > kMaxReplyBytes) {
        qDebug() << "[ERROR] FpcSLPGWConnector::SLPGWObserverImpl::ReceiveData() reply exceeds" << kMaxReplyBytes
                 << "bytes, transaction" << transactionId << "cancelled";
        if (m_slpgw)
            m_slpgw->cancel(transactionId);
        finishReply();
        emitConnectionError(QStringLiteral("FpcSLPGWConnector: SLPGW ReceiveData() ERROR: server reply "
                                           "larger than %1 bytes")
                                .arg(kMaxReplyBytes));
        return;
    }

    if (status == ESlpGwReceiveOngoing) {
        m_receiveBuffer.append(data, qsizetype(length));
        qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::ReceiveData() Appended " << length
                 << " bytes to holder buffer for further processing";
        return;
    }

    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::ReceiveData() All parts now received "
             << "after appending " << length << " bytes to holder buffer. Starting to parse...";
    m_receiveBuffer.append(data, qsizetype(length));
    const QString result = serverResponseValid(m_receiveBuffer);
    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl:receiveData(): server SLP-FP response status:" << result;
    finishReply();
    // Last: a receiver may start the next upload or end this connector.
    if (result == QLatin1String("Server.UploadOk"))
        emitUploadFinished();
    else
        emitConnectionError(result);
}

void FpcSLPGWConnector::finishReply()
{
    stopReplyTimer("FpcSLPGWConnector::SLPGWObserverImpl:receiveData() response provided -- SLPGW timer removed");
    forgetAllTransactions();
    m_receiveBuffer.clear();
}

QString FpcSLPGWConnector::serverResponseValid(const QByteArray &reply)
{
    QString result = QStringLiteral("FpcSLPGWConnector::serverResponseValid() XML PARSE ERROR");
    // The reply is a flat document; a deeply nested one is refused before
    // the DOM parser could spend long on it.
    static const FpcXmlLimits limits(kMaxReplyDepth, kMaxReplyElements);
    QDomDocument document;
    if (!limits.check(reply).accepted || !document.setContent(reply))
        return QStringLiteral("FpcSLPGWConnector::serverResponseValid(): ERROR: Can't set content to QDomDocument");
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("SLP-FP"))
        return QStringLiteral("FpcSLPGWConnector::serverResponseValid() XML PARSE ERROR: Excepted tag SLP-FP, "
                              "but found instead: ")
               + root.tagName();
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (child.tagName() == QLatin1String("fingerprintResponse"))
            return child.attribute(QStringLiteral("status"));
    }
    return result;
}

// ---------------------------------------------------------------- status and errors

void FpcSLPGWConnector::connectionStatusChanged(uint32_t status)
{
    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::ConnectionStatusChanged(status=" << status << ")";
    qDebug() << "   - Connection status updated " << connectionStatusText(m_connectionStatus) << " to "
             << connectionStatusText(status);
    m_connectionStatus = status;
}

void FpcSLPGWConnector::errorCallback(int status, uint32_t transactionId)
{
    qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::ErrorCallback(st=" << status << "," << errorName(status) << ")";
    const unsigned kind = forgetTransaction(transactionId);
    if (kind == NoTransaction) {
        qDebug() << "FpcSLPGWConnector::SLPGWObserverImpl::errorCallback(): ERROR: Unknown transaction ID:"
                 << transactionId << "-- we have no pending attach or prepare for this ID!";
        return;
    }
    // A reply cut short must not be glued to the next one.
    m_receiveBuffer.clear();
    if (kind & PrepareTransaction)
        stopReplyTimer("FpcSLPGWConnector::SLPGWObserverImpl:ErrorCallback() response provided -- SLPGW timer removed");
    emitConnectionError(
        QStringLiteral("ERROR: SLPGW called ErrorCallback() status: %1 %2").arg(status).arg(errorName(status)));
}
