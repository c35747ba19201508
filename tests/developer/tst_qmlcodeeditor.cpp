#include "QmlCodeEditor.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

class QmlCodeEditorTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void gutterFollowsTheLineCount();
    void currentLineMarkedUnlessReadOnly();
    void find_data();
    void find();
    void emptySearchMovesNothing();
    void returnWhileTheBarIsOpenSearches();
    void findBarTakesTheSelection();
    void typingClearsTheStatus();
    void escapeNeverReachesTheWindow_data();
    void escapeNeverReachesTheWindow();
    void findBarSitsTopRight();
    void narrowFindBarClearsTheGutter_data();
    void narrowFindBarClearsTheGutter();
    void findStatusHasNoFrame();

private:
    QLineEdit *field() const { return editor->findChild<QLineEdit *>(); }
    QLabel *findStatus() const { return editor->findChild<QLabel *>(); }
    QWidget *findBar() const { return field()->parentWidget(); }
    QToolButton *button(const QString &toolTip) const;
    QPair<int, int> selection() const
    {
        return {editor->textCursor().selectionStart(), editor->textCursor().selectionEnd()};
    }
    void openFindBar(const QString &text);

    // The editor in a dialog, which closes on Escape as the main window does.
    QDialog *window = nullptr;
    QmlCodeEditor *editor = nullptr;
};

void QmlCodeEditorTest::init()
{
    window = new QDialog;
    editor = new QmlCodeEditor(window);
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(editor);
    window->resize(700, 400);
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    editor->setFocus();
    QTRY_VERIFY(editor->hasFocus());
}

void QmlCodeEditorTest::cleanup()
{
    delete window;
    window = nullptr;
    editor = nullptr;
}

QToolButton *QmlCodeEditorTest::button(const QString &toolTip) const
{
    for (QToolButton *b : editor->findChildren<QToolButton *>()) {
        if (b->toolTip() == toolTip)
            return b;
    }
    return nullptr;
}

void QmlCodeEditorTest::openFindBar(const QString &text)
{
    QTest::keySequence(editor, QKeySequence::Find);
    QVERIFY(findBar()->isVisible());
    QTRY_VERIFY(field()->hasFocus());
    QTest::keyClicks(field(), text);
}

void QmlCodeEditorTest::gutterFollowsTheLineCount()
{
    const int advance = editor->fontMetrics().horizontalAdvance('9');
    editor->setPlainText("1\n2\n3\n4\n5\n6\n7\n8\n9");
    QCOMPARE(editor->lineNumberAreaWidth(), advance + 10);
    const int textLeft = editor->viewport()->geometry().left();

    QTextCursor end = editor->textCursor();
    end.movePosition(QTextCursor::End);
    editor->setTextCursor(end);
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(editor->blockCount(), 10);
    QCOMPARE(editor->lineNumberAreaWidth(), 2 * advance + 10);
    QCOMPARE(editor->viewport()->geometry().left(), textLeft + advance);

    QTest::keyClick(editor, Qt::Key_Backspace);
    QCOMPARE(editor->lineNumberAreaWidth(), advance + 10);
    QCOMPARE(editor->viewport()->geometry().left(), textLeft);

    editor->setPlainText(QString("x\n").repeated(999));
    QCOMPARE(editor->lineNumberAreaWidth(), 4 * advance + 10);
}

void QmlCodeEditorTest::currentLineMarkedUnlessReadOnly()
{
    editor->setPlainText("first\nsecond");
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    QCOMPARE(editor->extraSelections().size(), 1);
    const QTextEdit::ExtraSelection mark = editor->extraSelections().first();
    QCOMPARE(mark.format.background().color(), QColor("#2a2a2c"));
    QVERIFY(mark.format.boolProperty(QTextFormat::FullWidthSelection));
    QVERIFY(!mark.cursor.hasSelection());
    QCOMPARE(mark.cursor.block().blockNumber(), 1);

    editor->setReadOnly(true);
    editor->moveCursor(QTextCursor::Start);
    QVERIFY(editor->extraSelections().isEmpty());

    // An empty editor shows its placeholder whole: no mark over its first line.
    editor->setReadOnly(false);
    editor->setPlaceholderText("Select a file");
    editor->clear();
    QVERIFY(editor->extraSelections().isEmpty());
    QTest::keyClicks(editor, "x");
    QCOMPARE(editor->extraSelections().size(), 1);
    editor->moveCursor(QTextCursor::Start);
    editor->clear(); // the cursor does not move
    QVERIFY(editor->extraSelections().isEmpty());
}

