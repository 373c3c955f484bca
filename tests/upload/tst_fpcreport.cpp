#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "FpcLog.h"
#include "FpcReport.h"
#include "TempRoot.h"
#include "TestSupport.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QStringList captured;
void capture(QtMsgType, const QMessageLogContext &, const QString &message) { captured << message; }

const QByteArray kHeader = QByteArray::fromHex("000003056c696e75780007766f6d756670631500087465726d696e616c");

template <typename Element, typename Writer> QByteArray encoded(const Element &e, Writer writer)
{
    QByteArray out;
    writer(e, out);
    return out;
}

QString thrownBy(const std::function<void()> &call)
{
    try { call(); } catch (const QString &text) { return text; }
    return QString();
}

FpcPosition position(double lat, double lon, float hAcc = NAN)
{
    FpcPosition p;
    p.setCoordinate(lat, lon);
    p.setHorizontalAccuracy(hAcc);
    return p;
}

VomuElementWLAN *accessPoint(quint16 tag, int powerRx = 0, int rssi = -1)
{
    const uint8_t bytes[6] = {0x02, 0, 0, 0, uint8_t(tag >> 8), uint8_t(tag)};
    auto *ap = new VomuElementWLAN;
    ap->setMac(VomuWlanMacAddress(bytes, 6));
    if (powerRx)
        ap->setPowerRx(int8_t(powerRx));
    if (rssi >= 0)
        ap->setRssi(uint8_t(rssi));
    return ap;
}

VomuElementGSM *gsmCell(int neighbours)
{
    auto *cell = new VomuElementGSM;
    cell->setPowerRx(30);
    cell->setTimingAdvance(4);
    for (int i = 0; i < neighbours; ++i)
        cell->appendNeighbourCell(VomuElementGSM::NeighbourCell(1, 2));
    return cell;
}

// Runs the independent decoder over a report; fails the test on a rejection.
QJsonObject decoded(const QByteArray &report)
{
    QProcess decoder;
    decoder.start(QStringLiteral(FPCD_PYTHON3), {QStringLiteral(FPCD_FPRDECODE), QStringLiteral("-")});
    decoder.write(report);
    decoder.closeWriteChannel();
    const bool finished = decoder.waitForFinished(60000);
    const QByteArray output = decoder.readAllStandardOutput();
    if (!finished || decoder.exitCode() != 0)
        qWarning() << "decoder rejected the report:" << decoder.readAllStandardError();
    return decoder.exitCode() == 0 ? QJsonDocument::fromJson(output).object() : QJsonObject();
}

QJsonObject decodedFingerprint(FpcFingerprint &fp)
{
    QByteArray out;
    FpcReport::externalize({&fp}, out);
    return decoded(out)[QLatin1String("fingerprints")][0].toObject();
}

// Random fingerprints whose values stay inside the measurement library's ranges.
class RandomFingerprints
{
public:
    explicit RandomFingerprints(quint32 seed) : rng(seed) {}

    FpcFingerprint *next()
    {
        auto *fp = new FpcFingerprint;
        fp->setTime(QDateTime::fromSecsSinceEpoch(rng.bounded(Q_INT64_C(0x100000000)), Qt::UTC));
        if (chance()) {
            FpcPosition p;
            p.setCoordinate(rng.bounded(180.0) - 90, rng.bounded(360.0) - 180,
                            chance() ? float(rng.bounded(40000.0) - 500) : NAN);
            p.setHorizontalAccuracy(chance() ? float(rng.bounded(900.0)) : NAN);
            if (chance())
                p.setUncertaintyEllipse(quint8(rng.bounded(200)), rng.bounded(900.0), rng.bounded(900.0));
            p.setAltitudeAccuracy(chance() ? float(rng.bounded(100.0)) : NAN);
            p.setTimestamp(chance() ? rng.bounded(2000000000) : 0);
            p.setTimestampMicroseconds(rng.bounded(1000000));
            fp->setPosition(p);
        }
        VomuMeasurements m;
        for (int n = rng.bounded(3); n > 0; --n)
            m.append(chance() ? static_cast<VomuObservationElement *>(gsm()) : wcdma());
        for (int n = rng.bounded(12); n > 0; --n)
            m.append(wlan());
        fp->setMeasurements(m);
        return fp;
    }

private:
    bool chance() { return rng.bounded(2) == 1; }
    quint16 u16() { return quint16(rng.bounded(65536)); }
    quint8 level(int top) { return chance() ? quint8(rng.bounded(top + 1)) : 255; }

