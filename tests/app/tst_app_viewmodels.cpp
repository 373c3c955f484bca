#include "FpcAppConnection.h"
#include "FpcAppMapModel.h"
#include "FpcAppSettingsModel.h"
#include "FpcAppStatusModel.h"
#include "PositionedService.h"
#include "TestBus.h"

#include <QTest>

#include <memory>

// The app's view models against the real daemon on a private bus, fed by
// the simulated positioning daemon and uploading to the server stand-in.
class TstAppViewModels : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;
    std::unique_ptr<PositionedService> m_service;

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }
    void init() { m_service = std::make_unique<PositionedService>(*m_bus); }
    void cleanup()
    {
        m_service.reset();
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
    }

    // Status and map follow a stored fingerprint and uploads; a switch and a zone reach
    // the daemon, bad zones never do, and all of it is back after a restart.
    void followsDaemonAndKeepsChangesAcrossRestart()
    {
        FpcAppConnection connection;
        FpcAppStatusModel status(&connection);
        FpcAppSettingsModel settings(&connection);
        FpcAppMapModel map;
        connection.start();
        QTRY_COMPARE(connection.state(), FpcAppConnection::NotRunning);
        QVERIFY(connection.message().contains("not running"));

        QCOMPARE(m_service->startServer(), QString());
        QVERIFY(m_service->startWithPositioning({"--sbox"}));
        QTRY_COMPARE(connection.state(), FpcAppConnection::Ready);
        QTRY_VERIFY(settings.loaded());
        QVERIFY(settings.collectionEnabled());
        QVERIFY(m_service->storeFix());
        QTRY_COMPARE(status.total(), 1);
        QCOMPARE(status.gsm() + status.wcdma() + status.noRadio(), 1);
        QVERIFY(status.bufferBytes() > 0 && status.bufferBytes() <= status.bufferLimit());
        map.load(m_service->databasePath());
        QTRY_COMPARE(map.fingerprints().size(), 1);
        QVERIFY2(map.error().isEmpty(), qPrintable(map.error()));
        status.uploadNow();
        QVERIFY(status.uploading());
        QTRY_COMPARE_WITH_TIMEOUT(status.uploadOutcome(), QStringLiteral("ok"), 20000);
        QVERIFY2(status.uploadMessage().contains("1 fingerprint"), qPrintable(status.uploadMessage()));
        QTRY_COMPARE(status.total(), 0);
        QVERIFY(m_service->storeFix(61.5)); // kept by the failing upload and across the restart
        QVERIFY(m_service->server().setMode("fail"));
        status.uploadNow();
        QTRY_COMPARE_WITH_TIMEOUT(status.uploadOutcome(), QStringLiteral("failed"), 20000);
        QVERIFY(!status.uploading());
        QCOMPARE(status.total(), 1);
        QTRY_COMPARE(status.recentDrops().value("uploadsTried").toUInt(), 2u); // fetched after the outcome
        QVERIFY(!status.dropLines().join(' ').contains("upload"));             // uploads are no drops

        settings.setCollectionEnabled(false);
        QTRY_VERIFY(!settings.busy());
        QVERIFY(!settings.collectionEnabled());
        QCOMPARE(m_service->configurations().value("collection_enabled"), QStringLiteral("0"));

        QVERIFY(settings.addZone(61.4937, 21.7971, 150));
        QVERIFY(!settings.addZone(61.4937, 21.7971, 0.4));
        QVERIFY(!settings.addZone(61.4937, 21.7971, 50001));
        QVERIFY(!settings.addZone(91, 21.7971, 100));
        QVERIFY(settings.error().contains("50 km") || settings.error().contains("earth"));
        QTRY_VERIFY(!settings.busy());
        QCOMPARE(m_service->configurations().value("privacy_zones"), QStringLiteral("61.493700,21.797100,150"));
        QVERIFY(settings.addZone(61.5, 21.8, 50000));
        QTRY_COMPARE(settings.zones().size(), 2);
        settings.removeZone(0);
        QTRY_COMPARE(m_service->configurations().value("privacy_zones"), QStringLiteral("61.500000,21.800000,50000"));

        const QString community = QStringLiteral("https://community.example.org/v2/geosubmit?key=k");
        QVERIFY(settings.setCommunityUploadUrl(community));
        QTRY_COMPARE(settings.communityUploadUrl(), community);
        QVERIFY(!settings.setCommunityUploadUrl("ftp://community.example.org/"));
        QVERIFY(!settings.setCommunityUploadUrl("https://"));
        QVERIFY(settings.error().contains("server name"));
        QTRY_VERIFY(!settings.busy());
        QCOMPARE(m_service->configurations().value("community_upload_url"), community);

        QCOMPARE(m_service->quit(), 0);
        QTRY_COMPARE(connection.state(), FpcAppConnection::NotRunning);
        settings.setUploadEnabled(false); // refused locally: nobody to send it to
        QVERIFY(!settings.error().isEmpty());

        QVERIFY(m_service->start({"--sbox"}));
        QTRY_COMPARE(connection.state(), FpcAppConnection::Ready);
        QTRY_COMPARE(settings.zones().size(), 1);
        QVERIFY(!settings.collectionEnabled());
        QVERIFY(settings.uploadEnabled());
        QCOMPARE(settings.communityUploadUrl(), community);
        QTRY_COMPARE(status.total(), 1);
        QCOMPARE(m_service->quit(), 0);
    }
};

QTEST_GUILESS_MAIN(TstAppViewModels)
#include "tst_app_viewmodels.moc"
