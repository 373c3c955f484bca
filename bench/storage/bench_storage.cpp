// Inserts the same stream of fingerprints, one transaction each, through
// FpcSqlHandler under several journal settings and prints one table row per
// setting: time per insert, bytes handed to the file system per insert,
// flushes (fsync/fdatasync) per insert, bytes on disk afterwards, and how
// many fingerprints fit below the default 300000-byte buffer limit as the
// buffer counts its size.
//
//   bench_storage [--count N] [--dir DIRECTORY]

#include "BenchProcessCounters.h"
#include "FpcFingerprint.h"
#include "FpcPosition.h"
#include "FpcSqlHandler.h"
#include "VomuElementGSM.h"
#include "VomuElementWLAN.h"
#include "VomuMeasurements.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <functional>

// ---------------------------------------------------------------- workload

using BenchProcessCounters::ioCounter;

namespace {

const qint64 BufferLimit = 300000;
// The chosen setting's log reserve, known once its connection is configured.
const qint64 ChosenReserve = -2;
qint64 g_chosenReserve = 0;

// A typical fingerprint: GPS fix, GSM serving cell with six neighbours and
// ten access points.
FpcFingerprint makeFingerprint(int n)
{
    FpcFingerprint fp;
    fp.setTime(QDateTime::fromSecsSinceEpoch(1700000000 + 60 * n, Qt::UTC).addMSecs(n % 1000));

    FpcPosition position;
    position.setCoordinate(60.1 + n * 1e-4, 24.9 + n * 1e-4, 12.0f + n % 40);
    position.setHorizontalAccuracy(8.0f);
    position.setAltitudeAccuracy(15.0f);
    position.setTimestamp(1700000000 + 60 * n);
    fp.setPosition(position);

    VomuMeasurements m;
    auto *gsm = new VomuElementGSM();
    gsm->setCountryCode(244);
    gsm->setNetworkId(5);
    gsm->setLocationAreaCode(quint16(1000 + n % 50));
    gsm->setCellId(quint16(4000 + n % 300));
    gsm->setPowerRx(40);
    gsm->setTimingAdvance(3);
    for (int k = 0; k < 6; ++k) {
        VomuElementGSM::NeighbourCell cell(quint8(10 + k), quint16(60 + k));
        cell.setPowerRx(quint8(20 + k));
        gsm->appendNeighbourCell(cell);
    }
    m.append(gsm);
    for (int k = 0; k < 10; ++k) {
        auto *wlan = new VomuElementWLAN();
        const uint8_t mac[6] = {0x00, 0x1a, 0x2b, uint8_t(n), uint8_t(n >> 8), uint8_t(k)};
        wlan->setMac(VomuWlanMacAddress(mac, 6));
        wlan->setPowerRx(qint8(-40 - k * 3));
        wlan->setRssi(quint8(100 + k));
        m.append(wlan);
    }
    fp.setMeasurements(m);
    return fp;
}

qint64 writtenBytes()
{
    return ioCounter("wchar");
}

qint64 flashBytes()
{
    return ioCounter("write_bytes") - ioCounter("cancelled_write_bytes");
}

qint64 fileSize(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : 0;
}

struct Setting
{
    QString name;
    // Applied to the fresh connection before the schema is created.
    std::function<bool(FpcSqlHandler &)> configure;
    // Bytes counted for the write-ahead log whatever its size: -1 for no
    // log (rollback journal), 0 to count the log as it is.
    qint64 logReserve;
};

struct Result
{
    double msPerInsert = 0;
    double kibPerInsert = 0;
    double flashKibPerInsert = 0;
    double flushesPerInsert = 0;
    qint64 onDisk = 0;
    int fitting = 0;
};

bool exec(const QString &statement)
{
    QSqlQuery query(QSqlDatabase::database());
    return query.exec(statement);
}

bool openDatabase(const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(path);
    return db.open();
}

void closeDatabase()
{
    {
        QSqlDatabase db = QSqlDatabase::database();
        db.close();
    }
    QSqlDatabase::removeDatabase(QString::fromLatin1(QSqlDatabase::defaultConnection));
}

qint64 countedSize(const QString &path, qint64 logReserve);

Result run(const Setting &setting, const QString &directory, int count)
{
    Result result;
    static int runNumber = 0;
    const QString path = directory + QStringLiteral("/run%1.db").arg(++runNumber);
    if (!openDatabase(path)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return result;
    }
    {
        FpcSqlHandler sql;
        if (!setting.configure(sql) || !sql.createTables()) {
            std::fprintf(stderr, "cannot configure %s\n", qPrintable(setting.name));
            return result;
        }
        sql.resetQueries();

        QList<FpcFingerprint> stream;
        for (int i = 0; i < count; ++i)
            stream << makeFingerprint(i);

        const qint64 bytesBefore = writtenBytes();
        const qint64 flashBefore = flashBytes();
        const long flushesBefore = BenchProcessCounters::flushes();
        QElapsedTimer timer;
        timer.start();
        result.fitting = -1;
        for (int i = 0; i < count; ++i) {
            if (sql.insert(stream.at(i)) < 1)
                std::fprintf(stderr, "insert %d failed in %s\n", i, qPrintable(setting.name));
            const qint64 reserve = setting.logReserve == ChosenReserve ? g_chosenReserve : setting.logReserve;
            if (result.fitting < 0 && countedSize(path, reserve) >= BufferLimit)
                result.fitting = i;
        }
        const qint64 nanoseconds = timer.nsecsElapsed();
        result.msPerInsert = nanoseconds / 1e6 / count;
        result.kibPerInsert = (writtenBytes() - bytesBefore) / 1024.0 / count;
        result.flashKibPerInsert = (flashBytes() - flashBefore) / 1024.0 / count;
        result.flushesPerInsert = double(BenchProcessCounters::flushes() - flushesBefore) / count;
        result.onDisk = fileSize(path) + fileSize(path + QStringLiteral("-wal"));
        if (result.fitting < 0)
            result.fitting = count;
    }
    closeDatabase();
    return result;
}

Setting rollbackJournal(const char *mode, int pageSize)
{
    return {
        QStringLiteral("rollback journal (%1), synchronous=FULL, %2-byte pages").arg(QLatin1String(mode)).arg(pageSize),
        [=](FpcSqlHandler &) {
            return exec(QStringLiteral("PRAGMA page_size=%1").arg(pageSize))
                   && exec(QStringLiteral("PRAGMA journal_mode=%1").arg(QLatin1String(mode)))
                   && exec(QStringLiteral("PRAGMA synchronous=FULL"));
        },
        -1};
}

Setting writeAheadLog(int pageSize, int checkpointPages, qint64 reserve)
{
    const QString bound = reserve > 0 ? QStringLiteral("log held to and counted as %1 KiB").arg(reserve / 1024)
                                      : QStringLiteral("log unbounded, counted as it is");
    return {QStringLiteral("WAL, synchronous=NORMAL, %1-byte pages, checkpoint every %2 pages, %3")
                .arg(pageSize)
                .arg(checkpointPages)
                .arg(bound),
            [=](FpcSqlHandler &) {
                return exec(QStringLiteral("PRAGMA page_size=%1").arg(pageSize))
                       && exec(QStringLiteral("PRAGMA journal_mode=WAL"))
                       && exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
                       && exec(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(checkpointPages))
                       && exec(QStringLiteral("PRAGMA journal_size_limit=%1").arg(reserve > 0 ? reserve : -1));
            },
            reserve};
}

qint64 countedSize(const QString &path, qint64 logReserve)
{
    if (logReserve < 0)
        return fileSize(path);
    return fileSize(path) + qMax(fileSize(path + QStringLiteral("-wal")), logReserve);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int count = 1000;
    QString directory;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--count"))
            count = qMax(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--dir"))
            directory = args.at(i + 1);
    }
    QTemporaryDir temporary(directory.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_storage-XXXXXX")
                                                : directory + QStringLiteral("/bench_storage-XXXXXX"));
    if (!temporary.isValid()) {
        std::fprintf(stderr, "cannot create a directory for the databases\n");
        return 1;
    }
    // Keep the per-row log lines of the handler out of the measurement.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    const Setting settings[] = {
        rollbackJournal("DELETE", 4096),
        rollbackJournal("DELETE", 1024),
        rollbackJournal("TRUNCATE", 1024),
        rollbackJournal("DELETE", 512),
        writeAheadLog(1024, 1000, 0),
        writeAheadLog(1024, 16, 40 * 1024),
        writeAheadLog(1024, 32, 64 * 1024),
        writeAheadLog(512, 64, 56 * 1024),
        // Candidates with the log held to about a sixth of the limit.
        writeAheadLog(4096, 16, 129 * 1024),
        writeAheadLog(512, 80, 48 * 1024),
        {QStringLiteral("**chosen**: WAL, synchronous=NORMAL, %1-byte pages, incremental vacuum, log share 1/%2 "
                        "of the limit")
             .arg(FpcSqlHandler::PageSize)
             .arg(FpcSqlHandler::LogShareDivisor),
         [](FpcSqlHandler &sql) {
             const bool ok = sql.configureConnection();
             sql.setLogShare(BufferLimit);
             g_chosenReserve = sql.logReserve();
             return ok;
         },
         ChosenReserve},
    };

