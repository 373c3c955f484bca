#include "KnownDatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>

namespace {

const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS SchemaVersion(version INT)",
    "INSERT INTO SchemaVersion (version) VALUES (1)",
    "CREATE TABLE Fingerprint(fpId INTEGER PRIMARY KEY AUTOINCREMENT, time INT, timeMSecs INT, exported INT, "
    "dataMask INT)",
    "CREATE TABLE Geran(fpId INTEGER, mcc INT, mnc INT, lac INT, cid INT, rxLevel INT, ta INT, PRIMARY KEY(fpId), "
    "FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
    "CREATE TABLE Gncell(fpId INTEGER, bsic INT, bcch INT, rxLevel INT, FOREIGN KEY(fpId) REFERENCES "
    "Fingerprint(fpId) ON DELETE CASCADE)",
    "CREATE TABLE UtraFdd(fpId INTEGER, mcc INT, mnc INT, ucid INT, lac INT, FOREIGN KEY(fpId) REFERENCES "
    "Fingerprint(fpId) ON DELETE CASCADE)",
    "CREATE TABLE Uncell(fpId INTEGER, pcpich INT, uarfcndn INT, ucid INT, rssi INT, ecn INT, rscp INT, pl INT, "
    "FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
    "CREATE TABLE Position(fpId INTEGER, latitude REAL, longitude REAL, altitude INT, altUncertainty INT, time INT, "
    "timeMSecs INT, cep68 INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
    "CREATE TABLE Wlan(fpId INTEGER, mac INT, rxLevel INT, rssi INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) "
    "ON DELETE CASCADE)",
    "CREATE TABLE IF NOT EXISTS Configuration(key TEXT, value TEXT)",
    "INSERT INTO Configuration VALUES('fp_age_time','1714557600'), ('last_upload_utc_time','0')",
};

const char *const Contents[] = {
    // 1714557600 = 2024-05-01T10:00:00Z
    "INSERT INTO Fingerprint (time, timeMSecs, exported, dataMask) VALUES (1714557600, 250, 0, 15), "
    "(1714557660, 250, 1, 11), (1714557720, 250, 0, 7), (1714557780, 250, 0, 10), (1714557840, 250, 0, 9), "
    "(1714557900, 250, 0, 3)",
    "INSERT INTO Position VALUES (1, 60.1699, 24.9384, 12, 5, 1714557600, 250000, 8), "
    "(2, 60.1710, 24.9400, 13, 5, 1714557660, 0, 9), (3, 60.1720, 24.9420, 14, 6, 1714557720, 0, 10), "
    "(5, 60.1690, 24.9360, 15, 7, 1714557840, 0, 11), (6, 123.0, 24.9, 0, 0, 1714557900, 0, 12)",
    "INSERT INTO UtraFdd VALUES (1, 244, 5, 123456789, 4100)",
    "INSERT INTO UtraFdd VALUES (2, 244, 5, 123456789, -1)",
    "INSERT INTO Uncell VALUES (1, 301, 10612, -1, 40, 12, -100, -1), (1, 302, 10612, 123456790, -1, -1, 85, 120)",
    "INSERT INTO Geran VALUES (3, 244, 91, 100, 200, -1, -1)",
    "INSERT INTO Gncell VALUES (3, 7, 62, -1)",
    "INSERT INTO Geran VALUES (4, 244, 91, 100, 201, 40, 3), (6, 244, 91, 101, 200, 35, 1)",
    // 00:1a:2b:3c:4d:5e and friends 72623859790382856 is 01:02:03:04:05:06:07:08, a 64-bit address.
    "INSERT INTO Wlan VALUES (1, 112394521950, -60, -1), (1, 112394521951, -70, 30), (1, 112394521952, -80, -1), "
    "(2, 112394521950, -61, -1), (2, 112394521953, -75, -1), (4, 112394521954, -50, -1), (4, 112394521955, -55, -1), "
    "(4, 72623859790382856, -65, -1), (5, 112394521950, -62, -1)",
    // Rows of a fingerprint that is not there.
    "INSERT INTO Wlan VALUES (99, 999, -40, -1)",
    "INSERT INTO Position VALUES (99, 1.0, 1.0, 0, 0, 0, 0, 0)",
    "INSERT INTO Geran VALUES (99, 1, 1, 1, 1, 1, 1)",
};

} // namespace

bool KnownDatabase::execute(const QString &path, const QStringList &statements, QString *error)
{
    const QString name = QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        *error = db.lastError().text();
        QSqlQuery query(db);
        for (int i = 0; ok && i < statements.size(); ++i) {
            ok = query.exec(statements[i]);
            *error = statements[i] + QStringLiteral(": ") + query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool KnownDatabase::create(const QString &path, QString *error, bool writeAheadLog)
{
    QStringList statements;
    if (writeAheadLog)
        statements << QStringLiteral("PRAGMA journal_mode=WAL");
    for (const char *statement : Schema)
        statements << QString::fromLatin1(statement);
    for (const char *statement : Contents)
        statements << QString::fromLatin1(statement);
    return execute(path, statements, error);
}
