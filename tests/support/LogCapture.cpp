#include "LogCapture.h"

#include <QMutexLocker>

namespace {
LogCapture *g_capture = nullptr;
}

LogCapture::LogCapture(Mode mode) : m_mode(mode)
{
    Q_ASSERT_X(!g_capture, "LogCapture", "one capture at a time");
    g_capture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_capture = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogCapture *capture = g_capture;
    if (!capture)
        return;
    {
        QMutexLocker lock(&capture->m_mutex);
        capture->m_lines.append(message);
    }
    const bool chatter = type == QtDebugMsg || type == QtInfoMsg;
    if (capture->m_previous && !(capture->m_mode == Quiet && chatter))
        capture->m_previous(type, context, message);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&m_mutex);
    return m_lines;
}

int LogCapture::count(const QString &text) const
{
    return matching(text).size();
}

QStringList LogCapture::matching(const QString &text) const
{
    QMutexLocker lock(&m_mutex);
    QStringList found;
    for (const QString &line : m_lines) {
        if (line.contains(text))
            found.append(line);
    }
    return found;
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_lines.clear();
}
