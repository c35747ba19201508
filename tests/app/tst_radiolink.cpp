// The radio link as the main window sets it up, at its real period, inside the
// namespace's test LAN: 10.77.0.1/24 is the program's own address, every other host of
// the /24 is a local /32 that refuses at once unless a fake listens on it.
#include "FakeRadio.h"
#include "KeloResources.h"
#include "NetnsGuard.h"
#include "RadioScanner.h"
#include "SimThread.h"
#include "TabDialog.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

static const QHostAddress RadioAddress(QStringLiteral("10.77.0.2"));

class RadioLinkTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recheckEveryTwoSecondsLostAfter1200ms();
    void burstOfTabRequestsDoesNotLoseTheRadio();
    void cleanupTestCase();

private:
    QTemporaryDir home;
};

void RadioLinkTest::initTestCase()
{
    KELO_REQUIRE_TEST_LAN("sweep");
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    initKeloResources();
    res_path = QStringLiteral(":/");
}

void RadioLinkTest::recheckEveryTwoSecondsLostAfter1200ms()
{
    FakeRadio radio;
    QVERIFY(radio.listen(RadioAddress, 80));
    QElapsedTimer clock;
    clock.start();
    QList<qint64> asked;
    connect(&radio, &FakeHttpServer::requestReceived, this, [&](const FakeRequest &r) {
        if (r.path == "/system/info")
            asked.append(clock.elapsed());
    });

    TabDialog dialog;
    RadioScanner *scanner = dialog.radioScanner();
    QList<qint64> started, notFound, found;
    connect(scanner, &RadioScanner::scanStarted, this, [&]() { started.append(clock.elapsed()); });
    connect(scanner, &RadioScanner::deviceNotFound, this,
            [&]() { notFound.append(clock.elapsed()); });
    connect(scanner, &RadioScanner::deviceFound, this, [&]() { found.append(clock.elapsed()); });

    // Found; then each tick asks that address alone, every 2000 ms. (The first sweep, begun
    // before the pages are built, misses the radio when building them holds the event loop
    // past its 1200 ms: on a busy machine, in a sanitizer build. The next one finds it.)
    QTRY_VERIFY_WITH_TIMEOUT(asked.size() >= 5, 20000);
    QCOMPARE(scanner->ip, QStringLiteral("10.77.0.2"));
    // Seen where the fake receives them: on a busy machine one request may arrive late and
    // the next on time, so single gaps vary, but not their mean.
    const qint64 gap = (asked[4] - asked[1]) / 3;
    QVERIFY2(gap >= 1800 && gap < 2500, qPrintable(QString::number(gap)));
    QVERIFY(!found.isEmpty());
    QVERIFY2(started.isEmpty() || started.last() < found.first(),
             qPrintable(QStringLiteral("found at %1, a sweep at %2")
                            .arg(found.first())
                            .arg(started.value(started.size() - 1))));
    const int sweeps = started.size();
    const int misses = notFound.size();

    // Switched off without closing its connections: the re-check gives up after 1200 ms,
    // the identity goes and a sweep starts; it ends once the radio's request times out too.
    radio.setResponse("/system/info", FakeResponse::hang());
    const int before = asked.size();
    QTRY_VERIFY_WITH_TIMEOUT(asked.size() > before, 5000);
    const qint64 lastCheck = asked.last();
    QTRY_COMPARE_WITH_TIMEOUT(started.size(), sweeps + 1, 10000);
    const qint64 lostAfter = started.last() - lastCheck;
    QVERIFY2(lostAfter >= 1100 && lostAfter < 1900, qPrintable(QString::number(lostAfter)));
    QVERIFY(scanner->ip.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(notFound.size(), misses + 1, 10000);
    const qint64 sweptFor = notFound.last() - started.last();
    QVERIFY2(sweptFor >= 1100 && sweptFor < 1900, qPrintable(QString::number(sweptFor)));
}

void RadioLinkTest::burstOfTabRequestsDoesNotLoseTheRadio()
{
    // 24 apps whose icons and versions take 400 ms each: shown just before a tick, the tab
    // keeps the manager's six connections to the radio busy for some two seconds. (A burst
    // beyond them, which the tab itself no longer sends, is the scanner suite's.)
    FakeRadio radio;
    QJsonArray apps;
    for (int i = 0; i < 24; ++i)
        apps << QStringLiteral("App%1").arg(i) << QStringLiteral("detail");
    radio.setResponse("/app/list",
                      FakeResponse::json(QJsonDocument(QJsonObject {{"list", apps}}).toJson()));
    radio.setFallback([](const FakeRequest &r) {
        if (r.path.startsWith("/media/apps/"))
            return FakeResponse::text("1 0 0").delayed(400);
        return FakeResponse::error(404);
    });
    QVERIFY(radio.listen(RadioAddress, 80));
    QElapsedTimer clock;
    clock.start();
    QList<qint64> checks;
    connect(&radio, &FakeHttpServer::requestReceived, this, [&](const FakeRequest &r) {
        if (r.path == "/system/info")
            checks.append(clock.elapsed());
    });

    TabDialog dialog;
    dialog.resize(1000, 700);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    RadioScanner *scanner = dialog.radioScanner();
    QTRY_VERIFY_WITH_TIMEOUT(checks.size() >= 2 && !scanner->serial.isEmpty(), 20000);
    QSignalSpy started(scanner, &RadioScanner::scanStarted);
    QSignalSpy notFound(scanner, &RadioScanner::deviceNotFound);
    QSignalSpy found(scanner, &RadioScanner::deviceFound);

    // Three times: open the Applications tab 1700 ms after a re-check, so its burst is
    // queued when the next re-check is asked.
    for (int round = 0; round < 3; ++round) {
        const int seen = checks.size();
        QTRY_VERIFY_WITH_TIMEOUT(checks.size() > seen, 5000);
        const qint64 due = checks.last() + 1700;
        QTRY_VERIFY_WITH_TIMEOUT(clock.elapsed() >= due, 5000);
        tabWidget->setCurrentIndex(0);
        tabWidget->setCurrentIndex(5);
        const int asked = radio.countFor("/app/list");
        QTRY_VERIFY_WITH_TIMEOUT(radio.countFor("/app/list") > asked, 5000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(radio.inFlight() == 0, 10000);
    // One more tick finds it too.
    const int afterBurst = found.count();
    QTRY_VERIFY_WITH_TIMEOUT(found.count() > afterBurst, 5000);

    QCOMPARE(started.count(), 0);
    QCOMPARE(notFound.count(), 0);
    QCOMPARE(scanner->ip, QStringLiteral("10.77.0.2"));
    QCOMPARE(radio.countFor("/system/serial"), 1); // never forgotten, never asked again
    QVERIFY(found.count() >= 4);
    QVERIFY(radio.maxInFlight() >= 6); // the burst did fill every connection
}

void RadioLinkTest::cleanupTestCase()
{
    simThread.requestStop();
    QVERIFY(simThread.wait(10000));
}

QTEST_MAIN(RadioLinkTest)
#include "tst_radiolink.moc"
