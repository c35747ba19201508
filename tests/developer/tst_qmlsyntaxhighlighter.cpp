#include "QmlSamples.h"
#include "QmlSyntaxHighlighter.h"
#include "ReferenceQmlHighlighter.h"

#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

class QmlSyntaxHighlighterTest : public QObject
{
    Q_OBJECT
private slots:
    void colours_data();
    void colours();
    void blockStates_data();
    void blockStates();
    void openingAndClosingRecolourTheLinesBelow();
    void sameOutputAsTheRuleTable_data();
    void sameOutputAsTheRuleTable();
    void sameOutputAfterEdits();
};

// Documents only report changes once they have a layout, as they do inside an editor.
static QTextDocument *laidOut(QTextDocument *doc)
{
    doc->documentLayout();
    return doc;
}

// The format the highlighter gave the character at pos of the block.
static QTextCharFormat formatAt(const QTextBlock &block, int pos)
{
    QTextCharFormat format;
    for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
        if (pos >= range.start && pos < range.start + range.length)
            format = range.format;
    }
    return format;
}

// One format per character of every block, and the block states.
static QString describe(const QTextDocument &doc)
{
    QString out;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        out += QString::number(block.userState()) + QLatin1Char('|');
        for (int i = 0; i < block.length() - 1; ++i) {
            const QTextCharFormat format = formatAt(block, i);
            out += format.hasProperty(QTextFormat::ForegroundBrush)
                ? format.foreground().color().name()
                : QStringLiteral("-");
            out += format.fontWeight() == 75 ? QLatin1Char('B') : QLatin1Char(' ');
        }
        out += QLatin1Char('\n');
    }
    return out;
}

void QmlSyntaxHighlighterTest::colours_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("part"); // its first occurrence in the line
    QTest::addColumn<int>("skip"); // occurrences to skip before it
    QTest::addColumn<QString>("colour"); // empty: not coloured
    QTest::addColumn<bool>("bold");

    QTest::newRow("keyword bold pink")
        << "import QtQuick 2.15" << 0 << "import" << 0 << "#ff79c6" << true;
    QTest::newRow("type name cyan") << "Item {" << 0 << "Item" << 0 << "#8be9fd" << false;
    QTest::newRow("case-sensitive: Component is a type")
        << "Component {}" << 0 << "Component" << 0 << "#8be9fd" << false;
    QTest::newRow("case-sensitive: component a keyword")
        << "component Row: Item {}" << 0 << "component" << 0 << "#ff79c6" << true;
    QTest::newRow("keyword inside a longer word")
        << "important: 1" << 0 << "import" << 0 << "" << false;
    QTest::newRow("keyword after a non-ASCII letter")
        << "\u00e9if" << 0 << "if" << 0 << "#ff79c6" << true;
    QTest::newRow("id green") << "id: root" << 0 << "id" << 0 << "#50fa7b" << false;
    QTest::newRow("id colon uncoloured") << "id: root" << 0 << ":" << 0 << "" << false;
    QTest::newRow("id blanks before colon green")
        << "id  \t: root" << 0 << "id  \t" << 0 << "#50fa7b" << false;
    QTest::newRow("word ending in id") << "myid: 3" << 0 << "id" << 0 << "" << false;
    QTest::newRow("id without colon") << "id = 3" << 0 << "id" << 0 << "" << false;
    QTest::newRow("non-ASCII blank is no blank") << "id\u00a0: 3" << 0 << "id" << 0 << "" << false;
    QTest::newRow("1.5 one number") << "x: 1.5" << 0 << "1.5" << 0 << "#bd93f9" << false;
    QTest::newRow("10px no number") << "w: 10px" << 0 << "10px" << 0 << "" << false;
    QTest::newRow("x1 no number") << "x1" << 0 << "x1" << 0 << "" << false;
    QTest::newRow("0x1F no number") << "c: 0x1F" << 0 << "0x1F" << 0 << "" << false;
    QTest::newRow("minus not coloured") << "y: -3" << 0 << "-" << 0 << "" << false;
    QTest::newRow("digit of -3 coloured") << "y: -3" << 0 << "3" << 0 << "#bd93f9" << false;
    // The fraction does not end at a word boundary, so only the whole part is a number.
    QTest::newRow("1.5px: whole part") << "1.5px" << 0 << "1" << 0 << "#bd93f9" << false;
    QTest::newRow("1.5px: rest plain") << "1.5px" << 0 << ".5px" << 0 << "" << false;
    QTest::newRow("double-quoted string")
        << "text: \"Item if 3\"" << 0 << "\"Item if 3\"" << 0 << "#f1fa8c" << false;
    QTest::newRow("single-quoted string") << "c: 'red'" << 0 << "'red'" << 0 << "#f1fa8c" << false;
    QTest::newRow("unclosed quote plain") << "text: \"abc" << 0 << "\"abc" << 0 << "" << false;
    QTest::newRow("string up to slashes")
        << "t: \"a // b\"" << 0 << "\"a " << 0 << "#f1fa8c" << false;
    QTest::newRow("comment from slashes in string")
        << "t: \"a // b\"" << 0 << "// b\"" << 0 << "#6272a4" << false;
    QTest::newRow("line comment over keywords")
        << "x // if Item 3" << 0 << "// if Item 3" << 0 << "#6272a4" << false;
    QTest::newRow("/*/ whole comment") << "/*/" << 0 << "/*/" << 0 << "#6272a4" << false;
    QTest::newRow("two block comments, first")
        << "/* a */ Item /* b */" << 0 << "/* a */" << 0 << "#6272a4" << false;
    QTest::newRow("two block comments, between")
        << "/* a */ Item /* b */" << 0 << "Item" << 0 << "#8be9fd" << false;
    QTest::newRow("two block comments, second")
        << "/* a */ Item /* b */" << 0 << "/* b */" << 0 << "#6272a4" << false;
    QTest::newRow("opener in a string opens")
        << "t: \"/*\" Item" << 0 << "/*\" Item" << 0 << "#6272a4" << false;
    QTest::newRow("before opener in string")
        << "t: \"/*\" Item" << 0 << "\"" << 0 << "#f1fa8c" << false;
    QTest::newRow("inside comment: all comment") << "/* start\nItem { id: x; 3 }\nend */ Text" << 1
                                                 << "Item { id: x; 3 }" << 0 << "#6272a4" << false;
    QTest::newRow("closing line up to closer")
        << "/* start\nmid\nend */ Text" << 2 << "end */" << 0 << "#6272a4" << false;
    QTest::newRow("closing line after closer")
        << "/* start\nmid\nend */ Text" << 2 << "Text" << 0 << "#8be9fd" << false;
    QTest::newRow("second of two keywords") << "if (a) if" << 0 << "if" << 1 << "#ff79c6" << true;
}

