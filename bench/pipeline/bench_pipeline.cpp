// The storage chain a new fingerprint goes through (the second filter's
// look-ups, then the buffer's insertion with its size, daily-limit and upload
// checks) against raw SQLite writing the same rows into a copy of the same
// file (same schema, page size and pragmas), one transaction per
// fingerprint, side by side in one run. Then the upload report of a full
// buffer against a plain SELECT of the same rows.
//
//   bench_pipeline [--sizes 100,1000,10000,100000] [--batch K] [--repeats R]
//                  [--report-sizes 1000,10000,65535] [--report-repeats R]
//                  [--dir DISK_DIRECTORY] [--tmpfs TMPFS_DIRECTORY or none]
//
// Each size is the number of fingerprints already stored; every repeat
// stores a batch of K more through each side. Times are per fingerprint,
// min and median over the repeats.

#include "BenchProcessCounters.h"
#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "FpcFilter2.h"
#include "FpcFingerprint.h"
#include "FpcLog.h"
#include "FpcPosition.h"
#include "FpcSqlHandler.h"
#include "VomuElementGSM.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using BenchProcessCounters::ioCounter;
using BenchProcessCounters::statusKib;

namespace {

// ---------------------------------------------------------------- workload

enum Kind { Gps, CellOnly };
const char *kindName(Kind kind)
{
    return kind == Gps ? "GPS + GSM + 10 APs" : "cell only (GSM)";
}

// Fingerprint number n, measured at place: fixes lie on a grid about 45 m
// apart, serving cells repeat every 2000 places.
FpcFingerprint makeFingerprint(Kind kind, qint64 n, qint64 place)
{
    FpcFingerprint fp;
    fp.setTime(QDateTime::fromSecsSinceEpoch(1700000000 + n, Qt::UTC).addMSecs(n % 1000));
    if (kind == Gps) {
        FpcPosition position;
        position.setCoordinate(60.0 + double(place / 300) * 0.0004, 24.0 + double(place % 300) * 0.0008,
                               12.0f + float(place % 40));
        position.setHorizontalAccuracy(8.0f);
        position.setAltitudeAccuracy(15.0f);
        position.setTimestamp(long(1700000000 + n));
        fp.setPosition(position);
    }
    VomuMeasurements m;
    auto *gsm = new VomuElementGSM();
    gsm->setCountryCode(244);
    gsm->setNetworkId(5);
    gsm->setLocationAreaCode(quint16(1000 + (place / 2000) % 50));
    gsm->setCellId(quint16(place % 2000));
    gsm->setPowerRx(40);
    gsm->setTimingAdvance(3);
    for (int k = 0; k < 6; ++k) {
        VomuElementGSM::NeighbourCell cell(quint8(10 + k), quint16(60 + k));
        cell.setPowerRx(quint8(20 + k));
        gsm->appendNeighbourCell(cell);
    }
    m.append(gsm);
    for (int k = 0; kind == Gps && k < 10; ++k) {
        auto *wlan = new VomuElementWLAN();
        const uint8_t mac[6] = {0x00, 0x1a, uint8_t(place >> 16), uint8_t(place >> 8), uint8_t(place), uint8_t(k)};
        wlan->setMac(VomuWlanMacAddress(mac, 6));
        wlan->setPowerRx(qint8(-40 - k * 3));
        wlan->setRssi(quint8(100 + k));
        m.append(wlan);
    }
    fp.setMeasurements(m);
    return fp;
}

// ---------------------------------------------------------------- raw SQLite

// Writes the rows the buffer writes for a fingerprint, with prepared
// statements and bound values, nothing else.
class RawWriter
{
public:
    ~RawWriter() { close(); }

    bool open(const QString &path, const QStringList &pragmas)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            return false;
        for (const QString &pragma : pragmas)
            exec(pragma.toUtf8().constData());
        const char *texts[] = {
            "INSERT INTO Fingerprint (time, timeMSecs, exported, dataMask) values(?, ?, 0, ?)",
            "INSERT INTO Position (fpId, latitude, longitude, altitude, altUncertainty, time, timeMSecs, cep68) "
            "values(?, ?, ?, ?, ?, ?, ?, ?)",
            "INSERT INTO Geran (fpId, mcc, mnc, lac, cid, rxLevel, ta) values(?, ?, ?, ?, ?, ?, ?)",
            "INSERT INTO Gncell (fpId, bsic, bcch, rxLevel) values(?, ?, ?, ?)",
            "INSERT INTO Wlan (fpId, mac, rxLevel, rssi) values(?, ?, ?, ?)",
        };
        for (int i = 0; i < 5; ++i) {
            if (sqlite3_prepare_v2(m_db, texts[i], -1, &m_statements[i], nullptr) != SQLITE_OK)
                return false;
        }
        return true;
    }

