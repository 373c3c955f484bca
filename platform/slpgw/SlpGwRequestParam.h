#pragma once

#include <cstdint>
#include <map>
#include <string>

// The attributes of a gateway request (SlpGwAttribute numbers). String
// attributes are given as characters plus length, without terminator. The
// gateway copies what it needs when a call is made, so the caller may change
// the parameters between calls.
class SlpGwRequestParam
{
public:
    SlpGwRequestParam();
    ~SlpGwRequestParam();

    // Each setter replaces any earlier value of the attribute and returns a
    // gateway status code (ESlpGwErrInvalidArguments for a null pointer with
    // a non-zero length).
    int setStringAttribute(int attribute, const char *value, uint32_t length);
    int setUIntAttribute(int attribute, uint32_t value);
    int setPtrAttribute(int attribute, void *value);

    bool hasStringAttribute(int attribute) const;
    std::string stringAttribute(int attribute) const;
    bool hasUIntAttribute(int attribute) const;
    uint32_t uintAttribute(int attribute, uint32_t defaultValue) const;
    void *ptrAttribute(int attribute) const;

private:
    void forget(int attribute);

    std::map<int, std::string> m_strings;
    std::map<int, uint32_t> m_uints;
    std::map<int, void *> m_pointers;
};
