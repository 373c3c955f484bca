#include "BufferFixture.h"
#include "FilterTestData.h"
#include "FpcFilter1.h"

#include <QtTest>

#include <memory>

using namespace FilterTestData;

namespace {

const QString Outcome = QStringLiteral("[INFO] FpcFilter1::evaluateEntry() ");
const QString PreviousRemoved = Outcome + "Previous removed - FILTER PASSED ->";

// A fingerprint that carries a "none" marker when the buffer stays empty.
FpcFingerprint nothing()
{
    FpcFingerprint fp;
    fp.setId(-1);
    return fp;
}

} // namespace

class TstFpcFilter1 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<BufferFixture> m_fixture;

private slots:
    void init()
    {
        m_fixture = std::make_unique<BufferFixture>();
        QVERIFY(m_fixture->isValid());
    }
    void cleanup() { m_fixture.reset(); }

    void decisionTree_data()
    {
        QTest::addColumn<FpcFingerprint>("previous");
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("previousKept");

        const FpcPosition here = position(60.0, 24.0);
        const FpcPosition near = positionNorth(3);

        QTest::newRow("empty buffer") << nothing() << fingerprintAt(here, {gsm(1), ap(1)}) << true
                                      << Outcome + "Previous FP not available - FILTER PASSED ->" << true;
        QTest::newRow("new WLAN only, previous cells only")
            << fingerprintAt(near, {gsm(1)}) << fingerprintAt(here, {ap(1), ap(2)}) << true
            << Outcome + "New and previous are not comparable - FILTER PASSED ->" << true;
        QTest::newRow("new cells only, previous WLAN only")
            << fingerprintAt(near, {ap(1), ap(2)}) << fingerprintAt(here, {gsm(1)}) << true
            << Outcome + "New and previous are not comparable - FILTER PASSED ->" << true;
        QTest::newRow("other serving cell")
            << fingerprintAt(near, {gsm(1), ap(1)}) << fingerprintAt(here, {gsm(2), ap(1)}) << true
            << Outcome + "New FP has new cell info - FILTER PASSED ->" << true;
        QTest::newRow("same cells, no access points")
            << fingerprintAt(near, {gsm(1), ap(1)}) << fingerprintAt(here, {gsm(1)}) << false
            << Outcome + "New FP has no new cell data and no wlan measurements - DISCARD NEW FP ->" << true;
        QTest::newRow("both with fix, new received better")
            << fingerprintAt(near, {gsm(1), ap(1, -70), ap(2, -70)})
            << fingerprintAt(here, {gsm(1), ap(2, -60), ap(1, -60)}) << true << PreviousRemoved << false;
        QTest::newRow("both with fix, new received worse")
            << fingerprintAt(near, {gsm(1), ap(1, -60), ap(2, -60)})
            << fingerprintAt(here, {gsm(1), ap(1, -70), ap(2, -60)}) << false
            << Outcome + "Previous has better signal strength average - DISCARD NEW FP ->" << true;
        QTest::newRow("previous without fix")
            << fingerprint({gsm(1), ap(1, -70), ap(2, -70)}) << fingerprintAt(here, {gsm(1), ap(1, -60), ap(2, -60)})
            << true << Outcome + "Previous doesn't have GPS fix and new has wlan measurements - FILTER PASSED ->"
            << true;
        QTest::newRow("new without fix received better than previous with fix")
            << fingerprintAt(near, {gsm(1), ap(1, -70), ap(2, -70)}) << fingerprint({gsm(1), ap(1, -60), ap(2, -60)})
            << true << Outcome + "New FP has better signal strength average - FILTER PASSED ->" << true;
        QTest::newRow("no fixes, new received better")
            << fingerprint({gsm(1), ap(1, -70), ap(2, -70)}) << fingerprint({gsm(1), ap(1, -60), ap(2, -60)})
            << true << PreviousRemoved << false;
        QTest::newRow("no fixes, same average and count")
            << fingerprint({gsm(1), ap(1, -50), ap(2, -70)}) << fingerprint({gsm(1), ap(1, -60), ap(2, -60)})
            << false << Outcome + "Previous has better signal strength average - DISCARD NEW FP ->" << true;
        QTest::newRow("no fixes, same average, new has fewer")
            << fingerprint({gsm(1), ap(1, -60), ap(2, -60), ap(3, -60)})
            << fingerprint({gsm(1), ap(1, -60), ap(2, -60)}) << true << PreviousRemoved << false;
        QTest::newRow("no fixes, new access point")
            << fingerprint({gsm(1), ap(1, -50), ap(2, -50)}) << fingerprint({gsm(1), ap(1, -80), ap(9, -80)})
            << true << Outcome + "New FP has different MAC - FILTER PASSED ->" << true;
        QTest::newRow("no fixes, previous without access points")
            << fingerprint({gsm(1)}) << fingerprint({gsm(1), ap(1), ap(2)}) << true
            << Outcome + "New FP has different MAC - FILTER PASSED ->" << true;
        QTest::newRow("no fixes, 64-bit address known only as 48-bit")
            << fingerprint({gsm(1), ap(1)}) << fingerprint({gsm(1), wlan(mac64(1))}) << true
            << Outcome + "New FP has different MAC - FILTER PASSED ->" << true;
    }

    void decisionTree()
    {
        QFETCH(FpcFingerprint, previous);
        QFETCH(FpcFingerprint, newFp);
        QFETCH(bool, passes);
        QFETCH(QString, outcome);
        QFETCH(bool, previousKept);

        qint64 previousId = -1;
        if (previous.id() != -1) {
            previousId = BufferFixture::store(previous, 60);
            QVERIFY(previousId > 0);
        }

        LogCapture log;
        FpcFilter1 filter;
        QCOMPARE(filter.evaluateEntry(&newFp), passes);
        QCOMPARE(log.startingWith(Outcome), QStringList{outcome});
        if (previousId > 0)
            QCOMPARE(BufferFixture::isStored(previousId), previousKept);
    }

    void invalidTimeNeverPasses()
    {
        FpcFingerprint newFp = fingerprint({gsm(1), ap(1)});
        newFp.setTime(QDateTime());
        LogCapture log;
        FpcFilter1 filter;
        QVERIFY(!filter.evaluateEntry(&newFp));
        QVERIFY(!filter.evaluateEntry(nullptr));
        QVERIFY(log.startingWith(Outcome).isEmpty());
    }

    // The previous fingerprint is read anew for every evaluation: once it
    // is removed, the buffer is empty again.
    void removalIsSeenByTheNextEvaluation()
    {
        const qint64 previousId = BufferFixture::store(fingerprint({gsm(1), ap(1, -70), ap(2, -70)}), 60);
        QVERIFY(previousId > 0);
        const FpcFingerprint newFp = fingerprint({gsm(1), ap(1, -60), ap(2, -60)});

        LogCapture log;
        FpcFilter1 filter;
        QVERIFY(filter.evaluateEntry(&newFp));
        QCOMPARE(filter.previous().id(), previousId);
        QVERIFY(log.has(QStringLiteral("FpcFilter1::evaluateEntry() New FP has better signal strength average - "
                                       "REMOVE PREVIOUS ->")));
        QVERIFY(!BufferFixture::isStored(previousId));

        log.clear();
        QVERIFY(filter.evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(Outcome), QStringList{Outcome + "Previous FP not available - FILTER PASSED ->"});
    }

    // The database refuses the deletion: the new fingerprint still passes
    // and the previous one stays stored.
    void failedRemovalKeepsBoth()
    {
        const qint64 previousId = BufferFixture::store(fingerprint({gsm(1), ap(1, -70), ap(2, -70)}), 60);
        QVERIFY(previousId > 0);
        QCOMPARE(BufferFixture::tamper(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON Fingerprint "
                                                      "BEGIN SELECT RAISE(ABORT, 'kept'); END")),
                 QString());
        const FpcFingerprint newFp = fingerprint({gsm(1), ap(1, -60), ap(2, -60)});

        LogCapture log;
        FpcFilter1 filter;
        QVERIFY(filter.evaluateEntry(&newFp));
        QCOMPARE(log.startingWith(Outcome),
                 QStringList{Outcome + "Error while removing previous - FILTER PASSED ->"});
        QVERIFY(BufferFixture::isStored(previousId));
        FpcFingerprint newest;
        QVERIFY(BufferFixture::buffer().getNewestFingerprint(newest));
        QCOMPARE(newest.id(), previousId);
    }

    // Averages are formed over the access points that report a level;
    // counts include every access point.
    void averageSignalStrength_data()
    {
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<QString>("line");

        const QString prefix = QStringLiteral("[INFO] FpcFilter1::compareAverageSignalStrengths() ");
        QTest::newRow("unset level left out of the average")
            << fingerprint({gsm(1), ap(1, -63), ap(2, NoPower)}) << prefix + "Previous has better average - FALSE ->";
        QTest::newRow("better") << fingerprint({gsm(1), ap(1, -61), ap(2, -62)})
                                << prefix + "New has better average - TRUE ->";
        QTest::newRow("same average, more access points")
            << fingerprint({gsm(1), ap(1, -62), ap(2, NoPower), ap(3, NoPower)})
            << prefix + "Same average but new has more MAC's' - TRUE ->";
        QTest::newRow("same average, fewer access points") << fingerprint({gsm(1), ap(1, -62)})
                                                           << prefix + "Same average but new has less MAC's' - TRUE ->";
        QTest::newRow("no level at all")
            << fingerprint({gsm(1), ap(1, NoPower), ap(2, NoPower), ap(3, NoPower)})
            << prefix + "Same average and amount of MAC's -> new is not that better - FALSE ->";
        QTest::newRow("weaker") << fingerprint({gsm(1), ap(1, -63), ap(2, -63)})
                                << prefix + "Previous has better average - FALSE ->";
        QTest::newRow("no access points") << fingerprint({gsm(1)})
                                          << prefix + "New FP doesn't have MAC's - false ->";
    }

    void averageSignalStrength()
    {
        QFETCH(FpcFingerprint, newFp);
        QFETCH(QString, line);
        QVERIFY(BufferFixture::store(fingerprint({gsm(1), ap(1, -60), ap(2, -64)}), 60) > 0);

        FpcFilter1 filter;
        QVERIFY(filter.getPreviousFp());
        LogCapture log;
        QCOMPARE(filter.compareAverageSignalStrengths(newFp), line.contains(QLatin1String("TRUE")));
        QCOMPARE(log.startingWith(QStringLiteral("[INFO] FpcFilter1::compareAverageSignalStrengths()")),
                 QStringList{line});
    }

    void compareMACsNamesTheFirstNewAccessPoint()
    {
        QVERIFY(BufferFixture::store(fingerprint({gsm(1), ap(1), ap(2), ap(3)}), 60) > 0);
        FpcFilter1 filter;
        QVERIFY(filter.getPreviousFp());

        LogCapture log;
        QVERIFY(filter.compareMACs(fingerprint({gsm(1), ap(3), ap(1), ap(7), ap(8)})));
        QCOMPARE(log.startingWith(QStringLiteral("[INFO] FpcFilter1::compareMACs()")),
                 (QStringList{"[INFO] FpcFilter1::compareMACs() First new MAC compared previous in measurement @ index: 2",
                              "[INFO] FpcFilter1::compareMACs() New macs found compared to previous FP: -  true ->"}));
        log.clear();
        QVERIFY(!filter.compareMACs(fingerprint({gsm(1), ap(3), ap(1)})));
        QCOMPARE(log.startingWith(QStringLiteral("[INFO] FpcFilter1::compareMACs()")),
                 QStringList{"[INFO] FpcFilter1::compareMACs() New macs found compared to previous FP: -  false ->"});
    }

    // The creator keeps its filters as base pointers; deleting one that holds
    // a loaded previous fingerprint frees that fingerprint's measurements.
    void deletedThroughTheBase()
    {
        QVERIFY(BufferFixture::store(fingerprint({gsm(1, {{1, 10}}), ap(1)}), 60) > 0);
        std::unique_ptr<FpcFilter> filter(new FpcFilter1);
        const FpcFingerprint newFp = fingerprint({gsm(1, {{1, 10}}), ap(1), ap(2)});
        QVERIFY(filter->evaluateEntry(&newFp));
    }
};

QTEST_GUILESS_MAIN(TstFpcFilter1)
#include "tst_fpcfilter1.moc"
