#include "FilterTestData.h"
#include "FpcConfig.h"
#include "FpcFilter.h"

#include <QRegularExpression>
#include <QtTest>

using namespace FilterTestData;

Q_DECLARE_METATYPE(VomuWlanMacAddress)

namespace {

// The comparisons are the base's own; any concrete filter carries them.
class Comparisons : public FpcFilter
{
public:
    bool evaluateEntry(const FpcFingerprint *) override { return true; }
};

VomuWlanMacAddress macFrom(std::initializer_list<uint8_t> bytes)
{
    const std::vector<uint8_t> v(bytes);
    return VomuWlanMacAddress(v.data(), int(v.size()));
}

VomuElementGSM *gsmTa(quint16 cellId, int ta)
{
    return gsm(cellId, {}, ta);
}

} // namespace

class TstFpcFilter : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { FpcConfig::addKey(QStringLiteral("min_ta_difference"), QString()); }

    void macToString_data()
    {
        QTest::addColumn<VomuWlanMacAddress>("mac");
        QTest::addColumn<QString>("text");

        VomuWlanMacAddress partial = mac48(1);
        partial.setMacByte(0, 0x10); // bytes 0 and 2-7: neither size
        QTest::newRow("48-bit") << macFrom({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}) << QStringLiteral("001a2b3c4d5e");
        QTest::newRow("64-bit") << macFrom({0xff, 0x0e, 0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})
                                << QStringLiteral("ff0e001a2b3c4d5e");
        QTest::newRow("neither size") << partial << QString();
        QTest::newRow("empty") << VomuWlanMacAddress() << QString();
    }

    void macToString()
    {
        QFETCH(VomuWlanMacAddress, mac);
        QFETCH(QString, text);
        LogCapture log;
        QCOMPARE(Comparisons().macToString(mac), text);
        QCOMPARE(log.has(QStringLiteral("FpcFilter::macToString() MAC address is invalid")), text.isEmpty());
    }

    void areMacsEqual_data()
    {
        QTest::addColumn<VomuWlanMacAddress>("a");
        QTest::addColumn<VomuWlanMacAddress>("b");
        QTest::addColumn<QString>("line");

        const QString equal = QStringLiteral("FpcFilter::areMacsEqual() MAC's are equal - TRUE ->");
        const QString different = QStringLiteral("FpcFilter::areMacsEqual() MAC's are different - FALSE ->");
        const QString size = QStringLiteral("FpcFilter::areMacsEqual() MAC's are different size - FALSE ->");
        VomuWlanMacAddress neither = mac48(1);
        neither.setMacByte(1, 0x10);

        QTest::newRow("same 48-bit") << mac48(1) << mac48(1) << equal;
        QTest::newRow("48-bit, last byte differs") << mac48(1) << mac48(2) << different;
        QTest::newRow("48-bit, first byte differs") << mac48(1, 0x02) << mac48(1, 0x06) << different;
        // Bytes 0-1 read as 0 for the 48-bit address, so all eight byte
        // values agree; the sizes still differ.
        QTest::newRow("48 vs 64-bit with zero top bytes")
            << macFrom({0x02, 0x11, 0x22, 0x33, 0x44, 0x01})
            << macFrom({0x00, 0x00, 0x02, 0x11, 0x22, 0x33, 0x44, 0x01}) << size;
        QTest::newRow("64 vs 48-bit, last six bytes equal")
            << macFrom({0xa0, 0xb1, 0x02, 0x11, 0x22, 0x33, 0x44, 0x01}) << mac48(1) << size;
        QTest::newRow("same 64-bit") << mac64(7) << mac64(7) << equal;
        QTest::newRow("64-bit, byte 0 differs")
            << macFrom({0xa0, 0xb1, 0x02, 0x11, 0x22, 0x33, 0x44, 0x01})
            << macFrom({0xa1, 0xb1, 0x02, 0x11, 0x22, 0x33, 0x44, 0x01}) << different;
        QTest::newRow("identical addresses of neither size") << neither << neither
                                                             << QStringLiteral("FpcFilter::areMacsEqual() MAC address is invalid - FALSE ->");
    }

    void areMacsEqual()
    {
        QFETCH(VomuWlanMacAddress, a);
        QFETCH(VomuWlanMacAddress, b);
        QFETCH(QString, line);
        LogCapture log;
        const Comparisons filter;
        QCOMPARE(filter.areMacsEqual(a, b), line.endsWith(QLatin1String("TRUE ->")));
        QCOMPARE(filter.areMacsEqual(b, a), line.endsWith(QLatin1String("TRUE ->")));
        QCOMPARE(log.lines(), (QStringList{line, line}));
    }

    void differentTA_data()
    {
        QTest::addColumn<int>("newTa");
        QTest::addColumn<int>("oldTa");
        QTest::addColumn<QString>("threshold");
        QTest::addColumn<QString>("line");

        const QString below = QStringLiteral("FpcFilter::differentTA() TA difference is below threshold  %1  -> FALSE");
        const QString above = QStringLiteral("FpcFilter::differentTA() TA difference is above threshold  %1  -> TRUE");
        QTest::newRow("new without TA") << NoTa << 5 << QString()
                                        << QStringLiteral("FpcFilter::differentTA() New doesn't have TA set - FALSE");
        QTest::newRow("old without TA") << 5 << NoTa << QString()
                                        << QStringLiteral("FpcFilter::differentTA() New has TA, Old doesn't -> TRUE");
        QTest::newRow("5 and 7: at threshold") << 5 << 7 << QString() << below.arg(2);
        QTest::newRow("7 and 5: at threshold") << 7 << 5 << QString() << below.arg(2);
        QTest::newRow("5 and 8") << 5 << 8 << QString() << above.arg(2);
        QTest::newRow("8 and 5") << 8 << 5 << QString() << above.arg(2);
        QTest::newRow("0 and 255") << 0 << 255 << QString() << above.arg(2);
        QTest::newRow("threshold 0, equal") << 9 << 9 << QStringLiteral("0") << below.arg(0);
        QTest::newRow("threshold 0, one apart") << 9 << 10 << QStringLiteral("0") << above.arg(0);
        QTest::newRow("threshold 10, 5 and 15") << 5 << 15 << QStringLiteral("10") << below.arg(10);
    }

    void differentTA()
    {
        QFETCH(int, newTa);
        QFETCH(int, oldTa);
        QFETCH(QString, threshold);
        QFETCH(QString, line);

        FpcConfig::addKey(QStringLiteral("min_ta_difference"), threshold);
        const std::unique_ptr<VomuElementGSM> newCell(gsmTa(1, newTa));
        const std::unique_ptr<VomuElementGSM> oldCell(gsmTa(1, oldTa));
        LogCapture log;
        QCOMPARE(Comparisons().differentTA(*newCell, *oldCell), line.endsWith(QLatin1String("TRUE")));
        QVERIFY2(log.has(line), log.dump());
    }

    void differentServingCell_data()
    {
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<FpcFingerprint>("oldFp");
        QTest::addColumn<QString>("line");

        const QString prefix = QStringLiteral("FpcFilter::differentServingCell() ");
        QTest::newRow("new without cells") << fingerprint({ap(1)}) << fingerprint({gsm(1)})
                                           << prefix + "New FP has no cell data - FALSE ->";
        QTest::newRow("old without cells") << fingerprint({gsm(1)}) << fingerprint({ap(1)})
                                           << prefix + "Old FP has no cell data - TRUE ->";
        QTest::newRow("GSM against WCDMA") << fingerprint({gsm(1)}) << fingerprint({wcdma(1)})
                                           << prefix + "Different networks - TRUE ->";
        QTest::newRow("GSM, other cell id") << fingerprint({gsm(1)}) << fingerprint({gsm(2)})
                                            << prefix + "Different GERAN CID - TRUE ->";
        QTest::newRow("GSM, same cell, new without TA") << fingerprint({gsmTa(1, NoTa)}) << fingerprint({gsmTa(1, 9)})
                                                        << prefix + "Same CID and TA - FALSE ->";
        QTest::newRow("GSM, same cell, TA 5 and 9") << fingerprint({gsmTa(1, 5)}) << fingerprint({gsmTa(1, 9)})
                                                    << prefix + "Different TA - TRUE ->";
        QTest::newRow("GSM, same cell, TA 5 and 6") << fingerprint({gsmTa(1, 5)}) << fingerprint({gsmTa(1, 6)})
                                                    << prefix + "Same CID and TA - FALSE ->";
        QTest::newRow("WCDMA, same UC-ID, other MCC") << fingerprint({wcdma(77, {}, 244)})
                                                      << fingerprint({wcdma(77, {}, 310)})
                                                      << prefix + "Same UTRA-FDD UC-ID - FALSE ->";
        QTest::newRow("WCDMA, other UC-ID") << fingerprint({wcdma(77)}) << fingerprint({wcdma(78)})
                                            << prefix + "Different UTRA-FDD UC-ID - TRUE ->";
    }

    void differentServingCell()
    {
        QFETCH(FpcFingerprint, newFp);
        QFETCH(FpcFingerprint, oldFp);
        QFETCH(QString, line);
        LogCapture log;
        QCOMPARE(Comparisons().differentServingCell(newFp, oldFp), line.endsWith(QLatin1String("TRUE ->")));
        QCOMPARE(log.startingWith(QStringLiteral("FpcFilter::differentServingCell()")).last(), line);
    }

    void newNeighborCells_data()
    {
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<FpcFingerprint>("oldFp");
        QTest::addColumn<QString>("line");

        const QString prefix = QStringLiteral("FpcFilter::newNeighborCells() ");
        const QString none = prefix + "No new neighbor cells in new FP - FALSE ->";
        const QString more = prefix + "New FP has more neighbor cells - TRUE ->";
        const QString added = prefix + "New FP has a new neighbor cell - TRUE ->";
        QTest::newRow("new without cells") << fingerprint({ap(1)}) << fingerprint({gsm(1, {{1, 10}})})
                                           << prefix + "New FP has no cell data - FALSE ->";
        QTest::newRow("old without cells") << fingerprint({gsm(1)}) << fingerprint({ap(1)})
                                           << prefix + "Old FP has no cell data - TRUE ->";
        QTest::newRow("GSM against WCDMA") << fingerprint({gsm(1)}) << fingerprint({wcdma(1)})
                                           << prefix + "Different networks (shouldn't happen!!) - TRUE ->";
        QTest::newRow("GSM, new without neighbours") << fingerprint({gsm(1)}) << fingerprint({gsm(1, {{1, 10}})})
                                                     << prefix + "New FP has no neighbor cells - FALSE ->";
        QTest::newRow("GSM, old without neighbours") << fingerprint({gsm(1, {{1, 10}})}) << fingerprint({gsm(1)})
                                                     << prefix + "Old FP has no neighbor cells - TRUE ->";
        QTest::newRow("GSM, 3 of the old 5 in other order")
            << fingerprint({gsm(1, {{5, 50}, {1, 10}, {3, 30}})})
            << fingerprint({gsm(1, {{1, 10}, {2, 20}, {3, 30}, {4, 40}, {5, 50}})}) << none;
        QTest::newRow("GSM, 3 against 2") << fingerprint({gsm(1, {{5, 50}, {1, 10}, {3, 30}})})
                                          << fingerprint({gsm(1, {{1, 10}, {3, 30}})}) << more;
        QTest::newRow("GSM, same BSIC on another ARFCN") << fingerprint({gsm(1, {{1, 10}, {2, 21}})})
                                                         << fingerprint({gsm(1, {{1, 10}, {2, 20}})}) << added;
        QTest::newRow("GSM, same ARFCN with another BSIC") << fingerprint({gsm(1, {{3, 20}})})
                                                           << fingerprint({gsm(1, {{1, 10}, {2, 20}})}) << added;
        QTest::newRow("WCDMA, new without neighbours") << fingerprint({wcdma(1)})
                                                       << fingerprint({wcdma(1, {{10700, 1}, {10700, 2}})}) << none;
        QTest::newRow("WCDMA, neither with neighbours") << fingerprint({wcdma(1)}) << fingerprint({wcdma(1)}) << none;
        QTest::newRow("WCDMA, old without neighbours") << fingerprint({wcdma(1, {{10700, 1}})})
                                                       << fingerprint({wcdma(1)}) << more;
        QTest::newRow("WCDMA, all known") << fingerprint({wcdma(1, {{10712, 2}})})
                                          << fingerprint({wcdma(1, {{10700, 1}, {10712, 2}})}) << none;
        QTest::newRow("WCDMA, code known on another carrier")
            << fingerprint({wcdma(1, {{10712, 1}})}) << fingerprint({wcdma(1, {{10700, 1}, {10712, 2}})}) << added;
    }

    void newNeighborCells()
    {
        QFETCH(FpcFingerprint, newFp);
        QFETCH(FpcFingerprint, oldFp);
        QFETCH(QString, line);
        LogCapture log;
        QCOMPARE(Comparisons().newNeighborCells(newFp, oldFp), line.endsWith(QLatin1String("TRUE ->")));
        QCOMPARE(log.startingWith(QStringLiteral("FpcFilter::newNeighborCells()")), QStringList{line});
    }

    void compareCellInfo_data()
    {
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<FpcFingerprint>("oldFp");
        QTest::addColumn<QString>("pattern");

        const QString prefix = QStringLiteral("^FpcFilter::compareCellInfo\\(\\) ");
        QTest::newRow("new without cells") << fingerprint({ap(1)}) << fingerprint({gsm(1)})
                                           << prefix + "New FP has no cell info - took  \\d+ m-seconds  FALSE ->$";
        QTest::newRow("old without cells") << fingerprint({wcdma(1)}) << fingerprint({ap(1)})
                                           << prefix + "Old FP has no cell info - took  \\d+ m-seconds TRUE ->$";
        QTest::newRow("other serving cell") << fingerprint({gsm(1)}) << fingerprint({gsm(2)})
                                            << prefix + "New has different serving cell - took  \\d+ m-seconds TRUE ->$";
        QTest::newRow("same cell, new neighbour") << fingerprint({gsm(1, {{1, 10}})}) << fingerprint({gsm(1, {{2, 10}})})
                                                  << prefix + "New FP has new neighbor cells - took  \\d+ m-seconds  TRUE ->$";
        QTest::newRow("same cell, known neighbours") << fingerprint({gsm(1, {{1, 10}})})
                                                     << fingerprint({gsm(1, {{2, 10}, {1, 10}})})
                                                     << prefix + "took  \\d+ m-seconds FALSE ->$";
    }

    void compareCellInfo()
    {
        QFETCH(FpcFingerprint, newFp);
        QFETCH(FpcFingerprint, oldFp);
        QFETCH(QString, pattern);
        LogCapture log;
        QCOMPARE(Comparisons().compareCellInfo(newFp, oldFp), pattern.endsWith(QLatin1String("TRUE ->$")));
        const QStringList lines = log.startingWith(QStringLiteral("FpcFilter::compareCellInfo()"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(QRegularExpression(pattern).match(lines.first()).hasMatch(), qPrintable(lines.first()));
    }

    void currentTimeIsMicroseconds()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const qint64 micros = FpcFilter::currentTimeMicros();
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(micros / 1000 >= before - 1 && micros / 1000 <= after + 1);
    }
};

QTEST_GUILESS_MAIN(TstFpcFilter)
#include "tst_fpcfilter.moc"
