#include "FpcCommandLine.h"

#include "FpcPaths.h"

FpcCommandLine::FpcCommandLine(const QStringList &arguments, bool rdMode) : m_arguments(arguments)
{
    m_sbox = m_arguments.contains(QStringLiteral("--sbox"));
    if (m_sbox)
        m_arguments << QStringLiteral("--tracefile") << QStringLiteral("/dev/stdout");

    for (qsizetype i = 0; i < m_arguments.size(); ++i) {
        const QString &argument = m_arguments.at(i);
        if (argument == QLatin1String("--tracefile") && rdMode) {
            // The path is not consumed: the walk looks at it again as an
            // argument of its own.
            m_traceFileRequests << (i + 1 < m_arguments.size() ? m_arguments.at(i + 1) : FpcPaths::defaultTraceFile());
        } else if (argument == QLatin1String("--loglevel")) {
            if (++i >= m_arguments.size())
                break;
            m_logLevelName = m_arguments.at(i);
            m_hasLogLevel = true;
        }
    }

    m_radioLibraryLogging = rdMode && m_arguments.contains(QStringLiteral("--enable-rmlogging"));
    m_gatewayLibraryLogging = rdMode && m_arguments.contains(QStringLiteral("--enable-slpgwapilogging"));
}
