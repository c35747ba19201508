// The assistant's ten tools on a real Developer tab with a temporary home. Most rows call the
// tab's tool back-end straight; the rows marked end to end call them the way the model does:
// the fake AI service answers with a tool_use block, the panel hands it to the tab, and the
// answer is read back from the tool_result of the next request (every request body checked
// by the validator).
#include "AiAssistantWidget.h"
#include "AiServiceApi.h"
#include "AspectImageLabel.h"
#include "AssistantTexts.h"
#include "AssistantToolNames.h"
#include "DeveloperTestSupport.h"
#include "DeveloperWorkspace.h"
#include "FakeAiService.h"
#include "KeloResources.h"
#include "MessagesBodyValidator.h"
#include "RadioReply.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

using namespace DeveloperTest;
using ProjectType = DeveloperWidget::ProjectType;
using WorkspaceTest::allEntries;
using WorkspaceTest::folderContents;
using WorkspaceTest::readFile;
using WorkspaceTest::writeFile;

Q_DECLARE_METATYPE(FakeResponse)

namespace {

// Where the open project's files are: in the workspace, or in a folder outside it that the
// project's src/ or the project folder itself links to.
enum Placement { InWorkspace, SourceLinkedOut, ProjectLinkedOut };

const char NoProject[]
    = "No project is open - ask the user to create or select one from the Projects list first.";

QString src(const QString &project = QStringLiteral("demo"))
{
    return DeveloperWorkspace::sourcePath(project);
}

QByteArray redPng(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::red);
    return TestImages::png(image);
}

// A full-canvas blue square of 10 x 10 user units.
const char BlueSquare[] = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\">"
                          "<rect width=\"10\" height=\"10\" fill=\"#0000ff\"/></svg>";

// An SVG that draws the picture at href over the whole canvas.
QString svgWithImage(const QString &href)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" "
                          "xmlns:xlink=\"http://www.w3.org/1999/xlink\" viewBox=\"0 0 10 10\">"
                          "<image x=\"0\" y=\"0\" width=\"10\" height=\"10\" xlink:href=\"%1\"/>"
                          "</svg>")
        .arg(href);
}

// Moves the project's src/ (or the whole project) into outside and leaves a link to it in
// its place.
bool linkOut(const QString &project, Placement placement, const QString &outside)
{
    if (placement == InWorkspace)
        return true;
    const QString inside
        = placement == SourceLinkedOut ? src(project) : DeveloperWorkspace::projectPath(project);
    const QString moved = outside + QLatin1Char('/') + QFileInfo(inside).fileName();
    return QDir().rename(inside, moved) && QFile::link(moved, inside);
}

QString linkedOut(const QString &project)
{
    return QStringLiteral("Project \"%1\" keeps its files in a folder outside the Kelo Developer "
                          "folder, reached through a link - the assistant can't read or write "
                          "them.")
        .arg(project);
}

// A user's umask that keeps new files private: the files the tools write must still be 0644,
// as the tab's own copies are.
class StrictUmask
{
public:
    StrictUmask()
        : saved(::umask(077))
    {
    }
    ~StrictUmask() { ::umask(saved); }
    StrictUmask(const StrictUmask &) = delete;
    StrictUmask &operator=(const StrictUmask &) = delete;

private:
    mode_t saved;
};

QSize imageSize(const QString &path, QByteArray *format = nullptr)
{
    if (format)
        *format = QImageReader::imageFormat(path);
    return QImageReader(path).read().size();
}

} // namespace

Q_DECLARE_METATYPE(Placement)

class DeveloperToolsTest : public QObject, public TabFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void definedToolsAreCarriedOut();
    void unknownNames_data();
    void unknownNames();
    void noProjectAnswers_data();
    void noProjectAnswers();
    void nonStringInputsReadAsEmpty();
    void listFiles();
    void listFilesOfAnEmptyProject();
    void listFilesOfALinkedProject_data();
    void listFilesOfALinkedProject();
    void readFileAnswers_data();
    void readFileAnswers();
    void writeFileAnswers_data();
    void writeFileAnswers();
    void writeFileIntoTheOpenFile();
    void writeFileIntoTheOpenFileCanBeUndone();
    void writeFileWithoutContent_data();
    void writeFileWithoutContent();
    void fileNamesAgreeWithTheTab_data();
    void fileNamesAgreeWithTheTab();
    void readFileSizeLimit_data();
    void readFileSizeLimit();
    void failedWritesKeepTheOldFile();
    void writeImageSizes_data();
    void writeImageSizes();
    void writeImageRefusals_data();
    void writeImageRefusals();
    void localPicturesWouldBeDrawn();
    void writeImageOverAnExistingImage();
    void writeImageUndrawnPart_data();
    void writeImageUndrawnPart();
    void iconIsReplacedWhole();
    void iconFollowsNoPlantedLink();
    void iconOfAHomeScreenGetsNoEntry();
    void checkRadio();
    void createProject_data();
    void createProject();
    void createProjectThatEndsUnselected();
    void createProjectKeepsUnsavedWork_data();
    void createProjectKeepsUnsavedWork();
    void readDocs_data();
    void readDocs();
    void runProject_data();
    void runProject();
    void takeScreenshot_data();
    void takeScreenshot();
    void takeScreenshotRequest();

private:
    // Through the back-end, or end to end through the panel and the service.
    ToolAnswer call(const QString &name, const QJsonObject &input = {});
    bool endToEnd = false;
    AiAssistantWidget *panel() const { return child<AiAssistantWidget>("aiPanel"); }
    void openDemo();

    std::unique_ptr<FakeAiService> service;
};

void DeveloperToolsTest::initTestCase()
{
    initKeloResources();
    TestSupport::unsetProxies();
}

void DeveloperToolsTest::init()
{
    endToEnd = false;
    setUp();
    service = std::make_unique<FakeAiService>();
    QVERIFY(service->listen());
    AiServiceApi::setBaseUrl(service->url());
}

void DeveloperToolsTest::cleanup()
{
    QStringList problems
        = service->problems() + MessagesBodyValidator::checkWithPython(service->bodies());
    RadioReply::setMaxBytesForTesting(RadioReply::Kind::Picture, 0);
    tearDown();
    service.reset();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

ToolAnswer DeveloperToolsTest::call(const QString &name, const QJsonObject &input)
{
    return endToEnd ? callTool(*service, widget, name, input) : callBackend(widget, name, input);
}

void DeveloperToolsTest::openDemo()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    selectProject("demo");
}

// The names the model is offered are the ones the tab carries out, in the same order.
void DeveloperToolsTest::definedToolsAreCarriedOut()
{
    makeWidget();
    const QJsonArray tools = AssistantTexts::toolDefinitions();
    QCOMPARE(tools.size(), 10);
    QStringList offered;
    for (const QJsonValue &tool : tools)
        offered.append(tool.toObject().value("name").toString());
    QCOMPARE(offered,
             QStringList({"list_files", "read_file", "write_file", "write_image", "check_radio",
                          "create_project", "run_project", "take_screenshot", "read_debug_log",
                          "read_docs"}));
    for (int i = 0; i < AssistantToolNames::Count; ++i)
        QCOMPARE(QString(AssistantToolNames::Names[i]), offered.at(i));
    // No project and no radio: each answers at once, none as an unknown tool.
    for (const QString &name : offered) {
        const QString text = call(name).text;
        QVERIFY2(!text.startsWith("Unknown tool") && !text.startsWith('<'),
                 qPrintable(name + ": " + text));
    }
    QCOMPARE(call("list_file").text, QString("Unknown tool \"list_file\"."));
}

void DeveloperToolsTest::unknownNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("other letter case") << "List_Files";
    QTest::newRow("all capitals") << "READ_DOCS";
    QTest::newRow("trailing space") << "check_radio ";
    QTest::newRow("not a tool") << "delete_everything";
    QTest::newRow("empty") << "";
}

