#pragma once

#include <QDBusMessage>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QVariantList>

// One fake system service on the private test bus, stopped when destroyed: python3-dbusmock with one of its
// templates (networkmanager, upower) or a template file of ours (templateFile()), configured by JSON parameters.
class FakeService
{
public:
    FakeService(const QString &template_, const QString &busName, const QJsonObject &parameters = {})
        : m_template(template_), m_busName(busName), m_parameters(parameters)
    {}
    ~FakeService();

    // False when the service did not claim its name in time.
    bool start();
    QString errorString() const { return m_error; }

    // A call of dbusmock's control interface on the object at path; the reply (an error reply on failure).
    QDBusMessage mock(const QString &path, const QString &method, const QVariantList &arguments) const
    {
        return call(path, QStringLiteral("org.freedesktop.DBus.Mock"), method, arguments);
    }
    // A plain method call to the service.
    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments = {}) const;

    static QString templateFile(const QString &name)
    {
        return QStringLiteral(FPCD_SOURCE_DIR "/tests/platform/linux/") + name;
    }

private:
    QString m_template;
    QString m_busName;
    QJsonObject m_parameters;
    QProcess m_process;
    QString m_error;
};
