// Theme, left tab bar and About page, without the main window.
#include "AboutWidget.h"
#include "AppTheme.h"
#include "KeloResources.h"
#include "LeftTabWidget.h"
#include "TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTextDocument>

#include <QtTest>
#include <memory>

class AppShellTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void palette();
    void styleSheetFilled();
    void buttonHoverAndPressedColours();
    void fontFamilies();
    void tabSizeAndLabelColours();
    void tabTextStartsAfterIconOr14px();
    void selectedTabLabelIsBold();
    void aboutTexts();

private:
    static QColor brightestIn(const QImage &image, const QRect &rect,
                              int *leftmostBright = nullptr);
};

void AppShellTest::initTestCase()
{
    initKeloResources();
    applyAppTheme(*qApp);
}

void AppShellTest::palette()
{
    const QPalette p = QApplication::palette();
    QCOMPARE(p.color(QPalette::Disabled, QPalette::Text), QColor("#b0b0b6"));
    QCOMPARE(p.color(QPalette::Disabled, QPalette::WindowText), QColor("#b0b0b6"));
    QCOMPARE(p.color(QPalette::Disabled, QPalette::ButtonText), QColor("#b0b0b6"));
    QCOMPARE(p.color(QPalette::Active, QPalette::Text), QColor("#eaeaea"));
    QCOMPARE(p.color(QPalette::Inactive, QPalette::Window), QColor("#1e1e1e"));
    QCOMPARE(p.color(QPalette::Disabled, QPalette::Window), QColor("#1e1e1e"));
    QCOMPARE(p.color(QPalette::Active, QPalette::Base), QColor("#232325"));
    QCOMPARE(p.color(QPalette::Active, QPalette::ToolTipBase), QColor("#3a3a3c"));
    QCOMPARE(p.color(QPalette::Active, QPalette::BrightText), QColor("#ff453a"));
    QCOMPARE(p.color(QPalette::Active, QPalette::Highlight), QColor("#0a84ff"));
    QCOMPARE(p.color(QPalette::Active, QPalette::HighlightedText), QColor(Qt::white));
    // The style sheet wraps the style; its base is Fusion.
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QCOMPARE(QApplication::style()->standardPalette(), fusion->standardPalette());
    std::unique_ptr<QStyle> windows(QStyleFactory::create(QStringLiteral("Windows")));
    QVERIFY(QApplication::style()->standardPalette() != windows->standardPalette());
}

void AppShellTest::styleSheetFilled()
{
    const QString sheet = qApp->styleSheet();
    QCOMPARE(sheet, appStyleSheet());
    QVERIFY(!sheet.contains(QLatin1Char('%')));
    QVERIFY(sheet.contains(QStringLiteral("QPushButton:hover { background-color: #454547; }")));
    QVERIFY(sheet.contains(QStringLiteral("QPushButton:pressed { background-color: #0a84ff; color: "
                                          "white; border-color: #0a84ff; }")));
    QVERIFY(sheet.contains(
        QStringLiteral("QScrollBar::handle:vertical { background: #545456; border-radius: 5px;")));
    QVERIFY(sheet.contains(QStringLiteral("image: url(:/icons/checkbox-checked.svg)")));
    QVERIFY(QFile::exists(QStringLiteral(":/icons/checkbox-checked.svg")));
    QVERIFY(QFile::exists(QStringLiteral(":/icons/checkbox-unchecked.svg")));
    QVERIFY(sheet.indexOf(QStringLiteral("QToolTip"))
            < sheet.indexOf(QStringLiteral("QTabWidget")));
}

void AppShellTest::buttonHoverAndPressedColours()
{
    QPushButton button(QStringLiteral("  "));
    button.resize(80, 30);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    const QPoint inner(40, 15);
    QCOMPARE(button.grab().toImage().pixelColor(inner), QColor("#3a3a3c"));
    button.setDown(true);
    QCOMPARE(button.grab().toImage().pixelColor(inner), QColor("#0a84ff"));
}

void AppShellTest::fontFamilies()
{
    const QStringList families = QApplication::font().families();
    QCOMPARE(families.first(), QStringLiteral("SF Pro Text"));
    QCOMPARE(families.last(), QStringLiteral("Arial"));
    QCOMPARE(families.size(), 7);
}

QColor AppShellTest::brightestIn(const QImage &image, const QRect &rect, int *leftmostBright)
{
    QColor best(Qt::black);
    int left = -1;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.lightness() > best.lightness())
                best = c;
            if (c.lightness() > 150 && (left < 0 || x < left))
                left = x;
        }
    }
    if (leftmostBright)
        *leftmostBright = left;
    return best;
}

void AppShellTest::tabSizeAndLabelColours()
{
    LeftTabWidget tabs;
    tabs.addTab(new QWidget, QStringLiteral("WWWWWW"));
    tabs.addTab(new QWidget, QStringLiteral("WWWWWW a very long label that must be clipped"));
    tabs.resize(600, 300);
    tabs.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tabs));
    QTabBar *bar = tabs.tabBar();
    QCOMPARE(tabs.tabPosition(), QTabWidget::West);
    QVERIFY(qobject_cast<LeftHorizontalTabBar *>(bar));
    QCOMPARE(bar->tabRect(0).size(), QSize(170, 44));
    QCOMPARE(bar->tabRect(1).size(), QSize(170, 44));

    const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const qreal dpr = image.devicePixelRatio();
    QCOMPARE(dpr, 1.0);
    // The selected label in #eaeaea, the other in #b0b0b6 (anti-aliasing only darkens).
    QCOMPARE(brightestIn(image, bar->tabRect(0).adjusted(2, 2, -2, -2)), QColor("#eaeaea"));
    QCOMPARE(brightestIn(image, bar->tabRect(1).adjusted(2, 2, -2, -2)), QColor("#b0b0b6"));
}

