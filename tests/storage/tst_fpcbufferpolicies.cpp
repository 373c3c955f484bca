// The buffer's policies on a real database file: which fingerprints a cleanup
// gives up, when an upload is asked for (through the real uploader and the
// gateway stand-in, whose network is down so that an attach stays pending),
// and the export state across an upload, with every report read back by the
// independent decoder.

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcUploader.h"
#include "LogCapture.h"
#include "TempRoot.h"
#include "VomuElementGSM.h"
#include "VomuElementWLAN.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

namespace {

const QDateTime T0(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
QDateTime s_now = T0;

VomuElementWLAN *accessPoint(quint8 last)
{
    const uint8_t bytes[6] = {0x02, 0x11, 0x22, 0x33, 0x44, last};
    auto *ap = new VomuElementWLAN;
    ap->setMac(VomuWlanMacAddress(bytes, 6));
    ap->setPowerRx(-60);
    return ap;
}

// A fingerprint born secondsFromT0 after T0 whose data mask is exactly mask,
// with an element behind each bit; extraAccessPoints adds WLAN elements.
FpcFingerprint fingerprint(int mask, qint64 secondsFromT0, int extraAccessPoints = 0)
{
    VomuMeasurements measurements;
    if (mask & FpcFingerprint::Cell) {
        auto *cell = new VomuElementGSM;
        cell->setCountryCode(244);
        cell->setNetworkId(5);
        cell->setLocationAreaCode(1234);
        cell->setCellId(quint16(secondsFromT0 & 0xffff));
        if (mask & FpcFingerprint::NeighborCell)
            cell->appendNeighbourCell(VomuElementGSM::NeighbourCell(7, 60));
        measurements.append(cell);
    }
    for (int i = (mask & FpcFingerprint::WLAN) ? -1 : 0; i < extraAccessPoints; ++i)
        measurements.append(accessPoint(quint8(i + 2)));
    FpcFingerprint fp;
    fp.setMeasurements(measurements);
    if (mask & FpcFingerprint::GPS) {
        FpcPosition position;
        position.setCoordinate(60.17, 24.94, 12.0f);
        position.setHorizontalAccuracy(8.0f);
        fp.setPosition(position);
    }
    fp.setDataMask(quint8(mask));
    fp.setTime(T0.addSecs(secondsFromT0));
    return fp;
}

FpcBufferManager &buffer()
{
    return FpcBufferManager::instance();
}

// Stores fp; its id, or -1.
qint64 store(const FpcFingerprint &fp)
{
    qint64 id = -1;
    const auto c = QObject::connect(&buffer(), &FpcBufferManager::fpStored, [&id](qint64 stored) { id = stored; });
    const bool stored = buffer().storeFpEntry(fp);
    QObject::disconnect(c);
    return stored ? id : -1;
}

QList<qint64> ids(const char *condition = "")
{
    QSqlQuery query(QSqlDatabase::database());
    query.exec(QStringLiteral("SELECT fpId FROM Fingerprint %1 ORDER BY fpId").arg(QLatin1String(condition)));
    QList<qint64> found;
    while (query.next())
        found << query.value(0).toLongLong();
    return found;
}

QList<qint64> exportedIds()
{
    return ids("WHERE exported=1");
}

// Each record of the report as the independent decoder reads it, as
// "<seconds from T0>:<element ids>"; a rejected report gives "rejected".
QStringList decodedRecords(const QByteArray &report)
{
    QProcess decoder;
    decoder.start(QStringLiteral(FPCD_PYTHON3), {QStringLiteral(FPCD_FPRDECODE), QStringLiteral("-")});
    decoder.write(report);
    decoder.closeWriteChannel();
    if (!decoder.waitForFinished(60000) || decoder.exitCode() != 0)
        return {QStringLiteral("rejected"), QString::fromUtf8(decoder.readAllStandardError())};
    QStringList records;
    const QJsonObject decoded = QJsonDocument::fromJson(decoder.readAllStandardOutput()).object();
    for (const QJsonValue &record : decoded[u"fingerprints"].toArray()) {
        QStringList elementIds;
        for (const QJsonValue &element : record[u"elements"].toArray())
            elementIds << QString::number(element[u"id"].toInt());
        records << QStringLiteral("%1:%2").arg(qint64(record[u"time"].toDouble()) - T0.toSecsSinceEpoch())
                       .arg(elementIds.join(u','));
    }
    return records;
}

} // namespace

class TestFpcBufferPolicies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        // The gateway stand-in without network: an attach is accepted and
        // stays pending, so isPendingAttach shows every request made.
        QVERIFY(m_root.writeFile(QStringLiteral("/etc/slpgw/slpgw.conf"), "network=none\n"));
        QVERIFY(m_root.makeDirectory(QStringLiteral("/db")));
        FpcBufferManager::setClock([] { return s_now; });
    }
    void cleanupTestCase() { FpcBufferManager::setClock({}); }
    void init()
    {
        s_now = T0;
        FpcConfig::addKey(QStringLiteral("db_file"), m_root.path(QStringLiteral("/db/fp%1.db").arg(++m_db)));
        // Far from full and never over the daily limit unless a test says so.
        FpcConfig::addKey(QStringLiteral("fp_buffer_max_size"), QStringLiteral("10000000"));
        FpcConfig::addKey(QStringLiteral("fp_buffer_daily_limit"), QStringLiteral("2000000000"));
    }
    void cleanup() { FpcBufferManager::destroyInstance(); }

    void cleanupByPriority_data();
    void cleanupByPriority();
    void uploadTriggers_data();
    void uploadTriggers();
    void exportAcrossUpload_data();
    void exportAcrossUpload();
    void unreadableFingerprintStaysForLaterReport();

