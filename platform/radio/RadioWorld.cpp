#include "RadioWorld.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>
#include <limits>

namespace {

// Largest integer a JSON number (a double) carries exactly.
constexpr double kMaxExactInteger = 9007199254740991.0;

bool fail(QString *error, const QString &path, const QString &rule)
{
    *error = path + QStringLiteral(": ") + rule;
    return false;
}

QString childPath(const QString &path, const QString &key)
{
    return path.isEmpty() ? key : path + QLatin1Char('.') + key;
}

bool checkKeys(const QJsonObject &object, const QString &path, const QStringList &allowed, QString *error)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!allowed.contains(it.key()))
            return fail(error, childPath(path, it.key()), QStringLiteral("unknown key"));
    }
    return true;
}

// Each reader leaves out unchanged when the key is absent and returns false
// (with *error) only for a present value that breaks its rule.
bool readNumber(const QJsonObject &object, const QString &path, const QString &key, double min, double max,
                std::optional<double> &out, QString *error)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return true;
    const double number = value.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!value.isDouble() || !std::isfinite(number) || number < min || number > max)
        return fail(error, childPath(path, key), QStringLiteral("expected a number from %1 to %2").arg(min).arg(max));
    out = number;
    return true;
}

bool readInteger(const QJsonObject &object, const QString &path, const QString &key, double min, double max,
                 std::optional<double> &out, QString *error)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return true;
    const double number = value.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!value.isDouble() || !std::isfinite(number) || std::floor(number) != number || number < min || number > max)
        return fail(error, childPath(path, key),
                    QStringLiteral("expected a whole number from %1 to %2")
                        .arg(QString::number(min, 'f', 0), QString::number(max, 'f', 0)));
    out = number;
    return true;
}

bool readBool(const QJsonObject &object, const QString &path, const QString &key, bool &out, QString *error)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return true;
    if (!value.isBool())
        return fail(error, childPath(path, key), QStringLiteral("expected true or false"));
    out = value.toBool();
    return true;
}

template<typename T>
bool require(const std::optional<T> &value, const QString &path, const QString &key, QString *error)
{
    return value.has_value() || fail(error, childPath(path, key), QStringLiteral("missing"));
}

bool readPosition(const QJsonObject &object, const QString &path, RadioGeoPoint &position, QString *error)
{
    std::optional<double> latitude, longitude;
    if (!readNumber(object, path, QStringLiteral("latitude"), -90.0, 90.0, latitude, error)
        || !readNumber(object, path, QStringLiteral("longitude"), -180.0, 180.0, longitude, error)
        || !require(latitude, path, QStringLiteral("latitude"), error)
        || !require(longitude, path, QStringLiteral("longitude"), error))
        return false;
    position.latitude = *latitude;
    position.longitude = *longitude;
    return true;
}

bool readTxPower(const QJsonObject &object, const QString &path, double &txPowerDbm, QString *error)
{
    std::optional<double> power;
    if (!readNumber(object, path, QStringLiteral("txPowerDbm"), -50.0, 80.0, power, error)
        || !require(power, path, QStringLiteral("txPowerDbm"), error))
        return false;
    txPowerDbm = *power;
    return true;
}

// A named array of objects; absent means empty.
bool readObjectArray(const QJsonObject &root, const QString &key, QList<QJsonObject> &objects, QString *error)
{
    const QJsonValue value = root.value(key);
    if (value.isUndefined())
        return true;
    if (!value.isArray())
        return fail(error, key, QStringLiteral("expected an array"));
    const QJsonArray array = value.toArray();
    for (int i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject())
            return fail(error, QStringLiteral("%1[%2]").arg(key).arg(i), QStringLiteral("expected an object"));
        objects.append(array.at(i).toObject());
    }
    return true;
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool parseMac(const QString &text, VomuWlanMacAddress &mac)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6 && parts.size() != 8)
        return false;
    uint8_t bytes[8];
    for (int i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        if (part.size() != 2 || !isHexDigit(part.at(0)) || !isHexDigit(part.at(1)))
            return false;
        bytes[i] = static_cast<uint8_t>(part.toUInt(nullptr, 16));
    }
    mac = VomuWlanMacAddress(bytes, int(parts.size()));
    return true;
}

