#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcReport.h"
#include "FpcSqlHandler.h"
#include "FpcUploader.h"
#include "LogCapture.h"
#include "StorageTestData.h"
#include "TempBuffer.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <ctime>

using namespace StorageTestData;

namespace {

QDateTime s_now;
QDateTime at(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(T0 + seconds, Qt::UTC);
}
constexpr auto buffer = &TempBuffer::buffer;
constexpr auto store = &TempBuffer::store;
void setConfig(const char *key, const QString &value)
{
    FpcConfig::addKey(QLatin1String(key), value);
}

} // namespace

// A fresh database per test; the gateway has no network, so isPendingAttach shows every attach asked for.
class TestFpcBufferManager : public QObject
{
    Q_OBJECT

    TempRoot m_root;
    int m_db = 0;
    QString dbPath() const { return m_root.path(QStringLiteral("/db/fp%1.db").arg(m_db)); }

private slots:
    void initTestCase()
    {
        // Daily periods follow the local calendar; pin the zone for exact limits.
        qputenv("TZ", "UTC");
        tzset();
        QVERIFY(m_root.writeFile(QStringLiteral("/etc/slpgw/slpgw.conf"), "network=none\n"));
        QVERIFY(m_root.makeDirectory(QStringLiteral("/db")));
        FpcBufferManager::setClock([] { return s_now; });
        FpcUploader *uploader = FpcUploader::instance();
        FpcBufferManager::setUploadRequest(
            {[uploader](SlpGwNetworkUsage kind) { return uploader->isPendingAttach(kind); },
             [uploader](SlpGwNetworkUsage kind) { uploader->fprAttach(kind); }});
    }
    void init()
    {
        s_now = at(0);
        ++m_db;
        setConfig("db_file", dbPath());
        // Far from full and never over the daily limit unless a test says so.
        setConfig("fp_buffer_max_size", "10000000");
        setConfig("fp_buffer_daily_limit", "2000000000");
    }
    void cleanup() { FpcBufferManager::destroyInstance(); }

    // A failed opening leaves no instance; a later call tries again.
    void opening()
    {
        // The default path must lie in a private directory (an unusable path: tst_service_interface).
        const QString privateDir = m_root.path(QStringLiteral("/home/user/.vomu-fpcd/private"));
        QVERIFY(QDir().mkpath(privateDir) && QFile::setPermissions(privateDir, QFile::Permissions(0x7755)));
        setConfig("db_file", QString());
        try {
            buffer();
            QFAIL("opened in a directory others can read");
        } catch (const QString &text) {
            QCOMPARE(text, "Given directory is not SarvoFS mounted, cannot continue! sarvo_crypto_verify_sarvofs("
                               + privateDir + "/)=5");
        }
        QVERIFY(!FpcBufferManager::hasInstance());
        QVERIFY(QFile::setPermissions(privateDir, QFile::Permissions(0x7700)));
        setConfig("db_file", "/home/user/.vomu-fpcd/private/fp.db"); // the default named literally
        QCOMPARE(buffer().databasePath(), privateDir + QStringLiteral("/fp.db"));
        QVERIFY(store(fingerprint(T0, {gsm(1)})) > 0);
    }

    // Unreadable files go aside with their journals, never over an earlier one; a fresh file replaces them.
    void corruptFileMovedAside()
    {
        const QByteArray garbage(4096, 'x');
        for (int round = 0; round < 2; ++round) {
            QVERIFY(m_root.writeFile(QStringLiteral("/db/fp%1.db").arg(m_db), garbage + char('0' + round)));
            QVERIFY(m_root.writeFile(QStringLiteral("/db/fp%1.db-wal").arg(m_db), "wal"));
            QVERIFY(store(fingerprint(T0, {gsm(1)})) > 0);
            FpcBufferManager::destroyInstance();
        }
        const QDir dir(m_root.path(QStringLiteral("/db")));
        QStringList contents;
        for (const QString &name : dir.entryList({QStringLiteral("fp%1.db.corrupt-*").arg(m_db)}, QDir::Files)) {
            if (!name.endsWith("-shm")) // SQLite's own index of the log, made by the failed opening
                contents << QString::fromLatin1(TestSupport::readFile(dir.filePath(name)).right(3));
        }
        contents.sort();
        QCOMPARE(contents, QStringList({"wal", "wal", "xx0", "xx1"})); // two files, each with its -wal
        buffer();
        QCOMPARE(rowCount("Fingerprint"), 1);
    }

