#pragma once

#include "VomuWlanMacAddress.h"

#include <QByteArray>
#include <QString>

class QJsonObject;

#include <cstdint>
#include <optional>
#include <vector>

// A point on the map in WGS-84 degrees.
struct RadioGeoPoint
{
    double latitude = 0.0;
    double longitude = 0.0;
};

// How one radio kind propagates and is reported. Defaults per kind are given
// by RadioWorld::defaultPropagation().
struct RadioPropagation
{
    double frequencyMHz = 0.0;     // sets the free-space loss at 1 m
    double exponent = 0.0;         // path-loss exponent beyond 1 m
    double shadowingSigmaDb = 0.0; // standard deviation of the shadowing
    double shadowingGridM = 0.0;   // distance over which the shadowing decorrelates
    double sensitivityDbm = 0.0;   // weakest received power that is still reported
    int maxReported = 0;           // neighbours (cells) or access points reported at most
};

// The simulated radio world: cells, access points, where the phone starts and
// how the library behaves. Loaded from a JSON document:
//
// {
//   "seed": 42,                                  shadowing seed, integer >= 0 (default 0)
//   "startPosition": {"latitude": 61.485, "longitude": 21.797},   optional
//   "followPositionMessages": true,              phone follows the positioning daemon (default true)
//   "wlanScanDelayMs": 1500,                     scan answer delay, 0..600000 (default 1000)
//   "wlanScanNeverAnswers": false,               scans never answer (default false)
//   "gsmCells": [{"mcc": 244, "mnc": 5, "lac": 1234, "cid": 4321, "bsic": 12, "bcch": 65,
//                 "latitude": .., "longitude": .., "txPowerDbm": 43}],
//   "wcdmaCells": [{"mcc": 244, "mnc": 42, "lac": 12, "ucid": 100000, "scramblingCode": 100,
//                   "uarfcnDl": 10700, "latitude": .., "longitude": .., "txPowerDbm": 33}],
//   "accessPoints": [{"mac": "00:1a:2b:3c:4d:5e", "latitude": .., "longitude": .., "txPowerDbm": 20,
//                     "ssid": "home"}],         ssid optional: "" is a hidden network, absent a visible one
//   "propagation": {"gsm": {..}, "wcdma": {..}, "wlan": {..}}    optional overrides, keys as in
//                                                 RadioPropagation: frequencyMHz, exponent,
//                                                 shadowingSigmaDb, shadowingGridM, sensitivityDbm,
//                                                 maxReported
// }
//
// Identities are taken as they stand within the width of their field (mcc,
// mnc, lac, cid, bcch, scramblingCode, uarfcnDl 0..65535; bsic 0..255; ucid
// 0..4294967295), so a world may place cells whose identities a consumer
// refuses. lac and cid may be left out (not set). MACs are 6 or 8 hex bytes
// separated by ':'. Unknown keys, wrong types and out-of-range values refuse
// the whole document.
class RadioWorld
{
public:
    struct GsmCell
    {
        uint16_t mcc = 0;
        uint16_t mnc = 0;
        std::optional<uint16_t> lac;
        std::optional<uint16_t> cid;
        uint8_t bsic = 0;
        uint16_t bcch = 0;
        RadioGeoPoint position;
        double txPowerDbm = 0.0;
    };

    struct WcdmaCell
    {
        uint16_t mcc = 0;
        uint16_t mnc = 0;
        std::optional<uint16_t> lac;
        uint32_t ucid = 0;
        uint16_t scramblingCode = 0;
        uint16_t uarfcnDl = 0;
        RadioGeoPoint position;
        double txPowerDbm = 0.0;
    };

    struct AccessPoint
    {
        VomuWlanMacAddress mac;
        QString macText; // as written in the world, lower case
        QString ssid;    // network name, for the privacy decision only
        RadioGeoPoint position;
        double txPowerDbm = 0.0;
    };

    enum class Kind { Gsm, Wcdma, Wlan };

    RadioWorld();

    // Parses a world document; on failure returns false and says why in
    // *error (the offending key's path and the rule it breaks).
    static bool fromJson(const QByteArray &json, RadioWorld &world, QString *error);
    static RadioPropagation defaultPropagation(Kind kind);

    uint64_t seed() const { return m_seed; }
    const std::optional<RadioGeoPoint> &startPosition() const { return m_startPosition; }
    bool followPositionMessages() const { return m_followPositionMessages; }
    int wlanScanDelayMs() const { return m_wlanScanDelayMs; }
    bool wlanScanNeverAnswers() const { return m_wlanScanNeverAnswers; }
    const std::vector<GsmCell> &gsmCells() const { return m_gsmCells; }
    const std::vector<WcdmaCell> &wcdmaCells() const { return m_wcdmaCells; }
    const std::vector<AccessPoint> &accessPoints() const { return m_accessPoints; }
    const RadioPropagation &propagation(Kind kind) const;

private:
    bool readSettings(const QJsonObject &root, QString *error);
    bool readGsmCells(const QJsonObject &root, QString *error);
    bool readWcdmaCells(const QJsonObject &root, QString *error);
    bool readAccessPoints(const QJsonObject &root, QString *error);
    bool readPropagation(const QJsonObject &root, QString *error);

    uint64_t m_seed = 0;
    std::optional<RadioGeoPoint> m_startPosition;
    bool m_followPositionMessages = true;
    int m_wlanScanDelayMs = 1000;
    bool m_wlanScanNeverAnswers = false;
    std::vector<GsmCell> m_gsmCells;
    std::vector<WcdmaCell> m_wcdmaCells;
    std::vector<AccessPoint> m_accessPoints;
    RadioPropagation m_gsmPropagation;
    RadioPropagation m_wcdmaPropagation;
    RadioPropagation m_wlanPropagation;
};
