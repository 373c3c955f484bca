#include "FpcXmlLimits.h"

#include <QXmlStreamReader>

template<typename Source>
FpcXmlLimits::Result FpcXmlLimits::walk(const Source &source) const
{
    QXmlStreamReader reader(source);
    Result result;
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            ++result.elementsVisited;
            if (++depth > m_maxDepth) {
                result.reason = QStringLiteral("elements nested deeper than %1 levels").arg(m_maxDepth);
                return result;
            }
            if (result.elementsVisited > m_maxElements) {
                result.reason = QStringLiteral("more than %1 elements").arg(m_maxElements);
                return result;
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::DTD:
            result.reason = QStringLiteral("document type declaration");
            return result;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        result.reason = reader.errorString();
        return result;
    }
    result.accepted = true;
    return result;
}

FpcXmlLimits::Result FpcXmlLimits::check(const QString &text) const
{
    return walk(text);
}

FpcXmlLimits::Result FpcXmlLimits::check(const QByteArray &data) const
{
    return walk(data);
}
