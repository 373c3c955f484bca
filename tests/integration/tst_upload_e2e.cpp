#include "FpServerProcess.h"
#include "GpxRoute.h"
#include "PositioningDaemonSim.h"
#include "ServiceFixture.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QDBusArgument>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

constexpr double NoLatitude = -1000.0;

// One fingerprint as the daemon stored it or as the server decoded it from
// the report: second of birth and the GNSS latitude.
struct Fp
{
    qint64 time = 0;
    double latitude = NoLatitude;
    bool operator<(const Fp &o) const { return time != o.time ? time < o.time : latitude < o.latitude; }
};

// Empty when both hold the same fingerprints (in any order); otherwise the first difference.
QString difference(QList<Fp> got, QList<Fp> expected)
{
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    if (got.size() != expected.size())
        return QStringLiteral("%1 fingerprints instead of %2").arg(got.size()).arg(expected.size());
    for (int i = 0; i < got.size(); ++i) {
        // The report carries the latitude in 2^31 steps of 90 degrees.
        if (got[i].time != expected[i].time || qAbs(got[i].latitude - expected[i].latitude) > 1e-6)
            return QStringLiteral("fingerprint %1: %2 / %3 instead of %4 / %5")
                .arg(i)
                .arg(got[i].time)
                .arg(got[i].latitude, 0, 'f', 7)
                .arg(expected[i].time)
                .arg(expected[i].latitude, 0, 'f', 7);
    }
    return QString();
}

quint32 nowSecs()
{
    return quint32(QDateTime::currentSecsSinceEpoch());
}

} // namespace

