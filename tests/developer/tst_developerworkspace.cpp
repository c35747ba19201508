#include "DeveloperWorkspace.h"
#include "KeloResources.h"
#include "SaveFileCommit.h"
#include "WorkspaceTestSupport.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace DeveloperWorkspace;
using namespace WorkspaceTest;

namespace {

const QString folderCharsText
    = QStringLiteral("The name contains characters that aren't allowed in a folder name.");
const QString fileCharsText
    = QStringLiteral("The name contains characters that aren't allowed in a file name.");
const QString lengthText = QStringLiteral("Project names must be 1-16 characters.");

QByteArray imageBytes(int width, int height, const char *format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(10, 132, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QStringList names(const QVector<ProjectFile> &files)
{
    QStringList out;
    for (const ProjectFile &file : files)
        out << file.name;
    return out;
}

} // namespace

class DeveloperWorkspaceTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void workspaceUnderDocuments();
    void projectNames_data();
    void projectNames();
    void existingNamesRefused();
    void createdFiles_data();
    void createdFiles();
    void templates();
    void projectListing();
    void typeFollowsScreenQml();
    void fileListing();
    void fileNameRules_data();
    void fileNameRules();
    void newQmlFile_data();
    void newQmlFile();
    void newQmlFileNeverFollowsSymlink();
    void addImage_data();
    void addImage();
    void iconCheck_data();
    void iconCheck();
    void replaceIcon();
    void failedIconCopyKeepsIcon_data();
    void failedIconCopyKeepsIcon();
    void versions_data();
    void versions();
    void versionDisplay_data();
    void versionDisplay();
    void failedVersionWriteKeepsFile();
    // The one write path of project files, icons and packages.
    void safeWriteRefuses_data();
    void safeWriteRefuses();
    void safeWriteReplacesALinkSwappedInAfterTheCheck();
    void safeWriteKeepsTheMode_data();
    void safeWriteKeepsTheMode();
    void safeWriteInAReadOnlyFolder();
    void safeWriteOnAFullDiskKeepsTheOldFile();
    void safeWriteKilledAtTheRename();
    void readRefusesWhatIsNoRegularFile_data();
    void readRefusesWhatIsNoRegularFile();
    void textKeepsItsBytes_data();
    void textKeepsItsBytes();
    void linkedSourceFilesAreCounted();
    void sameFileByIdentity();

private:
    std::unique_ptr<TemporaryHome> home;
};

void DeveloperWorkspaceTest::initTestCase()
{
    initKeloResources();
}

void DeveloperWorkspaceTest::init()
{
    home = std::make_unique<TemporaryHome>();
    QVERIFY(home->isValid());
}

void DeveloperWorkspaceTest::cleanup()
{
    home.reset();
}

void DeveloperWorkspaceTest::workspaceUnderDocuments()
{
    // Documents does not exist yet: nothing but project creation makes it.
    QCOMPARE(developerRootPath(), home->path() + QStringLiteral("/Documents/Kelo Developer"));
    QCOMPARE(listProjects(), QStringList());
    QVERIFY(!QFileInfo::exists(home->documents()));
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, error));
    QVERIFY(QFileInfo(developerRootPath() + QStringLiteral("/demo/src")).isDir());
    QCOMPARE(listProjects(), QStringList {"demo"});
}

void DeveloperWorkspaceTest::projectNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error"); // empty = created

    QTest::newRow("16 characters") << QString(16, QLatin1Char('a')) << QString();
    QTest::newRow("17 characters") << QString(17, QLatin1Char('a')) << lengthText;
    QTest::newRow("empty") << QString() << lengthText;
    // The text field counts UTF-16 units: an emoji takes two.
    QTest::newRow("16 units with an emoji")
        << QString(14, QLatin1Char('a')) + QString::fromUtf8("🙂") << QString();
    QTest::newRow("17 units with an emoji")
        << QString(15, QLatin1Char('a')) + QString::fromUtf8("🙂") << lengthText;
    QTest::newRow("spaces and accents") << QString::fromUtf8(" My Äpp ") << QString();
    const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    for (const QChar c : forbidden)
        QTest::addRow("forbidden %c", c.toLatin1())
            << QStringLiteral("a%1b").arg(c) << folderCharsText;
    QTest::newRow("../x") << "../x" << folderCharsText;
    // A hidden folder would never be listed again.
    QTest::newRow("leading dot") << ".demo" << folderCharsText;
    QTest::newRow("dot dot") << ".." << folderCharsText;
    QTest::newRow("inner dot") << "v1.0" << QString();
    QTest::newRow("line feed") << "a\nb" << folderCharsText;
    QTest::newRow("carriage return") << "a\rb" << folderCharsText;
    QTest::newRow("tab") << "a\tb" << folderCharsText;
    QTest::newRow("NUL") << QString(QStringLiteral("a%1b")).arg(QChar(0)) << folderCharsText;
    QTest::newRow("DEL") << "a\x7f"
                            "b"
                         << folderCharsText;
    QTest::newRow("C1 control") << QStringLiteral("a%1b").arg(QChar(0x85)) << folderCharsText;
    // It cannot be written as a file name; the folder would get another name.
    QTest::newRow("lone surrogate") << QStringLiteral("a%1b").arg(QChar(0xd83d)) << folderCharsText;
}

