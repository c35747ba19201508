#include "FakeRadio.h"
#include "KeloResources.h"
#include "RadioLogSource.h"
#include "RadioReply.h"
#include "RadioScanner.h"
#include "TestSupport.h"
#include "WelcomeScreenWidget.h"

#include <QLabel>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(FakeResponse)

// The tab side of the radio log list: a scanner that sends nothing (the test emits its
// signals), the two lists, a status line, and the fake radio on 127.0.0.1.
struct Fixture
{
    FakeRadio radio;
    RadioScanner scanner;
    QWidget page;
    QListWidget *tabList = new QListWidget(&page);
    WelcomeScreenWidget *welcome = new WelcomeScreenWidget(
        QStringLiteral(":/icons/tab-logviewer.svg"), QStringLiteral("T"), QStringLiteral("S"),
        QStringLiteral("1"), QStringLiteral("2"), &page);
    QLabel *status = new QLabel(&page);
    RadioLogSource *source = nullptr;
    QSignalSpy replies {scanner.networkManager, &QNetworkAccessManager::finished};

    Fixture()
    {
        radio.listen();
        tabList->hide();
        radio.setResponse("/log/list", FakeResponse::json(R"({"list":[3,"A",1234,7,"B"]})"));
    }
    void create()
    {
        source = new RadioLogSource(&scanner, tabList, welcome, &page);
        QObject::connect(source, &RadioLogSource::statusChanged, status, &QLabel::setText);
    }
    void found(const QString &model)
    {
        scanner.ip = radio.address();
        scanner.modelName = model;
        emit scanner.deviceFound(radio.address(), QStringLiteral("KeloNet"), model);
    }
    bool listShown() const { return !tabList->isHidden() && !welcome->logList->isHidden(); }
};

class RadioLogSourceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        initKeloResources();
        TestSupport::unsetProxies();
    }
    void listFillsBothLists();
    void clickDownloadsByIdAndLength();
    void fetchesOnlyWhenModelChanges();
    void emptyModelGetsNoList();
    void identityKnownAtConstruction();
    void badListAnswers_data();
    void badListAnswers();
    void downloadFailureReported();
    void failedListSaysSoOnTheCard_data();
    void failedListSaysSoOnTheCard();
    void longListCutWithNote();
    void longNamesCutForDisplay();
    void downloadTooLarge_data();
    void downloadTooLarge();
    void noRadioNoDownload();
    void staleListIgnored();
};

void RadioLogSourceTest::listFillsBothLists()
{
    Fixture f;
    f.create();
    QVERIFY(f.welcome->logList->isHidden());
    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 1, 10000);
    for (QListWidget *list : {f.tabList, f.welcome->logList}) {
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("A  (2:03)"));
        QCOMPARE(list->item(0)->data(Qt::UserRole).toLongLong(), 3);
        QCOMPARE(list->item(0)->data(Qt::UserRole + 1).toLongLong(), 1234);
    }
    QVERIFY(f.listShown());
    const FakeRequest request = f.radio.requestsFor("/log/list").value(0);
    QCOMPARE(request.method, QByteArray("GET"));
}

void RadioLogSourceTest::clickDownloadsByIdAndLength()
{
    Fixture f;
    const QByteArray log("\x01\x02\x03\x00\x00\x00\xff", 7);
    f.radio.setResponse("/log/get/3-1234", FakeResponse::bytes(log, "application/octet-stream"));
    f.create();
    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.welcome->logList->count(), 1, 10000);

    QSignalSpy downloaded(f.source, &RadioLogSource::logDownloaded);
    QVERIFY(f.source->downloadLog(f.welcome->logList->item(0)));
    QCOMPARE(f.status->text(), QStringLiteral("Downloading log..."));
    QTRY_COMPARE_WITH_TIMEOUT(downloaded.count(), 1, 10000);
    QCOMPARE(f.radio.requestsFor("/log/get/3-1234").value(0).requestLine,
             QByteArray("GET /log/get/3-1234 HTTP/1.1"));
    QCOMPARE(downloaded.at(0).at(0).toByteArray(), log);
    QCOMPARE(downloaded.at(0).at(1).toString(), QStringLiteral("A  (2:03)"));
}

void RadioLogSourceTest::fetchesOnlyWhenModelChanges()
{
    Fixture f;
    f.create();
    // The scanner repeats deviceFound on every re-check of the same radio.
    for (int i = 0; i < 5; ++i) {
        f.found(QStringLiteral("Heli 450"));
        QTest::qWait(100);
    }
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 1, 10000);
    QTest::qWait(200);
    QCOMPARE(f.radio.countFor("/log/list"), 1);

    f.found(QStringLiteral("Plane"));
    QTRY_COMPARE_WITH_TIMEOUT(f.radio.countFor("/log/list"), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 2, 10000);

    emit f.scanner.deviceNotFound();
    QCOMPARE(f.tabList->count(), 0);
    QCOMPARE(f.welcome->logList->count(), 0);
    QVERIFY(f.tabList->isHidden());
    QVERIFY(f.welcome->logList->isHidden());
    QVERIFY(f.source->radioIp().isEmpty());

    // Found again after a loss: the list is fetched although the model is the same.
    f.found(QStringLiteral("Plane"));
    QTRY_COMPARE_WITH_TIMEOUT(f.radio.countFor("/log/list"), 3, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(f.welcome->logList->count(), 1, 10000);
    QVERIFY(f.listShown());
}

