#include "FpcFingerprint.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QtTest>

#include <memory>

namespace {

QStringList captured;
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured << message;
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

uint32_t ucIdOf(const VomuObservationElement *e)
{
    return static_cast<const VomuElementWCDMA *>(e)->ucId();
}

uint8_t lastMacByte(const VomuObservationElement *e)
{
    return static_cast<const VomuElementWLAN *>(e)->mac().macByte(7);
}

class Sender : public QObject
{
    Q_OBJECT
signals:
    void created(FpcFingerprint fingerprint);
};

} // namespace

class TstFpcFingerprint : public QObject
{
    Q_OBJECT

private slots:
    void newFingerprint()
    {
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const FpcFingerprint fp;
        QCOMPARE(fp.id(), qint64(0));
        QCOMPARE(fp.dataMask(), quint8(0));
        QCOMPARE(fp.radioType(), 0);
        QVERIFY(!fp.hasPosition() && !fp.hasMeasurements());
        QCOMPARE(fp.measurements().count(), 0);
        QVERIFY(fp.time() >= before && fp.time() <= QDateTime::currentDateTimeUtc());
        QVERIFY(!fp.parent());
    }

    void measurementSequence()
    {
        FpcFingerprint fp;
        fp.setPosition(FpcPosition());
        VomuMeasurements first;
        first.append(wcdma(1, 2));
        first.append(wlan(1));
        first.append(wlan(2));
        fp.setMeasurements(first);
        QCOMPARE(fp.dataMask(), quint8(15));
        QCOMPARE(fp.radioType(), 1);

        // WLAN only: the access points are replaced, the cell and radio type stay.
        VomuMeasurements second;
        second.append(wlan(3));
        fp.setMeasurements(second);
        QCOMPARE(fp.dataMask(), quint8(15));
        QCOMPARE(fp.radioType(), 1);
        VomuMeasurements all = fp.measurements();
        QCOMPARE(all.count(), 2);
        QCOMPARE(ucIdOf(all.element(0)), 1u);
        QCOMPARE(lastMacByte(all.element(1)), uint8_t(3));

        // A GSM cell without neighbours replaces the cell; bits are never cleared.
        VomuMeasurements third;
        third.append(new VomuElementGSM);
        fp.setMeasurements(third);
        QCOMPARE(fp.radioType(), 2);
        QCOMPARE(fp.dataMask(), quint8(15));
        QCOMPARE(fp.cellMeasurements().count(), 1);
        QCOMPARE(fp.cellMeasurements().element(0)->elementId(), 1);
        QCOMPARE(fp.wlanMeasurements().count(), 1);

        // Cells only, into a fresh fingerprint: Cell and NeighborCell, no WLAN.
        FpcFingerprint cellsOnly;
        VomuMeasurements cells;
        cells.append(wcdma(5, 0));
        cells.append(wcdma(6, 1));
        cellsOnly.setMeasurements(cells);
        QCOMPARE(cellsOnly.dataMask(), quint8(6));
        QCOMPARE(cellsOnly.cellMeasurements().count(), 2);
    }

    void unknownAndMislabelledElementsAreSkipped()
    {
        FpcFingerprint fp;
        VomuMeasurements m;
        m.append(new ForeignElement(3));
        m.append(new ForeignElement(0));
        m.append(new ForeignElement(5));
        m.append(new ForeignElement(1)); // claims GSM but is not one
        fp.setMeasurements(m);
        QCOMPARE(fp.dataMask(), quint8(0));
        QCOMPARE(fp.radioType(), 0);
        QCOMPARE(fp.measurements().count(), 0);
    }

    void setDataMaskKeepsData()
    {
        FpcFingerprint fp;
        FpcPosition position;
        position.setCoordinate(1, 2);
        fp.setPosition(position);
        VomuMeasurements m;
        m.append(wlan(1));
        fp.setMeasurements(m);
        QCOMPARE(fp.dataMask(), quint8(9));
        fp.setDataMask(0);
        QVERIFY(!fp.hasPosition() && !fp.hasMeasurements());
        QCOMPARE(fp.position().latitude(), 1.0);
        QCOMPARE(fp.wlanMeasurements().count(), 1);
    }

    void copiesOutliveSource()
    {
        auto source = std::make_unique<FpcFingerprint>();
        VomuMeasurements m;
        m.append(wcdma(42, 1));
        m.append(wlan(7));
        source->setMeasurements(m);
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
            QVERIFY(!fp->parent());
            QCOMPARE(fp->id(), qint64(5));
            QCOMPARE(fp->dataMask(), quint8(14));
            QCOMPARE(fp->radioType(), 2);
            const VomuMeasurements all = fp->measurements();
            QCOMPARE(all.count(), 2);
            QCOMPARE(ucIdOf(all.element(0)), 42u);
            QCOMPARE(lastMacByte(all.element(1)), uint8_t(7));
        }
    }

    void travelsThroughQueuedSignal()
    {
        FpcFingerprint::registerMetaTypes();
        Sender sender;
        FpcFingerprint received;
        connect(&sender, &Sender::created, this,
                [&](const FpcFingerprint &fp) { received = fp; }, Qt::QueuedConnection);
        QSignalSpy spy(&sender, &Sender::created);
        {
            FpcFingerprint sent;
            sent.setId(77);
            VomuMeasurements m;
            m.append(wlan(9));
            sent.setMeasurements(m);
            emit sender.created(sent);
        }
        QTRY_COMPARE(received.id(), qint64(77));
        QCOMPARE(lastMacByte(received.wlanMeasurements().element(0)), uint8_t(9));
        QVERIFY(QMetaType::fromName("VomuMeasurements").isValid());
    }

    void measurementDump()
    {
        VomuMeasurements m;
        auto *gsm = new VomuElementGSM;
        gsm->setCountryCode(244);
        VomuElementGSM::NeighbourCell neighbour(7, 65);
        neighbour.setPowerRx(30);
        gsm->appendNeighbourCell(neighbour);
        m.append(gsm);
        m.append(wcdma(1, 1));
        m.append(wlan(0xff));
        m.append(new ForeignElement(3));

        captured.clear();
        const QtMessageHandler previous = qInstallMessageHandler(capture);
        FpcFingerprint::printMeasurements(m);
        qInstallMessageHandler(previous);

        const QStringList expected = {
            "VomuMeasurements has 4 elements",
            "[INFO] \t MCC: 244",
            "[INFO] \t\t BSIC: 7",
            "[INFO] \t\t Rx level: 30",
            "[INFO] \t\t BCCH: 65",
            "[INFO] VomuObservationElement Type = WCDMA",
            "[INFO] \t UC-ID: 1",
            "[INFO] \tMAC:\t0a:01:02:03:04:ff",
            "[INFO] \tPowRx:\t-40",
            "[INFO] Invalid element id: 3",
        };
        for (const QString &line : expected)
            QVERIFY2(captured.contains(line), qPrintable(line + "\n--\n" + captured.join('\n')));
        // Not-set values stay out of the dump.
        QVERIFY(captured.filter("Power Rx").isEmpty());
        QVERIFY(captured.filter("P-CPICH").isEmpty());
        QVERIFY(captured.filter("RSSI").isEmpty());
        QCOMPARE(captured.last(), QString("RadioInformationController::printMeasurements() ->"));
    }
};

QTEST_GUILESS_MAIN(TstFpcFingerprint)
#include "tst_fpcfingerprint.moc"
