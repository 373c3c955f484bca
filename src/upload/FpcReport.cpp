#include "FpcReport.h"

#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "FpcLog.h"
#include "FpcPaths.h"
#include "FpcPosition.h"
#include "FpcPrivateFile.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"
#include "VomuObservationElement.h"

#include <QByteArrayView>
#include <QDebug>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <numeric>
#include <tuple>
#include <vector>

namespace {

// The plain debug lines of the report (hex dumps above all) are built only
// when they are written: a report of a full buffer has tens of thousands
// of elements, and its dump is several times its size.
bool traced()
{
    return FpcLog::writesDebug();
}

#define FPR_TRACE                                                                                                      \
    if (!traced()) {                                                                                                   \
    } else                                                                                                             \
        qDebug()

const char kNotEmpty[] = "Exception::byte array is not empty";
const char kWlanNotEmpty[] = "externalizeWLANObsElement::Exception::byte array is not empty";
const QString kDumpPrefix = QStringLiteral("fpr_");

constexpr int kFrameSize = 3;            // element id + content length
constexpr qsizetype kCountFieldSize = 2; // fingerprint count, then the checksum

void requireEmpty(const QByteArray &out, const char *message)
{
    if (!out.isEmpty())
        throw QString::fromLatin1(message);
}

void putU8(QByteArray &out, quint8 value)
{
    out.append(static_cast<char>(value));
}

void putU16(QByteArray &out, quint16 value)
{
    putU8(out, static_cast<quint8>(value));
    putU8(out, static_cast<quint8>(value >> 8));
}

void putU32(QByteArray &out, quint32 value)
{
    putU16(out, static_cast<quint16>(value));
    putU16(out, static_cast<quint16>(value >> 16));
}

void putU48(QByteArray &out, quint64 value)
{
    putU32(out, static_cast<quint32>(value));
    putU16(out, static_cast<quint16>(value >> 32));
}

void patchU16(QByteArray &out, qsizetype at, quint16 value)
{
    out[at] = static_cast<char>(value);
    out[at + 1] = static_cast<char>(value >> 8);
}

// Length byte and bytes of a text that is known to fit.
void putShortString(QByteArray &out, const char *text)
{
    const qsizetype length = qstrlen(text);
    putU8(out, static_cast<quint8>(length));
    out.append(text, length);
}

// UTF-8 of value cut to the longest prefix of whole characters that fits the
// length byte.
QByteArray fittedUtf8(const QString &key, const QString &value)
{
    QByteArray utf8 = value.toUtf8();
    if (utf8.size() <= FpcReport::kMaxStringBytes)
        return utf8;
    qsizetype cut = FpcReport::kMaxStringBytes;
    while (cut > 0 && (static_cast<quint8>(utf8.at(cut)) & 0xC0) == 0x80)
        --cut; // utf8[cut] continues a character that began before the cut
    qDebug() << "FpcReport::externalize() Value of" << key << "is" << utf8.size() << "bytes long, cut to" << cut;
    utf8.truncate(cut);
    return utf8;
}

void putConfigString(QByteArray &out, const char *key)
{
    const QString name = QString::fromLatin1(key);
    const QByteArray utf8 = fittedUtf8(name, FpcConfig::getValue(name));
    putU8(out, static_cast<quint8>(utf8.size()));
    out.append(utf8);
}

// Seconds since the epoch in the record's unsigned 32-bit field: times
// before 1970 or without a value give 0, times past 2106 the largest value.
quint32 secondsOfBirth(const QDateTime &time)
{
    if (!time.isValid())
        return 0;
    return static_cast<quint32>(qBound<qint64>(0, time.toSecsSinceEpoch(), 0xFFFFFFFFLL));
}

// 1 + the sum of every byte except the two checksum bytes at checksumAt.
quint16 checksumOf(const QByteArray &report, qsizetype checksumAt)
{
    quint32 sum = 1;
    const auto *bytes = reinterpret_cast<const quint8 *>(report.constData());
    for (qsizetype i = 0; i < report.size(); ++i) {
        if (i != checksumAt && i != checksumAt + 1)
            sum += bytes[i];
    }
    return static_cast<quint16>(sum);
}

QString hexDump(QByteArrayView bytes)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    text.reserve(bytes.size() * 3 + (bytes.size() / 16 + 1) * 8);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) {
            if (i)
                text += QLatin1Char('\n');
            text += QStringLiteral("%1:").arg(i, 6, 16, QLatin1Char('0'));
        }
        const auto byte = static_cast<quint8>(bytes[i]);
        text += QLatin1Char(' ');
        text += QLatin1Char(digits[byte >> 4]);
        text += QLatin1Char(digits[byte & 0x0F]);
    }
    return text;
}