    // The newest by time of birth, from the cache and from a new instance.
    void storingAndNewest()
    {
        FpcFingerprint newest;
        QVERIFY(!buffer().getNewestFingerprint(newest));
        QVERIFY(buffer().removeNewest());
        const FpcFingerprint later = fingerprint(T0 + 60, {gsm(2), wlan({0, 1, 2, 3, 4, 5})});
        const qint64 laterId = store(later), earlierId = store(fingerprint(T0, {gsm(1)}));
        QVERIFY(laterId > 0 && earlierId > 0);
        for (int instance = 0; instance < 2; ++instance) {
            if (instance)
                FpcBufferManager::destroyInstance();
            QVERIFY(buffer().getNewestFingerprint(newest));
            QCOMPARE(newest.id(), laterId);
            QCOMPARE(describe(newest), describe(later));
        }
        QVERIFY(buffer().removeNewest());
        QVERIFY(!buffer().getFingerprint(laterId, newest));
        QVERIFY(buffer().getNewestFingerprint(newest));
        QCOMPARE(newest.id(), earlierId);
        QVERIFY(buffer().removeAll());
        QVERIFY(!buffer().getNewestFingerprint(newest));
        QVERIFY(QFile::remove(dbPath())); // a lost file refuses what comes
        QCOMPARE(store(fingerprint(T0 + 1, {gsm(1)})), qint64(-1));
    }

    // The daily growth counts from the size at the start of the day's period.
    void sizeDailyLimitAndAge()
    {
        QVERIFY(!buffer().dailyLimitExceeded()); // starts the period
        for (int i = 0; i < 40; ++i)
            QVERIFY(store(fingerprint(T0 + i, {gsm(quint16(i)), wlan({0, 0, 0, 0, 1, quint8(i)})})) > 0);
        quint32 last = 9, fill, size, max, growth = 0, limit, count = 9;
        QVERIFY(buffer().getBufferStatistics(last, fill, size, max, growth, limit, count) && growth > 0);
        setConfig("fp_buffer_daily_limit", QString::number(growth + 1));
        QVERIFY(!buffer().dailyLimitExceeded());
        setConfig("fp_buffer_daily_limit", QString::number(growth));
        QVERIFY(buffer().dailyLimitExceeded());
        s_now = s_now.addSecs(86400); // the period's last second
        QVERIFY(buffer().dailyLimitExceeded());
        QCOMPARE(buffer().getFpBufferAge(), 86400u);
        s_now = s_now.addSecs(1);
        QVERIFY(!buffer().dailyLimitExceeded()); // new period
        QVERIFY(buffer().getBufferStatistics(last, fill, size, max, growth, limit, count));
        QCOMPARE(QList<quint32>({last, count, growth}), QList<quint32>({0, 0, 0}));

        setConfig("fp_buffer_max_size", "500");
        QCOMPARE(buffer().bufferMaxSize(), 300000u);
        setConfig("fp_buffer_max_size", "1024"); // overfull: the ratio stops at 1
        QVERIFY(buffer().getBufferStatistics(last, fill, size, max, growth, limit, count));
        QCOMPARE(QList<quint32>({fill, max}), QList<quint32>({100, 1024}));
        setConfig("fp_buffer_max_size", QString::number(buffer().bufferSize() * 1000 / 756));
        QVERIFY(buffer().getBufferStatistics(last, fill, size, max, growth, limit, count));
        QCOMPARE(fill, 76u); // 75.6 % rounded
    }

