#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "FpcLog.h"
#include "FpcReport.h"
#include "LogCapture.h"
#include "TempRoot.h"
#include "TestSupport.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

namespace {

const QByteArray kHeader = QByteArray::fromHex("000003056c696e75780007766f6d756670631500087465726d696e616c");

FpcPosition position(double lat, double lon, float hAcc = NAN)
{
    FpcPosition p;
    p.setCoordinate(lat, lon);
    p.setHorizontalAccuracy(hAcc);
    return p;
}

// A 48-bit access point whose last two address bytes carry tag.
VomuElementWLAN *accessPoint(int tag, int powerRx = 0, int rssi = -1)
{
    const uint8_t bytes[6] = {0x02, 0, 0, 0, uint8_t(tag >> 8), uint8_t(tag)};
    auto *ap = new VomuElementWLAN;
    ap->setMac(VomuWlanMacAddress(bytes, 6));
    if (powerRx)
        ap->setPowerRx(int8_t(powerRx));
    if (rssi >= 0)
        ap->setRssi(uint8_t(rssi));
    return ap;
}

// The report as the independent decoder reads it; empty when it rejects it.
QJsonObject decoded(const QByteArray &report)
{
    QProcess decoder;
    decoder.start(QStringLiteral(FPCD_PYTHON3), {QStringLiteral(FPCD_FPRDECODE), QStringLiteral("-")});
    decoder.write(report);
    decoder.closeWriteChannel();
    if (!decoder.waitForFinished(60000) || decoder.exitCode() != 0) {
        qWarning() << "decoder rejected the report:" << decoder.readAllStandardError();
        return QJsonObject();
    }
    return QJsonDocument::fromJson(decoder.readAllStandardOutput()).object();
}

QJsonObject decodedRecord(FpcFingerprint &fp)
{
    QByteArray out;
    FpcReport::externalize({&fp}, out);
    return decoded(out)[u"fingerprints"][0].toObject();
}

} // namespace

