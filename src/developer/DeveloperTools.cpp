// The assistant's tool calls: DeveloperToolBackend carries them out, through the tab's side
// of them here (the open project, the editor, the lists, the terminal and a run).
#include "DeveloperWidget.h"

#include "AiAssistantWidget.h"
#include "AspectImageLabel.h"
#include "DebugWindow.h"
#include "DeveloperToolBackend.h"
#include "QmlCodeEditor.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

namespace {

QString storedName(const QListWidgetItem *item)
{
    return item ? item->data(Qt::UserRole).toString() : QString();
}

} // namespace

// A child of the tab, so it lives as long as the back-end that calls it.
class DeveloperWidget::ToolHost : public QObject, public DeveloperToolHost
{
public:
    explicit ToolHost(DeveloperWidget &widget)
        : QObject(&widget)
        , tab(widget)
    {
    }

    QString toolProject() const override { return tab.currentProject; }
    QString toolOpenFilePath() const override { return tab.currentFilePath; }
    QString toolEditorText() const override { return tab.editor->toPlainText(); }
    bool toolEditorModified() const override { return tab.editor->document()->isModified(); }

    void toolOpenFileWritten(const QString &content, const QByteArray &bytes) override
    {
        DeveloperWorkspace::decodeProjectText(bytes, tab.openFileFormat);
        // One edit the user can undo; written to disk, so the editor shows it as saved.
        QTextCursor cursor(tab.editor->document());
        cursor.beginEditBlock();
        cursor.select(QTextCursor::Document);
        cursor.insertText(content);
        cursor.endEditBlock();
        tab.editor->document()->setModified(false);
        tab.setItemModified(tab.currentFileItem, false);
    }

    void toolFileCreated(const QString &name, bool image) override
    {
        if (image)
            tab.addImageFileItem(name);
        else
            tab.addQmlFileItem(name);
    }

    void toolImageReplaced(const QString &name, const QImage &image) override
    {
        for (int row = 0; row < tab.fileList->count(); ++row) {
            QListWidgetItem *item = tab.fileList->item(row);
            if (storedName(item) != name)
                continue;
            item->setIcon(tab.imageThumbnail(tab.sourceFolder() + QLatin1Char('/') + name));
            // The image page shows the new picture when it is the one on view.
            if (item == tab.currentFileItem)
                tab.imageView->setSourcePixmap(QPixmap::fromImage(image));
            break;
        }
    }

    void toolIconWritten() override
    {
        tab.updateIconPreview();
        tab.refreshProjectFileIcon();
    }

    void toolProjectCreated(const QString &) override { tab.refreshProjectList(); }

    QString toolSaveUnsavedWork() override
    {
        QString error;
        if (tab.editor->document()->isModified() && !tab.saveCurrentQmlFile())
            return QFileInfo(tab.currentFilePath).fileName();
        if (storedName(tab.currentFileItem) == QLatin1String("version")
            && tab.versionEdit->isModified()
            && !DeveloperWorkspace::saveVersion(tab.currentProject, tab.versionEdit->text(), error))
            return QStringLiteral("version");
        return QString();
    }

    void toolOpenProject(const QString &name) override { tab.selectProjectByName(name); }
    QString toolRadioAddress() const override { return tab.radioIp; }

    QString toolDebugLog(int maxBytes, bool *wasOpen) override
    {
        *wasOpen = tab.debugWindow->isVisible();
        tab.debugWindow->openAndConnect();
        // Not a click: the toggle's own handler would show the window a second time.
        tab.debugToggleButton->setChecked(true);
        return tab.debugWindow->newestText(maxBytes);
    }

    void toolRunProject(const std::function<void(const QString &)> &done) override
    {
        DeveloperWidget *widget = &tab;
        tab.runProject([widget, done](bool, const QString &message) {
            // As after Play, the status line tells how the run ended.
            widget->statusLabel->setText(message);
            done(message);
        });
    }

private:
    DeveloperWidget &tab;
};

void DeveloperWidget::createToolBackend()
{
    toolBackend = new DeveloperToolBackend(new ToolHost(*this), scanner, networkManager, this);
    toolBackend->setObjectName(QStringLiteral("toolBackend"));
}

void DeveloperWidget::onAiToolCallRequested(const QString &toolUseId, const QString &toolName,
                                            const QJsonObject &input)
{
    toolBackend->call(toolName, input,
                      [this, toolUseId](const QString &text, const QByteArray &image) {
                          aiPanel->handleToolResult(toolUseId, text, image);
                      });
}
