// Renders the assistant panel in the program's theme mid-conversation against the fake
// service and writes PNGs (to KELO_SCREENSHOT_DIR, or the temp folder) to be looked at.
#include "AppTheme.h"
#include "AssistantTestSupport.h"
#include "DeveloperTestSupport.h"
#include "KeloResources.h"
#include "TestSupport.h"

#include <QDir>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <QTemporaryDir>

namespace {

QString outPath(const QString &name)
{
    return QDir(qEnvironmentVariable("KELO_SCREENSHOT_DIR", QDir::tempPath())).filePath(name);
}

// A hand-drawn looking mockup of a radio screen.
QImage mockup()
{
    QImage image(800, 480, QImage::Format_RGB32);
    image.fill(QColor("#14202e"));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 4));
    p.drawRoundedRect(QRect(40, 60, 720, 260), 24, 24);
    QFont f = p.font();
    f.setPixelSize(120);
    p.setFont(f);
    p.drawText(QRect(40, 60, 720, 260), Qt::AlignCenter, "12.4 V");
    return image;
}

QByteArray radioScreenshot()
{
    QImage image(800, 480, QImage::Format_RGB32);
    image.fill(QColor("#0b1724"));
    QPainter p(&image);
    p.fillRect(0, 0, 800, 40, QColor("#0a84ff"));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(90);
    p.setFont(f);
    p.drawText(QRect(30, 70, 740, 230), Qt::AlignCenter, "12.4 V");
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// Lays out what the last steps added, as the event loop would before the next frame.
void settleLayouts()
{
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
}

void dropImage(QWidget *target, const QImage &image)
{
    QMimeData data;
    data.setImageData(image);
    // The application delivers a drop to the widget that took the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

} // namespace

#define VERIFY_BODIES_OF(service)                                                                  \
    do {                                                                                           \
        const QStringList problems                                                                 \
            = service.problems() + MessagesBodyValidator::checkWithPython(service.bodies());       \
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));                             \
    } while (false)

class AssistantScreenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        TestSupport::unsetProxies();
        initKeloResources();
        applyAppTheme(*qApp);
    }
    void midConversation_data();
    void midConversation();
    void developerTab_data();
    void developerTab();
    void nothingWiderThanThePanel_data();
    void nothingWiderThanThePanel();
};

void AssistantScreenshots::midConversation_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("splitter width, first start") << QSize(320, 680);
    QTest::newRow("1366x768 window") << QSize(320, 600);
    QTest::newRow("640x600 window") << QSize(240, 520);
}

void AssistantScreenshots::midConversation()
{
    QFETCH(QSize, size);
    PanelFixture f;
    f.panel->resize(size);
    f.panel->show();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    f.service.queueUsage(FakeResponse::json(
        QByteArray(R"({"fourHourTokens":4250,"fourHourLimit":5000,"weekTokens":61234,)")
        + R"("weekLimit":250000,"plan":"pro","fourHourResetAt":)"
        + QByteArray::number(now + 90 * 60000) + "}"));
    f.panel->setRadioSerial("12-AB-3-4-5-6");
    QTRY_VERIFY(f.child<QProgressBar>("fourHourBar")->isVisible());
    QTest::mouseClick(f.child<QProgressBar>("fourHourBar"), Qt::LeftButton, Qt::NoModifier,
                      QPoint(5, 2));

    ToolOwner owner(f.panel.get(), ToolOwner::Deferred);
    owner.reply = [](const ToolOwner::Call &call) {
        if (call.name == "take_screenshot")
            return ToolOwner::Answer {"Screenshot taken.", radioScreenshot()};
        return ToolOwner::Answer {"Done.", QByteArray()};
    };
    f.service.queueToolCalls("Let me look at the current screen first.",
                             {{"read_file", {{"filename", "app.qml"}}}});
    f.service.queueToolCalls(
        "Here is the new readout:\n```qml\nGroupFrame {\n    x: 30; y: 30\n    width: 740; "
        "height: 270\n    Label {\n        anchors.centerIn: parent\n        text: "
        "stat_battery.toFixed(1) + \" V\"\n    }\n}\n```\nI'll run it and check the screen.",
        {{"write_file", {{"filename", "app.qml"}, {"content", "Item {}"}}},
         {"run_project"},
         {"take_screenshot"}});
    f.service.queueText("The voltage readout is in place and fits above the footer. "
                        "Tell me if you want a larger font or a low-battery colour.");
    dropImage(f.panel.get(), mockup());
    QTRY_COMPARE(f.panel->findChildren<QFrame *>("attachmentChip").size(), 1);
    f.send("Make a battery voltage readout like this mockup");
    QTRY_VERIFY(f.idle());
    QTRY_COMPARE(f.chat().last(),
                 QStringLiteral("answer: The voltage readout is in place and fits above the "
                                "footer. Tell me if you want a larger font or a low-battery "
                                "colour."));
    f.service.queueAnswer(FakeResponse::hang());
    f.send("Make the text red below 11 V");
    dropImage(f.panel.get(), mockup().scaled(400, 240));
    QTRY_COMPARE(f.panel->findChildren<QFrame *>("attachmentChip").size(), 1);
    f.type("and add a small battery icon");
    const QString name
        = QStringLiteral("kelo-assistant-panel-%1x%2").arg(size.width()).arg(size.height());
    QVERIFY(f.panel->grab().save(outPath(name + ".png")));
    auto *bar = f.child<QScrollArea>("chatScroll")->verticalScrollBar();
    bar->setValue(0);
    QVERIFY(f.panel->grab().save(outPath(name + "-top.png")));
    f.stop();
    VERIFY_BODIES(f);
}

