// The assistant's tool calls, carried out on the open project, the radio and the tab. Every
// call is answered exactly once through handleToolResult, or the assistant's turn would hang.
// What needs no widget (input reading, name and drawing checks) is in AiToolRules.
#include "DeveloperWidget.h"

#include "AiAssistantWidget.h"
#include "AiToolRules.h"
#include "AspectImageLabel.h"
#include "DebugWindow.h"
#include "DeveloperDocs.h"
#include "QmlCodeEditor.h"
#include "RadioApi.h"
#include "RadioPicture.h"
#include "RadioReply.h"
#include "RadioScanner.h"
#include "SaveFileCommit.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkReply>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSvgRenderer>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

namespace {

// The most of the terminal's text one read_debug_log answer holds, in UTF-8 bytes.
constexpr int DebugLogAnswerBytes = 64 * 1024;
// The largest file read_file answers, in bytes. The answer stays in the conversation and goes
// out with every later request; far past any QML file written by hand.
constexpr qint64 ReadFileMaxBytes = 256 * 1024;

// A name the model gave, as an answer repeats it: the model may send any length, and each
// answer goes out again with every later request.
QString echoed(const QString &input)
{
    return AiToolRules::cut(input, 200);
}

QString storedName(const QListWidgetItem *item)
{
    return item ? item->data(Qt::UserRole).toString() : QString();
}

QString noProjectAnswer()
{
    return DeveloperWidget::tr("No project is open - ask the user to create or select one from "
                               "the Projects list first.");
}

// The project's folder or src/ is a link to a folder elsewhere: the tools would read and
// write files outside the workspace.
QString linkedOutAnswer(const QString &project)
{
    return DeveloperWidget::tr("Project \"%1\" keeps its files in a folder outside the Kelo "
                               "Developer folder, reached through a link - the assistant can't "
                               "read or write them.")
        .arg(project);
}

} // namespace

void DeveloperWidget::onAiToolCallRequested(const QString &toolUseId, const QString &toolName,
                                            const QJsonObject &input)
{
    using AiToolRules::stringInput;
    // A file's, a page's or the terminal's own text goes as it is; every other answer names
    // files relative to the project.
    const auto answerAsIs = [this, &toolUseId](const QString &text) {
        aiPanel->handleToolResult(toolUseId, text, QByteArray());
    };
    const auto answer = [this, &toolUseId](const QString &text) {
        aiPanel->handleToolResult(
            toolUseId, AiToolRules::withoutAbsolutePaths(text, currentProject), QByteArray());
    };
    if (toolName == QLatin1String("list_files")) {
        answer(aiListFiles());
    } else if (toolName == QLatin1String("read_file")) {
        answerAsIs(aiReadFile(stringInput(input, QStringLiteral("filename"))));
    } else if (toolName == QLatin1String("write_file")) {
        const QJsonValue content = input.value(QStringLiteral("content"));
        answer(aiWriteFile(stringInput(input, QStringLiteral("filename")), content.toString(),
                           content.isString()));
    } else if (toolName == QLatin1String("write_image")) {
        answer(aiWriteImage(stringInput(input, QStringLiteral("filename")),
                            stringInput(input, QStringLiteral("svg")),
                            AiToolRules::sizeInput(input, QStringLiteral("width")),
                            AiToolRules::sizeInput(input, QStringLiteral("height"))));
    } else if (toolName == QLatin1String("check_radio")) {
        answer(aiCheckRadio());
    } else if (toolName == QLatin1String("create_project")) {
        answer(aiCreateProject(stringInput(input, QStringLiteral("name")),
                               stringInput(input, QStringLiteral("type"))));
    } else if (toolName == QLatin1String("read_debug_log")) {
        answerAsIs(aiReadDebugLog());
    } else if (toolName == QLatin1String("read_docs")) {
        answerAsIs(aiReadDocs(stringInput(input, QStringLiteral("page"))));
    } else if (toolName == QLatin1String("run_project")) {
        runProject([this, toolUseId, project = currentProject](bool, const QString &message) {
            // As after Play, the status line tells how the run ended.
            statusLabel->setText(message);
            aiPanel->handleToolResult(
                toolUseId, AiToolRules::withoutAbsolutePaths(message, project), QByteArray());
        });
    } else if (toolName == QLatin1String("take_screenshot")) {
        aiTakeScreenshot(toolUseId);
    } else {
        answer(tr("Unknown tool \"%1\".").arg(echoed(toolName)));
    }
}

