// Discovery end to end. Runs only inside the private namespace of scripts/netns.sh with
// KELO_NETNS_HOSTS=252: 10.77.0.1/24 is the program's own address and every other host
// of the /24 is a local /32 that refuses at once unless a fake listens on it.
#include "FakeRadio.h"
#include "NetnsGuard.h"
#include "RadioScanner.h"
#include "RecordingNetworkManager.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(FakeResponse)

static const QHostAddress RadioAddress(QStringLiteral("10.77.0.2"));
static const int TickMs = 300;

// Qt's warnings during a test: a reply cancelled the wrong way makes Qt's network code report
// an internal problem when the host's own refusal arrives after the cancel.
static QStringList qtWarnings;
static QtMessageHandler previousHandler = nullptr;

static void recordWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        qtWarnings.append(text);
    previousHandler(type, context, text);
}

class RadioScannerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void findsRechecksAndLosesRadio();
    void sweepStaysWithin24AndSkipsOwnAddresses();
    void answersThatAreNotARadio_data();
    void answersThatAreNotARadio();
    void badSerialIsAskedAgain_data();
    void badSerialIsAskedAgain();
    void tricklingHostDoesNotHoldTheSweep();
    void serialOfALostRadioIsIgnored();
    void burstOnTheSharedManagerDoesNotLoseTheRadio();
};

void RadioScannerTest::initTestCase()
{
    KELO_REQUIRE_TEST_LAN("sweep");
    previousHandler = qInstallMessageHandler(recordWarnings);
}

void RadioScannerTest::init()
{
    qtWarnings.clear();
}

void RadioScannerTest::cleanup()
{
    QVERIFY2(qtWarnings.isEmpty(), qPrintable(qtWarnings.join(QLatin1Char('\n'))));
}

