// The one message box for names from the radio, the disk or the network: text shown as
// written, modal over its parent, answering the button the user pressed.
#include "PlainMessageBox.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(QMessageBox::StandardButtons)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

class PlainMessageBoxTest : public QObject
{
    Q_OBJECT
private slots:
    void markupShownAsWritten_data();
    void markupShownAsWritten();
    void answer_data();
    void answer();
};

void PlainMessageBoxTest::markupShownAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("bold tags") << QStringLiteral("Cannot load image: /tmp/<b>x</b>.png");
    QTest::newRow("entity") << QStringLiteral("Could not read \"a &amp; b.app\".");
    // An image tag as rich text would make the label fetch a file.
    QTest::newRow("image tag") << QStringLiteral("<img src=\"/etc/passwd\">");
    QTest::newRow("line breaks kept") << QStringLiteral("<p>first</p>\n\nsecond");
}

void PlainMessageBoxTest::markupShownAsWritten()
{
    QFETCH(QString, text);
    QWidget parent;
    parent.show();
    QPointer<QMessageBox> seen;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    bool modalOverParent = false;
    TestSupport::answerNextModal([&](QWidget *modal) {
        seen = qobject_cast<QMessageBox *>(modal);
        if (auto *label = modal->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
            shown = label->text();
            format = label->textFormat();
        }
        modalOverParent = modal->isModal() && modal->parentWidget() == &parent;
        QTest::keyClick(modal, Qt::Key_Return);
    });
    const auto answer
        = showPlainMessage(&parent, QMessageBox::Warning, QStringLiteral("Title"), text);
    QVERIFY(seen.isNull()); // gone when the call returns
    QCOMPARE(answer, QMessageBox::Ok);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(shown, text);
    QVERIFY(modalOverParent);
}

void PlainMessageBoxTest::answer_data()
{
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<QMessageBox::StandardButton>("defaultButton");
    QTest::addColumn<int>("key"); // 0: a mouse click on the button "click"
    QTest::addColumn<QMessageBox::StandardButton>("click");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    const QMessageBox::StandardButtons yesNo = QMessageBox::Yes | QMessageBox::No;
    QTest::newRow("Ok on Return") << QMessageBox::StandardButtons(QMessageBox::Ok)
                                  << QMessageBox::NoButton << int(Qt::Key_Return)
                                  << QMessageBox::NoButton << QMessageBox::Ok;
    // A warning before a risky step: Return alone must not go on.
    QTest::newRow("default No on Return") << yesNo << QMessageBox::No << int(Qt::Key_Return)
                                          << QMessageBox::NoButton << QMessageBox::No;
    QTest::newRow("Escape answers No") << yesNo << QMessageBox::NoButton << int(Qt::Key_Escape)
                                       << QMessageBox::NoButton << QMessageBox::No;
    QTest::newRow("Yes clicked") << yesNo << QMessageBox::No << 0 << QMessageBox::Yes
                                 << QMessageBox::Yes;
    QTest::newRow("No clicked") << yesNo << QMessageBox::NoButton << 0 << QMessageBox::No
                                << QMessageBox::No;
}

void PlainMessageBoxTest::answer()
{
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(QMessageBox::StandardButton, defaultButton);
    QFETCH(int, key);
    QFETCH(QMessageBox::StandardButton, click);
    QFETCH(QMessageBox::StandardButton, answer);
    QWidget parent;
    parent.show();
    QMessageBox::StandardButtons offered;
    TestSupport::answerNextModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        offered = box->standardButtons();
        if (key)
            QTest::keyClick(box, Qt::Key(key));
        else
            QTest::mouseClick(box->button(click), Qt::LeftButton);
    });
    QCOMPARE(showPlainMessage(&parent, QMessageBox::Question, QStringLiteral("Title"),
                              QStringLiteral("Go on?"), buttons, defaultButton),
             answer);
    QCOMPARE(offered, buttons);
}

QTEST_MAIN(PlainMessageBoxTest)
#include "tst_plainmessagebox.moc"
