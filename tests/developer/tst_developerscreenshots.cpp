#include "AppTheme.h"
#include "DebugWindow.h"
#include "FakeDebugPort.h"
#include "QmlCodeEditor.h"
#include "QmlSamples.h"
#include "QmlSyntaxHighlighter.h"
#include "TestSupport.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

// Renders the code editor and the debug window in the program's theme and writes them as
// PNGs (to KELO_SCREENSHOT_DIR, or the temp folder) to be looked at.
class DeveloperScreenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void editor_data();
    void editor();
    void debugWindow_data();
    void debugWindow();

private:
    QString outPath(const QString &name) const
    {
        const QString dir = qEnvironmentVariable("KELO_SCREENSHOT_DIR", QDir::tempPath());
        return QDir(dir).filePath(name);
    }
};

void DeveloperScreenshots::initTestCase()
{
    TestSupport::unsetProxies();
    applyAppTheme(*qApp);
}

void DeveloperScreenshots::editor_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("wide") << QSize(900, 560);
    // What is left of a 640-pixel window beside the tab's file lists.
    QTest::newRow("narrow") << QSize(340, 420);
}

void DeveloperScreenshots::editor()
{
    QFETCH(QSize, size);
    // Set up as the Developer tab sets it up.
    QmlCodeEditor editor;
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font("Monospace");
    font.setStyleHint(QFont::Monospace);
    editor.setFont(font);
    editor.setStyleSheet("background-color: #1e1e1e; color: #eaeaea; border: 1px solid #3f3f42; "
                         "border-radius: 6px;");
    QmlSyntaxHighlighter highlighter(editor.document());
    editor.setPlainText(QmlSamples::realistic(31) + "\n    /* a comment\n       over lines */");
    editor.resize(size);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QTextCursor cursor = editor.textCursor();
    cursor.setPosition(editor.document()->findBlockByNumber(7).position() + 4);
    editor.setTextCursor(cursor);
    QVERIFY(editor.grab().toImage().save(
        outPath(QString("kelo-qml-editor-%1.png").arg(QTest::currentDataTag()))));

    QTest::keySequence(&editor, QKeySequence::Find);
    QTest::keyClicks(editor.findChild<QLineEdit *>(), "rectangle");
    QTest::keyClick(editor.findChild<QLineEdit *>(), Qt::Key_Return);
    const QImage shot = editor.grab().toImage();
    QVERIFY(
        shot.save(outPath(QString("kelo-qml-editor-find-%1.png").arg(QTest::currentDataTag()))));
    QCOMPARE(QColor(shot.pixel(editor.contentsRect().topLeft() + QPoint(1, 1))).name(),
             QString("#1e1e1e"));

    QTest::keyClicks(editor.findChild<QLineEdit *>(), "s");
    QTest::keyClick(editor.findChild<QLineEdit *>(), Qt::Key_Return);
    auto *status = editor.findChild<QLabel *>();
    QCOMPARE(status->text(), QString("Not found"));
    QTRY_VERIFY(status->width() >= status->sizeHint().width()); // laid out again
    QVERIFY(editor.grab().toImage().save(
        outPath(QString("kelo-qml-editor-not-found-%1.png").arg(QTest::currentDataTag()))));
}

void DeveloperScreenshots::debugWindow_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("first-size") << QSize(640, 420);
    QTest::newRow("small") << QSize(360, 200);
}

void DeveloperScreenshots::debugWindow()
{
    QFETCH(QSize, size);
    FakeDebugPort radio;
    QVERIFY(radio.listen());
    DebugWindow window(nullptr, radio.port());
    window.setRadioIp("127.0.0.1");
    window.resize(size);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(radio.openConnections(), 1);
    radio.send("2025-01-31 08:15:02 [12] New connection\r\n"
               "qml: Clock started at 08:15:02\r\n"
               "2025-01-31 08:15:02 [12] GET /app/list HTTP/1.1 (200)\r\n"
               "qml: battery 12.4 V, 98 %, temperature 21 \xc2\xb0"
               "C\r\n"
               "file:///apps/Clock/app.qml:42: TypeError: Cannot read property 'width' of null\n"
               "qml: a long line that does not fit into the window and wraps at its edge like "
               "a terminal would wrap it, without looking for blanks\n");
    QTRY_VERIFY(window.outputText().contains("wraps"));
    QVERIFY(window.grab().toImage().save(
        outPath(QString("kelo-debug-window-%1.png").arg(QTest::currentDataTag()))));
    radio.closeConnections();
    QTRY_COMPARE(window.findChild<QLabel *>()->text(), QString("Disconnected"));
}

QTEST_MAIN(DeveloperScreenshots)
#include "tst_developerscreenshots.moc"
