#include "FpcConfig.h"
#include "FpcCreator.h"
#include "FpcDropCounters.h"
#include "LogCapture.h"
#include "TempBuffer.h"
#include "VomuElementGSM.h"
#include "VomuElementWLAN.h"

#include <QtTest>

#include <memory>

namespace {

const QDateTime kT = QDateTime::fromMSecsSinceEpoch(Q_INT64_C(1800000000000), Qt::UTC);
const qint64 kMs = kT.toMSecsSinceEpoch();
constexpr int NoFix = 999;

// A fix stamped offset seconds after kT, about metresNorth north of (60, 24).
FpcPosition fix(int speed, int offset = 0, double metresNorth = 0)
{
    FpcPosition p;
    p.setCoordinate(60.0 + metresNorth / 111195.0, 24.0, 10.0f);
    p.setHorizontalAccuracy(5.0f);
    p.setTimestamp(kT.toSecsSinceEpoch() + offset);
    p.setGroundSpeed(quint16(speed));
    return p;
}

// One GSM cell and three access points: valid with or without a position.
VomuMeasurements radio()
{
    VomuMeasurements m;
    auto *cell = new VomuElementGSM;
    cell->internalize(R"(<gCell mcc="244" mnc="5" lac="10" cid="1001"/>)");
    m.append(cell);
    for (const char *mac : {"02:11:22:33:44:01", "02:11:22:33:44:02", "02:11:22:33:44:03"}) {
        auto *ap = new VomuElementWLAN;
        ap->internalize(std::string(R"(<wlan powRx="60" mac=")") + mac + "\"/>");
        m.append(ap);
    }
    return m;
}

} // namespace

class TstFpcCreator : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempBuffer> m_buffer;
    std::unique_ptr<FpcCreator> m_creator;
    QDateTime m_now;

    FpcCreator &creator() { return *m_creator; }
    static void configure(const char *key, const QString &value) { FpcConfig::addKey(QLatin1String(key), value); }

