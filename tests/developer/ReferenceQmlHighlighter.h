#pragma once

#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QVector>

// The colouring rules applied the plain way: sixty regular expressions in table order, each
// matched globally over the line, a later rule overwriting an earlier one, then the
// block-comment pass. The editor's highlighter must produce exactly this output.
class ReferenceQmlHighlighter : public QSyntaxHighlighter
{
public:
    explicit ReferenceQmlHighlighter(QTextDocument *document);

    int ruleCount() const { return rules.size(); }

protected:
    void highlightBlock(const QString &text) override;

private:
    struct HighlightingRule
    {
        QRegularExpression pattern;
        QTextCharFormat format;
    };
    QVector<HighlightingRule> rules;
    QTextCharFormat blockCommentFormat;
    QRegularExpression blockCommentStart;
    QRegularExpression blockCommentEnd;
};
