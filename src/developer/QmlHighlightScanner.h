#pragma once

#include <QString>
#include <QVector>

// Colours one line of QML in a single pass. The result equals applying the editor's
// colouring rules one after another (keywords, type names, numbers, strings, the id
// property, line comments; a later rule wins where matches overlap) followed by the
// block-comment pass, but without running sixty regular expressions per line.
namespace QmlHighlightScanner {

enum Kind : unsigned char { Plain, Keyword, Type, Number, String, Id, Comment, BlockComment };

struct Span
{
    int start;
    int length;
    Kind kind;
};

// Block states: 0 the line ends outside a block comment, 1 inside one. Anything else
// (-1 for a line never coloured) counts as outside.
enum State { OutsideComment = 0, InsideComment = 1 };

struct Result
{
    QVector<Span> spans; // in order, non-overlapping, no Plain spans
    int state = OutsideComment;
};

Result scanLine(const QString &text, int previousState);

// The words coloured as keywords and as type names.
const QStringList &keywords();
const QStringList &typeNames();

} // namespace QmlHighlightScanner
