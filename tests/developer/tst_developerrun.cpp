// Running a project on the radio (Play and runProject) and the toolbar's own actions:
// Create Project, Delete Home Screen and the documentation page.
#include "DeveloperTestSupport.h"
#include "KeloResources.h"
#include "MultipartReader.h"
#include "SaveFileCommit.h"
#include "TestSupport.h"
#include "Theme.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

using namespace DeveloperTest;
using ProjectType = DeveloperWidget::ProjectType;
using WorkspaceTest::readFile;
using WorkspaceTest::writeFile;

namespace {

// Counts the completion's calls and keeps the last one.
struct Completions
{
    std::shared_ptr<QList<QPair<bool, QString>>> calls
        = std::make_shared<QList<QPair<bool, QString>>>();
    DeveloperWidget::RunCompletion callback() const
    {
        auto out = calls;
        return [out](bool ok, const QString &message) {
            out->append({ok, message});
        };
    }
};

QString tarPath(const QString &project)
{
    return projectFile(project, "output/" + project + ".tar");
}

} // namespace

class DeveloperRunTest : public QObject, public TabFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playUploadsAndStarts_data();
    void playUploadsAndStarts();
    void runEndings_data();
    void runEndings();
    void noProjectAnswersAtOnce();
    void unsavedTextIsPackaged();
    void failedSaveStopsTheRun();
    void startGoesToTheUploadsRadio();
    void overlappingRunsKeepTheirOwnProject();
    void repliesAfterTheTabIsGoneCallNothing();
    void createProject_data();
    void createProject();
    void projectTypeDialogLooksLikeTheWelcomeCard();
    void deleteHomeScreen_data();
    void deleteHomeScreen();
    void docsOpensThePortal();
    // Packaging takes the project's own files only, and writes through no link.
    void packagingFollowsNoLink_data();
    void packagingFollowsNoLink();
    void linkedFilesAreNamedAfterPackaging();
    void killedSaveLeavesNothingInThePackage();
};

void DeveloperRunTest::initTestCase()
{
    initKeloResources();
    TestSupport::unsetProxies();
}

void DeveloperRunTest::init()
{
    setUp();
}

void DeveloperRunTest::cleanup()
{
    tearDown();
}

void DeveloperRunTest::playUploadsAndStarts_data()
{
    QTest::addColumn<QString>("project");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("application") << "demo" << int(ProjectType::Application) << "demo.app"
                                 << QStringList {"demo/", "demo/app.qml", "demo/icon.png",
                                                 "demo/version"}
                                 << QByteArray("GET /app/exec?app=demo HTTP/1.1");
    QTest::newRow("home screen") << "clock" << int(ProjectType::HomeScreen) << "clock.kbm"
                                 << QStringList {"base/", "base/screen.qml"}
                                 << QByteArray("GET /model/base/exec HTTP/1.1");
    // Unescaped in the upload's part header, percent-encoded in the start request.
    QTest::newRow("space in the name")
        << "My App" << int(ProjectType::Application) << "My App.app"
        << QStringList {"My App/", "My App/app.qml", "My App/icon.png", "My App/version"}
        << QByteArray("GET /app/exec?app=My%20App HTTP/1.1");
    QTest::newRow("non-ASCII name")
        << QString::fromUtf8("Üben") << int(ProjectType::Application)
        << QString::fromUtf8("Üben.app")
        << QStringList {QString::fromUtf8("Üben/"), QString::fromUtf8("Üben/app.qml"),
                        QString::fromUtf8("Üben/icon.png"), QString::fromUtf8("Üben/version")}
        << QByteArray("GET /app/exec?app=%C3%9Cben HTTP/1.1");
}

