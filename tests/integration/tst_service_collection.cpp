#include "ConnectivityDaemonSim.h"
#include "GpxRoute.h"
#include "PositionedService.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QDBusArgument>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <limits>
#include <memory>

namespace {

constexpr double NoLatitude = -1000.0;

// One fingerprint as the daemon stored it or as the server decoded it from
// the report: second of birth and the GNSS latitude.
using Fp = std::pair<qint64, double>;

// The same fingerprints in any order; the report carries the latitude in 2^31 steps of 90 degrees.
bool same(QList<Fp> got, QList<Fp> expected)
{
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    return std::equal(got.begin(), got.end(), expected.begin(), expected.end(),
                      [](const Fp &a, const Fp &b) { return a.first == b.first && qAbs(a.second - b.second) < 1e-6; });
}

const ServiceFixture::Items WalkConfig{{"min_distance_between_consecutive_positions", "10"},
                                       {"max_distance_to_new_fp", "5"},
                                       {"wlan_scan_interval", "0"},
                                       {"slpgw_connection_timeout", "3000"}};

} // namespace

// Collection driven by fpcsim's positioning and connectivity peers; walk, collect and upload through the
// gateway stand-in to the server stand-in, which keeps what it decodes.
class TstServiceCollection : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;
    std::unique_ptr<PositionedService> m_service;
    std::unique_ptr<QSignalSpy> m_walked;

    FpServerProcess &server() { return m_service->server(); }

    bool writeGateway(const QString &settings)
    {
        return m_service->root().writeFile("/etc/slpgw/slpgw.conf", (settings + "\npoll_interval_ms=50\n").toUtf8());
    }

    // Server, gateway, radio world and positioning daemon, then the daemon,
    // whose request for fixes starts the walk along the short route.
    QString startWalk(const ServiceFixture::Items &config = {})
    {
        QString error = m_service->startServer("ok", false);
        if (!error.isEmpty())
            return error;
        if (!writeGateway(QStringLiteral("server_url=%1\nnetwork=wlan").arg(server().url())))
            return QStringLiteral("cannot write the gateway configuration");
        QJsonObject world =
            QJsonDocument::fromJson(TestSupport::readFile(FPCD_SOURCE_DIR "/platform/radio/worlds/example-world.json"))
                .object();
        world["wlanScanDelayMs"] = 20;
        if (!m_service->root().writeFile("/world.json", QJsonDocument(world).toJson()))
            return QStringLiteral("cannot write the radio world");
        m_service->daemon().setEnv("FPCD_RADIO_WORLD", m_service->root().path("/world.json"));

        const GpxRoute route =
            GpxRoute::fromGpxFile(FPCD_SOURCE_DIR "/tools/fpcsim/examples/short-walk.gpx", 5.0, &error);
        if (!error.isEmpty())
            return error;
        // 13 fixes about 14 m apart, 10 route seconds each.
        m_service->positioning().setWalker(RouteWalker(route, 10, 100));
        m_walked = std::make_unique<QSignalSpy>(&m_service->positioning(), &PositioningDaemonSim::walkFinished);
        if (!m_service->startWithPositioning({}, WalkConfig + config))
            return QStringLiteral("daemon did not start: ") + m_service->daemon().describe();
        return QString();
    }

    // True once the walk has ended and every fix has been through
    // measurement, evaluation and storing.
    bool collected()
    {
        return TestSupport::waitFor(
            [this] {
                if (m_walked->isEmpty())
                    return false;
                const QByteArray trace = m_service->trace();
                return trace.count("FpcEventHandler::positionMessage() ->") == m_walked->first().first().toLongLong()
                       && trace.count("FpcEventHandler::onCollectMeasurements() <-")
                              == trace.count("FpcEventHandler::onMeasurementsAvailable() ->");
            },
            30000);
    }

    QList<Fp> stored(bool onlyUnexported = false)
    {
        QList<Fp> fps;
        const auto all =
            m_service->queryRows(QStringLiteral("SELECT f.time, p.latitude FROM Fingerprint f LEFT JOIN Position p "
                                                "ON p.fpId = f.fpId")
                                 + (onlyUnexported ? " WHERE f.exported = 0" : ""));
        for (const QVariantList &row : all)
            fps << Fp{row[0].toLongLong(), row[1].isNull() ? NoLatitude : row[1].toDouble()};
        return fps;
    }

    // Every fingerprint of every upload the server accepted.
    QList<Fp> received()
    {
        QList<Fp> fps;
        for (const QJsonObject &line : server().readLines("fingerprints.jsonl")) {
            Fp fp{line["time"].toInteger(), NoLatitude};
            for (const QJsonValue element : line["elements"].toArray()) {
                if (element["kind"] == QLatin1String("GNSS"))
                    fp.second = element["latitude"].toDouble();
            }
            fps << fp;
        }
        return fps;
    }

    QString forcedUpload() { return m_service->call("forcedUpload").arguments().value(0).toString(); }

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }
    void init() { m_service = std::make_unique<PositionedService>(*m_bus); }
    void cleanup()
    {
        m_walked.reset();
        m_service.reset();
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
    }

    void badFixesRefusedGoodFixStored()
    {
        QVERIFY(m_service->startWithPositioning({"--sbox"}));
        // Each unusable field: tst_fpcservice; here one refused by its value and one by its range.
        PositionFix bad = PositionedService::fixNow();
        bad.lon = std::numeric_limits<double>::infinity();
        QCOMPARE(m_service->positioning().sendFix(bad), QString());
        bad = PositionedService::fixNow();
        bad.lat = 95;
        QCOMPARE(m_service->positioning().sendFix(bad), QString());
        QCOMPARE(m_service->positioning().sendFix(PositionedService::fixNow(), PositionFix::Signature::Int32Fields),
                 QString());
        QVERIFY(m_service->waitForTrace("refused: arguments \"dddddiiiiiiiii\" instead of \"dddddyqqqyyyyq\""));
        QCOMPARE(m_service->traceCount("GPS position refused:"), 1);
        QVERIFY(m_service->trace().contains("Latitude out of range (-90 - 90): 95"));
        QCOMPARE(m_service->fingerprintCount(), 0);

        QVERIFY(m_service->storeFix(61.4901));
        QCOMPARE(m_service->queryValue("SELECT dataMask FROM Fingerprint").toInt(), 1 | 2 | 4 | 8);
        QCOMPARE(m_service->queryValue("SELECT latitude FROM Position").toDouble(), 61.4901);
        QCOMPARE(m_service->quit(), 0);
    }

    // A foreign WLAN scan creates a fingerprint (its interval: tst_fpcservice); active mode is reported.
    void foreignWlanScanAndActiveMode()
    {
        QVERIFY(m_service->start({"--sbox"}, {{"min_wlan_count", "1"}, {"passive_wlan_scan_delay", "0"}}));
        ConnectivityDaemonSim connectivity(m_bus->connection());
        QVERIFY(connectivity.sendState(8).isEmpty() && connectivity.sendState(9).isEmpty());
        QTRY_COMPARE(m_service->fingerprintCount(), 1);
        QCOMPARE(m_service->queryValue("SELECT dataMask & 1 FROM Fingerprint").toInt(), 0); // no position

        DaemonSignalRecorder active(m_bus->connection(), "activeCollectionStatus");
        QVERIFY(m_service->callNoReply("activeMode", {true}));
        QVERIFY(m_service->waitForTrace("FpcEventHandler::activeMode() ->"));
        QCOMPARE(m_service->call("sendStatistics").type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(active.messages.size(), 1); // nothing before the subscription
        // Whether a position source exists depends on the host's plugins.
        const bool running = m_service->trace().contains("Location update started");
        QCOMPARE(active.messages.at(0).arguments().value(0).toBool(), running);
        QVERIFY(m_service->broadcast(DaemonProcess::ServiceName, "activeMode", {false}));
        QTRY_COMPARE(active.messages.size(), 2);
        QCOMPARE(active.messages.at(1).arguments().value(0).toBool(), false);
        QCOMPARE(m_service->traceCount("FpcEventHandler::onStartPassiveGpsFixes() <-"), 2);
        QCOMPARE(m_service->quit(), 0);
    }

    void batteryRule_data()
    {
        QTest::addColumn<QByteArray>("level");
        QTest::newRow("24 of 25: no WLAN") << QByteArray("24");
        QTest::newRow("25 of 25: WLAN") << QByteArray("25");
    }
    void batteryRule()
    {
        QFETCH(QByteArray, level);
        const bool tooLow = level == "24";
        QVERIFY(m_service->root().setDeviceInfo("battery_level", level));
        QVERIFY(m_service->startWithPositioning());
        QCOMPARE(m_service->positioning().sendFix(PositionedService::fixNow()), QString());
        QVERIFY(m_service->waitForTrace("FpcEventHandler::onCollectMeasurements() ->"));
        const QByteArray trace = m_service->trace();
        QVERIFY(trace.contains("FpcEventHandler::onCollectMeasurements() Battery level: " + level));
        QCOMPARE(trace.contains("too low for WLAN scans (current: " + level), tooLow);
        QCOMPARE(trace.contains("WLAN mesurements not requested"), tooLow);
        QCOMPARE(m_service->quit(), 0);
    }

    // Every file the daemon writes (database, journals, report dumps; trace files: tst_core) is its user's alone;
    // a forced upload while one is under way is refused and the one under way keeps its fingerprints.
    void filesPrivateAndSecondForcedUploadRefused()
    {
        QCOMPARE(m_service->startServer("delay:1"), QString());
        QVERIFY(m_service->startWithPositioning({"--sbox"}));
        QVERIFY(m_service->callNoReply("setConfigurationValue", {"fpr/dump_reports", "1"}));
        QVERIFY(m_service->storeFix());
        QCOMPARE(forcedUpload(), QStringLiteral("Upload to server started"));
        QTRY_COMPARE(m_service->server().uploadCount(), 1);
        QVERIFY(forcedUpload().startsWith("Cannot start upload: "));
        QTRY_COMPARE_WITH_TIMEOUT(m_service->server().readLines("fingerprints.jsonl").size(), 1, 15000);
        QTRY_COMPARE(m_service->fingerprintCount(), 0);

        QStringList created;
        for (QDirIterator it(m_service->root().root(), {"fp.db*", "fpr_*"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();)
            created << it.next();
        QVERIFY2(created.size() >= 2, qPrintable(created.join(' ')));
        for (const QString &path : created)
            QVERIFY2(TestSupport::fileMode(path) == 0600, qPrintable(path));
        QCOMPARE(m_service->quit(), 0);
    }

    // After any failure the fingerprints stay unexported until one upload delivers them once.
    void failedUploadsLoseNothingThenAllGoOnce()
    {
        QCOMPARE(startWalk(), QString());
        QVERIFY(collected());
        const QList<Fp> before = stored();
        QVERIFY2(before.size() >= 3, qPrintable(QString::number(before.size())));
        // Every fix along the short walk, access points heard.
        QCOMPARE(m_service
                     ->queryValue("SELECT COUNT(*) FROM Position WHERE latitude BETWEEN 61.4849 AND 61.4858 "
                                  "AND longitude BETWEEN 21.7969 AND 21.7987")
                     .toInt(),
                 before.size());
        QVERIFY(m_service->queryValue("SELECT COUNT(*) FROM Wlan").toInt() > 0);

        // Server modes and the reason the outcome gives.
        const QList<QPair<QByteArray, QString>> failures{{"fail", "Server.UploadFailed"},
                                                         {"hang", "timeout when waiting reply from SLPGW API"},
                                                         {"drop",
                                                          "ErrorCallback() status: 2206 SLPGW_ERR_EARLY_DISCONNECT"}};
        DaemonSignalRecorder outcomes(m_bus->connection(), "uploadFinished");
        int attempt = 0;
        int seen = 0; // uploads the server has received
        for (const auto &[mode, reason] : failures) {
            ++attempt;
            const QByteArray context = "server mode " + mode;
            QVERIFY2(server().setMode(mode), context);
            QCOMPARE(forcedUpload(), QStringLiteral("Upload to server started"));
            // Bus clients learn it: failed, with the fingerprints the attempt carried and why.
            QTRY_COMPARE(outcomes.messages.size(), attempt);
            const QVariantList outcome = outcomes.messages.last().arguments();
            QVERIFY2(outcome.at(0) == false && outcome.at(1).toUInt() == uint(before.size())
                         && outcome.at(2).toString().contains(reason),
                     context + ": " + outcome.at(2).toString().toUtf8());
            QVERIFY2(same(stored(true), before), context);
            // The report did reach the server (a dropped POST may come twice:
            // the HTTP client resends it once).
            QTRY_VERIFY2(server().uploadCount() > seen, context);
            for (const QJsonObject &upload : server().readLines().mid(seen)) {
                QVERIFY2(upload["valid"].toBool() && !upload["accepted"].toBool(), context);
                QCOMPARE(upload["fingerprints"].toInt(), int(before.size()));
            }
            seen = server().uploadCount();
        }

        DaemonSignalRecorder status(m_bus->connection(), "fpStatus");
        QCOMPARE(m_service->call("sendStatistics").type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(status.messages.size(), 1);
        QStringList entries = qdbus_cast<QStringList>(status.messages.at(0).arguments().at(0));
        for (QString &entry : entries)
            entry = entry.section(':', 0, 1); // without the radio type
        QStringList storedEntries;            // "birth in ms:mask" of every stored fingerprint
        for (const QVariantList &row :
             m_service->queryRows("SELECT time * 1000 + timeMSecs, dataMask FROM Fingerprint"))
            storedEntries << row[0].toString() + ':' + row[1].toString();
        entries.sort();
        storedEntries.sort();
        QCOMPARE(entries, storedEntries);

        // The next upload that succeeds delivers them once (one born during an upload: tst_fpcbuffermanager).
        QVERIFY(server().setMode("ok"));
        const quint32 from = quint32(QDateTime::currentSecsSinceEpoch());
        QCOMPARE(forcedUpload(), QStringLiteral("Upload to server started"));
        QTRY_COMPARE_WITH_TIMEOUT(received().size(), before.size(), 15000);
        QVERIFY(same(received(), before));
        QTRY_COMPARE(m_service->fingerprintCount(), 0);
        QCOMPARE(server().uploadCount(), seen + 1);
        QTRY_COMPARE(outcomes.messages.size(), attempt + 1);
        QCOMPARE(outcomes.messages.last().arguments(), (QVariantList{true, uint(before.size()), QString()}));

        QTRY_COMPARE(status.messages.size(), 2); // reported after the finished upload
        const QVariantList args = status.messages.at(1).arguments();
        QVERIFY(qdbus_cast<QStringList>(args.at(0)).isEmpty());
        QVERIFY2(args.at(1).toUInt() >= from && args.at(1).toUInt() <= quint32(QDateTime::currentSecsSinceEpoch()),
                 qPrintable(args.at(1).toString()));
        QCOMPARE(args.at(7).toUInt(), quint32(before.size()));
        QCOMPARE(m_service->quit(), 0);
    }

    // Walk past a privacy zone (nothing inside stored, counters match the trace), then geosubmit uploads:
    // 503/no answer/400 keep all (a refused set is not resent unchanged), community_upload_url redirects.
    void privacyZoneGeosubmitAndCommunityUrl()
    {
        QCOMPARE(startWalk({{"privacy_zones", "61.48576,21.797,30"}}), QString());
        QVERIFY(collected());
        const QVariantMap counters = qdbus_cast<QVariantMap>(m_service->call("dropCounters").arguments().value(0));
        QVERIFY2(counters.value("privacyRule").toUInt() >= 3,
                 qPrintable(QString::number(counters.value("privacyRule").toUInt())));
        for (const QVariantList &row : m_service->queryRows("SELECT latitude, longitude FROM Position")) {
            // 30 m is 0.00027 degrees of latitude and 0.00057 of longitude here.
            const double north = (row[0].toDouble() - 61.48576) / 0.00027,
                         east = (row[1].toDouble() - 21.797) / 0.00057;
            QVERIFY2(north * north + east * east > 1.0, qPrintable(row[0].toString() + ' ' + row[1].toString()));
        }
        const auto filterLines = [this](const char *name) {
            return m_service->traceCount(QByteArray("failed to pass filters: \"") + name + '"');
        };
        const struct
        {
            const char *name;
            int traced;
        } expected[] = {
            {"tooFast", m_service->traceCount("FpcCreator::checkSpeed() Speed of the GPS fix is")},
            {"tooClose", m_service->traceCount("FpcCreator::checkDistance() Position too close to previous FP")},
            {"privacyRule",
             m_service->traceCount("FpcCreator::newGpsFix() Fix inside a privacy zone")
                 + m_service->traceCount("FpcCreator::createFingerprint() Newest fix inside a privacy zone")
                 + filterLines("privacyRule")},
            {"batteryRule", m_service->traceCount("too low for WLAN scans")},
            {"noMeasurements", filterLines("noMeasurements")},
            {"evaluator", filterLines("evaluator")},
            {"firstFilter", filterLines("firstFilter")},
            {"secondFilter", filterLines("secondFilter")},
            {"collectionOff", 0},
            {"bufferFull", 0},
            {"dailyLimit", 0},
        };
        for (const auto &reason : expected)
            QVERIFY2(counters.value(reason.name).toUInt() == uint(reason.traced),
                     qPrintable(QStringLiteral("%1: %2 counted, %3 traced")
                                    .arg(reason.name)
                                    .arg(counters.value(reason.name).toUInt())
                                    .arg(reason.traced)));
        const QList<Fp> before = stored();
        QVERIFY2(before.size() >= 3, qPrintable(QString::number(before.size())));
        QVERIFY(writeGateway(QStringLiteral("server_url=%1?key=test\ntransport=geosubmit\nnetwork=wlan")
                                 .arg(server().url("/v2/geosubmit"))));
        DaemonSignalRecorder outcomes(m_bus->connection(), "uploadFinished");
        const auto attempt = [&](const char *mode) {
            server().setMode(QString::fromLatin1(mode));
            const int earlier = outcomes.messages.size();
            if (forcedUpload() != QLatin1String("Upload to server started"))
                return QVariantList{QStringLiteral("not started")};
            return TestSupport::waitFor([&] { return outcomes.messages.size() > earlier; }, 15000)
                       ? outcomes.messages.last().arguments()
                       : QVariantList{QStringLiteral("no outcome")};
        };
        const auto lastPath = [this] { return server().readLines().last()["path"].toString(); };

        for (const char *mode : {"http-error:503", "hang", "http-error:400"}) {
            const QVariantList outcome = attempt(mode);
            QVERIFY2(outcome.value(0) == false && outcome.value(1).toUInt() == uint(before.size()), mode);
            QVERIFY2(same(stored(true), before), mode);
        }
        QCOMPARE(outcomes.messages.last().arguments().at(2).toString(), QStringLiteral("Server.UploadRefused"));
        const int sent = server().uploadCount();
        QCOMPARE(sent, 3);
        for (const QJsonObject &upload : server().readLines())
            QVERIFY2(upload["valid"].toBool() && upload["path"].toString().endsWith("/v2/geosubmit?key=test"),
                     qPrintable(upload["error"].toString()));

        // The refused set unchanged: nothing goes, nothing is lost.
        QVariantList outcome = attempt("ok");
        QVERIFY(outcome.value(0) == false && outcome.value(1).toUInt() == 0);
        QCOMPARE(server().uploadCount(), sent);
        QCOMPARE(m_service->fingerprintCount(), int(before.size()));

        // One more fingerprint changes the set: all go and are deleted.
        QVERIFY(m_service->storeFix(61.4853, 21.7985));
        outcome = attempt("ok");
        QVERIFY(outcome.value(0) == true && outcome.value(1).toUInt() == uint(before.size()) + 1);
        QCOMPARE(m_service->fingerprintCount(), 0);
        const QList<QJsonObject> items = server().readLines("geosubmit.jsonl");
        QCOMPARE(items.size(), int(before.size()) + 1);
        for (const QJsonObject &line : items) {
            const QJsonObject item = line["item"].toObject();
            QVERIFY(item["position"]["latitude"].toDouble() > 61 && item["timestamp"].toInteger() > 1000000000000);
            QVERIFY(!QJsonDocument(item).toJson().contains("ssid"));
        }

        const QString community = server().url("/v2/geosubmit") + "?key=own";
        const auto set = [this](const QString &value) {
            return m_service->call("setConfigurationValue", {"community_upload_url", value}).type()
                   == QDBusMessage::ReplyMessage;
        };
        QVERIFY(set(community));
        QVERIFY(set("ftp://example.org/v2/geosubmit"));
        QVERIFY(set("http:///no-host"));
        QCOMPARE(m_service->configurations().value("community_upload_url"), community);
        QVERIFY(m_service->storeFix(61.4860, 21.7985));
        QCOMPARE(attempt("ok").value(0), QVariant(true));
        QVERIFY(lastPath().endsWith("/v2/geosubmit?key=own"));

        QCOMPARE(m_service->quit(), 0);
        QVERIFY(m_service->start({}, WalkConfig));
        QCOMPARE(m_service->configurations().value("community_upload_url"), community);
        QVERIFY(m_service->storeFix(61.4853, 21.7985));
        QCOMPARE(attempt("ok").value(0), QVariant(true));
        QVERIFY(lastPath().endsWith("/v2/geosubmit?key=own"));

        // Back to the gateway file's server.
        QVERIFY(set(""));
        QVERIFY(m_service->storeFix(61.4860, 21.7985));
        QCOMPARE(attempt("ok").value(0), QVariant(true));
        QVERIFY(lastPath().endsWith("/v2/geosubmit?key=test"));
        QCOMPARE(m_service->quit(), 0);
    }
};

QTEST_GUILESS_MAIN(TstServiceCollection)
#include "tst_service_collection.moc"
