#include "RadioEnvironment.h"
#include "RadioMeasurements.h"
#include "RadioPhonePosition.h"
#include "RadioSurvey.h"
#include "RadioWorld.h"
#include "TempRoot.h"
#include "TestBus.h"
#include "TestSupport.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QtTest>

namespace {

// Two places 2 km apart, each with its own GSM cell and three access points.
const RadioGeoPoint PlaceA{61.4850, 21.7970};
const RadioGeoPoint PlaceB{61.5030, 21.7970};

QJsonObject at(const RadioGeoPoint &place, double northM = 0, double eastM = 0)
{
    return {{"latitude", place.latitude + northM / 111195.0},
            {"longitude", place.longitude + eastM / (111195.0 * std::cos(place.latitude * M_PI / 180))}};
}

QJsonObject placed(QJsonObject object, const QJsonObject &position, int txPowerDbm)
{
    object.insert("latitude", position["latitude"]);
    object.insert("longitude", position["longitude"]);
    object.insert("txPowerDbm", txPowerDbm);
    return object;
}

QJsonObject gsm(int cid, int bsic, int bcch, const QJsonObject &position, int txPowerDbm = 43)
{
    return placed({{"mcc", 244}, {"mnc", 5}, {"lac", 10}, {"cid", cid}, {"bsic", bsic}, {"bcch", bcch}}, position,
                  txPowerDbm);
}

QJsonObject wcdma(int ucid, int scramblingCode, const QJsonObject &position, int txPowerDbm)
{
    return placed({{"mcc", 244}, {"mnc", 42}, {"ucid", ucid}, {"scramblingCode", scramblingCode}, {"uarfcnDl", 10700}},
                  position, txPowerDbm);
}

QJsonObject ap(const char *mac, const QJsonObject &position, int txPowerDbm = 20)
{
    return placed({{"mac", mac}}, position, txPowerDbm);
}

QJsonObject twoPlacesWorld(const RadioGeoPoint &start)
{
    return {{"seed", 7},
            {"startPosition", at(start)},
            {"followPositionMessages", false},
            {"wlanScanDelayMs", 150},
            {"gsmCells", QJsonArray{gsm(1001, 11, 60, at(PlaceA)), gsm(1002, 12, 62, at(PlaceB))}},
            {"accessPoints",
             QJsonArray{ap("00:1a:2b:3c:4d:01", at(PlaceA, 20, 0)), ap("00:1a:2b:3c:4d:02", at(PlaceA, 0, 25)),
                        ap("02:00:5e:10:00:00:00:03", at(PlaceA, -30, 0), 17),
                        ap("00:1a:2b:3c:4d:11", at(PlaceB, 20, 0)), ap("00:1a:2b:3c:4d:12", at(PlaceB, 0, 25)),
                        ap("00:1a:2b:3c:4d:13", at(PlaceB, -30, 0))}}};
}

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

struct ScanOutcome {
    int calls = 0;
    VomuMeasurements result;
    QThread *thread = nullptr;
};

void storeScan(void *context, VomuMeasurements result)
{
    auto *outcome = static_cast<ScanOutcome *>(context);
    ++outcome->calls;
    outcome->result = result;
    outcome->thread = QThread::currentThread();
}

// The ranges the daemon's measurement evaluator accepts.
bool levelOk(uint8_t level, int max)
{
    return level == 255 || level <= max;
}

bool gsmAcceptable(const VomuElementGSM &cell)
{
    bool ok = cell.countryCode() <= 999 && cell.networkId() <= 999 && cell.locationAreaCodeSet() && cell.cellIdSet()
        && levelOk(cell.powerRx(), 63);
    for (int i = 0; i < cell.neighbourCellCount(); ++i) {
        const VomuElementGSM::NeighbourCell n = cell.neighbourCell(i);
        ok = ok && n.color() <= 63 && n.frequency() <= 1023 && levelOk(n.powerRx(), 63);
    }
    return ok;
}

bool wcdmaAcceptable(const VomuElementWCDMA &cell)
{
    bool ok = cell.countryCode() <= 999 && cell.networkId() <= 999 && cell.ucId() <= 0x0FFFFFFF;
    for (int i = 0; i < cell.neighbourCellCount(); ++i) {
        const VomuElementWCDMA::NeighbourCell n = cell.neighbourCell(i);
        ok = ok && n.uarfcnDl <= 16383 && n.pCpich <= 511 && (n.ucId == 0xFFFFFFFF || n.ucId <= 0x0FFFFFFF)
            && levelOk(n.rssi, 76) && levelOk(n.ecn0, 63) && levelOk(n.rscp, 132) && levelOk(n.pathloss, 127)
            // the simulation always measures these three
            && n.rssi != 255 && n.ecn0 != 255 && n.rscp != 255;
    }
    return ok;
}

} // namespace

