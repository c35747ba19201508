// The chat panel as a user meets it: the typing reveal and code box, the busy line, dropped
// reference images, the keys of the input, Clear, and the plan page.
#include "AssistantTestSupport.h"
#include "TestImages.h"
#include "TestSupport.h"

#include "ChatInput.h"

#include <QBuffer>
#include <QClipboard>
#include <QDesktopServices>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWindow>

namespace {

QString writePng(const QTemporaryDir &dir, const QString &name, const QImage &image)
{
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG"))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QImage filled(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void drop(QWidget *target, const QStringList &files)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &f : files)
        urls.append(f.startsWith("http") ? QUrl(f) : QUrl::fromLocalFile(f));
    data->setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropEvent(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropEvent);
    delete data;
}

// Shrinking noise to a PNG the service takes, or checking a 28 MB body, is seconds of work
// under the sanitizers on a busy machine: such waits are long, and end as soon as it is done.
constexpr int PreparingMs = 120000;

QList<QFrame *> chips(const PanelFixture &f)
{
    return f.panel->findChildren<QFrame *>("attachmentChip");
}

// The sizes of the pictures in a request's last user message, in order.
QList<QSize> sentImageSizes(const QJsonArray &messages)
{
    QList<QSize> sizes;
    for (const QJsonValue &v : messages.last().toObject().value("content").toArray()) {
        const QJsonObject block = v.toObject();
        if (block.value("type").toString() != "image")
            continue;
        const QByteArray png = QByteArray::fromBase64(
            block.value("source").toObject().value("data").toString().toLatin1());
        sizes.append(QImage::fromData(png, "PNG").size());
    }
    return sizes;
}

// Records the key presses that get past the panel, as the main window would see them.
class KeyWitness : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys.append(event->key()); }
};

class UrlWitness : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

} // namespace

class AiAssistantPanelTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::unsetProxies(); }
    void construction();
    void typingRevealThreeCharactersPerTick();
    void newAnswerCompletesTheRevealWithItsCodeBox();
    void clearDuringRevealForgetsTheLabel();
    void busyLine();
    void droppedFilesBecomeChipsInOrder();
    void imagesWithoutText();
    void requestOver32MbRefusedAtSend();
    void inputKeys_data();
    void inputKeys();
    void escapeNeverReachesTheWindow();
    void longAnswerShownWhole();
    void copyHandsOverTheWordsAsSent();
    void keyboardStaysInTheChat_data();
    void keyboardStaysInTheChat();
    void escapeGuardWhereverTheFocusIs();
    void placeholderGoneForGood();
    void placeholderFitsTheBox_data();
    void placeholderFitsTheBox();
    void planBadgeAndUpgradeOpenThePlanPage();
};

void AiAssistantPanelTest::construction()
{
    PanelFixture f;
    QCOMPARE(f.child<QPushButton>("planBadge")->text(), QStringLiteral("Free"));
    QVERIFY(!f.upgradeButton()->isVisibleTo(f.panel.get()));
    QVERIFY(!f.stopButton()->isVisibleTo(f.panel.get()));
    QVERIFY(!f.child<QWidget>("attachmentStrip")->isVisibleTo(f.panel.get()));
    for (const char *name : {"fourHourBar", "limitLabel", "fourHourLabel", "weekBar", "weekLabel"})
        QVERIFY2(!f.child<QWidget>(name)->isVisibleTo(f.panel.get()), name);
    QCOMPARE(f.input()->height(), 72);
    QCOMPARE(f.input()->placeholderText(),
             QStringLiteral("Ask me to build or fix something, e.g. \"add a battery voltage "
                            "readout\" - I can read/write this project's files, run and check "
                            "the result myself, and you can drag a reference image in to show me "
                            "what you want..."));
    QVERIFY(f.panel->acceptDrops());
    QCOMPARE(AiAssistantWidget::planUrl(), QUrl("https://www.varnek.com/ai-plan/"));
    QCOMPARE(AiAssistantWidget::messagesUrl(), QUrl(f.service.url().toString() + "/v1/messages"));
    QCOMPARE(AiAssistantWidget::usageUrl(), QUrl(f.service.url().toString() + "/v1/usage"));
    QCOMPARE(AiAssistantWidget::spinnerPixmap(1, 12, 16).size(), QSize(16, 16));
}

