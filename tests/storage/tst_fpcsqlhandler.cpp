#include "FpcBufferManager.h"
#include "FpcSqlHandler.h"
#include "StorageTestData.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

using namespace StorageTestData;

class TestFpcSqlHandler : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void newDatabaseHasTheSchema();
    void migration_data();
    void migration();
    void roundTrip_data();
    void roundTrip();
    void absentValuesStoredAsMarkers();
    void macConversion_data();
    void macConversion();
    void refusedFingerprintsWriteNothing();
    void fullDatabaseRollsBack();
    void deletionIsAllOrNothing();
    void longIdLists();
    void foreignRows_data();
    void foreignRows();
    void configurationValues();
    void selections();

private:
    QStringList column(const QString &statement);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FpcSqlHandler> m_sql;
};

void TestFpcSqlHandler::init()
{
    FpcBufferManager::setClock([] { return QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC); });
    m_dir = std::make_unique<QTemporaryDir>();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(m_dir->filePath(QStringLiteral("fp.db")));
    QVERIFY(db.open());
    m_sql = std::make_unique<FpcSqlHandler>();
    QVERIFY(m_sql->configureConnection());
    QVERIFY(m_sql->createTables());
}

void TestFpcSqlHandler::cleanup()
{
    m_sql.reset();
    QSqlDatabase::database().close();
    QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
    FpcBufferManager::setClock({});
}

QStringList TestFpcSqlHandler::column(const QString &statement)
{
    QStringList values;
    QSqlQuery query;
    if (!query.exec(statement))
        return {QStringLiteral("error")};
    while (query.next())
        values << (query.value(0).isNull() ? QStringLiteral("NULL") : query.value(0).toString());
    return values;
}

void TestFpcSqlHandler::newDatabaseHasTheSchema()
{
    const QStringList expected = {
        "CREATE INDEX IDX_GERAN_FPID ON Geran(fpId)",
        "CREATE INDEX IDX_GNCELL_FPID ON Gncell(fpId)",
        "CREATE INDEX IDX_POSITIONING_FPID ON Position(fpId)",
        "CREATE INDEX IDX_UTRAFDD_FPID ON UtraFdd(fpId)",
        "CREATE INDEX IDX_UTRANFDD_FPID ON Uncell(fpId)",
        "CREATE INDEX IDX_WLAN_FPID ON Wlan(fpId)",
        "CREATE TABLE Configuration(key TEXT, value TEXT)",
        "CREATE TABLE Fingerprint(fpId INTEGER PRIMARY KEY AUTOINCREMENT, time INT, timeMSecs INT, exported INT, dataMask INT)",
        "CREATE TABLE Geran(fpId INTEGER, mcc INT, mnc INT, lac INT, cid INT, rxLevel INT, ta INT, PRIMARY KEY(fpId), FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
        "CREATE TABLE Gncell(fpId INTEGER, bsic INT, bcch INT, rxLevel INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
        "CREATE TABLE Position(fpId INTEGER, latitude REAL, longitude REAL, altitude INT, altUncertainty INT, time INT, timeMSecs INT, cep68 INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
        "CREATE TABLE SchemaVersion(version INT)",
        "CREATE TABLE Uncell(fpId INTEGER, pcpich INT, uarfcndn INT, ucid INT, rssi INT, ecn INT, rscp INT, pl INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
        "CREATE TABLE UtraFdd(fpId INTEGER, mcc INT, mnc INT, ucid INT, lac INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
        "CREATE TABLE Wlan(fpId INTEGER, mac INT, rxLevel INT, rssi INT, FOREIGN KEY(fpId) REFERENCES Fingerprint(fpId) ON DELETE CASCADE)",
    };
    QCOMPARE(column("SELECT sql FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY sql"), expected);
    QCOMPARE(column("SELECT version FROM SchemaVersion"), QStringList{"1"});
    QCOMPARE(column("SELECT key || '=' || value FROM Configuration ORDER BY key"),
             QStringList({"fp_age_time=1700000000", "last_upload_utc_time=0"}));
    QCOMPARE(column("PRAGMA journal_mode"), QStringList{"wal"});
    QCOMPARE(column("PRAGMA page_size"), QStringList{QString::number(FpcSqlHandler::PageSize)});
}

void TestFpcSqlHandler::migration_data()
{
    QTest::addColumn<bool>("withVersionTable");
    QTest::newRow("no SchemaVersion: old data dropped") << false;
    QTest::newRow("SchemaVersion: data kept, missing table recreated") << true;
}