// Walk, collect and upload through the gateway stand-in to the server stand-in, which keeps what it decodes.
class TstUploadE2e : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestBus> m_bus;
    std::unique_ptr<ServiceFixture> m_service;
    std::unique_ptr<FpServerProcess> m_server;
    std::unique_ptr<PositioningDaemonSim> m_positioning;
    std::unique_ptr<QSignalSpy> m_walked;

    bool writeGateway(const QString &network)
    {
        return m_service->root().writeFile(
            "/etc/slpgw/slpgw.conf",
            QStringLiteral("server_url=%1\nnetwork=%2\npoll_interval_ms=50\n").arg(m_server->url(), network).toUtf8());
    }

    // Server, gateway, radio world and positioning daemon, then the daemon,
    // whose request for fixes starts the walk along the short route.
    QString start(const QString &network, const ServiceFixture::Items &config = {}, double fixesPerSecond = 10)
    {
        m_server = std::make_unique<FpServerProcess>(m_service->root().path("/server"));
        if (!m_server->start())
            return m_server->errorString();
        if (!writeGateway(network))
            return QStringLiteral("cannot write the gateway configuration");
        QFile worldFile(QStringLiteral(FPCD_SOURCE_DIR "/platform/radio/worlds/example-world.json"));
        if (!worldFile.open(QIODevice::ReadOnly))
            return QStringLiteral("no radio world");
        QJsonObject world = QJsonDocument::fromJson(worldFile.readAll()).object();
        world["wlanScanDelayMs"] = 20;
        if (!m_service->root().writeFile("/world.json", QJsonDocument(world).toJson()))
            return QStringLiteral("cannot write the radio world");
        m_service->daemon().setEnv("FPCD_RADIO_WORLD", m_service->root().path("/world.json"));

        QString error;
        const GpxRoute route =
            GpxRoute::fromGpxFile(FPCD_SOURCE_DIR "/tools/fpcsim/examples/short-walk.gpx", 5.0, &error);
        if (!error.isEmpty())
            return error;
        m_positioning = std::make_unique<PositioningDaemonSim>(m_bus->connection());
        if (!m_positioning->registerOnBus(&error))
            return error;
        // 13 fixes about 14 m apart, 10 route seconds each.
        m_positioning->setWalker(RouteWalker(route, fixesPerSecond, fixesPerSecond * 10));
        m_walked = std::make_unique<QSignalSpy>(m_positioning.get(), &PositioningDaemonSim::walkFinished);
        const ServiceFixture::Items base{{"min_distance_between_consecutive_positions", "10"},
                                         {"max_distance_to_new_fp", "5"},
                                         {"wlan_scan_interval", "0"}};
        if (!m_service->start({}, base + config))
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
        for (const QJsonObject &line : m_server->readLines("fingerprints.jsonl")) {
            Fp fp{line["time"].toInteger(), NoLatitude};
            for (const QJsonValue element : line["elements"].toArray()) {
                if (element["kind"] == QLatin1String("GNSS"))
                    fp.latitude = element["latitude"].toDouble();
            }
            fps << fp;
        }
        return fps;
    }

    QString forcedUpload() { return m_service->call("forcedUpload").arguments().value(0).toString(); }

    // "birth in ms:mask" of every stored fingerprint, as the status report lists them.
    QStringList storedStatusEntries()
    {
        QStringList entries;
        for (const QVariantList &row :
             m_service->queryRows("SELECT time * 1000 + timeMSecs, dataMask FROM Fingerprint"))
            entries << row[0].toString() + ':' + row[1].toString();
        entries.sort();
        return entries;
    }

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TestBus>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    }
    void init() { m_service = std::make_unique<ServiceFixture>(*m_bus); }
    void cleanup()
    {
        m_server.reset();
        m_service.reset();
        m_walked.reset();
        m_positioning.reset();
        QVERIFY(m_bus->waitForNameGone(DaemonProcess::ServiceName));
    }

    void forcedUploadDeliversTheWholeBuffer()
    {
        const QString error = start("wlan");
        QVERIFY2(error.isEmpty(), qPrintable(error));
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

        DaemonSignalRecorder status(m_bus->connection(), "fpStatus");
        QCOMPARE(m_service->call("sendStatistics").type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(status.messages.size(), 1);
        QStringList entries = qdbus_cast<QStringList>(status.messages.at(0).arguments().at(0));
        for (QString &entry : entries)
            entry = entry.section(':', 0, 1); // without the radio type
        entries.sort();
        QCOMPARE(entries, storedStatusEntries());

        DaemonSignalRecorder outcomes(m_bus->connection(), "uploadFinished");
        const quint32 from = nowSecs();
        QCOMPARE(forcedUpload(), QStringLiteral("Upload to server started"));
        QTRY_COMPARE_WITH_TIMEOUT(received().size(), before.size(), 15000);
        QCOMPARE(difference(received(), before), QString());
        QTRY_COMPARE(m_service->fingerprintCount(), 0);

        QTRY_COMPARE(status.messages.size(), 2); // reported after the finished upload
        const QVariantList args = status.messages.at(1).arguments();
        QVERIFY(qdbus_cast<QStringList>(args.at(0)).isEmpty());
        QVERIFY2(args.at(1).toUInt() >= from && args.at(1).toUInt() <= nowSecs(), qPrintable(args.at(1).toString()));
        QCOMPARE(args.at(7).toUInt(), quint32(before.size()));
        QTRY_COMPARE(outcomes.messages.size(), 1);
        QCOMPARE(outcomes.messages.at(0).arguments(), (QVariantList{true, uint(before.size()), QString()}));
        const QList<QJsonObject> uploads = m_server->readLines();
        QCOMPARE(uploads.size(), 1);
        QCOMPARE(uploads.at(0)["valid"].toBool(), true);
        QCOMPARE(m_service->quit(), 0);
    }

    // Along a walk past a privacy zone (30 m around the route's corner),
    // nothing inside it is stored, and the counters the daemon reports equal
    // the drops its trace shows.
    void dropCountersMatchTheTrace()
    {
        const QString error = start("home", {{"privacy_zones", "61.48576,21.797,30"}});
        QVERIFY2(error.isEmpty(), qPrintable(error));
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
        QCOMPARE(m_service->quit(), 0);
    }

    // To a community server the gateway sends the fingerprints with a fix
    // as gzip geosubmit JSON, which the server checks against the format.
    // 503 and no answer keep everything for the next try; 400 keeps it too
    // but the same set is not sent again until it changes; 200 deletes what
    // went.
    void geosubmitOutcomes()
    {
        const QString error = start("wlan", {{"slpgw_connection_timeout", "3000"}});
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(collected());
        const QList<Fp> before = stored();
        QVERIFY2(before.size() >= 3, qPrintable(QString::number(before.size())));
        QVERIFY(m_service->root().writeFile(
            "/etc/slpgw/slpgw.conf",
            QStringLiteral("server_url=%1?key=test\ntransport=geosubmit\nnetwork=wlan\npoll_interval_ms=50\n")
                .arg(m_server->url("/v2/geosubmit"))
                .toUtf8()));
        DaemonSignalRecorder outcomes(m_bus->connection(), "uploadFinished");
        int attempts = 0;
        const auto attempt = [&](const char *mode) {
            m_server->setMode(QString::fromLatin1(mode));
            if (forcedUpload() != QLatin1String("Upload to server started"))
                return QVariantList{QStringLiteral("not started")};
            ++attempts;
            return TestSupport::waitFor([&] { return outcomes.messages.size() == attempts; }, 15000)
                       ? outcomes.messages.last().arguments()
                       : QVariantList{QStringLiteral("no outcome")};
        };

        for (const char *mode : {"http-error:503", "hang", "http-error:400"}) {
            const QVariantList outcome = attempt(mode);
            QVERIFY2(outcome.value(0) == false && outcome.value(1).toUInt() == uint(before.size()), mode);
            QCOMPARE(difference(stored(true), before), QString());
        }
        QCOMPARE(outcomes.messages.last().arguments().at(2).toString(), QStringLiteral("Server.UploadRefused"));
        const int sent = m_server->uploadCount();
        QCOMPARE(sent, 3);
        for (const QJsonObject &upload : m_server->readLines())
            QVERIFY2(upload["valid"].toBool() && upload["path"].toString().endsWith("/v2/geosubmit?key=test"),
                     qPrintable(upload["error"].toString()));

        // The refused set unchanged: nothing goes, nothing is lost.
        QVariantList outcome = attempt("ok");
        QVERIFY(outcome.value(0) == false && outcome.value(1).toUInt() == 0);
        QCOMPARE(m_server->uploadCount(), sent);
        QCOMPARE(m_service->fingerprintCount(), int(before.size()));

        // One more fingerprint changes the set: all go and are deleted.
        PositionFix fix;
        fix.lat = 61.4853;
        fix.lon = 21.7985;
        fix.setTime(QDateTime::currentDateTimeUtc());
        QCOMPARE(m_positioning->sendFix(fix), QString());
        QTRY_COMPARE(m_service->fingerprintCount(), int(before.size()) + 1);
        outcome = attempt("ok");
        QVERIFY(outcome.value(0) == true && outcome.value(1).toUInt() == uint(before.size()) + 1);
        QCOMPARE(m_service->fingerprintCount(), 0);
        const QList<QJsonObject> items = m_server->readLines("geosubmit.jsonl");
        QCOMPARE(items.size(), int(before.size()) + 1);
        for (const QJsonObject &line : items) {
            const QJsonObject item = line["item"].toObject();
            QVERIFY(item["position"]["latitude"].toDouble() > 61 && item["timestamp"].toInteger() > 1000000000000);
            QVERIFY(!QJsonDocument(item).toJson().contains("ssid"));
        }
        QCOMPARE(m_service->quit(), 0);
    }

    // community_upload_url sends uploads to a community server as geosubmit
    // instead of the gateway file's server, also after a restart; a value
    // that is no http(s) URL changes nothing; empty returns to the file's.
    void communityUploadUrlOverridesTheGateway()
    {
        QVERIFY2(start("wlan").isEmpty(), "start");
        QVERIFY(collected());
        const int stored = m_service->fingerprintCount();
        const QString community = m_server->url("/v2/geosubmit") + "?key=own";
        const auto set = [this](const QString &value) {
            return m_service->call("setConfigurationValue", {"community_upload_url", value}).type()
                   == QDBusMessage::ReplyMessage;
        };
        const auto configured = [this] { return m_service->call("configurations").arguments().value(0).toString(); };
        DaemonSignalRecorder outcomes(m_bus->connection(), "uploadFinished");
        // How many fingerprints a successful upload sent, -1 when it failed.
        const auto upload = [&] {
            const int before = outcomes.messages.size();
            const bool ok = forcedUpload() == QLatin1String("Upload to server started")
                            && TestSupport::waitFor([&] { return outcomes.messages.size() > before; }, 15000)
                            && outcomes.messages.last().arguments().value(0).toBool();
            return ok ? outcomes.messages.last().arguments().value(1).toInt() : -1;
        };
        const auto geosubmitted = [this] { return int(m_server->readLines("geosubmit.jsonl").size()); };
        const auto newFingerprint = [this](double lat) {
            PositionFix fix;
            fix.lat = lat;
            fix.lon = 21.7985;
            fix.setTime(QDateTime::currentDateTimeUtc());
            const int before = m_service->fingerprintCount();
            return m_positioning->sendFix(fix).isEmpty()
                   && TestSupport::waitFor([&] { return m_service->fingerprintCount() == before + 1; }, 10000);
        };

        QVERIFY(set(community));
        QVERIFY(set("ftp://example.org/v2/geosubmit"));
        QVERIFY(set("http:///no-host"));
        QVERIFY(configured().contains(community.toHtmlEscaped()));
        QCOMPARE(upload(), stored);
        QCOMPARE(geosubmitted(), stored);
        QVERIFY(m_server->readLines().last()["path"].toString().endsWith("/v2/geosubmit?key=own"));

        QCOMPARE(m_service->quit(), 0);
        QVERIFY(m_service->start({}, {{"min_distance_between_consecutive_positions", "10"},
                                      {"max_distance_to_new_fp", "5"},
                                      {"wlan_scan_interval", "0"}}));
        QVERIFY(configured().contains(community.toHtmlEscaped()));
        QVERIFY(newFingerprint(61.4853));
        const int sent = upload();
        QVERIFY(sent >= 1);
        QCOMPARE(geosubmitted(), stored + sent);

        // Back to the gateway file's binary report to its own server.
        QVERIFY(set(""));
        QVERIFY(newFingerprint(61.4860));
        QCOMPARE(m_server->readLines("fingerprints.jsonl").size(), 0);
        QVERIFY(upload() >= 1);
        QCOMPARE(geosubmitted(), stored + sent);
        QVERIFY(m_server->readLines("fingerprints.jsonl").size() >= 1);
        QCOMPARE(m_service->quit(), 0);
    }

    // Whatever goes wrong after the report was built, its fingerprints stay, unexported, for the next upload.
    void failedUploadsLoseNothing()
    {
        const QString error = start("wlan", {{"slpgw_connection_timeout", "3000"}});
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(collected());
        const QList<Fp> before = stored();
        QVERIFY2(before.size() >= 3, qPrintable(QString::number(before.size())));

        const struct
        {
            const char *mode;
            const char *reason; // in the error the service object is told
        } failures[] = {
            {"fail", "\"Server.UploadFailed\""},
            {"hang", "timeout when waiting reply from SLPGW API"},
            {"drop", "ErrorCallback() status: 2206 SLPGW_ERR_EARLY_DISCONNECT"},
        };
        DaemonSignalRecorder outcomes(m_bus->connection(), "uploadFinished");
        int attempt = 0;
        int seen = 0; // uploads the server has received
        for (const auto &failure : failures) {
            ++attempt;
            const QByteArray context = QByteArray("server mode ") + failure.mode;
            QVERIFY2(m_server->setMode(failure.mode), context);
            QCOMPARE(forcedUpload(), QStringLiteral("Upload to server started"));
            QVERIFY2(m_service->waitForTrace("FpcEventHandler::onUploadError() ->", attempt), context);
            const QList<QByteArray> lines = m_service->trace().split('\n');
            const auto last = std::find_if(lines.rbegin(), lines.rend(), [](const QByteArray &line) {
                return line.contains("FpcEventHandler::onUploadError() ") && line.endsWith(" <-");
            });
            const QByteArray error = last == lines.rend() ? QByteArray("no error line") : *last;
            QVERIFY2(error.contains(failure.reason), context + ": " + error);
            // Bus clients learn the same: failed, with the fingerprints the attempt carried.
            QTRY_COMPARE(outcomes.messages.size(), attempt);
            const QVariantList outcome = outcomes.messages.last().arguments();
            QVERIFY2(outcome.at(0) == false && outcome.at(1).toUInt() == uint(before.size())
                         && outcome.at(2).toString().contains(QString::fromLatin1(failure.reason).remove('"')),
                     context);
            QVERIFY2(difference(stored(true), before).isEmpty(),
                     context + ": " + difference(stored(true), before).toUtf8());
            // The report did reach the server (a dropped POST may come twice:
            // the HTTP client resends it once).
            QTRY_VERIFY2(m_server->uploadCount() > seen, context);
            for (const QJsonObject &upload : m_server->readLines().mid(seen)) {
                QVERIFY2(upload["valid"].toBool() && !upload["accepted"].toBool(), context);
                QCOMPARE(upload["fingerprints"].toInt(), int(before.size()));
            }
            seen = m_server->uploadCount();
        }

        // The next upload that succeeds delivers them once (one born during an upload: tst_fpcbuffermanager).
        QVERIFY(m_server->setMode("ok"));
        QCOMPARE(forcedUpload(), QStringLiteral("Upload to server started"));
        QTRY_COMPARE_WITH_TIMEOUT(received().size(), before.size(), 15000);
        QCOMPARE(difference(received(), before), QString());
        QTRY_COMPARE(m_service->fingerprintCount(), 0);
        QCOMPARE(m_server->uploadCount(), seen + 1);
        QCOMPARE(m_service->quit(), 0);
    }
};

QTEST_GUILESS_MAIN(TstUploadE2e)
#include "tst_upload_e2e.moc"
