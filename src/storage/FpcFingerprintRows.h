#pragma once

#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuMeasurements.h"

#include <QDateTime>
#include <QSqlQuery>

#include <memory>
#include <optional>

// Turns one row of a fingerprint table into model objects: the query
// stands on a row whose first columns are those of the table's look-up by
// id, in that order. Shared by the look-ups by id and the reading of all
// fingerprints. A value that does not convert is logged under the SQL
// handler's look-up of that table; values outside their field's range are
// left unset.
class FpcFingerprintRows
{
public:
    // time, timeMSecs, dataMask.
    static bool readFingerprint(const QSqlQuery &query, FpcFingerprint &fp);
    // mcc, mnc, lac, cid, rxLevel, ta; null when a value does not convert.
    static std::unique_ptr<VomuElementGSM> readGeran(const QSqlQuery &query);
    // mcc, mnc, ucid, lac; null when a value does not convert.
    static std::unique_ptr<VomuElementWCDMA> readUtraFdd(const QSqlQuery &query);
    // Append one neighbour or access point; false when the last value read
    // did not convert.
    static bool readGeranNcell(const QSqlQuery &query, VomuElementGSM &gsm);
    static bool readUtraFddNcell(const QSqlQuery &query, VomuElementWCDMA &wcdma);
    static bool readWlan(const QSqlQuery &query, VomuMeasurements &measurements);
    // latitude, longitude, altitude, altUncertainty, time, timeMSecs, cep68.
    static bool readPosition(const QSqlQuery &query, FpcPosition &position, const char *prefix, bool cep68Required);

    // The head of a listed fingerprint: fpId, time, timeMSecs, dataMask in
    // the first four columns.
    struct Listed
    {
        qint64 fpId;
        qint64 seconds;
        qint64 milliseconds;
        quint8 dataMask;
    };
    static std::optional<Listed> readListed(const QSqlQuery &query, const char *prefix);
    // A fingerprint id in column; logged under prefix when it does not convert.
    static std::optional<qint64> readFpId(const QSqlQuery &query, int column, const char *prefix);
    // A fingerprint's time of birth in UTC.
    static QDateTime fingerprintTime(qint64 seconds, qint64 milliseconds);
};