void DeveloperRunTest::playUploadsAndStarts()
{
    QFETCH(QString, project);
    QFETCH(int, type);
    QFETCH(QString, fileName);
    QFETCH(QStringList, members);
    QFETCH(QByteArray, start);
    QVERIFY(makeProject(project, ProjectType(type)));
    makeWidget();
    found();
    selectProject(project);
    radio->setResponse("/upload.html", FakeResponse::text("OK").delayed(200));

    QToolButton *play = button("playButton");
    play->click();
    QVERIFY(!play->isEnabled());
    QCOMPARE(status(), QString("Uploading..."));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Uploaded and executed."), 10000);
    QVERIFY(play->isEnabled());

    // The package stays in output/ and is exactly what was uploaded.
    const QByteArray package = readFile(tarPath(project));
    QVERIFY(!package.isEmpty());
    QCOMPARE(tarMembers(tarPath(project)), members);
    QCOMPARE(radio->requestsFor("/upload.html").size(), 1);
    const MultipartReader::Result body
        = MultipartReader::parse(radio->requestsFor("/upload.html").first());
    QVERIFY2(body.ok, qPrintable(body.failure));
    QCOMPARE(body.defects, 0);
    QCOMPARE(body.parts.size(), 1);
    QCOMPARE(body.parts[0].name, QString("file"));
    QCOMPARE(body.parts[0].fileName, fileName);
    QCOMPARE(body.parts[0].contentType, QString("application/octet-stream"));
    QVERIFY(body.parts[0].data == package);

    // Upload first, then the start; nothing else.
    QByteArrayList lines;
    for (const FakeRequest &r : radio->requests())
        lines << r.requestLine;
    QCOMPARE(lines, (QByteArrayList {"POST /upload.html HTTP/1.1", start}));
    // Transfer time-outs: 15 s for the upload, 5 s for the start.
    QCOMPARE(manager->sent.size(), 2);
    QCOMPARE(manager->sent[0]->request.transferTimeout(), 15000);
    QCOMPARE(manager->sent[1]->request.transferTimeout(), 5000);
}

void DeveloperRunTest::runEndings_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message"); // a trailing "…" means: starts with
    QTest::addColumn<int>("uploads");
    QTest::addColumn<bool>("packaged");
    QTest::newRow("no radio") << "no radio"
                              << "Packaged, but no radio is connected to upload it to." << 0
                              << true;
    QTest::newRow("empty src") << "empty src"
                               << "Failed: Nothing to package - src/ is empty." << 0 << false;
    QTest::newRow("upload refused by the radio") << "upload 500"
                                                 << "Upload failed: …" << 1 << true;
    QTest::newRow("start refused by the radio")
        << "exec 500"
        << "Uploaded, but executing it failed: …" << 1 << true;
    QTest::newRow("radio gone") << "radio closed"
                                << "Upload failed: …" << 0 << true;
    // A line of the package that starts with the body's boundary would cut the upload short:
    // refused before sending, and Play comes back.
    QTest::newRow("boundary inside a QML comment")
        << "boundary"
        << "Upload failed: Cannot upload \"demo.app\": …" << 0 << true;
    // A folder made by hand with a name the Create dialog would refuse, and no output/: the
    // radio takes any name its upload can carry.
    QTest::newRow("name too long for the Create dialog") << "long name"
                                                         << "Uploaded and executed." << 1 << true;
}

void DeveloperRunTest::runEndings()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    QFETCH(int, uploads);
    QFETCH(bool, packaged);
    QString project = "demo";
    if (setup == "long name") {
        project = "a-very-long-name-17";
        QVERIFY(writeFile(DeveloperWorkspace::sourcePath(project) + "/app.qml", "Item {}\n"));
    } else {
        QVERIFY(makeProject(project, ProjectType::Application));
    }
    if (setup == "empty src") {
        QDir src(DeveloperWorkspace::sourcePath(project));
        for (const QString &name : src.entryList(QDir::Files))
            QVERIFY(src.remove(name));
    }
    if (setup == "boundary")
        QVERIFY(writeFile(DeveloperWorkspace::sourcePath(project) + "/notes.qml",
                          "/* a note\r\n--KeloStudioUploadBoundary */\r\n"));
    if (setup == "upload 500")
        radio->setResponse("/upload.html", FakeResponse::error(500, "full"));
    if (setup == "exec 500")
        radio->setResponse("/app/exec", FakeResponse::error(500, "no"));
    makeWidget();
    if (setup != "no radio")
        found();
    if (setup == "radio closed")
        radio->close();
    selectProject(project);

    button("playButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(button("playButton")->isEnabled(), 20000);
    if (message.endsWith(QString::fromUtf8("…"))) {
        const QString start = message.chopped(1);
        QVERIFY2(status().startsWith(start) && status().size() > start.size(),
                 qPrintable(status()));
    } else {
        QCOMPARE(status(), message);
    }
    QCOMPARE(radio->countFor("/upload.html"), uploads);
    QCOMPARE(QFile::exists(tarPath(project)), packaged);
    if (setup == "long name")
        QCOMPARE(tarMembers(tarPath(project)),
                 (QStringList {"a-very-long-name-17/", "a-very-long-name-17/app.qml"}));
    else if (setup != "exec 500")
        QCOMPARE(radio->countFor("/app/exec"), 0);
}

