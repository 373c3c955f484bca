#pragma once

#include "FpcConfigurationTable.h"

#include <QDateTime>
#include <QStringList>

#include <functional>

// The fingerprint database's tables and indices on the application's
// default connection: creates them, or drops a database without version
// table and creates it anew. A new Configuration table starts the buffer's
// age at now() and its last upload at 0.
class FpcSchema
{
public:
    // True when every step succeeded; the data tables and the bookkeeping
    // rows appear together or not at all.
    static bool create(FpcConfigurationTable &configuration, const std::function<QDateTime()> &now);

private:
    static bool listTables(QStringList &tables);
    static void dropAllTables();
    static bool createDataTables(bool *configurationCreated);
};
