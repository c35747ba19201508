// Publishing a project to the app store, against the in-process fake store; the upload is
// read back with Python's email package.
#include "DeveloperPortal.h"
#include "DeveloperTestSupport.h"
#include "FakeAppStore.h"
#include "KeloResources.h"
#include "MultipartReader.h"
#include "ProcessMemory.h"
#include "TestSupport.h"

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using namespace DeveloperTest;
using ProjectType = DeveloperWidget::ProjectType;
using WorkspaceTest::readFile;
using WorkspaceTest::writeFile;

namespace {

const QString question = QStringLiteral(
    "\"%1\" is prepared for publishing.\n\nDo you want to proceed with publish request into "
    "Varnek App Store?");

const QString byHand = QStringLiteral("\n\nThe packaged file is still available via \"Show Files\" "
                                      "if you'd rather submit it by hand.");

} // namespace

Q_DECLARE_METATYPE(FakeResponse)

class DeveloperPublishTest : public QObject, public TabFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void portalAnswers_data();
    void portalAnswers();
    void uploadParts_data();
    void uploadParts();
    void answeringNoSendsNothing();
    void storeAnswers_data();
    void storeAnswers();
    void savesOnlyTheOpenProject();
    void refusedBeforePackaging_data();
    void refusedBeforePackaging();
    void publishFromTheProjectMenu();
    void answersAreBounded_data();
    void answersAreBounded();

private:
    // Publishes the project, answers the question with Yes and any warning with OK, and
    // waits until the store's answer has been handled.
    void publishAndWait(const QString &project);

    FakeAppStore *store = nullptr;
    OpenedUrls *opened = nullptr;
    ScopedModalScript *script = nullptr;
};

void DeveloperPublishTest::initTestCase()
{
    initKeloResources();
    TestSupport::unsetProxies();
}

void DeveloperPublishTest::init()
{
    setUp();
    store = new FakeAppStore();
    QVERIFY(store->listen());
    DeveloperPortal::setBaseUrl(QUrl(store->baseUrl()));
    opened = new OpenedUrls();
    script = new ScopedModalScript();
}

void DeveloperPublishTest::cleanup()
{
    DeveloperPortal::setPublishTimeoutForTesting(0);
    tearDown();
    delete script;
    delete opened;
    delete store;
}

void DeveloperPublishTest::publishAndWait(const QString &project)
{
    script->run({ModalScript::press(QMessageBox::Yes), ModalScript::press(QMessageBox::Ok)});
    widget->publishProject(project);
    QVERIFY(store->waitForRequests(FakeAppStore::UploadPath, 1, 10000));
    QTRY_VERIFY_WITH_TIMEOUT(status() != "Uploading to Varnek App Store...", 10000);
    QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
}