QString DeveloperWidget::aiListFiles() const
{
    if (currentProject.isEmpty())
        return noProjectAnswer();
    if (!AiToolRules::projectFoldersAreOwn(currentProject))
        return linkedOutAnswer(currentProject);
    const QStringList names = DeveloperWorkspace::sourceFiles(currentProject);
    const QString folder = sourceFolder() + QLatin1Char('/');
    const QString openName = QFileInfo(currentFilePath).fileName();
    QStringList lines;
    for (const QString &name : names) {
        // Known by identity, as a volume may ignore letter case; only a name that could be
        // the open file costs a look at the disk.
        const bool open = !currentFilePath.isEmpty()
            && name.compare(openName, Qt::CaseInsensitive) == 0
            && isSameFile(folder + name, currentFilePath);
        // The open file is named whatever its place in the list.
        if (lines.size() >= AiToolRules::MaxListedFiles && !open)
            continue;
        QString line = name;
        if (open)
            line += editor->document()->isModified() ? tr(" (open in editor, unsaved changes)")
                                                     : tr(" (open in editor)");
        lines.append(line);
    }
    if (lines.isEmpty())
        return tr("Project \"%1\" has no files.").arg(currentProject);
    QString listing
        = tr("Files in project \"%1\":\n").arg(currentProject) + lines.join(QLatin1Char('\n'));
    if (names.size() > lines.size())
        listing += tr("\n... and %1 more files, %2 in all.")
                       .arg(names.size() - lines.size())
                       .arg(names.size());
    return listing;
}