    QTextStream out(stdout);
    out << "fingerprints per run: " << count << " (GPS fix, GSM cell + 6 neighbours, 10 access points)\n\n";
    out << "| setting | ms/insert | ratio | KiB written/insert | ratio | KiB of pages dirtied/insert | ratio "
           "| flushes/insert | on disk after run (bytes) | fingerprints below 300000 bytes |\n";
    out << "|---|---|---|---|---|---|---|---|---|---|\n";
    Result baseline;
    bool first = true;
    for (const Setting &setting : settings) {
        const Result r = run(setting, temporary.path(), count);
        if (first) {
            baseline = r;
            first = false;
        }
        out << "| " << setting.name << " | " << QString::number(r.msPerInsert, 'f', 3) << " | "
            << QString::number(r.msPerInsert / baseline.msPerInsert, 'f', 2) << " | "
            << QString::number(r.kibPerInsert, 'f', 1) << " | "
            << QString::number(r.kibPerInsert / baseline.kibPerInsert, 'f', 2) << " | "
            << QString::number(r.flashKibPerInsert, 'f', 1) << " | "
            << QString::number(r.flashKibPerInsert / baseline.flashKibPerInsert, 'f', 2) << " | "
            << QString::number(r.flushesPerInsert, 'f', 2) << " | " << r.onDisk << " | " << r.fitting << " |\n";
        out.flush();
    }
    return 0;
}
