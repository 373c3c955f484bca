#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"
#include "VomuPosition.h"

#include <QtTest>

#include <cmath>
#include <memory>

class TstRadioTypes : public QObject
{
    Q_OBJECT

private slots:
    void macAddressShapes_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("is48");
        QTest::addColumn<bool>("is64");
        QTest::newRow("6 bytes") << 6 << true << false;
        QTest::newRow("8 bytes") << 8 << false << true;
        QTest::newRow("7 bytes") << 7 << false << false;
        QTest::newRow("null pointer") << -1 << false << false;
    }

    void macAddressShapes()
    {
        QFETCH(int, length);
        const uint8_t bytes[8] = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};
        const VomuWlanMacAddress mac = length < 0 ? VomuWlanMacAddress(nullptr, 6)
                                                  : VomuWlanMacAddress(bytes, length);
        QTEST(mac.is48Bit(), "is48");
        QTEST(mac.is64Bit(), "is64");
        if (mac.is48Bit()) {
            QVERIFY(!mac.isByteSet(0) && !mac.isByteSet(1));
            QCOMPARE(mac.macByte(2), uint8_t(0x10));
            QCOMPARE(mac.macByte(7), uint8_t(0x65));
        }
        QVERIFY(!mac.isByteSet(-1) && !mac.isByteSet(8));
        QCOMPARE(mac.macByte(8), uint8_t(0));
    }

    void containerCopiesOutliveSource()
    {
        VomuMeasurements copy, assigned;
        {
            VomuMeasurements source;
            auto *cell = new VomuElementWCDMA;
            cell->setUcId(77);
            cell->appendNeighbourCell(VomuElementWCDMA::NeighbourCell());
            source.append(cell);
            source.append(nullptr);
            source.append(new VomuElementWLAN);
            copy = source;
            assigned = VomuMeasurements(source);
            QVERIFY(copy.element(0) != source.element(0));
        }
        for (const VomuMeasurements *m : {&copy, &assigned}) {
            QCOMPARE(m->count(), 2);
            const auto *cell = static_cast<const VomuElementWCDMA *>(m->element(0));
            QCOMPARE(cell->ucId(), 77u);
            QCOMPARE(cell->neighbourCellCount(), 1);
            QCOMPARE(m->element(1)->elementId(), 4);
            QVERIFY(!m->element(2) && !m->element(-1));
        }
        VomuMeasurements moved(std::move(copy));
        QCOMPARE(moved.count(), 2);
        QCOMPARE(copy.count(), 0);
    }

    // The fixed texts of a development host must describe a cell and an
    // access point whose values lie inside the ranges the daemon accepts.
    void developmentHostTexts()
    {
        VomuElementWCDMA cell;
        QVERIFY(cell.internalize(
            "<wCell mcc=\"244\" mnc=\"42\" ucid=\"100000\" timestamp=\"0\"><wNCell ucid=\"100000\" "
            "sCode=\"100\" uarfcn_dl=\"10000\" utraCarrierRssi=\"90\" rscp=\"63\" pathloss=\"66\"/>"
            "</wCell>"));
        QCOMPARE(cell.elementId(), 2);
        QCOMPARE(cell.countryCode(), uint16_t(244));
        QCOMPARE(cell.networkId(), uint16_t(42));
        QCOMPARE(cell.ucId(), 100000u);
        QVERIFY(!cell.locationAreaCodeSet());
        QCOMPARE(cell.neighbourCellCount(), 1);
        const VomuElementWCDMA::NeighbourCell n = cell.neighbourCell(0);
        QCOMPARE(n.ucId, 100000u);
        QCOMPARE(n.pCpich, uint16_t(100));
        QCOMPARE(n.uarfcnDl, uint16_t(10000));
        QCOMPARE(n.rssi, uint8_t(11));     // -90 dBm
        QCOMPARE(n.rscp, uint8_t(58));     // -63 dBm: level 53, stored + 5
        QCOMPARE(n.pathloss, uint8_t(20)); // 66 dB
        QCOMPARE(n.ecn0, uint8_t(255));

        VomuElementWLAN ap;
        QVERIFY(ap.internalize("<wlan mac=\"ee:ee:bb:77:44:99\" powRx=\"23\" timestamp=\"0\"/>"));
        QVERIFY(ap.mac().is48Bit());
        QCOMPARE(ap.mac().macByte(2), uint8_t(0xee));
        QCOMPARE(ap.mac().macByte(7), uint8_t(0x99));
        QVERIFY(ap.powerRxSet());
        QCOMPARE(ap.powerRx(), int8_t(-23));
        QVERIFY(!ap.rssiSet() && !ap.powerTxSet());
    }

    void gsmText()
    {
        VomuElementGSM cell;
        QVERIFY(cell.internalize(
            "<?xml version=\"1.0\"?>\n<gCell mcc=\"244\" mnc=\"5\" lac=\"65535\" cid=\"0\" ta=\"3\" "
            "timestamp=\"1700000000\">\n  <gNCell bsic=\"12\" bcch=\"1023\" powRx=\"48\"/>\n"
            "  <gNCell bsic=\"0\" bcch=\"1\" lac=\"7\" cid=\"8\"/>\n</gCell>"));
        QCOMPARE(cell.elementId(), 1);
        QCOMPARE(cell.timestamp(), 1700000000L);
        QVERIFY(cell.locationAreaCodeSet() && cell.cellIdSet() && cell.timingAdvanceSet());
        QCOMPARE(cell.locationAreaCode(), uint16_t(65535));
        QCOMPARE(cell.powerRx(), uint8_t(255));
        QCOMPARE(cell.neighbourCellCount(), 2);
        QCOMPARE(cell.neighbourCell(0).powerRx(), uint8_t(63));
        QVERIFY(!cell.neighbourCell(0).cellIdSet());
        QCOMPARE(cell.neighbourCell(1).cellId(), uint16_t(8));
        QCOMPARE(cell.neighbourCell(5).color(), uint8_t(255));

        // A second text replaces everything, the neighbour list included.
        QVERIFY(cell.internalize("<gCell mcc=\"1\"/>"));
        QCOMPARE(cell.neighbourCellCount(), 0);
        QVERIFY(!cell.timingAdvanceSet());
        QCOMPARE(cell.networkId(), uint16_t(0xFFFF));
    }

    void malformedTextsLeaveElementUntouched_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("text");
        const int gsm = 1, wcdma = 2, wlan = 4;
        QTest::newRow("empty") << wlan << QByteArray("");
        QTest::newRow("not well-formed") << wlan << QByteArray("<wlan mac=\"00:11:22:33:44:55\"");
        QTest::newRow("wrong root") << gsm << QByteArray("<wCell mcc=\"1\"/>");
        QTest::newRow("foreign child") << wcdma << QByteArray("<wCell><gNCell/></wCell>");
        QTest::newRow("character data") << wlan << QByteArray("<wlan>x</wlan>");
        QTest::newRow("entity") << wlan
            << QByteArray("<!DOCTYPE wlan [<!ENTITY e \"1\">]><wlan rssi=\"&e;\"/>");
        QTest::newRow("letters in number") << gsm << QByteArray("<gCell mcc=\"24a\"/>");
        QTest::newRow("16-bit overflow") << gsm << QByteArray("<gCell lac=\"65536\"/>");
        QTest::newRow("not-set marker") << wcdma << QByteArray("<wCell ucid=\"4294967295\"/>");
        QTest::newRow("huge number") << wcdma << QByteArray("<wCell ucid=\"99999999999999999999\"/>");
        QTest::newRow("bad neighbour") << wcdma << QByteArray("<wCell><wNCell sCode=\"x\"/></wCell>");
        QTest::newRow("bsic marker") << gsm << QByteArray("<gCell><gNCell bsic=\"255\"/></gCell>");
        QTest::newRow("level exponent") << wcdma << QByteArray("<wCell><wNCell rscp=\"1e2\"/></wCell>");
        QTest::newRow("pathloss 45") << wcdma << QByteArray("<wCell><wNCell pathloss=\"45\"/></wCell>");
        QTest::newRow("negative timestamp") << gsm << QByteArray("<gCell timestamp=\"-1\"/>");
        QTest::newRow("mac 5 bytes") << wlan << QByteArray("<wlan mac=\"00:11:22:33:44\"/>");
        QTest::newRow("mac 7 bytes") << wlan << QByteArray("<wlan mac=\"00:11:22:33:44:55:66\"/>");
        QTest::newRow("mac bad digit") << wlan << QByteArray("<wlan mac=\"00:11:22:33:44:5g\"/>");
        QTest::newRow("powRx 129") << wlan << QByteArray("<wlan powRx=\"129\"/>");
        QTest::newRow("powRx fraction") << wlan << QByteArray("<wlan powRx=\"23.5\"/>");
        QTest::newRow("powTx 64-bit overflow") << wlan << QByteArray("<wlan powTx=\"-9999999999999999999\"/>");
    }

    void malformedTextsLeaveElementUntouched()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, text);
        VomuElementGSM gsm;
        VomuElementWCDMA wcdma;
        VomuElementWLAN wlan;
        gsm.setCountryCode(999);
        wcdma.setCountryCode(999);
        wlan.setRssi(99);
        VomuObservationElement &element = kind == 1 ? static_cast<VomuObservationElement &>(gsm)
            : kind == 2 ? static_cast<VomuObservationElement &>(wcdma) : wlan;
        element.setTimestamp(42);

        QVERIFY(!element.internalize(text.toStdString()));
        QCOMPARE(element.timestamp(), 42L);
        QCOMPARE(gsm.countryCode(), uint16_t(999));
        QCOMPARE(wcdma.countryCode(), uint16_t(999));
        QCOMPARE(wlan.rssi(), uint8_t(99));
    }

    void levelConversions()
    {
        QCOMPARE(VomuElementGSM::rxLevelFromDbm(-110), uint8_t(1));
        QCOMPARE(VomuElementGSM::rxLevelFromDbm(NAN), uint8_t(255));
        QCOMPARE(VomuElementWCDMA::rssiLevelFromDbm(-100), uint8_t(1));
        QCOMPARE(VomuElementWCDMA::rssiLevelFromDbm(-25), uint8_t(76));
        QCOMPARE(VomuElementWCDMA::rscpLevelFromDbm(-121), uint8_t(0));
        QCOMPARE(VomuElementWCDMA::rscpLevelFromDbm(-25), uint8_t(96));
        QCOMPARE(VomuElementWCDMA::ecn0LevelFromDb(-12.5), uint8_t(24));
        QCOMPARE(VomuElementWCDMA::pathlossLevelFromDb(46), uint8_t(0));
        QCOMPARE(VomuElementWCDMA::pathlossLevelFromDb(158.9), uint8_t(112));
        QCOMPARE(VomuElementWCDMA::pathlossLevelFromDb(45.9), uint8_t(255));
    }

    void positionDefaultsAndRoundTrip()
    {
        VomuPosition empty;
        QVERIFY(std::isnan(empty.latitude()) && std::isnan(empty.longitude()));
        QVERIFY(std::isnan(empty.altitude()) && std::isnan(empty.horizontalAccuracy()));
        QVERIFY(std::isnan(empty.altitudeAccuracy()));
        QCOMPARE(empty.timestamp(), 0L);

        VomuPosition position;
        position.setCoordinate(-33.8688197, 151.2092955, -12.25f);
        position.setHorizontalAccuracy(4.5f);
        position.setTimestamp(1700000000);
        position.setTimestampMicroseconds(999999);
        std::string text;
        position.externalize(text);
        VomuPosition back;
        QVERIFY(back.internalize(text));
        QCOMPARE(back.latitude(), -33.8688197);
        QCOMPARE(back.longitude(), 151.2092955);
        QCOMPARE(back.altitude(), -12.25f);
        QCOMPARE(back.horizontalAccuracy(), 4.5f);
        QVERIFY(std::isnan(back.altitudeAccuracy()));
        QCOMPARE(back.timestamp(), 1700000000L);
        QCOMPARE(back.timestampMicroseconds(), 999999u);

        empty.externalize(text); // undefined values stay undefined
        QVERIFY(back.internalize(text));
        QVERIFY(std::isnan(back.latitude()) && std::isnan(back.horizontalAccuracy()));
        QCOMPARE(back.timestamp(), 0L);
    }

    void malformedPositionTexts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("latitude 90.5") << QByteArray("<position lat=\"90.5\"/>");
        QTest::newRow("longitude -181") << QByteArray("<position lon=\"-181\"/>");
        QTest::newRow("nan") << QByteArray("<position alt=\"nan\"/>");
        QTest::newRow("negative accuracy") << QByteArray("<position hAcc=\"-1\"/>");
        QTest::newRow("usec 1000000") << QByteArray("<position usec=\"1000000\"/>");
        QTest::newRow("unknown datum") << QByteArray("<position datum=\"7\"/>");
    }

    void malformedPositionTexts()
    {
        QFETCH(QByteArray, text);
        VomuPosition position;
        position.setCoordinate(1, 2, 3);
        QVERIFY(!position.internalize(text.toStdString()));
        QCOMPARE(position.latitude(), 1.0);
        QCOMPARE(position.altitude(), 3.0f);
    }
};

QTEST_GUILESS_MAIN(TstRadioTypes)
#include "tst_radiotypes.moc"