void TestFpcSqlHandler::migration()
{
    QFETCH(bool, withVersionTable);
    QVERIFY(m_sql->insert(fingerprint(1700000000, {gsm(1), wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})})) > 0);
    m_sql->setValue(QStringLiteral("last_upload_fp_count"), 7u);
    QVERIFY(exec("DROP TABLE Wlan"));
    if (!withVersionTable)
        QVERIFY(exec("DROP TABLE SchemaVersion"));

    QVERIFY(m_sql->createTables());
    QCOMPARE(rowCount("Fingerprint"), withVersionTable ? 1 : 0);
    QCOMPARE(rowCount("Geran"), withVersionTable ? 1 : 0);
    QCOMPARE(rowCount("Wlan"), 0);
    QCOMPARE(column("SELECT count(*) FROM sqlite_master WHERE type='index'"), QStringList{"6"});
    QCOMPARE(column("SELECT version FROM SchemaVersion"), QStringList{"1"});
    QCOMPARE(column("SELECT value FROM Configuration WHERE key='last_upload_fp_count'"),
             withVersionTable ? QStringList{"7"} : QStringList{});
}

void TestFpcSqlHandler::roundTrip_data()
{
    QTest::addColumn<FpcFingerprint>("fp");
    QTest::newRow("GSM, every field") << fingerprint(1700000000, {gsm(4321)});
    QTest::newRow("GSM, no optional field") << fingerprint(1700000001, {gsm(4321, NoOptionalFields)}, false);
    QTest::newRow("WCDMA, every field") << fingerprint(1700000002, {wcdma(100000)});
    QTest::newRow("WCDMA, no optional field") << fingerprint(1700000003, {wcdma(0xFFFFFFFF, NoOptionalFields)});
    QTest::newRow("WLAN 48- and 64-bit") << fingerprint(1700000004, {wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}), wlan({0x02, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x60, 0x71}, NoOptionalFields)});
    FpcFingerprint bare = fingerprint(1700000005, {gsm(7), wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})}, false);
    bare.setPosition(position(-33.8688197, 151.2092955, NoOptionalFields));
    QTest::newRow("GSM + WLAN, fix without altitude and accuracy") << bare;
}

void TestFpcSqlHandler::roundTrip()
{
    QFETCH(FpcFingerprint, fp);
    const qint64 id = m_sql->insert(fp);
    QVERIFY(id > 0);
    FpcFingerprint back;
    QVERIFY(m_sql->select(id, back));
    QCOMPARE(back.id(), id);
    QCOMPARE(describe(back), describe(fp));
}

void TestFpcSqlHandler::absentValuesStoredAsMarkers()
{
    FpcFingerprint fp = fingerprint(1700000000, {gsm(1, NoOptionalFields), wcdma(0xFFFFFFFF, NoOptionalFields),
                                                 wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}, NoOptionalFields)}, false);
    fp.setPosition(position(1, 2, NoOptionalFields));
    QVERIFY(m_sql->insert(fp) > 0);
    QCOMPARE(column("SELECT rxLevel || ',' || ta FROM Geran"), QStringList{"-1,-1"});
    QCOMPARE(column("SELECT rxLevel FROM Gncell"), QStringList({"-1", "-1"}));
    QCOMPARE(column("SELECT lac FROM UtraFdd"), QStringList{"-1"});
    QCOMPARE(column("SELECT ucid||','||rssi||','||ecn||','||rscp||','||pl FROM Uncell"), QStringList{"-1,-1,-1,-100,-1"});
    QCOMPARE(column("SELECT mac || ',' || rssi FROM Wlan"), QStringList{"112394521950,-1"});
    QCOMPARE(column("SELECT latitude || ',' || longitude FROM Position"), QStringList{"1.0,2.0"});
    QCOMPARE(column("SELECT altitude FROM Position"), QStringList{"NULL"});
}

void TestFpcSqlHandler::macConversion_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("stored");
    QTest::addColumn<QByteArray>("readBack");
    const QByteArray mac48("\x00\x1a\x2b\x3c\x4d\x5e", 6);
    const QByteArray mac64("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    QTest::newRow("48-bit") << mac48 << qint64(112394521950) << mac48;
    QTest::newRow("64-bit") << mac64 << qint64(0x0102030405060708) << mac64;
    QTest::newRow("64-bit beyond the signed range") << QByteArray("\x80\x02\x03\x04\x05\x06\x07\x08", 8) << qint64(0)
                                                    << QByteArray(6, '\0');
    QTest::newRow("neither") << QByteArray() << qint64(0) << QByteArray(6, '\0');
}

