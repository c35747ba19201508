#pragma once

#include <QPlainTextEdit>

// The chat panel's input: a plain-text edit whose placeholder, longer than the small box
// holds, ends on the last whole line with an ellipsis instead of a line cut in half; the
// whole placeholder is then its tool tip.
class ChatInput : public QPlainTextEdit
{
public:
    explicit ChatInput(QWidget *parent = nullptr);

    // The placeholder's lines as shown in a viewport of this size: all of them when they fit;
    // cut, when given, tells whether some did not.
    static QStringList placeholderLines(const QString &text, const QFont &font, const QSize &area,
                                        bool *cut = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void hideOwnPlaceholder();

    QColor placeholderColor;
};
