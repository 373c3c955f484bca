#include "FilterTestData.h"
#include "FpcFilter1.h"
#include "FpcFilter2.h"

#include <QtTest>

#include <memory>

using namespace FilterTestData;

Q_DECLARE_METATYPE(QList<FpcFingerprint>)

namespace {

const QString F1 = QStringLiteral("[INFO] FpcFilter1::evaluateEntry() ");
const QString F2 = QStringLiteral("[INFO] FpcFilter2::evaluateEntry() ");
const QString F2Passed = F2 + "- FILTER PASSED";
const QString RunTime = F2 + "2nd filter run took = ";
const QString Better = QStringLiteral("[INFO] FpcFilter2::hasBetterWlanData() ");

QString rejectedBy(qint64 id) { return F2 + QString("FP %1 is better than the new one - FILTER NOT PASSED").arg(id); }

} // namespace

// Both filters against a real buffer: a fresh database for every test row,
// filled through the buffer manager, so stored ids count from 1.
class TstFpcFilters : public QObject
{
    Q_OBJECT

    std::unique_ptr<BufferFixture> m_buffer;

private slots:
    void init() { m_buffer = std::make_unique<BufferFixture>(); }
    void cleanup()
    {
        m_buffer.reset();
        FpcConfig::addKey(QStringLiteral("max_distance_to_new_fp"), QString());
    }

    void filter1_data()
    {
        QTest::addColumn<QList<FpcFingerprint>>("stored");
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("previousKept");
        const FpcFingerprint p = fpAt(3, {gsm(1), ap(1, -70), ap(2, -70)}), pNoFix = fp({gsm(1), ap(1, -70), ap(2, -70)});
        const QString removed = "Previous removed - FILTER PASSED ->", worse = "Previous has better signal strength average - DISCARD NEW FP ->",
                      newMac = "New FP has different MAC - FILTER PASSED ->";
        auto row = [](const char *name, QList<FpcFingerprint> stored, const FpcFingerprint &n, const QString &outcome, bool kept = true) {
            QTest::newRow(name) << stored << n << outcome << kept;
        };
        row("empty buffer", {}, fpAt(0, {gsm(1), ap(1)}), "Previous FP not available - FILTER PASSED ->");
        row("WLAN only against cells only", {fpAt(3, {gsm(1)})}, fpAt(0, {ap(1)}), "New and previous are not comparable - FILTER PASSED ->");
        row("other serving cell", {p}, fpAt(0, {gsm(2), ap(1)}), "New FP has new cell info - FILTER PASSED ->");
        row("same cells, no WLAN", {p}, fpAt(0, {gsm(1)}), "New FP has no new cell data and no wlan measurements - DISCARD NEW FP ->");
        row("fixes, received better", {p}, fpAt(0, {gsm(1), ap(2, -60), ap(1, -60)}), removed, false);
        row("fixes, received worse", {p}, fpAt(0, {gsm(1), ap(1, -75), ap(2, -70)}), worse);
        row("previous without fix", {pNoFix}, fpAt(0, {gsm(1), ap(1, -60), ap(2, -60)}),
            "Previous doesn't have GPS fix and new has wlan measurements - FILTER PASSED ->");
        row("new without fix, received better", {p}, fp({gsm(1), ap(1, -60), ap(2, -60)}),
            "New FP has better signal strength average - FILTER PASSED ->");
        row("no fixes, received better", {pNoFix}, fp({gsm(1), ap(1, -60), ap(2, -60)}), removed, false);
        row("no fixes, same average and count", {pNoFix}, fp({gsm(1), ap(1, -60), ap(2, -80)}), worse);
        row("no fixes, same average, fewer", {pNoFix}, fp({gsm(1), ap(1, -70)}), removed, false);
        row("no fixes, unset level left out", {pNoFix}, fp({gsm(1), ap(1, -71), ap(2, NoPower)}), worse);
        row("no fixes, new access point", {pNoFix}, fp({gsm(1), ap(1, -90), ap(9, -90)}), newMac);
        row("no fixes, 64-bit form of a known address", {pNoFix}, fp({gsm(1), wlan(mac64(1)), ap(2)}), newMac);
    }

    void filter1()
    {
        QFETCH(QList<FpcFingerprint>, stored);
        QFETCH(FpcFingerprint, newFp);
        QFETCH(QString, outcome);
        QFETCH(bool, previousKept);
        for (const FpcFingerprint &s : stored)
            QVERIFY(BufferFixture::store(s) == 1);
        LogCapture log;
        FpcFilter1 filter;
        QCOMPARE(filter.evaluateEntry(&newFp), outcome.contains("PASSED"));
        QCOMPARE(log.startingWith(F1), QStringList{F1 + outcome});
        QVERIFY(stored.isEmpty() || BufferFixture::isStored(1) == previousKept);
    }

