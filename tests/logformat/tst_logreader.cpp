#include "LogGenerator.h"
#include "LogNames.h"
#include "LogReader.h"
#include "ReferenceParser.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

const QString noEntries = QStringLiteral("No recognized log entries found in file");

QStringList namesOf(const QVector<LogVariable> &vars)
{
    QStringList names;
    for (const LogVariable &v : vars)
        names << v.name;
    return names;
}

const LogVariable *find(const QVector<LogVariable> &vars, const QString &name)
{
    for (const LogVariable &v : vars) {
        if (v.name == name)
            return &v;
    }
    return nullptr;
}

QVector<LogVariable> parseOk(const QByteArray &data)
{
    QVector<LogVariable> vars;
    QString error = QStringLiteral("untouched");
    const bool ok = LogReader::parseData(data, vars, error);
    if (!ok)
        qWarning("parse failed: %s", qPrintable(error));
    if (ok && error != QLatin1String("untouched"))
        qWarning("error text changed on success");
    return ok ? vars : QVector<LogVariable>();
}

bool sameBits(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

// Full equality with the plain reference parser, NaN equal to NaN.
QString diffWithReference(const QByteArray &data, const QVector<LogVariable> &vars)
{
    const QVector<LogVariable> ref = ReferenceParser::parse(data);
    if (ref.size() != vars.size())
        return QStringLiteral("count %1 vs %2").arg(vars.size()).arg(ref.size());
    for (int i = 0; i < ref.size(); ++i) {
        const LogVariable &a = vars[i], &b = ref[i];
        if (a.name != b.name)
            return QStringLiteral("name %1: %2 vs %3").arg(i).arg(a.name, b.name);
        if (a.times.size() != b.times.size() || a.values.size() != b.values.size())
            return QStringLiteral("size of %1").arg(a.name);
        for (int j = 0; j < a.times.size(); ++j) {
            if (!sameBits(a.times[j], b.times[j]) || !sameBits(a.values[j], b.values[j]))
                return QStringLiteral("sample %1 of %2").arg(j).arg(a.name);
        }
    }
    return QString();
}

// The order flags the parser must set, worked out from the reference's samples.
QString diffFlagsWithReference(const QByteArray &data, const QVector<LogVariable> &vars)
{
    const QVector<LogVariable> ref = ReferenceParser::parse(data);
    for (int i = 0; i < ref.size() && i < vars.size(); ++i) {
        const QVector<double> &t = ref[i].times;
        const bool ascending = std::is_sorted(t.cbegin(), t.cend());
        bool finite = true;
        for (double v : ref[i].values)
            finite = finite && std::isfinite(v);
        if (vars[i].timesAscending != ascending)
            return QStringLiteral("timesAscending of %1").arg(vars[i].name);
        if (vars[i].allFinite != finite)
            return QStringLiteral("allFinite of %1").arg(vars[i].name);
    }
    return QString();
}

// Parts of a given size for one test; the sizes chosen for speed again afterwards.
struct PartBytes
{
    explicit PartBytes(qint64 bytes) { LogReader::setPartBytesForTesting(bytes); }
    ~PartBytes() { LogReader::setPartBytesForTesting(0); }
};

// Type-1 records of changing lengths with attitude and ESC records between them.
QByteArray changingLengths()
{
    QRandomGenerator rng(42);
    LogGenerator g;
    for (int i = 0; i < 3000; ++i) {
        const quint32 ms = quint32(i) * 10;
        const int words = rng.bounded(8) == 0 ? int(rng.bounded(128)) : 35;
        QVector<qint16> w(words);
        for (qint16 &x : w)
            x = qint16(rng.bounded(65536) - 32768);
        g.sticks(ms, w, words * 2 + int(rng.bounded(2)));
        if (i % 3 == 0)
            g.attitude(ms, std::cos(i * 0.01), std::sin(i * 0.01), 0, 0);
        if (i % 7 == 0)
            g.esc(ms, {quint16(i), 1, 2, 3, 4, 5, quint16(i * 3), 7, 8, 9});
    }
    return g.bytes();
}

} // namespace

class LogReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void refusedInput_data();
    void refusedInput();
    void validPrefixThenOverlongRecord();
    void truncationAtEveryByte();
    void type1Words_data();
    void type1Words();
    void recordTypes_data();
    void recordTypes();
    void minimumLengths_data();
    void minimumLengths();
    void eulerAngles_data();
    void eulerAngles();
    void bodyRates_data();
    void bodyRates();
    void ratesAtRestAndNoSpuriousRates_data();
    void ratesAtRestAndNoSpuriousRates();
    void signFlipKeepsRates();
    void firstSeenOrder();
    void unsortedTimesFlagged();
    void largestTimeStamp();
    void sharedTimesDetach();
    void matchesReferenceOnRandomRecords();
    void matchesReferenceAcrossBlocks();
    void partsMatchReference_data();
    void partsMatchReference();
    void readInParts();
    void hostileBytes_data();
    void hostileBytes();
    void loadFile();
};