void DeveloperToolsTest::unknownNames()
{
    // A call of a tool the request does not declare is never run; kept, it would make every
    // later request one the service refuses. The model is told instead.
    QFETCH(QString, name);
    openDemo();
    const QStringList before = allEntries(src());
    const int requests = service->messagesRequests().size();
    service->queueToolCalls(QStringLiteral("Trying."), {{name, QJsonObject {{"filename", "app.qml"}}}});
    service->queueText(QStringLiteral("OK."));
    auto *assistant = panel();
    assistant->findChild<QPlainTextEdit *>(QStringLiteral("input"))->setPlainText("Go on.");
    QMetaObject::invokeMethod(assistant, "onSendClicked");
    QTRY_VERIFY(service->messagesRequests().size() >= requests + 2);
    const QJsonArray messages = service->messages(requests + 1);
    const QJsonArray content = messages.last().toObject().value("content").toArray();
    QStringList texts;
    for (const QJsonValue &block : content) {
        QVERIFY(block.toObject().value("type") != "tool_result");
        texts.append(block.toObject().value("text").toString());
    }
    QVERIFY2(texts.contains(QString("A tool call of your last answer was not run and was removed: "
                                    "\"%1\" is not one of the tools. Call the tool again if you "
                                    "still need it.")
                                .arg(name)),
             qPrintable(texts.join('|')));
    QCOMPARE(allEntries(src()), before);
}

void DeveloperToolsTest::noProjectAnswers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonObject>("input");
    QTest::newRow("list_files") << "list_files" << QJsonObject();
    QTest::newRow("read_file") << "read_file" << QJsonObject {{"filename", "app.qml"}};
    QTest::newRow("write_file") << "write_file"
                                << QJsonObject {{"filename", "app.qml"}, {"content", "Item {}"}};
    QTest::newRow("write_image") << "write_image"
                                 << QJsonObject {{"filename", "icon.png"}, {"svg", BlueSquare}};
}

void DeveloperToolsTest::noProjectAnswers()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, input);
    // End to end: the panel and the service carry the answer.
    endToEnd = true;
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    const QStringList before = allEntries(src());
    QCOMPARE(call(name, input).text, QString(NoProject));
    QCOMPARE(allEntries(src()), before);
}

// A parameter of another JSON type reads as an empty text, which every tool refuses.
void DeveloperToolsTest::nonStringInputsReadAsEmpty()
{
    openDemo();
    QCOMPARE(call("read_file", {{"filename", 42}}).text,
             QString("\"\" isn't a valid filename to read."));
    QCOMPARE(call("write_file", {{"filename", QJsonArray {"a.qml"}}, {"content", "x"}}).text,
             QString("\"\" isn't a valid file to write - only bare .qml filenames are allowed, "
                     "no paths."));
    QCOMPARE(call("create_project", {{"name", "x"}, {"type", QJsonValue::Null}}).text,
             QString("Unknown project type \"\" - use \"application\" or \"home_screen\"."));
    QCOMPARE(call("read_docs", {{"page", true}}).text,
             QString("Unknown docs page \"\" - use one of: api_reference, battery_manager, "
                     "components, getting_started, inputs_channels, telemetry."));
}

void DeveloperToolsTest::listFiles()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(writeFile(projectFile("demo", "src/Zeta.qml"), "Item {}"));
    QVERIFY(writeFile(projectFile("demo", "src/alpha.qml"), "Item {}"));
    QVERIFY(writeFile(projectFile("demo", "src/logo.png"), redPng(8, 8)));
    QVERIFY(writeFile(projectFile("demo", "src/.hidden.qml"), "Item {}"));
    QVERIFY(QDir().mkpath(projectFile("demo", "src/folder")));
    QVERIFY(QFile::link(projectFile("demo", "src/alpha.qml"), projectFile("demo", "src/link.qml")));
    makeWidget();
    selectProject("demo");
    QCOMPARE(fileLabel(), QString("demo / Zeta.qml"));

    // Files only, by character code (capitals first), as a package holds them.
    QCOMPARE(call("list_files").text,
             QString("Files in project \"demo\":\n"
                     "Zeta.qml (open in editor)\n"
                     "alpha.qml\n"
                     "app.qml\n"
                     "icon.png\n"
                     "logo.png\n"
                     "version"));
    typeInEditor("// edited");
    QCOMPARE(call("list_files").text,
             QString("Files in project \"demo\":\n"
                     "Zeta.qml (open in editor, unsaved changes)\n"
                     "alpha.qml\n"
                     "app.qml\n"
                     "icon.png\n"
                     "logo.png\n"
                     "version"));
}

void DeveloperToolsTest::listFilesOfAnEmptyProject()
{
    QVERIFY(QDir().mkpath(src("empty")));
    makeWidget();
    selectProject("empty");
    QCOMPARE(call("list_files").text, QString("Project \"empty\" has no files."));
}

void DeveloperToolsTest::listFilesOfALinkedProject_data()
{
    QTest::addColumn<Placement>("placement");
    QTest::newRow("src/ linked out of the workspace") << SourceLinkedOut;
    QTest::newRow("project linked out of the workspace") << ProjectLinkedOut;
}

// The names of a folder elsewhere would go to the service.
void DeveloperToolsTest::listFilesOfALinkedProject()
{
    QFETCH(Placement, placement);
    QTemporaryDir outside;
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(linkOut("demo", placement, outside.path()));
    makeWidget();
    selectProject("demo");
    QCOMPARE(call("list_files").text, linkedOut("demo"));
}

void DeveloperToolsTest::readFileAnswers_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<Placement>("placement");
    const QString invalid = QStringLiteral("\"%1\" isn't a valid filename to read.");
    QTest::newRow("another file") << "other.qml"
                                  << "Item { id: other }\n"
                                  << InWorkspace;
    QTest::newRow("cut at a NUL") << "nul.qml"
                                  << "before" << InWorkspace;
    QTest::newRow("not UTF-8 is replaced")
        << "latin1.qml" << QString::fromUtf8("caf\xef\xbf\xbd") + QStringLiteral("\n")
        << InWorkspace;
    QTest::newRow("missing") << "missing.qml"
                             << "missing.qml doesn't exist in this project." << InWorkspace;
    QTest::newRow("icon in capitals")
        << "Icon.PNG"
        << "Icon.PNG is a binary image file, not readable as text." << InWorkspace;
    QTest::newRow("image") << "photo.JPG"
                           << "photo.JPG is a binary image file, not readable as text."
                           << InWorkspace;
    QTest::newRow("a folder") << "folder.qml"
                              << "Failed to read folder.qml: *" << InWorkspace;
    QTest::newRow("slash") << "sub/a.qml" << invalid.arg("sub/a.qml") << InWorkspace;
    QTest::newRow("backslash") << "sub\\a.qml" << invalid.arg("sub\\a.qml") << InWorkspace;
    QTest::newRow("two periods") << "..qml" << invalid.arg("..qml") << InWorkspace;
    QTest::newRow("absolute") << "/etc/passwd" << invalid.arg("/etc/passwd") << InWorkspace;
    QTest::newRow("empty") << "" << invalid.arg("") << InWorkspace;
    // The folder itself.
    QTest::newRow("one period") << "." << invalid.arg(".") << InWorkspace;
    // QFile would open "version" and answer its content under another name.
    QTest::newRow("NUL in the name")
        << QString::fromUtf8("version\0.qml", 12)
        << invalid.arg(QString::fromUtf8("version\0.qml", 12)) << InWorkspace;
    QTest::newRow("line feed in the name") << "a\n.qml" << invalid.arg("a\n.qml") << InWorkspace;
    // Would read a file outside the project.
    QTest::newRow("symlink") << "secret.qml" << invalid.arg("secret.qml") << InWorkspace;
    QTest::newRow("dangling symlink")
        << "dangling.qml" << invalid.arg("dangling.qml") << InWorkspace;
    // Each would read the file behind the link, outside the workspace.
    QTest::newRow("src/ linked out of the workspace")
        << "other.qml" << linkedOut("demo") << SourceLinkedOut;
    QTest::newRow("project linked out, the open file")
        << "app.qml" << linkedOut("demo") << ProjectLinkedOut;
}

