// The usage quota under the panel's header against the fake service: bars, figures in the
// locale's digits (the suite runs with LC_ALL=en_US.UTF-8), badge, countdown, refetch, and
// answers for a serial that is no longer the radio's.
#include "AssistantTestSupport.h"
#include "TestSupport.h"

#include <QMouseEvent>
#include <QProgressBar>

namespace {

const qint64 Now = Q_INT64_C(1765400000000);

FakeResponse usage(const QByteArray &json)
{
    return FakeResponse::json(json);
}

struct QuotaFixture : PanelFixture
{
    qint64 now = Now;
    int finished = 0;

    QuotaFixture()
    {
        panel->setClock([this]() { return now; });
        QObject::connect(&manager, &QNetworkAccessManager::finished, &manager,
                         [this](QNetworkReply *) { ++finished; });
    }
    QProgressBar *bar(const char *name) const { return child<QProgressBar>(name); }
    QLabel *label(const char *name) const { return child<QLabel>(name); }
    bool shown(const char *name) const { return child<QWidget>(name)->isVisibleTo(panel.get()); }
    QString badge() const { return child<QPushButton>("planBadge")->text(); }
    QTimer *countdownTimer() const { return panel->findChild<QTimer *>("countdownTimer"); }
    void tick() { QMetaObject::invokeMethod(panel.get(), "onCountdownTick"); }
    int usageAsked() const { return manager.countFor("/v1/usage"); }
    void clickBar()
    {
        QTest::mouseClick(bar("fourHourBar"), Qt::LeftButton, Qt::NoModifier, QPoint(5, 2));
    }
    // Waits until every usage reply asked for so far has been handled.
    bool settle() const
    {
        return QTest::qWaitFor([this]() { return finished == manager.requests.size(); }, 5000);
    }
};

} // namespace

class AiAssistantUsageTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::unsetProxies(); }
    void cleanup() { QLocale::setDefault(QLocale::system()); }
    void bars_data();
    void bars();
    void figuresFollowTheLocale();
    void requestCarriesBothHeaders();
    void failedAnswerKeepsWhatIsShown();
    void countdown();
    void expiredResetRefetchesOnceEvery30s();
    void serialClearedHidesEverything();
    void lateAnswerForAnotherSerialDropped_data();
    void lateAnswerForAnotherSerialDropped();
    void answerRefreshesUsage();
};

void AiAssistantUsageTest::bars_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("chunk");
    QTest::addColumn<QString>("fourHour");
    QTest::addColumn<QString>("week");
    QTest::addColumn<QString>("badge");

    QTest::newRow("85 % red, plan upper-cased")
        << QByteArray(R"({"fourHourTokens":4250,"fourHourLimit":5000,"weekTokens":12345,)"
                      R"("weekLimit":100000,"plan":"pro"})")
        << 85 << "#f5566a"
        << "4h: 4,250 / 5,000 tokens (85%)"
        << "Week: 12,345 / 100,000 tokens (12%)"
        << "Pro";
    QTest::newRow("zero limit unlimited")
        << QByteArray(R"({"fourHourTokens":900,"fourHourLimit":0,"weekTokens":1200000,)"
                      R"("weekLimit":0,"plan":"MAX"})")
        << 0 << "#3a3d44"
        << "4h: 900 tokens (unlimited)"
        << "Week: 1,200,000 tokens (unlimited)"
        << "MAX";
    QTest::newRow("partial answer: missing keys count as 0")
        << QByteArray(R"({"fourHourTokens":3000,"fourHourLimit":5000})") << 60 << "#f5a623"
        << "4h: 3,000 / 5,000 tokens (60%)"
        << "Week: 0 tokens (unlimited)"
        << "Free";
    QTest::newRow("not JSON: an empty answer") << QByteArray("<html>") << 0 << "#3a3d44"
                                               << "4h: 0 tokens (unlimited)"
                                               << "Week: 0 tokens (unlimited)"
                                               << "Free";
}

