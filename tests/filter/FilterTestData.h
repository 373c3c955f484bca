#pragma once

// Builders for the radio data fed to the filters, a capture of the lines the
// filters log, and a real fingerprint buffer in a temporary path root.

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "TempRoot.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <initializer_list>
#include <utility>
#include <vector>

namespace FilterTestData {

constexpr int NoPower = 1000;
constexpr int NoTa = -1;
using Pairs = std::initializer_list<std::pair<int, int>>;

// A valid GSM serving cell; neighbours as (BSIC, ARFCN).
inline VomuElementGSM *gsm(quint16 cellId, Pairs neighbours = {}, int ta = NoTa)
{
    auto *cell = new VomuElementGSM;
    cell->setCountryCode(244), cell->setNetworkId(5), cell->setLocationAreaCode(1234), cell->setCellId(cellId);
    if (ta != NoTa)
        cell->setTimingAdvance(quint8(ta));
    for (const auto &n : neighbours)
        cell->appendNeighbourCell(VomuElementGSM::NeighbourCell(quint8(n.first), quint16(n.second)));
    return cell;
}

// A valid WCDMA serving cell; neighbours as (UARFCN-DL, scrambling code).
inline VomuElementWCDMA *wcdma(quint32 ucId, Pairs neighbours = {}, quint16 mcc = 244)
{
    auto *cell = new VomuElementWCDMA;
    cell->setCountryCode(mcc), cell->setNetworkId(42), cell->setUcId(ucId);
    for (const auto &n : neighbours) {
        VomuElementWCDMA::NeighbourCell neighbour;
        neighbour.uarfcnDl = quint16(n.first), neighbour.pCpich = quint16(n.second);
        cell->appendNeighbourCell(neighbour);
    }
    return cell;
}

inline VomuWlanMacAddress mac(std::vector<uint8_t> bytes) { return VomuWlanMacAddress(bytes.data(), int(bytes.size())); }
inline VomuWlanMacAddress mac48(quint8 last, quint8 first = 0x02) { return mac({first, 0x11, 0x22, 0x33, 0x44, last}); }
inline VomuWlanMacAddress mac64(quint8 last, quint8 first = 0xa0) { return mac({first, 0xb1, 0x02, 0x11, 0x22, 0x33, 0x44, last}); }

// An access point; NoPower leaves the received power unset.
inline VomuElementWLAN *wlan(const VomuWlanMacAddress &mac, int powerRx = -60)
{
    auto *ap = new VomuElementWLAN;
    ap->setMac(mac);
    if (powerRx != NoPower)
        ap->setPowerRx(qint8(powerRx));
    return ap;
}
inline VomuElementWLAN *ap(quint8 last, int powerRx = -60) { return wlan(mac48(last), powerRx); }

// A fix about metres north of (60, 24).
inline FpcPosition north(double metres)
{
    FpcPosition p;
    p.setCoordinate(60.0 + metres / 111195.08, 24.0, 10.0f);
    p.setHorizontalAccuracy(5.0f);
    p.setTimestamp(1700000000);
    return p;
}

// A fingerprint of the elements (taken over), with a fix when given.
inline FpcFingerprint fp(std::initializer_list<VomuObservationElement *> elements, const FpcPosition *fix = nullptr)
{
    VomuMeasurements m;
    for (VomuObservationElement *e : elements)
        m.append(e);
    FpcFingerprint result;
    result.setMeasurements(m);
    if (fix)
        result.setPosition(*fix);
    return result;
}

inline FpcFingerprint fpAt(double metresNorth, std::initializer_list<VomuObservationElement *> elements)
{
    const FpcPosition fix = north(metresNorth);
    return fp(elements, &fix);
}


// Collects every message written while it exists.
class LogCapture
{
public:
    LogCapture() : m_previous(qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) { lines() << m; })) { clear(); }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList &lines() { static QStringList captured; return captured; }
    void clear() { lines().clear(); }
    bool has(const QString &line) const { return lines().contains(line); }
    QStringList startingWith(const QString &prefix) const { return lines().filter(QRegularExpression('^' + QRegularExpression::escape(prefix))); }
    QByteArray dump() const { return lines().join('\n').toUtf8(); }

private:
    QtMessageHandler m_previous;
};

// The buffer manager on a fresh database file below a temporary root.
class BufferFixture
{
public:
    BufferFixture() { FpcConfig::addKey(QStringLiteral("db_file"), m_root.path(QStringLiteral("/fp.db"))); }
    ~BufferFixture() { FpcBufferManager::destroyInstance(); }
    static FpcBufferManager &buffer() { return FpcBufferManager::instance(); }
    // Stores a fingerprint born secondsAgo; its new id, or -1.
    static qint64 store(FpcFingerprint fingerprint, int secondsAgo = 60)
    {
        fingerprint.setTime(QDateTime::currentDateTimeUtc().addSecs(-secondsAgo));
        qint64 id = -1;
        const auto c = QObject::connect(&buffer(), &FpcBufferManager::fpStored, [&id](qint64 stored) { id = stored; });
        buffer().storeFpEntry(fingerprint);
        QObject::disconnect(c);
        return id;
    }
    static bool isStored(qint64 id) { FpcFingerprint stored; return buffer().getFingerprint(id, stored); }
    // Runs a statement on a connection of its own to the buffer's file; the
    // error text, empty on success.
    static QString tamper(const QString &statement)
    {
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
            db.setDatabaseName(buffer().databasePath());
            if (!db.open())
                error = db.lastError().text();
            else if (QSqlQuery query(db); !query.exec(statement))
                error = query.lastError().text();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
        return error;
    }

private:
    TempRoot m_root;
};

} // namespace FilterTestData