void AssistantScreenshots::developerTab_data()
{
    // The tab's area in the main window: beside the left tab bar, under the status strip.
    QTest::addColumn<QSize>("size");
    QTest::newRow("1366x768 window") << QSize(1250, 690);
    QTest::newRow("640x600 window") << QSize(530, 520);
}

void AssistantScreenshots::developerTab()
{
    QFETCH(QSize, size);
    DeveloperTest::TabFixture tab;
    tab.setUp();
    QVERIFY(DeveloperTest::makeProject("Voltmeter", DeveloperWidget::ProjectType::Application));
    tab.makeWidget();
    tab.widget->resize(size);
    tab.selectProject("Voltmeter");
    tab.selectFile("app.qml");

    FakeAiService service;
    QVERIFY(service.listen());
    AiServiceApi::setBaseUrl(service.url());
    service.queueUsage(FakeResponse::json(
        QByteArray(R"({"fourHourTokens":3100,"fourHourLimit":5000,"weekTokens":21000,)")
        + R"("weekLimit":250000,"plan":"pro"})"));
    tab.found();
    tab.scanner->serial = "12-AB-3-4-5-6";
    emit tab.scanner->serialFound(tab.scanner->serial);

    auto *panel = tab.widget->findChild<AiAssistantWidget *>("aiPanel");
    QVERIFY(panel);
    auto *input = panel->findChild<QPlainTextEdit *>("input");
    auto *sendButton = panel->findChild<QPushButton *>("sendButton");
    QTRY_VERIFY(panel->findChild<QProgressBar *>("fourHourBar")->isVisible());
    service.queueToolCalls("I'll read the current file first.",
                           {{"read_file", {{"filename", "app.qml"}}}});
    service.queueText("The screen already has a frame; I'll add the readout inside it:\n```qml\n"
                      "Label {\n    anchors.centerIn: parent\n    text: stat_battery + \" V\"\n}"
                      "\n```\nShall I run it on the radio?");
    input->setPlainText("Add a battery voltage readout");
    QMetaObject::invokeMethod(panel, "onSendClicked");
    QTRY_VERIFY(sendButton->isVisible());
    QTRY_VERIFY(!panel->findChild<QTimer *>("typeTimer")->isActive());
    service.queueAnswer(FakeResponse::hang());
    input->setPlainText("Yes, run it");
    QMetaObject::invokeMethod(panel, "onSendClicked");
    QTRY_VERIFY(panel->findChild<QPushButton *>("stopButton")->isVisible());
    settleLayouts();
    QVERIFY(tab.widget->grab().save(outPath(QStringLiteral("kelo-developer-tab-assistant-%1x%2.png")
                                                .arg(size.width())
                                                .arg(size.height()))));
    QMetaObject::invokeMethod(panel, "onStopClicked");
    VERIFY_BODIES_OF(service);
    tab.tearDown();
}

