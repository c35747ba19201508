#include "DeveloperTestSupport.h"

#include "AiAssistantWidget.h"
#include "AiServiceApi.h"
#include "DeveloperToolBackend.h"
#include "DeveloperWorkspace.h"
#include "FakeAiService.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace DeveloperTest {

void TabFixture::setUp()
{
    home = std::make_unique<WorkspaceTest::TemporaryHome>();
    // The assistant talks to nothing unless a test gives it a fake service.
    AiServiceApi::setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:1")));
    radio = new FakeRadio();
    if (!radio->listen())
        qFatal("the fake radio cannot listen");
    radio->setResponse("/upload.html", FakeResponse::text("OK"));
    radio->setResponse("/app/exec", FakeResponse::text("OK"));
    radio->setResponse("/model/base/exec", FakeResponse::text("OK"));
    radio->setResponse("/model/base/delete", FakeResponse::text("OK"));
    manager = new RecordingNetworkManager();
    scanner = new RadioScanner();
    scanner->networkManager = manager;
}

void TabFixture::makeWidget()
{
    widget = new DeveloperWidget(scanner);
    widget->resize(1100, 700);
    widget->show();
    widget->activateWindow();
    if (!QTest::qWaitForWindowActive(widget))
        qWarning("the tab did not become active");
}

void TabFixture::tearDown()
{
    delete widget.data();
    delete scanner;
    delete manager;
    delete radio;
    home.reset();
}

void TabFixture::found(FakeRadio *which)
{
    scanner->ip = (which ? which : radio)->address();
    scanner->networkName = QStringLiteral("KeloNet");
    scanner->modelName = QStringLiteral("Heli 450");
    emit scanner->deviceFound(scanner->ip, scanner->networkName, scanner->modelName);
}

void TabFixture::lost()
{
    scanner->ip.clear();
    scanner->serial.clear();
    emit scanner->deviceNotFound();
}

QPlainTextEdit *TabFixture::editor() const
{
    return child<QPlainTextEdit>("editor");
}

QToolButton *TabFixture::button(const char *name) const
{
    return child<QToolButton>(name);
}

QString TabFixture::status() const
{
    return child<QLabel>("statusLabel")->text();
}

QString TabFixture::fileLabel() const
{
    return child<QLabel>("fileLabel")->text();
}

int TabFixture::page() const
{
    return child<QStackedWidget>("pageStack")->currentIndex();
}

static QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int row = 0; row < list->count(); ++row)
        out << list->item(row)->text();
    return out;
}

QStringList TabFixture::projectTexts() const
{
    return texts(projects());
}

QStringList TabFixture::fileTexts() const
{
    return texts(files());
}

void TabFixture::selectProject(const QString &name)
{
    const auto items = projects()->findItems(name, Qt::MatchExactly);
    if (items.isEmpty())
        qFatal("no project %s", qPrintable(name));
    projects()->setCurrentItem(items.first());
}

QListWidgetItem *TabFixture::fileItem(const QString &storedName) const
{
    for (int row = 0; row < files()->count(); ++row) {
        if (files()->item(row)->data(Qt::UserRole).toString() == storedName)
            return files()->item(row);
    }
    return nullptr;
}

void TabFixture::selectFile(const QString &storedName)
{
    QListWidgetItem *item = fileItem(storedName);
    if (!item)
        qFatal("no file entry %s", qPrintable(storedName));
    files()->setCurrentItem(item);
}

void TabFixture::typeInEditor(const QString &text)
{
    editor()->setFocus();
    QTest::keyClicks(editor(), text);
}

void TabFixture::pressSave()
{
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : widget;
    QTest::keySequence(target, QKeySequence(QKeySequence::Save));
}

ToolAnswer callTool(FakeAiService &service, DeveloperWidget *tab, const QString &name,
                    const QJsonObject &input)
{
    auto *assistant = tab->findChild<AiAssistantWidget *>(QStringLiteral("aiPanel"));
    auto *send = assistant->findChild<QPushButton *>(QStringLiteral("sendButton"));
    const int before = service.messagesRequests().size();
    const QString id = service.queueToolCalls(QString(), {{name, input}}).first();
    service.queueText(QStringLiteral("OK."));
    assistant->findChild<QPlainTextEdit *>(QStringLiteral("input"))
        ->setPlainText(QStringLiteral("Go on."));
    QMetaObject::invokeMethod(assistant, "onSendClicked");
    ToolAnswer answer {QStringLiteral("<no answer>"), {}};
    // The network tools answer from the event loop; a radio that never answers takes 5 s.
    if (!QTest::qWaitFor([&]() { return service.messagesRequests().size() >= before + 2; }, 15000)
        || !QTest::qWaitFor([&]() { return !send->isHidden(); }, 15000))
        return answer;
    const QJsonArray messages = service.messages(before + 1);
    const QJsonArray content = messages.last().toObject().value("content").toArray();
    for (const QJsonValue &block : content) {
        const QJsonObject result = block.toObject();
        if (result.value("type") != "tool_result" || result.value("tool_use_id") != id)
            continue;
        answer.text = FakeAiService::toolResultText(result);
        answer.hasImageBlock = result.value("content").toArray().size() > 1;
        answer.image = FakeAiService::toolResultImage(result);
    }
    return answer;
}

ToolAnswer callBackend(DeveloperWidget *tab, const QString &name, const QJsonObject &input)
{
    return callBackend(tab->findChild<DeveloperToolBackend *>(QStringLiteral("toolBackend")), name,
                       input);
}