bool readPropagationKind(const QJsonObject &object, const QString &path, RadioPropagation &propagation, QString *error)
{
    if (!checkKeys(object, path,
                   {QStringLiteral("frequencyMHz"), QStringLiteral("exponent"), QStringLiteral("shadowingSigmaDb"),
                    QStringLiteral("shadowingGridM"), QStringLiteral("sensitivityDbm"), QStringLiteral("maxReported")},
                   error))
        return false;
    std::optional<double> frequency, exponent, sigma, grid, sensitivity, maxReported;
    if (!readNumber(object, path, QStringLiteral("frequencyMHz"), 1.0, 100000.0, frequency, error)
        || !readNumber(object, path, QStringLiteral("exponent"), 1.0, 8.0, exponent, error)
        || !readNumber(object, path, QStringLiteral("shadowingSigmaDb"), 0.0, 30.0, sigma, error)
        || !readNumber(object, path, QStringLiteral("shadowingGridM"), 1.0, 100000.0, grid, error)
        || !readNumber(object, path, QStringLiteral("sensitivityDbm"), -200.0, 0.0, sensitivity, error)
        || !readInteger(object, path, QStringLiteral("maxReported"), 0, 64, maxReported, error))
        return false;
    propagation.frequencyMHz = frequency.value_or(propagation.frequencyMHz);
    propagation.exponent = exponent.value_or(propagation.exponent);
    propagation.shadowingSigmaDb = sigma.value_or(propagation.shadowingSigmaDb);
    propagation.shadowingGridM = grid.value_or(propagation.shadowingGridM);
    propagation.sensitivityDbm = sensitivity.value_or(propagation.sensitivityDbm);
    propagation.maxReported = int(maxReported.value_or(propagation.maxReported));
    return true;
}

} // namespace

RadioWorld::RadioWorld()
    : m_gsmPropagation(defaultPropagation(Kind::Gsm)), m_wcdmaPropagation(defaultPropagation(Kind::Wcdma)),
      m_wlanPropagation(defaultPropagation(Kind::Wlan))
{}

RadioPropagation RadioWorld::defaultPropagation(Kind kind)
{
    // Urban macro cells around 900 MHz and 2.1 GHz, an access point at
    // 2.4 GHz; sensitivities at the bottom of each kind's reporting range.
    switch (kind) {
    case Kind::Gsm:
        return {900.0, 3.5, 6.0, 100.0, -110.0, 6};
    case Kind::Wcdma:
        return {2140.0, 3.5, 6.0, 100.0, -120.0, 8};
    case Kind::Wlan:
        return {2437.0, 3.0, 4.0, 10.0, -92.0, 32};
    }
    return {};
}

const RadioPropagation &RadioWorld::propagation(Kind kind) const
{
    switch (kind) {
    case Kind::Gsm:
        return m_gsmPropagation;
    case Kind::Wcdma:
        return m_wcdmaPropagation;
    case Kind::Wlan:
        break;
    }
    return m_wlanPropagation;
}

bool RadioWorld::fromJson(const QByteArray &json, RadioWorld &world, QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(error, QStringLiteral("offset %1").arg(parseError.offset), parseError.errorString());
    if (!document.isObject())
        return fail(error, QStringLiteral("document"), QStringLiteral("expected an object"));

    const QJsonObject root = document.object();
    RadioWorld parsed;
    if (!checkKeys(root, QString(),
                   {QStringLiteral("seed"), QStringLiteral("startPosition"), QStringLiteral("followPositionMessages"),
                    QStringLiteral("wlanScanDelayMs"), QStringLiteral("wlanScanNeverAnswers"),
                    QStringLiteral("gsmCells"), QStringLiteral("wcdmaCells"), QStringLiteral("accessPoints"),
                    QStringLiteral("propagation")},
                   error)
        || !parsed.readSettings(root, error) || !parsed.readGsmCells(root, error) || !parsed.readWcdmaCells(root, error)
        || !parsed.readAccessPoints(root, error) || !parsed.readPropagation(root, error))
        return false;
    world = std::move(parsed);
    return true;
}