QString framedDump(const QString &kind, QByteArrayView bytes)
{
    return QStringLiteral("\n====== ") + kind + QStringLiteral(" data BEGIN\n") + hexDump(bytes)
           + QStringLiteral("\n====== ") + kind + QStringLiteral(" data END ======\n");
}

// Writes the framing of one element and, once the content is complete, its
// length and the element's trace lines.
class ElementFrame
{
public:
    ElementFrame(QByteArray &out, FpcReport::ElementId id, const char *method, const char *kind)
        : m_out(out), m_start(out.size()), m_id(id), m_method(method), m_kind(kind)
    {
        FPR_TRACE << m_method << "<-";
        putU8(out, static_cast<quint8>(id));
        putU16(out, 0);
    }

    qsizetype contentSize() const { return m_out.size() - m_start - kFrameSize; }
    bool fits(int moreBytes) const { return contentSize() + moreBytes <= FpcReport::kMaxContentBytes; }

    void close()
    {
        patchU16(m_out, m_start + 1, static_cast<quint16>(contentSize()));
        if (!traced())
            return;
        const QString method = QString::fromLatin1(m_method);
        const QString kind = QString::fromLatin1(m_kind);
        const QByteArrayView content(m_out.constData() + m_start + kFrameSize, contentSize());
        qDebug().noquote() << method + QStringLiteral(" Element size: ") << contentSize();
        qDebug().noquote() << method + QStringLiteral(" Element ID: ") << int(m_id);
        qDebug().noquote() << method + QLatin1Char(' ') + kind + QStringLiteral(" Observation element content: ")
                           << framedDump(kind, content);
        qDebug() << m_method << "->";
    }

    void logLeftOut(int neighbours) const
    {
        qDebug() << m_method << "Element content full," << neighbours << "neighbour cells left out";
    }

private:
    QByteArray &m_out;
    qsizetype m_start;
    FpcReport::ElementId m_id;
    const char *m_method;
    const char *m_kind;
};

// The report's id of an element the report can encode, 0 for any other.
// The library id must match the element's real type: the writers cast by it.
int reportIdOf(const VomuObservationElement &element)
{
    switch (element.elementId()) {
    case VomuObservationElement::ElementIdGSM:
        return dynamic_cast<const VomuElementGSM *>(&element) ? FpcReport::GERAN : 0;
    case VomuObservationElement::ElementIdWCDMA:
        return dynamic_cast<const VomuElementWCDMA *>(&element) ? FpcReport::UTRAFDD : 0;
    case VomuObservationElement::ElementIdWLAN:
        return dynamic_cast<const VomuElementWLAN *>(&element) ? FpcReport::WLAN : 0;
    default:
        return 0;
    }
}

// Signal strength for choosing access points: received power first, the
// driver's RSSI figure next; an access point without either is the weakest.
auto strengthOf(const VomuElementWLAN &ap)
{
    return std::make_tuple(ap.powerRxSet(), ap.powerRxSet() ? int(ap.powerRx()) : INT_MIN, ap.rssiSet(),
                           ap.rssiSet() ? int(ap.rssi()) : -1);
}

// The `room` strongest access points, in their stored order (the earlier one
// wins a tie).
std::vector<const VomuElementWLAN *> strongest(const std::vector<const VomuElementWLAN *> &aps, size_t room)
{
    std::vector<size_t> order(aps.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&aps](size_t a, size_t b) { return strengthOf(*aps[a]) > strengthOf(*aps[b]); });
    order.resize(room);
    std::sort(order.begin(), order.end());
    std::vector<const VomuElementWLAN *> kept;
    kept.reserve(room);
    for (size_t index : order)
        kept.push_back(aps[index]);
    return kept;
}

} // namespace