    void close()
    {
        for (sqlite3_stmt *&statement : m_statements) {
            sqlite3_finalize(statement);
            statement = nullptr;
        }
        if (m_db)
            sqlite3_close(m_db);
        m_db = nullptr;
    }

    void exec(const char *sql) { sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

    void insert(const FpcFingerprint &fp)
    {
        exec("BEGIN");
        insertRows(fp);
        exec("COMMIT");
    }

    void insertRows(const FpcFingerprint &fp)
    {
        run(m_statements[0], {fp.time().toSecsSinceEpoch(), fp.time().time().msec(), fp.dataMask()});
        const qint64 id = sqlite3_last_insert_rowid(m_db);
        if (fp.hasPosition()) {
            const FpcPosition p = fp.position();
            sqlite3_stmt *s = m_statements[1];
            sqlite3_bind_int64(s, 1, id);
            sqlite3_bind_double(s, 2, QString::number(p.latitude(), 'f', 10).toDouble());
            sqlite3_bind_double(s, 3, QString::number(p.longitude(), 'f', 10).toDouble());
            sqlite3_bind_int64(s, 4, qint64(p.altitude()));
            sqlite3_bind_int64(s, 5, qint64(p.altitudeAccuracy()));
            sqlite3_bind_int64(s, 6, p.timestamp());
            sqlite3_bind_int64(s, 7, p.timestampMicroseconds());
            sqlite3_bind_int64(s, 8, qint64(p.cep68()));
            sqlite3_step(s);
            sqlite3_reset(s);
        }
        const VomuMeasurements m = fp.measurements();
        for (int i = 0; i < m.count(); ++i) {
            if (const auto *gsm = dynamic_cast<const VomuElementGSM *>(m.element(i))) {
                run(m_statements[2], {id, gsm->countryCode(), gsm->networkId(), gsm->locationAreaCode(), gsm->cellId(),
                                      gsm->powerRx(), gsm->timingAdvance()});
                for (int k = 0; k < gsm->neighbourCellCount(); ++k) {
                    const VomuElementGSM::NeighbourCell n = gsm->neighbourCell(k);
                    run(m_statements[3], {id, n.color(), n.frequency(), n.powerRx()});
                }
            } else if (const auto *wlan = dynamic_cast<const VomuElementWLAN *>(m.element(i))) {
                run(m_statements[4], {id, FpcSqlHandler::macToInt(wlan->mac()), wlan->powerRx(), wlan->rssi()});
            }
        }
    }

private:
    static void run(sqlite3_stmt *statement, std::initializer_list<qint64> values)
    {
        int column = 1;
        for (qint64 value : values)
            sqlite3_bind_int64(statement, column++, value);
        sqlite3_step(statement);
        sqlite3_reset(statement);
    }

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statements[5] = {};
};

// Steps through every row of every table reading every column: the least
// any report of the buffer has to do.
qint64 plainSelect(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    qint64 values = 0;
    for (const char *table : {"Fingerprint", "Position", "Geran", "Gncell", "UtraFdd", "Uncell", "Wlan"}) {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, QByteArray("SELECT * FROM ").append(table).append(" ORDER BY fpId").constData(), -1, &s,
                           nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(s); ++c)
                values += sqlite3_column_int64(s, c) != 0;
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return values;
}

// ---------------------------------------------------------------- measuring

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double minimum(std::vector<double> v)
{
    return *std::min_element(v.begin(), v.end());
}
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
QString ms(double value)
{
    return QString::number(value, 'f', value < 1 ? 3 : 1);
}

struct Options
{
    QList<qint64> sizes{100, 1000, 10000, 100000};
    QList<qint64> reportSizes{1000, 10000, 65535};
    int batch = 10;
    int repeats = 5;
    int reportRepeats = 3;
    QString disk;
    QString tmpfs = QStringLiteral("/dev/shm");
};

void configureBuffer(const QString &path, qint64 limit)
{
    FpcConfig::addKey(QStringLiteral("db_file"), path);
    FpcConfig::addKey(QStringLiteral("fp_buffer_max_size"), QString::number(limit));
    FpcConfig::addKey(QStringLiteral("fp_buffer_daily_limit"), QStringLiteral("2000000000"));
}

QString pragmaText(const char *name)
{
    QSqlQuery query(QSqlDatabase::database());
    return query.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) && query.next()
               ? QStringLiteral("PRAGMA %1=%2").arg(QLatin1String(name), query.value(0).toString())
               : QString();
}