    // masks run from the oldest fingerprint to the newest, stored newest first (ids run against times).
    void cleanupByPriority_data()
    {
        QTest::addColumn<QList<int>>("masks");
        QTest::addColumn<QString>("percentage");
        QTest::addColumn<QList<int>>("deleted");
        QTest::newRow("10 at 5%: the newest") << QList<int>(10, 15) << "5" << QList<int>{9};
        QTest::newRow("100 at the default 5%") << QList<int>(100, 15) << "" << QList<int>{95, 96, 97, 98, 99};
        QTest::newRow("priority order") << QList<int>{15, 10, 3, 10, 7, 2, 14, 15, 9, 11} << "50"
                                        << QList<int>{1, 2, 3, 4, 6};
        QTest::newRow("masks outside the table") << QList<int>{2, 6, 8, 12, 4, 1, 13, 5} << "50" << QList<int>{};
        QTest::newRow("fewer than the share") << QList<int>{2, 10, 2, 15} << "100" << QList<int>{1, 3};
        QTest::newRow("negative share: one") << QList<int>(10, 15) << "-50" << QList<int>{9};
        QTest::newRow("huge share: all there is") << QList<int>{15, 2, 15} << "2000000000" << QList<int>{0, 2};
    }

    void cleanupByPriority()
    {
        QFETCH(QList<int>, masks);
        QFETCH(QString, percentage);
        QFETCH(QList<int>, deleted);
        setConfig("fp_buffer_cleanup_percentage", percentage);
        QList<qint64> stored(masks.size());
        for (qsizetype i = masks.size() - 1; i >= 0; --i)
            QVERIFY((stored[i] = store(withMask(masks[i], -1000 + 10 * i))) > 0);
        // A buffer at exactly its maximum size is full: it cleans up before it takes the next fingerprint.
        setConfig("fp_buffer_max_size", "1024");
        const qint64 size = buffer().bufferSize();
        setConfig("fp_buffer_max_size", QString::number(size));
        QCOMPARE(buffer().bufferSize(), size);
        QList<qint64> expected{store(withMask(FpcFingerprint::Cell, 0))};
        QVERIFY(expected[0] > 0);
        for (qsizetype i = 0; i < masks.size(); ++i) {
            if (!deleted.contains(int(i)))
                expected << stored[i];
        }
        std::sort(expected.begin(), expected.end());
        QCOMPARE(ids(), expected);
    }

    // Steps against the one uploader: an attach stays pending, the next step's line shows its kind. Each has a
    // fresh buffer aged from T0; W 1000 s (empty: default 259200 s), G 5000 s; ratio 0 is exceeded, 0.5 never.
    void uploadTriggers()
    {
        const auto decides = [this](qint64 age, const char *w, const char *wlanRatio, const char *gprsRatio,
                                    const QString &line, const char *maxSize = "10000000") {
            cleanup();
            init();
            setConfig("fp_buffer_max_size", maxSize);
            setConfig("wlan_upload_age_threshold", w);
            setConfig("gprs_upload_age_threshold", *w ? "5000" : "1000000");
            setConfig("wlan_upload_fill_ratio", wlanRatio);
            setConfig("gprs_upload_fill_ratio", gprsRatio);
            buffer();
            s_now = at(age);
            LogCapture log;
            return store(withMask(FpcFingerprint::Cell, age)) > 0 && log.contains(line)
                   && log.contains(QStringLiteral("FpcUploader::fprAttach() SLOT <-"))
                          == line.endsWith("making attach request");
        };
        const QString onlyFreePending = "attach for OnlyFree pending already -- continue collection  ->";
        QVERIFY(decides(1001, "5000", "0", "0", "FP buffer age less than WLAN age threshold -- No upload")); // W = G
        QVERIFY(decides(259200, "", "0", "0", "FP buffer age less than WLAN age threshold -- No upload"));
        QVERIFY(decides(1001, "1000", "0.5", "0", "WLAN FP fill ratio not exceeded the config value"));
        // Overfull, the ratio stops at 1: not above the default.
        QVERIFY(decides(1001, "1000", "", "0", "WLAN FP fill ratio not exceeded the config value", "1024"));
        QVERIFY(decides(1001, "1000", "0", "0", "WLAN FP fill ratio exceeded the config value, making attach request"));
        QVERIFY(decides(259201, "", "0", "0", onlyFreePending));
        QVERIFY(decides(5000, "1000", "0", "0", onlyFreePending));
        QVERIFY(decides(5001, "1000", "0", "0.5", "GPRS FP fill ratio not exceeded the config value"));
        QVERIFY(decides(5001, "1000", "0", "0", "GPRS FP fill ratio exceeded the config value, making attach request"));
        QVERIFY(
            decides(90000, "1000", "0", "0", "attach for FreeAndHomeNw pending already -- continue collection  ->"));
        QVERIFY(decides(-10, "1000", "0", "0", "attach for FreeAndHomeNw pending already")); // clock set back
        QVERIFY(decides(7000, "6000", "0", "0",
                        "FpcBufferManager::storeFpEntry() Upload trigger checking failed: "
                        "\"FpcBufferManager::checkUploadTriggers(): WARNING -- POSSIBLE CONFIGURATION ERROR: "
                        "wlanUploadThreshold > gprsUploadThreshold\""));
    }

