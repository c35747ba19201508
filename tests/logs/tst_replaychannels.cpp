#include "LogNames.h"
#include "ReplayChannels.h"

#include <QtTest>

#include <limits>

namespace {

LogVariable var(const char *name, const QVector<double> &times, const QVector<double> &values)
{
    LogVariable v;
    v.name = QString::fromUtf8(name);
    v.times = times;
    v.values = values;
    return v;
}

// Every channel the figures read, over 0..10 s.
QVector<LogVariable> fullLog()
{
    return {var(LogNames::EscBattVolt, {0, 10}, {25.2, 22.2}),
            var(LogNames::EscBattCurr, {0, 10}, {10.0, 30.0}),
            var(LogNames::VarnekRpm, {0, 10}, {1000, 2001}),
            var(LogNames::VarnekElevator, {0, 10}, {-300.0, 300.0}),
            var(LogNames::VarnekAileron, {0, 10}, {0.04, 0.04}),
            var(LogNames::VarnekRudder, {0, 10}, {-12.34, -12.34}),
            var(LogNames::VarnekVibLevel, {0, 10}, {40, 41})};
}

} // namespace

Q_DECLARE_METATYPE(QVector<LogVariable>)

class ReplayChannelsTest : public QObject
{
    Q_OBJECT
private slots:
    void channelsByName();
    void figures_data();
    void figures();
    void sticks_data();
    void sticks();
    void roundHalfUp_data();
    void roundHalfUp();
};

void ReplayChannelsTest::channelsByName()
{
    ReplayChannels channels;
    QCOMPARE(channels.index(ReplayChannels::StickLV), -1);
    QCOMPARE(channels.duration(), 0.0);
    QVERIFY(!channels.hasSticks());

    // Out of time order on purpose: the channels read the sorted series.
    LogVariable alt = var(LogNames::VarnekAlt, {4, 2, 6}, {40, 20, 60});
    alt.timesAscending = false;
    channels.setVariables({var("Other", {0, 3}, {1, 2}), alt,
                           var(LogNames::StickRH, {0, 12}, {0, 100}),
                           var(LogNames::VarnekQuatW, {0}, {1})});
    QCOMPARE(channels.index(ReplayChannels::Altitude), 1);
    QCOMPARE(channels.index(ReplayChannels::StickRH), 2);
    QCOMPARE(channels.index(ReplayChannels::QuatW), 3);
    QCOMPARE(channels.index(ReplayChannels::QuatX), -1);
    QCOMPARE(channels.index(ReplayChannels::StickLV), -1);
    QCOMPARE(channels.indexOf(QStringLiteral("Other")), 0);
    QCOMPARE(channels.indexOf(QStringLiteral("Missing")), -1);
    QVERIFY(channels.hasSticks());
    QCOMPARE(channels.duration(), 12.0);
    QCOMPARE(channels.variables().at(1).times, (QVector<double> {2, 4, 6}));
    QCOMPARE(channels.valueAt(ReplayChannels::Altitude, 3.0), 30.0);
    QCOMPARE(channels.valueAt(ReplayChannels::StickLV, 3.0), 0.0);
    QCOMPARE(channels.valueAt(-1, 3.0), 0.0);
    QCOMPARE(channels.valueAt(99, 3.0), 0.0);
    // Without all four components the attitude is the identity.
    QCOMPARE(channels.rawQuaternion(0.0), QQuaternion());

    // A later log finds its own channels, and none left of the one before.
    channels.setVariables({var(LogNames::StickLV, {0, 1}, {0, 0})});
    QCOMPARE(channels.index(ReplayChannels::StickLV), 0);
    QCOMPARE(channels.index(ReplayChannels::Altitude), -1);
    QCOMPARE(channels.index(ReplayChannels::StickRH), -1);
    QCOMPARE(channels.duration(), 1.0);
}

