#include "FpcUploader.h"

#include "FpcConfig.h"

#include <QDateTime>
#include <QDebug>

#include <atomic>
#include <climits>
#include <string>

namespace {

// Written by the uploader and, when the gateway asks for data, by the
// connector, possibly from the gateway's own thread.
std::atomic<int> g_uploadState{FpcUploader::Idle};

} // namespace

FpcUploader *FpcUploader::instance()
{
    static FpcUploader *const uploader = new FpcUploader;
    return uploader;
}

bool FpcUploader::uploadEnabled()
{
    return FpcConfig::getIntValue(QStringLiteral("upload_enabled"), 1) != 0;
}

int FpcUploader::uploadState()
{
    return g_uploadState.load();
}

void FpcUploader::setUploadState(int state)
{
    g_uploadState.store(state);
}

FpcUploader::FpcUploader(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<SlpGwNetworkUsage>("SlpGwNetworkUsage");
    qDebug() << "FpcUploader::FpcUploader() <-";
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &FpcUploader::attachRetryTimeout);
    connect(&m_connector, &FpcSLPGWConnector::uploadFinished, this, &FpcUploader::fpcConnectorUploadFinished,
            Qt::AutoConnection);
    connect(&m_connector, &FpcSLPGWConnector::connectionError, this, &FpcUploader::fpcConnectorConnectionError,
            Qt::AutoConnection);
    qDebug() << "FpcUploader::FpcUploader() ->";
}

FpcUploader::~FpcUploader()
{
    qDebug() << "FpcUploader::~FpcUploader() <-";
    qDebug() << "FpcUploader::~FpcUploader() ->";
}

int FpcUploader::fprPrepare()
{
    qDebug() << "FpcUploader::fprPrepare() SLOT <-";
    if (!uploadEnabled()) {
        qDebug() << "[INFO] FpcUploader::fprPrepare() Upload is switched off (upload_enabled=0) - nothing sent";
        return SwitchedOff;
    }
    if (uploadState() == PrepareOngoing)
        throw QStringLiteral("FpcUploader::fpcPrepare() ERROR SLOT called, but cannot start upload becauseit's already "
                             "in ONGOING state! ->");

    int rc = 0;
    try {
        m_connector.startPrepare();
        setUploadState(PrepareOngoing);
    } catch (const std::string &error) {
        qDebug() << "FpcUploader::fprPrepare() SLPGWConnector.start() EXCEPTION -- error str: "
                 << QString::fromStdString(error);
        rc = 1;
    } catch (int code) {
        qDebug() << "FpcUploader::fprPrepare() SLPGWConnector.start() EXCEPTION -- error code: " << code;
        rc = 2;
    }
    qDebug() << "FpcUploader::fprPrepare() SLOT (rc =" << rc << ") ->";
    return rc;
}

int FpcUploader::fprAttach(SlpGwNetworkUsage connType)
{
    qDebug() << "FpcUploader::fprAttach() SLOT <-";
    if (!uploadEnabled()) {
        // The buffer keeps following its limits; nothing leaves the device.
        qDebug() << "[INFO] FpcUploader::fprAttach() Upload is switched off (upload_enabled=0) - no attach";
        return 0;
    }
    m_connector.startAttach(connType);
    qDebug() << "FpcUploader::fprAttach() SLOT (rc =" << 0 << ") ->";
    return 0;
}

bool FpcUploader::isPendingAttach(SlpGwNetworkUsage connType)
{
    qDebug() << "FpcUploader::isPendingAttach() SLOT <- ";
    const bool pending = m_connector.isPendingAttach(connType);
    qDebug() << "FpcUploader::isPendingAttach() SLOT -> ";
    return pending;
}

void FpcUploader::fpcConnectorUploadFinished()
{
    qDebug() << "FpcUploader::fpcConnectorUploadFinished SLOT <-";
    setUploadState(Idle);
    // Cleared before the signal: a receiver may start the next upload.
    m_retryPending = false;
    emit uploadFinished();
    qDebug() << "FpcUploader::fpcConnectorUploadFinished SLOT ->";
}

void FpcUploader::fpcConnectorConnectionError(QString reason)
{
    qDebug() << "FpcUploader::fpcConnectorConnectionError (" << reason << ")SLOT <-";
    const quint32 timeout = FpcConfig::getUIntValue(QStringLiteral("fp_upload_retry_timeout"), 3600);
    const QString retryAt = QDateTime::currentDateTime().addSecs(timeout).toString(Qt::TextDate);

    const int state = uploadState();
    if (state == OnlyFreeSending) {
        if (!m_retryPending) {
            startRetryTimer(timeout, OnlyFree);
            qDebug() << "FpcUploader::fpcConnectorConnectionError()   Attach(ONLY_FREE) failed -- new retry attach "
                        "timered at: "
                     << retryAt;
        } else {
            qDebug() << "FpcUploader::fpcConnectorConnectionError()   Attach(ATTACH_ONLY_FREE) failed again-- already "
                        "waiting for retry timer";
        }
    } else if (state == FreeAndHomeSending) {
        if (!m_retryPending) {
            startRetryTimer(timeout, FreeAndHomeNw);
            qDebug() << "FpcUploader::fpcConnectorConnectionError()   Attach(FREE_AND_HOME) failed -- new retry attach "
                        "timered at: "
                     << retryAt;
        } else {
            qDebug() << "FpcUploader::fpcConnectorConnectionError()   Attach(FREE_AND_HOME) failed again -- already "
                        "waiting for retry timer";
        }
    } else {
        qDebug() << "FpcUploader::fpcConnectorConnectionError()"
                 << "No attach/prepare retry timer started";
    }
    setUploadState(Idle);
    emit uploadError(reason);
    qDebug() << "FpcUploader::fpcConnectorConnectionError SLOT ->";
}

// One retry timer at a time: a new one replaces a timer that a success has
// made pointless.
void FpcUploader::startRetryTimer(quint32 timeoutSeconds, SlpGwNetworkUsage type)
{
    const qint64 milliseconds = qMin<qint64>(qint64(timeoutSeconds) * 1000, INT_MAX);
    m_retryTimer.start(int(milliseconds));
    m_retryAttachType = type;
    m_retryPending = true;
}

void FpcUploader::attachRetryTimeout()
{
    qDebug() << "FpcUploader::attachRetryTimeout() SLOT <-";
    if (!m_retryPending) {
        qDebug() << "FpcUploader::attachRetryTimeout()   Timer has expired, but not anymore need to retry -- no "
                    "pending requests";
    } else {
        qDebug() << "FpcUploader::attachRetryTimeout()   Timer has expired to retry attach request to SLPGW";
        m_retryPending = false;
        // Runs from the event loop: a refusal is logged here, never thrown on.
        try {
            fprAttach(m_retryAttachType);
        } catch (const std::string &error) {
            qDebug() << "[ERROR] FpcUploader::attachRetryTimeout() retry attach refused -- error str: "
                     << QString::fromStdString(error);
        } catch (int code) {
            qDebug() << "[ERROR] FpcUploader::attachRetryTimeout() retry attach refused -- error code: " << code
                     << FpcSLPGWConnector::errorName(code);
        } catch (...) {
            qDebug() << "[ERROR] FpcUploader::attachRetryTimeout() retry attach failed: unknown exception";
        }
    }
    qDebug() << "FpcUploader::attachRetryTimeout() SLOT ->";
}
