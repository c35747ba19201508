#include "DeveloperToolBackend.h"

#include "AiToolRules.h"
#include "AssistantToolNames.h"
#include "DeveloperDocs.h"
#include "RadioApi.h"
#include "RadioPicture.h"
#include "RadioReply.h"
#include "RadioScanner.h"
#include "SaveFileCommit.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QNetworkReply>
#include <QPainter>
#include <QSvgRenderer>

namespace {

using ProjectType = DeveloperWorkspace::ProjectType;

// The most of the terminal's text one read_debug_log answer holds, in UTF-8 bytes.
constexpr int DebugLogAnswerBytes = 64 * 1024;
// The largest file read_file answers, in bytes. The answer stays in the conversation and goes
// out with every later request; far past any QML file written by hand.
constexpr qint64 ReadFileMaxBytes = 256 * 1024;

// The answers were the tab's own texts: they keep its translations.
QString trTab(const char *text)
{
    return QCoreApplication::translate("DeveloperWidget", text);
}

// A name the model gave, as an answer repeats it: the model may send any length, and each
// answer goes out again with every later request.
QString echoed(const QString &input)
{
    return AiToolRules::cut(input, 200);
}

QString noProjectAnswer()
{
    return trTab("No project is open - ask the user to create or select one from the Projects list "
                 "first.");
}

// The project's folder or src/ is a link to a folder elsewhere: the tools would read and
// write files outside the workspace.
QString linkedOutAnswer(const QString &project)
{
    return trTab("Project \"%1\" keeps its files in a folder outside the Kelo Developer folder, "
                 "reached through a link - the assistant can't read or write them.")
        .arg(project);
}

} // namespace

DeveloperToolBackend::DeveloperToolBackend(DeveloperToolHost *toolHost, RadioScanner *radioScanner,
                                           QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent)
    , host(toolHost)
    , scanner(radioScanner)
    , networkManager(manager)
{
}

void DeveloperToolBackend::call(const QString &toolName, const QJsonObject &input,
                                const Answer &answer)
{
    using AiToolRules::stringInput;
    using AssistantToolNames::Tool;
    // A file's, a page's or the terminal's own text goes as it is; every other answer names
    // files relative to the project.
    const auto answerAsIs = [&answer](const QString &text) {
        answer(text, QByteArray());
    };
    // The project open once the tool is done: create_project opens another.
    const auto answerRelative = [this, &answer](const QString &text) {
        answer(AiToolRules::withoutAbsolutePaths(text, host->toolProject()), QByteArray());
    };
    switch (AssistantToolNames::toolNamed(toolName)) {
    case Tool::ListFiles:
        answerRelative(listFiles());
        break;
    case Tool::ReadFile:
        answerAsIs(readFile(stringInput(input, QStringLiteral("filename"))));
        break;
    case Tool::WriteFile: {
        const QJsonValue content = input.value(QStringLiteral("content"));
        answerRelative(writeFile(stringInput(input, QStringLiteral("filename")), content.toString(),
                                 content.isString()));
        break;
    }
    case Tool::WriteImage:
        answerRelative(writeImage(stringInput(input, QStringLiteral("filename")),
                                  stringInput(input, QStringLiteral("svg")),
                                  AiToolRules::sizeInput(input, QStringLiteral("width")),
                                  AiToolRules::sizeInput(input, QStringLiteral("height"))));
        break;
    case Tool::CheckRadio:
        answerRelative(checkRadio());
        break;
    case Tool::CreateProject:
        answerRelative(createProject(stringInput(input, QStringLiteral("name")),
                                     stringInput(input, QStringLiteral("type"))));
        break;
    case Tool::ReadDebugLog:
        answerAsIs(readDebugLog());
        break;
    case Tool::ReadDocs:
        answerAsIs(readDocs(stringInput(input, QStringLiteral("page"))));
        break;
    case Tool::RunProject:
        runProject(answer);
        break;
    case Tool::TakeScreenshot:
        takeScreenshot(answer);
        break;
    case Tool::Unknown:
        answerRelative(trTab("Unknown tool \"%1\".").arg(echoed(toolName)));
        break;
    }
}

// The open project when the tools may work in its folders; else empty, and refusal says why.
QString DeveloperToolBackend::ownProject(QString *refusal) const
{
    const QString project = host->toolProject();
    if (project.isEmpty())
        *refusal = noProjectAnswer();
    else if (!AiToolRules::projectFoldersAreOwn(project))
        *refusal = linkedOutAnswer(project);
    else
        return project;
    return QString();
}

