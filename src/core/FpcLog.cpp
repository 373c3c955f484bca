#include "FpcLog.h"

#include "FpcPaths.h"
#include "FpcPrivateFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace {

struct TraceState
{
    // Guards only the stream handle: messages may arrive from library
    // threads while the main thread switches trace files.
    QMutex mutex;
    FILE *file = nullptr;
    QString fileName;
    int threshold = FpcLog::Debug;
    bool rdMode = false;
    bool installed = false;
};

TraceState &state()
{
    static TraceState instance;
    return instance;
}

const QLatin1String InfoPrefix("[INFO]");
const QLatin1String ErrorPrefix("[ERROR]");
// A seed is a short file name part; the rest of a longer line is not read.
constexpr qint64 kMaxSeedBytes = 256;

QString withoutPrefix(const QString &message, qsizetype prefixLength)
{
    QString text = message.mid(prefixLength);
    if (text.startsWith(QLatin1Char(' ')))
        text.remove(0, 1);
    return text;
}

const char *lineFormat(int level)
{
    switch (level) {
    case FpcLog::Debug:
        return "%s Debug: %s\n";
    case FpcLog::Info:
        return "%s Info: %s\n";
    case FpcLog::Warning:
        return "%s Warning: %s\n";
    case FpcLog::Error:
        return "%s Error: %s\n";
    case FpcLog::Critical:
        return "%s Critical: %s\n";
    default:
        return "%s Fatal: %s\n";
    }
}

} // namespace

void FpcLog::install()
{
    state().installed = true;
    qInstallMessageHandler(&FpcLog::messageHandler);
}

void FpcLog::messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    TraceState &s = state();
    if (!s.file)
        return;

    int level = Fatal;
    QString text = message;
    switch (type) {
    case QtDebugMsg:
        if (message.startsWith(InfoPrefix)) {
            level = Info;
            text = withoutPrefix(message, InfoPrefix.size());
        } else if (message.startsWith(ErrorPrefix)) {
            level = Error;
            text = withoutPrefix(message, ErrorPrefix.size());
        } else {
            level = Debug;
        }
        break;
    case QtInfoMsg: // Qt's own info messages (qInfo) are Info lines
        level = Info;
        break;
    case QtWarningMsg:
        level = Warning;
        break;
    case QtCriticalMsg:
        level = Critical;
        break;
    default:
        level = Fatal;
        break;
    }
    if (level != Fatal && level < s.threshold)
        return;

    const QByteArray stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8();
    const QByteArray line = text.toUtf8();
    {
        QMutexLocker locker(&s.mutex);
        if (!s.file)
            return;
        std::fprintf(s.file, lineFormat(level), stamp.constData(), line.constData());
    }
    if (level == Fatal)
        QCoreApplication::quit();
}

bool FpcLog::writes(int level)
{
    const TraceState &s = state();
    return (level == Fatal || s.threshold <= level) && (!s.installed || s.file != nullptr);
}

int FpcLog::threshold()
{
    return state().threshold;
}

void FpcLog::setThreshold(int level)
{
    state().threshold = level;
}

int FpcLog::levelFromName(const QString &name)
{
    static const char *const names[] = {"DEBUG", "INFO", "WARN", "ERROR", "CRITICAL", "FATAL"};
    for (int i = 0; i < 6; ++i) {
        if (name == QLatin1String(names[i]))
            return i + 1;
    }
    return 0;
}

bool FpcLog::rdMode()
{
    return state().rdMode;
}

void FpcLog::setRdMode(bool enabled)
{
    state().rdMode = enabled;
}

QString FpcLog::logFileName()
{
    return state().fileName;
}

bool FpcLog::hasLogFile()
{
    return state().file != nullptr;
}

void FpcLog::closeLogFile()
{
    TraceState &s = state();
    QMutexLocker locker(&s.mutex);
    if (s.file) {
        std::fclose(s.file);
        s.file = nullptr;
    }
}

void FpcLog::useLogFile(FILE *file, const QString &path)
{
    TraceState &s = state();
    std::setvbuf(file, nullptr, _IONBF, 0);
    {
        QMutexLocker locker(&s.mutex);
        s.file = file;
    }
    s.fileName = path;
    qDebug() << "FpcEventHandler::setLogFile() New logfile: " << s.fileName;
}

void FpcLog::setLogFile(const QString &path)
{
    closeLogFile();
    if (path.isEmpty()) {
        state().fileName.clear();
        qDebug() << "FpcEventHandler::setLogFile() New logfile: " << state().fileName;
        return;
    }
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "a");
    if (!file) {
        qDebug() << "Unable to write trace to a file (" << path << ")";
        return;
    }
    useLogFile(file, path);
}

bool FpcLog::adoptLogFile(int fd, const QString &path)
{
    closeLogFile();
    FILE *file = ::fdopen(fd, "a");
    if (!file) {
        ::close(fd);
        qDebug() << "Unable to write trace to a file (" << path << ")";
        return false;
    }
    useLogFile(file, path);
    return true;
}

QString FpcLog::openStartupTraceFile(const QString &path)
{
    // A path given on the command line is the administrator's choice (it
    // may well be a link such as /dev/stdout). The default trace file lies
    // in a directory other users can write to: it is never opened through a
    // link.
    const QString defaultPath = FpcPaths::defaultTraceFile();
    if (path != defaultPath) {
        QFile test(path);
        if (test.open(QIODevice::WriteOnly) && test.isWritable()) {
            test.close();
            setLogFile(path);
            return path;
        }
    }
    const int fd = FpcPrivateFile::createOrTruncate(defaultPath);
    if (fd < 0) {
        qDebug() << "Unable to write trace to a file (" << defaultPath << ")";
        return defaultPath;
    }
    adoptLogFile(fd, defaultPath);
    return defaultPath;
}

