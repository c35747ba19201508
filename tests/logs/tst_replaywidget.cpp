#include "FakeRadio.h"
#include "KeloResources.h"
#include "LogGenerator.h"
#include "LogNames.h"
#include "LogReader.h"
#include "LogTestSupport.h"
#include "MultiAxisPlot.h"
#include "RadioScanner.h"
#include "ReplayWidget.h"
#include "StickGimbalWidget.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPointer>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

// A tab on a scanner that sends nothing; tests emit its signals.
struct Fixture
{
    RadioScanner scanner;
    ReplayWidget tab {&scanner};

    template<class T> T *child(const char *name)
    {
        T *w = tab.findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    QString text(const char *name) { return child<QLabel>(name)->text(); }
    bool shown(const char *name) { return !child<QWidget>(name)->isHidden(); }
    QSlider *slider() { return child<QSlider>("positionSlider"); }
    QToolButton *play() { return child<QToolButton>("playButton"); }
    QComboBox *speeds() { return child<QComboBox>("speedBox"); }

    // A plain log of the given length with one stick moving.
    void loadSimple(double seconds, const QString &label = QStringLiteral("simple.log"))
    {
        tab.loadLog({var(LogNames::StickLV, {0.0, seconds}, {-100.0, 100.0})}, label);
    }
};

} // namespace

class ReplayWidgetTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startsOnWelcomeCard();
    void valueAtTime_data();
    void valueAtTime();
    void formatMinSec_data();
    void formatMinSec();
    void loadSetsDurationSliderAndStatus();
    void seekClamps_data();
    void seekClamps();
    void playbackFollowsTheClockAtSpeed();
    void tickAdvancesByElapsedTime_data();
    void tickAdvancesByElapsedTime();
    void playbackStopsAtEndAndPlayRestarts();
    void arrowKeysStepOneSecond();
    void speedSurvivesAnotherLog();
    void sticks_data();
    void sticks();
    void figures_data();
    void figures();
    void figureTexts();
    void rpmPrefersEsc();
    void longLogSlider();
    void unsortedStampsAreOrdered();
    void zeroQuaternionIsIdentity();
    void variableListAndPlot();
    void tickRepaintsOnlyTheCursorStrip();
    void controlsFoldInANarrowTab_data();
    void controlsFoldInANarrowTab();
    void toggleEqualsRebuild_data();
    void toggleEqualsRebuild();
    void noOpenGLDoesNotAbort();
    void openFromDisk();
    void radioDownload();
    void loadsOffTheGuiThread();
    void newestOpenWins_data();
    void newestOpenWins();
    void radioLostMidDownload();
};

void ReplayWidgetTest::initTestCase()
{
    initKeloResources();
    TestSupport::unsetProxies();
}

void ReplayWidgetTest::startsOnWelcomeCard()
{
    Fixture f;
    QCOMPARE(f.child<QStackedWidget>("pageStack")->currentIndex(), 0);
    QVERIFY(!f.play()->isEnabled());
    QVERIFY(!f.slider()->isEnabled());
    QCOMPARE(f.text("timeLabel"), QStringLiteral("0:00 / 0:00"));
    QCOMPARE(f.play()->toolTip(), QStringLiteral("Play"));
    QCOMPARE(f.speeds()->currentText(), QStringLiteral("1x"));
    QCOMPARE(f.speeds()->count(), 6);
    QCOMPARE(f.tab.playbackSpeed(), 1.0);
}

void ReplayWidgetTest::valueAtTime_data()
{
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("expected");
    // Samples (1, 10), (2, 20), (2, 30), (4, 50).
    QTest::newRow("before first") << -3.0 << 10.0;
    QTest::newRow("at first") << 1.0 << 10.0;
    QTest::newRow("between") << 1.5 << 15.0;
    // Two samples share a stamp: at it the earlier one reads...
    QTest::newRow("at duplicate stamp") << 2.0 << 20.0;
    // ...and later positions interpolate from the later one.
    QTest::newRow("after duplicate") << 3.0 << 40.0;
    QTest::newRow("at last") << 4.0 << 50.0;
    QTest::newRow("after last") << 100.0 << 50.0;
}

void ReplayWidgetTest::valueAtTime()
{
    QFETCH(double, t);
    QFETCH(double, expected);
    Fixture f;
    f.tab.loadLog(
        {var("A", {1, 2, 2, 4}, {10, 20, 30, 50}), var("One", {3}, {7}), var("Empty", {}, {})},
        QStringLiteral("x"));
    QCOMPARE(f.tab.valueAtTime(0, t), expected);
    QCOMPARE(f.tab.valueAtTime(1, t), 7.0);
    QCOMPARE(f.tab.valueAtTime(2, t), 0.0);
    QCOMPARE(f.tab.valueAtTime(-1, t), 0.0);
}

void ReplayWidgetTest::formatMinSec_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0:00";
    QTest::newRow("75.4") << 75.4 << "1:15";
    QTest::newRow("half rounds up") << 59.5 << "1:00";
    QTest::newRow("3599.6") << 3599.6 << "60:00";
    QTest::newRow("one hour") << 3600.0 << "60:00";
    // The longest log the 32-bit millisecond stamps allow.
    QTest::newRow("49 days") << 4294967.295 << "71582:47";
}

void ReplayWidgetTest::formatMinSec()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(ReplayWidget::formatMinSec(seconds), text);
}