void DeveloperWorkspaceTest::projectNames()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    QString checked;
    QCOMPARE(checkProjectName(name, checked), error.isEmpty());
    QCOMPARE(checked, error);
    QString reason;
    const bool created = createProject(name, ProjectType::Application, reason);
    QCOMPARE(reason, error);
    QCOMPARE(created, error.isEmpty());
    if (created) {
        QCOMPARE(listProjects(), QStringList {name});
        QVERIFY(QFileInfo(sourcePath(name) + QStringLiteral("/app.qml")).isFile());
    } else {
        // Refused before anything is made.
        QVERIFY(!QFileInfo::exists(home->documents()));
    }
}

void DeveloperWorkspaceTest::existingNamesRefused()
{
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, error));
    const QByteArray app
        = readFile(sourcePath(QStringLiteral("demo")) + QStringLiteral("/app.qml"));
    QVERIFY(!createProject(QStringLiteral("demo"), ProjectType::HomeScreen, error));
    QCOMPARE(error,
             QStringLiteral("A project named \"demo\" already exists. Please pick another "
                            "name."));
    QCOMPARE(allEntries(sourcePath(QStringLiteral("demo"))),
             QStringList({"app.qml", "icon.png", "version"}));
    QCOMPARE(readFile(sourcePath(QStringLiteral("demo")) + QStringLiteral("/app.qml")), app);

    // A plain file of that name is no project; its folders cannot be made.
    QVERIFY(writeFile(developerRootPath() + QStringLiteral("/notes"), "mine"));
    QVERIFY(!createProject(QStringLiteral("notes"), ProjectType::Application, error));
    QCOMPARE(error, QStringLiteral("Failed to create the project directories."));
    QCOMPARE(readFile(developerRootPath() + QStringLiteral("/notes")), QByteArray("mine"));
}

void DeveloperWorkspaceTest::createdFiles_data()
{
    QTest::addColumn<bool>("homeScreen");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("Application") << false << QStringList {"app.qml", "icon.png", "version"};
    QTest::newRow("Home Screen") << true << QStringList {"screen.qml"};
}

void DeveloperWorkspaceTest::createdFiles()
{
    QFETCH(bool, homeScreen);
    QFETCH(QStringList, files);
    const ProjectType type = homeScreen ? ProjectType::HomeScreen : ProjectType::Application;
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), type, error));
    QCOMPARE(allEntries(projectPath(QStringLiteral("demo"))), QStringList({"output", "src"}));
    QCOMPARE(allEntries(outputPath(QStringLiteral("demo"))), QStringList());
    QCOMPARE(allEntries(sourcePath(QStringLiteral("demo"))), files);
    QCOMPARE(projectTypeForName(QStringLiteral("demo")), type);
    for (const QString &file : files) {
        const QString path = sourcePath(QStringLiteral("demo")) + QLatin1Char('/') + file;
        // Resources are read-only; the copies must be rw-r--r-- (root would hide a 0444).
        QCOMPARE(fileMode(path), 0644);
        QCOMPARE(readFile(path), readFile(QStringLiteral(":/dev/") + file));
    }
}

// What a new project starts from.
void DeveloperWorkspaceTest::templates()
{
    QCOMPARE(readFile(QStringLiteral(":/dev/version")), QByteArray("0 0 1 \n"));
    QImageReader icon(QStringLiteral(":/dev/icon.png"));
    QCOMPARE(icon.format(), QByteArray("png"));
    const QImage iconImage = icon.read();
    QCOMPARE(iconImage.size(), QSize(64, 64));
    QVERIFY(iconImage.hasAlphaChannel());
    const QByteArray app = readFile(QStringLiteral(":/dev/app.qml"));
    QVERIFY(app.startsWith("import QtQuick 2.12\nimport QtQuick.Controls 2.12\n"));
    QVERIFY(app.contains("\tproperty string name: \"Kelo App Template\"\n"));
    QVERIFY(app.contains("text: \"Hello World!\""));
    QVERIFY(app.endsWith("}\n\n\n \n"));
    const QByteArray screen = readFile(QStringLiteral(":/dev/screen.qml"));
    QVERIFY(screen.contains("\tproperty string name: \"My Home Screen\"\n"));
    QVERIFY(screen.contains("enabled: !system_lock"));
    QVERIFY(screen.endsWith("}\n \n"));
}

void DeveloperWorkspaceTest::projectListing()
{
    // Sorted by character code, upper case first; hidden folders and plain files are no
    // projects.
    for (const char *name : {"b", "A", "a", "Zed", ".hidden"})
        QVERIFY(QDir().mkpath(developerRootPath() + QLatin1Char('/') + QLatin1String(name)));
    QVERIFY(writeFile(developerRootPath() + QStringLiteral("/file"), "x"));
    QCOMPARE(listProjects(), QStringList({"A", "Zed", "a", "b"}));
}

