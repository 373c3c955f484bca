#include "SlpGwHttpGateway.h"

#include "MSlpGwObserver.h"
#include "SlpGwEnvironment.h"
#include "SlpGwGeosubmit.h"
#include "SlpGwRequestParam.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>

#include <vector>

namespace {

// Transaction ids are unique in the process, also across gateway objects, so
// that a stale id of a released gateway never matches a new transaction.
uint32_t nextTransactionId()
{
    static uint32_t last = 0;
    if (++last == 0)
        ++last;
    return last;
}

// Header values come from the caller: control characters could split headers.
QByteArray headerValue(const std::string &text)
{
    QByteArray value = QByteArray::fromStdString(text);
    for (char &c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    return value.trimmed();
}

const char *const AttributeHeaders[] = {
    nullptr, "X-SlpGw-Request-Type", "X-SlpGw-Data-Type", "X-SlpGw-Protocol-Version", "X-SlpGw-Encoding",
};

} // namespace

SlpGwHttpGateway::SlpGwHttpGateway(SlpGwEnvironment *environment) : m_environment(environment)
{
    if (environment)
        connect(environment, &SlpGwEnvironment::networkChanged, this, &SlpGwHttpGateway::onNetworkChanged,
                Qt::QueuedConnection);
}

SlpGwHttpGateway::~SlpGwHttpGateway()
{
    while (!m_transactions.empty())
        drop(m_transactions.begin()->first);
}

int SlpGwHttpGateway::Connect(const SlpGwRequestParam &params)
{
    refreshEnvironment();
    const int failure = settings().failConnect;
    if (failure != 0) {
        qDebug() << "SlpGwHttpGateway::Connect() refused as configured (fail_connect), code" << failure;
        return failure;
    }
    auto *observer = static_cast<MSlpGwObserver *>(params.ptrAttribute(ESlpGwAttrObserver));
    if (!observer) {
        qDebug() << "SlpGwHttpGateway::Connect() no observer given (attribute 201)";
        return ESlpGwErrInvalidArguments;
    }
    m_observer = observer;
    m_connected = true;
    m_reportedStatus = connectionStatus();
    qDebug() << "SlpGwHttpGateway::Connect() connected, network" << SlpGwSettings::networkName(network()) << "status"
             << m_reportedStatus;
    return ESlpGwOk;
}

int SlpGwHttpGateway::close()
{
    qDebug() << "SlpGwHttpGateway::close() ending" << m_transactions.size() << "transaction(s)";
    while (!m_transactions.empty())
        drop(m_transactions.begin()->first);
    m_connected = false;
    m_reportedStatus = 0;
    return ESlpGwOk;
}

int SlpGwHttpGateway::attachToSend(uint32_t &transactionId, const SlpGwRequestParam &params)
{
    return request(true, transactionId, params);
}

int SlpGwHttpGateway::PrepareToSend(uint32_t &transactionId, const SlpGwRequestParam &params)
{
    return request(false, transactionId, params);
}

int SlpGwHttpGateway::request(bool attach, uint32_t &transactionId, const SlpGwRequestParam &params)
{
    const char *name = attach ? "SlpGwHttpGateway::attachToSend()" : "SlpGwHttpGateway::PrepareToSend()";
    refreshEnvironment();
    if (!m_connected) {
        qDebug() << name << "refused: the gateway is not connected";
        return ESlpGwErrGeneral;
    }
    const uint32_t usage = params.uintAttribute(ESlpGwAttrNetworkUsage, attach ? 0 : uint32_t(ESlpGwNwUsageAny));
    auto *observer = static_cast<MSlpGwObserver *>(params.ptrAttribute(ESlpGwAttrObserver));
    if (!observer)
        observer = m_observer;
    if (usage < OnlyFree || usage > ESlpGwNwUsageAny || !observer) {
        qDebug() << name << "refused: invalid network usage" << usage << "or no observer";
        return ESlpGwErrInvalidArguments;
    }
    if (m_environment) {
        const int failure = m_environment->takeNextCallFailure();
        if (failure != 0) {
            qDebug() << name << "refused as configured (fail_next_calls), code" << failure;
            return failure;
        }
    }

    Transaction transaction;
    transaction.attach = attach;
    transaction.usage = SlpGwNetworkUsage(usage);
    transaction.observer = observer;
    const std::string contentType = params.stringAttribute(ESlpGwAttrContentType);
    transaction.contentType = contentType.empty() ? QByteArray("application/octet-stream") : headerValue(contentType);
    for (int attribute = ESlpGwAttrRequestType; attribute <= ESlpGwAttrEncoding; ++attribute) {
        if (params.hasStringAttribute(attribute))
            transaction.headers.append({AttributeHeaders[attribute], headerValue(params.stringAttribute(attribute))});
    }
    const int configuredPiece = settings().receivePieceSize;
    const uint32_t askedPiece = params.uintAttribute(ESlpGwAttrBufferSize, DefaultPieceSize);
    transaction.pieceSize =
        configuredPiece > 0 ? configuredPiece
                            : int(qBound<uint32_t>(1, askedPiece == 0 ? DefaultPieceSize : askedPiece, MaxAnswerBytes));

    transactionId = nextTransactionId();
    transaction.headers.append({"X-SlpGw-Transaction-Id", QByteArray::number(transactionId)});
    Transaction &stored = m_transactions[transactionId] = transaction;
    qDebug() << name << "transaction" << transactionId << "usage" << usage << "network"
             << SlpGwSettings::networkName(network());
    if (!attach || networkAllows(stored))
        scheduleRequest(transactionId, stored);
    return ESlpGwOk;
}

int SlpGwHttpGateway::SendData(const char *data, uint32_t length, bool last, uint32_t transactionId)
{
    Transaction *transaction = find(transactionId);
    if (!transaction) {
        qDebug() << "SlpGwHttpGateway::SendData() unknown transaction" << transactionId;
        return ESlpGwErrNotFound;
    }
    if (transaction->state != State::Sending || (!data && length > 0)) {
        qDebug() << "SlpGwHttpGateway::SendData() refused for transaction" << transactionId
                 << ": its data were not requested, or no data pointer";
        return ESlpGwErrInvalidArguments;
    }
    if (qint64(transaction->body.size()) + length > MaxUploadBytes) {
        qDebug() << "SlpGwHttpGateway::SendData() transaction" << transactionId << "exceeds" << MaxUploadBytes
                 << "bytes, dropped";
        drop(transactionId);
        return ESlpGwErrOutOfMemory;
    }
    transaction->body.append(data, qsizetype(length));
    if (last) {
        const quint64 step = enter(*transaction, State::Posting);
        QTimer::singleShot(0, this, [this, transactionId, step] { startPost(transactionId, step); });
    }
    return ESlpGwOk;
}

int SlpGwHttpGateway::cancel(uint32_t transactionId)
{
    if (!find(transactionId)) {
        qDebug() << "SlpGwHttpGateway::cancel() unknown transaction" << transactionId;
        return ESlpGwErrNotFound;
    }
    qDebug() << "SlpGwHttpGateway::cancel() transaction" << transactionId;
    drop(transactionId);
    return ESlpGwOk;
}

uint32_t SlpGwHttpGateway::connectionStatus()
{
    refreshEnvironment();
    return m_connected ? statusBits(network()) : 0;
}

uint32_t SlpGwHttpGateway::statusBits(SlpGwNetwork network)
{
    switch (network) {
    case SlpGwNetwork::None:
        return 0;
    case SlpGwNetwork::FreeWlan:
        return ESlpGwConnectionOpen | ESlpGwConnectionFree;
    case SlpGwNetwork::HomeCellular:
        return ESlpGwConnectionOpen;
    case SlpGwNetwork::RoamingCellular:
        return ESlpGwConnectionOpen | ESlpGwConnectionRoaming;
    }
    return 0;
}

int SlpGwHttpGateway::codeForHttpStatus(int httpStatus)
{
    if (httpStatus == 401 || httpStatus == 403 || httpStatus == 407)
        return ESlpGwErrServerPermissionDenied;
    if (httpStatus == 404 || httpStatus == 410)
        return ESlpGwErrServerNotFound;
    if (httpStatus >= 500)
        return ESlpGwErrRemoteServerDown;
    return ESlpGwErrProtocolNotSupported;
}

int SlpGwHttpGateway::codeForNetworkError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
        return ESlpGwErrRemoteServerDown;
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyNotFoundError:
        return ESlpGwErrServerNotFound;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
        return ESlpGwErrEarlyDisconnect;
    case QNetworkReply::OperationCanceledError:
        return ESlpGwErrCanceled;
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::SslHandshakeFailedError:
        return ESlpGwErrProtocolNotSupported;
    default:
        return ESlpGwErrConnectionLost;
    }
}

