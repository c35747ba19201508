#include "DeveloperWidget.h"

#include "AiAssistantWidget.h"
#include "AspectImageLabel.h"
#include "DebugWindow.h"
#include "ElidedLabel.h"
#include "EscapeFilter.h"
#include "PageScrollArea.h"
#include "PlainMessageBox.h"
#include "QmlCodeEditor.h"
#include "QmlSyntaxHighlighter.h"
#include "RadioScanner.h"
#include "SaveFileCommit.h"
#include "Theme.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int EditorPage = 0;
constexpr int IconPage = 1;
constexpr int VersionPage = 2;
constexpr int ImagePage = 3;

// The largest file the editor opens: above it, loading and laying out the text would hold
// the window for more than about a second (bench_developeropen). Larger files are still
// packaged; they are only not shown.
constexpr qint64 MaxEditorBytes = 4 * 1024 * 1024;

// Qt's lists make the row under a right-button press current, which would open another
// project or file (dropping unsaved edits) before the context menu even shows. The list never
// sees right-button presses; the context menu still comes, from the window.
class RightPressBlocker : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::RightButton)
                return true;
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

// The status and file lines carry file names and messages of any length: they are cut to
// their room rather than widen the page.
QLabel *greyLabel(QWidget *parent, bool elided = false)
{
    QLabel *label = elided ? new ElidedLabel(parent) : new QLabel(parent);
    label->setStyleSheet(Theme::secondaryTextStyleSheet());
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The hint asks for a file to be chosen: an empty file that is open must not show it.
void updateEditorPlaceholder(QmlCodeEditor *editor, const QString &openFile)
{
    editor->setPlaceholderText(openFile.isEmpty()
                                   ? DeveloperWidget::tr("Select a project and a QML file to edit.")
                                   : QString());
}

QString storedName(const QListWidgetItem *item)
{
    return item ? item->data(Qt::UserRole).toString() : QString();
}

} // namespace