void DeveloperPublishTest::portalAnswers_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("submitUrl");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("opened"); // what the browser gets after a success
    const QString store = "https://developer.varnek.com/publish-project";
    QTest::newRow("success") << QByteArray(
        R"({"success":true,"submit_url":"https://s.example/x?a=1"})")
                             << true << "https://s.example/x?a=1"
                             << ""
                             << "https://s.example/x?a=1";
    QTest::newRow("no submit_url") << QByteArray(R"({"success":true})") << true << ""
                                   << "" << store;
    QTest::newRow("http is fine") << QByteArray(
        R"({"success":true,"submit_url":"HTTP://s.example/"})")
                                  << true << "HTTP://s.example/"
                                  << ""
                                  << "http://s.example/";
    QTest::newRow("file URL") << QByteArray(R"({"success":true,"submit_url":"file:///etc/passwd"})")
                              << true << "file:///etc/passwd"
                              << "" << store;
    QTest::newRow("javascript URL")
        << QByteArray(R"J({"success":true,"submit_url":"javascript:alert(1)"})J") << true
        << "javascript:alert(1)"
        << "" << store;
    QTest::newRow("no host") << QByteArray(R"({"success":true,"submit_url":"https:///x"})") << true
                             << "https:///x"
                             << "" << store;
    QTest::newRow("not a URL") << QByteArray(R"({"success":true,"submit_url":"http://a b/"})")
                               << true << "http://a b/"
                               << "" << store;
    QTest::newRow("success as text") << QByteArray(R"({"success":"true"})") << false << ""
                                     << "" << store;
    QTest::newRow("error") << QByteArray(R"({"success":false,"error":"quota"})") << false << ""
                           << "quota" << store;
    QTest::newRow("error not text") << QByteArray(R"({"success":false,"error":5})") << false << ""
                                    << "" << store;
    QTest::newRow("array") << QByteArray("[true]") << false << ""
                           << "" << store;
    QTest::newRow("not JSON") << QByteArray("<html>") << false << ""
                              << "" << store;
}

void DeveloperPublishTest::portalAnswers()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, success);
    QFETCH(QString, submitUrl);
    QFETCH(QString, error);
    QFETCH(QString, opened);
    DeveloperPortal::setBaseUrl(QUrl("https://developer.varnek.com"));
    const DeveloperPortal::PublishAnswer answer = DeveloperPortal::parsePublishAnswer(body);
    QCOMPARE(answer.success, success);
    QCOMPARE(answer.submitUrl, submitUrl);
    QCOMPARE(answer.error, error);
    QCOMPARE(DeveloperPortal::submissionPage(answer), QUrl(opened));
    QCOMPARE(DeveloperPortal::publishUploadUrl(),
             QUrl("https://developer.varnek.com/publish-project/api/upload.php"));
}

void DeveloperPublishTest::uploadParts_data()
{
    QTest::addColumn<QString>("project");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("no serial known") << "demo" << int(ProjectType::Application) << ""
                                     << "demo.app";
    QTest::newRow("with serial") << "demo" << int(ProjectType::Application) << "12-AB-3-4-5-6"
                                 << "demo.app";
    QTest::newRow("home screen") << "clock" << int(ProjectType::HomeScreen) << "12-AB-3-4-5-6"
                                 << "clock.kbm";
    QTest::newRow("non-ASCII name") << QString::fromUtf8("Grüße") << int(ProjectType::Application)
                                    << "" << QString::fromUtf8("Grüße.app");
}

void DeveloperPublishTest::uploadParts()
{
    QFETCH(QString, project);
    QFETCH(int, type);
    QFETCH(QString, serial);
    QFETCH(QString, fileName);
    QVERIFY(makeProject(project, ProjectType(type)));
    makeWidget();
    // Publishing needs no radio; the serial is the scanner's, read when the upload starts.
    scanner->serial = serial;
    publishAndWait(project);
    QCOMPARE(script->texts->value(0), question.arg(project));

    const QString package = projectFile(project, "output/" + fileName);
    QVERIFY(QFile::exists(package));
    if (type == int(ProjectType::HomeScreen))
        QCOMPARE(tarMembers(package), (QStringList {"base/", "base/screen.qml"}));
    const QList<FakeRequest> uploads = store->uploads();
    QCOMPARE(uploads.size(), 1);
    const FakeRequest &request = uploads.first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.header("X-API-Key"), QByteArray("5f1a7c3e9b2d48e6a0c4f7b19e3d6a28"));
    QVERIFY(request.header("Content-Type").startsWith("multipart/form-data; boundary="));
    QCOMPARE(manager->sent.size(), 1);
    QCOMPARE(manager->sent[0]->request.transferTimeout(), 30000);

    const MultipartReader::Result body = MultipartReader::parse(request);
    QVERIFY2(body.ok, qPrintable(body.failure));
    QCOMPARE(body.defects, 0);
    QCOMPARE(body.parts.size(), serial.isEmpty() ? 1 : 2);
    QCOMPARE(body.parts[0].name, QString("file"));
    QCOMPARE(body.parts[0].fileName, fileName);
    QCOMPARE(body.parts[0].contentType, QString("application/octet-stream"));
    QVERIFY(body.parts[0].data == readFile(package));
    if (!serial.isEmpty()) {
        QCOMPARE(body.parts[1].name, QString("serial"));
        QCOMPARE(body.parts[1].fileName, QString());
        QCOMPARE(body.parts[1].contentType, QString());
        QCOMPARE(body.parts[1].data, serial.toUtf8());
    }
    QCOMPARE(status(), QString("Uploaded - finish publishing in your browser."));
    QCOMPARE(opened->urls, QList<QUrl> {QUrl("https://store.example/submit?id=42")});
}

void DeveloperPublishTest::answeringNoSendsNothing()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    script->run({ModalScript::press(QMessageBox::No)});
    widget->publishProject("demo");
    QCOMPARE(*script->texts, QStringList {question.arg("demo")});
    // Packaged and kept for a manual submission.
    QVERIFY(QFile::exists(projectFile("demo", "output/demo.app")));
    QTest::qWait(200);
    QCOMPARE(manager->sent.size(), 0);
    QCOMPARE(store->requests().size(), 0);
    QCOMPARE(status(), QString());
    QCOMPARE(opened->urls, QList<QUrl>());
}