void ReplayWidgetTest::loadSetsDurationSliderAndStatus()
{
    Fixture f;
    f.tab.loadLog({var("A", {0, 2}, {0, 1}), var("B", {1, 3600}, {0, 1})},
                  QStringLiteral("flight.log"));
    QCOMPARE(f.child<QStackedWidget>("pageStack")->currentIndex(), 1);
    QCOMPARE(f.tab.logDuration(), 3600.0);
    QVERIFY(f.slider()->isEnabled());
    QVERIFY(f.play()->isEnabled());
    QCOMPARE(f.slider()->maximum(), 3600000);
    QCOMPARE(f.text("timeLabel"), QStringLiteral("0:00 / 60:00"));
    QCOMPARE(f.text("statusLabel"),
             QStringLiteral("Loaded flight.log (no stick data in this log)"));

    // Variables without samples: duration 0, controls off; the page stays.
    f.tab.loadLog({var("Empty", {}, {})}, QStringLiteral("empty"));
    QCOMPARE(f.tab.logDuration(), 0.0);
    QVERIFY(!f.slider()->isEnabled());
    QVERIFY(!f.play()->isEnabled());
    QCOMPARE(f.text("timeLabel"), QStringLiteral("0:00 / 0:00"));
    QCOMPARE(f.child<QStackedWidget>("pageStack")->currentIndex(), 1);
}

void ReplayWidgetTest::seekClamps_data()
{
    QTest::addColumn<double>("target");
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("sliderValue");
    QTest::newRow("inside") << 12.3456 << 12.3456 << 12345;
    QTest::newRow("negative") << -4.0 << 0.0 << 0;
    QTest::newRow("past the end") << 1e9 << 90.0 << 90000;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 0.0 << 0;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 90.0 << 90000;
}

void ReplayWidgetTest::seekClamps()
{
    QFETCH(double, target);
    QFETCH(double, position);
    QFETCH(int, sliderValue);
    Fixture f;
    f.loadSimple(90.0);
    f.tab.seekTo(30.0);
    f.tab.seekTo(target);
    QCOMPARE(f.tab.position(), position);
    QCOMPARE(f.slider()->value(), sliderValue);
    QCOMPARE(f.text("timeLabel"), ReplayWidget::formatMinSec(position) + QStringLiteral(" / 1:30"));
}

void ReplayWidgetTest::playbackFollowsTheClockAtSpeed()
{
    Fixture f;
    f.loadSimple(600.0);
    f.speeds()->setCurrentIndex(f.speeds()->findText(QStringLiteral("5x")));
    QCOMPARE(f.tab.playbackSpeed(), 5.0);

    QElapsedTimer clock;
    clock.start();
    f.play()->click();
    QVERIFY(f.tab.isPlaying());
    QCOMPARE(f.play()->toolTip(), QStringLiteral("Pause"));
    QTest::qWait(1000);
    f.play()->click();
    const double real = clock.elapsed() / 1000.0;
    QVERIFY(!f.tab.isPlaying());
    QCOMPARE(f.play()->toolTip(), QStringLiteral("Play"));

    // The position follows real elapsed time times the speed: never ahead of the clock,
    // and behind it by at most the last ticks that a loaded machine may have delayed.
    const double pos = f.tab.position();
    QVERIFY2(pos <= 5.0 * real + 0.05, qPrintable(QString::number(pos)));
    QVERIFY2(pos >= 5.0 * (real - 0.5), qPrintable(QString::number(pos)));

    // Paused: the position stays.
    QTest::qWait(200);
    QCOMPARE(f.tab.position(), pos);
}

void ReplayWidgetTest::tickAdvancesByElapsedTime_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<double>("factor");
    QTest::newRow("0.1x") << "0.1x" << 0.1;
    QTest::newRow("0.25x") << "0.25x" << 0.25;
    QTest::newRow("0.5x") << "0.5x" << 0.5;
    QTest::newRow("1x") << "1x" << 1.0;
    QTest::newRow("2x") << "2x" << 2.0;
    QTest::newRow("5x") << "5x" << 5.0;
}

void ReplayWidgetTest::tickAdvancesByElapsedTime()
{
    // A clock of the test's own: ticks come from the real timer, but the position moves
    // only by what this clock says has passed, times the speed.
    QFETCH(QString, item);
    QFETCH(double, factor);
    Fixture f;
    QCOMPARE(f.speeds()->count(), 6);
    const int index = f.speeds()->findText(item);
    QVERIFY(index >= 0);
    QCOMPARE(f.speeds()->itemData(index, Qt::UserRole).toDouble(), factor);
    qint64 now = 5000;
    int reads = 0;
    f.tab.setPlaybackClock([&now, &reads]() {
        ++reads;
        return now;
    });
    f.loadSimple(600.0);
    f.speeds()->setCurrentIndex(index);
    QCOMPARE(f.tab.playbackSpeed(), factor);

    f.play()->click();
    // Ticks with no time passed move nothing.
    const int readsAtPlay = reads;
    QTRY_VERIFY(reads >= readsAtPlay + 3);
    QCOMPARE(f.tab.position(), 0.0);
    now += 1000;
    QTRY_VERIFY(f.tab.position() > 0.0);
    QCOMPARE(f.tab.position(), factor * 1.0);
    now += 250;
    QTRY_VERIFY(f.tab.position() > factor);
    QCOMPARE(f.tab.position(), factor * 1.0 + factor * 0.25);
    f.play()->click();
    // Time spent paused does not count once playing again.
    now += 10000;
    f.play()->click();
    const int readsAtResume = reads;
    QTRY_VERIFY(reads >= readsAtResume + 3);
    QCOMPARE(f.tab.position(), factor * 1.0 + factor * 0.25);
    f.play()->click();
}