DeveloperWidget::DeveloperWidget(RadioScanner *radioScanner, QWidget *parent)
    : QWidget(parent)
    , scanner(radioScanner)
    , networkManager(radioScanner->networkManager)
{
    createButton
        = createToolButton(QStringLiteral(":/icons/icon-create-project.svg"), tr("Create Project"));
    connect(createButton, &QToolButton::clicked, this, &DeveloperWidget::onCreateProjectClicked);
    auto *separator = new QFrame(this);
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    playButton = createToolButton(QStringLiteral(":/icons/icon-play.svg"),
                                  tr("Save, package, upload and execute this project"));
    playButton->setEnabled(false);
    connect(playButton, &QToolButton::clicked, this, &DeveloperWidget::onPlayButtonClicked);
    undoButton = createToolButton(QStringLiteral(":/icons/icon-undo.svg"), tr("Undo"));
    undoButton->setEnabled(false);
    redoButton = createToolButton(QStringLiteral(":/icons/icon-redo.svg"), tr("Redo"));
    redoButton->setEnabled(false);
    newFileButton
        = createToolButton(QStringLiteral(":/icons/icon-new-file.svg"), tr("New QML File"));
    newFileButton->setEnabled(false);
    connect(newFileButton, &QToolButton::clicked, this, &DeveloperWidget::onNewFileClicked);
    addImageButton
        = createToolButton(QStringLiteral(":/icons/icon-add-image.svg"), tr("Add Image (PNG/JPG)"));
    addImageButton->setEnabled(false);
    connect(addImageButton, &QToolButton::clicked, this, &DeveloperWidget::onAddImageClicked);
    statusLabel = greyLabel(this, true);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    deleteHomeScreenButton
        = createToolButton(QStringLiteral(":/icons/icon-delete-home.svg"),
                           tr("Delete Home Screen from radio (revert to its built-in default)"));
    deleteHomeScreenButton->setVisible(false);
    connect(deleteHomeScreenButton, &QToolButton::clicked, this,
            &DeveloperWidget::onDeleteHomeScreenClicked);
    aiToggleButton = createToolButton(QStringLiteral(":/icons/icon-ai.svg"), tr("AI Assistant"));
    aiToggleButton->setCheckable(true);
    aiToggleButton->setChecked(true);
    connect(aiToggleButton, &QToolButton::clicked, this, &DeveloperWidget::onAiToggleClicked);
    debugToggleButton = createToolButton(QStringLiteral(":/icons/icon-debug.svg"),
                                         tr("Debug (radio log output)"));
    debugToggleButton->setCheckable(true);
    connect(debugToggleButton, &QToolButton::clicked, this, &DeveloperWidget::onDebugToggleClicked);
    docsButton = createToolButton(QStringLiteral(":/icons/icon-docs.svg"),
                                  tr("Open Developer Documentation"));
    connect(docsButton, &QToolButton::clicked, this, &DeveloperWidget::onDocsButtonClicked);

    const std::pair<QToolButton *, const char *> names[]
        = {{createButton, "createButton"},
           {playButton, "playButton"},
           {undoButton, "undoButton"},
           {redoButton, "redoButton"},
           {newFileButton, "newFileButton"},
           {addImageButton, "addImageButton"},
           {deleteHomeScreenButton, "deleteHomeScreenButton"},
           {aiToggleButton, "aiToggleButton"},
           {debugToggleButton, "debugToggleButton"},
           {docsButton, "docsButton"}};
    for (const auto &[button, name] : names)
        button->setObjectName(QLatin1String(name));

    auto *toolbar = new QHBoxLayout();
    for (QWidget *w : {static_cast<QWidget *>(createButton), static_cast<QWidget *>(separator),
                       static_cast<QWidget *>(playButton), static_cast<QWidget *>(undoButton),
                       static_cast<QWidget *>(redoButton), static_cast<QWidget *>(newFileButton),
                       static_cast<QWidget *>(addImageButton)})
        toolbar->addWidget(w);
    toolbar->addWidget(statusLabel, 1);
    for (QWidget *w : {deleteHomeScreenButton, aiToggleButton, debugToggleButton, docsButton})
        toolbar->addWidget(w);

    auto *saveShortcut = new QShortcut(QKeySequence::Save, this);
    saveShortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(saveShortcut, &QShortcut::activated, this, &DeveloperWidget::onSaveShortcutActivated);

    auto *leftColumn = new QWidget(this);
    leftColumn->setFixedWidth(260);
    auto *leftLayout = new QVBoxLayout(leftColumn);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto *projectsBox = new QGroupBox(tr("Projects"), leftColumn);
    auto *projectsLayout = new QVBoxLayout(projectsBox);
    projectList = new QListWidget(projectsBox);
    projectList->setObjectName(QStringLiteral("projectList"));
    projectList->setIconSize(QSize(16, 16));
    projectList->setContextMenuPolicy(Qt::CustomContextMenu);
    projectList->viewport()->installEventFilter(new RightPressBlocker(projectList));
    projectsLayout->addWidget(projectList);
    auto *filesBox = new QGroupBox(tr("Project Files"), leftColumn);
    auto *filesLayout = new QVBoxLayout(filesBox);
    fileList = new QListWidget(filesBox);
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setIconSize(QSize(18, 18));
    fileList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fileList->setContextMenuPolicy(Qt::CustomContextMenu);
    fileList->viewport()->installEventFilter(new RightPressBlocker(fileList));
    filesLayout->addWidget(fileList);
    leftLayout->addWidget(projectsBox, 1);
    leftLayout->addWidget(filesBox, 1);
    connect(projectList, &QListWidget::currentItemChanged, this,
            &DeveloperWidget::onProjectSelectionChanged);
    connect(projectList, &QListWidget::customContextMenuRequested, this,
            &DeveloperWidget::onProjectContextMenuRequested);
    connect(fileList, &QListWidget::currentItemChanged, this,
            &DeveloperWidget::onProjectFileSelectionChanged);
    connect(fileList, &QListWidget::customContextMenuRequested, this,
            &DeveloperWidget::onProjectFileContextMenuRequested);

    auto *rightColumn = new QWidget(this);
    auto *rightLayout = new QVBoxLayout(rightColumn);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    fileLabel = greyLabel(rightColumn, true);
    fileLabel->setObjectName(QStringLiteral("fileLabel"));
    editor = new QmlCodeEditor(rightColumn);
    editor->setObjectName(QStringLiteral("editor"));
    updateEditorPlaceholder(editor, QString());
    editor->setLineWrapMode(QmlCodeEditor::NoWrap);
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::Monospace);
    editor->setFont(font);
    // Only the editor itself: unnamed, the rule would also frame the find bar's buttons and
    // draw its empty status text as a box.
    editor->setStyleSheet(QStringLiteral("#editor { %1 }").arg(Theme::editorStyleSheet()));
    new QmlSyntaxHighlighter(editor->document()); // owned by the document
    connect(editor->document(), &QTextDocument::undoAvailable, undoButton,
            &QToolButton::setEnabled);
    connect(editor->document(), &QTextDocument::redoAvailable, redoButton,
            &QToolButton::setEnabled);
    connect(editor->document(), &QTextDocument::modificationChanged, this,
            &DeveloperWidget::onEditorModificationChanged);
    connect(undoButton, &QToolButton::clicked, editor, &QmlCodeEditor::undo);
    connect(redoButton, &QToolButton::clicked, editor, &QmlCodeEditor::redo);

    pageStack = new QStackedWidget(rightColumn);
    pageStack->setObjectName(QStringLiteral("pageStack"));
    pageStack->addWidget(editor);
    pageStack->addWidget(createIconPage());
    pageStack->addWidget(createVersionPage());
    pageStack->addWidget(createImagePage());
    rightLayout->addWidget(fileLabel);
    rightLayout->addWidget(pageStack, 1);

    auto *workbench = new QWidget(this);
    auto *workbenchLayout = new QHBoxLayout(workbench);
    workbenchLayout->setContentsMargins(0, 0, 0, 0);
    workbenchLayout->addWidget(leftColumn, 0);
    workbenchLayout->addWidget(rightColumn, 1);

    aiPanel = new AiAssistantWidget(networkManager, this);
    aiPanel->setObjectName(QStringLiteral("aiPanel"));
    createToolBackend();
    connect(aiPanel, &AiAssistantWidget::toolCallRequested, this,
            &DeveloperWidget::onAiToolCallRequested);

    debugWindow = new DebugWindow(this);
    connect(debugWindow, &DebugWindow::closed, this, &DeveloperWidget::onDebugWindowClosed);

    splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->addWidget(workbench);
    splitter->addWidget(aiPanel);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({700, 320});

    // The toolbar stays put, so its toggles are on screen at any window size; below its least
    // size (the 640x600 window) the rest of the page scrolls instead of squeezing.
    auto *layout = new QVBoxLayout(this);
    auto *body = new QWidget;
    layout->addLayout(toolbar, 0);
    layout->addWidget(new PageScrollArea(body, this), 1);
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->addWidget(splitter, 1);

    connect(scanner, &RadioScanner::deviceFound, this, &DeveloperWidget::onRadioDeviceFound);
    connect(scanner, &RadioScanner::deviceNotFound, this, &DeveloperWidget::onRadioDeviceNotFound);
    connect(scanner, &RadioScanner::serialFound, aiPanel, &AiAssistantWidget::setRadioSerial);

    if (!scanner->ip.isEmpty()) {
        onRadioDeviceFound(scanner->ip, scanner->networkName, scanner->modelName);
        if (!scanner->serial.isEmpty())
            aiPanel->setRadioSerial(scanner->serial);
    }

    refreshProjectList();
}

