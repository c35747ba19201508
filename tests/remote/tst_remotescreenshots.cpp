#include "AppTheme.h"
#include "ApplicationsWidget.h"
#include "AspectImageLabel.h"
#include "FakeRadio.h"
#include "KeloResources.h"
#include "RadioScanner.h"
#include "ScreenshotWidget.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QtTest>

// Renders the Screen and Applications tabs in the program's theme against the fake radio
// and writes them as PNGs (to KELO_SCREENSHOT_DIR, or the temp folder) to be looked at.
class RemoteScreenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void screenTab();
    void applicationsTab();

private:
    QString outPath(const QString &name) const
    {
        const QString dir = qEnvironmentVariable("KELO_SCREENSHOT_DIR", QDir::tempPath());
        return QDir(dir).filePath(name);
    }
};

// Something that looks like the radio's home screen.
static QImage radioScreen()
{
    QImage image(480, 272, QImage::Format_RGB32);
    image.fill(QColor("#10243a"));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, 480, 28, QColor("#0a84ff"));
    p.setPen(Qt::white);
    p.drawText(QRect(8, 0, 300, 28), Qt::AlignVCenter, "Heli 700  -  Model 3");
    p.drawText(QRect(300, 0, 172, 28), Qt::AlignVCenter | Qt::AlignRight, "12.4 V   98%");
    for (int i = 0; i < 4; ++i) {
        p.setBrush(QColor::fromHsv(i * 70, 160, 220));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRect(20 + i * 115, 60, 95, 95), 14, 14);
        p.setPen(Qt::white);
        p.drawText(QRect(20 + i * 115, 165, 95, 20), Qt::AlignCenter,
                   QStringList {"Timer", "Telemetry", "Mixer", "Settings"}[i]);
    }
    p.drawText(QRect(0, 220, 480, 40), Qt::AlignCenter, "00:42.7");
    return image;
}

static QImage icon(const QColor &colour, const QString &letter)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRect(2, 2, 60, 60), 12, 12);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(30);
    f.setBold(true);
    p.setFont(f);
    p.drawText(image.rect(), Qt::AlignCenter, letter);
    return image;
}

void RemoteScreenshots::initTestCase()
{
    TestSupport::unsetProxies();
    initKeloResources();
    applyAppTheme(*qApp);
}

void RemoteScreenshots::screenTab()
{
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse("/screenshot.png",
                      FakeResponse::bytes(TestImages::png(radioScreen()), "image/png"));
    RadioScanner scanner;
    ScreenshotWidget widget(&scanner);
    widget.resize(820, 560);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    const QImage noRadio = widget.grab().toImage();
    QVERIFY(noRadio.save(outPath("kelo-screen-tab-no-radio.png")));

    scanner.ip = radio.address();
    emit scanner.deviceFound(scanner.ip, "KeloNet", "Heli");
    auto *label = widget.findChild<AspectImageLabel *>("imageLabel");
    QTRY_VERIFY_WITH_TIMEOUT(!label->sourceImage().isNull(), 10000);
    const QImage shot = widget.grab().toImage();
    QVERIFY(shot.save(outPath("kelo-screen-tab.png")));
    // The radio's blue title bar is drawn where the label says the picture lies.
    const QPoint inBar
        = label->mapTo(&widget, label->displayedImageRect().topLeft() + QPoint(20, 5));
    QCOMPARE(QColor(shot.pixel(inBar)).name(), QString("#0a84ff"));

    // The long remote-control notice wraps beside the buttons.
    radio.setResponse("/touch/click", FakeResponse::error(403));
    const QPoint centre = label->displayedImageRect().center();
    QMouseEvent press(QEvent::MouseButtonPress, centre, label->mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &press);
    auto *status = widget.findChild<QLabel *>("statusLabel");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Remote control"), 10000);
    QTest::qWait(50);
    QCOMPARE(widget.size(), QSize(820, 560));
    QVERIFY(widget.grab().toImage().save(outPath("kelo-screen-tab-denied.png")));
}

void RemoteScreenshots::applicationsTab()
{
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse(
        "/app/list",
        FakeResponse::json(
            R"({"list":["Timer","Flight timer with lap times and voice call-outs","Telemetry","Live voltage, current and RPM from the ESC","My App","A <b>test</b> app, shown as plain text","Mixer","Curves and mixes for collective and throttle"]})"));
    const QList<QPair<QByteArray, QImage>> icons {{"Timer", icon(QColor("#ff9f0a"), "T")},
                                                  {"Telemetry", icon(QColor("#30d158"), "V")},
                                                  {"My%20App", icon(QColor("#bf5af2"), "M")},
                                                  {"Mixer", icon(QColor("#0a84ff"), "X")}};
    for (const auto &i : icons)
        radio.setResponse("/media/apps/" + i.first + "/icon.png",
                          FakeResponse::bytes(TestImages::png(i.second), "image/png"));
    radio.setFallback([](const FakeRequest &r) {
        return r.path.endsWith("/version") ? FakeResponse::text("1 4 2\n")
                                           : FakeResponse::error(404);
    });
    RadioScanner scanner;
    ApplicationsWidget widget(&scanner);
    widget.resize(820, 560);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QVERIFY(widget.grab().toImage().save(outPath("kelo-applications-tab-no-radio.png")));

    scanner.ip = radio.address();
    emit scanner.deviceFound(scanner.ip, "KeloNet", "Heli");
    auto *list = widget.findChild<QListWidget *>("appList");
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 4, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!list->item(3)->icon().isNull() && !list->item(0)->icon().isNull(),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(!widget.findChild<QLabel *>("versionLabel")->text().isEmpty(), 10000);
    QVERIFY(widget.grab().toImage().save(outPath("kelo-applications-tab.png")));
    list->setCurrentRow(2);
    QTRY_VERIFY_WITH_TIMEOUT(!widget.findChild<QLabel *>("versionLabel")->text().isEmpty(), 10000);
    QVERIFY(widget.grab().toImage().save(outPath("kelo-applications-tab-plain.png")));
}

QTEST_MAIN(RemoteScreenshots)
#include "tst_remotescreenshots.moc"
