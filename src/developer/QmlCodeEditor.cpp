#include "QmlCodeEditor.h"

#include "EscapeFilter.h"
#include "Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QShortcut>
#include <QTextBlock>
#include <QToolButton>

QmlCodeEditor::QmlCodeEditor(QWidget *parent)
    : QPlainTextEdit(parent)
{
    lineNumberArea = new QmlLineNumberArea(this);

    connect(this, &QPlainTextEdit::blockCountChanged, this,
            &QmlCodeEditor::updateLineNumberAreaWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &QmlCodeEditor::updateLineNumberArea);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this,
            &QmlCodeEditor::highlightCurrentLine);
    // Emptied with the cursor already at the start, the cursor does not move.
    connect(this, &QPlainTextEdit::textChanged, this, &QmlCodeEditor::highlightCurrentLine);
    updateLineNumberAreaWidth(0);
    highlightCurrentLine();

    findBar = new QWidget(this);
    findBar->setObjectName(QStringLiteral("findBar"));
    // Only the bar itself has the frame: unnamed, the rule would frame every child too.
    findBar->setStyleSheet(QStringLiteral("#findBar { background-color: %1; border: 1px solid %2; "
                                          "border-radius: 6px; }")
                               .arg(Theme::Alternate, Theme::Border));
    findBar->hide();
    findEdit = new QLineEdit(findBar);
    findEdit->setPlaceholderText(tr("Find..."));
    findEdit->setStyleSheet(QStringLiteral("background-color: %1; color: %2; border: 1px solid "
                                           "%3; border-radius: 4px; padding: 2px 6px;")
                                .arg(Theme::Window, Theme::Text, Theme::Border));
    connect(findEdit, &QLineEdit::textEdited, this, &QmlCodeEditor::onFindTextEdited);
    connect(findEdit, &QLineEdit::returnPressed, this, &QmlCodeEditor::onFindNext);
    QToolButton *previous = makeFindButton(QStringLiteral("^"), tr("Previous"));
    QToolButton *next = makeFindButton(QStringLiteral("v"), tr("Next"));
    QToolButton *close = makeFindButton(QStringLiteral("x"), tr("Close"));
    connect(previous, &QToolButton::clicked, this, &QmlCodeEditor::onFindPrevious);
    connect(next, &QToolButton::clicked, this, &QmlCodeEditor::onFindNext);
    connect(close, &QToolButton::clicked, this, &QmlCodeEditor::hideFindBar);
    findStatus = new QLabel(findBar);
    findStatus->setStyleSheet("color: #f5566a; font-size: 11px;");

    auto *layout = new QHBoxLayout(findBar);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    layout->addWidget(findEdit, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(findStatus);
    layout->addWidget(close);
    findBar->resize(FindBarWidth, findBar->sizeHint().height());

    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, &QmlCodeEditor::showFindBar);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), findBar);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &QmlCodeEditor::hideFindBar);
}

QToolButton *QmlCodeEditor::makeFindButton(const QString &text, const QString &toolTip)
{
    auto *button = new QToolButton(findBar);
    button->setText(text);
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    button->setStyleSheet(QStringLiteral("color: %1;").arg(Theme::Text));
    return button;
}

int QmlCodeEditor::lineNumberAreaWidth() const
{
    int digits = 1;
    for (int count = qMax(1, blockCount()); count >= 10; count /= 10)
        ++digits;
    return digits * fontMetrics().horizontalAdvance(QLatin1Char('9')) + 10;
}

void QmlCodeEditor::updateLineNumberAreaWidth(int)
{
    // Called on every full repaint; setting equal margins would lay out the scroll area
    // again each time.
    const QMargins margins(lineNumberAreaWidth(), 0, 0, 0);
    if (viewportMargins() != margins) {
        setViewportMargins(margins);
        placeFindBar();
    }
}

void QmlCodeEditor::updateLineNumberArea(const QRect &rect, int dy)
{
    if (dy != 0)
        lineNumberArea->scroll(0, dy);
    else
        lineNumberArea->update(0, rect.y(), lineNumberArea->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateLineNumberAreaWidth(0);
}

void QmlCodeEditor::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect contents = contentsRect();
    lineNumberArea->setGeometry(
        QRect(contents.left(), contents.top(), lineNumberAreaWidth(), contents.height()));
    placeFindBar();
}