void AiAssistantPanelTest::typingRevealThreeCharactersPerTick()
{
    PanelFixture f;
    auto *typeTimer = f.panel->findChild<QTimer *>("typeTimer");
    QStringList seen;
    // The tool call is emitted right after the reveal starts: hold the ticks there.
    QObject::connect(f.panel.get(), &AiAssistantWidget::toolCallRequested, f.panel.get(), [&]() {
        seen.append(f.chat().value(1));
        QCOMPARE(typeTimer->interval(), 20);
        QVERIFY(typeTimer->isActive());
        typeTimer->stop();
    });
    f.service.queueToolCalls("Hello!!", {{"list_files"}});
    f.send("hi");
    QTRY_COMPARE(seen.size(), 1);
    QMetaObject::invokeMethod(f.panel.get(), "onTypeTick");
    seen.append(f.chat().value(1));
    QMetaObject::invokeMethod(f.panel.get(), "onTypeTick");
    seen.append(f.chat().value(1));
    QCOMPARE(seen, QStringList({"answer: Hel", "answer: Hello!", "answer: Hello!!"}));
    QVERIFY(!typeTimer->isActive()); // finished with the last character
    f.stop();
}

void AiAssistantPanelTest::newAnswerCompletesTheRevealWithItsCodeBox()
{
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Manual);
    auto *typeTimer = f.panel->findChild<QTimer *>("typeTimer");
    QObject::connect(f.panel.get(), &AiAssistantWidget::toolCallRequested, typeTimer,
                     &QTimer::stop);
    f.service.queueToolCalls("Here is the file:\n```qml\nItem {\n    width: 10\n}\n```\nSaving it.",
                             {{"list_files"}});
    f.service.queueText("Saved.");
    f.send("show me");
    QTRY_COMPARE(owner.calls.size(), 1);
    QCOMPARE(f.chat().value(1), QStringLiteral("answer: Her"));
    owner.answerLast();
    QTRY_VERIFY(f.idle());
    QTRY_COMPARE(f.chat(),
                 QStringList({"user: show me", "answer: Here is the file:\n\nSaving it. [code]",
                              "tool: Listing project files...", "answer: Saved."}));
    auto *code = f.panel->findChild<QPlainTextEdit *>("codeBox");
    QCOMPARE(code->toPlainText(), QStringLiteral("Item {\n    width: 10\n}"));
    QVERIFY(code->isReadOnly());
    QCOMPARE(code->height(), 140);
    QCOMPARE(code->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(code->font().family(), QStringLiteral("Monospace"));
}

void AiAssistantPanelTest::clearDuringRevealForgetsTheLabel()
{
    PanelFixture f;
    auto *typeTimer = f.panel->findChild<QTimer *>("typeTimer");
    f.service.queueText(QString(600, QLatin1Char('x'))); // four seconds of typing
    f.send("long one");
    QTRY_VERIFY(f.idle());
    QVERIFY(typeTimer->isActive());
    f.clear();
    QVERIFY(!typeTimer->isActive());
    QCOMPARE(f.chat(), QStringList());
    // A tick that was already due must not write into the deleted bubble.
    QMetaObject::invokeMethod(f.panel.get(), "onTypeTick");
    QCOMPARE(f.chat(), QStringList());

    f.service.queueText("Fresh.");
    f.send("again");
    QTRY_COMPARE(f.chat(), QStringList({"user: again", "answer: Fresh."}));
    QCOMPARE(
        f.service.messages(1),
        QJsonArray({QJsonObject {
            {"role", "user"},
            {"content",
             QJsonArray {QJsonObject {{"type", "text"},
                                      {"text", "again"},
                                      {"cache_control", QJsonObject {{"type", "ephemeral"}}}}}}}}));
    VERIFY_BODIES(f);
}

