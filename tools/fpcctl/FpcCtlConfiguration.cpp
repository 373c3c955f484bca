#include "FpcCtlConfiguration.h"

#include <QDomDocument>
#include <QDomElement>

namespace {

// The attribute, or else the text of the first child element of that name.
bool field(const QDomElement &item, const QString &name, QString *value)
{
    const QString attribute = item.attribute(name);
    if (!attribute.isEmpty()) {
        *value = attribute;
        return true;
    }
    const QDomElement child = item.firstChildElement(name);
    if (child.isNull())
        return false;
    *value = child.text();
    return true;
}

} // namespace

bool FpcCtlConfiguration::parse(const QByteArray &xml, QMap<QString, QString> *items, QString *error)
{
    items->clear();
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(xml, &message, &line, &column)) {
        *error = QStringLiteral("not valid XML (line %1, column %2: %3)").arg(line).arg(column).arg(message);
        return false;
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("fpcconfig")) {
        *error = QStringLiteral("root element is <%1>, not <fpcconfig>").arg(root.tagName());
        return false;
    }
    int number = 0;
    for (QDomElement item = root.firstChildElement(QStringLiteral("item")); !item.isNull();
         item = item.nextSiblingElement(QStringLiteral("item"))) {
        ++number;
        QString key;
        QString value;
        if (!field(item, QStringLiteral("key"), &key) || key.isEmpty()) {
            *error = QStringLiteral("item %1 (line %2) has no key").arg(number).arg(item.lineNumber());
            return false;
        }
        if (!field(item, QStringLiteral("value"), &value)) {
            *error = QStringLiteral("item %1 (line %2, key \"%3\") has no value")
                         .arg(number)
                         .arg(item.lineNumber())
                         .arg(key);
            return false;
        }
        items->insert(key, value);
    }
    return true;
}
