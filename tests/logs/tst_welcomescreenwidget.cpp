#include "KeloResources.h"
#include "Theme.h"
#include "WelcomeScreenWidget.h"

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(QListWidgetItem *)

class WelcomeScreenWidgetTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        initKeloResources();
        qRegisterMetaType<QListWidgetItem *>();
    }
    void placeholderFirstWhateverTheListHolds();
    void availabilityIgnoresListContent();
    void clicksBecomeSignals();
    void primaryStyleIsExact();
    void cardStaysNarrowAndCentred();
    void titleIsRichTextOtherTextsPlain();
    void stepTextsStartLevelWithTheirNumbers();
};

static WelcomeScreenWidget *makeCard(QWidget *parent = nullptr)
{
    return new WelcomeScreenWidget(
        QStringLiteral(":/icons/tab-logviewer.svg"),
        QStringLiteral("<span style='color:#0a84ff;'>View</span> your Log."),
        QStringLiteral("Open a stored flight log. Plot, zoom, and compare."),
        QStringLiteral("<b>step</b> one"), QStringLiteral("Step two"), parent);
}

static QLabel *placeholderOf(WelcomeScreenWidget *card)
{
    for (QLabel *label : card->findChildren<QLabel *>()) {
        if (label->text().startsWith(QLatin1String("Connect to your Kelo radio")))
            return label;
    }
    return nullptr;
}

void WelcomeScreenWidgetTest::placeholderFirstWhateverTheListHolds()
{
    QScopedPointer<WelcomeScreenWidget> card(makeCard());
    new QListWidgetItem(QStringLiteral("A  (0:01)"), card->logList);
    card->show();
    QLabel *placeholder = placeholderOf(card.data());
    QVERIFY(placeholder);
    QCOMPARE(placeholder->text(),
             QStringLiteral("Connect to your Kelo radio to browse its stored logs here."));
    QVERIFY(placeholder->isVisible());
    QVERIFY(!card->logList->isVisible());
    QCOMPARE(card->logList->maximumHeight(), 170);
    QCOMPARE(placeholder->maximumHeight(), 170);
}

void WelcomeScreenWidgetTest::availabilityIgnoresListContent()
{
    QScopedPointer<WelcomeScreenWidget> card(makeCard());
    card->show();
    QLabel *placeholder = placeholderOf(card.data());
    card->setRadioLogsAvailable(true);
    QVERIFY(card->logList->isVisible());
    QCOMPARE(card->logList->count(), 0);
    QVERIFY(!placeholder->isVisible());
    card->setRadioLogsAvailable(false);
    QVERIFY(!card->logList->isVisible());
    QVERIFY(placeholder->isVisible());
}