void DeveloperPublishTest::storeAnswers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("warning"); // empty: none; a trailing "…": starts with
    QTest::addColumn<QString>("opened");
    const QString storePage = "/publish-project";
    const QString tail = "\n\nThe packaged file is still available via \"Show Files\" if you'd "
                         "rather submit it by hand.";
    QTest::newRow("success without submit_url")
        << 200 << QByteArray(R"({"success":true})") << "" << storePage;
    // The store's reason wins over the network layer's text.
    QTest::newRow("quota with 500")
        << 500 << QByteArray(R"({"success":false,"error":"quota"})")
        << "Could not upload to the Varnek App Store: quota" + tail << storePage;
    QTest::newRow("success flag with 500")
        << 500 << QByteArray(R"({"success":true})") << "Could not upload to the Varnek App Store: …"
        << storePage;
    QTest::newRow("not JSON") << 200 << QByteArray("<h1>hello</h1>")
                              << "Could not upload to the Varnek App Store: Unknown error" + tail
                              << storePage;
    QTest::newRow("submit_url with javascript")
        << 200 << QByteArray(R"J({"success":true,"submit_url":"javascript:alert(1)"})J") << ""
        << storePage;
    QTest::newRow("markup in the error")
        << 200 << QByteArray(R"({"success":false,"error":"<b>bold</b> & <a href=x>link</a>"})")
        << "Could not upload to the Varnek App Store: <b>bold</b> & <a href=x>link</a>" + tail
        << storePage;
}

void DeveloperPublishTest::storeAnswers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, warning);
    QFETCH(QString, opened);
    store->setAnswer(FakeResponse::json(body, status));
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    Qt::TextFormat format = Qt::AutoText;
    script->run({ModalScript::press(QMessageBox::Yes), [&format](QWidget *w) {
                     if (auto *box = qobject_cast<QMessageBox *>(w))
                         format = box->textFormat();
                     ModalScript::press(QMessageBox::Ok)(w);
                 }});
    widget->publishProject("demo");
    QVERIFY(store->waitForRequests(FakeAppStore::UploadPath, 1, 10000));
    QTRY_VERIFY_WITH_TIMEOUT(!this->opened->urls.isEmpty(), 10000);
    QCOMPARE(this->opened->urls.size(), 1);
    QCOMPARE(this->opened->urls.first(), QUrl(store->baseUrl() + opened));

    const QStringList texts = script->texts->mid(1);
    if (warning.isEmpty()) {
        QCOMPARE(texts, QStringList());
        QCOMPARE(this->status(), QString("Uploaded - finish publishing in your browser."));
        return;
    }
    QCOMPARE(texts.size(), 1);
    if (warning.endsWith(QString::fromUtf8("…")))
        QVERIFY2(texts.first().startsWith(warning.chopped(1)), qPrintable(texts.first()));
    else
        QCOMPARE(texts.first(), warning);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(this->status(), QString("Publish upload failed."));
}

