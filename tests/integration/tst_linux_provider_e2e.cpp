#include "FakeService.h"
#include "FpServerProcess.h"
#include "PositioningDaemonSim.h"
#include "ServiceFixture.h"
#include "TestBus.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

namespace {

// The elements of the one fingerprint the server decoded from the uploaded
// report, by kind; WLAN access points as "mac:received power", in MAC order.
struct Uploaded
{
    QJsonObject geran;
    QStringList wlan;
};

Uploaded uploadedFingerprint(const FpServerProcess &server)
{
    Uploaded uploaded;
    const QList<QJsonObject> lines = server.readLines(QStringLiteral("fingerprints.jsonl"));
    if (lines.size() != 1)
        return uploaded;
    for (const QJsonValue element : lines.first()[QLatin1String("elements")].toArray()) {
        if (element[QLatin1String("kind")] == QLatin1String("GERAN"))
            uploaded.geran = element.toObject();
        else if (element[QLatin1String("kind")] == QLatin1String("WLAN"))
            uploaded.wlan << element[QLatin1String("mac")].toString() + ':'
                                 + QString::number(element[QLatin1String("powerRx")].toInt());
    }
    uploaded.wlan.sort();
    return uploaded;
}

} // namespace

// The daemon with the Linux providers on fake system services: what they serve is stored and uploaded.
class TstLinuxProviderE2e : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }

    void fingerprintFromFakeServices()
    {
        const QJsonObject serving{{"cell-type", 2}, {"serving", true}, {"operator-id", "24405"}, {"lac", "1A2B"},
                                  {"ci", "4E21"},   {"rx-level", 40},  {"timing-advance", 3}};
        const QJsonObject neighbour{{"cell-type", 2},
                                    {"serving", false},
                                    {"arfcn", 62},
                                    {"base-station-id", "2B"},
                                    {"rx-level", 31}};
        FakeService mm(FakeService::templateFile(QStringLiteral("modemmanager_fake.py")),
                       QStringLiteral("org.freedesktop.ModemManager1"),
                       {{"cells", QJsonArray{serving, neighbour}}, {"imsi", "244051234567890"}});
        FakeService nm(QStringLiteral("networkmanager"), QStringLiteral("org.freedesktop.NetworkManager"));
        FakeService upower(QStringLiteral("upower"), QStringLiteral("org.freedesktop.UPower"));
        for (FakeService *fake : {&mm, &nm, &upower})
            QVERIFY2(fake->start(), qPrintable(fake->errorString()));
        upower.mock(QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("SetupDisplayDevice"),
                    {2u, 2u, 80.0, 40.0, 50.0, 1.0, 3600LL, 0LL, true, QStringLiteral("battery"), 0u});
        const QString nmPath = QStringLiteral("/org/freedesktop/NetworkManager");
        const QString wireless = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
        const QString device =
            nm.mock(nmPath, QStringLiteral("AddWiFiDevice"), {QStringLiteral("wlan0"), QStringLiteral("wlan0"), 100u})
                .arguments()
                .value(0)
                .toString();
        nm.mock(device, QStringLiteral("AddProperty"),
                {wireless, QStringLiteral("LastScan"), QVariant::fromValue(1LL)});
        nm.mock(device, QStringLiteral("AddMethod"),
                {wireless, QStringLiteral("RequestScan"), QStringLiteral("a{sv}"), QString(),
                 QStringLiteral("self.Set('%1', 'LastScan', dbus.Int64(self.Get('%1', 'LastScan') + 1))")
                     .arg(wireless)});
        const QList<QPair<QString, uchar>> aps{{"00:1a:2b:3c:4d:01", 100},
                                               {"00:1a:2b:3c:4d:02", 50},
                                               {"00:1a:2b:3c:4d:03", 0}};
        for (const auto &[mac, strength] : aps)
            nm.mock(nmPath, QStringLiteral("AddAccessPoint"),
                    {device, mac.right(2), QStringLiteral("net"), mac, 2u, 2412u, 54000u, QVariant::fromValue(strength),
                     0u});

        PositioningDaemonSim positioning(m_bus->connection());
        QString error;
        QVERIFY2(positioning.registerOnBus(&error), qPrintable(error));
        QSignalSpy requests(&positioning, &PositioningDaemonSim::requestReceived);
        ServiceFixture service(*m_bus);
        FpServerProcess server(service.root().path("/server"));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(service.root()
                    .writeFile("/etc/slpgw/slpgw.conf",
                               QStringLiteral("server_url=%1\npoll_interval_ms=50\n").arg(server.url()).toUtf8()));
        service.daemon().setEnv(QStringLiteral("FPCD_PROVIDER"), QStringLiteral("linux"));
        QVERIFY(service.start({}, {{"wlan_scan_interval", "0"}}));
        QVERIFY(service.waitForTrace("main() platform provider: \"linux\""));
        QTRY_COMPARE(requests.size(), 1);

        PositionFix fix;
        fix.setTime(QDateTime::currentDateTimeUtc());
        fix.lat = 61.4901;
        QCOMPARE(positioning.sendFix(fix), QString());
        QTRY_COMPARE_WITH_TIMEOUT(service.fingerprintCount(), 1, 15000);
        QCOMPARE(service.queryValue("SELECT dataMask FROM Fingerprint").toInt(), 1 | 2 | 4 | 8);

        // The modem fake reports a home registration, so the gateway finds a network for the forced upload.
        QCOMPARE(service.call("forcedUpload").arguments().value(0).toString(),
                 QStringLiteral("Upload to server started"));
        QTRY_COMPARE_WITH_TIMEOUT(server.uploadCount(), 1, 15000);
        const Uploaded uploaded = uploadedFingerprint(server);
        const QJsonObject nb = uploaded.geran[QLatin1String("neighbours")][0].toObject();
        const QList<int> fields{uploaded.geran[QLatin1String("mcc")].toInt(),
                                uploaded.geran[QLatin1String("mnc")].toInt(),
                                uploaded.geran[QLatin1String("lac")].toInt(),
                                uploaded.geran[QLatin1String("cellId")].toInt(),
                                uploaded.geran[QLatin1String("rxLevel")].toInt(),
                                uploaded.geran[QLatin1String("timingAdvance")].toInt(),
                                nb[QLatin1String("bsic")].toInt(),
                                nb[QLatin1String("bcch")].toInt(),
                                nb[QLatin1String("rxLevel")].toInt()};
        QCOMPARE(fields, (QList<int>{244, 5, 0x1A2B, 0x4E21, 40, 3, 0x2B, 62, 31}));
        QCOMPARE(uploaded.wlan,
                 QStringList({"00:1a:2b:3c:4d:01:-40", "00:1a:2b:3c:4d:02:-70", "00:1a:2b:3c:4d:03:-100"}));
        QCOMPARE(service.quit(), 0);
    }

    // wpa_supplicant chosen by the configuration: its dBm figures are stored as served.
    void wlanFromSupplicant()
    {
        const QJsonObject serving{{"cell-type", 2}, {"serving", true}, {"operator-id", "24405"},
                                  {"lac", "1A2B"},  {"ci", "4E21"},    {"rx-level", 40}};
        FakeService mm(FakeService::templateFile(QStringLiteral("modemmanager_fake.py")),
                       QStringLiteral("org.freedesktop.ModemManager1"), {{"cells", QJsonArray{serving}}});
        const QJsonArray bsss{QJsonObject{{"bssid", QJsonArray{0xfc, 0xdc, 0xba, 0x98, 0x76, 0x01}}, {"signal", -128}},
                              QJsonObject{{"bssid", QJsonArray{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x02}}, {"signal", 0}}};
        FakeService supplicant(FakeService::templateFile(QStringLiteral("supplicant_fake.py")),
                               QStringLiteral("fi.w1.wpa_supplicant1"), {{"bsss", bsss}});
        for (FakeService *fake : {&mm, &supplicant})
            QVERIFY2(fake->start(), qPrintable(fake->errorString()));

        PositioningDaemonSim positioning(m_bus->connection());
        QString error;
        QVERIFY2(positioning.registerOnBus(&error), qPrintable(error));
        QSignalSpy requests(&positioning, &PositioningDaemonSim::requestReceived);
        ServiceFixture service(*m_bus);
        service.daemon().setEnv(QStringLiteral("FPCD_PROVIDER"), QStringLiteral("linux"));
        QVERIFY(service.start({}, {{"wlan_scan_interval", "0"}, {"wlan_source", "wpa_supplicant"}}));
        QTRY_COMPARE(requests.size(), 1);

        PositionFix fix;
        fix.setTime(QDateTime::currentDateTimeUtc());
        fix.lat = 61.4901;
        QCOMPARE(positioning.sendFix(fix), QString());
        QTRY_COMPARE_WITH_TIMEOUT(service.fingerprintCount(), 1, 15000);
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