    // A report marks exactly the stored fingerprints; one stored while the upload runs stays out and is kept.
    void exportAcrossUpload()
    {
        QByteArray report("stale"), empty;
        FpcReport::externalize({}, empty);
        QVERIFY(buffer().createFpReport(report));
        QCOMPARE(report.toHex(), empty.toHex());

        const QList<qint64> reported{store(withMask(11, -300, 2)), store(withMask(2, -200)), store(withMask(15, -100))};
        QVERIFY(buffer().createFpReport(report));
        QCOMPARE(ids("WHERE exported=1"), reported);
        FpcFingerprint newest;
        QVERIFY(buffer().getNewestFingerprint(newest));
        const qint64 during = store(withMask(10, -400));
        QVERIFY(during > 0);

        s_now = at(600);
        quint32 lastUpload = 0, fill, size, maxSize, growth, limit, lastCount = 0;
        QVERIFY(buffer().removeExported());
        QVERIFY(buffer().getBufferStatistics(lastUpload, fill, size, maxSize, growth, limit, lastCount));
        QCOMPARE(ids(), QList<qint64>{during});
        QCOMPARE(buffer().getFpBufferAge(), quint32(0));
        QCOMPARE(lastUpload, quint32(s_now.toSecsSinceEpoch()));
        QCOMPARE(lastCount, quint32(3));
        // The cached newest was deleted: the one left takes its place.
        QVERIFY(buffer().getNewestFingerprint(newest));
        QCOMPARE(newest.id(), during);
        QVERIFY(buffer().createFpReport(report));
        QCOMPARE(ids("WHERE exported=1"), QList<qint64>{during});
    }

    // Look-ups match a full scan on both hemispheres, the 180th meridian, near the pole and around 100 m.
    void lookUpsMatchFullScan()
    {
        const double metre = 1.0 / 111195.0;
        const QList<std::pair<double, double>> centres{{60.17, 24.94},
                                                       {-33.87, 151.21},
                                                       {0.01, 179.9999},
                                                       {-0.01, -179.9995},
                                                       {89.9995, 12.0}};
        QRandomGenerator random(13);
        QMap<QString, QList<qint64>> byCell;
        for (const auto &[latitude, longitude] : centres) {
            QList<std::pair<double, double>> fixes{{latitude + 100.5 * metre, longitude},
                                                   {latitude - 101.001 * metre, longitude}};
            for (int i = 0; i < 30; ++i) {
                const double dx = (random.generateDouble() - 0.5) * 6000 * metre;
                const double dy = (random.generateDouble() - 0.5) * 6000 * metre;
                fixes.append({qBound(-90.0, latitude + dy, 90.0),
                              std::remainder(longitude + dx / std::cos(latitude * M_PI / 180), 360.0)});
            }
            for (const auto &[fixLatitude, fixLongitude] : fixes) {
                const quint32 cell = random.bounded(4u);
                const bool wide = random.bounded(2u) == 1;
                const qint64 id = store(
                    fingerprint(T0, {wide ? static_cast<VomuObservationElement *>(wcdma(cell)) : gsm(quint16(cell))},
                                true, fixLatitude, fixLongitude));
                QVERIFY(id > 0);
                byCell[QStringLiteral("%1%2").arg(wide ? "U" : "G").arg(cell)].append(id);
            }
        }
        const qint64 withoutFix = store(fingerprint(T0, {gsm(9)}, false));
        const QStringList rows =
            column("SELECT fpId || ' ' || latitude || ' ' || longitude FROM Position ORDER BY rowid");
        QList<qint64> all;
        QVERIFY(buffer().getFingerprintsNearby(position(0, 0), -1, all)); // no limit: also those without a fix
        QCOMPARE(all.size(), rows.size() + 1);
        QVERIFY(all.contains(withoutFix));
        for (const auto &[latitude, longitude] : centres) {
            for (int distance : {0, 100, 1000, 2500, 100000}) {
                FpcPosition stored;
                QList<qint64> expected, found;
                for (const QString &row : rows) {
                    const QStringList f = row.split(u' ');
                    stored.setCoordinate(f[1].toDouble(), f[2].toDouble());
                    if (std::trunc(position(latitude, longitude).distanceTo(stored)) <= distance)
                        expected << f[0].toLongLong();
                }
                QVERIFY(buffer().getFingerprintsNearby(position(latitude, longitude), distance, found));
                QVERIFY2(found == expected,
                         qPrintable(QStringLiteral("%1 %2 %3").arg(latitude).arg(longitude).arg(distance)));
            }
        }
        for (quint32 cell = 0; cell < 4; ++cell) {
            QList<qint64> gsmIds, wcdmaIds;
            buffer().getFpIdsByServingCell(fingerprint(T0, {gsm(quint16(cell))}), gsmIds);
            buffer().getFpIdsByServingCell(fingerprint(T0, {wcdma(cell)}), wcdmaIds);
            QCOMPARE(gsmIds, byCell.value(QStringLiteral("G%1").arg(cell)));
            QCOMPARE(wcdmaIds, byCell.value(QStringLiteral("U%1").arg(cell)));
        }
    }