SlpGwHttpGateway::Transaction *SlpGwHttpGateway::find(uint32_t id, quint64 step)
{
    const auto it = m_transactions.find(id);
    if (it == m_transactions.end() || (step != 0 && it->second.step != step))
        return nullptr;
    return &it->second;
}

// Every scheduled action carries the step it was made for: after a state
// change, a cancel or a failure it finds no match and does nothing.
quint64 SlpGwHttpGateway::enter(Transaction &transaction, State state)
{
    transaction.state = state;
    transaction.step = ++m_lastStep;
    return transaction.step;
}

void SlpGwHttpGateway::scheduleRequest(uint32_t id, Transaction &transaction)
{
    const quint64 step = enter(transaction, State::RequestScheduled);
    QTimer::singleShot(settings().requestDataDelayMs, this, [this, id, step] { onRequestDue(id, step); });
}

void SlpGwHttpGateway::onRequestDue(uint32_t id, quint64 step)
{
    refreshEnvironment();
    Transaction *transaction = find(id, step);
    if (!transaction)
        return;
    if (!networkAllows(*transaction)) {
        if (transaction->attach) {
            enter(*transaction, State::WaitingForNetwork);
            return;
        }
        fail(id, network() == SlpGwNetwork::None ? ESlpGwErrNoConnection : ESlpGwErrUnavailableNw,
             "no network allowed for the prepare");
        return;
    }
    // A caller that never hands over its data (say, its report could not be
    // built) must not hold the transaction for ever.
    const quint64 sending = enter(*transaction, State::Sending);
    QTimer::singleShot(settings().answerTimeoutMs, this, [this, id, sending] {
        if (find(id, sending))
            fail(id, ESlpGwErrCanceled, "no data handed over in time (answer_timeout_ms)");
    });
    qDebug() << "SlpGwHttpGateway: RequestData for transaction" << id;
    transaction->observer->RequestData(id);
}