void DeveloperRunTest::noProjectAnswersAtOnce()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    found();
    Completions done;
    widget->runProject(done.callback());
    // Before runProject returned.
    QCOMPARE(*done.calls, (QList<QPair<bool, QString>> {{false, "No project is open."}}));
    QVERIFY(!QFile::exists(tarPath("demo")));
    QCOMPARE(manager->sent.size(), 0);
    QCOMPARE(status(), QString());

    // Every ending of runProject itself calls the completion once: a refused body too.
    selectProject("demo");
    QVERIFY(writeFile(DeveloperWorkspace::sourcePath("demo") + "/x.qml",
                      "//\r\n--KeloStudioUploadBoundary--\r\n"));
    Completions refused;
    widget->runProject(refused.callback());
    QCOMPARE(refused.calls->size(), 1);
    QCOMPARE(refused.calls->first().first, false);
    QTest::qWait(200);
    QCOMPARE(refused.calls->size(), 1);
}

void DeveloperRunTest::unsavedTextIsPackaged()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    found();
    selectProject("demo");
    editor()->moveCursor(QTextCursor::End);
    typeInEditor("// edited");
    Completions done;
    widget->runProject(done.callback());
    QTRY_COMPARE_WITH_TIMEOUT(done.calls->size(), 1, 10000);
    QCOMPARE(done.calls->first(), qMakePair(true, QString("Uploaded and executed.")));
    QVERIFY(readFile(projectFile("demo", "src/app.qml")).endsWith("// edited"));
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml"));
    // A run started this way leaves the status line at its upload text.
    QCOMPARE(status(), QString("Uploading..."));
    QTest::qWait(100);
    QCOMPARE(done.calls->size(), 1);
}

void DeveloperRunTest::failedSaveStopsTheRun()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    found();
    selectProject("demo");
    const QByteArray before = readFile(projectFile("demo", "src/app.qml"));
    typeInEditor("// edited");
    {
        WorkspaceTest::FileSizeLimit full(10);
        button("playButton")->click();
    }
    QCOMPARE(status(), QString("Failed to save before packaging."));
    QVERIFY(button("playButton")->isEnabled());
    QCOMPARE(readFile(projectFile("demo", "src/app.qml")), before);
    QVERIFY(!QFile::exists(tarPath("demo")));
    QCOMPARE(manager->sent.size(), 0);
}

void DeveloperRunTest::startGoesToTheUploadsRadio()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    FakeRadio other;
    QVERIFY(other.listen());
    other.setResponse("/app/exec", FakeResponse::text("OK"));
    radio->setResponse("/upload.html", FakeResponse::text("OK").delayed(500));
    makeWidget();
    found();
    selectProject("demo");
    button("playButton")->click();
    QVERIFY(radio->waitForRequests("/upload.html", 1));
    // Lost and found again elsewhere while the upload is answered.
    lost();
    found(&other);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Uploaded and executed."), 10000);
    QCOMPARE(radio->countFor("/app/exec"), 1);
    QCOMPARE(other.requests().size(), 0);
}

void DeveloperRunTest::overlappingRunsKeepTheirOwnProject()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(makeProject("clock", ProjectType::HomeScreen));
    radio->setResponse("/upload.html", FakeResponse::text("OK").delayed(300));
    makeWidget();
    found();
    selectProject("demo");
    Completions first;
    widget->runProject(first.callback());
    selectProject("clock");
    Completions second;
    widget->runProject(second.callback());
    QTRY_VERIFY_WITH_TIMEOUT(first.calls->size() == 1 && second.calls->size() == 1, 10000);
    QCOMPARE(first.calls->first().second, QString("Uploaded and executed."));
    QCOMPARE(second.calls->first().second, QString("Uploaded and executed."));
    QCOMPARE(radio->countFor("/app/exec"), 1);
    QCOMPARE(radio->requestsFor("/app/exec").first().query, QByteArray("app=demo"));
    QCOMPARE(radio->countFor("/model/base/exec"), 1);
    QStringList names;
    for (const FakeRequest &r : radio->requestsFor("/upload.html"))
        names << MultipartReader::parse(r).parts.value(0).fileName;
    names.sort();
    QCOMPARE(names, (QStringList {"clock.kbm", "demo.app"}));
}