void TestFpcSqlHandler::macConversion()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, stored);
    QFETCH(QByteArray, readBack);
    const VomuWlanMacAddress mac(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
    QCOMPARE(FpcSqlHandler::macToInt(mac), stored);
    const VomuWlanMacAddress back = FpcSqlHandler::intToMac(stored);
    QVERIFY(back == VomuWlanMacAddress(reinterpret_cast<const uint8_t *>(readBack.constData()), int(readBack.size())));
}

void TestFpcSqlHandler::refusedFingerprintsWriteNothing()
{
    FpcFingerprint timeless = fingerprint(1700000000, {gsm(1)});
    timeless.setTime(QDateTime());
    QCOMPARE(m_sql->insert(timeless), qint64(-1));
    FpcFingerprint empty;
    empty.setTime(QDateTime::currentDateTimeUtc());
    empty.setDataMask(FpcFingerprint::Cell | FpcFingerprint::GPS);
    QCOMPARE(m_sql->insert(empty), qint64(-1));
    QCOMPARE(rowCount("Fingerprint") + rowCount("Position"), 0);

    VomuElementWLAN *silent = wlan({0x00, 0x00, 0x00, 0x00, 0x00, 0x01});
    *silent = VomuElementWLAN(); // no received level
    QVERIFY(m_sql->insert(fingerprint(1700000000, {gsm(1), silent, wlan({0x00, 0x00, 0x00, 0x00, 0x00, 0x02})})) > 0);
    QCOMPARE(rowCount("Wlan"), 1);
}

void TestFpcSqlHandler::fullDatabaseRollsBack()
{
    QVERIFY(m_sql->insert(fingerprint(1700000000, {gsm(1)})) > 0);
    const QString pages = column("PRAGMA page_count").value(0);
    QVERIFY(exec("PRAGMA max_page_count=" + pages));
    const QStringList tables = {"Fingerprint", "Position", "Geran", "Gncell", "Wlan"};
    QList<int> before;
    for (const QString &t : tables)
        before << rowCount(t);
    const FpcFingerprint big = fingerprint(1700000001, {gsm(2), wlan({0x00, 0x00, 0x00, 0x00, 0x00, 0x03})});
    int refused = 0;
    for (int i = 0; i < 50 && refused == 0; ++i)
        refused += m_sql->insert(big) == -1;
    QCOMPARE(refused, 1);
    // Whatever went in before the refusal is whole; the refused one left nothing.
    const int stored = rowCount("Fingerprint");
    QCOMPARE(rowCount("Position"), stored);
    QCOMPARE(rowCount("Geran"), stored);
    QCOMPARE(rowCount("Gncell"), 2 * stored);
    QCOMPARE(rowCount("Wlan"), stored - before.at(0));
    QVERIFY(exec("PRAGMA max_page_count=1000000"));
    QVERIFY(m_sql->insert(big) > 0);
}

void TestFpcSqlHandler::deletionIsAllOrNothing()
{
    const qint64 id = m_sql->insert(fingerprint(1700000000, {wcdma(5), gsm(1), wlan({0x00, 0x00, 0x00, 0x00, 0x00, 0x04})}));
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
}

void TestFpcSqlHandler::longIdLists()
{
    QVERIFY(exec("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1234) "
                 "INSERT INTO Fingerprint (time, timeMSecs, exported, dataMask) SELECT 1700000000 + x, 0, 0, 8 FROM n"));
    QList<qint64> ids;
    QVERIFY(m_sql->selectAll(ids));
    QCOMPARE(ids.size(), 1234);
    QVERIFY(m_sql->updateFingerprint(ids, true));
    QList<qint64> exported;
    QVERIFY(m_sql->selectExported(exported));
    QCOMPARE(exported.size(), 1234);
    QVERIFY(m_sql->deleteFingerprint(ids));
    QCOMPARE(rowCount("Fingerprint"), 0);
}

