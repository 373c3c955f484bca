#pragma once

#include <QMap>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// The outcome of one request to the daemon: what went wrong, in words for
// the user, or what the daemon answered.
struct FpcClientResult
{
    enum Error {
        NoError,
        // The bus cannot be reached, nobody owns the daemon's name, or the
        // daemon left before it answered.
        NotRunning,
        // The daemon refused the caller: control is for root and the
        // members of its control group.
        AccessDenied,
        // The daemon answered, but refused or failed the request.
        Refused,
        // The answer does not have the form the interface promises.
        BadReply,
        // No answer within the time-out.
        Timeout
    };

    Error error = NoError;
    QString message;
    // The reply's arguments as they came.
    QVariantList values;
    // Configuration reads and writes: every item the daemon holds.
    QMap<QString, QString> configuration;
    // Drop counters by name.
    QVariantMap counters;
    // The text answer of forcedUpload and clearBuffer.
    QString answer;

    bool ok() const { return error == NoError; }
    static FpcClientResult failure(Error error, const QString &message)
    {
        FpcClientResult result;
        result.error = error;
        result.message = message;
        return result;
    }
};