bool RadioWorld::readSettings(const QJsonObject &root, QString *error)
{
    std::optional<double> seed, delay;
    if (!readInteger(root, QString(), QStringLiteral("seed"), 0, kMaxExactInteger, seed, error)
        || !readInteger(root, QString(), QStringLiteral("wlanScanDelayMs"), 0, 600000, delay, error)
        || !readBool(root, QString(), QStringLiteral("followPositionMessages"), m_followPositionMessages, error)
        || !readBool(root, QString(), QStringLiteral("wlanScanNeverAnswers"), m_wlanScanNeverAnswers, error))
        return false;
    m_seed = static_cast<uint64_t>(seed.value_or(0));
    m_wlanScanDelayMs = int(delay.value_or(m_wlanScanDelayMs));

    const QJsonValue start = root.value(QStringLiteral("startPosition"));
    if (start.isUndefined())
        return true;
    const QString path = QStringLiteral("startPosition");
    if (!start.isObject())
        return fail(error, path, QStringLiteral("expected an object"));
    RadioGeoPoint position;
    if (!checkKeys(start.toObject(), path, {QStringLiteral("latitude"), QStringLiteral("longitude")}, error)
        || !readPosition(start.toObject(), path, position, error))
        return false;
    m_startPosition = position;
    return true;
}

bool RadioWorld::readGsmCells(const QJsonObject &root, QString *error)
{
    QList<QJsonObject> objects;
    if (!readObjectArray(root, QStringLiteral("gsmCells"), objects, error))
        return false;
    for (int i = 0; i < objects.size(); ++i) {
        const QJsonObject &object = objects.at(i);
        const QString path = QStringLiteral("gsmCells[%1]").arg(i);
        std::optional<double> mcc, mnc, lac, cid, bsic, bcch;
        GsmCell cell;
        if (!checkKeys(object, path,
                       {QStringLiteral("mcc"), QStringLiteral("mnc"), QStringLiteral("lac"), QStringLiteral("cid"),
                        QStringLiteral("bsic"), QStringLiteral("bcch"), QStringLiteral("latitude"),
                        QStringLiteral("longitude"), QStringLiteral("txPowerDbm")},
                       error)
            || !readInteger(object, path, QStringLiteral("mcc"), 0, 0xFFFF, mcc, error)
            || !readInteger(object, path, QStringLiteral("mnc"), 0, 0xFFFF, mnc, error)
            || !readInteger(object, path, QStringLiteral("lac"), 0, 0xFFFF, lac, error)
            || !readInteger(object, path, QStringLiteral("cid"), 0, 0xFFFF, cid, error)
            || !readInteger(object, path, QStringLiteral("bsic"), 0, 0xFF, bsic, error)
            || !readInteger(object, path, QStringLiteral("bcch"), 0, 0xFFFF, bcch, error)
            || !require(mcc, path, QStringLiteral("mcc"), error) || !require(mnc, path, QStringLiteral("mnc"), error)
            || !require(bsic, path, QStringLiteral("bsic"), error)
            || !require(bcch, path, QStringLiteral("bcch"), error) || !readPosition(object, path, cell.position, error)
            || !readTxPower(object, path, cell.txPowerDbm, error))
            return false;
        cell.mcc = static_cast<uint16_t>(*mcc);
        cell.mnc = static_cast<uint16_t>(*mnc);
        if (lac)
            cell.lac = static_cast<uint16_t>(*lac);
        if (cid)
            cell.cid = static_cast<uint16_t>(*cid);
        cell.bsic = static_cast<uint8_t>(*bsic);
        cell.bcch = static_cast<uint16_t>(*bcch);
        m_gsmCells.push_back(cell);
    }
    return true;
}

