#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The daemon's XML configuration text: root "fpcconfig", "item" children
// with a key and a value, each as an attribute or, when the attribute is
// absent or empty, as a child element of that name.
class FpcConfigurationText
{
public:
    // Every item in document order; a later item replaces an earlier one
    // of the same key. False with a reason (line and column for XML
    // errors) when the text is not such a document or an item lacks its key
    // or value, so that a file is checked whole before anything is sent.
    static bool parse(const QByteArray &xml, QMap<QString, QString> *items, QString *error);
};
