#include "DeveloperWorkspace.h"
#include "RadioText.h"
#include "SaveFileCommit.h"
#include "TarWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextCodec>

#include <algorithm>

namespace DeveloperWorkspace {

namespace {

class Texts
{
    Q_DECLARE_TR_FUNCTIONS(DeveloperWidget)
};

const QString forbidden_name_chars = QStringLiteral("/\\:*?\"<>|");
const QStringList reserved_file_names = {QStringLiteral("app.qml"), QStringLiteral("icon.png"),
                                         QStringLiteral("version"), QStringLiteral("screen.qml")};
const QStringList image_name_filters
    = {QStringLiteral("*.png"), QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")};

// A picture larger than this is no project image; reading it whole would only cost memory.
constexpr qint64 MaxPictureBytes = 64 * 1024 * 1024;

// Characters drawn like a slash or backslash: "a\u2215b" shows as a path but is one name.
bool looksLikeSlash(uint c)
{
    switch (c) {
    case 0x2044: // fraction slash
    case 0x2215: // division slash
    case 0x2216: // set minus
    case 0x2571: // box drawings light diagonal upper right to lower left
    case 0x2572:
    case 0x29F5: // reverse solidus operator
    case 0x29F8: // big solidus
    case 0x29F9: // big reverse solidus
    case 0xFE68: // small reverse solidus
    case 0xFF0F: // fullwidth solidus
    case 0xFF3C: // fullwidth reverse solidus
    case 0x1735: // Philippine single punctuation
        return true;
    default:
        return false;
    }
}

// Controls (a NUL cuts a name short where the system reads it), format characters (a
// zero-width space or a right-to-left override makes one name look like another), line and
// paragraph separators, look-alike slashes, and lone surrogates (they cannot become a file
// name).
bool hasUnsafeCodePoint(const QString &name)
{
    for (int i = 0; i < name.size(); ++i) {
        uint c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            return true;
        }
        if (RadioText::actsOnText(c) || looksLikeSlash(c))
            return true;
    }
    return false;
}

void sortByCodeUnit(QStringList &names)
{
    std::sort(names.begin(), names.end());
}

QStringList regularFiles(const QString &folder, const QStringList &nameFilters)
{
    // Hidden files are left out by default; name filters ignore case by default.
    QStringList names = QDir(folder).entryList(nameFilters, QDir::Files | QDir::NoSymLinks);
    sortByCodeUnit(names);
    return names;
}

bool isRegularFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

// Writes a byte copy of source over target through the one safe write (a failed copy leaves
// the old target whole).
bool copyOver(const QString &source, const QString &target)
{
    QFile in(source);
    const bool opened = source.startsWith(QLatin1Char(':')) ? in.open(QIODevice::ReadOnly)
                                                            : openRegularFile(source, in);
    if (!opened)
        return false;
    SafeFileWriter out(target, SafeFileWriter::NewFileMode::Mode0644);
    if (!out.open())
        return false;
    QByteArray buffer(64 * 1024, '\0');
    for (;;) {
        const qint64 got = in.read(buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (!out.write(buffer.constData(), got))
            return false;
    }
    return out.commit();
}

} // namespace

bool hasUnsafeCharacter(const QString &name)
{
    if (name.startsWith(QLatin1Char('.')) || hasUnsafeCodePoint(name))
        return true;
    for (const QChar c : name) {
        if (forbidden_name_chars.contains(c))
            return true;
    }
    return false;
}

bool entryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool writeProjectFile(const QString &path, const QByteArray &bytes, QString *error)
{
    return SafeFileWriter::writeFile(path, bytes, error, SafeFileWriter::NewFileMode::Mode0644);
}

bool readProjectFile(const QString &path, qint64 maxBytes, QByteArray &bytes, QString *error)
{
    return readRegularFile(path, maxBytes, bytes, error);
}

QPixmap loadPicture(const QString &path)
{
    QPixmap pixmap;
    QByteArray bytes;
    if (readRegularFile(path, MaxPictureBytes, bytes) && bytes.size() <= MaxPictureBytes)
        pixmap.loadFromData(bytes);
    return pixmap;
}

QImage readPicture(const QString &path)
{
    QByteArray bytes;
    if (!readRegularFile(path, MaxPictureBytes, bytes) || bytes.size() > MaxPictureBytes)
        return QImage();
    return QImage::fromData(bytes);
}

QString decodeProjectText(const QByteArray &bytes, TextFormat &format)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    format = TextFormat();
    format.byteOrderMark = bytes.startsWith(bom);
    const int start = format.byteOrderMark ? bom.size() : 0;
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QString text = QTextCodec::codecForMib(106)->toUnicode(bytes.constData() + start,
                                                           bytes.size() - start, &state);
    format.validUtf8 = state.invalidChars == 0 && state.remainingChars == 0;
    // A sequence cut short at the end is held back by the decoder: show it too.
    if (state.remainingChars > 0)
        text += QChar(QChar::ReplacementCharacter);
    int crlf = 0;
    int cr = 0;
    int lf = 0;
    for (int i = start; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\r') {
            if (i + 1 < bytes.size() && bytes.at(i + 1) == '\n') {
                ++crlf;
                ++i;
            } else {
                ++cr;
            }
        } else if (bytes.at(i) == '\n') {
            ++lf;
        }
    }
    if (crlf > 0 && crlf >= lf && crlf >= cr)
        format.ending = LineEnding::CrLf;
    else if (cr > lf)
        format.ending = LineEnding::Cr;
    return text;
}

