#include "ReferenceQmlHighlighter.h"

#include <QFont>

ReferenceQmlHighlighter::ReferenceQmlHighlighter(QTextDocument *document)
    : QSyntaxHighlighter(document)
    , blockCommentStart(QStringLiteral("/\\*"))
    , blockCommentEnd(QStringLiteral("\\*/"))
{
    QTextCharFormat keyword;
    keyword.setForeground(QColor("#ff79c6"));
    keyword.setFontWeight(75);
    QTextCharFormat type;
    type.setForeground(QColor("#8be9fd"));
    QTextCharFormat number;
    number.setForeground(QColor("#bd93f9"));
    QTextCharFormat string;
    string.setForeground(QColor("#f1fa8c"));
    QTextCharFormat id;
    id.setForeground(QColor("#50fa7b"));
    QTextCharFormat comment;
    comment.setForeground(QColor("#6272a4"));
    blockCommentFormat.setForeground(QColor("#6272a4"));

    const char *keywords[]
        = {"import", "property",  "signal", "function", "var",     "let",      "const",
           "if",     "else",      "for",    "while",    "return",  "true",     "false",
           "null",   "undefined", "alias",  "readonly", "default", "required", "component",
           "enum",   "of",        "in",     "new",      "typeof",  "this",     "as"};
    for (const char *word : keywords)
        rules.append({QRegularExpression(QStringLiteral("\\b%1\\b").arg(word)), keyword});
    const char *types[]
        = {"Item",         "Rectangle", "Text",       "Image",     "Row",      "Column",    "Grid",
           "MouseArea",    "ListView",  "Component",  "QtObject",  "Timer",    "Button",    "Label",
           "ColumnLayout", "RowLayout", "GridLayout", "TextField", "TextEdit", "Flickable", "int",
           "string",       "real",      "bool",       "color",     "url",      "list"};
    for (const char *word : types)
        rules.append({QRegularExpression(QStringLiteral("\\b%1\\b").arg(word)), type});
    rules.append({QRegularExpression(QStringLiteral("\\b[0-9]+(\\.[0-9]+)?\\b")), number});
    rules.append({QRegularExpression(QStringLiteral("\"[^\"]*\"")), string});
    rules.append({QRegularExpression(QStringLiteral("'[^']*'")), string});
    rules.append({QRegularExpression(QStringLiteral("\\bid\\s*(?=:)")), id});
    rules.append({QRegularExpression(QStringLiteral("//[^\\n]*")), comment});
}

void ReferenceQmlHighlighter::highlightBlock(const QString &text)
{
    for (const HighlightingRule &rule : qAsConst(rules)) {
        QRegularExpressionMatchIterator it = rule.pattern.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            setFormat(match.capturedStart(), match.capturedLength(), rule.format);
        }
    }
    setCurrentBlockState(0);
    int start = previousBlockState() == 1 ? 0 : text.indexOf(blockCommentStart);
    while (start >= 0) {
        const QRegularExpressionMatch end = blockCommentEnd.match(text, start);
        int length;
        if (!end.hasMatch()) {
            setCurrentBlockState(1);
            length = text.length() - start;
        } else {
            length = end.capturedStart() - start + end.capturedLength();
        }
        setFormat(start, length, blockCommentFormat);
        start = text.indexOf(blockCommentStart, start + length);
    }
}