bool RadioWorld::readWcdmaCells(const QJsonObject &root, QString *error)
{
    QList<QJsonObject> objects;
    if (!readObjectArray(root, QStringLiteral("wcdmaCells"), objects, error))
        return false;
    for (int i = 0; i < objects.size(); ++i) {
        const QJsonObject &object = objects.at(i);
        const QString path = QStringLiteral("wcdmaCells[%1]").arg(i);
        std::optional<double> mcc, mnc, lac, ucid, scramblingCode, uarfcnDl;
        WcdmaCell cell;
        if (!checkKeys(object, path,
                       {QStringLiteral("mcc"), QStringLiteral("mnc"), QStringLiteral("lac"), QStringLiteral("ucid"),
                        QStringLiteral("scramblingCode"), QStringLiteral("uarfcnDl"), QStringLiteral("latitude"),
                        QStringLiteral("longitude"), QStringLiteral("txPowerDbm")},
                       error)
            || !readInteger(object, path, QStringLiteral("mcc"), 0, 0xFFFF, mcc, error)
            || !readInteger(object, path, QStringLiteral("mnc"), 0, 0xFFFF, mnc, error)
            || !readInteger(object, path, QStringLiteral("lac"), 0, 0xFFFF, lac, error)
            || !readInteger(object, path, QStringLiteral("ucid"), 0, 0xFFFFFFFFu, ucid, error)
            || !readInteger(object, path, QStringLiteral("scramblingCode"), 0, 0xFFFF, scramblingCode, error)
            || !readInteger(object, path, QStringLiteral("uarfcnDl"), 0, 0xFFFF, uarfcnDl, error)
            || !require(mcc, path, QStringLiteral("mcc"), error) || !require(mnc, path, QStringLiteral("mnc"), error)
            || !require(ucid, path, QStringLiteral("ucid"), error)
            || !require(scramblingCode, path, QStringLiteral("scramblingCode"), error)
            || !require(uarfcnDl, path, QStringLiteral("uarfcnDl"), error)
            || !readPosition(object, path, cell.position, error) || !readTxPower(object, path, cell.txPowerDbm, error))
            return false;
        cell.mcc = static_cast<uint16_t>(*mcc);
        cell.mnc = static_cast<uint16_t>(*mnc);
        if (lac)
            cell.lac = static_cast<uint16_t>(*lac);
        cell.ucid = static_cast<uint32_t>(*ucid);
        cell.scramblingCode = static_cast<uint16_t>(*scramblingCode);
        cell.uarfcnDl = static_cast<uint16_t>(*uarfcnDl);
        m_wcdmaCells.push_back(cell);
    }
    return true;
}

bool RadioWorld::readAccessPoints(const QJsonObject &root, QString *error)
{
    QList<QJsonObject> objects;
    if (!readObjectArray(root, QStringLiteral("accessPoints"), objects, error))
        return false;
    for (int i = 0; i < objects.size(); ++i) {
        const QJsonObject &object = objects.at(i);
        const QString path = QStringLiteral("accessPoints[%1]").arg(i);
        AccessPoint accessPoint;
        if (!checkKeys(object, path,
                       {QStringLiteral("mac"), QStringLiteral("latitude"), QStringLiteral("longitude"),
                        QStringLiteral("txPowerDbm"), QStringLiteral("ssid")},
                       error)
            || !readPosition(object, path, accessPoint.position, error)
            || !readTxPower(object, path, accessPoint.txPowerDbm, error))
            return false;
        const QJsonValue mac = object.value(QStringLiteral("mac"));
        if (!mac.isString() || !parseMac(mac.toString(), accessPoint.mac))
            return fail(error, childPath(path, QStringLiteral("mac")),
                        QStringLiteral("expected 6 or 8 hex bytes separated by ':'"));
        accessPoint.macText = mac.toString().toLower();
        const QJsonValue ssid = object.value(QStringLiteral("ssid"));
        if (!ssid.isUndefined() && !ssid.isString())
            return fail(error, childPath(path, QStringLiteral("ssid")), QStringLiteral("expected a string"));
        // Without a name in the world the network is a visible one whose
        // name does not matter.
        accessPoint.ssid = ssid.isString() ? ssid.toString() : QStringLiteral("vomu-sim-") + accessPoint.macText;
        m_accessPoints.push_back(accessPoint);
    }
    return true;
}

bool RadioWorld::readPropagation(const QJsonObject &root, QString *error)
{
    const QJsonValue value = root.value(QStringLiteral("propagation"));
    if (value.isUndefined())
        return true;
    const QString path = QStringLiteral("propagation");
    if (!value.isObject())
        return fail(error, path, QStringLiteral("expected an object"));
    const QJsonObject object = value.toObject();
    if (!checkKeys(object, path, {QStringLiteral("gsm"), QStringLiteral("wcdma"), QStringLiteral("wlan")}, error))
        return false;
    const struct
    {
        const char *key;
        RadioPropagation *propagation;
    } kinds[] = {{"gsm", &m_gsmPropagation}, {"wcdma", &m_wcdmaPropagation}, {"wlan", &m_wlanPropagation}};
    for (const auto &kind : kinds) {
        const QString key = QLatin1String(kind.key);
        const QJsonValue kindValue = object.value(key);
        if (kindValue.isUndefined())
            continue;
        if (!kindValue.isObject())
            return fail(error, childPath(path, key), QStringLiteral("expected an object"));
        if (!readPropagationKind(kindValue.toObject(), childPath(path, key), *kind.propagation, error))
            return false;
    }
    return true;
}
