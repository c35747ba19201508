// The Developer tab: its lists, pages, unsaved marker, saving, menus, file actions and how
// it follows the radio. Running and publishing have suites of their own.
#include "AiServiceApi.h"
#include "AspectImageLabel.h"
#include "DebugWindow.h"
#include "DeveloperTestSupport.h"
#include "FakeAiService.h"
#include "FakeDebugPort.h"
#include "KeloResources.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace DeveloperTest;
using ProjectType = DeveloperWidget::ProjectType;
using WorkspaceTest::readFile;
using WorkspaceTest::writeFile;

namespace {

const QString appTemplate = QStringLiteral("import QtQuick 2.12");

// Records the keys that reach it, as the main window would see them.
class KeyRecorder : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys.append(event->key()); }
};

QImage iconOf(const QListWidgetItem *item)
{
    return item->icon().pixmap(16, 16).toImage();
}

QImage resourceIcon(const QString &path)
{
    return QIcon(path).pixmap(16, 16).toImage();
}

} // namespace

class DeveloperWidgetTest : public QObject, public TabFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithNothingSelected();
    void projectListOrderAndTypeIcons();
    void newProjectOpensItsEntryFile_data();
    void newProjectOpensItsEntryFile();
    void fileListOrderAndPages();
    void unsavedMarkerAndSaveKey_data();
    void unsavedMarkerAndSaveKey();
    void switchingDropsUnsavedText_data();
    void switchingDropsUnsavedText();
    void showingTabAgainKeepsOpenFileAndUnsavedText();
    void failedSaveKeepsFileAndMarker();
    void deleteOfferedOnlyForUserFiles_data();
    void deleteOfferedOnlyForUserFiles();
    void deleteAsksFirst();
    void newQmlFile_data();
    void newQmlFile();
    void emptyNewFileShowsNoChooseHint();
    void findBarDrawsNoBoxForAnEmptyStatus();
    void addImage();
    void iconPage();
    void iconCopyFailureIsReported_data();
    void iconCopyFailureIsReported();
    void versionPage();
    void escapeStaysInTypingFields();
    void deleteHomeScreenFollowsRadioAndType();
    void aiToggleHidesPanel();
    void debugToggleOpensTheTerminalOnTheRadiosAddress();
    void assistantGetsTheSerialAndAnAnswerToEveryCall();
    void showFilesFallsBackToThePath();
    void namesShownAsPlainText();
    void longTextsDoNotWidenThePage_data();
    void longTextsDoNotWidenThePage();
    // A project file changes only when its user changed it.
    void unmodifiedFileStaysByteForByte_data();
    void unmodifiedFileStaysByteForByte();
    void editedSaveKeepsTheLayout_data();
    void editedSaveKeepsTheLayout();
    void editedSaveKeepsTheMode_data();
    void editedSaveKeepsTheMode();
    void saveInAReadOnlyFolder();
    void rightClickKeepsTheOpenFile();
    void publishFromTheMenuLeavesTheEditorAlone();
    void hugeFileIsNotLoaded();
    void whatIsNoRegularFileIsNeverOpened();
    void iconWriteFollowsNoLink();
    void toolbarTogglesStayOnScreen_data();
    void toolbarTogglesStayOnScreen();
};

void DeveloperWidgetTest::initTestCase()
{
    initKeloResources();
    TestSupport::unsetProxies();
}

void DeveloperWidgetTest::init()
{
    setUp();
}

void DeveloperWidgetTest::cleanup()
{
    tearDown();
}

void DeveloperWidgetTest::startsWithNothingSelected()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    QCOMPARE(projectTexts(), QStringList {"demo"});
    QVERIFY(!projects()->currentItem());
    QCOMPARE(files()->count(), 0);
    QCOMPARE(page(), 0);
    QCOMPARE(editor()->placeholderText(), QString("Select a project and a QML file to edit."));
    // Nothing paints over the placeholder's first line.
    QVERIFY(editor()->extraSelections().isEmpty());
    for (const char *name :
         {"playButton", "undoButton", "redoButton", "newFileButton", "addImageButton"})
        QVERIFY2(!button(name)->isEnabled(), name);
    QVERIFY(button("createButton")->isEnabled());
    QVERIFY(button("docsButton")->isEnabled());
    QVERIFY(button("deleteHomeScreenButton")->isHidden());
    QVERIFY(button("aiToggleButton")->isChecked());
    QVERIFY(!button("debugToggleButton")->isChecked());
    QCOMPARE(child<QSplitter>("splitter")->count(), 2);
    // Nothing is sent by building the tab.
    QCOMPARE(manager->sent.size(), 0);
}

void DeveloperWidgetTest::projectListOrderAndTypeIcons()
{
    QVERIFY(makeProject("beta", ProjectType::Application));
    QVERIFY(makeProject("Zulu", ProjectType::HomeScreen));
    QVERIFY(makeProject("alpha", ProjectType::HomeScreen));
    QVERIFY(QDir().mkpath(DeveloperWorkspace::developerRootPath() + "/.hidden"));
    QVERIFY(QDir().mkpath(DeveloperWorkspace::developerRootPath() + "/Empty"));
    makeWidget();
    // By character code: upper-case initials first; hidden folders are no projects.
    QCOMPARE(projectTexts(), (QStringList {"Empty", "Zulu", "alpha", "beta"}));
    const QImage home = resourceIcon(":/icons/icon-project-home.svg");
    const QImage app = resourceIcon(":/icons/icon-project-app.svg");
    QVERIFY(home != app);
    QCOMPARE(iconOf(projects()->item(0)), app);
    QCOMPARE(iconOf(projects()->item(1)), home);
    QCOMPARE(iconOf(projects()->item(2)), home);
    QCOMPARE(iconOf(projects()->item(3)), app);
}

void DeveloperWidgetTest::newProjectOpensItsEntryFile_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("opened");
    QTest::newRow("application") << int(ProjectType::Application)
                                 << QStringList {"app.qml", "icon.png", "version"} << "app.qml";
    QTest::newRow("home screen") << int(ProjectType::HomeScreen) << QStringList {"screen.qml"}
                                 << "screen.qml";
}

void DeveloperWidgetTest::newProjectOpensItsEntryFile()
{
    QFETCH(int, type);
    QFETCH(QStringList, entries);
    QFETCH(QString, opened);
    QVERIFY(makeProject("demo", ProjectType(type)));
    makeWidget();
    selectProject("demo");
    QCOMPARE(fileTexts(), entries);
    QCOMPARE(files()->currentRow(), 0);
    QCOMPARE(fileLabel(), "demo / " + opened);
    QCOMPARE(page(), 0);
    QCOMPARE(editor()->toPlainText().toUtf8(), readFile(":/dev/" + opened));
    QVERIFY(!editor()->document()->isModified());
    QVERIFY(!button("undoButton")->isEnabled());
    for (const char *name : {"playButton", "newFileButton", "addImageButton"})
        QVERIFY2(button(name)->isEnabled(), name);
}