void DeveloperToolsTest::readFileAnswers()
{
    QFETCH(QString, filename);
    QFETCH(QString, answer);
    QFETCH(Placement, placement);
    QTemporaryDir outside;
    QVERIFY(writeFile(outside.filePath("secret.txt"), "password=hunter2"));
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(writeFile(projectFile("demo", "src/other.qml"), "Item { id: other }\r\n"));
    QVERIFY(writeFile(projectFile("demo", "src/nul.qml"), QByteArray("before\0after", 12)));
    QVERIFY(writeFile(projectFile("demo", "src/latin1.qml"), "caf\xe9\n"));
    QVERIFY(writeFile(projectFile("demo", "src/photo.JPG"), "not really"));
    QVERIFY(writeFile(projectFile("demo", "src/Icon.PNG"), "not really"));
    QVERIFY(QDir().mkpath(projectFile("demo", "src/folder.qml")));
    QVERIFY(QFile::link(outside.filePath("secret.txt"), projectFile("demo", "src/secret.qml")));
    QVERIFY(QFile::link(outside.filePath("gone.txt"), projectFile("demo", "src/dangling.qml")));
    QVERIFY(linkOut("demo", placement, outside.path()));

    // The tab only for the row about its open file: the others read the disk alone.
    QString text;
    if (QByteArray(QTest::currentDataTag()) == "project linked out, the open file") {
        makeWidget();
        selectProject("demo");
        text = call("read_file", {{"filename", filename}}).text;
    } else {
        BareToolHost host;
        host.project = "demo";
        DeveloperToolBackend backend(&host, scanner, manager);
        text = callBackend(&backend, "read_file", {{"filename", filename}}).text;
        QCOMPARE(host.events, QStringList());
    }
    if (answer.endsWith('*'))
        QVERIFY2(text.startsWith(answer.chopped(1)) && text.size() > answer.size(),
                 qPrintable(text));
    else
        QCOMPARE(text, answer);
}

void DeveloperToolsTest::writeFileAnswers_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("written"); // the file that must hold the content; "" = none
    QTest::addColumn<bool>("newEntry");
    QTest::addColumn<Placement>("placement");
    const QString bare = QStringLiteral("\"%1\" isn't a valid file to write - only bare .qml "
                                        "filenames are allowed, no paths.");
    QTest::newRow("new file") << "new.qml"
                              << "Created new.qml."
                              << "new.qml" << true << InWorkspace;
    QTest::newRow("capital extension") << "main.QML"
                                       << "Created main.QML."
                                       << "main.QML" << true << InWorkspace;
    QTest::newRow("existing file") << "other.qml"
                                   << "Wrote other.qml."
                                   << "other.qml" << false << InWorkspace;
    QTest::newRow("not QML") << "notes.txt" << bare.arg("notes.txt") << "" << false << InWorkspace;
    QTest::newRow("sub-folder") << "sub/a.qml" << bare.arg("sub/a.qml") << "" << false
                                << InWorkspace;
    QTest::newRow("absolute") << "/tmp/a.qml" << bare.arg("/tmp/a.qml") << "" << false
                              << InWorkspace;
    QTest::newRow("parent") << "..qml" << bare.arg("..qml") << "" << false << InWorkspace;
    // QFile would write src/version, which the radio reads as the app's version.
    QTest::newRow("NUL in the name")
        << QString::fromUtf8("version\0.qml", 12)
        << bare.arg(QString::fromUtf8("version\0.qml", 12)) << "" << false << InWorkspace;
    QTest::newRow("tab in the name")
        << "a\t.qml" << bare.arg("a\t.qml") << "" << false << InWorkspace;
    QTest::newRow("DEL in the name")
        << "a\x7f.qml" << bare.arg("a\x7f.qml") << "" << false << InWorkspace;
    // Would overwrite a file outside the project.
    QTest::newRow("symlink") << "outside.qml" << bare.arg("outside.qml") << "" << false
                             << InWorkspace;
    // Each would write into the folder behind the link, outside the workspace.
    QTest::newRow("src/ linked out, an existing file")
        << "other.qml" << linkedOut("demo") << "" << false << SourceLinkedOut;
    QTest::newRow("src/ linked out, a new file")
        << "new.qml" << linkedOut("demo") << "" << false << SourceLinkedOut;
    QTest::newRow("project linked out, an existing file")
        << "other.qml" << linkedOut("demo") << "" << false << ProjectLinkedOut;
    QTest::newRow("project linked out, a new file")
        << "new.qml" << linkedOut("demo") << "" << false << ProjectLinkedOut;
}

void DeveloperToolsTest::writeFileAnswers()
{
    QFETCH(QString, filename);
    QFETCH(QString, answer);
    QFETCH(QString, written);
    QFETCH(bool, newEntry);
    QFETCH(Placement, placement);
    QTemporaryDir outside;
    QVERIFY(writeFile(outside.filePath("victim.qml"), "keep me"));
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(writeFile(projectFile("demo", "src/other.qml"), "Item {}"));
    QVERIFY(QFile::link(outside.filePath("victim.qml"), projectFile("demo", "src/outside.qml")));
    QVERIFY(linkOut("demo", placement, outside.path()));
    makeWidget();
    selectProject("demo");
    const QMap<QString, QByteArray> outsideBefore = folderContents(outside.path());
    const QStringList entriesBefore = allEntries(src());
    const QStringList listBefore = fileTexts();
    const QByteArray version = readFile(projectFile("demo", "src/version"));
    const QString content = QString::fromUtf8("Item { // größer\n}\n");

    {
        const StrictUmask strict;
        QCOMPARE(call("write_file", {{"filename", filename}, {"content", content}}).text, answer);
    }
    QCOMPARE(folderContents(outside.path()), outsideBefore);
    QCOMPARE(readFile(outside.filePath("victim.qml")), QByteArray("keep me"));
    QCOMPARE(readFile(projectFile("demo", "src/version")), version);
    if (written.isEmpty()) {
        QCOMPARE(allEntries(src()), entriesBefore);
        QCOMPARE(fileTexts(), listBefore);
        return;
    }
    QCOMPARE(readFile(src() + "/" + written), content.toUtf8());
    QCOMPARE(WorkspaceTest::fileMode(src() + "/" + written), 0644);
    QCOMPARE(fileTexts(), newEntry ? listBefore + QStringList {written} : listBefore);
    // The open file is untouched.
    QCOMPARE(fileLabel(), QString("demo / app.qml"));
    QVERIFY(!editor()->toPlainText().contains("größer"));
}

void DeveloperToolsTest::writeFileIntoTheOpenFile()
{
    endToEnd = true;
    openDemo();
    typeInEditor("// unsaved");
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml *"));
    QVERIFY(call("read_file", {{"filename", "app.qml"}}).text.contains("// unsaved"));

    const QString content = QStringLiteral("Item { id: fromTheModel }\n");
    QCOMPARE(call("write_file", {{"filename", "app.qml"}, {"content", content}}).text,
             QString("Wrote app.qml."));
    QCOMPARE(readFile(projectFile("demo", "src/app.qml")), content.toUtf8());
    QCOMPARE(editor()->toPlainText(), content);
    QVERIFY(!editor()->document()->isModified());
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml"));
    QCOMPARE(call("list_files").text.section('\n', 1, 1), QString("app.qml (open in editor)"));
}

