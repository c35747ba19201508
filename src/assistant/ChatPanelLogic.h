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