QString DeveloperToolBackend::listFiles() const
{
    QString refusal;
    const QString project = ownProject(&refusal);
    if (project.isEmpty())
        return refusal;
    const QStringList names = DeveloperWorkspace::sourceFiles(project);
    const QString folder = DeveloperWorkspace::sourcePath(project) + QLatin1Char('/');
    const QString openPath = host->toolOpenFilePath();
    const QString openName = QFileInfo(openPath).fileName();
    QStringList lines;
    for (const QString &name : names) {
        // Known by identity, as a volume may ignore letter case; only a name that could be
        // the open file costs a look at the disk.
        const bool open = !openPath.isEmpty() && name.compare(openName, Qt::CaseInsensitive) == 0
            && isSameFile(folder + name, openPath);
        // The open file is named whatever its place in the list.
        if (lines.size() >= AiToolRules::MaxListedFiles && !open)
            continue;
        QString line = name;
        if (open)
            line += host->toolEditorModified() ? trTab(" (open in editor, unsaved changes)")
                                               : trTab(" (open in editor)");
        lines.append(line);
    }
    if (lines.isEmpty())
        return trTab("Project \"%1\" has no files.").arg(project);
    QString listing
        = trTab("Files in project \"%1\":\n").arg(project) + lines.join(QLatin1Char('\n'));
    if (names.size() > lines.size())
        listing += trTab("\n... and %1 more files, %2 in all.")
                       .arg(names.size() - lines.size())
                       .arg(names.size());
    return listing;
}