void RadioScannerTest::findsRechecksAndLosesRadio()
{
    FakeRadio radio;
    QVERIFY(radio.listen(RadioAddress, 80));

    RadioScanner scanner;
    QSignalSpy started(&scanner, &RadioScanner::scanStarted);
    QSignalSpy found(&scanner, &RadioScanner::deviceFound);
    QSignalSpy notFound(&scanner, &RadioScanner::deviceNotFound);
    QSignalSpy serial(&scanner, &RadioScanner::serialFound);
    scanner.startPeriodicScanning(TickMs);
    QCOMPARE(started.count(), 1); // the first sweep begins at once

    QTRY_VERIFY_WITH_TIMEOUT(found.count() >= 1, 10000);
    QCOMPARE(found.at(0).at(0).toString(), QStringLiteral("10.77.0.2"));
    QCOMPARE(found.at(0).at(1).toString(), QStringLiteral("KeloNet"));
    QCOMPARE(found.at(0).at(2).toString(), QStringLiteral("Heli 450"));
    QCOMPARE(scanner.ip, QStringLiteral("10.77.0.2"));
    QTRY_COMPARE_WITH_TIMEOUT(serial.count(), 1, 5000);
    QCOMPARE(serial.at(0).at(0).toString(), QStringLiteral("12-AB-3-4-5-6"));
    QCOMPARE(scanner.serial, QStringLiteral("12-AB-3-4-5-6"));

    // Every tick re-checks only the known address; the serial is not asked again.
    QTRY_VERIFY_WITH_TIMEOUT(found.count() >= 4, 10000);
    QCOMPARE(serial.count(), 1);
    QCOMPARE(radio.countFor("/system/serial"), 1);
    QCOMPARE(started.count(), 1);
    QCOMPARE(notFound.count(), 0);

    // Switched off: the identity is forgotten at once, a sweep starts and ends empty.
    radio.close();
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 2, 10000);
    QVERIFY(scanner.ip.isEmpty());
    QVERIFY(scanner.serial.isEmpty());
    QVERIFY(scanner.modelName.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(notFound.count() >= 1, 15000);

    // Back again: found, and the serial is fetched anew.
    const int before = found.count();
    QVERIFY(radio.listen(RadioAddress, 80));
    QTRY_VERIFY_WITH_TIMEOUT(found.count() > before, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(serial.count(), 2, 5000);
}

void RadioScannerTest::sweepStaysWithin24AndSkipsOwnAddresses()
{
    // One fake behind every address: only 10.77.0.200 is the radio, the others answer
    // slowly with 404 so the sweep keeps its requests in flight: all 24 of them at once.
    FakeHttpServer everyone;
    QVERIFY(everyone.listen(QHostAddress::AnyIPv4, 80));
    everyone.setFallback([](const FakeRequest &r) {
        if (r.path == "/system/info" && r.localAddress == QHostAddress("10.77.0.200"))
            return FakeResponse::json(R"({"network":"N","ip":"x","mdlcur":"M"})");
        return FakeResponse::error(404).delayed(600);
    });

    RadioScanner scanner;
    QSignalSpy found(&scanner, &RadioScanner::deviceFound);
    scanner.startPeriodicScanning(60000); // one sweep only
    QTRY_VERIFY_WITH_TIMEOUT(found.count() >= 1, 30000);
    QCOMPARE(found.at(0).at(0).toString(), QStringLiteral("10.77.0.200"));
    QTest::qWait(500); // the aborted rest must not show up later

    QCOMPARE(everyone.maxInFlight(), 24);

    QSet<quint32> asked;
    for (const FakeRequest &r : everyone.requestsFor("/system/info")) {
        const quint32 host = r.localAddress.toIPv4Address() & 0xff;
        QVERIFY2(host != 0 && host != 1 && host != 255, qPrintable(r.localAddress.toString()));
        QVERIFY2(!asked.contains(host), "a host was asked twice in one sweep");
        asked.insert(host);
        // Ascending order with 24 in flight: nothing far beyond the radio was asked.
        QVERIFY2(host < 200 + 24, qPrintable(r.localAddress.toString()));
    }
    QVERIFY(asked.contains(2));
    QVERIFY(asked.contains(200));
}

void RadioScannerTest::answersThatAreNotARadio_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<bool>("isRadio");

    const QByteArray valid = R"({"network":"N","ip":"1.2.3.4","mdlcur":"M"})";
    QTest::newRow("valid") << FakeResponse::json(valid) << true;
    QTest::newRow("HTTP error with a valid body") << FakeResponse::json(valid, 500) << false;
    QTest::newRow("network without ip") << FakeResponse::json(R"({"network":"N"})") << false;
    QTest::newRow("junk after JSON") << FakeResponse::json(valid + "x") << false;
    QTest::newRow("array") << FakeResponse::json("[1,2]") << false;
    FakeResponse hang = FakeResponse::json(valid);
    hang.mode = FakeResponse::Hang;
    QTest::newRow("hangs until the time-out") << hang << false;
    FakeResponse drop = FakeResponse::json(valid);
    drop.mode = FakeResponse::Drop;
    QTest::newRow("connection dropped") << drop << false;
    QTest::newRow("endless body") << FakeResponse::endless(valid.left(20)) << false;
    QTest::newRow("huge Content-Length") << FakeResponse::hugeLength() << false;
    // A byte every 100 ms never trips the inactivity time-out; 1200 ms is the whole budget.
    QTest::newRow("valid answer trickled") << FakeResponse::trickle(valid, 100) << false;
}

void RadioScannerTest::answersThatAreNotARadio()
{
    QFETCH(FakeResponse, response);
    QFETCH(bool, isRadio);

    FakeRadio radio;
    radio.setResponse("/system/info", response);
    QVERIFY(radio.listen(RadioAddress, 80));

    RadioScanner scanner;
    QSignalSpy found(&scanner, &RadioScanner::deviceFound);
    QSignalSpy notFound(&scanner, &RadioScanner::deviceNotFound);
    scanner.startPeriodicScanning(60000);
    QTRY_VERIFY_WITH_TIMEOUT(found.count() + notFound.count() >= 1, 15000);
    QCOMPARE(found.count(), isRadio ? 1 : 0);
    QCOMPARE(notFound.count(), isRadio ? 0 : 1);
    QCOMPARE(scanner.ip.isEmpty(), !isRadio);
}

