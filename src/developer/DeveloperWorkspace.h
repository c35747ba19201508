#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QVector>

class QImage;
class QPixmap;

// The developer workspace on disk, without any widget: the folder "Kelo Developer" in
// Documents, one folder per project with src/ (the app) and output/ (packages).
// DeveloperWidget's workspace members are thin calls into these functions; the assistant's
// tools use the same rules. Every user-facing text is translated in the "DeveloperWidget"
// context. Every file written or copied into src/ is written beside its target under a temporary
// name and renamed over it only when complete; an existing file keeps its mode, a new one is
// 0644.
namespace DeveloperWorkspace {

// Re-exported as DeveloperWidget::ProjectType. Never stored: a project is a Home Screen
// exactly when its src/ folder holds "screen.qml".
enum class ProjectType { Application = 0, HomeScreen = 1 };

// One entry of the Project Files list, in listing order.
enum class FileKind { Qml, Image, Icon, Version };
struct ProjectFile
{
    QString name; // the bare file name, also the entry's stored name (Qt::UserRole)
    FileKind kind;
};

// Documents + "/Kelo Developer". Not created here.
QString developerRootPath();
// root/name, root/name/src and root/name/output.
QString projectPath(const QString &name);
QString sourcePath(const QString &name);
QString outputPath(const QString &name);

// Project folders of the root (no hidden ones), sorted by UTF-16 code unit; empty when the
// root does not exist.
QStringList listProjects();
ProjectType projectTypeForName(const QString &name);
// ":/icons/icon-project-home.svg" for a Home Screen, ":/icons/icon-project-app.svg" otherwise.
QString projectTypeIconPath(ProjectType type);
QIcon projectTypeIcon(ProjectType type);

// The rules a project name must meet: 1-16 UTF-16 units; none of / \ : * ? " < > |, no
// control character, no leading ".". Only for names made here: a folder made by hand packages.
bool checkProjectName(const QString &name, QString &error);
// Checks the name, creates root/name/src and root/name/output and copies the templates of
// the type. On false, error holds the reason for the user. The name is used as given.
bool createProject(const QString &name, ProjectType type, QString &error);

// True for *.png, *.jpg, *.jpeg (any case), except "icon.png" in any case.
bool isProjectImageFile(const QString &name);
// What project and file names made in the tab may not hold: a leading "." (a hidden entry is
// never listed again), any of / \ : * ? " < > |, a control character (a NUL cuts a name short
// where the system reads it), a format character (category Cf: a zero-width space or a
// right-to-left override makes one name look like another), a line or paragraph separator, a
// character drawn like a slash (U+2215 and its kin), or a lone surrogate (it cannot become a
// file name). The assistant's tools and the tab's dialogs share this one rule.
bool hasUnsafeCharacter(const QString &name);
// The assistant's file-name check: the tab's own rule, and not empty and no "..".
bool isValidProjectFilename(const QString &name);
// A package entry's name is "<root folder>/<file name>" in a 100-byte field.
inline constexpr int MaxPackageEntryBytes = 100;
// True when the file's entry fits in any package of the project (root folder "base" or the
// project's name, whichever is longer): checked when a file is made, so packaging never
// fails on a name the program accepted.
bool fitsPackageEntry(const QString &project, const QString &name);
// The refusal of a name that does not fit; it names no path.
QString packageEntryTooLongText();
// True when an entry of that name exists, a dangling symlink included.
bool entryExists(const QString &path);
// "app.qml", "icon.png", "version", "screen.qml": never deletable from the tab (exact case).
bool isReservedFileName(const QString &name);

// Every file the program writes into a project goes through SafeFileWriter (SaveFileCommit.h):
// never through a link, written beside its target and renamed over it only when complete and
// synced (a full disk leaves the old file whole), keeping the target's mode; a new file is
// 0644 whatever the umask (the radio's tools read it). On false, error holds the reason.
bool writeProjectFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);
// At most maxBytes + 1 bytes of a regular file; a link, FIFO, device or socket is refused
// without waiting on it.
bool readProjectFile(const QString &path, qint64 maxBytes, QByteArray &bytes,
                     QString *error = nullptr);