void RadioLogSourceTest::emptyModelGetsNoList()
{
    Fixture f;
    f.create();
    for (int i = 0; i < 3; ++i)
        f.found(QString());
    QTest::qWait(300);
    QCOMPARE(f.radio.countFor("/log/list"), 0);
    QCOMPARE(f.source->radioIp(), f.radio.address());
    // The address is still taken, so a click would download.
    f.found(QStringLiteral("M"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 1, 10000);
    QCOMPARE(f.radio.countFor("/log/list"), 1);
}

void RadioLogSourceTest::identityKnownAtConstruction()
{
    Fixture f;
    f.scanner.ip = f.radio.address();
    f.scanner.modelName = QStringLiteral("Heli 450");
    f.create();
    QTRY_COMPARE_WITH_TIMEOUT(f.welcome->logList->count(), 1, 10000);
    QCOMPARE(f.source->modelName(), QStringLiteral("Heli 450"));
    // Same model on the next re-check: no second request.
    f.found(QStringLiteral("Heli 450"));
    QTest::qWait(200);
    QCOMPARE(f.radio.countFor("/log/list"), 1);
}

void RadioLogSourceTest::badListAnswers_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<int>("itemsAfter"); // -1: lists unchanged

    QTest::newRow("500") << FakeResponse::json(R"({"list":[]})", 500) << -1;
    QTest::newRow("garbage") << FakeResponse::json("\x00\xff{{[") << -1;
    QTest::newRow("array not object") << FakeResponse::json("[1,\"X\",10]") << -1;
    QTest::newRow("truncated JSON") << FakeResponse::json(R"({"list":[1,"X",10)") << -1;
    QTest::newRow("connection dropped") << FakeResponse::drop() << -1;
    // Answers only after the 3000 ms transfer time-out has given up.
    QTest::newRow("hangs") << FakeResponse::hang() << -1;
    QTest::newRow("no list member") << FakeResponse::json(R"({"other":1})") << 0;
    QTest::newRow("list not an array") << FakeResponse::json(R"({"list":"x"})") << 0;
    QTest::newRow("only bad triples") << FakeResponse::json(R"({"list":[1,"X",-4]})") << 0;
    // Cut at the 1 MiB limit of a text answer, however it is framed.
    QTest::newRow("endless body") << FakeResponse::endless(R"({"list":[1,")") << -1;
    QTest::newRow("huge Content-Length") << FakeResponse::hugeLength() << -1;
    QTest::newRow("a million entries")
        << FakeResponse::oversized(8 * 1024 * 1024, R"({"list":[0,"",0,1,"",0,)") << -1;
    // A valid list at a byte every 100 ms is still arriving at the 3000 ms deadline.
    QTest::newRow("trickled past the time-out")
        << FakeResponse::trickle(R"({"list":[1,"Slow one",10,2,"Slow two",20,3,"Three",30]})", 100)
        << -1;
}

void RadioLogSourceTest::badListAnswers()
{
    QFETCH(FakeResponse, response);
    QFETCH(int, itemsAfter);

    Fixture f;
    f.create();
    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.welcome->logList->count(), 1, 10000);

    f.radio.setResponse("/log/list", response);
    f.found(QStringLiteral("Other model"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 2, 15000);

    if (itemsAfter < 0) {
        QCOMPARE(f.tabList->count(), 1);
        QCOMPARE(f.welcome->logList->count(), 1);
        QCOMPARE(f.welcome->logList->item(0)->text(), QStringLiteral("A  (2:03)"));
        QVERIFY(f.listShown());
    } else {
        QCOMPARE(f.tabList->count(), itemsAfter);
        QCOMPARE(f.welcome->logList->count(), itemsAfter);
        QVERIFY(f.tabList->isHidden());
        QVERIFY(f.welcome->logList->isHidden());
    }
    QVERIFY(f.status->text().isEmpty());

    // The next good answer is shown.
    f.radio.setResponse("/log/list", FakeResponse::json(R"({"list":[9,"Next",600]})"));
    f.found(QStringLiteral("Third model"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 3, 15000);
    QCOMPARE(f.tabList->count(), 1);
    QCOMPARE(f.welcome->logList->item(0)->text(), QStringLiteral("Next  (1:00)"));
    QVERIFY(f.listShown());
}

void RadioLogSourceTest::failedListSaysSoOnTheCard_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<QString>("note");
    QTest::newRow("huge Content-Length")
        << FakeResponse::hugeLength() << "The radio's log list is too large to show.";
    QTest::newRow("endless body") << FakeResponse::endless(R"({"list":[1,")")
                                  << "The radio's log list is too large to show.";
    QTest::newRow("no answer") << FakeResponse::hang()
                               << "The radio's log list could not be read: The radio did not "
                                  "answer in time";
    QTest::newRow("garbage") << FakeResponse::json("\x00\xff{{[")
                             << "The radio's log list could not be read.";
}