QToolButton *DeveloperWidget::createToolButton(const QString &iconPath, const QString &toolTip)
{
    auto *button = new QToolButton(this);
    button->setIcon(QIcon(iconPath));
    button->setIconSize(QSize(20, 20));
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    return button;
}

QWidget *DeveloperWidget::createIconPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    iconPreview = new QLabel(page);
    iconPreview->setObjectName(QStringLiteral("iconPreview"));
    iconPreview->setFixedSize(192, 192);
    iconPreview->setAlignment(Qt::AlignCenter);
    iconPreview->setStyleSheet(Theme::imageFrameStyleSheet());
    uploadIconButton = new QPushButton(tr("Upload New Icon"), page);
    uploadIconButton->setObjectName(QStringLiteral("uploadIconButton"));
    defaultIconButton = new QPushButton(tr("Default Icon"), page);
    defaultIconButton->setObjectName(QStringLiteral("defaultIconButton"));
    iconInfoLabel = greyLabel(page);
    iconInfoLabel->setObjectName(QStringLiteral("iconInfoLabel"));
    iconInfoLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(iconPreview, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addWidget(uploadIconButton, 0, Qt::AlignHCenter);
    layout->addWidget(defaultIconButton, 0, Qt::AlignHCenter);
    layout->addWidget(iconInfoLabel, 0, Qt::AlignHCenter);
    connect(uploadIconButton, &QPushButton::clicked, this, &DeveloperWidget::onUploadIconClicked);
    connect(defaultIconButton, &QPushButton::clicked, this, &DeveloperWidget::onDefaultIconClicked);
    return page;
}

