// Evaluator, comparisons and both filters on a fresh buffer per row (ids from 1); log lines tell the branch.

#include "FpcFilter1.h"
#include "FpcFilter2.h"
#include "FpcMsmEvaluator.h"
#include "LogCapture.h"
#include "TempBuffer.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <tuple>
#include <vector>

Q_DECLARE_METATYPE(VomuWlanMacAddress)
Q_DECLARE_METATYPE(QList<FpcFingerprint>)

namespace {

constexpr int NoPower = 1000;
constexpr int NoTa = -1;
constexpr double NoFix = -1;
using Pairs = std::initializer_list<std::pair<int, int>>;

// A valid GSM serving cell; neighbours as (BSIC, ARFCN).
VomuElementGSM *gsm(quint16 cellId, Pairs neighbours = {}, int ta = NoTa)
{
    auto *cell = new VomuElementGSM;
    cell->setCountryCode(244), cell->setNetworkId(5), cell->setLocationAreaCode(1234), cell->setCellId(cellId);
    if (ta != NoTa)
        cell->setTimingAdvance(quint8(ta));
    for (const auto &n : neighbours)
        cell->appendNeighbourCell(VomuElementGSM::NeighbourCell(quint8(n.first), quint16(n.second)));
    return cell;
}

// A valid WCDMA serving cell; neighbours as (UARFCN-DL, scrambling code).
VomuElementWCDMA *wcdma(quint32 ucId, Pairs neighbours = {}, quint16 mcc = 244)
{
    auto *cell = new VomuElementWCDMA;
    cell->setCountryCode(mcc), cell->setNetworkId(42), cell->setUcId(ucId);
    for (const auto &n : neighbours) {
        VomuElementWCDMA::NeighbourCell neighbour;
        neighbour.uarfcnDl = quint16(n.first), neighbour.pCpich = quint16(n.second);
        cell->appendNeighbourCell(neighbour);
    }
    return cell;
}

VomuWlanMacAddress mac(std::vector<uint8_t> bytes)
{
    return VomuWlanMacAddress(bytes.data(), int(bytes.size()));
}
VomuWlanMacAddress mac48(quint8 last, quint8 first = 0x02)
{
    return mac({first, 0x11, 0x22, 0x33, 0x44, last});
}
VomuWlanMacAddress mac64(quint8 last, quint8 first = 0xa0)
{
    return mac({first, 0xb1, 0x02, 0x11, 0x22, 0x33, 0x44, last});
}

// An access point; NoPower leaves the received power unset.
VomuElementWLAN *wlan(const VomuWlanMacAddress &mac, int powerRx = -60)
{
    auto *ap = new VomuElementWLAN;
    ap->setMac(mac);
    if (powerRx != NoPower)
        ap->setPowerRx(qint8(powerRx));
    return ap;
}
VomuElementWLAN *ap(quint8 last, int powerRx = -60)
{
    return wlan(mac48(last), powerRx);
}

// A fingerprint of the elements (taken over), with a fix metresNorth of (60, 24) unless NoFix.
FpcFingerprint fp(std::initializer_list<VomuObservationElement *> elements, double metresNorth = NoFix)
{
    VomuMeasurements m;
    for (VomuObservationElement *e : elements)
        m.append(e);
    FpcFingerprint result;
    result.setMeasurements(m);
    if (metresNorth != NoFix) {
        FpcPosition p;
        p.setCoordinate(60.0 + metresNorth / 111195.08, 24.0, 10.0f);
        p.setHorizontalAccuracy(5.0f);
        p.setTimestamp(1700000000);
        result.setPosition(p);
    }
    return result;
}

// A valid cell with one neighbour in which only `field` takes `value`; -1 leaves a flagged field unset.
VomuObservationElement *cellWith(bool isWcdma, const QString &field, qlonglong value)
{
    auto v = [&](const char *name, qlonglong normal) { return field == QLatin1String(name) ? value : normal; };
    if (isWcdma) {
        auto *cell = new VomuElementWCDMA;
        cell->setCountryCode(quint16(v("mcc", 244))), cell->setNetworkId(quint16(v("mnc", 42)));
        cell->setUcId(quint32(v("ucid", 100000)));
        VomuElementWCDMA::NeighbourCell n;
        n.uarfcnDl = quint16(v("uarfcn", 10700)), n.pCpich = quint16(v("pcpich", 100)), n.rssi = quint8(v("rssi", 40));
        n.ucId = quint32(v("nbUcid", 7)), n.ecn0 = quint8(v("ecn0", 20)), n.rscp = quint8(v("rscp", 50));
        n.pathloss = quint8(v("pathloss", 60));
        cell->appendNeighbourCell(n);
        return cell;
    }
    auto *cell = new VomuElementGSM;
    cell->setCountryCode(quint16(v("mcc", 244))), cell->setNetworkId(quint16(v("mnc", 5)));
    if (v("lac", 1) >= 0)
        cell->setLocationAreaCode(quint16(v("lac", 1)));
    if (v("cid", 1) >= 0)
        cell->setCellId(quint16(v("cid", 1)));
    cell->setPowerRx(quint8(v("rxlev", 40)));
    VomuElementGSM::NeighbourCell n(quint8(v("bsic", 12)), quint16(v("arfcn", 65)));
    n.setPowerRx(quint8(v("nbRxlev", 30)));
    cell->appendNeighbourCell(n);
    return cell;
}

// Stores a fingerprint born a minute ago; its id, or -1.
qint64 store(FpcFingerprint fingerprint)
{
    fingerprint.setTime(QDateTime::currentDateTimeUtc().addSecs(-60));
    return TempBuffer::store(fingerprint);
}

// Runs a statement on the buffer's connection; the error text, empty on success.
QString tamper(const QString &statement)
{
    QSqlQuery query;
    return query.exec(statement) ? QString() : query.lastError().text();
}

const QString Evaluator = QStringLiteral("[INFO] FpcMsmEvaluator::");
const QString Invalid = Evaluator + "evaluateMeasurements() Invalid %1 measurements";
const QString F1 = QStringLiteral("[INFO] FpcFilter1::evaluateEntry() ");
const QString F2 = QStringLiteral("[INFO] FpcFilter2::evaluateEntry() ");
const QString F2Passed = F2 + "- FILTER PASSED";
const QString Better = QStringLiteral("[INFO] FpcFilter2::hasBetterWlanData() ");

QString rejectedBy(qint64 id)
{
    return F2 + QString("FP %1 is better than the new one - FILTER NOT PASSED").arg(id);
}

} // namespace

