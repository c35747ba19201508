#include "ChatInput.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

ChatInput::ChatInput(QWidget *parent)
    : QPlainTextEdit(parent)
{
    placeholderColor = palette().color(QPalette::PlaceholderText);
    hideOwnPlaceholder();
}

void ChatInput::hideOwnPlaceholder()
{
    // The base class would draw the placeholder wrapped and cut at the bottom edge; it draws
    // it in this colour, so it draws nothing, and paintEvent draws it fitted.
    QPalette p = palette();
    if (p.color(QPalette::PlaceholderText).alpha() == 0)
        return;
    placeholderColor = p.color(QPalette::PlaceholderText);
    p.setColor(QPalette::PlaceholderText, Qt::transparent);
    setPalette(p);
}

void ChatInput::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    // A style sheet applied later sets the palette again.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        hideOwnPlaceholder();
}

QStringList ChatInput::placeholderLines(const QString &text, const QFont &font, const QSize &area,
                                        bool *cut)
{
    const QFontMetrics metrics(font);
    const int fitting = qMax(1, area.height() / qMax(1, metrics.lineSpacing()));
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QVector<int> starts;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(area.width());
        starts.append(line.textStart());
    }
    layout.endLayout();
    starts.append(text.size());
    QStringList lines;
    for (int i = 0; i + 1 < starts.size() && i < fitting; ++i)
        lines.append(text.mid(starts[i], starts[i + 1] - starts[i]).trimmed());
    // More lines than fit: the last one that fits takes the rest, ending in an ellipsis.
    const bool more = starts.size() - 1 > fitting;
    if (cut)
        *cut = more;
    if (more)
        lines.last() = metrics.elidedText(text.mid(starts[fitting - 1]).simplified(),
                                          Qt::ElideRight, area.width());
    return lines;
}

void ChatInput::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);
    const QString text = placeholderText();
    if (text.isEmpty() || !document()->isEmpty()) {
        if (!toolTip().isEmpty())
            setToolTip(QString());
        return;
    }
    const int margin = int(document()->documentMargin());
    const QRect area = viewport()->rect().adjusted(margin, margin, -margin, -margin);
    bool cut = false;
    const QStringList lines = placeholderLines(text, font(), area.size(), &cut);
    setToolTip(cut ? text : QString());
    QPainter painter(viewport());
    painter.setPen(placeholderColor);
    painter.setFont(font());
    const QFontMetrics metrics(font());
    int y = area.top();
    for (const QString &line : lines) {
        painter.drawText(QRect(area.left(), y, area.width(), metrics.height()),
                         Qt::AlignLeft | Qt::AlignTop, line);
        y += metrics.lineSpacing();
    }
}