void LogReaderTest::refusedInput_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("5 bytes") << QByteArray("\x01\x01\x00\x00\x00", 5);
    // Header alone is a record of length 0, but type 1 with no word emits nothing.
    QTest::newRow("type 1 len 0") << LogGenerator().sticks(0, {}).bytes();
    QTest::newRow("type 1 len 1") << LogGenerator().sticks(0, {}, 1).bytes();
    QTest::newRow("uninterpreted types") << LogGenerator()
                                                .record(0, 1, "abc")
                                                .record(3, 2, "x")
                                                .record(9, 3, "")
                                                .record(14, 4, "")
                                                .record(255, 5, QByteArray(255, 'z'))
                                                .bytes();
    QTest::newRow("all below minimum") << LogGenerator::belowMinimum();
    // The first record claims 200 payload bytes but only 10 follow.
    QByteArray overlong = LogGenerator().sticks(0, {1, 2, 3, 4, 5}).bytes();
    overlong[0] = char(200);
    QTest::newRow("first record overlong") << overlong;
}

void LogReaderTest::refusedInput()
{
    QFETCH(QByteArray, data);
    QVector<LogVariable> vars;
    QString error;
    QVERIFY(!LogReader::parseData(data, vars, error));
    QCOMPARE(error, noEntries);
    QVERIFY(vars.isEmpty());
}

void LogReaderTest::validPrefixThenOverlongRecord()
{
    LogGenerator g;
    g.tx(1000, 42).esc(1500, {});
    g.raw(QByteArray("\xF0\x01\x00\x00\x00\x00", 6)).raw(QByteArray(100, '\x01'));
    const QVector<LogVariable> vars = parseOk(g.bytes());
    QCOMPARE(vars.size(), 11);
    QCOMPARE(vars[0].name, QStringLiteral("TX Signal [%]"));
    QCOMPARE(vars[0].values, QVector<double>({42}));
    QCOMPARE(vars[0].times, QVector<double>({1.0}));
}

// Every cut of a valid log parses exactly the records that lie wholly before the cut.
void LogReaderTest::truncationAtEveryByte()
{
    LogGenerator g;
    QVector<int> ends;
    g.sticks(0, {100, 200, 300});
    ends << g.bytes().size();
    g.fc(10, {});
    ends << g.bytes().size();
    g.rx(20, {});
    ends << g.bytes().size();
    g.attitude(30, 0.9, 0.1, 0.3, 0.3);
    ends << g.bytes().size();
    const QByteArray full = g.bytes();
    for (int cut = 0; cut <= full.size(); ++cut) {
        const QByteArray part = full.left(cut);
        int whole = 0;
        while (whole < ends.size() && ends[whole] <= cut)
            ++whole;
        QVector<LogVariable> vars;
        QString error;
        const bool ok = LogReader::parseData(part, vars, error);
        QCOMPARE(ok, whole > 0);
        const QString diff = diffWithReference(full.left(whole ? ends[whole - 1] : 0), vars);
        QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("cut %1: %2").arg(cut).arg(diff)));
    }
}

void LogReaderTest::type1Words_data()
{
    QTest::addColumn<int>("len");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");
    QTest::newRow("len 2") << 2 << 1 << "Sensor X [%]";
    QTest::newRow("len 5 drops odd byte") << 5 << 2 << "Sensor Y [%]";
    QTest::newRow("len 38 fixed only") << 38 << 19 << "Light Sensor [%]";
    QTest::newRow("len 40 channel 1") << 40 << 20 << "Channel 1 [%]";
    QTest::newRow("len 255 channel 108") << 255 << 127 << "Channel 108 [%]";
}

void LogReaderTest::type1Words()
{
    QFETCH(int, len);
    QFETCH(int, count);
    QFETCH(QString, last);
    QVector<qint16> words(len / 2);
    for (int i = 0; i < words.size(); ++i)
        words[i] = qint16(i < 19 ? 8192 : (i % 2 ? -32768 : 16384));
    if (words.size() > 19)
        words[19] = 8192;
    const QVector<LogVariable> vars = parseOk(LogGenerator().sticks(250, words, len).bytes());
    QCOMPARE(vars.size(), count);
    QCOMPARE(vars.last().name, last);
    const QStringList fixed = {"Sensor X",  "Sensor Y",  "Stick LV",  "Stick LH",    "Stick RV",
                               "Stick RH",  "Switch LD", "Switch LU", "Switch LL",   "Switch LR",
                               "Switch RL", "Switch RR", "Switch RD", "Switch RU",   "Pot TL",
                               "Pot TR",    "Pot BL",    "Pot BR",    "Light Sensor"};
    for (int i = 0; i < count; ++i) {
        const QString base = i < 19 ? fixed[i] : QStringLiteral("Channel %1").arg(i - 18);
        QCOMPARE(vars[i].name, base + " [%]");
        QCOMPARE(vars[i].times, QVector<double>({0.25}));
        // 8192 is half of full scale for fixed words, a quarter for channels.
        const double expected = i < 19 ? 50.0 : i == 19 ? 25.0 : (i % 2 ? -100.0 : 50.0);
        QCOMPARE(vars[i].values.size(), 1);
        QCOMPARE(vars[i].values[0], expected);
    }
}

