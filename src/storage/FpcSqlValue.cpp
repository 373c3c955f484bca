#include "FpcSqlValue.h"

#include <QMetaType>
#include <QString>

#include <cmath>
#include <limits>

std::optional<qint64> FpcSqlValue::toInt64(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        return value.toLongLong();
    case QMetaType::ULongLong: {
        const qulonglong v = value.toULongLong();
        if (v > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(v);
    }
    case QMetaType::Double: {
        const double d = value.toDouble();
        // 2^63 is the first real outside the range; reals below it are exact.
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
            return std::nullopt;
        return qint64(d);
    }
    default:
        break;
    }
    bool ok = false;
    const qint64 v = value.toString().trimmed().toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

std::optional<qint64> FpcSqlValue::toIntIn(const QVariant &value, qint64 lowest, qint64 highest)
{
    const std::optional<qint64> v = toInt64(value);
    if (!v || *v < lowest || *v > highest)
        return std::nullopt;
    return v;
}

std::optional<quint32> FpcSqlValue::toUInt32(const QVariant &value)
{
    const std::optional<qint64> v = toIntIn(value, 0, 0xFFFFFFFFLL);
    if (!v)
        return std::nullopt;
    return quint32(*v);
}

std::optional<double> FpcSqlValue::toDouble(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    double d = 0;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        d = value.toDouble();
        break;
    default: {
        bool ok = false;
        d = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    }
    if (!std::isfinite(d))
        return std::nullopt;
    return d;
}
