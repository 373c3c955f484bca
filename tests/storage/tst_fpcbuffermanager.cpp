#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcSqlHandler.h"
#include "StorageTestData.h"
#include "TempRoot.h"

#include <QSignalSpy>
#include <QtTest>

#include <ctime>

using namespace StorageTestData;

namespace {
const qint64 T0 = 1700000000;
QDateTime g_now;
}

class TestFpcBufferManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opening_data();
    void opening();
    void storingAndNewest();
    void nearby();
    void servingCell();
    void dailyLimitAcrossADay();
    void sizeRatioAndAge();
    void lostDatabaseFile();

private:
    FpcBufferManager &buffer() { return FpcBufferManager::instance(); }
    QString dbPath() const { return m_root->path(QStringLiteral("/data/fp.db")); }
    static void setConfig(const char *key, const QString &value) { FpcConfig::addKey(QLatin1String(key), value); }

    std::unique_ptr<TempRoot> m_root;
};

void TestFpcBufferManager::initTestCase()
{
    // Day boundaries are local calendar days; pin the zone for exact limits.
    qputenv("TZ", "UTC");
    tzset();
    FpcFingerprint::registerMetaTypes();
}

void TestFpcBufferManager::init()
{
    m_root = std::make_unique<TempRoot>();
    QVERIFY(m_root->makeDirectory(QStringLiteral("/data")));
    g_now = QDateTime::fromSecsSinceEpoch(T0, Qt::UTC);
    FpcBufferManager::setClock([] { return g_now; });
    for (const char *key : {"fp_buffer_max_size", "fp_buffer_daily_limit"})
        setConfig(key, QString());
    setConfig("db_file", dbPath());
}

void TestFpcBufferManager::cleanup()
{
    FpcBufferManager::destroyInstance();
    FpcBufferManager::setClock({});
    m_root.reset();
}

void TestFpcBufferManager::opening_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("message");
    QTest::newRow("default path, no directory") << "missing"
        << "Given directory is not SarvoFS mounted, cannot continue! sarvo_crypto_verify_sarvofs(%1/home/user/.vomu-fpcd/private/)=2";
    QTest::newRow("default path, directory open to others") << "open"
        << "Given directory is not SarvoFS mounted, cannot continue! sarvo_crypto_verify_sarvofs(%1/home/user/.vomu-fpcd/private/)=5";
    QTest::newRow("default path, private directory") << "private" << "";
    QTest::newRow("directory that cannot be written") << "proc" << "Unable to open database in /proc/fpcd/fp.db: ";
    QTest::newRow("file that is not a database") << "garbage" << "Creating database tables failed";
}

void TestFpcBufferManager::opening()
{
    QFETCH(QString, setting);
    QFETCH(QString, message);
    const QString privateDir = m_root->path(QStringLiteral("/home/user/.vomu-fpcd/private"));
    const QByteArray garbage(4096, 'x');
    if (setting == "missing" || setting == "open" || setting == "private")
        setConfig("db_file", setting == "private" ? QStringLiteral("/home/user/.vomu-fpcd/private/fp.db") : QString());
    if (setting == "open" || setting == "private") {
        QVERIFY(QDir().mkpath(privateDir));
        QVERIFY(QFile::setPermissions(privateDir, setting == "open" ? QFile::Permissions(0x7755) : QFile::Permissions(0x7700)));
    }
    if (setting == "proc")
        setConfig("db_file", QStringLiteral("/proc/fpcd/fp.db"));
    if (setting == "garbage")
        QVERIFY(m_root->writeFile(QStringLiteral("/data/fp.db"), garbage));

    QString thrown;
    try {
        FpcBufferManager::instance();
    } catch (const QString &text) {
        thrown = text;
    }
    if (message.isEmpty()) {
        QCOMPARE(thrown, QString());
        QCOMPARE(buffer().databasePath(), privateDir + QStringLiteral("/fp.db"));
        return;
    }
    QVERIFY2(thrown.startsWith(message.arg(m_root->root())), qPrintable(thrown));
    QVERIFY(!FpcBufferManager::hasInstance());
    if (setting == "garbage")
        QCOMPARE(QFile(dbPath()).size(), qint64(garbage.size()));

    // A later call tries again and succeeds once the cause is gone.
    QFile::remove(dbPath());
    setConfig("db_file", dbPath());
    QVERIFY(buffer().storeFpEntry(fingerprint(T0, {gsm(1)})));
}