QString DeveloperWidget::aiReadFile(const QString &filename) const
{
    if (currentProject.isEmpty())
        return noProjectAnswer();
    if (!AiToolRules::projectFoldersAreOwn(currentProject))
        return linkedOutAnswer(currentProject);
    const QString path = AiToolRules::projectFilePath(currentProject, filename);
    if (path.isEmpty())
        return tr("\"%1\" isn't a valid filename to read.").arg(echoed(filename));
    if (!DeveloperWorkspace::entryExists(path))
        return tr("%1 doesn't exist in this project.").arg(echoed(filename));
    if (DeveloperWorkspace::isProjectImageFile(filename)
        || filename.compare(QLatin1String("icon.png"), Qt::CaseInsensitive) == 0)
        return tr("%1 is a binary image file, not readable as text.").arg(echoed(filename));
    const auto tooLarge = [&filename](qint64 bytes) {
        return tr("%1 is too large to read: %2 KiB, and a read holds at most %3 KiB.")
            .arg(echoed(filename))
            .arg((bytes + 1023) / 1024)
            .arg(ReadFileMaxBytes / 1024);
    };
    if (!currentFilePath.isEmpty() && isSameFile(path, currentFilePath)) {
        const QString text = editor->toPlainText();
        const qint64 size = text.toUtf8().size();
        return size > ReadFileMaxBytes ? tooLarge(size) : text;
    }
    // Never more than one byte past the limit in memory, even if the file grows meanwhile; a
    // FIFO or device is refused before anything waits on it.
    QByteArray bytes;
    QString error;
    if (!DeveloperWorkspace::readProjectFile(path, ReadFileMaxBytes, bytes, &error))
        return tr("Failed to read %1: %2").arg(echoed(filename), error);
    if (bytes.size() > ReadFileMaxBytes)
        return tooLarge(qMax(QFileInfo(path).size(), qint64(bytes.size())));
    bytes.replace("\r\n", "\n");
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

QString DeveloperWidget::aiWriteFile(const QString &filename, const QString &content,
                                     bool contentGiven)
{
    if (currentProject.isEmpty())
        return noProjectAnswer();
    if (!AiToolRules::projectFoldersAreOwn(currentProject))
        return linkedOutAnswer(currentProject);
    const QString path = filename.endsWith(QLatin1String(".qml"), Qt::CaseInsensitive)
        ? AiToolRules::projectFilePath(currentProject, filename)
        : QString();
    if (path.isEmpty())
        return tr("\"%1\" isn't a valid file to write - only bare .qml filenames are allowed, no "
                  "paths.")
            .arg(echoed(filename));
    // Refused here, not when the project is packaged: every later run would fail on it.
    if (!DeveloperWorkspace::entryExists(path)
        && !DeveloperWorkspace::fitsPackageEntry(currentProject, filename))
        return tr("\"%1\" isn't a valid file to write - the name is too long for the app "
                  "package, where the project folder and the file name together take at most %2 "
                  "bytes of UTF-8. Use a shorter name.")
            .arg(echoed(filename))
            .arg(DeveloperWorkspace::MaxPackageEntryBytes);
    // Writing "" in its place would empty the user's file.
    if (!contentGiven)
        return tr("%1 was not written: the input \"content\" is missing or not a string - pass "
                  "the file's complete new text as \"content\".")
            .arg(echoed(filename));
    const bool existed = DeveloperWorkspace::entryExists(path);
    QString error;
    const QByteArray bytes = content.toUtf8();
    if (!DeveloperWorkspace::writeProjectFile(path, bytes, &error))
        return tr("Failed to write %1: %2").arg(echoed(filename), error);
    const QString done = existed ? tr("Wrote %1.").arg(echoed(filename)) : tr("Created %1.").arg(echoed(filename));
    // The same file by identity: "App.qml" is the open "app.qml" where case does not count.
    if (!currentFilePath.isEmpty() && isSameFile(path, currentFilePath)) {
        DeveloperWorkspace::decodeProjectText(bytes, openFileFormat);
        // One edit the user can undo; written to disk, so the editor shows it as saved.
        QTextCursor cursor(editor->document());
        cursor.beginEditBlock();
        cursor.select(QTextCursor::Document);
        cursor.insertText(content);
        cursor.endEditBlock();
        editor->document()->setModified(false);
        setItemModified(currentFileItem, false);
    } else if (!existed) {
        addQmlFileItem(filename);
    }
    return done;
}

QString DeveloperWidget::aiWriteImage(const QString &filename, const QString &svg, int width,
                                      int height)
{
    if (currentProject.isEmpty())
        return noProjectAnswer();
    if (!AiToolRules::projectFoldersAreOwn(currentProject))
        return linkedOutAnswer(currentProject);
    const QString path = AiToolRules::projectFilePath(currentProject, filename);
    if (path.isEmpty())
        return tr("\"%1\" isn't a valid filename to write.").arg(echoed(filename));
    const QString lower = filename.toLower();
    const bool isIcon = lower == QLatin1String("icon.png");
    const bool isPng = lower.endsWith(QLatin1String(".png"));
    const bool isJpeg
        = lower.endsWith(QLatin1String(".jpg")) || lower.endsWith(QLatin1String(".jpeg"));
    if (!isIcon && !isPng && !isJpeg)
        return tr("\"%1\" isn't a valid image to write - use a .png or .jpg filename, or exactly "
                  "\"icon.png\" for the project icon.")
            .arg(echoed(filename));
    if (!isIcon && !DeveloperWorkspace::entryExists(path)
        && !DeveloperWorkspace::fitsPackageEntry(currentProject, filename))
        return tr("\"%1\" isn't a valid image to write - the name is too long for the app "
                  "package, where the project folder and the file name together take at most %2 "
                  "bytes of UTF-8. Use a shorter name.")
            .arg(echoed(filename))
            .arg(DeveloperWorkspace::MaxPackageEntryBytes);
    const QSize size = isIcon
        ? QSize(64, 64)
        : QSize(AiToolRules::clampImageSide(width), AiToolRules::clampImageSide(height));

    const QByteArray svgBytes = svg.toUtf8();
    if (!AiToolRules::svgIsSelfContained(svgBytes))
        return tr("That SVG refers to a picture outside itself - embed pictures as base64 data: "
                  "URLs of PNG or JPG images, or draw them with shapes.");
    QSvgRenderer renderer(svgBytes);
    if (!renderer.isValid())
        return tr("That SVG couldn't be parsed - check it's well-formed.");
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
        const QString iconPath
            = AiToolRules::projectFilePath(currentProject, QStringLiteral("icon.png"));
        if (!savedToMemory)
            return tr("Failed to render the icon.");
        const bool written
            = !iconPath.isEmpty() && DeveloperWorkspace::writeProjectFile(iconPath, encoded);
        updateIconPreview();
        refreshProjectFileIcon();
        if (!written)
            return tr("Failed to write icon.png.");
        return tr("Wrote icon.png (64x64).");
    }

    const bool existed = DeveloperWorkspace::entryExists(path);
    if (!savedToMemory || !DeveloperWorkspace::writeProjectFile(path, encoded))
        return tr("Failed to write %1.").arg(echoed(filename));
    const QString sizeText = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    if (!existed) {
        addImageFileItem(filename);
        return tr("Created %1 (%2).").arg(echoed(filename), sizeText);
    }
    for (int row = 0; row < fileList->count(); ++row) {
        QListWidgetItem *item = fileList->item(row);
        if (storedName(item) != filename)
            continue;
        item->setIcon(imageThumbnail(path));
        // The image page shows the new picture when it is the one on view.
        if (item == currentFileItem)
            imageView->setSourcePixmap(QPixmap::fromImage(image));
        break;
    }
    return tr("Wrote %1 (%2).").arg(echoed(filename), sizeText);
}

