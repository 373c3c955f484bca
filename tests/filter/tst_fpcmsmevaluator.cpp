#include "FilterTestData.h"
#include "FpcMsmEvaluator.h"

#include <QtTest>

#include <tuple>

using namespace FilterTestData;

namespace {

const QString Tag = QStringLiteral("[INFO] FpcMsmEvaluator::");
const QString InvalidEntry = Tag + "evaluateEntry() Invalid mesurements found -> return FALSE";
const QString InvalidCombination = Tag + "validateCombination() Invalid combination found -> return FALSE";
const QString Invalid = Tag + "evaluateMeasurements() Invalid %1 measurements";

// A valid cell with one neighbour in which only `field` takes `value`; -1
// leaves a field that has a presence flag unset.
VomuObservationElement *cellWith(bool wcdma, const QString &field, qlonglong value)
{
    auto v = [&](const char *name, qlonglong normal) { return field == QLatin1String(name) ? value : normal; };
    if (wcdma) {
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

} // namespace

class TstFpcMsmEvaluator : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { FpcConfig::addKey(QStringLiteral("min_wlan_count"), QString()); }

    void cellFields_data()
    {
        QTest::addColumn<bool>("wcdma");
        QTest::addColumn<QString>("field");
        QTest::addColumn<qlonglong>("value");
        QTest::addColumn<bool>("valid");
        // Highest valid and lowest invalid value of each ranged field.
        struct Limit { bool wcdma; const char *field; qlonglong good, bad; };
        const Limit limits[] = {
            {false, "mcc", 999, 1000}, {false, "mnc", 999, 1000}, {false, "rxlev", 63, 64}, {false, "bsic", 63, 64},
            {false, "arfcn", 1023, 1024}, {false, "nbRxlev", 63, 64}, {true, "mcc", 999, 1000}, {true, "mnc", 999, 1000},
            {true, "ucid", 0x0FFFFFFF, 0x10000000}, {true, "uarfcn", 16383, 16384}, {true, "pcpich", 511, 512},
            {true, "rssi", 76, 77}, {true, "nbUcid", 0x0FFFFFFF, 0x10000000}, {true, "ecn0", 63, 64},
            {true, "rscp", 132, 133}, {true, "pathloss", 127, 128}};
        for (const Limit &l : limits) {
            for (const qlonglong value : {l.good, l.bad})
                QTest::addRow("%s %s %lld", l.wcdma ? "WCDMA" : "GSM", l.field, value)
                    << l.wcdma << QString(l.field) << value << (value == l.good);
        }
        // Not-set markers: accepted only where the value is optional.
        struct Marker { bool wcdma; const char *field; qlonglong value; bool valid; };
        const Marker markers[] = {
            {false, "mcc", 0xFFFF, false}, {false, "mnc", 0xFFFF, false}, {false, "lac", -1, false},
            {false, "cid", -1, false}, {false, "rxlev", 255, true}, {false, "bsic", 255, false},
            {false, "arfcn", 0xFFFF, false}, {false, "nbRxlev", 255, true}, {true, "mcc", 0xFFFF, false},
            {true, "mnc", 0xFFFF, false}, {true, "ucid", 0xFFFFFFFF, false}, {true, "rssi", 255, true},
            {true, "nbUcid", 0xFFFFFFFF, true}, {true, "ecn0", 255, true}, {true, "rscp", 255, true},
            {true, "pathloss", 255, true}};
        for (const Marker &m : markers)
            QTest::addRow("%s %s not set", m.wcdma ? "WCDMA" : "GSM", m.field)
                << m.wcdma << QString(m.field) << m.value << m.valid;
    }

    // One serving cell with a fix: only the element rule can fail.
    void cellFields()
    {
        QFETCH(bool, wcdma);
        QFETCH(QString, field);
        QFETCH(qlonglong, value);
        QFETCH(bool, valid);
        const FpcPosition fix = north(0);
        const FpcFingerprint entry = fp({cellWith(wcdma, field, value)}, &fix);
        LogCapture log;
        QCOMPARE(FpcMsmEvaluator().evaluateEntry(&entry), valid);
        QCOMPARE(log.has(Invalid.arg(wcdma ? "UTRA-FDD" : "GERAN")), !valid);
        QCOMPARE(log.has(InvalidEntry), !valid);
    }

    // One access point beside a valid cell, with a fix.
    void accessPoints()
    {
        VomuWlanMacAddress sevenBytes = mac48(1);
        sevenBytes.setMacByte(1, 0x99);
        const QString badMac = "[ERROR] FpcMsmEvaluator::evaluateWLANElement() MAC is not 48 bit or 64 bit -> ERROR";
        const QString noPower = Tag + "evaluateWLANElement() powerRx not set";
        const QList<std::tuple<VomuWlanMacAddress, int, QString>> cases = {
            {mac48(1), -70, QString()}, {mac64(1), -70, QString()}, {sevenBytes, -70, badMac},
            {VomuWlanMacAddress(), -70, badMac}, {mac48(1), NoPower, noPower}, {mac64(1), NoPower, noPower}};
        const FpcPosition fix = north(0);
        for (const auto &[mac, power, reason] : cases) {
            VomuElementWLAN *element = wlan(mac, power);
            element->setRssi(180);
            const FpcFingerprint entry = fp({gsm(1), element}, &fix);
            LogCapture log;
            QCOMPARE(FpcMsmEvaluator().evaluateEntry(&entry), reason.isEmpty());
            QCOMPARE(log.has(Invalid.arg("WLAN")), !reason.isEmpty());
            QVERIFY(reason.isEmpty() || log.has(reason));
            QCOMPARE(log.has("FpcMsmEvaluator::evaluateWLANElement() MAC address is 64 bit"), mac.is64Bit());
        }
    }

    void combination_data()
    {
        QTest::addColumn<bool>("withFix");
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("wlans");
        QTest::addColumn<QString>("minWlanCount");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("notEnough");
        auto row = [](const char *name, bool fix, int cells, int wlans, const char *min, bool valid, bool notEnough) {
            QTest::newRow(name) << fix << cells << wlans << QString(min) << valid << notEnough;
        };
        row("fix, one cell", true, 1, 0, "", true, false);
        row("fix, WLAN only", true, 0, 1, "", true, false);
        row("fix, nothing measured", true, 0, 0, "", false, false);
        row("nothing at all", false, 0, 0, "", false, false);
        row("cell and 3 WLAN", false, 1, 3, "", true, false);
        row("cell and 2 WLAN", false, 1, 2, "", false, true);
        row("5 WLAN, no cell", false, 0, 5, "", false, true);
        row("min 1: cell and 1 WLAN", false, 1, 1, "1", true, false);
        row("min 5: cell and 4 WLAN", false, 1, 4, "5", false, true);
        row("min unreadable: 3", false, 1, 2, "three", false, true);
    }

    void combination()
    {
        QFETCH(bool, withFix);
        QFETCH(int, cells);
        QFETCH(int, wlans);
        QFETCH(QString, minWlanCount);
        QFETCH(bool, valid);
        QFETCH(bool, notEnough);
        FpcConfig::addKey(QStringLiteral("min_wlan_count"), minWlanCount);
        VomuMeasurements m;
        if (cells)
            m.append(wcdma(7));
        for (int i = 0; i < wlans; ++i)
            m.append(ap(quint8(i)));
        FpcFingerprint entry;
        entry.setMeasurements(m);
        if (withFix)
            entry.setPosition(north(0));
        LogCapture log;
        QCOMPARE(FpcMsmEvaluator().evaluateEntry(&entry), valid);
        QCOMPARE(log.has(InvalidCombination), !valid);
        QCOMPARE(log.has(QString(Tag + "validateCombination() Not enough measurements: WLAN  %1 Cell %2").arg(wlans).arg(cells)),
                 notEnough);
        QVERIFY(valid || log.startingWith(Tag + "evaluateMeasurements()").isEmpty());
    }

    // Cells precede access points, and the first invalid element decides.
    void firstFailingElementDecides()
    {
        const FpcPosition fix = north(0);
        const QList<QPair<FpcFingerprint, QString>> cases = {
            {fp({cellWith(false, "mcc", 1000), ap(1, NoPower)}, &fix), Invalid.arg("GERAN")},
            {fp({ap(1, NoPower), cellWith(true, "rscp", 133)}, &fix), Invalid.arg("UTRA-FDD")},
            {fp({gsm(1), ap(1), ap(2, NoPower), ap(3, NoPower)}, &fix), Invalid.arg("WLAN")}};
        for (const auto &c : cases) {
            LogCapture log;
            QVERIFY(!FpcMsmEvaluator().evaluateEntry(&c.first));
            QCOMPARE(log.startingWith(Tag + "evaluateMeasurements()"), QStringList{c.second});
            QCOMPARE(log.startingWith(Tag + "evaluateWLANElement()").size(), c.second.endsWith("WLAN measurements") ? 1 : 0);
        }
        QVERIFY(!FpcMsmEvaluator().evaluateEntry(nullptr));
    }
};

QTEST_GUILESS_MAIN(TstFpcMsmEvaluator)
#include "tst_fpcmsmevaluator.moc"