// The model's change is one step of the editor's undo: the user can take it back.
void DeveloperToolsTest::writeFileIntoTheOpenFileCanBeUndone()
{
    openDemo();
    typeInEditor("// mine");
    const QString mine = editor()->toPlainText();
    const QString content = QStringLiteral("Item { id: fromTheModel }\n");
    QCOMPARE(call("write_file", {{"filename", "app.qml"}, {"content", content}}).text,
             QString("Wrote app.qml."));
    QCOMPARE(editor()->toPlainText(), content);
    QVERIFY(!editor()->document()->isModified());
    QVERIFY(button("undoButton")->isEnabled());

    button("undoButton")->click();
    QCOMPARE(editor()->toPlainText(), mine);
    // The disk holds the model's text now, so the user's is unsaved.
    QVERIFY(editor()->document()->isModified());
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml *"));
    QCOMPARE(readFile(projectFile("demo", "src/app.qml")), content.toUtf8());

    editor()->redo();
    QCOMPARE(editor()->toPlainText(), content);
    QVERIFY(!editor()->document()->isModified());
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml"));
}

void DeveloperToolsTest::writeFileWithoutContent_data()
{
    QTest::addColumn<QJsonObject>("input");
    QTest::addColumn<bool>("written");
    QTest::newRow("no content") << QJsonObject {{"filename", "app.qml"}} << false;
    QTest::newRow("null") << QJsonObject {{"filename", "app.qml"}, {"content", QJsonValue::Null}}
                          << false;
    QTest::newRow("number") << QJsonObject {{"filename", "app.qml"}, {"content", 42}} << false;
    QTest::newRow("lines as an array")
        << QJsonObject {{"filename", "app.qml"}, {"content", QJsonArray {"Item {", "}"}}} << false;
    // An empty text is what the model asked for.
    QTest::newRow("empty text") << QJsonObject {{"filename", "app.qml"}, {"content", ""}} << true;
}

// A call that left the content out must not empty the user's file.
void DeveloperToolsTest::writeFileWithoutContent()
{
    QFETCH(QJsonObject, input);
    QFETCH(bool, written);
    openDemo();
    const QByteArray before = readFile(projectFile("demo", "src/app.qml"));
    QVERIFY(!before.isEmpty());
    const QString shown = editor()->toPlainText();

    const QString answer = call("write_file", input).text;
    if (written) {
        QCOMPARE(answer, QString("Wrote app.qml."));
        QCOMPARE(readFile(projectFile("demo", "src/app.qml")), QByteArray());
        QCOMPARE(editor()->toPlainText(), QString());
        return;
    }
    QCOMPARE(answer,
             QString("app.qml was not written: the input \"content\" is missing or not a string - "
                     "pass the file's complete new text as \"content\"."));
    QCOMPARE(readFile(projectFile("demo", "src/app.qml")), before);
    QCOMPARE(editor()->toPlainText(), shown);
    QVERIFY(!editor()->document()->isModified());
}

void DeveloperToolsTest::fileNamesAgreeWithTheTab_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("tab"); // New QML File makes it
    QTest::addColumn<bool>("tool"); // write_file makes it
    QTest::newRow("plain") << "gauge.qml" << true << true;
    QTest::newRow("space") << "my gauge.qml" << true << true;
    QTest::newRow("not ASCII") << QString::fromUtf8("größe.qml") << true << true;
    // Hidden: never listed nor packaged again.
    QTest::newRow("leading dot") << ".hidden.qml" << false << false;
    QTest::newRow("colon") << "a:b.qml" << false << false;
    QTest::newRow("asterisk") << "a*b.qml" << false << false;
    QTest::newRow("question mark") << "a?b.qml" << false << false;
    QTest::newRow("double quote") << "a\"b.qml" << false << false;
    QTest::newRow("less-than") << "a<b.qml" << false << false;
    QTest::newRow("greater-than") << "a>b.qml" << false << false;
    QTest::newRow("vertical bar") << "a|b.qml" << false << false;
    QTest::newRow("slash") << "a/b.qml" << false << false;
    QTest::newRow("backslash") << "a\\b.qml" << false << false;
    QTest::newRow("tab") << "a\tb.qml" << false << false;
    // The tools also keep refusing any "..", as they always have.
    QTest::newRow("two periods inside") << "a..b.qml" << true << false;
}

// The assistant makes no file the tab would refuse to make.
void DeveloperToolsTest::fileNamesAgreeWithTheTab()
{
    QFETCH(QString, name);
    QFETCH(bool, tab);
    QFETCH(bool, tool);
    QVERIFY(makeProject("byhand", ProjectType::Application));
    openDemo();
    const QStringList before = allEntries(src());

    const QString answer = call("write_file", {{"filename", name}, {"content", "Item {}"}}).text;
    if (tool) {
        QCOMPARE(answer, QString("Created %1.").arg(name));
        QCOMPARE(readFile(src() + "/" + name), QByteArray("Item {}"));
    } else {
        QCOMPARE(answer,
                 QString("\"%1\" isn't a valid file to write - only bare .qml filenames are "
                         "allowed, no paths.")
                     .arg(name));
        QCOMPARE(allEntries(src()), before);
    }
    QString created;
    QString error;
    QCOMPARE(DeveloperWorkspace::createQmlFile("byhand", name, created, error), tab);
    if (tab)
        QCOMPARE(created, name);
}

void DeveloperToolsTest::readFileSizeLimit_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("inEditor");
    QTest::addColumn<QString>("answer"); // empty = the whole text
    const QString tooLarge = QStringLiteral(
        "big.qml is too large to read: 257 KiB, and a read holds at most 256 KiB.");
    QTest::newRow("at the limit") << 262144 << false << QString();
    QTest::newRow("one byte over") << 262145 << false << tooLarge;
    QTest::newRow("a megabyte") << 1048576 << false
                                << "big.qml is too large to read: 1024 KiB, and a read holds at "
                                   "most 256 KiB.";
    QTest::newRow("open in the editor, at the limit") << 262144 << true << QString();
    QTest::newRow("open in the editor, one byte over") << 262145 << true << tooLarge;
}

// A huge file is neither read whole into memory nor sent with every later request.
void DeveloperToolsTest::readFileSizeLimit()
{
    QFETCH(int, size);
    QFETCH(bool, inEditor);
    QFETCH(QString, answer);
    QByteArray content;
    content.reserve(size);
    while (content.size() < size)
        content.append("// a comment line of QML, forty bytes.\n");
    content.truncate(size);
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(writeFile(projectFile("demo", "src/big.qml"), content));
    makeWidget();
    selectProject("demo");
    if (inEditor) {
        selectFile("big.qml");
        QCOMPARE(fileLabel(), QString("demo / big.qml"));
    }
    const QString text = call("read_file", {{"filename", "big.qml"}}).text;
    if (answer.isEmpty())
        QCOMPARE(text.toUtf8(), content);
    else
        QCOMPARE(text, answer);
}

// Written beside the file and renamed over it: a full disk leaves the old file whole and the
// model is told.
void DeveloperToolsTest::failedWritesKeepTheOldFile()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(writeFile(projectFile("demo", "src/other.qml"), "Item {}"));
    QVERIFY(writeFile(projectFile("demo", "src/logo.png"), redPng(8, 8)));
    makeWidget();
    selectProject("demo");
    const QStringList before = allEntries(src());
    const QByteArray icon = readFile(projectFile("demo", "src/icon.png"));
    const QByteArray logo = readFile(projectFile("demo", "src/logo.png"));
    ToolAnswer file;
    ToolAnswer image;
    ToolAnswer iconAnswer;
    {
        // No file may grow past 10 bytes: like a full disk.
        WorkspaceTest::FileSizeLimit full(10);
        file = call("write_file",
                    {{"filename", "other.qml"}, {"content", "Item { width: 100; height: 100 }"}});
        image = call("write_image", {{"filename", "logo.png"}, {"svg", BlueSquare}});
        iconAnswer = call("write_image", {{"filename", "icon.png"}, {"svg", BlueSquare}});
    }
    QVERIFY2(file.text.startsWith("Failed to write other.qml: "), qPrintable(file.text));
    QCOMPARE(image.text, QString("Failed to write logo.png."));
    QVERIFY2(iconAnswer.text.startsWith("Failed to "), qPrintable(iconAnswer.text));
    QCOMPARE(readFile(projectFile("demo", "src/other.qml")), QByteArray("Item {}"));
    QCOMPARE(readFile(projectFile("demo", "src/logo.png")), logo);
    QCOMPARE(readFile(projectFile("demo", "src/icon.png")), icon);
    QCOMPARE(allEntries(src()), before);
}