void DeveloperPublishTest::savesOnlyTheOpenProject()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(makeProject("other", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    typeInEditor("// edited ");
    const QString text = editor()->toPlainText();

    // Another project from the menu: packaged as it is on disk, the editor untouched.
    script->run({ModalScript::press(QMessageBox::No)});
    widget->publishProject("other");
    QVERIFY(editor()->document()->isModified());
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml *"));
    QVERIFY(!readFile(projectFile("demo", "src/app.qml")).startsWith("// edited"));
    QVERIFY(QFile::exists(projectFile("other", "output/other.app")));

    ScopedModalScript no;
    no.run({ModalScript::press(QMessageBox::No)});
    widget->publishProject("demo");
    QCOMPARE(readFile(projectFile("demo", "src/app.qml")), text.toUtf8());
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml"));

    // A save that fails stops the publish before packaging.
    QVERIFY(QFile::remove(projectFile("demo", "output/demo.app")));
    typeInEditor("more ");
    ScopedModalScript failed;
    failed.run({ModalScript::press(QMessageBox::Ok)});
    {
        WorkspaceTest::FileSizeLimit full(10);
        widget->publishProject("demo");
    }
    QCOMPARE(*failed.texts, QStringList {"Failed to save before packaging."});
    QVERIFY(!QFile::exists(projectFile("demo", "output/demo.app")));
    QCOMPARE(store->requests().size(), 0);
}

void DeveloperPublishTest::refusedBeforePackaging_data()
{
    QTest::addColumn<QString>("project");
    QTest::addColumn<QString>("reason");
    // Only what the upload's part header cannot carry; a name of 17 characters publishes.
    QTest::newRow("quotation mark") << "a\"b"
                                    << "Cannot upload \"a\"b.app\": the file name contains a "
                                       "quotation mark, a backslash or a control character. "
                                       "Rename the file and try again.";
    QTest::newRow("backslash") << "a\\b"
                               << "Cannot upload \"a\\b.app\": the file name contains a "
                                  "quotation mark, a backslash or a control character. Rename "
                                  "the file and try again.";
    QTest::newRow("empty src") << "demo"
                               << "Nothing to package - src/ is empty.";
}

void DeveloperPublishTest::refusedBeforePackaging()
{
    QFETCH(QString, project);
    QFETCH(QString, reason);
    // Folders made by hand, outside the program.
    QVERIFY(QDir().mkpath(DeveloperWorkspace::sourcePath(project)));
    QVERIFY(QDir().mkpath(DeveloperWorkspace::outputPath(project)));
    if (project != "demo")
        QVERIFY(writeFile(DeveloperWorkspace::sourcePath(project) + "/app.qml", "Item {}\n"));
    makeWidget();
    script->run({ModalScript::press(QMessageBox::Ok)});
    widget->publishProject(project);
    QCOMPARE(
        *script->texts,
        QStringList {QString("Failed to prepare \"%1\" for publishing: %2").arg(project, reason)});
    QCOMPARE(WorkspaceTest::allEntries(DeveloperWorkspace::outputPath(project)), QStringList());
    QTest::qWait(100);
    QCOMPARE(store->requests().size(), 0);
}

void DeveloperPublishTest::publishFromTheProjectMenu()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(makeProject("other", ProjectType::HomeScreen));
    makeWidget();
    selectProject("demo");
    // The project under the cursor, not the selected one.
    script->run({ModalScript::press(QMessageBox::No)});
    useContextMenu(projects(), projects()->findItems("other", Qt::MatchExactly).first(), "Publish");
    QCOMPARE(*script->texts, QStringList {question.arg("other")});
    QVERIFY(QFile::exists(projectFile("other", "output/other.kbm")));
    QVERIFY(!QFile::exists(projectFile("demo", "output/demo.app")));
}