void DeveloperWorkspaceTest::typeFollowsScreenQml()
{
    QString error;
    QVERIFY(createProject(QStringLiteral("app"), ProjectType::Application, error));
    QCOMPARE(projectTypeForName(QStringLiteral("app")), ProjectType::Application);
    QCOMPARE(projectTypeIconPath(ProjectType::Application),
             QStringLiteral(":/icons/icon-project-app.svg"));
    QString created;
    QVERIFY(createQmlFile(QStringLiteral("app"), QStringLiteral("screen"), created, error));
    QCOMPARE(projectTypeForName(QStringLiteral("app")), ProjectType::HomeScreen);
    QCOMPARE(projectTypeIconPath(ProjectType::HomeScreen),
             QStringLiteral(":/icons/icon-project-home.svg"));
    QVERIFY(deleteProjectFile(QStringLiteral("app"), QStringLiteral("screen.qml")));
    QCOMPARE(projectTypeForName(QStringLiteral("app")), ProjectType::Application);
    for (const QString &path :
         {projectTypeIconPath(ProjectType::Application),
          projectTypeIconPath(ProjectType::HomeScreen), fileKindIconPath(FileKind::Qml),
          fileKindIconPath(FileKind::Version)})
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
}

void DeveloperWorkspaceTest::fileListing()
{
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, error));
    QCOMPARE(names(listProjectFiles(QStringLiteral("demo"))),
             QStringList({"app.qml", "icon.png", "version"}));

    const QString src = sourcePath(QStringLiteral("demo")) + QLatin1Char('/');
    for (const char *name : {"b.png", "A.jpg", "c.JPEG", "ICON.PNG", "z.qml", "Main.QML",
                             ".hidden.qml", ".hidden.png", "notes.txt", "sub/deep.qml"})
        QVERIFY(writeFile(src + QLatin1String(name), "x"));
    QVERIFY(QDir().mkpath(src + QStringLiteral("folder.qml")));
    QVERIFY(QFile::link(src + QStringLiteral("z.qml"), src + QStringLiteral("link.qml")));
    QVERIFY(QFile::link(src + QStringLiteral("b.png"), src + QStringLiteral("link.png")));

    const QVector<ProjectFile> files = listProjectFiles(QStringLiteral("demo"));
    QCOMPARE(names(files),
             QStringList({"Main.QML", "app.qml", "z.qml", "A.jpg", "b.png", "c.JPEG", "icon.png",
                          "version"}));
    const QVector<FileKind> kinds {FileKind::Qml,   FileKind::Qml,    FileKind::Qml,
                                   FileKind::Image, FileKind::Image,  FileKind::Image,
                                   FileKind::Icon,  FileKind::Version};
    for (int i = 0; i < files.size(); ++i)
        QCOMPARE(files.at(i).kind, kinds.at(i));

    // What a package holds: every regular file, in code order.
    QCOMPARE(sourceFiles(QStringLiteral("demo")),
             QStringList({"A.jpg", "ICON.PNG", "Main.QML", "app.qml", "b.png", "c.JPEG", "icon.png",
                          "notes.txt", "version", "z.qml"}));

    QCOMPARE(fileEntryText(QStringLiteral("app.qml"), true), QStringLiteral("app.qml *"));
    QCOMPARE(fileEntryText(QStringLiteral("app.qml"), false), QStringLiteral("app.qml"));
}

void DeveloperWorkspaceTest::fileNameRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("image");
    QTest::addColumn<bool>("validForAssistant");
    QTest::addColumn<bool>("reserved");

    QTest::newRow("png") << "a.png" << true << true << false;
    QTest::newRow("JPG upper case") << "A.JPG" << true << true << false;
    QTest::newRow("jpeg") << "photo.jpeg" << true << true << false;
    QTest::newRow("icon.png") << "icon.png" << false << true << true;
    QTest::newRow("ICON.PNG is the icon too") << "ICON.PNG" << false << true << false;
    QTest::newRow("gif") << "a.gif" << false << true << false;
    QTest::newRow("png inside the name") << "a.png.qml" << false << true << false;
    QTest::newRow("app.qml") << "app.qml" << false << true << true;
    QTest::newRow("App.qml differs in case") << "App.qml" << false << true << false;
    QTest::newRow("screen.qml") << "screen.qml" << false << true << true;
    QTest::newRow("version") << "version" << false << true << true;
    QTest::newRow("empty") << "" << false << false << false;
    QTest::newRow("slash") << "sub/a.qml" << false << false << false;
    QTest::newRow("backslash") << "sub\\a.qml" << false << false << false;
    QTest::newRow("two periods") << "a..qml" << false << false << false;
    QTest::newRow("parent") << "../a.qml" << false << false << false;
    // What the tab refuses in a name, the assistant refuses too.
    QTest::newRow("leading dot") << ".a.qml" << false << false << false;
    QTest::newRow("colon") << "a:b.qml" << false << false << false;
    QTest::newRow("vertical bar") << "a|b.qml" << false << false << false;
    QTest::newRow("control character") << "a\x01b.qml" << false << false << false;
}

void DeveloperWorkspaceTest::fileNameRules()
{
    QFETCH(QString, name);
    QFETCH(bool, image);
    QFETCH(bool, validForAssistant);
    QFETCH(bool, reserved);
    QCOMPARE(isProjectImageFile(name), image);
    QCOMPARE(isValidProjectFilename(name), validForAssistant);
    QCOMPARE(isReservedFileName(name), reserved);
}

