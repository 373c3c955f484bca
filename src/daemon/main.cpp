#include "FpcApplication.h"
#include "FpcCommandLine.h"
#include "FpcConfig.h"
#include "FpcEventHandler.h"
#include "FpcKeptSettings.h"
#include "FpcLog.h"
#include "FpcPaths.h"
#include "FpcSignalWatcher.h"
#include "FpcStartup.h"
#include "SarvoSecurity.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDebug>
#include <QEvent>

#include <cstdio>
#include <exception>
#include <string>
#include <sys/stat.h>

namespace {
const char ObjectPath[] = "/com/vexlo/location/fpcd";
const char ServiceName[] = "com.vexlo.location.fpcd";
const int StartFailure = 255;
}

int main(int argc, char *argv[])
{
    // The daemon holds the subscriber's identity and location history:
    // every file and directory it creates is its user's alone.
    ::umask(077);
    FpcApplication app(argc, argv);
    try {
        // SIGTERM and SIGINT end the event loop the way a quit request does,
        // so the service name is released and the exit code is 0.
        FpcSignalWatcher signalWatcher;
        QObject::connect(&signalWatcher, &FpcSignalWatcher::caught, [](int signalNumber) {
            qDebug() << "FpcSignalWatcher::onSignalPending() signal" << signalNumber << "received, quitting";
            QCoreApplication::quit();
        });

        // Developer tracing is allowed only on rd-mode devices.
        FpcLog::setRdMode(FpcStartup::readRdModeFlag());

        const FpcCommandLine commandLine(QCoreApplication::arguments(), FpcLog::rdMode());
        if (commandLine.sbox())
            std::setvbuf(stdout, nullptr, _IONBF, 0);
        QString traceFilePath;
        for (const QString &request : commandLine.traceFileRequests())
            traceFilePath = FpcLog::openStartupTraceFile(request);
        FpcStartup::exportLibraryTraceVariables(commandLine, traceFilePath);

        FpcLog::install();

        // A missing or broken file leaves every value at its caller's default.
        qDebug() << "main() read configuration";
        FpcConfig::internalizeConf(FpcPaths::configFile());
        FpcKeptSettings::load();
        FpcStartup::applyLogLevel(commandLine);
        FpcStartup::choosePlatformProvider(FpcLog::rdMode());

        if (!sarvoSessionSetupEnvironmentHelper()) {
            qCritical() << "main() Failed loading sarvo session data.";
            QCoreApplication::quit();
            return StartFailure;
        }

        qDebug() << "main() creating FpcEventHandler...";
        // A child of the application object: the path registered below
        // exports it as the daemon's D-Bus interface.
        auto *eventHandler = new FpcEventHandler(&app);
        qDebug() << "main() FpcEventHandler created";

        QDBusConnection bus = QDBusConnection::systemBus();
        qDebug() << "main() register object to DBus...";
        if (!bus.registerObject(QLatin1String(ObjectPath), &app, QDBusConnection::ExportAdaptors)) {
            qDebug() << "main() object registration failed. Shutting down...";
            QCoreApplication::quit();
            return StartFailure;
        }
        qDebug() << "main() object registration succeeded";

        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            bus.interface()->registerService(QLatin1String(ServiceName), QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
            qDebug() << "main() service registration failed. Shutting down...";
            QCoreApplication::quit();
            return StartFailure;
        }
        qDebug() << "main() service registration succeeded";

        // The components start from inside the event loop.
        QCoreApplication::postEvent(eventHandler, new QEvent(QEvent::Type(eventHandler->startEventType())));

        const int code = QCoreApplication::exec();
        qDebug() << "main() service exits (code=" << code << ")";
        qDebug() << "main() unregister service from DBus";
        bus.interface()->unregisterService(QLatin1String(ServiceName));
        // A start event that could not open the buffer ended the loop.
        if (eventHandler->startFailed())
            return StartFailure;
    } catch (const QString &text) {
        qCritical() << "main() Cannot start vomu-fpc -- ERROR: " << text;
    } catch (const std::string &text) {
        qCritical() << "main() Cannot start vomu-fpc -- ERROR: " << text.c_str();
    } catch (const std::exception &error) {
        qCritical() << "main() Cannot start vomu-fpc -- ERROR: " << error.what();
    } catch (...) {
        qCritical() << "main() Cannot start vomu-fpc -- Unknwon exception";
    }
    return 0;
}
