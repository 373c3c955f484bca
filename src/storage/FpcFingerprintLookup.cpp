#include "FpcFingerprintLookup.h"

#include "FpcFingerprintRows.h"
#include "FpcLog.h"
#include "FpcSqlConnection.h"

#include <QDebug>
#include <QSqlDatabase>

namespace {

// The seven read queries, in the order of FpcFingerprintLookup::PreparedQuery.
const char *const PreparedTexts[] = {
    "SELECT time, timeMSecs, dataMask FROM Fingerprint WHERE FpId= :fpid",
    "SELECT mcc, mnc, ucid, lac FROM UtraFdd WHERE FpId= :fpid",
    "SELECT pcpich, uarfcndn, ucid, rssi, ecn, rscp, pl FROM Uncell WHERE fpId= :fpid",
    "SELECT mac, rxLevel, rssi FROM Wlan WHERE FpId= :fpid",
    "SELECT latitude, longitude, altitude, altUncertainty, time,timeMSecs, cep68 FROM Position "
    "WHERE fpId= :fpid",
    "SELECT mcc, mnc, lac, cid, rxLevel, ta FROM Geran WHERE fpId= :fpid",
    "SELECT bsic, bcch, rxLevel FROM Gncell WHERE fpId= :fpid",
};

} // namespace

FpcFingerprintLookup::FpcFingerprintLookup(std::function<void()> onReset) : m_onReset(std::move(onReset)) {}

FpcFingerprintLookup::~FpcFingerprintLookup() = default;

void FpcFingerprintLookup::clearQueries()
{
    for (auto &query : m_queries) {
        if (query)
            query->clear();
    }
    m_prepared = false;
}

void FpcFingerprintLookup::resetQueries()
{
    for (auto &query : m_queries)
        query = std::make_unique<QSqlQuery>(FpcSqlConnection::database());
    m_prepared = false;
}

void FpcFingerprintLookup::prepareQueries()
{
    if (m_prepared)
        return;
    resetQueries();
    m_onReset();
    m_prepared = true;
    for (int i = 0; i < PreparedQueryCount; ++i) {
        m_queries[i]->setForwardOnly(true);
        if (!m_queries[i]->prepare(QString::fromLatin1(PreparedTexts[i]))) {
            qCritical() << "FpcSqlHandler::prepareQueries() Unable to prepare" << PreparedTexts[i]
                        << FpcSqlConnection::errorText(*m_queries[i]);
            // Try again on the next read rather than keep a broken query.
            m_prepared = false;
        }
    }
}

bool FpcFingerprintLookup::execBound(PreparedQuery which, qint64 fpId, const char *prefix)
{
    prepareQueries();
    QSqlQuery &query = *m_queries[which];
    query.bindValue(QStringLiteral(":fpid"), fpId);
    if (query.exec())
        return true;
    qCritical() << prefix << "Error in select:" << FpcSqlConnection::errorText(query);
    qCritical() << prefix << "Select clause:" << query.executedQuery();
    return false;
}

bool FpcFingerprintLookup::select(qint64 fpId, FpcFingerprint &fp)
{
    FPC_TRACE << "FpcSqlHandler::select() fp id: " << fpId;
    prepareQueries();
    QSqlQuery &query = *m_queries[QueryFingerprint];
    query.bindValue(QStringLiteral(":fpid"), fpId);
    if (!query.exec()) {
        qDebug() << "[ERROR] FpcSqlHandler::select() Error in select:" << FpcSqlConnection::errorText(query);
        qDebug() << "[ERROR] FpcSqlHandler::select() Select clause:" << query.executedQuery();
        return false;
    }
    query.next();
    const bool read = FpcFingerprintRows::readFingerprint(query, fp);
    query.finish();
    if (!read)
        return false;
    fp.setId(fpId);

    VomuMeasurements measurements;
    if (selectUtraFdd(fpId, measurements))
        FPC_TRACE << "FpcSqlHandler::select() fp id:" << fpId << "-> WCDMA cell found";
    else if (selectGeran(fpId, measurements))
        FPC_TRACE << "FpcSqlHandler::select() fp id:" << fpId << "-> GSM cell found";
    if (selectWlan(fpId, measurements))
        FPC_TRACE << "FpcSqlHandler::select() fp id:" << fpId << "-> WLAN measurements found";
    fp.setMeasurements(measurements);

    FpcPosition position;
    if (selectPosition(fpId, position)) {
        fp.setPosition(position);
        FPC_TRACE << "FpcSqlHandler::select() GPS fix:" << position.latitude() << position.longitude();
    }
    FPC_TRACE << "FpcSqlHandler::select() ->";
    return true;
}