void ReplayWidgetTest::playbackStopsAtEndAndPlayRestarts()
{
    Fixture f;
    f.loadSimple(0.8);
    f.speeds()->setCurrentIndex(f.speeds()->findText(QStringLiteral("2x")));
    f.play()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.tab.isPlaying(), 15000);
    QCOMPARE(f.tab.position(), 0.8);
    QCOMPARE(f.slider()->value(), f.slider()->maximum());
    QCOMPARE(f.play()->toolTip(), QStringLiteral("Play"));
    QCOMPARE(f.text("leftStickLabel"), QStringLiteral("Stick LH 0 · Stick LV 100"));

    // At the end, Play starts again from 0:00.
    f.play()->click();
    QVERIFY(f.tab.isPlaying());
    QVERIFY(f.tab.position() < 0.5);
    f.play()->click();
}

void ReplayWidgetTest::arrowKeysStepOneSecond()
{
    Fixture f;
    f.loadSimple(10.5);
    f.tab.show();
    f.tab.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.tab));

    QTest::keyClick(&f.tab, Qt::Key_Left);
    QCOMPARE(f.tab.position(), 0.0);
    QCOMPARE(f.text("timeLabel"), QStringLiteral("0:00 / 0:11"));
    QTest::keyClick(&f.tab, Qt::Key_Right);
    QCOMPARE(f.tab.position(), 1.0);
    f.tab.seekTo(10.0);
    QTest::keyClick(&f.tab, Qt::Key_Right);
    QCOMPARE(f.tab.position(), 10.5);
    QTest::keyClick(&f.tab, Qt::Key_Left);
    QCOMPARE(f.tab.position(), 9.5);

    // Also while playing.
    f.tab.seekTo(2.0);
    f.tab.setPlaying(true);
    QTest::keyClick(&f.tab, Qt::Key_Right);
    QVERIFY(f.tab.position() >= 3.0);
    f.tab.setPlaying(false);
}

void ReplayWidgetTest::speedSurvivesAnotherLog()
{
    Fixture f;
    f.loadSimple(30.0);
    f.speeds()->setCurrentIndex(f.speeds()->findText(QStringLiteral("0.25x")));
    f.tab.seekTo(12.0);
    f.tab.setPlaying(true);
    f.loadSimple(50.0, QStringLiteral("second.log"));
    QCOMPARE(f.tab.playbackSpeed(), 0.25);
    QCOMPARE(f.speeds()->currentText(), QStringLiteral("0.25x"));
    // Another log pauses and rewinds.
    QVERIFY(!f.tab.isPlaying());
    QCOMPARE(f.tab.position(), 0.0);
    QCOMPARE(f.tab.logDuration(), 50.0);
    QCOMPARE(f.text("statusLabel"), QStringLiteral("Loaded second.log"));
}

void ReplayWidgetTest::sticks_data()
{
    QTest::addColumn<QVector<double>>("lhLvRhRv");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::newRow("centred") << QVector<double> {0, 0, 0, 0} << "Stick LH 0 · Stick LV 0"
                             << "Stick RH 0 · Stick RV 0";
    // Halves go upward: -0.5 shows 0, 0.5 shows 1, -99.5 shows -99.
    QTest::newRow("halves") << QVector<double> {-0.5, 0.5, 99.5, -99.5} << "Stick LH 0 · Stick LV 1"
                            << "Stick RH 100 · Stick RV -99";
    QTest::newRow("beyond range") << QVector<double> {150, -150, 100, -100}
                                  << "Stick LH 150 · Stick LV -150"
                                  << "Stick RH 100 · Stick RV -100";
}

void ReplayWidgetTest::sticks()
{
    QFETCH(QVector<double>, lhLvRhRv);
    QFETCH(QString, left);
    QFETCH(QString, right);
    Fixture f;
    // Each stick goes from 0 at t=0 to the row's value at t=2; read at t=2.
    f.tab.loadLog({var(LogNames::StickLV, {0, 2}, {0, lhLvRhRv[1]}),
                   var(LogNames::StickLH, {0, 2}, {0, lhLvRhRv[0]}),
                   var(LogNames::StickRV, {0, 2}, {0, lhLvRhRv[3]}),
                   var(LogNames::StickRH, {0, 2}, {0, lhLvRhRv[2]})},
                  QStringLiteral("sticks"));
    QCOMPARE(f.text("statusLabel"), QStringLiteral("Loaded sticks"));
    f.tab.seekTo(2.0);
    QCOMPARE(f.text("leftStickLabel"), left);
    QCOMPARE(f.text("rightStickLabel"), right);
    auto *l = f.child<StickGimbalWidget>("leftGimbal");
    auto *r = f.child<StickGimbalWidget>("rightGimbal");
    // The gimbals get the values unrounded and unclamped.
    QCOMPARE(l->horizontalValue(), lhLvRhRv[0]);
    QCOMPARE(l->verticalValue(), lhLvRhRv[1]);
    QCOMPARE(r->horizontalValue(), lhLvRhRv[2]);
    QCOMPARE(r->verticalValue(), lhLvRhRv[3]);
    // Halfway the values are interpolated.
    f.tab.seekTo(1.0);
    QCOMPARE(l->horizontalValue(), lhLvRhRv[0] / 2);
    QCOMPARE(r->verticalValue(), lhLvRhRv[3] / 2);
}

void ReplayWidgetTest::figures_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("shown");
    const QString volt = QLatin1String(LogNames::EscBattVolt);
    const QString curr = QLatin1String(LogNames::EscBattCurr);
    QTest::newRow("voltage only") << QStringList {volt} << QStringList {"voltageLabel"};
    // Power needs both voltage and current.
    QTest::newRow("voltage and current")
        << QStringList {volt, curr} << QStringList {"voltageLabel", "currentLabel", "powerLabel"};
    QTest::newRow("Varnek RPM alone")
        << QStringList {LogNames::VarnekRpm} << QStringList {"rpmLabel"};
    QTest::newRow("rates and vibration")
        << QStringList {QString::fromUtf8(LogNames::VarnekElevator),
                        QString::fromUtf8(LogNames::VarnekAileron),
                        QString::fromUtf8(LogNames::VarnekRudder), LogNames::VarnekVibLevel}
        << QStringList {"elevatorLabel", "aileronLabel", "rudderLabel", "vibrationLabel"};
    QTest::newRow("none") << QStringList {LogNames::StickLV} << QStringList {};
}

