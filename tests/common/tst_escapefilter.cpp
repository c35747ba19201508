// Escape ends the program; a field with the filter keeps it, and every other key passes.
#include "EscapeFilter.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QVBoxLayout>
#include <QtTest>

class EscapeFilterTest : public QObject
{
    Q_OBJECT
private slots:
    void takesOnlyEscape_data();
    void takesOnlyEscape();
    void dialogStaysOpen();
    void windowShortcuts();
};

void EscapeFilterTest::takesOnlyEscape_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("taken");
    QTest::newRow("Escape pressed") << int(QEvent::KeyPress) << int(Qt::Key_Escape) << 0 << true;
    // Taken before the window's shortcuts see it.
    QTest::newRow("Escape as shortcut")
        << int(QEvent::ShortcutOverride) << int(Qt::Key_Escape) << 0 << true;
    QTest::newRow("Shift+Escape") << int(QEvent::KeyPress) << int(Qt::Key_Escape)
                                  << int(Qt::ShiftModifier) << true;
    QTest::newRow("Escape released")
        << int(QEvent::KeyRelease) << int(Qt::Key_Escape) << 0 << false;
    QTest::newRow("a letter") << int(QEvent::KeyPress) << int(Qt::Key_A) << 0 << false;
    QTest::newRow("another shortcut")
        << int(QEvent::ShortcutOverride) << int(Qt::Key_S) << int(Qt::ControlModifier) << false;
    QTest::newRow("Return") << int(QEvent::KeyPress) << int(Qt::Key_Return) << 0 << false;
}

void EscapeFilterTest::takesOnlyEscape()
{
    QFETCH(int, type);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, taken);
    // A bare widget handles no key: an accepted event is the filter's doing.
    QWidget widget;
    EscapeFilter::install(&widget);
    QKeyEvent event(QEvent::Type(type), key, Qt::KeyboardModifiers(modifiers));
    event.ignore();
    QCoreApplication::sendEvent(&widget, &event);
    QCOMPARE(event.isAccepted(), taken);
}

void EscapeFilterTest::dialogStaysOpen()
{
    QDialog dialog;
    auto *filtered = new QLineEdit(&dialog);
    EscapeFilter::install(filtered);
    auto *plain = new QLineEdit(&dialog);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(filtered);
    layout->addWidget(plain);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    filtered->setFocus();
    QTest::keyClicks(filtered, QStringLiteral("unsaved"));
    QTest::keyClick(filtered, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QCOMPARE(rejected.count(), 0);
    QCOMPARE(filtered->text(), QStringLiteral("unsaved"));
    // Without the filter the same key closes the dialog: the fixture sees a fault.
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(rejected.count(), 1);
}

void EscapeFilterTest::windowShortcuts()
{
    QWidget window;
    int escapes = 0;
    int saves = 0;
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), &window);
    connect(escape, &QShortcut::activated, &window, [&escapes]() { ++escapes; });
    auto *save = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_S), &window);
    connect(save, &QShortcut::activated, &window, [&saves]() { ++saves; });
    auto *filtered = new QLineEdit(&window);
    EscapeFilter::install(filtered);
    auto *plain = new QLineEdit(&window);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(filtered);
    layout->addWidget(plain);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    filtered->setFocus();
    QTest::keyClick(filtered, Qt::Key_Escape);
    QCOMPARE(escapes, 0);
    QTest::keyClick(filtered, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(saves, 1);
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_Escape);
    QCOMPARE(escapes, 1);
}

QTEST_MAIN(EscapeFilterTest)
#include "tst_escapefilter.moc"
