#pragma once

#include <QList>
#include <QString>

// Every configuration key the daemon reads, with the type its reader
// converts to, the default the reader falls back to and what it controls.
// The control client and the app list it, check values against it and show
// its defaults; the daemon's readers keep their own defaults at the call
// site.
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
    // Whether the daemon's reader takes value as the key's type (a whole
    // number for int, a non-negative one for uint, a finite number for
    // float, anything for string); false with a one-line reason otherwise.
    static bool valueFits(const Key &key, const QString &value, QString *error);
};