void QmlSyntaxHighlighterTest::colours()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, part);
    QFETCH(int, skip);
    QFETCH(QString, colour);
    QFETCH(bool, bold);

    QTextDocument doc;
    QmlSyntaxHighlighter highlighter(laidOut(&doc));
    doc.setPlainText(text);
    const QTextBlock block = doc.findBlockByNumber(line);
    int at = -1;
    for (int i = 0; i <= skip; ++i)
        at = block.text().indexOf(part, at + 1);
    QVERIFY2(at >= 0, qPrintable(part));
    for (int i = at; i < at + part.size(); ++i) {
        const QTextCharFormat format = formatAt(block, i);
        const QString got = format.hasProperty(QTextFormat::ForegroundBrush)
            ? format.foreground().color().name()
            : QString();
        QVERIFY2(got == colour,
                 qPrintable(QString("char %1 '%2': %3").arg(i).arg(block.text().at(i)).arg(got)));
        QCOMPARE(format.fontWeight() == 75, bold);
        QVERIFY(!format.hasProperty(QTextFormat::BackgroundBrush));
        QVERIFY(!format.fontItalic() && !format.fontUnderline());
    }
}

void QmlSyntaxHighlighterTest::blockStates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("states");

    QTest::newRow("no comment") << "Item {\n}" << QList<int> {0, 0};
    QTest::newRow("/*/ complete") << "/*/\nItem" << QList<int> {0, 0};
    QTest::newRow("open, middle, close") << "a /* b\nc\nd */ e\nf" << QList<int> {1, 1, 0, 0};
    QTest::newRow("closed then reopened") << "/* a */ b /* c\nd" << QList<int> {1, 1};
    QTest::newRow("opener in line comment") << "x // see /* here\ny" << QList<int> {1, 1};
    QTest::newRow("closer in a string closes") << "/* a\nt: \"*/\" Item" << QList<int> {1, 0};
    QTest::newRow("empty lines inside") << "/*\n\n\n*/" << QList<int> {1, 1, 1, 0};
    // The closer is looked for from the line's start, so "/" then "*/" reads as closed.
    QTest::newRow("opener alone then star-slash") << "/*\n*/" << QList<int> {1, 0};
    QTest::newRow("first line starts outside") << "*/ Item" << QList<int> {0};
}

