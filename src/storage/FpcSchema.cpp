#include "FpcSchema.h"

#include "FpcLog.h"
#include "FpcSqlConnection.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

struct TableStatements
{
    const char *name;
    const char *create;
    // Run every time the table is known to exist; null-terminated.
    const char *indexes[4];
};

const TableStatements DataTables[] = {
    {"Fingerprint",
     "CREATE TABLE Fingerprint(fpId INTEGER PRIMARY KEY AUTOINCREMENT, time INT, timeMSecs INT, "
     "exported INT, dataMask INT)",
     {"CREATE INDEX IF NOT EXISTS IDX_FINGERPRINT_TIME ON Fingerprint(time)",
      // Only exported rows are indexed, so a new fingerprint never writes it.
      "CREATE INDEX IF NOT EXISTS IDX_FINGERPRINT_EXPORTED ON Fingerprint(exported) WHERE exported=1", nullptr}},
    {"Geran",
     "CREATE TABLE Geran(fpId INTEGER, mcc INT, mnc INT, lac INT, cid INT, rxLevel INT, ta INT, "
     "PRIMARY KEY(fpId), FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
     // fpId is the table's row id: no index of its own is needed.
     {"CREATE INDEX IF NOT EXISTS IDX_GERAN_CELL ON Geran(mcc, mnc, lac, cid)", nullptr}},
    {"Gncell",
     "CREATE TABLE Gncell(fpId INTEGER, bsic INT, bcch INT, rxLevel INT, "
     "FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
     {"CREATE INDEX IF NOT EXISTS IDX_GNCELL_FPID ON Gncell(fpId)", nullptr}},
    {"UtraFdd",
     "CREATE TABLE UtraFdd(fpId INTEGER, mcc INT, mnc INT, ucid INT, lac INT, "
     "FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
     {"CREATE INDEX IF NOT EXISTS IDX_UTRAFDD_FPID ON UtraFdd(fpId)",
      "CREATE INDEX IF NOT EXISTS IDX_UTRAFDD_CELL ON UtraFdd(mcc, mnc, ucid, fpId)", nullptr}},
    {"Uncell",
     "CREATE TABLE Uncell(fpId INTEGER, pcpich INT, uarfcndn INT, ucid INT, rssi INT, ecn INT, "
     "rscp INT, pl INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
     {"CREATE INDEX IF NOT EXISTS IDX_UTRANFDD_FPID ON Uncell(fpId)", nullptr}},
    {"Position",
     "CREATE TABLE Position(fpId INTEGER, latitude REAL, longitude REAL, altitude INT, "
     "altUncertainty INT, time INT, timeMSecs INT, cep68 INT, "
     "FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
     {"CREATE INDEX IF NOT EXISTS IDX_POSITIONING_FPID ON Position(fpId)",
      // Covers the nearby look-up: a box of coordinates never reads the table.
      "CREATE INDEX IF NOT EXISTS IDX_POSITION_COORDINATES ON Position(latitude, longitude, fpId)", nullptr}},
    {"Wlan",
     "CREATE TABLE Wlan(fpId INTEGER, mac INT, rxLevel INT, rssi INT, "
     "FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
     {"CREATE INDEX IF NOT EXISTS IDX_WLAN_FPID ON Wlan(fpId)", nullptr}},
    {"Configuration", "CREATE TABLE IF NOT EXISTS Configuration(key TEXT, value TEXT)", {nullptr}},
};

const char *const DropStatements[] = {
    "DROP TABLE IF EXISTS Fingerprint",
    "DROP TABLE IF EXISTS Geran",
    "DROP TABLE IF EXISTS Gncell",
    "DROP TABLE IF EXISTS Utrafdd",
    "DROP TABLE IF EXISTS Uncell",
    "DROP TABLE IF EXISTS Position",
    "DROP TABLE IF EXISTS Wlan",
    "DROP TABLE IF EXISTS Configuration",
    "DROP INDEX IF EXISTS IDX_GERAN_FPID",
    "DROP INDEX IF EXISTS IDX_GNCELL_FPID",
    "DROP INDEX IF EXISTS IDX_UTRAFDD_FPID",
    "DROP INDEX IF EXISTS IDX_UTRANFDD_FPID",
    "DROP INDEX IF EXISTS IDX_POSITIONING_FPID",
    "DROP INDEX IF EXISTS IDX_WLAN_FPID",
};

} // namespace