void DeveloperToolsTest::writeImageSizes_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QJsonObject>("sizes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("answer");
    QTest::newRow("no sizes") << "logo.png" << QJsonObject() << QSize(256, 256)
                              << "Created logo.png (256x256).";
    QTest::newRow("as given") << "logo.png" << QJsonObject {{"width", 120}, {"height", 48}}
                              << QSize(120, 48) << "Created logo.png (120x48).";
    QTest::newRow("too wide") << "logo.png" << QJsonObject {{"width", 5000}, {"height", 64}}
                              << QSize(1024, 64) << "Created logo.png (1024x64).";
    // Past the int range: held in floating point before it becomes a size.
    QTest::newRow("1e10") << "logo.png" << QJsonObject {{"width", 1e10}, {"height", -1e10}}
                          << QSize(1024, 16) << "Created logo.png (1024x16).";
    QTest::newRow("too small") << "logo.png" << QJsonObject {{"width", 8}, {"height", 0}}
                               << QSize(16, 16) << "Created logo.png (16x16).";
    // Not a whole number, or not a number: 0, then the least side.
    QTest::newRow("fraction") << "logo.png" << QJsonObject {{"width", 300.5}, {"height", 100}}
                              << QSize(16, 100) << "Created logo.png (16x100).";
    QTest::newRow("number as text") << "logo.png" << QJsonObject {{"width", "300"}, {"height", 100}}
                                    << QSize(16, 100) << "Created logo.png (16x100).";
    QTest::newRow("null") << "logo.png" << QJsonObject {{"width", QJsonValue::Null}}
                          << QSize(16, 256) << "Created logo.png (16x256).";
    QTest::newRow("JPEG") << "photo.jpeg" << QJsonObject {{"width", 40}, {"height", 30}}
                          << QSize(40, 30) << "Created photo.jpeg (40x30).";
    QTest::newRow("icon in capitals") << "ICON.PNG" << QJsonObject {{"width", 300}, {"height", 300}}
                                      << QSize(64, 64) << "Wrote icon.png (64x64).";
}

void DeveloperToolsTest::writeImageSizes()
{
    QFETCH(QString, filename);
    QFETCH(QJsonObject, sizes);
    QFETCH(QSize, size);
    QFETCH(QString, answer);
    openDemo();
    const bool icon = filename.toLower() == "icon.png";
    const QStringList listBefore = fileTexts();
    QJsonObject input = sizes;
    input.insert("filename", filename);
    input.insert("svg", BlueSquare);

    {
        const StrictUmask strict;
        QCOMPARE(call("write_image", input).text, answer);
    }
    const QString path = src() + "/" + (icon ? QStringLiteral("icon.png") : filename);
    QByteArray format;
    QCOMPARE(imageSize(path, &format), size);
    QCOMPARE(format, QByteArray(filename.endsWith(".jpeg") ? "jpeg" : "png"));
    const QImage image(path);
    // JPEG is lossy: nearly blue.
    const QColor middle(image.pixel(size.width() / 2, size.height() / 2));
    QVERIFY2(middle.blue() > 240 && middle.red() < 16 && middle.green() < 16,
             qPrintable(middle.name()));
    QCOMPARE(WorkspaceTest::fileMode(path), 0644);
    if (icon) {
        QVERIFY(!QFile::exists(src() + "/ICON.PNG"));
        QCOMPARE(fileTexts(), listBefore);
    } else {
        QCOMPARE(fileTexts(), listBefore + QStringList {filename});
        QVERIFY(!fileItem(filename)->icon().isNull());
    }
}

void DeveloperToolsTest::writeImageRefusals_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QString>("svg");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<Placement>("placement");
    const QString outsideRefusal = QStringLiteral(
        "That SVG refers to a picture outside itself - embed pictures as base64 data: URLs of "
        "PNG or JPG images, or draw them with shapes.");
    const QString unparsable
        = QStringLiteral("That SVG couldn't be parsed - check it's well-formed.");
    QTest::newRow("GIF") << "logo.gif" << BlueSquare
                         << "\"logo.gif\" isn't a valid image to write - use a .png or .jpg "
                            "filename, or exactly \"icon.png\" for the project icon."
                         << InWorkspace;
    QTest::newRow("no extension") << "logo" << BlueSquare
                                  << "\"logo\" isn't a valid image to write - use a .png or .jpg "
                                     "filename, or exactly \"icon.png\" for the project icon."
                                  << InWorkspace;
    QTest::newRow("path") << "img/logo.png" << BlueSquare
                          << "\"img/logo.png\" isn't a valid filename to write." << InWorkspace;
    // Would draw over the picture outside the project that the link points to.
    QTest::newRow("symlink") << "linked.png" << BlueSquare
                             << "\"linked.png\" isn't a valid filename to write." << InWorkspace;
    const QString nulName = QString::fromUtf8("icon.png\0.png", 13);
    QTest::newRow("NUL in the name")
        << nulName << BlueSquare << QString("\"%1\" isn't a valid filename to write.").arg(nulName)
        << InWorkspace;
    QTest::newRow("not XML") << "logo.png"
                             << "<svg><rect" << unparsable << InWorkspace;
    QTest::newRow("empty") << "logo.png"
                           << "" << unparsable << InWorkspace;
    // Each would draw a file of this computer into the picture, which then goes to the radio
    // and to the service.
    QTest::newRow("absolute path")
        << "logo.png" << svgWithImage("%PICTURE%") << outsideRefusal << InWorkspace;
    QTest::newRow("file URL") << "logo.png" << svgWithImage("file://%PICTURE%") << outsideRefusal
                              << InWorkspace;
    QTest::newRow("relative path")
        << "logo.png" << svgWithImage("secret.png") << outsideRefusal << InWorkspace;
    QTest::newRow("web address") << "logo.png" << svgWithImage("http://127.0.0.1:1/a.png")
                                 << outsideRefusal << InWorkspace;
    QTest::newRow("upper-case data scheme")
        << "logo.png" << svgWithImage("DATA:image/png;base64,%BASE64%") << outsideRefusal
        << InWorkspace;
    QTest::newRow("href without prefix")
        << "logo.png"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\"><image width=\"10\" height=\"10\" "
           "href=\"%PICTURE%\"/></svg>"
        << outsideRefusal << InWorkspace;
    QTest::newRow("SVG embedded in a data URL")
        << "logo.png" << svgWithImage("data:image/svg+xml;base64,%NESTED%") << outsideRefusal
        << InWorkspace;
    QTest::newRow("entity")
        << "logo.png"
        << "<!DOCTYPE svg [<!ENTITY pic \"%PICTURE%\">]>"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">"
           "<image width=\"10\" height=\"10\" xlink:href=\"&pic;\"/></svg>"
        << outsideRefusal << InWorkspace;
    // Each would draw into the folder behind the link, outside the workspace.
    QTest::newRow("src/ linked out, an image")
        << "logo.png" << BlueSquare << linkedOut("demo") << SourceLinkedOut;
    QTest::newRow("src/ linked out, the icon")
        << "icon.png" << BlueSquare << linkedOut("demo") << SourceLinkedOut;
    QTest::newRow("project linked out, an image")
        << "logo.png" << BlueSquare << linkedOut("demo") << ProjectLinkedOut;
    QTest::newRow("project linked out, the icon")
        << "icon.png" << BlueSquare << linkedOut("demo") << ProjectLinkedOut;
}