ToolAnswer callBackend(DeveloperToolBackend *backend, const QString &name, const QJsonObject &input)
{
    auto answer = std::make_shared<ToolAnswer>();
    auto answers = std::make_shared<int>(0);
    backend->call(name, input, [answer, answers](const QString &text, const QByteArray &image) {
        ++*answers;
        answer->text = text;
        answer->image = image;
        answer->hasImageBlock = !image.isEmpty();
    });
    // The network tools answer from the event loop; a radio that never answers takes 5 s.
    if (!QTest::qWaitFor([&]() { return *answers > 0; }, 15000))
        return {QStringLiteral("<no answer>"), {}};
    // Exactly once: a second answer would be a second tool_result of the same call.
    QTest::qWait(0);
    if (*answers != 1)
        return {QStringLiteral("<%1 answers>").arg(*answers), {}};
    return *answer;
}

void BareToolHost::toolOpenFileWritten(const QString &, const QByteArray &)
{
    events.append(QStringLiteral("open file written"));
}

void BareToolHost::toolFileCreated(const QString &name, bool image)
{
    events.append(QStringLiteral("created %1%2").arg(name, image ? " (image)" : ""));
}

void BareToolHost::toolImageReplaced(const QString &name, const QImage &)
{
    events.append(QStringLiteral("replaced %1").arg(name));
}

void BareToolHost::toolIconWritten()
{
    events.append(QStringLiteral("icon written"));
}

void BareToolHost::toolProjectCreated(const QString &name)
{
    events.append(QStringLiteral("project %1 listed").arg(name));
}

void BareToolHost::toolOpenProject(const QString &name)
{
    events.append(QStringLiteral("project %1 opened").arg(name));
    project = name;
}

QString BareToolHost::toolDebugLog(int, bool *wasOpen)
{
    events.append(QStringLiteral("debug log read"));
    *wasOpen = false;
    return QString();
}

void BareToolHost::toolRunProject(const std::function<void(const QString &)> &done)
{
    events.append(QStringLiteral("run"));
    done(QStringLiteral("No radio here."));
}

bool makeProject(const QString &name, DeveloperWidget::ProjectType type)
{
    QString error;
    if (!DeveloperWorkspace::createProject(name, type, error)) {
        qWarning() << "cannot create project" << name << error;
        return false;
    }
    return true;
}

QString projectFile(const QString &project, const QString &name)
{
    return DeveloperWorkspace::projectPath(project) + QLatin1Char('/') + name;
}

QStringList useContextMenu(QListWidget *list, QListWidgetItem *item, const QString &action)
{
    auto seen = std::make_shared<QStringList>();
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&timer, seen, action]() {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        timer.stop();
        for (QAction *a : menu->actions())
            seen->append(a->text());
        for (QAction *a : menu->actions()) {
            if (a->text() == action) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                return;
            }
        }
        menu->close();
    });
    timer.start();
    // A real right-button press on the row, through the window: the list gets the press and
    // the window turns it into the context menu event, as on the desktop.
    QWidget *viewport = list->viewport();
    QWindow *window = viewport->window()->windowHandle();
    const QPoint at = viewport->mapTo(viewport->window(), list->visualItemRect(item).center());
    QTest::mousePress(window, Qt::RightButton, {}, at);
    timer.stop();
    QTest::mouseRelease(window, Qt::RightButton, {}, at);
    return *seen;
}

ScopedModalScript::~ScopedModalScript()
{
    delete timer.data();
}

void ScopedModalScript::run(QList<ModalScript::Step> steps, int timeoutMs)
{
    delete timer.data();
    timer = new QTimer();
    timer->setInterval(10);
    // Every dialog a step was given: a file dialog is modal again for a moment after its
    // overwrite question closes, and must not take the next step.
    auto handled = std::make_shared<QList<QPointer<QWidget>>>();
    auto remaining = std::make_shared<QList<ModalScript::Step>>(std::move(steps));
    const QDeadlineTimer deadline(timeoutMs);
    auto out = texts;
    QTimer *t = timer;
    QObject::connect(t, &QTimer::timeout, t, [=]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (deadline.hasExpired()) {
            // Never leave a test blocked in a modal loop.
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                t->stop();
            return;
        }
        if (!modal || handled->contains(modal) || remaining->isEmpty())
            return;
        handled->append(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            out->append(box->text());
        remaining->takeFirst()(modal);
    });
    timer->start();
}

ModalScript::Step typeName(const QString &name)
{
    return [name](QWidget *w) {
        auto *edit = w->findChild<QLineEdit *>(QStringLiteral("nameEdit"));
        auto *dialog = qobject_cast<QDialog *>(w);
        if (!edit || !dialog) {
            qWarning() << "expected a name dialog, got" << w;
            if (dialog)
                dialog->reject();
            return;
        }
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, name);
        QTimer::singleShot(0, dialog, [dialog]() { dialog->accept(); });
    };
}

ModalScript::Step rejectDialog()
{
    return [](QWidget *w) {
        if (auto *dialog = qobject_cast<QDialog *>(w))
            QTimer::singleShot(0, dialog, [dialog]() { dialog->reject(); });
    };
}

ModalScript::Step clickButton(const char *objectName)
{
    const QString name = QString::fromLatin1(objectName);
    return [name](QWidget *w) {
        auto *button = w->findChild<QPushButton *>(name);
        if (!button) {
            qWarning() << "no button" << name << "in" << w;
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
            return;
        }
        QTimer::singleShot(0, button, [button]() { button->click(); });
    };
}

QStringList tarMembers(const QString &archive)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral(
                      "import sys, tarfile\n"
                      "with tarfile.open(sys.argv[1], 'r:') as t:\n"
                      "    for m in t.getmembers(): print(m.name + ('/' if m.isdir() else ''))\n"),
                  archive});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << "tarfile could not read" << archive << python.readAllStandardError();
        return {};
    }
    return QString::fromUtf8(python.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace DeveloperTest
