#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>

// Records every Qt log message while it exists and hands it on (Quiet: only warnings and worse). One at a time.
class LogCapture
{
public:
    enum Mode { PassOn, Quiet };
    explicit LogCapture(Mode mode = PassOn);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    // Messages containing text.
    int count(const QString &text) const;
    bool contains(const QString &text) const { return count(text) > 0; }
    QStringList matching(const QString &text) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
    Mode m_mode;
};