void AiAssistantPanelTest::busyLine()
{
    PanelFixture f;
    auto *spinner = f.child<QLabel>("spinnerLabel");
    f.service.queueAnswer(FakeResponse::hang());
    f.send("wait");
    QCOMPARE(f.statusLabel()->text(), QStringLiteral("Thinking... (0s)"));
    QVERIFY(!spinner->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(f.panel->findChild<QTimer *>("busyTimer")->interval(), 130);
    QVERIFY(!f.input()->isEnabled());
    QVERIFY(f.stopButton()->isVisibleTo(f.panel.get()));
    QVERIFY(!f.sendButton()->isVisibleTo(f.panel.get()));
    f.stop();
    QCOMPARE(f.statusLabel()->text(), QString());
    QVERIFY(spinner->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(f.input()->isEnabled());
}

void AiAssistantPanelTest::droppedFilesBecomeChipsInOrder()
{
    PanelFixture f;
    QTemporaryDir dir;
    const QString wide = writePng(dir, "wide.png", filled(4000, 1000, Qt::red));
    const QString small = writePng(dir, "small.png", filled(30, 20, Qt::green));
    const QString notes = dir.filePath("notes.txt");
    QVERIFY(TestSupport::writeFile(notes, "not a picture"));

    drop(f.panel.get(), {wide, notes, "https://example.com/x.png", small});
    QTRY_COMPARE(chips(f).size(), 2);
    QVERIFY(f.child<QWidget>("attachmentStrip")->isVisibleTo(f.panel.get()));
    QCOMPARE(chips(f).at(0)->size(), QSize(48, 48));
    // Chips line up in the dropped order: the wide red one first.
    const QImage firstChip
        = chips(f).at(0)->findChild<QLabel *>()->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(firstChip.size(), QSize(44, 11));
    QCOMPARE(QColor(firstChip.pixel(20, 5)), QColor(Qt::red));

    // Removing the first leaves the second; removing the last hides the strip.
    drop(f.panel.get(), {small});
    QTRY_COMPARE(chips(f).size(), 3);
    chips(f).at(0)->findChild<QToolButton *>("removeAttachment")->click();
    QTRY_COMPARE(chips(f).size(), 2);
    QVERIFY(f.child<QWidget>("attachmentStrip")->isVisibleTo(f.panel.get()));

    f.send("like these");
    QTRY_VERIFY(f.idle());
    QCOMPARE(sentImageSizes(f.service.messages(0)), QList<QSize>({QSize(30, 20), QSize(30, 20)}));
    QVERIFY(!f.child<QWidget>("attachmentStrip")->isVisibleTo(f.panel.get()));
    QTRY_COMPARE(chips(f).size(), 0);
    // The user bubble shows both pictures as thumbnails.
    QCOMPARE(f.panel->findChildren<QLabel *>("thumbnail").size(), 2);

    drop(f.panel.get(), {wide});
    QTRY_COMPARE(chips(f).size(), 1);
    f.send("and this one");
    QTRY_VERIFY(f.idle());
    QCOMPARE(sentImageSizes(f.service.messages(1)), QList<QSize>({QSize(1568, 392)}));
    drop(f.panel.get(), {small});
    QTRY_COMPARE(chips(f).size(), 1);
    chips(f).at(0)->findChild<QToolButton *>("removeAttachment")->click();
    QVERIFY(!f.child<QWidget>("attachmentStrip")->isVisibleTo(f.panel.get()));
    VERIFY_BODIES(f);
}

void AiAssistantPanelTest::imagesWithoutText()
{
    PanelFixture f;
    QTemporaryDir dir;
    drop(f.panel.get(), {writePng(dir, "a.png", TestImages::noise(1568, 1568, 3))});
    QTRY_COMPARE_WITH_TIMEOUT(chips(f).size(), 1, PreparingMs);
    f.send("   ");
    QTRY_VERIFY_WITH_TIMEOUT(f.idle(), PreparingMs);
    const QJsonArray content = f.service.messages(0).last().toObject().value("content").toArray();
    QCOMPARE(content.size(), 1);
    QCOMPARE(content.at(0).toObject().value("type").toString(), QStringLiteral("image"));
    // A noisy full-size picture is shrunk until the service takes it (3.75 MB of PNG).
    const QByteArray png = QByteArray::fromBase64(
        content.at(0).toObject().value("source").toObject().value("data").toString().toLatin1());
    QVERIFY2(png.size() <= 3932160, QByteArray::number(png.size()));
    QCOMPARE(f.chat().value(0), QStringLiteral("user: "));
    VERIFY_BODIES(f);
}

void AiAssistantPanelTest::requestOver32MbRefusedAtSend()
{
    PanelFixture f;
    QTemporaryDir dir;
    // About 3.6 MB of PNG each, 4.8 MB as Base64: seven make a request over 32 MB.
    const QString picture = writePng(dir, "noise.png", TestImages::noise(1090, 1100, 11));
    QVERIFY(QFileInfo(picture).size() > 3500000);
    QStringList seven;
    for (int i = 0; i < 7; ++i)
        seven.append(picture);
    drop(f.panel.get(), seven);
    QTRY_COMPARE_WITH_TIMEOUT(chips(f).size(), 7, PreparingMs);
    f.send("all of them");
    QCOMPARE(f.manager.countFor("/v1/messages"), 0);
    QCOMPARE(f.chat(),
             QStringList({"error: Error: The request would be larger than the AI service accepts "
                          "(32 MB). Remove some images, or press Clear to start a new "
                          "conversation."}));
    QCOMPARE(f.input()->toPlainText(), QStringLiteral("all of them"));
    QCOMPARE(chips(f).size(), 7);
    QVERIFY(f.idle());

    chips(f).at(0)->findChild<QToolButton *>("removeAttachment")->click();
    QTRY_COMPARE(chips(f).size(), 6);
    f.send("all of them");
    QTRY_VERIFY_WITH_TIMEOUT(f.idle(), PreparingMs);
    QCOMPARE(f.service.messagesRequests().size(), 1);
    QVERIFY(f.service.messagesRequests().at(0).body.size() > 28000000);
    VERIFY_BODIES(f);
}

void AiAssistantPanelTest::inputKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("sends");
    QTest::addColumn<QString>("text"); // the input afterwards
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true << "";
    QTest::newRow("Enter") << int(Qt::Key_Enter) << int(Qt::NoModifier) << true << "";
    QTest::newRow("Shift+Return") << int(Qt::Key_Return) << int(Qt::ShiftModifier) << false
                                  << "first line\n";
    // The keypad sets a modifier flag of its own: a new line, not Send.
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << false
                                  << "first line\n";
    QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier) << false
                                 << "first line";
}