void DeveloperToolsTest::writeImageRefusals()
{
    QFETCH(QString, filename);
    QFETCH(QString, svg);
    QFETCH(QString, answer);
    QFETCH(Placement, placement);
    QTemporaryDir outside;
    const QString picture = outside.filePath("secret.png");
    QVERIFY(writeFile(picture, redPng(10, 10)));
    const QString nested = QString::fromLatin1(svgWithImage(picture).toUtf8().toBase64());
    svg.replace("%PICTURE%", picture)
        .replace("%BASE64%", QString::fromLatin1(redPng(10, 10).toBase64()))
        .replace("%NESTED%", nested);
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(QFile::link(picture, projectFile("demo", "src/linked.png")));
    QVERIFY(linkOut("demo", placement, outside.path()));
    makeWidget();
    selectProject("demo");
    const QMap<QString, QByteArray> outsideBefore = folderContents(outside.path());
    const QStringList before = allEntries(src());
    const QStringList listBefore = fileTexts();
    const QByteArray icon = readFile(projectFile("demo", "src/icon.png"));

    QCOMPARE(call("write_image", {{"filename", filename}, {"svg", svg}}).text, answer);
    QCOMPARE(folderContents(outside.path()), outsideBefore);
    QCOMPARE(allEntries(src()), before);
    QCOMPARE(fileTexts(), listBefore);
    QCOMPARE(readFile(projectFile("demo", "src/icon.png")), icon);
    QCOMPARE(readFile(picture), redPng(10, 10));
}

// Why the refusals above matter: the renderer draws a local file named in an SVG, and a
// picture embedded as a data: URL is still drawn.
void DeveloperToolsTest::localPicturesWouldBeDrawn()
{
    QTemporaryDir outside;
    const QString picture = outside.filePath("secret.png");
    QVERIFY(writeFile(picture, redPng(10, 10)));
    const auto render = [](const QString &svg) {
        QSvgRenderer renderer(svg.toUtf8());
        QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        return QColor(image.pixel(10, 10));
    };
    QCOMPARE(render(svgWithImage(picture)), QColor(Qt::red));

    openDemo();
    const QString embedded
        = svgWithImage("data:image/png;base64," + QString::fromLatin1(redPng(10, 10).toBase64()));
    QCOMPARE(call("write_image",
                  {{"filename", "embedded.png"}, {"svg", embedded}, {"width", 20}, {"height", 20}})
                 .text,
             QString("Created embedded.png (20x20)."));
    QCOMPARE(QColor(QImage(src() + "/embedded.png").pixel(10, 10)), QColor(Qt::red));
}

void DeveloperToolsTest::writeImageOverAnExistingImage()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(writeFile(projectFile("demo", "src/logo.png"), redPng(32, 32)));
    makeWidget();
    selectProject("demo");
    selectFile("logo.png");
    QCOMPARE(page(), 3);
    const QStringList listBefore = fileTexts();

    QCOMPARE(call("write_image",
                  {{"filename", "logo.png"}, {"svg", BlueSquare}, {"width", 48}, {"height", 24}})
                 .text,
             QString("Wrote logo.png (48x24)."));
    QCOMPARE(imageSize(src() + "/logo.png"), QSize(48, 24));
    QCOMPARE(fileTexts(), listBefore);
    const QImage thumbnail = fileItem("logo.png")->icon().pixmap(48, 24).toImage();
    QCOMPARE(QColor(thumbnail.pixel(thumbnail.width() / 2, thumbnail.height() / 2)),
             QColor(Qt::blue));
    // The image on view is the new one.
    const QImage shown = child<AspectImageLabel>("imageView")->sourceImage().toImage();
    QCOMPARE(shown.size(), QSize(48, 24));
    QCOMPARE(QColor(shown.pixel(24, 12)), QColor(Qt::blue));
}

void DeveloperToolsTest::writeImageUndrawnPart_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QColor>("undrawn");
    QTest::newRow("PNG keeps it transparent") << "logo.png" << QColor(0, 0, 0, 0);
    // A JPEG has no transparency: white, not black.
    QTest::newRow("JPEG on white") << "photo.jpg" << QColor(Qt::white);
    QTest::newRow("JPEG, long extension") << "photo.JPEG" << QColor(Qt::white);
}

// Where the drawing leaves the canvas empty.
void DeveloperToolsTest::writeImageUndrawnPart()
{
    QFETCH(QString, filename);
    QFETCH(QColor, undrawn);
    openDemo();
    const char leftHalfBlue[] = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\">"
                                "<rect width=\"5\" height=\"10\" fill=\"#0000ff\"/></svg>";
    QCOMPARE(call("write_image",
                  {{"filename", filename}, {"svg", leftHalfBlue}, {"width", 40}, {"height", 20}})
                 .text,
             QString("Created %1 (40x20).").arg(filename));
    const QImage image(src() + "/" + filename);
    QCOMPARE(image.size(), QSize(40, 20));
    // JPEG is lossy: nearly the colour.
    const auto near = [](const QColor &got, const QColor &want) {
        return qAbs(got.red() - want.red()) < 16 && qAbs(got.green() - want.green()) < 16
            && qAbs(got.blue() - want.blue()) < 16 && qAbs(got.alpha() - want.alpha()) < 16;
    };
    const QColor drawn = QColor::fromRgba(image.pixel(8, 10));
    QVERIFY2(near(drawn, Qt::blue), qPrintable(drawn.name(QColor::HexArgb)));
    const QColor empty = QColor::fromRgba(image.pixel(32, 10));
    QVERIFY2(near(empty, undrawn), qPrintable(empty.name(QColor::HexArgb)));
}

void DeveloperToolsTest::iconIsReplacedWhole()
{
    openDemo();
    selectFile("icon.png");
    const QString icon = src() + "/icon.png";
    QVERIFY(QFile::setPermissions(icon, QFileDevice::ReadOwner | QFileDevice::ReadGroup));

    QCOMPARE(call("write_image", {{"filename", "icon.png"}, {"svg", BlueSquare}}).text,
             QString("Wrote icon.png (64x64)."));
    QCOMPARE(imageSize(icon), QSize(64, 64));
    QCOMPARE(QColor(QImage(icon).pixel(32, 32)), QColor(Qt::blue));
    // Replaced, though read-only, and it keeps the mode its user gave it.
    QCOMPARE(WorkspaceTest::fileMode(icon), 0440);
    // The preview and the list entry show the new icon.
    const QPixmap preview = child<QLabel>("iconPreview")->pixmap(Qt::ReturnByValue);
    QCOMPARE(QColor(preview.toImage().pixel(preview.width() / 2, preview.height() / 2)),
             QColor(Qt::blue));
    const QImage entry = fileItem("icon.png")->icon().pixmap(64, 64).toImage();
    QCOMPARE(QColor(entry.pixel(entry.width() / 2, entry.height() / 2)), QColor(Qt::blue));
    QCOMPARE(allEntries(src()), (QStringList {"app.qml", "icon.png", "version"}));
}

// The icon is drawn under a fresh name: a link planted at a fixed name in the temporary
// folder cannot make the tool write through it.
void DeveloperToolsTest::iconFollowsNoPlantedLink()
{
    QTemporaryDir temp;
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.path().toUtf8());
    const QString victim = temp.filePath("victim.txt");
    QVERIFY(writeFile(victim, "keep me"));
    QVERIFY(QFile::link(victim, temp.filePath("kelo-studio-ai-icon.png")));
    openDemo();
    const QString answer
        = call("write_image", {{"filename", "icon.png"}, {"svg", BlueSquare}}).text;
    qputenv("TMPDIR", savedTmp);
    QCOMPARE(answer, QString("Wrote icon.png (64x64)."));
    QCOMPARE(readFile(victim), QByteArray("keep me"));
    // Nothing of the drawing is left behind.
    QCOMPARE(allEntries(temp.path()), (QStringList {"kelo-studio-ai-icon.png", "victim.txt"}));
}

void DeveloperToolsTest::iconOfAHomeScreenGetsNoEntry()
{
    QVERIFY(makeProject("clock", ProjectType::HomeScreen));
    makeWidget();
    selectProject("clock");
    QCOMPARE(call("write_image", {{"filename", "icon.png"}, {"svg", BlueSquare}}).text,
             QString("Wrote icon.png (64x64)."));
    QCOMPARE(imageSize(src("clock") + "/icon.png"), QSize(64, 64));
    QCOMPARE(fileTexts(), QStringList {"screen.qml"});
}