void DeveloperRunTest::repliesAfterTheTabIsGoneCallNothing()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    radio->setResponse("/upload.html", FakeResponse::text("OK").delayed(300));
    makeWidget();
    found();
    selectProject("demo");
    Completions done;
    widget->runProject(done.callback());
    QVERIFY(radio->waitForRequests("/upload.html", 1));
    delete widget.data();
    QTRY_COMPARE_WITH_TIMEOUT(manager->unfinished(), 0, 10000);
    QTest::qWait(100);
    QCOMPARE(done.calls->size(), 0);
    QCOMPARE(radio->countFor("/app/exec"), 0);
}

void DeveloperRunTest::createProject_data()
{
    QTest::addColumn<QString>("typeButton"); // empty: the type dialog is closed
    QTest::addColumn<QString>("typed"); // null: the name dialog is cancelled
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("opened");
    QTest::newRow("type dialog closed") << "" << QString() << ""
                                        << ""
                                        << "";
    QTest::newRow("name dialog cancelled") << "applicationButton" << QString() << ""
                                           << ""
                                           << "";
    QTest::newRow("home screen, name trimmed") << "homeScreenButton"
                                               << "  my clock "
                                               << ""
                                               << "my clock"
                                               << "screen.qml";
    QTest::newRow("application") << "applicationButton"
                                 << "demo2"
                                 << ""
                                 << "demo2"
                                 << "app.qml";
    QTest::newRow("only spaces") << "applicationButton"
                                 << "   "
                                 << "Please enter a project name."
                                 << ""
                                 << "";
    QTest::newRow("existing") << "homeScreenButton"
                              << "demo"
                              << "A project named \"demo\" already exists. Please pick "
                                 "another name."
                              << ""
                              << "";
    QTest::newRow("forbidden character")
        << "applicationButton"
        << "a:b"
        << "The name contains characters that aren't allowed in a folder name."
        << ""
        << "";
    // The field takes 16 characters, no more.
    QTest::newRow("cut at 16") << "applicationButton"
                               << "abcdefghijklmnopq"
                               << ""
                               << "abcdefghijklmnop"
                               << "app.qml";
}

void DeveloperRunTest::createProject()
{
    QFETCH(QString, typeButton);
    QFETCH(QString, typed);
    QFETCH(QString, warning);
    QFETCH(QString, created);
    QFETCH(QString, opened);
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    QList<ModalScript::Step> steps;
    QString typeTitle;
    QString nameTitle;
    steps << [&](QWidget *w) {
        typeTitle = w->windowTitle();
        if (typeButton.isEmpty())
            w->close(); // its window button
        else
            clickButton(typeButton.toLatin1().constData())(w);
    };
    if (!typeButton.isEmpty()) {
        steps << [&](QWidget *w) {
            nameTitle = w->windowTitle();
            (typed.isNull() ? rejectDialog() : typeName(typed))(w);
        };
    }
    if (!warning.isEmpty())
        steps << ModalScript::press(QMessageBox::Ok);
    ScopedModalScript script;
    script.run(steps);
    button("createButton")->click();
    QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);

    QCOMPARE(typeTitle, QString("Select Project Type"));
    QCOMPARE(nameTitle, typeButton.isEmpty() ? QString() : QString("Create Project"));
    QCOMPARE(*script.texts, warning.isEmpty() ? QStringList() : QStringList {warning});
    QStringList expected {"demo"};
    if (!created.isEmpty())
        expected << created;
    expected.sort();
    QCOMPARE(projectTexts(), expected);
    if (created.isEmpty()) {
        QVERIFY(!projects()->currentItem());
        return;
    }
    QCOMPARE(projects()->currentItem()->text(), created);
    QCOMPARE(fileLabel(), created + " / " + opened);
    QCOMPARE(projects()->currentItem()->icon().pixmap(16, 16).toImage(),
             QIcon(opened == "screen.qml" ? ":/icons/icon-project-home.svg"
                                          : ":/icons/icon-project-app.svg")
                 .pixmap(16, 16)
                 .toImage());
}