void AiAssistantPanelTest::inputKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, sends);
    PanelFixture f;
    f.type("first line");
    f.input()->moveCursor(QTextCursor::End);
    QTest::keyClick(f.input(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.manager.countFor("/v1/messages"), sends ? 1 : 0);
    QTEST(f.input()->toPlainText(), "text");
    QTRY_VERIFY(f.idle());
    VERIFY_BODIES(f);
}

void AiAssistantPanelTest::escapeNeverReachesTheWindow()
{
    FakeAiService service;
    QVERIFY(service.listen());
    AiServiceApi::setBaseUrl(service.url());
    QNetworkAccessManager manager;
    KeyWitness window;
    auto *panel = new AiAssistantWidget(&manager, &window);
    auto *input = panel->findChild<QPlainTextEdit *>("input");
    input->setPlainText("unsent work");
    QTest::keyClick(input, Qt::Key_Escape);
    QTest::keyClick(panel->findChild<QPushButton *>("sendButton"), Qt::Key_Escape);
    QTest::keyClick(panel, Qt::Key_Escape);
    QCOMPARE(window.keys, QList<int>());
    QCOMPARE(input->toPlainText(), QStringLiteral("unsent work"));
    // Other keys still travel up as usual.
    QTest::keyClick(panel, Qt::Key_F5);
    QCOMPARE(window.keys, QList<int>({Qt::Key_F5}));
}

void AiAssistantPanelTest::longAnswerShownWhole()
{
    // In labels of a bounded size: every character once, in order, the code box after them.
    PanelFixture f;
    f.panel->show();
    QString prose;
    for (int i = 0; prose.size() < 30000; ++i)
        prose += QStringLiteral("Sentence %1 of the long answer. ").arg(i)
            + (i % 7 == 6 ? "\n\n" : "") + (i % 50 == 0 ? QString(300, 'z') + " " : "");
    prose = prose.trimmed();
    f.service.queueText(prose + "\n```qml\nItem {}\n```");
    f.service.queueText("Short.");
    f.send("Tell me everything");
    QTRY_VERIFY(f.idle());
    QVERIFY(f.child<QTimer>("typeTimer")->isActive());
    f.send("Next"); // its answer finishes the reveal at once
    QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: Short."));
    QTRY_VERIFY(!f.child<QTimer>("fillTimer")->isActive());
    auto *bubble = f.panel->findChildren<QFrame *>("answerBubble").value(0);
    QVERIFY(bubble);
    const auto labels = bubble->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY2(labels.size() >= 8, qPrintable(QString::number(labels.size())));
    QString shown;
    for (QLabel *label : labels) {
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QString text = label->text().remove(QChar(0x200B));
        QVERIFY(text.size() <= 4000);
        shown += text;
    }
    const auto noSpace = [](QString t) {
        return t.remove(QRegularExpression("\\s"));
    };
    QCOMPARE(noSpace(shown), noSpace(prose));
    auto *codeBox = bubble->findChild<QPlainTextEdit *>("codeBox");
    QVERIFY(codeBox);
    QCOMPARE(codeBox->toPlainText(), QStringLiteral("Item {}"));
    QVERIFY(codeBox->y() > labels.last()->y());
    VERIFY_BODIES(f);
}

