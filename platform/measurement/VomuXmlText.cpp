#include "VomuXmlText.h"

#include <QByteArray>
#include <QDebug>
#include <QXmlStreamReader>

namespace {

bool fail(const char *rootName, const QString &reason)
{
    qWarning().noquote() << "VomuXmlText::parse()" << rootName << "text rejected:" << reason;
    return false;
}

} // namespace

bool VomuXmlText::parse(const std::string &xml, const char *rootName, const char *childName, Node &root)
{
    if (xml.size() > kMaxTextLength)
        return fail(rootName, QStringLiteral("text too long"));

    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    Node parsed;
    int depth = 0;
    bool rootSeen = false;

    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (depth == 0) {
                if (rootSeen || reader.name() != QLatin1String(rootName))
                    return fail(rootName, QStringLiteral("unexpected element <%1>").arg(reader.name().toString()));
                rootSeen = true;
                parsed.name = reader.name().toString();
                parsed.attributes = reader.attributes();
            } else if (depth == 1 && childName && reader.name() == QLatin1String(childName)) {
                Node child;
                child.name = reader.name().toString();
                child.attributes = reader.attributes();
                parsed.children.push_back(std::move(child));
            } else {
                return fail(rootName, QStringLiteral("unexpected element <%1>").arg(reader.name().toString()));
            }
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace())
                return fail(rootName, QStringLiteral("unexpected character data"));
            break;
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return fail(rootName, QStringLiteral("DTDs and entities are not accepted"));
        default:
            break;
        }
    }
    if (reader.hasError())
        return fail(rootName, reader.errorString());
    if (!rootSeen)
        return fail(rootName, QStringLiteral("no <%1> element").arg(QLatin1String(rootName)));

    root = std::move(parsed);
    return true;
}
