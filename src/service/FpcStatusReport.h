#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class FpcFingerprint;

// The fingerprint list of the status signal fpStatus: one text per stored
// fingerprint, "<creation time in ms since the epoch>:<data mask>" followed
// by ":W" for a WCDMA and ":G" for a GSM serving cell.
class FpcStatusReport
{
public:
    static QString entry(const FpcFingerprint &fp);
    static QString entry(qint64 timeMSecs, quint8 dataMask, int radioType);
    // The entries of fingerprints, in their order; deletes the fingerprints
    // and empties the list.
    static QStringList takeEntries(QList<FpcFingerprint *> &fingerprints);
};
