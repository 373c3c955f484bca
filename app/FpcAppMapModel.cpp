#include "FpcAppMapModel.h"

#include "FpcDatabaseReader.h"
#include "FpcHeardTransmitters.h"
#include "FpcPaths.h"

#include <QMetaObject>
#include <QThread>

struct FpcAppMapModel::Result
{
    QVariantList fingerprints;
    QVariantList cells;
    QVariantList accessPoints;
    int withoutPosition = 0;
    QString error;
};

namespace {

QVariantMap centroidMap(const QString &key, const FpcHeardTransmitters::Centroid &centroid)
{
    return {{QStringLiteral("key"), key},
            {QStringLiteral("latitude"), centroid.latitude()},
            {QStringLiteral("longitude"), centroid.longitude()},
            {QStringLiteral("count"), centroid.count}};
}

} // namespace

FpcAppMapModel::FpcAppMapModel(QObject *parent) : QObject(parent) {}

FpcAppMapModel::~FpcAppMapModel()
{
    if (m_worker)
        m_worker->wait();
}

void FpcAppMapModel::load(const QString &databaseFile)
{
    if (m_loading) {
        m_queued = databaseFile;
        m_hasQueued = true;
        return;
    }
    m_loading = true;
    emit loadingChanged();
    const QString path = databaseFile.isEmpty() ? FpcPaths::databaseFile() : databaseFile;
    m_worker = QThread::create([this, path] {
        const Result result = read(path);
        QMetaObject::invokeMethod(
            this, [this, result] { apply(result); }, Qt::QueuedConnection);
    });
    connect(m_worker, &QThread::finished, m_worker, &QObject::deleteLater);
    m_worker->start();
}

FpcAppMapModel::Result FpcAppMapModel::read(const QString &path)
{
    Result result;
    QList<FpcStoredRecord> records;
    if (!FpcDatabaseReader::read(path, &records, &result.error))
        return result;
    FpcHeardTransmitters heard;
    for (const FpcStoredRecord &record : std::as_const(records)) {
        if (!record.hasPosition) {
            ++result.withoutPosition;
            continue;
        }
        heard.add(record);
        const QString cell = record.servingCellKey();
        QStringList wlans;
        for (const FpcStoredRecord::Wlan &wlan : record.wlans)
            wlans << FpcDatabaseReader::macText(wlan.mac);
        result.fingerprints << QVariantMap{{QStringLiteral("id"), record.id},
                                           {QStringLiteral("latitude"), record.position.latitude},
                                           {QStringLiteral("longitude"), record.position.longitude},
                                           {QStringLiteral("mask"), record.dataMask},
                                           {QStringLiteral("time"), record.timeMs},
                                           {QStringLiteral("cell"), cell},
                                           {QStringLiteral("wlans"), wlans}};
    }
    for (auto it = heard.cells.cbegin(); it != heard.cells.cend(); ++it)
        result.cells << centroidMap(it.key(), it.value());
    for (auto it = heard.accessPoints.cbegin(); it != heard.accessPoints.cend(); ++it)
        result.accessPoints << centroidMap(FpcDatabaseReader::macText(it.key()), it.value());
    return result;
}

void FpcAppMapModel::apply(const Result &result)
{
    m_worker = nullptr;
    m_fingerprints = result.fingerprints;
    m_cells = result.cells;
    m_accessPoints = result.accessPoints;
    m_withoutPosition = result.withoutPosition;
    m_error = result.error;
    m_loading = false;
    emit loaded();
    emit loadingChanged();
    if (m_hasQueued) {
        m_hasQueued = false;
        load(m_queued);
    }
}
