#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

// The positioning-server stand-in (tools/fpserver) on loopback with its store in the given directory.
class FpServerProcess
{
public:
    explicit FpServerProcess(const QString &storeDirectory);
    ~FpServerProcess();
    FpServerProcess(const FpServerProcess &) = delete;
    FpServerProcess &operator=(const FpServerProcess &) = delete;

    // Starts it on a free port in mode ("ok", "fail", "pieces:3", ...); false (errorString()) when it does not listen.
    bool start(const QString &mode = QStringLiteral("ok"), int timeoutMs = 15000);
    void stop();
    // The address to upload to, e.g. "http://127.0.0.1:PORT/slp-fp".
    QString url(const QString &path = QStringLiteral("/slp-fp")) const;
    QString errorString() const { return m_error; }

    // Takes effect from the next upload on.
    bool setMode(const QString &mode);

    // Uploads received so far; the raw body of the n-th one (from 1).
    int uploadCount() const;
    QByteArray uploadBody(int number) const;
    // The server's record of each upload, oldest first; "fingerprints.jsonl": each accepted fingerprint decoded.
    QList<QJsonObject> readLines(const QString &fileName = QStringLiteral("uploads.jsonl")) const;

private:
    QString m_store;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
