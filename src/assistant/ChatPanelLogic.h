#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// What the chat panel shows, without a widget: the busy text, the split of an answer into
// prose and code, the spinner picture and the shrinking of dropped images.
namespace ChatPanelLogic {

// "Thinking", "Working", ... in the order the busy text cycles through them.
QStringList busyWords();
// "%1... (%2s)": the word changes every 3 s, the seconds count on.
QString busyText(qint64 elapsedMs);

struct AnswerParts
{
    QString prose;
    QString code; // the first fenced block, trimmed; empty when there is none
};
// Takes out the first ``` block (its fence lines and language name dropped); an unclosed
// fence, or one with no line feed after it, leaves the whole text as prose.
AnswerParts splitFirstCodeBlock(const QString &text);

// An answer is shown in labels of at most this many characters each: a label lays its whole
// text out again at every change, so one label for all would cost the reveal and finishing it
// time in the length of the answer.
constexpr int ShownPieceChars = 2000;
// A finished answer's text is set once per label: larger pieces, fewer labels to lay out.
constexpr int FinishedPieceChars = 4000;
// Longer answers are always plain text (a rich text cannot be cut into pieces).
constexpr int MaxRichTextChars = 65536;

// Where the piece of text starting at start ends (exclusive): after the last line feed of
// the next maxChars characters, else after their last space, else after maxChars characters
// (never inside a surrogate pair); the end of the text when the rest fits.
int pieceEnd(const QString &text, int start, int maxChars);

// The text with a zero-width space after every character of a run of 30 or more
// characters without white space, so a label can wrap a long word or address.
QString breakableText(const QString &text);
// What breakableText added taken out again: the text a copy hands over.
QString withoutBreakHints(QString text);

// One frame of the busy spinner as an SVG document.
QByteArray spinnerSvg(int frame, int frameCount);

// Dropped images are capped at this side and at this PNG size: the service refuses an image
// whose Base64 text exceeds 5 MB.
constexpr int MaxAttachmentSide = 1568;
constexpr qint64 MaxAttachmentPngBytes = 3932160; // 3.75 MB

// The image as a PNG for the service: never enlarged, scaled to fit 1568 x 1568, then
// smaller still until the PNG fits 3.75 MB. Empty for a null image.
QByteArray attachmentPng(const QImage &image);

} // namespace ChatPanelLogic