void DeveloperWorkspaceTest::newQmlFile_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("created"); // empty = refused
    QTest::addColumn<QString>("error");

    QTest::newRow("extension added") << "test"
                                     << "test.qml" << QString();
    QTest::newRow("extension in any case kept") << "test.QML"
                                                << "test.QML" << QString();
    QTest::newRow("trimmed") << "  main \t"
                             << "main.qml" << QString();
    QTest::newRow("reserved name allowed") << "screen"
                                           << "screen.qml" << QString();
    QTest::newRow("empty") << "" << QString() << "Please enter a file name.";
    QTest::newRow("only spaces") << "   " << QString() << "Please enter a file name.";
    QTest::newRow("slash") << "a/b" << QString() << fileCharsText;
    QTest::newRow("colon") << "a:b" << QString() << fileCharsText;
    QTest::newRow("parent folder") << "../x" << QString() << fileCharsText;
    // Hidden files are never listed nor packaged.
    QTest::newRow("leading dot") << ".hidden" << QString() << fileCharsText;
    QTest::newRow("inner tab") << "a\tb" << QString() << fileCharsText;
    QTest::newRow("existing") << "app" << QString()
                              << "A file named \"app.qml\" already exists. Please pick another "
                                 "name.";
}

void DeveloperWorkspaceTest::newQmlFile()
{
    QFETCH(QString, typed);
    QFETCH(QString, created);
    QFETCH(QString, error);
    QString reason;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, reason));
    const QByteArray app
        = readFile(sourcePath(QStringLiteral("demo")) + QStringLiteral("/app.qml"));
    const QStringList before = allEntries(sourcePath(QStringLiteral("demo")));

    QString fileName;
    QCOMPARE(createQmlFile(QStringLiteral("demo"), typed, fileName, reason), error.isEmpty());
    QCOMPARE(reason, error);
    QCOMPARE(fileName, created);
    if (created.isEmpty()) {
        QCOMPARE(allEntries(sourcePath(QStringLiteral("demo"))), before);
        QCOMPARE(readFile(sourcePath(QStringLiteral("demo")) + QStringLiteral("/app.qml")), app);
    } else {
        const QString path = sourcePath(QStringLiteral("demo")) + QLatin1Char('/') + created;
        QVERIFY(QFileInfo(path).isFile());
        QCOMPARE(QFileInfo(path).size(), qint64(0));
    }
}

void DeveloperWorkspaceTest::newQmlFileNeverFollowsSymlink()
{
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, error));
    const QString target = home->path() + QStringLiteral("/elsewhere.txt");
    QVERIFY(QFile::link(target, sourcePath(QStringLiteral("demo")) + QStringLiteral("/link.qml")));
    QString fileName;
    QVERIFY(!createQmlFile(QStringLiteral("demo"), QStringLiteral("link"), fileName, error));
    QCOMPARE(error,
             QStringLiteral("A file named \"link.qml\" already exists. Please pick another "
                            "name."));
    QVERIFY(!QFileInfo::exists(target));
}

void DeveloperWorkspaceTest::addImage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // %1 = the chosen file's path; empty = added

    QTest::newRow("png") << "pic.png" << imageBytes(20, 10, "PNG") << QString();
    QTest::newRow("jpeg") << "photo.JPEG" << imageBytes(20, 10, "JPG") << QString();
    QTest::newRow("ICON.PNG refused")
        << "ICON.PNG" << imageBytes(64, 64, "PNG") << "Only PNG and JPG images are supported.";
    QTest::newRow("gif refused") << "anim.gif" << imageBytes(20, 10, "PNG")
                                 << "Only PNG and JPG images are supported.";
    QTest::newRow("not an image") << "broken.png" << QByteArray("just text")
                                  << "Cannot load image: %1";
    QTest::newRow("name taken") << "taken.png" << imageBytes(20, 10, "PNG")
                                << "A file named \"taken.png\" already exists. Please rename the "
                                   "image before adding it.";
}

void DeveloperWorkspaceTest::addImage()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QString reason;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, reason));
    const QString src = sourcePath(QStringLiteral("demo")) + QLatin1Char('/');
    QVERIFY(writeFile(src + QStringLiteral("taken.png"), "mine"));
    const QString chosen = home->path() + QStringLiteral("/pictures/") + name;
    QVERIFY(writeFile(chosen, bytes));
    QVERIFY(QFile::setPermissions(chosen, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    QString fileName;
    const bool added = addImageFile(QStringLiteral("demo"), chosen, fileName, reason);
    QCOMPARE(added, error.isEmpty());
    if (added) {
        QCOMPARE(fileName, name);
        QCOMPARE(readFile(src + name), bytes); // copied, never re-encoded
        QCOMPARE(fileMode(src + name), 0644);
    } else {
        QCOMPARE(reason, error.contains("%1") ? error.arg(chosen) : error);
        QCOMPARE(readFile(src + QStringLiteral("taken.png")), QByteArray("mine"));
        QCOMPARE(allEntries(src), QStringList({"app.qml", "icon.png", "taken.png", "version"}));
    }
}

void DeveloperWorkspaceTest::iconCheck_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // %1 = the path; empty = accepted

    QTest::newRow("64x64 PNG") << imageBytes(64, 64, "PNG") << QString();
    // The content decides, not the name.
    QTest::newRow("64x64 JPEG named .png") << imageBytes(64, 64, "JPG") << QString();
    QTest::newRow("64x65") << imageBytes(64, 65, "PNG")
                           << "The icon must be exactly 64x64 pixels. Selected image is 64x65.";
    QTest::newRow("128x128") << imageBytes(128, 128, "PNG")
                             << "The icon must be exactly 64x64 pixels. Selected image is "
                                "128x128.";
    QTest::newRow("not an image") << QByteArray("text") << "Cannot load image: %1";
    QTest::newRow("truncated PNG") << imageBytes(64, 64, "PNG").left(40) << "Cannot load image: %1";
}

