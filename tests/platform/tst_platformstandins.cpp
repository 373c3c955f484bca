// The phone platform's stand-ins: element XML texts, simulated radio, gateway, device and system info, sarvo check.

#include "DeviceInfo.h"
#include "MSlpGw.h"
#include "MSlpGwObserver.h"
#include "RadioMeasurements.h"
#include "RadioSurvey.h"
#include "RadioWorld.h"
#include "SarvoSecurity.h"
#include "SlpGwFactory.h"
#include "SlpGwRequestParam.h"
#include "SlpGwSettings.h"
#include "SlpGwTypes.h"
#include "SysInfo.h"
#include "TempRoot.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuPosition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <cmath>
#include <tuple>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

const QByteArray Body(10, 'x');

// A minimal HTTP/1.1 server on loopback: counts uploads (each carries Body), answers with the status or (0) not at all.
class LoopbackServer : public QTcpServer
{
public:
    int status = 0;
    int requests = 0;

    LoopbackServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    if (!socket->peek(socket->bytesAvailable()).endsWith(Body))
                        return; // not all of it yet
                    socket->readAll();
                    ++requests;
                    if (status == 0)
                        return;
                    socket->write("HTTP/1.1 " + QByteArray::number(status)
                                  + " X\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
                    socket->disconnectFromHost();
                });
        });
    }
};

// Records every callback ("request 5", "error 2203 5", "status 3"); asked for data, sends its parts as the daemon does.
class Recorder : public MSlpGwObserver
{
public:
    MSlpGw *gateway = nullptr;
    QList<QByteArray> parts;
    QStringList events;

    void RequestData(uint32_t id) override
    {
        events << QStringLiteral("request %1").arg(id);
        for (int i = 0; i < parts.size(); ++i)
            gateway->SendData(parts[i].constData(), parts[i].size(), i == parts.size() - 1, id);
    }
    void ReceiveData(const char *, uint32_t length, uint32_t id, int status) override
    {
        events << QStringLiteral("piece %1 %2 %3").arg(status).arg(length).arg(id);
    }
    void ConnectionStatusChanged(uint32_t status) override { events << QStringLiteral("status %1").arg(status); }
    void ErrorCallback(int status, uint32_t id) override
    {
        events << QStringLiteral("error %1 %2").arg(status).arg(id);
    }
};

} // namespace

class TestPlatformStandIns : public QObject
{
    Q_OBJECT
    std::unique_ptr<TempRoot> m_root;
    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<MSlpGw> m_gateway;
    Recorder m_recorder;
    SlpGwRequestParam m_params;

    // Atomically, so that the polling gateway never sees half a file.
    void writeConfig(const QByteArray &lines)
    {
        const QString path = m_root->path(QStringLiteral("/etc/slpgw/slpgw.conf"));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QSaveFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("poll_interval_ms=20\nrequest_data_delay_ms=0\nanswer_timeout_ms=300\nserver_url=http://127.0.0.1:"
                   + QByteArray::number(m_server->serverPort()) + "/fp\n" + lines);
        QVERIFY(file.commit());
    }

    void connectGateway()
    {
        m_gateway.reset(SlpGwFactory::createSlpGw(1));
        QVERIFY(m_gateway);
        m_recorder.gateway = m_gateway.get();
        QCOMPARE(m_gateway->Connect(m_params), 0);
    }

    // The transaction id, or 0 when the gateway answers other than expected.
    uint32_t start(bool attach, uint32_t usage, int expectedCode = 0)
    {
        uint32_t id = 0;
        m_params.setUIntAttribute(ESlpGwAttrNetworkUsage, usage);
        const int code = attach ? m_gateway->attachToSend(id, m_params) : m_gateway->PrepareToSend(id, m_params);
        return code == expectedCode ? id : 0;
    }

private slots:
    void init()
    {
        m_root = std::make_unique<TempRoot>();
        m_server = std::make_unique<LoopbackServer>();
        m_recorder = Recorder();
        m_params = SlpGwRequestParam();
        m_params.setStringAttribute(ESlpGwAttrRequestType, "uploadXYZ", 6);
        m_params.setStringAttribute(ESlpGwAttrContentType, "application/octet-stream", 24);
        m_params.setPtrAttribute(ESlpGwAttrObserver, static_cast<MSlpGwObserver *>(&m_recorder));
        writeConfig("network=wlan\n");
    }

