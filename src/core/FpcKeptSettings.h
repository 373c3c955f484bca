#pragma once

#include <QString>
#include <QStringList>

// The privacy settings - collection and upload switches, privacy zones and
// the community upload server -
// outlive the daemon even when set at run time: a switch turned off over
// D-Bus must not come back on at the next start. They are kept in
// "settings.cfg" (an fpcconfig file) next to the database in the private
// directory, read after the configuration file and rewritten whenever one
// of them changes.
class FpcKeptSettings
{
public:
    static const QStringList &keys();
    static bool isKept(const QString &key);
    static QString filePath();
    // Adds the kept values to the configuration; a missing file is no fault.
    static void load();
    // Writes the current kept values; false (logged) when the file cannot
    // be written - the values stay in effect until the daemon stops.
    static bool save();
};