void DeveloperWidgetTest::fileListOrderAndPages()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString src = DeveloperWorkspace::sourcePath("demo");
    QImage red(40, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    QVERIFY(writeFile(src + "/b.png", TestImages::png(red)));
    QVERIFY(red.save(src + "/A.jpg"));
    QVERIFY(writeFile(src + "/main.qml", "Item {}\n"));
    QVERIFY(writeFile(src + "/notes.txt", "not listed"));
    QVERIFY(writeFile(src + "/broken.png", "not a picture"));
    makeWidget();
    selectProject("demo");
    QCOMPARE(fileTexts(),
             (QStringList {"app.qml", "main.qml", "A.jpg", "b.png", "broken.png", "icon.png",
                           "version"}));
    // Thumbnails for pictures, the QML icon for one that does not load.
    QCOMPARE(iconOf(fileItem("broken.png")), resourceIcon(":/icons/icon-file-qml.svg"));
    QCOMPARE(iconOf(fileItem("version")), resourceIcon(":/icons/icon-version.svg"));
    QCOMPARE(iconOf(fileItem("b.png")).pixelColor(4, 4), QColor(Qt::red));

    selectFile("b.png");
    QCOMPARE(page(), 3);
    QCOMPARE(fileLabel(), QString("demo / b.png"));
    QCOMPARE(child<AspectImageLabel>("imageView")->sourceImage().size(), QSize(40, 20));
    selectFile("icon.png");
    QCOMPARE(page(), 1);
    QCOMPARE(child<QLabel>("iconPreview")->pixmap(Qt::ReturnByValue).size(), QSize(192, 192));
    selectFile("version");
    QCOMPARE(page(), 2);
    QCOMPARE(child<QLineEdit>("versionEdit")->text(), QString("0.0.1"));
    selectFile("main.qml");
    QCOMPARE(page(), 0);
    QCOMPARE(editor()->toPlainText(), QString("Item {}\n"));
    QCOMPARE(fileLabel(), QString("demo / main.qml"));

    // A QML file that cannot be read.
    QVERIFY(QFile::remove(src + "/main.qml"));
    QVERIFY(QDir().mkpath(src + "/main.qml"));
    selectFile("app.qml");
    selectFile("main.qml");
    QCOMPARE(fileLabel(), QString("Cannot open main.qml"));
    QCOMPARE(editor()->toPlainText(), QString());
    QCOMPARE(page(), 0);
}

void DeveloperWidgetTest::unsavedMarkerAndSaveKey_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("written"); // the file after the Save key; empty = unchanged
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("focusInAssistant");
    QTest::newRow("QML file") << "app.qml"
                              << "// hi " << QByteArray() << "Saved" << false;
    // The shortcut belongs to the whole tab, the assistant panel included.
    QTest::newRow("QML file, focus in the assistant")
        << "app.qml"
        << "// hi " << QByteArray() << "Saved" << true;
    QTest::newRow("version") << "version"
                             << "1.2.3" << QByteArray("1 2 3") << "" << false;
    QTest::newRow("icon page") << "icon.png" << QString() << QByteArray() << "" << false;
}

void DeveloperWidgetTest::unsavedMarkerAndSaveKey()
{
    QFETCH(QString, entry);
    QFETCH(QString, typed);
    QFETCH(QByteArray, written);
    QFETCH(QString, status);
    QFETCH(bool, focusInAssistant);
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    selectFile(entry);
    const QString path = projectFile("demo", "src/" + entry);
    const QByteArray before = readFile(path);
    QListWidgetItem *item = fileItem(entry);

    if (entry == "app.qml") {
        editor()->moveCursor(QTextCursor::Start);
        typeInEditor(typed);
        QCOMPARE(item->text(), QString("app.qml *"));
        QVERIFY(button("undoButton")->isEnabled());
        written = typed.toUtf8() + before;
    } else if (entry == "version") {
        auto *edit = child<QLineEdit>("versionEdit");
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        QCOMPARE(item->text(), QString("version *"));
    } else {
        child<QWidget>("uploadIconButton")->setFocus();
    }
    if (focusInAssistant)
        child<QPlainTextEdit>("input")->setFocus();
    pressSave();
    QCOMPARE(readFile(path), written.isEmpty() ? before : written);
    QCOMPARE(item->text(), entry);
    QCOMPARE(this->status(), status);
    if (entry == "version")
        QCOMPARE(child<QLabel>("versionInfoLabel")->text(), QString("Version updated."));
    if (entry == "app.qml")
        QVERIFY(!editor()->document()->isModified());
}

void DeveloperWidgetTest::switchingDropsUnsavedText_data()
{
    QTest::addColumn<bool>("otherProject");
    QTest::newRow("another file") << false;
    QTest::newRow("another project") << true;
}

void DeveloperWidgetTest::switchingDropsUnsavedText()
{
    QFETCH(bool, otherProject);
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(makeProject("other", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    const QByteArray onDisk = readFile(projectFile("demo", "src/app.qml"));
    typeInEditor("unsaved");
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml *"));
    if (otherProject) {
        selectProject("other");
        selectProject("demo");
    } else {
        selectFile("version");
        // The text is dropped, so the entry no longer claims unsaved changes.
        QCOMPARE(fileItem("app.qml")->text(), QString("app.qml"));
        selectFile("app.qml");
    }
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(editor()->toPlainText().toUtf8(), onDisk);
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml"));
    QCOMPARE(readFile(projectFile("demo", "src/app.qml")), onDisk);
}

void DeveloperWidgetTest::showingTabAgainKeepsOpenFileAndUnsavedText()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QTabWidget tabs;
    tabs.addTab(new QWidget(), "Other");
    widget = new DeveloperWidget(scanner);
    tabs.addTab(widget, "Developer");
    tabs.resize(1100, 700);
    tabs.setCurrentIndex(1);
    tabs.show();
    tabs.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&tabs));
    selectProject("demo");
    typeInEditor("unsaved ");
    const QString text = editor()->toPlainText();
    // A project made meanwhile (by the assistant, say) shows up on the way back.
    QVERIFY(makeProject("added", ProjectType::HomeScreen));
    tabs.setCurrentIndex(0);
    tabs.setCurrentIndex(1);
    QCOMPARE(projectTexts(), (QStringList {"added", "demo"}));
    QCOMPARE(projects()->currentItem()->text(), QString("demo"));
    QCOMPARE(editor()->toPlainText(), text);
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml *"));
    QCOMPARE(fileLabel(), QString("demo / app.qml"));
    QVERIFY(button("playButton")->isEnabled());
    // And saving still writes the open file.
    editor()->setFocus();
    pressSave();
    QCOMPARE(readFile(projectFile("demo", "src/app.qml")), text.toUtf8());

    // The open project deleted behind the tab's back: nothing selected, the page kept.
    QVERIFY(QDir(DeveloperWorkspace::projectPath("demo")).removeRecursively());
    tabs.setCurrentIndex(0);
    tabs.setCurrentIndex(1);
    QCOMPARE(projectTexts(), QStringList {"added"});
    QVERIFY(!projects()->currentItem());
    QCOMPARE(fileLabel(), QString("demo / app.qml"));
}