    void cleanup()
    {
        m_gateway.reset();
        m_server.reset();
        m_root.reset();
    }

    // A development host's fixed texts give a cell and an access point within the ranges the daemon accepts.
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

        // A position through its own text; undefined values stay undefined.
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

    // Opted-out, hidden and randomised networks never leave the simulated world; without one there is nothing.
    void simulatedWorld()
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

        // No world file, or one that is refused: no cells, and scans find nothing.
        for (const QByteArray &contents : {QByteArray(), QByteArray("{\"seed\": -1}")}) {
            QVERIFY(m_root->removeFile("/var/lib/radio/world.json"));
            QVERIFY(contents.isEmpty() || m_root->writeFile("/var/lib/radio/world.json", contents));
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

    // An attach waits from "none" through networks it may not use; the last one allows it.
    void gatewayAttachWaitsForAllowedNetwork()
    {
        const QMap<QString, QString> statusOn{{"home", "status 1"}, {"roaming", "status 5"}, {"wlan", "status 3"}};
        const QList<QPair<uint32_t, QStringList>> cases{{OnlyFree, {"home", "roaming", "wlan"}},
                                                        {FreeAndHomeNw, {"roaming", "home"}}};
        for (const auto &[usage, networks] : cases) {
            writeConfig("network=none\n");
            connectGateway();
            m_recorder.events.clear();
            QCOMPARE(m_gateway->connectionStatus(), 0u);
            const uint32_t id = start(true, usage);
            QVERIFY(id != 0);
            QStringList expected;
            for (const QString &network : networks) {
                writeConfig("network=" + network.toLatin1() + "\n");
                expected << statusOn[network];
                QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.size() >= expected.size(), 10000);
            }
            QTRY_COMPARE_WITH_TIMEOUT(m_recorder.events.size(), expected.size() + 1, 10000);
            // A RequestData on a network the attach may not use would come right after its status change.
            QCOMPARE(m_recorder.events, expected << QStringLiteral("request %1").arg(id));
        }
    }

    void gatewayTransferFailures_data()
    {
        QTest::addColumn<int>("httpStatus"); // 0 silent; -1 no server, -2 no data sent, -3 silent and network lost
        QTest::addColumn<int>("code");
        QTest::newRow("refused") << -1 << int(ESlpGwErrRemoteServerDown);
        QTest::newRow("no data handed over") << -2 << int(ESlpGwErrCanceled);
        QTest::newRow("HTTP 500") << 500 << int(ESlpGwErrRemoteServerDown);
        QTest::newRow("HTTP 403") << 403 << int(ESlpGwErrServerPermissionDenied);
        QTest::newRow("HTTP 404") << 404 << int(ESlpGwErrServerNotFound);
        QTest::newRow("HTTP 302") << 302 << int(ESlpGwErrProtocolNotSupported);
        QTest::newRow("silent") << 0 << int(ESlpGwErrConnectionLost);
        QTest::newRow("network lost") << -3 << int(ESlpGwErrNoConnection);
    }
    void gatewayTransferFailures()
    {
        QFETCH(int, httpStatus);
        QFETCH(int, code);
        const bool networkLost = httpStatus == -3;
        if (httpStatus == -1)
            m_server->close(); // the configuration still names its port
        m_server->status = qMax(httpStatus, 0);
        if (httpStatus != -2)
            m_recorder.parts << Body;
        if (networkLost)
            writeConfig("answer_timeout_ms=60000\n");
        connectGateway();
        const uint32_t id = start(false, ESlpGwNwUsageAny);
        if (networkLost) {
            QTRY_COMPARE_WITH_TIMEOUT(m_server->requests, 1, 10000);
            writeConfig("network=none\n");
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder.events.join(' ').contains(QStringLiteral("error")), 10000);
        QCOMPARE(m_recorder.events.filter(QRegularExpression(QStringLiteral("^(request|piece|error)"))),
                 (QStringList{QStringLiteral("request %1").arg(id), QStringLiteral("error %1 %2").arg(code).arg(id)}));
    }