FpcReport::Progress FpcReport::beginReport(QByteArray &report)
{
    requireEmpty(report, kNotEmpty);
    Progress progress;
    appendHeader(report);
    progress.countAt = report.size();
    putU16(report, 0); // fingerprint count
    putU16(report, 0); // checksum
    progress.trustLevel = trustLevel();
    return progress;
}

void FpcReport::appendRecord(const FpcFingerprint &fingerprint, Progress &progress, QByteArray &report)
{
    appendFingerprint(fingerprint, progress.trustLevel, report);
    ++progress.records;
}

void FpcReport::finishReport(const Progress &progress, QByteArray &report)
{
    const qsizetype checksumAt = progress.countAt + kCountFieldSize;
    patchU16(report, progress.countAt, static_cast<quint16>(progress.records));
    const quint16 checksum = checksumOf(report, checksumAt);
    patchU16(report, checksumAt, checksum);

    if (traced())
        qDebug().noquote() << QStringLiteral("\n====== FPR data BEGIN\n") + hexDump(report)
                                  + QStringLiteral("\n====== FPR data END ======\n");
    FPR_TRACE << "FpcReport::externalize() CHECKSUM: " << checksum;
    qDebug() << "[INFO] FpcReport::externalize() TOTAL SIZE: " << report.size();

    if (FpcConfig::getIntValue(QStringLiteral("fpr/dump_reports"), 0) != 0)
        dumpBinary(report);
}

int FpcReport::externalize(const QList<FpcFingerprint *> &fingerprints, QByteArray &out)
{
    FPR_TRACE << "FpcReport::externalize() <-";
    try {
        requireEmpty(out, kNotEmpty);
        QByteArray report;
        Progress progress = beginReport(report);
        int taken = 0;
        for (const FpcFingerprint *fingerprint : fingerprints) {
            if (progress.records == kMaxFingerprints)
                break;
            ++taken;
            if (!fingerprint) {
                qDebug() << "FpcReport::externalize() No fingerprint at list position" << taken - 1;
                continue;
            }
            appendRecord(*fingerprint, progress, report);
        }
        if (taken < fingerprints.size())
            qDebug() << "FpcReport::externalize() Report full:" << fingerprints.size() - taken
                     << "fingerprints left for a later report";
        finishReport(progress, report);
        out.swap(report);
        FPR_TRACE << "FpcReport::externalize() ->";
        return taken;
    } catch (const QString &text) {
        qDebug() << "FpcReport::externalize() EXCEPTION: " << text;
        out.clear();
        throw QStringLiteral("FpcReport::externalize() FAILED");
    }
}

void FpcReport::appendHeader(QByteArray &out)
{
    putU8(out, 0x00);
    putU8(out, 0x00);
    putU8(out, 0x03);
    putShortString(out, "linux");
    putU8(out, 0x00);
    putShortString(out, "vomufpc");
    putU8(out, 0x15);
    putU8(out, 0x00);
    putShortString(out, "terminal");
    putConfigString(out, "fpr/user_id");
    putConfigString(out, "fpr/hw_id");
    putConfigString(out, "fpr/user_name");
}

quint8 FpcReport::trustLevel()
{
    return static_cast<quint8>(FpcConfig::getUIntValue(QStringLiteral("trust_level"), 20));
}

void FpcReport::externalizeFingerprint(const FpcFingerprint &fingerprint, QByteArray &out)
{
    requireEmpty(out, kNotEmpty);
    appendFingerprint(fingerprint, trustLevel(), out);
}