void LogReaderTest::recordTypes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QVector<double>>("values");

    QTest::newRow("tx") << LogGenerator().tx(7, 87).bytes() << QStringList {"TX Signal [%]"}
                        << QVector<double> {87};
    LogGenerator::Rx rx {12345, 3, 77, 66, 0xFE};
    QTest::newRow("rx antenna bit clear")
        << LogGenerator().rx(7, rx).bytes()
        << QStringList {"RX BEC Volt [V]", "RX Alarm", "RX Signal [%]", "RX TX Power [%]",
                        "RX Antenna"}
        << QVector<double> {12.345, 3, 77, 66, 0};
    rx.antenna = 0x03;
    QTest::newRow("rx antenna bit set")
        << LogGenerator().rx(7, rx, 20).bytes()
        << QStringList {"RX BEC Volt [V]", "RX Alarm", "RX Signal [%]", "RX TX Power [%]",
                        "RX Antenna"}
        << QVector<double> {12.345, 3, 77, 66, 1};
    const LogGenerator::Esc esc {2512, 65535, 84, 17, 453, 1200, 31000, 55, 66, 9};
    QTest::newRow("esc") << LogGenerator().esc(7, esc).bytes()
                         << QStringList {"ESC Batt Volt [V]", "ESC Batt Curr [A]",
                                         "ESC BEC Volt [V]",  "ESC BEC Curr [A]",
                                         "ESC FET Temp [C]",  "ESC Capacity [mAh]",
                                         "ESC RPM",           "ESC Input [%]",
                                         "ESC Output [%]",    "ESC Alarm"}
                         << QVector<double> {25.12, 655.35, 8.4, 1.7, 45.3, 1200, 31000, 55, 66, 9};
    // Signed fields at their extremes.
    const LogGenerator::Gps gps {-1234567890, 2147483647, 65535, -32768, -90, 14};
    QTest::newRow("gps") << LogGenerator().gps(7, gps).bytes()
                         << QStringList {"GPS Lon",     "GPS Lat",     "GPS Speed",
                                         "GPS Alt [m]", "GPS Heading", "GPS Sats"}
                         << QVector<double> {-1234567890, 2147483647, 65535, -3276.8, -90, 14};
    // Bank keeps bits 0-2 only: 0xFD reads 5.
    const LogGenerator::Fc fc {0xFD, 99, 4, 65000, -1234, 16384, 0, 0, 0};
    QTest::newRow("flight controller")
        << LogGenerator().fc(7, fc).bytes()
        << QStringList {"Varnek Bank",        "Varnek Vib Level [%]", "Varnek Alarm",
                        "Varnek RPM",         "Varnek Alt [m]",       LogNames::VarnekPitch,
                        LogNames::VarnekRoll, LogNames::VarnekYaw,    "Varnek Quat W",
                        "Varnek Quat X",      "Varnek Quat Y",        "Varnek Quat Z"}
        << QVector<double> {5, 99, 4, 65000, -123.4, 0, 0, 0, 1, 0, 0, 0};
}

void LogReaderTest::recordTypes()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, names);
    QFETCH(QVector<double>, values);
    const QVector<LogVariable> vars = parseOk(data);
    QCOMPARE(namesOf(vars), names);
    for (int i = 0; i < vars.size(); ++i) {
        QCOMPARE(vars[i].times, QVector<double>({0.007}));
        QCOMPARE(vars[i].values.size(), 1);
        QCOMPARE(vars[i].values[0], values[i]);
    }
}

void LogReaderTest::minimumLengths_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("count");
    QTest::newRow("tx 0") << LogGenerator().tx(0, 5, 0).bytes() << 0;
    QTest::newRow("tx 1") << LogGenerator().tx(0, 5, 1).bytes() << 1;
    QTest::newRow("rx 8") << LogGenerator().rx(0, {}, 8).bytes() << 0;
    QTest::newRow("rx 9") << LogGenerator().rx(0, {}, 9).bytes() << 5;
    QTest::newRow("esc 17") << LogGenerator().esc(0, {}, 17).bytes() << 0;
    QTest::newRow("esc 18") << LogGenerator().esc(0, {}, 18).bytes() << 10;
    QTest::newRow("gps 15") << LogGenerator().gps(0, {}, 15).bytes() << 0;
    QTest::newRow("gps 16") << LogGenerator().gps(0, {}, 16).bytes() << 6;
    QTest::newRow("fc 14") << LogGenerator().fc(0, {}, 14).bytes() << 0;
    QTest::newRow("fc 15") << LogGenerator().fc(0, {}, 15).bytes() << 12;
    QTest::newRow("fc 255") << LogGenerator().fc(0, {}, 255).bytes() << 12;
}

