#include "CtlRunner.h"
#include "FpcCounterText.h"
#include "FpServerProcess.h"
#include "KnownDatabase.h"
#include "ServiceFixture.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <unistd.h>

#include <memory>

// fpcctl against the real daemon on the known database, and every daemon command with the daemon missing.
class TstFpcCtlDaemon : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;
    std::unique_ptr<ServiceFixture> m_service;

    QString databasePath() const { return m_service->databasePath(); }
    TempRoot &root() { return m_service->root(); }
    DaemonProcess &daemon() { return m_service->daemon(); }

    // The daemon on the known database; a database given is below the root and named as such in "db_file".
    bool startDaemon(const ServiceFixture::Items &items = {}, const QString &database = QString())
    {
        QString error;
        if (!KnownDatabase::create(database.isEmpty() ? databasePath() : root().path(database), &error))
            return false;
        ServiceFixture::Items config = items;
        if (!database.isEmpty())
            config << qMakePair(QStringLiteral("db_file"), database);
        return m_service->start({}, config);
    }

    // Counted by fpcctl's own read-only reader, past the daemon.
    int storedCount()
    {
        return CtlRunner::run({"export", "--db", databasePath(), "--format", "csv"}).out.count('\n') - 1;
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

    void daemonMissing()
    {
        for (const char *command : {"status", "watch", "upload", "config show", "config set k v", "clear --yes",
                                    "active on", "log restart", "quit"})
            QVERIFY(CtlRunner::run(QString(command).split(' '), {}, {}, 15000).refused(3, "vomu-fpcd is not running"));
        const QStringList noBus{"DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bus"};
        QVERIFY(CtlRunner::run({"status", "--json"}, {}, noBus).refused(3, "cannot connect to the system bus"));
        // Without daemon and --db, export looks at the default path below the root.
        QVERIFY(CtlRunner::run({"export"}).refused(5, root().path("/home/user/.vomu-fpcd/private/fp.db").toUtf8()));
    }

    void statusAndWatchOfKnownBuffer()
    {
        QVERIFY(startDaemon({{"fp_buffer_max_size", "500000"}}));
        CtlResult result = CtlRunner::run({"status", "--json"});
        QVERIFY2(result.exitCode == 0, result.describe());
        const QJsonObject status = result.json().object();
        QCOMPARE(status["pid"].toInteger(), daemon().pid());
        const QJsonObject fingerprints = status["fingerprints"].toObject();
        QCOMPARE(fingerprints["total"].toInt(), KnownDatabase::Total);
        QCOMPARE(fingerprints["byRadio"].toObject(), (QJsonObject{{"WCDMA", 2}, {"GSM", 3}, {"none", 1}}));
        QCOMPARE(fingerprints["oldest"].toString(), QStringLiteral("2024-05-01T10:00:00.250Z"));
        QCOMPARE(status["buffer"]["maxSize"].toInt(), 500000);
        // The daemon counts its log reserve in, so the size is at least the file's.
        QVERIFY(status["buffer"]["size"].toInteger() >= QFileInfo(databasePath()).size());
        QVERIFY(status["lastUpload"]["time"].isNull());

        result = CtlRunner::run({"status"});
        QVERIFY2(result.exitCode == 0 && result.out.contains("Fingerprints: 6 stored (WCDMA 2, GSM 3, no cell 1)")
                     && result.out.contains("Last upload: never"),
                 result.describe());

        // watch: a line per changed report until the daemon leaves.
        QProcess watch;
        watch.setProcessEnvironment(CtlRunner::childEnvironment());
        TestSupport::dieWithParent(watch);
        watch.start(QStringLiteral(FPCCTL_BINARY), {"watch", "--json"});
        QList<QJsonObject> lines;
        auto readLines = [&] {
            while (watch.canReadLine())
                lines << QJsonDocument::fromJson(watch.readLine()).object();
            return lines.size();
        };
        QVERIFY(TestSupport::waitFor([&] { return readLines() >= 2; }, 10000));
        QCOMPARE(lines[1]["fingerprints"].toObject()["total"].toInt(), KnownDatabase::Total);

        // The same report again is no change; an emptied buffer is.
        for (const QStringList &command : {QStringList{"status"}, QStringList{"clear", "--yes"}, QStringList{"status"}})
            QCOMPARE(CtlRunner::run(command).exitCode, 0);
        QVERIFY(TestSupport::waitFor([&] { return readLines() >= 3; }, 10000));
        QCOMPARE(lines[2]["fingerprints"].toObject()["total"].toInt(), 0);

        QCOMPARE(CtlRunner::run({"quit"}).exitCode, 0);
        QVERIFY(watch.waitForFinished(10000) && watch.exitCode() == 3);
        QCOMPARE(readLines(), 3);
    }

    void configuration()
    {
        QVERIFY(startDaemon({{"fp_buffer_max_size", "500000"}}));
        CtlResult result = CtlRunner::run({"config", "show", "--json"});
        QVERIFY2(result.exitCode == 0 && result.json()["fp_buffer_max_size"].toString() == "500000", result.describe());
        QVERIFY(CtlRunner::run({"config", "get", "no_such_key"}).refused(6, "'no_such_key' is not set"));
        // A key the daemon reads shows its default while unset.
        result = CtlRunner::run({"config", "get", "fp_upload_retry_timeout", "--json"});
        QVERIFY2(result.exitCode == 0 && result.json()["value"] == "3600" && result.json()["default"] == true,
                 result.describe());
        result = CtlRunner::run({"config", "set", "timer_trigger_base_value", "-1", "--json"});
        QVERIFY2(result.exitCode == 0 && result.json()["value"].toString() == "-1", result.describe());
        // A key the daemon does not use is warned about; one it does not take is reported, not claimed as set.
        result = CtlRunner::run({"config", "set", QString(300, 'k'), "1"});
        QVERIFY2(result.exitCode == 1 && result.err.contains("does not use the key")
                     && result.err.contains("did not take the value"),
                 result.describe());
        // A value of the wrong type is not sent unless forced.
        QVERIFY(CtlRunner::run({"config", "set", "speed_threshold", "fast"}).refused(2, "not a valid int value"));
        QVERIFY(CtlRunner::run({"config", "get", "speed_threshold"}).out == "10\n");
        result = CtlRunner::run({"config", "set", "speed_threshold", "fast", "--force"});
        QVERIFY2(result.exitCode == 0 && result.out == "speed_threshold=fast (until vomu-fpcd stops)\n",
                 result.describe());

        QVERIFY(root().writeFile("/good.cfg", "<fpcconfig><item key=\"min_wlan_count\" value=\"5\"/>"
                                              "<item><key>speed_threshold</key><value>12</value></item></fpcconfig>"));
        QVERIFY(root().writeFile("/bad.cfg", "<fpcconfig><item key=\"max_wlan_speed\" value=\"41\"/>"
                                             "<item key=\"gps_max_speed\"/></fpcconfig>"));
        result = CtlRunner::run({"config", "load", root().path("/good.cfg")});
        QVERIFY2(result.exitCode == 0 && result.out.startsWith("Loaded 2 values from"), result.describe());
        QCOMPARE(CtlRunner::run({"config", "get", "speed_threshold"}).out, QByteArray("12\n"));
        // A faulty file is refused whole: not even its first item is applied.
        QVERIFY(CtlRunner::run({"config", "load", root().path("/bad.cfg")})
                    .refused(5, "key \"gps_max_speed\") has no value"));
        result = CtlRunner::run({"config", "get", "max_wlan_speed"});
        QVERIFY2(result.exitCode == 0 && result.out == "40\n" && result.err.contains("default"), result.describe());

        // Export finds the database through the daemon's "db_file".
        result = CtlRunner::run({"export", "--format", "csv"}, {}, {"FPCD_ROOT=/nonexistent"});
        QVERIFY2(result.exitCode == 0 && result.out.count('\n') == KnownDatabase::Total + 1, result.describe());
    }

    void exportFindsDefaultDatabaseBelowDaemonRoot()
    {
        const QString directory = QStringLiteral("/home/user/.vomu-fpcd/private");
        QVERIFY(root().makeDirectory(directory));
        QVERIFY(QFile::setPermissions(root().path(directory), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // The default named literally: below the daemon's root.
        QVERIFY(startDaemon({}, directory + QStringLiteral("/fp.db")));
        // fpcctl's own root points elsewhere: the daemon's root is the one that counts.
        const CtlResult result = CtlRunner::run({"map", "-o", "-"}, {}, {"FPCD_ROOT=/nonexistent"});
        QVERIFY2(result.exitCode == 0 && result.out.contains("Access points: 7"), result.describe());
    }

    // The switches are kept in the daemon's configuration; a refused upload shows in both status forms.
    void controlCommands()
    {
        QVERIFY(startDaemon());
        CtlResult result = CtlRunner::run({"collect", "off"});
        QVERIFY2(result.exitCode == 0 && result.out == "collection_enabled=0 (kept across restarts)\n",
                 result.describe());
        result = CtlRunner::run({"upload", "off", "--json"});
        QVERIFY2(result.exitCode == 0 && result.json()["key"] == "upload_enabled" && result.json()["value"] == "0",
                 result.describe());
        QVERIFY(CtlRunner::run({"upload"}).refused(1, "the upload did not start: Upload is switched off"));
        result = CtlRunner::run({"status", "--json"});
        const QJsonObject counters = result.json()["counters"].toObject();
        QVERIFY2(result.exitCode == 0 && counters["uploads"]["uploadsFailed"].toInt() == 1
                     && counters["dropped"].toObject().size() == 11 && counters["dropped"]["tooFast"].toInt() == 0,
                 result.describe());
        for (const QString &name : counters["dropped"].toObject().keys() + counters["uploads"].toObject().keys())
            QVERIFY2(FpcCounterText::names().contains(name), qPrintable(name)); // the app's words for each
        result = CtlRunner::run({"status"});
        QVERIFY2(result.out.contains("Uploads since start:  1 tried, 0 succeeded, 1 failed\n")
                     && result.out.contains("  privacy rule:"),
                 result.describe());
        // Outside the control group: refused with a clear line, nothing changed.
        if (::getuid() == 0) {
            const QStringList nobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
            QVERIFY(CtlRunner::run({"collect", "on"}, {}, {}, 30000, nobody)
                        .refused(1, "needs root or membership of its control group"));
            QCOMPARE(CtlRunner::run({"config", "get", "collection_enabled"}).out, QByteArray("0\n"));
        }
        QVERIFY(CtlRunner::run({"collect", "maybe"}).refused(2, "expected 'on' or 'off', not 'maybe'"));

        QVERIFY(CtlRunner::run({"clear"}).refused(2, "pass --yes"));
        result = CtlRunner::runOnTerminal({"clear"}, "n\n");
        QVERIFY2(result.exitCode == 7 && result.out.contains("[y/N]"), result.describe());
        QCOMPARE(storedCount(), KnownDatabase::Total);
        result = CtlRunner::runOnTerminal({"clear"}, "y\n");
        QVERIFY2(result.exitCode == 0 && result.out.contains("All fingerprints deleted"), result.describe());
        QCOMPARE(storedCount(), 0);

        result = CtlRunner::run({"active", "off", "--json"});
        QVERIFY2(result.exitCode == 0 && result.json()["activeGps"] == false, result.describe());
        // Whether active GPS can run depends on the host's position sources;
        // the exit status must agree with the state the daemon reports.
        result = CtlRunner::run({"active", "on", "--json"});
        QVERIFY2(result.json()["activeGps"].isBool()
                     && result.exitCode == (result.json()["activeGps"].toBool() ? 0 : 1),
                 result.describe());

        result = CtlRunner::run({"log", "restart"});
        QVERIFY2(result.exitCode == 0 && result.out == "Logging restarted\n", result.describe());
        QVERIFY(m_service->waitForTrace("FpcEventHandler::restartLogging() <-"));

        result = CtlRunner::run({"quit", "--json"});
        QVERIFY2(result.exitCode == 0 && result.json()["pid"].toInteger() == daemon().pid(), result.describe());
        QVERIFY(daemon().waitForExit() && daemon().exitCode() == 0);
    }

    void upload()
    {
        FpServerProcess server(root().path(QStringLiteral("/server")));
        QVERIFY2(server.start(QStringLiteral("fail")), qPrintable(server.errorString()));
        daemon().setEnv(QStringLiteral("SLPGW_SERVER_URL"), server.url());
        QVERIFY(startDaemon());

        // A refused upload is told as such at once, and the buffer keeps all.
        CtlResult result = CtlRunner::run({"upload", "--timeout", "30"});
        QVERIFY(result.refused(1, "the upload failed, 6 fingerprints kept in the buffer"));
        QVERIFY(result.err.contains("Server.UploadFailed"));
        QVERIFY(server.uploadCount() == 1 && storedCount() == KnownDatabase::Total);
        result = CtlRunner::run({"upload", "--json"});
        QVERIFY2(result.exitCode == 1 && result.json()["ok"] == false && result.json()["remaining"].toInt() == 6,
                 result.describe());

        // On a terminal the wait shows progress.
        QVERIFY(server.setMode(QStringLiteral("delay:1.2")));
        result = CtlRunner::runOnTerminal({"upload"}, {});
        QVERIFY2(result.exitCode == 0 && result.out.contains("Uploading ...")
                     && result.out.contains("6 fingerprints uploaded, 0 left"),
                 result.describe());
        QVERIFY(server.uploadCount() == 3 && storedCount() == 0);

        // Right after the last one, an upload of nothing is still told apart from the report before it.
        QVERIFY(server.setMode(QStringLiteral("ok")));
        result = CtlRunner::run({"upload", "--json"});
        QVERIFY2(result.exitCode == 0 && result.json()["uploaded"].toInt() == 0, result.describe());
    }
};

QTEST_GUILESS_MAIN(TstFpcCtlDaemon)
#include "tst_fpcctl_daemon.moc"