void AppShellTest::tabTextStartsAfterIconOr14px()
{
    LeftTabWidget tabs;
    tabs.setIconSize(QSize(20, 20));
    tabs.addTab(new QWidget, QStringLiteral("WWW"));
    tabs.addTab(new QWidget, QIcon(QStringLiteral(":/icons/tab-about.svg")), QStringLiteral("WWW"));
    tabs.resize(600, 300);
    tabs.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tabs));
    QTabBar *bar = tabs.tabBar();
    const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);

    int left = -1;
    const QRect first = bar->tabRect(0);
    brightestIn(image, first.adjusted(2, 2, -2, -2), &left);
    QVERIFY2(left >= first.left() + 14 && left <= first.left() + 16,
             qPrintable(QString::number(left)));

    // With an icon: the icon starts at 14 px, the text 10 px after the icon's right edge.
    const QRect second = bar->tabRect(1);
    brightestIn(image, second.adjusted(2, 2, -2, -2), &left);
    QVERIFY2(left >= second.left() + 14 && left <= second.left() + 20,
             qPrintable(QString::number(left - second.left())));
    int textLeft = -1;
    brightestIn(image, QRect(second.left() + 14 + 20 + 1, second.top() + 2, 120, 40), &textLeft);
    QVERIFY2(textLeft >= second.left() + 14 + 20 + 9 && textLeft <= second.left() + 14 + 20 + 13,
             qPrintable(QString::number(textLeft - second.left())));
}

// How wide the label's ink is: from the first to the last column holding a text pixel.
static int inkWidth(const QImage &image, const QRect &rect)
{
    int left = -1, right = -1;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            if (image.pixelColor(x, y).lightness() > 120) {
                if (left < 0)
                    left = x;
                right = x;
                break;
            }
        }
    }
    return left < 0 ? 0 : right - left + 1;
}

// The same label, selected and not: the selected one is drawn bold, so wider. Selecting the
// other tab moves the bold weight with it.
void AppShellTest::selectedTabLabelIsBold()
{
    LeftTabWidget tabs;
    tabs.addTab(new QWidget, QStringLiteral("WWWWWW"));
    tabs.addTab(new QWidget, QStringLiteral("WWWWWW"));
    tabs.resize(600, 300);
    tabs.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tabs));
    QTabBar *bar = tabs.tabBar();
    for (int selected : {0, 1}) {
        tabs.setCurrentIndex(selected);
        const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int bold = inkWidth(image, bar->tabRect(selected).adjusted(2, 2, -2, -2));
        const int normal = inkWidth(image, bar->tabRect(1 - selected).adjusted(2, 2, -2, -2));
        QVERIFY2(normal > 40 && bold > normal + 3,
                 qPrintable(QStringLiteral("selected %1 px, other %2 px").arg(bold).arg(normal)));
    }
}

void AppShellTest::aboutTexts()
{
    AboutWidget about(QStringLiteral("2.1.2"));
    QCOMPARE(about.findChild<QLabel *>(QStringLiteral("versionLabel"))->text(),
             QStringLiteral("Version 2.1.2"));
    QCOMPARE(about.findChild<QLabel *>(QStringLiteral("platformLabel"))->text(),
             QStringLiteral("Running on Linux"));
    QCOMPARE(AboutWidget::platformName(), QStringLiteral("Linux"));
    const QPixmap *logo = about.findChild<QLabel *>(QStringLiteral("logoLabel"))->pixmap();
    QVERIFY(logo && logo->size() == QSize(150, 150));
    // The drawing is black on the light disc: some dark pixels must be there.
    const QImage img = logo->toImage();
    int dark = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            dark += qAlpha(img.pixel(x, y)) > 200 && qGray(img.pixel(x, y)) < 40;
    QVERIFY(dark > 500);
    // The two links, shown as their addresses; a click opens the browser or mail program.
    about.resize(600, 700);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    TestSupport::OpenedUrls opened({QStringLiteral("https"), QStringLiteral("mailto")});
    QStringList shown;
    for (QLabel *label : about.findChildren<QLabel *>()) {
        if (!label->text().startsWith(QStringLiteral("<a href=")))
            continue;
        QVERIFY(label->openExternalLinks());
        QVERIFY(label->textInteractionFlags().testFlag(Qt::LinksAccessibleByKeyboard));
        QVERIFY(label->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
        QTextDocument text;
        text.setHtml(label->text());
        shown << text.toPlainText();
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    }
    QCOMPARE(shown, (QStringList {"www.varnek.com", "contact@varnek.com"}));
    QCOMPARE(opened.urls,
             (QList<QUrl> {QUrl("https://www.varnek.com"), QUrl("mailto:contact@varnek.com")}));
}

QTEST_MAIN(AppShellTest)
#include "tst_appshell.moc"
