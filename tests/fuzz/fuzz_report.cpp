// The report round trip: fingerprints built from position and element texts
// (one per line, "#" starts the next fingerprint) are written as a report,
// which is then read back field by field. Every report must be well-formed:
// fixed header, checksum, record and element framing, GNSS and WLAN
// contents of the length their flags announce, nothing left over.
#include "FpcConfig.h"
#include "FpcFingerprint.h"
#include "FpcLog.h"
#include "FpcPosition.h"
#include "FpcReport.h"
#include "QuietLog.h"
#include "VomuElementGSM.h"
#include "VomuElementWCDMA.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

class ReportReader
{
public:
    explicit ReportReader(const QByteArray &bytes) : m_bytes(bytes) {}
    bool atEnd() const { return m_pos == m_bytes.size(); }
    qsizetype position() const { return m_pos; }
    quint32 take(int size)
    {
        check(m_pos + size <= m_bytes.size());
        quint32 value = 0;
        for (int i = 0; i < size; ++i)
            value |= quint32(quint8(m_bytes[m_pos + i])) << (8 * i);
        m_pos += size;
        return value;
    }
    QByteArray takeBytes(qsizetype size)
    {
        check(size >= 0 && m_pos + size <= m_bytes.size());
        const QByteArray part = m_bytes.mid(m_pos, size);
        m_pos += size;
        return part;
    }

private:
    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
};

void checkGnss(const QByteArray &content)
{
    check(content.size() >= 9);
    const quint8 mask = quint8(content[8]);
    const int expected = 9 + ((mask & 1) ? 6 : 0) + ((mask & 2) ? 1 : 3) + ((mask & 4) ? 3 : 0);
    check(content.size() == expected);
}

void checkWlan(const QByteArray &content)
{
    check(content.size() >= 9);
    const quint8 flags = quint8(content[8]);
    check((flags & ~7) == 0);
    check(content.size() == 9 + ((flags & 1) ? 1 : 0) + ((flags & 2) ? 1 : 0) + ((flags & 4) ? 1 : 0));
}

void checkReport(const QByteArray &report, const QList<FpcFingerprint *> &fingerprints)
{
    static const QByteArray header = QByteArray("\x00\x00\x03\x05linux\x00\x07vomufpc\x15\x00\x08terminal", 29);
    check(report.startsWith(header));
    ReportReader reader(report);
    reader.takeBytes(header.size());
    for (int i = 0; i < 3; ++i) // user id, hardware id, user name
        reader.takeBytes(reader.take(1));
    const quint32 count = reader.take(2);
    const qsizetype checksumAt = reader.position();
    const quint32 checksum = reader.take(2);
    quint32 sum = 1;
    for (qsizetype i = 0; i < report.size(); ++i) {
        if (i != checksumAt && i != checksumAt + 1)
            sum += quint8(report[i]);
    }
    check(checksum == (sum & 0xffff));
    check(count == quint32(fingerprints.size()));
    for (const FpcFingerprint *fp : fingerprints) {
        check(reader.take(4) == quint32(fp->time().toSecsSinceEpoch()));
        reader.take(1); // trust level
        const quint32 elements = reader.take(1);
        check(elements == quint32(std::min(255, (fp->hasPosition() ? 1 : 0) + fp->measurements().count())));
        for (quint32 e = 0; e < elements; ++e) {
            const quint32 id = reader.take(1);
            const QByteArray content = reader.takeBytes(reader.take(2));
            check(id == FpcReport::GERAN || id == FpcReport::UTRAFDD || id == FpcReport::GNSS || id == FpcReport::WLAN);
            check((id == FpcReport::GNSS) == (e == 0 && fp->hasPosition()));
            if (id == FpcReport::GNSS)
                checkGnss(content);
            if (id == FpcReport::WLAN)
                checkWlan(content);
        }
    }
    check(reader.atEnd());
}

// A line some text form accepts becomes the position or an element.
void addLine(const std::string &line, FpcFingerprint &fp, VomuMeasurements &measurements)
{
    FpcPosition position;
    if (!fp.hasPosition() && position.internalize(line)) {
        fp.setPosition(position);
        return;
    }
    auto gsm = std::make_unique<VomuElementGSM>();
    if (gsm->internalize(line))
        return measurements.append(gsm.release());
    auto wcdma = std::make_unique<VomuElementWCDMA>();
    if (wcdma->internalize(line))
        return measurements.append(wcdma.release());
    auto wlan = std::make_unique<VomuElementWLAN>();
    if (wlan->internalize(line))
        measurements.append(wlan.release());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    quietLog();
    FpcLog::setThreshold(FpcLog::Fatal); // no hex dumps
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    std::vector<std::unique_ptr<FpcFingerprint>> owned;
    std::vector<VomuMeasurements> measurements;
    owned.push_back(std::make_unique<FpcFingerprint>());
    measurements.emplace_back();
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        const std::string line = input.substr(start, end - start);
        if (line == "#") {
            owned.push_back(std::make_unique<FpcFingerprint>());
            measurements.emplace_back();
        } else {
            addLine(line, *owned.back(), measurements.back());
        }
        start = end + 1;
    }
    QList<FpcFingerprint *> fingerprints;
    for (size_t i = 0; i < owned.size(); ++i) {
        owned[i]->setTime(QDateTime::fromSecsSinceEpoch(1700000000 + qint64(i), Qt::UTC));
        owned[i]->setMeasurements(measurements[i]);
        fingerprints << owned[i].get();
    }
    QByteArray report;
    check(FpcReport::externalize(fingerprints, report) == fingerprints.size());
    checkReport(report, fingerprints);
    return 0;
}
