#include "DeviceStateSim.h"
#include "ServiceFixture.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QFile>
#include <QTest>
#include <QXmlStreamReader>

#include <memory>

// The daemon's D-Bus interface end to end: the real binary on a private bus.
class TstServiceInterface : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;
    std::unique_ptr<ServiceFixture> m_service;

    // The daemon's configuration as reported by the D-Bus method.
    QMap<QString, QString> configurations()
    {
        QMap<QString, QString> values;
        QXmlStreamReader xml(m_service->call(QStringLiteral("configurations")).arguments().value(0).toString());
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("item"))
                values.insert(xml.attributes().value("key").toString(), xml.attributes().value("value").toString());
        }
        return values;
    }

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }
    void init() { m_service = std::make_unique<ServiceFixture>(*m_bus); }
    void cleanup()
    {
        m_service.reset();
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
    }

    void introspectionMarksNoReplyMethods()
    {
        QVERIFY(m_service->start({QStringLiteral("--sbox")}));
        QDBusMessage introspect = QDBusMessage::createMethodCall(
            DaemonProcess::ServiceName, DaemonProcess::ObjectPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
            QStringLiteral("Introspect"));
        const QString xml = m_bus->connection().call(introspect).arguments().value(0).toString();
        QCOMPARE(xml.count(QStringLiteral("org.freedesktop.DBus.Method.NoReply")), 5);
        QVERIFY(xml.contains(QStringLiteral("<signal name=\"fpStatus\">")));
        QVERIFY(!xml.contains(QStringLiteral("onNewEntryCreated")));
        QCOMPARE(m_service->quit(), 0);
    }

    void configurationOverD_Bus()
    {
        QVERIFY(m_service->start({QStringLiteral("--sbox")}));
        QVERIFY(m_service->callNoReply(QStringLiteral("setConfigurationValue"), {"min_wlan_count", "1"}));
        QVERIFY(m_service->broadcast(DaemonProcess::ServiceName, QStringLiteral("setConfigurationValue"),
                                     {"max_wlan_speed", "7"}));
        const QString xml = QStringLiteral("<fpcconfig><item key=\"gps_max_speed\" value=\"99\"/></fpcconfig>");
        QCOMPARE(m_service->call(QStringLiteral("setConfigurations"), {xml}).arguments().value(0), QVariant(true));
        QMap<QString, QString> current = configurations();
        QCOMPARE(current.value("min_wlan_count"), QStringLiteral("1"));
        QCOMPARE(current.value("max_wlan_speed"), QStringLiteral("7"));
        QCOMPARE(current.value("gps_max_speed"), QStringLiteral("99"));

        // Bad input: refused, logged, nothing changes, the daemon goes on.
        QCOMPARE(m_service->call(QStringLiteral("setConfigurations"), {"<fpcconfig><item"}).arguments().value(0),
                 QVariant(false));
        QCOMPARE(m_service->call(QStringLiteral("setConfigurations"), {"<other/>"}).arguments().value(0),
                 QVariant(false));
        QVERIFY(m_service->callNoReply(QStringLiteral("setConfigurationValue"), {"", "5"}));
        QVERIFY(m_service->callNoReply(QStringLiteral("setConfigurationValue"),
                                       {"huge_value", QString(100000, QLatin1Char('x'))}));
        QVERIFY(m_service->broadcast(DaemonProcess::ServiceName, QStringLiteral("setConfigurationValue"),
                                     {"typed_wrong", 5}));
        QVERIFY(m_service->waitForTrace("Empty key refused"));
        QVERIFY(m_service->waitForTrace("Refused: key of 10 characters, value of 100000 characters"));
        QVERIFY(m_service->waitForTrace("Signal \"setConfigurationValue\" from"));
        QCOMPARE(m_service->traceCount("Configuration text refused"), 2);
        const QMap<QString, QString> after = configurations();
        QCOMPARE(after.size(), current.size());
        QVERIFY(!after.contains("huge_value") && !after.contains("typed_wrong") && !after.contains(""));
        QCOMPARE(m_service->quit(), 0);
    }

    void statisticsOfEmptyBuffer()
    {
        QVERIFY(m_service->start({QStringLiteral("--sbox")}, {{"fp_buffer_max_size", "500000"}}));
        DaemonSignalRecorder status(m_bus->connection(), QStringLiteral("fpStatus"));
        DaemonSignalRecorder active(m_bus->connection(), QStringLiteral("activeCollectionStatus"));
        QCOMPARE(m_service->call(QStringLiteral("sendStatistics")).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(status.messages.size(), 1);
        QTRY_COMPARE(active.messages.size(), 1);
        const QVariantList args = status.messages.first().arguments();
        QCOMPARE(status.messages.first().signature(), QStringLiteral("asuuuuuuu"));
        QVERIFY(qdbus_cast<QStringList>(args.at(0)).isEmpty());
        QCOMPARE(args.at(1).toUInt(), 0u);                                   // never uploaded
        QVERIFY(args.at(3).toUInt() > 0);                                    // database size
        QCOMPARE(args.at(4).toUInt(), 500000u);                              // configured maximum
        QCOMPARE(active.messages.first().arguments().value(0), QVariant(false));
        QVERIFY(m_service->trace().contains("FpcEventHandler::sendStatistics() message interface: \"com.vexlo.location.fpcd\""));
        QCOMPARE(m_service->call(QStringLiteral("clearBuffer")).arguments().value(0).toString(),
                 QStringLiteral("All fingerprints deleted"));
        QCOMPARE(status.messages.size(), 1); // clearing sends no report
        QCOMPARE(m_service->quit(), 0);
    }

    void statusErrorWhenDatabaseSizeUnreadable()
    {
        QVERIFY(m_service->start({QStringLiteral("--sbox")}));
        QVERIFY(QFile::remove(m_service->databasePath()));
        const QDBusMessage reply = m_service->call(QStringLiteral("sendStatistics"));
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QVERIFY(reply.errorMessage().contains(QStringLiteral("Can't open db for estimating it's size")));
        QVERIFY(m_service->daemon().isRunning());
        QCOMPARE(m_service->quit(), 0);
    }

    void quitPaths_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("method") << "method";
        QTest::newRow("broadcast quit") << "signal";
        QTest::newRow("shutdown_ind") << "shutdown";
    }
    void quitPaths()
    {
        QFETCH(QString, how);
        QVERIFY(m_service->start({QStringLiteral("--sbox")}));
        if (how == QLatin1String("method")) {
            QVERIFY(m_service->callNoReply(QStringLiteral("quit")));
        } else if (how == QLatin1String("signal")) {
            QVERIFY(m_service->broadcast(DaemonProcess::ServiceName, QStringLiteral("quit")));
        } else {
            DeviceStateSim deviceState(m_bus->connection());
            QCOMPARE(deviceState.sendShutdown(), QString());
        }
        QVERIFY(m_service->daemon().waitForExit());
        QCOMPARE(m_service->daemon().exitCode(), 0);
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
        QVERIFY(m_service->trace().contains("main() unregister service from DBus"));
    }

    void unopenableDatabaseEndsStartWith255()
    {
        m_service->start({QStringLiteral("--sbox")}, {{"db_file", "/nonexistent/dir/fp.db"}});
        QVERIFY(m_service->daemon().waitForExit());
        QVERIFY(m_service->daemon().exitedNormally());
        QCOMPARE(m_service->daemon().exitCode(), 255);
        const QByteArray trace = m_service->trace();
        QVERIFY(trace.contains("Critical: main() Cannot start vomu-fpc -- ERROR:  \"Unable to open database in"));
        QVERIFY(trace.contains("main() unregister service from DBus"));
    }
};

QTEST_GUILESS_MAIN(TstServiceInterface)
#include "tst_service_interface.moc"