    // The previous fingerprint is read anew for every evaluation; a fingerprint
    // without a valid time never passes.
    void filter1RemovalSeenByNextEvaluation()
    {
        QCOMPARE(BufferFixture::store(fp({gsm(1), ap(1, -70)})), qint64(1));
        const FpcFingerprint newFp = fp({gsm(1), ap(1, -60)});
        LogCapture log;
        FpcFilter1 filter;
        QVERIFY(filter.evaluateEntry(&newFp));
        QCOMPARE(filter.previous().id(), qint64(1));
        QVERIFY(log.has("FpcFilter1::evaluateEntry() New FP has better signal strength average - REMOVE PREVIOUS ->"));
        QVERIFY(filter.evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(F1).last(), F1 + "Previous FP not available - FILTER PASSED ->");
        FpcFingerprint noTime = newFp;
        noTime.setTime(QDateTime());
        log.clear();
        QVERIFY(!filter.evaluateEntry(&noTime));
        QVERIFY(log.startingWith(F1).isEmpty());
    }

    // The database refuses the deletion: the new fingerprint passes and the
    // previous one stays. The filter is held as the creator holds it.
    void filter1FailedRemovalKeepsBoth()
    {
        QCOMPARE(BufferFixture::store(fp({gsm(1), ap(1, -70)})), qint64(1));
        QCOMPARE(BufferFixture::tamper("CREATE TRIGGER keep BEFORE DELETE ON Fingerprint BEGIN SELECT RAISE(ABORT, 'kept'); END"),
                 QString());
        const FpcFingerprint newFp = fp({gsm(1), ap(1, -60)});
        LogCapture log;
        std::unique_ptr<FpcFilter> filter(new FpcFilter1);
        QVERIFY(filter->evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(F1), QStringList{F1 + "Error while removing previous - FILTER PASSED ->"});
        FpcFingerprint newest;
        QVERIFY(BufferFixture::buffer().getNewestFingerprint(newest) && newest.id() == 1);
    }

    void filter2_data()
    {
        QTest::addColumn<QList<FpcFingerprint>>("stored");
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<QString>("maxDistance");
        QTest::addColumn<QString>("decisive");
        QTest::addColumn<bool>("passes");
        const FpcFingerprint c = fpAt(5, {gsm(1), ap(1, -60), ap(2, -70)});
        auto row = [](const char *name, QList<FpcFingerprint> stored, const FpcFingerprint &n, const QString &decisive,
                      bool passes, const QString &maxDistance = QString()) {
            QTest::newRow(name) << stored << n << maxDistance << decisive << passes;
        };
        row("nothing within 20 m", {fpAt(50, {gsm(1), ap(1)})}, fpAt(0, {gsm(1), ap(1)}),
            F2 + "Existing FPs not in 20 meters range - FILTER PASSED", true);
        row("50 m away, range 60 m", {fpAt(50, {gsm(1), ap(1)})}, fpAt(0, {gsm(1), ap(1)}), rejectedBy(1), false, "60");
        row("no fix, serving cell unique", {fp({gsm(1), ap(1)}), fpAt(0, {wcdma(2), ap(1)})}, fp({gsm(2), ap(1)}),
            F2 + "Serving cell is unique - FILTER PASSED", true);
        row("neither fix nor cells", {fp({ap(1)})}, fp({ap(1)}), F2 + "Found no fingerprints to compare to - FILTER PASSED", true);
        row("at least as strong", {c}, fpAt(0, {gsm(1), ap(1, -60), ap(2, -75)}), rejectedBy(1), false);
        row("one 1 dB stronger", {c}, fpAt(0, {gsm(1), ap(1, -60), ap(2, -69)}),
            Better + "New WLAN has better signal strength than FP 1 - TRUE", true);
        row("candidate with fewer", {fpAt(5, {gsm(1), ap(1, -50)})}, fpAt(0, {gsm(1), ap(1, -90), ap(2, -90)}),
            Better + "New FP has more WLANs than FP 1 - TRUE", true);
        row("access point the candidate lacks", {c}, fpAt(0, {gsm(1), ap(1, -90), ap(9, -90)}),
            Better + "New FP has a WLAN that the FP 1 doesn't have - TRUE", true);
        row("new without WLAN", {c}, fpAt(0, {gsm(1)}), rejectedBy(1), false);
        row("found anywhere in the list", {fpAt(5, {gsm(1), ap(3, -50), ap(2, -50), ap(1, -50)})},
            fpAt(0, {gsm(1), ap(1, -60), ap(2, -60)}), rejectedBy(1), false);
        row("no fix, same GSM cell", {fp({gsm(1), ap(1), ap(2)})}, fp({gsm(1), ap(2), ap(1)}), rejectedBy(1), false);
        row("no fix, same WCDMA cell", {fp({wcdma(5), ap(1)})}, fp({wcdma(5), ap(1)}), rejectedBy(1), false);
        row("no fix, same cell, new neighbour", {fp({wcdma(5, {{10700, 1}}), ap(1)})}, fp({wcdma(5, {{10700, 2}}), ap(1)}), F2Passed, true);
    }

