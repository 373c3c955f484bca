#include "FpcSqlHandler.h"
#include "StorageTestData.h"

#include <QSqlDatabase>
#include <QtTest>

using namespace StorageTestData;

// The SQL layer alone, on a fresh database file for every test.
class TestFpcSqlHandler : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FpcSqlHandler> m_sql;
    static QDateTime fixedClock() { return QDateTime::fromSecsSinceEpoch(T0, Qt::UTC); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        db.setDatabaseName(m_dir->filePath(QStringLiteral("fp.db")));
        QVERIFY(db.open());
        m_sql = std::make_unique<FpcSqlHandler>(fixedClock);
        QVERIFY(m_sql->configureConnection() && m_sql->createTables());
    }

    void cleanup()
    {
        m_sql.reset();
        QSqlDatabase::database().close();
        QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
    }

    void newDatabaseHasTheSchema()
    {
        const QStringList expected = {
            "CREATE INDEX IDX_FINGERPRINT_EXPORTED ON Fingerprint(exported) WHERE exported=1",
            "CREATE INDEX IDX_FINGERPRINT_TIME ON Fingerprint(time)",
            "CREATE INDEX IDX_GERAN_CELL ON Geran(mcc, mnc, lac, cid)",
            "CREATE INDEX IDX_GNCELL_FPID ON Gncell(fpId)",
            "CREATE INDEX IDX_POSITIONING_FPID ON Position(fpId)",
            "CREATE INDEX IDX_POSITION_COORDINATES ON Position(latitude, longitude, fpId)",
            "CREATE INDEX IDX_UTRAFDD_CELL ON UtraFdd(mcc, mnc, ucid, fpId)",
            "CREATE INDEX IDX_UTRAFDD_FPID ON UtraFdd(fpId)",
            "CREATE INDEX IDX_UTRANFDD_FPID ON Uncell(fpId)",
            "CREATE INDEX IDX_WLAN_FPID ON Wlan(fpId)",
            "CREATE TABLE Configuration(key TEXT, value TEXT)",
            "CREATE TABLE Fingerprint(fpId INTEGER PRIMARY KEY AUTOINCREMENT, time INT, timeMSecs INT, exported INT, "
            "dataMask INT)",
            "CREATE TABLE Geran(fpId INTEGER, mcc INT, mnc INT, lac INT, cid INT, rxLevel INT, ta INT, PRIMARY "
            "KEY(fpId), FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
            "CREATE TABLE Gncell(fpId INTEGER, bsic INT, bcch INT, rxLevel INT, FOREIGN KEY(fpId) REFERENCES "
            "Fingerprint(fpId) ON DELETE CASCADE)",
            "CREATE TABLE Position(fpId INTEGER, latitude REAL, longitude REAL, altitude INT, altUncertainty INT, time "
            "INT, timeMSecs INT, cep68 INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
            "CREATE TABLE SchemaVersion(version INT)",
            "CREATE TABLE Uncell(fpId INTEGER, pcpich INT, uarfcndn INT, ucid INT, rssi INT, ecn INT, rscp INT, pl "
            "INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
            "CREATE TABLE UtraFdd(fpId INTEGER, mcc INT, mnc INT, ucid INT, lac INT, FOREIGN KEY(fpId) REFERENCES "
            "Fingerprint(fpId) ON DELETE CASCADE)",
            "CREATE TABLE Wlan(fpId INTEGER, mac INT, rxLevel INT, rssi INT, FOREIGN KEY(fpId) REFERENCES "
            "Fingerprint(fpId) ON DELETE CASCADE)",
        };
        QCOMPARE(column("SELECT sql FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY sql"), expected);
        QCOMPARE(column("SELECT version FROM SchemaVersion"), QStringList{"1"});
        QCOMPARE(column("SELECT key || '=' || value FROM Configuration ORDER BY key"),
                 QStringList({"fp_age_time=1700000000", "last_upload_utc_time=0"}));
        QCOMPARE(column("PRAGMA page_size") + column("PRAGMA auto_vacuum") + column("PRAGMA journal_mode"),
                 QStringList({QString::number(FpcSqlHandler::PageSize), "2", "wal"}));
    }

    // Without SchemaVersion the old data is dropped; with it the data stays and a missing table is recreated.
    void migration()
    {
        for (const bool withVersionTable : {false, true}) {
            cleanup();
            init();
            QVERIFY(m_sql->insert(fingerprint(T0, {gsm(1), wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})})) > 0);
            // Keys and values are bound, never pasted into the statement; a second value replaces the first.
            const QString key = QStringLiteral("it's"),
                          value = QStringLiteral("a 'quoted'); DROP TABLE Fingerprint; --");
            m_sql->setValue(key, QStringLiteral("first"));
            m_sql->setValue(key, value);
            QVERIFY(exec("DROP TABLE Wlan"));
            QVERIFY(withVersionTable || exec("DROP TABLE SchemaVersion"));

            QVERIFY(m_sql->createTables());
            QCOMPARE(rowCount("Fingerprint") + rowCount("Geran"), withVersionTable ? 2 : 0);
            QCOMPARE(rowCount("Wlan"), 0);
            QCOMPARE(column("SELECT count(*) FROM sqlite_master WHERE type='index'"), QStringList{"10"});
            QCOMPARE(column("SELECT version FROM SchemaVersion"), QStringList{"1"});
            QCOMPARE(column("SELECT value FROM Configuration WHERE key='it''s'"),
                     withVersionTable ? QStringList{value} : QStringList{});
            QString read;
            QCOMPARE(m_sql->getValue(key, read) ? read : QStringLiteral("none"), withVersionTable ? value : "none");
        }
    }

    void roundTrip_data()
    {
        QTest::addColumn<FpcFingerprint>("fp");
        QTest::newRow("GSM, every field") << fingerprint(T0, {gsm(4321)});
        QTest::newRow("GSM, no optional field") << fingerprint(T0, {gsm(4321, NoOptionalFields)}, false);
        QTest::newRow("WCDMA, every field") << fingerprint(T0, {wcdma(100000)});
        QTest::newRow("WCDMA, no optional field") << fingerprint(T0, {wcdma(0xFFFFFFFF, NoOptionalFields)});
        QTest::newRow("WLAN 48- and 64-bit")
            << fingerprint(T0, {wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}),
                                wlan({2, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x60, 0x71}, NoOptionalFields)});
        FpcFingerprint bare = fingerprint(T0, {gsm(7), wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})}, false);
        bare.setPosition(position(-33.8688197, 151.2092955, NoOptionalFields));
        QTest::newRow("GSM + WLAN, fix without altitude and accuracy") << bare;
    }

    // Stored into a file of an older layout (4 KiB pages, no incremental vacuum), rewritten at the next open.
    void roundTrip()
    {
        QFETCH(FpcFingerprint, fp);
        m_sql.reset();
        QSqlDatabase db = QSqlDatabase::database();
        db.close();
        db.setDatabaseName(m_dir->filePath(QStringLiteral("old.db")));
        QVERIFY(db.open() && exec("PRAGMA page_size=4096") && exec("PRAGMA journal_mode=WAL"));
        m_sql = std::make_unique<FpcSqlHandler>(fixedClock);
        QVERIFY(m_sql->createTables());
        const qint64 id = m_sql->insert(fp);
        QCOMPARE(column("PRAGMA page_size"), QStringList{"4096"});

        m_sql.reset();
        db.close();
        QVERIFY(db.open());
        m_sql = std::make_unique<FpcSqlHandler>(fixedClock);
        QVERIFY(m_sql->configureConnection() && m_sql->createTables());
        QCOMPARE(column("PRAGMA page_size") + column("PRAGMA auto_vacuum") + column("PRAGMA journal_mode"),
                 QStringList({QString::number(FpcSqlHandler::PageSize), "2", "wal"}));
        FpcFingerprint back;
        QVERIFY(id > 0 && m_sql->select(id, back));
        QCOMPARE(back.id(), id);
        QCOMPARE(describe(back), describe(fp));
    }

    // Refused whole without time or data; absent values stored as other tools read them, no-level APs left out.
    void storedColumnValues()
    {
        FpcFingerprint timeless = fingerprint(T0, {gsm(1)});
        timeless.setTime(QDateTime());
        FpcFingerprint empty;
        empty.setDataMask(FpcFingerprint::Cell | FpcFingerprint::GPS);
        QCOMPARE(m_sql->insert(timeless), qint64(-1));
        QCOMPARE(m_sql->insert(empty), qint64(-1));
        QCOMPARE(rowCount("Fingerprint") + rowCount("Position"), 0);

        FpcFingerprint fp =
            fingerprint(T0,
                        {gsm(1, NoOptionalFields), wcdma(0xFFFFFFFF, NoOptionalFields), new VomuElementWLAN,
                         wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}, NoOptionalFields)},
                        false);
        fp.setPosition(position(1, 2, NoOptionalFields));
        QVERIFY(m_sql->insert(fp) > 0);
        QCOMPARE(column("SELECT rxLevel || ',' || ta FROM Geran"), QStringList{"-1,-1"});
        QCOMPARE(column("SELECT rxLevel FROM Gncell"), QStringList({"-1", "-1"}));
        QCOMPARE(column("SELECT lac FROM UtraFdd"), QStringList{"-1"});
        QCOMPARE(column("SELECT ucid||','||rssi||','||ecn||','||rscp||','||pl FROM Uncell"),
                 QStringList{"-1,-1,-1,-100,-1"});
        QCOMPARE(column("SELECT mac || ',' || rssi FROM Wlan"), QStringList{"112394521950,-1"});
        QCOMPARE(column("SELECT latitude || ',' || longitude || ',' || ifnull(altitude, 'NULL') FROM Position"),
                 QStringList{"1.0,2.0,NULL"});
        const uint8_t beyondSignedRange[8] = {0x80, 2, 3, 4, 5, 6, 7, 8};
        QCOMPARE(FpcSqlHandler::macToInt(VomuWlanMacAddress(beyondSignedRange, 8)), qint64(0));
        QCOMPARE(FpcSqlHandler::macToInt(VomuWlanMacAddress()), qint64(0));
    }

    void fullDatabaseRollsBack()
    {
        QVERIFY(m_sql->insert(fingerprint(T0, {gsm(1)})) > 0);
        QVERIFY(exec("PRAGMA max_page_count=" + column("PRAGMA page_count").value(0)));
        const FpcFingerprint big = fingerprint(T0 + 1, {gsm(2), wlan({0, 0, 0, 0, 0, 3})});
        int refused = 0;
        for (int i = 0; i < 50 && refused == 0; ++i)
            refused += m_sql->insert(big) == -1;
        QCOMPARE(refused, 1);
        // Whatever went in before the refusal is whole; the refused one left nothing.
        const int n = rowCount("Fingerprint");
        QCOMPARE(QList<int>({rowCount("Position"), rowCount("Geran"), rowCount("Gncell"), rowCount("Wlan")}),
                 QList<int>({n, n, 2 * n, n - 1}));
        QVERIFY(exec("PRAGMA max_page_count=1000000"));
        QVERIFY(m_sql->insert(big) > 0);
    }

    void deletionIsAllOrNothing()
    {
        const qint64 id = m_sql->insert(fingerprint(T0, {wcdma(5), gsm(1), wlan({0, 0, 0, 0, 0, 4})}));
        QVERIFY(id > 0);
        const QStringList tables = {"Uncell", "Gncell", "UtraFdd", "Geran", "Wlan", "Position", "Fingerprint"};
        QVERIFY(exec("CREATE TRIGGER keep BEFORE DELETE ON Position BEGIN SELECT RAISE(ABORT, 'kept'); END"));
        QVERIFY(!m_sql->deleteFingerprint({id}));
        for (const QString &t : tables)
            QVERIFY2(rowCount(t) > 0, qPrintable(t));

        QVERIFY(exec("DROP TRIGGER keep"));
        QVERIFY(m_sql->deleteFingerprint({}));
        QVERIFY(!m_sql->deleteFingerprint({0}));
        QVERIFY(m_sql->deleteFingerprint({0, id}));
        for (const QString &t : tables)
            QVERIFY2(rowCount(t) == 0, qPrintable(t));

        // Id lists longer than one statement takes; queries prepared again after the file was compacted.
        QVERIFY(exec(
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1234) "
            "INSERT INTO Fingerprint (time, timeMSecs, exported, dataMask) SELECT 1700000000 + x, 0, 0, 8 FROM n"));
        QList<qint64> all, exported;
        QVERIFY(m_sql->selectAll(all) && m_sql->updateFingerprint(all, true) && m_sql->selectExported(exported));
        QCOMPARE(exported.size(), 1234);
        QVERIFY(m_sql->deleteFingerprint(all));
        QCOMPARE(rowCount("Fingerprint"), 0);

        const qint64 kept = m_sql->insert(fingerprint(T0, {wcdma(77)}));
        FpcFingerprint back;
        QVERIFY(m_sql->vacuum());
        QCOMPARE(column("PRAGMA freelist_count"), QStringList{"0"}); // free pages given back
        QVERIFY(m_sql->select(kept, back));
        QVERIFY(!m_sql->select(kept + 100, back));
    }

    // Broken rows from another tool drop what they belong to (or the fingerprint), never crash.
    void foreignRows_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("expected"); // in describe(), "" for none
        QTest::addColumn<QString>("unexpected");
        const auto row = [](const char *name, const char *statement, bool selected, const char *in, const char *out) {
            QTest::newRow(name) << QString(statement) << selected << QString(in) << QString(out);
        };
        row("mcc text", "UPDATE Geran SET mcc='abc'", true, "", "VomuElementGSM [");
        row("ta beyond 8 bits", "UPDATE Geran SET ta=256", true, "CellID: 9", "TA: ");
        row("neighbour rxLevel 64", "UPDATE Gncell SET rxLevel=64", true, "BSIC: 12", "Rx level: ");
        row("negative time", "UPDATE Fingerprint SET time=-5", false, "", "");
        row("mac real", "UPDATE Wlan SET mac=1.5", true, "", "WLAN: ");
        row("rssi 0", "UPDATE Wlan SET rssi=0", true, "PowRx:\t-67", "RSSI:");
        row("latitude text", "UPDATE Position SET latitude='north'", true, "", "Latitude: 60");
    }

    void foreignRows()
    {
        QFETCH(QString, statement);
        QFETCH(bool, selected);
        QFETCH(QString, expected);
        QFETCH(QString, unexpected);
        const qint64 id = m_sql->insert(fingerprint(T0, {gsm(9), wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})}));
        QVERIFY(exec(statement));
        FpcFingerprint back;
        QCOMPARE(m_sql->select(id, back), selected);
        const QString text = selected ? describe(back) : QString();
        QVERIFY2(text.contains(expected) && (unexpected.isEmpty() || !text.contains(unexpected)), qPrintable(text));
        QList<FpcFingerprint *> only;
        QList<FpcPosition *> positions;
        m_sql->selectFingerprintsOnly(only);
        m_sql->selectAllPositions(positions);
        qDeleteAll(only);
        qDeleteAll(positions);
    }
};

QTEST_GUILESS_MAIN(TestFpcSqlHandler)

#include "tst_fpcsqlhandler.moc"
