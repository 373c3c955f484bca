#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "LogCapture.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace {

FpcPosition at(double latitude, double longitude)
{
    FpcPosition p;
    p.setCoordinate(latitude, longitude);
    return p;
}

// An element kind the daemon does not know.
class ForeignElement : public VomuObservationElement
{
public:
    explicit ForeignElement(int id) : VomuObservationElement(id) {}
    VomuObservationElement *clone() const override { return new ForeignElement(*this); }
    bool internalize(const std::string &) override { return false; }
};

VomuElementWCDMA *wcdma(uint32_t ucId, int neighbours)
{
    auto *cell = new VomuElementWCDMA;
    cell->setUcId(ucId);
    for (int i = 0; i < neighbours; ++i)
        cell->appendNeighbourCell(VomuElementWCDMA::NeighbourCell());
    return cell;
}

VomuElementWLAN *wlan(uint8_t lastByte)
{
    const uint8_t bytes[6] = {0x0a, 0x01, 0x02, 0x03, 0x04, lastByte};
    auto *ap = new VomuElementWLAN;
    ap->setMac(VomuWlanMacAddress(bytes, 6));
    ap->setPowerRx(-40);
    return ap;
}

VomuMeasurements measurements(std::initializer_list<VomuObservationElement *> elements)
{
    VomuMeasurements m;
    for (VomuObservationElement *e : elements)
        m.append(e);
    return m;
}

// The cell's UC-ID, then the last address byte of each access point.
QString ids(const FpcFingerprint &fp)
{
    const VomuMeasurements all = fp.measurements();
    QStringList out{QString::number(static_cast<const VomuElementWCDMA *>(all.element(0))->ucId())};
    for (int i = 1; i < all.count(); ++i)
        out << QString::number(static_cast<const VomuElementWLAN *>(all.element(i))->mac().macByte(7));
    return out.join(' ');
}

// Data mask / radio type / cell elements / access points.
QString summary(const FpcFingerprint &fp)
{
    return QStringLiteral("%1/%2/%3/%4")
        .arg(fp.dataMask())
        .arg(fp.radioType())
        .arg(fp.cellMeasurements().count())
        .arg(fp.wlanMeasurements().count());
}

} // namespace

// Position encodings of the report and the fingerprint's measurement merging.
class TstModel : public QObject
{
    Q_OBJECT

private slots:
    void normalisation()
    {
        const qint32 min = std::numeric_limits<qint32>::min(), max = std::numeric_limits<qint32>::max();
        const struct
        {
            double latitude, longitude;
            qint32 latNorm, lonNorm;
            bool valid;
        } cases[] = {
            {90, 180, max, max, true},
            {-90, -180, min, min, true},
            {45, -90, 1073741824, -1073741824, true},
            {-1e-9, 1e-9, -1, 0, true}, // floors toward minus
            {90.0001, 0, max, 0, false},
            {0, -1000, 0, min, false},
            {NAN, NAN, 0, 0, true}, // undefined fails neither range test
        };
        for (const auto &c : cases) {
            const FpcPosition p = at(c.latitude, c.longitude);
            const QString label = QStringLiteral("%1, %2").arg(c.latitude).arg(c.longitude);
            QVERIFY2(p.latitudeNormalized() == c.latNorm && p.longitudeNormalized() == c.lonNorm, qPrintable(label));
            QVERIFY2(p.isValid() == c.valid, qPrintable(label));
        }
    }

    void kValueAndAltitude()
    {
        // K codes: negative, log-of-zero and NaN distances give 0, large ones saturate.
        const QList<QPair<double, int>> kValues =
            {{0, 0}, {5, 35}, {1000, 255}, {-10, 0}, {-5, 0}, {NAN, 0}, {5 * (std::pow(1.02, 254) - 1), 254}};
        for (const auto &[metres, k] : kValues)
            QVERIFY2(FpcPosition::kValue(metres) == k, qPrintable(QString::number(metres)));
        // Altitudes round half up and clamp to 16 bits; undefined is 32767.
        const QList<QPair<float, int>> altitudes = {{NAN, 32767},    {32766.4f, 32766}, {1e9f, 32767}, {-32768, -32768},
                                                    {-1e9f, -32768}, {-1.5f, -1},       {-1.6f, -2}};
        for (const auto &[altitude, expected] : altitudes) {
            FpcPosition p;
            p.setAltitude(altitude);
            QVERIFY2(p.altitudeInt16() == expected, qPrintable(QString::number(altitude)));
        }
    }

