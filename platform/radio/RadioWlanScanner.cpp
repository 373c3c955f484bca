#include "RadioWlanScanner.h"

#include <QTimer>

RadioWlanScanner::RadioWlanScanner(QObject *parent) : QObject(parent) {}

void RadioWlanScanner::deliverLater(RadioMeasurements::WlanScanCallback callback, void *context,
                                    const VomuMeasurements &result, int delayMs)
{
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [callback, context, result]() { callback(context, result); });
}
