// The simulated town of the demo (data/town): its routes must stay covered by
// the cells and access points of its world, and the fingerprints taken along
// them must get through the evaluator, the filters and into the buffer.

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcCreator.h"
#include "FpcFingerprint.h"
#include "FpcMsmEvaluator.h"
#include "FpcPosition.h"
#include "GpxRoute.h"
#include "RadioSurvey.h"
#include "RadioWorld.h"
#include "TempBuffer.h"
#include "VomuElementWLAN.h"

#include <QFile>
#include <QtTest>

namespace {

const QString TownDir = QStringLiteral(FPCD_SOURCE_DIR "/data/town/");

RadioWorld loadWorld()
{
    QFile file(TownDir + QStringLiteral("world.json"));
    RadioWorld world;
    QString error;
    if (!file.open(QIODevice::ReadOnly) || !RadioWorld::fromJson(file.readAll(), world, &error))
        qWarning() << "town world not loaded:" << file.fileName() << error;
    return world;
}

GpxRoute loadRoute(const QString &name)
{
    QString error;
    const GpxRoute route = GpxRoute::fromGpxFile(TownDir + name, 5.0, &error);
    if (route.isEmpty())
        qWarning() << "route not loaded:" << name << error;
    return route;
}

// The serving cell and the access points heard at one place, in the order the
// collector delivers them.
VomuMeasurements measure(const RadioSurvey &survey, const RouteSample &at, bool withWlan)
{
    VomuMeasurements measurements;
    const RadioGeoPoint place{at.latitude, at.longitude};
    if (auto cell = survey.servingCell(place, 0))
        measurements.append(cell.release());
    if (withWlan) {
        const VomuMeasurements scan = survey.accessPoints(place, 0);
        for (int i = 0; i < scan.count(); ++i)
            measurements.append(new VomuElementWLAN(static_cast<const VomuElementWLAN &>(*scan.element(i))));
    }
    return measurements;
}

FpcPosition fixAt(const RouteSample &at, const QDateTime &time)
{
    FpcPosition fix;
    fix.setCoordinate(at.latitude, at.longitude, float(at.elevation));
    fix.setUncertaintyEllipse(0, 6.0, 4.0);
    fix.setAltitudeAccuracy(10.0f);
    fix.setGroundSpeed(quint16(qRound(at.speedKmh)));
    fix.setTimestamp(long(time.toSecsSinceEpoch()));
    return fix;
}

int countOf(const VomuMeasurements &measurements, int elementId)
{
    int n = 0;
    for (int i = 0; i < measurements.count(); ++i)
        n += measurements.element(i)->elementId() == elementId;
    return n;
}

// The daemon's trace is not wanted in the test output.
void dropDebug(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtDebugMsg)
        qt_message_output(type, context, text);
}

} // namespace

class TstTown : public QObject
{
    Q_OBJECT

private slots:
    void worldHasTheAdvertisedRadios();
    void routesAreCovered_data();
    void routesAreCovered();
    void walkFillsTheBuffer();
};

void TstTown::worldHasTheAdvertisedRadios()
{
    const RadioWorld world = loadWorld();
    QVERIFY(world.gsmCells().size() >= 4);
    QVERIFY(world.wcdmaCells().size() >= 3);
    QVERIFY(world.accessPoints().size() >= 36);
    int eui64 = 0;
    for (const RadioWorld::AccessPoint &ap : world.accessPoints())
        eui64 += ap.mac.is64Bit();
    QVERIFY(eui64 >= 3);
    QVERIFY(eui64 < int(world.accessPoints().size()) / 2);
    QVERIFY(world.followPositionMessages());
}

void TstTown::routesAreCovered_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<bool>("withWlan");
    QTest::addColumn<double>("minMinutes");
    QTest::addColumn<double>("maxMinutes");
    QTest::addColumn<double>("minShareWithThreeAps");
    QTest::newRow("walk") << "walk.gpx" << true << 15.0 << 20.0 << 0.9;
    // The drive asks for WLAN only below 40 km/h; access points are a bonus there.
    QTest::newRow("drive") << "drive.gpx" << false << 5.0 << 15.0 << 0.0;
}