void LogReaderTest::minimumLengths()
{
    QFETCH(QByteArray, data);
    QFETCH(int, count);
    // A marker record after it shows the short record was skipped by its length.
    data += LogGenerator().sticks(9, {8192}).bytes();
    const QVector<LogVariable> vars = parseOk(data);
    QCOMPARE(vars.size(), count + 1);
    QCOMPARE(vars.last().name, QStringLiteral("Sensor X [%]"));
    QCOMPARE(vars.last().values, QVector<double>({50.0}));
}

void LogReaderTest::eulerAngles_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("z");
    QTest::addColumn<double>("pitch"); // NaN = must be NaN
    QTest::addColumn<double>("roll");
    QTest::addColumn<double>("yaw");
    const int c15 = int(std::lround(16384 * std::cos(M_PI / 12)));
    const int s15 = int(std::lround(16384 * std::sin(M_PI / 12)));
    QTest::newRow("identity") << 16384 << 0 << 0 << 0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("W = X, pitch up") << 11585 << 11585 << 0 << 0 << 90.0 << 0.0 << 0.0;
    QTest::newRow("X = -W, pitch down") << 11585 << -11585 << 0 << 0 << -90.0 << 0.0 << 0.0;
    // Unnormalised: the branch test scales with the norm.
    QTest::newRow("W = X small") << 100 << 100 << 0 << 0 << 90.0 << 0.0 << 0.0;
    QTest::newRow("30 deg about X") << c15 << s15 << 0 << 0 << 30.0 << 0.0 << 0.0;
    QTest::newRow("30 deg about Y") << c15 << 0 << s15 << 0 << 0.0 << 30.0 << 0.0;
    QTest::newRow("30 deg about Z") << c15 << 0 << 0 << s15 << 0.0 << 0.0 << 30.0;
    QTest::newRow("zero quaternion") << 0 << 0 << 0 << 0 << qQNaN() << 0.0 << 0.0;
}

void LogReaderTest::eulerAngles()
{
    QFETCH(int, w);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, z);
    QFETCH(double, pitch);
    QFETCH(double, roll);
    QFETCH(double, yaw);
    LogGenerator::Fc fc;
    fc.w = qint16(w), fc.x = qint16(x), fc.y = qint16(y), fc.z = qint16(z);
    const QVector<LogVariable> vars = parseOk(LogGenerator().fc(0, fc).bytes());
    const LogVariable *p = find(vars, LogNames::VarnekPitch);
    const LogVariable *r = find(vars, LogNames::VarnekRoll);
    const LogVariable *yw = find(vars, LogNames::VarnekYaw);
    QVERIFY(p && r && yw);
    if (std::isnan(pitch)) {
        QVERIFY(std::isnan(p->values[0]));
        QVERIFY(!p->allFinite);
    } else {
        QVERIFY2(std::abs(p->values[0] - pitch) < 0.01, qPrintable(QString::number(p->values[0])));
        QVERIFY(p->allFinite);
    }
    QVERIFY2(std::abs(r->values[0] - roll) < 0.01, qPrintable(QString::number(r->values[0])));
    QVERIFY2(std::abs(yw->values[0] - yaw) < 0.01, qPrintable(QString::number(yw->values[0])));
    QVERIFY(r->allFinite && yw->allFinite);
    QCOMPARE(find(vars, LogNames::VarnekQuatW)->values[0], w / 16384.0);
    QCOMPARE(find(vars, LogNames::VarnekQuatX)->values[0], x / 16384.0);
}

void LogReaderTest::bodyRates_data()
{
    QTest::addColumn<int>("axis"); // 0 = X, 1 = Y, 2 = Z
    QTest::addColumn<double>("degrees");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<double>("tolerance"); // deg/s
    // Components are quantised to 1/16384, about 0.0035 deg per sample: 0.05 deg/s over 0.1 s.
    QTest::newRow("9 deg about X in 0.1 s") << 0 << 9.0 << 100 << 0.05;
    QTest::newRow("-9 deg about Y in 0.1 s") << 1 << -9.0 << 100 << 0.05;
    // The same quantisation over 20 ms allows five times the error.
    QTest::newRow("3 deg about Z in 20 ms") << 2 << 3.0 << 20 << 0.25;
}

