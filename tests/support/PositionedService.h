#pragma once

// The daemon with the simulated positioning daemon and the server stand-in to upload to.
// Header-only, so that only tests linking fpc_fpcsim_lib pay for it.

#include "FpServerProcess.h"
#include "PositioningDaemonSim.h"
#include "ServiceFixture.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QSignalSpy>

class PositionedService : public ServiceFixture
{
public:
    explicit PositionedService(TestBus &bus)
        : ServiceFixture(bus), m_positioning(bus.connection()), m_server(root().path(QStringLiteral("/server")))
    {}

    PositioningDaemonSim &positioning() { return m_positioning; }
    FpServerProcess &server() { return m_server; }

    // Starts the daemon with the positioning daemon on the bus; true once the daemon has asked it for fixes.
    bool startWithPositioning(const QStringList &arguments = {}, const Items &config = {})
    {
        QString error;
        QSignalSpy requests(&m_positioning, &PositioningDaemonSim::requestReceived);
        return m_positioning.registerOnBus(&error) && start(arguments, config)
               && TestSupport::waitFor([&] { return !requests.isEmpty(); }, 10000);
    }
    // Starts the server stand-in; with toGateway the daemon's gateway uploads to it.
    QString startServer(const QString &mode = QStringLiteral("ok"), bool toGateway = true)
    {
        if (!m_server.start(mode))
            return m_server.errorString();
        if (toGateway)
            daemon().setEnv(QStringLiteral("SLPGW_SERVER_URL"), m_server.url());
        return QString();
    }
    static PositionFix fixNow(double latitude = PositionFix().lat, double longitude = PositionFix().lon)
    {
        PositionFix fix;
        fix.lat = latitude;
        fix.lon = longitude;
        fix.setTime(QDateTime::currentDateTimeUtc());
        return fix;
    }
    // Broadcasts a fix of now; true once the buffer holds a fingerprint more.
    bool storeFix(double latitude = PositionFix().lat, double longitude = PositionFix().lon)
    {
        const int before = fingerprintCount();
        return m_positioning.sendFix(fixNow(latitude, longitude)).isEmpty()
               && TestSupport::waitFor([&] { return fingerprintCount() > before; }, 15000);
    }

private:
    PositioningDaemonSim m_positioning;
    FpServerProcess m_server;
};
