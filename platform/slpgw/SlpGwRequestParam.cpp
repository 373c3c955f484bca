#include "SlpGwRequestParam.h"

#include "SlpGwTypes.h"

SlpGwRequestParam::SlpGwRequestParam() = default;

SlpGwRequestParam::~SlpGwRequestParam() = default;

int SlpGwRequestParam::setStringAttribute(int attribute, const char *value, uint32_t length)
{
    if (!value && length > 0)
        return ESlpGwErrInvalidArguments;
    forget(attribute);
    m_strings[attribute] = length > 0 ? std::string(value, length) : std::string();
    return ESlpGwOk;
}

int SlpGwRequestParam::setUIntAttribute(int attribute, uint32_t value)
{
    forget(attribute);
    m_uints[attribute] = value;
    return ESlpGwOk;
}

int SlpGwRequestParam::setPtrAttribute(int attribute, void *value)
{
    forget(attribute);
    m_pointers[attribute] = value;
    return ESlpGwOk;
}

bool SlpGwRequestParam::hasStringAttribute(int attribute) const
{
    return m_strings.count(attribute) > 0;
}

std::string SlpGwRequestParam::stringAttribute(int attribute) const
{
    const auto it = m_strings.find(attribute);
    return it == m_strings.end() ? std::string() : it->second;
}

bool SlpGwRequestParam::hasUIntAttribute(int attribute) const
{
    return m_uints.count(attribute) > 0;
}

uint32_t SlpGwRequestParam::uintAttribute(int attribute, uint32_t defaultValue) const
{
    const auto it = m_uints.find(attribute);
    return it == m_uints.end() ? defaultValue : it->second;
}

void *SlpGwRequestParam::ptrAttribute(int attribute) const
{
    const auto it = m_pointers.find(attribute);
    return it == m_pointers.end() ? nullptr : it->second;
}

// An attribute has one kind at a time: setting it anew drops the old value.
void SlpGwRequestParam::forget(int attribute)
{
    m_strings.erase(attribute);
    m_uints.erase(attribute);
    m_pointers.erase(attribute);
}
