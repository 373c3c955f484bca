#pragma once

#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"

#include <QHash>
#include <QSqlQuery>
#include <QString>

// Writes a fingerprint's rows (Fingerprint, Position, Geran with its
// Gncell rows, UtraFdd with its Uncell rows, Wlan) on the application's
// default connection. Each insert statement is prepared once and reused;
// a row that cannot be written is logged with its values written out.
class FpcFingerprintWriter
{
public:
    FpcFingerprintWriter();
    ~FpcFingerprintWriter();

    // Stores fp with all its rows in one transaction; the new fpId, or -1
    // when nothing was stored.
    qint64 insert(const FpcFingerprint &fp);
    bool insertGsm(const VomuElementGSM &gsm, qint64 fpId);
    bool insertUtraFdd(const VomuElementWCDMA &wcdma, qint64 fpId);
    bool insertWlan(const VomuElementWLAN &wlan, qint64 fpId);
    // Drops the prepared statements, before the connection closes or changes.
    void clearQueries();

private:
    class InsertRow;

    bool insertFingerprintRow(const FpcFingerprint &fp, qint64 *fpId);
    bool insertPosition(const FpcPosition &position, qint64 fpId);
    bool insertMeasurements(const VomuMeasurements &measurements, qint64 fpId);
    // Runs one row insert; on failure logs the statement under prefix/label.
    bool execInsert(const InsertRow &row, const char *prefix, const char *label);

    // Insert statements by their text up to the values.
    QHash<QString, QSqlQuery> m_insertQueries;
};
