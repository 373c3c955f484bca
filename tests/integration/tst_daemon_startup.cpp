#include "DaemonProcess.h"
#include "TempRoot.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>

#include <csignal>
#include <memory>

class TestDaemonStartup : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestBus> m_bus;
    std::unique_ptr<TempRoot> m_root;

    QString traceFile() const { return m_root->path("/trace.log"); }
    QByteArray trace() const { return TestSupport::readFile(traceFile()); }

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }
    void init()
    {
        m_root = std::make_unique<TempRoot>();
        QVERIFY(m_root->makeLogDirectory());
        const QString databaseDirectory = QStringLiteral("/home/user/.vomu-fpcd/private");
        QVERIFY(m_root->makeDirectory(databaseDirectory));
        QVERIFY(QFile::setPermissions(m_root->path(databaseDirectory),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    void cleanup()
    {
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
        m_root.reset();
    }

    void secondInstanceExitsFirstStopsOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    // A second instance finds the name taken and ends; the first stops cleanly on the signal.
    void secondInstanceExitsFirstStopsOnSignal()
    {
        QFETCH(int, signalNumber);
        QVERIFY(m_root->setRdMode(true));
        DaemonProcess daemon(*m_bus);
        QVERIFY2(daemon.startAndWaitRegistered({"--tracefile", traceFile()}), qPrintable(daemon.describe()));
        DaemonProcess second(*m_bus);
        const QString secondTrace = m_root->path("/second.log");
        QVERIFY(second.start({"--tracefile", secondTrace}));
        QVERIFY(second.waitForExit());
        QVERIFY(second.exitedNormally());
        QCOMPARE(second.exitCode(), 255);
        QVERIFY(TestSupport::readFile(secondTrace).contains("main() service registration failed. Shutting down..."));
        QVERIFY(daemon.isRunning());

        QCOMPARE(daemon.sendSignalAndWait(signalNumber), 0);
        // No configuration file: said so in the trace, which starts at the reading of the configuration.
        const QByteArray text = trace();
        for (const char *line : {"Debug: main() read configuration", "Can't open file for reading",
                                 "main() register object to DBus...", "Debug: main() service registration succeeded",
                                 "main() service exits (code= 0 )", "main() unregister service from DBus"})
            QVERIFY2(text.contains(line), line);
    }

    void tracing_data()
    {
        QTest::addColumn<bool>("rdMode");
        QTest::addColumn<QByteArray>("configLevel"); // empty: no configuration file
        QTest::addColumn<QStringList>("arguments");  // "%T" is the test's trace file
        QTest::addColumn<QString>("traceFile");      // "file", "stdout" or "none"
        QTest::addColumn<QByteArrayList>("present");
        QTest::addColumn<QByteArrayList>("absent");

        const QByteArray registering = "main() register object to DBus...";
        QTest::newRow("tracefile and sbox without rd-mode")
            << false << QByteArray() << QStringList{"--tracefile", "%T", "--sbox"} << "none" << QByteArrayList{}
            << QByteArrayList{};
        QTest::newRow("sbox in rd-mode") << true << QByteArray() << QStringList{"--sbox"} << "stdout"
                                         << QByteArrayList{"Debug: main() service registration succeeded"}
                                         << QByteArrayList{};
        QTest::newRow("loglevel INFO") << true << QByteArray() << QStringList{"--tracefile", "%T", "--loglevel", "INFO"}
                                       << "file" << QByteArrayList{"main() read configuration"}
                                       << QByteArrayList{registering};
        QTest::newRow("lower-case level")
            << true << QByteArray() << QStringList{"--loglevel", "info", "--tracefile", "%T"} << "file"
            << QByteArrayList{"main() Unknown log level: \"info\"", registering} << QByteArrayList{};
        QTest::newRow("level from configuration")
            << true << QByteArray("WARN") << QStringList{"--tracefile", "%T"} << "file"
            << QByteArrayList{"FpcConfig::parseConfig() ->"} << QByteArrayList{registering};
        QTest::newRow("command line overrides configuration")
            << true << QByteArray("WARN") << QStringList{"--tracefile", "%T", "--loglevel", "DEBUG"} << "file"
            << QByteArrayList{registering} << QByteArrayList{};
    }
    void tracing()
    {
        QFETCH(bool, rdMode);
        QFETCH(QByteArray, configLevel);
        QFETCH(QStringList, arguments);
        QFETCH(QString, traceFile);
        QFETCH(QByteArrayList, present);
        QFETCH(QByteArrayList, absent);

        QVERIFY(m_root->setRdMode(rdMode));
        if (!configLevel.isEmpty())
            QVERIFY(m_root->writeConfigItems({{"loglevel", configLevel}}));
        arguments.replaceInStrings("%T", this->traceFile());

        DaemonProcess daemon(*m_bus);
        QVERIFY2(daemon.startAndWaitRegistered(arguments), qPrintable(daemon.describe()));
        QCOMPARE(daemon.terminate(), 0);

        if (traceFile == "none") {
            QVERIFY(!QFile::exists(this->traceFile()));
            QVERIFY(!QFile::exists(m_root->defaultTraceFile()));
            QCOMPARE(daemon.standardOutput(), QByteArray());
            return;
        }
        const QByteArray text = traceFile == "stdout" ? daemon.standardOutput() : trace();
        for (const QByteArray &line : present)
            QVERIFY2(text.contains(line), line.constData());
        for (const QByteArray &line : absent)
            QVERIFY2(!text.contains(line), line.constData());
    }
};

QTEST_GUILESS_MAIN(TestDaemonStartup)
#include "tst_daemon_startup.moc"