    void gatewayRefusalsAndBadConfiguration()
    {
        m_gateway.reset(SlpGwFactory::createSlpGw(1));
        uint32_t id = 0;
        QCOMPARE(m_gateway->attachToSend(id, m_params), int(ESlpGwErrGeneral)); // not connected

        // Data for unknown or not yet started transactions, an unknown network usage.
        writeConfig("network=none\n");
        connectGateway();
        QCOMPARE(m_gateway->SendData("x", 1, true, 999999), int(ESlpGwErrNotFound));
        const uint32_t waiting = start(true, OnlyFree);
        QCOMPARE(m_gateway->SendData("x", 1, true, waiting), int(ESlpGwErrInvalidArguments));
        QCOMPARE(start(true, 7, ESlpGwErrInvalidArguments), 0u);

        writeConfig("library_version=0\nfail_create=yes\n");
        QCOMPARE(SlpGwFactory::version(), 0);
        QVERIFY(!SlpGwFactory::createSlpGw(1));
        writeConfig(QByteArray());
        QVERIFY(!SlpGwFactory::createSlpGw(2));

        // A bad configuration falls back to the defaults, line by line.
        const SlpGwSettings defaults;
        static const char text[] = "network=banana\nrequest_data_delay_ms=-5\nanswer_timeout_ms=abc\n=x\nno pair\n"
                                   "\xff\xfe\x00\x01\nserver_url=ftp://host/\nfail_next_calls=2001,zz,0\n"
                                   "receive_end_empty=maybe\nunknown_key=1\nreceive_piece_size=7\nfail_connect=true\n";
        const SlpGwSettings s = SlpGwSettings::fromText(QByteArray(text, sizeof(text) - 1), QStringLiteral("x"));
        QVERIFY(s.network == defaults.network && s.requestDataDelayMs == defaults.requestDataDelayMs);
        QVERIFY(s.answerTimeoutMs == defaults.answerTimeoutMs && s.serverUrl == defaults.serverUrl);
        QVERIFY(s.receiveEndEmpty == defaults.receiveEndEmpty && s.receivePieceSize == 7);
        QVERIFY(s.failNextCalls == QList<int>({2001, 0}) && s.failConnect == ESlpGwErrGeneral);

        // A file too large to be a configuration is ignored as a whole; the environment still overrides.
        writeConfig(QByteArray(SlpGwSettings::MaxConfigBytes, '#') + "\nlibrary_version=5\n");
        qputenv("SLPGW_NETWORK", "roaming");
        const auto unset = qScopeGuard([] { qunsetenv("SLPGW_NETWORK"); });
        connectGateway();
        QCOMPARE(SlpGwFactory::version(), 1);
        QCOMPARE(m_gateway->connectionStatus(), uint32_t(ESlpGwConnectionOpen | ESlpGwConnectionRoaming));
    }

    void deviceInfo()
    {
        const DeviceInfo device;
        QCOMPARE(device.imsi(), QString());
        QCOMPARE(device.wlanHardwareAddress(), QString());
        QVERIFY(m_root->setDeviceInfo("imsi", " 244051234567890\n"));
        QCOMPARE(device.imsi(), QString("244051234567890"));
        qputenv("FPCD_IMSI", "222");
        QCOMPARE(device.imsi(), QString("222"));
        qunsetenv("FPCD_IMSI");

        QVERIFY(m_root->setDeviceInfo("wlan_interface", "no-such-if0"));
        QCOMPARE(device.wlanHardwareAddress(), QString());
        QVERIFY(m_root->setDeviceInfo("wlan_interface", "lo"));
        QCOMPARE(device.wlanHardwareAddress(), QNetworkInterface::interfaceFromName("lo").hardwareAddress());
        QVERIFY(m_root->setDeviceInfo("wlan_hwaddr", "02:00:00:aa:bb:cc"));
        QCOMPARE(device.wlanHardwareAddress(), QString("02:00:00:aa:bb:cc"));

        // The battery level is a whole number from 0 to 100; anything else is taken as full.
        const QList<QPair<QByteArray, int>> levels{{"", 100},    {"42\n", 42}, {"0", 0},
                                                   {"101", 100}, {"-1", 100},  {"half", 100}};
        for (const auto &[text, level] : levels) {
            QVERIFY(m_root->setDeviceInfo("battery_level", text));
            QCOMPARE(device.batteryLevel(), level);
        }
    }