void AiAssistantPanelTest::copyHandsOverTheWordsAsSent()
{
    // The long word wraps on hidden break hints; Ctrl+C must not carry them into a project.
    PanelFixture f;
    f.panel->show();
    const QString word = QStringLiteral("id") + QString(198, 'q');
    f.service.queueText("Use " + word + " there.");
    f.send("Name it");
    QTRY_VERIFY(f.idle());
    QTRY_VERIFY(!f.child<QTimer>("typeTimer")->isActive());
    auto *bubble = f.panel->findChildren<QFrame *>("answerBubble").value(0);
    QVERIFY(bubble);
    QLabel *label = bubble->findChild<QLabel *>();
    QVERIFY(label);
    QVERIFY(label->text().contains(QChar(0x200B)));
    label->setFocus();
    label->setSelection(0, int(label->text().size()));
    QApplication::clipboard()->clear();
    QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), "Use " + word + " there.");
}

namespace {

// The panel in a shown, active window that records the keys reaching it.
struct WindowedPanel
{
    FakeAiService service;
    QNetworkAccessManager manager;
    KeyWitness window;
    AiAssistantWidget *panel = nullptr;

    bool setUp()
    {
        if (!service.listen())
            return false;
        AiServiceApi::setBaseUrl(service.url());
        auto *layout = new QVBoxLayout(&window);
        panel = new AiAssistantWidget(&manager, &window);
        layout->addWidget(panel);
        window.resize(360, 640);
        window.show();
        return QTest::qWaitForWindowActive(&window);
    }
    template<typename T> T *child(const char *name) const
    {
        return panel->findChild<T *>(QLatin1String(name));
    }
    QPlainTextEdit *input() const { return child<QPlainTextEdit>("input"); }
    // Keys as the keyboard gives them: to the window, which hands them to its focus.
    void press(Qt::Key key) { QTest::keyClick(window.windowHandle(), key); }
    void typeKeys(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(window.windowHandle(), c.toLatin1());
    }
    bool idle() const
    {
        return child<QPushButton>("sendButton")->isVisible()
            && !child<QTimer>("typeTimer")->isActive();
    }
    int bubbles() const
    {
        return child<QScrollArea>("chatScroll")
            ->widget()
            ->findChildren<QFrame *>(QString(), Qt::FindDirectChildrenOnly)
            .size();
    }
};

} // namespace

void AiAssistantPanelTest::keyboardStaysInTheChat_data()
{
    QTest::addColumn<bool>("withReturn");
    QTest::newRow("Return") << true;
    QTest::newRow("Send button") << false;
}