void FpcLog::restartLogging()
{
    qDebug() << "FpcEventHandler::restartLogging() <-";
    if (!rdMode())
        return;

    const QString tracePathFile = FpcPaths::tracePathFile();
    qDebug() << "FpcEventHandler::restartLogging() Checking tracepathfile from: " << tracePathFile;
    if (!QFile::exists(tracePathFile)) {
        qDebug() << "FpcEventHandler::restartLogging() tracepathfile doesn't exist - stop logging";
        setLogFile(QString());
        qDebug() << "FpcEventHandler::restartLogging() ->";
        return;
    }
    QFile seedFile;
    const int seedFd = FpcPrivateFile::openForReading(tracePathFile);
    if (seedFd < 0 || !seedFile.open(seedFd, QIODevice::ReadOnly | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        if (seedFd >= 0)
            ::close(seedFd);
        qDebug() << "FpcEventHandler::restartLogging() tracepathfile open failed - return ->";
        return;
    }
    const QString seed = QString::fromUtf8(seedFile.readLine(kMaxSeedBytes)).remove(QLatin1Char('\n'));
    seedFile.close();
    qDebug() << "FpcEventHandler::restartLogging() fpc_tracefile seed: " << seed;
    // The seed names a file inside the log directory; a path in it would let
    // whoever writes the seed file choose where the daemon writes.
    if (seed.contains(QLatin1Char('/'))) {
        qDebug() << "FpcEventHandler::restartLogging() seed is not a file name - logging not started ->";
        return;
    }

    bool alreadyOngoing = false;
    const QString newFile = nextNumberedTraceFile(seed, &alreadyOngoing);
    if (alreadyOngoing)
        return;

    // The next numbered file is a new one by construction; a name that is
    // already taken (a planted link above all) is never written through.
    const int fd = FpcPrivateFile::createNew(newFile);
    if (fd < 0) {
        qDebug() << "FpcEventHandler::restartLogging() tracefile open failed - logging not started ->";
        return;
    }
    adoptLogFile(fd, newFile);
    qDebug() << "FpcEventHandler::restartLogging() Logging started to file: " << logFileName();
    qDebug() << "FpcEventHandler::restartLogging() ->";
}

// The index of a numbered trace file name: the characters after "fpc_" and
// the name part, up to the next ".". The name part may hold dots itself.
QString FpcLog::numberedIndexText(const QString &entry, const QString &namePart)
{
    const QString stem = QStringLiteral("fpc_") + namePart;
    const qsizetype start = entry.indexOf(stem, 0, Qt::CaseInsensitive);
    if (start < 0)
        return QString();
    const qsizetype from = start + stem.size();
    const qsizetype dot = entry.indexOf(QLatin1Char('.'), from);
    return entry.mid(from, dot < 0 ? -1 : dot - from);
}

// The trace file that follows the numbered files of seed's name part in the
// log directory; sets *alreadyOngoing (and returns nothing) when the current
// trace file is one of them.
QString FpcLog::nextNumberedTraceFile(const QString &seed, bool *alreadyOngoing)
{
    const QString logDirectory = FpcPaths::logDirectory();
    const QString namePart = seed.size() >= 5 ? seed.left(seed.size() - 4) : QString();
    const QString filter = QStringLiteral("*fpc_") + namePart + QStringLiteral("*");
    qDebug() << "FpcEventHandler::restartLogging() logfile filter " << filter;

    const QStringList entries =
        QDir(logDirectory)
            .entryList(QStringList(filter), QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    if (entries.isEmpty()) {
        qDebug() << "FpcEventHandler::restartLogging() Logfile with current seed doesn't exist";
        return logDirectory + QStringLiteral("fpc_") + seed + QStringLiteral(".log");
    }

    const QString currentName = QFileInfo(logFileName()).fileName();
    qDebug() << "FpcEventHandler::restartLogging() Current logfile: " << currentName;
    qint64 greatest = 0;
    for (const QString &entry : entries) {
        qDebug() << "FpcEventHandler::restartLogging() Got file " << logDirectory + entry;
        if (entry == currentName) {
            qDebug() << "FpcEventHandler::restartLogging() LTT loggin already ongoing ->";
            *alreadyOngoing = true;
            return QString();
        }
        const QString indexText = numberedIndexText(entry, namePart);
        qDebug() << "FpcEventHandler::restartLogging() vomuIndx: " << indexText;
        // Out-of-range or non-numeric index texts count as 0.
        const int index = indexText.toInt();
        qDebug() << "FpcEventHandler::restartLogging() current vomuIndx: " << index;
        greatest = qMax<qint64>(greatest, index);
        qDebug() << "FpcEventHandler::restartLogging() Greates indx: " << greatest;
    }

    QString next = QString::number(greatest + 1);
    while (next.size() < 4) {
        next.prepend(QLatin1Char('0'));
        qDebug() << "FpcEventHandler::restartLogging() increment: " << next;
    }
    const QString newFile = logDirectory + QStringLiteral("fpc_") + namePart + next + QStringLiteral(".log");
    qDebug() << "FpcEventHandler::restartLogging() Start logging to file: " << newFile;
    return newFile;
}
