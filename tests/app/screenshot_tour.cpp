// Screenshots of every tab with content, taken from the X server the program draws on (not
// rendered by the widgets themselves), at the first-start size, 1366 x 768 and 640 x 600.
// Runs as the whole program with a hook: the radio is whatever the program's own sweep finds
// (the demo radio in screenshot_tour.sh's namespace); the assistant talks to a scripted AI
// service inside the program on loopback, its address set through the service's test setter.
//   screenshot_tour OUTDIR      (run it through screenshot_tour.sh)
#include "AiAssistantWidget.h"
#include "AiServiceApi.h"
#include "DeveloperWidget.h"
#include "FakeAiService.h"
#include "KeloMain.h"
#include "PlotWidget.h"
#include "RadioScanner.h"
#include "ReplayWidget.h"
#include "TabDialog.h"
#include "WelcomeScreenWidget.h"

#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <cstdio>

namespace {

QString outDir;

const char AppQml[] = R"(import QtQuick 2.12
import QtQuick.Controls 2.12

Item {
    property string name: "Voltmeter"

    Label {
        anchors.centerIn: parent
        font.pixelSize: 48
        color: "white"
        text: stat_battery + " V"
    }
}
)";

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

bool waitFor(const std::function<bool()> &done, const char *what, int ms = 30000)
{
    if (QTest::qWaitFor(done, ms))
        return true;
    say(QStringLiteral("TIMED OUT: %1").arg(QLatin1String(what)));
    return false;
}

// The X server's pixels of the window, after the layouts and the paints have gone through.
void shoot(TabDialog *dialog, const QString &name)
{
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
    // The server draws what the program sent; a round trip of a few frames.
    QTest::qWait(400);
    const QPixmap pixels = dialog->windowHandle()->screen()->grabWindow(dialog->winId());
    const QString path = QDir(outDir).filePath(name + QStringLiteral(".png"));
    const QRect g = dialog->geometry();
    const QRect w = dialog->windowHandle()->geometry();
    say(QStringLiteral("SCREENSHOT %1 %2 widget %3,%4 %5x%6 window %7,%8 %9x%10")
            .arg(pixels.save(path) ? path : "not written", name)
            .arg(g.x())
            .arg(g.y())
            .arg(g.width())
            .arg(g.height())
            .arg(w.x())
            .arg(w.y())
            .arg(w.width())
            .arg(w.height()));
}