// A connected radio whose list cannot be shown: the card says why where the list would be,
// never the invitation to connect; once the radio is lost the invitation is back.
void RadioLogSourceTest::failedListSaysSoOnTheCard()
{
    QFETCH(FakeResponse, response);
    QFETCH(QString, note);

    Fixture f;
    f.radio.setResponse("/log/list", response);
    f.create();
    auto *placeholder = f.welcome->findChild<QLabel *>(QStringLiteral("radioLogsPlaceholder"));
    QVERIFY(placeholder);
    const QString invitation
        = QStringLiteral("Connect to your Kelo radio to browse its stored logs here.");
    QCOMPARE(placeholder->text(), invitation);
    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 1, 15000);
    QCOMPARE(placeholder->text(), note);
    QCOMPARE(placeholder->textFormat(), Qt::PlainText);
    QVERIFY(!placeholder->isHidden());
    QVERIFY(f.welcome->logList->isHidden());

    // A good list replaces the note; the radio lost, the invitation is back.
    f.radio.setResponse("/log/list", FakeResponse::json(R"({"list":[9,"Next",600]})"));
    f.found(QStringLiteral("Other model"));
    QTRY_COMPARE_WITH_TIMEOUT(f.welcome->logList->count(), 1, 15000);
    QVERIFY(f.listShown());
    QCOMPARE(placeholder->text(), invitation);
    f.radio.setResponse("/log/list", response);
    f.found(QStringLiteral("Third model"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 3, 15000);
    QCOMPARE(placeholder->text(), note);
    f.scanner.ip.clear();
    emit f.scanner.deviceNotFound();
    QCOMPARE(placeholder->text(), invitation);
    QVERIFY(!placeholder->isHidden());
}

void RadioLogSourceTest::longListCutWithNote()
{
    // More logs than a radio holds: the first 10000 are listed, a slice at a time.
    QByteArray body = R"({"list":[)";
    for (int i = 0; i < 12000; ++i)
        body += QByteArray::number(i) + R"(,"L",)" + QByteArray::number(i) + ',';
    body.chop(1);
    body += "]}";
    Fixture f;
    f.radio.setResponse("/log/list", FakeResponse::json(body));
    f.create();
    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.tabList->count(), 10000, 20000);
    QTRY_COMPARE(f.welcome->logList->count(), 10000);
    QCOMPARE(f.welcome->logList->item(9999)->data(Qt::UserRole).toLongLong(), 9999);
    QCOMPARE(f.status->text(),
             QStringLiteral("The radio's list is longer than 10000 entries; only "
                            "the first 10000 are shown."));
    QVERIFY(f.listShown());

    // Lost while filling (most likely: the fill takes many slices): nothing more is added.
    f.found(QStringLiteral("Other model"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 2, 10000);
    emit f.scanner.deviceNotFound();
    QCOMPARE(f.tabList->count(), 0);
    QTest::qWait(100);
    QCOMPARE(f.tabList->count(), 0);
    QCOMPARE(f.welcome->logList->count(), 0);
}

void RadioLogSourceTest::longNamesCutForDisplay()
{
    // A name of half a megabyte: shown cut, while the download asks by id and length.
    const QByteArray name(512 * 1024, 'n');
    Fixture f;
    f.radio.setResponse("/log/list", FakeResponse::json(R"({"list":[3,")" + name + R"(",1234]})"));
    f.create();
    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.tabList->count(), 1, 10000);
    const QString shown
        = QString(79, QLatin1Char('n')) + QChar(0x2026) + QStringLiteral("  (2:03)");
    QCOMPARE(f.tabList->item(0)->text(), shown);
    QCOMPARE(f.welcome->logList->item(0)->text(), shown);
    QVERIFY(f.source->downloadLog(f.tabList->item(0)));
    QVERIFY(f.radio.waitForRequests("/log/get/3-1234", 1));
}

