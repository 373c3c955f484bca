#include "FpcConfig.h"
#include "TempRoot.h"

#include <QDomDocument>
#include <QTest>

// The table is process-wide and never cleared: every case uses keys of its own.
class TestFpcConfig : public QObject
{
    Q_OBJECT

private slots:
    void emptyTableIsTheRootAlone()
    {
        QCOMPARE(FpcConfig::toXml(), QStringLiteral("<fpcconfig/>\n"));
    }

    void parse_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("expected"); // key=value pairs present afterwards
        QTest::addColumn<QStringList>("absent");

        QTest::newRow("both forms")
            << "<fpcconfig><item key='a1' value='3'/><item><key>a2</key><value>INFO</value></item></fpcconfig>"
            << true << QStringList{"a1=3", "a2=INFO"} << QStringList{};
        QTest::newRow("empty attribute falls back to element")
            << "<fpcconfig><item key='b1' value=''><value>7</value></item></fpcconfig>"
            << true << QStringList{"b1=7"} << QStringList{};
        QTest::newRow("empty value only through element")
            << "<fpcconfig><item key='c1'><value/></item></fpcconfig>" << true << QStringList{"c1="} << QStringList{};
        QTest::newRow("missing value stops the parse")
            << "<fpcconfig><item key='d1' value='1'/><item key='d2' value=''/><item key='d3' value='3'/></fpcconfig>"
            << false << QStringList{"d1=1"} << QStringList{"d2", "d3"};
        QTest::newRow("missing key stops the parse")
            << "<fpcconfig><item key='e1' value='1'/><item value='2'/><item key='e3' value='3'/></fpcconfig>"
            << false << QStringList{"e1=1"} << QStringList{"e3"};
        QTest::newRow("later wins")
            << "<fpcconfig><item key='f1' value='old'/><item key='f1' value='new'/></fpcconfig>"
            << true << QStringList{"f1=new"} << QStringList{};
        QTest::newRow("other children ignored")
            << "<fpcconfig><comment>x</comment><entry key='g0' value='0'/><item key='g1' value='1'/></fpcconfig>"
            << true << QStringList{"g1=1"} << QStringList{"g0"};
        QTest::newRow("wrong root")
            << "<config><item key='h1' value='1'/></config>" << false << QStringList{} << QStringList{"h1"};
        QTest::newRow("not xml") << "<fpcconfig><item key='i1' value='1'>" << false << QStringList{} << QStringList{"i1"};
    }
    void parse()
    {
        QFETCH(QString, xml);
        QFETCH(bool, result);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, absent);

        QCOMPARE(FpcConfig::internalizeFromString(xml), result);
        for (const QString &pair : expected) {
            const QString key = pair.section('=', 0, 0);
            QCOMPARE(FpcConfig::getValue(key), pair.section('=', 1));
        }
        for (const QString &key : absent)
            QCOMPARE(FpcConfig::getIntValue(key, -99), -99);
    }

    void internalizeConfReadsFilesAndReportsFailures()
    {
        TempRoot root;
        const QString file = root.path("/cfg.xml");
        QVERIFY(!FpcConfig::internalizeConf(file));
        QVERIFY(root.writeFile("/cfg.xml", "<fpcconfig><item key='j1' value='5'/>"));
        QVERIFY(!FpcConfig::internalizeConf(file));
        QVERIFY(root.writeFile("/cfg.xml", "<?xml version='1.0' encoding='ISO-8859-1'?>\n"
                                           "<fpcconfig><item key='j1' value='\xe4'/></fpcconfig>"));
        QVERIFY(FpcConfig::internalizeConf(file));
        QCOMPARE(FpcConfig::getValue("j1"), QString(QChar(0xe4)));
    }

    void packagedFileHoldsTheDefaults()
    {
        QVERIFY(FpcConfig::internalizeConf(FPCD_SOURCE_DIR "/packaging/vomu-fpc.cfg"));
        QCOMPARE(FpcConfig::getIntValue("timer_trigger_base_value", -1), 180);
        QCOMPARE(FpcConfig::getUIntValue("fp_upload_retry_timeout", 0), 3600u);
        QCOMPARE(FpcConfig::getFloatValue("gprs_upload_fill_ratio", -1.0f), 1.0f);
    }

    void typedGetters_data()
    {
        QTest::addColumn<QString>("stored"); // null: key absent
        QTest::addColumn<QString>("getter");
        QTest::addColumn<double>("expected");

        QTest::newRow("int") << "-42" << "int" << -42.0;
        QTest::newRow("int letters after digits") << "12abc" << "int" << 7.0;
        QTest::newRow("int overflow") << "2147483648" << "int" << 7.0;
        QTest::newRow("int empty") << "" << "int" << 7.0;
        QTest::newRow("int absent") << QString() << "int" << 7.0;
        QTest::newRow("uint max") << "4294967295" << "uint" << 4294967295.0;
        QTest::newRow("uint negative") << "-1" << "uint" << 7.0;
        QTest::newRow("uint hex is not decimal") << "0x10" << "uint" << 7.0;
        QTest::newRow("float") << "0.25" << "float" << 0.25;
        QTest::newRow("float garbage") << "1.0x" << "float" << 7.0;
        QTest::newRow("float nan") << "nan" << "float" << 7.0;
        QTest::newRow("float inf") << "inf" << "float" << 7.0;
    }
    void typedGetters()
    {
        QFETCH(QString, stored);
        QFETCH(QString, getter);
        QFETCH(double, expected);
        const QString key = QStringLiteral("typed/") + QTest::currentDataTag();
        if (!stored.isNull())
            FpcConfig::addKey(key, stored);
        double value = 0;
        if (getter == "int")
            value = FpcConfig::getIntValue(key, 7);
        else if (getter == "uint")
            value = FpcConfig::getUIntValue(key, 7);
        else
            value = FpcConfig::getFloatValue(key, 7.0f);
        QCOMPARE(value, expected);
    }

    void toXmlRoundTrip()
    {
        FpcConfig::addKey("k/quote", "a\"b'c <&> d");
        FpcConfig::addKey("k/empty", "");
        const QString xml = FpcConfig::toXml();
        QVERIFY(xml.startsWith("<fpcconfig>\n <item "));

        QDomDocument document;
        QVERIFY(document.setContent(xml));
        int items = 0;
        for (QDomElement item = document.documentElement().firstChildElement("item"); !item.isNull();
             item = item.nextSiblingElement("item"), ++items) {
            QCOMPARE(item.attribute("value"), FpcConfig::getValue(item.attribute("key")));
        }
        QVERIFY(items >= 2);

        FpcConfig::addKey("k/quote", "changed");
        FpcConfig::addKey("k/empty", "not empty");
        QVERIFY(FpcConfig::internalizeFromString(xml));
        QCOMPARE(FpcConfig::getValue("k/quote"), QString("a\"b'c <&> d"));
        QCOMPARE(FpcConfig::getValue("k/empty"), QString(""));
    }

    void deviceIdentity_data()
    {
        QTest::addColumn<QByteArray>("imsi");
        QTest::addColumn<QByteArray>("imei");
        QTest::addColumn<QByteArray>("hwaddr");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("hwId");

        QTest::newRow("15 digits") << QByteArray("244051234567890") << QByteArray("351234567890123") << QByteArray()
                                   << "IMSI: 244051000000000" << "IMEI: 351234560000000";
        QTest::newRow("short ids") << QByteArray("2440") << QByteArray("3512") << QByteArray()
                                   << "IMSI: 2440" << "IMEI: 3512";
        QTest::newRow("no imei uses mac") << QByteArray() << QByteArray() << QByteArray("02:00:00:aa:bb:cc")
                                          << "IMSI: " << "MAC: 02:00:00:aa:bb:cc";
        QTest::newRow("nothing known") << QByteArray() << QByteArray() << QByteArray() << "IMSI: " << "MAC: ";
    }
    void deviceIdentity()
    {
        QFETCH(QByteArray, imsi);
        QFETCH(QByteArray, imei);
        QFETCH(QByteArray, hwaddr);
        QFETCH(QString, userId);
        QFETCH(QString, hwId);
        TempRoot root;
        QVERIFY(root.setDeviceInfo("imsi", imsi));
        QVERIFY(root.setDeviceInfo("imei", imei));
        QVERIFY(root.setDeviceInfo("wlan_hwaddr", hwaddr));
        FpcConfig::addKey("fpr/dump_reports", "1");
        FpcConfig::addKey("fpr/user_name", "from file");

        const FpcConfig config;
        QCOMPARE(FpcConfig::getValue("fpr/user_id"), userId);
        QCOMPARE(FpcConfig::getValue("fpr/hw_id"), hwId);
        QCOMPARE(FpcConfig::getValue("fpr/dump_reports"), QString("0"));
        QCOMPARE(FpcConfig::getValue("fpr/user_name"), QString());
        QCOMPARE(FpcConfig::getValue("fpr/model_id"), QString());
    }
};

QTEST_GUILESS_MAIN(TestFpcConfig)
#include "tst_fpcconfig.moc"