// Creates the buffer's file holding count fingerprints (the buffer lays it
// out, the rows go in in one transaction) and returns the pragmas its
// connection runs with, for the raw side.
QStringList prefill(const QString &path, Kind kind, qint64 count, qint64 limit)
{
    configureBuffer(path, limit);
    FpcBufferManager::instance();
    const QStringList pragmas{QStringLiteral("PRAGMA journal_mode=WAL"), pragmaText("synchronous"),
                              pragmaText("wal_autocheckpoint"), pragmaText("journal_size_limit")};
    FpcBufferManager::destroyInstance();
    RawWriter writer;
    writer.open(path, {QStringLiteral("PRAGMA synchronous=OFF")});
    writer.exec("BEGIN");
    for (qint64 n = 0; n < count; ++n)
        writer.insertRows(makeFingerprint(kind, n, n));
    writer.exec("COMMIT");
    writer.close();
    return pragmas;
}

// What the status report reads from the buffer: the list and the statistics.
void statusList(FpcBufferManager &buffer)
{
#ifdef BENCH_OBJECT_STATUS_LIST
    QList<FpcFingerprint *> list;
    buffer.getFingerprintsOnly(list);
    qDeleteAll(list);
#else
    QList<FpcSqlHandler::StoredSummary> summaries;
    buffer.getFingerprintSummaries(summaries);
#endif
    quint32 a, b, c, d, e, f, g;
    buffer.getBufferStatistics(a, b, c, d, e, f, g);
}

void benchPipeline(const Options &options, QTextStream &out)
{
    out << "| medium | fingerprints | stored | pipeline ms/fp min / median | raw SQLite ms/fp min / median "
           "| ratio (medians) | flushes/fp | KiB written/fp | KiB of pages dirtied/fp | status list ms |\n";
    out << "|---|---|---|---|---|---|---|---|---|---|\n";
    QRandomGenerator random(42);
    for (const auto &[medium, directory] : {std::pair{"disk", options.disk}, std::pair{"tmpfs", options.tmpfs}}) {
        if (directory == QLatin1String("none"))
            continue;
        QTemporaryDir dir(directory + QStringLiteral("/bench_pipeline-XXXXXX"));
        if (!dir.isValid()) {
            out << "| " << medium << " | cannot use " << directory << " |\n";
            continue;
        }
        for (Kind kind : {Gps, CellOnly}) {
            for (qint64 size : options.sizes) {
                const QString path = dir.filePath(QStringLiteral("buffer.db"));
                const QString rawPath = dir.filePath(QStringLiteral("raw.db"));
                const qint64 limit = qMax<qint64>(300000, size * 2000);
                const QStringList pragmas = prefill(path, kind, size, limit);
                QFile::copy(path, rawPath);

                configureBuffer(path, limit);
                FpcBufferManager &buffer = FpcBufferManager::instance();
                RawWriter raw;
                raw.open(rawPath, pragmas);
                std::vector<double> pipeline, rawTimes;
                long flushes = 0;
                qint64 written = 0, dirtied = 0;
                qint64 n = size;
                for (int repeat = 0; repeat < options.repeats; ++repeat) {
                    QList<FpcFingerprint> batch;
                    for (int k = 0; k < options.batch; ++k)
                        batch << makeFingerprint(kind, n++, qint64(random.bounded(quint32(qMax<qint64>(size, 1)))));
                    const long flushesBefore = BenchProcessCounters::flushes();
                    const qint64 writtenBefore = ioCounter("wchar");
                    const qint64 dirtiedBefore = ioCounter("write_bytes") - ioCounter("cancelled_write_bytes");
                    QElapsedTimer timer;
                    timer.start();
                    for (const FpcFingerprint &fp : std::as_const(batch)) {
                        FpcFilter2 filter;
                        filter.evaluateEntry(&fp);
                        buffer.storeFpEntry(fp);
                    }
                    pipeline.push_back(timer.nsecsElapsed() / 1e6 / options.batch);
                    flushes += BenchProcessCounters::flushes() - flushesBefore;
                    written += ioCounter("wchar") - writtenBefore;
                    dirtied += ioCounter("write_bytes") - ioCounter("cancelled_write_bytes") - dirtiedBefore;
                    timer.restart();
                    for (const FpcFingerprint &fp : std::as_const(batch))
                        raw.insert(fp);
                    rawTimes.push_back(timer.nsecsElapsed() / 1e6 / options.batch);
                }
                QElapsedTimer statusTimer;
                statusTimer.start();
                statusList(buffer);
                const double statusMs = statusTimer.nsecsElapsed() / 1e6;

                const double stored = double(options.repeats) * options.batch;
                out << "| " << medium << " | " << kindName(kind) << " | " << size << " | " << ms(minimum(pipeline))
                    << " / " << ms(median(pipeline)) << " | " << ms(minimum(rawTimes)) << " / " << ms(median(rawTimes))
                    << " | " << QString::number(median(pipeline) / median(rawTimes), 'f', 2) << " | "
                    << QString::number(flushes / stored, 'f', 2) << " | "
                    << QString::number(written / 1024.0 / stored, 'f', 1) << " | "
                    << QString::number(dirtied / 1024.0 / stored, 'f', 1) << " | " << ms(statusMs) << " |\n";
                out.flush();
                raw.close();
                FpcBufferManager::destroyInstance();
                for (const QString &file : {path, rawPath})
                    for (const char *suffix : {"", "-wal", "-shm"})
                        QFile::remove(file + QLatin1String(suffix));
            }
        }
    }
}