void clickItem(QListWidget *list, int row)
{
    QListWidgetItem *item = list->item(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void checkVariables(QWidget *tab, const QStringList &names)
{
    auto *list = tab->findChild<QListWidget *>(QStringLiteral("variableList"));
    for (const QString &name : names) {
        const auto found = list->findItems(name, Qt::MatchExactly);
        if (!found.isEmpty())
            found.first()->setCheckState(Qt::Checked);
    }
}

// A log from the radio through the welcome card, as a user opens the first one.
bool openRadioLog(QWidget *tab, int row)
{
    auto *welcome = tab->findChild<WelcomeScreenWidget *>();
    if (!waitFor([welcome, row]() { return welcome->logList->count() > row; }, "radio logs"))
        return false;
    clickItem(welcome->logList, row);
    return waitFor([welcome]() { return !welcome->isVisible(); }, "log download");
}

void converse(TabDialog *dialog, FakeAiService *service)
{
    auto *tab = dialog->findChild<DeveloperWidget *>();
    auto *panel = tab->findChild<AiAssistantWidget *>(QStringLiteral("aiPanel"));
    auto *input = panel->findChild<QPlainTextEdit *>(QStringLiteral("input"));
    auto *send = panel->findChild<QPushButton *>(QStringLiteral("sendButton"));
    auto *stop = panel->findChild<QPushButton *>(QStringLiteral("stopButton"));
    auto *typing = panel->findChild<QTimer *>(QStringLiteral("typeTimer"));
    const auto ask = [&](const QString &text, int requests) {
        input->setPlainText(text);
        send->click();
        return waitFor(
            [&]() {
                return service->messagesRequests().size() >= requests && send->isVisible()
                    && !typing->isActive();
            },
            "an answer");
    };
    service->queueToolCalls(QStringLiteral("I'll make a Voltmeter app for you."),
                            {{"create_project", {{"name", "Voltmeter"}, {"type", "application"}}},
                             {"write_file", {{"filename", "app.qml"}, {"content", AppQml}}}});
    service->queueText(QStringLiteral(
        "Done. The voltage sits in the middle of the screen:\n```qml\nLabel {\n    "
        "anchors.centerIn: parent\n    text: stat_battery + \" V\"\n}\n```\nPress Play to try it "
        "on your radio."));
    ask(QStringLiteral("Make me an app that shows the main battery voltage"), 2);
    service->queueAnswer(FakeAiService::errorAnswer(529, QStringLiteral("Overloaded")));
    ask(QStringLiteral("Make the digits a bit smaller"), 3);
    service->queueToolCalls(QStringLiteral("Let me read the file again."),
                            {{"read_file", {{"filename", "app.qml"}}}});
    service->queueAnswer(FakeResponse::hang());
    input->setPlainText(QStringLiteral("Try again please"));
    send->click();
    waitFor([&]() { return service->messagesRequests().size() >= 5 && stop->isVisible(); },
            "the busy row");
}

void tour(TabDialog *dialog)
{
    auto *service = new FakeAiService(dialog);
    if (!service->listen())
        qFatal("the fake AI service cannot listen");
    AiServiceApi::setBaseUrl(service->url());
    QTabWidget *tabs = dialog->findChild<QTabWidget *>();
    RadioScanner *scanner = dialog->radioScanner();
    if (!waitFor([scanner]() { return !scanner->ip.isEmpty(); }, "the radio"))
        return;
    const QSize firstStart = dialog->size();

    tabs->setCurrentIndex(1);
    if (openRadioLog(tabs->widget(1), 1)) {
        checkVariables(tabs->widget(1),
                       {"ESC Batt Volt [V]", "ESC Batt Curr [A]", "ESC RPM", "Stick LV [%]"});
        auto *plot = tabs->widget(1)->findChild<QCustomPlot *>(QStringLiteral("plot"));
        const QRect area = plot->axisRect()->rect();
        // Near the legend, where the cursor's label meets it.
        QTest::mouseClick(plot, Qt::LeftButton, {},
                          QPoint(area.left() + area.width() * 4 / 5, area.center().y()));
    }
    tabs->setCurrentIndex(2);
    if (openRadioLog(tabs->widget(2), 1)) {
        checkVariables(tabs->widget(2), {"ESC Batt Volt [V]", "ESC RPM"});
        qobject_cast<ReplayWidget *>(tabs->widget(2))->seekTo(95.0);
    }
    tabs->setCurrentIndex(6);
    converse(dialog, service);

    for (const QSize &size : {firstStart, QSize(1366, 768), QSize(640, 600)}) {
        // Wholly on the 1600 x 1000 screen, or the server has no pixels for its far side.
        dialog->move(0, 0);
        dialog->resize(size);
        waitFor([dialog, size]() { return dialog->size() == size; }, "the window's size");
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            if (i == 5) {
                auto *apps = tabs->widget(5)->findChild<QListWidget *>(QStringLiteral("appList"));
                waitFor([apps]() { return apps->count() > 1; }, "the apps");
                apps->setCurrentRow(1);
            }
            const QString name = QStringLiteral("%1-%2-%3x%4")
                                     .arg(i)
                                     .arg(tabs->tabText(i).toLower().replace(' ', '-'))
                                     .arg(size.width())
                                     .arg(size.height());
            shoot(dialog, name);
            // A page wider than the window scrolls sideways: its far side too.
            for (auto *area : tabs->widget(i)->findChildren<QScrollArea *>()) {
                QScrollBar *bar = area->horizontalScrollBar();
                if (!area->isVisible() || !bar->isVisible() || bar->maximum() == 0
                    || area->widget() == nullptr || area->width() < 300)
                    continue;
                bar->setValue(bar->maximum());
                shoot(dialog, name + QStringLiteral("-scrolled"));
                bar->setValue(0);
            }
        }
    }
    say(QStringLiteral("AI PROBLEMS: %1").arg(service->problems().join(QLatin1Char(' '))));
    dialog->close();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: screenshot_tour OUTDIR\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    return keloMain(1, argv, [](TabDialog *dialog) {
        QTimer::singleShot(0, dialog, [dialog]() { tour(dialog); });
    });
}
