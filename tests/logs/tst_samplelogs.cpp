// The sample flight logs: the small one in samples/logs and the longer ones that
// samples/make_flight_log.py writes. They are what a new user opens first, so they must
// parse, fly a whole flight (spool-up, take-off, manoeuvres, landing, spool-down) and
// show a pack that sags under load.
#include "LogReader.h"
#include "TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("KELO_SOURCE_DIR");
}

QString script()
{
    return sourceDir() + QStringLiteral("/samples/make_flight_log.py");
}

QString sample()
{
    return sourceDir() + QStringLiteral("/samples/logs/hover-practice.log");
}

struct Run
{
    int exitCode = -1;
    QByteArray err;
};

Run runScript(const QStringList &arguments)
{
    QProcess python;
    python.start(QStringLiteral("python3"), QStringList {script()} + arguments);
    Run run;
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = python.exitCode();
    run.err = python.readAllStandardError();
    return run;
}

const LogVariable *find(const QVector<LogVariable> &vars, const QString &name)
{
    for (const LogVariable &v : vars) {
        if (v.name == name)
            return &v;
    }
    return nullptr;
}

// The first time the variable passes the threshold; -1 when it never does.
double firstAbove(const LogVariable &v, double threshold)
{
    for (int i = 0; i < v.values.size(); ++i) {
        if (v.values[i] > threshold)
            return v.times[i];
    }
    return -1;
}

double maxAbs(const LogVariable &v)
{
    double m = 0;
    for (double x : v.values)
        m = std::max(m, std::abs(x));
    return m;
}

// The mean over the samples from `from` to `to` seconds.
double meanBetween(const LogVariable &v, double from, double to)
{
    double sum = 0;
    int n = 0;
    for (int i = 0; i < v.values.size(); ++i) {
        if (v.times[i] >= from && v.times[i] <= to) {
            sum += v.values[i];
            ++n;
        }
    }
    return n ? sum / n : std::nan("");
}

} // namespace

class SampleLogsTest : public QObject
{
    Q_OBJECT
private slots:
    void committedSampleIsSmallAndWhatTheScriptWrites();
    void flights_data();
    void flights();
    void scriptRefusesBadArguments_data();
    void scriptRefusesBadArguments();
};

