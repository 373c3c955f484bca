#include "VomuXmlAttributes.h"

#include <QDebug>
#include <QLocale>
#include <QStringList>

#include <cmath>

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool allDigits(QStringView text)
{
    if (text.isEmpty() || text.size() > 19)
        return false;
    for (QChar c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

VomuXmlAttributes::VomuXmlAttributes(const QString &elementName, const QXmlStreamAttributes &attributes)
    : m_elementName(elementName), m_attributes(attributes)
{}

bool VomuXmlAttributes::fetch(const char *name, QString &value) const
{
    if (!m_attributes.hasAttribute(QLatin1String(name)))
        return false;
    value = m_attributes.value(QLatin1String(name)).toString();
    return true;
}

void VomuXmlAttributes::reject(const char *name, const QString &value, const char *reason)
{
    qWarning().nospace().noquote() << "VomuXmlAttributes: <" << m_elementName << "> attribute " << name << "=" << value
                                   << " rejected: " << reason;
    m_ok = false;
}

bool VomuXmlAttributes::readUnsigned(const char *name, uint64_t max, uint64_t &out)
{
    QString text;
    if (!fetch(name, text))
        return false;
    if (!allDigits(text)) {
        reject(name, text, "not a decimal number");
        return false;
    }
    bool converted = false;
    const uint64_t value = text.toULongLong(&converted);
    if (!converted || value > max) {
        reject(name, text, "out of range");
        return false;
    }
    out = value;
    return true;
}

bool VomuXmlAttributes::readSigned(const char *name, int64_t min, int64_t max, int64_t &out)
{
    QString text;
    if (!fetch(name, text))
        return false;
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (!allDigits(QStringView(text).mid(negative ? 1 : 0))) {
        reject(name, text, "not a decimal number");
        return false;
    }
    bool converted = false;
    const int64_t value = text.toLongLong(&converted);
    if (!converted || value < min || value > max) {
        reject(name, text, "out of range");
        return false;
    }
    out = value;
    return true;
}

bool VomuXmlAttributes::readMagnitude(const char *name, double max, double &out)
{
    QString text;
    if (!fetch(name, text))
        return false;
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    const bool wellFormed =
        dot < 0 ? allDigits(text) : allDigits(QStringView(text).left(dot)) && allDigits(QStringView(text).mid(dot + 1));
    if (!wellFormed) {
        reject(name, text, "not a non-negative decimal number");
        return false;
    }
    const double value = QLocale::c().toDouble(text);
    if (value > max) {
        reject(name, text, "out of range");
        return false;
    }
    out = value;
    return true;
}

bool VomuXmlAttributes::readReal(const char *name, double min, double max, double &out)
{
    QString text;
    if (!fetch(name, text))
        return false;
    bool converted = false;
    const double value = QLocale::c().toDouble(text, &converted);
    if (!converted || !std::isfinite(value)) {
        reject(name, text, "not a finite number");
        return false;
    }
    if (value < min || value > max) {
        reject(name, text, "out of range");
        return false;
    }
    out = value;
    return true;
}

bool VomuXmlAttributes::readMac(const char *name, VomuWlanMacAddress &out)
{
    QString text;
    if (!fetch(name, text))
        return false;
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6 && parts.size() != 8) {
        reject(name, text, "a MAC address has 6 or 8 bytes");
        return false;
    }
    uint8_t bytes[VomuWlanMacAddress::kSize];
    for (int i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        const int high = part.size() == 2 ? hexValue(part.at(0)) : -1;
        const int low = part.size() == 2 ? hexValue(part.at(1)) : -1;
        if (high < 0 || low < 0) {
            reject(name, text, "each MAC byte is two hexadecimal digits");
            return false;
        }
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    out = VomuWlanMacAddress(bytes, static_cast<int>(parts.size()));
    return true;
}