    void sysInfoValues()
    {
        QVERIFY(m_root->setSysInfoValue("/device/rd-mode", "enabled\n"));
        QVERIFY(m_root->setSysInfoValue("/device/empty", ""));
        QVERIFY(m_root->setSysInfoValue("/device/huge", QByteArray(65 * 1024, 'x')));
        QVERIFY(m_root->writeFile("/outside", "secret"));
        QVERIFY(sysinfo_init(nullptr) != 0);
        sysinfo_context *context = nullptr;
        QCOMPARE(sysinfo_init(&context), 0);
        // Key (empty: asked without a session) and the value found (null: none).
        const QList<QPair<QByteArray, QByteArray>>
            cases{{"/device/rd-mode", "enabled\n"}, {"/device/empty", ""}, {"/device/none", {}}, {"device/rd-mode", {}},
                  {"/device/../../../outside", {}}, {"/device", {}},       {"/device/huge", {}}, {{}, {}}};
        for (const auto &[key, expected] : cases) {
            unsigned char *value = nullptr;
            size_t length = 99;
            const int rc = sysinfo_get_value(key.isEmpty() ? nullptr : context,
                                             key.isEmpty() ? "/device/rd-mode" : key.constData(), &value, &length);
            QVERIFY2((rc == 0) == !expected.isNull(), key.constData());
            QCOMPARE(value != nullptr, !expected.isNull());
            QCOMPARE(QByteArray(reinterpret_cast<char *>(value), value ? int(length) : 0), expected);
            QVERIFY(!value || value[length] == '\0');
            std::free(value);
        }
        sysinfo_finish(context);
    }

    void secureDirectoryCheck()
    {
        QVERIFY(sarvoSessionSetupEnvironmentHelper() != 0);
        QVERIFY(sarvo_crypto_verify_sarvofs(nullptr) != 0);
        // As root the ownership of "/" passes: only its permissions fail.
        const int rootResult = geteuid() == 0 ? SARVO_VERIFY_OPEN_ACCESS : SARVO_VERIFY_WRONG_OWNER;
        // Entry, mode (owner-executable: a directory), result.
        const QList<std::tuple<QString, int, int>> cases{{"group may read", 0750, SARVO_VERIFY_OPEN_ACCESS},
                                                         {"others may enter", 0701, SARVO_VERIFY_OPEN_ACCESS},
                                                         {"plain file", 0600, SARVO_VERIFY_NOT_DIRECTORY},
                                                         {"missing", 0, SARVO_VERIFY_NOT_FOUND},
                                                         {"", 0, SARVO_VERIFY_NO_PATH},
                                                         {"/", 0, rootResult}};
        for (const auto &[entry, mode, expected] : cases) {
            const QString path = entry.size() <= 1 ? entry : m_root->path("/" + entry);
            QVERIFY(!mode || ((mode & 0100) ? QDir().mkdir(path) : m_root->writeFile("/" + entry, "")));
            QVERIFY(!mode || ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
            QVERIFY2(sarvo_crypto_verify_sarvofs(QFile::encodeName(path).constData()) == expected, qPrintable(entry));
        }
    }
};

QTEST_GUILESS_MAIN(TestPlatformStandIns)
#include "tst_platformstandins.moc"
