// The demo town (data/town): its routes stay covered by its world, and what they yield passes the evaluator.

#include "FpcFingerprint.h"
#include "FpcMsmEvaluator.h"
#include "FpcPosition.h"
#include "GpxRoute.h"
#include "LogCapture.h"
#include "RadioSurvey.h"
#include "RadioWorld.h"
#include "TestSupport.h"
#include "VomuElementWLAN.h"

#include <QtTest>

static const QString TownDir = QStringLiteral(FPCD_SOURCE_DIR "/data/town/");

class TstTown : public QObject
{
    Q_OBJECT

private slots:
    void routesAreCovered_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<bool>("withWlan"); // the drive asks for WLAN only below 40 km/h
        QTest::addColumn<double>("minMinutes");
        QTest::addColumn<double>("maxMinutes");
        QTest::addColumn<double>("minShareWithThreeAps");
        QTest::newRow("walk") << "walk.gpx" << true << 15.0 << 20.0 << 0.9;
        QTest::newRow("drive") << "drive.gpx" << false << 5.0 << 15.0 << 0.0;
    }

    // Every 10 m: a serving cell, measurements the evaluator takes with and (given three access points) without a
    // position, and on foot three access points at nearly every place.
    void routesAreCovered()
    {
        QFETCH(QString, route);
        QFETCH(bool, withWlan);
        QFETCH(double, minShareWithThreeAps);
        QString error;
        const GpxRoute path = GpxRoute::fromGpxFile(TownDir + route, 5.0, &error);
        QVERIFY2(!path.isEmpty(), qPrintable(error));
        QFETCH(double, minMinutes);
        QFETCH(double, maxMinutes);
        QVERIFY(path.durationSeconds() >= minMinutes * 60 && path.durationSeconds() <= maxMinutes * 60);
        RadioWorld world;
        QVERIFY2(RadioWorld::fromJson(TestSupport::readFile(TownDir + "world.json"), world, &error), qPrintable(error));
        const RadioSurvey survey(world);
        FpcMsmEvaluator evaluator;
        LogCapture quiet(LogCapture::Quiet); // no daemon trace in the output

        int places = 0, withThreeAps = 0, wcdma = 0, gsm = 0;
        const double step = 10.0 / (path.lengthMetres() / path.durationSeconds());
        for (double t = 0; t <= path.durationSeconds(); t += step, ++places) {
            const RouteSample at = path.sampleAt(t);
            const RadioGeoPoint place{at.latitude, at.longitude};
            VomuMeasurements measurements;
            if (auto cell = survey.servingCell(place, 0)) {
                wcdma += cell->elementId() == VomuObservationElement::ElementIdWCDMA;
                gsm += cell->elementId() == VomuObservationElement::ElementIdGSM;
                measurements.append(cell.release());
            }
            const VomuMeasurements scan = withWlan ? survey.accessPoints(place, 0) : VomuMeasurements();
            for (int i = 0; i < scan.count(); ++i)
                measurements.append(new VomuElementWLAN(static_cast<const VomuElementWLAN &>(*scan.element(i))));
            withThreeAps += scan.count() >= 3;

            FpcFingerprint fp;
            fp.setTime(QDateTime::currentDateTimeUtc());
            FpcPosition fix;
            fix.setCoordinate(at.latitude, at.longitude, float(at.elevation));
            fix.setUncertaintyEllipse(0, 6.0, 4.0);
            fix.setAltitudeAccuracy(10.0f);
            fix.setGroundSpeed(quint16(qRound(at.speedKmh)));
            fix.setTimestamp(long(fp.time().toSecsSinceEpoch()));
            fp.setPosition(fix);
            fp.setMeasurements(measurements);
            FpcFingerprint unplaced; // as a timer-born fingerprint
            unplaced.setTime(fp.time());
            unplaced.setMeasurements(measurements);
            const bool accepted =
                evaluator.evaluateEntry(&fp) && (!withWlan || scan.count() < 3 || evaluator.evaluateEntry(&unplaced));
            QVERIFY2(wcdma + gsm == places + 1 && accepted, qPrintable(QStringLiteral("at %1 s").arg(t)));
        }
        QVERIFY2(withThreeAps >= minShareWithThreeAps * places, qPrintable(QString::number(withThreeAps)));
        // The demo's status shows both radios.
        QVERIFY2(wcdma > places / 5 && gsm > places / 10, qPrintable(QStringLiteral("%1 %2").arg(wcdma).arg(gsm)));
    }
};

QTEST_GUILESS_MAIN(TstTown)
#include "tst_town.moc"