class TstFpcReport : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_log = std::make_unique<LogCapture>();
        FpcLog::setThreshold(FpcLog::Debug);
        // Unset: empty identities and the default trust level, 20.
        for (const char *key : {"fpr/user_id", "fpr/hw_id", "fpr/user_name", "trust_level"})
            FpcConfig::addKey(QString::fromLatin1(key), QString());
        FpcConfig::addKey(QStringLiteral("fpr/dump_reports"), QStringLiteral("0"));
    }

    void cleanup() { m_log.reset(); }

    void emptyReportAndChecksum()
    {
        QByteArray out;
        QCOMPARE(FpcReport::externalize({}, out), 0);
        QCOMPARE(out, kHeader + QByteArray::fromHex("000000 0000 b908"));
        QCOMPARE(decoded(out)[u"count"].toInt(), 0);
        QCOMPARE(m_log->count(QStringLiteral("\n====== FPR data BEGIN\n000000: 00 00 03 05")), 1);

        // One more in a header byte and in a record byte: the checksum grows by 2.
        FpcConfig::addKey(QStringLiteral("fpr/user_id"), QStringLiteral("a"));
        FpcFingerprint fp;
        fp.setTime(QDateTime::fromSecsSinceEpoch(0x01020304, Qt::UTC));
        QByteArray first, second;
        FpcReport::externalize({&fp}, first);
        QCOMPARE(first.mid(37), QByteArray::fromHex("04030201 14 00"));
        QCOMPARE(decoded(first)[u"count"].toInt(), 1); // the decoder checks the sum, here over an identity
        FpcConfig::addKey(QStringLiteral("fpr/user_id"), QStringLiteral("b"));
        FpcConfig::addKey(QStringLiteral("trust_level"), QStringLiteral("277")); // 21 in 8 bits
        FpcReport::externalize({&fp}, second);
        QCOMPARE(quint8(second[41]), quint8(21));
        QCOMPARE(quint8(second[35]) - quint8(first[35]), 2);
        fp.setTime(QDateTime::fromSecsSinceEpoch(-5, Qt::UTC)); // before 1970: 0
        QByteArray third;
        FpcReport::externalize({&fp}, third);
        QCOMPARE(third.mid(37, 4), QByteArray(4, '\0'));

        QByteArray filled("x"); // output that already holds bytes is refused, and emptied
        QVERIFY_THROWS_EXCEPTION(QString, FpcReport::externalizeWLANObsElement(VomuElementWLAN(), filled));
        QVERIFY_THROWS_EXCEPTION(QString, FpcReport::externalize({}, filled));
        QVERIFY(filled.isEmpty());
    }

    // 255 bytes fit; a 2-, 3- or 4-byte character over the limit is left out whole.
    void identityStringsAreCutAtCharacterBoundary()
    {
        const QString a = QString(255, QLatin1Char('a'));
        const QList<std::pair<QString, int>> cases{{a, 255},
                                                   {a.left(254) + QChar(0xE9), 254},
                                                   {a.left(253) + QChar(0x20AC), 253},
                                                   {a.left(254) + QString::fromUtf8("\xF0\x9F\x98\x80"), 254}};
        for (const auto &[value, kept] : cases) {
            FpcConfig::addKey(QStringLiteral("fpr/hw_id"), value);
            QByteArray out;
            FpcReport::externalize({}, out);
            QCOMPARE(out.size(), 36 + kept);
            QCOMPARE(out.mid(30, kept + 1), char(kept) + value.toUtf8().left(kept));
        }
    }

    void elementEncodings()
    {
        const auto check = [](auto writer, const auto &element, const char *expected) {
            QByteArray out;
            writer(element, out);
            QCOMPARE(out.toHex(' '), QByteArray::fromHex(expected).toHex(' '));
        };
        const auto gnss = FpcReport::externalizeGNSSObsElement;
        const auto wlan = FpcReport::externalizeWLANObsElement;

        check(gnss, position(45, -90, 10), "030a00 00000040000000c0 02 37");
        FpcPosition p = position(45, -90);
        check(gnss, p, "030c00 00000040000000c0 00 000000");
        p.setUncertaintyEllipse(45, 20, 10);
        check(gnss, p, "030c00 00000040000000c0 00 51372d");
        p = position(90, 180, 10);
        p.setTimestamp(1700000000);
        p.setTimestampMicroseconds(250000);
        p.setAltitude(-12.6f);
        p.setAltitudeAccuracy(15);
        check(gnss, p, "031300 ffffff7f ffffff7f 07 fac8e93e163a 37 f3ff 46");

        VomuElementGSM g;
        g.setCountryCode(244);
        g.setNetworkId(5);
        check(FpcReport::externalizeGERANObsElement, g, "010900 f400 0500 0000 0000 00");
        g.setPowerRx(40);
        g.setTimingAdvance(7);
        VomuElementGSM::NeighbourCell identified(7, 60), levelOnly(9, 61);
        identified.setLocationAreaCode(1001);
        identified.setCellId(2001);
        levelOnly.setLocationAreaCode(5); // an identity needs both codes
        levelOnly.setPowerRx(33);
        g.appendNeighbourCell(identified);
        g.appendNeighbourCell(levelOnly);
        check(FpcReport::externalizeGERANObsElement, g,
              "011800 f400 0500 0000 0000 03 28 07 073c0001e903d107 093d000221");
        VomuElementWCDMA w;
        w.setCountryCode(244);
        w.setNetworkId(42);
        w.setUcId(100000);
        w.setLocationAreaCode(12);
        w.appendNeighbourCell({7, 100, 10612, 50, 9, 2, 54});
        w.appendNeighbourCell({});
        w.appendNeighbourCell({0xFFFFFFFF, 1, 2, 255, 255, 200, 230}); // levels no byte can hold
        check(FpcReport::externalizeUTRAFDDObsElement, w,
              "022200 f400 2a00 a0860100 01 0c00 7429 6400 3e 32 07000000 09 fd 64 ffffffff00 0200010000");
        std::unique_ptr<VomuElementWLAN> ap(accessPoint(0x0506, 0, 200));
        check(wlan, *ap, "050a00 0000020000000506 04 c8");
        const uint8_t bytes64[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        ap->setMac(VomuWlanMacAddress(bytes64, 8));
        ap->setPowerRx(-70);
        check(wlan, *ap, "050b00 0102030405060708 05 ba c8");
        VomuWlanMacAddress mac;
        mac.setMacByte(3, 0xaa);
        VomuElementWLAN incomplete;
        incomplete.setMac(mac);
        check(wlan, incomplete, "050900 000000aa00000000 00");
    }
    void elementLimitKeepsStrongestAccessPoints_data()
    {
        QTest::addColumn<bool>("withPosition");
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("accessPoints");
        QTest::addColumn<QList<int>>("dropped");
        QTest::newRow("255 with position") << true << 1 << 253 << QList<int>();
        QTest::newRow("256 with position") << true << 1 << 254 << QList<int>{10};
        QTest::newRow("258 with position") << true << 1 << 256 << QList<int>{10, 50, 100};
        QTest::newRow("255 access points") << false << 0 << 255 << QList<int>();
        QTest::newRow("cells fill it") << true << 300 << 2 << QList<int>{0, 1};
    }
    void elementLimitKeepsStrongestAccessPoints()
    {
        QFETCH(bool, withPosition);
        QFETCH(int, cells);
        QFETCH(int, accessPoints);
        QFETCH(QList<int>, dropped);
        VomuMeasurements m;
        QList<int> kept;
        for (int i = 0; i < cells; ++i)
            m.append(new VomuElementGSM);
        for (int i = 0; i < accessPoints; ++i) {
            // The weakest: nothing measured (10), RSSI only (50), -95 dBm (100).
            m.append(accessPoint(i, i == 10 || i == 50 ? 0 : i == 100 ? -95 : -30 - i % 40, i == 50 ? 250 : -1));
            if (!dropped.contains(i))
                kept << i;
        }
        FpcFingerprint fp;
        if (withPosition)
            fp.setPosition(position(1, 1, 5));
        fp.setMeasurements(m);
        const QJsonObject record = decodedRecord(fp);
        QCOMPARE(record[u"elementCount"].toInt(), qMin(255, int(withPosition) + cells + accessPoints));
        QList<int> tags;
        for (const QJsonValue e : record[u"elements"].toArray()) {
            if (e[u"kind"].toString() == QLatin1String("WLAN"))
                tags << e[u"mac"].toString().right(5).remove(QLatin1Char(':')).toInt(nullptr, 16);
        }
        QCOMPARE(tags, kept);
    }

    void contentLimitKeepsNeighboursThatFit()
    {
        // 11 bytes of serving cell and 4 per neighbour: 16381 neighbours fill 65535 bytes.
        for (const int neighbours : {16381, 16382}) {
            auto *cell = new VomuElementGSM;
            cell->setPowerRx(30);
            cell->setTimingAdvance(4);
            for (int i = 0; i < neighbours; ++i)
                cell->appendNeighbourCell(VomuElementGSM::NeighbourCell(1, 2));
            VomuMeasurements m;
            m.append(cell);
            FpcFingerprint fp;
            fp.setMeasurements(m);
            const QJsonValue decodedCell = decodedRecord(fp)[u"elements"][0];
            QCOMPARE(decodedCell[u"length"].toInt(), 65535);
            QCOMPARE(decodedCell[u"neighbours"].toArray().size(), 16381);
        }
    }

    void reportTakesAtMost65535Fingerprints()
    {
        FpcLog::setThreshold(FpcLog::Info);
        FpcFingerprint fp;
        QByteArray out;
        QCOMPARE(FpcReport::externalize(QList<FpcFingerprint *>(65536, &fp), out), 65535);
        QCOMPARE(decoded(out)[u"count"].toInt(), 65535);
        out.clear();
        QCOMPARE(FpcReport::externalize({nullptr, &fp}, out), 2); // a gap is taken, adds no record
        QCOMPARE(decoded(out)[u"count"].toInt(), 1);
    }

    // Dumps take the next free number, never write through planted links, and stop past the last number.
    void dumps()
    {
        TempRoot root;
        QVERIFY(!FpcReport::dumpBinary("lost"));
        QCOMPARE(m_log->count(QStringLiteral("FpcReport() FAILED TO WRITE FPR DUMP - ")), 1);
        QVERIFY(root.writeFile(QStringLiteral("/secret"), "root's file"));
        QVERIFY(root.writeFile(QStringLiteral("/home/user/fpr_7"), "old"));
        QVERIFY(root.writeFile(QStringLiteral("/home/user/fpr_x99"), ""));
        QVERIFY(QFile::link(root.path(QStringLiteral("/secret")), root.path(QStringLiteral("/home/user/fpr_8"))));
        QVERIFY(QFile::link(root.path(QStringLiteral("/missing")), root.path(QStringLiteral("/home/user/fpr_9"))));
        FpcConfig::addKey(QStringLiteral("fpr/dump_reports"), QStringLiteral("1"));
        QByteArray out;
        FpcReport::externalize({}, out);
        const QString dump = root.path(QStringLiteral("/home/user/fpr_10"));
        QCOMPARE(TestSupport::readFile(dump), out);
        QCOMPARE(TestSupport::fileMode(dump), 0600);
        QCOMPARE(TestSupport::readFile(root.path(QStringLiteral("/home/user/fpr_7"))), QByteArray("old"));

        QVERIFY(root.writeFile(QStringLiteral("/home/user/fpr_18446744073709551614"), ""));
        QVERIFY(QFile::link(root.path(QStringLiteral("/secret")),
                            root.path(QStringLiteral("/home/user/fpr_18446744073709551615"))));
        QVERIFY(!FpcReport::dumpBinary("report"));
        QCOMPARE(m_log->count(QStringLiteral("Name taken, skipped:")), 1);
        QCOMPARE(TestSupport::readFile(root.path(QStringLiteral("/secret"))), QByteArray("root's file"));
        QVERIFY(!QFile::exists(root.path(QStringLiteral("/missing"))));
    }

private:
    std::unique_ptr<LogCapture> m_log;
};

QTEST_GUILESS_MAIN(TstFpcReport)
#include "tst_fpcreport.moc"
