#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh directory as FPCD_ROOT for this process and its children, so the daemon's fixed paths lie below it.
class TempRoot
{
public:
    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot &) = delete;
    TempRoot &operator=(const TempRoot &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    // absolutePath moved below the root, e.g. "/home/user" -> "<root>/home/user".
    QString path(const QString &absolutePath) const;

    // Writes a file at absolutePath below the root, creating its directories.
    bool writeFile(const QString &absolutePath, const QByteArray &contents) const;
    bool removeFile(const QString &absolutePath) const;
    bool makeDirectory(const QString &absolutePath) const;

    // The platform's rd-mode flag ("/device/rd-mode" of the system
    // information): on writes "enabled", off removes the value.
    bool setRdMode(bool enabled) const;
    // Any system information key, e.g. "/device/rd-mode".
    bool setSysInfoValue(const QString &key, const QByteArray &value) const;
    // A device information file (imsi, imei, wlan_interface, wlan_hwaddr, battery_level); an empty value removes it.
    bool setDeviceInfo(const QString &fileName, const QByteArray &value) const;

    // The daemon's configuration file: items as <item key=".." value=".."/> of an "fpcconfig" document.
    bool writeConfigItems(const QList<QPair<QString, QString>> &items) const;

    // The trace directory, created on demand, and files in it.
    QString logDirectory() const;
    bool makeLogDirectory() const;
    QString defaultTraceFile() const;
    QString tracePathFile() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousRoot;
    bool m_hadPreviousRoot = false;
};
