// The demo town (data/town): its routes stay covered by its world, and what they yield passes the evaluator.

#include "FpcFingerprint.h"
#include "FpcMsmEvaluator.h"
#include "FpcPosition.h"
#include "GpxRoute.h"
#include "LogCapture.h"
#include "RadioSurvey.h"
#include "RadioWorld.h"
#include "VomuElementWLAN.h"

#include <QFile>
#include <QtTest>

#include <memory>

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

} // namespace

class TstTown : public QObject
{
    Q_OBJECT

private slots:
    void routesAreCovered_data();
    void routesAreCovered();
};

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
    auto quiet = std::make_unique<LogCapture>(LogCapture::Quiet); // no daemon trace in the output

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
            quiet.reset();
            QFAIL(qPrintable(QStringLiteral("%1 at %2 s (%3, %4): %5 cells, %6 access points, evaluator %7/%8")
                                 .arg(route)
                                 .arg(t)
                                 .arg(at.latitude, 0, 'f', 6)
                                 .arg(at.longitude, 0, 'f', 6)
                                 .arg(wcdma + gsm - places)
                                 .arg(aps)
                                 .arg(accepted)
                                 .arg(acceptedUnplaced)));
        }
    }
    quiet.reset();
    QVERIFY2(withThreeAps >= minShareWithThreeAps * places,
             qPrintable(
                 QStringLiteral("three or more access points at %1 of %2 places").arg(withThreeAps).arg(places)));
    // The demo's status shows both radios.
    QVERIFY2(wcdma > places / 5 && gsm > places / 10,
             qPrintable(QStringLiteral("serving WCDMA %1, GSM %2").arg(wcdma).arg(gsm)));
}

QTEST_GUILESS_MAIN(TstTown)
#include "tst_town.moc"
