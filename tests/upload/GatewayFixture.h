#pragma once

// The gateway stand-in configured in a temporary path root and talking to a
// positioning-server stand-in on loopback, the connector's reports, and the
// log of the test.

#include "FpServerProcess.h"
#include "FpcConfig.h"
#include "FpcSLPGWConnector.h"
#include "FpcUploader.h"
#include "LogCapture.h"
#include "TempRoot.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>

constexpr int kWaitMs = 15000;

class GatewayFixture
{
public:
    // The smallest valid report (empty identities, no fingerprint): the
    // server answers it with "Server.UploadOk".
    static QByteArray headerOnlyReport()
    {
        QByteArray report("\x00\x00\x03\x05linux\x00\x07vomufpc\x15\x00\x08terminal\x00\x00\x00\x00\x00", 34);
        quint32 sum = 1;
        for (char byte : report)
            sum += quint8(byte);
        return report.append(char(sum & 0xff)).append(char((sum >> 8) & 0xff));
    }

    bool start()
    {
        m_server = std::make_unique<FpServerProcess>(m_root.path(QStringLiteral("/fpserver")));
        return m_root.isValid() && m_server->start();
    }

    // Before each test: a free network, a server that accepts, the valid
    // report, an idle upload state and a fresh log.
    void reset()
    {
        writeGatewayConfig();
        server().setMode(QStringLiteral("ok"));
        report = headerOnlyReport();
        reportsBuilt = 0;
        FpcSLPGWConnector::setReportSource([this](QByteArray &out) {
            ++reportsBuilt;
            out = report;
            return true;
        });
        FpcUploader::setUploadState(FpcUploader::Idle);
        log.reset();
        log = std::make_unique<LogCapture>();
    }

    void finish()
    {
        log.reset();
        FpcSLPGWConnector::setReportSource(nullptr);
    }

    // Written whole at once: the gateway re-reads the file while it runs.
    bool writeGatewayConfig(const QByteArray &extraLines = QByteArray())
    {
        const QString path = m_root.path(QStringLiteral("/etc/slpgw/slpgw.conf"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("server_url=" + m_server->url().toUtf8() + "\nnetwork=wlan\nrequest_data_delay_ms=0\n"
                   "answer_timeout_ms=20000\npoll_interval_ms=20\n" + extraLines);
        return file.commit();
    }

    FpServerProcess &server() { return *m_server; }
    QString path(const QString &absolutePath) const { return m_root.path(absolutePath); }

    QByteArray report;
    int reportsBuilt = 0;
    std::unique_ptr<LogCapture> log;

private:
    TempRoot m_root;
    std::unique_ptr<FpServerProcess> m_server;
};