void LogReaderTest::bodyRates()
{
    QFETCH(int, axis);
    QFETCH(double, degrees);
    QFETCH(int, intervalMs);
    QFETCH(double, tolerance);
    // Start from a tilted attitude, so the rate is measured in the body frame.
    const double a0 = 20 * M_PI / 180 / 2, h = degrees * M_PI / 180 / 2;
    const double q0[4] = {std::cos(a0), 0, 0, std::sin(a0)}; // 20 deg yaw
    double d[4] = {std::cos(h), 0, 0, 0};
    d[1 + axis] = std::sin(h);
    const double q1[4] = {q0[0] * d[0] - q0[1] * d[1] - q0[2] * d[2] - q0[3] * d[3],
                          q0[0] * d[1] + q0[1] * d[0] + q0[2] * d[3] - q0[3] * d[2],
                          q0[0] * d[2] - q0[1] * d[3] + q0[2] * d[0] + q0[3] * d[1],
                          q0[0] * d[3] + q0[1] * d[2] - q0[2] * d[1] + q0[3] * d[0]};
    LogGenerator g;
    g.attitude(1000, q0[0], q0[1], q0[2], q0[3]);
    g.attitude(quint32(1000 + intervalMs), q1[0], q1[1], q1[2], q1[3]);
    const QVector<LogVariable> vars = parseOk(g.bytes());
    QCOMPARE(vars.size(), 15);
    const char *const rateNames[3]
        = {LogNames::VarnekElevator, LogNames::VarnekAileron, LogNames::VarnekRudder};
    const double rate = degrees / (intervalMs / 1000.0);
    for (int i = 0; i < 3; ++i) {
        const LogVariable &v = vars[12 + i];
        QCOMPARE(v.name, QString::fromUtf8(rateNames[i]));
        QCOMPARE(v.times.size(), 1);
        QCOMPARE(v.times[0], (1.0 + (1000 + intervalMs) / 1000.0) * 0.5);
        const double expected = i == axis ? rate : 0.0;
        QVERIFY2(std::abs(v.values[0] - expected) < tolerance,
                 qPrintable(QStringLiteral("%1: %2").arg(v.name).arg(v.values[0])));
    }
}

void LogReaderTest::ratesAtRestAndNoSpuriousRates_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QVector<double>>("restTimes"); // rate samples of exactly 0
    QTest::addColumn<QVector<double>>("movingTimes"); // rate samples of a rotation
    LogGenerator::Fc tilted;
    tilted.w = 15000, tilted.x = 3000, tilted.y = -5000, tilted.z = 4000;
    LogGenerator::Fc other = tilted;
    other.x = 5000;
    // On the ground the rates read 0, not the last rate before or an interpolation.
    QTest::newRow("same attitude")
        << LogGenerator().fc(0, tilted).fc(20, tilted).fc(40, tilted).bytes()
        << QVector<double> {0.01, 0.03} << QVector<double> {};
    QTest::newRow("rest, turn, rest")
        << LogGenerator().fc(0, tilted).fc(20, tilted).fc(40, other).fc(60, other).bytes()
        << QVector<double> {0.01, 0.05} << QVector<double> {0.03};
    QTest::newRow("equal time stamps") << LogGenerator().fc(20, tilted).fc(20, other).bytes()
                                       << QVector<double> {} << QVector<double> {};
    QTest::newRow("equal time stamps at rest")
        << LogGenerator().fc(20, tilted).fc(20, tilted).bytes() << QVector<double> {}
        << QVector<double> {};
    // Time going backwards gives a negative interval, which is skipped too.
    QTest::newRow("time backwards") << LogGenerator().fc(40, tilted).fc(20, other).bytes()
                                    << QVector<double> {} << QVector<double> {};
    LogGenerator::Fc zero;
    zero.w = 0;
    // An all-zero quaternion is no attitude: a step from or to it gives no rest sample.
    QTest::newRow("zero then identity") << LogGenerator().fc(0, zero).fc(20, {}).bytes()
                                        << QVector<double> {} << QVector<double> {};
    QTest::newRow("zero then zero") << LogGenerator().fc(0, zero).fc(20, zero).bytes()
                                    << QVector<double> {} << QVector<double> {};
    QTest::newRow("one sample") << LogGenerator().fc(0, tilted).bytes() << QVector<double> {}
                                << QVector<double> {};
}

void LogReaderTest::ratesAtRestAndNoSpuriousRates()
{
    QFETCH(QByteArray, data);
    QFETCH(QVector<double>, restTimes);
    QFETCH(QVector<double>, movingTimes);
    const QVector<LogVariable> vars = parseOk(data);
    QCOMPARE(diffWithReference(data, vars), QString());
    if (restTimes.isEmpty() && movingTimes.isEmpty()) {
        QCOMPARE(vars.size(), 12);
        QVERIFY(!find(vars, LogNames::VarnekElevator));
        return;
    }
    QCOMPARE(vars.size(), 15);
    QVector<double> times = restTimes + movingTimes;
    std::sort(times.begin(), times.end());
    for (const char *name :
         {LogNames::VarnekElevator, LogNames::VarnekAileron, LogNames::VarnekRudder}) {
        const LogVariable *v = find(vars, name);
        QVERIFY(v);
        QCOMPARE(v->times, times);
        for (int i = 0; i < times.size(); ++i) {
            if (restTimes.contains(times[i]))
                QCOMPARE(v->values[i], 0.0);
        }
    }
    // The turn itself reads as a rotation.
    for (int i = 0; i < times.size(); ++i) {
        if (movingTimes.contains(times[i]))
            QVERIFY(std::abs(find(vars, LogNames::VarnekElevator)->values[i]) > 1.0);
    }
}