void RadioLogSourceTest::downloadTooLarge_data()
{
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<qint64>("maxBytes"); // 0: the table's 1 GiB
    QTest::newRow("announced beyond 1 GiB")
        << FakeResponse::oversized(Q_INT64_C(1073741825)) << Q_INT64_C(0);
    QTest::newRow("huge Content-Length") << FakeResponse::hugeLength() << Q_INT64_C(0);
    // A gigabyte is not sent here: the limit is lowered for the endless body.
    QTest::newRow("endless body") << FakeResponse::endless() << Q_INT64_C(4 * 1024 * 1024);
}

void RadioLogSourceTest::downloadTooLarge()
{
    QFETCH(FakeResponse, response);
    QFETCH(qint64, maxBytes);
    RadioReply::setMaxBytesForTesting(RadioReply::Kind::Log, maxBytes);
    Fixture f;
    f.radio.setResponse("/log/get/3-1234", response);
    f.create();
    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.welcome->logList->count(), 1, 10000);
    QSignalSpy failed(f.source, &RadioLogSource::logDownloadFailed);
    QSignalSpy downloaded(f.source, &RadioLogSource::logDownloaded);
    QVERIFY(f.source->downloadLog(f.tabList->item(0)));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 20000);
    QCOMPARE(downloaded.count(), 0);
    QCOMPARE(f.status->text(),
             QStringLiteral("Failed to download log: The radio's answer was too large"));

    // The next download works.
    f.radio.setResponse("/log/get/3-1234",
                        FakeResponse::bytes("LOGBYTES", "application/octet-stream"));
    QVERIFY(f.source->downloadLog(f.tabList->item(0)));
    QTRY_COMPARE_WITH_TIMEOUT(downloaded.count(), 1, 10000);
    QCOMPARE(downloaded.at(0).at(0).toByteArray(), QByteArray("LOGBYTES"));
    RadioReply::setMaxBytesForTesting(RadioReply::Kind::Log, 0);
}

void RadioLogSourceTest::downloadFailureReported()
{
    Fixture f;
    f.radio.setResponse("/log/get/3-1234", FakeResponse::error(500, "boom"));
    f.create();
    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.welcome->logList->count(), 1, 10000);
    QSignalSpy failed(f.source, &RadioLogSource::logDownloadFailed);
    QSignalSpy downloaded(f.source, &RadioLogSource::logDownloaded);
    QVERIFY(f.source->downloadLog(f.tabList->item(0)));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    QCOMPARE(downloaded.count(), 0);
    QVERIFY2(f.status->text().startsWith(QLatin1String("Failed to download log: ")),
             qPrintable(f.status->text()));
    QVERIFY(f.status->text().size() > int(qstrlen("Failed to download log: ")));
}

void RadioLogSourceTest::noRadioNoDownload()
{
    Fixture f;
    f.create();
    QListWidgetItem item(QStringLiteral("A  (2:03)"));
    item.setData(Qt::UserRole, qint64(3));
    item.setData(Qt::UserRole + 1, qint64(1234));
    QVERIFY(!f.source->downloadLog(&item));
    QVERIFY(!f.source->downloadLog(nullptr));

    f.found(QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 1, 10000);
    emit f.scanner.deviceNotFound();
    QVERIFY(!f.source->downloadLog(&item));
    QTest::qWait(200);
    QCOMPARE(f.radio.requests().size(), 1); // only the list
    QVERIFY(f.status->text().isEmpty());
}

void RadioLogSourceTest::staleListIgnored()
{
    Fixture f;
    f.radio.setResponse("/log/list", FakeResponse::json(R"({"list":[3,"A",1234]})").delayed(400));
    f.create();
    // Lost before the answer: the list must not come back for a radio that is gone.
    f.found(QStringLiteral("Heli 450"));
    QVERIFY(f.radio.waitForRequests("/log/list", 1));
    f.scanner.ip.clear();
    emit f.scanner.deviceNotFound();
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 1, 10000);
    QCOMPARE(f.tabList->count(), 0);
    QCOMPARE(f.welcome->logList->count(), 0);
    QVERIFY(!f.listShown());

    // Switched model while the first list was on its way: only the second list shows.
    f.radio.setHandler("/log/list", [](const FakeRequest &) {
        static int n = 0;
        return ++n == 1 ? FakeResponse::json(R"({"list":[1,"Old",10]})").delayed(500)
                        : FakeResponse::json(R"({"list":[2,"New",20]})");
    });
    f.found(QStringLiteral("Model 1"));
    QVERIFY(f.radio.waitForRequests("/log/list", 2));
    f.found(QStringLiteral("Model 2"));
    QTRY_COMPARE_WITH_TIMEOUT(f.replies.count(), 3, 10000);
    QCOMPARE(f.tabList->count(), 1);
    QCOMPARE(f.tabList->item(0)->text(), QStringLiteral("New  (0:02)"));
    QCOMPARE(f.welcome->logList->item(0)->text(), QStringLiteral("New  (0:02)"));
}

QTEST_MAIN(RadioLogSourceTest)
#include "tst_radiologsource.moc"
