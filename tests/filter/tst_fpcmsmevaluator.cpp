#include "FilterTestData.h"
#include "FpcConfig.h"
#include "FpcMsmEvaluator.h"

#include <QtTest>

using namespace FilterTestData;

Q_DECLARE_METATYPE(VomuWlanMacAddress)

namespace {

const QString InvalidEntry =
    QStringLiteral("[INFO] FpcMsmEvaluator::evaluateEntry() Invalid mesurements found -> return FALSE");
const QString InvalidCombination =
    QStringLiteral("[INFO] FpcMsmEvaluator::validateCombination() Invalid combination found -> return FALSE");
const QString InvalidGeran =
    QStringLiteral("[INFO] FpcMsmEvaluator::evaluateMeasurements() Invalid GERAN measurements");
const QString InvalidFdd =
    QStringLiteral("[INFO] FpcMsmEvaluator::evaluateMeasurements() Invalid UTRA-FDD measurements");
const QString InvalidWlan = QStringLiteral("[INFO] FpcMsmEvaluator::evaluateMeasurements() Invalid WLAN measurements");
const QString Unset = QStringLiteral("unset");

// A valid cell with one neighbour in which only `field` takes `value`; the
// value -1 leaves a field with a presence flag unset.
qlonglong pick(const QString &field, const char *name, qlonglong normal, qlonglong value)
{
    return field == QLatin1String(name) ? value : normal;
}

VomuElementGSM *gsmWith(const QString &field, qlonglong value)
{
    auto *cell = new VomuElementGSM;
    cell->setCountryCode(quint16(pick(field, "mcc", 244, value)));
    cell->setNetworkId(quint16(pick(field, "mnc", 5, value)));
    if (const qlonglong lac = pick(field, "lac", 1234, value); lac >= 0)
        cell->setLocationAreaCode(quint16(lac));
    if (const qlonglong cid = pick(field, "cid", 4321, value); cid >= 0)
        cell->setCellId(quint16(cid));
    cell->setPowerRx(quint8(pick(field, "rxlev", 40, value)));
    VomuElementGSM::NeighbourCell neighbour(quint8(pick(field, "bsic", 12, value)),
                                            quint16(pick(field, "arfcn", 65, value)));
    neighbour.setPowerRx(quint8(pick(field, "nbRxlev", 30, value)));
    cell->appendNeighbourCell(neighbour);
    return cell;
}

VomuElementWCDMA *wcdmaWith(const QString &field, qlonglong value)
{
    auto *cell = new VomuElementWCDMA;
    cell->setCountryCode(quint16(pick(field, "mcc", 244, value)));
    cell->setNetworkId(quint16(pick(field, "mnc", 42, value)));
    cell->setUcId(quint32(pick(field, "ucid", 100000, value)));
    VomuElementWCDMA::NeighbourCell n;
    n.uarfcnDl = quint16(pick(field, "uarfcn", 10700, value));
    n.pCpich = quint16(pick(field, "pcpich", 100, value));
    n.rssi = quint8(pick(field, "rssi", 40, value));
    n.ucId = quint32(pick(field, "nbUcid", 100001, value));
    n.ecn0 = quint8(pick(field, "ecn0", 20, value));
    n.rscp = quint8(pick(field, "rscp", 50, value));
    n.pathloss = quint8(pick(field, "pathloss", 60, value));
    cell->appendNeighbourCell(n);
    return cell;
}

} // namespace