void LogReaderTest::signFlipKeepsRates()
{
    const LogGenerator::Fc a {0, 0, 0, 0, 0, 15000, 3000, -5000, 4000};
    LogGenerator::Fc b {0, 0, 0, 0, 0, 14800, 3900, -5200, 3500};
    const QVector<LogVariable> plain = parseOk(LogGenerator().fc(0, a).fc(50, b).bytes());
    b.w = qint16(-b.w), b.x = qint16(-b.x), b.y = qint16(-b.y), b.z = qint16(-b.z);
    const QVector<LogVariable> flipped = parseOk(LogGenerator().fc(0, a).fc(50, b).bytes());
    QCOMPARE(plain.size(), 15);
    QCOMPARE(flipped.size(), 15);
    for (int i = 12; i < 15; ++i) {
        QVERIFY(std::abs(plain[i].values[0]) > 1.0);
        QVERIFY(qFuzzyCompare(plain[i].values[0], flipped[i].values[0]));
    }
}

void LogReaderTest::firstSeenOrder()
{
    LogGenerator g;
    g.esc(0, {}).attitude(10, 1, 0, 0, 0).sticks(20, {1, 2}).attitude(30, 0.99, 0.14, 0, 0);
    g.sticks(40, {1, 2, 3}).tx(50, 1).sticks(60, {1}).rx(70, {});
    const QVector<LogVariable> vars = parseOk(g.bytes());
    const QStringList names = namesOf(vars);
    QCOMPARE(names.size(), 10 + 12 + 3 + 1 + 5 + 3);
    QCOMPARE(names.first(), QStringLiteral("ESC Batt Volt [V]"));
    QCOMPARE(names.mid(22, 3), QStringList({"Sensor X [%]", "Sensor Y [%]", "Stick LV [%]"}));
    QCOMPARE(names[25], QStringLiteral("TX Signal [%]"));
    QCOMPARE(names[26], QStringLiteral("RX BEC Volt [V]"));
    QCOMPARE(
        names.mid(31),
        QStringList({LogNames::VarnekElevator, LogNames::VarnekAileron, LogNames::VarnekRudder}));
    // Word 0 was in three records, word 2 only in one.
    QCOMPARE(vars[22].times, QVector<double>({0.02, 0.04, 0.06}));
    QCOMPARE(vars[24].times, QVector<double>({0.04}));
    QCOMPARE(vars[24].values, QVector<double>({3 / 163.84}));
    QCOMPARE(diffWithReference(g.bytes(), vars), QString());
}

void LogReaderTest::unsortedTimesFlagged()
{
    LogGenerator g;
    g.tx(100, 1).tx(50, 2).esc(10, {}).esc(10, {}).esc(20, {});
    g.attitude(0, 1, 0, 0, 0).attitude(100, 0.99, 0.14, 0, 0).attitude(40, 0.98, 0.2, 0, 0);
    const QVector<LogVariable> vars = parseOk(g.bytes());
    QVERIFY(!find(vars, "TX Signal [%]")->timesAscending);
    QCOMPARE(find(vars, "TX Signal [%]")->times, QVector<double>({0.1, 0.05}));
    QVERIFY(find(vars, "ESC RPM")->timesAscending); // equal stamps are still ascending
    QVERIFY(!find(vars, LogNames::VarnekQuatW)->timesAscending);
    // Only the forward pair gives a rate; a single sample is ascending.
    QCOMPARE(find(vars, LogNames::VarnekElevator)->times, QVector<double>({0.05}));
    QVERIFY(find(vars, LogNames::VarnekElevator)->timesAscending);
}

void LogReaderTest::largestTimeStamp()
{
    const QVector<LogVariable> vars
        = parseOk(LogGenerator().tx(0xFFFFFFFFu, 1).tx(0x80000000u, 2).bytes());
    QCOMPARE(vars[0].times, QVector<double>({4294967.295, 2147483.648}));
}

// Series of one record type share their times; writing one must not change another.
void LogReaderTest::sharedTimesDetach()
{
    QVector<LogVariable> vars = parseOk(LogGenerator().esc(10, {}).esc(20, {}).bytes());
    vars[0].times[0] = 99;
    QCOMPARE(vars[1].times, QVector<double>({0.01, 0.02}));
}