void FpcReport::appendFingerprint(const FpcFingerprint &fingerprint, quint8 trustLevel, QByteArray &out)
{
    FPR_TRACE << "FpcReport::externalizeFingerprint() <-";
    const VomuMeasurements measurements = fingerprint.measurements();
    std::vector<const VomuObservationElement *> cells;
    std::vector<const VomuElementWLAN *> accessPoints;
    for (int i = 0; i < measurements.count(); ++i) {
        const VomuObservationElement &element = *measurements.element(i);
        switch (reportIdOf(element)) {
        case GERAN:
        case UTRAFDD:
            cells.push_back(&element);
            break;
        case WLAN:
            accessPoints.push_back(static_cast<const VomuElementWLAN *>(&element));
            break;
        default:
            qDebug() << "FpcReport::externalizeFingerprint() Element id" << element.elementId() << "not encoded";
        }
    }

    // The element count is one byte: the position and the cells come first,
    // the access points share the room that is left.
    const bool withPosition = fingerprint.hasPosition();
    size_t room = size_t(kMaxElements) - (withPosition ? 1 : 0);
    if (cells.size() > room) {
        qDebug() << "FpcReport::externalizeFingerprint() Fingerprint" << fingerprint.id() << "has" << cells.size()
                 << "cell elements, keeping" << room;
        cells.resize(room);
    }
    room -= cells.size();
    if (accessPoints.size() > room) {
        qDebug() << "FpcReport::externalizeFingerprint() Fingerprint" << fingerprint.id() << "has"
                 << accessPoints.size() << "WLAN elements, keeping the" << room << "strongest";
        accessPoints = strongest(accessPoints, room);
    }

    putU32(out, secondsOfBirth(fingerprint.time()));
    putU8(out, trustLevel);
    const qsizetype countAt = out.size();
    putU8(out, 0);
    int count = 0;
    if (withPosition) {
        appendGNSS(fingerprint.position(), out);
        ++count;
    }
    for (const VomuObservationElement *cell : cells)
        count += appendElement(*cell, out) ? 1 : 0;
    for (const VomuElementWLAN *accessPoint : accessPoints) {
        appendWLAN(*accessPoint, out);
        ++count;
    }
    out[countAt] = static_cast<char>(count);
    FPR_TRACE << "FpcReport::externalizeFingerprint() ->";
}

int FpcReport::externalizeVomuMeasurements(const VomuMeasurements &measurements, QByteArray &out)
{
    requireEmpty(out, kNotEmpty);
    FPR_TRACE << "FpcReport::externalizeVomuMeasurements() <-";
    int written = 0;
    for (int i = 0; i < measurements.count(); ++i) {
        if (appendElement(*measurements.element(i), out))
            ++written;
        else
            qDebug() << "FpcReport::externalizeVomuMeasurements() Element id" << measurements.element(i)->elementId()
                     << "not encoded";
    }
    FPR_TRACE << "FpcReport::externalizeVomuMeasurements() ->";
    return written;
}

bool FpcReport::appendElement(const VomuObservationElement &element, QByteArray &out)
{
    switch (reportIdOf(element)) {
    case GERAN:
        appendGERAN(static_cast<const VomuElementGSM &>(element), out);
        return true;
    case UTRAFDD:
        appendUTRAFDD(static_cast<const VomuElementWCDMA &>(element), out);
        return true;
    case WLAN:
        appendWLAN(static_cast<const VomuElementWLAN &>(element), out);
        return true;
    default:
        return false;
    }
}

void FpcReport::externalizeGNSSObsElement(const FpcPosition &position, QByteArray &out)
{
    requireEmpty(out, kNotEmpty);
    appendGNSS(position, out);
}

void FpcReport::appendGNSS(const FpcPosition &position, QByteArray &out)
{
    ElementFrame frame(out, GNSS, "FpcReport::externalizeGNSSObsElement()", "GNSS");
    putU32(out, static_cast<quint32>(position.latitudeNormalized()));
    putU32(out, static_cast<quint32>(position.longitudeNormalized()));
    const quint8 mask = position.uncertainty();
    putU8(out, mask);
    if (mask & 1)
        putU48(out, position.gpsTimeMSecs());
    if (mask & 2) {
        putU8(out, position.cep68K());
    } else {
        putU8(out, position.majorAxisK());
        putU8(out, position.minorAxisK());
        putU8(out, position.offsetAngle());
    }
    if (mask & 4) {
        putU16(out, static_cast<quint16>(position.altitudeInt16()));
        putU8(out, position.altitudeAccuracyK());
    }
    frame.close();
}

