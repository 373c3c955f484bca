#include "SlpGwFactory.h"

#include "SlpGwEnvironment.h"
#include "SlpGwHttpGateway.h"

#include <QDebug>

int SlpGwFactory::version()
{
    SlpGwEnvironment *environment = SlpGwEnvironment::instance();
    if (!environment)
        return SlpGwSettings::load().libraryVersion;
    environment->refresh();
    return environment->settings().libraryVersion;
}

MSlpGw *SlpGwFactory::createSlpGw(int interfaceVersion)
{
    SlpGwEnvironment *environment = SlpGwEnvironment::instance();
    if (!environment) {
        qDebug() << "SlpGwFactory::createSlpGw() no application event loop, no gateway";
        return nullptr;
    }
    environment->refresh();
    if (interfaceVersion != 1 || environment->settings().failCreate) {
        qDebug() << "SlpGwFactory::createSlpGw() refused: interface version" << interfaceVersion << ", fail_create"
                 << environment->settings().failCreate;
        return nullptr;
    }
    return new SlpGwHttpGateway(environment);
}
