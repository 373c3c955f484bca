#pragma once

#include "MSlpGw.h"
#include "SlpGwSettings.h"
#include "SlpGwTypes.h"

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QPointer>

#include <map>

class MSlpGwObserver;
class QNetworkAccessManager;
class SlpGwEnvironment;

// The development stand-in for a gateway session: transactions wait for the
// configured network (SlpGwEnvironment), collect their data parts, go to the
// configured server as one HTTP POST, and hand the answer back in pieces.
// Every observer callback is made from the event loop, never from inside one
// of the operations, and the observer may cancel, close or delete the
// gateway from within any callback.
class SlpGwHttpGateway : public QObject, public MSlpGw
{
    Q_OBJECT
public:
    static constexpr int MaxUploadBytes = 64 * 1024 * 1024;
    static constexpr int MaxAnswerBytes = 16 * 1024 * 1024;
    static constexpr int DefaultPieceSize = 4096;

    explicit SlpGwHttpGateway(SlpGwEnvironment *environment);
    ~SlpGwHttpGateway() override;

    int Connect(const SlpGwRequestParam &params) override;
    int close() override;
    int attachToSend(uint32_t &transactionId, const SlpGwRequestParam &params) override;
    int PrepareToSend(uint32_t &transactionId, const SlpGwRequestParam &params) override;
    int SendData(const char *data, uint32_t length, bool last, uint32_t transactionId) override;
    int cancel(uint32_t transactionId) override;
    uint32_t connectionStatus() override;

    static uint32_t statusBits(SlpGwNetwork network);
    static int codeForHttpStatus(int httpStatus);
    static int codeForNetworkError(QNetworkReply::NetworkError error);
    // The answers in the positioning server's own form that stand for a
    // geosubmit outcome: taken, or refused (a 4xx: sending the same data
    // again will not help).
    static QByteArray serverAnswer(bool accepted);

private:
    enum class State { WaitingForNetwork, RequestScheduled, Sending, Posting, Answering };

    struct Transaction
    {
        bool attach = false;
        bool geosubmit = false; // posted as geosubmit JSON: HTTP status decides the answer
        SlpGwNetworkUsage usage = ESlpGwNwUsageAny;
        MSlpGwObserver *observer = nullptr;
        State state = State::WaitingForNetwork;
        quint64 step = 0; // changes with every state change
        QByteArray contentType;
        QList<QPair<QByteArray, QByteArray>> headers;
        int pieceSize = DefaultPieceSize;
        bool endEmpty = false;
        QByteArray body;
        QNetworkReply *reply = nullptr;
        QByteArray answer;
        qsizetype answerOffset = 0;
    };

    int request(bool attach, uint32_t &transactionId, const SlpGwRequestParam &params);
    Transaction *find(uint32_t id, quint64 step = 0);
    quint64 enter(Transaction &transaction, State state);
    void scheduleRequest(uint32_t id, Transaction &transaction);
    void onRequestDue(uint32_t id, quint64 step);
    void startPost(uint32_t id, quint64 step);
    // Makes the transaction's body a geosubmit request; false after failing
    // it, or after answering it at once when no fingerprint has a fix.
    bool prepareGeosubmit(uint32_t id, Transaction &transaction, const SlpGwSettings &current);
    void answerNow(uint32_t id, Transaction &transaction, const QByteArray &answer);
    void onReplyFinished(uint32_t id, QNetworkReply *reply);
    void deliverPiece(uint32_t id, quint64 step);
    void fail(uint32_t id, int code, const char *reason);
    void drop(uint32_t id);
    void onNetworkChanged();
    bool networkAllows(const Transaction &transaction) const;
    SlpGwNetwork network() const;
    SlpGwSettings settings() const;
    void refreshEnvironment();

    QPointer<SlpGwEnvironment> m_environment;
    QNetworkAccessManager *m_manager = nullptr;
    std::map<uint32_t, Transaction> m_transactions;
    MSlpGwObserver *m_observer = nullptr;
    bool m_connected = false;
    uint32_t m_reportedStatus = 0;
    quint64 m_lastStep = 0;
};
