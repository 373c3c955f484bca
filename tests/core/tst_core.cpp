#include "FpcCommandLine.h"
#include "FpcConfig.h"
#include "FpcLog.h"
#include "FpcPaths.h"
#include "FpcStartup.h"
#include "TempRoot.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <memory>

// Trace handler, trace files, configuration, start-up; the configuration is process-wide: own keys per case.
class TestCore : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempRoot> m_root;
    QtMessageHandler m_previousHandler = nullptr;

    QString traceFile() const { return m_root->path("/trace.log"); }
    QByteArray trace() const { return TestSupport::readFile(traceFile()); }
    // The lines written after the "New logfile" line of setLogFile.
    QStringList linesAfterOpening() const { return QString::fromUtf8(trace()).split('\n', Qt::SkipEmptyParts).mid(1); }
    // Writes a file of the trace directory ("fpc_tracefile" holds the seed).
    void writeLog(const QString &name, const QByteArray &contents = {})
    {
        const QString logDirectory = FpcPaths::logDirectory().mid(m_root->root().size());
        QVERIFY(m_root->writeFile(logDirectory + name, contents));
    }
    // Runs action inside the event loop; true when the loop was quit before guardMs.
    static bool loopQuitBy(const std::function<void()> &action, int guardMs)
    {
        QTimer::singleShot(0, action);
        QTimer::singleShot(guardMs, [] { QCoreApplication::exit(42); });
        return QCoreApplication::exec() != 42;
    }