QByteArray encodeProjectText(const QString &rawText, const TextFormat &format)
{
    const QString ending = format.ending == LineEnding::CrLf ? QStringLiteral("\r\n")
        : format.ending == LineEnding::Cr                    ? QStringLiteral("\r")
                                                             : QStringLiteral("\n");
    QString text = rawText;
    text.replace(QChar::ParagraphSeparator, ending);
    const QByteArray bytes = text.toUtf8();
    return format.byteOrderMark ? QByteArray("\xEF\xBB\xBF") + bytes : bytes;
}

QString developerRootPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
        + QStringLiteral("/Kelo Developer");
}

QString projectPath(const QString &name)
{
    return developerRootPath() + QLatin1Char('/') + name;
}

QString sourcePath(const QString &name)
{
    return projectPath(name) + QStringLiteral("/src");
}

QString outputPath(const QString &name)
{
    return projectPath(name) + QStringLiteral("/output");
}

QStringList listProjects()
{
    QStringList names = QDir(developerRootPath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    sortByCodeUnit(names);
    return names;
}

ProjectType projectTypeForName(const QString &name)
{
    return entryExists(sourcePath(name) + QStringLiteral("/screen.qml")) ? ProjectType::HomeScreen
                                                                         : ProjectType::Application;
}

QString projectTypeIconPath(ProjectType type)
{
    return type == ProjectType::HomeScreen ? QStringLiteral(":/icons/icon-project-home.svg")
                                           : QStringLiteral(":/icons/icon-project-app.svg");
}

QIcon projectTypeIcon(ProjectType type)
{
    return QIcon(projectTypeIconPath(type));
}

bool checkProjectName(const QString &name, QString &error)
{
    if (name.isEmpty() || name.size() > 16) {
        error = Texts::tr("Project names must be 1-16 characters.");
        return false;
    }
    if (hasUnsafeCharacter(name)) {
        error = Texts::tr("The name contains characters that aren't allowed in a folder name.");
        return false;
    }
    return true;
}

bool createProject(const QString &name, ProjectType type, QString &error)
{
    if (!checkProjectName(name, error))
        return false;
    QDir().mkpath(developerRootPath());
    if (QFileInfo(projectPath(name)).isDir()) {
        error = Texts::tr("A project named \"%1\" already exists. Please pick another name.")
                    .arg(name);
        return false;
    }
    if (!QDir().mkpath(sourcePath(name)) || !QDir().mkpath(outputPath(name))) {
        error = Texts::tr("Failed to create the project directories.");
        return false;
    }
    const QStringList templates = type == ProjectType::HomeScreen
        ? QStringList {QStringLiteral("screen.qml")}
        : QStringList {QStringLiteral("app.qml"), QStringLiteral("icon.png"),
                       QStringLiteral("version")};
    for (const QString &file : templates) {
        if (!copyOver(QStringLiteral(":/dev/") + file,
                      sourcePath(name) + QLatin1Char('/') + file)) {
            error = Texts::tr("Failed to copy the project template files.");
            return false;
        }
    }
    return true;
}

bool isProjectImageFile(const QString &name)
{
    if (name.compare(QLatin1String("icon.png"), Qt::CaseInsensitive) == 0)
        return false;
    const QString lower = name.toLower();
    return lower.endsWith(QLatin1String(".png")) || lower.endsWith(QLatin1String(".jpg"))
        || lower.endsWith(QLatin1String(".jpeg"));
}

bool fitsPackageEntry(const QString &project, const QString &name)
{
    // The root folder is "base" for a Home Screen, the project's name otherwise, and a project
    // changes type as screen.qml comes and goes: the longer one must fit.
    const int root = qMax(project.toUtf8().size(), 4);
    return root + 1 + name.toUtf8().size() <= MaxPackageEntryBytes;
}

QString packageEntryTooLongText()
{
    return Texts::tr("The name is too long: in the app package, the project folder and the file "
                     "name together may take at most %1 bytes.")
        .arg(MaxPackageEntryBytes);
}

bool isValidProjectFilename(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1String("..")) && !hasUnsafeCharacter(name);
}

