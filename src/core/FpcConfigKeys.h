#pragma once

#include <QList>
#include <QString>

// Every configuration key the daemon reads, with the type its reader
// converts to, the default the reader falls back to and what it controls.
// The control client lists it, its shell completion offers it and the
// manual page of the configuration file documents it; the readers keep
// their own defaults at the call site, and a test holds the three together.
class FpcConfigKeys
{
public:
    struct Key
    {
        QString name;
        // "int", "uint", "float" or "string"
        QString type;
        // The value the daemon uses when the key is absent; empty for keys
        // without a fixed default.
        QString defaultValue;
        QString meaning;
        // Set by the daemon itself at start: a file's value is replaced.
        bool setByDaemon = false;
    };

    static const QList<Key> &all();
    // The entry of name, or nullptr for a key the daemon does not read.
    static const Key *find(const QString &name);
};
