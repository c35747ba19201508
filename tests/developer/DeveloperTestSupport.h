#pragma once

#include "DeveloperToolBackend.h"
#include "DeveloperWidget.h"
#include "FakeRadio.h"
#include "RadioScanner.h"
#include "RemoteTestSupport.h"
#include "TestSupport.h"
#include "WorkspaceTestSupport.h"

#include <QListWidget>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class FakeAiService;
class QLabel;
class QTimer;
class QPlainTextEdit;
class QToolButton;

namespace DeveloperTest {

// Everything a Developer tab test stands on: a fresh home (so the workspace is empty), the
// fake radio, a recording network manager, a scanner that sends nothing by itself, and the
// tab. The radio is known only after found().
struct TabFixture
{
    std::unique_ptr<WorkspaceTest::TemporaryHome> home;
    FakeRadio *radio = nullptr;
    RecordingNetworkManager *manager = nullptr;
    RadioScanner *scanner = nullptr;
    // Tests may hand the tab to a window of their own, which then deletes it.
    QPointer<DeveloperWidget> widget;

    void setUp();
    // Builds the tab (after any projects the test made) and shows it, active.
    void makeWidget();
    void tearDown();

    void found(FakeRadio *which = nullptr);
    void lost();

    template<typename T> T *child(const char *name) const
    {
        return widget->findChild<T *>(QString::fromLatin1(name));
    }
    QListWidget *projects() const { return child<QListWidget>("projectList"); }
    QListWidget *files() const { return child<QListWidget>("fileList"); }
    QPlainTextEdit *editor() const;
    QToolButton *button(const char *name) const;
    QString status() const;
    QString fileLabel() const;
    int page() const;
    QStringList projectTexts() const;
    QStringList fileTexts() const;

    void selectProject(const QString &name);
    void selectFile(const QString &storedName);
    QListWidgetItem *fileItem(const QString &storedName) const;
    // Types into the editor where the cursor is, as a user would.
    void typeInEditor(const QString &text);
    void pressSave();
};

// What the tab answered to one tool call: the tool_result's text and picture.
struct ToolAnswer
{
    QString text;
    QByteArray image;
    bool hasImageBlock = false;
};

// Calls a tool the way the model does: the service answers the next message with a tool_use
// block (then with a text), the panel hands the call to the tab, and the answer is read from
// the tool_result of the request that follows. Waits up to 15 s; the text "<no answer>" when
// none came.
ToolAnswer callTool(FakeAiService &service, DeveloperWidget *tab, const QString &name,
                    const QJsonObject &input = {});

// Calls a tool straight on the tab's back-end, without the panel and the service; the answer
// as the back-end gives it to the panel. Waits up to 15 s; "<no answer>" when none came, and
// "<n answers>" when it came more than once.
ToolAnswer callBackend(DeveloperWidget *tab, const QString &name, const QJsonObject &input = {});
ToolAnswer callBackend(DeveloperToolBackend *backend, const QString &name,
                       const QJsonObject &input = {});

// The tools' back-end without a tab: project (a folder of the workspace, "" none) stands
// open with no file in an editor, and the radio is at radioAddress ("" none). What the tab
// would show is recorded in events, one line each.
class BareToolHost : public DeveloperToolHost
{
public:
    QString project;
    QString radioAddress;
    QStringList events;

    QString toolProject() const override { return project; }
    QString toolOpenFilePath() const override { return QString(); }
    QString toolEditorText() const override { return QString(); }
    bool toolEditorModified() const override { return false; }
    void toolOpenFileWritten(const QString &, const QByteArray &) override;
    void toolFileCreated(const QString &name, bool image) override;
    void toolImageReplaced(const QString &name, const QImage &) override;
    void toolIconWritten() override;
    void toolProjectCreated(const QString &name) override;
    QString toolSaveUnsavedWork() override { return QString(); }
    void toolOpenProject(const QString &name) override;
    QString toolRadioAddress() const override { return radioAddress; }
    QString toolDebugLog(int, bool *wasOpen) override;
    void toolRunProject(const std::function<void(const QString &)> &done) override;
};

// Creates a project with its templates; fails the test on error.
bool makeProject(const QString &name, DeveloperWidget::ProjectType type);
QString projectFile(const QString &project, const QString &name);

// Opens the list's context menu on the item and clicks the action with that text (none:
// closes the menu). Returns the menu's action texts; empty when no menu opened.
QStringList useContextMenu(QListWidget *list, QListWidgetItem *item, const QString &action);

// Like ModalScript, but it ends with its scope: steps left over when a test ends (a warning
// that never came) cannot answer the next test's dialogs.
class ScopedModalScript
{
public:
    ScopedModalScript() = default;
    ~ScopedModalScript();
    ScopedModalScript(const ScopedModalScript &) = delete;
    ScopedModalScript &operator=(const ScopedModalScript &) = delete;

    void run(QList<ModalScript::Step> steps, int timeoutMs = 15000);
    std::shared_ptr<QStringList> texts = std::make_shared<QStringList>();

private:
    QPointer<QTimer> timer;
};

// A modal step that fills the dialog's "nameEdit" field and accepts, or rejects.
ModalScript::Step typeName(const QString &name);
ModalScript::Step rejectDialog();
ModalScript::Step clickButton(const char *objectName);

using TestSupport::OpenedUrls;

// The archive's member names in order, as Python's tarfile reads them.
QStringList tarMembers(const QString &archive);

} // namespace DeveloperTest
