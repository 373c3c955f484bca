#include "FpcMeasurementCollector.h"
#include "TempRoot.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QtTest>

#include <vector>

// Runs with "--sbox" among the application's arguments and no world file, so
// anything cell-like in a cycle can only come from the fixed test data.
class TstFpcMeasurementCollectorSbox : public QObject
{
    Q_OBJECT

private:
    TempRoot m_root;

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        QVERIFY(QCoreApplication::arguments().contains("--sbox"));
    }

    void fixedMeasurements_data()
    {
        QTest::addColumn<bool>("needWlan");
        QTest::newRow("cells only") << false;
        QTest::newRow("with WLAN") << true;
    }

    void fixedMeasurements()
    {
        QFETCH(bool, needWlan);
        FpcMeasurementCollector collector;
        QSignalSpy spy(&collector, &FpcMeasurementCollector::measurementsAvailable);
        collector.collectMeasurements(needWlan);
        QCOMPARE(spy.count(), 1);
        const auto measurements = spy.at(0).at(0).value<VomuMeasurements>();
        QCOMPARE(measurements.count(), needWlan ? 2 : 1);

        // The fixed cell and access point, as the measurement evaluator sees them.
        const auto &cell = static_cast<const VomuElementWCDMA &>(*measurements.element(0));
        QCOMPARE(cell.elementId(), int(VomuObservationElement::ElementIdWCDMA));
        QCOMPARE(cell.ucId(), 100000u);
        QCOMPARE(cell.neighbourCellCount(), 1);
        const VomuElementWCDMA::NeighbourCell neighbour = cell.neighbourCell(0);
        QCOMPARE(QList<int>({neighbour.pCpich, neighbour.uarfcnDl, neighbour.rssi, neighbour.rscp, neighbour.pathloss}),
                 QList<int>({100, 10000, 11, 58, 20}));
        QCOMPARE(collector.lastWlanScanTime() > 0, needWlan);
        if (needWlan) {
            const auto &accessPoint = static_cast<const VomuElementWLAN &>(*measurements.element(1));
            QCOMPARE(accessPoint.elementId(), int(VomuObservationElement::ElementIdWLAN));
            QVERIFY(accessPoint.mac().is48Bit() && accessPoint.mac().macByte(7) == 0x99);
            QCOMPARE(accessPoint.powerRx(), int8_t(-23));
        }
    }
};

int main(int argc, char **argv)
{
    // QtTest refuses options it does not know: only the application sees "--sbox".
    std::vector<char *> applicationArguments(argv, argv + argc);
    applicationArguments.push_back(const_cast<char *>("--sbox"));
    int applicationArgc = int(applicationArguments.size());
    applicationArguments.push_back(nullptr);
    QCoreApplication application(applicationArgc, applicationArguments.data());
    TstFpcMeasurementCollectorSbox test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fpcmeasurementcollector_sbox.moc"
