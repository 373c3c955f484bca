#pragma once

#include <QByteArray>
#include <QString>

// Bounds an XML text before a DOM parser sees it. A DOM parse of a deeply
// nested text costs far more than the text's size suggests, so texts from
// outside the daemon are first walked once with a stream reader that stops
// at the first element beyond the allowed depth or count, and at any
// document type declaration (whose entities could multiply the text).
class FpcXmlLimits
{
public:
    struct Result
    {
        bool accepted = false;
        // Start elements the walk looked at before it ended: a refused text
        // is read only up to the first element beyond a limit.
        qint64 elementsVisited = 0;
        // Why the text was refused, empty when it was accepted.
        QString reason;
    };

    FpcXmlLimits(int maxDepth, qint64 maxElements) : m_maxDepth(maxDepth), m_maxElements(maxElements) {}

    Result check(const QString &text) const;
    Result check(const QByteArray &data) const;

private:
    template<typename Source>
    Result walk(const Source &source) const;

    int m_maxDepth;
    qint64 m_maxElements;
};
