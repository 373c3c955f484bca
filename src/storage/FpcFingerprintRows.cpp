#include "FpcFingerprintRows.h"

#include "FpcLog.h"
#include "FpcMacConversion.h"
#include "FpcSqlValue.h"
#include "VomuElementWLAN.h"

#include <QDebug>

#include <limits>

namespace {

// Reads column `column` with convert(); logs "<prefix> Invalid <name>:" at
// the given level when the value does not convert.
enum class Level { Critical, Error };

template<typename T>
std::optional<T> readColumn(const QSqlQuery &query, int column, const char *prefix, const char *name, Level level,
                            std::optional<T> (*convert)(const QVariant &))
{
    const QVariant raw = query.value(column);
    const std::optional<T> value = convert(raw);
    if (!value) {
        const QString label = QStringLiteral("Invalid %1:").arg(QLatin1String(name));
        const QString shown = raw.isNull() ? QStringLiteral("NULL") : raw.toString();
        if (level == Level::Critical)
            qCritical() << prefix << qPrintable(label) << shown;
        else
            qDebug() << "[ERROR]" << prefix << qPrintable(label) << shown;
    }
    return value;
}

std::optional<qint64> asInt64(const QVariant &v)
{
    return FpcSqlValue::toInt64(v);
}
std::optional<qint64> asUInt32(const QVariant &v)
{
    return FpcSqlValue::toIntIn(v, 0, 0xFFFFFFFFLL);
}
std::optional<qint64> asUInt16(const QVariant &v)
{
    return FpcSqlValue::toIntIn(v, 0, 0xFFFF);
}
std::optional<qint64> asUInt8(const QVariant &v)
{
    return FpcSqlValue::toIntIn(v, 0, 0xFF);
}
std::optional<qint64> asInt32(const QVariant &v)
{
    return FpcSqlValue::toIntIn(v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
}
std::optional<qint64> asInt8(const QVariant &v)
{
    return FpcSqlValue::toIntIn(v, -128, 127);
}
std::optional<qint64> asMilliseconds(const QVariant &v)
{
    return FpcSqlValue::toIntIn(v, 0, 999);
}
std::optional<qint64> asMicroseconds(const QVariant &v)
{
    return FpcSqlValue::toIntIn(v, 0, 999999);
}
std::optional<double> asDouble(const QVariant &v)
{
    return FpcSqlValue::toDouble(v);
}

bool inRange(qint64 value, qint64 lowest, qint64 highest)
{
    return value >= lowest && value <= highest;
}

} // namespace

bool FpcFingerprintRows::readFingerprint(const QSqlQuery &query, FpcFingerprint &fp)
{
    static const char prefix[] = "FpcSqlHandler::select()";
    const auto time = readColumn<qint64>(query, 0, prefix, "time", Level::Critical, asUInt32);
    if (!time)
        return false;
    const auto msecs = readColumn<qint64>(query, 1, prefix, "timeMSecs", Level::Critical, asMilliseconds);
    if (!msecs)
        return false;
    fp.setTime(FpcFingerprintRows::fingerprintTime(*time, *msecs));
    const auto mask = readColumn<qint64>(query, 2, prefix, "dataMask", Level::Critical, asUInt8);
    if (!mask)
        return false;
    fp.setDataMask(quint8(*mask));
    return true;
}

std::unique_ptr<VomuElementGSM> FpcFingerprintRows::readGeran(const QSqlQuery &query)
{
    static const char prefix[] = "FpcSqlHandler::selectGeran()";
    const auto mcc = readColumn<qint64>(query, 0, prefix, "mcc", Level::Critical, asUInt16);
    const auto mnc = mcc ? readColumn<qint64>(query, 1, prefix, "mnc", Level::Critical, asUInt16) : std::nullopt;
    const auto lac = mnc ? readColumn<qint64>(query, 2, prefix, "lac", Level::Critical, asUInt16) : std::nullopt;
    const auto cid = lac ? readColumn<qint64>(query, 3, prefix, "cid", Level::Critical, asUInt16) : std::nullopt;
    const auto rx = cid ? readColumn<qint64>(query, 4, prefix, "rxLevel", Level::Critical, asInt32) : std::nullopt;
    const auto ta = rx ? readColumn<qint64>(query, 5, prefix, "ta", Level::Critical, asInt32) : std::nullopt;
    if (!ta)
        return nullptr;

    auto gsm = std::make_unique<VomuElementGSM>();
    gsm->setCountryCode(quint16(*mcc));
    gsm->setNetworkId(quint16(*mnc));
    gsm->setLocationAreaCode(quint16(*lac));
    gsm->setCellId(quint16(*cid));
    if (inRange(*rx, 0, 63))
        gsm->setPowerRx(quint8(*rx));
    // Timing advance is an 8-bit field: a larger stored value is not one.
    if (inRange(*ta, 0, 255))
        gsm->setTimingAdvance(quint8(*ta));
    return gsm;
}

bool FpcFingerprintRows::readGeranNcell(const QSqlQuery &query, VomuElementGSM &gsm)
{
    static const char prefix[] = "FpcSqlHandler::selectGeranNcells()";
    const auto bsic = readColumn<qint64>(query, 0, prefix, "bsic", Level::Error, asUInt8);
    const auto bcch = bsic ? readColumn<qint64>(query, 1, prefix, "bcch", Level::Error, asUInt16) : std::nullopt;
    if (!bcch)
        return false;
    VomuElementGSM::NeighbourCell cell{quint8(*bsic), quint16(*bcch)};
    const auto rx = readColumn<qint64>(query, 2, prefix, "rxLevel", Level::Error, asInt64);
    if (rx && inRange(*rx, 0, 63))
        cell.setPowerRx(quint8(*rx));
    gsm.appendNeighbourCell(cell);
    FPC_TRACE << "FpcSqlHandler::selectGeranNcells() Neighbor cell appended";
    return rx.has_value();
}

std::unique_ptr<VomuElementWCDMA> FpcFingerprintRows::readUtraFdd(const QSqlQuery &query)
{
    static const char prefix[] = "FpcSqlHandler::selectUtraFdd()";
    const auto mcc = readColumn<qint64>(query, 0, prefix, "mcc", Level::Critical, asUInt16);
    const auto mnc = mcc ? readColumn<qint64>(query, 1, prefix, "mnc", Level::Critical, asUInt16) : std::nullopt;
    const auto ucid = mnc ? readColumn<qint64>(query, 2, prefix, "ucid", Level::Critical, asUInt32) : std::nullopt;
    const auto lac = ucid ? readColumn<qint64>(query, 3, prefix, "lac", Level::Critical, asInt32) : std::nullopt;
    if (!lac)
        return nullptr;

    auto wcdma = std::make_unique<VomuElementWCDMA>();
    wcdma->setCountryCode(quint16(*mcc));
    wcdma->setNetworkId(quint16(*mnc));
    wcdma->setUcId(quint32(*ucid));
    if (inRange(*lac, 0, 65534))
        wcdma->setLocationAreaCode(quint16(*lac));
    return wcdma;
}

bool FpcFingerprintRows::readUtraFddNcell(const QSqlQuery &query, VomuElementWCDMA &wcdma)
{
    static const char prefix[] = "FpcSqlHandler::selectUtraFddNcells()";
    const auto pcpich = readColumn<qint64>(query, 0, prefix, "pcpich", Level::Error, asUInt16);
    const auto uarfcn =
        pcpich ? readColumn<qint64>(query, 1, prefix, "uarfcndn", Level::Error, asUInt16) : std::nullopt;
    if (!uarfcn)
        return false;
    VomuElementWCDMA::NeighbourCell cell;
    cell.pCpich = quint16(*pcpich);
    cell.uarfcnDl = quint16(*uarfcn);
    // Each level is set only from a value inside its field's range.
    struct Field
    {
        int column;
        const char *name;
        qint64 lowest;
        qint64 highest;
    };
    const Field fields[] = {
        {2, "ucid", 0, 0xFFFFFFFELL}, {3, "rssi", 0, 127}, {4, "ecn", 0, 63}, {5, "rscp", -5, 127}, {6, "pl", 0, 127},
    };
    bool lastConverted = true;
    for (const Field &f : fields) {
        const auto v = readColumn<qint64>(query, f.column, prefix, f.name, Level::Error, asInt64);
        lastConverted = v.has_value();
        if (!v || !inRange(*v, f.lowest, f.highest))
            continue;
        switch (f.column) {
        case 2:
            cell.ucId = quint32(*v);
            break;
        case 3:
            cell.rssi = quint8(*v);
            break;
        case 4:
            cell.ecn0 = quint8(*v);
            break;
        case 5:
            cell.rscp = quint8(*v);
            break;
        default:
            cell.pathloss = quint8(*v);
            break;
        }
    }
    wcdma.appendNeighbourCell(cell);
    FPC_TRACE << "FpcSqlHandler::selectUtraFddNcells() Neighbor cell appended";
    return lastConverted;
}

bool FpcFingerprintRows::readWlan(const QSqlQuery &query, VomuMeasurements &measurements)
{
    static const char prefix[] = "FpcSqlHandler::selectWlan()";
    const auto mac = readColumn<qint64>(query, 0, prefix, "mac", Level::Critical, asInt64);
    const auto rx = mac ? readColumn<qint64>(query, 1, prefix, "rxLevel", Level::Critical, asInt8) : std::nullopt;
    const auto rssi = rx ? readColumn<qint64>(query, 2, prefix, "rssi", Level::Critical, asInt64) : std::nullopt;
    if (!rssi)
        return false;
    auto wlan = std::make_unique<VomuElementWLAN>();
    wlan->setMac(FpcMacConversion::fromInt(*mac));
    wlan->setPowerRx(qint8(*rx));
    if (inRange(*rssi, 1, 254))
        wlan->setRssi(quint8(*rssi));
    FPC_TRACE << "FpcSqlHandler::selectWlan() Wlan MAC:" << FpcMacConversion::toText(wlan->mac());
    measurements.append(wlan.release());
    return true;
}

// Fills position from the first seven columns of a position row. Altitude,
// its uncertainty and cep68 stored as NULL are fixes without that value. An
// unusable cep68 fails the row only when cep68Required.
bool FpcFingerprintRows::readPosition(const QSqlQuery &query, FpcPosition &position, const char *prefix,
                                      bool cep68Required)
{
    const auto latitude = readColumn<double>(query, 0, prefix, "latitude", Level::Critical, asDouble);
    if (!latitude)
        return false;
    const auto longitude = readColumn<double>(query, 1, prefix, "longitude", Level::Critical, asDouble);
    if (!longitude)
        return false;
    if (query.value(2).isNull()) {
        position.setCoordinate(*latitude, *longitude);
    } else {
        const auto altitude = readColumn<qint64>(query, 2, prefix, "altitude", Level::Critical, asInt32);
        if (!altitude)
            return false;
        position.setCoordinate(*latitude, *longitude, float(*altitude));
    }
    if (!query.value(3).isNull()) {
        if (const auto v = readColumn<qint64>(query, 3, prefix, "altUncertainty", Level::Error, asUInt32))
            position.setAltitudeAccuracy(float(*v));
    }
    if (const auto v = readColumn<qint64>(query, 4, prefix, "time", Level::Error, asUInt32))
        position.setTimestamp(long(*v));
    if (const auto v = readColumn<qint64>(query, 5, prefix, "timeMSecs", Level::Error, asMicroseconds))
        position.setTimestampMicroseconds(unsigned(*v));
    if (query.value(6).isNull())
        return true;
    const auto cep68 =
        readColumn<qint64>(query, 6, prefix, "cep68", cep68Required ? Level::Critical : Level::Error, asUInt32);
    if (!cep68)
        return !cep68Required;
    position.setHorizontalAccuracy(float(*cep68));
    return true;
}

QDateTime FpcFingerprintRows::fingerprintTime(qint64 seconds, qint64 milliseconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).addMSecs(milliseconds);
}

std::optional<qint64> FpcFingerprintRows::readFpId(const QSqlQuery &query, int column, const char *prefix)
{
    return readColumn<qint64>(query, column, prefix, "fpId", Level::Critical, asInt64);
}

std::optional<FpcFingerprintRows::Listed> FpcFingerprintRows::readListed(const QSqlQuery &query, const char *prefix)
{
    const auto id = readColumn<qint64>(query, 0, prefix, "fpId", Level::Critical, asInt64);
    const auto time = id ? readColumn<qint64>(query, 1, prefix, "time", Level::Critical, asUInt32) : std::nullopt;
    const auto msecs =
        time ? readColumn<qint64>(query, 2, prefix, "timeMSecs", Level::Critical, asMilliseconds) : std::nullopt;
    const auto mask = msecs ? readColumn<qint64>(query, 3, prefix, "dataMask", Level::Critical, asUInt8) : std::nullopt;
    if (!mask)
        return std::nullopt;
    return Listed{*id, *time, *msecs, quint8(*mask)};
}
