#include "ModemCellFields.h"

#include "LinuxBusProperties.h"

#include <QDebug>

#include <cctype>
#include <cmath>

std::optional<ModemCellFields::Operator> ModemCellFields::operatorId(const QString &text)
{
    if (text.size() != 5 && text.size() != 6)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    return Operator{uint16_t(text.left(3).toUInt()), uint16_t(text.mid(3).toUInt())};
}

std::optional<quint32> ModemCellFields::hex(const QString &text, quint32 max)
{
    if (text.isEmpty() || text.size() > 8)
        return std::nullopt;
    for (const QChar c : text) {
        if (!std::isxdigit(c.toLatin1()) || c.unicode() >= 128)
            return std::nullopt;
    }
    const quint32 value = text.toUInt(nullptr, 16);
    if (value > max)
        return std::nullopt;
    return value;
}

std::optional<quint32> ModemCellFields::hexField(const QVariantMap &cell, const char *name, quint32 max)
{
    const std::optional<QString> text = LinuxBusProperties::string(cell, name);
    if (!text)
        return std::nullopt;
    const std::optional<quint32> value = hex(*text, max);
    if (!value)
        qDebug() << "ModemCellFields" << name << "skipped: not hex up to" << max << ":" << *text;
    return value;
}

std::optional<quint32> ModemCellFields::unsignedField(const QVariantMap &cell, const char *name, quint32 max)
{
    const std::optional<qint64> value = LinuxBusProperties::integer(cell, name);
    if (!value)
        return std::nullopt;
    if (*value < 0 || *value > max) {
        qDebug() << "ModemCellFields" << name << "skipped: out of range 0 .." << max << ":" << *value;
        return std::nullopt;
    }
    return quint32(*value);
}

std::optional<double> ModemCellFields::realField(const QVariantMap &cell, const char *name, double min, double max)
{
    const std::optional<double> value = LinuxBusProperties::real(cell, name);
    if (!value)
        return std::nullopt;
    if (!std::isfinite(*value) || *value < min || *value > max) {
        qDebug() << "ModemCellFields" << name << "skipped: out of range" << min << ".." << max << ":" << *value;
        return std::nullopt;
    }
    return value;
}