QWidget *DeveloperWidget::createVersionPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    auto *label = new QLabel(tr("Current Version (X.Y.Z, each 0-255):"), page);
    versionEdit = new QLineEdit(page);
    versionEdit->setObjectName(QStringLiteral("versionEdit"));
    versionEdit->setFixedWidth(160);
    versionEdit->setAlignment(Qt::AlignCenter);
    versionEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9.]*")), versionEdit));
    EscapeFilter::install(versionEdit);
    saveVersionButton = new QPushButton(tr("Save Version"), page);
    saveVersionButton->setObjectName(QStringLiteral("saveVersionButton"));
    versionInfoLabel = greyLabel(page);
    versionInfoLabel->setObjectName(QStringLiteral("versionInfoLabel"));
    versionInfoLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addWidget(versionEdit, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addWidget(saveVersionButton, 0, Qt::AlignHCenter);
    layout->addWidget(versionInfoLabel, 0, Qt::AlignHCenter);
    connect(versionEdit, &QLineEdit::textEdited, this, &DeveloperWidget::onVersionTextEdited);
    connect(saveVersionButton, &QPushButton::clicked, this, &DeveloperWidget::onSaveVersionClicked);
    return page;
}

QWidget *DeveloperWidget::createImagePage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    imageView = new AspectImageLabel(page);
    imageView->setObjectName(QStringLiteral("imageView"));
    imageView->setStyleSheet(Theme::imageFrameStyleSheet());
    imageView->setMinimumSize(100, 100);
    layout->addWidget(imageView, 1);
    return page;
}

void DeveloperWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refreshProjectList();
}

void DeveloperWidget::refreshProjectList()
{
    const QString remembered = currentProject;
    // clear() reports the current entry going away; the open file must survive a refresh.
    const QSignalBlocker blocker(projectList);
    projectList->clear();
    for (const QString &name : DeveloperWorkspace::listProjects()) {
        auto *item = new QListWidgetItem(projectTypeIcon(projectTypeForName(name)), name);
        projectList->addItem(item);
        if (name == remembered)
            projectList->setCurrentItem(item);
    }
}

void DeveloperWidget::selectProjectByName(const QString &name)
{
    for (int row = 0; row < projectList->count(); ++row) {
        if (projectList->item(row)->text() == name) {
            projectList->setCurrentRow(row);
            return;
        }
    }
}

void DeveloperWidget::onProjectSelectionChanged(QListWidgetItem *current, QListWidgetItem *)
{
    currentFileItem = nullptr;
    fileList->clear();
    editor->clear();
    currentFilePath.clear();
    updateEditorPlaceholder(editor, currentFilePath);
    fileLabel->clear();
    statusLabel->clear();
    iconInfoLabel->clear();
    versionInfoLabel->clear();

    currentProject = current ? current->text() : QString();
    const bool selected = !currentProject.isEmpty();
    if (selected) {
        // What a save or packaging killed before its rename left behind.
        SafeFileWriter::removeStaleTemporaries(DeveloperWorkspace::sourcePath(currentProject));
        SafeFileWriter::removeStaleTemporaries(DeveloperWorkspace::outputPath(currentProject));
    }
    playButton->setEnabled(selected);
    newFileButton->setEnabled(selected);
    addImageButton->setEnabled(selected);
    updateDeleteHomeScreenButtonVisibility();
    if (!selected)
        return;

    for (const DeveloperWorkspace::ProjectFile &file :
         DeveloperWorkspace::listProjectFiles(currentProject)) {
        switch (file.kind) {
        case DeveloperWorkspace::FileKind::Qml:
            addQmlFileItem(file.name);
            break;
        case DeveloperWorkspace::FileKind::Image:
            addImageFileItem(file.name);
            break;
        case DeveloperWorkspace::FileKind::Icon: {
            auto *item = new QListWidgetItem(projectIconThumbnail(), file.name, fileList);
            item->setData(Qt::UserRole, file.name);
            break;
        }
        case DeveloperWorkspace::FileKind::Version: {
            auto *item = new QListWidgetItem(QIcon(DeveloperWorkspace::fileKindIconPath(file.kind)),
                                             file.name, fileList);
            item->setData(Qt::UserRole, file.name);
            break;
        }
        }
    }
    if (fileList->count() > 0)
        fileList->setCurrentRow(0);
}

