#pragma once

#include "DeveloperWorkspace.h"

#include <QIcon>
#include <QJsonObject>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QToolButton;
class QUrl;
class AiAssistantWidget;
class AspectImageLabel;
class DebugWindow;
class DeveloperToolBackend;
class QmlCodeEditor;
class RadioScanner;

// The Developer tab: QML app projects on disk, their files on four pages (editor, icon,
// version, image), running a project on the radio, publishing it, the debug terminal and
// the assistant panel. The definition is split by concern: DeveloperWidget.cpp (the tab,
// lists, pages, saving, the radio), DeveloperFiles.cpp (file actions), DeveloperRun.cpp
// (Play and runProject), DeveloperToolbar.cpp (create, delete home screen, docs),
// DeveloperPublish.cpp (the app store) and DeveloperTools.cpp (the tab's side of the
// assistant's tools, which DeveloperToolBackend carries out).
class DeveloperWidget : public QWidget
{
    Q_OBJECT
public:
    using ProjectType = DeveloperWorkspace::ProjectType;
    // Called exactly once when a run ends: success flag and a message for the user.
    using RunCompletion = std::function<void(bool success, const QString &message)>;

    explicit DeveloperWidget(RadioScanner *scanner, QWidget *parent = nullptr);

    QString developerRootPath() const;
    ProjectType projectTypeForName(const QString &name) const;
    QIcon projectTypeIcon(ProjectType type) const;
    bool createProject(const QString &name, ProjectType type, QString &error);

    void refreshProjectList();
    void selectProjectByName(const QString &name);
    // Writes the editor's text to the open QML file; true also when no QML file is open.
    // On false the status line says why and the file on disk is unchanged.
    bool saveCurrentQmlFile();
    void setItemModified(QListWidgetItem *item, bool modified);
    void updateDeleteHomeScreenButtonVisibility();

    // Saves, packages output/<name>.tar, uploads it to the radio and starts it there.
    void runProject(const RunCompletion &completion);
    // Saves (when it is the open project), packages, asks, then uploads to the app store.
    void publishProject(const QString &name);

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void onCreateProjectClicked();
    void onPlayButtonClicked();
    void onNewFileClicked();
    void onAddImageClicked();
    void onDocsButtonClicked();
    void onDeleteHomeScreenClicked();
    void onUploadIconClicked();
    void onDefaultIconClicked();
    void onSaveVersionClicked();
    void onVersionTextEdited();
    void onEditorModificationChanged(bool modified);
    void onSaveShortcutActivated();
    void onProjectFileContextMenuRequested(const QPoint &pos);
    void onProjectContextMenuRequested(const QPoint &pos);
    void onProjectSelectionChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void onProjectFileSelectionChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void onRadioDeviceFound(const QString &ip, const QString &networkName,
                            const QString &modelName);
    void onRadioDeviceNotFound();
    void onAiToggleClicked();
    void onAiToolCallRequested(const QString &toolUseId, const QString &toolName,
                               const QJsonObject &input);
    void onDebugToggleClicked();
    void onDebugWindowClosed();

private:
    // Construction (DeveloperWidget.cpp).
    QToolButton *createToolButton(const QString &iconPath, const QString &toolTip);
    QWidget *createIconPage();
    QWidget *createVersionPage();
    QWidget *createImagePage();
    // Loads a QML file into the editor (or says why it is not loaded).
    void openQmlFile(QListWidgetItem *item, const QString &path, const QString &title);

    // Workspace (DeveloperFiles.cpp).
    void addQmlFileItem(const QString &name);
    void addImageFileItem(const QString &name);
    QIcon imageThumbnail(const QString &path) const;
    QIcon projectIconThumbnail() const;
    // False when the copy failed; the old icon then stays whole.
    bool replaceProjectIcon(const QString &sourcePath);
    void updateIconPreview();
    void refreshProjectFileIcon();
    bool parseVersionString(const QString &text, int &major, int &minor, int &patch,
                            QString &error) const;
    bool packageProjectFiles(const QString &name, ProjectType type, const QString &outputFile,
                             QString &error) const;
    // Says how many links in src/ packaging left out; empty when none.
    QString linkedFilesNote(const QString &name) const;
    void deleteProjectFile(const QString &name);
    QString sourceFolder() const;

    // Run (DeveloperRun.cpp).
    void runPackaged(const QString &name, ProjectType type, const QString &packagePath,
                     const QString &fileName, const RunCompletion &completion);
    void onRunUploadFinished(QNetworkReply *reply, const QString &name, const QString &address,
                             ProjectType type, const RunCompletion &completion);

    // The assistant's tools (DeveloperTools.cpp): the back-end that carries them out, and
    // what it reaches on the tab.
    class ToolHost;
    void createToolBackend();

    // Toolbar (DeveloperToolbar.cpp).
    bool showProjectTypeDialog(ProjectType &type);

    // Publish (DeveloperPublish.cpp).
    void uploadForPublish(const QString &packagePath);
    void onPublishReplyFinished(QNetworkReply *reply);

    // Message boxes with the tab as parent; every text is shown as plain text, since names,
    // paths and the store's answers come from outside.
    void showWarning(const QString &title, const QString &text);
    bool askYesNo(const QString &title, const QString &text);
    // A modal name dialog: the prompt, a text field (maxLength 0: no limit) with the focus,
    // OK and Cancel. False when cancelled or closed.
    bool askForName(const QString &title, const QString &prompt, int maxLength, QString &name);
    // Opens an address in the browser or file manager; when the platform cannot, says so
    // and shows the address instead.
    void openUrl(const QString &title, const QUrl &url);

    RadioScanner *scanner = nullptr;
    QNetworkAccessManager *networkManager = nullptr;
    QString radioIp;
    QListWidget *projectList = nullptr;
    QListWidget *fileList = nullptr;
    QStackedWidget *pageStack = nullptr;
    QmlCodeEditor *editor = nullptr;
    QLabel *fileLabel = nullptr;
    QLabel *iconPreview = nullptr;
    QPushButton *uploadIconButton = nullptr;
    QPushButton *defaultIconButton = nullptr;
    QLabel *iconInfoLabel = nullptr;
    QLineEdit *versionEdit = nullptr;
    QPushButton *saveVersionButton = nullptr;
    QLabel *versionInfoLabel = nullptr;
    AspectImageLabel *imageView = nullptr;
    QSplitter *splitter = nullptr;
    AiAssistantWidget *aiPanel = nullptr;
    DeveloperToolBackend *toolBackend = nullptr;
    DebugWindow *debugWindow = nullptr;
    QToolButton *createButton = nullptr;
    QToolButton *playButton = nullptr;
    QToolButton *undoButton = nullptr;
    QToolButton *redoButton = nullptr;
    QToolButton *newFileButton = nullptr;
    QToolButton *addImageButton = nullptr;
    QToolButton *deleteHomeScreenButton = nullptr;
    QToolButton *aiToggleButton = nullptr;
    QToolButton *debugToggleButton = nullptr;
    QToolButton *docsButton = nullptr;
    QLabel *statusLabel = nullptr;
    QString currentProject;
    QString currentFilePath;
    // How the open file's bytes were laid out; an edited save keeps it.
    DeveloperWorkspace::TextFormat openFileFormat;
    QListWidgetItem *currentFileItem = nullptr;
};
