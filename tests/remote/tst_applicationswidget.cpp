#include "ApplicationsWidget.h"
#include "FakeRadio.h"
#include "RadioScanner.h"
#include "RemoteTestSupport.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(FakeResponse)

class ApplicationsWidgetTest : public QObject, public RemoteTabFixture<ApplicationsWidget>
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithNoticeAndSendsNothing();
    void listPairsIconsAndDetails();
    void listAnswersThatAreNotLists();
    void versionText_data();
    void versionText();
    void versionShownAndRaceIgnored();
    void namesArePercentEncoded_data();
    void namesArePercentEncoded();
    void executeAndItsFailure();
    void uninstallAsksFirst();
    void installApp();
    void installKbmAppliesIt();
    void installRefusals();
    void failedListIsRetriedWhileRadioKnown();
    void repeatedFoundWhileListFailsKeepsOneChain();
    void fetchesOnlyWhileVisibleAndNotLoaded();
    void radioLossCancelsListIconVersionButNotUpload();
    void installFinishingAfterLossSaysSo_data();
    void installFinishingAfterLossSaysSo();
    void anotherRadioWithTheSameModelGetsItsOwnList();
    void radioTextIsPlain();
    void hostileAnswers_data();
    void hostileAnswers();
    void longTextsCutForDisplay();
    void longListCutWithNote();

private:
    void makeWidget(bool show = true);
    void found(FakeRadio *which = nullptr, const QString &model = "Heli");
    void setList(const QJsonArray &list, FakeRadio *which = nullptr);
    QString writeFile(const QString &name, const QByteArray &data);
    void clickInstall(QList<ModalScript::Step> steps, ModalScript *script = nullptr);
    QListWidget *list() { return child<QListWidget>("appList"); }
    QString text(const char *label) { return child<QLabel>(label)->text(); }
    QByteArrayList requestLines(FakeRadio *which = nullptr) const;

    QByteArray iconPng;
    QTemporaryDir dir;
};

static FakeRadio *makeRadio(const QByteArray &iconPng)
{
    auto *radio = new FakeRadio();
    if (!radio->listen())
        qFatal("cannot listen");
    radio->setInfo("KeloNet", "Heli");
    radio->setResponse("/app/list", FakeResponse::json(R"({"list":[]})"));
    radio->setResponse("/app/exec", FakeResponse::text("OK"));
    radio->setResponse("/app/remove", FakeResponse::text("OK"));
    radio->setResponse("/model/base/exec", FakeResponse::text("OK"));
    radio->setResponse("/upload.html", FakeResponse::text("OK"));
    // Icons and versions for any app name, still encoded in the path.
    radio->setFallback([iconPng](const FakeRequest &r) {
        if (r.path.startsWith("/media/apps/") && r.path.endsWith("/icon.png"))
            return FakeResponse::bytes(iconPng, "image/png");
        if (r.path.startsWith("/media/apps/") && r.path.endsWith("/version"))
            return FakeResponse::text("1 2  3\n");
        return FakeResponse::error(404, "not found");
    });
    return radio;
}

void ApplicationsWidgetTest::initTestCase()
{
    TestSupport::unsetProxies();
    QVERIFY(dir.isValid());
    QImage icon(128, 100, QImage::Format_ARGB32);
    icon.fill(Qt::cyan);
    iconPng = TestImages::png(icon);
}

void ApplicationsWidgetTest::init()
{
    setUpRadio(makeRadio(iconPng));
}

void ApplicationsWidgetTest::cleanup()
{
    tearDown();
}

void ApplicationsWidgetTest::makeWidget(bool show)
{
    widget = new ApplicationsWidget(scanner);
    widget->resize(760, 520);
    if (show) {
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
    }
}

void ApplicationsWidgetTest::found(FakeRadio *which, const QString &model)
{
    which = which ? which : radio;
    scanner->ip = which->address();
    scanner->modelName = model;
    emit scanner->deviceFound(scanner->ip, "KeloNet", model);
}

void ApplicationsWidgetTest::setList(const QJsonArray &items, FakeRadio *which)
{
    (which ? which : radio)
        ->setResponse("/app/list",
                      FakeResponse::json(QJsonDocument(QJsonObject {{"list", items}}).toJson()));
}

QString ApplicationsWidgetTest::writeFile(const QString &name, const QByteArray &data)
{
    const QString path = dir.filePath(name);
    if (!TestSupport::writeFile(path, data))
        qFatal("cannot write fixture");
    return path;
}

void ApplicationsWidgetTest::clickInstall(QList<ModalScript::Step> steps, ModalScript *script)
{
    ModalScript local;
    ModalScript *s = script ? script : &local;
    s->run(std::move(steps));
    QTest::mouseClick(child<QPushButton>("installButton"), Qt::LeftButton);
}