void DeveloperWorkspaceTest::iconCheck()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const QString path = home->path() + QStringLiteral("/pictures/new.png");
    QVERIFY(writeFile(path, bytes));
    QString reason;
    QCOMPARE(checkIconFile(path, reason), error.isEmpty());
    QCOMPARE(reason, error.contains("%1") ? error.arg(path) : error);
}

void DeveloperWorkspaceTest::replaceIcon()
{
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, error));
    const QString icon = sourcePath(QStringLiteral("demo")) + QStringLiteral("/icon.png");

    // A JPEG under a .png name is copied byte for byte, made rw-r--r--.
    const QString chosen = home->path() + QStringLiteral("/pictures/new.png");
    const QByteArray jpeg = imageBytes(64, 64, "JPG");
    QVERIFY(writeFile(chosen, jpeg));
    QVERIFY(QFile::setPermissions(chosen, QFileDevice::ReadOwner));
    QVERIFY(replaceProjectIcon(QStringLiteral("demo"), chosen, error));
    QCOMPARE(readFile(icon), jpeg);
    QCOMPARE(fileMode(icon), 0644);

    // The icon chosen as its own replacement stays as it was.
    QVERIFY(replaceProjectIcon(QStringLiteral("demo"), icon, error));
    QCOMPARE(readFile(icon), jpeg);

    // Default Icon restores the template.
    QVERIFY(replaceProjectIcon(QStringLiteral("demo"), QStringLiteral(":/dev/icon.png"), error));
    QCOMPARE(readFile(icon), readFile(QStringLiteral(":/dev/icon.png")));
    QCOMPARE(fileMode(icon), 0644);
    QCOMPARE(allEntries(sourcePath(QStringLiteral("demo"))),
             QStringList({"app.qml", "icon.png", "version"}));

    // A Home Screen has no icon until one is chosen.
    QVERIFY(createProject(QStringLiteral("clock"), ProjectType::HomeScreen, error));
    QVERIFY(replaceProjectIcon(QStringLiteral("clock"), chosen, error));
    QCOMPARE(readFile(sourcePath(QStringLiteral("clock")) + QStringLiteral("/icon.png")), jpeg);
}

void DeveloperWorkspaceTest::failedIconCopyKeepsIcon_data()
{
    QTest::addColumn<int>("size"); // of the chosen file; 0 = it is gone
    QTest::addColumn<int>("limit"); // on file sizes; -1 = none
    QTest::newRow("source gone") << 0 << -1;
    QTest::newRow("disk full half-way") << 40000 << 4096;
    // The copy still sits in the write buffer: only the final flush fails.
    QTest::newRow("disk full at the last flush") << 1000 << 100;
}

void DeveloperWorkspaceTest::failedIconCopyKeepsIcon()
{
    QFETCH(int, size);
    QFETCH(int, limit);
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, error));
    const QString icon = sourcePath(QStringLiteral("demo")) + QStringLiteral("/icon.png");
    const QByteArray old = readFile(icon);
    const QString chosen = home->path() + QStringLiteral("/pictures/big.png");
    if (size > 0)
        QVERIFY(writeFile(chosen, QByteArray(size, 'x')));

    bool replaced = true;
    {
        FileSizeLimit fileSizeLimit(limit < 0 ? RLIM_INFINITY : rlim_t(limit));
        replaced = replaceProjectIcon(QStringLiteral("demo"), chosen, error);
    }
    QVERIFY(!replaced);
    QCOMPARE(error, QStringLiteral("Failed to copy the icon into the project."));
    QCOMPARE(readFile(icon), old);
    QCOMPARE(allEntries(sourcePath(QStringLiteral("demo"))),
             QStringList({"app.qml", "icon.png", "version"}));
}

void DeveloperWorkspaceTest::versions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("written"); // empty = refused
    QTest::addColumn<QString>("error");

    const QString three
        = QStringLiteral("Version must have exactly 3 numbers separated by dots, e.g. 1.0.0.");
    const QString number
        = QStringLiteral("Each part must be a number (no letters or other characters).");
    const QString range = QStringLiteral("Each number must be in the range 0-255 (\"%1\" is too "
                                         "big).");

    QTest::newRow("1.2.3") << "1.2.3" << QByteArray("1 2 3") << QString();
    QTest::newRow("template version") << "0.0.1" << QByteArray("0 0 1") << QString();
    QTest::newRow("leading zeros dropped") << "007.1.0" << QByteArray("7 1 0") << QString();
    QTest::newRow("0.0.0") << "0.0.0" << QByteArray("0 0 0") << QString();
    QTest::newRow("255.255.255") << "255.255.255" << QByteArray("255 255 255") << QString();
    QTest::newRow("1.256.0") << "1.256.0" << QByteArray() << range.arg("256");
    QTest::newRow("300.1.1") << "300.1.1" << QByteArray() << range.arg("300");
    QTest::newRow("two parts") << "1.2" << QByteArray() << three;
    QTest::newRow("four parts") << "1.2.3.4" << QByteArray() << three;
    QTest::newRow("empty text") << "" << QByteArray() << three;
    QTest::newRow("empty middle part") << "1..2" << QByteArray() << number;
    QTest::newRow("empty last part") << "1.2." << QByteArray() << number;
    QTest::newRow("four digits") << "1.0000.0" << QByteArray() << number;
    QTest::newRow("letter") << "1.a.0" << QByteArray() << number;
    QTest::newRow("sign") << "1.+2.0" << QByteArray() << number;
    QTest::newRow("trailing line feed") << "1.2.3\n" << QByteArray() << number;
    QTest::newRow("fullwidth digit") << QString::fromUtf8("１.2.3") << QByteArray() << number;
    // The first failing part decides.
    QTest::newRow("range before number") << "256.x.0" << QByteArray() << range.arg("256");
    QTest::newRow("number before range") << "x.256.0" << QByteArray() << number;
    QTest::newRow("999") << "1.2.999" << QByteArray() << range.arg("999");
}

