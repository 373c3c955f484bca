#pragma once

#include <QDebug>
#include <QString>

// Keeps exceptions out of the Qt event loop: every handler that the loop
// enters (D-Bus calls and signals, timers, component signals) runs its work
// through run(), which catches whatever the work throws, logs it with the
// handler's name and reports failure instead.
class FpcExceptionGuard
{
public:
    // Runs work(); true when it returned normally. On an exception the
    // critical line "<where> failed: <text>" is logged and the text is put
    // into *error when given.
    template<typename Work>
    static bool run(const char *where, Work &&work, QString *error = nullptr)
    {
        try {
            work();
            return true;
        } catch (...) {
            const QString text = describeCurrentException();
            qCritical() << where << "failed:" << text;
            if (error)
                *error = text;
            return false;
        }
    }

    // The text of the exception being handled: a QString or standard string
    // as thrown, a standard exception's what(), a gateway code as a number.
    // Call only inside a catch block.
    static QString describeCurrentException();
};
