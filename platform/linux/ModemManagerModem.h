#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// The phone's modem as ModemManager shows it: the first object below
// /org/freedesktop/ModemManager1 that carries the Modem interface, with that
// interface's properties. Looked up afresh on each use, so a modem that
// comes, goes or is renumbered after a ModemManager restart is followed.
class ModemManagerModem
{
public:
    static constexpr const char *Service = "org.freedesktop.ModemManager1";
    static constexpr const char *ModemInterface = "org.freedesktop.ModemManager1.Modem";

    // Modem states of ModemManager used here.
    static constexpr qint64 StateRegistered = 8;

    // Nothing without ModemManager or without a modem.
    static std::optional<ModemManagerModem> find();

    QString path() const { return m_path; }
    const QVariantMap &properties() const { return m_properties; }
    // Properties of another interface of the same modem object.
    std::optional<QVariantMap> interfaceProperties(const char *interface) const;
    // The SIM's object path; empty when no SIM is inserted.
    QString simPath() const;
    // Registered or better (connecting, connected, ...).
    bool isRegistered() const;

private:
    QString m_path;
    QVariantMap m_properties;
};