void DeveloperWorkspaceTest::versions()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, written);
    QFETCH(QString, error);
    QString reason;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, reason));
    const QString file = sourcePath(QStringLiteral("demo")) + QStringLiteral("/version");

    QCOMPARE(saveVersion(QStringLiteral("demo"), text, reason), error.isEmpty());
    if (error.isEmpty()) {
        QCOMPARE(readFile(file), written);
        QCOMPARE(fileMode(file), 0644); // as the template was
        QCOMPARE(readVersionForDisplay(QStringLiteral("demo")),
                 QString::fromLatin1(written).replace(QLatin1Char(' '), QLatin1Char('.')));
    } else {
        QCOMPARE(reason, error);
        QCOMPARE(readFile(file), QByteArray("0 0 1 \n"));
    }
    int major = -1;
    int minor = -1;
    int patch = -1;
    QCOMPARE(parseVersionString(text, major, minor, patch, reason), error.isEmpty());
    if (error.isEmpty())
        QCOMPARE(formatVersion(major, minor, patch).toUtf8(), written);
}

void DeveloperWorkspaceTest::versionDisplay_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("template") << QByteArray("0 0 1 \n") << "0.0.1";
    QTest::newRow("written form") << QByteArray("1 2 3") << "1.2.3";
    QTest::newRow("white space runs") << QByteArray("  1\t 2\r\n3  \n") << "1.2.3";
    QTest::newRow("empty") << QByteArray() << "";
}

void DeveloperWorkspaceTest::versionDisplay()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(versionForDisplay(bytes), shown);
}

void DeveloperWorkspaceTest::failedVersionWriteKeepsFile()
{
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, error));
    bool saved = true;
    {
        FileSizeLimit limit(0);
        saved = saveVersion(QStringLiteral("demo"), QStringLiteral("1.2.3"), error);
    }
    QVERIFY(!saved);
    QCOMPARE(error, QStringLiteral("Failed to write the version file."));
    QCOMPARE(readFile(sourcePath(QStringLiteral("demo")) + QStringLiteral("/version")),
             QByteArray("0 0 1 \n"));
    QCOMPARE(allEntries(sourcePath(QStringLiteral("demo"))),
             QStringList({"app.qml", "icon.png", "version"}));

    // Without the file the field is empty; saving writes a new one.
    QVERIFY(QFile::remove(sourcePath(QStringLiteral("demo")) + QStringLiteral("/version")));
    QCOMPARE(readVersionForDisplay(QStringLiteral("demo")), QString());
    QVERIFY(saveVersion(QStringLiteral("demo"), QStringLiteral("2.0.0"), error));
    QCOMPARE(readFile(sourcePath(QStringLiteral("demo")) + QStringLiteral("/version")),
             QByteArray("2 0 0"));
}

namespace {

// Permission checks as another user would meet them: tests run as root, which passes them all.
// The file-system id is per thread, and dropping it from 0 drops the DAC overrides too.
class AsNobody
{
public:
    AsNobody() { setfsuid(Nobody); }
    ~AsNobody() { setfsuid(0); }
    static constexpr uid_t Nobody = 65534;
};

QString outsideMarker(const QTemporaryDir &outside)
{
    return outside.filePath("victim.qml");
}

} // namespace

void DeveloperWorkspaceTest::safeWriteRefuses_data()
{
    QTest::addColumn<QString>("planted");
    QTest::newRow("link to a file outside") << "link";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("folder") << "folder";
    QTest::newRow("its folder is a link") << "linked folder";
}

void DeveloperWorkspaceTest::safeWriteRefuses()
{
    QFETCH(QString, planted);
    QTemporaryDir outside;
    QVERIFY(writeFile(outsideMarker(outside), "keep me"));
    const QMap<QString, QByteArray> outsideBefore = folderContents(outside.path());
    QTemporaryDir dir;
    QString target = dir.filePath("app.qml");
    if (planted == "link")
        QVERIFY(QFile::link(outsideMarker(outside), target));
    else if (planted == "dangling")
        QVERIFY(QFile::link(outside.filePath("new.qml"), target));
    else if (planted == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0644), 0);
    else if (planted == "folder")
        QVERIFY(QDir().mkdir(target));
    else if (planted == "linked folder") {
        QVERIFY(QFile::link(outside.path(), dir.filePath("src")));
        target = dir.filePath("src/victim.qml");
    }
    const QStringList entriesBefore = allEntries(dir.path());

    SafeFileWriter writer(target);
    QElapsedTimer clock;
    clock.start();
    const bool written = writer.open() && writer.write("hostile") && writer.commit();
    QVERIFY(!written);
    QVERIFY(writer.refused());
    QVERIFY2(!writer.errorString().isEmpty(), "no reason given");
    // A FIFO is refused, not waited on.
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(folderContents(outside.path()), outsideBefore);
    QCOMPARE(allEntries(dir.path()), entriesBefore);
    QString error;
    QVERIFY(!SafeFileWriter::writeFile(target, "hostile", &error));
    QCOMPARE(error, writer.errorString());
}

