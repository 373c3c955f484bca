#include "FpcHeardTransmitters.h"

#include <QSet>

namespace {

void addPosition(FpcHeardTransmitters::Centroid *centroid, const FpcStoredRecord::Position &position)
{
    centroid->latitudeSum += position.latitude;
    centroid->longitudeSum += position.longitude;
    ++centroid->count;
}

} // namespace

void FpcHeardTransmitters::add(const FpcStoredRecord &record)
{
    if (!record.hasPosition)
        return;
    const QString key = record.servingCellKey();
    if (!key.isEmpty())
        addPosition(&cells[key], record.position);
    QSet<qint64> heard;
    for (const FpcStoredRecord::Wlan &wlan : record.wlans) {
        if (!heard.contains(wlan.mac))
            addPosition(&accessPoints[wlan.mac], record.position);
        heard.insert(wlan.mac);
    }
}
