// The strip is driven by the scanner's signals and members alone; no request is sent.
#include "KeloResources.h"
#include "RadioScanner.h"
#include "RadioStatusBar.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QtMath>
#include <QtTest>

#include <cmath>

class RadioStatusBarTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initKeloResources(); }
    void initialAndScanningTexts();
    void foundTextGrowsWithModelAndSerial();
    void radioTextsAreEscaped();
    void longRadioTextsCutForDisplay();
    void copyPutsRawSerialOnClipboard();
    void lossDuringSweepThenNotFound();
    void knownRadioAtConstruction();
    void spinnerTurns30DegreesPerTick();

private:
    struct Strip
    {
        RadioScanner scanner;
        RadioStatusBar bar {&scanner};
        QLabel *text() const { return bar.findChildren<QLabel *>().at(1); }
        QLabel *icon() const { return bar.findChildren<QLabel *>().at(0); }
        QToolButton *copy() const { return bar.findChild<QToolButton *>(); }
        QTimer *spinner() const { return bar.findChild<QTimer *>(); }
    };
};

void RadioStatusBarTest::initialAndScanningTexts()
{
    Strip s;
    QCOMPARE(s.text()->text(), QStringLiteral("<b>Scanning for Kelo radio...</b>"));
    QVERIFY(!s.spinner()->isActive());
    QVERIFY(s.copy()->isHidden());

    emit s.scanner.scanStarted();
    QCOMPARE(s.text()->text(), QStringLiteral("Scanning for Kelo radio..."));
    QVERIFY(s.spinner()->isActive());
    QCOMPARE(s.spinner()->interval(), 80);
    QTRY_VERIFY(s.icon()->pixmap() && !s.icon()->pixmap()->isNull());

    emit s.scanner.deviceNotFound();
    QCOMPARE(s.text()->text(), QStringLiteral("Kelo radio not found"));
    QVERIFY(!s.spinner()->isActive());
    QVERIFY(!s.icon()->pixmap() || s.icon()->pixmap()->isNull());
}

void RadioStatusBarTest::foundTextGrowsWithModelAndSerial()
{
    Strip s;
    emit s.scanner.scanStarted();
    s.scanner.ip = QStringLiteral("192.168.1.20");
    s.scanner.networkName = QStringLiteral("never shown");
    emit s.scanner.deviceFound(s.scanner.ip, s.scanner.networkName, QString());
    QCOMPARE(s.text()->text(), QStringLiteral("RADIO: 192.168.1.20"));
    QCOMPARE(s.text()->textFormat(), Qt::AutoText);
    QVERIFY(!Qt::mightBeRichText(s.text()->text()));
    QVERIFY(!s.spinner()->isActive());

    s.scanner.modelName = QStringLiteral("M");
    emit s.scanner.deviceFound(s.scanner.ip, s.scanner.networkName, s.scanner.modelName);
    QCOMPARE(s.text()->text(), QStringLiteral("RADIO: 192.168.1.20&nbsp;&nbsp;MODEL: <b>M</b>"));
    QVERIFY(s.copy()->isHidden());

    s.scanner.serial = QStringLiteral("12-AB-3-4-5-6");
    emit s.scanner.serialFound(s.scanner.serial);
    QCOMPARE(s.text()->text(),
             QStringLiteral("RADIO: 192.168.1.20&nbsp;&nbsp;MODEL: <b>M</b>"
                            "&nbsp;&nbsp;SERIAL: <b>12-AB-3-4-5-6</b>"));
    QVERIFY(!s.copy()->isHidden());
    QVERIFY(!s.text()->text().contains(QStringLiteral("never shown")));
}

void RadioStatusBarTest::radioTextsAreEscaped()
{
    Strip s;
    s.scanner.ip = QStringLiteral("10.0.0.2");
    s.scanner.modelName = QStringLiteral("<img src=x>&<b>");
    s.scanner.serial = QStringLiteral("1-<i>-3-4-5-6");
    emit s.scanner.serialFound(s.scanner.serial);
    const QString text = s.text()->text();
    QVERIFY(text.contains(QStringLiteral("MODEL: <b>&lt;img src=x&gt;&amp;&lt;b&gt;</b>")));
    QVERIFY(text.contains(QStringLiteral("SERIAL: <b>1-&lt;i&gt;-3-4-5-6</b>")));
}

void RadioStatusBarTest::longRadioTextsCutForDisplay()
{
    Strip s;
    s.scanner.ip = QStringLiteral("10.0.0.2");
    s.scanner.modelName = QString(1 << 20, QLatin1Char('m'));
    s.scanner.serial = QString(200, QLatin1Char('s')) + QStringLiteral("-2-3-4-5-6");
    emit s.scanner.serialFound(s.scanner.serial);
    const QString ellipsis(QChar(0x2026));
    QCOMPARE(s.text()->text(),
             QStringLiteral("RADIO: 10.0.0.2&nbsp;&nbsp;MODEL: <b>") + QString(79, QLatin1Char('m'))
                 + ellipsis + QStringLiteral("</b>&nbsp;&nbsp;SERIAL: <b>")
                 + QString(79, QLatin1Char('s')) + ellipsis + QStringLiteral("</b>"));
    // Copy still gives the whole serial.
    s.copy()->click();
    QCOMPARE(QApplication::clipboard()->text(), s.scanner.serial);
}

