#pragma once

#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>

// Reads the fields of one ModemManager cell description (a GetCellInfo entry
// or the 3GPP location), each checked for type and range; a field that fails
// is left out with a log line.
class ModemCellFields
{
public:
    struct Operator
    {
        uint16_t mcc;
        uint16_t mnc;
    };

    // "MCCMNC": 3 digits country code, 2 or 3 digits network code.
    static std::optional<Operator> operatorId(const QString &text);
    // Upper- or lower-case hex without prefix, at most max.
    static std::optional<quint32> hex(const QString &text, quint32 max);
    static std::optional<quint32> hexField(const QVariantMap &cell, const char *name, quint32 max);
    static std::optional<quint32> unsignedField(const QVariantMap &cell, const char *name, quint32 max);
    static std::optional<double> realField(const QVariantMap &cell, const char *name, double min, double max);
};
