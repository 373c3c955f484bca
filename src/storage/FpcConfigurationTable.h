#pragma once

#include <QSqlQuery>
#include <QString>

#include <memory>

// The buffer's bookkeeping values in the Configuration table (key, value as
// text) on the application's default connection. Failures are logged; a
// value is assigned only when its key exists.
class FpcConfigurationTable
{
public:
    FpcConfigurationTable();
    ~FpcConfigurationTable();

    bool getValue(const QString &key, QString &value);
    // Text converted in base 10; a text that does not convert gives 0.
    bool getValue(const QString &key, quint32 &value);
    // Updates the key's row, or adds one.
    void setValue(const QString &key, const QString &value);
    void setValue(const QString &key, quint32 value);
    // Drops the prepared read, before the connection closes or changes.
    void clearQueries();

private:
    QSqlQuery &valueQuery();

    std::unique_ptr<QSqlQuery> m_valueQuery;
};