private:
    TempRoot m_root;
    int m_db = 0;
};

// masks: data masks from the oldest fingerprint to the newest; they are
// stored newest first, so the ids run against the times.
void TestFpcBufferPolicies::cleanupByPriority_data()
{
    QTest::addColumn<QList<int>>("masks");
    QTest::addColumn<QString>("percentage");
    QTest::addColumn<QList<int>>("deleted");

    QTest::newRow("10 at 5%: the newest") << QList<int>(10, 15) << "5" << QList<int>{9};
    QTest::newRow("100 at 5%: 5") << QList<int>(100, 15) << "5" << QList<int>{95, 96, 97, 98, 99};
    QTest::newRow("priority order") << QList<int>{15, 10, 3, 10, 7, 2, 14, 15, 9, 11} << "50"
                                    << QList<int>{1, 2, 3, 4, 6};
    QTest::newRow("masks outside the table") << QList<int>{2, 6, 8, 12, 4, 1, 13, 5} << "50" << QList<int>{};
    QTest::newRow("fewer than the share") << QList<int>{2, 10, 2, 15} << "100" << QList<int>{1, 3};
    QTest::newRow("negative share: one") << QList<int>(10, 15) << "-50" << QList<int>{9};
    QTest::newRow("huge share: all there is") << QList<int>{15, 2, 15} << "2000000000" << QList<int>{0, 2};
}

void TestFpcBufferPolicies::cleanupByPriority()
{
    QFETCH(QList<int>, masks);
    QFETCH(QString, percentage);
    QFETCH(QList<int>, deleted);
    FpcConfig::addKey(QStringLiteral("fp_buffer_cleanup_percentage"), percentage);
    QList<qint64> stored(masks.size());
    for (qsizetype i = masks.size() - 1; i >= 0; --i)
        QVERIFY((stored[i] = store(fingerprint(masks[i], -1000 + 10 * i))) > 0);

    // A full buffer cleans up before it takes the next fingerprint.
    FpcConfig::addKey(QStringLiteral("fp_buffer_max_size"), QStringLiteral("1024"));
    LogCapture log;
    const qint64 next = store(fingerprint(FpcFingerprint::Cell, 0));
    QVERIFY(next > 0);
    QVERIFY(log.contains(QStringLiteral("Fingerprints in DB after cleanup: %1").arg(masks.size() - deleted.size())));
    QList<qint64> expected{next};
    for (qsizetype i = 0; i < masks.size(); ++i) {
        if (!deleted.contains(int(i)))
            expected << stored[i];
    }
    std::sort(expected.begin(), expected.end());
    QCOMPARE(ids(), expected);
}