void DeveloperWorkspaceTest::safeWriteReplacesALinkSwappedInAfterTheCheck()
{
    QTemporaryDir outside;
    QVERIFY(writeFile(outsideMarker(outside), "keep me"));
    QTemporaryDir dir;
    const QString target = dir.filePath("app.qml");
    QVERIFY(writeFile(target, "old"));
    // Another process swaps the checked file for a link while the new bytes are written.
    SafeFileWriter::beforeRenameHook = [&](const QString &) {
        return QFile::remove(target) && QFile::link(outsideMarker(outside), target);
    };
    const bool written = SafeFileWriter::writeFile(target, "new");
    SafeFileWriter::beforeRenameHook = nullptr;
    QVERIFY(written);
    QCOMPARE(readFile(outsideMarker(outside)), QByteArray("keep me"));
    QVERIFY(!QFileInfo(target).isSymLink());
    QCOMPARE(readFile(target), QByteArray("new"));
    QCOMPARE(allEntries(dir.path()), QStringList {"app.qml"});
}

void DeveloperWorkspaceTest::safeWriteKeepsTheMode_data()
{
    QTest::addColumn<int>("before"); // -1: no file yet
    QTest::addColumn<bool>("mode0644");
    QTest::addColumn<int>("after");
    QTest::newRow("0600 kept") << 0600 << true << 0600;
    QTest::newRow("0664 kept") << 0664 << true << 0664;
    QTest::newRow("0755 kept") << 0755 << false << 0755;
    QTest::newRow("0444 kept") << 0444 << true << 0444;
    QTest::newRow("new project file") << -1 << true << 0644;
    // A package: what the user's umask (077 here) gives.
    QTest::newRow("new package") << -1 << false << 0600;
}

void DeveloperWorkspaceTest::safeWriteKeepsTheMode()
{
    QFETCH(int, before);
    QFETCH(bool, mode0644);
    QFETCH(int, after);
    QTemporaryDir dir;
    const QString target = dir.filePath("app.qml");
    if (before >= 0) {
        QVERIFY(writeFile(target, "old"));
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), mode_t(before)), 0);
    }
    const mode_t savedMask = ::umask(077);
    const bool written = SafeFileWriter::writeFile(target, "new", nullptr,
                                                   mode0644 ? SafeFileWriter::NewFileMode::Mode0644
                                                            : SafeFileWriter::NewFileMode::Default);
    ::umask(savedMask);
    QVERIFY(written);
    QCOMPARE(readFile(target), QByteArray("new"));
    QCOMPARE(fileMode(target), after);
}

void DeveloperWorkspaceTest::safeWriteInAReadOnlyFolder()
{
    QTemporaryDir dir;
    // The user's own file in a folder they may not write to (a shared checkout, say).
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    const QString target = dir.filePath("app.qml");
    QVERIFY(writeFile(target, "old and longer"));
    QCOMPARE(::chown(QFile::encodeName(target).constData(), AsNobody::Nobody, AsNobody::Nobody), 0);
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    {
        const AsNobody nobody;
        QString error;
        QVERIFY2(SafeFileWriter::writeFile(target, "new", &error), qPrintable(error));
        // A new file cannot be made there: a clear failure.
        QVERIFY(!SafeFileWriter::writeFile(dir.filePath("new.qml"), "x", &error));
        QVERIFY(!error.isEmpty());
        // Nor is the old file cut short when the new bytes do not fit.
        WorkspaceTest::FileSizeLimit full(20);
        QVERIFY(!SafeFileWriter::writeFile(target, QByteArray(100, 'x'), &error));
    }
    QCOMPARE(readFile(target), QByteArray("new"));
    QCOMPARE(fileMode(target), 0640);
    QCOMPARE(QFileInfo(target).ownerId(), AsNobody::Nobody);
    QCOMPARE(allEntries(dir.path()), QStringList {"app.qml"});
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
}

void DeveloperWorkspaceTest::safeWriteOnAFullDiskKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString target = dir.filePath("app.qml");
    QVERIFY(writeFile(target, "old"));
    QString error;
    {
        WorkspaceTest::FileSizeLimit full(10);
        QVERIFY(!SafeFileWriter::writeFile(target, QByteArray(100, 'x'), &error));
    }
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(target), QByteArray("old"));
    QCOMPARE(allEntries(dir.path()), QStringList {"app.qml"});
}

void DeveloperWorkspaceTest::safeWriteKilledAtTheRename()
{
    QString error;
    QVERIFY(createProject("demo", ProjectType::Application, error));
    const QString src = sourcePath("demo");
    const QByteArray before = readFile(src + "/app.qml");
    QString leftOver;
    SafeFileWriter::beforeRenameHook = [&leftOver](const QString &path) {
        leftOver = path;
        return false;
    };
    QVERIFY(!writeProjectFile(src + "/app.qml", "new"));
    SafeFileWriter::beforeRenameHook = nullptr;
    QVERIFY(QFileInfo::exists(leftOver));
    QCOMPARE(readFile(src + "/app.qml"), before);
    // Hidden: never listed, never packaged.
    QCOMPARE(sourceFiles("demo"), (QStringList {"app.qml", "icon.png", "version"}));
    QCOMPARE(names(listProjectFiles("demo")), (QStringList {"app.qml", "icon.png", "version"}));
    // The next save in that folder removes it.
    QVERIFY(writeProjectFile(src + "/version", "1 0 0"));
    QCOMPARE(allEntries(src), (QStringList {"app.qml", "icon.png", "version"}));
}