void ReplayChannelsTest::figures_data()
{
    QTest::addColumn<QVector<LogVariable>>("log");
    QTest::addColumn<double>("t");
    QTest::addColumn<int>("figure");
    QTest::addColumn<QString>("text"); // empty: the figure is not shown

    const QVector<LogVariable> full = fullLog();
    QTest::newRow("voltage") << full << 5.0 << int(ReplayChannels::VoltageFigure)
                             << QStringLiteral("Voltage: 23.7 V");
    QTest::newRow("current") << full << 5.0 << int(ReplayChannels::CurrentFigure)
                             << QStringLiteral("Current: 20.0 A");
    QTest::newRow("power") << full << 5.0 << int(ReplayChannels::PowerFigure)
                           << QStringLiteral("Power: 474.0 W");
    // 1500.5 and 40.5 round upward.
    QTest::newRow("rpm") << full << 5.0 << int(ReplayChannels::RpmFigure)
                         << QStringLiteral("RPM: 1501");
    QTest::newRow("elevator") << full << 5.0 << int(ReplayChannels::ElevatorFigure)
                              << QString::fromUtf8("Elevator: 0.0 °/s");
    QTest::newRow("aileron") << full << 5.0 << int(ReplayChannels::AileronFigure)
                             << QString::fromUtf8("Aileron: 0.0 °/s");
    QTest::newRow("rudder") << full << 5.0 << int(ReplayChannels::RudderFigure)
                            << QString::fromUtf8("Rudder: -12.3 °/s");
    QTest::newRow("vibration") << full << 5.0 << int(ReplayChannels::VibrationFigure)
                               << QStringLiteral("Vibration: 41 %");
    QTest::newRow("voltage before the log")
        << full << -1.0 << int(ReplayChannels::VoltageFigure) << QStringLiteral("Voltage: 25.2 V");
    QTest::newRow("voltage after the log")
        << full << 99.0 << int(ReplayChannels::VoltageFigure) << QStringLiteral("Voltage: 22.2 V");

    const QVector<LogVariable> both {var(LogNames::VarnekRpm, {0}, {1111}),
                                     var(LogNames::EscRpm, {0}, {2222})};
    QTest::newRow("rpm prefers the ESC")
        << both << 0.0 << int(ReplayChannels::RpmFigure) << QStringLiteral("RPM: 2222");
    const QVector<LogVariable> escOnly {var(LogNames::EscRpm, {0}, {3333})};
    QTest::newRow("rpm of the ESC alone")
        << escOnly << 0.0 << int(ReplayChannels::RpmFigure) << QStringLiteral("RPM: 3333");

    const QVector<LogVariable> voltOnly {var(LogNames::EscBattVolt, {0}, {12.0})};
    QTest::newRow("power needs the current")
        << voltOnly << 0.0 << int(ReplayChannels::PowerFigure) << QString();
    QTest::newRow("voltage alone") << voltOnly << 0.0 << int(ReplayChannels::VoltageFigure)
                                   << QStringLiteral("Voltage: 12.0 V");
    QTest::newRow("no current") << voltOnly << 0.0 << int(ReplayChannels::CurrentFigure)
                                << QString();
    QTest::newRow("no rpm") << voltOnly << 0.0 << int(ReplayChannels::RpmFigure) << QString();
    QTest::newRow("no vibration") << voltOnly << 0.0 << int(ReplayChannels::VibrationFigure)
                                  << QString();
    QTest::newRow("empty log") << QVector<LogVariable>() << 0.0
                               << int(ReplayChannels::VoltageFigure) << QString();
    // A channel without samples is still the log's: it reads 0.
    const QVector<LogVariable> emptySeries {var(LogNames::VarnekRudder, {}, {})};
    QTest::newRow("channel without samples")
        << emptySeries << 3.0 << int(ReplayChannels::RudderFigure)
        << QString::fromUtf8("Rudder: 0.0 °/s");
}

void ReplayChannelsTest::figures()
{
    QFETCH(QVector<LogVariable>, log);
    QFETCH(double, t);
    QFETCH(int, figure);
    QFETCH(QString, text);
    ReplayChannels channels;
    channels.setVariables(log);
    const auto f = ReplayChannels::Figure(figure);
    QCOMPARE(channels.shows(f), !text.isEmpty());
    QCOMPARE(channels.figureText(f, t), text);
}

void ReplayChannelsTest::sticks_data()
{
    QTest::addColumn<double>("t");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    // LH -0.5 .. 0.5, LV -100 .. 100 over 0..10 s; RH constant 49.5; no RV.
    QTest::newRow("start") << 0.0 << QString::fromUtf8("Stick LH 0 · Stick LV -100")
                           << QString::fromUtf8("Stick RH 50 · Stick RV 0");
    QTest::newRow("middle") << 5.0 << QString::fromUtf8("Stick LH 0 · Stick LV 0")
                            << QString::fromUtf8("Stick RH 50 · Stick RV 0");
    QTest::newRow("end") << 10.0 << QString::fromUtf8("Stick LH 1 · Stick LV 100")
                         << QString::fromUtf8("Stick RH 50 · Stick RV 0");
}

void ReplayChannelsTest::sticks()
{
    QFETCH(double, t);
    QFETCH(QString, left);
    QFETCH(QString, right);
    ReplayChannels channels;
    channels.setVariables({var(LogNames::StickLH, {0, 10}, {-0.5, 0.5}),
                           var(LogNames::StickLV, {0, 10}, {-100, 100}),
                           var(LogNames::StickRH, {0, 10}, {49.5, 49.5})});
    QCOMPARE(channels.leftStickText(t), left);
    QCOMPARE(channels.rightStickText(t), right);
}

void ReplayChannelsTest::roundHalfUp_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("rounded");
    QTest::newRow("minus half") << -0.5 << qint64(0);
    QTest::newRow("half") << 0.5 << qint64(1);
    QTest::newRow("minus one and a half") << -1.5 << qint64(-1);
    QTest::newRow("below half") << 2.49 << qint64(2);
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << qint64(0);
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << qint64(0);
    QTest::newRow("huge") << 1e300 << qint64(9000000000000000000LL);
    QTest::newRow("huge negative") << -1e300 << qint64(-9000000000000000000LL);
}

void ReplayChannelsTest::roundHalfUp()
{
    QFETCH(double, value);
    QFETCH(qint64, rounded);
    QCOMPARE(ReplayChannels::roundHalfUp(value), rounded);
}

QTEST_APPLESS_MAIN(ReplayChannelsTest)
#include "tst_replaychannels.moc"