void QmlCodeEditorTest::find_data()
{
    QTest::addColumn<int>("cursorAt");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("press"); // Next, Previous, Return or Shift+Return in the field
    QTest::addColumn<int>("selStart"); // equal to selEnd: no selection there
    QTest::addColumn<int>("selEnd");
    QTest::addColumn<QString>("status");

    // "Item {}\nitem: 1\nITEM\n" : matches at 0, 8 and 16
    QTest::newRow("next from the start") << 0 << "item"
                                         << "Next" << 0 << 4 << "";
    QTest::newRow("case-insensitive") << 1 << "item"
                                      << "Next" << 8 << 12 << "";
    QTest::newRow("wraps to the start") << 17 << "item"
                                        << "Next" << 0 << 4 << "";
    QTest::newRow("previous") << 16 << "item"
                              << "Previous" << 8 << 12 << "";
    QTest::newRow("previous wraps to the end") << 0 << "item"
                                               << "Previous" << 16 << 20 << "";
    QTest::newRow("Return in the field: next") << 5 << "item"
                                               << "Return" << 8 << 12 << "";
    QTest::newRow("Shift+Return in the field: next") << 5 << "item"
                                                     << "Shift+Return" << 8 << 12 << "";
    QTest::newRow("not found ends at the start") << 10 << "Rectangle"
                                                 << "Next" << 0 << 0 << "Not found";
    QTest::newRow("not found backward ends at the end") << 10 << "Rectangle"
                                                        << "Previous" << 21 << 21 << "Not found";
}

void QmlCodeEditorTest::find()
{
    QFETCH(int, cursorAt);
    QFETCH(QString, search);
    QFETCH(QString, press);
    QFETCH(int, selStart);
    QFETCH(int, selEnd);
    QFETCH(QString, status);

    editor->setPlainText("Item {}\nitem: 1\nITEM\n");
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(cursorAt);
    editor->setTextCursor(cursor);
    openFindBar(search);

    if (press == "Next")
        button("Next")->click();
    else if (press == "Previous")
        button("Previous")->click();
    else if (press == "Return")
        QTest::keyClick(field(), Qt::Key_Return);
    else
        QTest::keyClick(field(), Qt::Key_Return, Qt::ShiftModifier);

    QCOMPARE(selection(), qMakePair(selStart, selEnd));
    QCOMPARE(findStatus()->text(), status);
    QCOMPARE(editor->toPlainText(), QString("Item {}\nitem: 1\nITEM\n"));
}

void QmlCodeEditorTest::emptySearchMovesNothing()
{
    editor->setPlainText("Item {}\nItem {}");
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(3);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    QTest::keySequence(editor, QKeySequence::Find);
    field()->clear();

    QTest::keyClick(field(), Qt::Key_Return);
    QCOMPARE(findStatus()->text(), QString("Not found"));
    QCOMPARE(selection(), qMakePair(3, 5));
    findStatus()->clear();
    button("Next")->click();
    QCOMPARE(findStatus()->text(), QString("Not found"));
    QCOMPARE(selection(), qMakePair(3, 5));
}