void RadioScannerTest::badSerialIsAskedAgain_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<bool>("tooLarge"); // refused for passing the 1 MiB limit of a text

    QTest::newRow("five fields") << FakeResponse::text("{1,2,3,4,5}") << false;
    QTest::newRow("endless body") << FakeResponse::endless("{1,2,3,4,5,6") << true;
    QTest::newRow("200 MiB body announced")
        << FakeResponse::oversized(200 * 1024 * 1024, "{1,2,3,4,5,6}") << true;
    FakeResponse unannounced = FakeResponse::endless("{1,2,3,4,5,6}");
    unannounced.streamLength = 2 * 1024 * 1024;
    QTest::newRow("2 MiB body without a length") << unannounced << true;
    QTest::newRow("huge Content-Length") << FakeResponse::hugeLength() << true;
}

void RadioScannerTest::badSerialIsAskedAgain()
{
    QFETCH(FakeResponse, response);
    QFETCH(bool, tooLarge);
    FakeRadio radio;
    radio.setResponse("/system/serial", response);
    QVERIFY(radio.listen(RadioAddress, 80));

    RecordingNetworkManager manager;
    RadioScanner scanner;
    scanner.networkManager = &manager;
    QSignalSpy serial(&scanner, &RadioScanner::serialFound);
    scanner.startPeriodicScanning(TickMs);
    // While no serial is known, every successful re-check asks for it again.
    QVERIFY(radio.waitForRequests("/system/serial", 3, 10000));
    const auto asked = manager.sentFor("/system/serial");
    QTRY_VERIFY_WITH_TIMEOUT(asked.at(2)->finished, 5000);
    // Never much more than the limit held: 1 MiB and what Qt reads past it.
    const QStringList problems = manager.limitProblems("/system/serial", tooLarge, 3 * 1024 * 1024);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QCOMPARE(serial.count(), 0);
    QVERIFY(scanner.serial.isEmpty());

    radio.setSerialBody("{1,2,3,4,5,6}");
    QTRY_COMPARE_WITH_TIMEOUT(serial.count(), 1, 5000);
    QCOMPARE(scanner.serial, QStringLiteral("1-2-3-4-5-6"));
}

void RadioScannerTest::tricklingHostDoesNotHoldTheSweep()
{
    // Below the radio's address, a host answers /system/info at a byte a second.
    FakeRadio trickler;
    trickler.setResponse("/system/info",
                         FakeResponse::trickle(R"({"network":"N","ip":"x","mdlcur":"M"})", 1000));
    QVERIFY(trickler.listen(RadioAddress, 80));

    RadioScanner scanner;
    QSignalSpy started(&scanner, &RadioScanner::scanStarted);
    QSignalSpy found(&scanner, &RadioScanner::deviceFound);
    QSignalSpy notFound(&scanner, &RadioScanner::deviceNotFound);
    scanner.startPeriodicScanning(TickMs);
    // The sweep ends although the trickler never finishes its answer.
    QTRY_VERIFY_WITH_TIMEOUT(notFound.count() >= 1, 10000);
    QCOMPARE(found.count(), 0);

    // The radio is switched on: found in the sweep under way or the next one.
    const int sweepsBefore = started.count();
    FakeRadio radio;
    QVERIFY(radio.listen(QHostAddress(QStringLiteral("10.77.0.9")), 80));
    QTRY_VERIFY_WITH_TIMEOUT(found.count() >= 1, 15000);
    QCOMPARE(found.at(0).at(0).toString(), QStringLiteral("10.77.0.9"));
    QVERIFY2(started.count() <= sweepsBefore + 1, qPrintable(QString::number(started.count())));
}