    VomuElementGSM *gsm()
    {
        auto *cell = new VomuElementGSM;
        cell->setCountryCode(u16());
        cell->setNetworkId(u16());
        if (chance()) cell->setLocationAreaCode(u16());
        if (chance()) cell->setCellId(u16());
        if (chance()) cell->setTimingAdvance(quint8(rng.bounded(256)));
        cell->setPowerRx(level(63));
        for (int n = rng.bounded(5); n > 0; --n) {
            VomuElementGSM::NeighbourCell neighbour(quint8(rng.bounded(255)), u16());
            if (chance()) neighbour.setLocationAreaCode(u16());
            if (chance()) neighbour.setCellId(u16());
            neighbour.setPowerRx(level(63));
            cell->appendNeighbourCell(neighbour);
        }
        return cell;
    }

    VomuElementWCDMA *wcdma()
    {
        auto *cell = new VomuElementWCDMA;
        cell->setCountryCode(u16());
        cell->setNetworkId(u16());
        cell->setUcId(rng.generate());
        if (chance()) cell->setLocationAreaCode(u16());
        for (int n = rng.bounded(5); n > 0; --n)
            cell->appendNeighbourCell({chance() ? rng.bounded(0xFFFFFFFFu) : 0xFFFFFFFFu, u16(), u16(),
                                       level(76), level(49), level(96), level(112)});
        return cell;
    }

    VomuElementWLAN *wlan()
    {
        uint8_t bytes[8];
        for (uint8_t &b : bytes) b = quint8(rng.bounded(256));
        bytes[0] |= 1; // a 64-bit address must not look like a 48-bit one
        auto *ap = new VomuElementWLAN;
        ap->setMac(VomuWlanMacAddress(bytes, chance() ? 8 : 6));
        if (chance()) ap->setPowerRx(int8_t(-rng.bounded(129)));
        if (chance()) ap->setPowerTx(int8_t(rng.bounded(-128, 128)));
        if (chance()) ap->setRssi(quint8(rng.bounded(256)));
        return ap;
    }

    QRandomGenerator rng;
};

// Compares one decoded field with the value the element holds, or its absence.
void expect(const QJsonObject &o, const char *key, bool present, double value)
{
    QVERIFY2(o.contains(QLatin1String(key)) == present, key);
    if (present)
        QVERIFY2(o[QLatin1String(key)].toDouble() == value,
                 qPrintable(QStringLiteral("%1: %2 != %3").arg(key).arg(o[QLatin1String(key)].toDouble()).arg(value)));
}

void checkGnss(const QJsonObject &o, const FpcPosition &p)
{
    const quint8 mask = p.uncertainty();
    expect(o, "latitudeNormalized", true, p.latitudeNormalized());
    expect(o, "longitudeNormalized", true, p.longitudeNormalized());
    expect(o, "uncertaintyMask", true, mask);
    expect(o, "gpsTimeMSecs", mask & 1, double(p.gpsTimeMSecs() & Q_UINT64_C(0xFFFFFFFFFFFF)));
    expect(o, "cep68K", mask & 2, p.cep68K());
    expect(o, "majorAxisK", !(mask & 2), p.majorAxisK());
    expect(o, "minorAxisK", !(mask & 2), p.minorAxisK());
    expect(o, "offsetAngle", !(mask & 2), p.offsetAngle());
    expect(o, "altitude", mask & 4, p.altitudeInt16());
    expect(o, "altitudeAccuracyK", mask & 4, p.altitudeAccuracyK());
}

