// The measurement library's types and their XML texts, and the simulated
// radio environment behind RadioMeasurements.

#include "RadioMeasurements.h"
#include "RadioSurvey.h"
#include "RadioWorld.h"
#include "TempRoot.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuPosition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>

namespace {

const RadioGeoPoint PlaceA{61.4850, 21.7970};

QStringList macsOf(const VomuMeasurements &scan)
{
    QStringList macs;
    for (int i = 0; i < scan.count(); ++i) {
        const VomuWlanMacAddress &mac = static_cast<const VomuElementWLAN *>(scan.element(i))->mac();
        QByteArray bytes;
        for (int b = mac.is48Bit() ? 2 : 0; b < 8; ++b)
            bytes += char(mac.macByte(b));
        macs << QString::fromLatin1(bytes.toHex());
    }
    macs.sort();
    return macs;
}

void storeScan(void *context, VomuMeasurements result)
{
    static_cast<QList<VomuMeasurements> *>(context)->append(result);
}

} // namespace

class TstRadio : public QObject
{
    Q_OBJECT
    TempRoot m_root;

private slots:
    // The fixed texts of a development host describe a cell and an access
    // point whose levels lie inside the ranges the daemon accepts.
    void validTexts()
    {
        VomuElementWCDMA cell;
        QVERIFY(cell.internalize(
            "<wCell mcc=\"244\" mnc=\"42\" ucid=\"100000\" timestamp=\"0\"><wNCell ucid=\"100000\" "
            "sCode=\"100\" uarfcn_dl=\"10000\" utraCarrierRssi=\"90\" rscp=\"63\" pathloss=\"66\"/></wCell>"));
        QVERIFY(cell.ucId() == 100000u && !cell.locationAreaCodeSet());
        const VomuElementWCDMA::NeighbourCell n = cell.neighbourCell(0);
        QCOMPARE(n.pCpich, uint16_t(100));
        QCOMPARE(n.rssi, uint8_t(11));     // -90 dBm
        QCOMPARE(n.rscp, uint8_t(58));     // -63 dBm: level 53, stored + 5
        QCOMPARE(n.pathloss, uint8_t(20)); // 66 dB
        QCOMPARE(n.ecn0, uint8_t(255));

        VomuElementWLAN ap;
        QVERIFY(ap.internalize("<wlan mac=\"ee:ee:bb:77:44:99\" powRx=\"23\" timestamp=\"0\"/>"));
        QVERIFY(ap.mac().is48Bit() && ap.mac().macByte(7) == 0x99);
        QVERIFY(ap.powerRx() == -23 && !ap.rssiSet() && !ap.powerTxSet());

        VomuElementGSM gsmCell;
        QVERIFY(gsmCell.internalize(
            "<?xml version=\"1.0\"?>\n<gCell mcc=\"244\" mnc=\"5\" lac=\"65535\" cid=\"0\" ta=\"3\" "
            "timestamp=\"1700000000\">\n  <gNCell bsic=\"12\" bcch=\"1023\" powRx=\"48\"/>\n"
            "  <gNCell bsic=\"0\" bcch=\"1\" lac=\"7\" cid=\"8\"/>\n</gCell>"));
        QCOMPARE(gsmCell.timestamp(), 1700000000L);
        QVERIFY(gsmCell.cellIdSet() && gsmCell.timingAdvanceSet());
        QCOMPARE(gsmCell.powerRx(), uint8_t(255));
        QCOMPARE(gsmCell.neighbourCellCount(), 2);
        QVERIFY(gsmCell.neighbourCell(0).powerRx() == 63 && !gsmCell.neighbourCell(0).cellIdSet());
        QCOMPARE(gsmCell.neighbourCell(1).cellId(), uint16_t(8));
        QCOMPARE(gsmCell.neighbourCell(5).color(), uint8_t(255));
        // A second text replaces everything, the neighbour list included.
        QVERIFY(gsmCell.internalize("<gCell mcc=\"1\"/>"));
        QCOMPARE(gsmCell.neighbourCellCount(), 0);
        QVERIFY(!gsmCell.timingAdvanceSet());

        QVERIFY(VomuElementGSM::rxLevelFromDbm(NAN) == 255 && VomuElementWCDMA::rssiLevelFromDbm(-25) == 76);
        QVERIFY(VomuElementWCDMA::rscpLevelFromDbm(-121) == 0 && VomuElementWCDMA::pathlossLevelFromDb(45.9) == 255);
    }