// A picture file read the same way; null when it is none or does not load.
QPixmap loadPicture(const QString &path);
QImage readPicture(const QString &path);

// How a text file's bytes were laid out, so that an edited save writes them the same way.
enum class LineEnding { Lf, CrLf, Cr };
struct TextFormat
{
    LineEnding ending = LineEnding::Lf;
    bool byteOrderMark = false;
    // False when some bytes are no UTF-8: they are shown as U+FFFD, so only an edit the user
    // makes may write the file again.
    bool validUtf8 = true;
};
// A file's bytes as the editor's text, all of them (NUL bytes too); format says how they
// were laid out (the line ending most lines use).
QString decodeProjectText(const QByteArray &bytes, TextFormat &format);
// The editor's raw text (QTextDocument::toRawText: blocks end in U+2029, no-break spaces
// kept) as the file's bytes, with the file's own line ending and byte order mark.
QByteArray encodeProjectText(const QString &rawText, const TextFormat &format);

// Regular files directly in src/ (no hidden files, sub-folders or symlinks), sorted by
// UTF-16 code unit: exactly what a package holds, in its order. A save's temporary file is
// hidden, so it is never among them.
QStringList sourceFiles(const QString &project);
// How many entries directly in src/ (not hidden) are links: never followed, so left out of
// the list and the package, which the user is told.
int linkedSourceFiles(const QString &project);
// The Project Files list: QML files, then images, then "icon.png", then "version"; each
// group sorted by UTF-16 code unit, symlinks left out like in packages.
QVector<ProjectFile> listProjectFiles(const QString &project);
// The entry's displayed text: the name, plus " *" while it has unsaved changes.
QString fileEntryText(const QString &name, bool modified);
// The list icon of a kind that has a fixed one: ":/icons/icon-file-qml.svg" or
// ":/icons/icon-version.svg" (images and the project icon show their thumbnails).
QString fileKindIconPath(FileKind kind);
// The picture as an icon, or the QML file icon when it does not load.
QIcon imageThumbnail(const QString &path);

// New QML File after the dialog: trims the typed name, checks it, appends ".qml" unless it
// ends so (any case) and creates the empty file. On success fileName is the final name.
bool createQmlFile(const QString &project, const QString &typedName, QString &fileName,
                   QString &error);
// Add Image after the file dialog: copies the picture into src/ under its own name.
bool addImageFile(const QString &project, const QString &sourceFile, QString &fileName,
                  QString &error);
// Removes src/name. False when it could not be removed.
bool deleteProjectFile(const QString &project, const QString &name);

// Upload New Icon: the chosen file must load and be exactly 64x64.
bool checkIconFile(const QString &path, QString &error);
// The file step of replaceProjectIcon: src/icon.png becomes a byte copy of source (a file
// or a resource such as ":/dev/icon.png"). The old icon stays whole when the copy fails,
// and when source is the icon itself.
bool replaceProjectIcon(const QString &project, const QString &source, QString &error);

// "1.2.3" -> 1, 2, 3. Exactly three dot-separated parts of 1-3 digits, each at most 255.
bool parseVersionString(const QString &text, int &major, int &minor, int &patch, QString &error);
// The version file's text: "%1 %2 %3", no line feed.
QString formatVersion(int major, int minor, int patch);
// The version file's bytes as shown for editing: white space simplified, spaces -> dots.
QString versionForDisplay(const QByteArray &fileBytes);
// src/version as shown for editing; empty when it cannot be read.
QString readVersionForDisplay(const QString &project);
// Save Version: parses the dotted text and writes src/version.
bool saveVersion(const QString &project, const QString &dottedText, QString &error);

// Packages src/ of the project into outputFile (see TarWriter): root folder "base" for a
// Home Screen, the project name otherwise. Links in src/ are left out (linkedSourceFiles).
bool packageProjectFiles(const QString &project, ProjectType type, const QString &outputFile,
                         QString &error);

} // namespace DeveloperWorkspace