bool isReservedFileName(const QString &name)
{
    return reserved_file_names.contains(name);
}

QStringList sourceFiles(const QString &project)
{
    return regularFiles(sourcePath(project), {});
}

int linkedSourceFiles(const QString &project)
{
    // Hidden entries are left out, as from the package; dangling links count too.
    const QFileInfoList entries
        = QDir(sourcePath(project))
              .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return int(std::count_if(entries.cbegin(), entries.cend(), [](const QFileInfo &entry) {
        return entry.isSymLink() && !entry.isDir();
    }));
}

QVector<ProjectFile> listProjectFiles(const QString &project)
{
    const QString src = sourcePath(project);
    QVector<ProjectFile> files;
    for (const QString &name : regularFiles(src, {QStringLiteral("*.qml")}))
        files.append({name, FileKind::Qml});
    for (const QString &name : regularFiles(src, image_name_filters)) {
        if (isProjectImageFile(name))
            files.append({name, FileKind::Image});
    }
    if (isRegularFile(src + QStringLiteral("/icon.png")))
        files.append({QStringLiteral("icon.png"), FileKind::Icon});
    if (isRegularFile(src + QStringLiteral("/version")))
        files.append({QStringLiteral("version"), FileKind::Version});
    return files;
}

QString fileEntryText(const QString &name, bool modified)
{
    return modified ? name + QStringLiteral(" *") : name;
}

QString fileKindIconPath(FileKind kind)
{
    return kind == FileKind::Version ? QStringLiteral(":/icons/icon-version.svg")
                                     : QStringLiteral(":/icons/icon-file-qml.svg");
}

QIcon imageThumbnail(const QString &path)
{
    const QPixmap pixmap = loadPicture(path);
    if (!pixmap.isNull())
        return QIcon(pixmap);
    return QIcon(fileKindIconPath(FileKind::Qml));
}

bool createQmlFile(const QString &project, const QString &typedName, QString &fileName,
                   QString &error)
{
    QString name = typedName.trimmed();
    if (name.isEmpty()) {
        error = Texts::tr("Please enter a file name.");
        return false;
    }
    if (hasUnsafeCharacter(name)) {
        error = Texts::tr("The name contains characters that aren't allowed in a file name.");
        return false;
    }
    if (!name.endsWith(QLatin1String(".qml"), Qt::CaseInsensitive))
        name += QStringLiteral(".qml");
    if (!fitsPackageEntry(project, name)) {
        error = packageEntryTooLongText();
        return false;
    }
    const QString path = sourcePath(project) + QLatin1Char('/') + name;
    if (entryExists(path)) {
        error
            = Texts::tr("A file named \"%1\" already exists. Please pick another name.").arg(name);
        return false;
    }
    QFile file(path);
    // NewOnly: never truncate a file that appeared since the check, nor follow a symlink.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        error = Texts::tr("Failed to create the file.");
        return false;
    }
    file.close();
    fileName = name;
    return true;
}

