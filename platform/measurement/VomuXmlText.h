#pragma once

#include <QString>
#include <QXmlStreamAttributes>

#include <string>
#include <vector>

// Reads the small XML texts that describe one observation: a root element
// with attributes and, optionally, childless child elements with attributes
// (a serving cell and its neighbours). Anything else - a text that is not
// well-formed, a DTD, character data, deeper nesting, a wrong root name - is
// rejected with a warning, so callers only ever see this simple shape.
class VomuXmlText
{
public:
    struct Node
    {
        QString name;
        QXmlStreamAttributes attributes;
        std::vector<Node> children; // always empty for a child
    };

    // Texts longer than this are refused before parsing.
    static constexpr size_t kMaxTextLength = 1 << 20;

    // Parses xml into root. childName names the only element allowed below
    // the root (nullptr: none allowed). Returns false on any violation.
    static bool parse(const std::string &xml, const char *rootName, const char *childName, Node &root);
};