void DeveloperToolsTest::checkRadio()
{
    makeWidget();
    QCOMPARE(call("check_radio").text, QString("No Kelo radio is currently connected."));
    // The scanner's values alone, with or without a tab.
    BareToolHost host;
    DeveloperToolBackend bare(&host, scanner, manager);
    QCOMPARE(callBackend(&bare, "check_radio").text,
             QString("No Kelo radio is currently connected."));
    found();
    QCOMPARE(call("check_radio").text,
             QString("Connected to a Kelo radio at %1 (network \"KeloNet\", model \"Heli 450\").")
                 .arg(radio->address()));
    QCOMPARE(callBackend(&bare, "check_radio").text,
             QString("Connected to a Kelo radio at %1 (network \"KeloNet\", model \"Heli 450\").")
                 .arg(radio->address()));
    // The scanner has forgotten the radio and is sweeping; the tab has not been told yet.
    scanner->ip.clear();
    scanner->networkName.clear();
    scanner->modelName.clear();
    QCOMPARE(call("check_radio").text, QString("No Kelo radio is currently connected."));
}

void DeveloperToolsTest::createProject_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("files"); // of the opened project; empty = nothing opened
    QTest::newRow("application") << "Voltmeter"
                                 << "application"
                                 << "Created and opened project \"Voltmeter\" (Application)."
                                 << QStringList {"app.qml", "icon.png", "version"};
    QTest::newRow("home screen") << "Clock"
                                 << "home_screen"
                                 << "Created and opened project \"Clock\" (Home Screen)."
                                 << QStringList {"screen.qml"};
    // Not trimmed.
    QTest::newRow("spaces kept") << " Gauge "
                                 << "application"
                                 << "Created and opened project \" Gauge \" (Application)."
                                 << QStringList {"app.qml", "icon.png", "version"};
    QTest::newRow("capital type") << "Voltmeter"
                                  << "Application"
                                  << "Unknown project type \"Application\" - use \"application\" "
                                     "or \"home_screen\"."
                                  << QStringList();
    QTest::newRow("existing") << "demo"
                              << "application"
                              << "A project named \"demo\" already exists. Please pick another "
                                 "name."
                              << QStringList();
    QTest::newRow("empty name") << ""
                                << "application"
                                << "Project names must be 1-16 characters." << QStringList();
    QTest::newRow("17 characters") << "abcdefghijklmnopq"
                                   << "home_screen"
                                   << "Project names must be 1-16 characters." << QStringList();
    QTest::newRow("slash") << "a/b"
                           << "application"
                           << "The name contains characters that aren't allowed in a folder name."
                           << QStringList();
}

void DeveloperToolsTest::createProject()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QString, answer);
    QFETCH(QStringList, files);
    openDemo();
    QCOMPARE(call("create_project", {{"name", name}, {"type", type}}).text, answer);
    if (files.isEmpty()) {
        QCOMPARE(projectTexts(), QStringList {"demo"});
        QCOMPARE(projects()->currentItem()->text(), QString("demo"));
        return;
    }
    QVERIFY(projectTexts().contains(name));
    QCOMPARE(projects()->currentItem()->text(), name);
    QCOMPARE(allEntries(src(name)), files);
    // The next tools act on it.
    QVERIFY2(call("list_files").text.startsWith(QString("Files in project \"%1\":\n").arg(name)),
             qPrintable(name));
}

// The model must not be told a project is open when another one is.
void DeveloperToolsTest::createProjectThatEndsUnselected()
{
    openDemo();
    // Something else takes the selection right after the new project is selected (as when the
    // file system lists the folder back under another form of the name).
    QListWidget *list = projects();
    QMetaObject::Connection steal = QObject::connect(
        list, &QListWidget::currentItemChanged, widget, [list](QListWidgetItem *current) {
            if (current && current->text() == "Voltmeter")
                list->setCurrentItem(list->findItems("demo", Qt::MatchExactly).first());
        });
    const QString answer
        = call("create_project", {{"name", "Voltmeter"}, {"type", "application"}}).text;
    QObject::disconnect(steal);
    QCOMPARE(answer,
             QString("Created project \"Voltmeter\", but it couldn't be opened - ask the "
                     "user to select it from the Projects list."));
    QCOMPARE(projects()->currentItem()->text(), QString("demo"));
    QVERIFY(QFileInfo(src("Voltmeter") + "/app.qml").isFile());
}

void DeveloperToolsTest::createProjectKeepsUnsavedWork_data()
{
    QTest::addColumn<QString>("open"); // the entry being edited
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<QByteArray>("saved"); // the file's bytes after the call; empty = unchanged
    QTest::newRow("QML file saved first") << "app.qml"
                                          << "// keep me " << false << QByteArray("// keep me ");
    // The open file cannot be written: the new project stays closed and the text stays.
    QTest::newRow("QML file cannot be saved") << "app.qml"
                                              << "// keep me " << true << QByteArray();
    QTest::newRow("version saved first") << "version"
                                         << "2.0.1" << false << QByteArray("2 0 1");
    QTest::newRow("version half typed") << "version"
                                        << "2.0" << false << QByteArray();
}

// The user did not switch projects: their unsaved text must not go with the switch.
void DeveloperToolsTest::createProjectKeepsUnsavedWork()
{
    QFETCH(QString, open);
    QFETCH(QString, typed);
    QFETCH(bool, saveFails);
    QFETCH(QByteArray, saved);
    openDemo();
    selectFile(open);
    const QString path = projectFile("demo", "src/" + open);
    const QByteArray before = readFile(path);
    QString mine;
    if (open == "version") {
        auto *field = child<QLineEdit>("versionEdit");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, typed);
        mine = field->text();
    } else {
        editor()->moveCursor(QTextCursor::Start);
        typeInEditor(typed);
        mine = editor()->toPlainText();
    }
    QCOMPARE(fileItem(open)->text(), open + " *");
    if (saveFails)
        QVERIFY(QFile::remove(path) && QDir().mkdir(path));

    const QString answer
        = call("create_project", {{"name", "Voltmeter"}, {"type", "application"}}).text;
    QVERIFY(QFileInfo(src("Voltmeter") + "/app.qml").isFile());
    if (!saved.isEmpty()) {
        QCOMPARE(answer, QString("Created and opened project \"Voltmeter\" (Application)."));
        QCOMPARE(projects()->currentItem()->text(), QString("Voltmeter"));
        QVERIFY2(readFile(path).startsWith(saved), readFile(path).constData());
        return;
    }
    QCOMPARE(answer,
             QString("Created project \"Voltmeter\", but didn't open it: the unsaved changes in %1 "
                     "couldn't be saved, and opening another project would drop them. Ask the "
                     "user to save or discard them, then to select \"Voltmeter\" in the Projects "
                     "list.")
                 .arg(open));
    QCOMPARE(projects()->currentItem()->text(), QString("demo"));
    QCOMPARE(fileItem(open)->text(), open + " *");
    if (open == "version")
        QCOMPARE(child<QLineEdit>("versionEdit")->text(), mine);
    else
        QCOMPARE(editor()->toPlainText(), mine);
    if (!saveFails)
        QCOMPARE(readFile(path), before);
    QVERIFY(projectTexts().contains("Voltmeter"));
}

