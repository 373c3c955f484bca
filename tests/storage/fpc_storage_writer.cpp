// Test helper: stores fingerprints through the buffer manager into the
// database given as the only argument, forever, and prints one line per
// stored fingerprint. The kill test ends it with SIGKILL at random moments.
//
// Every fingerprint has the same shape: a fix, a GSM cell with two
// neighbours and WriterAccessPoints access points.

#include "FpcBufferManager.h"
#include "FpcConfig.h"
#include "StorageTestData.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
const int WriterAccessPoints = 12;

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fpc_storage_writer DATABASE\n");
        return 2;
    }
    qInstallMessageHandler(quiet);
    FpcConfig::addKey(QStringLiteral("db_file"), QString::fromLocal8Bit(argv[1]));
    FpcConfig::addKey(QStringLiteral("fp_buffer_max_size"), QStringLiteral("100000000"));
    try {
        FpcBufferManager &buffer = FpcBufferManager::instance();
        for (quint32 i = 0;; ++i) {
            FpcFingerprint fp = StorageTestData::fingerprint(1700000000 + i, {StorageTestData::gsm(quint16(i))});
            VomuMeasurements aps;
            for (int k = 0; k < WriterAccessPoints; ++k)
                aps.append(StorageTestData::wlan({0, 0x1a, quint8(i >> 16), quint8(i >> 8), quint8(i), quint8(k)}));
            fp.setMeasurements(aps);
            if (!buffer.storeFpEntry(fp))
                return 1;
            std::printf("%u\n", i);
            std::fflush(stdout);
        }
    } catch (const QString &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
}