void SlpGwHttpGateway::startPost(uint32_t id, quint64 step)
{
    Transaction *transaction = find(id, step);
    if (!transaction)
        return;
    const SlpGwSettings current = settings();
    if (current.transport == SlpGwTransport::Geosubmit && !prepareGeosubmit(id, *transaction, current))
        return;
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    QNetworkRequest request(current.serverUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, transaction->contentType);
    for (const auto &header : std::as_const(transaction->headers))
        request.setRawHeader(header.first, header.second);
    if (transaction->geosubmit) {
        request.setRawHeader("Content-Encoding", "gzip");
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray("vomu-fpcd slpgw-standin/1.0"));
    }
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    transaction->endEmpty = current.receiveEndEmpty;

    qDebug() << "SlpGwHttpGateway: POST of transaction" << id << "," << transaction->body.size() << "bytes to"
             << current.serverUrl.toString();
    QNetworkReply *reply = m_manager->post(request, transaction->body);
    transaction->body = QByteArray();
    transaction->reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, id, reply] { onReplyFinished(id, reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, id, reply] {
        if (reply->bytesAvailable() > MaxAnswerBytes)
            fail(id, ESlpGwErrOutOfMemory, "server answer too large");
    });
    QTimer::singleShot(current.answerTimeoutMs, this, [this, id, step] {
        if (find(id, step))
            fail(id, ESlpGwErrConnectionLost, "no complete answer in time (answer_timeout_ms)");
    });
}

