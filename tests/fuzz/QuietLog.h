#pragma once

#include <QtGlobal>

// Fuzz runs call the parsers millions of times: their log lines would only
// slow the run down, so they are dropped.
inline void quietLog()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}