void QmlSyntaxHighlighterTest::blockStates()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, states);
    QTextDocument doc;
    QmlSyntaxHighlighter highlighter(laidOut(&doc));
    doc.setPlainText(text);
    QList<int> got;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        got << block.userState();
    QCOMPARE(got, states);
}

void QmlSyntaxHighlighterTest::openingAndClosingRecolourTheLinesBelow()
{
    QTextDocument doc;
    QmlSyntaxHighlighter highlighter(laidOut(&doc));
    // Without block comments of its own, so the one typed at the top never closes.
    doc.setPlainText(QmlSamples::realistic(200).replace("/*", "//").remove("*/"));
    const QTextBlock last = doc.lastBlock();
    const QString before = describe(doc);
    QCOMPARE(last.userState(), 0);

    QTextCursor cursor(&doc);
    cursor.insertText("/*");
    QCOMPARE(last.userState(), 1);
    QCOMPARE(formatAt(last, 0).foreground().color().name(), QString("#6272a4"));

    cursor.deletePreviousChar();
    cursor.deletePreviousChar();
    QCOMPARE(describe(doc), before);
}

void QmlSyntaxHighlighterTest::sameOutputAsTheRuleTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("app file") << QmlSamples::realistic(400);
    for (quint32 seed = 1; seed <= 6; ++seed)
        QTest::newRow(qPrintable(QString("edge pieces, seed %1").arg(seed)))
            << QmlSamples::adversarial(1500, seed);
}

void QmlSyntaxHighlighterTest::sameOutputAsTheRuleTable()
{
    QFETCH(QString, text);
    QTextDocument reference;
    ReferenceQmlHighlighter referenceHighlighter(laidOut(&reference));
    QCOMPARE(referenceHighlighter.ruleCount(), 60);
    QTextDocument doc;
    QmlSyntaxHighlighter highlighter(laidOut(&doc));
    reference.setPlainText(text);
    doc.setPlainText(text);

    QCOMPARE(doc.blockCount(), reference.blockCount());
    const QStringList got = describe(doc).split('\n');
    const QStringList want = describe(reference).split('\n');
    for (int i = 0; i < want.size(); ++i) {
        if (got.at(i) != want.at(i)) {
            QFAIL(
                qPrintable(QString("line %1: %2\n got:  %3\n want: %4")
                               .arg(i)
                               .arg(reference.findBlockByNumber(i).text(), got.at(i), want.at(i))));
        }
    }
}

// Typing and deleting comment markers and quotes anywhere re-colours the same way.
void QmlSyntaxHighlighterTest::sameOutputAfterEdits()
{
    const QString text = QmlSamples::adversarial(300, 42) + '\n' + QmlSamples::realistic(300);
    QTextDocument reference;
    ReferenceQmlHighlighter referenceHighlighter(laidOut(&reference));
    QTextDocument doc;
    QmlSyntaxHighlighter highlighter(laidOut(&doc));
    reference.setPlainText(text);
    doc.setPlainText(text);

    const QStringList typed = {"/*", "*/", "\"", "'", "//", "id:", "\n", "1.5"};
    QRandomGenerator random(7);
    for (int step = 0; step < 60; ++step) {
        const int pos = random.bounded(doc.characterCount() - 1);
        const bool remove = random.bounded(3) == 0;
        const QString insert = typed.at(random.bounded(typed.size()));
        for (QTextDocument *d : {&reference, &doc}) {
            QTextCursor cursor(d);
            cursor.setPosition(pos);
            if (remove) {
                cursor.setPosition(qMin(pos + 3, d->characterCount() - 1), QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
            } else {
                cursor.insertText(insert);
            }
        }
        QCOMPARE(describe(doc), describe(reference));
    }
}

QTEST_MAIN(QmlSyntaxHighlighterTest)
#include "tst_qmlsyntaxhighlighter.moc"