void DeveloperWidgetTest::failedSaveKeepsFileAndMarker()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    const QString path = projectFile("demo", "src/app.qml");
    const QByteArray before = readFile(path);
    editor()->moveCursor(QTextCursor::End);
    typeInEditor("// more");
    {
        // No file may grow past 10 bytes: like a full disk.
        WorkspaceTest::FileSizeLimit full(10);
        pressSave();
    }
    QCOMPARE(status(), QString("Failed to save app.qml"));
    QCOMPARE(readFile(path), before);
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml *"));
    QVERIFY(editor()->document()->isModified());
    QCOMPARE(WorkspaceTest::allEntries(DeveloperWorkspace::sourcePath("demo")),
             (QStringList {"app.qml", "icon.png", "version"}));
    pressSave();
    QCOMPARE(status(), QString("Saved"));
    QCOMPARE(readFile(path), before + "// more");
    // Saving keeps the file's rw-r--r--.
    QCOMPARE(WorkspaceTest::fileMode(path), 0644);
}

void DeveloperWidgetTest::deleteOfferedOnlyForUserFiles_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("offered");
    QTest::newRow("app.qml") << "app.qml" << false;
    QTest::newRow("icon.png") << "icon.png" << false;
    QTest::newRow("version") << "version" << false;
    QTest::newRow("screen.qml") << "screen.qml" << false;
    QTest::newRow("user QML") << "main.qml" << true;
    QTest::newRow("user image") << "pic.png" << true;
    // Reserved names are compared exactly.
    QTest::newRow("App.qml") << "App.qml" << true;
}

void DeveloperWidgetTest::deleteOfferedOnlyForUserFiles()
{
    QFETCH(QString, entry);
    QFETCH(bool, offered);
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString src = DeveloperWorkspace::sourcePath("demo");
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QVERIFY(writeFile(src + "/pic.png", TestImages::png(image)));
    for (const char *name : {"main.qml", "screen.qml", "App.qml"})
        QVERIFY(writeFile(src + "/" + name, "Item {}\n"));
    makeWidget();
    selectProject("demo");
    const QStringList menu = useContextMenu(files(), fileItem(entry), QString());
    QCOMPARE(menu, offered ? QStringList {"Delete"} : QStringList());
    QCOMPARE(QFileInfo::exists(src + "/" + entry), true);
}

void DeveloperWidgetTest::deleteAsksFirst()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString src = DeveloperWorkspace::sourcePath("demo");
    QVERIFY(writeFile(src + "/main.qml", "Item {}\n"));
    makeWidget();
    selectProject("demo");
    selectFile("main.qml");

    ScopedModalScript no;
    no.run({ModalScript::press(QMessageBox::No)});
    useContextMenu(files(), fileItem("main.qml"), "Delete");
    QCOMPARE(*no.texts, QStringList {"Are you sure you want to delete \"main.qml\"?"});
    QVERIFY(QFile::exists(src + "/main.qml"));
    QVERIFY(fileItem("main.qml"));

    ScopedModalScript yes;
    yes.run({ModalScript::press(QMessageBox::Yes)});
    useContextMenu(files(), fileItem("main.qml"), "Delete");
    QVERIFY(!QFile::exists(src + "/main.qml"));
    QCOMPARE(fileTexts(), (QStringList {"app.qml", "icon.png", "version"}));
    // The deleted file was open: another entry is current and shown.
    QVERIFY(files()->currentItem());
    QVERIFY(!fileLabel().endsWith("main.qml"));
}

void DeveloperWidgetTest::newQmlFile_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("created"); // empty: refused
    QTest::addColumn<QString>("warning");
    QTest::newRow("suffix added") << "  main "
                                  << "main.qml"
                                  << "";
    QTest::newRow("suffix in any case kept") << "Main.QML"
                                             << "Main.QML"
                                             << "";
    QTest::newRow("empty") << "   "
                           << ""
                           << "Please enter a file name.";
    QTest::newRow("slash") << "a/b"
                           << ""
                           << "The name contains characters that aren't allowed in a file name.";
    QTest::newRow("exists") << "app"
                            << ""
                            << "A file named \"app.qml\" already exists. Please pick another name.";
}

void DeveloperWidgetTest::newQmlFile()
{
    QFETCH(QString, typed);
    QFETCH(QString, created);
    QFETCH(QString, warning);
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    ScopedModalScript script;
    QList<ModalScript::Step> steps {typeName(typed)};
    if (!warning.isEmpty())
        steps << ModalScript::press(QMessageBox::Ok);
    script.run(steps);
    button("newFileButton")->click();
    QCOMPARE(*script.texts, warning.isEmpty() ? QStringList() : QStringList {warning});
    if (created.isEmpty()) {
        QCOMPARE(fileTexts(), (QStringList {"app.qml", "icon.png", "version"}));
        return;
    }
    // Appended at the end and opened, until the next listing sorts it in.
    QCOMPARE(fileTexts(), (QStringList {"app.qml", "icon.png", "version", created}));
    QCOMPARE(fileLabel(), "demo / " + created);
    QCOMPARE(readFile(projectFile("demo", "src/" + created)), QByteArray());
}

void DeveloperWidgetTest::emptyNewFileShowsNoChooseHint()
{
    const QString hint = "Select a project and a QML file to edit.";
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    ScopedModalScript script;
    script.run({typeName("main")});
    button("newFileButton")->click();
    QCOMPARE(fileLabel(), QString("demo / main.qml"));
    QVERIFY(editor()->toPlainText().isEmpty());
    // The empty editor of an open file asks for nothing.
    QCOMPARE(editor()->placeholderText(), QString());
    selectFile("version");
    QCOMPARE(editor()->placeholderText(), hint);
    selectFile("main.qml");
    QCOMPARE(editor()->placeholderText(), QString());
    projects()->setCurrentItem(nullptr);
    QCOMPARE(editor()->placeholderText(), hint);
}