private slots:
    void init()
    {
        m_buffer = std::make_unique<TempBuffer>();
        QVERIFY(m_buffer->isValid());
        m_now = kT;
        m_creator = std::make_unique<FpcCreator>();
        m_creator->setClock([this] { return m_now; });
        configure("gps_cache_time_frame", "60");
    }

    void cleanup()
    {
        m_creator.reset();
        m_buffer.reset();
        for (const char *key : {"gps_max_speed", "min_distance_between_consecutive_positions", "gps_cache_time_frame",
                                "privacy_zones", "collection_enabled"})
            configure(key, QString());
    }

    // Fixes too fast, without speed or too near the newest stored one are dropped; WLAN asked up to 40 km/h.
    void fixChecks_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("stored");        // metres to a stored fingerprint; -1 none, -2 one without position
        QTest::addColumn<QString>("checksOff"); // "0" switches speed and distance checks off
        QTest::addColumn<int>("request");       // -1 none (dropped), else needWlan
        QTest::newRow("151 km/h") << 151 << -1 << "" << -1;
        QTest::newRow("150 km/h, the maximum") << 150 << -1 << "" << 0;
        QTest::newRow("no speed") << 65535 << -1 << "" << -1;
        QTest::newRow("no speed, check off") << 65535 << -1 << "0" << 0;
        QTest::newRow("50 km/h") << 50 << -1 << "" << 0;
        QTest::newRow("40 km/h") << 40 << -1 << "" << 1;
        QTest::newRow("20 m") << 30 << 20 << "" << -1;
        QTest::newRow("40 m") << 30 << 40 << "" << 1;
        QTest::newRow("20 m, check off") << 30 << 20 << "0" << 1;
        QTest::newRow("stored without fix") << 30 << -2 << "" << 1;
    }

    void fixChecks()
    {
        QFETCH(int, speed);
        QFETCH(int, stored);
        QFETCH(QString, checksOff);
        QFETCH(int, request);
        configure("gps_max_speed", checksOff);
        configure("min_distance_between_consecutive_positions", checksOff);
        FpcFingerprint previous;
        previous.setMeasurements(radio());
        if (stored >= 0)
            previous.setPosition(fix(30));
        QVERIFY(stored == -1 || TempBuffer::store(previous) > 0);
        QSignalSpy requests(&creator(), &FpcCreator::collectMeasurements);
        creator().newGpsFix(fix(speed, 0, qMax(stored, 0)));
        QCOMPARE(creator().cachedFingerprintCount() + creator().cachedFixCount(), request < 0 ? 0 : 2);
        QCOMPARE(requests.count(), request < 0 ? 0 : 1);
        QVERIFY(request < 0 || requests.at(0).at(0).toBool() == bool(request));
    }

    // One pending request serves every birth after it; the evaluation empties the cache.
    void servingSeveralBirths()
    {
        QSignalSpy requests(&creator(), &FpcCreator::collectMeasurements);
        QSignalSpy created(&creator(), &FpcCreator::fingerprintCreated);
        creator().newGpsFix(fix(50, -1));
        m_now = kT.addMSecs(1);
        creator().newGpsFix(fix(50, 0, 100));
        m_now = kT.addMSecs(2);
        creator().createFingerprint(); // the second fix is the nearer in time
        m_now = kT.addMSecs(-5);
        creator().createFingerprint(); // born before the request: not served
        QCOMPARE(requests.count(), 1);
        QCOMPARE(requests.at(0).at(0).toBool(), false);
        QCOMPARE(creator().pendingTime(), kMs);
        creator().newMeasurements(radio());
        QCOMPARE(created.count(), 3);
        for (const QList<QVariant> &emission : std::as_const(created))
            QCOMPARE(emission.at(0).value<FpcFingerprint>().dataMask(), quint8(1 | 2 | 8));
        QCOMPARE(created.at(2).at(0).value<FpcFingerprint>().position().latitude(), fix(50, 0, 100).latitude());
        QCOMPARE(creator().cachedFingerprintCount(), 0);
        QCOMPARE(creator().pendingTime(), 0);
    }

    void fixMatching_data()
    {
        QTest::addColumn<QList<int>>("offsets"); // seconds from the birth, in arrival order
        QTest::addColumn<QList<int>>("speeds");
        QTest::addColumn<int>("expected");
        QTest::newRow("low speed: nearest") << QList<int>{-1, -3} << QList<int>{5, 5} << -1;
        QTest::newRow("high speed: 2 s") << QList<int>{-3, -2} << QList<int>{20, 20} << -2;
        QTest::newRow("threshold is high") << QList<int>{-3} << QList<int>{10} << NoFix;
        QTest::newRow("no speed is high") << QList<int>{-3} << QList<int>{65535} << NoFix;
        QTest::newRow("low speed: 10 s") << QList<int>{-11, -10} << QList<int>{9, 9} << -10;
        QTest::newRow("tie: older wins") << QList<int>{-2, 2} << QList<int>{5, 5} << -2;
    }

    void fixMatching()
    {
        QFETCH(QList<int>, offsets);
        QFETCH(QList<int>, speeds);
        QFETCH(int, expected);
        for (int i = 0; i < offsets.size(); ++i)
            creator().appendFixToCache(fix(speeds.at(i), offsets.at(i)));
        FpcPosition out;
        QCOMPARE(creator().findMatchingGpsFix(kT, out), expected != NoFix);
        QVERIFY(expected == NoFix || out.timestamp() == fix(0, expected).timestamp());
    }

    void fixCacheExpiry()
    {
        configure("gps_cache_time_frame", "10");
        for (int offset : {100000, -20, -5}) // a far-future fix must not shield expired ones
            creator().appendFixToCache(fix(5, offset));
        QCOMPARE(creator().cachedFixCount(), 2);
    }

    void sameMillisecondBirths_data()
    {
        QTest::addColumn<bool>("firstWithFix");
        QTest::addColumn<bool>("secondWithFix");
        QTest::addColumn<int>("kept"); // metres north of the first fix
        QTest::newRow("fix, timer") << true << false << 0;
        QTest::newRow("timer, fix") << false << true << 100;
        QTest::newRow("fix, fix") << true << true << 100;
    }

    void sameMillisecondBirths()
    {
        QFETCH(bool, firstWithFix);
        QFETCH(bool, secondWithFix);
        QFETCH(int, kept);
        FpcBufferManager &buffer = TempBuffer::buffer();
        connect(&creator(), &FpcCreator::fingerprintCreated, &buffer, &FpcBufferManager::storeFpEntry);
        connect(&buffer, &FpcBufferManager::fpStored, &creator(), &FpcCreator::fingerprintStored);
        firstWithFix ? creator().newGpsFix(fix(50)) : creator().createFingerprint();
        secondWithFix ? creator().newGpsFix(fix(50, 0, 100)) : creator().createFingerprint();
        QCOMPARE(creator().cachedFingerprintCount(), 1);
        creator().newMeasurements(radio());
        FpcFingerprint stored;
        QVERIFY(buffer.getNewestFingerprint(stored));
        QCOMPARE(stored.position().latitude(), fix(50, 0, kept).latitude());
    }

    // A birth without time asks for nothing; a result for an empty cache still ends the pending request.
    void emptyCacheResetsPendingRequest()
    {
        QSignalSpy requests(&creator(), &FpcCreator::collectMeasurements);
        m_now = QDateTime();
        creator().createFingerprint();
        m_now = kT;
        creator().createFingerprint();
        creator().fingerprintStored(kMs); // a notice under a birth key takes the waiting fingerprint
        QCOMPARE(creator().pendingTime(), kMs);
        creator().newMeasurements(radio());
        QCOMPARE(creator().pendingTime(), 0);
        m_now = kT.addMSecs(1);
        creator().createFingerprint();
        QCOMPARE(requests.count(), 2);
    }

    // North through a 50 m zone 100 m ahead: fixes inside, and triggers with no fix or one inside, are refused.
    void walkThroughPrivacyZone()
    {
        configure("privacy_zones", "60.000899,24.0,50;garbage");
        configure("min_distance_between_consecutive_positions", "0");
        FpcDropCounters::reset();
        QSignalSpy requests(&creator(), &FpcCreator::collectMeasurements);
        int second = 0;
        const auto step = [&](int metresNorth) {
            m_now = kT.addSecs(++second);
            metresNorth < 0 ? creator().createFingerprint() : creator().newGpsFix(fix(5, second, metresNorth));
            if (creator().pendingTime() != 0)
                creator().newMeasurements(radio());
        };
        step(-1); // no fix yet: refused
        for (int metres : {0, 40, 60, 100, 140})
            step(metres);
        step(-1); // newest fix inside: refused
        step(200);
        step(-1); // newest fix outside: allowed
        QCOMPARE(requests.count(), 4);
        QCOMPARE(FpcDropCounters::value(FpcDropCounters::PrivacyRule), 5u);
    }

    // With collection off nothing is born, nor announced if its measurements were under way.
    void collectionSwitch()
    {
        FpcDropCounters::reset();
        QSignalSpy requests(&creator(), &FpcCreator::collectMeasurements);
        QSignalSpy created(&creator(), &FpcCreator::fingerprintCreated);
        configure("collection_enabled", "0");
        creator().newGpsFix(fix(5));
        creator().createFingerprint();
        QCOMPARE(requests.count(), 0);
        configure("collection_enabled", "1");
        creator().newGpsFix(fix(5));
        QCOMPARE(requests.count(), 1);
        configure("collection_enabled", "0");
        creator().newMeasurements(radio());
        QCOMPARE(created.count(), 0);
        QCOMPARE(FpcDropCounters::value(FpcDropCounters::CollectionOff), 3u);
    }

    // Stored notices during the announcement, whatever their key, leave the announced fingerprint alive.
    void storedNoticeDuringAnnouncement()
    {
        creator().newGpsFix(fix(50));
        m_now = kT.addMSecs(1);
        creator().newGpsFix(fix(50, 0, 100));
        QList<double> seen;
        connect(&creator(), &FpcCreator::fingerprintCreated, this, [&](const FpcFingerprint &fp) {
            creator().fingerprintStored(kMs);
            creator().fingerprintStored(kMs + 1);
            seen << fp.position().latitude();
        });
        LogCapture log;
        creator().newMeasurements(radio());
        QCOMPARE(seen, QList<double>{fix(50).latitude()});
        QVERIFY(log.contains("ERROR: No FP found from internal cache"));
        QCOMPARE(creator().cachedFingerprintCount(), 0);
    }
};

int runCreatorTests(int argc, char **argv)
{
    TstFpcCreator test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fpccreator.moc"