void ReplayWidgetTest::figures()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, shown);
    Fixture f;
    QVector<LogVariable> vars;
    for (const QString &n : names)
        vars.append(var(n.toUtf8().constData(), {0, 1}, {1, 2}));
    f.tab.loadLog(vars, QStringLiteral("figures"));
    const char *all[] = {"voltageLabel",  "currentLabel", "powerLabel",  "rpmLabel",
                         "elevatorLabel", "aileronLabel", "rudderLabel", "vibrationLabel"};
    for (const char *label : all)
        QCOMPARE(f.shown(label), shown.contains(QLatin1String(label)));
    QCOMPARE(f.shown("metricsBox"), !shown.isEmpty());
}

void ReplayWidgetTest::figureTexts()
{
    Fixture f;
    f.tab.loadLog({var(LogNames::EscBattVolt, {0, 10}, {25.2, 22.2}),
                   var(LogNames::EscBattCurr, {0, 10}, {10.0, 30.0}),
                   var(LogNames::VarnekRpm, {0, 10}, {1000, 2001}),
                   var(LogNames::VarnekElevator, {0, 10}, {-300.0, 300.0}),
                   var(LogNames::VarnekAileron, {0, 10}, {0.04, 0.04}),
                   var(LogNames::VarnekRudder, {0, 10}, {-12.34, -12.34}),
                   var(LogNames::VarnekVibLevel, {0, 10}, {40, 41})},
                  QStringLiteral("figures"));
    f.tab.seekTo(5.0);
    QCOMPARE(f.text("voltageLabel"), QStringLiteral("Voltage: 23.7 V"));
    QCOMPARE(f.text("currentLabel"), QStringLiteral("Current: 20.0 A"));
    QCOMPARE(f.text("powerLabel"), QStringLiteral("Power: 474.0 W"));
    // 1500.5 and 40.5 round upward.
    QCOMPARE(f.text("rpmLabel"), QStringLiteral("RPM: 1501"));
    QCOMPARE(f.text("elevatorLabel"), QString::fromUtf8("Elevator: 0.0 °/s"));
    QCOMPARE(f.text("aileronLabel"), QString::fromUtf8("Aileron: 0.0 °/s"));
    QCOMPARE(f.text("rudderLabel"), QString::fromUtf8("Rudder: -12.3 °/s"));
    QCOMPARE(f.text("vibrationLabel"), QStringLiteral("Vibration: 41 %"));

    // A later log without the figures hides them and keeps their last texts.
    f.loadSimple(5.0);
    QVERIFY(!f.shown("metricsBox"));
    QCOMPARE(f.text("voltageLabel"), QStringLiteral("Voltage: 23.7 V"));
}

void ReplayWidgetTest::rpmPrefersEsc()
{
    Fixture f;
    f.tab.loadLog({var(LogNames::VarnekRpm, {0}, {1111}), var(LogNames::EscRpm, {0}, {2222})},
                  QStringLiteral("rpm"));
    QCOMPARE(f.text("rpmLabel"), QStringLiteral("RPM: 2222"));
}

void ReplayWidgetTest::longLogSlider()
{
    // 32-bit millisecond stamps reach 4294967.295 s, beyond an int slider in ms.
    Fixture f;
    const double end = 4294967.295;
    f.loadSimple(end);
    QSlider *s = f.slider();
    QVERIFY(s->maximum() > 0);
    QVERIFY(s->maximum() >= std::numeric_limits<int>::max() - 1);
    QCOMPARE(f.text("timeLabel"), QStringLiteral("0:00 / 71582:47"));

    f.tab.seekTo(end / 2);
    QVERIFY(std::abs(s->value() - s->maximum() / 2) <= 1);
    emit s->sliderMoved(s->maximum());
    QVERIFY(std::abs(f.tab.position() - end) < 0.01);
    emit s->sliderMoved(s->maximum() / 4);
    QVERIFY(std::abs(f.tab.position() - end / 4) < 0.01);

    // An ordinary log goes back to millisecond steps.
    f.loadSimple(10.0);
    QCOMPARE(s->maximum(), 10000);
    emit s->sliderMoved(2500);
    QCOMPARE(f.tab.position(), 2.5);
}

void ReplayWidgetTest::unsortedStampsAreOrdered()
{
    // The format does not order its stamps; lookups must still read the right samples.
    // In time order the samples are 10, 0, 40, 16: read in file order they would give
    // other values everywhere.
    Fixture f;
    LogVariable v = var(LogNames::EscBattVolt, {0, 4, 2, 6}, {10, 40, 0, 16});
    v.timesAscending = false;
    f.tab.loadLog({v}, QStringLiteral("unsorted"));
    QCOMPARE(f.tab.logDuration(), 6.0);
    QCOMPARE(f.tab.valueAtTime(0, 1.0), 5.0);
    QCOMPARE(f.tab.valueAtTime(0, 3.0), 20.0);
    QCOMPARE(f.tab.valueAtTime(0, 5.0), 28.0);
    QCOMPARE(f.tab.valueAtTime(0, 2.0), 0.0);
}

