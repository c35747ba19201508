// The assistant tools' rules that need no tab: how much of a long text an answer keeps.
#include "AiToolRules.h"

#include <QtTest>

class AiToolRulesTest : public QObject
{
    Q_OBJECT
private slots:
    void textTail_data();
    void textTail();
};

void AiToolRulesTest::textTail_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("tail");
    QTest::addColumn<bool>("cut");
    QTest::newRow("fits") << "one\ntwo\n" << 8 << "one\ntwo\n" << false;
    QTest::newRow("empty") << "" << 8 << "" << false;
    // Counted in UTF-8: "ä" takes two of the eight bytes.
    QTest::newRow("one byte over")
        << QString::fromUtf8("one\ntwä\n") << 8 << QString::fromUtf8("twä\n") << true;
    QTest::newRow("from the next whole line") << "aaaa\nbbbb\ncccc\n"
                                              << 12 << "bbbb\ncccc\n"
                                              << true;
    QTest::newRow("cut exactly at a line") << "aaaa\nbbbb\ncccc\n" << 10 << "bbbb\ncccc\n" << true;
    // No line starts in the kept part: it starts at a whole character instead.
    QTest::newRow("one long line")
        << QString::fromUtf8("ääääää") << 5 << QString::fromUtf8("ää") << true;
    QTest::newRow("only the last line feed")
        << QString::fromUtf8("ääää\n") << 4 << QString::fromUtf8("ä\n") << true;
}

void AiToolRulesTest::textTail()
{
    QFETCH(QString, text);
    QFETCH(int, maxBytes);
    QFETCH(QString, tail);
    QFETCH(bool, cut);
    bool wasCut = !cut;
    QCOMPARE(AiToolRules::textTail(text, maxBytes, &wasCut), tail);
    QCOMPARE(wasCut, cut);
    QVERIFY(tail.toUtf8().size() <= maxBytes);
}

QTEST_MAIN(AiToolRulesTest)
#include "tst_aitoolrules.moc"