void SlpGwHttpGateway::onReplyFinished(uint32_t id, QNetworkReply *reply)
{
    Transaction *transaction = find(id);
    if (!transaction || transaction->reply != reply)
        return;
    transaction->reply = nullptr;
    reply->deleteLater();
    const QVariant httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = httpStatus.isValid() ? httpStatus.toInt() : 0;
    // 4xx but 429 (sent too often): the server will not take these bytes.
    if (transaction->geosubmit
        && ((status >= 200 && status < 300) || (status >= 400 && status < 500 && status != 429))) {
        qDebug() << "SlpGwHttpGateway: geosubmit server answered transaction" << id << "with HTTP status" << status
                 << reply->read(512);
        answerNow(id, *transaction, serverAnswer(status < 300));
        return;
    }
    if (status != 0 && (status < 200 || status >= 300)) {
        qDebug() << "SlpGwHttpGateway: server answered transaction" << id << "with HTTP status" << status;
        fail(id, codeForHttpStatus(status), "HTTP error status");
        return;
    }
    if (reply->error() != QNetworkReply::NoError || status == 0) {
        qDebug() << "SlpGwHttpGateway: transfer of transaction" << id << "failed:" << reply->errorString();
        fail(id,
             reply->error() != QNetworkReply::NoError ? codeForNetworkError(reply->error())
                                                      : ESlpGwErrProtocolNotSupported,
             "transfer failed");
        return;
    }
    transaction->answer = reply->readAll();
    qDebug() << "SlpGwHttpGateway: answer of" << transaction->answer.size() << "bytes for transaction" << id;
    const quint64 step = enter(*transaction, State::Answering);
    QTimer::singleShot(0, this, [this, id, step] { deliverPiece(id, step); });
}

QByteArray SlpGwHttpGateway::serverAnswer(bool accepted)
{
    return QByteArray("<SLP-FP><fingerprintResponse status=\"")
           + (accepted ? "Server.UploadOk" : "Server.UploadRefused") + "\"/></SLP-FP>";
}

bool SlpGwHttpGateway::prepareGeosubmit(uint32_t id, Transaction &transaction, const SlpGwSettings &current)
{
    if (!current.serverUrlUsable) {
        fail(id, ESlpGwErrServerNotFound, "geosubmit needs an http(s) server_url");
        return false;
    }
    const SlpGwGeosubmit::Result converted = SlpGwGeosubmit::fromReport(transaction.body);
    if (!converted.error.isEmpty()) {
        qWarning() << "SlpGwHttpGateway: transaction" << id << "--" << converted.error;
        fail(id, ESlpGwErrInvalidArguments, "report cannot be read for geosubmit");
        return false;
    }
    qDebug() << "SlpGwHttpGateway: geosubmit of transaction" << id << ":" << converted.items.size() << "of"
             << converted.fingerprints << "fingerprints have a fix";
    if (converted.items.isEmpty()) {
        // Nothing such a server could use: taken as done, not sent.
        answerNow(id, transaction, serverAnswer(true));
        return false;
    }
    transaction.body = SlpGwGeosubmit::gzip(SlpGwGeosubmit::body(converted.items));
    transaction.contentType = "application/json";
    transaction.headers.clear();
    transaction.geosubmit = true;
    return true;
}

void SlpGwHttpGateway::answerNow(uint32_t id, Transaction &transaction, const QByteArray &answer)
{
    transaction.answer = answer;
    transaction.answerOffset = 0;
    const quint64 step = enter(transaction, State::Answering);
    QTimer::singleShot(0, this, [this, id, step] { deliverPiece(id, step); });
}

