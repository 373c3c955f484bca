#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

// The positioning-server stand-in (tools/fpserver) on loopback, started as a
// child of the test with its store in a directory of the caller's choice.
// The answer mode can be changed while it runs; what it received is read
// back from its store. Stopped when destroyed; it also dies with the test.
class FpServerProcess
{
public:
    explicit FpServerProcess(const QString &storeDirectory);
    ~FpServerProcess();
    FpServerProcess(const FpServerProcess &) = delete;
    FpServerProcess &operator=(const FpServerProcess &) = delete;

    // Starts the server on a free port in the given mode ("ok", "fail",
    // "pieces:3", ...) and waits until it listens; false (with
    // errorString()) when it does not come up in time.
    bool start(const QString &mode = QStringLiteral("ok"), int timeoutMs = 15000);
    void stop();
    quint16 port() const { return m_port; }
    // The address to upload to, e.g. "http://127.0.0.1:PORT/slp-fp".
    QString url(const QString &path = QStringLiteral("/slp-fp")) const;
    QString errorString() const { return m_error; }

    // Takes effect from the next upload on.
    bool setMode(const QString &mode);

    // Uploads received so far; the raw body of the n-th one (from 1).
    int uploadCount() const;
    QByteArray uploadBody(int number) const;
    // The server's record of each upload ("size", "valid", "fingerprints",
    // "accepted", ...), oldest first; "fingerprints.jsonl" holds each
    // fingerprint of every accepted upload as the server decoded it.
    QList<QJsonObject> readLines(const QString &fileName = QStringLiteral("uploads.jsonl")) const;

private:
    QString m_store;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
