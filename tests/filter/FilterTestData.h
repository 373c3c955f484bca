#pragma once

// Builders for the radio data the filter tests feed in, and a capture of the
// log lines the filters write.

#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"

#include <QStringList>
#include <QtGlobal>

#include <initializer_list>
#include <utility>

namespace FilterTestData {

constexpr int NoPower = 1000;
constexpr int NoTa = -1;

// A valid GSM serving cell; neighbours given as (BSIC, ARFCN).
inline VomuElementGSM *gsm(quint16 cellId, std::initializer_list<std::pair<int, int>> neighbours = {},
                           int ta = NoTa)
{
    auto *cell = new VomuElementGSM;
    cell->setCountryCode(244);
    cell->setNetworkId(5);
    cell->setLocationAreaCode(1234);
    cell->setCellId(cellId);
    cell->setPowerRx(40);
    if (ta != NoTa)
        cell->setTimingAdvance(quint8(ta));
    for (const auto &n : neighbours) {
        VomuElementGSM::NeighbourCell neighbour(quint8(n.first), quint16(n.second));
        neighbour.setPowerRx(30);
        cell->appendNeighbourCell(neighbour);
    }
    return cell;
}

// A valid WCDMA serving cell; neighbours given as (UARFCN-DL, scrambling code).
inline VomuElementWCDMA *wcdma(quint32 ucId, std::initializer_list<std::pair<int, int>> neighbours = {},
                               quint16 mcc = 244)
{
    auto *cell = new VomuElementWCDMA;
    cell->setCountryCode(mcc);
    cell->setNetworkId(42);
    cell->setLocationAreaCode(12);
    cell->setUcId(ucId);
    for (const auto &n : neighbours) {
        VomuElementWCDMA::NeighbourCell neighbour;
        neighbour.uarfcnDl = quint16(n.first);
        neighbour.pCpich = quint16(n.second);
        neighbour.rssi = 40;
        neighbour.ecn0 = 20;
        neighbour.rscp = 50;
        neighbour.pathloss = 60;
        cell->appendNeighbourCell(neighbour);
    }
    return cell;
}

inline VomuWlanMacAddress mac48(quint8 last, quint8 first = 0x02)
{
    const uint8_t bytes[6] = {first, 0x11, 0x22, 0x33, 0x44, last};
    return VomuWlanMacAddress(bytes, 6);
}

inline VomuWlanMacAddress mac64(quint8 last)
{
    const uint8_t bytes[8] = {0xa0, 0xb1, 0x02, 0x11, 0x22, 0x33, 0x44, last};
    return VomuWlanMacAddress(bytes, 8);
}

inline VomuElementWLAN *wlan(const VomuWlanMacAddress &mac, int powerRx = -60)
{
    auto *ap = new VomuElementWLAN;
    ap->setMac(mac);
    if (powerRx != NoPower)
        ap->setPowerRx(qint8(powerRx));
    return ap;
}

// An access point with a 48-bit address ending in last.
inline VomuElementWLAN *ap(quint8 last, int powerRx = -60)
{
    return wlan(mac48(last), powerRx);
}

inline FpcPosition position(double latitude, double longitude)
{
    FpcPosition p;
    p.setCoordinate(latitude, longitude, 10.0f);
    p.setHorizontalAccuracy(5.0f);
    p.setTimestamp(1700000000);
    return p;
}

// A point about metres north of (60.0, 24.0).
inline FpcPosition positionNorth(double metres)
{
    return position(60.0 + metres / 111195.0, 24.0);
}

// A fingerprint holding elements (taken over), with a position when given.
inline FpcFingerprint fingerprint(std::initializer_list<VomuObservationElement *> elements,
                                  const FpcPosition *pos = nullptr)
{
    VomuMeasurements m;
    for (VomuObservationElement *e : elements)
        m.append(e);
    FpcFingerprint fp;
    fp.setMeasurements(m);
    if (pos)
        fp.setPosition(*pos);
    return fp;
}

inline FpcFingerprint fingerprintAt(const FpcPosition &pos, std::initializer_list<VomuObservationElement *> elements)
{
    return fingerprint(elements, &pos);
}

// Collects every message written while it exists (one capture at a time).
class LogCapture
{
public:
    LogCapture() { m_previous = qInstallMessageHandler(&LogCapture::handler); lines().clear(); }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    static QStringList &lines()
    {
        static QStringList captured;
        return captured;
    }
    void clear() { lines().clear(); }
    bool has(const QString &line) const { return lines().contains(line); }
    int count(const QString &line) const { return int(lines().count(line)); }
    // Lines that begin with prefix, in order.
    QStringList startingWith(const QString &prefix) const
    {
        QStringList found;
        for (const QString &line : lines())
            if (line.startsWith(prefix))
                found << line;
        return found;
    }
    // For failure messages.
    QByteArray dump() const { return lines().join(QLatin1Char('\n')).toUtf8(); }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message) { lines() << message; }
    QtMessageHandler m_previous = nullptr;
};

} // namespace FilterTestData
