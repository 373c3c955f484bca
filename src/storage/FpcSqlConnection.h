#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

// The daemon's one database connection (Qt's default connection, opened by
// the SQL handler) and the small statement helpers every storage class uses
// on it.
class FpcSqlConnection
{
public:
    // The connection, without opening it when it is closed.
    static QSqlDatabase database();
    static QString errorText(const QSqlQuery &query);
    // Runs one statement on a throw-away query; errorOut gets the driver's text.
    static bool exec(const QString &statement, QString *errorOut = nullptr);
    // Logs a failed select of prefix: the driver's text, then the statement.
    static void logSelectFailure(const QSqlQuery &query, const char *prefix);
};