class TstRadioEnvironment : public QObject
{
    Q_OBJECT

private:
    TempRoot m_root;
    TestBus m_bus;

    bool writeWorld(const QJsonObject &world)
    {
        return m_root.writeFile("/var/lib/radio/world.json", QJsonDocument(world).toJson());
    }

    static RadioSurvey survey(const QJsonObject &json)
    {
        RadioWorld world;
        QString error;
        if (!RadioWorld::fromJson(QJsonDocument(json).toJson(), world, &error))
            qWarning() << error;
        return RadioSurvey(world);
    }

    static int servingCellId()
    {
        VomuMeasurements measurements;
        if (!RadioMeasurements::getMobileMeasurements(measurements))
            return -1;
        return static_cast<const VomuElementGSM *>(measurements.element(0))->cellId();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        // Before anything connects the system bus: the phone follows it.
        QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString()));
    }

    void worldRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("not json") << QByteArray("{\"seed\": ") << "offset";
        QTest::newRow("unknown key") << QByteArray(R"({"gsmCell": []})") << "gsmCell: unknown key";
        QTest::newRow("fractional mcc")
            << QByteArray(R"({"gsmCells": [{"mcc": 244.5, "mnc": 5, "bsic": 1, "bcch": 2, "latitude": 1,
                              "longitude": 2, "txPowerDbm": 40}]})")
            << "gsmCells[0].mcc: expected a whole number";
        QTest::newRow("missing power")
            << QByteArray(R"({"wcdmaCells": [{"mcc": 244, "mnc": 5, "ucid": 1, "scramblingCode": 2,
                              "uarfcnDl": 10700, "latitude": 1, "longitude": 2}]})")
            << "wcdmaCells[0].txPowerDbm: missing";
        QTest::newRow("seven byte mac")
            << QByteArray(R"({"accessPoints": [{"mac": "00:11:22:33:44:55:66", "latitude": 1, "longitude": 2,
                              "txPowerDbm": 20}]})")
            << "accessPoints[0].mac";
        QTest::newRow("propagation")
            << QByteArray(R"({"propagation": {"gsm": {"exponent": 0.5}}})") << "propagation.gsm.exponent";
    }

    void worldRefused()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        RadioWorld world;
        QString reason;
        QVERIFY(!RadioWorld::fromJson(json, world, &reason));
        QVERIFY2(reason.startsWith(error), qPrintable(reason));
    }

    void twoPlacesDiffer()
    {
        const RadioSurvey world = survey(twoPlacesWorld(PlaceA));
        const struct {
            RadioGeoPoint at;
            int cid;
            QStringList macs;
        } places[] = {{PlaceA, 1001, {"001a2b3c4d01", "001a2b3c4d02", "02005e1000000003"}},
                      {PlaceB, 1002, {"001a2b3c4d11", "001a2b3c4d12", "001a2b3c4d13"}}};
        for (const auto &place : places) {
            const auto cell = world.servingCell(place.at, 0);
            QVERIFY(cell && cell->elementId() == VomuObservationElement::ElementIdGSM);
            const auto &gsm = static_cast<const VomuElementGSM &>(*cell);
            QCOMPARE(int(gsm.cellId()), place.cid);
            QCOMPARE(int(gsm.timingAdvance()), 0);
            QVERIFY(gsmAcceptable(gsm));
            // The other place's cell, 2 km off, is at most a weaker neighbour.
            for (int i = 0; i < gsm.neighbourCellCount(); ++i)
                QVERIFY(gsm.neighbourCell(i).powerRx() < gsm.powerRx());
            QCOMPARE(macsOf(world.accessPoints(place.at, 0)), place.macs);
        }
        // Half-way, 1 km from either cell, the timing advance tells the distance.
        const RadioGeoPoint between{(PlaceA.latitude + PlaceB.latitude) / 2, PlaceA.longitude};
        const auto cell = world.servingCell(between, 0);
        QVERIFY(cell);
        QCOMPARE(int(static_cast<const VomuElementGSM &>(*cell).timingAdvance()), 1);
        QCOMPARE(world.accessPoints(between, 0).count(), 0);
    }

    void levelsStayInRange()
    {
        // Cells of both kinds, two WCDMA carriers sharing one UARFCN, a
        // transmitter so loud it saturates every level next to it.
        QJsonObject json{
            {"seed", 99},
            {"gsmCells", QJsonArray{gsm(1, 63, 1023, at(PlaceA), 80), gsm(2, 0, 0, at(PlaceA, 1500, 1500), 30)}},
            {"wcdmaCells",
             QJsonArray{wcdma(0x0FFFFFFF, 511, at(PlaceA, -1500, 0), 80), wcdma(7, 0, at(PlaceA, -1000, -1000), 33)}},
            {"accessPoints", QJsonArray{ap("00:1a:2b:3c:4d:01", at(PlaceA), 80)}}};
        const RadioSurvey world = survey(json);
        int gsmServed = 0, wcdmaServed = 0;
        for (int north = -4000; north <= 4000; north += 250) {
            for (int east = -4000; east <= 4000; east += 250) {
                const QJsonObject position = at(PlaceA, north, east);
                const RadioGeoPoint here{position["latitude"].toDouble(), position["longitude"].toDouble()};
                const auto cell = world.servingCell(here, 0);
                if (cell && cell->elementId() == VomuObservationElement::ElementIdGSM) {
                    ++gsmServed;
                    QVERIFY2(gsmAcceptable(static_cast<const VomuElementGSM &>(*cell)),
                             qPrintable(QStringLiteral("%1 m north, %2 m east").arg(north).arg(east)));
                } else if (cell) {
                    ++wcdmaServed;
                    const auto &wcdma = static_cast<const VomuElementWCDMA &>(*cell);
                    QVERIFY(wcdmaAcceptable(wcdma));
                    QCOMPARE(wcdma.neighbourCell(0).ucId, wcdma.ucId());
                }
                const VomuMeasurements scan = world.accessPoints(here, 0);
                for (int i = 0; i < scan.count(); ++i) {
                    const auto *heard = static_cast<const VomuElementWLAN *>(scan.element(i));
                    QVERIFY(heard->mac().is48Bit() && heard->powerRxSet() && heard->powerRx() <= 0);
                }
            }
        }
        QVERIFY(gsmServed > 0 && wcdmaServed > 0);
        // The world may carry identities a consumer refuses: they pass as written.
        QJsonObject odd = gsm(3, 1, 2, at(PlaceA));
        odd["mcc"] = 1000;
        odd.remove("cid");
        json["gsmCells"] = QJsonArray{odd};
        const auto cell = survey(json).servingCell(PlaceA, 0);
        QVERIFY(cell && cell->elementId() == VomuObservationElement::ElementIdGSM);
        QCOMPARE(int(static_cast<const VomuElementGSM &>(*cell).countryCode()), 1000);
        QVERIFY(!static_cast<const VomuElementGSM &>(*cell).cellIdSet());
    }

    void seedDecidesShadowing()
    {
        QJsonObject json = twoPlacesWorld(PlaceA);
        auto levels = [](const RadioSurvey &world) {
            QList<int> all;
            for (double north = 0; north <= 2000; north += 100) {
                const RadioGeoPoint at{PlaceA.latitude + north / 111195.0, PlaceA.longitude};
                const auto cell = world.servingCell(at, 0);
                all << (cell ? static_cast<const VomuElementGSM &>(*cell).powerRx() : -1);
            }
            return all;
        };
        const QList<int> first = levels(survey(json));
        QCOMPARE(levels(survey(json)), first);
        json["seed"] = 8;
        QVERIFY(levels(survey(json)) != first);
    }

    void exampleWorldCoversTheExampleWalk()
    {
        QFile file(QStringLiteral(FPCD_SOURCE_DIR "/platform/radio/worlds/example-world.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        RadioWorld parsed;
        QString error;
        QVERIFY2(RadioWorld::fromJson(file.readAll(), parsed, &error), qPrintable(error));
        const RadioSurvey world(parsed);
        // fpcsim's short walk (start and end) and the daemon's generated fix.
        const RadioGeoPoint places[] = {{61.48500, 21.79700}, {61.48576, 21.79860}, {61.4937, 21.7975}};
        QSet<QStringList> scans;
        for (const RadioGeoPoint &at : places) {
            QVERIFY(world.hasCoverage(at));
            const QStringList macs = macsOf(world.accessPoints(at, 0));
            QVERIFY2(macs.size() >= 3, qPrintable(macs.join(' ')));
            scans.insert(macs);
        }
        QCOMPARE(scans.size(), 3);
    }

    void withoutWorld_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("refused file") << QByteArray("{\"seed\": -1}");
    }

    void withoutWorld()
    {
        QFETCH(QByteArray, contents);
        m_root.removeFile("/var/lib/radio/world.json");
        if (!contents.isEmpty())
            QVERIFY(m_root.writeFile("/var/lib/radio/world.json", contents));
        QVERIFY(!RadioMeasurements::mobileMeasurementsValid(0));
        VomuMeasurements measurements;
        QVERIFY(!RadioMeasurements::getMobileMeasurements(measurements));
        QCOMPARE(measurements.count(), 0);

        ScanOutcome outcome;
        QCOMPARE(RadioMeasurements::wlanWemScan(storeScan, &outcome), 0);
        QCOMPARE(outcome.calls, 0);   // never from inside the call
        QTRY_COMPARE(outcome.calls, 1);
        QCOMPARE(outcome.result.count(), 0);
    }

    void scanAnswersFromTheEventLoopAfterItsDelay()
    {
        QVERIFY(writeWorld(twoPlacesWorld(PlaceA)));
        QVERIFY(RadioMeasurements::mobileMeasurementsValid(0));
        QVERIFY(!RadioMeasurements::mobileMeasurementsValid(1));
        QCOMPARE(RadioMeasurements::wlanWemScan(nullptr, nullptr), -1);

        ScanOutcome outcome;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(RadioMeasurements::wlanWemScan(storeScan, &outcome), 0);
        QTRY_COMPARE(outcome.calls, 1);
        QVERIFY(clock.elapsed() >= 140);
        QCOMPARE(outcome.thread, QThread::currentThread());
        QCOMPARE(macsOf(outcome.result), QStringList({"001a2b3c4d01", "001a2b3c4d02", "02005e1000000003"}));
    }

    void phoneFollowsPositionMessages()
    {
        QJsonObject world = twoPlacesWorld(PlaceA);
        world["followPositionMessages"] = true;
        QVERIFY(writeWorld(world));
        QCOMPARE(servingCellId(), 1001);

        QDBusConnection peer = m_bus.connection();
        QVERIFY(peer.registerService(RadioPhonePosition::ServiceName));
        QDBusMessage fix = QDBusMessage::createSignal(RadioPhonePosition::ObjectPath, RadioPhonePosition::InterfaceName,
                                                      "positionMessage");
        fix << PlaceB.latitude << PlaceB.longitude << 12.0 << 10.0 << 8.0 << QVariant::fromValue(uchar(20))
            << QVariant::fromValue(ushort(5)) << QVariant::fromValue(ushort(4)) << QVariant::fromValue(ushort(2024))
            << QVariant::fromValue(uchar(2)) << QVariant::fromValue(uchar(5)) << QVariant::fromValue(uchar(9))
            << QVariant::fromValue(uchar(0)) << QVariant::fromValue(ushort(30000));
        // The receiver learns the name's new owner asynchronously: repeat the
        // fix, as the positioning daemon does, until it is taken.
        QVERIFY(TestSupport::waitFor([&] { return peer.send(fix) && servingCellId() == 1002; }, 10000));
        QVERIFY(peer.unregisterService(RadioPhonePosition::ServiceName));

        // A new world starts the phone at its own start again.
        world["seed"] = 8;
        QVERIFY(writeWorld(world));
        QCOMPARE(servingCellId(), 1001);
    }

    void fixOutsideTheMapIgnored()
    {
        RadioPhonePosition phone;
        QSignalSpy moved(&phone, &RadioPhonePosition::positionChanged);
        phone.positionMessage(95.0, 21.0, 0, 0, 0, 0, 0, 0, 2024, 1, 1, 0, 0, 0);
        phone.positionMessage(61.0, qQNaN(), 0, 0, 0, 0, 0, 0, 2024, 1, 1, 0, 0, 0);
        QVERIFY(moved.isEmpty() && !phone.position());
    }

    void worldFileFromEnvironment()
    {
        QVERIFY(writeWorld(twoPlacesWorld(PlaceA)));
        const QString other = m_root.path("/elsewhere/world.json");
        QVERIFY(m_root.writeFile("/elsewhere/world.json", QJsonDocument(twoPlacesWorld(PlaceB)).toJson()));
        qputenv("FPCD_RADIO_WORLD", other.toUtf8());
        QCOMPARE(RadioEnvironment::worldFilePath(), other);
        QCOMPARE(servingCellId(), 1002);
        qunsetenv("FPCD_RADIO_WORLD");
        QCOMPARE(servingCellId(), 1001);
    }
};

QTEST_GUILESS_MAIN(TstRadioEnvironment)
#include "tst_radioenvironment.moc"
