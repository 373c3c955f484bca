#pragma once

// A real fingerprint buffer whose database lies in a temporary path root.
// Header-only, so that only tests linking fpc_storage (directly or through
// fpc_filter, fpc_collect, ...) pay for it.

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "TempRoot.h"

#include <QObject>
#include <QString>

class TempBuffer
{
public:
    TempBuffer()
    {
        if (!m_root.isValid() || !m_root.makeDirectory(QStringLiteral("/db")))
            return;
        FpcConfig::addKey(QStringLiteral("db_file"), m_root.path(QStringLiteral("/db/fp.db")));
        m_valid = true;
    }
    // Closes the database before its directory goes away.
    ~TempBuffer()
    {
        FpcBufferManager::destroyInstance();
        FpcConfig::addKey(QStringLiteral("db_file"), QString());
    }
    TempBuffer(const TempBuffer &) = delete;
    TempBuffer &operator=(const TempBuffer &) = delete;

    bool isValid() const { return m_valid; }
    const TempRoot &root() const { return m_root; }
    static FpcBufferManager &buffer() { return FpcBufferManager::instance(); }

    // Stores fp through the buffer manager; the new id, or -1.
    static qint64 store(const FpcFingerprint &fp)
    {
        qint64 id = -1;
        const auto connection =
            QObject::connect(&buffer(), &FpcBufferManager::fpStored, [&id](qint64 stored) { id = stored; });
        const bool stored = buffer().storeFpEntry(fp);
        QObject::disconnect(connection);
        return stored ? id : -1;
    }

private:
    TempRoot m_root;
    bool m_valid = false;
};
