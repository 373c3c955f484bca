// The Linux providers against dbusmock's UPower/NetworkManager and our own ModemManager/wpa_supplicant fakes.

#include "DeviceInfo.h"
#include "FakeService.h"
#include "LinuxNetworkState.h"
#include "LinuxProviders.h"
#include "ModemCellFallback.h"
#include "ModemPassiveFixes.h"
#include "NmWlanScanner.h"
#include "PlatformEvents.h"
#include "RadioMeasurements.h"
#include "SupplicantWlanScanner.h"
#include "TestBus.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const QString NmService = QStringLiteral("org.freedesktop.NetworkManager");
const QString NmPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString WirelessInterface = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString MmService = QStringLiteral("org.freedesktop.ModemManager1");
const QString SupplicantService = QStringLiteral("fi.w1.wpa_supplicant1");

uint uintProperty(const FakeService &fake, const QString &path, const QString &interface, const QString &name)
{
    const QDBusMessage reply =
        fake.call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
}

using ScanResult = QList<VomuMeasurements>;

void onScan(void *context, VomuMeasurements result)
{
    static_cast<ScanResult *>(context)->append(result);
}

QMap<QString, int> powersByMac(const VomuMeasurements &measurements)
{
    QMap<QString, int> result;
    for (int i = 0; i < measurements.count(); ++i) {
        const auto *ap = dynamic_cast<const VomuElementWLAN *>(measurements.element(i));
        QByteArray mac;
        for (int b = ap && ap->mac().is48Bit() ? 2 : 0; ap && b < VomuWlanMacAddress::kSize; ++b)
            mac += char(ap->mac().macByte(b));
        if (ap && ap->powerRxSet())
            result.insert(QString::fromLatin1(mac.toHex(':')), ap->powerRx());
    }
    return result;
}

QJsonObject bss(const QJsonArray &bssid, int signal)
{
    return {{"bssid", bssid}, {"signal", signal}};
}

QJsonObject gsmCell(bool serving, const char *ci, int arfcn, const char *bsic, int rxLevel)
{
    return {{"cell-type", 2}, {"serving", serving}, {"operator-id", "24405"},  {"lac", "1A2B"},
            {"ci", ci},       {"arfcn", arfcn},     {"base-station-id", bsic}, {"rx-level", rxLevel}};
}

} // namespace

class TestLinuxProviders : public QObject
{
    Q_OBJECT

private:
    TestBus m_bus;

    static std::unique_ptr<FakeService> startFake(const QString &template_, const QString &name,
                                                  const QJsonObject &parameters = {})
    {
        auto fake = std::make_unique<FakeService>(template_, name, parameters);
        if (!fake->start())
            qWarning() << fake->errorString();
        return fake;
    }
    static auto startModem(const QJsonObject &parameters)
    {
        return startFake(FakeService::templateFile("modemmanager_fake.py"), MmService, parameters);
    }
    static auto startSupplicant(const QJsonObject &parameters)
    {
        return startFake(FakeService::templateFile("supplicant_fake.py"), SupplicantService, parameters);
    }

    // A WLAN device whose scans finish at once: LastScan moves on.
    QString addWlanDevice(FakeService &nm)
    {
        const QDBusMessage added =
            nm.mock(NmPath, QStringLiteral("AddWiFiDevice"), {QStringLiteral("wlan0"), QStringLiteral("wlan0"), 100u});
        const QString device = added.arguments().value(0).toString();
        nm.mock(device, QStringLiteral("AddProperty"),
                {WirelessInterface, QStringLiteral("LastScan"), QVariant::fromValue(qlonglong(1000))});
        nm.mock(device, QStringLiteral("AddMethod"),
                {WirelessInterface, QStringLiteral("RequestScan"), QStringLiteral("a{sv}"), QString(),
                 QStringLiteral("self.Set('%1', 'LastScan', dbus.Int64(self.Get('%1', 'LastScan') + 1000))")
                     .arg(WirelessInterface)});
        return device;
    }