void WelcomeScreenWidgetTest::clicksBecomeSignals()
{
    QScopedPointer<WelcomeScreenWidget> card(makeCard());
    card->resize(900, 900);
    auto *item = new QListWidgetItem(QStringLiteral("A  (2:03)"), card->logList);
    card->setRadioLogsAvailable(true);
    card->show();
    QVERIFY(QTest::qWaitForWindowExposed(card.data()));
    QSignalSpy itemSpy(card.data(), &WelcomeScreenWidget::logItemClicked);
    QSignalSpy openSpy(card.data(), &WelcomeScreenWidget::openLogFileClicked);

    const QRect rect = card->logList->visualItemRect(item);
    QTest::mouseClick(card->logList->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(itemSpy.count(), 1);
    QCOMPARE(itemSpy.at(0).at(0).value<QListWidgetItem *>(), item);

    // Empty space below the only item.
    QTest::mouseClick(card->logList->viewport(), Qt::LeftButton, {},
                      QPoint(rect.center().x(), card->logList->viewport()->height() - 5));
    QCOMPARE(itemSpy.count(), 1);

    QPushButton *button = nullptr;
    for (QPushButton *b : card->findChildren<QPushButton *>()) {
        if (b->text() == QLatin1String("Open Log File..."))
            button = b;
    }
    QVERIFY(button);
    QCOMPARE(button->styleSheet(), Theme::primaryButtonStyleSheet());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(openSpy.count(), 1);
}

void WelcomeScreenWidgetTest::primaryStyleIsExact()
{
    const QString expected = QStringLiteral(
        "QPushButton { background-color: #0a84ff; color: white; border: none; border-radius: 22px; "
        "padding: 8px 28px; }QPushButton:hover { background-color: #3d9fff; }QPushButton:pressed "
        "{ background-color: #086ad1; }");
    QCOMPARE(Theme::primaryButtonStyleSheet(), expected);
    QCOMPARE(expected.size(), 208);

    // The style actually paints the button blue.
    QPushButton button(QStringLiteral("Go"));
    button.setStyleSheet(Theme::primaryButtonStyleSheet());
    button.resize(200, 44);
    const QImage image = button.grab().toImage();
    QCOMPARE(QColor(image.pixel(100, 6)), QColor(0x0a, 0x84, 0xff));
}

void WelcomeScreenWidgetTest::cardStaysNarrowAndCentred()
{
    QScopedPointer<WelcomeScreenWidget> card(makeCard());
    card->resize(1600, 1200);
    card->show();
    QVERIFY(QTest::qWaitForWindowExposed(card.data()));
    auto *inner = card->findChild<QWidget *>(QStringLiteral("welcomeCard"));
    QVERIFY(inner);
    QVERIFY(inner->width() <= 620);
    QVERIFY(inner->width() > 400);
    const QPoint centre = inner->geometry().center();
    QVERIFY(qAbs(centre.x() - card->width() / 2) <= 2);
    QVERIFY(qAbs(centre.y() - card->height() / 2) <= 2);
}

void WelcomeScreenWidgetTest::titleIsRichTextOtherTextsPlain()
{
    QScopedPointer<WelcomeScreenWidget> card(makeCard());
    card->show();
    QLabel *title = nullptr;
    QLabel *step = nullptr;
    for (QLabel *label : card->findChildren<QLabel *>()) {
        if (label->text().contains(QLatin1String("your Log.")))
            title = label;
        if (label->text() == QLatin1String("<b>step</b> one"))
            step = label;
    }
    QVERIFY(title);
    QCOMPARE(title->textFormat(), Qt::RichText);
    // Step texts are plain: the markup shows as typed.
    QVERIFY(step);
    QCOMPARE(step->textFormat(), Qt::PlainText);

    const QImage image = title->grab().toImage();
    int blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c(image.pixel(x, y));
            if (qAbs(c.red() - 0x0a) < 24 && qAbs(c.green() - 0x84) < 24 && c.blue() > 230)
                ++blue;
        }
    }
    QVERIFY2(blue > 20, qPrintable(QString::number(blue)));
}

// A long first step makes both step rows tall; the short second text must still start at
// its number's top, not float to the middle of the row.
void WelcomeScreenWidgetTest::stepTextsStartLevelWithTheirNumbers()
{
    const QString longStep = QStringLiteral(
        "Start Varnek Remote app from the Apps/Files menu on your Kelo radio, or open a saved "
        "log file above.");
    QScopedPointer<WelcomeScreenWidget> card(new WelcomeScreenWidget(
        QStringLiteral(":/icons/tab-replay.svg"), QStringLiteral("Title"),
        QStringLiteral("Subtitle"), longStep, QStringLiteral("Press Play."), nullptr));
    card->resize(1000, 1000);
    card->show();
    QVERIFY(QTest::qWaitForWindowExposed(card.data()));
    const QImage image = card->grab().toImage();

    for (const auto &step : {qMakePair(QStringLiteral("1"), longStep),
                             qMakePair(QStringLiteral("2"), QStringLiteral("Press Play."))}) {
        QLabel *number = nullptr;
        QLabel *text = nullptr;
        for (QLabel *label : card->findChildren<QLabel *>()) {
            if (label->text() == step.first)
                number = label;
            if (label->text() == step.second)
                text = label;
        }
        QVERIFY(number && text);
        const QRect area(text->mapTo(card.data(), QPoint(0, 0)), text->size());
        int top = -1;
        for (int y = area.top(); y <= area.bottom() && top < 0; ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (QColor(image.pixel(x, y)).lightness() > 120) {
                    top = y;
                    break;
                }
            }
        }
        const int numberTop = number->mapTo(card.data(), QPoint(0, 0)).y();
        QVERIFY2(top >= numberTop && top <= numberTop + 13,
                 qPrintable(QStringLiteral("step %1: text from y %2, number from y %3")
                                .arg(step.first)
                                .arg(top)
                                .arg(numberTop)));
    }
}

QTEST_MAIN(WelcomeScreenWidgetTest)
#include "tst_welcomescreenwidget.moc"
