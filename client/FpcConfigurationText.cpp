#include "FpcConfigurationText.h"

#include <QXmlStreamReader>

namespace {

struct Item
{
    qint64 line = 0;
    bool hasKey = false;
    bool hasValue = false;
    QString key;
    QString value;
};

// A non-empty attribute wins over a child element of the same name.
void takeAttributes(const QXmlStreamAttributes &attributes, Item *item)
{
    const QString key = attributes.value(QLatin1String("key")).toString();
    const QString value = attributes.value(QLatin1String("value")).toString();
    if (!key.isEmpty()) {
        item->key = key;
        item->hasKey = true;
    }
    if (!value.isEmpty()) {
        item->value = value;
        item->hasValue = true;
    }
}

// Reads the children of one item up to its end; only the first "key" and
// "value" child count, and only where the attribute was absent or empty.
void readChildren(QXmlStreamReader &xml, Item *item)
{
    while (xml.readNextStartElement()) {
        const bool isKey = xml.name() == QLatin1String("key");
        const bool isValue = xml.name() == QLatin1String("value");
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (isKey && !item->hasKey) {
            item->key = text;
            item->hasKey = true;
        } else if (isValue && !item->hasValue) {
            item->value = text;
            item->hasValue = true;
        }
    }
}

} // namespace

bool FpcConfigurationText::parse(const QByteArray &xml, QMap<QString, QString> *items, QString *error)
{
    items->clear();
    QXmlStreamReader reader(xml);
    QMap<QString, QString> found;
    QString problem;
    int number = 0;
    if (reader.readNextStartElement() && reader.name() != QLatin1String("fpcconfig"))
        problem = QStringLiteral("root element is <%1>, not <fpcconfig>").arg(reader.name());
    while (problem.isEmpty() && reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("item")) {
            reader.skipCurrentElement();
            continue;
        }
        ++number;
        Item item;
        item.line = reader.lineNumber();
        takeAttributes(reader.attributes(), &item);
        readChildren(reader, &item);
        if (!item.hasKey || item.key.isEmpty())
            problem = QStringLiteral("item %1 (line %2) has no key").arg(number).arg(item.line);
        else if (!item.hasValue)
            problem =
                QStringLiteral("item %1 (line %2, key \"%3\") has no value").arg(number).arg(item.line).arg(item.key);
        else
            found.insert(item.key, item.value);
    }
    // Reads to the end so that an error after the last item still counts.
    while (problem.isEmpty() && !reader.atEnd())
        reader.readNext();
    if (problem.isEmpty() && reader.hasError())
        problem = QStringLiteral("not valid XML (line %1, column %2: %3)")
                      .arg(reader.lineNumber())
                      .arg(reader.columnNumber())
                      .arg(reader.errorString());
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    *items = found;
    return true;
}