QString DeveloperWidget::aiCheckRadio() const
{
    // The scanner's own values: the tab's copy lags while the scanner re-sweeps.
    if (scanner->ip.isEmpty())
        return tr("No Kelo radio is currently connected.");
    // Whatever answers discovery is "the radio": its names may be a megabyte long.
    using AiToolRules::cut;
    const int most = AiToolRules::RadioTextChars;
    return tr("Connected to a Kelo radio at %1 (network \"%2\", model \"%3\").")
        .arg(cut(scanner->ip, most), cut(scanner->networkName, most),
             cut(scanner->modelName, most));
}

QString DeveloperWidget::aiCreateProject(const QString &name, const QString &type)
{
    ProjectType projectType;
    if (type == QLatin1String("home_screen"))
        projectType = ProjectType::HomeScreen;
    else if (type == QLatin1String("application"))
        projectType = ProjectType::Application;
    else
        return tr("Unknown project type \"%1\" - use \"application\" or \"home_screen\".")
            .arg(echoed(type));
    QString error;
    if (!createProject(name, projectType, error))
        return error;
    // Listed either way; the refresh keeps the open project and its text.
    refreshProjectList();
    // Opening it drops what is open. The user did not ask for the switch, so their unsaved
    // changes are saved first, as before a run; when that fails they stay open.
    QString unsaved;
    if (editor->document()->isModified() && !saveCurrentQmlFile())
        unsaved = QFileInfo(currentFilePath).fileName();
    else if (storedName(currentFileItem) == QLatin1String("version") && versionEdit->isModified()
             && !DeveloperWorkspace::saveVersion(currentProject, versionEdit->text(), error))
        unsaved = QStringLiteral("version");
    if (!unsaved.isEmpty())
        return tr("Created project \"%1\", but didn't open it: the unsaved changes in %2 couldn't "
                  "be saved, and opening another project would drop them. Ask the user to save "
                  "or discard them, then to select \"%1\" in the Projects list.")
            .arg(name, unsaved);
    selectProjectByName(name);
    if (currentProject != name)
        return tr("Created project \"%1\", but it couldn't be opened - ask the user to select it "
                  "from the Projects list.")
            .arg(name);
    return tr("Created and opened project \"%1\" (%2).")
        .arg(name, projectType == ProjectType::HomeScreen ? tr("Home Screen") : tr("Application"));
}