void AssistantScreenshots::nothingWiderThanThePanel_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1066x666 window") << QSize(950, 588);
    QTest::newRow("1366x768 window") << QSize(1250, 690);
}

// Four thumbnails in one bubble, a 200-character word and twelve chips: the chat column, the
// strip and the input row all stay inside the panel.
void AssistantScreenshots::nothingWiderThanThePanel()
{
    QFETCH(QSize, size);
    DeveloperTest::TabFixture tab;
    tab.setUp();
    QVERIFY(DeveloperTest::makeProject("Voltmeter", DeveloperWidget::ProjectType::Application));
    tab.makeWidget();
    tab.widget->resize(size);
    tab.selectProject("Voltmeter");
    tab.selectFile("app.qml");
    tab.widget->show();
    FakeAiService service;
    QVERIFY(service.listen());
    AiServiceApi::setBaseUrl(service.url());
    auto *panel = tab.widget->findChild<AiAssistantWidget *>("aiPanel");
    QVERIFY(panel);
    auto *input = panel->findChild<QPlainTextEdit *>("input");
    const auto chips = [panel]() {
        return panel->findChildren<QFrame *>("attachmentChip").size();
    };

    QString word;
    for (int i = 0; i < 200; ++i)
        word.append(QChar('a' + i % 26));
    for (int i = 0; i < 4; ++i)
        dropImage(panel, mockup().scaled(800 - i * 150, 480));
    QTRY_COMPARE(chips(), 4);
    service.queueText("That word again: " + word);
    input->setPlainText("Match these four, and this word: " + word);
    QMetaObject::invokeMethod(panel, "onSendClicked");
    QTRY_VERIFY(panel->findChild<QPushButton *>("sendButton")->isVisible());
    QTRY_VERIFY(!panel->findChild<QTimer *>("typeTimer")->isActive());
    for (int i = 0; i < 12; ++i)
        dropImage(panel, mockup().scaled(200 + i * 40, 120));
    QTRY_COMPARE(chips(), 12);
    input->setPlainText("Now these twelve");
    settleLayouts();

    auto *chat = panel->findChild<QScrollArea *>("chatScroll");
    const QRect column = chat->viewport()->rect();
    QVERIFY2(chat->widget()->width() <= column.width(),
             qPrintable(QStringLiteral("column %1 wide in a %2 view")
                            .arg(chat->widget()->width())
                            .arg(column.width())));
    for (QWidget *w : chat->widget()->findChildren<QWidget *>()) {
        if (!w->isVisible())
            continue;
        const QRect r(w->mapTo(chat->viewport(), QPoint(0, 0)), w->size());
        QVERIFY2(
            r.right() <= column.right(),
            qPrintable(w->objectName()
                       + QStringLiteral(" ends at %1 of %2").arg(r.right()).arg(column.right())));
    }
    const QRect inside = panel->rect();
    for (const char *name : {"attachmentStrip", "input", "sendButton", "clearButton"}) {
        auto *w = panel->findChild<QWidget *>(name);
        const QRect r(w->mapTo(panel, QPoint(0, 0)), w->size());
        QVERIFY2(inside.contains(r), name);
    }
    // The four thumbnails in view, then the end of the chat.
    const QString name = QStringLiteral("kelo-assistant-narrow-%1-window")
                             .arg(QString::fromLatin1(QTest::currentDataTag()).section(' ', 0, 0));
    chat->verticalScrollBar()->setValue(0);
    settleLayouts();
    QVERIFY(tab.widget->grab().save(outPath(name + "-top.png")));
    chat->verticalScrollBar()->setValue(chat->verticalScrollBar()->maximum());
    settleLayouts();
    QVERIFY(tab.widget->grab().save(outPath(name + ".png")));
    VERIFY_BODIES_OF(service);
    tab.tearDown();
}

QTEST_MAIN(AssistantScreenshots)
#include "tst_assistantscreenshots.moc"
