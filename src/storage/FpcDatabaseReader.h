#pragma once

#include "FpcStoredRecord.h"

#include <QList>
#include <QString>

// Reads every stored fingerprint with its rows from a fingerprint database
// without changing it or getting in the daemon's way: a read-only SQLite
// connection of its own, which takes no write lock and never folds the
// write-ahead log back into the file, not even when it closes. The daemon may
// be writing at the same time; its write-ahead log keeps this reader on one
// consistent snapshot, read in a single transaction that ends before read()
// returns. Rows that belong to no fingerprint and values that are not numbers
// are left out; a position counts only with finite coordinates in range.
class FpcDatabaseReader
{
public:
    static constexpr const char *ConnectionName = "fpc-readonly";

    // False with a one-line reason when the file cannot be opened or is not
    // a fingerprint database. Records come in the order of their ids.
    static bool read(const QString &path, QList<FpcStoredRecord> *records, QString *error);

    // The stored integer form of a WLAN MAC address as text,
    // "00:1a:2b:3c:4d:5e": six bytes below 2^48, else eight.
    static QString macText(qint64 value);
};
