#include "ChatPanelLogic.h"

#include "Theme.h"

#include <QBuffer>

#include <cmath>

namespace ChatPanelLogic {

QStringList busyWords()
{
    return {QStringLiteral("Thinking"),     QStringLiteral("Working"),
            QStringLiteral("Pondering"),    QStringLiteral("Tinkering"),
            QStringLiteral("Reticulating"), QStringLiteral("Cooking")};
}

QString busyText(qint64 elapsedMs)
{
    const QStringList words = busyWords();
    const QString word = words.at(int((elapsedMs / 3000) % words.size()));
    return QStringLiteral("%1... (%2s)").arg(word).arg(elapsedMs / 1000);
}

AnswerParts splitFirstCodeBlock(const QString &text)
{
    const QString fence = QStringLiteral("```");
    const int open = text.indexOf(fence);
    const int lineEnd = open < 0 ? -1 : text.indexOf(QLatin1Char('\n'), open);
    const int close = lineEnd < 0 ? -1 : text.indexOf(fence, lineEnd + 1);
    if (close < 0)
        return {text.trimmed(), QString()};
    return {(text.left(open) + text.mid(close + fence.size())).trimmed(),
            text.mid(lineEnd + 1, close - lineEnd - 1).trimmed()};
}

int pieceEnd(const QString &text, int start, int maxChars)
{
    const int size = int(text.size());
    if (size - start <= maxChars)
        return size;
    const int limit = start + maxChars;
    const int half = start + maxChars / 2;
    const int lineFeed = int(text.lastIndexOf(QLatin1Char('\n'), limit - 1));
    if (lineFeed >= half)
        return lineFeed + 1;
    const int space = int(text.lastIndexOf(QLatin1Char(' '), limit - 1));
    if (space >= half)
        return space + 1;
    return text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit;
}

QString breakableText(const QString &text)
{
    constexpr int LongRun = 30;
    QString out;
    int runStart = 0;
    const auto flush = [&](int end) {
        const QStringRef run = text.midRef(runStart, end - runStart);
        if (run.size() < LongRun) {
            out += run;
            return;
        }
        for (int i = 0; i < run.size(); ++i) {
            out += run.at(i);
            if (!run.at(i).isHighSurrogate())
                out += QChar(0x200B);
        }
    };
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isSpace()) {
            flush(i);
            out += text.at(i);
            runStart = i + 1;
        }
    }
    flush(int(text.size()));
    return out;
}

QString withoutBreakHints(QString text)
{
    return text.remove(QChar(0x200B));
}

QByteArray spinnerSvg(int frame, int frameCount)
{
    const double angle = frame * 360.0 / frameCount;
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 24 24\">"
                          "<circle cx=\"12\" cy=\"12\" r=\"9\" fill=\"none\" stroke=\"%2\" "
                          "stroke-width=\"3\" stroke-linecap=\"round\" stroke-dasharray=\"26 100\" "
                          "transform=\"rotate(%1 12 12)\"/></svg>")
        .arg(angle)
        .arg(Theme::Accent)
        .toUtf8();
}

static QByteArray encodePng(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QByteArray attachmentPng(const QImage &image)
{
    if (image.isNull())
        return QByteArray();
    QImage capped = image;
    if (image.width() > MaxAttachmentSide || image.height() > MaxAttachmentSide)
        capped = image.scaled(MaxAttachmentSide, MaxAttachmentSide, Qt::KeepAspectRatio,
                              Qt::SmoothTransformation);
    QByteArray png = encodePng(capped);
    QSize size = capped.size();
    while (png.size() > MaxAttachmentPngBytes && size.width() > 1 && size.height() > 1) {
        // PNG size follows the pixel count; aim a little under and always shrink a tenth.
        const double factor
            = qMin(0.9, 0.95 * std::sqrt(double(MaxAttachmentPngBytes) / double(png.size())));
        size = QSize(qMax(1, int(size.width() * factor)), qMax(1, int(size.height() * factor)));
        png = encodePng(capped.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    return png;
}

} // namespace ChatPanelLogic