    void malformedTextsChangeNothing_data()
    {
        QTest::addColumn<int>("kind"); // an element id, 0 for a position
        QTest::addColumn<QByteArray>("text");
        const int position = 0, gsm = 1, wcdma = 2, wlan = 4;
        QTest::newRow("empty") << wlan << QByteArray("");
        QTest::newRow("not well-formed") << wlan << QByteArray("<wlan mac=\"00:11:22:33:44:55\"");
        QTest::newRow("wrong root") << gsm << QByteArray("<wCell mcc=\"1\"/>");
        QTest::newRow("entity") << wlan << QByteArray("<!DOCTYPE wlan [<!ENTITY e \"1\">]><wlan rssi=\"&e;\"/>");
        QTest::newRow("letters in number") << gsm << QByteArray("<gCell mcc=\"24a\"/>");
        QTest::newRow("16-bit overflow") << gsm << QByteArray("<gCell lac=\"65536\"/>");
        QTest::newRow("not-set marker") << wcdma << QByteArray("<wCell ucid=\"4294967295\"/>");
        QTest::newRow("bad neighbour") << wcdma << QByteArray("<wCell><wNCell sCode=\"x\"/></wCell>");
        QTest::newRow("pathloss 45") << wcdma << QByteArray("<wCell><wNCell pathloss=\"45\"/></wCell>");
        QTest::newRow("negative timestamp") << gsm << QByteArray("<gCell timestamp=\"-1\"/>");
        QTest::newRow("mac 7 bytes") << wlan << QByteArray("<wlan mac=\"00:11:22:33:44:55:66\"/>");
        QTest::newRow("powRx 129") << wlan << QByteArray("<wlan powRx=\"129\"/>");
        QTest::newRow("powTx 64-bit overflow") << wlan << QByteArray("<wlan powTx=\"-9999999999999999999\"/>");
        QTest::newRow("latitude 90.5") << position << QByteArray("<position lat=\"90.5\"/>");
        QTest::newRow("usec 1000000") << position << QByteArray("<position usec=\"1000000\"/>");
        QTest::newRow("unknown datum") << position << QByteArray("<position datum=\"7\"/>");
    }
    void malformedTextsChangeNothing()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, text);
        VomuElementGSM gsm;
        VomuElementWCDMA wcdma;
        VomuElementWLAN wlan;
        VomuPosition position;
        gsm.setCountryCode(999);
        wcdma.setCountryCode(999);
        wlan.setRssi(99);
        position.setCoordinate(1, 2, 3);
        if (kind == 0) {
            QVERIFY(!position.internalize(text.toStdString()));
        } else {
            VomuObservationElement &element = kind == 1   ? static_cast<VomuObservationElement &>(gsm)
                                              : kind == 2 ? static_cast<VomuObservationElement &>(wcdma)
                                                          : wlan;
            element.setTimestamp(42);
            QVERIFY(!element.internalize(text.toStdString()));
            QCOMPARE(element.timestamp(), 42L);
        }
        QVERIFY(gsm.countryCode() == 999 && wcdma.countryCode() == 999 && wlan.rssi() == 99);
        QVERIFY(position.latitude() == 1.0 && position.altitude() == 3.0f);
    }

    // Undefined values stay undefined through a text.
    void positionRoundTrip()
    {
        VomuPosition position;
        position.setCoordinate(-33.8688197, 151.2092955, -12.25f);
        position.setHorizontalAccuracy(4.5f);
        position.setTimestamp(1700000000);
        position.setTimestampMicroseconds(999999);
        std::string text;
        position.externalize(text);
        VomuPosition back;
        QVERIFY(back.internalize(text));
        QVERIFY(back.latitude() == -33.8688197 && back.longitude() == 151.2092955 && back.altitude() == -12.25f);
        QVERIFY(back.horizontalAccuracy() == 4.5f && std::isnan(back.altitudeAccuracy()));
        QVERIFY(back.timestamp() == 1700000000L && back.timestampMicroseconds() == 999999u);

        VomuPosition().externalize(text);
        QVERIFY(back.internalize(text));
        QVERIFY(std::isnan(back.latitude()) && std::isnan(back.longitude()) && std::isnan(back.altitude()));
        QVERIFY(std::isnan(back.horizontalAccuracy()) && back.timestamp() == 0);
    }

    // --- the simulated world

    // Networks whose owner opted out, hidden ones and randomised addresses
    // never leave the provider; the name decides nothing else.
    void unmappableAccessPointsNeverReported()
    {
        const QList<QPair<const char *, QString>> named{{"00:1a:2b:3c:4d:01", "cafe"},
                                                        {"00:1a:2b:3c:4d:02", "home_nomap"},
                                                        {"00:1a:2b:3c:4d:03", ""},
                                                        {"00:1a:2b:3c:4d:04", QString(2, QChar(0))},
                                                        {"06:1a:2b:3c:4d:05", "phone hotspot"},
                                                        {"00:1a:2b:3c:4d:06", "_nomap cafe"},
                                                        {"02:00:5e:10:00:00:00:07", "eui64"}};
        QJsonArray accessPoints;
        for (const auto &[mac, ssid] : named)
            accessPoints.append(QJsonObject{{"mac", mac},
                                            {"ssid", ssid},
                                            {"txPowerDbm", 20},
                                            {"latitude", PlaceA.latitude + 0.0001 + 0.00002 * accessPoints.size()},
                                            {"longitude", PlaceA.longitude}});
        const QJsonObject json{{"seed", 7}, {"accessPoints", accessPoints}};
        RadioWorld world;
        QString error;
        QVERIFY2(RadioWorld::fromJson(QJsonDocument(json).toJson(), world, &error), qPrintable(error));
        QCOMPARE(macsOf(RadioSurvey(world).accessPoints(PlaceA, 0)),
                 (QStringList{"001a2b3c4d01", "001a2b3c4d06", "02005e1000000007"}));
    }

    // No world file, or one that is refused: no cells, and scans find nothing.
    void withoutWorld()
    {
        for (const QByteArray &contents : {QByteArray(), QByteArray("{\"seed\": -1}")}) {
            QVERIFY(m_root.removeFile("/var/lib/radio/world.json"));
            QVERIFY(contents.isEmpty() || m_root.writeFile("/var/lib/radio/world.json", contents));
            QVERIFY(!RadioMeasurements::mobileMeasurementsValid(0));
            VomuMeasurements measurements;
            QVERIFY(!RadioMeasurements::getMobileMeasurements(measurements) && measurements.count() == 0);
            QList<VomuMeasurements> scans;
            QCOMPARE(RadioMeasurements::wlanWemScan(storeScan, &scans), 0);
            QVERIFY(scans.isEmpty()); // never from inside the call
            QTRY_COMPARE(scans.size(), 1);
            QCOMPARE(scans.first().count(), 0);
        }
    }
};

// Run by the platform tests' main: one executable for the platform stand-ins.
int runRadioTests(int argc, char **argv)
{
    TstRadio tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_radio.moc"