void TestFpcSqlHandler::foreignRows_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("expected"); // a line of describe(), or "" for none
    QTest::addColumn<QString>("unexpected");
    QTest::newRow("mcc text") << "UPDATE Geran SET mcc='abc'" << true << "" << "GSM";
    QTest::newRow("mcc beyond 16 bits") << "UPDATE Geran SET mcc=70000" << true << "" << "GSM";
    QTest::newRow("ta beyond 8 bits") << "UPDATE Geran SET ta=256" << true << "GSM 244/5/1234/9 rx40 ta-1" << "";
    QTest::newRow("neighbour rxLevel 64") << "UPDATE Gncell SET rxLevel=64" << true << "n 12/65 rx255" << "";
    QTest::newRow("negative time") << "UPDATE Fingerprint SET time=-5" << false << "" << "";
    QTest::newRow("huge timeMSecs") << "UPDATE Fingerprint SET timeMSecs=5000000000000" << false << "" << "";
    QTest::newRow("mask text") << "UPDATE Fingerprint SET dataMask='x'" << false << "" << "";
    QTest::newRow("mac real") << "UPDATE Wlan SET mac=1.5" << true << "" << "WLAN";
    QTest::newRow("rssi 0") << "UPDATE Wlan SET rssi=0" << true << "rx-67 rssi-1" << "";
    QTest::newRow("rxLevel 200") << "UPDATE Wlan SET rxLevel=200" << true << "" << "WLAN";
    QTest::newRow("latitude text") << "UPDATE Position SET latitude='north'" << true << "" << "pos 60";
    QTest::newRow("cep68 negative") << "UPDATE Position SET cep68=-1" << true << "" << "pos 60";
    QTest::newRow("time of fix text") << "UPDATE Position SET time='noon'" << true << "t 0.250000" << "";
}

void TestFpcSqlHandler::foreignRows()
{
    QFETCH(QString, statement);
    QFETCH(bool, selected);
    QFETCH(QString, expected);
    QFETCH(QString, unexpected);
    const qint64 id = m_sql->insert(fingerprint(1700000000, {gsm(9), wlan({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})}));
    QVERIFY(exec(statement));
    FpcFingerprint back;
    QCOMPARE(m_sql->select(id, back), selected);
    const QString text = describe(back);
    if (!expected.isEmpty())
        QVERIFY2(text.contains(expected), qPrintable(text));
    if (!unexpected.isEmpty())
        QVERIFY2(!text.contains(unexpected), qPrintable(text));
    QList<FpcFingerprint *> only;
    QList<FpcPosition *> positions;
    m_sql->selectFingerprintsOnly(only);
    m_sql->selectAllPositions(positions);
    qDeleteAll(only);
    qDeleteAll(positions);
}

void TestFpcSqlHandler::configurationValues()
{
    const QString key = QStringLiteral("it's");
    const QString value = QStringLiteral("a 'quoted'); DROP TABLE Fingerprint; --");
    m_sql->setValue(key, value);
    m_sql->setValue(key, value + "!");
    QString read;
    QVERIFY(m_sql->getValue(key, read));
    QCOMPARE(read, value + "!");
    QCOMPARE(column("SELECT count(*) FROM Configuration WHERE key='it''s'"), QStringList{"1"});
    QCOMPARE(rowCount("Fingerprint"), 0);

    quint32 number = 5;
    QVERIFY(m_sql->getValue(key, number));
    QCOMPARE(number, 0u);
    number = 5;
    QVERIFY(!m_sql->getValue(QStringLiteral("missing"), number));
    QCOMPARE(number, 5u);
}

void TestFpcSqlHandler::selections()
{
    QCOMPARE(m_sql->selectNewest(), qint64(-1));
    const qint64 a = m_sql->insert(fingerprint(1700000000, {gsm(1)}, false));
    const qint64 b = m_sql->insert(fingerprint(1700000000, {wcdma(77)}));
    QCOMPARE(m_sql->selectNewest(), a);

    QList<qint64> ids;
    QVERIFY(m_sql->selectByGeran(244, 5, 1234, 1, ids));
    QVERIFY(m_sql->selectByUtraFdd(244, 42, 77, ids));
    QVERIFY(m_sql->selectByGeran(244, 5, 1234, 2, ids));
    QCOMPARE(ids, QList<qint64>({a, b}));

    QList<FpcPosition *> positions;
    QVERIFY(m_sql->selectAllPositions(positions));
    QCOMPARE(positions.size(), 1);
    QCOMPARE(positions.first()->fpId(), b);
    qDeleteAll(positions);
    QVERIFY(m_sql->vacuum());
    FpcFingerprint back;
    QVERIFY(m_sql->select(b, back)); // queries prepared again after the compaction
    QVERIFY(!m_sql->select(b + 100, back));
}

QTEST_GUILESS_MAIN(TestFpcSqlHandler)
#include "tst_fpcsqlhandler.moc"
