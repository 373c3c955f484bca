#include "CtlRunner.h"
#include "FpcCtlCommandLine.h"
#include "FpcCtlExporter.h"
#include "FpcCtlKind.h"
#include "FpcCtlMap.h"
#include "FpcCtlStatusView.h"
#include "FpcDatabaseReader.h"
#include "FpcStatusReport.h"
#include "FpcZoneText.h"
#include "KnownDatabase.h"
#include "TestSupport.h"

#include <QDomDocument>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// fpcctl without a daemon: command line, status views, and read-only export and map of a known database.
class TstFpcCtl : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

    CtlResult run(QStringList arguments) { return CtlRunner::run(arguments << "--db" << m_db); }
    static QVariantList report(const QStringList &entries, quint32 maxSize = 300000, quint32 dailyLimit = 100000)
    {
        return {entries, 1714557600u, 42u, 126000u, maxSize, 5500u, dailyLimit, 7u};
    }

private slots:
    void initTestCase()
    {
        m_db = m_dir.filePath(QStringLiteral("fp.db"));
        QString error;
        QVERIFY2(KnownDatabase::create(m_db, &error), qPrintable(error));
        qputenv("TZ", "UTC");
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("rest");
        auto row = [](const char *name, QStringList arguments, QString error, QStringList rest = {}) {
            QTest::newRow(name) << arguments << error << rest;
        };
        row("after -- a dash word is an argument", {"config", "set", "--", "k", "--x"}, {}, {"set", "k", "--x"});
        row("no command", {"--json"}, "no command given");
        row("unknown command", {"stauts"}, "unknown command 'stauts'");
        row("option of another command", {"status", "--db", "x"}, "option '--db' does not apply to 'status'");
        row("format unknown", {"export", "--format", "kml"}, "unknown format 'kml'");
        row("unknown option", {"status", "--jsno"}, "unknown option 'jsno'");
        row("count zero", {"watch", "-n", "0"}, "invalid count");
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
        // Full kinds and 48/64-bit addresses: geoJsonAndCsv; here the edges.
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
                                 "126000 of 300000 bytes", "allowed (6%)", "3min 5s ago, 7 fingerprints"})
            QVERIFY2(page.contains(QLatin1String(line)), qPrintable(page));
        QVERIFY(FpcCtlStatusView::watchLine(status, &before, now).contains("2 fingerprints (+1)"));

        // Limits left unset: the daemon works with its defaults.
        QVERIFY(FpcStatusReport::fromArguments(report({}, 0, 0), &status, &error));
        QVERIFY(FpcCtlStatusView::text(status, false, 0, now).contains("default maximum"));
        const QJsonObject json = FpcCtlStatusView::json(status, false, 0);
        QCOMPARE(json["buffer"]["maxSize"].toInt(), 300000);
        QCOMPARE(json["buffer"]["maxSizeConfigured"].toBool(), false);
        QVERIFY(json["fingerprints"]["oldest"].isNull() && !json.contains("pid"));
    }

    void geoJsonAndCsv()
    {
        const QByteArray before = TestSupport::readFile(m_db);
        CtlResult result = run({"export"});
        QVERIFY2(result.exitCode == 0, result.describe());
        const QJsonArray features = result.json()["features"].toArray();
        QCOMPARE(features.size(), KnownDatabase::Total);
        const QJsonObject first = features[0].toObject();
        // GeoJSON order: longitude first.
        QCOMPARE(first["geometry"]["coordinates"].toArray(), (QJsonArray{24.9384, 60.1699}));
        const QJsonObject properties = first["properties"].toObject();
        QCOMPARE(properties["time"].toString(), QStringLiteral("2024-05-01T10:00:00.250Z"));
        QCOMPARE(properties["kind"].toString(), QStringLiteral("Cell + WLAN + GPS + NeighborCell"));
        QCOMPARE(properties["wcdma"]["ucid"].toInteger(), qint64(123456789));
        // Not measured: null, never -1 or -100.
        const QJsonObject neighbour = properties["wcdma"]["neighbours"][0].toObject();
        QVERIFY(neighbour["ucid"].isNull() && neighbour["rscp"].isNull() && neighbour["rssi"].toInt() == 40);
        QVERIFY(properties["wlan"][0]["rssi"].isNull() && properties["wlan"][1]["rssi"].toInt() == 30);
        // No position, or one out of range: a feature with a null geometry.
        QVERIFY(features[3]["geometry"].isNull() && features[5]["geometry"].isNull());
        QCOMPARE(features[3]["properties"]["wlan"][2]["mac"].toString(), QStringLiteral("01:02:03:04:05:06:07:08"));

        const QString csvPath = m_dir.filePath(QStringLiteral("out.csv"));
        result = run({"export", "--format", "csv", "-o", csvPath, "--json"});
        QVERIFY2(result.exitCode == 0 && result.json()["fingerprints"].toInt() == KnownDatabase::Total,
                 result.describe());
        const QList<QByteArray> lines = TestSupport::readFile(csvPath).trimmed().split('\n');
        QCOMPARE(lines.size(), KnownDatabase::Total + 1);
        const QList<QByteArray> header = lines[0].split(',');
        for (const QByteArray &line : lines)
            QCOMPARE(line.count(','), header.size() - 1);
        const QList<QByteArray> row = lines[1].split(',');
        QCOMPARE(row[header.indexOf("latitude")], QByteArray("60.1699"));
        QCOMPARE(row[header.indexOf("wlan")],
                 QByteArray("00:1a:2b:3c:4d:5e/-60;00:1a:2b:3c:4d:5f/-70;00:1a:2b:3c:4d:60/-80"));
        QCOMPARE(lines[4].split(',')[header.indexOf("latitude")], QByteArray());

        QCOMPARE(TestSupport::readFile(m_db), before);
        QVERIFY(!QFile::exists(m_db + QStringLiteral("-journal")));
    }

    // Only fingerprints with a position, 48-bit BSSIDs, and what the test server's format check accepts.
    void geosubmit()
    {
        const CtlResult result = run({"export", "--format", "geosubmit"});
        QVERIFY2(result.exitCode == 0, result.describe());
        const QJsonArray items = result.json()["items"].toArray();
        QCOMPARE(items.size(), KnownDatabase::Total - 2);
        const QJsonObject first = items[0].toObject();
        QCOMPARE(first["position"]["latitude"].toDouble(), 60.1699);
        QCOMPARE(first["cellTowers"][0]["radioType"].toString(), QStringLiteral("wcdma"));
        QCOMPARE(first["cellTowers"][0]["cellId"].toInteger(), qint64(123456789));
        QCOMPARE(first["wifiAccessPoints"][0].toObject(),
                 (QJsonObject{{"macAddress", "00:1a:2b:3c:4d:5e"}, {"signalStrength", -60}}));
        QVERIFY(!result.out.contains("ssid") && !result.out.contains("01:02:03:04:05:06:07:08"));

        QProcess check;
        check.setWorkingDirectory(QStringLiteral(FPCD_SOURCE_DIR "/tools/fpserver"));
        check.start(QStringLiteral("python3"),
                    {QStringLiteral("-c"),
                     QStringLiteral("import json, sys, fpserver; e = fpserver.geosubmit_errors(json.load(sys.stdin)); "
                                    "print(e); sys.exit(1 if e else 0)")});
        check.write(result.out);
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(30000));
        QVERIFY2(check.exitCode() == 0, check.readAll().constData());
    }

    void svgMap()
    {
        QList<FpcCtlRecord> records;
        QString error;
        QVERIFY2(FpcDatabaseReader::read(m_db, &records, &error), qPrintable(error));
        const FpcCtlMap::Summary summary = FpcCtlMap::summarize(records);
        QVERIFY(summary.drawn == KnownDatabase::Drawn && summary.gsmCells == KnownDatabase::GsmCells
                && summary.wcdmaCells == KnownDatabase::WcdmaCells
                && summary.accessPoints == KnownDatabase::AccessPoints);
        // A hostile subtitle must not break the document.
        const QByteArray svg = FpcCtlMap::svg(records, QStringLiteral("/tmp/<a & \"b\">\x01.db"));
        QDomDocument document;
        QVERIFY2(document.setContent(svg, &error), qPrintable(error));
        QCOMPARE(svg.count("class=\"fp\""), KnownDatabase::Drawn);
        QVERIFY(svg.contains("Without position (not drawn): 2") && svg.contains("Access points: 7"));
        QVERIFY(FpcCtlMap::svg({}, QString()).contains("No fingerprint with a position"));

        const CtlResult result = run({"map", "-o", m_dir.filePath(QStringLiteral("map.svg"))});
        QVERIFY2(result.exitCode == 0 && result.out.contains("Map of 6 fingerprints (4 drawn, 2 without position)"),
                 result.describe());
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("map.svg"))));

        // Cell markers at their fingerprints' centroid, a colour per cell, dot-to-cell links, zones to scale.
        QStringList refused;
        const auto zones =
            FpcZoneText::parse(QStringLiteral("60.1699,24.9384,100; 1,2; 95,0,5; 60,24,0; 60,24,nan; x,24,9;;"),
                               &refused);
        QVERIFY(zones.size() == 1 && refused.size() == 5);
        QVERIFY2(document.setContent(FpcCtlMap::svg(records, QString(), zones), &error), qPrintable(error));
        const QDomNodeList titles = document.elementsByTagName(QStringLiteral("title"));
        const auto titled = [&](const QString &start) {
            for (int i = 0; i < titles.size(); ++i) {
                if (titles.at(i).toElement().text().startsWith(start))
                    return titles.at(i).parentNode().toElement();
            }
            return QDomElement();
        };
        const auto at = [](const QDomElement &e, const char *name) {
            return e.attribute(QLatin1String(name)).toDouble();
        };
        const QDomElement first = titled(QStringLiteral("#1 "));
        const QDomElement second = titled(QStringLiteral("#2 "));
        const QDomElement third = titled(QStringLiteral("#3 "));
        const QDomElement cell = titled(QStringLiteral("Serving cell wcdma 244/5/123456789:"));
        QVERIFY(!first.isNull() && !second.isNull() && !third.isNull() && !cell.isNull());
        // Every dot inside the plot, the northernmost (#3) highest.
        for (const QDomElement &dot : {first, second, third, titled(QStringLiteral("#5 "))})
            QVERIFY(at(dot, "cx") >= 20 && at(dot, "cx") <= 780 && at(dot, "cy") >= at(third, "cy")
                    && at(dot, "cy") <= 700);
        QVERIFY(at(third, "cy") >= 70 && at(third, "cy") < at(first, "cy"));
        QVERIFY(qAbs(at(cell, "x") + 6 - (at(first, "cx") + at(second, "cx")) / 2) < 0.15);
        QVERIFY(qAbs(at(cell, "y") + 6 - (at(first, "cy") + at(second, "cy")) / 2) < 0.15);
        QCOMPARE(first.attribute("fill"), second.attribute("fill"));
        QVERIFY(first.attribute("fill") != third.attribute("fill"));
        const QDomElement link = first.nextSiblingElement();
        QVERIFY(link.attribute("class") == "link" && qAbs(at(link, "x2") - at(cell, "x") - 6) < 0.15);
        // 100 m against the 0.0021 degrees of latitude between #1 and #3.
        const QDomElement zone = titled(QStringLiteral("Privacy zone, 100 m"));
        const double metresPerPixel = 0.0021 * FpcCtlMap::MetresPerDegree / (at(first, "cy") - at(third, "cy"));
        QVERIFY(!zone.isNull() && qAbs(at(zone, "r") - 100 / metresPerPixel) < 0.2);
    }

    void writeAheadLogReadWhileWriterHoldsIt()
    {
        // Rows committed to the log but not yet copied back are seen; an open write transaction is not.
        const QString path = m_dir.filePath(QStringLiteral("wal.db"));
        QString error;
        QVERIFY2(KnownDatabase::create(path, &error, true), qPrintable(error));
        {
            QSqlDatabase writer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
            writer.setDatabaseName(path);
            QVERIFY(writer.open());
            QSqlQuery query(writer);
            QVERIFY(query.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0")));
            QVERIFY(query.exec(QStringLiteral("INSERT INTO Fingerprint (time, timeMSecs, exported, dataMask) "
                                              "VALUES (1714558000, 0, 0, 8)")));
            QVERIFY(writer.transaction() && query.exec(QStringLiteral("DELETE FROM Fingerprint")));
            const CtlResult result = CtlRunner::run({"export", "--db", path, "--format", "csv"});
            QVERIFY2(result.exitCode == 0 && result.out.count('\n') == KnownDatabase::Total + 2, result.describe());
            QVERIFY(writer.rollback());
            query.finish();
            writer.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    }

    void unusableDatabases()
    {
        const QString text = m_dir.filePath(QStringLiteral("text.db"));
        const QString other = m_dir.filePath(QStringLiteral("other.db"));
        QString error;
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray("no database\n").repeated(400)) > 0);
        file.close();
        QVERIFY2(KnownDatabase::execute(other, {QStringLiteral("CREATE TABLE Other(x INT)")}, &error),
                 qPrintable(error));
        const QList<QPair<QString, QByteArray>> cases{{m_dir.filePath("missing.db"), "no database at"},
                                                      {text, "file is not a database"},
                                                      {other, "not a fingerprint database"}};
        for (const auto &[path, reason] : cases) {
            for (const QString &command : {QStringLiteral("export"), QStringLiteral("map")})
                QVERIFY(CtlRunner::run({command, "--db", path, "-o", m_dir.filePath("unused")}).refused(5, reason));
        }
        // Read-only: the file that is no database is left as it was, nothing is created.
        QVERIFY(TestSupport::readFile(text) == QByteArray("no database\n").repeated(400)
                && !QFile::exists(m_dir.filePath("unused")) && !QFile::exists(m_dir.filePath("missing.db")));
        QVERIFY(run({"map", "-o", m_dir.filePath("no/such/dir/map.svg")}).refused(5, "cannot write"));
    }
};

QTEST_GUILESS_MAIN(TstFpcCtl)
#include "tst_fpcctl.moc"