void DeveloperWidgetTest::findBarDrawsNoBoxForAnEmptyStatus()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    editor()->setFocus();
    QTest::keySequence(editor(), QKeySequence::Find);
    auto *bar = editor()->findChild<QWidget *>("findBar");
    QTRY_VERIFY(bar->isVisible());
    QToolButton *next = nullptr;
    QToolButton *close = nullptr;
    for (QToolButton *b : bar->findChildren<QToolButton *>()) {
        if (b->text() == "v")
            next = b;
        else if (b->text() == "x")
            close = b;
    }
    QVERIFY(next && close);
    // Between Next and Close sits the status text, empty: only the bar's own colour shows.
    const QImage image = bar->grab().toImage();
    const int y = next->geometry().center().y();
    for (int x = next->geometry().right() + 1; x < close->geometry().left(); ++x)
        QCOMPARE(image.pixelColor(x, y), QColor("#2a2a2c"));
}

void DeveloperWidgetTest::addImage()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QTemporaryDir dir;
    QImage image(30, 10, QImage::Format_RGB32);
    image.fill(Qt::green);
    const QByteArray png = TestImages::png(image);
    QVERIFY(writeFile(dir.filePath("pic.png"), png));
    QVERIFY(writeFile(dir.filePath("ICON.PNG"), png));
    makeWidget();
    selectProject("demo");

    ScopedModalScript script;
    script.run({ModalScript::chooseFile(dir.filePath("pic.png"))});
    button("addImageButton")->click();
    QCOMPARE(fileTexts(), (QStringList {"app.qml", "icon.png", "version", "pic.png"}));
    QCOMPARE(page(), 3);
    QCOMPARE(readFile(projectFile("demo", "src/pic.png")), png);
    QCOMPARE(WorkspaceTest::fileMode(projectFile("demo", "src/pic.png")), 0644);

    ScopedModalScript refused;
    refused.run(
        {ModalScript::chooseFile(dir.filePath("ICON.PNG")), ModalScript::press(QMessageBox::Ok)});
    button("addImageButton")->click();
    QCOMPARE(*refused.texts, QStringList {"Only PNG and JPG images are supported."});
    QVERIFY(!QFile::exists(projectFile("demo", "src/ICON.PNG")));
}

void DeveloperWidgetTest::iconPage()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QTemporaryDir dir;
    QImage wrong(64, 65, QImage::Format_ARGB32);
    wrong.fill(Qt::red);
    QVERIFY(writeFile(dir.filePath("wrong.png"), TestImages::png(wrong)));
    QImage right(64, 64, QImage::Format_ARGB32);
    right.fill(Qt::yellow);
    const QByteArray rightPng = TestImages::png(right);
    QVERIFY(writeFile(dir.filePath("right.png"), rightPng));
    makeWidget();
    selectProject("demo");
    selectFile("icon.png");
    auto *info = child<QLabel>("iconInfoLabel");

    ScopedModalScript refused;
    refused.run(
        {ModalScript::chooseFile(dir.filePath("wrong.png")), ModalScript::press(QMessageBox::Ok)});
    child<QPushButton>("uploadIconButton")->click();
    QCOMPARE(*refused.texts,
             QStringList {"The icon must be exactly 64x64 pixels. Selected image is 64x65."});
    QCOMPARE(readFile(projectFile("demo", "src/icon.png")), readFile(":/dev/icon.png"));

    ScopedModalScript accepted;
    accepted.run({ModalScript::chooseFile(dir.filePath("right.png"))});
    child<QPushButton>("uploadIconButton")->click();
    QCOMPARE(info->text(), QString("Icon updated."));
    QCOMPARE(readFile(projectFile("demo", "src/icon.png")), rightPng);
    QCOMPARE(iconOf(fileItem("icon.png")).pixelColor(8, 8), QColor(Qt::yellow));
    QCOMPARE(child<QLabel>("iconPreview")->pixmap(Qt::ReturnByValue).toImage().pixelColor(96, 96),
             QColor(Qt::yellow));

    child<QPushButton>("defaultIconButton")->click();
    QCOMPARE(info->text(), QString("Default icon restored."));
    QCOMPARE(readFile(projectFile("demo", "src/icon.png")), readFile(":/dev/icon.png"));
    QCOMPARE(WorkspaceTest::fileMode(projectFile("demo", "src/icon.png")), 0644);

    QVERIFY(QFile::remove(projectFile("demo", "src/icon.png")));
    selectFile("version");
    selectFile("icon.png");
    QCOMPARE(child<QLabel>("iconPreview")->text(), QString("No icon"));
}

void DeveloperWidgetTest::iconCopyFailureIsReported_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("title");
    QTest::newRow("upload") << "uploadIconButton"
                            << "Upload New Icon";
    QTest::newRow("default") << "defaultIconButton"
                             << "Default Icon";
}

void DeveloperWidgetTest::iconCopyFailureIsReported()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, title);
    QVERIFY(makeProject("demo", ProjectType::Application));
    QTemporaryDir dir;
    QImage chosen(64, 64, QImage::Format_ARGB32);
    chosen.fill(Qt::yellow);
    QVERIFY(writeFile(dir.filePath("chosen.png"), TestImages::png(chosen)));
    const QByteArray before = QByteArray("not the template icon");
    QVERIFY(writeFile(projectFile("demo", "src/icon.png"), before));
    makeWidget();
    selectProject("demo");
    selectFile("icon.png");

    QString boxTitle;
    ScopedModalScript script;
    QList<ModalScript::Step> steps;
    if (buttonName == "uploadIconButton")
        steps << ModalScript::chooseFile(dir.filePath("chosen.png"));
    steps << [&boxTitle](QWidget *w) {
        boxTitle = w->windowTitle();
        ModalScript::press(QMessageBox::Ok)(w);
    };
    script.run(steps);
    {
        // No file may grow past 10 bytes: like a full disk.
        WorkspaceTest::FileSizeLimit full(10);
        child<QPushButton>(buttonName.toLatin1().constData())->click();
    }
    QCOMPARE(*script.texts, QStringList {"Failed to copy the icon into the project."});
    QCOMPARE(boxTitle, title);
    QCOMPARE(child<QLabel>("iconInfoLabel")->text(), QString());
    QCOMPARE(readFile(projectFile("demo", "src/icon.png")), before);
}

