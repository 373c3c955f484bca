#include "FilterTestData.h"
#include "FpcFilter.h"

#include <QtTest>

using namespace FilterTestData;

Q_DECLARE_METATYPE(VomuWlanMacAddress)

namespace {

// The comparisons belong to the base; any concrete filter carries them.
struct Comparisons : FpcFilter {
    bool evaluateEntry(const FpcFingerprint *) override { return true; }
};

} // namespace

class TstFpcFilter : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { FpcConfig::addKey(QStringLiteral("min_ta_difference"), QString()); }

    void macs_data()
    {
        QTest::addColumn<VomuWlanMacAddress>("a");
        QTest::addColumn<VomuWlanMacAddress>("b");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        VomuWlanMacAddress neither = mac48(1);
        neither.setMacByte(1, 0x10);
        const VomuWlanMacAddress a = mac({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e});
        QTest::newRow("same 48-bit") << a << a << "001a2b3c4d5e" << "MAC's are equal - TRUE ->";
        QTest::newRow("48-bit, last byte differs") << mac48(1) << mac48(2) << "021122334401" << "MAC's are different - FALSE ->";
        QTest::newRow("48-bit, first byte differs") << mac48(1, 2) << mac48(1, 6) << "021122334401" << "MAC's are different - FALSE ->";
        // Bytes 0-1 read 0 in the 48-bit address: all eight values agree, the sizes do not.
        QTest::newRow("48 vs 64-bit, zero top bytes") << mac48(1) << mac({0, 0, 2, 0x11, 0x22, 0x33, 0x44, 1})
                                                      << "021122334401" << "MAC's are different size - FALSE ->";
        QTest::newRow("64 vs 48-bit") << mac64(1) << mac48(1) << "a0b1021122334401" << "MAC's are different size - FALSE ->";
        QTest::newRow("64-bit, byte 0 differs") << mac64(1, 0xa0) << mac64(1, 0xa1) << "a0b1021122334401" << "MAC's are different - FALSE ->";
        QTest::newRow("same, neither size") << neither << neither << "" << "MAC address is invalid - FALSE ->";
    }

    void macs()
    {
        QFETCH(VomuWlanMacAddress, a);
        QFETCH(VomuWlanMacAddress, b);
        QFETCH(QString, text);
        QFETCH(QString, line);
        LogCapture log;
        const Comparisons filter;
        QCOMPARE(filter.macToString(a), text);
        QCOMPARE(log.has("FpcFilter::macToString() MAC address is invalid"), text.isEmpty());
        QCOMPARE(filter.areMacsEqual(a, b), line.contains("TRUE"));
        QCOMPARE(filter.areMacsEqual(b, a), line.contains("TRUE"));
        QCOMPARE(log.startingWith("FpcFilter::areMacsEqual()"), QStringList(2, "FpcFilter::areMacsEqual() " + line));
    }

    void differentTA_data()
    {
        QTest::addColumn<int>("newTa");
        QTest::addColumn<int>("oldTa");
        QTest::addColumn<QString>("threshold");
        QTest::addColumn<QString>("line");
        const QString below = "TA difference is below threshold  %1  -> FALSE";
        const QString above = "TA difference is above threshold  %1  -> TRUE";
        QTest::newRow("new without TA") << NoTa << 5 << QString() << "New doesn't have TA set - FALSE";
        QTest::newRow("old without TA") << 5 << NoTa << QString() << "New has TA, Old doesn't -> TRUE";
        QTest::newRow("5 and 7") << 5 << 7 << QString() << below.arg(2);
        QTest::newRow("5 and 8") << 5 << 8 << QString() << above.arg(2);
        QTest::newRow("0 and 255") << 0 << 255 << QString() << above.arg(2);
        QTest::newRow("threshold 0, equal") << 9 << 9 << "0" << below.arg(0);
        QTest::newRow("threshold 0, one apart") << 9 << 10 << "0" << above.arg(0);
    }

    void differentTA()
    {
        QFETCH(int, newTa);
        QFETCH(int, oldTa);
        QFETCH(QString, threshold);
        QFETCH(QString, line);
        FpcConfig::addKey(QStringLiteral("min_ta_difference"), threshold);
        const std::unique_ptr<VomuElementGSM> newCell(gsm(1, {}, newTa)), oldCell(gsm(1, {}, oldTa));
        LogCapture log;
        QCOMPARE(Comparisons().differentTA(*newCell, *oldCell), line.contains("TRUE"));
        QCOMPARE(log.startingWith("FpcFilter::differentTA()"), QStringList{"FpcFilter::differentTA() " + line});
    }

    // Each row names the comparison (serving cell, neighbours, both) and the
    // line that gives its answer; "#" stands for the milliseconds taken.
    void cellComparisons_data()
    {
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<FpcFingerprint>("oldFp");
        QTest::addColumn<QString>("line");
        const QString s = "differentServingCell() ", n = "newNeighborCells() ", c = "compareCellInfo() ";
        const QString none = n + "No new neighbor cells in new FP - FALSE ->", more = n + "New FP has more neighbor cells - TRUE ->",
                      added = n + "New FP has a new neighbor cell - TRUE ->";
        auto row = [](const char *name, const FpcFingerprint &a, const FpcFingerprint &b, const QString &line) { QTest::newRow(name) << a << b << line; };
        row("S: GSM against WCDMA", fp({gsm(1)}), fp({wcdma(1)}), s + "Different networks - TRUE ->");
        row("S: GSM, other cell id", fp({gsm(1)}), fp({gsm(2)}), s + "Different GERAN CID - TRUE ->");
        row("S: GSM, new without TA", fp({gsm(1)}), fp({gsm(1, {}, 9)}), s + "Same CID and TA - FALSE ->");
        row("S: GSM, TA 5 and 9", fp({gsm(1, {}, 5)}), fp({gsm(1, {}, 9)}), s + "Different TA - TRUE ->");
        row("S: WCDMA, same UC-ID, other MCC", fp({wcdma(7, {}, 244)}), fp({wcdma(7, {}, 310)}), s + "Same UTRA-FDD UC-ID - FALSE ->");
        row("S: WCDMA, other UC-ID", fp({wcdma(7)}), fp({wcdma(8)}), s + "Different UTRA-FDD UC-ID - TRUE ->");
        row("N: GSM against WCDMA", fp({gsm(1)}), fp({wcdma(1)}), n + "Different networks (shouldn't happen!!) - TRUE ->");
        row("N: GSM, none in new", fp({gsm(1)}), fp({gsm(1, {{1, 10}})}), n + "New FP has no neighbor cells - FALSE ->");
        row("N: GSM, none in old", fp({gsm(1, {{1, 10}})}), fp({gsm(1)}), n + "Old FP has no neighbor cells - TRUE ->");
        row("N: GSM, 3 of the old 5", fp({gsm(1, {{5, 50}, {1, 10}, {3, 30}})}), fp({gsm(1, {{1, 10}, {2, 20}, {3, 30}, {4, 40}, {5, 50}})}), none);
        row("N: GSM, 3 against 2", fp({gsm(1, {{5, 50}, {1, 10}, {3, 30}})}), fp({gsm(1, {{1, 10}, {3, 30}})}), more);
        row("N: GSM, known BSIC, new ARFCN", fp({gsm(1, {{1, 11}})}), fp({gsm(1, {{1, 10}, {2, 11}})}), added);
        row("N: WCDMA, none in new", fp({wcdma(1)}), fp({wcdma(1, {{10700, 1}})}), none);
        row("N: WCDMA, none in old", fp({wcdma(1, {{10700, 1}})}), fp({wcdma(1)}), more);
        row("N: WCDMA, all known", fp({wcdma(1, {{10712, 2}})}), fp({wcdma(1, {{10700, 1}, {10712, 2}})}), none);
        row("N: WCDMA, known code, new carrier", fp({wcdma(1, {{10712, 1}})}), fp({wcdma(1, {{10700, 1}, {10712, 2}})}), added);
        row("C: old without cells", fp({wcdma(1)}), fp({ap(1)}), c + "Old FP has no cell info - took  # m-seconds TRUE ->");
        row("C: other serving cell", fp({gsm(1)}), fp({gsm(2)}), c + "New has different serving cell - took  # m-seconds TRUE ->");
        row("C: new neighbour", fp({gsm(1, {{1, 10}})}), fp({gsm(1, {{2, 10}})}), c + "New FP has new neighbor cells - took  # m-seconds  TRUE ->");
        row("C: nothing new", fp({gsm(1, {{1, 10}})}), fp({gsm(1, {{2, 10}, {1, 10}})}), c + "took  # m-seconds FALSE ->");
    }

    void cellComparisons()
    {
        QFETCH(FpcFingerprint, newFp);
        QFETCH(FpcFingerprint, oldFp);
        QFETCH(QString, line);
        const Comparisons f;
        const QString method = line.left(line.indexOf(' '));
        LogCapture log;
        const bool result = method.startsWith("different") ? f.differentServingCell(newFp, oldFp)
                          : method.startsWith("new")       ? f.newNeighborCells(newFp, oldFp)
                                                           : f.compareCellInfo(newFp, oldFp);
        QCOMPARE(result, line.contains("TRUE"));
        QStringList parts = ("FpcFilter::" + line).split('#');
        for (QString &part : parts)
            part = QRegularExpression::escape(part);
        // The answering line is the method's last one.
        QVERIFY2(QRegularExpression('^' + parts.join("\\d+") + '$').match(log.startingWith("FpcFilter::" + method).last()).hasMatch(),
                 log.dump());
    }
};

QTEST_GUILESS_MAIN(TstFpcFilter)
#include "tst_fpcfilter.moc"