void DeveloperRunTest::projectTypeDialogLooksLikeTheWelcomeCard()
{
    makeWidget();
    QStringList texts;
    QString style;
    QSize minimum;
    bool bold = false;
    ScopedModalScript script;
    script.run({[&](QWidget *w) {
        for (QPushButton *b : w->findChildren<QPushButton *>())
            texts << b->text();
        auto *app = w->findChild<QPushButton *>("applicationButton");
        style = app->styleSheet();
        minimum = app->minimumSize();
        bold = app->font().bold();
        w->close();
    }});
    button("createButton")->click();
    QCOMPARE(texts, (QStringList {"Application", "Home Screen"}));
    QCOMPARE(style, Theme::primaryButtonStyleSheet());
    QCOMPARE(minimum, QSize(260, 44));
    QVERIFY(bold);
}

void DeveloperRunTest::deleteHomeScreen_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("no") << false << 200 << "";
    QTest::newRow("deleted") << true << 200
                             << "Home Screen deleted - reverted to the radio's default.";
    QTest::newRow("refused") << true << 500 << "Failed to delete Home Screen: …";
}

void DeveloperRunTest::deleteHomeScreen()
{
    QFETCH(bool, yes);
    QFETCH(int, status);
    QFETCH(QString, message);
    QVERIFY(makeProject("clock", ProjectType::HomeScreen));
    radio->setResponse("/model/base/delete", FakeResponse::error(status, "x"));
    if (status == 200)
        radio->setResponse("/model/base/delete", FakeResponse::text("OK"));
    makeWidget();
    found();
    selectProject("clock");
    ScopedModalScript script;
    script.run({ModalScript::press(yes ? QMessageBox::Yes : QMessageBox::No)});
    button("deleteHomeScreenButton")->click();
    QCOMPARE(*script.texts,
             QStringList {"Delete the radio's custom Home Screen and revert it to the built-in "
                          "default? This cannot be undone from here - you'd need to Play a Home "
                          "Screen project again to restore one."});
    if (!yes) {
        QTest::qWait(100);
        QCOMPARE(manager->sent.size(), 0);
        QCOMPARE(this->status(), QString());
        return;
    }
    QCOMPARE(this->status(), QString("Deleting Home Screen..."));
    QCOMPARE(manager->sent.size(), 1);
    QCOMPARE(manager->sent[0]->request.transferTimeout(), 5000);
    QVERIFY(radio->waitForRequests("/model/base/delete", 1));
    QCOMPARE(radio->requests().first().requestLine, QByteArray("GET /model/base/delete HTTP/1.1"));
    if (message.endsWith(QString::fromUtf8("…"))) {
        QTRY_VERIFY(this->status().startsWith(message.chopped(1)));
        QVERIFY(this->status().size() > message.size());
    } else {
        QTRY_COMPARE(this->status(), message);
    }
}

void DeveloperRunTest::docsOpensThePortal()
{
    makeWidget();
    {
        OpenedUrls opened;
        button("docsButton")->click();
        QCOMPARE(opened.urls, QList<QUrl> {QUrl("https://developer.varnek.com/dev/")});
    }
    // No browser: the address is shown instead.
    ScopedModalScript script;
    script.run({ModalScript::press(QMessageBox::Ok)});
    button("docsButton")->click();
    QCOMPARE(*script.texts,
             QStringList {"The browser could not be opened. The address is:\n"
                          "https://developer.varnek.com/dev/"});
}

void DeveloperRunTest::packagingFollowsNoLink_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<QString>("message");
    const QString out = "Failed: Cannot write %1/Kelo Developer/demo/output/demo.tar: ";
    QTest::newRow("output/ is a link")
        << "output" << out + "its folder is a link, which is not followed";
    QTest::newRow("output/demo.tar is a link")
        << "package" << out + "it is a link, which is not followed";
    QTest::newRow("output/demo.tar is a dangling link")
        << "dangling package" << out + "it is a link, which is not followed";
    QTest::newRow("output/demo.tar is a FIFO")
        << "fifo package" << out + "it is not a regular file";
    const QString linkedOut = "Failed: the project's folder or its src/ is a link to a folder "
                              "outside the Kelo Developer folder; it is not packaged.";
    QTest::newRow("src/ is a link outside") << "src" << linkedOut;
    QTest::newRow("the project folder is a link outside") << "project" << linkedOut;
}