void DeveloperWidgetTest::versionPage()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    selectFile("version");
    auto *edit = child<QLineEdit>("versionEdit");
    QCOMPARE(edit->text(), QString("0.0.1"));
    // Text set by the program is no edit.
    QCOMPARE(fileItem("version")->text(), QString("version"));

    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "1.256.0");
    ScopedModalScript refused;
    refused.run({ModalScript::press(QMessageBox::Ok)});
    child<QPushButton>("saveVersionButton")->click();
    QCOMPARE(*refused.texts,
             QStringList {"Each number must be in the range 0-255 (\"256\" is too big)."});
    QCOMPARE(readFile(projectFile("demo", "src/version")), readFile(":/dev/version"));
    QCOMPARE(fileItem("version")->text(), QString("version *"));

    edit->selectAll();
    QTest::keyClicks(edit, "007.1.0");
    child<QPushButton>("saveVersionButton")->click();
    QCOMPARE(readFile(projectFile("demo", "src/version")), QByteArray("7 1 0"));
    QCOMPARE(fileItem("version")->text(), QString("version"));
    QCOMPARE(child<QLabel>("versionInfoLabel")->text(), QString("Version updated."));
    // Letters never get in.
    edit->selectAll();
    QTest::keyClicks(edit, "1a.2");
    QCOMPARE(edit->text(), QString("1.2"));
}

void DeveloperWidgetTest::escapeStaysInTypingFields()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    KeyRecorder window;
    window.resize(1100, 700);
    widget = new DeveloperWidget(scanner, &window);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(widget);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    selectProject("demo");
    typeInEditor("x");
    QTest::keyClick(editor(), Qt::Key_Escape);
    selectFile("version");
    auto *edit = child<QLineEdit>("versionEdit");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(window.keys, QList<int>());
    // A key the fields do not take still reaches the window: the recorder works.
    QTest::keyClick(child<QListWidget>("projectList"), Qt::Key_F5);
    QCOMPARE(window.keys, QList<int> {Qt::Key_F5});
}

void DeveloperWidgetTest::deleteHomeScreenFollowsRadioAndType()
{
    QVERIFY(makeProject("app", ProjectType::Application));
    QVERIFY(makeProject("clock", ProjectType::HomeScreen));
    makeWidget();
    QToolButton *remove = button("deleteHomeScreenButton");
    selectProject("clock");
    QVERIFY(remove->isHidden());
    found();
    QVERIFY(!remove->isHidden());
    selectProject("app");
    QVERIFY(remove->isHidden());
    selectProject("clock");
    QVERIFY(!remove->isHidden());
    lost();
    QVERIFY(remove->isHidden());

    // A radio already known when the tab is built is adopted at once.
    delete widget.data();
    scanner->ip = radio->address();
    makeWidget();
    selectProject("clock");
    QVERIFY(!button("deleteHomeScreenButton")->isHidden());
}

void DeveloperWidgetTest::aiToggleHidesPanel()
{
    makeWidget();
    QWidget *panel = child<QWidget>("aiPanel");
    QVERIFY(panel->isVisible());
    button("aiToggleButton")->click();
    QVERIFY(!panel->isVisible());
    button("aiToggleButton")->click();
    QVERIFY(panel->isVisible());
}

void DeveloperWidgetTest::debugToggleOpensTheTerminalOnTheRadiosAddress()
{
    // The terminal always uses port 9022: this suite has a loopback of its own.
    FakeDebugPort port;
    QVERIFY(port.listen(QHostAddress::LocalHost, 9022));
    makeWidget();
    emit scanner->deviceFound("127.0.0.1", "KeloNet", "Heli 450");
    auto *terminal = widget->findChild<DebugWindow *>();
    QVERIFY(terminal);
    QVERIFY(!terminal->isVisible());
    QCOMPARE(port.connectionCount(), 0);

    QToolButton *toggle = button("debugToggleButton");
    toggle->click();
    QVERIFY(terminal->isVisible());
    QVERIFY(terminal->isWindow());
    QTRY_COMPARE(port.openConnections(), 1);
    port.send("qml: hello\n");
    QTRY_VERIFY(terminal->outputText().contains("qml: hello\n"));

    // Closed by its own window button: the toggle follows.
    terminal->close();
    QVERIFY(!toggle->isChecked());
    QTRY_COMPARE(port.openConnections(), 0);
    toggle->click();
    QVERIFY(terminal->isVisible());
    QTRY_COMPARE(port.connectionCount(), 2);
    // Unchecked: closed and disconnected, the text kept.
    toggle->click();
    QVERIFY(!terminal->isVisible());
    QTRY_COMPARE(port.openConnections(), 0);
    QVERIFY(terminal->outputText().contains("qml: hello"));
}