bool FpcSchema::listTables(QStringList &tables)
{
    tables.clear();
    QSqlQuery query(FpcSqlConnection::database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"))) {
        qCritical() << "FpcSqlHandler::createTables() Unable to list tables:" << FpcSqlConnection::errorText(query);
        return false;
    }
    while (query.next())
        tables << query.value(0).toString();
    return true;
}

void FpcSchema::dropAllTables()
{
    for (const char *statement : DropStatements)
        FpcSqlConnection::exec(QString::fromLatin1(statement));
}

bool FpcSchema::create(FpcConfigurationTable &configuration, const std::function<QDateTime()> &now)
{
    FPC_TRACE << "FpcSqlHandler::createTables() <-";
    QStringList tables;
    // A listing that fails must not be mistaken for a database without
    // version table: that would drop every stored fingerprint.
    if (!listTables(tables))
        return false;

    if (!tables.contains(QStringLiteral("SchemaVersion"), Qt::CaseSensitive)) {
        FPC_TRACE_AT(FpcLog::Info)
            << "[INFO] FpcSqlHandler::createTables() No SchemaVersion table found - dropping all old data";
        dropAllTables();
        QString error;
        if (!FpcSqlConnection::exec(QStringLiteral("CREATE TABLE IF NOT EXISTS SchemaVersion(version INT)"), &error))
            qCritical() << "FpcSqlHandler::createTables() Unable to create version table"
                        << QString(QStringLiteral("SchemaVersion: ") + error);
        if (!FpcSqlConnection::exec(QStringLiteral("INSERT INTO SchemaVersion (version) VALUES (1)"), &error))
            qCritical() << "FpcSqlHandler::createTables() Unable to setversion table"
                        << QString(QStringLiteral("SchemaVersion: ") + error);
        FPC_TRACE_AT(FpcLog::Info)
            << "[INFO] FpcSqlHandler::createTables() Possibly old databases and indices dropped, "
               "SchemaVersion with VERSION=1 created";
    } else {
        FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcSqlHandler::createTables() SchemaVersion table found - version 1";
    }

    // The data tables and the bookkeeping rows appear together or not at
    // all, so an interrupted first start cannot leave a half schema.
    QSqlDatabase db = FpcSqlConnection::database();
    const bool inTransaction = db.transaction();
    bool configurationCreated = false;
    if (!createDataTables(&configurationCreated)) {
        if (inTransaction)
            db.rollback();
        return false;
    }
    if (configurationCreated) {
        configuration.setValue(QStringLiteral("fp_age_time"), static_cast<quint32>(now().toSecsSinceEpoch()));
        configuration.setValue(QStringLiteral("last_upload_utc_time"), 0u);
    }
    if (inTransaction && !db.commit()) {
        qCritical() << "FpcSqlHandler::createTables() Unable to commit the schema:" << db.lastError().text();
        db.rollback();
        return false;
    }
    FPC_TRACE << "FpcSqlHandler::createTables() ->";
    return true;
}

bool FpcSchema::createDataTables(bool *configurationCreated)
{
    QStringList tables;
    if (!listTables(tables))
        return false;
    for (const TableStatements &table : DataTables) {
        const QString name = QString::fromLatin1(table.name);
        const bool isConfiguration = name == QLatin1String("Configuration");
        QString error;
        if (!tables.contains(name, Qt::CaseInsensitive)) {
            if (!FpcSqlConnection::exec(QString::fromLatin1(table.create), &error)) {
                qCritical() << (isConfiguration ? "FpcSqlHandler::createTables() Unable to create table "
                                                : "FpcSqlHandler::createTables() Unable to create table")
                            << QString(name + QStringLiteral(": ") + error);
                return false;
            }
            if (isConfiguration)
                *configurationCreated = true;
        }
        for (const char *const *index = table.indexes; *index; ++index) {
            if (!FpcSqlConnection::exec(QString::fromLatin1(*index), &error)) {
                qCritical() << "FpcSqlHandler::createTables() Unable to create index"
                            << QString(name + QStringLiteral(": ") + error);
                return false;
            }
        }
    }
    // Older files carry an index that duplicates Geran's row id.
    FpcSqlConnection::exec(QStringLiteral("DROP INDEX IF EXISTS IDX_GERAN_FPID"));
    return true;
}