QString DeveloperWidget::aiReadDebugLog()
{
    if (radioIp.isEmpty())
        return tr(
            "No radio is currently connected - the Debug terminal has nothing to connect to.");
    const bool wasVisible = debugWindow->isVisible();
    debugWindow->openAndConnect();
    // Not a click: the toggle's own handler would show the window a second time.
    debugToggleButton->setChecked(true);
    // Only the newest lines: a copy of a full terminal would cost seconds and a gigabyte.
    const QString output = debugWindow->newestText(DebugLogAnswerBytes);
    if (output.isEmpty())
        return wasVisible ? tr("Debug terminal is connected but hasn't captured any messages yet.")
                          : tr("Debug terminal just connected - it had nothing captured before "
                               "now. Run the project again and call read_debug_log once more to "
                               "see output from that run.");
    // Tool answers stay in the conversation and go out with every later request: a full
    // terminal each time would soon pass the service's size limit.
    bool cut = false;
    const QString tail = AiToolRules::textTail(output, DebugLogAnswerBytes, &cut);
    if (!cut)
        return output;
    return tr("[Earlier output left out - these are the last %1 KiB of the Debug terminal.]\n")
               .arg(DebugLogAnswerBytes / 1024)
        + tail;
}

QString DeveloperWidget::aiReadDocs(const QString &page) const
{
    const QMap<QString, QString> &pages = DeveloperDocs::docsPageMap();
    const auto found = pages.constFind(page);
    if (found == pages.constEnd())
        return tr("Unknown docs page \"%1\" - use one of: %2.")
            .arg(echoed(page), pages.keys().join(QStringLiteral(", ")));
    QFile file(found.value());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return tr("Failed to open the \"%1\" docs page.").arg(echoed(page));
    return DeveloperDocs::mainText(QString::fromUtf8(file.readAll()));
}

void DeveloperWidget::aiTakeScreenshot(const QString &toolUseId)
{
    if (radioIp.isEmpty()) {
        aiPanel->handleToolResult(toolUseId, tr("No radio is currently connected."), QByteArray());
        return;
    }
    QNetworkRequest request
        = RadioApi::request(radioIp, RadioApi::screenshotPath(QDateTime::currentMSecsSinceEpoch()),
                            RadioApi::CommandTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = RadioApi::get(networkManager, request, RadioReply::Kind::Picture);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, toolUseId]() { onScreenshotToolReplyFinished(reply, toolUseId); });
}

void DeveloperWidget::onScreenshotToolReplyFinished(QNetworkReply *reply, const QString &toolUseId)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        aiPanel->handleToolResult(
            toolUseId,
            tr("Failed to capture screenshot: %1").arg(AiToolRules::radioErrorText(reply)),
            QByteArray());
        return;
    }
    const QByteArray body = reply->readAll();
    // The bytes go to the service as a PNG and stay in the conversation: anything else would
    // make every later request fail.
    if (!AiToolRules::hasPngSignature(body)) {
        aiPanel->handleToolResult(
            toolUseId, tr("Failed to capture screenshot: the radio's answer is not a PNG image."),
            QByteArray());
        return;
    }
    if (!AiToolRules::isWholePngWithin(body,
                                       RadioPicture::maxPixels(RadioPicture::Use::Screenshot))) {
        aiPanel->handleToolResult(
            toolUseId,
            tr("Failed to capture screenshot: the radio's picture is damaged or too large."),
            QByteArray());
        return;
    }
    aiPanel->handleToolResult(toolUseId, tr("Screenshot captured."), body);
}
