#include "FpcSqlConnection.h"

#include <QSqlError>

QSqlDatabase FpcSqlConnection::database()
{
    return QSqlDatabase::database(QSqlDatabase::defaultConnection, false);
}

QString FpcSqlConnection::errorText(const QSqlQuery &query)
{
    return query.lastError().text();
}

bool FpcSqlConnection::exec(const QString &statement, QString *errorOut)
{
    QSqlQuery query(database());
    if (query.exec(statement))
        return true;
    if (errorOut)
        *errorOut = errorText(query);
    return false;
}
