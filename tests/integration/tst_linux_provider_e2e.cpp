#include "FakeService.h"
#include "PositionedService.h"
#include "TestBus.h"

#include <QJsonArray>
#include <QTest>

const QJsonObject Serving{{"cell-type", 2}, {"serving", true}, {"operator-id", "24405"}, {"lac", "1A2B"},
                          {"ci", "4E21"},   {"rx-level", 40},  {"timing-advance", 3}};

// The daemon with the Linux providers on fake system services: what they serve is stored and uploaded.
class TstLinuxProviderE2e : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;

    // The daemon on the Linux providers with the given configuration, its first fingerprint stored.
    static bool startAndStoreFix(PositionedService &service, const ServiceFixture::Items &config)
    {
        service.daemon().setEnv("FPCD_PROVIDER", "linux");
        return service.startWithPositioning({}, ServiceFixture::Items{{"wlan_scan_interval", "0"}} + config)
               && service.waitForTrace("main() platform provider: \"linux\"") && service.storeFix(61.4901);
    }

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }

    void fingerprintFromFakeServices()
    {
        const QJsonObject neighbour{{"cell-type", 2},
                                    {"serving", false},
                                    {"arfcn", 62},
                                    {"base-station-id", "2B"},
                                    {"rx-level", 31}};
        FakeService mm(FakeService::templateFile("modemmanager_fake.py"), "org.freedesktop.ModemManager1",
                       {{"cells", QJsonArray{Serving, neighbour}}, {"imsi", "244051234567890"}});
        FakeService nm("networkmanager", "org.freedesktop.NetworkManager");
        FakeService upower("upower", "org.freedesktop.UPower");
        for (FakeService *fake : {&mm, &nm, &upower})
            QVERIFY2(fake->start(), qPrintable(fake->errorString()));
        upower.mock("/org/freedesktop/UPower", "SetupDisplayDevice",
                    {2u, 2u, 80.0, 40.0, 50.0, 1.0, 3600LL, 0LL, true, QStringLiteral("battery"), 0u});
        const QString nmPath = QStringLiteral("/org/freedesktop/NetworkManager");
        const QString wireless = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
        const QDBusMessage added =
            nm.mock(nmPath, "AddWiFiDevice", {QStringLiteral("wlan0"), QStringLiteral("wlan0"), 100u});
        const QString device = added.arguments().value(0).toString();
        nm.mock(device, "AddProperty", {wireless, QStringLiteral("LastScan"), QVariant::fromValue(1LL)});
        nm.mock(device, "AddMethod",
                {wireless, QStringLiteral("RequestScan"), QStringLiteral("a{sv}"), QString(),
                 QStringLiteral("self.Set('%1', 'LastScan', dbus.Int64(self.Get('%1', 'LastScan') + 1))")
                     .arg(wireless)});
        // One access point at the weakest strength (the others: tst_linuxproviders).
        nm.mock(nmPath, "AddAccessPoint",
                {device, QStringLiteral("ap"), QStringLiteral("net"), QStringLiteral("00:1a:2b:3c:4d:03"), 2u, 2412u,
                 54000u, QVariant::fromValue(uchar(0)), 0u});

        PositionedService service(*m_bus);
        QCOMPARE(service.startServer(), QString());
        QVERIFY(startAndStoreFix(service, {}));
        QCOMPARE(service.queryValue("SELECT dataMask FROM Fingerprint").toInt(), 1 | 2 | 4 | 8);

        // The modem fake reports a home registration, so the gateway finds a network for the forced upload.
        QCOMPARE(service.call("forcedUpload").arguments().value(0).toString(),
                 QStringLiteral("Upload to server started"));
        QTRY_COMPARE_WITH_TIMEOUT(service.server().uploadCount(), 1, 15000);
        const QList<QJsonObject> lines = service.server().readLines("fingerprints.jsonl");
        QCOMPARE(lines.size(), 1);
        // GERAN fields of the serving cell and its neighbour; access points as "mac:received power".
        QList<int> fields;
        QStringList wlan;
        for (const QJsonValue element : lines.first()["elements"].toArray()) {
            if (element["kind"] == QLatin1String("GERAN")) {
                for (const char *key : {"mcc", "mnc", "lac", "cellId", "rxLevel", "timingAdvance"})
                    fields << element[key].toInt();
                for (const char *key : {"bsic", "bcch", "rxLevel"})
                    fields << element["neighbours"][0][key].toInt();
            } else if (element["kind"] == QLatin1String("WLAN")) {
                wlan << element["mac"].toString() + ':' + QString::number(element["powerRx"].toInt());
            }
        }
        QCOMPARE(fields, (QList<int>{244, 5, 0x1A2B, 0x4E21, 40, 3, 0x2B, 62, 31}));
        QCOMPARE(wlan, QStringList({"00:1a:2b:3c:4d:03:-100"}));
        QCOMPARE(service.quit(), 0);
    }

    // wpa_supplicant chosen by the configuration: its dBm figures are stored as served.
    void wlanFromSupplicant()
    {
        FakeService mm(FakeService::templateFile("modemmanager_fake.py"), "org.freedesktop.ModemManager1",
                       {{"cells", QJsonArray{Serving}}});
        const QJsonArray bsss{QJsonObject{{"bssid", QJsonArray{0xfc, 0xdc, 0xba, 0x98, 0x76, 0x01}}, {"signal", -128}},
                              QJsonObject{{"bssid", QJsonArray{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x02}}, {"signal", 0}}};
        FakeService supplicant(FakeService::templateFile("supplicant_fake.py"), "fi.w1.wpa_supplicant1",
                               {{"bsss", bsss}});
        for (FakeService *fake : {&mm, &supplicant})
            QVERIFY2(fake->start(), qPrintable(fake->errorString()));

        PositionedService service(*m_bus);
        QVERIFY(startAndStoreFix(service, {{"wlan_source", "wpa_supplicant"}}));
        QCOMPARE(service
                     .queryValue("SELECT group_concat(printf('%x:%d', mac, rxLevel), ' ') FROM "
                                 "(SELECT mac, rxLevel FROM Wlan ORDER BY mac)")
                     .toString(),
                 QStringLiteral("1a2b3c4d02:0 fcdcba987601:-128"));
        QCOMPARE(service.quit(), 0);
    }
};

QTEST_GUILESS_MAIN(TstLinuxProviderE2e)
#include "tst_linux_provider_e2e.moc"