void DeveloperWidget::onProjectFileSelectionChanged(QListWidgetItem *current, QListWidgetItem *)
{
    iconInfoLabel->clear();
    versionInfoLabel->clear();
    // Leaving an entry drops its unsaved text, so its marker goes too.
    if (currentFileItem && currentFileItem != current)
        setItemModified(currentFileItem, false);
    currentFileItem = current;

    if (!current) {
        editor->clear();
        currentFilePath.clear();
        updateEditorPlaceholder(editor, currentFilePath);
        fileLabel->clear();
        pageStack->setCurrentIndex(EditorPage);
        return;
    }
    const QString name = storedName(current);
    const QString path = sourceFolder() + QLatin1Char('/') + name;
    const QString title = QStringLiteral("%1 / %2").arg(currentProject, name);
    if (name == QLatin1String("icon.png")) {
        currentFilePath.clear();
        fileLabel->setText(title);
        undoButton->setEnabled(false);
        redoButton->setEnabled(false);
        updateIconPreview();
        pageStack->setCurrentIndex(IconPage);
    } else if (DeveloperWorkspace::isProjectImageFile(name)) {
        currentFilePath.clear();
        fileLabel->setText(title);
        undoButton->setEnabled(false);
        redoButton->setEnabled(false);
        imageView->setSourcePixmap(DeveloperWorkspace::loadPicture(path));
        pageStack->setCurrentIndex(ImagePage);
    } else if (name == QLatin1String("version")) {
        currentFilePath.clear();
        fileLabel->setText(title);
        undoButton->setEnabled(false);
        redoButton->setEnabled(false);
        versionEdit->setText(DeveloperWorkspace::readVersionForDisplay(currentProject));
        setItemModified(current, false);
        pageStack->setCurrentIndex(VersionPage);
    } else {
        openQmlFile(current, path, title);
        return;
    }
    updateEditorPlaceholder(editor, currentFilePath);
}

void DeveloperWidget::openQmlFile(QListWidgetItem *item, const QString &path, const QString &title)
{
    pageStack->setCurrentIndex(EditorPage);
    editor->clear();
    currentFilePath.clear();
    openFileFormat = DeveloperWorkspace::TextFormat();
    const QString name = storedName(item);
    QByteArray bytes;
    // Never a FIFO or device (opening one would wait for a writer), never a link.
    if (!DeveloperWorkspace::readProjectFile(path, MaxEditorBytes, bytes)) {
        fileLabel->setText(tr("Cannot open %1").arg(name));
        updateEditorPlaceholder(editor, currentFilePath);
        return;
    }
    fileLabel->setText(title);
    if (bytes.size() > MaxEditorBytes) {
        editor->setPlaceholderText(QString());
        statusLabel->setText(tr("%1 is too large to open here (more than %2 MB); it is still "
                                "packaged with the project.")
                                 .arg(name)
                                 .arg(MaxEditorBytes / (1024 * 1024)));
        return;
    }
    // Every byte, NUL included; the file is written again only after an edit.
    editor->setPlainText(DeveloperWorkspace::decodeProjectText(bytes, openFileFormat));
    editor->document()->setModified(false);
    setItemModified(item, false);
    currentFilePath = path;
    updateEditorPlaceholder(editor, currentFilePath);
    if (!openFileFormat.validUtf8)
        statusLabel->setText(tr("%1 is not UTF-8 text: its odd bytes are shown as \uFFFD and it "
                                "is left as it is unless you edit it.")
                                 .arg(name));
}

void DeveloperWidget::setItemModified(QListWidgetItem *item, bool modified)
{
    if (item)
        item->setText(DeveloperWorkspace::fileEntryText(storedName(item), modified));
}

void DeveloperWidget::onEditorModificationChanged(bool modified)
{
    setItemModified(currentFileItem, modified);
}

void DeveloperWidget::onVersionTextEdited()
{
    setItemModified(currentFileItem, true);
}

void DeveloperWidget::onSaveShortcutActivated()
{
    if (currentProject.isEmpty())
        return;
    if (!currentFilePath.isEmpty()) {
        if (saveCurrentQmlFile())
            statusLabel->setText(tr("Saved"));
        return;
    }
    // As for a QML file, an unedited version file is left as it is (the template's own text
    // is "0 0 1 " and a line feed, which a save would rewrite).
    if (currentFileItem && storedName(currentFileItem) == QLatin1String("version")
        && versionEdit->isModified())
        onSaveVersionClicked();
}

