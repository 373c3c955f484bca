// The storage tests in one executable. Started as "tst_storage --writer
// DATABASE" it is the kill test's child instead: it stores fingerprints into
// DATABASE, one output line each, until it is killed.

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcDatabaseReader.h"
#include "LogCapture.h"
#include "StorageTestData.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <cstdio>

using namespace StorageTestData;

int runSqlHandlerTests(int argc, char **argv);
int runBufferManagerTests(int argc, char **argv);

namespace {

// Every fingerprint has the same shape: a fix, a GSM cell with two neighbours and twelve access points.
int runWriter(const QString &database)
{
    const LogCapture quiet(LogCapture::Quiet);
    FpcConfig::addKey(QStringLiteral("db_file"), database);
    FpcConfig::addKey(QStringLiteral("fp_buffer_max_size"), QStringLiteral("100000000"));
    FpcConfig::addKey(QStringLiteral("fp_buffer_daily_limit"), QStringLiteral("100000000"));
    try {
        for (quint32 i = 0;; ++i) {
            FpcFingerprint fp = fingerprint(T0 + i, {gsm(quint16(i))});
            VomuMeasurements aps;
            for (int k = 0; k < 12; ++k)
                aps.append(wlan({0, 0x1a, quint8(i >> 16), quint8(i >> 8), quint8(i), quint8(k)}));
            fp.setMeasurements(aps);
            if (!FpcBufferManager::instance().storeFpEntry(fp))
                return 1;
            std::printf("%u\n", i);
            std::fflush(stdout);
        }
    } catch (const QString &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
}

// An ordinary client of the same file: opens it read-write, reads, closes.
int runReader(const QString &database)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
    db.setDatabaseName(database);
    if (!db.open())
        return 1;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM Fingerprint")) || !query.next())
        return 1;
    std::printf("%s\n", qPrintable(query.value(0).toString()));
    query.finish();
    db.close();
    return 0;
}

} // namespace

// The writer is killed (SIGKILL) again and again at different moments; after
// each kill the database must be intact and hold only whole fingerprints,
// and none that was reported stored may be lost.
class TestStorageKill : public QObject
{
    Q_OBJECT

private slots:
    void killedWriterLeavesWholeFingerprints()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("fp.db"));
        qint64 reported = 0, previous = 0;
        // Varied counts let the kill land in different phases of an insertion.
        for (int killAfter : {1, 5, 2, 9, 3, 14, 4, 7}) {
            QProcess writer;
            writer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--writer"), path});
            QVERIFY2(writer.waitForStarted(10000), qPrintable(writer.errorString()));
            for (int lines = 0; lines < killAfter; ++lines) {
                while (!writer.canReadLine())
                    QVERIFY2(writer.waitForReadyRead(15000), writer.readAllStandardError().constData());
                writer.readLine();
            }
            writer.kill();
            QVERIFY(writer.waitForFinished(10000));
            reported += killAfter + writer.readAllStandardOutput().count('\n');
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
                db.setDatabaseName(path);
                QVERIFY(db.open());
                QCOMPARE(column("PRAGMA integrity_check"), QStringList{"ok"});
                const int stored = rowCount("Fingerprint");
                QVERIFY2(stored >= reported && stored >= previous, qPrintable(QString::number(stored)));
                previous = stored;
                QCOMPARE(column("SELECT count(*) FROM Fingerprint f WHERE "
                                "(SELECT count(*) FROM Position p WHERE p.fpId=f.fpId) != 1 OR "
                                "(SELECT count(*) FROM Geran g WHERE g.fpId=f.fpId) != 1 OR "
                                "(SELECT count(*) FROM Gncell n WHERE n.fpId=f.fpId) != 2 OR "
                                "(SELECT count(*) FROM Wlan w WHERE w.fpId=f.fpId) != 12"),
                         QStringList{"0"});
                for (const char *table : {"Position", "Geran", "Gncell", "Wlan"})
                    QCOMPARE(column(QStringLiteral(
                                        "SELECT count(*) FROM %1 WHERE fpId NOT IN (SELECT fpId FROM Fingerprint)")
                                        .arg(QLatin1String(table))),
                             QStringList{"0"});
                db.close();
            }
            QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
        }
        QVERIFY(previous >= 45);
    }

    // While the writer stores, an ordinary read-write client opens and closes the file (the writer must
    // keep the log it commits to) and the read-only reader sees whole fingerprints; after a kill every
    // fingerprint reported stored is there.
    void clientsBesideWriterThenKill()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("fp.db"));
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--writer"), path});
        QVERIFY2(writer.waitForStarted(10000), qPrintable(writer.errorString()));
        qint64 reported = 0;
        const auto readLines = [&](int count) {
            for (; count > 0; --count, ++reported) {
                while (!writer.canReadLine()) {
                    if (!writer.waitForReadyRead(15000))
                        return false;
                }
                writer.readLine();
            }
            return true;
        };
        QVERIFY(readLines(5));
        QProcess client;
        client.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--reader"), path});
        QVERIFY(client.waitForFinished(15000) && client.exitCode() == 0);
        QList<FpcStoredRecord> records;
        QString error;
        for (int round = 0; round < 3; ++round) {
            QVERIFY(readLines(4));
            QVERIFY2(FpcDatabaseReader::read(path, &records, &error), qPrintable(error));
            QVERIFY(records.size() >= reported);
            for (const FpcStoredRecord &record : std::as_const(records))
                QVERIFY(record.hasPosition && record.hasGsm && record.gsm.neighbours.size() == 2
                        && record.wlans.size() == 12);
        }
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        reported += writer.readAllStandardOutput().count('\n');
        QVERIFY2(FpcDatabaseReader::read(path, &records, &error), qPrintable(error));
        QVERIFY2(records.size() >= reported, qPrintable(QString::number(reported)));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QCOMPARE(column("PRAGMA integrity_check"), QStringList{"ok"});
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--writer") == 0)
        return runWriter(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && qstrcmp(argv[1], "--reader") == 0)
        return runReader(QString::fromLocal8Bit(argv[2]));
    TestStorageKill kill;
    bool failed = runSqlHandlerTests(argc, argv) != 0;
    failed |= runBufferManagerTests(argc, argv) != 0;
    failed |= QTest::qExec(&kill, argc, argv) != 0;
    return failed ? 1 : 0;
}

#include "tst_storage.moc"
