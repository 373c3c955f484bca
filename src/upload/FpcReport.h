#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class FpcFingerprint;
class FpcPosition;
class VomuElementGSM;
class VomuElementWCDMA;
class VomuElementWLAN;
class VomuMeasurements;
class VomuObservationElement;

// Writer of the binary fingerprint report (FPR) that is uploaded to the
// positioning server: a little-endian header with the client's identities,
// the fingerprint count and a checksum, followed by one record per
// fingerprint holding its observation elements (GNSS, GERAN, UTRA-FDD, WLAN).
//
// The format counts fingerprints, elements, content bytes and string bytes
// in fixed-width fields; what does not fit is left out (and logged) instead
// of overflowing a field, so every report this class writes is well-formed:
//   - a report takes the first kMaxFingerprints fingerprints of its list;
//     externalize() tells how many went in, the rest waits for a later report;
//   - a record keeps at most kMaxElements elements: the GNSS element, the
//     cell elements and, in the room left, the strongest access points, all
//     in their stored order;
//   - a cell element keeps the neighbour cells that fit kMaxContentBytes;
//   - an identity string is cut to kMaxStringBytes at a UTF-8 character
//     boundary.
// Every writer expects an empty output array and throws a QString otherwise.
class FpcReport
{
public:
    static constexpr int kMaxFingerprints = 65535;
    static constexpr int kMaxElements = 255;
    static constexpr int kMaxContentBytes = 65535;
    static constexpr int kMaxStringBytes = 255;

    // Report element ids (not the measurement library's ids).
    enum ElementId { GERAN = 1, UTRAFDD = 2, GNSS = 3, WLAN = 5 };

    // Writes the report of the listed fingerprints, in list order, into out,
    // which must be empty. Returns how many entries from the front of the list
    // went into the report: all of them, or kMaxFingerprints when the list is
    // longer. Exactly fingerprints[0 .. result-1] are in the report, so only
    // those may be marked exported; the rest belongs to a later report. A null
    // entry counts as taken and adds no record. When "fpr/dump_reports" is not
    // 0 the report is also written to a dump file.
    // Throws the QString "FpcReport::externalize() FAILED" with out cleared
    // when the report cannot be written (out was not empty).
    static int externalize(const QList<FpcFingerprint *> &fingerprints, QByteArray &out);

    // The same report written piece by piece, for a caller that reads the
    // fingerprints one at a time: beginReport writes the header into the
    // empty report and returns what appendRecord needs; appendRecord adds
    // one record (at most kMaxFingerprints in all); finishReport fills in
    // the count and the checksum, logs and dumps as externalize does.
    // externalize is built on them, so both give the same bytes.
    struct Progress
    {
        qsizetype countAt = 0;
        quint8 trustLevel = 0;
        int records = 0;
    };
    static Progress beginReport(QByteArray &report);
    static void appendRecord(const FpcFingerprint &fingerprint, Progress &progress, QByteArray &report);
    static void finishReport(const Progress &progress, QByteArray &report);

    // One framed element each (id, content length, content).
    static void externalizeGNSSObsElement(const FpcPosition &position, QByteArray &out);
    static void externalizeGERANObsElement(const VomuElementGSM &cell, QByteArray &out);
    static void externalizeUTRAFDDObsElement(const VomuElementWCDMA &cell, QByteArray &out);
    static void externalizeWLANObsElement(const VomuElementWLAN &accessPoint, QByteArray &out);
    // Every element the report knows (GSM, WCDMA, WLAN), framed and
    // concatenated in container order; others are skipped. Returns the number
    // of elements written. Applies no element-count limit: that is the
    // record's business.
    static int externalizeVomuMeasurements(const VomuMeasurements &measurements, QByteArray &out);
    // One fingerprint record (time, trust level, element count, elements).
    static void externalizeFingerprint(const FpcFingerprint &fingerprint, QByteArray &out);

    // Writes report to a new dump file "fpr_<n>" of the dump directory,
    // created 0600 without following links; n is the one after the highest
    // number there, and taken names are skipped. Returns true when every
    // byte was written.
    static bool dumpBinary(const QByteArray &report);

private:
    static void appendFingerprint(const FpcFingerprint &fingerprint, quint8 trustLevel, QByteArray &out);
    static bool appendElement(const VomuObservationElement &element, QByteArray &out);
    static void appendGNSS(const FpcPosition &position, QByteArray &out);
    static void appendGERAN(const VomuElementGSM &cell, QByteArray &out);
    static void appendUTRAFDD(const VomuElementWCDMA &cell, QByteArray &out);
    static void appendWLAN(const VomuElementWLAN &accessPoint, QByteArray &out);
    static void appendHeader(QByteArray &out);
    static quint8 trustLevel();
    static quint64 nextDumpNumber(const QString &directory);
    static int createDumpFile(const QString &directory, QString *fileName);
    // Taken names tried in a row before a dump is given up.
    static constexpr int kDumpNameAttempts = 64;
};