bool DeveloperWidget::saveCurrentQmlFile()
{
    // An unedited file is never rewritten: its bytes stay exactly as they are on disk.
    if (currentFilePath.isEmpty() || !editor->document()->isModified())
        return true;
    // What the editor holds, in the file's own line endings; a full disk leaves the old file
    // whole.
    const QByteArray bytes
        = DeveloperWorkspace::encodeProjectText(editor->document()->toRawText(), openFileFormat);
    if (!DeveloperWorkspace::writeProjectFile(currentFilePath, bytes)) {
        statusLabel->setText(tr("Failed to save %1").arg(QFileInfo(currentFilePath).fileName()));
        return false;
    }
    openFileFormat.validUtf8 = true;
    editor->document()->setModified(false);
    setItemModified(currentFileItem, false);
    return true;
}

void DeveloperWidget::onProjectContextMenuRequested(const QPoint &pos)
{
    const QListWidgetItem *item = projectList->itemAt(pos);
    if (!item)
        return;
    // The entry may be gone when the menu closes; its name is all the actions need.
    const QString name = item->text();
    QMenu menu(this);
    QAction *publish = menu.addAction(tr("Publish"));
    QAction *showFiles = menu.addAction(tr("Show Files"));
    QAction *chosen = menu.exec(projectList->viewport()->mapToGlobal(pos));
    if (chosen == publish)
        publishProject(name);
    else if (chosen == showFiles)
        openUrl(tr("Show Files"), QUrl::fromLocalFile(DeveloperWorkspace::projectPath(name)));
}

void DeveloperWidget::onProjectFileContextMenuRequested(const QPoint &pos)
{
    const QString name = storedName(fileList->itemAt(pos));
    if (name.isEmpty() || DeveloperWorkspace::isReservedFileName(name))
        return;
    QMenu menu(this);
    QAction *remove = menu.addAction(tr("Delete"));
    if (menu.exec(fileList->viewport()->mapToGlobal(pos)) == remove)
        deleteProjectFile(name);
}

void DeveloperWidget::onAiToggleClicked()
{
    aiPanel->setVisible(aiToggleButton->isChecked());
}

void DeveloperWidget::onDebugToggleClicked()
{
    if (debugToggleButton->isChecked()) {
        debugWindow->show();
        debugWindow->raise();
        debugWindow->activateWindow();
    } else {
        debugWindow->close();
    }
}

void DeveloperWidget::onDebugWindowClosed()
{
    debugToggleButton->setChecked(false);
}

void DeveloperWidget::onRadioDeviceFound(const QString &ip, const QString &, const QString &)
{
    radioIp = ip;
    updateDeleteHomeScreenButtonVisibility();
    debugWindow->setRadioIp(ip);
}

void DeveloperWidget::onRadioDeviceNotFound()
{
    radioIp.clear();
    updateDeleteHomeScreenButtonVisibility();
    debugWindow->setRadioIp(QString());
    aiPanel->setRadioSerial(QString());
}

void DeveloperWidget::updateDeleteHomeScreenButtonVisibility()
{
    deleteHomeScreenButton->setVisible(!radioIp.isEmpty() && !currentProject.isEmpty()
                                       && projectTypeForName(currentProject)
                                           == ProjectType::HomeScreen);
}

void DeveloperWidget::showWarning(const QString &title, const QString &text)
{
    showPlainMessage(this, QMessageBox::Warning, title, text);
}

bool DeveloperWidget::askYesNo(const QString &title, const QString &text)
{
    return showPlainMessage(this, QMessageBox::Question, title, text,
                            QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

bool DeveloperWidget::askForName(const QString &title, const QString &prompt, int maxLength,
                                 QString &name)
{
    QDialog dialog(this);
    dialog.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(prompt, &dialog));
    auto *nameEdit = new QLineEdit(&dialog);
    nameEdit->setObjectName(QStringLiteral("nameEdit"));
    if (maxLength > 0)
        nameEdit->setMaxLength(maxLength);
    layout->addWidget(nameEdit);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    nameEdit->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    name = nameEdit->text();
    return true;
}

void DeveloperWidget::openUrl(const QString &title, const QUrl &url)
{
    if (QDesktopServices::openUrl(url))
        return;
    const QString where = url.isLocalFile() ? url.toLocalFile() : url.toString();
    showWarning(title,
                url.isLocalFile()
                    ? tr("The folder could not be opened. It is here:\n%1").arg(where)
                    : tr("The browser could not be opened. The address is:\n%1").arg(where));
}
