#include "RadioLogList.h"
#include "RadioLogSource.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QTest>

#include <limits>

class RadioLogListTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void nonFiniteNumbersSkipped();
    void cutAtTenThousand_data();
    void cutAtTenThousand();
    void durationText_data();
    void durationText();
    void itemsCarryTextAndData();
};

// Entries as "id|name|length" joined by ";" for readable rows.
static QString describe(const QVector<RadioLogList::Entry> &entries)
{
    QStringList parts;
    for (const auto &e : entries)
        parts << QStringLiteral("%1|%2|%3").arg(e.id).arg(e.name).arg(e.length);
    return parts.join(QLatin1Char(';'));
}

void RadioLogListTest::parse_data()
{
    QTest::addColumn<QByteArray>("listJson");
    QTest::addColumn<QString>("entries");

    QTest::newRow("one triple") << QByteArray(R"([3,"A",1234])") << "3|A|1234";
    QTest::newRow("two triples") << QByteArray(R"([3,"A",1234,9,"B",5])") << "3|A|1234;9|B|5";
    QTest::newRow("trailing incomplete triple")
        << QByteArray(R"([3,"A",1234,7,"B"])") << "3|A|1234";
    QTest::newRow("fewer than three") << QByteArray(R"([3,"A"])") << "";
    QTest::newRow("empty") << QByteArray("[]") << "";
    // Would give "-0:-5" and a path like /log/get/3--50.
    QTest::newRow("negative length") << QByteArray(R"([3,"A",-50])") << "";
    QTest::newRow("negative id") << QByteArray(R"([-3,"A",50])") << "";
    QTest::newRow("fractions truncated") << QByteArray(R"([3.9,"A",1234.7])") << "3|A|1234";
    QTest::newRow("fraction just below zero") << QByteArray(R"([3,"A",-0.5])") << "";
    // Beyond 2^53 a double no longer holds every integer; beyond 2^63 the cast is UB.
    QTest::newRow("id beyond 2^53") << QByteArray(R"([9007199254740994,"A",10])") << "";
    QTest::newRow("length 1e300") << QByteArray(R"([3,"A",1e300])") << "";
    QTest::newRow("largest accepted") << QByteArray(R"([9007199254740992,"A",9007199254740992])")
                                      << "9007199254740992|A|9007199254740992";
    QTest::newRow("name a number") << QByteArray(R"([3,4,1234])") << "";
    QTest::newRow("name null") << QByteArray(R"([3,null,1234])") << "";
    QTest::newRow("name an object") << QByteArray(R"([3,{"x":1},1234])") << "";
    QTest::newRow("id a string") << QByteArray(R"(["3","A",1234])") << "";
    QTest::newRow("length a bool") << QByteArray(R"([3,"A",true])") << "";
    // A bad triple is dropped whole; the next one is still read at its own place.
    QTest::newRow("bad triple in the middle")
        << QByteArray(R"([1,"A",10,"x","B",20,3,"C",30])") << "1|A|10;3|C|30";
    QTest::newRow("empty name kept") << QByteArray(R"([0,"",0])") << "0||0";
}

void RadioLogListTest::parse()
{
    QFETCH(QByteArray, listJson);
    QFETCH(QString, entries);
    const QJsonDocument doc = QJsonDocument::fromJson(listJson);
    QVERIFY(doc.isArray());
    QCOMPARE(describe(RadioLogList::parse(doc.array())), entries);
}

void RadioLogListTest::nonFiniteNumbersSkipped()
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QJsonArray list {nan, QStringLiteral("A"), 10,   1, QStringLiteral("B"), inf,
                           2,   QStringLiteral("C"), -inf, 4, QStringLiteral("D"), nan,
                           5,   QStringLiteral("E"), 20};
    QCOMPARE(describe(RadioLogList::parse(list)), QStringLiteral("5|E|20"));
}

void RadioLogListTest::cutAtTenThousand_data()
{
    QTest::addColumn<int>("valid");
    QTest::addColumn<int>("badAfter"); // bad triples after the valid ones
    QTest::addColumn<int>("taken");
    QTest::addColumn<bool>("cut");
    QTest::newRow("10000: all") << 10000 << 0 << 10000 << false;
    QTest::newRow("10001: cut") << 10001 << 0 << 10000 << true;
    QTest::newRow("a million: cut") << 1000000 << 0 << 10000 << true;
    // Only entries that would be shown count.
    QTest::newRow("10000 and bad ones") << 10000 << 5 << 10000 << false;
}

void RadioLogListTest::cutAtTenThousand()
{
    QFETCH(int, valid);
    QFETCH(int, badAfter);
    QFETCH(int, taken);
    QFETCH(bool, cut);
    QJsonArray list;
    for (int i = 0; i < valid; ++i) {
        list.append(i);
        list.append(QStringLiteral("L"));
        list.append(10);
    }
    for (int i = 0; i < badAfter; ++i) {
        list.append(-1);
        list.append(QStringLiteral("bad"));
        list.append(10);
    }
    bool wasCut = !cut;
    const QVector<RadioLogList::Entry> entries = RadioLogList::parse(list, &wasCut);
    QCOMPARE(entries.size(), taken);
    QCOMPARE(wasCut, cut);
    QCOMPARE(entries.last().id, qint64(taken - 1));
}

void RadioLogListTest::durationText_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QString>("text");
    QTest::newRow("1234") << qint64(1234) << "2:03";
    QTest::newRow("600") << qint64(600) << "1:00";
    QTest::newRow("half rounds up") << qint64(5) << "0:01";
    QTest::newRow("4") << qint64(4) << "0:00";
    QTest::newRow("0") << qint64(0) << "0:00";
    QTest::newRow("59.5 s rounds to a minute") << qint64(595) << "1:00";
    QTest::newRow("an hour") << qint64(36000) << "60:00";
    QTest::newRow("largest accepted") << RadioLogList::MaxValue << "15011998757901:39";
}

void RadioLogListTest::durationText()
{
    QFETCH(qint64, length);
    QFETCH(QString, text);
    QCOMPARE(RadioLogList::durationText(length), text);
}

void RadioLogListTest::itemsCarryTextAndData()
{
    QListWidget list;
    const QJsonArray array {3, QStringLiteral("A"), 1234, 7, QStringLiteral("<b>%2</b>"), 5};
    for (const RadioLogList::Entry &entry : RadioLogList::parse(array))
        list.addItem(RadioLogSource::listItem(entry));
    QCOMPARE(list.count(), 2);
    QCOMPARE(list.item(0)->text(), QStringLiteral("A  (2:03)"));
    QCOMPARE(list.item(0)->data(Qt::UserRole).userType(), int(QMetaType::LongLong));
    QCOMPARE(list.item(0)->data(Qt::UserRole).toLongLong(), 3);
    QCOMPARE(list.item(0)->data(Qt::UserRole + 1).userType(), int(QMetaType::LongLong));
    QCOMPARE(list.item(0)->data(Qt::UserRole + 1).toLongLong(), 1234);
    // A "%2" in the name is not filled again, and markup stays text.
    QCOMPARE(list.item(1)->text(), QStringLiteral("<b>%2</b>  (0:01)"));
}

QTEST_MAIN(RadioLogListTest)
#include "tst_radiologlist.moc"