void RadioScannerTest::serialOfALostRadioIsIgnored()
{
    // Found once, then refused: the next tick loses it while its serial is on the way.
    FakeRadio radio;
    int infos = 0;
    radio.setHandler("/system/info", [&infos](const FakeRequest &) {
        return ++infos == 1 ? FakeResponse::json(R"({"network":"N","ip":"x","mdlcur":"M"})")
                            : FakeResponse::error(500);
    });
    radio.setResponse("/system/serial", FakeResponse::text("{1,2,3,4,5,6}").delayed(800));
    QVERIFY(radio.listen(RadioAddress, 80));

    RadioScanner scanner;
    QSignalSpy found(&scanner, &RadioScanner::deviceFound);
    QSignalSpy started(&scanner, &RadioScanner::scanStarted);
    QSignalSpy serial(&scanner, &RadioScanner::serialFound);
    // Told in the same emission as the scanner's own handler of the reply.
    int serialsAnswered = 0;
    connect(scanner.networkManager, &QNetworkAccessManager::finished, this,
            [&serialsAnswered](QNetworkReply *reply) {
                serialsAnswered += reply->url().path() == QLatin1String("/system/serial");
            });
    scanner.startPeriodicScanning(TickMs);
    QTRY_COMPARE_WITH_TIMEOUT(found.count(), 1, 10000);
    QVERIFY(radio.waitForRequests("/system/serial", 1));
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 2, 5000); // lost before the serial came
    QVERIFY(scanner.ip.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(serialsAnswered, 1, 5000);
    QCOMPARE(serial.count(), 0);
    QVERIFY(scanner.serial.isEmpty());
}

void RadioScannerTest::burstOnTheSharedManagerDoesNotLoseTheRadio()
{
    // Whatever else uses the program's one network manager (a tab, a tool) asks the radio
    // 36 slow things at once, 300 ms before a re-check: the manager's six connections to
    // the host need three seconds for them, longer than the re-check's 1200 ms.
    FakeRadio radio;
    radio.setResponse("/slow", FakeResponse::text("x").delayed(500));
    QVERIFY(radio.listen(RadioAddress, 80));

    RadioScanner scanner;
    QSignalSpy started(&scanner, &RadioScanner::scanStarted);
    QSignalSpy found(&scanner, &RadioScanner::deviceFound);
    QSignalSpy notFound(&scanner, &RadioScanner::deviceNotFound);
    scanner.startPeriodicScanning(2000);
    QTRY_VERIFY_WITH_TIMEOUT(!scanner.serial.isEmpty(), 10000);

    const QUrl slow(QStringLiteral("http://10.77.0.2/slow"));
    for (int round = 0; round < 3; ++round) {
        const int seen = radio.countFor("/system/info");
        QTRY_VERIFY_WITH_TIMEOUT(radio.countFor("/system/info") > seen, 5000);
        const qint64 due = radio.requestsFor("/system/info").last().receivedMs + 1700;
        QTRY_VERIFY_WITH_TIMEOUT(radio.elapsedMs() >= due, 5000);
        for (int i = 0; i < 36; ++i) {
            QNetworkReply *reply = scanner.networkManager->get(QNetworkRequest(slow));
            connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        }
        const int before = found.count();
        QTRY_VERIFY_WITH_TIMEOUT(found.count() > before, 5000); // the re-check under the burst
    }
    QTRY_COMPARE_WITH_TIMEOUT(radio.countFor("/slow"), 3 * 36, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(radio.inFlight(), 0, 15000);
    QCOMPARE(radio.maxInFlight(), 6); // the burst did fill every connection

    QCOMPARE(started.count(), 1); // the first sweep only
    QCOMPARE(notFound.count(), 0);
    QCOMPARE(scanner.ip, QStringLiteral("10.77.0.2"));
    QCOMPARE(radio.countFor("/system/serial"), 1); // never forgotten, never asked again
}

QTEST_GUILESS_MAIN(RadioScannerTest)
#include "tst_radioscanner.moc"