void AiAssistantUsageTest::bars()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, chunk);
    QuotaFixture f;
    f.service.queueUsage(usage(answer));
    f.panel->setRadioSerial("1-2-3-4-5-6");
    QTRY_VERIFY(f.shown("fourHourBar"));
    QTEST(f.bar("fourHourBar")->value(), "value");
    QVERIFY2(f.bar("fourHourBar")->styleSheet().contains("::chunk { background: " + chunk),
             qPrintable(f.bar("fourHourBar")->styleSheet()));
    QTEST(f.badge(), "badge");
    // Collapsed: the thin bar only; a click shows the figures and the week.
    for (const char *name : {"fourHourLabel", "weekBar", "weekLabel", "limitLabel"})
        QVERIFY2(!f.shown(name), name);
    f.clickBar();
    QVERIFY(f.shown("fourHourLabel") && f.shown("weekBar") && f.shown("weekLabel"));
    QTEST(f.label("fourHourLabel")->text(), "fourHour");
    QTEST(f.label("weekLabel")->text(), "week");
    f.clickBar();
    QVERIFY(!f.shown("fourHourLabel") && !f.shown("weekBar"));
}

void AiAssistantUsageTest::figuresFollowTheLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QuotaFixture f;
    f.service.queueUsage(usage(R"({"fourHourTokens":4250,"fourHourLimit":5000})"));
    f.panel->setRadioSerial("S");
    QTRY_VERIFY(f.shown("fourHourBar"));
    f.clickBar();
    QCOMPARE(f.label("fourHourLabel")->text(), QStringLiteral("4h: 4.250 / 5.000 tokens (85%)"));
}

void AiAssistantUsageTest::requestCarriesBothHeaders()
{
    QuotaFixture f;
    f.panel->setRadioSerial("12-AB-3-4-5-6");
    QTRY_COMPARE(f.service.usageRequests().size(), 1);
    const FakeRequest request = f.service.usageRequests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.header("X-Radio-Serial"), QByteArray("12-AB-3-4-5-6"));
    QCOMPARE(request.header("X-Client-App"), QByteArray("kelo-studio"));
    QCOMPARE(f.manager.requests.first().transferTimeout(), 0);
}

void AiAssistantUsageTest::failedAnswerKeepsWhatIsShown()
{
    QuotaFixture f;
    f.service.queueUsage(usage(R"({"fourHourTokens":1,"fourHourLimit":4,"plan":"pro"})"));
    f.service.queueUsage(FakeResponse::error(503, "busy"));
    f.panel->setRadioSerial("S");
    QTRY_COMPARE(f.bar("fourHourBar")->value(), 25);
    f.panel->setRadioSerial("S");
    QVERIFY(f.settle());
    QCOMPARE(f.usageAsked(), 2);
    QCOMPARE(f.bar("fourHourBar")->value(), 25);
    QVERIFY(f.shown("fourHourBar"));
    QCOMPARE(f.badge(), QStringLiteral("Pro"));
}

void AiAssistantUsageTest::countdown()
{
    QuotaFixture f;
    f.service.queueUsage(usage(QByteArray(R"({"fourHourTokens":5000,"fourHourLimit":5000,)")
                               + R"("fourHourResetAt":)" + QByteArray::number(Now + 90 * 60000)
                               + "}"));
    f.panel->setRadioSerial("S");
    QTRY_VERIFY(f.shown("limitLabel"));
    QCOMPARE(f.label("limitLabel")->text(),
             QStringLiteral("4-hour limit reached - resets in 1:30"));
    QVERIFY(f.countdownTimer()->isActive());
    QCOMPARE(f.countdownTimer()->interval(), 30000);
    f.now += 30 * 60000;
    f.tick();
    QCOMPARE(f.label("limitLabel")->text(),
             QStringLiteral("4-hour limit reached - resets in 1:00"));
    QCOMPARE(f.usageAsked(), 1);
}