void TestFpcBufferManager::storingAndNewest()
{
    FpcFingerprint newest;
    QVERIFY(!buffer().getNewestFingerprint(newest));
    QVERIFY(buffer().removeNewest());

    QSignalSpy stored(&buffer(), &FpcBufferManager::fpStored);
    const FpcFingerprint later = fingerprint(T0 + 60, {gsm(2), wlan({0, 1, 2, 3, 4, 5})});
    const FpcFingerprint earlier = fingerprint(T0, {gsm(1)});
    QVERIFY(buffer().storeFpEntry(later));
    QVERIFY(buffer().storeFpEntry(earlier));
    QCOMPARE(stored.size(), 2);
    const qint64 laterId = stored.at(0).at(0).toLongLong();
    const qint64 earlierId = stored.at(1).at(0).toLongLong();
    QVERIFY(buffer().getNewestFingerprint(newest));
    QCOMPARE(newest.id(), laterId);
    QCOMPARE(describe(newest), describe(later));

    FpcFingerprint timeless = later;
    timeless.setTime(QDateTime());
    QVERIFY(!buffer().storeFpEntry(timeless));
    QCOMPARE(stored.size(), 2);

    // A new instance finds the newest one in the database.
    FpcBufferManager::destroyInstance();
    QVERIFY(buffer().getNewestFingerprint(newest));
    QCOMPARE(newest.id(), laterId);
    QCOMPARE(describe(newest), describe(later));
    QVERIFY(buffer().removeNewest());
    QVERIFY(!buffer().getFingerprint(laterId, newest));
    QVERIFY(buffer().getNewestFingerprint(newest));
    QCOMPARE(newest.id(), earlierId);

    QVERIFY(buffer().removeAll());
    QVERIFY(!buffer().getNewestFingerprint(newest));
}

void TestFpcBufferManager::nearby()
{
    const double metre = 1.0 / 111195.0; // degrees of latitude
    for (double metres : {0.0, 0.5, 10.0, 1000.0})
        QVERIFY(buffer().storeFpEntry(fingerprint(T0, {gsm(1)}, true, 60.0 + metres * metre, 25.0)));
    QVERIFY(buffer().storeFpEntry(fingerprint(T0, {gsm(1)}, false)));
    const FpcPosition here = position(60.0, 25.0);

    QList<qint64> ids;
    QVERIFY(buffer().getFingerprintsNearby(here, -1, ids)); // also the one without a fix
    QCOMPARE(ids.size(), 5);
    const QList<qint64> all = ids;
    ids.clear();
    QVERIFY(buffer().getFingerprintsNearby(here, 0, ids));
    QCOMPARE(ids, all.mid(0, 2));
    ids.clear();
    QVERIFY(buffer().getFingerprintsNearby(here, 15, ids));
    QCOMPARE(ids, all.mid(0, 3));
}

void TestFpcBufferManager::servingCell()
{
    QList<qint64> stored;
    for (const FpcFingerprint &fp : {fingerprint(T0, {gsm(1)}), fingerprint(T0, {gsm(2)}),
                                     fingerprint(T0, {wcdma(77)}), fingerprint(T0, {gsm(1), wlan({0, 0, 0, 0, 0, 1})})}) {
        QSignalSpy spy(&buffer(), &FpcBufferManager::fpStored);
        QVERIFY(buffer().storeFpEntry(fp));
        stored << spy.at(0).at(0).toLongLong();
    }
    const auto lookUp = [this](const FpcFingerprint &fp) {
        QList<qint64> ids;
        buffer().getFpIdsByServingCell(fp, ids);
        return ids;
    };
    QCOMPARE(lookUp(fingerprint(T0, {gsm(1)})), QList<qint64>({stored[0], stored[3]}));
    QCOMPARE(lookUp(fingerprint(T0, {wcdma(77)})), QList<qint64>{stored[2]});
    QCOMPARE(lookUp(fingerprint(T0, {gsm(3)})), QList<qint64>{});
    QCOMPARE(lookUp(fingerprint(T0, {wlan({0, 0, 0, 0, 0, 1})})), QList<qint64>{});
}