class TstFpcFilter : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempBuffer> m_buffer;

private slots:
    void init()
    {
        m_buffer = std::make_unique<TempBuffer>();
        QVERIFY(m_buffer->isValid());
    }
    void cleanup()
    {
        m_buffer.reset();
        for (const char *key : {"min_wlan_count", "max_distance_to_new_fp"})
            FpcConfig::addKey(QLatin1String(key), QString());
    }

    // Cell fields at highest valid, lowest invalid and not-set (0: none) values, with a fix; APs; combinations.
    void evaluator_data()
    {
        QTest::addColumn<FpcFingerprint>("entry");
        QTest::addColumn<QString>("minWlanCount");
        QTest::addColumn<bool>("valid");
        struct Field
        {
            bool isWcdma;
            const char *name;
            qlonglong good, bad, marker;
            bool markerValid;
        };
        const Field fields[] = {{false, "mcc", 999, 1000, 0xFFFF, false},
                                {false, "mnc", 999, 1000, 0xFFFF, false},
                                {false, "lac", 0, 0, -1, false},
                                {false, "cid", 0, 0, -1, false},
                                {false, "rxlev", 63, 64, 255, true},
                                {false, "bsic", 63, 64, 255, false},
                                {false, "arfcn", 1023, 1024, 0xFFFF, false},
                                {false, "nbRxlev", 63, 64, 255, true},
                                {true, "mcc", 999, 1000, 0xFFFF, false},
                                {true, "mnc", 999, 1000, 0xFFFF, false},
                                {true, "ucid", 0x0FFFFFFF, 0x10000000, 0xFFFFFFFF, false},
                                {true, "uarfcn", 16383, 16384, 0, false},
                                {true, "pcpich", 511, 512, 0, false},
                                {true, "rssi", 76, 77, 255, true},
                                {true, "nbUcid", 0x0FFFFFFF, 0x10000000, 0xFFFFFFFF, true},
                                {true, "ecn0", 63, 64, 255, true},
                                {true, "rscp", 132, 133, 255, true},
                                {true, "pathloss", 127, 128, 255, true}};
        for (const Field &f : fields) {
            const char *kind = f.isWcdma ? "WCDMA" : "GSM";
            auto row = [&](qlonglong value, bool valid, const QString &shown) {
                QTest::addRow("%s %s %s", kind, f.name, qPrintable(shown))
                    << fp({cellWith(f.isWcdma, f.name, value)}, 0) << QString() << valid;
            };
            if (f.bad) {
                row(f.good, true, QString::number(f.good));
                row(f.bad, false, QString::number(f.bad));
            }
            if (f.marker)
                row(f.marker, f.markerValid, "not set");
        }
        VomuWlanMacAddress sevenBytes = mac48(1);
        sevenBytes.setMacByte(1, 0x99);
        auto row = [](const char *name, const FpcFingerprint &entry, bool valid, const QString &minWlanCount = {}) {
            QTest::newRow(name) << entry << minWlanCount << valid;
        };
        row("AP 64-bit", fp({gsm(1), wlan(mac64(1), -70)}, 0), true);
        row("AP 7 bytes", fp({gsm(1), wlan(sevenBytes, -70)}, 0), false);
        row("AP no address", fp({gsm(1), wlan(VomuWlanMacAddress(), -70)}, 0), false);
        row("AP 48-bit, no level", fp({gsm(1), wlan(mac48(1), NoPower)}, 0), false);
        row("fix, WLAN only", fp({ap(0)}, 0), true);
        row("fix, nothing measured", fp({}, 0), false);
        row("cell and 3 WLAN", fp({wcdma(7), ap(0), ap(1), ap(2)}), true);
        row("cell and 2 WLAN", fp({wcdma(7), ap(0), ap(1)}), false);
        row("5 WLAN, no cell", fp({ap(0), ap(1), ap(2), ap(3), ap(4)}), false);
        row("min 1: cell and 1 WLAN", fp({wcdma(7), ap(0)}), true, "1");
        row("min unreadable: 3", fp({wcdma(7), ap(0), ap(1)}), false, "three");
    }

    void evaluator()
    {
        QFETCH(FpcFingerprint, entry);
        QFETCH(QString, minWlanCount);
        FpcConfig::addKey(QStringLiteral("min_wlan_count"), minWlanCount);
        QTEST(FpcMsmEvaluator().evaluateEntry(&entry), "valid");
    }

    // Cells precede access points, and the first invalid element decides.
    void evaluatorFirstFailingElementDecides()
    {
        const QList<QPair<FpcFingerprint, QString>> cases =
            {{fp({cellWith(false, "mcc", 1000), ap(1, NoPower)}, 0), Invalid.arg("GERAN")},
             {fp({ap(1, NoPower), cellWith(true, "rscp", 133)}, 0), Invalid.arg("UTRA-FDD")},
             {fp({gsm(1), ap(1), ap(2, NoPower), ap(3, NoPower)}, 0), Invalid.arg("WLAN")}};
        for (const auto &c : cases) {
            LogCapture log;
            QVERIFY(!FpcMsmEvaluator().evaluateEntry(&c.first));
            QCOMPARE(log.matching(Evaluator + "evaluateMeasurements()"), QStringList{c.second});
            QCOMPARE(log.count(Evaluator + "evaluateWLANElement()"), c.second.endsWith("WLAN measurements") ? 1 : 0);
        }
        QVERIFY(!FpcMsmEvaluator().evaluateEntry(nullptr));
    }

    // Bytes 0-1 read 0 in a 48-bit address: a 64-bit one with zero top bytes agrees in all but size.
    void macs_data()
    {
        QTest::addColumn<VomuWlanMacAddress>("a");
        QTest::addColumn<VomuWlanMacAddress>("b");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("equal");
        VomuWlanMacAddress neither = mac48(1);
        neither.setMacByte(1, 0x10);
        const VomuWlanMacAddress a = mac({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e});
        QTest::newRow("same 48-bit") << a << a << "001a2b3c4d5e" << true;
        QTest::newRow("48-bit, last byte differs") << mac48(1) << mac48(2) << "021122334401" << false;
        QTest::newRow("48-bit, first byte differs") << mac48(1, 2) << mac48(1, 6) << "021122334401" << false;
        QTest::newRow("48 vs 64-bit, zero top bytes")
            << mac48(1) << mac({0, 0, 2, 0x11, 0x22, 0x33, 0x44, 1}) << "021122334401" << false;
        QTest::newRow("64 vs 48-bit") << mac64(1) << mac48(1) << "a0b1021122334401" << false;
        QTest::newRow("64-bit, byte 0 differs") << mac64(1, 0xa0) << mac64(1, 0xa1) << "a0b1021122334401" << false;
        QTest::newRow("same, neither size") << neither << neither << "" << false;
    }

    void macs()
    {
        QFETCH(VomuWlanMacAddress, a);
        QFETCH(VomuWlanMacAddress, b);
        QFETCH(bool, equal);
        const FpcFilter2 filter; // the comparisons belong to the base
        QTEST(filter.macToString(a), "text");
        QCOMPARE(filter.areMacsEqual(a, b), equal);
        QCOMPARE(filter.areMacsEqual(b, a), equal);
    }

    // Rows name the comparison (Serving, Neighbours, Combined) and its answering line ("#": ms); TA threshold 2.
    void cellComparisons_data()
    {
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<FpcFingerprint>("oldFp");
        QTest::addColumn<QString>("line");
        const QString s = "differentServingCell() ", n = "newNeighborCells() ", c = "compareCellInfo() ";
        const QString none = n + "No new neighbor cells in new FP - FALSE ->",
                      more = n + "New FP has more neighbor cells - TRUE ->",
                      added = n + "New FP has a new neighbor cell - TRUE ->";
        auto row = [](const char *name, const FpcFingerprint &a, const FpcFingerprint &b, const QString &line) {
            QTest::newRow(name) << a << b << line;
        };
        row("S: GSM against WCDMA", fp({gsm(1)}), fp({wcdma(1)}), s + "Different networks - TRUE ->");
        row("S: GSM, other cell id", fp({gsm(1)}), fp({gsm(2)}), s + "Different GERAN CID - TRUE ->");
        row("S: GSM, new without TA", fp({gsm(1)}), fp({gsm(1, {}, 9)}), s + "Same CID and TA - FALSE ->");
        row("S: GSM, old without TA", fp({gsm(1, {}, 5)}), fp({gsm(1)}), s + "Different TA - TRUE ->");
        row("S: GSM, TA 5 and 7", fp({gsm(1, {}, 5)}), fp({gsm(1, {}, 7)}), s + "Same CID and TA - FALSE ->");
        row("S: GSM, TA 5 and 8", fp({gsm(1, {}, 5)}), fp({gsm(1, {}, 8)}), s + "Different TA - TRUE ->");
        row("S: GSM, TA 0 and 255", fp({gsm(1, {}, 0)}), fp({gsm(1, {}, 255)}), s + "Different TA - TRUE ->");
        row("S: WCDMA, same UC-ID, other MCC", fp({wcdma(7, {}, 244)}), fp({wcdma(7, {}, 310)}),
            s + "Same UTRA-FDD UC-ID - FALSE ->");
        row("S: WCDMA, other UC-ID", fp({wcdma(7)}), fp({wcdma(8)}), s + "Different UTRA-FDD UC-ID - TRUE ->");
        row("N: GSM against WCDMA", fp({gsm(1)}), fp({wcdma(1)}),
            n + "Different networks (shouldn't happen!!) - TRUE ->");
        row("N: GSM, none in new", fp({gsm(1)}), fp({gsm(1, {{1, 10}})}),
            n + "New FP has no neighbor cells - FALSE ->");
        row("N: GSM, none in old", fp({gsm(1, {{1, 10}})}), fp({gsm(1)}), n + "Old FP has no neighbor cells - TRUE ->");
        row("N: GSM, 3 of the old 5", fp({gsm(1, {{5, 50}, {1, 10}, {3, 30}})}),
            fp({gsm(1, {{1, 10}, {2, 20}, {3, 30}, {4, 40}, {5, 50}})}), none);
        row("N: GSM, 3 against 2", fp({gsm(1, {{5, 50}, {1, 10}, {3, 30}})}), fp({gsm(1, {{1, 10}, {3, 30}})}), more);
        row("N: GSM, as many, pairs new", fp({gsm(1, {{1, 11}, {2, 10}})}), fp({gsm(1, {{1, 10}, {2, 11}})}), added);
        row("N: WCDMA, none in new", fp({wcdma(1)}), fp({wcdma(1, {{10700, 1}})}), none);
        row("N: WCDMA, none in old", fp({wcdma(1, {{10700, 1}})}), fp({wcdma(1)}), more);
        row("N: WCDMA, all known", fp({wcdma(1, {{10712, 2}})}), fp({wcdma(1, {{10700, 1}, {10712, 2}})}), none);
        row("N: WCDMA, as many, pairs new", fp({wcdma(1, {{10712, 1}, {10700, 2}})}),
            fp({wcdma(1, {{10700, 1}, {10712, 2}})}), added);
        row("C: old without cells", fp({wcdma(1)}), fp({ap(1)}),
            c + "Old FP has no cell info - took  # m-seconds TRUE ->");
    }

    void cellComparisons()
    {
        QFETCH(FpcFingerprint, newFp);
        QFETCH(FpcFingerprint, oldFp);
        QFETCH(QString, line);
        const FpcFilter2 f;
        const QString method = line.left(line.indexOf(' '));
        LogCapture log;
        const bool result = method.startsWith("different") ? f.differentServingCell(newFp, oldFp)
                            : method.startsWith("new")     ? f.newNeighborCells(newFp, oldFp)
                                                           : f.compareCellInfo(newFp, oldFp);
        QCOMPARE(result, line.contains("TRUE"));
        // The answering line is the method's last one.
        QString last = log.matching("FpcFilter::" + method).last();
        QCOMPARE(last.replace(QRegularExpression("took  \\d+ m-seconds"), "took  # m-seconds"), "FpcFilter::" + line);
    }

    // ---- first filter: the newest stored fingerprint against the new one

    void filter1_data()
    {
        QTest::addColumn<QList<FpcFingerprint>>("stored");
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("previousKept");
        const FpcFingerprint p = fp({gsm(1), ap(1, -70), ap(2, -70)}, 3), pNoFix = fp({gsm(1), ap(1, -70), ap(2, -70)});
        const QString removed = "Previous removed - FILTER PASSED ->",
                      worse = "Previous has better signal strength average - DISCARD NEW FP ->",
                      newMac = "New FP has different MAC - FILTER PASSED ->";
        auto row = [](const char *name, QList<FpcFingerprint> stored, const FpcFingerprint &n, const QString &outcome,
                      bool kept = true) { QTest::newRow(name) << stored << n << outcome << kept; };
        row("empty buffer", {}, fp({gsm(1), ap(1)}, 0), "Previous FP not available - FILTER PASSED ->");
        row("WLAN only against cells only", {fp({gsm(1)}, 3)}, fp({ap(1)}, 0),
            "New and previous are not comparable - FILTER PASSED ->");
        row("other serving cell", {p}, fp({gsm(2), ap(1)}, 0), "New FP has new cell info - FILTER PASSED ->");
        row("same cells, no WLAN", {p}, fp({gsm(1)}, 0),
            "New FP has no new cell data and no wlan measurements - DISCARD NEW FP ->");
        row("fixes, received better", {p}, fp({gsm(1), ap(2, -60), ap(1, -60)}, 0), removed, false);
        row("fixes, received worse", {p}, fp({gsm(1), ap(1, -75), ap(2, -70)}, 0), worse);
        row("previous without fix", {pNoFix}, fp({gsm(1), ap(1, -60), ap(2, -60)}, 0),
            "Previous doesn't have GPS fix and new has wlan measurements - FILTER PASSED ->");
        row("new without fix, received better", {p}, fp({gsm(1), ap(1, -60), ap(2, -60)}),
            "New FP has better signal strength average - FILTER PASSED ->");
        row("no fixes, received better", {pNoFix}, fp({gsm(1), ap(1, -60), ap(2, -60)}), removed, false);
        row("no fixes, same average and count", {pNoFix}, fp({gsm(1), ap(1, -60), ap(2, -80)}), worse);
        row("no fixes, same average, fewer", {pNoFix}, fp({gsm(1), ap(1, -70)}), removed, false);
        row("no fixes, unset level left out", {pNoFix}, fp({gsm(1), ap(1, -71), ap(2, NoPower)}), worse);
        row("no fixes, new access point", {pNoFix}, fp({gsm(1), ap(1, -90), ap(9, -90)}), newMac);
        row("no fixes, 64-bit form of a known address", {pNoFix}, fp({gsm(1), wlan(mac64(1)), ap(2)}), newMac);
        // The database refuses the deletion: the new one passes, the previous one stays.
        row("removal refused", {pNoFix}, fp({gsm(1), ap(1, -60), ap(2, -60)}),
            "Error while removing previous - FILTER PASSED ->");
    }

    void filter1()
    {
        QFETCH(QList<FpcFingerprint>, stored);
        QFETCH(FpcFingerprint, newFp);
        QFETCH(QString, outcome);
        QFETCH(bool, previousKept);
        for (const FpcFingerprint &s : stored)
            QCOMPARE(store(s), qint64(1));
        if (outcome.startsWith("Error while removing"))
            QCOMPARE(tamper("CREATE TRIGGER keep BEFORE DELETE ON Fingerprint BEGIN SELECT RAISE(ABORT, 'kept'); END"),
                     QString());
        LogCapture log;
        std::unique_ptr<FpcFilter> filter(new FpcFilter1); // held as the creator holds it
        QCOMPARE(filter->evaluateEntry(&newFp), outcome.contains("PASSED"));
        QCOMPARE(log.matching(F1), QStringList{F1 + outcome});
        FpcFingerprint previous;
        QVERIFY(stored.isEmpty() || TempBuffer::buffer().getFingerprint(1, previous) == previousKept);
    }

    // The previous fingerprint is read anew for every evaluation; one without a valid time never passes.
    void filter1RemovalSeenByNextEvaluation()
    {
        QCOMPARE(store(fp({gsm(1), ap(1, -70)})), qint64(1));
        FpcFingerprint newFp = fp({gsm(1), ap(1, -60)});
        LogCapture log;
        FpcFilter1 filter;
        QVERIFY(filter.evaluateEntry(&newFp));
        QVERIFY(log.lines().contains(
            "FpcFilter1::evaluateEntry() New FP has better signal strength average - REMOVE PREVIOUS ->"));
        QVERIFY(filter.evaluateEntry(&newFp));
        QCOMPARE(log.matching(F1).last(), F1 + "Previous FP not available - FILTER PASSED ->");
        newFp.setTime(QDateTime());
        log.clear();
        QVERIFY(!filter.evaluateEntry(&newFp));
        QVERIFY(log.matching(F1).isEmpty());
    }

    // ---- second filter: stored fingerprints nearby or under the same serving cell

    void filter2_data()
    {
        QTest::addColumn<QList<FpcFingerprint>>("stored");
        QTest::addColumn<FpcFingerprint>("newFp");
        QTest::addColumn<QString>("maxDistance");
        QTest::addColumn<QString>("decisive");
        QTest::addColumn<bool>("passes");
        const FpcFingerprint c = fp({gsm(1), ap(1, -60), ap(2, -70)}, 5);
        auto row = [](const char *name, QList<FpcFingerprint> stored, const FpcFingerprint &n, const QString &decisive,
                      bool passes, const QString &maxDistance = QString()) {
            QTest::newRow(name) << stored << n << maxDistance << decisive << passes;
        };
        row("nothing within 20 m", {fp({gsm(1), ap(1)}, 50)}, fp({gsm(1), ap(1)}, 0),
            F2 + "Existing FPs not in 20 meters range - FILTER PASSED", true);
        row("50 m away, range 60 m", {fp({gsm(1), ap(1)}, 50)}, fp({gsm(1), ap(1)}, 0), rejectedBy(1), false, "60");
        row("no fix, serving cell unique", {fp({gsm(1), ap(1)}), fp({wcdma(2), ap(1)}, 0)}, fp({gsm(2), ap(1)}),
            F2 + "Serving cell is unique - FILTER PASSED", true);
        row("neither fix nor cells", {fp({ap(1)})}, fp({ap(1)}),
            F2 + "Found no fingerprints to compare to - FILTER PASSED", true);
        row("at least as strong", {c}, fp({gsm(1), ap(1, -60), ap(2, -75)}, 0), rejectedBy(1), false);
        row("one 1 dB stronger", {c}, fp({gsm(1), ap(1, -60), ap(2, -69)}, 0),
            Better + "New WLAN has better signal strength than FP 1 - TRUE", true);
        row("candidate with fewer", {fp({gsm(1), ap(1, -50)}, 5)}, fp({gsm(1), ap(1, -90), ap(2, -90)}, 0),
            Better + "New FP has more WLANs than FP 1 - TRUE", true);
        row("access point the candidate lacks", {c}, fp({gsm(1), ap(1, -90), ap(9, -90)}, 0),
            Better + "New FP has a WLAN that the FP 1 doesn't have - TRUE", true);
        row("new without WLAN", {c}, fp({gsm(1)}, 0), rejectedBy(1), false);
        row("found anywhere in the list", {fp({gsm(1), ap(3, -50), ap(2, -50), ap(1, -50)}, 5)},
            fp({gsm(1), ap(1, -60), ap(2, -60)}, 0), rejectedBy(1), false);
        row("no fix, same GSM cell", {fp({gsm(1), ap(1), ap(2)})}, fp({gsm(1), ap(2), ap(1)}), rejectedBy(1), false);
        row("no fix, same WCDMA cell", {fp({wcdma(5), ap(1)})}, fp({wcdma(5), ap(1)}), rejectedBy(1), false);
        row("no fix, same cell, new neighbour", {fp({wcdma(5, {{10700, 1}}), ap(1)})},
            fp({wcdma(5, {{10700, 2}}), ap(1)}), F2Passed, true);
        // The serving cell table is dropped before the evaluation.
        row("serving cell query fails", {fp({gsm(1), ap(1)})}, fp({gsm(1), ap(4)}),
            F2 + "ERROR:  \"Unable to select fingerprints by Geran serving cell\"", false);
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
            QVERIFY(store(s) > 0);
        QVERIFY(!decisive.contains("ERROR") || tamper("DROP TABLE Geran").isEmpty());
        LogCapture log;
        QCOMPARE(FpcFilter2().evaluateEntry(&newFp), passes);
        QVERIFY2(log.lines().contains(decisive), qPrintable(log.lines().join(u'\n')));
        QVERIFY(passes || !log.lines().contains(F2Passed));
        QCOMPARE(log.count(F2 + "ERROR:"), decisive.contains("ERROR") ? 1 : 0);
    }

    // Candidates are loaded one at a time until the first better one; unloadable ones are skipped.
    void filter2StopsAtFirstBetter()
    {
        const FpcFingerprint same = fp({gsm(1), ap(1, -50)}, 1);
        for (const FpcFingerprint &s : {fp({gsm(2), ap(1, -50)}, 2), same, same})
            QVERIFY(store(s) > 0);
        const FpcFingerprint newFp = fp({gsm(1), ap(1, -60)}, 0);
        LogCapture log;
        QVERIFY(!FpcFilter2().evaluateEntry(&newFp));
        QCOMPARE(log.count(F2 + "Nearest GPS query, FPS found  3 , took: "), 1);
        QCOMPARE(log.count("FpcFilter::compareCellInfo()"), 2);
        QVERIFY(log.lines().contains(rejectedBy(2)));

        // The fixes stay, the fingerprints behind them are gone: nothing to compare with, so it passes.
        QCOMPARE(tamper("DELETE FROM Fingerprint"), QString());
        log.clear();
        QVERIFY(FpcFilter2().evaluateEntry(&newFp));
        QCOMPARE(log.count("FpcFilter::compareCellInfo()"), 0);
        QVERIFY(log.lines().contains(F2Passed));
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

QTEST_GUILESS_MAIN(TstFpcFilter)
#include "tst_filter.moc"