// Every 10 m: a serving cell, measurements the evaluator takes, and (on
// foot) at least three access points at nearly every place.
void TstTown::routesAreCovered()
{
    QFETCH(QString, route);
    QFETCH(bool, withWlan);
    QFETCH(double, minMinutes);
    QFETCH(double, maxMinutes);
    QFETCH(double, minShareWithThreeAps);

    const GpxRoute path = loadRoute(route);
    QVERIFY(!path.isEmpty());
    QVERIFY(path.durationSeconds() >= minMinutes * 60 && path.durationSeconds() <= maxMinutes * 60);
    const RadioSurvey survey(loadWorld());
    FpcMsmEvaluator evaluator;
    const QtMessageHandler previous = qInstallMessageHandler(dropDebug);

    int places = 0, withThreeAps = 0, wcdma = 0, gsm = 0;
    const double step = 10.0 / (path.lengthMetres() / path.durationSeconds());
    for (double t = 0; t <= path.durationSeconds(); t += step, ++places) {
        const RouteSample at = path.sampleAt(t);
        const VomuMeasurements measurements = measure(survey, at, withWlan);
        const int aps = countOf(measurements, VomuObservationElement::ElementIdWLAN);
        wcdma += countOf(measurements, VomuObservationElement::ElementIdWCDMA);
        gsm += countOf(measurements, VomuObservationElement::ElementIdGSM);
        withThreeAps += aps >= 3;

        FpcFingerprint fp;
        fp.setTime(QDateTime::currentDateTimeUtc());
        fp.setPosition(fixAt(at, fp.time()));
        fp.setMeasurements(measurements);
        // Without its position, too: a timer-born fingerprint needs the
        // cell and three access points.
        FpcFingerprint unplaced;
        unplaced.setTime(fp.time());
        unplaced.setMeasurements(measurements);
        const bool accepted = evaluator.evaluateEntry(&fp);
        const bool acceptedUnplaced = !withWlan || aps < 3 || evaluator.evaluateEntry(&unplaced);
        if (wcdma + gsm != places + 1 || !accepted || !acceptedUnplaced) {
            qInstallMessageHandler(previous);
            QFAIL(qPrintable(QStringLiteral("%1 at %2 s (%3, %4): %5 cells, %6 access points, evaluator %7/%8")
                                 .arg(route).arg(t).arg(at.latitude, 0, 'f', 6).arg(at.longitude, 0, 'f', 6)
                                 .arg(wcdma + gsm - places).arg(aps).arg(accepted).arg(acceptedUnplaced)));
        }
    }
    qInstallMessageHandler(previous);
    QVERIFY2(withThreeAps >= minShareWithThreeAps * places,
             qPrintable(QStringLiteral("three or more access points at %1 of %2 places").arg(withThreeAps).arg(places)));
    // The demo's status shows both radios.
    QVERIFY2(wcdma > places / 5 && gsm > places / 10,
             qPrintable(QStringLiteral("serving WCDMA %1, GSM %2").arg(wcdma).arg(gsm)));
}

// The walk replayed the way the demo runs it (a fix every 10 s of route time)
// through the real creator, filters and buffer: most places 30 m apart
// leave a fingerprint behind, with and without WLAN neighbours alike.
void TstTown::walkFillsTheBuffer()
{
    TempBuffer buffer;
    QVERIFY(buffer.isValid());
    const GpxRoute path = loadRoute(QStringLiteral("walk.gpx"));
    QVERIFY(!path.isEmpty());
    const RadioSurvey survey(loadWorld());
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-qint64(path.durationSeconds()) - 60);
    QDateTime now = start;

    FpcCreator creator;
    creator.setClock([&now] { return now; });
    bool wanted = false, wantsWlan = false;
    connect(&creator, &FpcCreator::collectMeasurements, this, [&](const bool &needWlan) {
        wanted = true;
        wantsWlan = needWlan;
    });
    connect(&creator, &FpcCreator::fingerprintCreated, this, [&](const FpcFingerprint &fp) {
        creator.fingerprintStored(TempBuffer::store(fp));
    });

    const QtMessageHandler previous = qInstallMessageHandler(dropDebug);
    for (double t = 0; t <= path.durationSeconds(); t += 10.0) {
        now = start.addMSecs(qint64(t * 1000));
        const RouteSample at = path.sampleAt(t);
        wanted = false;
        creator.newGpsFix(fixAt(at, now));
        if (wanted)
            creator.newMeasurements(measure(survey, at, wantsWlan));
    }
    QList<FpcFingerprint *> stored;
    TempBuffer::buffer().getFingerprintsOnly(stored);
    qInstallMessageHandler(previous);

    int withWlan = 0, wcdma = 0;
    for (const FpcFingerprint *fp : std::as_const(stored)) {
        withWlan += bool(fp->dataMask() & FpcFingerprint::WLAN);
        wcdma += fp->radioType() == FpcFingerprint::RadioWCDMA;
    }
    const int count = stored.size();
    qDeleteAll(stored);
    const int spots = int(path.lengthMetres() / 30.0);
    QVERIFY2(count >= spots * 2 / 3,
             qPrintable(QStringLiteral("%1 fingerprints stored for %2 spots 30 m apart").arg(count).arg(spots)));
    QCOMPARE(withWlan, count);
    QVERIFY2(wcdma > 0 && wcdma < count, qPrintable(QStringLiteral("%1 of %2 under WCDMA").arg(wcdma).arg(count)));
}

QTEST_GUILESS_MAIN(TstTown)
#include "tst_town.moc"