void DeveloperRunTest::packagingFollowsNoLink()
{
    QFETCH(QString, planted);
    QFETCH(QString, message);
    QVERIFY(makeProject("demo", ProjectType::Application));
    QTemporaryDir outside;
    QVERIFY(writeFile(outside.filePath("victim.tar"), "keep me"));
    QVERIFY(writeFile(outside.filePath("secret.txt"), "secret"));
    const QString project = DeveloperWorkspace::projectPath("demo");
    const QString output = DeveloperWorkspace::outputPath("demo");
    if (planted == "output") {
        QVERIFY(QDir(output).removeRecursively());
        QVERIFY(QFile::link(outside.path(), output));
    } else if (planted == "package") {
        QVERIFY(QFile::link(outside.filePath("victim.tar"), tarPath("demo")));
    } else if (planted == "dangling package") {
        QVERIFY(QFile::link(outside.filePath("new.tar"), tarPath("demo")));
    } else if (planted == "fifo package") {
        QCOMPARE(::mkfifo(QFile::encodeName(tarPath("demo")).constData(), 0644), 0);
    } else if (planted == "src") {
        QVERIFY(QDir(DeveloperWorkspace::sourcePath("demo")).removeRecursively());
        QVERIFY(QFile::link(outside.path(), DeveloperWorkspace::sourcePath("demo")));
    } else {
        QVERIFY(QDir().rename(project, outside.filePath("demo")));
        QVERIFY(QFile::link(outside.filePath("demo"), project));
    }
    const QMap<QString, QByteArray> outsideBefore = WorkspaceTest::folderContents(outside.path());
    makeWidget();
    found();
    selectProject("demo");
    button("playButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(button("playButton")->isEnabled(), 10000);
    QCOMPARE(status(), message.arg(home->documents()));
    QCOMPARE(WorkspaceTest::folderContents(outside.path()), outsideBefore);
    QCOMPARE(radio->countFor("/upload.html"), 0);
}

void DeveloperRunTest::linkedFilesAreNamedAfterPackaging()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QTemporaryDir outside;
    QVERIFY(writeFile(outside.filePath("shared.qml"), "Item {}\n"));
    QVERIFY(QFile::link(outside.filePath("shared.qml"),
                        DeveloperWorkspace::sourcePath("demo") + "/shared.qml"));
    makeWidget();
    selectProject("demo");
    button("playButton")->click();
    QTRY_VERIFY(button("playButton")->isEnabled());
    QCOMPARE(status(),
             QString("Packaged, but no radio is connected to upload it to. 1 linked "
                     "file in src/ was left out of the package (links are not "
                     "followed)."));
    QCOMPARE(tarMembers(tarPath("demo")),
             (QStringList {"demo/", "demo/app.qml", "demo/icon.png", "demo/version"}));
}

void DeveloperRunTest::killedSaveLeavesNothingInThePackage()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString src = DeveloperWorkspace::sourcePath("demo");
    makeWidget();
    found();
    selectProject("demo");
    selectFile("version");
    auto *versionEdit = child<QLineEdit>("versionEdit");
    versionEdit->setFocus();
    versionEdit->selectAll();
    QTest::keyClicks(versionEdit, "1.0.0");
    // The program dies at the rename of the save: its temporary file stays behind.
    QString leftOver;
    SafeFileWriter::beforeRenameHook = [&leftOver](const QString &path) {
        leftOver = path;
        return false;
    };
    ScopedModalScript script;
    script.run({ModalScript::press(QMessageBox::Ok)});
    pressSave();
    SafeFileWriter::beforeRenameHook = nullptr;
    QTRY_COMPARE(script.texts->size(), 1);
    QVERIFY(QFileInfo::exists(leftOver));
    QCOMPARE(readFile(src + "/version"), QByteArray("0 0 1 \n"));

    selectFile("app.qml");
    button("playButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Uploaded and executed."), 10000);
    QVERIFY(QFileInfo::exists(leftOver));
    const QStringList members {"demo/", "demo/app.qml", "demo/icon.png", "demo/version"};
    QCOMPARE(tarMembers(tarPath("demo")), members);
    QProcess tar;
    tar.start("tar", {"-tf", tarPath("demo")});
    QVERIFY(tar.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(tar.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
             members);
    // Opening the project again clears it away.
    projects()->setCurrentItem(nullptr);
    selectProject("demo");
    QVERIFY(!QFileInfo::exists(leftOver));
    QCOMPARE(WorkspaceTest::allEntries(src), (QStringList {"app.qml", "icon.png", "version"}));
}

QTEST_MAIN(DeveloperRunTest)
#include "tst_developerrun.moc"