// Structured random logs: every record type, random lengths (around the minimums),
// random fields and stamps, compared sample by sample with the plain parser.
void LogReaderTest::matchesReferenceOnRandomRecords()
{
    QRandomGenerator rng(20261210);
    const int types[] = {1, 1, 2, 3, 10, 11, 12, 13, 13, 13, 0, 200};
    const int mins[] = {0, 0, 1, 0, 9, 18, 16, 15, 15, 15, 0, 0};
    for (int round = 0; round < 300; ++round) {
        LogGenerator g;
        const int records = int(rng.bounded(1, 60));
        quint32 ms = rng.generate();
        for (int r = 0; r < records; ++r) {
            const int k = int(rng.bounded(int(sizeof types / sizeof types[0])));
            int len = types[k] == 1 ? int(rng.bounded(256))
                                    : qBound(0, mins[k] + int(rng.bounded(-2, 6)), 255);
            QByteArray payload(len, 0);
            for (int i = 0; i < len; ++i)
                payload[i] = char(rng.bounded(256));
            if (types[k] == 13 && rng.bounded(8) == 0)
                payload.replace(7, 8, QByteArray(8, 0)); // zero quaternion now and then
            ms += quint32(rng.bounded(-30, 100));
            g.record(quint8(types[k]), ms, payload);
        }
        QByteArray data = g.bytes();
        if (rng.bounded(3) == 0)
            data.chop(int(rng.bounded(qMin(data.size(), 30))));
        QVector<LogVariable> vars;
        QString error;
        LogReader::parseData(data, vars, error);
        const QString diff = diffWithReference(data, vars);
        QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(diff)));
    }
}

// Long logs, where records of one type are filled in several blocks, with type-1
// lengths changing from record to record.
void LogReaderTest::matchesReferenceAcrossBlocks()
{
    QCOMPARE(diffWithReference(LogGenerator::flight(30), parseOk(LogGenerator::flight(30))),
             QString());
    const QByteArray data = changingLengths();
    const QVector<LogVariable> vars = parseOk(data);
    QCOMPARE(vars.size(), 127 + 12 + 10 + 3);
    QCOMPARE(diffWithReference(data, vars), QString());
}

// A long log is parsed in parts side by side, each starting at a record boundary found by
// a first walk over the records. Small parts put part boundaries everywhere: between any
// two records, and between the two attitude samples of a body rate.
void LogReaderTest::partsMatchReference_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qint64>("partBytes");
    // Over 256 KiB, so that the parts run on several threads.
    const QByteArray flight = LogGenerator::flight(60);
    QTest::newRow("flight, a part per record") << LogGenerator::flight(3) << qint64(1);
    QTest::newRow("flight, 1000-byte parts") << flight << qint64(1000);
    QTest::newRow("flight, 65537-byte parts") << flight << qint64(65537);
    QTest::newRow("type-1 lengths changing, 777-byte parts") << changingLengths() << qint64(777);
    QByteArray truncated = flight;
    truncated.chop(3);
    QTest::newRow("truncated tail") << truncated << qint64(1000);
    // A record longer than the rest of the log ends it inside the last part.
    QTest::newRow("over-long record after a prefix")
        << LogGenerator::flight(2) + QByteArray("\xF0\x01\x00\x00\x00\x00", 6) + QByteArray(100, 1)
        << qint64(300);
    // Each part ascends; the times go back only where one part meets the next.
    QTest::newRow("times back at part boundaries") << LogGenerator()
                                                          .tx(100, 1)
                                                          .tx(50, 2)
                                                          .esc(10, {})
                                                          .esc(10, {})
                                                          .esc(20, {})
                                                          .attitude(0, 1, 0, 0, 0)
                                                          .attitude(100, 0.99, 0.14, 0, 0)
                                                          .attitude(40, 0.98, 0.2, 0, 0)
                                                          .attitude(60, 0.97, 0.24, 0, 0)
                                                          .bytes()
                                                   << qint64(1);
    // Steps without a rate (equal stamps, a zero quaternion) in every part of the rates.
    LogGenerator::Fc zero;
    zero.w = 0;
    LogGenerator rates;
    for (int i = 0; i < 200; ++i) {
        const quint32 ms = quint32(i / 2) * 20;
        if (i % 11 == 5)
            rates.fc(ms, zero);
        else
            rates.attitude(ms, std::cos(i * 0.05), 0, std::sin(i * 0.05), 0);
    }
    QTest::newRow("rate steps skipped, parts of one step") << rates.bytes() << qint64(1);
    QTest::newRow("rate steps skipped, parts of 3 steps") << rates.bytes() << qint64(24);
    // 40000 rate steps, over 256 KiB of rates: their parts run on several threads.
    LogGenerator attitudes;
    for (int i = 0; i < 40000; ++i) {
        const quint32 ms = quint32(i - i % 7 / 6) * 20;
        if (i % 1001 == 500)
            attitudes.fc(ms, zero);
        else
            attitudes.attitude(ms, std::cos(i * 0.001), std::sin(i * 0.001), 0, 0);
    }
    QTest::newRow("rate steps skipped, rates on threads") << attitudes.bytes() << qint64(100000);
    QTest::newRow("one record") << LogGenerator().tx(7, 1).bytes() << qint64(1);
    QTest::newRow("empty") << QByteArray() << qint64(1);
    QTest::newRow("nothing recognised") << LogGenerator::belowMinimum() << qint64(1);
    QTest::newRow("0xFF x 100000") << QByteArray(100000, '\xFF') << qint64(1000);
    QTest::newRow("empty type-1 records")
        << QByteArray(60000, '\0').replace(QByteArray(6, 0), QByteArray("\0\1\0\0\0\0", 6))
        << qint64(100);
}

