#include "CtlRunner.h"
#include "FpcCtlDatabase.h"
#include "FpcCtlExporter.h"
#include "FpcCtlMap.h"
#include "KnownDatabase.h"

#include <QCryptographicHash>
#include <QDomDocument>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// Export and map of a known database: what the reader takes from the rows,
// the GeoJSON, CSV and SVG written from it, and the binary's exit status -
// all without a daemon, and without changing the database.
class TstFpcCtlExport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

    static QByteArray digest(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                              : QByteArray();
    }

    QList<FpcCtlRecord> readKnown()
    {
        QList<FpcCtlRecord> records;
        QString error;
        [&] { QVERIFY2(FpcCtlDatabase::read(m_db, &records, &error), qPrintable(error)); }();
        return records;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("fp.db"));
        QString error;
        QVERIFY2(KnownDatabase::create(m_db, &error), qPrintable(error));
    }

    void readerTakesRowsAsStored()
    {
        const QList<FpcCtlRecord> records = readKnown();
        QCOMPARE(records.size(), KnownDatabase::Total);
        for (int i = 0; i < records.size(); ++i) {
            QCOMPARE(records[i].id, qint64(i + 1));
            QCOMPARE(records[i].timeMs, KnownDatabase::FirstBirthMs + 60000 * i);
        }
        const FpcCtlRecord &first = records[0];
        QVERIFY(first.hasPosition && first.hasWcdma && !first.hasGsm);
        QCOMPARE(first.wcdma.neighbours.size(), 2);
        QCOMPARE(first.wlans.size(), 3);
        QCOMPARE(records[1].exported, true);
        QCOMPARE(records[2].gsm.neighbours.size(), 1);
        QVERIFY(!records[3].hasPosition);
        QCOMPARE(records[3].wlans.size(), 3);
        // An out-of-range latitude is no position.
        QVERIFY(!records[5].hasPosition && records[5].hasGsm);
    }

    void geoJson()
    {
        const QJsonDocument document = QJsonDocument::fromJson(FpcCtlExporter::geoJson(readKnown()));
        QCOMPARE(document["type"].toString(), QStringLiteral("FeatureCollection"));
        const QJsonArray features = document["features"].toArray();
        QCOMPARE(features.size(), KnownDatabase::Total);

        const QJsonObject first = features[0].toObject();
        QCOMPARE(first["id"].toInt(), 1);
        QCOMPARE(first["geometry"]["type"].toString(), QStringLiteral("Point"));
        // GeoJSON order: longitude first.
        QCOMPARE(first["geometry"]["coordinates"][0].toDouble(), 24.9384);
        QCOMPARE(first["geometry"]["coordinates"][1].toDouble(), 60.1699);
        const QJsonObject properties = first["properties"].toObject();
        QCOMPARE(properties["time"].toString(), QStringLiteral("2024-05-01T10:00:00.250Z"));
        QCOMPARE(properties["kind"].toString(), QStringLiteral("Cell + WLAN + GPS + NeighborCell"));
        QCOMPARE(properties["radio"].toString(), QStringLiteral("WCDMA"));
        QCOMPARE(properties["position"]["cep68"].toInt(), 8);
        QCOMPARE(properties["position"]["time"].toString(), QStringLiteral("2024-05-01T10:00:00.250Z"));
        QCOMPARE(properties["wcdma"]["ucid"].toInteger(), qint64(123456789));
        QCOMPARE(properties["wcdma"]["lac"].toInt(), 4100);
        // Not measured: null, never -1 or -100.
        const QJsonObject neighbour = properties["wcdma"]["neighbours"][0].toObject();
        QVERIFY(neighbour["ucid"].isNull() && neighbour["rscp"].isNull() && neighbour["pathloss"].isNull());
        QCOMPARE(neighbour["rssi"].toInt(), 40);
        QCOMPARE(properties["wlan"][0]["mac"].toString(), QStringLiteral("00:1a:2b:3c:4d:5e"));
        QVERIFY(properties["wlan"][0]["rssi"].isNull());
        QCOMPARE(properties["wlan"][1]["rssi"].toInt(), 30);

        const QJsonObject gsm = features[2]["properties"]["gsm"].toObject();
        QVERIFY(gsm["rxLevel"].isNull() && gsm["timingAdvance"].isNull());
        QVERIFY(gsm["neighbours"][0]["rxLevel"].isNull());
        QCOMPARE(features[1]["properties"]["exported"].toBool(), true);
        // Without position: a feature all the same, with a null geometry.
        QVERIFY(features[3]["geometry"].isNull());
        QCOMPARE(features[3]["properties"]["wlan"][2]["mac"].toString(), QStringLiteral("01:02:03:04:05:06:07:08"));
        QVERIFY(features[4]["properties"]["radio"].isNull());
        QVERIFY(features[5]["geometry"].isNull());
    }

    void csv()
    {
        const QList<QByteArray> lines = FpcCtlExporter::csv(readKnown()).split('\n');
        QCOMPARE(lines.size(), KnownDatabase::Total + 2); // header, rows, empty after the last line end
        QCOMPARE(lines[0], QByteArray("id,time,kind,data_mask,radio,exported,latitude,longitude,altitude,"
                                      "altitude_uncertainty,cep68,mcc,mnc,lac,cell_id,rx_level,timing_advance,"
                                      "neighbour_cells,wlan_count,wlan"));
        QCOMPARE(lines[1], QByteArray("1,2024-05-01T10:00:00.250Z,Cell + WLAN + GPS + NeighborCell,15,WCDMA,0,60.1699,"
                                      "24.9384,12,5,8,244,5,4100,123456789,,,2,3,"
                                      "00:1a:2b:3c:4d:5e/-60;00:1a:2b:3c:4d:5f/-70;00:1a:2b:3c:4d:60/-80"));
        QCOMPARE(lines[3], QByteArray("3,2024-05-01T10:02:00.250Z,Cell + GPS + NeighborCell,7,GSM,0,60.172,24.942,14,6,"
                                      "10,244,91,100,200,,,1,0,"));
        QVERIFY(lines[4].startsWith("4,2024-05-01T10:03:00.250Z,Cell + WLAN,10,GSM,0,,,,,,244,91,100,201,40,3,0,3,"));
        QCOMPARE(lines[5], QByteArray("5,2024-05-01T10:04:00.250Z,WLAN + GPS,9,,0,60.169,24.936,15,7,11,,,,,,,0,1,"
                                      "00:1a:2b:3c:4d:5e/-62"));
    }

    void svgMap()
    {
        const QList<FpcCtlRecord> records = readKnown();
        const FpcCtlMap::Summary summary = FpcCtlMap::summarize(records);
        QCOMPARE(summary.total, KnownDatabase::Total);
        QCOMPARE(summary.drawn, KnownDatabase::Drawn);
        QCOMPARE(summary.gsmCells, KnownDatabase::GsmCells);
        QCOMPARE(summary.wcdmaCells, KnownDatabase::WcdmaCells);
        QCOMPARE(summary.accessPoints, KnownDatabase::AccessPoints);

        // A hostile subtitle must not break the document.
        const QByteArray svg = FpcCtlMap::svg(records, QStringLiteral("/tmp/<a & \"b\">\x01.db"));
        QDomDocument document;
        QString error;
        QVERIFY2(document.setContent(svg, &error), qPrintable(error));
        QCOMPARE(document.documentElement().tagName(), QStringLiteral("svg"));
        // One dot per positioned fingerprint plus one legend swatch per kind drawn.
        QCOMPARE(document.elementsByTagName(QStringLiteral("title")).size(), KnownDatabase::Drawn);
        QCOMPARE(document.elementsByTagName(QStringLiteral("circle")).size(), KnownDatabase::Drawn * 2);
        QVERIFY(svg.contains("Without position (not drawn): 2"));
        QVERIFY(svg.contains("Serving cells: 4"));
        QVERIFY(svg.contains("GSM 3, WCDMA 1"));
        QVERIFY(svg.contains("Access points: 7"));
        QVERIFY(svg.contains(">100 m</text>"));

        // Every dot inside the plot, the northernmost highest.
        double topY = 1e9;
        QString topTitle;
        const QDomNodeList circles = document.elementsByTagName(QStringLiteral("circle"));
        for (int i = 0; i < circles.size(); ++i) {
            const QDomElement circle = circles.at(i).toElement();
            if (circle.firstChildElement(QStringLiteral("title")).isNull())
                continue;
            const double x = circle.attribute(QStringLiteral("cx")).toDouble();
            const double y = circle.attribute(QStringLiteral("cy")).toDouble();
            QVERIFY(x >= 20 && x <= 780 && y >= 70 && y <= 700);
            if (y < topY) {
                topY = y;
                topTitle = circle.text();
            }
        }
        QVERIFY2(topTitle.startsWith(QLatin1String("#3 ")), qPrintable(topTitle));
    }

    void mapOfNothingDrawable()
    {
        FpcCtlRecord lone;
        lone.id = 1;
        lone.dataMask = 9;
        lone.hasPosition = true;
        lone.position.latitude = -33.9;
        lone.position.longitude = 151.2;
        QDomDocument document;
        QVERIFY(document.setContent(FpcCtlMap::svg({lone}, QString())));
        QCOMPARE(document.elementsByTagName(QStringLiteral("title")).size(), 1);
        QVERIFY(FpcCtlMap::svg({}, QString()).contains("No fingerprint with a position"));
    }

    void binaryLeavesDatabaseUntouched()
    {
        const QByteArray before = digest(m_db);
        const QString svg = m_dir.filePath(QStringLiteral("map.svg"));
        const QString csv = m_dir.filePath(QStringLiteral("out.csv"));

        CtlResult result = CtlRunner::run({"export", "--db", m_db});
        QVERIFY2(result.exitCode == 0, result.describe());
        QCOMPARE(result.json()["features"].toArray().size(), KnownDatabase::Total);

        result = CtlRunner::run({"export", "--db", m_db, "--format", "csv", "-o", csv, "--json"});
        QVERIFY2(result.exitCode == 0, result.describe());
        QCOMPARE(result.json()["fingerprints"].toInt(), KnownDatabase::Total);
        QCOMPARE(QFile(csv).size(), qint64(FpcCtlExporter::csv(readKnown()).size()));

        result = CtlRunner::run({"map", "--db", m_db, "-o", svg});
        QVERIFY2(result.exitCode == 0, result.describe());
        QVERIFY2(result.out.contains("Map of 6 fingerprints (4 drawn, 2 without position) written to"),
                 result.describe());
        QVERIFY(QFile::exists(svg));

        result = CtlRunner::run({"map", "--db", m_db, "-o", "-"});
        QVERIFY2(result.exitCode == 0 && result.out.startsWith("<?xml"), result.describe());

        QCOMPARE(digest(m_db), before);
        QVERIFY(!QFile::exists(m_db + QStringLiteral("-journal")));
    }

    void writeAheadLogReadWhileWriterHoldsIt()
    {
        // The daemon keeps its database in WAL mode: rows committed to the
        // log but not yet copied back must be seen by the read-only reader.
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
            QVERIFY(QFile::exists(path + QStringLiteral("-wal")));
            // And an open write transaction that the reader must not see.
            QVERIFY(writer.transaction());
            QVERIFY(query.exec(QStringLiteral("DELETE FROM Fingerprint")));

            const CtlResult result = CtlRunner::run({"export", "--db", path, "--format", "csv"});
            QVERIFY2(result.exitCode == 0, result.describe());
            QCOMPARE(result.out.count('\n'), KnownDatabase::Total + 2);
            QVERIFY(writer.rollback());
            query.finish();
            writer.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    }

    void unusableDatabases_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray() << "no database at";
        QTest::newRow("not SQLite") << QByteArray("this is no database, just some text\n").repeated(200)
                                    << "file is not a database";
        QTest::newRow("SQLite without fingerprints") << QByteArray("sql:CREATE TABLE Other(x INT)")
                                                     << "not a fingerprint database";
    }
    void unusableDatabases()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'));
        if (contents.startsWith("sql:")) {
            QString error;
            QVERIFY2(KnownDatabase::execute(path, {QString::fromUtf8(contents.mid(4))}, &error), qPrintable(error));
        } else if (!contents.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        for (const QString &command : {QStringLiteral("export"), QStringLiteral("map")}) {
            const CtlResult result = CtlRunner::run({command, "--db", path, "-o", m_dir.filePath("unused")});
            QVERIFY2(result.exitCode == 5, result.describe());
            QVERIFY2(result.err.contains(reason.toUtf8()) && result.err.count('\n') == 1, result.describe());
            QVERIFY(result.out.isEmpty());
        }
        QVERIFY(!QFile::exists(m_dir.filePath("unused")));
    }

    void unwritableOutput()
    {
        const CtlResult result = CtlRunner::run({"map", "--db", m_db, "-o", m_dir.filePath("no/such/dir/map.svg")});
        QVERIFY2(result.exitCode == 5 && result.err.startsWith("fpcctl: cannot write"), result.describe());
    }
};

QTEST_GUILESS_MAIN(TstFpcCtlExport)
#include "tst_fpcctl_export.moc"
