#pragma once

#include "FpcFingerprint.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QString>

// Fingerprints for the storage tests and a canonical text of everything a
// fingerprint carries, so a round trip is checked field by field at once.
namespace StorageTestData {

enum Optional { AllFields, NoOptionalFields };

FpcPosition position(double latitude, double longitude, Optional optional = AllFields);
VomuElementGSM *gsm(quint16 cellId, Optional optional = AllFields);
VomuElementWCDMA *wcdma(quint32 ucId, Optional optional = AllFields);
VomuElementWLAN *wlan(std::initializer_list<uint8_t> macBytes, Optional optional = AllFields);

// A fingerprint born at secondsSinceEpoch (+ 250 ms) with the given
// elements (taken over) and, when withPosition, a fix.
FpcFingerprint fingerprint(qint64 secondsSinceEpoch, std::initializer_list<VomuObservationElement *> elements,
                           bool withPosition = true, double latitude = 60.1699, double longitude = 24.9384);

QString describe(const FpcFingerprint &fp);

// Rows of a table on the default connection.
int rowCount(const QString &table);
// Runs a statement on the default connection; false with a warning on error.
bool exec(const QString &statement);

} // namespace StorageTestData