void SampleLogsTest::committedSampleIsSmallAndWhatTheScriptWrites()
{
    const QByteArray committed = TestSupport::readFile(sample());
    QVERIFY(!committed.isEmpty());
    QVERIFY(committed.size() < 1024 * 1024);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("hover.log"));
    const Run run = runScript({out});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(TestSupport::readFile(out), committed);
    // rw-r--r--, though the script writes through a private temporary file first.
    QCOMPARE(QFile::permissions(out),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                 | QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

void SampleLogsTest::flights_data()
{
    QTest::addColumn<QStringList>("arguments"); // empty: the committed sample
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("minPeakRate"); // deg/s the fastest body rate reaches at least
    QTest::addColumn<double>("maxPeakRate"); // and stays below
    QTest::addColumn<double>("maxPeakCurrent");
    QTest::addColumn<bool>("lowVoltageAlarm");

    QTest::newRow("hover sample") << QStringList() << 150.0 << 30.0 << 150.0 << 25.0 << false;
    QTest::newRow("sport") << QStringList {QStringLiteral("--flight"), QStringLiteral("sport"),
                                           QStringLiteral("--seed"), QStringLiteral("2")}
                           << 300.0 << 300.0 << 600.0 << 60.0 << false;
    // Flown until the pack runs low: its warnings come before the landing.
    QTest::newRow("endurance") << QStringList {QStringLiteral("--flight"),
                                               QStringLiteral("endurance"),
                                               QStringLiteral("--seed"), QStringLiteral("3")}
                               << 480.0 << 30.0 << 200.0 << 35.0 << true;
    QTest::newRow("a short hover")
        << QStringList {QStringLiteral("--seconds"), QStringLiteral("60")} << 60.0 << 10.0 << 150.0
        << 25.0 << false;
}

void SampleLogsTest::flights()
{
    QFETCH(QStringList, arguments);
    QFETCH(double, seconds);
    QFETCH(double, minPeakRate);
    QFETCH(double, maxPeakRate);
    QFETCH(double, maxPeakCurrent);
    QFETCH(bool, lowVoltageAlarm);

    QString path = sample();
    QTemporaryDir dir;
    if (!arguments.isEmpty()) {
        path = dir.filePath(QStringLiteral("flight.log"));
        const Run run = runScript(arguments << path);
        QVERIFY2(run.exitCode == 0, run.err.constData());
    }
    QVector<LogVariable> vars;
    QString error;
    QVERIFY2(LogReader::load(path, vars, error), qPrintable(error));

    // Everything the Replay tab looks up is there.
    for (const char *name : {"Stick LV [%]",
                             "Stick LH [%]",
                             "Stick RV [%]",
                             "Stick RH [%]",
                             "ESC Batt Volt [V]",
                             "ESC Batt Curr [A]",
                             "ESC RPM",
                             "Varnek RPM",
                             "Varnek Elevator [°/s]",
                             "Varnek Aileron [°/s]",
                             "Varnek Rudder [°/s]",
                             "Varnek Alt [m]",
                             "Varnek Quat W",
                             "Varnek Quat X",
                             "Varnek Quat Y",
                             "Varnek Quat Z",
                             "Varnek Vib Level [%]",
                             "RX Signal [%]",
                             "TX Signal [%]",
                             "GPS Lat",
                             "Channel 16 [%]"})
        QVERIFY2(find(vars, QString::fromUtf8(name)), name);
    QVERIFY(!find(vars, QStringLiteral("Channel 17 [%]")));
    for (const LogVariable &v : vars) {
        QVERIFY2(v.timesAscending, qPrintable(v.name));
        QVERIFY2(v.times.last() <= seconds, qPrintable(v.name));
    }
    const LogVariable &rpm = *find(vars, QStringLiteral("Varnek RPM"));
    const LogVariable &alt = *find(vars, QStringLiteral("Varnek Alt [m]"));
    const LogVariable &volts = *find(vars, QStringLiteral("ESC Batt Volt [V]"));
    const LogVariable &amps = *find(vars, QStringLiteral("ESC Batt Curr [A]"));
    const LogVariable &used = *find(vars, QStringLiteral("ESC Capacity [mAh]"));
    QCOMPARE(rpm.times.last(), seconds - 0.02); // 50 records a second from 0 s

    // Spool-up on the ground, then take-off, landing and spool-down.
    QCOMPARE(rpm.values.first(), 0.0);
    const double spooledUp = firstAbove(rpm, 2000);
    const double liftOff = firstAbove(alt, 1.0);
    QVERIFY(spooledUp > 5 && liftOff > spooledUp);
    QVERIFY(meanBetween(alt, 0, 3) < 0.3);
    QVERIFY(meanBetween(alt, seconds - 5, seconds) < 0.3);
    QCOMPARE(rpm.values.last(), 0.0);

    // The pack sags under load and recovers some at rest.
    const double atStart = meanBetween(volts, 0, 2);
    const double atEnd = meanBetween(volts, seconds - 2, seconds);
    const double loaded = *std::min_element(volts.values.cbegin(), volts.values.cend());
    QVERIFY(atStart > 24.5 && atStart < 25.3); // a full 6S pack
    QVERIFY(loaded < atEnd - 0.3);
    QVERIFY(atEnd < atStart - 0.1);
    QVERIFY(std::is_sorted(used.values.cbegin(), used.values.cend()));
    QVERIFY(used.values.last() > seconds); // mAh: about 3 a second while flying
    QVERIFY(maxAbs(amps) > 8 && maxAbs(amps) < maxPeakCurrent);

    double peakRate = 0;
    for (const char *name :
         {"Varnek Elevator [°/s]", "Varnek Aileron [°/s]", "Varnek Rudder [°/s]"})
        peakRate = std::max(peakRate, maxAbs(*find(vars, QString::fromUtf8(name))));
    QVERIFY2(peakRate > minPeakRate && peakRate < maxPeakRate,
             qPrintable(QString::number(peakRate)));
    QCOMPARE(maxAbs(*find(vars, QStringLiteral("ESC Alarm"))) > 0, lowVoltageAlarm);
}

void SampleLogsTest::scriptRefusesBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("too short") << QStringList {QStringLiteral("--seconds"), QStringLiteral("59")}
                               << "x.log" << QByteArray("60 to 3600");
    QTest::newRow("unknown flight")
        << QStringList {QStringLiteral("--flight"), QStringLiteral("loops")} << "x.log"
        << QByteArray("invalid choice");
    QTest::newRow("folder missing")
        << QStringList() << "missing/x.log" << QByteArray("cannot write");
}

void SampleLogsTest::scriptRefusesBadArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, output);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(output);
    const Run run = runScript(arguments << path);
    QVERIFY(run.exitCode > 0);
    QVERIFY2(run.err.contains(message), run.err.constData());
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

QTEST_GUILESS_MAIN(SampleLogsTest)
#include "tst_samplelogs.moc"
