#include "PlatformEvents.h"

#include <QCoreApplication>
#include <QPointer>

PlatformEvents::PlatformEvents(QObject *parent) : QObject(parent) {}

PlatformEvents *PlatformEvents::instance()
{
    static QPointer<PlatformEvents> events;
    if (!events && QCoreApplication::instance())
        events = new PlatformEvents(QCoreApplication::instance());
    return events;
}
