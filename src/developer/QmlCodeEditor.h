#pragma once

#include <QPlainTextEdit>

class QLabel;
class QLineEdit;
class QToolButton;
class QmlLineNumberArea;

// The QML page's plain-text editor: a line-number gutter, the current line marked, and a
// small find bar floating over the top-right corner. It knows nothing of files; its owner
// gives it a font, loads and saves the text.
class QmlCodeEditor : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit QmlCodeEditor(QWidget *parent = nullptr);

    void lineNumberAreaPaintEvent(QPaintEvent *event);
    int lineNumberAreaWidth() const;

public slots:
    void showFindBar();
    void hideFindBar();

private slots:
    void updateLineNumberAreaWidth(int newBlockCount);
    void highlightCurrentLine();
    void updateLineNumberArea(const QRect &rect, int dy);
    void onFindNext();
    void onFindPrevious();
    void onFindTextEdited(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool findText(const QString &text, bool backward);
    QToolButton *makeFindButton(const QString &text, const QString &toolTip);
    void placeFindBar();

    static constexpr int FindBarWidth = 320;

    QmlLineNumberArea *lineNumberArea = nullptr;
    QWidget *findBar = nullptr;
    QLineEdit *findEdit = nullptr;
    QLabel *findStatus = nullptr;
};

// The editor's gutter: sized and painted by the editor.
class QmlLineNumberArea : public QWidget
{
public:
    explicit QmlLineNumberArea(QmlCodeEditor *editor)
        : QWidget(editor)
        , editor(editor)
    {
    }

    QSize sizeHint() const override { return QSize(editor->lineNumberAreaWidth(), 0); }

protected:
    void paintEvent(QPaintEvent *event) override { editor->lineNumberAreaPaintEvent(event); }

private:
    QmlCodeEditor *editor;
};
