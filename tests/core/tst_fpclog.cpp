#include "FpcLog.h"
#include "TempRoot.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <memory>

class TestFpcLog : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempRoot> m_root;
    QtMessageHandler m_previousHandler = nullptr;

    QString traceFile() const { return m_root->path("/trace.log"); }
    // The lines written after the "New logfile" line of setLogFile.
    QStringList linesAfterOpening() const
    {
        QStringList lines = QString::fromUtf8(TestSupport::readFile(traceFile())).split('\n');
        lines.removeFirst();
        lines.removeAll(QString());
        return lines;
    }
    void setSeed(const QByteArray &seed) { QVERIFY(m_root->writeFile("/home/user/MyDocs/location_logs/fpc_tracefile", seed)); }
    void touchLog(const QString &name) { QVERIFY(m_root->writeFile("/home/user/MyDocs/location_logs/" + name, "")); }
    // Runs action inside the event loop; true when the loop was quit before
    // the guard time ran out.
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
        m_root.reset();
    }

    void handlerFormatsAndFilters_data()
    {
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected"); // empty: dropped

        QTest::newRow("debug") << 1 << int(QtDebugMsg) << "plain text" << "Debug: plain text";
        QTest::newRow("info glued") << 1 << int(QtDebugMsg) << "[INFO]word" << "Info: word";
        QTest::newRow("info spaced") << 1 << int(QtDebugMsg) << "[INFO] word" << "Info: word";
        QTest::newRow("info two spaces") << 1 << int(QtDebugMsg) << "[INFO]  word" << "Info:  word";
        QTest::newRow("error prefix") << 4 << int(QtDebugMsg) << "[ERROR] bad" << "Error: bad";
        QTest::newRow("prefix not at start") << 1 << int(QtDebugMsg) << "x [INFO] y" << "Debug: x [INFO] y";
        QTest::newRow("prefix case") << 2 << int(QtDebugMsg) << "[info] y" << "";
        QTest::newRow("debug below info") << 2 << int(QtDebugMsg) << "plain" << "";
        QTest::newRow("info at info") << 2 << int(QtDebugMsg) << "[INFO]kept" << "Info: kept";
        QTest::newRow("info below error") << 4 << int(QtDebugMsg) << "[INFO]x" << "";
        QTest::newRow("warning at warn") << 3 << int(QtWarningMsg) << "w" << "Warning: w";
        QTest::newRow("warning below error") << 4 << int(QtWarningMsg) << "w" << "";
        QTest::newRow("critical") << 5 << int(QtCriticalMsg) << "c" << "Critical: c";
        QTest::newRow("critical below fatal") << 6 << int(QtCriticalMsg) << "c" << "";
        QTest::newRow("qt info") << 2 << int(QtInfoMsg) << "i" << "Info: i";
    }
    void handlerFormatsAndFilters()
    {
        QFETCH(int, threshold);
        QFETCH(int, type);
        QFETCH(QString, message);
        QFETCH(QString, expected);

        FpcLog::setLogFile(traceFile());
        FpcLog::setThreshold(threshold);
        FpcLog::messageHandler(QtMsgType(type), QMessageLogContext(), message);

        const QStringList lines = linesAfterOpening();
        if (expected.isEmpty()) {
            QVERIFY2(lines.isEmpty(), qPrintable(lines.join('|')));
            return;
        }
        QCOMPARE(lines.size(), 1);
        static const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (.*)$");
        const QRegularExpressionMatch match = stamp.match(lines.first());
        QVERIFY2(match.hasMatch(), qPrintable(lines.first()));
        QCOMPARE(match.captured(1), expected);
    }

    void qtStreamsReachTheFile()
    {
        FpcLog::setLogFile(traceFile());
        qDebug() << "FpcConfig::getValue() key=" << QStringLiteral("k");
        QVERIFY(linesAfterOpening().value(0).endsWith("Debug: FpcConfig::getValue() key= \"k\""));
    }

    void fatalIsWrittenAndQuits()
    {
        FpcLog::setLogFile(traceFile());
        FpcLog::setThreshold(FpcLog::Fatal);
        QVERIFY(loopQuitBy([] { FpcLog::messageHandler(QtFatalMsg, QMessageLogContext(), "boom"); }, 10000));
        QVERIFY(linesAfterOpening().value(0).endsWith("Fatal: boom"));
    }

    void withoutTraceFileFatalIsDroppedAndDoesNotQuit()
    {
        // A quit request would end the loop at once; 300 ms leave ample room.
        QVERIFY(!loopQuitBy([] { FpcLog::messageHandler(QtFatalMsg, QMessageLogContext(), "boom"); }, 300));
    }

    void setLogFileAppendsAndKeepsNameOnFailure()
    {
        QVERIFY(m_root->writeFile("/trace.log", "old line\n"));
        FpcLog::setLogFile(traceFile());
        QVERIFY(TestSupport::readFile(traceFile()).startsWith("old line\n"));
        QVERIFY(TestSupport::readFile(traceFile()).contains("FpcEventHandler::setLogFile() New logfile:  \""));

        FpcLog::setLogFile(m_root->path("/missing/dir/x.log"));
        QVERIFY(!FpcLog::hasLogFile());
        QCOMPARE(FpcLog::logFileName(), traceFile());
    }

    void lttWorkedExample()
    {
        setSeed("run0001\nignored second line\n");
        const QString dir = m_root->logDirectory();
        FpcLog::restartLogging();
        QCOMPARE(FpcLog::logFileName(), dir + "fpc_run0001.log");

        FpcLog::setLogFile(QString()); // the next start of the daemon
        FpcLog::restartLogging();
        QCOMPARE(FpcLog::logFileName(), dir + "fpc_run0002.log");
        QVERIFY(TestSupport::readFile(dir + "fpc_run0002.log").contains("Logging started to file:"));

        FpcLog::restartLogging(); // already tracing to a matching file
        QCOMPARE(FpcLog::logFileName(), dir + "fpc_run0002.log");
        QVERIFY(!QFile::exists(dir + "fpc_run0003.log"));
        QVERIFY(TestSupport::readFile(dir + "fpc_run0002.log").contains("LTT loggin already ongoing ->"));
    }

    void lttNextIndex_data()
    {
        QTest::addColumn<QByteArray>("seed");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");

        QTest::newRow("greatest wins") << QByteArray("run0001") << QStringList{"fpc_run0009.log", "fpc_run0010.log", "fpc_run0002.log"} << "fpc_run0011.log";
        QTest::newRow("wide index") << QByteArray("run0001") << QStringList{"fpc_run12345.log"} << "fpc_run12346.log";
        QTest::newRow("short seed matches all") << QByteArray("abcd") << QStringList{"fpc_0007.log", "fpc_run0009.log"} << "fpc_0008.log";
        QTest::newRow("empty seed") << QByteArray("") << QStringList{} << "fpc_0001.log"; // fpc_tracefile itself matches
        QTest::newRow("index overflow counts 0") << QByteArray("run0001") << QStringList{"fpc_run99999999999.log"} << "fpc_run0001.log";
    }
    void lttNextIndex()
    {
        QFETCH(QByteArray, seed);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        setSeed(seed);
        for (const QString &name : existing)
            touchLog(name);
        FpcLog::restartLogging();
        QCOMPARE(FpcLog::logFileName(), m_root->logDirectory() + expected);
        QVERIFY(FpcLog::hasLogFile());
    }

    void lttWithoutSeedFileStopsLogging()
    {
        FpcLog::setLogFile(traceFile());
        FpcLog::restartLogging();
        QVERIFY(!FpcLog::hasLogFile());
        QVERIFY(TestSupport::readFile(traceFile()).contains("tracepathfile doesn't exist - stop logging"));
    }

    void lttKeepsTraceFileWhenNotAllowed_data()
    {
        QTest::addColumn<bool>("rdMode");
        QTest::addColumn<QByteArray>("seed");
        QTest::newRow("rd-mode off") << false << QByteArray("run0001");
        QTest::newRow("seed with a path") << true << QByteArray("../../../etc/x0001");
    }
    void lttKeepsTraceFileWhenNotAllowed()
    {
        QFETCH(bool, rdMode);
        QFETCH(QByteArray, seed);
        setSeed(seed);
        FpcLog::setRdMode(rdMode);
        FpcLog::setLogFile(traceFile());
        FpcLog::restartLogging();
        QCOMPARE(FpcLog::logFileName(), traceFile());
        QVERIFY(FpcLog::hasLogFile());
        QCOMPARE(QDir(m_root->logDirectory()).entryList({"*.log"}), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestFpcLog)
#include "tst_fpclog.moc"