void DeveloperPublishTest::answersAreBounded_data()
{
    QTest::addColumn<FakeResponse>("answer");
    QTest::addColumn<int>("timeoutMs"); // the upload's time-out in this row
    QTest::addColumn<QString>("warning"); // empty: success; a trailing "…": starts with
    const QString failed = QStringLiteral("Could not upload to the Varnek App Store: ");
    // Only the first 64 KiB used to be parsed: the portal's yes read as a failure.
    QTest::newRow("100 KiB success") << FakeAppStore::successOfSize(100 * 1024) << 30000 << "";
    // Memory grew ~50 MB/s, "Uploading..." forever.
    QTest::newRow("endless answer") << FakeAppStore::endlessAnswer() << 30000
                                    << failed + "the portal's answer was too large" + byHand;
    // A byte every 20 ms never lets the inactivity time-out fire; 2000 bytes take 40 s, the
    // whole transfer may take 3 s and the time the small upload may take.
    QTest::newRow("trickled answer") << FakeAppStore::trickledSuccess(2000, 20) << 3000
                                     << failed + "Operation canceled" + byHand;
    // The warning was 15,125 px tall, its OK button off screen.
    QTest::newRow("60 KB error of words")
        << FakeAppStore::refusalOfSize(60000, "quota exceeded ") << 30000
        << failed + QString("quota exceeded ").repeated(40).left(499) + QString::fromUtf8("…")
            + byHand;
    QTest::newRow("60 KB error in one word")
        << FakeAppStore::refusalOfSize(60000, "x") << 30000
        << failed + QString(499, 'x') + QString::fromUtf8("…") + byHand;
    QTest::newRow("60 KB error of lines")
        << FakeAppStore::refusalOfSize(60000, "line\\n") << 30000
        << failed + QString("line ").repeated(100).left(499) + QString::fromUtf8("…") + byHand;
    FakeResponse phrase = FakeResponse::text("<html>", 502);
    phrase.reason = QByteArray(200 * 1024, 'p');
    QTest::newRow("200 KiB reason phrase, no JSON")
        << phrase << 30000 << failed + QString::fromUtf8("…");
}

// The portal is a server on the internet: its answer is read like a radio's.
void DeveloperPublishTest::answersAreBounded()
{
    QFETCH(FakeResponse, answer);
    QFETCH(int, timeoutMs);
    QFETCH(QString, warning);
    store->setAnswer(answer);
    DeveloperPortal::setPublishTimeoutForTesting(timeoutMs);
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    QSize boxSize;
    QRect okButton;
    script->run({ModalScript::press(QMessageBox::Yes),
                 [&](QWidget *w) {
                     boxSize = w->size();
                     if (auto *box = qobject_cast<QMessageBox *>(w)) {
                         QAbstractButton *ok = box->button(QMessageBox::Ok);
                         okButton = QRect(ok->mapTo(box, QPoint(0, 0)), ok->size());
                     }
                     ModalScript::press(QMessageBox::Ok)(w);
                 }},
                60000);
    widget->publishProject("demo");
    QVERIFY(store->waitForRequests(FakeAppStore::UploadPath, 1, 10000));
    QTRY_VERIFY_WITH_TIMEOUT(!opened->urls.isEmpty(), 20000);
    const long peakMb = ProcessMemory::peakRssMb();
    // Cut off at the limit: what the fake could write before the abort, socket buffers included.
    QVERIFY2(store->streamedBytes() < 16 * 1024 * 1024,
             qPrintable(QString::number(store->streamedBytes())));
    QVERIFY2(peakMb < 1024, qPrintable(QString::number(peakMb)));

    const QStringList texts = script->texts->mid(1);
    if (warning.isEmpty()) {
        QCOMPARE(texts, QStringList());
        QCOMPARE(status(), QString("Uploaded - finish publishing in your browser."));
        QCOMPARE(opened->urls, QList<QUrl> {QUrl("https://store.example/submit?id=42")});
        return;
    }
    QCOMPARE(status(), QString("Publish upload failed."));
    QCOMPARE(texts.size(), 1);
    if (warning.endsWith(QString::fromUtf8("…")))
        QVERIFY2(texts.first().startsWith(warning.chopped(1)), qPrintable(texts.first()));
    else
        QCOMPARE(texts.first(), warning);
    // The portal's words are at most 500 characters of it.
    QVERIFY2(texts.first().size() <= QString("Could not upload to the Varnek App Store: ").size()
                     + 500 + byHand.size(),
             qPrintable(texts.first()));
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    QVERIFY2(boxSize.height() <= screen.height() && boxSize.width() <= screen.width(),
             qPrintable(QString("%1x%2").arg(boxSize.width()).arg(boxSize.height())));
    QVERIFY(QRect(QPoint(0, 0), boxSize).contains(okButton));
}

QTEST_MAIN(DeveloperPublishTest)
#include "tst_developerpublish.moc"