void DeveloperWidgetTest::assistantGetsTheSerialAndAnAnswerToEveryCall()
{
    FakeAiService service;
    QVERIFY(service.listen());
    AiServiceApi::setBaseUrl(service.url());
    // A radio with its serial already known when the tab is built.
    scanner->ip = radio->address();
    scanner->serial = "1-2-3-4-5-6";
    makeWidget();
    QTRY_COMPARE(service.usageRequests().size(), 1);
    QCOMPARE(service.usageRequests().first().header("X-Radio-Serial"), QByteArray("1-2-3-4-5-6"));
    emit scanner->serialFound("9-8-7-6-5-4");
    QTRY_COMPARE(service.usageRequests().size(), 2);
    QCOMPARE(service.usageRequests().last().header("X-Radio-Serial"), QByteArray("9-8-7-6-5-4"));

    // Every tool call is answered, so the turn goes on and ends.
    const QStringList ids
        = service.queueToolCalls("Let me look.", {{"list_files", {}}, {"check_radio", {}}});
    service.queueText("Done.");
    auto *input = child<QPlainTextEdit>("input");
    input->setPlainText("hello");
    child<QPushButton>("sendButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(service.messagesRequests().size(), 2, 10000);
    const QJsonArray results = service.messages(1).last().toObject().value("content").toArray();
    QCOMPARE(results.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject result = results.at(i).toObject();
        QCOMPARE(result.value("tool_use_id").toString(), ids.at(i));
        QVERIFY(!result.value("content")
                     .toArray()
                     .first()
                     .toObject()
                     .value("text")
                     .toString()
                     .isEmpty());
    }
    QTRY_VERIFY(child<QPushButton>("sendButton")->isVisible());
    QVERIFY2(service.problems().isEmpty(), qPrintable(service.problems().join('\n')));

    QCOMPARE(service.messagesRequests().last().header("X-Radio-Serial"), QByteArray("9-8-7-6-5-4"));

    // The radio lost: the assistant forgets the serial.
    lost();
    service.queueText("Fine.");
    input->setPlainText("again");
    child<QPushButton>("sendButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(service.messagesRequests().size(), 3, 10000);
    QCOMPARE(service.messagesRequests().last().header("X-Radio-Serial"), QByteArray());
}

void DeveloperWidgetTest::showFilesFallsBackToThePath()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    {
        OpenedUrls opened;
        useContextMenu(projects(), projects()->item(0), "Show Files");
        QCOMPARE(opened.urls,
                 QList<QUrl> {QUrl::fromLocalFile(DeveloperWorkspace::projectPath("demo"))});
    }
    // No file manager: the folder is named instead of nothing happening.
    ScopedModalScript script;
    script.run({ModalScript::press(QMessageBox::Ok)});
    useContextMenu(projects(), projects()->item(0), "Show Files");
    QCOMPARE(script.texts->size(), 1);
    QVERIFY2(script.texts->first().endsWith("\n" + DeveloperWorkspace::projectPath("demo")),
             qPrintable(script.texts->first()));
}

void DeveloperWidgetTest::namesShownAsPlainText()
{
    // A folder made by hand, with markup in its name.
    const QString name = "<i>x";
    QVERIFY(QDir().mkpath(DeveloperWorkspace::sourcePath(name)));
    QVERIFY(writeFile(DeveloperWorkspace::sourcePath(name) + "/<i>a.qml", "Item {}\n"));
    makeWidget();
    selectProject(name);
    QCOMPARE(child<QLabel>("fileLabel")->textFormat(), Qt::PlainText);
    QCOMPARE(fileLabel(), QString("<i>x / <i>a.qml"));
    QCOMPARE(child<QLabel>("statusLabel")->textFormat(), Qt::PlainText);

    Qt::TextFormat format = Qt::AutoText;
    ScopedModalScript script;
    script.run({[&format](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        format = box ? box->textFormat() : Qt::AutoText;
        ModalScript::press(QMessageBox::No)(w);
    }});
    widget->publishProject(name);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(*script.texts,
             QStringList {"\"<i>x\" is prepared for publishing.\n\nDo you want to proceed with "
                          "publish request into Varnek App Store?"});
}

void DeveloperWidgetTest::longTextsDoNotWidenThePage_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("play");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("startsWith");

    const QString longQml = QString(200, 'y') + ".qml";
    QTest::newRow("open file") << longQml << false << "fileLabel"
                               << "demo / yyyyyyyy";
    // Too long a name for the package: the failure names the whole path.
    QTest::newRow("status line") << QString(240, 'x') + ".qml" << true << "statusLabel"
                                 << "Failed: Cannot package ";
}

void DeveloperWidgetTest::longTextsDoNotWidenThePage()
{
    QFETCH(QString, fileName);
    QFETCH(bool, play);
    QFETCH(QString, label);
    QFETCH(QString, startsWith);

    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(writeFile(projectFile("demo", "src/" + fileName), "Item {}\n"));
    makeWidget();
    auto *page = widget->findChild<QScrollArea *>()->widget();
    selectProject("demo");
    selectFile(fileName);
    if (play)
        button("playButton")->click();

    auto *line = child<QLabel>(label.toLatin1().constData());
    QVERIFY2(line->text().startsWith(startsWith), qPrintable(line->text()));
    QVERIFY2(line->text().contains(fileName), qPrintable(line->text()));
    // The line asks for no more room than the window has, so the toolbar's right-hand
    // buttons and the assistant panel stay in the window instead of scrolling out of it.
    QVERIFY2(line->minimumSizeHint().width() < widget->width(),
             qPrintable(QString::number(line->minimumSizeHint().width())));
    // What does not fit is cut, and the whole text is at hand as the tool tip.
    QTRY_COMPARE(line->toolTip(), line->text());
    QVERIFY(line->width() < line->fontMetrics().horizontalAdvance(line->text()));
    QVERIFY2(page->minimumSizeHint().width() <= widget->width(),
             qPrintable(QString::number(page->minimumSizeHint().width())));
    const QToolButton *docs = button("docsButton");
    QVERIFY(docs->mapTo(widget, QPoint(docs->width(), 0)).x() <= widget->width());
}

namespace {

struct FileStamp
{
    ino_t inode = 0;
    qint64 mtimeNs = 0;
    bool operator==(const FileStamp &other) const
    {
        return inode == other.inode && mtimeNs == other.mtimeNs;
    }
};

FileStamp stampOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_ino, qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void addLayoutRows()
{
    QTest::newRow("NUL byte") << QByteArray("Item {\n// before\0after\n}\n", 25);
    QTest::newRow("CR LF") << QByteArray("Item {\r\n\ttext: \"a\xC2\xA0"
                                         "b\"\r\n}\r\n");
    QTest::newRow("lone CR") << QByteArray("Item {\r}\r");
    QTest::newRow("no-break space") << QByteArray("Item { text: \"1\xC2\xA0km\" }\n");
    QTest::newRow("Latin-1") << QByteArray("// caf\xE9\nItem {}\n");
    QTest::newRow("invalid UTF-8") << QByteArray("// \xFF\xFE\x80\nItem {}\n");
    QTest::newRow("no final line feed") << QByteArray("Item {\n}");
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFItem {}\n");
}

} // namespace

void DeveloperWidgetTest::unmodifiedFileStaysByteForByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    addLayoutRows();
}

void DeveloperWidgetTest::unmodifiedFileStaysByteForByte()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString path = projectFile("demo", "src/app.qml");
    QVERIFY(writeFile(path, bytes));
    // A stamp a rewrite would change even within the same second.
    const FileStamp before = stampOf(path);
    makeWidget();
    selectProject("demo");
    QCOMPARE(fileLabel(), QString("demo / app.qml"));
    const bool utf8 = !QByteArray(QTest::currentDataTag()).contains("Latin")
        && !QByteArray(QTest::currentDataTag()).contains("invalid");
    QCOMPARE(status(),
             utf8 ? QString()
                  : QString("app.qml is not UTF-8 text: its odd bytes are shown as "
                            "\uFFFD and it is left as it is unless you edit it."));
    if (bytes.contains('\0'))
        QVERIFY(editor()->toPlainText().contains(QString::fromLatin1("before\0after", 12)));

    pressSave();
    QCOMPARE(status(), QString("Saved"));
    // The version file, opened and saved unedited, stays as the template wrote it.
    const QString version = projectFile("demo", "src/version");
    const FileStamp versionBefore = stampOf(version);
    selectFile("version");
    pressSave();
    QVERIFY(stampOf(version) == versionBefore);
    QCOMPARE(readFile(version), QByteArray("0 0 1 \n"));
    selectFile("app.qml");
    button("playButton")->click();
    QTRY_VERIFY(button("playButton")->isEnabled());
    QCOMPARE(status(), QString("Packaged, but no radio is connected to upload it to."));
    ScopedModalScript script;
    script.run({ModalScript::press(QMessageBox::No)});
    widget->publishProject("demo");
    QCOMPARE(script.texts->size(), 1);

    QCOMPARE(readFile(path), bytes);
    QVERIFY2(stampOf(path) == before, "the file was written again");
    // Packaged as it is on disk.
    QProcess tar;
    tar.start("tar", {"-xOf", projectFile("demo", "output/demo.tar"), "demo/app.qml"});
    QVERIFY(tar.waitForFinished(10000));
    QCOMPARE(tar.readAllStandardOutput(), bytes);
}