// One piece per event-loop turn, so that the receiver may cancel in between.
void SlpGwHttpGateway::deliverPiece(uint32_t id, quint64 step)
{
    Transaction *transaction = find(id, step);
    if (!transaction)
        return;
    const qsizetype remaining = transaction->answer.size() - transaction->answerOffset;
    const qsizetype length = qMin<qsizetype>(transaction->pieceSize, remaining);
    const bool last = transaction->endEmpty ? remaining == 0 : length == remaining;
    const QByteArray piece = transaction->answer.mid(transaction->answerOffset, length);
    transaction->answerOffset += length;
    MSlpGwObserver *observer = transaction->observer;
    if (last) {
        m_transactions.erase(id);
    } else {
        const quint64 next = enter(*transaction, State::Answering);
        QTimer::singleShot(0, this, [this, id, next] { deliverPiece(id, next); });
    }
    observer->ReceiveData(piece.constData(), uint32_t(piece.size()), id,
                          last ? ESlpGwReceiveComplete : ESlpGwReceiveOngoing);
}

void SlpGwHttpGateway::fail(uint32_t id, int code, const char *reason)
{
    Transaction *transaction = find(id);
    if (!transaction)
        return;
    MSlpGwObserver *observer = transaction->observer;
    drop(id);
    qDebug() << "SlpGwHttpGateway: transaction" << id << "failed with code" << code << "--" << reason;
    observer->ErrorCallback(code, id);
}

// Ends a transaction without any callback.
void SlpGwHttpGateway::drop(uint32_t id)
{
    const auto it = m_transactions.find(id);
    if (it == m_transactions.end())
        return;
    QNetworkReply *reply = it->second.reply;
    m_transactions.erase(it);
    if (reply) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

void SlpGwHttpGateway::onNetworkChanged()
{
    if (!m_connected)
        return;
    // The observer may cancel, close or delete the gateway in any callback.
    QPointer<SlpGwHttpGateway> self(this);
    const uint32_t status = connectionStatus();
    if (status != m_reportedStatus && m_observer) {
        m_reportedStatus = status;
        m_observer->ConnectionStatusChanged(status);
        if (!self || !m_connected)
            return;
    }
    std::vector<uint32_t> ids;
    for (const auto &entry : m_transactions)
        ids.push_back(entry.first);
    for (uint32_t id : ids) {
        Transaction *transaction = self ? find(id) : nullptr;
        if (!transaction)
            continue;
        const bool allowed = networkAllows(*transaction);
        if (transaction->state == State::WaitingForNetwork && allowed) {
            scheduleRequest(id, *transaction);
        } else if ((transaction->state == State::Sending || transaction->state == State::Posting) && !allowed) {
            fail(id, network() == SlpGwNetwork::None ? ESlpGwErrNoConnection : ESlpGwErrBearerChanged,
                 "the network of the transfer went away");
        }
    }
}

// Attaches use free WLAN (OnlyFree) or also the home network, never roaming;
// a prepare for any network takes whatever is there.
bool SlpGwHttpGateway::networkAllows(const Transaction &transaction) const
{
    switch (network()) {
    case SlpGwNetwork::None:
        return false;
    case SlpGwNetwork::FreeWlan:
        return true;
    case SlpGwNetwork::HomeCellular:
        return transaction.usage != OnlyFree;
    case SlpGwNetwork::RoamingCellular:
        return !transaction.attach && transaction.usage == ESlpGwNwUsageAny;
    }
    return false;
}

SlpGwNetwork SlpGwHttpGateway::network() const
{
    return m_environment ? m_environment->network() : SlpGwNetwork::None;
}

SlpGwSettings SlpGwHttpGateway::settings() const
{
    return m_environment ? m_environment->settings() : SlpGwSettings();
}

void SlpGwHttpGateway::refreshEnvironment()
{
    if (m_environment)
        m_environment->refresh();
}