void benchReport(const Options &options, QTextStream &out)
{
    out << "\n| stored | plain SELECT ms min / median | report ms min / median | ratio (medians) "
           "| peak memory growth MiB | report bytes |\n|---|---|---|---|---|---|\n";
    const QString directory = options.tmpfs == QLatin1String("none") ? options.disk : options.tmpfs;
    QTemporaryDir dir(directory + QStringLiteral("/bench_report-XXXXXX"));
    for (qint64 size : options.reportSizes) {
        const QString path = dir.filePath(QStringLiteral("report.db"));
        const qint64 limit = qMax<qint64>(300000, size * 2000);
        prefill(path, Gps, size, limit);
        configureBuffer(path, limit);
        FpcBufferManager &buffer = FpcBufferManager::instance();
        std::vector<double> select, report;
        qint64 peakGrowth = 0, bytes = 0;
        for (int repeat = 0; repeat < options.reportRepeats; ++repeat) {
            QElapsedTimer timer;
            timer.start();
            plainSelect(path);
            select.push_back(timer.nsecsElapsed() / 1e6);

            QByteArray out;
            const qint64 before = statusKib("VmRSS");
            resetPeakMemory();
            timer.restart();
            buffer.createFpReport(out);
            report.push_back(timer.nsecsElapsed() / 1e6);
            peakGrowth = qMax(peakGrowth, statusKib("VmHWM") - before);
            bytes = out.size();
            buffer.cancelExport();
        }
        out << "| " << size << " | " << ms(minimum(select)) << " / " << ms(median(select)) << " | "
            << ms(minimum(report)) << " / " << ms(median(report)) << " | "
            << QString::number(median(report) / median(select), 'f', 2) << " | "
            << QString::number(peakGrowth / 1024.0, 'f', 1) << " | " << bytes << " |\n";
        out.flush();
        FpcBufferManager::destroyInstance();
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
    }
}

QList<qint64> numbers(const QString &text)
{
    QList<qint64> list;
    for (const QString &part : text.split(u',', Qt::SkipEmptyParts))
        list << part.toLongLong();
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    options.disk = QDir::tempPath();
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &name = args.at(i);
        const QString &value = args.at(i + 1);
        if (name == QLatin1String("--sizes"))
            options.sizes = numbers(value);
        else if (name == QLatin1String("--report-sizes"))
            options.reportSizes = numbers(value);
        else if (name == QLatin1String("--batch"))
            options.batch = qMax(1, value.toInt());
        else if (name == QLatin1String("--repeats"))
            options.repeats = qMax(1, value.toInt());
        else if (name == QLatin1String("--report-repeats"))
            options.reportRepeats = qMax(1, value.toInt());
        else if (name == QLatin1String("--dir"))
            options.disk = value;
        else if (name == QLatin1String("--tmpfs"))
            options.tmpfs = value;
    }
    if (options.tmpfs != QLatin1String("none") && !QDir(options.tmpfs).exists())
        options.tmpfs = options.disk;
    // The trace sink is installed without a trace file, as in the daemon
    // running without tracing: nothing is written.
    FpcLog::install();

    QTextStream out(stdout);
    out << "batch " << options.batch << " fingerprints x " << options.repeats << " repeats per row\n\n";
    benchPipeline(options, out);
    benchReport(options, out);
    return 0;
}