void DeveloperWidgetTest::editedSaveKeepsTheLayout_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("typed"); // at the start; "\n" is the Return key
    QTest::addColumn<QByteArray>("expected");
    const QByteArray bom("\xEF\xBB\xBF");
    QTest::newRow("NUL byte") << QByteArray("// before\0after\n", 16) << "X"
                              << QByteArray("X// before\0after\n", 17);
    QTest::newRow("CR LF and no-break space") << QByteArray("Item {\r\n\ttext: \"a\xC2\xA0"
                                                            "b\"\r\n}\r\n")
                                              << "X"
                                              << QByteArray("XItem {\r\n\ttext: \"a\xC2\xA0"
                                                            "b\"\r\n}\r\n");
    QTest::newRow("CR LF, a line added") << QByteArray("a\r\nb\r\n") << "\n"
                                         << QByteArray("\r\na\r\nb\r\n");
    QTest::newRow("lone CR, a line added") << QByteArray("a\rb\r") << "\n"
                                           << QByteArray("\ra\rb\r");
    QTest::newRow("no final line feed")
        << QByteArray("Item {\n}") << "X" << QByteArray("XItem {\n}");
    QTest::newRow("byte order mark") << bom + "Item {}\n"
                                     << "X" << bom + "XItem {}\n";
    // Once edited, it is written as UTF-8: what the editor showed.
    QTest::newRow("Latin-1") << QByteArray("caf\xE9\n") << "X" << QByteArray("Xcaf\xEF\xBF\xBD\n");
}

void DeveloperWidgetTest::editedSaveKeepsTheLayout()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, typed);
    QFETCH(QByteArray, expected);
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString path = projectFile("demo", "src/app.qml");
    QVERIFY(writeFile(path, bytes));
    makeWidget();
    selectProject("demo");
    editor()->setFocus();
    editor()->moveCursor(QTextCursor::Start);
    if (typed == "\n")
        QTest::keyClick(editor(), Qt::Key_Return);
    else
        typeInEditor(typed);
    pressSave();
    QCOMPARE(status(), QString("Saved"));
    QCOMPARE(readFile(path), expected);
    // Play after the save writes nothing more.
    const FileStamp saved = stampOf(path);
    button("playButton")->click();
    QTRY_VERIFY(button("playButton")->isEnabled());
    QVERIFY(stampOf(path) == saved);
    QCOMPARE(readFile(path), expected);
}

void DeveloperWidgetTest::editedSaveKeepsTheMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("0600") << 0600;
    QTest::newRow("0664") << 0664;
    QTest::newRow("0755") << 0755;
}

void DeveloperWidgetTest::editedSaveKeepsTheMode()
{
    QFETCH(int, mode);
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString path = projectFile("demo", "src/app.qml");
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
    makeWidget();
    selectProject("demo");
    typeInEditor("X");
    pressSave();
    QCOMPARE(status(), QString("Saved"));
    QVERIFY(readFile(path).startsWith("Ximport"));
    QCOMPARE(WorkspaceTest::fileMode(path), mode);
}

void DeveloperWidgetTest::saveInAReadOnlyFolder()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString src = DeveloperWorkspace::sourcePath("demo");
    const QString path = src + "/app.qml";
    constexpr uid_t nobody = 65534;
    // The user owns the file but may not write in its folder.
    QCOMPARE(::chmod(QFile::encodeName(home->path()).constData(), 0755), 0);
    QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
    QCOMPARE(::chmod(QFile::encodeName(src).constData(), 0555), 0);
    makeWidget();
    selectProject("demo");
    typeInEditor("X");
    // Permission checks as that user: tests run as root, which passes them all.
    setfsuid(nobody);
    pressSave();
    setfsuid(0);
    QCOMPARE(status(), QString("Saved"));
    QVERIFY(readFile(path).startsWith("Ximport"));
    QCOMPARE(WorkspaceTest::fileMode(path), 0644);
    QCOMPARE(QFileInfo(path).ownerId(), nobody);
    QCOMPARE(WorkspaceTest::allEntries(src), (QStringList {"app.qml", "icon.png", "version"}));
    QCOMPARE(::chmod(QFile::encodeName(src).constData(), 0755), 0);
}

void DeveloperWidgetTest::rightClickKeepsTheOpenFile()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(makeProject("other", ProjectType::Application));
    QVERIFY(writeFile(projectFile("demo", "src/main.qml"), "Item {}\n"));
    makeWidget();
    selectProject("demo");
    typeInEditor("unsaved ");
    const QString text = editor()->toPlainText();

    // Dismissed menus, on a project and on a file that are not the current ones.
    QCOMPARE(useContextMenu(projects(), projects()->findItems("other", Qt::MatchExactly).first(),
                            QString()),
             (QStringList {"Publish", "Show Files"}));
    QCOMPARE(useContextMenu(files(), fileItem("main.qml"), QString()), QStringList {"Delete"});

    QCOMPARE(projects()->currentItem()->text(), QString("demo"));
    QCOMPARE(files()->currentItem()->data(Qt::UserRole).toString(), QString("app.qml"));
    QCOMPARE(editor()->toPlainText(), text);
    QVERIFY(editor()->document()->isModified());
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml *"));
    QCOMPARE(fileLabel(), QString("demo / app.qml"));

    // Delete from the menu acts on the entry under the cursor, the edits stay.
    ScopedModalScript script;
    script.run({ModalScript::press(QMessageBox::Yes)});
    useContextMenu(files(), fileItem("main.qml"), "Delete");
    QTRY_VERIFY(!QFileInfo::exists(projectFile("demo", "src/main.qml")));
    QCOMPARE(editor()->toPlainText(), text);
    QCOMPARE(fileItem("app.qml")->text(), QString("app.qml *"));
}

