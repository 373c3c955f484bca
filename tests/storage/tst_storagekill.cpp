#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

// A process storing fingerprints is killed (SIGKILL) again and again at
// different moments; after each kill the database must be intact and hold
// only whole fingerprints, and none that was reported stored may be lost.
class TestStorageKill : public QObject
{
    Q_OBJECT

private slots:
    void killedWriterLeavesWholeFingerprints();

private:
    static qint64 scalar(QSqlDatabase &db, const QString &statement);
};

qint64 TestStorageKill::scalar(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

void TestStorageKill::killedWriterLeavesWholeFingerprints()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fp.db"));
    qint64 reported = 0;
    qint64 previous = 0;
    // Kill after this many reported fingerprints: varied so that the kill
    // lands in different phases of an insertion.
    for (int killAfter : {1, 5, 2, 9, 3, 14, 4, 7}) {
        QProcess writer;
        writer.setProcessChannelMode(QProcess::SeparateChannels);
        writer.start(QStringLiteral(STORAGE_WRITER), {path});
        QVERIFY2(writer.waitForStarted(10000), qPrintable(writer.errorString()));
        int lines = 0;
        while (lines < killAfter) {
            if (!writer.canReadLine())
                QVERIFY2(writer.waitForReadyRead(15000), writer.readAllStandardError().constData());
            while (writer.canReadLine() && lines < killAfter) {
                writer.readLine();
                ++lines;
            }
        }
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        reported += lines + writer.readAllStandardOutput().count('\n');

        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery check(db);
            QVERIFY(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
            QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
            check.finish();
            const qint64 stored = scalar(db, QStringLiteral("SELECT count(*) FROM Fingerprint"));
            QVERIFY2(stored >= reported && stored >= previous, qPrintable(QString::number(stored)));
            previous = stored;
            const QString partialFingerprints = QStringLiteral(
                "SELECT count(*) FROM Fingerprint f WHERE "
                "(SELECT count(*) FROM Position p WHERE p.fpId=f.fpId) != 1 OR "
                "(SELECT count(*) FROM Geran g WHERE g.fpId=f.fpId) != 1 OR "
                "(SELECT count(*) FROM Gncell n WHERE n.fpId=f.fpId) != 2 OR "
                "(SELECT count(*) FROM Wlan w WHERE w.fpId=f.fpId) != 12");
            QCOMPARE(scalar(db, partialFingerprints), qint64(0));
            for (const char *table : {"Position", "Geran", "Gncell", "Wlan"})
                QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM %1 WHERE fpId NOT IN "
                                                   "(SELECT fpId FROM Fingerprint)").arg(QLatin1String(table))),
                         qint64(0));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
    }
    QVERIFY(previous >= 45);
}

QTEST_GUILESS_MAIN(TestStorageKill)
#include "tst_storagekill.moc"