QByteArrayList ApplicationsWidgetTest::requestLines(FakeRadio *which) const
{
    QByteArrayList out;
    for (const FakeRequest &r : (which ? which : radio)->requests())
        out.append(r.requestLine);
    return out;
}

void ApplicationsWidgetTest::startsWithNoticeAndSendsNothing()
{
    makeWidget();
    QVERIFY(child<QLabel>("notFoundLabel")->isVisible());
    QVERIFY(!child<QWidget>("contentWidget")->isVisible());
    QCOMPARE(text("notFoundLabel"),
             QString("Kelo radio not found.\nConnect to a Kelo radio to see its installed apps."));
    QCOMPARE(child<QLabel>("notFoundLabel")->styleSheet(),
             QString("color: #b0b0b6; font-size: 14pt;"));
    QTest::mouseClick(child<QPushButton>("installButton"), Qt::LeftButton); // no dialog, no radio
    QTest::qWait(300);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(manager->sent.size(), 0);
}

void ApplicationsWidgetTest::listPairsIconsAndDetails()
{
    // Seven texts: an empty name drops its pair, the odd last text has no partner.
    setList({"A", "dA", "", "dX", "B", "dB", "C"});
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 2, 10000);
    QCOMPARE(list()->item(0)->text(), QString("A"));
    QCOMPARE(list()->item(1)->text(), QString("B"));
    QCOMPARE(list()->item(0)->data(Qt::UserRole).toString(), QString("dA"));
    QCOMPARE(list()->item(1)->data(Qt::UserRole).toString(), QString("dB"));
    QCOMPARE(list()->item(0)->sizeHint().height(), 72);
    QCOMPARE(list()->currentRow(), 0);
    QCOMPARE(text("nameLabel"), QString("A"));
    QCOMPARE(text("detailLabel"), QString("dA"));
    QVERIFY(child<QPushButton>("executeButton")->isEnabled());
    QVERIFY(child<QPushButton>("uninstallButton")->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(!list()->item(1)->icon().isNull(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!list()->item(0)->icon().isNull(), 10000);
    // A 128x100 icon is fitted into 64x64 with its aspect ratio kept.
    QCOMPARE(list()->item(0)->icon().availableSizes().value(0), QSize(64, 50));
    QVERIFY(!child<QLabel>("iconLabel")->pixmap(Qt::ReturnByValue).isNull());

    QByteArrayList icons;
    for (const QByteArray &line : requestLines()) {
        if (line.contains("icon.png"))
            icons.append(line);
    }
    std::sort(icons.begin(), icons.end());
    QCOMPARE(icons,
             (QByteArrayList {"GET /media/apps/A/icon.png HTTP/1.1",
                              "GET /media/apps/B/icon.png HTTP/1.1"}));
    for (const auto &s : manager->sent) {
        const QString path = s->request.url().path();
        const int timeout = path == "/app/list" || path.endsWith("/version") ? 3000 : 5000;
        QCOMPARE(s->request.transferTimeout(), timeout);
    }
}

void ApplicationsWidgetTest::listAnswersThatAreNotLists()
{
    // "list" missing or not an array: an empty list that counts as loaded, no retry.
    radio->setResponse("/app/list", FakeResponse::json(R"({"list":{"A":"dA"}})"));
    makeWidget();
    found();
    QVERIFY(radio->waitForRequests("/app/list", 1));
    QTest::qWait(1500);
    QCOMPARE(radio->countFor("/app/list"), 1);
    QCOMPARE(list()->count(), 0);
    QVERIFY(!child<QPushButton>("executeButton")->isEnabled());

    // Non-text elements give empty texts: a number as name adds nothing.
    setList({1, "d1", "N", 5});
    widget->hide();
    widget->show();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    QCOMPARE(list()->item(0)->text(), QString("N"));
    QCOMPARE(list()->item(0)->data(Qt::UserRole).toString(), QString());
}

void ApplicationsWidgetTest::versionText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown");
    QTest::newRow("version file") << QByteArray("1 2  3\n") << "1.2.3";
    QTest::newRow("tabs and CR LF") << QByteArray("\t1\t2\r\n3\r\n") << "1.2.3";
    QTest::newRow("stops at NUL") << QByteArray("4 5 6\0junk 7", 12) << "4.5.6";
    QTest::newRow("blank") << QByteArray(" \n ") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("UTF-8") << QByteArray("1 \xc3\xa4") << QString::fromUtf8("1.ä");
}

void ApplicationsWidgetTest::versionText()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    QCOMPARE(ApplicationsWidget::versionText(body), shown);
}