// The rows run in order against the one process-wide uploader: an attach
// asked for in one row is still pending in the following ones. Each row has
// a fresh buffer whose age starts at T0; thresholds W 1000 s, G 5000 s.
void TestFpcBufferPolicies::uploadTriggers_data()
{
    QTest::addColumn<qint64>("age");
    QTest::addColumn<QString>("wlanThreshold");
    QTest::addColumn<QString>("wlanRatio");
    QTest::addColumn<QString>("gprsRatio");
    QTest::addColumn<QString>("expectedLine");
    QTest::addColumn<bool>("attachRequested");
    QTest::addColumn<QString>("pending");

    // A ratio of 0 is exceeded by any buffer, 0.5 by none here.
    QTest::newRow("age equal to W") << qint64(1000) << "1000" << "0" << "0"
                                    << "FP buffer age less than WLAN age threshold -- No upload" << false << "";
    QTest::newRow("past W, ratio not above") << qint64(1001) << "1000" << "0.5" << "0"
                                             << "WLAN FP fill ratio not exceeded the config value" << false << "";
    QTest::newRow("past W, ratio above") << qint64(1001) << "1000" << "0" << "0"
                                         << "WLAN FP fill ratio exceeded the config value, making attach request"
                                         << true << "OnlyFree";
    QTest::newRow("age equal to G") << qint64(5000) << "1000" << "0" << "0"
                                    << "attach for OnlyFree pending already -- continue collection  ->" << false
                                    << "OnlyFree";
    QTest::newRow("past G, ratio not above") << qint64(5001) << "1000" << "0" << "0.5"
                                             << "GPRS FP fill ratio not exceeded the config value" << false
                                             << "OnlyFree";
    QTest::newRow("past G, ratio above") << qint64(5001) << "1000" << "0" << "0"
                                         << "GPRS FP fill ratio exceeded the config value, making attach request"
                                         << true << "OnlyFree FreeAndHomeNw";
    QTest::newRow("FreeAndHomeNw pending") << qint64(90000) << "1000" << "0" << "0"
                                           << "attach for FreeAndHomeNw pending already -- continue collection  ->"
                                           << false << "OnlyFree FreeAndHomeNw";
    QTest::newRow("clock set back") << qint64(-10) << "1000" << "0" << "0"
                                    << "attach for FreeAndHomeNw pending already" << false << "OnlyFree FreeAndHomeNw";
    QTest::newRow("G below W") << qint64(7000) << "6000" << "0" << "0"
                               << "FpcBufferManager::storeFpEntry() Upload trigger checking failed: "
                                  "\"FpcBufferManager::checkUploadTriggers(): WARNING -- POSSIBLE CONFIGURATION "
                                  "ERROR: wlanUploadThreshold > gprsUploadThreshold\""
                               << false << "OnlyFree FreeAndHomeNw";
}

void TestFpcBufferPolicies::uploadTriggers()
{
    QFETCH(qint64, age);
    QFETCH(QString, wlanThreshold);
    QFETCH(QString, wlanRatio);
    QFETCH(QString, gprsRatio);
    QFETCH(QString, expectedLine);
    QFETCH(bool, attachRequested);
    QFETCH(QString, pending);
    FpcConfig::addKey(QStringLiteral("wlan_upload_age_threshold"), wlanThreshold);
    FpcConfig::addKey(QStringLiteral("gprs_upload_age_threshold"), QStringLiteral("5000"));
    FpcConfig::addKey(QStringLiteral("wlan_upload_fill_ratio"), wlanRatio);
    FpcConfig::addKey(QStringLiteral("gprs_upload_fill_ratio"), gprsRatio);
    buffer();
    s_now = T0.addSecs(age);

    LogCapture log;
    QVERIFY(store(fingerprint(FpcFingerprint::Cell, age)) > 0);
    QVERIFY2(log.contains(expectedLine), qPrintable(log.lines().join(u'\n')));
    QCOMPARE(log.contains(QStringLiteral("FpcUploader::fprAttach() SLOT <-")), attachRequested);
    QCOMPARE(FpcUploader::instance()->isPendingAttach(OnlyFree), pending.contains(u"OnlyFree"));
    QCOMPARE(FpcUploader::instance()->isPendingAttach(FreeAndHomeNw), pending.contains(u"FreeAndHomeNw"));
}

