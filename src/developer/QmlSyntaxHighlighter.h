#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class QTextDocument;

// Colours QML in the code editor with a fixed dark palette: keywords, type names,
// numbers, strings, the id property, line and block comments. The block state is 1 when a
// line ends inside an unclosed block comment, 0 otherwise.
class QmlSyntaxHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    explicit QmlSyntaxHighlighter(QTextDocument *document);

protected:
    void highlightBlock(const QString &text) override;

private:
    QTextCharFormat keywordFormat;
    QTextCharFormat typeFormat;
    QTextCharFormat numberFormat;
    QTextCharFormat stringFormat;
    QTextCharFormat idFormat;
    QTextCharFormat commentFormat;
    QTextCharFormat blockCommentFormat;
};