void ApplicationsWidgetTest::versionShownAndRaceIgnored()
{
    setList({"A", "dA", "B", "dB"});
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(text("versionLabel"), QString("Version: 1.2.3"), 10000);

    // B's version hangs; selecting A again while it runs aborts it.
    radio->setHandler("/media/apps/B/version",
                      [](const FakeRequest &) { return FakeResponse::hang(); });
    list()->setCurrentRow(1);
    QCOMPARE(text("versionLabel"), QString());
    QVERIFY(radio->waitForRequests("/media/apps/B/version", 1));
    const auto bVersion = manager->sentFor("/media/apps/B/version").last();
    QVERIFY(!bVersion->finished);
    list()->setCurrentRow(0);
    QVERIFY(bVersion->finished);
    QCOMPARE(bVersion->error, QNetworkReply::OperationCanceledError);
    QTRY_COMPARE_WITH_TIMEOUT(text("versionLabel"), QString("Version: 1.2.3"), 10000);

    // An empty version leaves the label empty; so does a failed one.
    radio->setResponse("/media/apps/B/version", FakeResponse::text("\n"));
    list()->setCurrentRow(1);
    QVERIFY(radio->waitForRequests("/media/apps/B/version", 2));
    QTRY_VERIFY_WITH_TIMEOUT(manager->unfinished() == 0, 10000);
    QCOMPARE(text("versionLabel"), QString());
}

void ApplicationsWidgetTest::namesArePercentEncoded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("space") << "My App" << QByteArray("My%20App");
    QTest::newRow("slash") << "a/b" << QByteArray("a%2Fb"); // would add a path level
    QTest::newRow("UTF-8") << QString::fromUtf8("é") << QByteArray("%C3%A9");
    QTest::newRow("percent") << "100%" << QByteArray("100%25");
    // Periods are unreserved, but a ".." path segment would be resolved away before
    // sending: no icon or version is asked for it, the commands still name it.
    QTest::newRow("dot dot") << ".." << QByteArray("..");
    QTest::newRow("dot") << "." << QByteArray(".");
    QTest::newRow("query characters") << "a?b#c&d=e+f" << QByteArray("a%3Fb%23c%26d%3De%2Bf");
    QTest::newRow("unreserved kept") << "A-z_0.9~" << QByteArray("A-z_0.9~");
}

void ApplicationsWidgetTest::namesArePercentEncoded()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, encoded);
    setList({name, "detail"});
    radio->setHandler("/app/exec", [](const FakeRequest &) { return FakeResponse::text("OK"); });
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(manager->unfinished() == 0, 10000);

    QTest::mouseClick(child<QPushButton>("executeButton"), Qt::LeftButton);
    QCOMPARE(text("statusLabel"), "Launching " + name + "...");
    QTRY_COMPARE_WITH_TIMEOUT(text("statusLabel"), QString("Executed"), 10000);

    ModalScript script;
    script.run({ModalScript::press(QMessageBox::Yes)});
    QTest::mouseClick(child<QPushButton>("uninstallButton"), Qt::LeftButton);
    QCOMPARE(text("statusLabel"), "Uninstalling " + name + "...");
    // "Uninstalled" lasts only until the refreshed list replaces the details.
    QTRY_COMPARE_WITH_TIMEOUT(radio->countFor("/app/list"), 2, 10000);

    const QByteArrayList lines = requestLines();
    QByteArrayList expected {"GET /app/exec?app=" + encoded + " HTTP/1.1",
                             "GET /app/remove?app=" + encoded + " HTTP/1.1"};
    const bool inPath = name != "." && name != "..";
    if (inPath)
        expected << "GET /media/apps/" + encoded + "/icon.png HTTP/1.1"
                 << "GET /media/apps/" + encoded + "/version HTTP/1.1";
    for (const QByteArray &line : expected)
        QVERIFY2(lines.contains(line), (line + "\n" + lines.join("\n")).constData());
    for (const FakeRequest &r : radio->requests())
        QVERIFY2(!r.path.startsWith("/media/")
                     || (inPath && r.path.startsWith("/media/apps/" + encoded + "/")),
                 r.requestLine.constData());
}