bool addImageFile(const QString &project, const QString &sourceFile, QString &fileName,
                  QString &error)
{
    const QString name = QFileInfo(sourceFile).fileName();
    if (!isProjectImageFile(name)) {
        error = Texts::tr("Only PNG and JPG images are supported.");
        return false;
    }
    if (readPicture(sourceFile).isNull()) {
        error = Texts::tr("Cannot load image: %1").arg(sourceFile);
        return false;
    }
    const QString target = sourcePath(project) + QLatin1Char('/') + name;
    if (entryExists(target)) {
        error = Texts::tr("A file named \"%1\" already exists. Please rename the image before "
                          "adding it.")
                    .arg(name);
        return false;
    }
    if (!copyOver(sourceFile, target)) {
        error = Texts::tr("Failed to copy the image into the project.");
        return false;
    }
    fileName = name;
    return true;
}

bool deleteProjectFile(const QString &project, const QString &name)
{
    return QFile::remove(sourcePath(project) + QLatin1Char('/') + name);
}

bool checkIconFile(const QString &path, QString &error)
{
    const QImage image = readPicture(path);
    if (image.isNull()) {
        error = Texts::tr("Cannot load image: %1").arg(path);
        return false;
    }
    if (image.size() != QSize(64, 64)) {
        error = Texts::tr("The icon must be exactly 64x64 pixels. Selected image is %1x%2.")
                    .arg(image.width())
                    .arg(image.height());
        return false;
    }
    return true;
}

bool replaceProjectIcon(const QString &project, const QString &source, QString &error)
{
    // Reading the whole source before the rename also makes "the icon over itself" safe.
    if (!copyOver(source, sourcePath(project) + QStringLiteral("/icon.png"))) {
        error = Texts::tr("Failed to copy the icon into the project.");
        return false;
    }
    return true;
}

bool parseVersionString(const QString &text, int &major, int &minor, int &patch, QString &error)
{
    // \z, not $: "$" would also match before a final line feed.
    static const QRegularExpression partPattern(QStringLiteral("\\A[0-9]{1,3}\\z"));
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3) {
        error = Texts::tr("Version must have exactly 3 numbers separated by dots, e.g. 1.0.0.");
        return false;
    }
    int *outputs[3] = {&major, &minor, &patch};
    for (int i = 0; i < 3; ++i) {
        if (!partPattern.match(parts.at(i)).hasMatch()) {
            error = Texts::tr("Each part must be a number (no letters or other characters).");
            return false;
        }
        const int value = parts.at(i).toInt();
        if (value > 255) {
            error = Texts::tr("Each number must be in the range 0-255 (\"%1\" is too big).")
                        .arg(parts.at(i));
            return false;
        }
        *outputs[i] = value;
    }
    return true;
}

QString formatVersion(int major, int minor, int patch)
{
    return QStringLiteral("%1 %2 %3").arg(major).arg(minor).arg(patch);
}

QString versionForDisplay(const QByteArray &fileBytes)
{
    return QString::fromUtf8(fileBytes).simplified().replace(QLatin1Char(' '), QLatin1Char('.'));
}

QString readVersionForDisplay(const QString &project)
{
    // Far more than any version text; a version file is never read whole when it is not one.
    constexpr qint64 MaxVersionBytes = 4096;
    QByteArray bytes;
    if (!readRegularFile(sourcePath(project) + QStringLiteral("/version"), MaxVersionBytes, bytes))
        return QString();
    return versionForDisplay(bytes.left(MaxVersionBytes));
}

bool saveVersion(const QString &project, const QString &dottedText, QString &error)
{
    int major = 0;
    int minor = 0;
    int patch = 0;
    if (!parseVersionString(dottedText, major, minor, patch, error))
        return false;
    if (!writeProjectFile(sourcePath(project) + QStringLiteral("/version"),
                          formatVersion(major, minor, patch).toUtf8())) {
        error = Texts::tr("Failed to write the version file.");
        return false;
    }
    return true;
}

bool packageProjectFiles(const QString &project, ProjectType type, const QString &outputFile,
                         QString &error)
{
    const QString src = sourcePath(project);
    QStringList files;
    for (const QString &name : sourceFiles(project))
        files.append(src + QLatin1Char('/') + name);
    if (files.isEmpty()) {
        error = Texts::tr("Nothing to package - src/ is empty.");
        return false;
    }
    const QString root = type == ProjectType::HomeScreen ? QStringLiteral("base") : project;
    return TarWriter::writeTar(outputFile, files, error, root);
}

} // namespace DeveloperWorkspace
