#include "FpcCtlOutput.h"

#include <QJsonDocument>
#include <QTimeZone>

#include <cstdio>
#include <unistd.h>

bool FpcCtlOutput::s_progressShown = false;

namespace {

void writeTo(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void messageFilter(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    static const bool debug = qEnvironmentVariableIsSet("FPCCTL_DEBUG");
    if (type == QtDebugMsg || type == QtInfoMsg) {
        if (!debug)
            return;
    }
    writeTo(stderr, QStringLiteral("fpcctl: ") + message + QLatin1Char('\n'));
}

QString unitText(qint64 value, const char *unit)
{
    return QString::number(value) + QString::fromLatin1(unit);
}

} // namespace

void FpcCtlOutput::print(const QString &text)
{
    clearProgress();
    writeTo(stdout, text);
}

void FpcCtlOutput::printError(const QString &reason)
{
    clearProgress();
    writeTo(stderr, QStringLiteral("fpcctl: ") + reason + QLatin1Char('\n'));
}

void FpcCtlOutput::printNote(const QString &text)
{
    clearProgress();
    writeTo(stderr, text);
}

void FpcCtlOutput::printJson(const QJsonObject &object)
{
    const auto format = stdoutIsTerminal() ? QJsonDocument::Indented : QJsonDocument::Compact;
    QString text = QString::fromUtf8(QJsonDocument(object).toJson(format));
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    print(text);
}

void FpcCtlOutput::printJsonLine(const QJsonObject &object)
{
    print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
}

void FpcCtlOutput::progress(const QString &text)
{
    if (!stderrIsTerminal())
        return;
    writeTo(stderr, QStringLiteral("\r\033[K") + text);
    s_progressShown = true;
}

void FpcCtlOutput::clearProgress()
{
    if (!s_progressShown)
        return;
    s_progressShown = false;
    writeTo(stderr, QStringLiteral("\r\033[K"));
}

bool FpcCtlOutput::stdinIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool FpcCtlOutput::stdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

bool FpcCtlOutput::stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

QString FpcCtlOutput::bytes(qint64 count)
{
    if (count < 1024)
        return QString::number(count) + QStringLiteral(" B");
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = double(count);
    int unit = -1;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + QString::fromLatin1(units[unit]);
}

QString FpcCtlOutput::dateTime(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    return local.toString(QStringLiteral("ddd yyyy-MM-dd HH:mm:ss ")) + local.timeZoneAbbreviation();
}

QString FpcCtlOutput::relative(const QDateTime &time, const QDateTime &now)
{
    const qint64 difference = time.secsTo(now);
    const bool future = difference < 0;
    qint64 seconds = future ? -difference : difference;
    if (seconds == 0)
        return QStringLiteral("just now");
    const qint64 days = seconds / 86400;
    const qint64 hours = seconds % 86400 / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    seconds %= 60;
    QStringList parts;
    if (days > 0) {
        parts << (days == 1 ? QStringLiteral("1 day") : unitText(days, " days"));
        if (hours > 0)
            parts << unitText(hours, "h");
    } else if (hours > 0) {
        parts << unitText(hours, "h");
        if (minutes > 0)
            parts << unitText(minutes, "min");
    } else {
        if (minutes > 0)
            parts << unitText(minutes, "min");
        if (seconds > 0)
            parts << unitText(seconds, "s");
    }
    const QString span = parts.join(QLatin1Char(' '));
    return future ? QStringLiteral("in ") + span : span + QStringLiteral(" ago");
}

QString FpcCtlOutput::isoUtc(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

void FpcCtlOutput::installMessageFilter()
{
    qInstallMessageHandler(messageFilter);
}