void ApplicationsWidgetTest::executeAndItsFailure()
{
    setList({"A", "dA"});
    radio->setResponse("/app/exec", FakeResponse::error(500, "no"));
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    QTest::mouseClick(child<QPushButton>("executeButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(text("statusLabel").startsWith("Execute failed: "), 10000);
    QVERIFY(text("statusLabel").size() > QString("Execute failed: ").size());
    QCOMPARE(manager->sentFor("/app/exec").last()->request.transferTimeout(), 5000);
}

void ApplicationsWidgetTest::uninstallAsksFirst()
{
    setList({"A", "dA"});
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);

    ModalScript no;
    no.run({ModalScript::press(QMessageBox::No)});
    QTest::mouseClick(child<QPushButton>("uninstallButton"), Qt::LeftButton);
    QCOMPARE(*no.texts, QStringList {"Do you really want to uninstall A?"});
    QTest::qWait(200);
    QCOMPARE(radio->countFor("/app/remove"), 0);

    const int lists = radio->countFor("/app/list");
    ModalScript yes;
    yes.run({ModalScript::press(QMessageBox::Yes)});
    QTest::mouseClick(child<QPushButton>("uninstallButton"), Qt::LeftButton);
    QVERIFY(radio->waitForRequests("/app/remove", 1));
    QTRY_COMPARE_WITH_TIMEOUT(radio->countFor("/app/list"), lists + 1, 10000); // refreshed

    radio->setResponse("/app/remove", FakeResponse::error(500, "busy"));
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    ModalScript again;
    again.run({ModalScript::press(QMessageBox::Yes)});
    QTest::mouseClick(child<QPushButton>("uninstallButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(text("statusLabel").startsWith("Uninstall failed: "), 10000);
}

void ApplicationsWidgetTest::installApp()
{
    setList({"A", "dA"});
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    const int lists = radio->countFor("/app/list");
    // The suffix counts in any case; the name goes up as it is.
    const QByteArray data("ustar package bytes\r\n\0\x01", 24);
    const QString path = writeFile("Clock.APP", data);
    ModalScript script;
    clickInstall({ModalScript::chooseFile(path), ModalScript::press(QMessageBox::Yes)}, &script);
    QCOMPARE(script.texts->size(), 1);
    QVERIFY(script.texts->first().endsWith("Do you want to continue installing \"Clock.APP\"?"));
    QCOMPARE(text("installStatusLabel"), QString("Installing Clock.APP..."));
    QVERIFY(radio->waitForRequests("/upload.html", 1));
    const FakeRequest upload = radio->requestsFor("/upload.html").first();
    QVERIFY(upload.body.contains("filename=\"Clock.APP\"\r\nContent-Type: application/octet-stream"
                                 "\r\n\r\n"
                                 + data + "\r\n--KeloStudioUploadBoundary--\r\n"));
    const auto sent = manager->sentFor("/upload.html").first();
    QCOMPARE(sent->request.transferTimeout(), 15000);
    QCOMPARE(sent->reply ? sent->reply->property("install_extension").toString() : QString("app"),
             QString("app"));
    QTRY_COMPARE_WITH_TIMEOUT(text("installStatusLabel"), QString("Installed Clock.APP"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(radio->countFor("/app/list"), lists + 1, 10000);
    QCOMPARE(radio->countFor("/model/base/exec"), 0);

    radio->setResponse("/upload.html", FakeResponse::error(500, "full"));
    clickInstall({ModalScript::chooseFile(path), ModalScript::press(QMessageBox::Yes)});
    QTRY_VERIFY_WITH_TIMEOUT(text("installStatusLabel").startsWith("Install failed: "), 10000);
}

void ApplicationsWidgetTest::installKbmAppliesIt()
{
    makeWidget();
    found();
    QVERIFY(radio->waitForRequests("/app/list", 1));
    QTRY_VERIFY_WITH_TIMEOUT(manager->unfinished() == 0, 10000);
    const QString path = writeFile("Home.kbm", "home screen");
    clickInstall({ModalScript::chooseFile(path), ModalScript::press(QMessageBox::Yes)});
    QVERIFY(radio->waitForRequests("/model/base/exec", 1));
    QTRY_COMPARE_WITH_TIMEOUT(text("installStatusLabel"), QString("Installed and applied Home.kbm"),
                              10000);
    QCOMPARE(radio->countFor("/app/list"), 1); // a Home Screen is no app: no refresh
    QCOMPARE(radio->requestsFor("/model/base/exec").first().requestLine,
             QByteArray("GET /model/base/exec HTTP/1.1"));
    // The apply comes after the upload has been taken.
    QVERIFY(radio->requestsFor("/model/base/exec").first().receivedMs
            >= radio->requestsFor("/upload.html").first().receivedMs);

    radio->setResponse("/model/base/exec", FakeResponse::error(500, "bad model"));
    clickInstall({ModalScript::chooseFile(path), ModalScript::press(QMessageBox::Yes)});
    const QString prefix = "Installed Home.kbm, but applying it failed: ";
    QTRY_VERIFY_WITH_TIMEOUT(text("installStatusLabel").startsWith(prefix), 10000);
    QVERIFY(text("installStatusLabel").size() > prefix.size());
    QCOMPARE(radio->countFor("/app/list"), 1);
}

void ApplicationsWidgetTest::installRefusals()
{
    makeWidget();
    found();
    QVERIFY(radio->waitForRequests("/app/list", 1));

    ModalScript wrongType;
    clickInstall(
        {ModalScript::chooseFile(writeFile("notes.txt", "x")), ModalScript::press(QMessageBox::Ok)},
        &wrongType);
    QCOMPARE(*wrongType.texts, QStringList {"Only .app and .kbm files can be installed."});

    ModalScript declined;
    clickInstall(
        {ModalScript::chooseFile(writeFile("Maybe.app", "x")), ModalScript::press(QMessageBox::No)},
        &declined);
    QCOMPARE(declined.texts->size(), 1);

    // The file vanishes between choosing and reading it.
    const QString gone = writeFile("Gone.app", "x");
    ModalScript unreadable;
    clickInstall({ModalScript::chooseFile(gone),
                  [gone](QWidget *w) {
                      QFile::remove(gone);
                      ModalScript::press(QMessageBox::Yes)(w);
                  },
                  ModalScript::press(QMessageBox::Ok)},
                 &unreadable);
    QCOMPARE(unreadable.texts->value(1), QString("Could not read \"Gone.app\"."));

    // A backslash would escape the closing quotation mark of the part's file name.
    ModalScript escaped;
    clickInstall(
        {ModalScript::chooseFile(writeFile("a\\b.app", "x")), ModalScript::press(QMessageBox::Yes)},
        &escaped);
    QVERIFY2(text("installStatusLabel").startsWith("Cannot upload \"a\\b.app\""),
             qPrintable(text("installStatusLabel")));

    // A package holding the boundary at a line start would be cut short by the radio.
    ModalScript boundary;
    clickInstall({ModalScript::chooseFile(
                      writeFile("Cut.app", "head\r\n--KeloStudioUploadBoundary--\r\ntail")),
                  ModalScript::press(QMessageBox::Yes)},
                 &boundary);
    QVERIFY(text("installStatusLabel").startsWith("Cannot upload \"Cut.app\""));

    QTest::qWait(300);
    QCOMPARE(radio->countFor("/upload.html"), 0);
    QVERIFY(manager->sentFor("/upload.html").isEmpty());
}

void ApplicationsWidgetTest::failedListIsRetriedWhileRadioKnown()
{
    int served = 0;
    radio->setHandler("/app/list", [&served](const FakeRequest &) {
        ++served;
        if (served == 1)
            return FakeResponse::error(500, "busy");
        if (served == 2)
            return FakeResponse::json("not json");
        return FakeResponse::json(R"({"list":["A","dA"]})");
    });
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 15000);
    QCOMPARE(radio->requestsFor("/app/list").size(), 3);
    // One second after each failure, as the tab sends them.
    const QList<qint64> gaps = manager->msAfterPreviousFinished("/app/list");
    QCOMPARE(gaps.size(), 2);
    for (qint64 gap : gaps)
        QVERIFY2(gap >= 900 && gap < 1700, qPrintable(QString::number(gap)));
    QTest::qWait(1500);
    QCOMPARE(radio->countFor("/app/list"), 3); // loaded: no more retries

    // A failure followed by the radio's loss: the retry finds no radio and sends nothing.
    radio->setResponse("/app/list", FakeResponse::error(500, "busy"));
    widget->hide();
    widget->show();
    QVERIFY(radio->waitForRequests("/app/list", 4));
    QTRY_VERIFY_WITH_TIMEOUT(manager->unfinished() == 0, 10000);
    scanner->ip.clear();
    emit scanner->deviceNotFound();
    QTest::qWait(1600);
    QCOMPARE(radio->countFor("/app/list"), 4);
}

void ApplicationsWidgetTest::repeatedFoundWhileListFailsKeepsOneChain()
{
    // The scanner repeats deviceFound while the radio answers; here every 100 ms, twenty
    // times as often as it really does, to show that the requests cannot pile up.
    radio->setResponse("/app/list", FakeResponse::error(500, "busy"));
    makeWidget();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 6000) {
        found();
        QTest::qWait(100);
    }
    const int sent = manager->sentFor("/app/list").size();
    QVERIFY(sent > 0);
    QCOMPARE(radio->maxInFlight(), 1);
    // One request a second: each failure waits its 1000 ms retry, which the repeats leave
    // alone. Chains of retries would add a request per failure and per repeat.
    QVERIFY2(sent <= 7, qPrintable(QString::number(sent)));
    for (qint64 gap : manager->msAfterPreviousFinished("/app/list"))
        QVERIFY2(gap >= 900, qPrintable(QString::number(gap)));

    // Showing the tab still fetches at once, and the chain stays one.
    QTRY_COMPARE_WITH_TIMEOUT(manager->unfinished(), 0, 10000);
    const int before = manager->sentFor("/app/list").size();
    radio->clearRequests();
    widget->hide();
    widget->show();
    QCOMPARE(manager->sentFor("/app/list").size(), before + 1);
    QTest::qWait(2500);
    QVERIFY2(radio->countFor("/app/list") <= 4,
             qPrintable(QString::number(radio->countFor("/app/list"))));
}

void ApplicationsWidgetTest::fetchesOnlyWhileVisibleAndNotLoaded()
{
    makeWidget(false);
    for (int i = 0; i < 3; ++i)
        found();
    QTest::qWait(300);
    QCOMPARE(manager->sentFor("/app/list").size(), 0); // hidden: nothing

    widget->show();
    QCOMPARE(manager->sentFor("/app/list").size(), 1);
    QVERIFY(radio->waitForRequests("/app/list", 1));
    QTRY_VERIFY_WITH_TIMEOUT(manager->unfinished() == 0, 10000);
    for (int i = 0; i < 3; ++i)
        found();
    QCOMPARE(manager->sentFor("/app/list").size(), 1); // loaded: the repeats fetch nothing

    found(radio, "Glider"); // a model change while visible
    QCOMPARE(manager->sentFor("/app/list").size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(manager->unfinished() == 0, 10000);

    widget->hide();
    found(radio, "Plane"); // while hidden: marked unloaded only
    QCOMPARE(manager->sentFor("/app/list").size(), 2);
    widget->show();
    QCOMPARE(manager->sentFor("/app/list").size(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(manager->unfinished() == 0, 10000);
    widget->hide();
    widget->show(); // showing always refreshes
    QCOMPARE(manager->sentFor("/app/list").size(), 4);
}

void ApplicationsWidgetTest::radioLossCancelsListIconVersionButNotUpload()
{
    setList({"A", "dA", "B", "dB"});
    radio->setFallback([](const FakeRequest &) { return FakeResponse::hang(); }); // icons, versions
    radio->setResponse("/upload.html", FakeResponse::error(500, "full").delayed(800));
    radio->setResponse("/app/exec", FakeResponse::text("OK").delayed(800));
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(radio->inFlight(), 3, 10000); // two icons, one version
    clickInstall({ModalScript::chooseFile(writeFile("Late.app", "x")),
                  ModalScript::press(QMessageBox::Yes)});
    QTest::mouseClick(child<QPushButton>("executeButton"), Qt::LeftButton);
    QVERIFY(radio->waitForRequests("/upload.html", 1));
    QVERIFY(radio->waitForRequests("/app/exec", 1));

    scanner->ip.clear();
    emit scanner->deviceNotFound();
    QVERIFY(child<QLabel>("notFoundLabel")->isVisible());
    QCOMPARE(list()->count(), 0);
    for (const auto &s : manager->sent) {
        const QString path = s->request.url().path();
        if (path.startsWith("/media/apps/")) {
            QVERIFY2(s->finished, qPrintable(path));
            QCOMPARE(s->error, QNetworkReply::OperationCanceledError);
        }
    }
    QVERIFY(!manager->sentFor("/upload.html").first()->finished);
    QTRY_COMPARE_WITH_TIMEOUT(radio->inFlight(), 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(text("installStatusLabel").startsWith("Install failed: "), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(text("statusLabel"), QString("Executed"), 10000);

    // A list request in flight is cancelled as well.
    radio->setResponse("/app/list", FakeResponse::hang());
    found();
    widget->hide();
    widget->show();
    QVERIFY(radio->waitForRequests("/app/list", 2));
    const auto pendingList = manager->sentFor("/app/list").last();
    QVERIFY(!pendingList->finished);
    scanner->ip.clear();
    emit scanner->deviceNotFound();
    QVERIFY(pendingList->finished);
    QCOMPARE(pendingList->error, QNetworkReply::OperationCanceledError);
}

void ApplicationsWidgetTest::installFinishingAfterLossSaysSo_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("status");
    QTest::newRow("app") << "Late.app"
                         << "Installed Late.app";
    // Not applied: the apply request needs the radio, and no apply was tried.
    QTest::newRow("kbm")
        << "Home.kbm"
        << "Installed Home.kbm, but applying it was not attempted: the Kelo radio was lost.";
}

void ApplicationsWidgetTest::installFinishingAfterLossSaysSo()
{
    QFETCH(QString, file);
    QFETCH(QString, status);
    setList({"A", "dA"});
    radio->setResponse("/upload.html", FakeResponse::text("OK").delayed(800));
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    clickInstall(
        {ModalScript::chooseFile(writeFile(file, "x")), ModalScript::press(QMessageBox::Yes)});
    QVERIFY(radio->waitForRequests("/upload.html", 1));
    const int lists = radio->countFor("/app/list");

    scanner->ip.clear();
    emit scanner->deviceNotFound();
    QTRY_COMPARE_WITH_TIMEOUT(text("installStatusLabel"), status, 10000);
    QTest::qWait(200);
    QCOMPARE(radio->countFor("/app/list"), lists);
    QCOMPARE(radio->countFor("/model/base/exec"), 0);
}

void ApplicationsWidgetTest::anotherRadioWithTheSameModelGetsItsOwnList()
{
    setList({"First", "on radio one"});
    std::unique_ptr<FakeRadio> second(makeRadio(iconPng));
    setList({"Second", "on radio two"}, second.get());
    second->setResponse("/app/list",
                        FakeResponse::json(R"({"list":["Second","on radio two"]})").delayed(300));
    makeWidget();
    found(radio, "Heli");
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    QCOMPARE(list()->item(0)->text(), QString("First"));

    found(second.get(), "Heli");
    QCOMPARE(list()->count(), 0); // the first radio's apps are gone at once
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    QCOMPARE(list()->item(0)->text(), QString("Second"));
    QTest::mouseClick(child<QPushButton>("executeButton"), Qt::LeftButton);
    QVERIFY(second->waitForRequests("/app/exec", 1));
    QCOMPARE(radio->countFor("/app/exec"), 0);
}

void ApplicationsWidgetTest::radioTextIsPlain()
{
    const QString name = "<b>Bold</b><img src=x>";
    setList({name, "<i>detail</i>"});
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    for (const char *label :
         {"nameLabel", "detailLabel", "statusLabel", "versionLabel", "installStatusLabel"})
        QCOMPARE(child<QLabel>(label)->textFormat(), Qt::PlainText);
    QCOMPARE(text("nameLabel"), name);

    Qt::TextFormat format = Qt::RichText;
    ModalScript script;
    script.run({[&format](QWidget *w) {
        if (auto *box = qobject_cast<QMessageBox *>(w))
            format = box->textFormat();
        ModalScript::press(QMessageBox::No)(w);
    }});
    QTest::mouseClick(child<QPushButton>("uninstallButton"), Qt::LeftButton);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(*script.texts, QStringList {"Do you really want to uninstall " + name + "?"});
}

void ApplicationsWidgetTest::hostileAnswers_data()
{
    QTest::addColumn<QByteArray>("path"); // the route given the fault
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown"); // in label once the request has ended

    const QString tooLarge = QStringLiteral("The radio's answer was too large");
    const FakeResponse endless = FakeResponse::endless();
    const FakeResponse hugeLength = FakeResponse::hugeLength();
    QTest::newRow("execute: endless reply") << QByteArray("/app/exec") << endless << "statusLabel"
                                            << "Execute failed: " + tooLarge;
    QTest::newRow("execute: huge Content-Length")
        << QByteArray("/app/exec") << hugeLength << "statusLabel"
        << "Execute failed: " + tooLarge;
    QTest::newRow("uninstall: endless reply")
        << QByteArray("/app/remove") << endless << "statusLabel"
        << "Uninstall failed: " + tooLarge;
    QTest::newRow("install: endless reply")
        << QByteArray("/upload.html") << endless << "installStatusLabel"
        << "Install failed: " + tooLarge;
    QTest::newRow("version: 200 MB")
        << QByteArray("/media/apps/A/version")
        << FakeResponse::oversized(200 * 1024 * 1024, "1 2 3") << "versionLabel"
        << "";
    QTest::newRow("icon: 20000 x 20000")
        << QByteArray("/media/apps/A/icon.png")
        << FakeResponse::bytes(TestImages::hugePng(20000, 20000), "image/png") << ""
        << "";
    QTest::newRow("icon: declares 30000 x 30000")
        << QByteArray("/media/apps/A/icon.png")
        << FakeResponse::bytes(TestImages::hugePng(30000, 30000, false), "image/png") << ""
        << "";
    QTest::newRow("icon: endless") << QByteArray("/media/apps/A/icon.png") << endless << ""
                                   << "";
    QTest::newRow("list: endless") << QByteArray("/app/list") << endless << ""
                                   << "";
    QTest::newRow("list: huge Content-Length") << QByteArray("/app/list") << hugeLength << ""
                                               << "";
}

void ApplicationsWidgetTest::hostileAnswers()
{
    QFETCH(QByteArray, path);
    QFETCH(FakeResponse, response);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    const bool listFault = path == "/app/list";
    setList({"A", "dA"});
    if (!listFault)
        radio->setResponse(path, response);
    makeWidget();
    if (listFault)
        radio->setResponse(path, response);
    found();
    if (listFault) {
        // Refused and asked again a second later; the next good answer is listed.
        QVERIFY(radio->waitForRequests("/app/list", 2, 15000));
        QCOMPARE(list()->count(), 0);
        setList({"A", "dA"});
    }
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(manager->unfinished(), 0, 20000);
    if (path.endsWith("/icon.png")) {
        QVERIFY(list()->item(0)->icon().isNull());
    } else if (path.endsWith("/version")) {
        QTRY_VERIFY(!list()->item(0)->icon().isNull()); // decoded off the GUI thread
        QCOMPARE(text("versionLabel"), QString());
    } else if (path == "/app/exec") {
        QTest::mouseClick(child<QPushButton>("executeButton"), Qt::LeftButton);
    } else if (path == "/app/remove") {
        ModalScript script;
        script.run({ModalScript::press(QMessageBox::Yes)});
        QTest::mouseClick(child<QPushButton>("uninstallButton"), Qt::LeftButton);
    } else if (path == "/upload.html") {
        clickInstall({ModalScript::chooseFile(writeFile("Clock.app", "package")),
                      ModalScript::press(QMessageBox::Yes)});
    }
    if (!label.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(text(label.toLatin1().constData()), shown, 20000);

    // The same request with a sane answer works again.
    radio->setResponse(path,
                       path.endsWith("/icon.png")      ? FakeResponse::bytes(iconPng, "image/png")
                           : path.endsWith("/version") ? FakeResponse::text("4 5 6")
                           : listFault ? FakeResponse::json(R"({"list":["B","dB"]})")
                                       : FakeResponse::text("OK"));
    if (path == "/app/exec") {
        QTest::mouseClick(child<QPushButton>("executeButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(text("statusLabel"), QStringLiteral("Executed"), 10000);
    } else if (path == "/app/remove") {
        // Only a successful uninstall asks for the list again.
        const int lists = radio->countFor("/app/list");
        ModalScript script;
        script.run({ModalScript::press(QMessageBox::Yes)});
        QTest::mouseClick(child<QPushButton>("uninstallButton"), Qt::LeftButton);
        QVERIFY(radio->waitForRequests("/app/list", lists + 1, 10000));
    } else if (path == "/upload.html") {
        clickInstall({ModalScript::chooseFile(writeFile("Clock.app", "package")),
                      ModalScript::press(QMessageBox::Yes)});
        QTRY_COMPARE_WITH_TIMEOUT(text("installStatusLabel"), QStringLiteral("Installed Clock.app"),
                                  10000);
    } else {
        // Shown again: the list, its icon and version are asked anew.
        widget->hide();
        widget->show();
        if (listFault)
            QTRY_VERIFY_WITH_TIMEOUT(list()->count() == 1 && list()->item(0)->text() == "B", 10000);
        else if (path.endsWith("/icon.png"))
            QTRY_VERIFY_WITH_TIMEOUT(list()->count() == 1 && !list()->item(0)->icon().isNull(),
                                     10000);
        else
            QTRY_COMPARE_WITH_TIMEOUT(text("versionLabel"), QStringLiteral("Version: 4.5.6"),
                                      10000);
    }
}

void ApplicationsWidgetTest::longTextsCutForDisplay()
{
    const QString name = QString(300, QLatin1Char('a'));
    const QString detail = QString(5000, QLatin1Char('d'));
    radio->setFallback([](const FakeRequest &r) {
        if (r.path.endsWith("/version"))
            return FakeResponse::text(QByteArray(400, '7'));
        return FakeResponse::error(404);
    });
    setList({name, detail});
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 10000);
    const QString ellipsis(QChar(0x2026));
    QCOMPARE(list()->item(0)->text(), QString(79, QLatin1Char('a')) + ellipsis);
    QCOMPARE(text("nameLabel"), QString(79, QLatin1Char('a')) + ellipsis);
    QCOMPARE(text("detailLabel"), QString(999, QLatin1Char('d')) + ellipsis);
    QTRY_COMPARE_WITH_TIMEOUT(text("versionLabel"),
                              "Version: " + QString(79, QLatin1Char('7')) + ellipsis, 10000);
    // Cut at the box's edge, they do not widen the page past the tab.
    widget->resize(640, 520);
    QTest::qWait(50);
    for (QScrollArea *area : widget->findChildren<QScrollArea *>())
        QCOMPARE(area->horizontalScrollBar()->maximum(), 0);

    // Requests name the app in full.
    QTest::mouseClick(child<QPushButton>("executeButton"), Qt::LeftButton);
    QCOMPARE(text("statusLabel"), "Launching " + QString(79, QLatin1Char('a')) + ellipsis + "...");
    QVERIFY(radio->waitForRequests("/app/exec", 1));
    QCOMPARE(radio->requestsFor("/app/exec").first().query, "app=" + name.toLatin1());
    QCOMPARE(radio->countFor("/media/apps/" + name.toLatin1() + "/version"), 1);
}

void ApplicationsWidgetTest::longListCutWithNote()
{
    QJsonArray apps;
    for (int i = 0; i < 12000; ++i) {
        apps.append(QStringLiteral("app%1").arg(i));
        apps.append(QStringLiteral("d"));
    }
    setList(apps);
    radio->setFallback([](const FakeRequest &) { return FakeResponse::error(404).delayed(20); });
    makeWidget();
    found();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 10000, 30000);
    QCOMPARE(list()->item(9999)->text(), QStringLiteral("app9999"));
    QCOMPARE(list()->currentRow(), 0);
    QLabel *note = child<QLabel>("listNoteLabel");
    QVERIFY(note->isVisible());
    QCOMPARE(note->text(),
             QStringLiteral("The radio's list is longer than 10000 entries; only the "
                            "first 10000 are shown."));
    // Icons a few at a time, beside the version request.
    QVERIFY(radio->waitForRequests("/media/apps/app40/icon.png", 1, 20000));
    QVERIFY2(radio->maxInFlight() <= 7, qPrintable(QString::number(radio->maxInFlight())));
    QCOMPARE(manager->unfinished() <= 7, true);
}

QTEST_MAIN(ApplicationsWidgetTest)
#include "tst_applicationswidget.moc"
