#include "FpcBufferManager.h"
#include "FpcSqlHandler.h"

// Interface stub: the full implementation follows.

FpcBufferManager &FpcBufferManager::instance()
{
    throw QStringLiteral("Creating database tables failed");
}

void FpcBufferManager::destroyInstance() {}
bool FpcBufferManager::hasInstance() { return false; }
void FpcBufferManager::setClock(std::function<QDateTime()>) {}
QDateTime FpcBufferManager::currentTime() { return QDateTime::currentDateTimeUtc(); }
FpcBufferManager::FpcBufferManager() {}
FpcBufferManager::~FpcBufferManager() {}
bool FpcBufferManager::storeFpEntry(const FpcFingerprint &) { return false; }
bool FpcBufferManager::getFingerprint(qint64, FpcFingerprint &) { return false; }
bool FpcBufferManager::getNewestFingerprint(FpcFingerprint &) { return false; }
void FpcBufferManager::setNewestFingerprint(const FpcFingerprint &, qint64) {}
bool FpcBufferManager::removeNewest() { return true; }
void FpcBufferManager::getFingerprintsOnly(QList<FpcFingerprint *> &) {}
bool FpcBufferManager::getFingerprintsNearby(const FpcPosition &, int, QList<qint64> &) { return true; }
void FpcBufferManager::getFpIdsByServingCell(const FpcFingerprint &, QList<qint64> &) {}
qint64 FpcBufferManager::bufferSize() { return 0; }
quint32 FpcBufferManager::bufferMaxSize() { return 300000; }
float FpcBufferManager::getFpBufferFillRatio() { return 0; }
quint32 FpcBufferManager::getFpBufferAge() { return 0; }
bool FpcBufferManager::getBufferStatistics(quint32 &, quint32 &, quint32 &, quint32 &, quint32 &,
                                           quint32 &, quint32 &) { return true; }
bool FpcBufferManager::dailyLimitExceeded() { return false; }
void FpcBufferManager::resetDailyLimit() {}
bool FpcBufferManager::removeAll() { return true; }
void FpcBufferManager::openDatabase() {}
QString FpcBufferManager::configuredDatabasePath() { return {}; }
QString FpcBufferManager::defaultDatabasePath() { return {}; }
void FpcBufferManager::verifyDatabaseDirectory(const QString &) {}
int FpcBufferManager::cleanupBuffer() { return 0; }
void FpcBufferManager::checkUploadTriggers() {}
