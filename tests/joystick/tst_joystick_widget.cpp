#include "JoystickStatusWidget.h"
#include "KeloResources.h"
#include "TestSupport.h"

#include <QLabel>
#include <QToolButton>
#include <QtTest>

// The Joystick page's status and hint lines.
class JoystickWidgetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startsWithoutLines();
    void statusLines_data();
    void statusLines();
    void radioFoundComesAndGoes();
    void linkButtons();
    void screenshot();

private:
    static QLabel *statusLine(JoystickStatusWidget &page);
    static QLabel *hintLine(JoystickStatusWidget &page);
};

void JoystickWidgetTest::initTestCase()
{
    initKeloResources();
}

// The two lines are the labels right after the subtitle, in layout order.
static QList<QLabel *> cardLabels(JoystickStatusWidget &page)
{
    QWidget *card = page.findChild<QWidget *>(QStringLiteral("joystickCard"));
    return card ? card->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)
                : QList<QLabel *>();
}

QLabel *JoystickWidgetTest::statusLine(JoystickStatusWidget &page)
{
    const auto labels = cardLabels(page);
    return labels.size() == 5 ? labels[3] : nullptr; // badge, title, subtitle, status, hint
}

QLabel *JoystickWidgetTest::hintLine(JoystickStatusWidget &page)
{
    const auto labels = cardLabels(page);
    return labels.size() == 5 ? labels[4] : nullptr;
}

void JoystickWidgetTest::startsWithoutLines()
{
    JoystickStatusWidget page;
    page.show();
    QVERIFY(statusLine(page));
    QVERIFY(!statusLine(page)->isVisible());
    QVERIFY(!hintLine(page)->isVisible());
}

void JoystickWidgetTest::statusLines_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("radioFound");
    QTest::addColumn<QString>("text"); // empty: the line is hidden
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("hint");
    QTest::newRow("1 checking") << 1 << false << "Checking Wireless Joystick Bus." << false
                                << false;
    QTest::newRow("2 no server") << 2 << false << "Can't create Server. Please check Firewall."
                                 << false << false;
    QTest::newRow("3 waiting") << 3 << false << "Waiting for Kelo Radio..." << false << false;
    QTest::newRow("3 radio found") << 3 << true << "Kelo Radio found!" << true << true;
    // The found state belongs to waiting only: connected shows no hint.
    QTest::newRow("4 connected, radio known")
        << 4 << true << "Varnek Kelo is connected." << false << false;
    QTest::newRow("6 disconnected")
        << 6 << true << "Varnek Kelo was disconnected." << false << false;
    QTest::newRow("10") << 10 << false << "Please install ViGEmBus Driver first." << false << false;
    QTest::newRow("11") << 11 << false << "Please install ViGEmBus Driver first." << false << false;
    QTest::newRow("12") << 12 << true << "Please install ViGEmBus Driver first." << false << false;
    QTest::newRow("5 stopping") << 5 << false << QString() << false << false;
    // What this machine shows: no virtual joystick driver.
    QTest::newRow("20 no driver") << 20 << false << QString() << false << false;
    QTest::newRow("20 no driver, radio known") << 20 << true << QString() << false << false;
    QTest::newRow("0 nothing yet") << 0 << true << QString() << false << false;
}

void JoystickWidgetTest::statusLines()
{
    QFETCH(int, status);
    QFETCH(bool, radioFound);
    QFETCH(QString, text);
    QFETCH(bool, bold);
    QFETCH(bool, hint);
    JoystickStatusWidget page;
    page.show();
    // From the found state first, so that each row also shows the way out of it.
    page.setStatus(3);
    page.setRadioFound(true);
    page.setRadioFound(radioFound);
    page.setStatus(status);
    QLabel *line = statusLine(page);
    QVERIFY(line);
    QCOMPARE(line->isVisible(), !text.isEmpty());
    if (!text.isEmpty()) {
        QCOMPARE(line->text(), text);
        QCOMPARE(line->font().bold(), bold);
    }
    QCOMPARE(hintLine(page)->isVisible(), hint);
    if (hint)
        QCOMPARE(hintLine(page)->text(), QStringLiteral("Start Apps/Simulator/Sim Over WiFi"));
}

void JoystickWidgetTest::radioFoundComesAndGoes()
{
    JoystickStatusWidget page;
    page.show();
    page.setStatus(3);
    QCOMPARE(statusLine(page)->text(), QStringLiteral("Waiting for Kelo Radio..."));
    page.setRadioFound(true);
    QCOMPARE(statusLine(page)->text(), QStringLiteral("Kelo Radio found!"));
    QVERIFY(statusLine(page)->font().bold());
    QVERIFY(hintLine(page)->isVisible());
    page.setRadioFound(false);
    QCOMPARE(statusLine(page)->text(), QStringLiteral("Waiting for Kelo Radio..."));
    QVERIFY(!statusLine(page)->font().bold());
    QVERIFY(!hintLine(page)->isVisible());
    QVERIFY(statusLine(page)->isVisible());
}

void JoystickWidgetTest::linkButtons()
{
    JoystickStatusWidget page;
    const auto buttons = page.findChildren<QToolButton *>();
    QCOMPARE(buttons.size(), 2);
    QStringList tips;
    for (QToolButton *button : buttons) {
        tips << button->toolTip();
        QVERIFY(!button->icon().isNull()); // the 80 x 80 pictures are in the resources
        QCOMPARE(button->iconSize(), QSize(32, 32));
        QVERIFY(button->autoRaise());
        QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
    }
    tips.sort();
    QCOMPARE(tips, (QStringList {"Community Forum", "Online Manual"}));

    // A click opens the maker's page in the browser.
    TestSupport::OpenedUrls opened({QStringLiteral("https")});
    for (QToolButton *button : buttons) {
        opened.urls.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        const QUrl expected(button->toolTip() == QLatin1String("Community Forum")
                                ? QStringLiteral("https://forum.varnek.com")
                                : QStringLiteral("https://www.varnek.com/kelo/manual"));
        QCOMPARE(opened.urls, QList<QUrl> {expected});
    }
    QCOMPARE(QImage(QStringLiteral(":/icons/panel-icon-chat.png")).size(), QSize(80, 80));
    QCOMPARE(QImage(QStringLiteral(":/icons/panel-icon-help.png")).size(), QSize(80, 80));
}

void JoystickWidgetTest::screenshot()
{
    JoystickStatusWidget page;
    page.resize(900, 640);
    page.show();
    // Pictures to look at by eye, when asked for.
    const QString dir = qEnvironmentVariable("KELO_SCREENSHOT_DIR");
    page.setStatus(3);
    page.setRadioFound(true);
    QCoreApplication::processEvents();
    const QImage found = page.grab().toImage();
    page.setStatus(20);
    QCoreApplication::processEvents();
    const QImage noDriver = page.grab().toImage();
    QVERIFY(!found.isNull() && !noDriver.isNull());
    if (!dir.isEmpty()) {
        QVERIFY(found.save(dir + QStringLiteral("/joystick-found.png")));
        QVERIFY(noDriver.save(dir + QStringLiteral("/joystick-status-20.png")));
    }
}

QTEST_MAIN(JoystickWidgetTest)
#include "tst_joystick_widget.moc"
