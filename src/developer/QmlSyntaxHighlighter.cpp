#include "QmlSyntaxHighlighter.h"

#include "QmlHighlightScanner.h"

#include <QColor>
#include <QFont>

static QTextCharFormat foreground(const char *colour)
{
    QTextCharFormat format;
    format.setForeground(QColor(colour));
    return format;
}

QmlSyntaxHighlighter::QmlSyntaxHighlighter(QTextDocument *document)
    : QSyntaxHighlighter(document)
    , keywordFormat(foreground("#ff79c6"))
    , typeFormat(foreground("#8be9fd"))
    , numberFormat(foreground("#bd93f9"))
    , stringFormat(foreground("#f1fa8c"))
    , idFormat(foreground("#50fa7b"))
    , commentFormat(foreground("#6272a4"))
    , blockCommentFormat(foreground("#6272a4"))
{
    keywordFormat.setFontWeight(QFont::Bold);
}

void QmlSyntaxHighlighter::highlightBlock(const QString &text)
{
    using namespace QmlHighlightScanner;
    const Result result = scanLine(text, previousBlockState());
    for (const Span &span : result.spans) {
        const QTextCharFormat *format = nullptr;
        switch (span.kind) {
        case Keyword:
            format = &keywordFormat;
            break;
        case Type:
            format = &typeFormat;
            break;
        case Number:
            format = &numberFormat;
            break;
        case String:
            format = &stringFormat;
            break;
        case Id:
            format = &idFormat;
            break;
        case Comment:
            format = &commentFormat;
            break;
        case BlockComment:
            format = &blockCommentFormat;
            break;
        case Plain:
            continue;
        }
        setFormat(span.start, span.length, *format);
    }
    setCurrentBlockState(result.state);
}