void RadioStatusBarTest::copyPutsRawSerialOnClipboard()
{
    Strip s;
    s.scanner.ip = QStringLiteral("10.0.0.2");
    s.scanner.serial = QStringLiteral("12-AB-<3>-4-5-6");
    emit s.scanner.serialFound(s.scanner.serial);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    s.copy()->click();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("12-AB-<3>-4-5-6"));
    QCOMPARE(s.copy()->text(), QStringLiteral("Copied!"));
    QTest::qWait(1200);
    QCOMPARE(s.copy()->text(), QStringLiteral("Copied!"));
    QTRY_COMPARE_WITH_TIMEOUT(s.copy()->text(), QStringLiteral("Copy"), 2000);
}

void RadioStatusBarTest::lossDuringSweepThenNotFound()
{
    Strip s;
    s.scanner.ip = QStringLiteral("10.0.0.2");
    s.scanner.serial = QStringLiteral("1-2-3-4-5-6");
    emit s.scanner.serialFound(s.scanner.serial);
    QVERIFY(!s.copy()->isHidden());

    // The scanner forgets the radio and sweeps: Copy stays, but does nothing.
    s.scanner.ip.clear();
    s.scanner.serial.clear();
    emit s.scanner.scanStarted();
    QVERIFY(!s.copy()->isHidden());
    QApplication::clipboard()->setText(QStringLiteral("untouched"));
    s.copy()->click();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));
    QCOMPARE(s.copy()->text(), QStringLiteral("Copy"));

    emit s.scanner.deviceNotFound();
    QVERIFY(s.copy()->isHidden());
    QCOMPARE(s.text()->text(), QStringLiteral("Kelo radio not found"));
}

void RadioStatusBarTest::knownRadioAtConstruction()
{
    RadioScanner scanner;
    scanner.ip = QStringLiteral("10.0.0.7");
    scanner.modelName = QStringLiteral("Glider");
    RadioStatusBar bar(&scanner);
    QCOMPARE(bar.findChildren<QLabel *>().at(1)->text(),
             QStringLiteral("RADIO: 10.0.0.7&nbsp;&nbsp;MODEL: <b>Glider</b>"));
}

// Where the spinner's arc points, in degrees clockwise from the x axis around the
// picture's centre: the alpha-weighted mean direction of its pixels.
static double arcDirection(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    double sx = 0, sy = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            sx += alpha * (x + 0.5 - image.width() / 2.0);
            sy += alpha * (y + 0.5 - image.height() / 2.0);
        }
    }
    return qRadiansToDegrees(std::atan2(sy, sx));
}

static double turnBetween(double from, double to)
{
    double d = std::fmod(to - from, 360.0);
    if (d <= -180)
        d += 360;
    if (d > 180)
        d -= 360;
    return d;
}

// Each 80 ms tick turns the arc 30 degrees clockwise, starting from the picture as drawn:
// twelve different frames, then the first again. The measured direction is good to a few
// degrees (the turned picture is whole pixels), the repeat after twelve ticks is exact.
void RadioStatusBarTest::spinnerTurns30DegreesPerTick()
{
    Strip s;
    QList<QImage> frames;
    connect(s.spinner(), &QTimer::timeout, &s.bar,
            [&]() { frames.append(s.icon()->pixmap(Qt::ReturnByValue).toImage()); });
    emit s.scanner.scanStarted();
    QTRY_VERIFY(frames.size() >= 13);

    for (int i = 1; i < 12; ++i)
        QVERIFY2(frames.at(i) != frames.at(0), qPrintable(QString::number(i)));
    QCOMPARE(frames.at(12), frames.at(0));

    QImage drawn(14, 14, QImage::Format_ARGB32);
    drawn.fill(Qt::transparent);
    {
        QPainter painter(&drawn);
        QSvgRenderer(QStringLiteral(":/icons/spinner.svg")).render(&painter);
    }
    double previous = arcDirection(drawn);
    for (int i = 0; i < 12; ++i) {
        const double now = arcDirection(frames.at(i));
        const double step = turnBetween(previous, now);
        QVERIFY2(step >= 20 && step <= 40,
                 qPrintable(QStringLiteral("tick %1 turned %2 degrees").arg(i + 1).arg(step)));
        previous = now;
    }
}

QTEST_MAIN(RadioStatusBarTest)
#include "tst_radiostatusbar.moc"
