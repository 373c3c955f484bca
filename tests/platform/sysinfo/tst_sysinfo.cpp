#include "SysInfo.h"
#include "TempRoot.h"

#include <QTest>

#include <cstdlib>

class TestSysInfo : public QObject
{
    Q_OBJECT

private slots:
    void values_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("present") << QByteArray("/device/rd-mode") << true << QByteArray("enabled\n");
        QTest::newRow("empty value") << QByteArray("/device/empty") << true << QByteArray("");
        QTest::newRow("absent") << QByteArray("/device/none") << false << QByteArray();
        QTest::newRow("relative key") << QByteArray("device/rd-mode") << false << QByteArray();
        QTest::newRow("escaping key") << QByteArray("/device/../../../outside") << false << QByteArray();
        QTest::newRow("directory") << QByteArray("/device") << false << QByteArray();
        QTest::newRow("too large") << QByteArray("/device/huge") << false << QByteArray();
    }
    void values()
    {
        QFETCH(QByteArray, key);
        QFETCH(bool, found);
        QFETCH(QByteArray, expected);
        TempRoot root;
        QVERIFY(root.setSysInfoValue("/device/rd-mode", "enabled\n"));
        QVERIFY(root.setSysInfoValue("/device/empty", ""));
        QVERIFY(root.setSysInfoValue("/device/huge", QByteArray(65 * 1024, 'x')));
        QVERIFY(root.writeFile("/outside", "secret"));

        sysinfo_context *context = nullptr;
        QCOMPARE(sysinfo_init(&context), 0);
        unsigned char *value = nullptr;
        size_t length = 99;
        const int rc = sysinfo_get_value(context, key.constData(), &value, &length);
        QCOMPARE(rc == 0, found);
        if (found) {
            QCOMPARE(QByteArray(reinterpret_cast<char *>(value), int(length)), expected);
            QCOMPARE(value[length], '\0');
        } else {
            QVERIFY(!value);
        }
        std::free(value);
        sysinfo_finish(context);
    }

    void rejectsMissingArguments()
    {
        QVERIFY(sysinfo_init(nullptr) != 0);
        unsigned char *value = nullptr;
        size_t length = 0;
        QVERIFY(sysinfo_get_value(nullptr, "/device/rd-mode", &value, &length) != 0);
    }
};

QTEST_GUILESS_MAIN(TestSysInfo)
#include "tst_sysinfo.moc"
