#pragma once

#include "FpcXmlLimits.h"

#include <QObject>
#include <QString>

class QDomDocument;

// The daemon's key/value configuration: one process-wide table of strings,
// filled from the XML configuration file at start-up, from D-Bus at run time
// and with the device identity when an instance is built. Typed getters
// convert on every read and fall back to the default their caller passes.
//
// File format: root element "fpcconfig" with "item" children, each giving a
// key and a value as attributes or as child elements:
//   <fpcconfig>
//    <item key="min_wlan_count" value="3"/>
//    <item><key>loglevel</key><value>INFO</value></item>
//   </fpcconfig>
class FpcConfig : public QObject
{
    Q_OBJECT
public:
    // Bounds of a configuration text (file or D-Bus); beyond them a text is
    // refused whole, as a malformed one is.
    static constexpr int MaxDepth = 8;
    static constexpr int MaxElements = 2048;
    static constexpr int MaxTextBytes = 1024 * 1024;

    // Records the device identity ("fpr/model_id", "fpr/user_id",
    // "fpr/hw_id") and resets "fpr/user_name" and "fpr/dump_reports".
    explicit FpcConfig(QObject *parent = nullptr);
    ~FpcConfig() override;

    static bool internalizeConf(const QString &path);
    static bool internalizeFromString(const QString &xml);
    static void addKey(const QString &key, const QString &value);
    static QString getValue(const QString &key);
    static quint32 getUIntValue(const QString &key, quint32 defaultValue);
    static qint32 getIntValue(const QString &key, qint32 defaultValue);
    static float getFloatValue(const QString &key, float defaultValue);
    static QString toXml();
    static QString getUserId();
    static QString getHwId();

    void getDeviceData();

private:
    static const FpcXmlLimits &limits();
    static bool withinLimits(const char *method, const FpcXmlLimits::Result &check);
    static bool parseConfig(const QDomDocument &document);
    static QString maskIdentity(const QString &identity, int keptDigits, const char *mismatchMessage);
};
