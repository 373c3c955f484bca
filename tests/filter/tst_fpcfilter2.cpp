#include "BufferFixture.h"
#include "FilterTestData.h"
#include "FpcFilter2.h"

#include <QtTest>

#include <memory>

using namespace FilterTestData;

Q_DECLARE_METATYPE(QList<FpcFingerprint>)

namespace {

const QString Prefix = QStringLiteral("[INFO] FpcFilter2::evaluateEntry() ");
const QString Passed = QStringLiteral("[INFO] FpcFilter2::evaluateEntry() - FILTER PASSED");
const QString RunTime = QStringLiteral("[INFO] FpcFilter2::evaluateEntry() 2nd filter run took = ");
const QString CellCompare = QStringLiteral("FpcFilter::compareCellInfo()");

QString rejectedBy(qint64 id)
{
    return Prefix + QStringLiteral("FP %1 is better than the new one - FILTER NOT PASSED").arg(id);
}

} // namespace

class TstFpcFilter2 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<BufferFixture> m_fixture;

    // Stores the candidates in order; ids count from 1 in the fresh buffer.
    void storeAll(const QList<FpcFingerprint> &stored)
    {
        int secondsAgo = 600;
        for (const FpcFingerprint &fp : stored)
            QVERIFY(BufferFixture::store(fp, secondsAgo--) > 0);
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<BufferFixture>();
        QVERIFY(m_fixture->isValid());
    }
    void cleanup()
    {
        m_fixture.reset();
        FpcConfig::addKey(QStringLiteral("max_distance_to_new_fp"), QString());
    }

    void decisions_data()
    {
        QTest::addColumn<QList<FpcFingerprint>>("stored");
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<QString>("maxDistance");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QString>("decisive");
        QTest::addColumn<bool>("compared");

        const FpcPosition here = position(60.0, 24.0);
        const FpcPosition fiveMetres = positionNorth(5);
        const FpcPosition fiftyMetres = positionNorth(50);
        const QString better = QStringLiteral("[INFO] FpcFilter2::hasBetterWlanData() ");

        QTest::newRow("nothing within 20 m")
            << QList<FpcFingerprint>{fingerprintAt(fiftyMetres, {gsm(1), ap(1)})}
            << fingerprintAt(here, {gsm(1), ap(1)}) << QString() << true
            << Prefix + "Existing FPs not in 20 meters range - FILTER PASSED" << false;
        QTest::newRow("50 m away within a 60 m range")
            << QList<FpcFingerprint>{fingerprintAt(fiftyMetres, {gsm(1), ap(1)})}
            << fingerprintAt(here, {gsm(1), ap(1)}) << QStringLiteral("60") << false << rejectedBy(1) << true;
        QTest::newRow("no position, serving cell unique")
            << QList<FpcFingerprint>{fingerprint({gsm(1), ap(1)}), fingerprintAt(fiveMetres, {wcdma(2), ap(1)})}
            << fingerprint({gsm(2), ap(1)}) << QString() << true
            << Prefix + "Serving cell is unique - FILTER PASSED" << false;
        QTest::newRow("neither position nor cells")
            << QList<FpcFingerprint>{fingerprint({ap(1)})} << fingerprint({ap(1)}) << QString() << true
            << Prefix + "Found no fingerprints to compare to - FILTER PASSED" << false;
        QTest::newRow("nearby, other serving cell")
            << QList<FpcFingerprint>{fingerprintAt(fiveMetres, {gsm(2), ap(1)})}
            << fingerprintAt(here, {gsm(1), ap(1)}) << QString() << true << Passed << true;
        QTest::newRow("same cells, access points received at least as strongly")
            << QList<FpcFingerprint>{fingerprintAt(fiveMetres, {gsm(1), ap(1, -60), ap(2, -70)})}
            << fingerprintAt(here, {gsm(1), ap(1, -60), ap(2, -75)}) << QString() << false << rejectedBy(1) << true;
        QTest::newRow("same cells, one access point 1 dB stronger")
            << QList<FpcFingerprint>{fingerprintAt(fiveMetres, {gsm(1), ap(1, -60), ap(2, -70)})}
            << fingerprintAt(here, {gsm(1), ap(1, -60), ap(2, -69)}) << QString() << true
            << better + "New WLAN has better signal strength than FP 1 - TRUE" << true;
        QTest::newRow("same cells, candidate has fewer access points")
            << QList<FpcFingerprint>{fingerprintAt(fiveMetres, {gsm(1), ap(1, -50)})}
            << fingerprintAt(here, {gsm(1), ap(1, -90), ap(2, -90)}) << QString() << true
            << better + "New FP has more WLANs than FP 1 - TRUE" << true;
        QTest::newRow("same cells, access point the candidate lacks")
            << QList<FpcFingerprint>{fingerprintAt(fiveMetres, {gsm(1), ap(1, -50), ap(2, -50)})}
            << fingerprintAt(here, {gsm(1), ap(1, -90), ap(9, -90)}) << QString() << true
            << better + "New FP has a WLAN that the FP 1 doesn't have - TRUE" << true;
        QTest::newRow("new without access points")
            << QList<FpcFingerprint>{fingerprintAt(fiveMetres, {gsm(1), ap(1)})}
            << fingerprintAt(here, {gsm(1)}) << QString() << false << rejectedBy(1) << true;
        QTest::newRow("access points found anywhere in the candidate's list")
            << QList<FpcFingerprint>{fingerprintAt(fiveMetres, {gsm(1), ap(3, -50), ap(2, -50), ap(1, -50)})}
            << fingerprintAt(here, {gsm(1), ap(1, -60), ap(2, -60)}) << QString() << false << rejectedBy(1) << true;
        QTest::newRow("no position, same GSM cell")
            << QList<FpcFingerprint>{fingerprint({gsm(1), ap(1), ap(2), ap(3)})}
            << fingerprint({gsm(1), ap(1), ap(2), ap(3)}) << QString() << false << rejectedBy(1) << true;
        QTest::newRow("no position, same WCDMA cell")
            << QList<FpcFingerprint>{fingerprint({wcdma(5), ap(1), ap(2), ap(3)})}
            << fingerprint({wcdma(5), ap(3), ap(2), ap(1)}) << QString() << false << rejectedBy(1) << true;
        QTest::newRow("no position, same cell, new neighbour")
            << QList<FpcFingerprint>{fingerprint({wcdma(5, {{10700, 1}}), ap(1), ap(2), ap(3)})}
            << fingerprint({wcdma(5, {{10700, 2}}), ap(1), ap(2), ap(3)}) << QString() << true << Passed << true;
    }

    void decisions()
    {
        QFETCH(QList<FpcFingerprint>, stored);
        QFETCH(FpcFingerprint, newFp);
        QFETCH(QString, maxDistance);
        QFETCH(bool, passes);
        QFETCH(QString, decisive);
        QFETCH(bool, compared);

        FpcConfig::addKey(QStringLiteral("max_distance_to_new_fp"), maxDistance);
        storeAll(stored);

        LogCapture log;
        FpcFilter2 filter;
        QCOMPARE(filter.evaluateEntry(&newFp), passes);
        QVERIFY2(log.has(decisive), log.dump());
        // Only a run that compared ends with the summary and run-time lines;
        // a rejected one carries no pass line.
        QCOMPARE(log.startingWith(Prefix + "Comparing with").size(), compared ? 2 : 0);
        QCOMPARE(log.startingWith(RunTime).size(), compared ? 1 : 0);
        QCOMPARE(log.has(Passed), compared && passes);
        if (compared)
            QVERIFY(log.lines().indexOf(log.startingWith(RunTime).first()) == log.lines().size() - 1);
    }

    // Candidates are loaded one at a time and the loop ends at the first one
    // that is at least as good.
    void candidatesLoadedUntilFirstBetter()
    {
        const FpcFingerprint same = fingerprintAt(positionNorth(1), {gsm(1), ap(1, -50)});
        storeAll({fingerprintAt(positionNorth(2), {gsm(2), ap(1, -50)}), same, same});

        LogCapture log;
        FpcFilter2 filter;
        const FpcFingerprint newFp = fingerprintAt(position(60.0, 24.0), {gsm(1), ap(1, -60)});
        QVERIFY(!filter.evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(Prefix + "Nearest GPS query, FPS found  3 , took: ").size(), 1);
        QCOMPARE(log.startingWith(CellCompare).size(), 2);
        QVERIFY(log.has(rejectedBy(2)));
        QVERIFY(!log.has(rejectedBy(3)));
    }

    // A candidate that cannot be loaded is skipped; when none can be, the
    // new fingerprint passes.
    void unloadableCandidatesAreSkipped()
    {
        storeAll({fingerprintAt(positionNorth(1), {gsm(1), ap(1, -50)}),
                  fingerprintAt(positionNorth(2), {gsm(1), ap(1, -50)})});
        // The fix rows stay, the fingerprints behind them are gone.
        QCOMPARE(BufferFixture::tamper(QStringLiteral("DELETE FROM Fingerprint")), QString());

        LogCapture log;
        FpcFilter2 filter;
        const FpcFingerprint newFp = fingerprintAt(position(60.0, 24.0), {gsm(1), ap(1, -60)});
        QVERIFY(filter.evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(Prefix + "Comparing with 2 fingerprints").size(), 2);
        QCOMPARE(log.startingWith(CellCompare).size(), 0);
        QVERIFY(log.has(Passed));
    }

    // The serving-cell query's statement fails: the new fingerprint fails
    // the filter and the run ends at once.
    void failingServingCellQuery()
    {
        storeAll({fingerprint({gsm(1), ap(1), ap(2), ap(3)})});
        QCOMPARE(BufferFixture::tamper(QStringLiteral("DROP TABLE Geran")), QString());

        LogCapture log;
        FpcFilter2 filter;
        const FpcFingerprint newFp = fingerprint({gsm(1), ap(4), ap(5), ap(6)});
        QVERIFY(!filter.evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(Prefix + "ERROR:"),
                 QStringList{Prefix + "ERROR:  \"Unable to select fingerprints by Geran serving cell\""});
        QVERIFY(log.startingWith(Prefix + "Comparing with").isEmpty());
        QVERIFY(log.startingWith(RunTime).isEmpty());
    }

    void hasBetterWlanData_data()
    {
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<FpcFingerprint>("storedFp");
        QTest::addColumn<bool>("better");

        QTest::newRow("new without access points") << fingerprint({gsm(1)}) << fingerprint({gsm(1), ap(1)}) << false;
        QTest::newRow("stored level missing") << fingerprint({ap(1, -90)}) << fingerprint({ap(1, NoPower)}) << true;
        QTest::newRow("new level missing, rest weaker")
            << fingerprint({ap(1, NoPower), ap(2, -90)}) << fingerprint({ap(2, -80), ap(1, -10)}) << false;
        QTest::newRow("equal levels") << fingerprint({ap(1, -70)}) << fingerprint({ap(1, -70)}) << false;
        QTest::newRow("weaker by 1 dB at the bottom") << fingerprint({ap(1, -128)}) << fingerprint({ap(1, -127)}) << false;
        QTest::newRow("positive levels") << fingerprint({ap(1, 5)}) << fingerprint({ap(1, -5)}) << true;
        QTest::newRow("64-bit against 48-bit") << fingerprint({wlan(mac64(1))}) << fingerprint({ap(1)}) << true;
    }

    void hasBetterWlanData()
    {
        QFETCH(FpcFingerprint, newFp);
        QFETCH(FpcFingerprint, storedFp);
        QFETCH(bool, better);
        LogCapture log;
        QCOMPARE(FpcFilter2().hasBetterWlanData(newFp, storedFp), better);
        QCOMPARE(log.startingWith(QStringLiteral("FpcFilter2::hasBetterWlanData() ->")),
                 QStringList{QStringLiteral("FpcFilter2::hasBetterWlanData() -> %1").arg(better ? "true" : "false")});
    }
};

QTEST_GUILESS_MAIN(TstFpcFilter2)
#include "tst_fpcfilter2.moc"
