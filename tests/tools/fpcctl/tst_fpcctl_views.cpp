#include "FpcCtlCommandLine.h"
#include "FpcCtlKind.h"
#include "FpcCtlMap.h"
#include "FpcStatusReport.h"
#include "FpcCtlStatusView.h"
#include "FpcDatabaseReader.h"

#include <QJsonArray>
#include <QTest>

// fpcctl's pieces without a daemon: the command line, the reading of status reports, and the forms they are shown in.
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
        QTest::addColumn<QStringList>("rest");
        auto row = [](const char *name, QStringList arguments, QString error, QStringList rest = {}) {
            QTest::newRow(name) << arguments << error << rest;
        };
        row("negative value is an argument", {"config", "set", "timer_trigger_base_value", "-1"}, {},
            {"set", "timer_trigger_base_value", "-1"});
        row("after -- a dash word is an argument", {"config", "set", "--", "k", "--x"}, {}, {"set", "k", "--x"});
        row("no command", {"--json"}, "no command given");
        row("unknown command", {"stauts"}, "unknown command 'stauts'");
        row("option of another command", {"status", "--db", "x"}, "option '--db' does not apply to 'status'");
        row("format unknown", {"export", "--format", "kml"}, "unknown format 'kml'");
        row("unknown option", {"status", "--jsno"}, "unknown option 'jsno'");
        row("count zero", {"watch", "-n", "0"}, "invalid count");
        row("active needs on or off", {"active", "yes"}, "expected 'on' or 'off'");
        row("config set empty key", {"config", "set", "", "1"}, "must not be empty");
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        FpcCtlOptions options;
        QString reason;
        QCOMPARE(FpcCtlCommandLine::parse(arguments, &options, &reason), error.isEmpty());
        if (!error.isEmpty())
            QVERIFY2(reason.contains(error), qPrintable(reason));
        else
            QTEST(options.arguments, "rest");
    }

    void commandLineValues()
    {
        FpcCtlOptions options;
        QString error;
        QVERIFY(FpcCtlCommandLine::parse({"watch", "-n", "3", "--timeout=0.25", "-j"}, &options, &error));
        QVERIFY(options.count == 3 && options.timeoutMs == 250 && options.json);
        QVERIFY(FpcCtlCommandLine::parse({"export", "-f", "CSV", "-o", "out.csv"}, &options, &error));
        QCOMPARE(options.format, QStringLiteral("csv"));
        QVERIFY(FpcCtlCommandLine::parse({"--force", "config", "set", "k", "-2.5"}, &options, &error));
        QVERIFY(options.force && options.arguments == QStringList({"set", "k", "-2.5"}));
        for (const QString &command : FpcCtlCommandLine::commands())
            QVERIFY2(FpcCtlCommandLine::help(command).startsWith(QLatin1String("Usage: fpcctl ")), qPrintable(command));
    }

    void names()
    {
        // Full kinds and 48/64-bit addresses: tst_fpcctl_export; here the edges.
        QCOMPARE(FpcCtlKind::name(9), QStringLiteral("WLAN + GPS"));
        QCOMPARE(FpcCtlKind::name(0), QStringLiteral("empty"));
        QCOMPARE(FpcCtlKind::name(16), QStringLiteral("unknown (16)"));
        QCOMPARE(FpcDatabaseReader::macText(-1), QStringLiteral("ff:ff:ff:ff:ff:ff")); // the low six bytes
        QCOMPARE(FpcCtlStatusView::bar(130), QStringLiteral("[##############################] 130%"));
        QCOMPARE(FpcCtlMap::scaleLength(qQNaN()), 1.0);
        QCOMPARE(FpcCtlMap::distanceText(FpcCtlMap::scaleLength(2400)), QStringLiteral("2 km"));
    }

    void statusViews()
    {
        FpcStatusReport status;
        FpcStatusReport before;
        QString error;
        QVERIFY(FpcStatusReport::fromArguments(report({"1714557600250:15:W"}), &before, &error));
        QVERIFY(FpcStatusReport::fromArguments(report({"1714557600250:15:W", "1714557660000:10:G"}), &status, &error));
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1714557600 + 185, Qt::UTC);
        const QString page = FpcCtlStatusView::text(status, true, 4242, now);
        for (const char *line : {"pid 4242", "Active GPS: on", "Fingerprints: 2 stored (WCDMA 1, GSM 1)", "42%",
                                 "126000 of 300000 bytes", "3min 5s ago, 7 fingerprints"})
            QVERIFY2(page.contains(QLatin1String(line)), qPrintable(page));
        QVERIFY(FpcCtlStatusView::watchLine(status, &before, now).contains("2 fingerprints (+1)"));
        QVERIFY(before.sameReport(before) && !before.sameReport(status));

        // Limits left unset: the daemon works with its defaults.
        QVERIFY(FpcStatusReport::fromArguments(report({}, 0, 0), &status, &error));
        QVERIFY(FpcCtlStatusView::text(status, false, 0, now).contains("default maximum"));
        const QJsonObject json = FpcCtlStatusView::json(status, false, 0);
        QCOMPARE(json["buffer"]["maxSize"].toInt(), 300000);
        QCOMPARE(json["buffer"]["maxSizeConfigured"].toBool(), false);
        QVERIFY(json["fingerprints"]["oldest"].isNull() && !json.contains("pid"));
    }
};

QTEST_GUILESS_MAIN(TstFpcCtlViews)
#include "tst_fpcctl_views.moc"