void ReplayWidgetTest::zeroQuaternionIsIdentity()
{
    Fixture f;
    f.tab.loadLog(
        {var(LogNames::VarnekQuatW, {0, 1}, {0, 0}), var(LogNames::VarnekQuatX, {0, 1}, {0, 0}),
         var(LogNames::VarnekQuatY, {0, 1}, {0, 0}), var(LogNames::VarnekQuatZ, {0, 1}, {0, 0})},
        QStringLiteral("zero"));
    for (double t : {0.0, 0.5, 1.0})
        QCOMPARE(f.tab.interpolatedRawQuaternion(t), QQuaternion());
}

void ReplayWidgetTest::variableListAndPlot()
{
    Fixture f;
    f.tab.loadLog(
        {var(LogNames::VarnekQuatW, {0, 1}, {1, 1}), var("Channel 3 [%]", {0, 1}, {-5, 7}),
         var(LogNames::VarnekQuatX, {0, 1}, {0, 0}), var("Other", {0, 2}, {3, 4}),
         var(LogNames::VarnekQuatY, {0, 1}, {0, 0}), var(LogNames::VarnekQuatZ, {0, 1}, {0, 0})},
        QStringLiteral("x"));
    auto *list = f.child<QListWidget>("variableList");
    // The quaternion components are not listed.
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("Channel 3 [%]"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("Other"));
    QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
    auto *plot = f.child<MultiAxisPlot>("plot");
    QVERIFY(plot->isHidden());

    list->item(0)->setCheckState(Qt::Checked);
    QVERIFY(!plot->isHidden());
    QCOMPARE(plot->graphCount(), 1);
    QCOMPARE(plot->yAxis->range().lower, -100.0);
    QCOMPARE(plot->yAxis->range().upper, 100.0);
    QCOMPARE(plot->graph(0)->pen().color(), QColor("#8be9fd"));

    list->item(1)->setCheckState(Qt::Checked);
    QCOMPARE(plot->graphCount(), 2);
    QCOMPARE(plot->graph(1)->valueAxis()->axisType(), QCPAxis::atRight);
    QCOMPARE(plot->graph(1)->pen().color(), QColor("#50fa7b"));

    // The colour belongs to the list row, not to the order of checking: row 1 alone is
    // still the second colour, on the left axis.
    list->item(0)->setCheckState(Qt::Unchecked);
    QCOMPARE(plot->graphCount(), 1);
    QCOMPARE(plot->graph(0)->valueAxis(), plot->yAxis);
    QCOMPARE(plot->graph(0)->pen().color(), QColor("#50fa7b"));
    list->item(0)->setCheckState(Qt::Checked);

    // The cursor follows the replay position.
    f.tab.seekTo(1.5);
    QCPItemStraightLine *cursor = nullptr;
    for (int i = 0; i < plot->itemCount(); ++i)
        cursor = qobject_cast<QCPItemStraightLine *>(plot->item(i));
    QVERIFY(cursor && cursor->visible());
    QCOMPARE(cursor->point1->coords().x(), 1.5);
    QCOMPARE(cursor->point2->coords().x(), 1.5);

    list->item(0)->setCheckState(Qt::Unchecked);
    list->item(1)->setCheckState(Qt::Unchecked);
    QVERIFY(plot->isHidden());
    QCOMPARE(plot->graphCount(), 0);
    QCOMPARE(plot->axisRect()->axes(QCPAxis::atRight).size(), 1); // only the default one
}

void ReplayWidgetTest::controlsFoldInANarrowTab_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("folded");
    QTest::newRow("wide: the figures beside the sticks") << 1400 << false;
    // As wide as the tab gets in the first-start window: too narrow for both side by side.
    QTest::newRow("narrow: the figures below the sticks") << 820 << true;
}

void ReplayWidgetTest::controlsFoldInANarrowTab()
{
    QFETCH(int, width);
    QFETCH(bool, folded);
    Fixture f;
    QVector<LogVariable> vars;
    QString error;
    QVERIFY(LogReader::parseData(LogGenerator::flight(10), vars, error));
    f.tab.loadLog(vars, QStringLiteral("flight.log"));
    f.tab.resize(width, 1000);
    f.tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.tab));
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QApplication::processEvents();

    auto *controls = f.child<QGroupBox>("controls");
    const QRect stick = f.child<QLabel>("rightStickLabel")->geometry();
    const QRect play = f.play()->geometry();
    const QRect metrics = f.child<QGroupBox>("metricsBox")->geometry();
    QVERIFY(f.child<QLabel>("rudderLabel")->isVisible());
    if (folded) {
        QVERIFY(play.top() > stick.bottom());
        QVERIFY(metrics.top() > play.bottom());
    } else {
        const QRect gimbal = f.child<StickGimbalWidget>("rightGimbal")->geometry();
        QVERIFY(play.left() > gimbal.right() + 32);
        QVERIFY(metrics.left() > gimbal.right() + 32);
    }
    // Nothing leaves the box, and the page does not scroll sideways.
    const QRect inside = controls->contentsRect();
    for (const QRect &r : {stick, play, metrics, f.child<QLabel>("timeLabel")->geometry()})
        QVERIFY2(inside.contains(r),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(r.x())
                                .arg(r.y())
                                .arg(r.width())
                                .arg(r.height())));
    QCOMPARE(f.tab.findChild<QScrollArea *>()->horizontalScrollBar()->maximum(), 0);
}

