#include "DeviceStateSim.h"
#include "ServiceFixture.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <unistd.h>

// The daemon's D-Bus interface end to end: the real binary on a private bus.
class TstServiceInterface : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;
    std::unique_ptr<ServiceFixture> m_service;
    const QString m_interface = QString::fromLatin1(DaemonProcess::ServiceName);

    // dbus-send as user 65534 with {"call"|"signal", member, strings...}: reply text, error name or "sent".
    static QString asOtherUser(const QStringList &arguments)
    {
        const bool call = arguments.at(0) == "call";
        QStringList command{"--reuid=65534", "--regid=65534", "--clear-groups", "dbus-send", "--system"};
        command << (call ? QStringList{"--print-reply=literal", "--dest=com.vexlo.location.fpcd",
                                       "/com/vexlo/location/fpcd"}
                         : QStringList{"--type=signal", "/test/peer"});
        command << "com.vexlo.location.fpcd." + arguments.at(1);
        for (const QString &value : arguments.mid(2))
            command << "string:" + value;
        QProcess peer;
        peer.start("setpriv", command);
        if (!peer.waitForFinished(15000))
            return QStringLiteral("peer did not end");
        if (peer.exitCode() != 0) // "Error <name>: <message>"
            return QString::fromUtf8(peer.readAllStandardError()).section(' ', 1, 1).section(':', 0, 0);
        return call ? QString::fromUtf8(peer.readAllStandardOutput()).trimmed() : QStringLiteral("sent");
    }
    QVariant answer(const QString &method, const QVariantList &arguments = {})
    {
        return m_service->call(method, arguments).arguments().value(0);
    }

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }
    void init()
    {
        m_service = std::make_unique<ServiceFixture>(*m_bus);
        if (QTest::currentTestFunction() != QByteArray("databaseMissingOrCorrupt"))
            QVERIFY(
                m_service->start({"--sbox"}, {{"fp_buffer_max_size", "500000"}, {"fp_buffer_daily_limit", "70000"}}));
    }
    void cleanup()
    {
        m_service.reset();
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
    }

    // The privacy switches outlive the daemon; with upload off a forced upload is refused and signalled.
    void privacySwitchesKeptAcrossRestart()
    {
        QVERIFY(m_service->callNoReply("setConfigurationValue", {"collection_enabled", "0"}));
        QVERIFY(m_service->callNoReply("setConfigurationValue", {"upload_enabled", "0"}));
        QCOMPARE(m_service->configurations().value("upload_enabled"), QStringLiteral("0"));
        QCOMPARE(m_service->quit(), 0);
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
        QVERIFY(m_service->start({"--sbox"}));
        QCOMPARE(m_service->configurations().value("collection_enabled"), QStringLiteral("0"));
        QCOMPARE(m_service->configurations().value("upload_enabled"), QStringLiteral("0"));

        DaemonSignalRecorder outcomes(m_bus->connection(), "uploadFinished");
        QCOMPARE(answer("forcedUpload").toString(), QStringLiteral("Upload is switched off"));
        QTRY_COMPARE(outcomes.messages.size(), 1);
        QCOMPARE(outcomes.messages.at(0).arguments(),
                 (QVariantList{false, 0u, QStringLiteral("Upload is switched off")}));
        // Its counters: tst_fpcctl_daemon's controlCommands.

        const QDBusMessage introspect =
            QDBusMessage::createMethodCall(m_interface, DaemonProcess::ObjectPath,
                                           "org.freedesktop.DBus.Introspectable", "Introspect");
        const QString xml = m_bus->connection().call(introspect).arguments().value(0).toString();
        QCOMPARE(xml.count("org.freedesktop.DBus.Method.NoReply"), 5);
        QVERIFY(xml.contains("<signal name=\"fpStatus\">") && !xml.contains("onNewEntryCreated"));
    }

    void configurationAndStatistics()
    {
        QVERIFY(m_service->callNoReply("setConfigurationValue", {"min_wlan_count", "1"}));
        QVERIFY(m_service->broadcast(m_interface, "setConfigurationValue", {"max_wlan_speed", "7"}));
        QCOMPARE(answer("setConfigurations", {"<fpcconfig><item key=\"gps_max_speed\" value=\"99\"/></fpcconfig>"}),
                 QVariant(true));
        const QMap<QString, QString> current = m_service->configurations();
        QCOMPARE(current.value("min_wlan_count"), QStringLiteral("1"));
        QCOMPARE(current.value("max_wlan_speed"), QStringLiteral("7"));
        QCOMPARE(current.value("gps_max_speed"), QStringLiteral("99"));

        // Bad input: refused and logged, nothing changes, the daemon goes on to report its status.
        QCOMPARE(answer("setConfigurations", {"<fpcconfig><item"}), QVariant(false));
        QCOMPARE(answer("setConfigurations", {QString(2 * 1024 * 1024, QLatin1Char(' '))}), QVariant(false));
        QVERIFY(m_service->callNoReply("setConfigurationValue", {"", "5"}));
        QVERIFY(m_service->callNoReply("setConfigurationValue", {"huge", QString(100000, QLatin1Char('x'))}));
        QVERIFY(m_service->broadcast(m_interface, "setConfigurationValue", {"typed_wrong", 5}));
        QVERIFY(m_service->waitForTrace("Signal \"setConfigurationValue\" from"));
        QVERIFY(m_service->trace().contains("Empty key refused"));
        QVERIFY(m_service->trace().contains("Refused: key of 4 characters, value of 100000 characters"));
        QVERIFY(m_service->trace().contains("Refused: text of 2097152 characters"));
        QCOMPARE(m_service->configurations(), current);

        DaemonSignalRecorder status(m_bus->connection(), "fpStatus");
        DaemonSignalRecorder active(m_bus->connection(), "activeCollectionStatus");
        QCOMPARE(m_service->call("sendStatistics").type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(status.messages.size(), 1);
        QTRY_COMPARE(active.messages.size(), 1);
        QCOMPARE(active.messages.first().arguments().value(0), QVariant(false));
        const QVariantList args = status.messages.first().arguments();
        QCOMPARE(status.messages.first().signature(), QStringLiteral("asuuuuuuu"));
        QVERIFY(qdbus_cast<QStringList>(args.at(0)).isEmpty());
        QCOMPARE(args.at(1).toUInt(), 0u);                                            // never uploaded
        QVERIFY(args.at(3).toUInt() > 0);                                             // database size
        QCOMPARE(args.at(2).toUInt(), (args.at(3).toUInt() * 100 + 250000) / 500000); // fill percentage
        QCOMPARE(args.at(4).toUInt(), 500000u);                                       // configured maximum
        QCOMPARE(args.at(5).toUInt(), 0u);                                            // growth today: nothing stored
        QCOMPARE(args.at(6).toUInt(), 70000u);                                        // daily limit
        QCOMPARE(args.at(7).toUInt(), 0u);                                            // fingerprints in the last upload
        QVERIFY(m_service->trace().contains("sendStatistics() message interface: \"com.vexlo.location.fpcd\""));
        QCOMPARE(answer("clearBuffer").toString(), QStringLiteral("All fingerprints deleted"));
        QCOMPARE(status.messages.size(), 1); // clearing sends no report

        QVERIFY(QFile::remove(m_service->databasePath()));
        const QDBusMessage reply = m_service->call("sendStatistics");
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QVERIFY(reply.errorMessage().contains("Can't open db for estimating it's size"));
        QVERIFY(m_service->broadcast(m_interface, "quit")); // the method: ServiceFixture::quit
        QVERIFY(m_service->daemon().waitForExit());
        QCOMPARE(m_service->daemon().exitCode(), 0);
    }

    // Only root and the control group change the daemon's state; status and configuration stay open.
    void controlRefusedToOtherUsers()
    {
        if (::getuid() != 0)
            QSKIP("needs root to act as another user");
        const QString denied = "org.freedesktop.DBus.Error.AccessDenied";
        QCOMPARE(asOtherUser({"call", "setConfigurations", "<fpcconfig><item key='x1' value='1'/></fpcconfig>"}),
                 denied);
        QCOMPARE(asOtherUser({"call", "clearBuffer"}), denied);
        QCOMPARE(asOtherUser({"call", "forcedUpload"}), denied);
        QVERIFY(asOtherUser({"call", "configurations"}).contains("<fpcconfig>"));
        QCOMPARE(asOtherUser({"signal", "setConfigurationValue", "x2", "1"}), QStringLiteral("sent"));
        QCOMPARE(asOtherUser({"signal", "quit"}), QStringLiteral("sent"));
        QCOMPARE(asOtherUser({"call", "quit"}), denied);
        QVERIFY(m_service->waitForTrace("refused: sender", 6));
        QVERIFY(m_service->daemon().isRunning());
        const auto values = m_service->configurations();
        QVERIFY(!values.contains("x1") && !values.contains("x2"));
        QVERIFY(m_service->broadcast(m_interface, "setConfigurationValue", {"x3", "1"})); // root's work
        QTRY_COMPARE(m_service->configurations().value("x3"), QStringLiteral("1"));
        QCOMPARE(m_service->quit(), 0);
    }

    // No database directory: the start fails. A corrupt file is set aside for a fresh one.
    void databaseMissingOrCorrupt()
    {
        m_service->start({"--sbox"}, {{"db_file", "/nonexistent/dir/fp.db"}});
        QVERIFY(m_service->daemon().waitForExit());
        QVERIFY(m_service->daemon().exitedNormally());
        QCOMPARE(m_service->daemon().exitCode(), 255);
        QVERIFY(
            m_service->trace().contains("Critical: main() Cannot start vomu-fpc -- ERROR:  \"Unable to open database"));

        QVERIFY(m_service->root().writeFile("/fp.db", QByteArray(8192, 'x')));
        QVERIFY(m_service->start({"--sbox", "--gps", "0", "--gps-count", "1"}));
        QTRY_COMPARE(m_service->fingerprintCount(), 1);
        QCOMPARE(QDir(m_service->root().root()).entryList({"fp.db.corrupt-*"}).size(), 1);
        DeviceStateSim deviceState(m_bus->connection());
        QCOMPARE(deviceState.sendShutdown(), QString()); // the quit methods: the other tests
        QVERIFY(m_service->daemon().waitForExit());
        QCOMPARE(m_service->daemon().exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TstServiceInterface)
#include "tst_service_interface.moc"