class TstFpcMsmEvaluator : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { FpcConfig::addKey(QStringLiteral("min_wlan_count"), QString()); }

    void cellFieldBoundaries_data()
    {
        QTest::addColumn<bool>("wcdma");
        QTest::addColumn<QString>("field");
        QTest::addColumn<qlonglong>("value");
        QTest::addColumn<bool>("valid");

        struct Row { const char *name; bool wcdma; const char *field; qlonglong value; bool valid; };
        const Row rows[] = {
            {"GSM baseline", false, "", 0, true},
            {"GSM MCC 999", false, "mcc", 999, true},
            {"GSM MCC 1000", false, "mcc", 1000, false},
            {"GSM MCC not set", false, "mcc", 0xFFFF, false},
            {"GSM MNC 999", false, "mnc", 999, true},
            {"GSM MNC 1000", false, "mnc", 1000, false},
            {"GSM MNC not set", false, "mnc", 0xFFFF, false},
            {"GSM LAC 65535 set", false, "lac", 65535, true},
            {"GSM LAC not set", false, "lac", -1, false},
            {"GSM CID 65535 set", false, "cid", 65535, true},
            {"GSM CID not set", false, "cid", -1, false},
            {"GSM RX level 63", false, "rxlev", 63, true},
            {"GSM RX level 64", false, "rxlev", 64, false},
            {"GSM RX level not set", false, "rxlev", 255, true},
            {"GSM neighbour BSIC 63", false, "bsic", 63, true},
            {"GSM neighbour BSIC 64", false, "bsic", 64, false},
            {"GSM neighbour BSIC 255", false, "bsic", 255, false},
            {"GSM neighbour ARFCN 1023", false, "arfcn", 1023, true},
            {"GSM neighbour ARFCN 1024", false, "arfcn", 1024, false},
            {"GSM neighbour ARFCN not set", false, "arfcn", 0xFFFF, false},
            {"GSM neighbour RX level 63", false, "nbRxlev", 63, true},
            {"GSM neighbour RX level 64", false, "nbRxlev", 64, false},
            {"GSM neighbour RX level not set", false, "nbRxlev", 255, true},

            {"WCDMA baseline", true, "", 0, true},
            {"WCDMA MCC 999", true, "mcc", 999, true},
            {"WCDMA MCC 1000", true, "mcc", 1000, false},
            {"WCDMA MCC not set", true, "mcc", 0xFFFF, false},
            {"WCDMA MNC 999", true, "mnc", 999, true},
            {"WCDMA MNC 1000", true, "mnc", 1000, false},
            {"WCDMA MNC not set", true, "mnc", 0xFFFF, false},
            {"WCDMA UC-ID 0x0FFFFFFF", true, "ucid", 0x0FFFFFFF, true},
            {"WCDMA UC-ID 0x10000000", true, "ucid", 0x10000000, false},
            {"WCDMA UC-ID not set", true, "ucid", 0xFFFFFFFF, false},
            {"WCDMA neighbour UARFCN 16383", true, "uarfcn", 16383, true},
            {"WCDMA neighbour UARFCN 16384", true, "uarfcn", 16384, false},
            {"WCDMA neighbour P-CPICH 511", true, "pcpich", 511, true},
            {"WCDMA neighbour P-CPICH 512", true, "pcpich", 512, false},
            {"WCDMA neighbour RSSI 76", true, "rssi", 76, true},
            {"WCDMA neighbour RSSI 77", true, "rssi", 77, false},
            {"WCDMA neighbour RSSI not set", true, "rssi", 255, true},
            {"WCDMA neighbour UC-ID 0x0FFFFFFF", true, "nbUcid", 0x0FFFFFFF, true},
            {"WCDMA neighbour UC-ID 0x10000000", true, "nbUcid", 0x10000000, false},
            {"WCDMA neighbour UC-ID not set", true, "nbUcid", 0xFFFFFFFF, true},
            {"WCDMA neighbour EcN0 63", true, "ecn0", 63, true},
            {"WCDMA neighbour EcN0 64", true, "ecn0", 64, false},
            {"WCDMA neighbour EcN0 not set", true, "ecn0", 255, true},
            {"WCDMA neighbour RSCP 132", true, "rscp", 132, true},
            {"WCDMA neighbour RSCP 133", true, "rscp", 133, false},
            {"WCDMA neighbour RSCP not set", true, "rscp", 255, true},
            {"WCDMA neighbour pathloss 127", true, "pathloss", 127, true},
            {"WCDMA neighbour pathloss 128", true, "pathloss", 128, false},
            {"WCDMA neighbour pathloss not set", true, "pathloss", 255, true},
        };
        for (const Row &row : rows)
            QTest::newRow(row.name) << row.wcdma << QString::fromLatin1(row.field) << row.value << row.valid;
    }

    // One serving cell with a position: only the element rule can fail.
    void cellFieldBoundaries()
    {
        QFETCH(bool, wcdma);
        QFETCH(QString, field);
        QFETCH(qlonglong, value);
        QFETCH(bool, valid);

        const FpcPosition here = position(60.0, 24.0);
        VomuObservationElement *cell = wcdma ? static_cast<VomuObservationElement *>(wcdmaWith(field, value))
                                             : gsmWith(field, value);
        const FpcFingerprint fp = fingerprintAt(here, {cell});
        QCOMPARE(fp.cellMeasurements().count(), 1);

        LogCapture log;
        FpcMsmEvaluator evaluator;
        QCOMPARE(evaluator.evaluateEntry(&fp), valid);
        QCOMPARE(log.has(wcdma ? InvalidFdd : InvalidGeran), !valid);
        QCOMPARE(log.has(InvalidEntry), !valid);
    }

    void wlanElement_data()
    {
        QTest::addColumn<VomuWlanMacAddress>("mac");
        QTest::addColumn<bool>("powerSet");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("reason");

        uint8_t seven[7] = {1, 2, 3, 4, 5, 6, 7};
        VomuWlanMacAddress sevenBytes(seven, 6);
        sevenBytes.setMacByte(1, 0x99); // bytes 1-7: neither size

        QTest::newRow("48-bit") << mac48(1) << true << true << QString();
        QTest::newRow("64-bit") << mac64(1) << true << true
                                << QStringLiteral("FpcMsmEvaluator::evaluateWLANElement() MAC address is 64 bit");
        QTest::newRow("7 bytes") << sevenBytes << true << false
                                 << QStringLiteral("[ERROR] FpcMsmEvaluator::evaluateWLANElement() MAC is not 48 bit "
                                                   "or 64 bit -> ERROR");
        QTest::newRow("no address") << VomuWlanMacAddress() << true << false
                                    << QStringLiteral("[ERROR] FpcMsmEvaluator::evaluateWLANElement() MAC is not 48 "
                                                      "bit or 64 bit -> ERROR");
        QTest::newRow("power not set, RSSI set")
            << mac48(1) << false << false
            << QStringLiteral("[INFO] FpcMsmEvaluator::evaluateWLANElement() powerRx not set");
        QTest::newRow("64-bit, power not set")
            << mac64(1) << false << false
            << QStringLiteral("[INFO] FpcMsmEvaluator::evaluateWLANElement() powerRx not set");
    }

    void wlanElement()
    {
        QFETCH(VomuWlanMacAddress, mac);
        QFETCH(bool, powerSet);
        QFETCH(bool, valid);
        QFETCH(QString, reason);

        VomuElementWLAN *accessPoint = wlan(mac, powerSet ? -70 : NoPower);
        accessPoint->setRssi(180);
        const FpcPosition here = position(60.0, 24.0);
        const FpcFingerprint fp = fingerprintAt(here, {gsm(1), accessPoint});

        LogCapture log;
        FpcMsmEvaluator evaluator;
        QCOMPARE(evaluator.evaluateEntry(&fp), valid);
        QCOMPARE(log.has(InvalidWlan), !valid);
        if (!reason.isEmpty())
            QVERIFY2(log.has(reason), log.dump());
    }

    void combination_data()
    {
        QTest::addColumn<bool>("withPosition");
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("wlans");
        QTest::addColumn<QString>("minWlanCount");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("notEnoughLine");

        const QString notEnough = QStringLiteral("[INFO] FpcMsmEvaluator::validateCombination() Not enough measurements: WLAN  %1 Cell %2");
        QTest::newRow("position, one cell, no WLAN") << true << 1 << 0 << QString() << true << QString();
        QTest::newRow("position, WLAN only") << true << 0 << 1 << QString() << true << QString();
        QTest::newRow("position, nothing measured") << true << 0 << 0 << QString() << false << QString();
        QTest::newRow("nothing at all") << false << 0 << 0 << QString() << false << QString();
        QTest::newRow("cell and 3 WLAN") << false << 1 << 3 << QString() << true << QString();
        QTest::newRow("cell and 2 WLAN") << false << 1 << 2 << QString() << false << notEnough.arg(2).arg(1);
        QTest::newRow("5 WLAN, no cell") << false << 0 << 5 << QString() << false << notEnough.arg(5).arg(0);
        QTest::newRow("cell only") << false << 1 << 0 << QString() << false << notEnough.arg(0).arg(1);
        QTest::newRow("min 1: cell and 1 WLAN") << false << 1 << 1 << QStringLiteral("1") << true << QString();
        QTest::newRow("min 5: cell and 4 WLAN") << false << 1 << 4 << QStringLiteral("5") << false
                                                << notEnough.arg(4).arg(1);
        QTest::newRow("min 0: cell only") << false << 1 << 0 << QStringLiteral("0") << true << QString();
        QTest::newRow("min unreadable: default 3") << false << 1 << 2 << QStringLiteral("three") << false
                                                   << notEnough.arg(2).arg(1);
    }

    void combination()
    {
        QFETCH(bool, withPosition);
        QFETCH(int, cells);
        QFETCH(int, wlans);
        QFETCH(QString, minWlanCount);
        QFETCH(bool, valid);
        QFETCH(QString, notEnoughLine);

        FpcConfig::addKey(QStringLiteral("min_wlan_count"), minWlanCount);
        VomuMeasurements m;
        if (cells)
            m.append(gsm(7));
        for (int i = 0; i < wlans; ++i)
            m.append(ap(quint8(i)));
        FpcFingerprint fp;
        fp.setMeasurements(m);
        if (withPosition)
            fp.setPosition(position(60.0, 24.0));

        LogCapture log;
        FpcMsmEvaluator evaluator;
        QCOMPARE(evaluator.evaluateEntry(&fp), valid);
        QCOMPARE(log.has(InvalidCombination), !valid);
        QCOMPARE(log.has(InvalidEntry), !valid);
        QCOMPARE(log.startingWith(QStringLiteral("[INFO] FpcMsmEvaluator::validateCombination() Not enough")).size(),
                 notEnoughLine.isEmpty() ? 0 : 1);
        if (!notEnoughLine.isEmpty())
            QVERIFY2(log.has(notEnoughLine), log.dump());
        // A rejected combination is not looked at element by element.
        if (!valid)
            QVERIFY(log.startingWith(QStringLiteral("[INFO] FpcMsmEvaluator::evaluateMeasurements()")).isEmpty());
    }

    void firstFailingElementDecides_data()
    {
        QTest::addColumn<FpcFingerprint>("fp");
        QTest::addColumn<QString>("line");

        const FpcPosition here = position(60.0, 24.0);
        QTest::newRow("bad GSM cell and bad access point")
            << fingerprintAt(here, {gsmWith(QStringLiteral("mcc"), 1000), ap(1, NoPower)}) << InvalidGeran;
        QTest::newRow("bad WCDMA cell and bad access point")
            << fingerprintAt(here, {wcdmaWith(QStringLiteral("rscp"), 133), ap(1, NoPower)}) << InvalidFdd;
        QTest::newRow("good cell, second access point bad")
            << fingerprintAt(here, {gsm(1), ap(1), ap(2, NoPower), ap(3)}) << InvalidWlan;
    }

    void firstFailingElementDecides()
    {
        QFETCH(FpcFingerprint, fp);
        QFETCH(QString, line);

        LogCapture log;
        FpcMsmEvaluator evaluator;
        QVERIFY(!evaluator.evaluateEntry(&fp));
        QCOMPARE(log.startingWith(QStringLiteral("[INFO] FpcMsmEvaluator::evaluateMeasurements()")),
                 QStringList{line});
        // Elements behind the failing one are not checked.
        if (line != InvalidWlan)
            QVERIFY(!log.has(QStringLiteral("[INFO] FpcMsmEvaluator::evaluateWLANElement() powerRx not set")));
    }

    void nullFingerprintIsRejected()
    {
        FpcMsmEvaluator evaluator;
        QVERIFY(!evaluator.evaluateEntry(nullptr));
    }
};

QTEST_GUILESS_MAIN(TstFpcMsmEvaluator)
#include "tst_fpcmsmevaluator.moc"