    void filter2()
    {
        QFETCH(QList<FpcFingerprint>, stored);
        QFETCH(FpcFingerprint, newFp);
        QFETCH(QString, maxDistance);
        QFETCH(QString, decisive);
        QFETCH(bool, passes);
        FpcConfig::addKey(QStringLiteral("max_distance_to_new_fp"), maxDistance);
        for (const FpcFingerprint &s : stored)
            QVERIFY(BufferFixture::store(s) > 0);
        LogCapture log;
        QCOMPARE(FpcFilter2().evaluateEntry(&newFp), passes);
        QVERIFY2(log.has(decisive), log.dump());
        // Only a run that compared writes the summary and, last, the run time;
        // a rejection writes no pass line.
        const bool compared = !decisive.contains(" - FILTER PASSED") || decisive == F2Passed;
        QCOMPARE(log.startingWith(F2 + "Comparing with").size(), compared ? 2 : 0);
        QCOMPARE(log.lines().last().startsWith(RunTime), compared);
        QCOMPARE(log.has(F2Passed), compared && passes);
    }

    // Candidates are loaded one at a time until the first better one; ones
    // that cannot be loaded are skipped.
    void filter2StopsAtFirstBetter()
    {
        const FpcFingerprint same = fpAt(1, {gsm(1), ap(1, -50)});
        for (const FpcFingerprint &s : {fpAt(2, {gsm(2), ap(1, -50)}), same, same})
            QVERIFY(BufferFixture::store(s) > 0);
        const FpcFingerprint newFp = fpAt(0, {gsm(1), ap(1, -60)});
        LogCapture log;
        QVERIFY(!FpcFilter2().evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(F2 + "Nearest GPS query, FPS found  3 , took: ").size(), 1);
        QCOMPARE(log.startingWith("FpcFilter::compareCellInfo()").size(), 2);
        QVERIFY(log.has(rejectedBy(2)));

        // The fixes stay, the fingerprints behind them are gone: nothing to
        // compare with, so the new fingerprint passes.
        QCOMPARE(BufferFixture::tamper("DELETE FROM Fingerprint"), QString());
        log.clear();
        QVERIFY(FpcFilter2().evaluateEntry(&newFp));
        QCOMPARE(log.startingWith("FpcFilter::compareCellInfo()").size(), 0);
        QVERIFY(log.has(F2Passed));
    }

    void filter2FailingServingCellQuery()
    {
        QVERIFY(BufferFixture::store(fp({gsm(1), ap(1)})) > 0);
        QCOMPARE(BufferFixture::tamper("DROP TABLE Geran"), QString());
        const FpcFingerprint newFp = fp({gsm(1), ap(4)});
        LogCapture log;
        QVERIFY(!FpcFilter2().evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(F2 + "ERROR:"), QStringList{F2 + "ERROR:  \"Unable to select fingerprints by Geran serving cell\""});
        QVERIFY(log.startingWith(F2 + "Comparing with").isEmpty() && log.startingWith(RunTime).isEmpty());
    }

    // Unset levels, and levels compared as signed dBm.
    void filter2WlanLevels()
    {
        const FpcFilter2 filter;
        QVERIFY(filter.hasBetterWlanData(fp({ap(1, -90)}), fp({ap(1, NoPower)})));
        QVERIFY(!filter.hasBetterWlanData(fp({ap(1, NoPower), ap(2, -90)}), fp({ap(2, -80), ap(1, -10)})));
        QVERIFY(!filter.hasBetterWlanData(fp({ap(1, -128)}), fp({ap(1, -127)})));
        QVERIFY(filter.hasBetterWlanData(fp({ap(1, 5)}), fp({ap(1, -5)})));
    }
};

QTEST_GUILESS_MAIN(TstFpcFilters)
#include "tst_fpcfilters.moc"
