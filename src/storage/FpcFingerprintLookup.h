#pragma once

#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuMeasurements.h"

#include <QSqlQuery>

#include <functional>
#include <memory>

// Reads one stored fingerprint, or one table's rows of it, by its id on
// the application's default connection, through one prepared query per
// table that is kept for every later read.
class FpcFingerprintLookup
{
public:
    // onReset runs when the read queries are prepared anew, so that the
    // connection's other prepared statements are dropped with them.
    explicit FpcFingerprintLookup(std::function<void()> onReset);
    ~FpcFingerprintLookup();

    // Ends the read queries' statements; the next read prepares them anew.
    void clearQueries();
    // New, unprepared read queries on the current connection.
    void resetQueries();
    void prepareQueries();

    bool select(qint64 fpId, FpcFingerprint &fp);
    bool selectPosition(qint64 fpId, FpcPosition &position);
    bool selectGeran(qint64 fpId, VomuMeasurements &measurements);
    bool selectUtraFdd(qint64 fpId, VomuMeasurements &measurements);
    bool selectWlan(qint64 fpId, VomuMeasurements &measurements);
    bool selectGeranNcells(qint64 fpId, VomuElementGSM &gsm);
    bool selectUtraFddNcells(qint64 fpId, VomuElementWCDMA &wcdma);

private:
    enum PreparedQuery {
        QueryFingerprint,
        QueryUtraFdd,
        QueryUtraFddNcells,
        QueryWlan,
        QueryPosition,
        QueryGeran,
        QueryGeranNcells,
        PreparedQueryCount
    };

    bool execBound(PreparedQuery which, qint64 fpId, const char *prefix);

    std::function<void()> m_onReset;
    bool m_prepared = false;
    std::unique_ptr<QSqlQuery> m_queries[PreparedQueryCount];
};
