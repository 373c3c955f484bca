#pragma once

// A real fingerprint buffer in a temporary path root, filled through the
// buffer manager, plus a second connection to the same file for changing the
// database behind the buffer manager's back.

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "TempRoot.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <memory>

class BufferFixture
{
public:
    BufferFixture()
    {
        if (!m_root.isValid() || !m_root.makeDirectory(QStringLiteral("/db")))
            return;
        FpcConfig::addKey(QStringLiteral("db_file"), m_root.path(QStringLiteral("/db/fp.db")));
        m_valid = true;
    }
    ~BufferFixture()
    {
        FpcBufferManager::destroyInstance();
        FpcConfig::addKey(QStringLiteral("db_file"), QString());
    }
    BufferFixture(const BufferFixture &) = delete;
    BufferFixture &operator=(const BufferFixture &) = delete;

    bool isValid() const { return m_valid; }
    static FpcBufferManager &buffer() { return FpcBufferManager::instance(); }

    // Stores fp born secondsAgo before now; the new id, or -1.
    static qint64 store(FpcFingerprint fp, int secondsAgo)
    {
        fp.setTime(QDateTime::currentDateTimeUtc().addSecs(-secondsAgo));
        qint64 id = -1;
        auto connection = QObject::connect(&buffer(), &FpcBufferManager::fpStored, [&id](qint64 stored) { id = stored; });
        const bool stored = buffer().storeFpEntry(fp);
        QObject::disconnect(connection);
        return stored ? id : -1;
    }

    static bool isStored(qint64 id)
    {
        FpcFingerprint fp;
        return buffer().getFingerprint(id, fp);
    }

    // Runs one statement on a connection of its own to the buffer's file.
    static QString tamper(const QString &statement)
    {
        const QString name = QStringLiteral("tamper");
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(buffer().databasePath());
            if (!db.open()) {
                error = db.lastError().text();
            } else {
                QSqlQuery query(db);
                if (!query.exec(statement))
                    error = query.lastError().text();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return error;
    }

private:
    TempRoot m_root;
    bool m_valid = false;
};
