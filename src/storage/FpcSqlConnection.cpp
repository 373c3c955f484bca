#include "FpcSqlConnection.h"

#include <QDebug>
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

void FpcSqlConnection::logSelectFailure(const QSqlQuery &query, const char *prefix)
{
    qCritical() << prefix << "Error in select:" << errorText(query);
    qCritical() << prefix << "Select clause:" << query.lastQuery();
}