    // The report read table by table equals the one from whole fingerprints, broken rows too; those are marked.
    void streamedReportMatchesWholeFingerprints()
    {
        QRandomGenerator random(7);
        for (int i = 0; i < 60; ++i) {
            if (i % 3 == 0) {
                QVERIFY(store(fingerprint(T0 + i, {wcdma(quint32(i)), wlan({0, 1, 2, 3, 4, quint8(i)})}, i % 2)) > 0);
            } else {
                static const int masks[] = {1 | 2, 2 | 4 | 8, 1 | 2 | 4 | 8, 8 | 1, 2};
                QVERIFY(store(withMask(masks[random.bounded(5u)], i, int(random.bounded(4u)) + 1)) > 0);
            }
        }
        QVERIFY(exec("UPDATE Fingerprint SET time='broken' WHERE fpId=5"));
        QVERIFY(exec("UPDATE UtraFdd SET mcc='x' WHERE fpId=7"));
        QVERIFY(exec("UPDATE Uncell SET pcpich='x' WHERE rowid=(SELECT max(rowid) FROM Uncell WHERE fpId=13)"));
        QVERIFY(exec("UPDATE Position SET cep68='x' WHERE fpId=(SELECT min(fpId) FROM Position)"));
        QVERIFY(exec("INSERT INTO Wlan (fpId, mac, rxLevel, rssi) VALUES (NULL, 1, -50, 3)"));

        QList<FpcFingerprint *> whole;
        QList<qint64> readable;
        for (qint64 id : ids()) {
            whole << new FpcFingerprint;
            if (buffer().getFingerprint(id, *whole.last()))
                readable << id;
            else
                delete whole.takeLast();
        }
        QByteArray expected, report;
        FpcReport::externalize(whole, expected);
        qDeleteAll(whole);
        QVERIFY(buffer().createFpReport(report));
        QCOMPARE(readable.size(), 59);
        QCOMPARE(report.toHex(), expected.toHex());
        QCOMPARE(ids("WHERE exported=1"), readable);
    }

    // The counted size covers database and log on disk, never jumps (checkpoints included), stays at the limit.
    void sizeAccountingAcrossCheckpoints()
    {
        const qint64 limit = 300000;
        setConfig("fp_buffer_max_size", QString::number(limit));
        qint64 previous = buffer().bufferSize();
        const auto onDisk = [this] { return QFileInfo(dbPath()).size() + QFileInfo(dbPath() + "-wal").size(); };
        for (int i = 0; i < 600; ++i) {
            QVERIFY(store(withMask(15, i, 6)) > 0);
            const qint64 counted = buffer().bufferSize();
            QVERIFY(onDisk() <= counted);
            QVERIFY(counted <= limit + 8192 && counted - previous <= 8192);
            previous = counted;
        }
        QVERIFY(ids().size() < 500);
    }
};

QTEST_GUILESS_MAIN(TestFpcBufferManager)

#include "tst_fpcbuffermanager.moc"