QString DeveloperToolBackend::readFile(const QString &filename) const
{
    QString refusal;
    const QString project = ownProject(&refusal);
    if (project.isEmpty())
        return refusal;
    const QString path = AiToolRules::projectFilePath(project, filename);
    if (path.isEmpty())
        return trTab("\"%1\" isn't a valid filename to read.").arg(echoed(filename));
    if (!DeveloperWorkspace::entryExists(path))
        return trTab("%1 doesn't exist in this project.").arg(echoed(filename));
    if (DeveloperWorkspace::isProjectImageFile(filename)
        || filename.compare(QLatin1String("icon.png"), Qt::CaseInsensitive) == 0)
        return trTab("%1 is a binary image file, not readable as text.").arg(echoed(filename));
    const auto tooLarge = [&filename](qint64 bytes) {
        return trTab("%1 is too large to read: %2 KiB, and a read holds at most %3 KiB.")
            .arg(echoed(filename))
            .arg((bytes + 1023) / 1024)
            .arg(ReadFileMaxBytes / 1024);
    };
    const QString openPath = host->toolOpenFilePath();
    if (!openPath.isEmpty() && isSameFile(path, openPath)) {
        const QString text = host->toolEditorText();
        const qint64 size = text.toUtf8().size();
        return size > ReadFileMaxBytes ? tooLarge(size) : text;
    }
    // Never more than one byte past the limit in memory, even if the file grows meanwhile; a
    // FIFO or device is refused before anything waits on it.
    QByteArray bytes;
    QString error;
    if (!DeveloperWorkspace::readProjectFile(path, ReadFileMaxBytes, bytes, &error))
        return trTab("Failed to read %1: %2").arg(echoed(filename), error);
    if (bytes.size() > ReadFileMaxBytes)
        return tooLarge(qMax(QFileInfo(path).size(), qint64(bytes.size())));
    bytes.replace("\r\n", "\n");
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

QString DeveloperToolBackend::writeFile(const QString &filename, const QString &content,
                                        bool contentGiven)
{
    QString refusal;
    const QString project = ownProject(&refusal);
    if (project.isEmpty())
        return refusal;
    const QString path = filename.endsWith(QLatin1String(".qml"), Qt::CaseInsensitive)
        ? AiToolRules::projectFilePath(project, filename)
        : QString();
    if (path.isEmpty())
        return trTab(
                   "\"%1\" isn't a valid file to write - only bare .qml filenames are allowed, no "
                   "paths.")
            .arg(echoed(filename));
    // Refused here, not when the project is packaged: every later run would fail on it.
    if (!DeveloperWorkspace::entryExists(path)
        && !DeveloperWorkspace::fitsPackageEntry(project, filename))
        return trTab("\"%1\" isn't a valid file to write - the name is too long for the app "
                     "package, where the project folder and the file name together take at most %2 "
                     "bytes of UTF-8. Use a shorter name.")
            .arg(echoed(filename))
            .arg(DeveloperWorkspace::MaxPackageEntryBytes);
    // Writing "" in its place would empty the user's file.
    if (!contentGiven)
        return trTab("%1 was not written: the input \"content\" is missing or not a string - pass "
                     "the file's complete new text as \"content\".")
            .arg(echoed(filename));
    const bool existed = DeveloperWorkspace::entryExists(path);
    QString error;
    const QByteArray bytes = content.toUtf8();
    if (!DeveloperWorkspace::writeProjectFile(path, bytes, &error))
        return trTab("Failed to write %1: %2").arg(echoed(filename), error);
    const QString done = existed ? trTab("Wrote %1.").arg(echoed(filename))
                                 : trTab("Created %1.").arg(echoed(filename));
    // The same file by identity: "App.qml" is the open "app.qml" where case does not count.
    const QString openPath = host->toolOpenFilePath();
    if (!openPath.isEmpty() && isSameFile(path, openPath))
        host->toolOpenFileWritten(content, bytes);
    else if (!existed)
        host->toolFileCreated(filename, false);
    return done;
}

QString DeveloperToolBackend::writeImage(const QString &filename, const QString &svg, int width,
                                         int height)
{
    QString refusal;
    const QString project = ownProject(&refusal);
    if (project.isEmpty())
        return refusal;
    const QString path = AiToolRules::projectFilePath(project, filename);
    if (path.isEmpty())
        return trTab("\"%1\" isn't a valid filename to write.").arg(echoed(filename));
    const QString lower = filename.toLower();
    const bool isIcon = lower == QLatin1String("icon.png");
    const bool isPng = lower.endsWith(QLatin1String(".png"));
    const bool isJpeg
        = lower.endsWith(QLatin1String(".jpg")) || lower.endsWith(QLatin1String(".jpeg"));
    if (!isIcon && !isPng && !isJpeg)
        return trTab(
                   "\"%1\" isn't a valid image to write - use a .png or .jpg filename, or exactly "
                   "\"icon.png\" for the project icon.")
            .arg(echoed(filename));
    if (!isIcon && !DeveloperWorkspace::entryExists(path)
        && !DeveloperWorkspace::fitsPackageEntry(project, filename))
        return trTab("\"%1\" isn't a valid image to write - the name is too long for the app "
                     "package, where the project folder and the file name together take at most %2 "
                     "bytes of UTF-8. Use a shorter name.")
            .arg(echoed(filename))
            .arg(DeveloperWorkspace::MaxPackageEntryBytes);
    const QSize size = isIcon
        ? QSize(64, 64)
        : QSize(AiToolRules::clampImageSide(width), AiToolRules::clampImageSide(height));

    const QByteArray svgBytes = svg.toUtf8();
    if (!AiToolRules::svgIsSelfContained(svgBytes))
        return trTab("That SVG refers to a picture outside itself - embed pictures as base64 data: "
                     "URLs of PNG or JPG images, or draw them with shapes.");
    QSvgRenderer renderer(svgBytes);
    if (!renderer.isValid())
        return trTab("That SVG couldn't be parsed - check it's well-formed.");
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    // A JPEG keeps no transparency: what is not drawn would turn black.
    image.fill(isPng ? Qt::transparent : Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(image.rect()));
    }
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    const bool savedToMemory = image.save(&buffer, isPng ? "PNG" : "JPEG");

    if (isIcon) {
        // The check is on the file written, src/icon.png, whatever the name's case.
        const QString iconPath = AiToolRules::projectFilePath(project, QStringLiteral("icon.png"));
        if (!savedToMemory)
            return trTab("Failed to render the icon.");
        const bool written
            = !iconPath.isEmpty() && DeveloperWorkspace::writeProjectFile(iconPath, encoded);
        host->toolIconWritten();
        if (!written)
            return trTab("Failed to write icon.png.");
        return trTab("Wrote icon.png (64x64).");
    }

    const bool existed = DeveloperWorkspace::entryExists(path);
    if (!savedToMemory || !DeveloperWorkspace::writeProjectFile(path, encoded))
        return trTab("Failed to write %1.").arg(echoed(filename));
    const QString sizeText = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    if (!existed) {
        host->toolFileCreated(filename, true);
        return trTab("Created %1 (%2).").arg(echoed(filename), sizeText);
    }
    host->toolImageReplaced(filename, image);
    return trTab("Wrote %1 (%2).").arg(echoed(filename), sizeText);
}

QString DeveloperToolBackend::checkRadio() const
{
    // The scanner's own values: the tab's copy lags while the scanner re-sweeps.
    if (scanner->ip.isEmpty())
        return trTab("No Kelo radio is currently connected.");
    // Whatever answers discovery is "the radio": its names may be a megabyte long.
    using AiToolRules::cut;
    const int most = AiToolRules::RadioTextChars;
    return trTab("Connected to a Kelo radio at %1 (network \"%2\", model \"%3\").")
        .arg(cut(scanner->ip, most), cut(scanner->networkName, most),
             cut(scanner->modelName, most));
}