void DeveloperWidgetTest::publishFromTheMenuLeavesTheEditorAlone()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    QVERIFY(makeProject("other", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    const QByteArray onDisk = readFile(projectFile("demo", "src/app.qml"));
    typeInEditor("unsaved ");
    const QString text = editor()->toPlainText();
    ScopedModalScript script;
    script.run({ModalScript::press(QMessageBox::No)});
    useContextMenu(projects(), projects()->findItems("other", Qt::MatchExactly).first(), "Publish");
    QTRY_COMPARE(script.texts->size(), 1);
    QVERIFY(script.texts->first().startsWith("\"other\" is prepared for publishing."));
    QVERIFY(QFileInfo::exists(projectFile("other", "output/other.app")));
    QVERIFY(!QFileInfo::exists(projectFile("demo", "output/demo.app")));
    QCOMPARE(projects()->currentItem()->text(), QString("demo"));
    QCOMPARE(editor()->toPlainText(), text);
    QVERIFY(editor()->document()->isModified());
    QCOMPARE(readFile(projectFile("demo", "src/app.qml")), onDisk);
}

void DeveloperWidgetTest::hugeFileIsNotLoaded()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    // Past the 4 MB the editor opens in about a second.
    QByteArray big = "Item {\n";
    while (big.size() <= 5 * 1024 * 1024)
        big += "    // a long comment line that fills the file up quickly, again and again\n";
    big += "}\n";
    QVERIFY(writeFile(projectFile("demo", "src/big.qml"), big));
    makeWidget();
    selectProject("demo");
    selectFile("big.qml");
    QCOMPARE(fileLabel(), QString("demo / big.qml"));
    QCOMPARE(status(),
             QString("big.qml is too large to open here (more than 4 MB); it is still "
                     "packaged with the project."));
    QCOMPARE(editor()->toPlainText(), QString());
    QCOMPARE(editor()->placeholderText(), QString());
    // Nothing is saved over it, and it is packaged whole.
    pressSave();
    button("playButton")->click();
    QTRY_VERIFY(button("playButton")->isEnabled());
    QCOMPARE(readFile(projectFile("demo", "src/big.qml")), big);
    QVERIFY(tarMembers(projectFile("demo", "output/demo.tar")).contains("demo/big.qml"));
}

void DeveloperWidgetTest::whatIsNoRegularFileIsNeverOpened()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString src = DeveloperWorkspace::sourcePath("demo");
    QCOMPARE(::mkfifo(QFile::encodeName(src + "/pipe.qml").constData(), 0644), 0);
    QTemporaryDir outside;
    QVERIFY(writeFile(outside.filePath("shared.qml"), "Item {}\n"));
    QVERIFY(QFile::link(outside.filePath("shared.qml"), src + "/shared.qml"));
    FakeAiService service;
    QVERIFY(service.listen());
    AiServiceApi::setBaseUrl(service.url());
    makeWidget();
    selectProject("demo");
    QCOMPARE(fileTexts(), (QStringList {"app.qml", "icon.png", "version"}));
    // The model names the FIFO: refused at once, the tab goes on.
    const ToolAnswer answer = callTool(service, widget, "read_file", {{"filename", "pipe.qml"}});
    QVERIFY2(answer.text.startsWith("Failed to read pipe.qml: ")
                 || answer.text.contains("isn't a valid filename"),
             qPrintable(answer.text));
    QVERIFY(!answer.text.contains(home->path()));
}

void DeveloperWidgetTest::iconWriteFollowsNoLink()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    const QString src = DeveloperWorkspace::sourcePath("demo");
    QTemporaryDir outside;
    const QString victim = outside.filePath("victim.png");
    QVERIFY(writeFile(victim, "keep me"));
    QVERIFY(QFile::remove(src + "/icon.png"));
    QVERIFY(QFile::link(victim, src + "/icon.png"));
    FakeAiService service;
    QVERIFY(service.listen());
    AiServiceApi::setBaseUrl(service.url());
    makeWidget();
    selectProject("demo");
    const QString svg = "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='64'>"
                        "<rect width='64' height='64' fill='blue'/></svg>";
    // The name as given differs in case; the file written is src/icon.png.
    for (const char *name : {"ICON.PNG", "icon.png"}) {
        const ToolAnswer answer
            = callTool(service, widget, "write_image", {{"filename", name}, {"svg", svg}});
        QVERIFY2(answer.text.startsWith("Failed") || answer.text.contains("isn't a valid"),
                 qPrintable(answer.text));
    }
    QCOMPARE(readFile(victim), QByteArray("keep me"));
    QVERIFY(QFileInfo(src + "/icon.png").isSymLink());
    // Default Icon refuses the link too.
    selectFile("version");
    QString error;
    QVERIFY(!DeveloperWorkspace::replaceProjectIcon("demo", ":/dev/icon.png", error));
    QCOMPARE(readFile(victim), QByteArray("keep me"));
}

void DeveloperWidgetTest::toolbarTogglesStayOnScreen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("pageFits"); // no sideways scrolling at all
    QTest::newRow("640x600") << QSize(640, 600) << false;
    // The first-start size on a 1366x768 screen.
    QTest::newRow("910x600") << QSize(910, 600) << true;
}

void DeveloperWidgetTest::toolbarTogglesStayOnScreen()
{
    QFETCH(QSize, size);
    QFETCH(bool, pageFits);
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    // The tab as the main window holds it: one page of a tab widget.
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *tabs = new QTabWidget(&window);
    layout->addWidget(tabs);
    tabs->addTab(widget, "Developer");
    window.resize(size);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectProject("demo");
    QTRY_COMPARE(window.size(), size);
    for (const char *name : {"aiToggleButton", "debugToggleButton", "docsButton"}) {
        const QToolButton *toggle = button(name);
        QVERIFY(toggle->isVisible());
        const QRect inWindow(toggle->mapTo(&window, QPoint(0, 0)), toggle->size());
        QVERIFY2(window.rect().contains(inWindow),
                 qPrintable(QString("%1 at %2,%3 %4x%5")
                                .arg(name)
                                .arg(inWindow.x())
                                .arg(inWindow.y())
                                .arg(inWindow.width())
                                .arg(inWindow.height())));
    }
    if (pageFits) {
        for (const QScrollArea *area : widget->findChildren<QScrollArea *>()) {
            if (area->horizontalScrollBar()->isVisible() && area->isVisible()
                && area->horizontalScrollBar()->maximum() > 0)
                QFAIL(qPrintable(QString("%1 scrolls sideways by %2")
                                     .arg(area->objectName(), area->metaObject()->className())
                                     .arg(area->horizontalScrollBar()->maximum())));
        }
    }
    const QString dir = qEnvironmentVariable("KELO_SCREENSHOT_DIR", QDir::tempPath());
    QVERIFY(window.grab().save(
        QDir(dir).filePath(QString("kelo-developer-tab-%1.png").arg(QTest::currentDataTag()))));
    tabs->removeTab(0);
    widget->setParent(nullptr);
}

QTEST_MAIN(DeveloperWidgetTest)
#include "tst_developerwidget.moc"
