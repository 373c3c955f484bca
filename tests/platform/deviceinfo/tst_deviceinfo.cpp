#include "DeviceInfo.h"
#include "TempRoot.h"

#include <QNetworkInterface>
#include <QTest>

class TestDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void unconfiguredIsEmpty()
    {
        TempRoot root;
        const DeviceInfo device;
        QCOMPARE(device.imsi(), QString());
        QCOMPARE(device.imei(), QString());
        QCOMPARE(device.wlanInterfaceName(), QString());
        QCOMPARE(device.wlanHardwareAddress(), QString());
        QCOMPARE(device.batteryLevel(), 100);
    }

    void filesAreReadAfreshAndEnvironmentWins()
    {
        TempRoot root;
        const DeviceInfo device;
        QVERIFY(root.setDeviceInfo("imsi", " 244051234567890\n"));
        QCOMPARE(device.imsi(), QString("244051234567890"));
        QVERIFY(root.setDeviceInfo("imsi", "111"));
        QCOMPARE(device.imsi(), QString("111"));
        qputenv("FPCD_IMSI", "222");
        QCOMPARE(device.imsi(), QString("222"));
        qunsetenv("FPCD_IMSI");
    }

    void hardwareAddress()
    {
        TempRoot root;
        const DeviceInfo device;
        QVERIFY(root.setDeviceInfo("wlan_interface", "no-such-if0"));
        QCOMPARE(device.wlanHardwareAddress(), QString());
        QVERIFY(root.setDeviceInfo("wlan_interface", "lo"));
        QCOMPARE(device.wlanHardwareAddress(), QNetworkInterface::interfaceFromName("lo").hardwareAddress());
        QVERIFY(root.setDeviceInfo("wlan_hwaddr", "02:00:00:aa:bb:cc"));
        QCOMPARE(device.wlanHardwareAddress(), QString("02:00:00:aa:bb:cc"));
    }

    void batteryLevel_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("value") << QByteArray("42\n") << 42;
        QTest::newRow("empty battery") << QByteArray("0") << 0;
        QTest::newRow("above range") << QByteArray("101") << 100;
        QTest::newRow("negative") << QByteArray("-1") << 100;
        QTest::newRow("not a number") << QByteArray("half") << 100;
    }
    void batteryLevel()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, expected);
        TempRoot root;
        QVERIFY(root.setDeviceInfo("battery_level", text));
        QCOMPARE(DeviceInfo().batteryLevel(), expected);
    }
};

QTEST_GUILESS_MAIN(TestDeviceInfo)
#include "tst_deviceinfo.moc"
