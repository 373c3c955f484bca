#pragma once

#include "FpcFingerprint.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QString>
#include <QStringList>

// Fingerprints, a text of all a fingerprint carries and SQL on the default connection.
namespace StorageTestData {

const qint64 T0 = 1700000000;
enum Optional { AllFields, NoOptionalFields };

FpcPosition position(double latitude, double longitude, Optional optional = AllFields);
VomuElementGSM *gsm(quint16 cellId, Optional optional = AllFields);
VomuElementWCDMA *wcdma(quint32 ucId, Optional optional = AllFields);
VomuElementWLAN *wlan(std::initializer_list<uint8_t> macBytes, Optional optional = AllFields);

// Born at secondsSinceEpoch + 250 ms with the elements (taken over) and, when withPosition, a fix.
FpcFingerprint fingerprint(qint64 secondsSinceEpoch, std::initializer_list<VomuObservationElement *> elements,
                           bool withPosition = true, double latitude = 60.1699, double longitude = 24.9384);
// Born at T0 + seconds with a GSM cell, its neighbour, accessPoints access points, a fix per mask bit.
FpcFingerprint withMask(int mask, qint64 seconds, int accessPoints = 1);

QString describe(const FpcFingerprint &fp);

int rowCount(const QString &table);
// Runs a statement; false with a warning on error.
bool exec(const QString &statement);
// The first column of every row ("NULL" for null), or {"error"}.
QStringList column(const QString &statement);
QList<qint64> ids(const QString &condition = QString());

} // namespace StorageTestData