void DeveloperWorkspaceTest::readRefusesWhatIsNoRegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO without a writer") << "fifo";
    QTest::newRow("character device") << "device";
    QTest::newRow("socket") << "socket";
    QTest::newRow("link") << "link";
    QTest::newRow("folder") << "folder";
}

void DeveloperWorkspaceTest::readRefusesWhatIsNoRegularFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("x.qml");
    QLocalServer server;
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    } else if (kind == "device") {
        if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0644, makedev(1, 3)) != 0)
            QSKIP("no device node can be made here");
    } else if (kind == "socket") {
        server.setSocketOptions(QLocalServer::WorldAccessOption);
        QVERIFY(server.listen(path));
    } else if (kind == "link") {
        QVERIFY(writeFile(dir.filePath("real.qml"), "text"));
        QVERIFY(QFile::link(dir.filePath("real.qml"), path));
    } else {
        QVERIFY(QDir().mkdir(path));
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray bytes;
    QString error;
    QVERIFY(!readProjectFile(path, 1000, bytes, &error));
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(!error.isEmpty());
    QVERIFY(bytes.isEmpty());
    QVERIFY(loadPicture(path).isNull());
}

void DeveloperWorkspaceTest::textKeepsItsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("rawText"); // as the editor holds it: blocks end in U+2029
    QTest::addColumn<bool>("validUtf8");
    const QString p(QChar::ParagraphSeparator);
    QTest::newRow("LF") << QByteArray("a\nb\n") << "a" + p + "b" + p << true;
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << "a" + p + "b" + p << true;
    QTest::newRow("lone CR") << QByteArray("a\rb") << "a" + p + "b" << true;
    QTest::newRow("no-break space")
        << QByteArray("x\xC2\xA0y") << QString::fromUtf8("x\xC2\xA0y") << true;
    QTest::newRow("NUL") << QByteArray("before\0after\n", 13)
                         << QString::fromLatin1("before\0after", 12) + p << true;
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFItem {}") << "Item {}" << true;
    QTest::newRow("no final line feed") << QByteArray("a\nb") << "a" + p + "b" << true;
    QTest::newRow("Latin-1") << QByteArray("caf\xE9\n") << QString::fromUtf8("caf\xEF\xBF\xBD") + p
                             << false;
    QTest::newRow("cut sequence") << QByteArray("ab\xE2\x82") << "ab" + QString(QChar(0xFFFD))
                                  << false;
}

void DeveloperWorkspaceTest::textKeepsItsBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, rawText);
    QFETCH(bool, validUtf8);
    TextFormat format;
    QString text = decodeProjectText(bytes, format);
    QCOMPARE(format.validUtf8, validUtf8);
    text.replace("\r\n", QString(QChar::ParagraphSeparator));
    text.replace(QLatin1Char('\r'), QChar::ParagraphSeparator);
    text.replace(QLatin1Char('\n'), QChar::ParagraphSeparator);
    QCOMPARE(text, rawText);
    if (validUtf8)
        QCOMPARE(encodeProjectText(rawText, format), bytes);
}

void DeveloperWorkspaceTest::linkedSourceFilesAreCounted()
{
    QString error;
    QVERIFY(createProject("demo", ProjectType::Application, error));
    const QString src = sourcePath("demo");
    QTemporaryDir outside;
    QVERIFY(writeFile(outside.filePath("shared.qml"), "Item {}"));
    QVERIFY(QFile::link(outside.filePath("shared.qml"), src + "/shared.qml"));
    QVERIFY(QFile::link(outside.filePath("gone.qml"), src + "/gone.qml"));
    QVERIFY(QFile::link(outside.path(), src + "/folder"));
    QCOMPARE(linkedSourceFiles("demo"), 2);
    QCOMPARE(sourceFiles("demo"), (QStringList {"app.qml", "icon.png", "version"}));
}

// The open file is known by what it is, not by how its name is spelled: where case does not
// count, "App.qml" is the open "app.qml". A hard link stands in for such a second spelling.
void DeveloperWorkspaceTest::sameFileByIdentity()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("app.qml"), "Item {}"));
    QVERIFY(writeFile(dir.filePath("other.qml"), "Item {}"));
    QCOMPARE(::link(QFile::encodeName(dir.filePath("app.qml")).constData(),
                    QFile::encodeName(dir.filePath("App.qml")).constData()),
             0);
    QVERIFY(isSameFile(dir.filePath("App.qml"), dir.filePath("app.qml")));
    QVERIFY(isSameFile(dir.filePath("./app.qml"), dir.filePath("app.qml")));
    QVERIFY(!isSameFile(dir.filePath("other.qml"), dir.filePath("app.qml")));
    QVERIFY(!isSameFile(dir.filePath("gone.qml"), dir.filePath("gone.qml")));
}

QTEST_MAIN(DeveloperWorkspaceTest)
#include "tst_developerworkspace.moc"