bool FpcFingerprintLookup::selectGeran(qint64 fpId, VomuMeasurements &measurements)
{
    static const char prefix[] = "FpcSqlHandler::selectGeran()";
    if (!execBound(QueryGeran, fpId, prefix))
        return false;
    QSqlQuery &query = *m_queries[QueryGeran];
    if (!query.next()) {
        query.finish();
        FPC_TRACE << "FpcSqlHandler::selectGeran() Cell not found";
        return false;
    }
    std::unique_ptr<VomuElementGSM> gsm = FpcFingerprintRows::readGeran(query);
    query.finish();
    if (!gsm)
        return false;
    if (!selectGeranNcells(fpId, *gsm)) {
        qDebug() << "[ERROR] FpcSqlHandler::selectGeran() GSM cell not appended to measurements";
        return false;
    }
    measurements.append(gsm.release());
    return true;
}

bool FpcFingerprintLookup::selectGeranNcells(qint64 fpId, VomuElementGSM &gsm)
{
    if (!execBound(QueryGeranNcells, fpId, "FpcSqlHandler::selectGeranNcells()"))
        return false;
    QSqlQuery &query = *m_queries[QueryGeranNcells];
    bool lastConverted = true;
    while (query.next())
        lastConverted = FpcFingerprintRows::readGeranNcell(query, gsm);
    query.finish();
    return lastConverted;
}

bool FpcFingerprintLookup::selectUtraFdd(qint64 fpId, VomuMeasurements &measurements)
{
    static const char prefix[] = "FpcSqlHandler::selectUtraFdd()";
    if (!execBound(QueryUtraFdd, fpId, prefix))
        return false;
    QSqlQuery &query = *m_queries[QueryUtraFdd];
    if (!query.next()) {
        query.finish();
        FPC_TRACE << "FpcSqlHandler::selectUtraFdd() Cell not found";
        return false;
    }
    std::unique_ptr<VomuElementWCDMA> wcdma = FpcFingerprintRows::readUtraFdd(query);
    query.finish();
    if (!wcdma)
        return false;
    if (!selectUtraFddNcells(fpId, *wcdma)) {
        qDebug() << "[ERROR] FpcSqlHandler::selectUtraFdd() WCDMA cell not appended to measurements";
        return false;
    }
    measurements.append(wcdma.release());
    return true;
}

bool FpcFingerprintLookup::selectUtraFddNcells(qint64 fpId, VomuElementWCDMA &wcdma)
{
    if (!execBound(QueryUtraFddNcells, fpId, "FpcSqlHandler::selectUtraFddNcells()"))
        return false;
    QSqlQuery &query = *m_queries[QueryUtraFddNcells];
    bool lastConverted = true;
    while (query.next())
        lastConverted = FpcFingerprintRows::readUtraFddNcell(query, wcdma);
    query.finish();
    return lastConverted;
}

bool FpcFingerprintLookup::selectWlan(qint64 fpId, VomuMeasurements &measurements)
{
    if (!execBound(QueryWlan, fpId, "FpcSqlHandler::selectWlan()"))
        return false;
    QSqlQuery &query = *m_queries[QueryWlan];
    bool lastConverted = true;
    while (query.next())
        lastConverted = FpcFingerprintRows::readWlan(query, measurements);
    query.finish();
    return lastConverted;
}

bool FpcFingerprintLookup::selectPosition(qint64 fpId, FpcPosition &position)
{
    static const char prefix[] = "FpcSqlHandler::selectPosition()";
    if (!execBound(QueryPosition, fpId, prefix))
        return false;
    QSqlQuery &query = *m_queries[QueryPosition];
    if (!query.next()) {
        query.finish();
        FPC_TRACE << "FpcSqlHandler::selectPosition() Position not found";
        return false;
    }
    const bool ok = FpcFingerprintRows::readPosition(query, position, prefix, true);
    query.finish();
    return ok;
}