void QmlCodeEditorTest::returnWhileTheBarIsOpenSearches()
{
    const QString text = "a x\nb x\nc x";
    editor->setPlainText(text);
    QTest::keyClick(editor, Qt::Key_Return); // bar closed: a new line
    QCOMPARE(editor->blockCount(), 4);
    editor->setPlainText(text);

    openFindBar("x");
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(selection(), qMakePair(2, 3));
    QTest::keyClick(editor, Qt::Key_Enter);
    QCOMPARE(selection(), qMakePair(6, 7));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(selection(), qMakePair(2, 3));
    QTest::keyClick(editor, Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
    QCOMPARE(selection(), qMakePair(10, 11)); // wrapped to the end
    QCOMPARE(editor->toPlainText(), text);
}

void QmlCodeEditorTest::findBarTakesTheSelection()
{
    editor->setPlainText("Rectangle { color: red }");
    openFindBar("old");
    button("Close")->click();
    QVERIFY(!findBar()->isVisible());
    QVERIFY(editor->hasFocus());

    QTest::keySequence(editor, QKeySequence::Find); // no selection: previous text, all selected
    QCOMPARE(field()->text(), QString("old"));
    QCOMPARE(field()->selectedText(), QString("old"));
    QTest::keyClick(field(), Qt::Key_Escape);

    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(12);
    cursor.setPosition(17, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    QTest::keySequence(editor, QKeySequence::Find);
    QCOMPARE(field()->text(), QString("color"));
    QCOMPARE(field()->selectedText(), QString("color"));
}

void QmlCodeEditorTest::typingClearsTheStatus()
{
    editor->setPlainText("Item");
    openFindBar("zzz");
    QTest::keyClick(field(), Qt::Key_Return);
    QCOMPARE(findStatus()->text(), QString("Not found"));
    QTest::keyClick(field(), Qt::Key_Backspace);
    QCOMPARE(findStatus()->text(), QString());
    field()->setText("zzzz"); // not typed by the user
    button("Next")->click();
    field()->setText("Item");
    QCOMPARE(findStatus()->text(), QString("Not found"));
}

void QmlCodeEditorTest::escapeNeverReachesTheWindow_data()
{
    QTest::addColumn<bool>("barOpen");
    QTest::addColumn<bool>("focusInField");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("bar closed") << false << false << false;
    QTest::newRow("bar closed, read-only") << false << false << true;
    QTest::newRow("bar open, focus in the text") << true << false << false;
    QTest::newRow("bar open, focus in the field") << true << true << false;
}

void QmlCodeEditorTest::escapeNeverReachesTheWindow()
{
    QFETCH(bool, barOpen);
    QFETCH(bool, focusInField);
    QFETCH(bool, readOnly);
    QSignalSpy rejected(window, &QDialog::rejected);
    editor->setPlainText("unsaved work");
    editor->setReadOnly(readOnly);
    if (barOpen) {
        openFindBar("work");
        if (!focusInField)
            editor->setFocus();
    }

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!findBar()->isVisible());
    QVERIFY(editor->hasFocus());
    QTest::keyClick(editor, Qt::Key_Escape); // and again, with the bar closed
    QCOMPARE(rejected.count(), 0);
    QVERIFY(window->isVisible());
    QCOMPARE(editor->toPlainText(), QString("unsaved work"));
}

void QmlCodeEditorTest::findBarSitsTopRight()
{
    for (const QSize &size : {QSize(700, 400), QSize(500, 300)}) {
        window->resize(size);
        QTRY_COMPARE(window->size(), size);
        const QRect contents = editor->contentsRect();
        QCOMPARE(findBar()->width(), 320);
        QCOMPARE(findBar()->pos(), QPoint(contents.right() - 320 - 16, contents.top() + 8));
    }
    openFindBar("x");
    editor->setPlainText(QString("line\n").repeated(500));
    editor->verticalScrollBar()->setValue(200);
    const QRect contents = editor->contentsRect();
    QCOMPARE(findBar()->pos(), QPoint(contents.right() - 320 - 16, contents.top() + 8));
}

void QmlCodeEditorTest::narrowFindBarClearsTheGutter_data()
{
    QTest::addColumn<int>("editorWidth");
    QTest::addColumn<int>("barWidth"); // 0: narrower than 320, right of the gutter
    QTest::newRow("room for the whole bar") << 420 << 320;
    QTest::newRow("narrow editor") << 300 << 0;
    QTest::newRow("very narrow editor") << 240 << 0;
}

// The bar keeps its width and place where there is room; in a narrow editor it gives up width
// and leaves the line numbers readable.
void QmlCodeEditorTest::narrowFindBarClearsTheGutter()
{
    QFETCH(int, editorWidth);
    QFETCH(int, barWidth);
    editor->setPlainText(QString("line\n").repeated(120)); // a three-digit gutter
    window->resize(editorWidth + 2 * window->layout()->contentsMargins().left(), 400);
    QTRY_COMPARE(editor->width(), editorWidth);
    openFindBar("line");
    const QRect contents = editor->contentsRect();
    const QRect bar = findBar()->geometry();
    QCOMPARE(bar.right(), contents.right() - 16 - 1);
    QCOMPARE(bar.top(), contents.top() + 8);
    if (barWidth != 0)
        QCOMPARE(bar.width(), barWidth);
    else
        QVERIFY(bar.width() < 320);
    QVERIFY2(bar.left() > contents.left() + editor->lineNumberAreaWidth(),
             qPrintable(QString("bar from %1, gutter to %2")
                            .arg(bar.left())
                            .arg(contents.left() + editor->lineNumberAreaWidth())));
    QVERIFY(bar.width() >= findBar()->minimumSizeHint().width());
    QVERIFY(field()->width() >= field()->minimumSizeHint().width());
}

// The bar's frame is the bar's own: the empty status beside the buttons draws nothing.
void QmlCodeEditorTest::findStatusHasNoFrame()
{
    openFindBar("");
    QVERIFY(findStatus()->text().isEmpty());
    const QImage bar = findBar()->grab().toImage();
    const QRect status = findStatus()->geometry();
    const QRgb inside = bar.pixel(findBar()->width() / 2, 1);
    for (int y = status.top(); y <= status.bottom(); ++y) {
        for (int x = status.left(); x <= status.right(); ++x)
            QCOMPARE(QColor(bar.pixel(x, y)).name(), QColor(inside).name());
    }
    QCOMPARE(QColor(inside).name(), QString("#2a2a2c"));
}

QTEST_MAIN(QmlCodeEditorTest)
#include "tst_qmlcodeeditor.moc"