void DeveloperToolsTest::readDocs_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("title"); // the first line of the answer
    QTest::newRow("api_reference") << "api_reference"
                                   << "API Reference";
    QTest::newRow("battery_manager") << "battery_manager"
                                     << "Battery Manager";
    QTest::newRow("components") << "components"
                                << "Component Reference";
    QTest::newRow("getting_started") << "getting_started"
                                     << "Getting Started";
    QTest::newRow("inputs_channels") << "inputs_channels"
                                     << "Inputs & Channels";
    QTest::newRow("telemetry") << "telemetry"
                               << "Status & Telemetry";
    QTest::newRow("other case") << "API_reference"
                                << "";
    QTest::newRow("file name") << "index.html"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void DeveloperToolsTest::readDocs()
{
    QFETCH(QString, page);
    QFETCH(QString, title);
    // No tab: the pages need none.
    BareToolHost host;
    DeveloperToolBackend backend(&host, scanner, manager);
    const QString text = callBackend(&backend, "read_docs", {{"page", page}}).text;
    QCOMPARE(host.events, QStringList());
    if (title.isEmpty()) {
        QCOMPARE(text,
                 QString("Unknown docs page \"%1\" - use one of: api_reference, "
                         "battery_manager, components, getting_started, inputs_channels, "
                         "telemetry.")
                     .arg(page));
        return;
    }
    // Only the main element, as plain text: no style sheet, navigation bar or footer.
    QCOMPARE(text.section('\n', 0, 0), title);
    QVERIFY(text.size() > 2000);
    for (const char *outside : {"Kelo Apps developer documentation, shipped with Kelo Studio",
                                "text-decoration", "<main", "</", "&amp;", "\n\n\n"})
        QVERIFY2(!text.contains(QLatin1String(outside)), outside);
    QCOMPARE(text, text.trimmed());
}

void DeveloperToolsTest::runProject_data()
{
    QTest::addColumn<bool>("project");
    QTest::addColumn<bool>("radioKnown");
    QTest::addColumn<QString>("answer");
    QTest::newRow("uploaded and started") << true << true << "Uploaded and executed.";
    QTest::newRow("no project") << false << true << "No project is open.";
    QTest::newRow("no radio") << true << false
                              << "Packaged, but no radio is connected to upload it to.";
}

void DeveloperToolsTest::runProject()
{
    QFETCH(bool, project);
    QFETCH(bool, radioKnown);
    QFETCH(QString, answer);
    // The run that ends at the radio goes end to end.
    endToEnd = project && radioKnown;
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    if (project)
        selectProject("demo");
    if (radioKnown)
        found();
    radio->setResponse("/upload.html", FakeResponse::text("OK").delayed(100));
    typeInEditor("// saved first");
    QCOMPARE(call("run_project").text, answer);
    QCOMPARE(status(), answer);
    const bool ran = project && radioKnown;
    QCOMPARE(radio->countFor("/upload.html"), ran ? 1 : 0);
    QCOMPARE(radio->countFor("/app/exec"), ran ? 1 : 0);
    if (project)
        QVERIFY(readFile(projectFile("demo", "src/app.qml")).startsWith("// saved first"));
}

void DeveloperToolsTest::takeScreenshot_data()
{
    QTest::addColumn<bool>("radioKnown");
    QTest::addColumn<FakeResponse>("response");
    QTest::addColumn<QString>("answer"); // a trailing "*" matches any rest
    QTest::addColumn<bool>("image");
    const QByteArray png = redPng(800, 480);
    QTest::newRow("PNG") << true << FakeResponse::bytes(png, "image/png") << "Screenshot captured."
                         << true;
    QTest::newRow("no radio") << false << FakeResponse::bytes(png, "image/png")
                              << "No radio is currently connected." << false;
    QImage jpeg(80, 48, QImage::Format_RGB32);
    jpeg.fill(Qt::green);
    QByteArray jpegBytes;
    QBuffer buffer(&jpegBytes);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && jpeg.save(&buffer, "JPEG"));
    // The service would refuse it in every later request of the conversation.
    QTest::newRow("JPEG") << true << FakeResponse::bytes(jpegBytes, "image/png")
                          << "Failed to capture screenshot: the radio's answer is not a PNG image."
                          << false;
    QTest::newRow("HTML page") << true << FakeResponse::text("<html>busy</html>")
                               << "Failed to capture screenshot: the radio's answer is not a PNG "
                                  "image."
                               << false;
    QTest::newRow("empty body") << true << FakeResponse::bytes(QByteArray(), "image/png")
                                << "Failed to capture screenshot: the radio's answer is not a PNG "
                                   "image."
                                << false;
    // 40000 x 40000 declared in a file of a few hundred bytes.
    QTest::newRow("huge declared size")
        << true << FakeResponse::bytes(TestImages::hugePng(40000, 40000, false), "image/png")
        << "Failed to capture screenshot: the radio's picture is damaged or too large." << false;
    // A sound header before a body that does not decode: the service would refuse it in
    // every later request.
    QByteArray damaged = png;
    const int idat = damaged.indexOf("IDAT");
    QVERIFY(idat > 0);
    for (int i = idat + 8; i < idat + 24; ++i)
        damaged[i] = char(damaged.at(i) ^ 0x5a);
    QTest::newRow("damaged body")
        << true << FakeResponse::bytes(damaged, "image/png")
        << "Failed to capture screenshot: the radio's picture is damaged or too large." << false;
    QTest::newRow("cut short")
        << true << FakeResponse::bytes(png.left(png.size() / 2), "image/png")
        << "Failed to capture screenshot: the radio's picture is damaged or too large." << false;
    QTest::newRow("server error") << true << FakeResponse::error(500, "oops")
                                  << "Failed to capture screenshot: *" << false;
    QTest::newRow("too large an answer")
        << true << FakeResponse::oversized(2 * 1024 * 1024, png, "image/png")
        << "Failed to capture screenshot: The radio's answer was too large" << false;
    QTest::newRow("radio does not answer")
        << true << FakeResponse::hang()
        << "Failed to capture screenshot: The radio did not answer in time" << false;
}

void DeveloperToolsTest::takeScreenshot()
{
    QFETCH(bool, radioKnown);
    QFETCH(FakeResponse, response);
    QFETCH(QString, answer);
    QFETCH(bool, image);
    // A picture and a refused one end to end: the answer's image block is the panel's.
    endToEnd = QByteArray(QTest::currentDataTag()) == "PNG"
        || QByteArray(QTest::currentDataTag()) == "JPEG";
    // A picture's limit of 1 MiB instead of 32, so the oversized answer stays small.
    RadioReply::setMaxBytesForTesting(RadioReply::Kind::Picture, 1024 * 1024);
    makeWidget();
    if (radioKnown)
        found();
    radio->setResponse("/screenshot.png", response);
    const ToolAnswer got = call("take_screenshot");
    if (answer.endsWith('*'))
        QVERIFY2(got.text.startsWith(answer.chopped(1)) && got.text.size() > answer.size(),
                 qPrintable(got.text));
    else
        QCOMPARE(got.text, answer);
    QCOMPARE(got.hasImageBlock, image);
    if (image)
        QCOMPARE(got.image, response.body);
    QCOMPARE(radio->countFor("/screenshot.png"), radioKnown ? 1 : 0);
}

// Always from the network, 5 s at most, stamped with the time so no cache answers it.
void DeveloperToolsTest::takeScreenshotRequest()
{
    endToEnd = true;
    makeWidget();
    found();
    radio->setResponse("/screenshot.png", FakeResponse::bytes(redPng(8, 8), "image/png"));
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(call("take_screenshot").text, QString("Screenshot captured."));
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    const auto sent = manager->sentFor("/screenshot.png");
    QCOMPARE(sent.size(), 1);
    const QNetworkRequest request = sent.first()->request;
    QCOMPARE(request.transferTimeout(), 5000);
    QCOMPARE(request.attribute(QNetworkRequest::CacheLoadControlAttribute).toInt(),
             int(QNetworkRequest::AlwaysNetwork));
    QCOMPARE(request.url().toString(QUrl::RemoveQuery),
             QString("http://%1/screenshot.png").arg(radio->address()));
    const QString query = request.url().query();
    QVERIFY2(query.startsWith("t="), qPrintable(query));
    const qint64 stamp = query.mid(2).toLongLong();
    QVERIFY(stamp >= before && stamp <= after);
}

QTEST_MAIN(DeveloperToolsTest)
#include "tst_developertools.moc"