void ReplayWidgetTest::tickRepaintsOnlyTheCursorStrip()
{
    Fixture f;
    f.tab.loadLog({var("Volts", {0, 100}, {20, 25}), var("Amps", {0, 100}, {1, 1})},
                  QStringLiteral("x"));
    f.tab.resize(1100, 800);
    f.tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.tab));
    auto *list = f.child<QListWidget>("variableList");
    list->item(0)->setCheckState(Qt::Checked);
    auto *plot = f.child<MultiAxisPlot>("plot");
    TestSupport::PaintWatch recorder;
    plot->installEventFilter(&recorder);
    // Whatever the layout still had to paint goes with the first ticks.
    for (double t : {10.0, 20.0}) {
        f.tab.seekTo(t);
        QTRY_VERIFY(!recorder.painted.isEmpty());
        recorder.painted = QRegion();
    }
    QSignalSpy fullReplots(plot, &QCustomPlot::afterReplot);
    f.tab.seekTo(60); // a playback tick is a seek
    QTRY_VERIFY(!recorder.painted.isEmpty());
    QCOMPARE(fullReplots.count(), 0);
    int area = 0;
    for (const QRect &r : recorder.painted)
        area += r.width() * r.height();
    QVERIFY2(area < plot->width() * plot->height() / 10, qPrintable(QString::number(area)));
}

void ReplayWidgetTest::toggleEqualsRebuild_data()
{
    // "+r"/"-r" check or uncheck row r, "zr" zooms row r's value axis; the last step is the
    // one compared with a full rebuild.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("sameGraphs");
    QTest::newRow("append") << "+0 +1 z1 +3" << true;
    QTest::newRow("uncheck the last") << "+0 +1 +2 z1 -2" << true;
    QTest::newRow("check above") << "+2 +3 z3 +1" << false;
}

void ReplayWidgetTest::toggleEqualsRebuild()
{
    QFETCH(QString, steps);
    QFETCH(bool, sameGraphs);
    Fixture f;
    f.tab.loadLog({var("Ramp [V]", {0, 10}, {0, 50}), var("Flat [A]", {0, 10}, {3, 3}),
                   var(LogNames::VarnekQuatW, {0, 1}, {1, 1}), var("Channel 2 [%]", {0, 9}, {1, 2}),
                   var("Wave", {0, 5, 12}, {1, -4, 2})},
                  QStringLiteral("x"));
    f.tab.seekTo(4.2);
    auto *list = f.child<QListWidget>("variableList");
    auto *plot = f.child<MultiAxisPlot>("plot");
    const QStringList stepList = steps.split(QLatin1Char(' '));
    // Guarded: a graph made anew may take the address of one deleted, as Release's allocator
    // does at once.
    QList<QPointer<QCPGraph>> before;
    for (int k = 0; k < stepList.size(); ++k) {
        const QChar op = stepList[k].at(0);
        const int row = stepList[k].mid(1).toInt();
        if (k == stepList.size() - 1) {
            for (int i = 0; i < plot->graphCount(); ++i)
                before << plot->graph(i);
        }
        if (op == QLatin1Char('z')) {
            for (int i = 0; i < plot->graphCount(); ++i) {
                if (plot->graph(i)->name() == list->item(row)->text())
                    plot->graph(i)->valueAxis()->scaleRange(0.5);
            }
        } else {
            list->item(row)->setCheckState(op == QLatin1Char('+') ? Qt::Checked : Qt::Unchecked);
        }
    }
    int kept = 0;
    for (const QPointer<QCPGraph> &g : before)
        kept += g && plot->hasPlottable(g) ? 1 : 0;
    QCOMPARE(kept, sameGraphs ? std::min(before.size(), plot->graphCount()) : 0);

    const auto state = [plot] {
        QStringList out;
        for (QCPAxis *a : plot->axisRect()->axes()) {
            if (a->visible())
                out << QStringLiteral("%1 '%2' %3..%4 %5")
                           .arg(a->axisType())
                           .arg(a->label())
                           .arg(a->range().lower, 0, 'g', 17)
                           .arg(a->range().upper, 0, 'g', 17)
                           .arg(a->labelColor().name());
        }
        for (int i = 0; i < plot->graphCount(); ++i)
            out << plot->graph(i)->name() + QLatin1Char(' ') + plot->graph(i)->pen().color().name();
        for (int i = 0; i < plot->itemCount(); ++i) {
            if (auto *line = qobject_cast<QCPItemStraightLine *>(plot->item(i)))
                out << QStringLiteral("cursor %1 %2")
                           .arg(line->visible())
                           .arg(line->point1->coords().x());
        }
        out << QStringLiteral("shown %1 legend %2")
                   .arg(!plot->isHidden())
                   .arg(plot->legend->itemCount());
        return out;
    };
    const QStringList afterStep = state();
    f.tab.rebuildGraphs();
    QCOMPARE(afterStep, state());
}

void ReplayWidgetTest::noOpenGLDoesNotAbort()
{
    // This suite runs offscreen without GLX: showing the tab must not end the program, and
    // the replay works without the model.
    Fixture f;
    f.tab.resize(1000, 800);
    f.tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.tab));
    f.tab.loadLog(
        {var(LogNames::VarnekAlt, {0, 1}, {0, 150}), var(LogNames::VarnekQuatW, {0, 1}, {1, 1}),
         var(LogNames::VarnekQuatX, {0, 1}, {0, 0}), var(LogNames::VarnekQuatY, {0, 1}, {0, 0}),
         var(LogNames::VarnekQuatZ, {0, 1}, {0, 0})},
        QStringLiteral("x"));
    QTest::qWait(300);
    QVERIFY(!f.tab.hasModelView());
    QVERIFY(!f.shown("viewContainer"));
    f.play()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.tab.isPlaying(), 15000);
    QCOMPARE(f.tab.position(), 1.0);
}