    static void setBusProperty(FakeService &fake, const QString &path, const QString &interface, const QString &name,
                               const QVariant &value)
    {
        fake.call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                  {interface, name, QVariant::fromValue(QDBusVariant(value))});
    }

    static void addAccessPoint(FakeService &nm, const QString &device, const QString &name, const QString &ssid,
                               const QString &mac, uchar strength)
    {
        nm.mock(NmPath, QStringLiteral("AddAccessPoint"),
                {device, name, ssid, mac, 2u, 2412u, 54000u, QVariant::fromValue(strength), 0u});
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString()));
        LinuxProviders::install();
    }

    void batteryFromUPower()
    {
        auto upower = startFake(QStringLiteral("upower"), QStringLiteral("org.freedesktop.UPower"));
        upower->mock(QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("SetupDisplayDevice"),
                     {2u, 2u, 24.0, 10.0, 40.0, 1.0, 3600LL, 0LL, true, QStringLiteral("battery-low"), 0u});
        QCOMPARE(DeviceInfo().batteryLevel(), 24);
        // A display device that is no battery: mains power.
        upower->mock(QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("SetupDisplayDevice"),
                     {1u, 1u, 0.0, 0.0, 0.0, 0.0, 0LL, 0LL, false, QString(), 0u});
        QCOMPARE(DeviceInfo().batteryLevel(), DeviceInfo::UnknownBatteryLevel);
        upower.reset(); // no UPower at all
        QCOMPARE(DeviceInfo().batteryLevel(), DeviceInfo::UnknownBatteryLevel);
    }

    void wlanScanThroughNetworkManager()
    {
        auto nm = startFake(QStringLiteral("networkmanager"), NmService);
        ScanResult scan;
        QCOMPARE(RadioMeasurements::wlanWemScan(&onScan, &scan), -1); // no WLAN device
        const QString device = addWlanDevice(*nm);
        addAccessPoint(*nm, device, "strongest", "home", "00:1A:2B:3C:4D:01", 100);
        addAccessPoint(*nm, device, "middle", "shop", "00:1a:2b:3c:4d:02", 50);
        addAccessPoint(*nm, device, "hidden", "", "00:1a:2b:3c:4d:05", 50);
        addAccessPoint(*nm, device, "optedout", "cafe_nomap", "00:1a:2b:3c:4d:06", 50);
        addAccessPoint(*nm, device, "randomised", "phone", "02:1a:2b:3c:4d:07", 50);
        addAccessPoint(*nm, device, "weakest", "far", "00:1a:2b:3c:4d:03", 0);
        addAccessPoint(*nm, device, "beyond", "odd", "00:1a:2b:3c:4d:04", 101);
        addAccessPoint(*nm, device, "badmac", "odd", "00:1a:2b:3c:4d", 60);

        QCOMPARE(RadioMeasurements::wlanWemScan(&onScan, &scan), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!scan.isEmpty(), 5000);
        // Hidden, opted-out, randomised, beyond 100 % and short-address access points are never measured.
        const QMap<QString, int> expected{{"00:1a:2b:3c:4d:01", -40},
                                          {"00:1a:2b:3c:4d:02", -70},
                                          {"00:1a:2b:3c:4d:03", -100}};
        QCOMPARE(powersByMac(scan.last()), expected);
        QCOMPARE(scan.last().count(), 3);
        QCOMPARE(DeviceInfo().wlanInterfaceName(), QStringLiteral("wlan0"));

        // A scan nobody here asked for is signalled, its access points readable.
        NmWlanScanner scanner;
        ScanResult own;
        QVERIFY(scanner.startScan(&onScan, &own));
        QTRY_VERIFY_WITH_TIMEOUT(!own.isEmpty(), 5000);
        QSignalSpy foreign(&scanner, &NmWlanScanner::foreignScan);
        setBusProperty(*nm, device, WirelessInterface, QStringLiteral("LastScan"), 99000LL); // another program's scan
        QVERIFY(foreign.wait(5000));
        QCOMPARE(powersByMac(scanner.accessPoints()), expected);

        // A scan that never finishes (RequestScan now does nothing) is answered once, by the next result.
        nm->mock(device, QStringLiteral("AddMethod"),
                 {WirelessInterface, QStringLiteral("RequestScan"), QStringLiteral("a{sv}"), QString(), QString()});
        ScanResult unfinished;
        QVERIFY(scanner.startScan(&onScan, &unfinished));
        QVERIFY(scanner.startScan(&onScan, &unfinished));
        setBusProperty(*nm, device, WirelessInterface, QStringLiteral("LastScan"), 200000LL);
        QTRY_VERIFY_WITH_TIMEOUT(!unfinished.isEmpty(), 5000);
        QCOMPARE(unfinished.size(), 1);
        QCOMPARE(foreign.size(), 1);
    }

    void wlanScanThroughSupplicant()
    {
        const QJsonArray bsss{bss({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x01}, 0),
                              bss({0xfc, 0xdc, 0xba, 0x98, 0x76, 0x02}, -128),
                              bss({0xfe, 0xdc, 0xba, 0x98, 0x76, 0x07}, -60),
                              bss({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x03}, -129),
                              bss({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x04}, 1),
                              bss({0x00, 0x1a, 0x2b, 0x3c, 0x4d}, -50),
                              bss({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x05, 0x06}, -50)};
        auto supplicant = startSupplicant({{"bsss", bsss}});
        SupplicantWlanScanner scanner;
        ScanResult scan;
        QVERIFY(scanner.startScan(&onScan, &scan));
        QVERIFY(scanner.startScan(&onScan, &scan));
        QTRY_VERIFY_WITH_TIMEOUT(!scan.isEmpty(), 5000);
        // dBm outside -128..0, BSSIDs not six bytes long and randomised ones are dropped; one answer.
        const QMap<QString, int> expected{{"00:1a:2b:3c:4d:01", 0}, {"fc:dc:ba:98:76:02", -128}};
        QCOMPARE(powersByMac(scan.last()), expected);
        QCOMPARE(scan.last().count(), 2);
        QCOMPARE(scan.size(), 1);
        // Without NetworkManager the interface name comes from wpa_supplicant.
        QCOMPARE(DeviceInfo().wlanInterfaceName(), QStringLiteral("wlan0"));

        supplicant.reset();
        supplicant = startSupplicant({{"interface", false}});
        QVERIFY(!SupplicantWlanScanner().startScan(&onScan, &scan));

        supplicant.reset();
        supplicant = startSupplicant({{"bsss", QJsonArray{bss({0, 0, 0, 0, 0, 1}, -60)}}, {"scan_success", false}});
        SupplicantWlanScanner follower;
        QVERIFY(follower.follow());
        QSignalSpy foreign(&follower, &WlanScanner::foreignScan);
        for (const bool success : {false, true})
            supplicant->mock(QStringLiteral("/fi/w1/wpa_supplicant1/Interfaces/0"), QStringLiteral("EmitSignal"),
                             {QStringLiteral("fi.w1.wpa_supplicant1.Interface"), QStringLiteral("ScanDone"),
                              QStringLiteral("b"), QVariantList{success}});
        QVERIFY(foreign.wait(5000));
        QCOMPARE(foreign.size(), 1);
        // An own scan that fails answers with nothing rather than with the access points of an earlier scan.
        ScanResult failed;
        QVERIFY(follower.startScan(&onScan, &failed));
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), 5000);
        QCOMPARE(failed.last().count(), 0);
        QCOMPARE(foreign.size(), 1);
    }

    void gsmCellsAndIdentity()
    {
        QJsonArray cells{gsmCell(true, "4E21", 60, "2A", 40), gsmCell(false, "4E22", 62, "2B", 31),
                         QJsonObject{{"cell-type", 4}, {"serving", false}, {"operator-id", "24405"}},
                         // rx-level beyond RXLEV's range: left unset, the rest kept.
                         gsmCell(false, "4E23", 64, "2C", 64)};
        auto mm = startModem({{"cells", cells}, {"imsi", "244051234567890"}, {"imei", "490154203237518"}});
        QCOMPARE(DeviceInfo().imsi(), QStringLiteral("244051234567890"));
        QCOMPARE(DeviceInfo().imei(), QStringLiteral("490154203237518"));
        QVERIFY(RadioMeasurements::mobileMeasurementsValid(0));
        VomuMeasurements measurements;
        QVERIFY(RadioMeasurements::getMobileMeasurements(measurements));
        QCOMPARE(measurements.count(), 1);
        const auto *cell = dynamic_cast<const VomuElementGSM *>(measurements.element(0));
        QVERIFY(cell && cell->cellId() == 0x4E21);
        QCOMPARE(cell->neighbourCellCount(), 2);
        QCOMPARE(cell->neighbourCell(1).powerRx(), 255);
    }

    void umtsCell()
    {
        const QJsonObject serving{{"cell-type", 3}, {"serving", true}, {"operator-id", "244123"},
                                  {"lac", "FF"},    {"ci", "186A0"},   {"frequency-fdd-dl", 10700},
                                  {"psc", 100},     {"rscp", -90.0},   {"ecio", -7.5}};
        const QJsonObject wrong{{"cell-type", 3}, {"psc", 101}, {"rscp", "-80"}, {"_untyped", true}};
        auto mm = startModem({{"cells", QJsonArray{serving, wrong}}});
        VomuMeasurements measurements;
        QVERIFY(RadioMeasurements::getMobileMeasurements(measurements));
        const auto *cell = dynamic_cast<const VomuElementWCDMA *>(measurements.element(0));
        QVERIFY(cell);
        QCOMPARE(cell->networkId(), 123);
        QCOMPARE(cell->ucId(), 100000u);
        QCOMPARE(cell->neighbourCellCount(), 2);
        const VomuElementWCDMA::NeighbourCell own = cell->neighbourCell(0);
        QCOMPARE(own.ucId, 100000u);
        QCOMPARE(own.pCpich, 100);
        QCOMPARE(own.uarfcnDl, 10700);
        QCOMPARE(own.rscp, VomuElementWCDMA::rscpLevelFromDbm(-90.0));
        QCOMPARE(own.ecn0, VomuElementWCDMA::ecn0LevelFromDb(-7.5));
        // An RSCP of the wrong type is skipped, not guessed.
        QCOMPARE(cell->neighbourCell(1).rscp, 255);
    }

    void servingCellWithoutCellInfoAndPassiveFix()
    {
        auto mm = startModem({{"cell_info", false},
                              {"technologies", 2},
                              {"location", "244,05,1A2B,4E21,0"},
                              {"gsm_signal", QJsonObject{{"rssi", -70.0}}}});
        VomuMeasurements measurements;
        QVERIFY(RadioMeasurements::getMobileMeasurements(measurements));
        const auto *cell = dynamic_cast<const VomuElementGSM *>(measurements.element(0));
        QVERIFY(cell);
        QCOMPARE(cell->cellId(), 0x4E21);
        QCOMPARE(cell->locationAreaCode(), 0x1A2B);
        QCOMPARE(cell->powerRx(), VomuElementGSM::rxLevelFromDbm(-70.0));
        const QString modem = QStringLiteral("/org/freedesktop/ModemManager1/Modem/0");
        const QString location = QStringLiteral("org.freedesktop.ModemManager1.Modem.Location");
        const QString signal = QStringLiteral("org.freedesktop.ModemManager1.Modem.Signal");
        QCOMPARE(uintProperty(*mm, modem, location, QStringLiteral("Enabled")), 1u);
        QVERIFY(uintProperty(*mm, modem, signal, QStringLiteral("Rate")) > 0);
        // What was switched on for the measurement is switched off again.
        ModemCellFallback::restore();
        QCOMPARE(uintProperty(*mm, modem, location, QStringLiteral("Enabled")), 0u);
        QCOMPARE(uintProperty(*mm, modem, signal, QStringLiteral("Rate")), 0u);

        // A fix of the modem's GPS that another program runs.
        ModemPassiveFixes fixes;
        QVERIFY(fixes.follow());
        QSignalSpy received(PlatformEvents::instance(), &PlatformEvents::passiveFix);
        const QString now = QDateTime::currentDateTimeUtc().addSecs(-5).toString(QStringLiteral("HHmmss.zzz"));
        mm->call(modem, location, QStringLiteral("SetGpsFix"), {QStringLiteral("990000"), 61.49, 21.79, 10.0});
        mm->call(modem, location, QStringLiteral("SetGpsFix"), {now, 61.49, 21.79, 12.5});
        QVERIFY(received.wait(5000));
        QCOMPARE(received.size(), 1); // the fix without a usable time is skipped
        const QVariantList fields = received.constFirst().constFirst().toList();
        QCOMPARE(fields.size(), 14);
        QCOMPARE(fields.mid(0, 3), (QVariantList{61.49, 21.79, 12.5}));
        QVERIFY(std::isnan(fields.at(3).toDouble()));
        QCOMPARE(fields.at(7).toUInt(), 65535u);
        const QDate today = QDateTime::currentDateTimeUtc().addSecs(-5).date();
        QCOMPARE(QDate(fields.at(8).toInt(), fields.at(10).toInt(), fields.at(9).toInt()), today);
    }

    void uploadNetworkFromNetworkManagerAndModemManager()
    {
        LinuxNetworkState state;
        auto mm = startModem({{"registration", 1}});
        auto nm = startFake(QStringLiteral("networkmanager"), NmService);
        const QString device = addWlanDevice(*nm);
        // The WLAN device's object also serves as its active connection.
        nm->mock(device, QStringLiteral("AddProperty"),
                 {QStringLiteral("org.freedesktop.NetworkManager.Connection.Active"), QStringLiteral("Type"),
                  QStringLiteral("802-11-wireless")});
        nm->mock(NmPath, QStringLiteral("AddProperty"),
                 {NmService, QStringLiteral("PrimaryConnection"), QVariant::fromValue(QDBusObjectPath(device))});
        nm->mock(NmPath, QStringLiteral("AddProperty"), {NmService, QStringLiteral("Metered"), 4u});
        QCOMPARE(state.currentNetwork(), SlpGwNetwork::FreeWlan);
        // A metered WLAN is no free network: the home registration counts.
        setBusProperty(*nm, NmPath, NmService, QStringLiteral("Metered"), 1u);
        QCOMPARE(state.currentNetwork(), SlpGwNetwork::HomeCellular);
        nm.reset();
        mm.reset();
        mm = startModem({{"registration", 5}});
        QCOMPARE(state.currentNetwork(), SlpGwNetwork::RoamingCellular);
        mm.reset();
        QCOMPARE(state.currentNetwork(), SlpGwNetwork::None);
    }

    // No modem, no SIM, a disabled modem, an LTE cell only.
    void noCellsWithoutUsableModem()
    {
        const QJsonObject lteOnly{{"cells", QJsonArray{QJsonObject{{"cell-type", 4}, {"serving", true}}}}};
        for (const QJsonObject &parameters :
             {QJsonObject{{"modem", false}}, QJsonObject{{"sim", false}}, QJsonObject{{"state", 3}}, lteOnly}) {
            auto mm = startModem(parameters);
            VomuMeasurements measurements;
            QVERIFY2(!RadioMeasurements::mobileMeasurementsValid(0)
                         || !RadioMeasurements::getMobileMeasurements(measurements),
                     QJsonDocument(parameters).toJson().constData());
            QCOMPARE(measurements.count(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestLinuxProviders)
#include "tst_linuxproviders.moc"