void TestFpcBufferPolicies::exportAcrossUpload_data()
{
    QTest::addColumn<bool>("uploadSucceeds");
    QTest::newRow("upload finished") << true;
    QTest::newRow("upload failed") << false;
}

// A report holds exactly the stored fingerprints and marks them; one stored
// while the upload runs stays out of it, whatever the outcome.
void TestFpcBufferPolicies::exportAcrossUpload()
{
    QFETCH(bool, uploadSucceeds);
    QByteArray report("stale");
    QVERIFY(buffer().createFpReport(report));
    QCOMPARE(decodedRecords(report), QStringList());

    const QList<qint64> reported{store(fingerprint(11, -300, 1)), store(fingerprint(2, -200)),
                                 store(fingerprint(15, -100))};
    QVERIFY(!reported.contains(-1));
    report.clear();
    QVERIFY(buffer().createFpReport(report));
    QCOMPARE(decodedRecords(report), (QStringList{"-300:3,1,5,5", "-200:1", "-100:3,1,5"}));
    QCOMPARE(exportedIds(), reported);
    FpcFingerprint newest;
    QVERIFY(buffer().getNewestFingerprint(newest));

    const qint64 during = store(fingerprint(10, -400));
    QVERIFY(during > 0);
    QCOMPARE(exportedIds(), reported);

    s_now = T0.addSecs(600);
    quint32 lastUpload = 0, fill = 0, size = 0, maxSize = 0, growth = 0, limit = 0, lastCount = 0;
    QVERIFY(uploadSucceeds ? buffer().removeExported() : buffer().cancelExport());
    QVERIFY(buffer().getBufferStatistics(lastUpload, fill, size, maxSize, growth, limit, lastCount));
    QCOMPARE(exportedIds(), QList<qint64>());
    if (uploadSucceeds) {
        QCOMPARE(ids(), QList<qint64>{during});
        QCOMPARE(buffer().getFpBufferAge(), quint32(0));
        QCOMPARE(lastUpload, quint32(s_now.toSecsSinceEpoch()));
        QCOMPARE(lastCount, quint32(3));
        // The cached newest was deleted: the one left takes its place.
        QVERIFY(buffer().getNewestFingerprint(newest));
        QCOMPARE(newest.id(), during);
    } else {
        QCOMPARE(ids().size(), 4);
        QCOMPARE(buffer().getFpBufferAge(), quint32(600));
        QCOMPARE(lastUpload, quint32(0));
    }

    // The next report takes whatever is left, the late one included.
    report.clear();
    QVERIFY(buffer().createFpReport(report));
    QCOMPARE(decodedRecords(report).size(), uploadSucceeds ? 1 : 4);
    QCOMPARE(exportedIds(), ids());
}

// A fingerprint that cannot be read never reaches the server: it must not be
// marked, or the upload's success would delete it.
void TestFpcBufferPolicies::unreadableFingerprintStaysForLaterReport()
{
    const QList<qint64> stored{store(fingerprint(2, -30)), store(fingerprint(2, -20)), store(fingerprint(2, -10))};
    QVERIFY(!stored.contains(-1));
    QSqlQuery tamper(QSqlDatabase::database());
    QVERIFY(tamper.exec(QStringLiteral("UPDATE Fingerprint SET time='broken' WHERE fpId=%1").arg(stored[1])));

    QByteArray report;
    QVERIFY(buffer().createFpReport(report));
    QCOMPARE(decodedRecords(report), (QStringList{"-30:1", "-10:1"}));
    QCOMPARE(exportedIds(), (QList<qint64>{stored[0], stored[2]}));
    QVERIFY(buffer().removeExported());
    QCOMPARE(ids(), QList<qint64>{stored[1]});
}

QTEST_GUILESS_MAIN(TestFpcBufferPolicies)
#include "tst_fpcbufferpolicies.moc"
