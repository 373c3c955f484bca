#pragma once

#include <QVariant>
#include <QtGlobal>

#include <optional>

// Conversion of column values read back from the database. Rows may have
// been written by another tool, so a value can be NULL, text, a real or an
// integer of any size: each helper gives a value only when the column holds
// exactly a number of the wanted kind, and nothing otherwise.
class FpcSqlValue
{
public:
    // An integer; also an integral real and a decimal integer text.
    static std::optional<qint64> toInt64(const QVariant &value);
    // toInt64 limited to [lowest, highest]: anything outside does not
    // convert, so a value never wraps into a field narrower than the column.
    static std::optional<qint64> toIntIn(const QVariant &value, qint64 lowest, qint64 highest);
    static std::optional<quint32> toUInt32(const QVariant &value);
    // A finite number (integer, real or numeric text).
    static std::optional<double> toDouble(const QVariant &value);
    static bool isNull(const QVariant &value) { return value.isNull(); }
};