void QmlCodeEditor::placeFindBar()
{
    if (!findBar)
        return; // the gutter is sized before the bar exists
    const QRect contents = contentsRect();
    // In a narrow editor the bar gives up width rather than cover the line numbers, down to
    // what its field and buttons need.
    const int room = contents.right() - 16 - (contents.left() + lineNumberAreaWidth() + 8);
    const int width = qMax(findBar->minimumSizeHint().width(), qMin(FindBarWidth, room));
    findBar->resize(width, findBar->height());
    findBar->move(contents.right() - width - 16, contents.top() + 8);
}

void QmlCodeEditor::showEvent(QShowEvent *event)
{
    QPlainTextEdit::showEvent(event);
    // The owner sets the placeholder after construction, without a cursor move.
    highlightCurrentLine();
}

void QmlCodeEditor::lineNumberAreaPaintEvent(QPaintEvent *event)
{
    QPainter painter(lineNumberArea);
    painter.fillRect(event->rect(), QColor(Theme::Window));

    QTextBlock block = firstVisibleBlock();
    int number = block.blockNumber();
    int top = int(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + int(blockBoundingRect(block).height());
    const int width = lineNumberArea->width() - 6;
    const int height = fontMetrics().height();

    painter.setPen(QColor(Theme::MutedText));
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top())
            painter.drawText(0, top, width, height, Qt::AlignRight | Qt::AlignTop,
                             QString::number(number + 1));
        block = block.next();
        top = bottom;
        bottom = top + int(blockBoundingRect(block).height());
        ++number;
    }
}

void QmlCodeEditor::highlightCurrentLine()
{
    QList<QTextEdit::ExtraSelection> selections;
    // The full-width mark would paint over the first line of the placeholder text.
    const bool placeholderShown = document()->isEmpty() && !placeholderText().isEmpty();
    if (!isReadOnly() && !placeholderShown) {
        QTextEdit::ExtraSelection selection;
        selection.format.setBackground(QColor(Theme::Alternate));
        selection.format.setProperty(QTextFormat::FullWidthSelection, true);
        selection.cursor = textCursor();
        selection.cursor.clearSelection();
        selections.append(selection);
    }
    setExtraSelections(selections);
}

bool QmlCodeEditor::findText(const QString &text, bool backward)
{
    if (text.isEmpty())
        return false;
    const QTextDocument::FindFlags flags
        = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (find(text, flags))
        return true;
    QTextCursor cursor = textCursor();
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    setTextCursor(cursor);
    return find(text, flags);
}

void QmlCodeEditor::onFindNext()
{
    findStatus->setText(findText(findEdit->text(), false) ? QString() : tr("Not found"));
}

void QmlCodeEditor::onFindPrevious()
{
    findStatus->setText(findText(findEdit->text(), true) ? QString() : tr("Not found"));
}

void QmlCodeEditor::onFindTextEdited(const QString &)
{
    findStatus->clear();
}

void QmlCodeEditor::showFindBar()
{
    const QString selected = textCursor().selectedText();
    if (!selected.isEmpty())
        findEdit->setText(selected);
    findBar->raise();
    findBar->show();
    findEdit->setFocus();
    findEdit->selectAll();
}

void QmlCodeEditor::hideFindBar()
{
    findBar->hide();
    setFocus();
}

void QmlCodeEditor::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (EscapeFilter::consume(event)) {
        // Escape would close the main window and drop unsaved edits; here it only ever
        // closes the find bar.
        if (findBar->isVisible() && !findEdit->hasFocus())
            hideFindBar();
        return;
    }
    if (findBar->isHidden() || !enter) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    // Return in the field already searched through its returnPressed signal.
    if (!findEdit->hasFocus()) {
        if (event->modifiers() & Qt::ShiftModifier)
            onFindPrevious();
        else
            onFindNext();
    }
    event->accept();
}
