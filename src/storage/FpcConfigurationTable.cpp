#include "FpcConfigurationTable.h"

#include "FpcLog.h"
#include "FpcSqlConnection.h"

#include <QDebug>
#include <QScopeGuard>
#include <QSqlDatabase>

namespace {

const QString SelectConfigurationValue = QStringLiteral("SELECT value FROM Configuration WHERE key='%1'");

QString quotedConfigurationStatement(const QString &key)
{
    return SelectConfigurationValue.arg(key);
}

} // namespace

FpcConfigurationTable::FpcConfigurationTable() = default;
FpcConfigurationTable::~FpcConfigurationTable() = default;

void FpcConfigurationTable::clearQueries()
{
    m_valueQuery.reset();
}

QSqlQuery &FpcConfigurationTable::valueQuery()
{
    // Prepared once: values are read several times for every stored fingerprint.
    if (!m_valueQuery) {
        m_valueQuery = std::make_unique<QSqlQuery>(FpcSqlConnection::database());
        m_valueQuery->setForwardOnly(true);
        m_valueQuery->prepare(QStringLiteral("SELECT value FROM Configuration WHERE key=?"));
    }
    return *m_valueQuery;
}

bool FpcConfigurationTable::getValue(const QString &key, QString &value)
{
    QSqlQuery &query = valueQuery();
    query.bindValue(0, key);
    const auto finish = qScopeGuard([&query] { query.finish(); });
    if (!query.exec()) {
        qCritical() << "FpcSqlHandler::getValue(key=" << key << ") query fail: " << quotedConfigurationStatement(key)
                    << FpcSqlConnection::errorText(query) << ", return false ->";
        return false;
    }
    if (query.isActive() && query.next()) {
        value = query.value(0).toString();
        FPC_TRACE << "FpcSqlHandler::getValue(key=" << key << ") found value: " << value;
        return true;
    }
    FPC_TRACE << "FpcSqlHandler::getValue(key=" << key << ") key not found, return false ->";
    return false;
}

bool FpcConfigurationTable::getValue(const QString &key, quint32 &value)
{
    QString text;
    if (!getValue(key, text))
        return false;
    bool ok = false;
    const quint32 converted = text.toUInt(&ok, 10);
    value = ok ? converted : 0;
    return true;
}

void FpcConfigurationTable::setValue(const QString &key, const QString &value)
{
    QSqlQuery lookup(FpcSqlConnection::database());
    lookup.setForwardOnly(true);
    lookup.prepare(QStringLiteral("SELECT value FROM Configuration WHERE key=?"));
    lookup.addBindValue(key);
    if (!lookup.exec()) {
        qCritical() << "FpcSqlHandler::setValue(" << key << " -> " << value
                    << ") query: " << quotedConfigurationStatement(key) << FpcSqlConnection::errorText(lookup)
                    << "value set FAILED ->";
        return;
    }
    const bool exists = lookup.next();
    lookup.finish();

    QSqlQuery write(FpcSqlConnection::database());
    QString shown;
    if (exists) {
        write.prepare(QStringLiteral("UPDATE Configuration SET value=? WHERE key=?"));
        write.addBindValue(value);
        write.addBindValue(key);
        shown = QStringLiteral("UPDATE Configuration SET value='%1' WHERE key='%2'").arg(value, key);
    } else {
        write.prepare(QStringLiteral("INSERT INTO Configuration VALUES(?,?)"));
        write.addBindValue(key);
        write.addBindValue(value);
        shown = QStringLiteral("INSERT INTO Configuration VALUES('%1','%2')").arg(key, value);
    }
    if (!write.exec()) {
        qCritical() << "FpcSqlHandler::setValue(" << key << " -> " << value << ") query: " << shown
                    << FpcSqlConnection::errorText(write) << "value set FAILED ->";
        return;
    }
    FPC_TRACE_AT(FpcLog::Info) << "[INFO] FpcSqlHandler::setValue(" << key << " -> " << value << ") succeeded ->";
}

void FpcConfigurationTable::setValue(const QString &key, quint32 value)
{
    setValue(key, QString::number(value));
}
