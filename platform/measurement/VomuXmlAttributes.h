#pragma once

#include "VomuWlanMacAddress.h"

#include <QString>
#include <QXmlStreamAttributes>

#include <cstdint>

// Typed, strict reading of the attributes of one XML element. Each read
// returns true only when the attribute is present and its value is well
// formed and inside the given range. A present but malformed or
// out-of-range value is logged and makes ok() false, so the caller can
// refuse the whole text instead of storing a guessed value. An absent
// attribute is not an error: the caller leaves that field not set.
class VomuXmlAttributes
{
public:
    VomuXmlAttributes(const QString &elementName, const QXmlStreamAttributes &attributes);

    bool ok() const { return m_ok; }

    // Plain decimal digits, no sign.
    bool readUnsigned(const char *name, uint64_t max, uint64_t &out);
    // Decimal digits with an optional leading '-'.
    bool readSigned(const char *name, int64_t min, int64_t max, int64_t &out);
    // Digits with an optional fraction ("12" or "12.5"), no sign, no exponent.
    bool readMagnitude(const char *name, double max, double &out);
    // Any finite C-locale floating point number (sign and exponent allowed).
    bool readReal(const char *name, double min, double max, double &out);
    // Six or eight bytes, two hex digits each, separated by ':'.
    bool readMac(const char *name, VomuWlanMacAddress &out);

    // Marks the text as unusable for a reason found by the caller.
    void reject(const char *name, const QString &value, const char *reason);

private:
    bool fetch(const char *name, QString &value) const;

    QString m_elementName;
    const QXmlStreamAttributes &m_attributes;
    bool m_ok = true;
};