void TestFpcBufferManager::dailyLimitAcrossADay()
{
    QVERIFY(!buffer().dailyLimitExceeded()); // starts the period
    for (int i = 0; i < 8; ++i)
        QVERIFY(buffer().storeFpEntry(fingerprint(T0 + i, {gsm(quint16(i)), wlan({0, 0, 0, 0, 1, quint8(i)})})));
    quint32 last, fill, size, max, growth = 0, limit, count;
    QVERIFY(buffer().getBufferStatistics(last, fill, size, max, growth, limit, count));
    QVERIFY(growth > 0);

    setConfig("fp_buffer_daily_limit", QString::number(growth + 1));
    QVERIFY(!buffer().dailyLimitExceeded());
    setConfig("fp_buffer_daily_limit", QString::number(growth));
    QVERIFY(buffer().dailyLimitExceeded());
    g_now = g_now.addSecs(86400); // the period's last second
    QVERIFY(buffer().dailyLimitExceeded());
    g_now = g_now.addSecs(1);
    QVERIFY(!buffer().dailyLimitExceeded()); // new period
    QVERIFY(buffer().getBufferStatistics(last, fill, size, max, growth, limit, count));
    QCOMPARE(growth, 0u);
    setConfig("fp_buffer_daily_limit", QStringLiteral("0"));
    QVERIFY(buffer().dailyLimitExceeded());
    QVERIFY(buffer().removeAll()); // the buffer shrinks: the period starts again
    QVERIFY(!buffer().dailyLimitExceeded());
}

void TestFpcBufferManager::sizeRatioAndAge()
{
    for (int i = 0; i < 20; ++i)
        QVERIFY(buffer().storeFpEntry(fingerprint(T0 + i, {gsm(quint16(i)), wlan({0, 0, 0, 0, 2, quint8(i)})})));
    const qint64 file = QFileInfo(dbPath()).size();
    const qint64 log = QFileInfo(dbPath() + "-wal").size();
    QCOMPARE(buffer().bufferSize(), file + qMax(log, FpcSqlHandler::WalReserveBytes));

    setConfig("fp_buffer_max_size", QStringLiteral("500"));
    QCOMPARE(buffer().bufferMaxSize(), 300000u);
    setConfig("fp_buffer_max_size", QStringLiteral("1024"));
    QCOMPARE(buffer().getFpBufferFillRatio(), 1.0f);
    quint32 last = 9, fill, size, max, growth, limit, count = 9;
    QVERIFY(buffer().getBufferStatistics(last, fill, size, max, growth, limit, count));
    QCOMPARE(fill, 100u);
    QCOMPARE(max, 1024u);
    QCOMPARE(last, 0u);
    QCOMPARE(count, 0u);

    QCOMPARE(buffer().getFpBufferAge(), 0u);
    g_now = g_now.addSecs(100);
    QCOMPARE(buffer().getFpBufferAge(), 100u);
    g_now = g_now.addSecs(-110); // clock set back: the age wraps
    QCOMPARE(buffer().getFpBufferAge(), quint32(-10));
}

void TestFpcBufferManager::lostDatabaseFile()
{
    QVERIFY(buffer().storeFpEntry(fingerprint(T0, {gsm(1)})));
    QVERIFY(QFile::remove(dbPath()));
    QSignalSpy stored(&buffer(), &FpcBufferManager::fpStored);
    QVERIFY_THROWS_EXCEPTION(QString, buffer().bufferSize());
    QVERIFY(!buffer().storeFpEntry(fingerprint(T0 + 1, {gsm(1)})));
    QCOMPARE(stored.size(), 0);
}

QTEST_GUILESS_MAIN(TestFpcBufferManager)
#include "tst_fpcbuffermanager.moc"