void AiAssistantPanelTest::keyboardStaysInTheChat()
{
    QFETCH(bool, withReturn);
    WindowedPanel w;
    QVERIFY(w.setUp());
    // The tool is answered when the test says: until then the panel stays busy after the
    // first request, however late the test looks.
    ToolOwner owner(w.panel, ToolOwner::Manual);
    w.service.queueToolCalls("Let me look.", {{"list_files"}});
    w.service.queueText("Done, see app.qml.");
    QTest::mouseClick(w.input()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTRY_VERIFY(w.input()->hasFocus());
    w.typeKeys("make a page");
    if (withReturn)
        w.press(Qt::Key_Return);
    else
        QTest::mouseClick(w.child<QPushButton>("sendButton"), Qt::LeftButton);
    QTRY_COMPARE(w.service.messagesRequests().size(), 1);
    // While busy, Escape still stays in the panel.
    w.press(Qt::Key_Escape);
    QTRY_COMPARE(owner.calls.size(), 1);
    owner.answerLast();
    QTRY_COMPARE(w.service.messagesRequests().size(), 2);
    QTRY_VERIFY(w.idle());
    // No click: the next keys go to the input, and Escape ends nothing.
    w.typeKeys("and more");
    QCOMPARE(w.input()->toPlainText(), QStringLiteral("and more"));
    QVERIFY(w.input()->hasFocus());
    w.press(Qt::Key_Escape);
    QCOMPARE(w.window.keys, QList<int>());
    QCOMPARE(w.input()->toPlainText(), QStringLiteral("and more"));
    QCOMPARE(w.bubbles(), 4); // user, answer, tool, answer
    VERIFY_BODIES(w);
}

void AiAssistantPanelTest::escapeGuardWhereverTheFocusIs()
{
    WindowedPanel w;
    QVERIFY(w.setUp());
    w.service.queueText("Here:\n```qml\nItem {}\n```\nDone.");
    QTest::mouseClick(w.input()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    w.typeKeys("code please");
    w.press(Qt::Key_Return);
    QTRY_VERIFY(w.idle());
    QVERIFY(w.panel->findChild<QPlainTextEdit *>("codeBox"));
    QStringList reached;
    QList<QWidget *> targets {w.panel};
    for (QWidget *child : w.panel->findChildren<QWidget *>()) {
        if (child->isVisible() && child->focusPolicy() != Qt::NoFocus)
            targets.append(child);
    }
    QVERIFY(targets.size() > 4);
    for (QWidget *target : qAsConst(targets)) {
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        w.press(Qt::Key_Escape);
        if (!w.window.keys.isEmpty())
            reached.append(QString::fromLatin1(target->metaObject()->className()) + " "
                           + target->objectName());
        w.window.keys.clear();
    }
    QCOMPARE(reached, QStringList());
    QCOMPARE(w.bubbles(), 2);
}

void AiAssistantPanelTest::placeholderGoneForGood()
{
    PanelFixture f;
    QVERIFY(!f.input()->placeholderText().isEmpty());
    QTest::mouseClick(f.input()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QCOMPARE(f.input()->placeholderText(), QString());
    f.send("x");
    QTRY_VERIFY(f.idle());
    f.clear();
    QCOMPARE(f.input()->placeholderText(), QString());
}

void AiAssistantPanelTest::placeholderFitsTheBox_data()
{
    QTest::addColumn<int>("panelWidth");
    QTest::addColumn<bool>("cut");
    QTest::newRow("narrow panel") << 300 << true;
    QTest::newRow("usual panel") << 420 << true;
    QTest::newRow("very wide panel") << 3000 << false;
}

// The placeholder is drawn in whole lines that fit the 72 px box; when the box cannot hold it
// all, the last line ends in an ellipsis and the whole text is the tool tip.
void AiAssistantPanelTest::placeholderFitsTheBox()
{
    QFETCH(int, panelWidth);
    QFETCH(bool, cut);
    PanelFixture f;
    f.panel->resize(panelWidth, 640);
    f.panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.panel.get()));
    auto *input = f.input();
    QCOMPARE(input->height(), 72);
    const QString text = input->placeholderText();
    const int margin = int(input->document()->documentMargin());
    const QSize area = input->viewport()->rect().adjusted(margin, margin, -margin, -margin).size();
    const QFontMetrics metrics(input->font());

    bool reportedCut = !cut;
    const QStringList lines = ChatInput::placeholderLines(text, input->font(), area, &reportedCut);
    QCOMPARE(reportedCut, cut);
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.size() * metrics.lineSpacing() <= qMax(area.height(), metrics.lineSpacing()),
             qPrintable(QString::number(lines.size())));
    for (const QString &line : lines)
        QVERIFY2(metrics.horizontalAdvance(line) <= area.width(), qPrintable(line));
    const QString shown = lines.join(QLatin1Char(' ')).simplified();
    const QString ellipsis(QChar(0x2026));
    if (cut) {
        QVERIFY2(lines.last().endsWith(ellipsis), qPrintable(lines.last()));
        QString kept = shown;
        kept.chop(1);
        QVERIFY2(text.simplified().startsWith(kept.trimmed()), qPrintable(shown));
        QVERIFY(kept.size() < text.simplified().size());
    } else {
        QCOMPARE(shown, text.simplified());
    }

    input->viewport()->repaint();
    QCOMPARE(input->toolTip(), cut ? text : QString());
    // Typing hides the placeholder and its tool tip with it.
    input->setPlainText(QStringLiteral("x"));
    input->viewport()->repaint();
    QCOMPARE(input->toolTip(), QString());
}

void AiAssistantPanelTest::planBadgeAndUpgradeOpenThePlanPage()
{
    PanelFixture f;
    UrlWitness witness;
    QDesktopServices::setUrlHandler("https", &witness, "open");
    f.child<QPushButton>("planBadge")->click();
    f.upgradeButton()->click();
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(witness.opened,
             QList<QUrl>({QUrl("https://www.varnek.com/ai-plan/"),
                          QUrl("https://www.varnek.com/ai-plan/")}));
}

QTEST_MAIN(AiAssistantPanelTest)
#include "tst_aiassistantpanel.moc"