void FpcReport::externalizeGERANObsElement(const VomuElementGSM &cell, QByteArray &out)
{
    requireEmpty(out, kNotEmpty);
    appendGERAN(cell, out);
}

void FpcReport::appendGERAN(const VomuElementGSM &cell, QByteArray &out)
{
    ElementFrame frame(out, GERAN, "FpcReport::externalizeGERANObsElement()", "GERAN");
    putU16(out, cell.countryCode());
    putU16(out, cell.networkId());
    putU16(out, cell.locationAreaCode());
    putU16(out, cell.cellId());
    const bool rxLevel = cell.powerRx() != 255;
    putU8(out, (rxLevel ? 1 : 0) | (cell.timingAdvanceSet() ? 2 : 0));
    if (rxLevel)
        putU8(out, cell.powerRx());
    if (cell.timingAdvanceSet())
        putU8(out, cell.timingAdvance());

    const int neighbours = cell.neighbourCellCount();
    for (int i = 0; i < neighbours; ++i) {
        const VomuElementGSM::NeighbourCell neighbour = cell.neighbourCell(i);
        const bool identity = neighbour.locationAreaCodeSet() && neighbour.cellIdSet();
        const bool rx = neighbour.powerRx() != 255;
        if (!frame.fits(4 + (identity ? 4 : 0) + (rx ? 1 : 0))) {
            frame.logLeftOut(neighbours - i);
            break;
        }
        putU8(out, neighbour.color());
        putU16(out, neighbour.frequency());
        putU8(out, (identity ? 1 : 0) | (rx ? 2 : 0));
        if (identity) {
            putU16(out, neighbour.locationAreaCode());
            putU16(out, neighbour.cellId());
        }
        if (rx)
            putU8(out, neighbour.powerRx());
    }
    frame.close();
}

void FpcReport::externalizeUTRAFDDObsElement(const VomuElementWCDMA &cell, QByteArray &out)
{
    requireEmpty(out, kNotEmpty);
    appendUTRAFDD(cell, out);
}

void FpcReport::appendUTRAFDD(const VomuElementWCDMA &cell, QByteArray &out)
{
    ElementFrame frame(out, UTRAFDD, "FpcReport::externalizeUTRAFDDObsElement()", "UTRA-FDD");
    putU16(out, cell.countryCode());
    putU16(out, cell.networkId());
    putU32(out, cell.ucId());
    putU8(out, cell.locationAreaCodeSet() ? 1 : 0);
    if (cell.locationAreaCodeSet())
        putU16(out, cell.locationAreaCode());

    const int neighbours = cell.neighbourCellCount();
    for (int i = 0; i < neighbours; ++i) {
        const VomuElementWCDMA::NeighbourCell n = cell.neighbourCell(i);
        // RSCP and path loss are shifted into one byte; a level that the
        // shifted byte cannot hold is no measurement and stays out.
        const bool rssi = n.rssi != 255;
        const bool ucId = n.ucId != 0xFFFFFFFF;
        const bool ecn0 = n.ecn0 != 255;
        const bool rscp = n.rscp != 255 && n.rscp - 5 <= SCHAR_MAX;
        const bool pathloss = n.pathloss != 255 && n.pathloss + 46 <= UCHAR_MAX;
        const int size = 5 + (rssi ? 1 : 0) + (ucId ? 4 : 0) + (ecn0 ? 1 : 0) + (rscp ? 1 : 0) + (pathloss ? 1 : 0);
        if (!frame.fits(size)) {
            frame.logLeftOut(neighbours - i);
            break;
        }
        putU16(out, n.uarfcnDl);
        putU16(out, n.pCpich);
        putU8(out, (rssi ? 2 : 0) | (ucId ? 4 : 0) | (ecn0 ? 8 : 0) | (rscp ? 16 : 0) | (pathloss ? 32 : 0));
        if (rssi)
            putU8(out, n.rssi);
        if (ucId)
            putU32(out, n.ucId);
        if (ecn0)
            putU8(out, n.ecn0);
        if (rscp)
            putU8(out, static_cast<quint8>(static_cast<qint8>(n.rscp - 5)));
        if (pathloss)
            putU8(out, static_cast<quint8>(n.pathloss + 46));
    }
    frame.close();
}