void LogReaderTest::partsMatchReference()
{
    QFETCH(QByteArray, data);
    QFETCH(qint64, partBytes);
    const PartBytes parts(partBytes);
    QVector<LogVariable> vars;
    QString error;
    const bool ok = LogReader::parseData(data, vars, error);
    QCOMPARE(ok, !ReferenceParser::parse(data).isEmpty());
    QCOMPARE(error, ok ? QString() : noEntries);
    QCOMPARE(diffWithReference(data, vars), QString());
    QCOMPARE(diffFlagsWithReference(data, vars), QString());
}

// A file is read in parts side by side; the bytes are the file's, in order.
void LogReaderTest::readInParts()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray flight = LogGenerator::flight(60); // over 256 KiB: several threads
    QVERIFY(flight.size() > 256 * 1024);
    QVERIFY(flight.size() % 1000 != 0);
    QFile f(dir.filePath("a.log"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(flight), qint64(flight.size()));
    f.close();
    const PartBytes parts(1000);
    QByteArray read;
    QString error;
    QVERIFY(LogReader::readFile(f.fileName(), read, error));
    QVERIFY(read == flight);
}

void LogReaderTest::hostileBytes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("0xFF x 6") << QByteArray(6, '\xFF');
    QTest::newRow("0xFF x 261") << QByteArray(261, '\xFF');
    QTest::newRow("0xFF x 100000") << QByteArray(100000, '\xFF');
    QTest::newRow("zeros") << QByteArray(100000, '\0');
    // len 0 type 1 repeated: many records, no variable, must still terminate.
    QTest::newRow("empty type-1 records")
        << QByteArray(600000, '\0').replace(QByteArray(6, 0), QByteArray("\0\1\0\0\0\0", 6));
    QRandomGenerator rng(7);
    for (int i = 0; i < 20; ++i) {
        QByteArray b(int(rng.bounded(1, 5000)), 0);
        for (char &c : b)
            c = char(rng.bounded(256));
        QTest::newRow(qPrintable(QStringLiteral("random %1").arg(i))) << b;
    }
    QTest::newRow("type 13 max len") << QByteArray("\xFF\x0D", 2) + QByteArray(259, '\x80');
    QTest::newRow("type 1 min words") << QByteArray("\xFF\x01", 2) + QByteArray(259, '\x80');
}

void LogReaderTest::hostileBytes()
{
    QFETCH(QByteArray, data);
    QVector<LogVariable> vars;
    QString error;
    const bool ok = LogReader::parseData(data, vars, error);
    QCOMPARE(ok, !vars.isEmpty());
    QCOMPARE(error, ok ? QString() : noEntries);
    for (const LogVariable &v : vars)
        QCOMPARE(v.times.size(), v.values.size());
    QCOMPARE(diffWithReference(data, vars), QString());
}

void LogReaderTest::loadFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath("missing.log");
    QVector<LogVariable> vars {LogVariable {"keep", {1}, {2}}};
    QString error;
    QVERIFY(!LogReader::load(missing, vars, error));
    QCOMPARE(error, QStringLiteral("Cannot open file: ") + missing);
    QCOMPARE(vars.size(), 1);
    QVERIFY(!LogReader::load(dir.path(), vars, error));
    QCOMPARE(error, QStringLiteral("Cannot open file: ") + dir.path());
    QCOMPARE(vars.size(), 1);

    const QByteArray flight = LogGenerator::flight(3);
    QFile f(dir.filePath("a.log"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(flight);
    f.close();
    vars.clear();
    error.clear();
    QVERIFY(LogReader::load(f.fileName(), vars, error));
    QVERIFY(error.isEmpty());
    QCOMPARE(vars.size(), 72);
    QCOMPARE(diffWithReference(flight, vars), QString());

    QFile empty(dir.filePath("empty.log"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    vars.clear();
    QVERIFY(!LogReader::load(empty.fileName(), vars, error));
    QCOMPARE(error, noEntries);

    // Over 2 GiB (sparse, so nothing is written): refused as too large, not read as empty.
    QFile huge(dir.filePath("huge.log"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize(qint64(1) << 31));
    huge.close();
    vars = {LogVariable {"keep", {1}, {2}}};
    QVERIFY(!LogReader::load(huge.fileName(), vars, error));
    QCOMPARE(error,
             QStringLiteral("The file is too large to load (2 GiB or more): ") + huge.fileName());
    QCOMPARE(vars.size(), 1);
}

QTEST_GUILESS_MAIN(LogReaderTest)
#include "tst_logreader.moc"
