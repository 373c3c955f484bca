#include "FpcCtlCommandLine.h"
#include "FpcCtlDatabase.h"
#include "FpcCtlKind.h"
#include "FpcCtlMap.h"
#include "FpcCtlOutput.h"
#include "FpcCtlStatus.h"
#include "FpcCtlStatusView.h"

#include <QDBusArgument>
#include <QJsonArray>
#include <QTest>

// fpcctl's pieces without a daemon: the command line, the reading of status
// reports, and the forms they are shown in.
class TstFpcCtlViews : public QObject
{
    Q_OBJECT

    static QVariantList report(const QStringList &entries, quint32 maxSize = 300000, quint32 dailyLimit = 100000)
    {
        return {entries, 1714557600u, 42u, 126000u, maxSize, 5000u, dailyLimit, 7u};
    }

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("rest");

        auto ok = [](const char *name, QStringList arguments, QString command, QStringList rest) {
            QTest::newRow(name) << arguments << QString() << command << rest;
        };
        auto bad = [](const char *name, QStringList arguments, QString error) {
            QTest::newRow(name) << arguments << error << QString() << QStringList();
        };
        ok("options after the command", {"status", "--json", "-t", "2.5"}, "status", {});
        ok("negative value is an argument", {"config", "set", "timer_trigger_base_value", "-1"}, "config",
           {"set", "timer_trigger_base_value", "-1"});
        ok("after -- a dash word is an argument", {"config", "set", "--", "k", "--x"}, "config", {"set", "k", "--x"});
        ok("value with equals sign", {"export", "--format=CSV", "--db=/x/fp.db"}, "export", {});
        ok("help of a command ignores its arguments", {"active", "--help"}, "active", {});
        bad("no command", {"--json"}, "no command given");
        bad("unknown command", {"stauts"}, "unknown command 'stauts'");
        bad("unknown option", {"status", "--verbose"}, "unknown option '--verbose'");
        bad("option of another command", {"status", "--db", "x"}, "option '--db' does not apply to 'status'");
        bad("format unknown", {"export", "--format", "kml"}, "unknown format 'kml'");
        bad("missing option value", {"export", "--format"}, "needs a value");
        bad("flag with value", {"status", "--json=yes"}, "takes no value");
        bad("zero time-out", {"status", "--timeout", "0"}, "invalid time-out");
        bad("time-out not a number", {"status", "--timeout", "soon"}, "invalid time-out");
        bad("count zero", {"watch", "-n", "0"}, "invalid count");
        bad("active needs on or off", {"active", "yes"}, "expected 'on' or 'off'");
        bad("active without argument", {"active"}, "needs an argument");
        bad("config unknown action", {"config", "del", "x"}, "unknown config action 'del'");
        bad("config get without key", {"config", "get"}, "wrong number of arguments");
        bad("config set empty key", {"config", "set", "", "1"}, "must not be empty");
        bad("status with an argument", {"status", "now"}, "too many arguments");
        bad("log without restart", {"log", "stop"}, "unknown log action 'stop'");
        bad("help of unknown command", {"help", "nothing"}, "unknown command 'nothing'");
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        FpcCtlOptions options;
        QString reason;
        const bool ok = FpcCtlCommandLine::parse(arguments, &options, &reason);
        QCOMPARE(ok, error.isEmpty());
        if (!ok) {
            QVERIFY2(reason.contains(error), qPrintable(reason));
            return;
        }
        QTEST(options.command, "command");
        QTEST(options.arguments, "rest");
    }

    void commandLineValues()
    {
        FpcCtlOptions options;
        QString error;
        QVERIFY(FpcCtlCommandLine::parse({"watch", "-n", "3", "--timeout=0.25", "-j"}, &options, &error));
        QCOMPARE(options.count, 3);
        QCOMPARE(options.timeoutMs, 250);
        QVERIFY(options.json);
        QVERIFY(FpcCtlCommandLine::parse({"export", "-f", "CSV", "-o", "out.csv"}, &options, &error));
        QCOMPARE(options.format, QStringLiteral("csv"));
        QCOMPARE(options.output, QStringLiteral("out.csv"));
        // Every command has its own help.
        for (const QString &command : FpcCtlCommandLine::commands())
            QVERIFY2(FpcCtlCommandLine::help(command).startsWith(QLatin1String("Usage: fpcctl ")), qPrintable(command));
    }

    void kindNames_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("name");
        QTest::newRow("10") << 10 << "Cell + WLAN";
        QTest::newRow("14") << 14 << "Cell + WLAN + NeighborCell";
        QTest::newRow("3") << 3 << "Cell + GPS";
        QTest::newRow("7") << 7 << "Cell + GPS + NeighborCell";
        QTest::newRow("9") << 9 << "WLAN + GPS";
        QTest::newRow("11") << 11 << "Cell + WLAN + GPS";
        QTest::newRow("15") << 15 << "Cell + WLAN + GPS + NeighborCell";
        QTest::newRow("WLAN alone") << 8 << "WLAN";
        QTest::newRow("GPS alone") << 1 << "GPS";
        QTest::newRow("no bit") << 0 << "empty";
        QTest::newRow("beyond the bits") << 16 << "unknown (16)";
    }
    void kindNames()
    {
        QFETCH(int, mask);
        QTEST(FpcCtlKind::name(mask), "name");
    }

    void statusEntries()
    {
        FpcCtlStatus status;
        QString error;
        const QStringList entries{"1714557600250:15:W", "1714557660000:11:W", "1714557720000:7:G",
                                  "1714557780000:9",    "1714557540000:15:W", "garbage",
                                  "17:15:X",            "12:abc:G",           "1:2:G:extra"};
        QVERIFY(FpcCtlStatus::fromArguments(report(entries), &status, &error));
        QCOMPARE(status.total(), 9);
        QCOMPARE(status.unreadable, 4);
        QCOMPARE(status.wcdma, 3);
        QCOMPARE(status.gsm, 1);
        QCOMPARE(status.noRadio, 1);
        QCOMPARE(status.kinds.value(15), 2);
        QCOMPARE(status.kinds.value(9), 1);
        QCOMPARE(status.oldestMs, 1714557540000);
        QCOMPARE(status.newestMs, 1714557780000);
        QCOMPARE(status.lastUploadAmount, 7u);
    }

    void statusArgumentsChecked()
    {
        FpcCtlStatus status;
        QString error;
        QVERIFY(!FpcCtlStatus::fromArguments(report({}).mid(0, 7), &status, &error));
        QVariantList wrongType = report({});
        wrongType[3] = QVariant(qint64(126000));
        QVERIFY(!FpcCtlStatus::fromArguments(wrongType, &status, &error));
        QVariantList notList = report({});
        notList[0] = QStringLiteral("1:15:W");
        QVERIFY(!FpcCtlStatus::fromArguments(notList, &status, &error));
    }

    void statusPage()
    {
        FpcCtlStatus status;
        QString error;
        QVERIFY(FpcCtlStatus::fromArguments(report({"1714557600250:15:W", "1714557660000:15:W", "1714557720000:10:G"}),
                                            &status, &error));
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1714557600 + 185, Qt::UTC);
        const QString page = FpcCtlStatusView::text(status, true, 4242, now);
        QVERIFY2(page.contains("vomu-fpcd (com.vexlo.location.fpcd, pid 4242)"), qPrintable(page));
        QVERIFY2(page.contains("Active GPS: on"), qPrintable(page));
        QVERIFY2(page.contains("Fingerprints: 3 stored (WCDMA 2, GSM 1)"), qPrintable(page));
        QVERIFY2(page.contains("     2  Cell + WLAN + GPS + NeighborCell (15)\n"), qPrintable(page));
        QVERIFY2(page.contains("     1  Cell + WLAN (10)\n"), qPrintable(page));
        QVERIFY2(page.contains("[#############.................]  42%"), qPrintable(page));
        QVERIFY2(page.contains("Database: 123.0 KiB of 293.0 KiB (126000 of 300000 bytes)"), qPrintable(page));
        QVERIFY2(page.contains("Daily growth: 4.9 KiB of 97.7 KiB allowed (5%)"), qPrintable(page));
        QVERIFY2(page.contains("Last upload: Wed 2024-05-01 10:00:00 UTC; 3min 5s ago, 7 fingerprints"),
                 qPrintable(page));

        // Limits left unset: the daemon works with its defaults.
        QVERIFY(FpcCtlStatus::fromArguments(report({}, 0, 0), &status, &error));
        const QString unset = FpcCtlStatusView::text(status, false, 0, now);
        QVERIFY2(unset.contains("Fingerprints: none stored"), qPrintable(unset));
        QVERIFY2(unset.contains("Database: 123.0 KiB of 293.0 KiB (126000 of 300000 bytes; default maximum)"),
                 qPrintable(unset));
        QVERIFY2(unset.contains("Daily growth: 4.9 KiB of 97.7 KiB allowed (5%; default limit)"), qPrintable(unset));
        const QJsonObject json = FpcCtlStatusView::json(status, false, 0);
        QCOMPARE(json["buffer"]["maxSize"].toInt(), 300000);
        QCOMPARE(json["buffer"]["maxSizeConfigured"].toBool(), false);
        QCOMPARE(json["lastUpload"]["time"].toString(), QStringLiteral("2024-05-01T10:00:00.000Z"));
        QVERIFY(json["fingerprints"]["oldest"].isNull());
        QVERIFY(!json.contains("pid"));
    }

    void barAndAges_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("bar");
        QTest::newRow("empty") << 0 << "[..............................]   0%";
        QTest::newRow("full") << 100 << "[##############################] 100%";
        QTest::newRow("beyond full stays within the bar") << 130 << "[##############################] 130%";
    }
    void barAndAges()
    {
        QFETCH(int, percent);
        QTEST(FpcCtlStatusView::bar(uint(percent)), "bar");
    }

    void relativeTimes()
    {
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1714557600, Qt::UTC);
        QCOMPARE(FpcCtlOutput::relative(now, now), QStringLiteral("just now"));
        QCOMPARE(FpcCtlOutput::relative(now.addSecs(-3600 * 26 - 60), now), QStringLiteral("1 day 2h ago"));
        QCOMPARE(FpcCtlOutput::relative(now.addSecs(-7260), now), QStringLiteral("2h 1min ago"));
        QCOMPARE(FpcCtlOutput::relative(now.addSecs(5), now), QStringLiteral("in 5s"));
        QCOMPARE(FpcCtlOutput::bytes(1023), QStringLiteral("1023 B"));
        QCOMPARE(FpcCtlOutput::bytes(1536 * 1024), QStringLiteral("1.5 MiB"));
    }

    void watchLines()
    {
        FpcCtlStatus first;
        FpcCtlStatus second;
        QString error;
        QVERIFY(FpcCtlStatus::fromArguments(report({"1714557600250:15:W"}), &first, &error));
        QVERIFY(FpcCtlStatus::fromArguments(report({"1714557600250:15:W", "1714557660000:11:G"}), &second, &error));
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1714557660, Qt::UTC);
        QCOMPARE(FpcCtlStatusView::watchLine(second, &first, now),
                 QStringLiteral("2024-05-01 10:01:00  status  2 fingerprints (+1), fill 42%, db 123.0 KiB of 293.0 KiB, "
                                "growth 4.9 KiB of 97.7 KiB, last upload 1min ago (7)"));
        QVERIFY(!FpcCtlStatusView::watchLine(first, nullptr, now).contains("(+"));
        QVERIFY(first.sameReport(first) && !first.sameReport(second));
        QCOMPARE(FpcCtlStatusView::watchActiveLine(true, now), QStringLiteral("2024-05-01 10:01:00  active GPS on"));
        const QJsonObject json = FpcCtlStatusView::watchJson(second, now);
        QCOMPARE(json["event"].toString(), QStringLiteral("status"));
        QCOMPARE(json["fingerprints"]["total"].toInt(), 2);
        QCOMPARE(json["fingerprints"]["byRadio"]["GSM"].toInt(), 1);
    }

    void macText_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("48-bit") << qint64(112394521950) << "00:1a:2b:3c:4d:5e";
        QTest::newRow("largest 48-bit") << qint64(0xffffffffffffLL) << "ff:ff:ff:ff:ff:ff";
        QTest::newRow("64-bit") << qint64(0x0102030405060708LL) << "01:02:03:04:05:06:07:08";
        QTest::newRow("stored 0 of a refused address") << qint64(0) << "00:00:00:00:00:00";
        QTest::newRow("negative: low six bytes") << qint64(-1) << "ff:ff:ff:ff:ff:ff";
    }
    void macText()
    {
        QFETCH(qint64, value);
        QTEST(FpcCtlDatabase::macText(value), "text");
    }

    void scaleBar_data()
    {
        QTest::addColumn<double>("maximum");
        QTest::addColumn<double>("length");
        QTest::addColumn<QString>("text");
        QTest::newRow("below 1 m") << 0.3 << 1.0 << "1 m";
        QTest::newRow("just below 50") << 49.9 << 20.0 << "20 m";
        QTest::newRow("exactly 500") << 500.0 << 500.0 << "500 m";
        QTest::newRow("kilometres") << 2400.0 << 2000.0 << "2 km";
        QTest::newRow("not a number") << qQNaN() << 1.0 << "1 m";
    }
    void scaleBar()
    {
        QFETCH(double, maximum);
        QFETCH(double, length);
        QCOMPARE(FpcCtlMap::scaleLength(maximum), length);
        QTEST(FpcCtlMap::distanceText(length), "text");
    }
};

QTEST_GUILESS_MAIN(TstFpcCtlViews)
#include "tst_fpcctl_views.moc"
