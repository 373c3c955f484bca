#include "FpcCommandLine.h"
#include "FpcConfig.h"
#include "FpcLog.h"
#include "FpcPaths.h"
#include "FpcStartup.h"
#include "TempRoot.h"
#include "TestSupport.h"

#include <QTest>

class TestFpcStartup : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        FpcLog::setLogFile(QString());
        FpcLog::setThreshold(FpcLog::Debug);
    }

    void walk_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("rdMode");
        QTest::addColumn<QStringList>("traceFiles"); // "default": the default trace file
        QTest::addColumn<QString>("level");          // null: none given

        QTest::newRow("tracefile without rd-mode") << QStringList{"--tracefile", "/t"} << false << QStringList{} << QString();
        QTest::newRow("tracefile") << QStringList{"--tracefile", "/t"} << true << QStringList{"/t"} << QString();
        QTest::newRow("tracefile last") << QStringList{"-x", "--tracefile"} << true << QStringList{"default"} << QString();
        QTest::newRow("path not consumed") << QStringList{"--tracefile", "--loglevel", "WARN"} << true
                                           << QStringList{"--loglevel"} << "WARN";
        QTest::newRow("loglevel consumes") << QStringList{"--loglevel", "--tracefile", "/t"} << true
                                           << QStringList{} << "--tracefile";
        QTest::newRow("loglevel last") << QStringList{"--loglevel"} << true << QStringList{} << QString();
        QTest::newRow("later level wins") << QStringList{"--loglevel", "INFO", "--loglevel", "ERROR"} << false
                                          << QStringList{} << "ERROR";
        QTest::newRow("sbox without rd-mode") << QStringList{"--sbox"} << false << QStringList{} << QString();
        QTest::newRow("sbox") << QStringList{"--sbox", "--tracefile", "/t"} << true
                              << QStringList{"/t", "/dev/stdout"} << QString();
        QTest::newRow("options are exact") << QStringList{"--TRACEFILE", "/t", "--loglevel=INFO"} << true
                                           << QStringList{} << QString();
    }
    void walk()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, rdMode);
        QFETCH(QStringList, traceFiles);
        QFETCH(QString, level);
        traceFiles.replaceInStrings(QRegularExpression("^default$"), FpcPaths::defaultTraceFile());

        const FpcCommandLine commandLine(QStringList{"vomu-fpcd"} + arguments, rdMode);
        QCOMPARE(commandLine.traceFileRequests(), traceFiles);
        QCOMPARE(commandLine.hasLogLevel(), !level.isNull());
        QCOMPARE(commandLine.logLevelName(), level);
        QCOMPARE(commandLine.arguments().endsWith("/dev/stdout"), arguments.contains("--sbox"));
    }

    void rdModeFlag_data()
    {
        QTest::addColumn<QByteArray>("value"); // null: no value
        QTest::addColumn<bool>("expected");
        QTest::newRow("no value") << QByteArray() << false;
        QTest::newRow("enabled") << QByteArray("enabled") << true;
        QTest::newRow("enabled with newline") << QByteArray("enabled\n") << true;
        QTest::newRow("longer") << QByteArray("enabledXYZ") << true;
        QTest::newRow("too short") << QByteArray("enable") << false;
        QTest::newRow("disabled") << QByteArray("disabled") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }
    void rdModeFlag()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, expected);
        TempRoot root;
        if (!value.isNull())
            QVERIFY(root.setSysInfoValue("/device/rd-mode", value));
        QCOMPARE(FpcStartup::readRdModeFlag(), expected);
    }

    void logLevel_data()
    {
        QTest::addColumn<QString>("configured"); // null: not in the configuration
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QString>("stored");

        QTest::newRow("nothing given") << QString() << QStringList{} << 1 << "";
        QTest::newRow("from configuration") << "WARN" << QStringList{} << 3 << "WARN";
        QTest::newRow("command line replaces") << "INFO" << QStringList{"--loglevel", "CRITICAL"} << 5 << "CRITICAL";
        QTest::newRow("lower case unknown") << QString() << QStringList{"--loglevel", "info"} << 1 << "info";
    }
    void logLevel()
    {
        QFETCH(QString, configured);
        QFETCH(QStringList, arguments);
        QFETCH(int, threshold);
        QFETCH(QString, stored);
        if (!configured.isNull())
            FpcConfig::addKey("loglevel", configured);
        if (threshold == 1) {
            QTest::ignoreMessage(QtDebugMsg, qPrintable("main() Unknown log level: \"" + stored + "\""));
            QTest::ignoreMessage(QtDebugMsg, "main() Possible log levels are: DEBUG, INFO, WARN, ERROR, CRITICAL and FATAL");
        }
        FpcStartup::applyLogLevel(FpcCommandLine(QStringList{"vomu-fpcd"} + arguments, false));
        QCOMPARE(FpcLog::threshold(), threshold);
        QCOMPARE(FpcConfig::getValue("loglevel"), stored);
    }

    void libraryTraceVariables()
    {
        qunsetenv("VOMURADIOMEASUREMENTS_TRACEFILE");
        qunsetenv("SLPGWAPI_TRACEFILE");
        FpcStartup::exportLibraryTraceVariables(
            FpcCommandLine({"vomu-fpcd", "--enable-rmlogging", "--enable-slpgwapilogging"}, false), "/t");
        QVERIFY(!qEnvironmentVariableIsSet("VOMURADIOMEASUREMENTS_TRACEFILE"));

        FpcStartup::exportLibraryTraceVariables(FpcCommandLine({"vomu-fpcd", "--enable-rmlogging"}, true), QString());
        QVERIFY(qEnvironmentVariableIsSet("VOMURADIOMEASUREMENTS_TRACEFILE"));
        QCOMPARE(qgetenv("VOMURADIOMEASUREMENTS_TRACEFILE"), QByteArray());
        QVERIFY(!qEnvironmentVariableIsSet("SLPGWAPI_TRACEFILE"));
    }

    void startupTraceFileFallsBackToDefault()
    {
        TempRoot root;
        QVERIFY(root.makeLogDirectory());
        QCOMPARE(FpcLog::openStartupTraceFile(root.path("/no/such/dir/t.log")), root.defaultTraceFile());
        QCOMPARE(FpcLog::logFileName(), root.defaultTraceFile());

        QVERIFY(root.writeFile("/t.log", "old contents\n"));
        QCOMPARE(FpcLog::openStartupTraceFile(root.path("/t.log")), root.path("/t.log"));
        QVERIFY(!TestSupport::readFile(root.path("/t.log")).contains("old contents"));
    }
};

QTEST_GUILESS_MAIN(TestFpcStartup)
#include "tst_fpcstartup.moc"