void ReplayWidgetTest::openFromDisk()
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.log"));
    const QString bad = dir.filePath(QStringLiteral("bad.log"));
    QVERIFY(TestSupport::writeFile(good, LogGenerator::flight(3)));
    QVERIFY(TestSupport::writeFile(bad, "not a log"));
    Fixture f;
    auto choose = [](const QString &path) {
        return [path](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Open Log File"));
            TestSupport::selectFileInDialog(dialog, path);
            static_cast<QDialog *>(dialog)->accept();
        };
    };
    TestSupport::answerNextModal(choose(good));
    QMetaObject::invokeMethod(&f.tab, "openLogFile");
    QTRY_VERIFY(!f.tab.isLoading());
    QCOMPARE(f.text("statusLabel"), QStringLiteral("Loaded good.log"));
    const double duration = f.tab.logDuration();
    QVERIFY(duration > 2.5);
    QVERIFY(f.tab.indexOfVariable(QLatin1String(LogNames::StickLV)) >= 0);

    // A file that holds no log: a warning, the open log stays.
    TestSupport::answerNextModal([&](QWidget *w) {
        choose(bad)(w);
        TestSupport::answerNextModal([](QWidget *box) {
            QCOMPARE(box->windowTitle(), QStringLiteral("Open Log File"));
            qobject_cast<QDialog *>(box)->accept();
        });
    });
    QMetaObject::invokeMethod(&f.tab, "openLogFile");
    QTRY_VERIFY(!f.tab.isLoading());
    QCOMPARE(TestSupport::lastModalText(),
             QStringLiteral("No recognized log entries found in file"));
    QCOMPARE(f.tab.logDuration(), duration);
    QCOMPARE(f.text("statusLabel"), QStringLiteral("Loaded good.log"));

    // A warning naming the path shows it as typed, never as markup. (Sparse: 2 GiB that
    // take no space, refused as too large.)
    const QString huge = dir.filePath(QStringLiteral("<b>huge.log"));
    {
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(1) << 31));
    }
    Qt::TextFormat format = Qt::AutoText;
    TestSupport::answerNextModal([&](QWidget *w) {
        choose(huge)(w);
        TestSupport::answerNextModal([&format](QWidget *box) {
            if (auto *message = qobject_cast<QMessageBox *>(box))
                format = message->textFormat();
            qobject_cast<QDialog *>(box)->accept();
        });
    });
    QMetaObject::invokeMethod(&f.tab, "openLogFile");
    QTRY_VERIFY(!f.tab.isLoading());
    QTRY_COMPARE(TestSupport::lastModalText(),
                 QStringLiteral("The file is too large to load (2 GiB or more): ") + huge);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(f.tab.logDuration(), duration);

    // Cancelled: nothing changes.
    TestSupport::answerNextModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    QMetaObject::invokeMethod(&f.tab, "openLogFile");
    QCOMPARE(f.text("statusLabel"), QStringLiteral("Loaded good.log"));
}

void ReplayWidgetTest::radioDownload()
{
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse("/log/list",
                      FakeResponse::json(R"({"list":[3,"Flight",1234,4,"Junk",50,5,"Gone",10]})"));
    radio.setResponse("/log/get/3-1234",
                      FakeResponse::bytes(LogGenerator::flight(4), "application/octet-stream"));
    radio.setResponse("/log/get/4-50", FakeResponse::bytes("junk", "application/octet-stream"));
    radio.setResponse("/log/get/5-10", FakeResponse::error(404));
    Fixture f;
    f.scanner.ip = radio.address();
    f.scanner.modelName = QStringLiteral("Heli");
    emit f.scanner.deviceFound(radio.address(), QStringLiteral("KeloNet"), QStringLiteral("Heli"));
    auto *list = f.child<QListWidget>("radioLogList");
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 3, 10000);
    QCOMPARE(list->item(0)->text(), QStringLiteral("Flight  (2:03)"));

    emit list->itemClicked(list->item(0));
    QTRY_COMPARE_WITH_TIMEOUT(f.text("statusLabel"), QStringLiteral("Loaded Flight  (2:03)"),
                              10000);
    QCOMPARE(f.child<QStackedWidget>("pageStack")->currentIndex(), 1);
    const double duration = f.tab.logDuration();
    QVERIFY(duration > 3.5);

    emit list->itemClicked(list->item(1));
    QTRY_COMPARE_WITH_TIMEOUT(
        f.text("statusLabel"),
        QStringLiteral("Failed to parse downloaded log: No recognized log entries found in file"),
        10000);
    QCOMPARE(f.tab.logDuration(), duration);

    emit list->itemClicked(list->item(2));
    QTRY_VERIFY_WITH_TIMEOUT(
        f.text("statusLabel").startsWith(QLatin1String("Failed to download log: ")), 10000);
    QCOMPARE(f.tab.logDuration(), duration);

    // Losing the radio clears the list but keeps the log.
    emit f.scanner.deviceNotFound();
    QCOMPARE(list->count(), 0);
    QCOMPARE(f.tab.logDuration(), duration);
}