QString DeveloperToolBackend::createProject(const QString &name, const QString &type)
{
    ProjectType projectType;
    if (type == QLatin1String("home_screen"))
        projectType = ProjectType::HomeScreen;
    else if (type == QLatin1String("application"))
        projectType = ProjectType::Application;
    else
        return trTab("Unknown project type \"%1\" - use \"application\" or \"home_screen\".")
            .arg(echoed(type));
    QString error;
    if (!DeveloperWorkspace::createProject(name, projectType, error))
        return error;
    // Listed either way; the refresh keeps the open project and its text.
    host->toolProjectCreated(name);
    // Opening it drops what is open. The user did not ask for the switch, so their unsaved
    // changes are saved first, as before a run; when that fails they stay open.
    const QString unsaved = host->toolSaveUnsavedWork();
    if (!unsaved.isEmpty())
        return trTab(
                   "Created project \"%1\", but didn't open it: the unsaved changes in %2 couldn't "
                   "be saved, and opening another project would drop them. Ask the user to save "
                   "or discard them, then to select \"%1\" in the Projects list.")
            .arg(name, unsaved);
    host->toolOpenProject(name);
    if (host->toolProject() != name)
        return trTab(
                   "Created project \"%1\", but it couldn't be opened - ask the user to select it "
                   "from the Projects list.")
            .arg(name);
    return trTab("Created and opened project \"%1\" (%2).")
        .arg(name,
             projectType == ProjectType::HomeScreen ? trTab("Home Screen") : trTab("Application"));
}

QString DeveloperToolBackend::readDebugLog()
{
    if (host->toolRadioAddress().isEmpty())
        return trTab(
            "No radio is currently connected - the Debug terminal has nothing to connect to.");
    bool wasOpen = false;
    // Only the newest lines: a copy of a full terminal would cost seconds and a gigabyte.
    const QString output = host->toolDebugLog(DebugLogAnswerBytes, &wasOpen);
    if (output.isEmpty())
        return wasOpen ? trTab("Debug terminal is connected but hasn't captured any messages yet.")
                       : trTab("Debug terminal just connected - it had nothing captured before "
                               "now. Run the project again and call read_debug_log once more to "
                               "see output from that run.");
    // Tool answers stay in the conversation and go out with every later request: a full
    // terminal each time would soon pass the service's size limit.
    bool cut = false;
    const QString tail = AiToolRules::textTail(output, DebugLogAnswerBytes, &cut);
    if (!cut)
        return output;
    return trTab("[Earlier output left out - these are the last %1 KiB of the Debug terminal.]\n")
               .arg(DebugLogAnswerBytes / 1024)
        + tail;
}

QString DeveloperToolBackend::readDocs(const QString &page) const
{
    const QMap<QString, QString> &pages = DeveloperDocs::docsPageMap();
    const auto found = pages.constFind(page);
    if (found == pages.constEnd())
        return trTab("Unknown docs page \"%1\" - use one of: %2.")
            .arg(echoed(page), pages.keys().join(QStringLiteral(", ")));
    QFile file(found.value());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return trTab("Failed to open the \"%1\" docs page.").arg(echoed(page));
    return DeveloperDocs::mainText(QString::fromUtf8(file.readAll()));
}

void DeveloperToolBackend::runProject(const Answer &answer)
{
    host->toolRunProject([answer, project = host->toolProject()](const QString &message) {
        answer(AiToolRules::withoutAbsolutePaths(message, project), QByteArray());
    });
}

void DeveloperToolBackend::takeScreenshot(const Answer &answer)
{
    const QString address = host->toolRadioAddress();
    if (address.isEmpty()) {
        answer(trTab("No radio is currently connected."), QByteArray());
        return;
    }
    QNetworkRequest request
        = RadioApi::request(address, RadioApi::screenshotPath(QDateTime::currentMSecsSinceEpoch()),
                            RadioApi::CommandTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = RadioApi::get(networkManager, request, RadioReply::Kind::Picture);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, answer]() { onScreenshotReplyFinished(reply, answer); });
}

void DeveloperToolBackend::onScreenshotReplyFinished(QNetworkReply *reply, const Answer &answer)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        answer(trTab("Failed to capture screenshot: %1").arg(AiToolRules::radioErrorText(reply)),
               QByteArray());
        return;
    }
    const QByteArray body = reply->readAll();
    // The bytes go to the service as a PNG and stay in the conversation: anything else would
    // make every later request fail.
    if (!AiToolRules::hasPngSignature(body)) {
        answer(trTab("Failed to capture screenshot: the radio's answer is not a PNG image."),
               QByteArray());
        return;
    }
    if (!AiToolRules::isWholePngWithin(body,
                                       RadioPicture::maxPixels(RadioPicture::Use::Screenshot))) {
        answer(trTab("Failed to capture screenshot: the radio's picture is damaged or too large."),
               QByteArray());
        return;
    }
    answer(trTab("Screenshot captured."), body);
}
