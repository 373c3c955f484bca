#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

// The networks the stand-in can pretend to have, best bearer first.
enum class SlpGwNetwork { None, FreeWlan, HomeCellular, RoamingCellular };

// How a transaction's data goes to the server: as the binary report it is
// (the positioning server), or as geosubmit v2 JSON (a community database).
enum class SlpGwTransport { SlpReport, Geosubmit };

// The development configuration of the gateway stand-in: a key=value file
// (default RootPath::apply("/etc/slpgw/slpgw.conf"), or the file named by
// $SLPGW_CONFIG) overlaid by environment variables SLPGW_<KEY>. Invalid
// values are logged and replaced by their defaults.
class SlpGwSettings
{
public:
    static constexpr int MaxConfigBytes = 64 * 1024;

    QUrl serverUrl{QStringLiteral("http://127.0.0.1:8280/slp-fp")};
    // False when the file or environment gave a server_url that was refused:
    // a geosubmit transport then sends nothing rather than to the default.
    bool serverUrlUsable = true;
    SlpGwTransport transport = SlpGwTransport::SlpReport;
    SlpGwNetwork network = SlpGwNetwork::FreeWlan;
    int requestDataDelayMs = 200;
    int answerTimeoutMs = 60000;
    int receivePieceSize = 0;     // 0: the caller's attribute 101, else 4096
    bool receiveEndEmpty = false; // end every reply with an empty complete piece
    int failConnect = 0;          // code that Connect() returns; 0 = succeed
    QList<int> failNextCalls;     // codes for the next attach/prepare calls
    QString failNextCallsStamp;   // changes whenever the list is given anew
    bool failCreate = false;      // createSlpGw() returns null
    int libraryVersion = 1;       // what SlpGwFactory::version() answers
    int pollIntervalMs = 1000;    // how often the file is checked for changes

    static QString configPath();
    // Identifies the current file and environment: when it changes, the
    // configuration must be loaded anew.
    static QString currentStamp();
    static SlpGwSettings load();
    static SlpGwSettings fromText(const QByteArray &fileText, const QString &fileStamp);

    static QString networkName(SlpGwNetwork network);
    // True for an http or https URL with a host: what a server_url must be.
    static bool isServerUrl(const QUrl &url);

    // The owner of the gateway (the daemon) may name a community server of
    // its own: while set, uploads go there as geosubmit, whatever transport
    // and server_url the file and environment give; everything else stays
    // theirs. An empty URL returns to them. Takes effect at the gateway's
    // next refresh (the stamp changes with it).
    static void setCommunityServer(const QUrl &url);
    static QUrl communityServer();

private:
    static QString fileStamp(const QString &path);
    static QMap<QString, QString> parseLines(const QByteArray &text);
    static QMap<QString, QString> environmentOverrides();
    void apply(const QString &key, const QString &value);
    void applyCommunityServer();
};