void FpcReport::externalizeWLANObsElement(const VomuElementWLAN &accessPoint, QByteArray &out)
{
    requireEmpty(out, kWlanNotEmpty);
    appendWLAN(accessPoint, out);
}

void FpcReport::appendWLAN(const VomuElementWLAN &accessPoint, QByteArray &out)
{
    ElementFrame frame(out, WLAN, "FpcReport::externalizeWLANObsElement()", "WLAN");
    // Always eight address bytes, 0x00 for a byte the address does not set:
    // a 48-bit address so gets its two leading zero bytes, and the fields
    // after the address stay where the reader expects them.
    const VomuWlanMacAddress &mac = accessPoint.mac();
    if (!mac.is48Bit() && !mac.is64Bit())
        qDebug() << "FpcReport::externalizeWLANObsElement() Incomplete MAC address,"
                 << "unset bytes written as 0";
    for (int i = 0; i < VomuWlanMacAddress::kSize; ++i)
        putU8(out, mac.macByte(i));
    putU8(out,
          (accessPoint.powerRxSet() ? 1 : 0) | (accessPoint.powerTxSet() ? 2 : 0) | (accessPoint.rssiSet() ? 4 : 0));
    if (accessPoint.powerRxSet())
        putU8(out, static_cast<quint8>(accessPoint.powerRx()));
    if (accessPoint.powerTxSet())
        putU8(out, static_cast<quint8>(accessPoint.powerTx()));
    if (accessPoint.rssiSet())
        putU8(out, accessPoint.rssi());
    frame.close();
}

quint64 FpcReport::nextDumpNumber(const QString &directory)
{
    const QStringList names =
        QDir(directory).entryList({kDumpPrefix + QLatin1Char('*')},
                                  QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    quint64 highest = 0;
    for (const QString &name : names) {
        const QStringView digits = QStringView(name).mid(kDumpPrefix.size());
        const bool allDigits = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        });
        bool ok = false;
        const quint64 number = allDigits ? digits.toULongLong(&ok) : 0;
        if (ok && number < std::numeric_limits<quint64>::max())
            highest = std::max(highest, number);
    }
    return highest + 1;
}

bool FpcReport::dumpBinary(const QByteArray &report)
{
    qDebug() << "FpcReport::dumpBinary() <-";
    qDebug() << "FpcReport() bin report prefix " << kDumpPrefix;
    QString fileName;
    const int fd = createDumpFile(FpcPaths::reportDumpDirectory(), &fileName);

    QFile file;
    bool written = false;
    if (fd >= 0 && file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        const qint64 count = file.write(report);
        written = count == report.size() && file.flush();
        if (written)
            qDebug() << "FpcReport() " << count << " bytes written succesfully to: " << fileName;
    }
    if (!written)
        qCritical() << "FpcReport() FAILED TO WRITE FPR DUMP - " << fileName << "IS NOT RELIABLE!!"
                    << (fd < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString());
    file.close();
    qDebug() << "FpcReport::dumpBinary() ->";
    return written;
}

// Dumps go only into new files: a name that is taken (by a file, a link or
// anything else) is skipped, never written through, so whoever can write
// to the dump directory cannot make the daemon overwrite a file.
int FpcReport::createDumpFile(const QString &directory, QString *fileName)
{
    quint64 number = nextDumpNumber(directory);
    for (int attempt = 0; attempt < kDumpNameAttempts && number != 0; ++attempt, ++number) {
        *fileName = directory + kDumpPrefix + QString::number(number);
        const int fd = FpcPrivateFile::createNew(*fileName);
        if (fd >= 0 || errno != EEXIST)
            return fd;
        qDebug() << "FpcReport::dumpBinary() Name taken, skipped:" << *fileName;
    }
    errno = EEXIST;
    return -1;
}