void checkGsm(const QJsonObject &o, const VomuElementGSM &c)
{
    expect(o, "mcc", true, c.countryCode());
    expect(o, "mnc", true, c.networkId());
    expect(o, "lac", true, c.locationAreaCode());
    expect(o, "cellId", true, c.cellId());
    expect(o, "rxLevel", c.powerRx() != 255, c.powerRx());
    expect(o, "timingAdvance", c.timingAdvanceSet(), c.timingAdvance());
    const QJsonArray neighbours = o[QLatin1String("neighbours")].toArray();
    QCOMPARE(neighbours.size(), c.neighbourCellCount());
    for (int i = 0; i < c.neighbourCellCount(); ++i) {
        const QJsonObject n = neighbours[i].toObject();
        const VomuElementGSM::NeighbourCell s = c.neighbourCell(i);
        expect(n, "bsic", true, s.color());
        expect(n, "bcch", true, s.frequency());
        expect(n, "lac", s.locationAreaCodeSet() && s.cellIdSet(), s.locationAreaCode());
        expect(n, "cellId", s.locationAreaCodeSet() && s.cellIdSet(), s.cellId());
        expect(n, "rxLevel", s.powerRx() != 255, s.powerRx());
    }
}

void checkWcdma(const QJsonObject &o, const VomuElementWCDMA &c)
{
    expect(o, "mcc", true, c.countryCode());
    expect(o, "mnc", true, c.networkId());
    expect(o, "ucId", true, c.ucId());
    expect(o, "lac", c.locationAreaCodeSet(), c.locationAreaCode());
    const QJsonArray neighbours = o[QLatin1String("neighbours")].toArray();
    QCOMPARE(neighbours.size(), c.neighbourCellCount());
    for (int i = 0; i < c.neighbourCellCount(); ++i) {
        const QJsonObject n = neighbours[i].toObject();
        const VomuElementWCDMA::NeighbourCell s = c.neighbourCell(i);
        expect(n, "uarfcnDl", true, s.uarfcnDl);
        expect(n, "pCpich", true, s.pCpich);
        expect(n, "ucId", s.ucId != 0xFFFFFFFF, s.ucId);
        expect(n, "rssi", s.rssi != 255, s.rssi);
        expect(n, "ecn0", s.ecn0 != 255, s.ecn0);
        expect(n, "rscp", s.rscp != 255, s.rscp);
        expect(n, "pathloss", s.pathloss != 255, s.pathloss);
    }
}

void checkWlan(const QJsonObject &o, const VomuElementWLAN &ap)
{
    QStringList bytes;
    for (int i = ap.mac().is48Bit() ? 2 : 0; i < 8; ++i)
        bytes << QStringLiteral("%1").arg(ap.mac().macByte(i), 2, 16, QLatin1Char('0'));
    QCOMPARE(o[QLatin1String("mac")].toString(), bytes.join(QLatin1Char(':')));
    expect(o, "powerRx", ap.powerRxSet(), ap.powerRx());
    expect(o, "powerTx", ap.powerTxSet(), ap.powerTx());
    expect(o, "rssi", ap.rssiSet(), ap.rssi());
}

void checkRecord(const QJsonObject &record, const FpcFingerprint &fp)
{
    expect(record, "time", true, double(fp.time().toSecsSinceEpoch()));
    expect(record, "trustLevel", true, 20);
    const QJsonArray elements = record[QLatin1String("elements")].toArray();
    const VomuMeasurements m = fp.measurements();
    QCOMPARE(elements.size(), m.count() + (fp.hasPosition() ? 1 : 0));
    expect(record, "elementCount", true, elements.size());
    int k = 0;
    if (fp.hasPosition())
        checkGnss(elements[k++].toObject(), fp.position());
    for (int i = 0; i < m.count(); ++i) {
        const QJsonObject o = elements[k++].toObject();
        if (const auto *g = dynamic_cast<const VomuElementGSM *>(m.element(i)))
            checkGsm(o, *g);
        else if (const auto *w = dynamic_cast<const VomuElementWCDMA *>(m.element(i)))
            checkWcdma(o, *w);
        else
            checkWlan(o, *static_cast<const VomuElementWLAN *>(m.element(i)));
    }
}

// Tags of the access points (last two address bytes) of a decoded record.
QList<int> accessPointTags(const QJsonObject &record)
{
    QList<int> tags;
    for (const QJsonValue e : record[QLatin1String("elements")].toArray()) {
        if (e[QLatin1String("kind")].toString() == QLatin1String("WLAN"))
            tags << e[QLatin1String("mac")].toString().right(5).remove(QLatin1Char(':')).toInt(nullptr, 16);
    }
    return tags;
}

} // namespace

class TstFpcReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(capture); }

    void init()
    {
        captured.clear();
        FpcLog::setThreshold(FpcLog::Debug);
        for (const char *key : {"fpr/user_id", "fpr/hw_id", "fpr/user_name"})
            FpcConfig::addKey(QString::fromLatin1(key), QString());
        FpcConfig::addKey(QStringLiteral("trust_level"), QStringLiteral("20"));
        FpcConfig::addKey(QStringLiteral("fpr/dump_reports"), QStringLiteral("0"));
    }

    void emptyReportIsHeaderWithCountZero()
    {
        QByteArray out;
        QCOMPARE(FpcReport::externalize({}, out), 0);
        QCOMPARE(out, kHeader + QByteArray::fromHex("000000" "0000" "b908"));
        QCOMPARE(decoded(out)[QLatin1String("count")].toInt(), 0);
        QVERIFY(captured.contains(QStringLiteral("FpcReport::externalize() CHECKSUM:  2233")));
        QVERIFY(captured.contains(QStringLiteral("[INFO] FpcReport::externalize() TOTAL SIZE:  36")));
        QVERIFY(captured.filter(QStringLiteral("\n====== FPR data BEGIN\n000000: 00 00 03 05")).size() == 1);
    }

    void checksumSumsEveryOtherByte()
    {
        FpcConfig::addKey(QStringLiteral("fpr/user_id"), QStringLiteral("a"));
        FpcFingerprint fp;
        fp.setTime(QDateTime::fromSecsSinceEpoch(0x01020304, Qt::UTC));
        QByteArray first, second;
        FpcReport::externalize({&fp}, first);
        FpcConfig::addKey(QStringLiteral("fpr/user_id"), QStringLiteral("b"));
        FpcConfig::addKey(QStringLiteral("trust_level"), QStringLiteral("277")); // 21 in 8 bits
        FpcReport::externalize({&fp}, second);
        QCOMPARE(first.mid(37), QByteArray::fromHex("04030201" "14" "00"));
        QCOMPARE(second.mid(37, 5), QByteArray::fromHex("04030201" "15"));
        quint32 sum = 1;
        for (int i = 0; i < first.size(); ++i)
            sum += (i == 35 || i == 36) ? 0 : quint8(first[i]);
        QCOMPARE(quint8(first[35]) | quint8(first[36]) << 8, int(sum & 0xFFFF));
        QCOMPARE(quint8(second[35]) - quint8(first[35]), 2); // one more in header and body each
    }

    void identityStringsAreCutAtCharacterBoundary_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("kept");
        const QString a = QString(255, QLatin1Char('a'));
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("255 bytes") << a << 255;
        QTest::newRow("256 bytes") << a + QLatin1Char('b') << 255;
        QTest::newRow("2-byte char over") << a.left(254) + QChar(0xE9) << 254;
        QTest::newRow("3-byte char over") << a.left(253) + QChar(0x20AC) << 253;
        QTest::newRow("3-byte char fits") << a.left(252) + QChar(0x20AC) << 255;
        QTest::newRow("4-byte char over") << a.left(254) + QString::fromUtf8("\xF0\x9F\x98\x80") << 254;
    }
    void identityStringsAreCutAtCharacterBoundary()
    {
        QFETCH(QString, value);
        QFETCH(int, kept);
        FpcConfig::addKey(QStringLiteral("fpr/hw_id"), value);
        QByteArray out;
        FpcReport::externalize({}, out);
        QCOMPARE(out.size(), 36 + kept);
        QCOMPARE(out.mid(30, kept + 1), char(kept) + value.toUtf8().left(kept));
        QCOMPARE(decoded(out)[QLatin1String("identities")][QLatin1String("hwId")].toString(),
                 QString::fromUtf8(value.toUtf8().left(kept)));
    }

    void elementEncodings_data()
    {
        QTest::addColumn<QByteArray>("actual");
        QTest::addColumn<QByteArray>("expected");
        auto gnss = [](const FpcPosition &p) { return encoded(p, FpcReport::externalizeGNSSObsElement); };
        auto gsm = [](const VomuElementGSM &e) { return encoded(e, FpcReport::externalizeGERANObsElement); };
        auto wcdma = [](const VomuElementWCDMA &e) { return encoded(e, FpcReport::externalizeUTRAFDDObsElement); };
        auto wlan = [](const VomuElementWLAN &e) { return encoded(e, FpcReport::externalizeWLANObsElement); };
        const QByteArray at45m90 = QByteArray::fromHex("00000040000000c0");

        QTest::newRow("GNSS CEP68") << gnss(position(45, -90, 10)) << QByteArray::fromHex("030a00") + at45m90 + "\x02\x37";
        FpcPosition p = position(45, -90);
        p.setUncertaintyEllipse(45, 20, 10);
        QTest::newRow("GNSS ellipse") << gnss(p) << QByteArray::fromHex("030c00") + at45m90 + QByteArray::fromHex("0051372d");
        QTest::newRow("GNSS no uncertainty") << gnss(position(45, -90)) << QByteArray::fromHex("030c00") + at45m90 + QByteArray(4, 0);
        p = position(90, 180, 10);
        p.setTimestamp(1700000000);
        p.setTimestampMicroseconds(250000);
        p.setAltitude(-12.6f);
        p.setAltitudeAccuracy(15);
        QTest::newRow("GNSS time, CEP68, altitude")
            << gnss(p) << QByteArray::fromHex("031300 ffffff7f ffffff7f 07 fac8e93e163a 37 f3ff 46");

        VomuElementGSM g;
        g.setCountryCode(244);
        g.setNetworkId(5);
        QTest::newRow("GERAN bare") << gsm(g) << QByteArray::fromHex("010900 f400 0500 0000 0000 00");
        g.setLocationAreaCode(1234);
        g.setCellId(4321);
        g.setPowerRx(30);
        g.setTimingAdvance(4);
        VomuElementGSM::NeighbourCell full(12, 65), partial(7, 1000);
        full.setLocationAreaCode(1);
        full.setCellId(2);
        full.setPowerRx(40);
        partial.setCellId(9); // without its LAC the identity is not written
        g.appendNeighbourCell(full);
        g.appendNeighbourCell(partial);
        QTest::newRow("GERAN all, neighbours") << gsm(g)
            << QByteArray::fromHex("011800 f400 0500 d204 e110 03 1e 04 0c4100 03 01000200 28 07e803 00");

        VomuElementWCDMA w;
        w.setCountryCode(244);
        w.setNetworkId(42);
        w.setUcId(100000);
        QTest::newRow("UTRA-FDD bare") << wcdma(w) << QByteArray::fromHex("020900 f400 2a00 a0860100 00");
        w.setLocationAreaCode(12);
        w.appendNeighbourCell({7, 100, 10612, 50, 9, 2, 54});
        w.appendNeighbourCell({});
        w.appendNeighbourCell({0xFFFFFFFF, 1, 2, 255, 255, 200, 230}); // levels no byte can hold
        QTest::newRow("UTRA-FDD lac, neighbours") << wcdma(w) << QByteArray::fromHex(
            "022200 f400 2a00 a0860100 01 0c00 7429 6400 3e 32 07000000 09 fd 64 ffffffff00 0200010000");

        std::unique_ptr<VomuElementWLAN> ap(accessPoint(0x0506, 0, 200));
        QTest::newRow("WLAN 48-bit, RSSI only") << wlan(*ap) << QByteArray::fromHex("050a00 0000020000000506 04 c8");
        const uint8_t eui64[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        ap->setMac(VomuWlanMacAddress(eui64, 8));
        ap->setPowerRx(-40);
        ap->setPowerTx(20);
        QTest::newRow("WLAN 64-bit, all") << wlan(*ap) << QByteArray::fromHex("050c00 0102030405060708 07 d8 14 c8");
        VomuElementWLAN partialMac;
        VomuWlanMacAddress mac;
        mac.setMacByte(3, 0xaa);
        partialMac.setMac(mac);
        QTest::newRow("WLAN incomplete MAC") << wlan(partialMac) << QByteArray::fromHex("050900 000000aa00000000 00");
    }
    void elementEncodings()
    {
        QFETCH(QByteArray, actual);
        QFETCH(QByteArray, expected);
        QCOMPARE(actual.toHex(' '), expected.toHex(' '));
    }

    void writersRefuseFilledOutput()
    {
        QByteArray out("x");
        const QString notEmpty = QStringLiteral("Exception::byte array is not empty");
        QCOMPARE(thrownBy([&] { FpcReport::externalizeGNSSObsElement(FpcPosition(), out); }), notEmpty);
        QCOMPARE(thrownBy([&] { FpcReport::externalizeFingerprint(FpcFingerprint(), out); }), notEmpty);
        QCOMPARE(thrownBy([&] { FpcReport::externalizeWLANObsElement(VomuElementWLAN(), out); }),
                 QStringLiteral("externalizeWLANObsElement::") + notEmpty);
        QCOMPARE(thrownBy([&] { FpcReport::externalize({}, out); }), QStringLiteral("FpcReport::externalize() FAILED"));
        QVERIFY(out.isEmpty());
        QVERIFY(captured.contains(QStringLiteral("FpcReport::externalize() EXCEPTION:  \"") + notEmpty + '"'));
    }

    void recordCountsEncodedElementsOnly()
    {
        VomuMeasurements m;
        m.append(gsmCell(0));
        m.append(accessPoint(1, -50));
        FpcFingerprint withoutPosition, positionOnly;
        withoutPosition.setMeasurements(m);
        positionOnly.setPosition(position(1, 2, 5));
        QByteArray out;
        QCOMPARE(FpcReport::externalizeVomuMeasurements(m, out), 2);
        QCOMPARE(decodedFingerprint(withoutPosition)[QLatin1String("elementCount")].toInt(), 2);
        const QJsonObject record = decodedFingerprint(positionOnly);
        QCOMPARE(record[QLatin1String("elementCount")].toInt(), 1);
        QCOMPARE(record[QLatin1String("elements")][0][QLatin1String("kind")].toString(), QStringLiteral("GNSS"));
        positionOnly.setTime(QDateTime::fromSecsSinceEpoch(-5, Qt::UTC)); // no negative field value
        QCOMPARE(decodedFingerprint(positionOnly)[QLatin1String("time")].toInt(), 0);
    }
    void randomFingerprintsDecodeToTheirSource()
    {
        RandomFingerprints random(20240501);
        QList<FpcFingerprint *> list;
        for (int i = 0; i < 80; ++i)
            list << random.next();
        QByteArray out;
        QCOMPARE(FpcReport::externalize(list, out), list.size());
        const QJsonArray records = decoded(out)[QLatin1String("fingerprints")].toArray();
        QCOMPARE(records.size(), list.size());
        for (int i = 0; i < list.size() && !QTest::currentTestFailed(); ++i)
            checkRecord(records[i].toObject(), *list[i]);
        qDeleteAll(list);
    }

    void elementLimitKeepsStrongestAccessPoints_data()
    {
        QTest::addColumn<bool>("withPosition");
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("accessPoints");
        QTest::addColumn<QList<int>>("dropped");
        QTest::newRow("255 with position") << true << 1 << 253 << QList<int>();
        QTest::newRow("256 with position") << true << 1 << 254 << QList<int>{10};
        QTest::newRow("258 with position") << true << 1 << 256 << QList<int>{10, 50, 100};
        QTest::newRow("255 access points") << false << 0 << 255 << QList<int>();
        QTest::newRow("256 access points") << false << 0 << 256 << QList<int>{10};
        QTest::newRow("cells fill it") << true << 300 << 2 << QList<int>{0, 1};
    }
    void elementLimitKeepsStrongestAccessPoints()
    {
        QFETCH(bool, withPosition);
        QFETCH(int, cells);
        QFETCH(int, accessPoints);
        QFETCH(QList<int>, dropped);
        VomuMeasurements m;
        QList<int> kept;
        for (int i = 0; i < cells; ++i)
            m.append(gsmCell(0));
        for (int i = 0; i < accessPoints; ++i) {
            // Weakest: nothing measured (10), RSSI only (50), -95 dBm (100).
            m.append(accessPoint(i, i == 10 || i == 50 ? 0 : i == 100 ? -95 : -30 - i % 40, i == 50 ? 250 : -1));
            if (!dropped.contains(i))
                kept << i;
        }
        FpcFingerprint fp;
        if (withPosition)
            fp.setPosition(position(1, 1, 5));
        fp.setMeasurements(m);
        const QJsonObject record = decodedFingerprint(fp);
        const int total = qMin(255, int(withPosition) + cells + accessPoints);
        QCOMPARE(record[QLatin1String("elementCount")].toInt(), total);
        QCOMPARE(accessPointTags(record), kept);
    }

    void contentLimitKeepsNeighboursThatFit_data()
    {
        QTest::addColumn<int>("neighbours");
        QTest::addColumn<bool>("wcdma");
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("length");
        QTest::newRow("GERAN at bound") << 16381 << false << 16381 << 65535;
        QTest::newRow("GERAN past bound") << 16382 << false << 16381 << 65535;
        QTest::newRow("UTRA-FDD past bound") << 5041 << true << 5040 << 11 + 5040 * 13;
    }
    void contentLimitKeepsNeighboursThatFit()
    {
        QFETCH(int, neighbours);
        QFETCH(bool, wcdma);
        QFETCH(int, kept);
        QFETCH(int, length);
        FpcLog::setThreshold(FpcLog::Info);
        VomuMeasurements m;
        if (wcdma) {
            auto *cell = new VomuElementWCDMA;
            cell->setLocationAreaCode(1);
            for (int i = 0; i < neighbours; ++i)
                cell->appendNeighbourCell({1, 2, 3, 4, 5, 6, 7});
            m.append(cell);
        } else {
            m.append(gsmCell(neighbours));
        }
        FpcFingerprint fp;
        fp.setMeasurements(m);
        const QJsonObject cell = decodedFingerprint(fp)[QLatin1String("elements")][0].toObject();
        QCOMPARE(cell[QLatin1String("length")].toInt(), length);
        QCOMPARE(cell[QLatin1String("neighbours")].toArray().size(), kept);
    }

    void reportTakesAtMost65535Fingerprints()
    {
        FpcLog::setThreshold(FpcLog::Info);
        FpcFingerprint fp;
        QList<FpcFingerprint *> list(65535, &fp);
        QByteArray out;
        QCOMPARE(FpcReport::externalize(list, out), 65535);
        QCOMPARE(out.mid(32, 2), QByteArray::fromHex("ffff"));
        list << &fp << nullptr;
        out.clear();
        QCOMPARE(FpcReport::externalize(list, out), 65535);
        QCOMPARE(decoded(out)[QLatin1String("count")].toInt(), 65535);
        out.clear();
        QCOMPARE(FpcReport::externalize({nullptr, &fp}, out), 2); // a gap is taken, adds no record
        QCOMPARE(decoded(out)[QLatin1String("count")].toInt(), 1);
    }

    void dumpTakesNextFreeNumber()
    {
        TempRoot root;
        QVERIFY(!FpcReport::dumpBinary("lost"));
        QCOMPARE(captured.filter(QStringLiteral("FpcReport() FAILED TO WRITE FPR DUMP - ")).size(), 1);
        QVERIFY(root.makeDirectory(QStringLiteral("/home/user")));
        QVERIFY(FpcReport::dumpBinary("first"));
        QCOMPARE(TestSupport::readFile(root.path(QStringLiteral("/home/user/fpr_1"))), QByteArray("first"));
        QVERIFY(root.writeFile(QStringLiteral("/home/user/fpr_10"), "old"));
        QVERIFY(root.writeFile(QStringLiteral("/home/user/fpr_x99"), ""));
        FpcConfig::addKey(QStringLiteral("fpr/dump_reports"), QStringLiteral("1"));
        QByteArray out;
        FpcReport::externalize({}, out);
        QCOMPARE(TestSupport::readFile(root.path(QStringLiteral("/home/user/fpr_11"))), out);
        QCOMPARE(TestSupport::readFile(root.path(QStringLiteral("/home/user/fpr_10"))), QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(TstFpcReport)
#include "tst_fpcreport.moc"
