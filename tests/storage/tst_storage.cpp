// As "tst_storage --writer DATABASE": the kill test's child, storing and printing one line each until killed.

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

namespace {

// Every fingerprint: a fix, a GSM cell with two neighbours and twelve access points.
int runWriter(const QString &database)
{
    const LogCapture quiet(LogCapture::Quiet);
    FpcConfig::addKey(QStringLiteral("db_file"), database);
    FpcConfig::addKey(QStringLiteral("fp_buffer_max_size"), QStringLiteral("100000000"));
    FpcConfig::addKey(QStringLiteral("fp_buffer_daily_limit"), QStringLiteral("100000000"));
    try {
        for (quint32 i = 0;; ++i) {
            if (!FpcBufferManager::instance().storeFpEntry(withMask(15, i, 12)))
                return 1;
            std::printf("%u\n", i);
            std::fflush(stdout);
        }
    } catch (const QString &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
}

// Opened and closed as an ordinary client; the fingerprints the reader finds, -1 if damaged or not whole.
qint64 wholeFingerprints(const QString &path)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        db.setDatabaseName(path);
        if (!db.open() || column("PRAGMA integrity_check") != QStringList{"ok"})
            return -1;
        db.close();
    }
    QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
    QList<FpcStoredRecord> records;
    QString error;
    if (!FpcDatabaseReader::read(path, &records, &error))
        return -1;
    for (const FpcStoredRecord &record : std::as_const(records)) {
        if (!record.hasPosition || !record.hasGsm || record.gsm.neighbours.size() != 2 || record.wlans.size() != 12)
            return -1;
    }
    return records.size();
}

} // namespace

// A writer killed again and again (a client opening the file before) leaves only whole fingerprints, none lost.
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
            QVERIFY2(readLines(killAfter), writer.readAllStandardError().constData());
            QVERIFY(wholeFingerprints(path) >= reported);
            QVERIFY(readLines(2)); // the writer goes on after the client closed the file
            writer.kill();
            QVERIFY(writer.waitForFinished(10000));
            reported += writer.readAllStandardOutput().count('\n');
            const qint64 stored = wholeFingerprints(path);
            QVERIFY2(stored >= reported && stored >= previous, qPrintable(QString::number(stored)));
            previous = stored;
        }
        QVERIFY(previous >= 61);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--writer") == 0)
        return runWriter(QString::fromLocal8Bit(argv[2]));
    TestStorageKill kill;
    return QTest::qExec(&kill, argc, argv);
}

#include "tst_storage.moc"