void AiAssistantUsageTest::expiredResetRefetchesOnceEvery30s()
{
    QuotaFixture f;
    // The service keeps reporting the same reset time, which by then lies in the past.
    f.service.queueUsage(usage(QByteArray(R"({"fourHourTokens":5000,"fourHourLimit":5000,)")
                               + R"("fourHourResetAt":)" + QByteArray::number(Now + 1000) + "}"));
    f.panel->setRadioSerial("S");
    QTRY_VERIFY(f.shown("limitLabel"));
    QCOMPARE(f.label("limitLabel")->text(),
             QStringLiteral("4-hour limit reached - resets in 0:01"));

    f.now += 1500;
    f.tick();
    QVERIFY(!f.shown("limitLabel"));
    QCOMPARE(f.usageAsked(), 2); // one refetch when the reset time passes
    QVERIFY(f.settle());
    QCOMPARE(f.usageAsked(), 2); // the same answer again does not ask at once
    QVERIFY(!f.shown("limitLabel"));
    QVERIFY(f.countdownTimer()->isActive());

    f.now += 29999;
    f.tick();
    QCOMPARE(f.usageAsked(), 2);
    f.now += 1;
    f.tick();
    QCOMPARE(f.usageAsked(), 3);
    QVERIFY(f.settle());

    // A later answer without a reset time ends it: no more refetches.
    f.service.clearUsage();
    f.service.queueUsage(usage(R"({"fourHourTokens":10,"fourHourLimit":5000})"));
    f.now += 30000;
    f.tick();
    QCOMPARE(f.usageAsked(), 4);
    QVERIFY(f.settle());
    QVERIFY(!f.countdownTimer()->isActive());
    f.now += 60000;
    f.tick();
    QCOMPARE(f.usageAsked(), 4);
}

void AiAssistantUsageTest::serialClearedHidesEverything()
{
    QuotaFixture f;
    f.service.queueUsage(usage(QByteArray(R"({"fourHourTokens":5000,"fourHourLimit":5000,)")
                               + R"("plan":"pro","fourHourResetAt":)"
                               + QByteArray::number(Now + 600000) + "}"));
    f.panel->setRadioSerial("S");
    QTRY_VERIFY(f.shown("limitLabel"));
    f.clickBar();
    QVERIFY(f.shown("weekBar"));

    f.panel->setRadioSerial(QString());
    for (const char *name : {"fourHourBar", "limitLabel", "fourHourLabel", "weekBar", "weekLabel"})
        QVERIFY2(!f.shown(name), name);
    QVERIFY(!f.countdownTimer()->isActive());
    QCOMPARE(f.badge(), QStringLiteral("Pro")); // the badge keeps its text
    // No request without a serial, also when a reset time would have passed.
    f.now += 3600000;
    f.tick();
    QCOMPARE(f.usageAsked(), 1);

    // The next good answer shows the thin bar only: the view collapsed.
    f.service.queueUsage(usage(R"({"fourHourTokens":1,"fourHourLimit":5000})"));
    f.panel->setRadioSerial("S");
    QTRY_VERIFY(f.shown("fourHourBar"));
    QVERIFY(!f.shown("weekBar"));
}

void AiAssistantUsageTest::lateAnswerForAnotherSerialDropped_data()
{
    QTest::addColumn<QString>("next"); // the serial set while the first answer is under way
    QTest::newRow("cleared") << QString();
    QTest::newRow("another radio") << QStringLiteral("B");
}

void AiAssistantUsageTest::lateAnswerForAnotherSerialDropped()
{
    QFETCH(QString, next);
    QuotaFixture f;
    f.service.server().setHandler("/v1/usage", [](const FakeRequest &request) {
        if (request.header("X-Radio-Serial") == "A")
            return usage(R"({"fourHourTokens":4999,"fourHourLimit":5000,"plan":"pro"})")
                .delayed(300);
        return usage(R"({"fourHourTokens":1,"fourHourLimit":5000,"plan":"max"})");
    });
    f.panel->setRadioSerial("A");
    f.panel->setRadioSerial(next);
    QVERIFY(f.settle());
    QCOMPARE(f.usageAsked(), next.isEmpty() ? 1 : 2);
    if (next.isEmpty()) {
        QVERIFY(!f.shown("fourHourBar"));
        QCOMPARE(f.badge(), QStringLiteral("Free"));
    } else {
        QCOMPARE(f.bar("fourHourBar")->value(), 0);
        QCOMPARE(f.badge(), QStringLiteral("Max"));
    }
}

void AiAssistantUsageTest::answerRefreshesUsage()
{
    QuotaFixture f;
    f.panel->setRadioSerial("S");
    QVERIFY(f.settle());
    f.service.queueText("Hi.");
    f.send("hello");
    QTRY_VERIFY(f.idle());
    QVERIFY(f.settle());
    QCOMPARE(f.usageAsked(), 2);
    VERIFY_BODIES(f);
}

QTEST_MAIN(AiAssistantUsageTest)
#include "tst_aiassistantusage.moc"