    // The mask bits and the CEP68 behind them; a measured CEP68 wins over the ellipse.
    void uncertaintyMaskAndCep68()
    {
        const float nan = NAN, fromEllipse = float(30.0 * 0.7548);
        const struct
        {
            long timestamp;
            float cep;
            int angle;
            float altitude, altitudeAccuracy;
            int mask;
            const char *line;
            float cep68;
        } cases[] = {
            {1700000000, 5, 0, 10, 3, 7, "CEP68 present", 5},
            {1700000000, nan, 180, nan, nan, 1, "Confidence ellipse present", fromEllipse},
            {0, nan, 181, 10, nan, 0, "ERROR: CEP68 is not defined", fromEllipse},
            {0, 5, 90, 10, nan, 2, "Altitude accuracy not present", 5},
            {0, nan, 0, nan, nan, 0, "ERROR: CEP68 is not defined", nan}, // nothing defined
        };
        for (const auto &c : cases) {
            FpcPosition p;
            p.setTimestamp(c.timestamp);
            p.setHorizontalAccuracy(c.cep);
            if (c.angle)
                p.setUncertaintyEllipse(quint8(c.angle), 20.0, 10.0);
            p.setAltitude(c.altitude);
            p.setAltitudeAccuracy(c.altitudeAccuracy);
            const LogCapture log;
            QCOMPARE(int(p.uncertainty()), c.mask);
            QVERIFY2(log.contains(c.line), qPrintable(log.lines().join('\n')));
            QCOMPARE(p.cep68(), c.cep68);
        }
    }

    void gpsTimeAndDistance()
    {
        FpcPosition p;
        p.setTimestamp(1);
        p.setTimestampMicroseconds(1999);
        QCOMPARE(p.gpsTimeMSecs(), quint64(62167219200000ULL + 1000 + 1));
        QCOMPARE(p.dateTime(), QDateTime::fromMSecsSinceEpoch(1001, Qt::UTC));
        p.setTimestamp(0); // no GPS time, whatever the microseconds say
        QCOMPARE(p.gpsTimeMSecs(), quint64(0));
        p.setTimestamp(std::numeric_limits<long>::max());
        QCOMPARE(p.gpsTimeMSecs(), quint64(0));

        QCOMPARE(at(60.1699, 24.9384).distanceTo(at(60.1699, 24.9384)), 0.0);
        QVERIFY(std::isnan(FpcPosition().distanceTo(at(60, 25))));
        const double degree = at(10, 20).distanceTo(at(11, 20));
        QVERIFY2(std::abs(degree - 111195.084) < 0.01, qPrintable(QString::number(degree)));
        QVERIFY(std::abs(at(0, 0).distanceTo(at(0, 180)) - M_PI * 6371009) < 0.01);
    }

    void measurementSequence()
    {
        FpcFingerprint fp;
        fp.setPosition(FpcPosition());
        fp.setMeasurements(measurements({wcdma(1, 2), wlan(1), wlan(2)}));
        QCOMPARE(summary(fp), "15/1/1/2");
        // WLAN only: the access points are replaced, the cell and radio type stay.
        fp.setMeasurements(measurements({wlan(3)}));
        QCOMPARE(summary(fp), "15/1/1/1");
        QCOMPARE(ids(fp), "1 3");
        // A GSM cell without neighbours replaces the cell; bits are never cleared.
        fp.setMeasurements(measurements({new VomuElementGSM}));
        QCOMPARE(summary(fp), "15/2/1/1");
        QCOMPARE(fp.cellMeasurements().element(0)->elementId(), 1);

        // Cells without neighbours into a fresh fingerprint: Cell alone; the last cell sets the radio type.
        FpcFingerprint cellsOnly;
        cellsOnly.setMeasurements(measurements({wcdma(5, 0), new VomuElementGSM}));
        QCOMPARE(summary(cellsOnly), "2/2/2/0");
        // Unknown kinds (3, 0, 5) and an element claiming GSM that is not one are skipped.
        FpcFingerprint foreign;
        foreign.setMeasurements(
            measurements({new ForeignElement(3), new ForeignElement(0), new ForeignElement(5), new ForeignElement(1)}));
        QCOMPARE(summary(foreign), "0/0/0/0");
    }

    void copiesOutliveSource()
    {
        auto source = std::make_unique<FpcFingerprint>();
        source->setMeasurements(measurements({wcdma(42, 1), wlan(7)}));
        source->setId(5);
        source->setRadioType(2);
        QObject parent;
        source->setParent(&parent);

        const FpcFingerprint copy(*source);
        FpcFingerprint assigned;
        assigned = *source;
        assigned = assigned;
        source.reset();
        for (const FpcFingerprint *fp : {&copy, const_cast<const FpcFingerprint *>(&assigned)}) {
            QVERIFY(!fp->parent() && fp->id() == 5);
            QCOMPARE(summary(*fp), "14/2/1/1");
            QCOMPARE(ids(*fp), "42 7");
        }

        // Fingerprints and their parts travel in queued signals and variants by these names.
        FpcFingerprint::registerMetaTypes();
        for (const char *name : {"FpcFingerprint", "FpcPosition", "VomuMeasurements"})
            QVERIFY2(QMetaType::fromName(name).isValid(), name);
    }
};

QTEST_GUILESS_MAIN(TstModel)
#include "tst_model.moc"