private slots:
    void init()
    {
        m_root = std::make_unique<TempRoot>();
        QVERIFY(m_root->makeLogDirectory());
        FpcLog::setThreshold(FpcLog::Debug);
        FpcLog::setRdMode(true);
        FpcLog::setLogFile(QString());
        m_previousHandler = qInstallMessageHandler(&FpcLog::messageHandler);
    }
    void cleanup()
    {
        qInstallMessageHandler(m_previousHandler);
        FpcLog::setLogFile(QString());
        FpcLog::setThreshold(FpcLog::Debug);
        m_root.reset();
    }

    void handlerFormatsAndFilters()
    {
        // Threshold, message type and text; the line after the time stamp (empty: dropped).
        const struct
        {
            int threshold;
            QtMsgType type;
            const char *message, *expected;
        } cases[] = {
            {1, QtDebugMsg, "plain text", "Debug: plain text"},
            {2, QtDebugMsg, "[INFO]word", "Info: word"},
            {1, QtDebugMsg, "[INFO] word", "Info: word"},
            {1, QtDebugMsg, "[INFO]  word", "Info:  word"},
            {4, QtDebugMsg, "[ERROR] bad", "Error: bad"},
            {1, QtDebugMsg, "x [INFO] y", "Debug: x [INFO] y"},
            {2, QtDebugMsg, "[info] y", ""},
            {4, QtWarningMsg, "w", ""},
            {5, QtCriticalMsg, "c", "Critical: c"},
            {6, QtCriticalMsg, "c", ""},
            {2, QtInfoMsg, "i", "Info: i"},
        };
        static const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (.*)$");
        for (const auto &c : cases) {
            QFile::remove(traceFile());
            FpcLog::setThreshold(FpcLog::Debug);
            FpcLog::setLogFile(traceFile());
            FpcLog::setThreshold(c.threshold);
            FpcLog::messageHandler(c.type, QMessageLogContext(), c.message);
            const QStringList lines = linesAfterOpening();
            QVERIFY2(lines.size() <= 1, qPrintable(lines.join('|')));
            QCOMPARE(stamp.match(lines.value(0)).captured(1), QString(c.expected));
        }
    }

    void fatalQuitsOnlyWhenWritten()
    {
        const auto fatal = [] { FpcLog::messageHandler(QtFatalMsg, QMessageLogContext(), "boom"); };
        // No trace file: dropped, no quit (a quit ends the loop at once; 300 ms are ample).
        QVERIFY(!loopQuitBy(fatal, 300));
        FpcLog::setLogFile(traceFile());
        FpcLog::setThreshold(FpcLog::Fatal);
        QVERIFY(loopQuitBy(fatal, 10000));
        QVERIFY(linesAfterOpening().value(0).endsWith("Fatal: boom"));
    }

    void traceFileOpening()
    {
        // setLogFile appends and keeps the name when the file cannot be opened.
        QVERIFY(m_root->writeFile("/trace.log", "old line\n"));
        FpcLog::setLogFile(traceFile());
        QVERIFY(trace().startsWith("old line\n"));
        QVERIFY(trace().contains("FpcEventHandler::setLogFile() New logfile:  \""));
        FpcLog::setLogFile(m_root->path("/missing/dir/x.log"));
        QVERIFY(!FpcLog::hasLogFile());
        QCOMPARE(FpcLog::logFileName(), traceFile());
        // The start-up trace file starts empty, or falls back to the default one.
        QCOMPARE(FpcLog::openStartupTraceFile(traceFile()), traceFile());
        QVERIFY(!trace().contains("old line"));
        QCOMPARE(FpcLog::openStartupTraceFile(m_root->path("/no/such/dir/t.log")), m_root->defaultTraceFile());
        QCOMPARE(FpcLog::logFileName(), m_root->defaultTraceFile());
    }

    void lttNextFile_data()
    {
        QTest::addColumn<bool>("rdMode");
        QTest::addColumn<QByteArray>("seed"); // null: no seed file
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected"); // "-": trace file kept, empty: logging stopped
        const QByteArray run = "run0001";
        auto row = [](const char *name, const QByteArray &seed, const QStringList &existing, const QString &expected,
                      bool rdMode = true) { QTest::newRow(name) << rdMode << seed << existing << expected; };
        row("first line of the seed, alone", "run0001\nignored second line\n", {}, "fpc_run0001.log");
        row("greatest wins", run, {"fpc_run0009.log", "fpc_run12345.log", "fpc_run0002.log"}, "fpc_run12346.log");
        row("short seed matches all", "abcd", {"fpc_0007.log", "fpc_run0009.log"}, "fpc_0008.log");
        row("empty seed", "", {}, "fpc_0001.log"); // fpc_tracefile
        row("index overflow counts 0", run, {"fpc_run99999999999.log"}, "fpc_run0001.log");
        row("no seed file", QByteArray(), {}, "");
        row("rd-mode off", run, {}, "-", false);
        row("seed with a path", "../../../etc/x0001", {}, "-");
        row("dot in the seed", "x.y0001", {"fpc_x.y0001.log"}, "fpc_x.y0002.log");
    }
    void lttNextFile()
    {
        QFETCH(bool, rdMode);
        QFETCH(QByteArray, seed);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        if (!seed.isNull())
            writeLog("fpc_tracefile", seed);
        for (const QString &name : existing)
            writeLog(name);
        FpcLog::setRdMode(rdMode);
        FpcLog::setLogFile(traceFile());
        FpcLog::restartLogging();

        const QString logDir = m_root->logDirectory();
        QCOMPARE(FpcLog::hasLogFile(), !expected.isEmpty());
        if (expected.isEmpty())
            QVERIFY(trace().contains("tracepathfile doesn't exist - stop logging"));
        else
            QCOMPARE(FpcLog::logFileName(), expected == "-" ? traceFile() : logDir + expected);
        if (expected == "-")
            QCOMPARE(QDir(logDir).entryList({"*.log"}), QStringList());
        if (expected.isEmpty() || expected == "-")
            return;
        QVERIFY(TestSupport::readFile(logDir + expected).contains("Logging started to file:"));
        FpcLog::restartLogging(); // the next start, already tracing to a matching file, keeps it
        QCOMPARE(FpcLog::logFileName(), logDir + expected);
        QVERIFY(TestSupport::readFile(logDir + expected).contains("LTT loggin already ongoing ->"));
    }

    // Planted links are never written through (file modes: tst_service_collection).
    void traceFilesIgnoreLinks()
    {
        const QString logDir = m_root->logDirectory();
        QVERIFY(m_root->writeFile("/secret", "root's file"));
        const QString secret = m_root->path("/secret");
        QVERIFY(QFile::link(secret, m_root->defaultTraceFile()));
        QCOMPARE(FpcLog::openStartupTraceFile(m_root->defaultTraceFile()), m_root->defaultTraceFile());
        QVERIFY(!FpcLog::hasLogFile());

        // The seed file itself is not read through a link either.
        QVERIFY(QFile::link(secret, m_root->tracePathFile()));
        FpcLog::setLogFile(traceFile());
        FpcLog::restartLogging();
        QVERIFY(trace().contains("tracepathfile open failed"));
        QCOMPARE(FpcLog::logFileName(), traceFile());

        QVERIFY(QFile::remove(m_root->tracePathFile()));
        writeLog("fpc_tracefile", "run0001");
        QVERIFY(QFile::link(secret, logDir + "fpc_run0001.log"));
        FpcLog::restartLogging();
        QCOMPARE(FpcLog::logFileName(), logDir + "fpc_run0002.log");
        QCOMPARE(TestSupport::readFile(secret), QByteArray("root's file"));
    }

    void parseConfiguration()
    {
        // Items, result, key=value pairs present afterwards, keys absent afterwards.
        const struct
        {
            const char *items;
            bool result;
            const char *present, *absent;
        } cases[] = {
            {"<item key='a1' value='3'/><item><key>a2</key><value>INFO</value></item>", true, "a1=3 a2=INFO", ""},
            {"<item key='b1' value=''><value>7</value></item><item key='b2'><value/></item>", true, "b1=7 b2=", ""},
            {"<item key='c1' value='1'/><item key='c2' value=''/><item key='c3' value='3'/>", false, "c1=1", "c2 c3"},
            {"<item key='d1' value='1'/><item value='2'/><item key='d3' value='3'/>", false, "d1=1", "d3"},
            {"<item key='e1' value='old'/><item key='e1' value='new'/>", true, "e1=new", ""},
            {"<comment>x</comment><entry key='f0' value='0'/><item key='f1' value='1'/>", true, "f1=1", "f0"},
            {"<item key='g1' value='1'>", false, "", "g1"},
        };
        for (const auto &c : cases) {
            const QString xml = QStringLiteral("<fpcconfig>%1</fpcconfig>").arg(c.items);
            QVERIFY2(FpcConfig::internalizeFromString(xml) == c.result, c.items);
            for (const QString &pair : QString(c.present).split(' ', Qt::SkipEmptyParts))
                QCOMPARE(FpcConfig::getValue(pair.section('=', 0, 0)), pair.section('=', 1));
            for (const QString &key : QString(c.absent).split(' ', Qt::SkipEmptyParts))
                QCOMPARE(FpcConfig::getIntValue(key, -99), -99);
        }
        QVERIFY(!FpcConfig::internalizeFromString("<config><item key='h1' value='1'/></config>")); // wrong root
        QCOMPARE(FpcConfig::getIntValue("h1", -99), -99);

        // What toXml writes reads back, quotes, markup and empty values included.
        FpcConfig::addKey("k/quote", "a\"b'c <&> d");
        FpcConfig::addKey("k/empty", "");
        const QString xml = FpcConfig::toXml();
        QVERIFY(xml.startsWith("<fpcconfig>\n <item "));
        FpcConfig::addKey("k/quote", "changed");
        FpcConfig::addKey("k/empty", "not empty");
        QVERIFY(FpcConfig::internalizeFromString(xml));
        QCOMPARE(FpcConfig::getValue("k/quote"), QString("a\"b'c <&> d"));
        QCOMPARE(FpcConfig::getValue("k/empty"), QString(""));
    }

    void configurationFiles()
    {
        const QString file = m_root->path("/cfg.xml");
        QVERIFY(!FpcConfig::internalizeConf(file));
        QVERIFY(m_root->writeFile("/cfg.xml", "<fpcconfig><item key='j1' value='5'/>"));
        QVERIFY(!FpcConfig::internalizeConf(file));
        QVERIFY(m_root->writeFile("/cfg.xml", "<?xml version='1.0' encoding='ISO-8859-1'?>\n"
                                              "<fpcconfig><item key='j1' value='\xe4'/></fpcconfig>"));
        QVERIFY(FpcConfig::internalizeConf(file));
        QCOMPARE(FpcConfig::getValue("j1"), QString(QChar(0xe4)));
        // The packaged file parses (its values agree with the documented defaults: manual_keys).
        QVERIFY(FpcConfig::internalizeConf(FPCD_SOURCE_DIR "/packaging/vomu-fpc.cfg"));
    }

    // Texts beyond the depth, size or element limits are refused whole, after a walk bounded by the limit.
    void oversizedConfigurationRefusedWhole()
    {
        const QString head = "<fpcconfig><item key='k1' value='1'/>";
        const int levels = 80000;
        const QString nested =
            head + QString("<a>").repeated(levels) + QString("</a>").repeated(levels) + "</fpcconfig>";
        const FpcXmlLimits::Result walk = FpcXmlLimits(FpcConfig::MaxDepth, FpcConfig::MaxElements).check(nested);
        QVERIFY(!walk.accepted);
        // The root, the item, and the chain down to the first level too deep.
        QCOMPARE(walk.elementsVisited, qint64(FpcConfig::MaxDepth + 2));

        QString flat = head;
        for (int i = 0; i < FpcConfig::MaxElements; ++i)
            flat += QStringLiteral("<item key='k2' value='%1'/>").arg(i);
        const QString dtd = "<!DOCTYPE fpcconfig [<!ENTITY x 'y'>]>" + head + "</fpcconfig>";
        for (const QString &text : {nested, flat + "</fpcconfig>", dtd}) {
            QVERIFY(!FpcConfig::internalizeFromString(text));
            QCOMPARE(FpcConfig::getIntValue("k1", -99), -99);
        }
        QVERIFY(
            m_root->writeFile("/big.cfg", (head + QString(FpcConfig::MaxTextBytes, ' ') + "</fpcconfig>").toUtf8()));
        QVERIFY(!FpcConfig::internalizeConf(m_root->path("/big.cfg")));
        QCOMPARE(FpcConfig::getIntValue("k1", -99), -99);
    }

    void typedGettersFallBackToDefault()
    {
        // Text that is not wholly a number of the type, out of its range or not finite gives the default 7.
        const struct
        {
            const char *stored;
            char type;
            double expected;
        } cases[] = {
            {"-42", 'i', -42}, {"12abc", 'i', 7}, {"2147483648", 'i', 7},
            {"", 'i', 7},      {nullptr, 'i', 7}, {"4294967295", 'u', 4294967295.0},
            {"-1", 'u', 7},    {"0x10", 'u', 7},  {"0.25", 'f', 0.25},
            {"1.0x", 'f', 7},  {"nan", 'f', 7},   {"inf", 'f', 7},
        };
        for (const auto &c : cases) {
            const QString key = QStringLiteral("typed/%1/%2").arg(c.type).arg(c.stored ? c.stored : "absent");
            if (c.stored)
                FpcConfig::addKey(key, c.stored);
            const double value = c.type == 'i'   ? double(FpcConfig::getIntValue(key, 7))
                                 : c.type == 'u' ? double(FpcConfig::getUIntValue(key, 7))
                                                 : double(FpcConfig::getFloatValue(key, 7.0f));
            QVERIFY2(value == c.expected, qPrintable(key + " -> " + QString::number(value)));
        }
    }

    void deviceIdentityIsMasked()
    {
        const struct
        {
            const char *imsi, *imei, *hwaddr, *userId, *hwId;
        } cases[] = {
            {"244051234567890", "351234567890123", "", "IMSI: 244051000000000", "IMEI: 351234560000000"},
            {"2440", "3512", "", "IMSI: 2440", "IMEI: 3512"},
            {"", "", "02:00:00:aa:bb:cc", "IMSI: ", "MAC: 02:00:00:aa:bb:cc"},
            {"", "", "", "IMSI: ", "MAC: "},
        };
        for (const auto &c : cases) {
            QVERIFY(m_root->setDeviceInfo("imsi", c.imsi) && m_root->setDeviceInfo("imei", c.imei)
                    && m_root->setDeviceInfo("wlan_hwaddr", c.hwaddr));
            FpcConfig::addKey("fpr/dump_reports", "1");
            FpcConfig::addKey("fpr/user_name", "from file");
            const FpcConfig config;
            QCOMPARE(FpcConfig::getValue("fpr/user_id"), QString(c.userId));
            QCOMPARE(FpcConfig::getValue("fpr/hw_id"), QString(c.hwId));
            QCOMPARE(FpcConfig::getValue("fpr/dump_reports"), QString("0"));
            QCOMPARE(FpcConfig::getValue("fpr/user_name"), QString());
            QCOMPARE(FpcConfig::getValue("fpr/model_id"), QString());
        }
    }

    void commandLineQuirks()
    {
        // Option values are the next argument, whatever it looks like; a last option without one is no request.
        const struct
        {
            QStringList arguments;
            QStringList traceFiles;
            const char *level;
        } cases[] = {
            {{"--tracefile", "--loglevel", "WARN"}, {"--loglevel"}, "WARN"},
            {{"--loglevel", "--tracefile", "/t"}, {}, "--tracefile"},
            {{"--loglevel"}, {}, nullptr},
            {{"--loglevel", "INFO", "--loglevel", "ERROR"}, {}, "ERROR"},
            {{"--TRACEFILE", "/t", "--loglevel=INFO"}, {}, nullptr},
        };
        for (const auto &c : cases) {
            const FpcCommandLine commandLine(QStringList{"vomu-fpcd"} + c.arguments, true);
            QCOMPARE(commandLine.traceFileRequests(), c.traceFiles);
            QCOMPARE(commandLine.hasLogLevel(), c.level != nullptr);
            QCOMPARE(commandLine.logLevelName(), QString(c.level));
        }
    }

    void rdModeFlag()
    {
        QVERIFY(!FpcStartup::readRdModeFlag()); // no value at all
        for (const QByteArray value : {"enabled\n", "enabled", "enable", "disabled", ""}) {
            QVERIFY(m_root->setSysInfoValue("/device/rd-mode", value));
            QVERIFY2(FpcStartup::readRdModeFlag() == value.startsWith("enabled"), value.constData());
        }
    }

    void pathsFollowTheLayout()
    {
        // Every path lies below FPCD_ROOT in both layouts.
        const QString root = m_root->root();
        const bool distribution = FpcPaths::layout() == FpcPaths::Layout::Distribution;
        const QString state = distribution ? "/var/lib/vomu-fpcd/" : "/home/user/";
        QCOMPARE(FpcPaths::databaseFile(),
                 root + state + (distribution ? "private/fp.db" : ".vomu-fpcd/private/fp.db"));
        QCOMPARE(FpcPaths::reportDumpDirectory(), root + state);
        QCOMPARE(FpcPaths::logDirectory(),
                 root + (distribution ? "/var/log/vomu-fpcd/" : "/home/user/MyDocs/location_logs/"));
        QVERIFY(FpcPaths::shippedConfigFile().startsWith(root + "/"));
        QVERIFY(FpcPaths::shippedConfigFile().endsWith("/vomu-fpc/vomu-fpc.cfg"));
        if (!distribution) {
            QCOMPARE(FpcPaths::configFile(), root + "/usr/share/vomu-fpc/vomu-fpc.cfg");
            return;
        }
        // The administrator's file wins once it exists; until then the shipped default.
        QCOMPARE(FpcPaths::configFile(), FpcPaths::shippedConfigFile());
        QVERIFY(m_root->writeFile("/etc/vomu-fpcd/vomu-fpc.cfg", "<fpcconfig/>"));
        QCOMPARE(FpcPaths::configFile(), root + "/etc/vomu-fpcd/vomu-fpc.cfg");
    }

    void libraryTraceVariables()
    {
        qunsetenv("VOMURADIOMEASUREMENTS_TRACEFILE");
        qunsetenv("SLPGWAPI_TRACEFILE");
        const QStringList both = {"vomu-fpcd", "--enable-rmlogging", "--enable-slpgwapilogging"};
        FpcStartup::exportLibraryTraceVariables(FpcCommandLine(both, false), "/t"); // not in rd-mode: nothing
        QVERIFY(!qEnvironmentVariableIsSet("VOMURADIOMEASUREMENTS_TRACEFILE"));
        FpcStartup::exportLibraryTraceVariables(FpcCommandLine({"vomu-fpcd", "--enable-rmlogging"}, true), QString());
        QVERIFY(qEnvironmentVariableIsSet("VOMURADIOMEASUREMENTS_TRACEFILE"));
        QCOMPARE(qgetenv("VOMURADIOMEASUREMENTS_TRACEFILE"), QByteArray());
        QVERIFY(!qEnvironmentVariableIsSet("SLPGWAPI_TRACEFILE"));
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