void ReplayWidgetTest::loadsOffTheGuiThread()
{
    QTemporaryDir dir;
    LogGenerator g;
    // Stamps that go backwards in one series: the tab orders them, as it does for a log
    // handed to loadLog.
    g.raw(LogGenerator::flight(20)).tx(100, 7);
    const QByteArray bytes = g.bytes();
    const QString path = dir.filePath(QStringLiteral("flight.log"));
    QVERIFY(TestSupport::writeFile(path, bytes));

    Fixture f;
    f.tab.show();
    f.tab.loadLogFile(path);
    QVERIFY(f.tab.isLoading());
    QCOMPARE(f.text("statusLabel"), QStringLiteral("Loading flight.log..."));
    auto *card = f.child<QLabel>("loadingLabel");
    QCOMPARE(card->text(), QStringLiteral("Loading flight.log..."));
    QVERIFY(card->isVisible());
    QTRY_VERIFY(!f.tab.isLoading());
    QVERIFY(card->isHidden());
    QVERIFY(f.child<QProgressBar>("busyBar")->isHidden());
    QCOMPARE(f.text("statusLabel"), QStringLiteral("Loaded flight.log"));
    QCOMPARE(f.child<QStackedWidget>("pageStack")->currentIndex(), 1);

    // The same variables as a log parsed here and handed to loadLog.
    QVector<LogVariable> parsed;
    QString error;
    QVERIFY(LogReader::parseData(bytes, parsed, error));
    const QVector<LogVariable> async = f.tab.logVariables();
    f.tab.loadLog(parsed, QStringLiteral("direct"));
    const QVector<LogVariable> direct = f.tab.logVariables();
    QCOMPARE(async.size(), direct.size());
    for (int i = 0; i < direct.size(); ++i) {
        QCOMPARE(async[i].name, direct[i].name);
        QCOMPARE(async[i].times, direct[i].times);
        QCOMPARE(async[i].values, direct[i].values);
    }
    const int tx = f.tab.indexOfVariable(QStringLiteral("TX Signal [%]"));
    QVERIFY(tx >= 0);
    QVERIFY(std::is_sorted(async[tx].times.cbegin(), async[tx].times.cend()));
}

void ReplayWidgetTest::newestOpenWins_data()
{
    // Each step opens a file (a.log, b.log) or clicks a radio log whose answer comes late
    // ("slow") or at once ("fast"), before the one before could finish.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");
    QTest::newRow("file over file") << QStringList {"a", "b"} << "Loaded b.log";
    QTest::newRow("file over download") << QStringList {"slow", "b"} << "Loaded b.log";
    QTest::newRow("download over file") << QStringList {"a", "fast"} << "Loaded Fast  (0:06)";
    QTest::newRow("download over download")
        << QStringList {"slow", "fast"} << "Loaded Fast  (0:06)";
}

void ReplayWidgetTest::newestOpenWins()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    // Logs of 3, 4, 5 and 6 seconds: the duration tells which one is shown.
    const QMap<QString, int> seconds {{"a", 3}, {"b", 4}, {"slow", 5}, {"fast", 6}};
    for (const QString &name : {QStringLiteral("a"), QStringLiteral("b")})
        QVERIFY(TestSupport::writeFile(dir.filePath(name + QStringLiteral(".log")),
                                       LogGenerator::flight(seconds[name])));
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse("/log/list", FakeResponse::json(R"({"list":[7,"Slow",600,8,"Fast",60]})"));
    radio.setResponse(
        "/log/get/7-600",
        FakeResponse::bytes(LogGenerator::flight(5), "application/octet-stream").delayed(400));
    radio.setResponse("/log/get/8-60",
                      FakeResponse::bytes(LogGenerator::flight(6), "application/octet-stream"));
    Fixture f;
    f.tab.show();
    f.scanner.ip = radio.address();
    emit f.scanner.deviceFound(radio.address(), QString(), QStringLiteral("Heli"));
    auto *list = f.child<QListWidget>("radioLogList");
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 2, 10000);
    const auto modals = TestSupport::rejectAndCountNextModal(1000);
    for (const QString &step : steps) {
        if (step == QLatin1String("slow") || step == QLatin1String("fast"))
            emit list->itemClicked(list->item(step == QLatin1String("slow") ? 0 : 1));
        else
            f.tab.loadLogFile(dir.filePath(step + QStringLiteral(".log")));
        QVERIFY(f.tab.isLoading());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!f.tab.isLoading(), 10000);
    QCOMPARE(*modals, 0);
    QCOMPARE(f.text("statusLabel"), shown);
    QVERIFY(f.child<QProgressBar>("busyBar")->isHidden());
    const double duration = f.tab.logDuration();
    QVERIFY2(std::abs(duration - seconds[steps.last()]) < 0.5,
             qPrintable(QString::number(duration)));
}

void ReplayWidgetTest::radioLostMidDownload()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.log"));
    QVERIFY(TestSupport::writeFile(path, LogGenerator::flight(3)));
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse("/log/list", FakeResponse::json(R"({"list":[7,"Long",600]})"));
    radio.setResponse("/log/get/7-600", FakeResponse::hang());
    Fixture f;
    f.tab.show();
    f.tab.loadLogFile(path);
    QTRY_VERIFY(!f.tab.isLoading());
    const double duration = f.tab.logDuration();
    f.scanner.ip = radio.address();
    emit f.scanner.deviceFound(radio.address(), QString(), QStringLiteral("Heli"));
    auto *list = f.child<QListWidget>("radioLogList");
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 1, 10000);
    emit list->itemClicked(list->item(0));
    QCOMPARE(f.text("statusLabel"), QStringLiteral("Downloading log..."));
    QVERIFY(f.tab.isLoading());
    QVERIFY(radio.waitForRequests("/log/get/7-600", 1, 10000));

    // The radio goes away in the middle of the download: the log shown stays, playable.
    radio.close();
    emit f.scanner.deviceNotFound();
    QCOMPARE(list->count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        f.text("statusLabel").startsWith(QLatin1String("Failed to download log: ")), 15000);
    QVERIFY(!f.tab.isLoading());
    QVERIFY(f.child<QProgressBar>("busyBar")->isHidden());
    QCOMPARE(f.tab.logDuration(), duration);
    QCOMPARE(f.child<QStackedWidget>("pageStack")->currentIndex(), 1);
    f.play()->click();
    QTRY_VERIFY(f.slider()->value() > 0);
}

int main(int argc, char **argv)
{
    // No OpenGL on this offscreen run, as on a headless machine.
    qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
    qunsetenv("DISPLAY");
    QApplication app(argc, argv);
    ReplayWidgetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_replaywidget.moc"
