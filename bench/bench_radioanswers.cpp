// Answers of a hostile radio, measured where the user feels them: the longest stretch the
// GUI thread works without turning its event loop (its CPU time between two ticks of a
// 5 ms probe; the wall-clock gap beside it), and the peak memory, while
//  - a 300 MB log is downloaded: read whole when it ends (as before) and taken as it
//    arrives through the bounded reader;
//  - lists of 10 000 entries are shown: filled in one go (as before) and by the tabs.
// The fake radio answers from a thread of its own, so its work is not counted.
#include "ApplicationsWidget.h"
#include "BenchSupport.h"
#include "ClickableImageLabel.h"
#include "FakeHttpServer.h"
#include "ImageWidget.h"
#include "KeloResources.h"
#include "RadioApi.h"
#include "RadioLogSource.h"
#include "RadioScanner.h"
#include "WelcomeScreenWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

qint64 threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

struct Stall
{
    qint64 cpuMs = 0, wallMs = 0, totalMs = 0;
};

// Runs the event loop until done() holds, measuring the longest stall on the way; start()
// runs inside the loop, as a reply handler or a click would.
Stall measure(const std::function<void()> &start, const std::function<bool()> &done)
{
    Stall s;
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, lastCpu = threadCpuMs();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&]() {
        const qint64 now = clock.elapsed(), cpu = threadCpuMs();
        s.wallMs = qMax(s.wallMs, now - last);
        s.cpuMs = qMax(s.cpuMs, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
    });
    probe.start(5);
    QTimer::singleShot(0, start);
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    s.totalMs = clock.elapsed();
    // The layout and painting that follow count too.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    s.wallMs = qMax(s.wallMs, clock.elapsed() - last);
    s.cpuMs = qMax(s.cpuMs, threadCpuMs() - lastCpu);
    return s;
}

void print(const char *what, const Stall &s)
{
    std::printf("  %-48s longest stall %5lld ms (wall %5lld ms), %6lld ms in all, peak %ld MB\n",
                what, s.cpuMs, s.wallMs, s.totalMs, BenchSupport::peakRssMb());
    std::fflush(stdout);
}

// The fake radio on a thread of its own.
class RadioThread
{
public:
    RadioThread()
    {
        thread.start();
        server = new FakeHttpServer;
        server->moveToThread(&thread);
        run([this]() { server->listen(); });
    }
    ~RadioThread()
    {
        run([this]() { delete server; });
        thread.quit();
        thread.wait();
    }
    void run(const std::function<void()> &f)
    {
        QMetaObject::invokeMethod(server, f, Qt::BlockingQueuedConnection);
    }
    void answer(const QByteArray &path, const FakeResponse &response)
    {
        run([this, path, response]() { server->setResponse(path, response); });
    }
    void fallback(FakeHttpServer::Handler handler)
    {
        run([this, handler]() { server->setFallback(handler); });
    }
    QString address()
    {
        QString a;
        run([this, &a]() { a = server->address(); });
        return a;
    }

private:
    QThread thread;
    FakeHttpServer *server = nullptr;
};

QByteArray jsonList(const QJsonArray &list)
{
    return QJsonDocument(QJsonObject {{"list", list}}).toJson(QJsonDocument::Compact);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    initKeloResources();
    BenchSupport::printBuildKind();
    RadioThread radio;
    const QString address = radio.address();
    QNetworkAccessManager manager;

    std::printf("300 MB flight log from the radio:\n");
    radio.answer(
        "/log/get/1-1800",
        FakeResponse::bytes(QByteArray(300 * 1024 * 1024, '\x11'), "application/octet-stream"));
    {
        QNetworkReply *reply = nullptr;
        QByteArray body;
        const Stall s = measure(
            [&]() {
                reply = RadioApi::get(&manager, address, RadioApi::logGetPath(1, 1800), 10000,
                                      RadioReply::Kind::Log);
                QObject::connect(reply, &QNetworkReply::finished,
                                 [&]() { body = RadioReply::body(reply); });
            },
            [&]() { return reply && reply->isFinished() && !body.isEmpty(); });
        print("taken as it arrives (new)", s);
        body.clear();
        reply->deleteLater();
    }
    {
        QNetworkReply *reply = nullptr;
        QByteArray body;
        const Stall s = measure(
            [&]() {
                reply = manager.get(QNetworkRequest(RadioApi::url(address, "/log/get/1-1800")));
                QObject::connect(reply, &QNetworkReply::finished,
                                 [&]() { body = reply->readAll(); });
            },
            [&]() { return reply && reply->isFinished() && !body.isEmpty(); });
        print("read whole at its end (before)", s);
        reply->deleteLater();
    }
    radio.answer("/log/get/1-1800", FakeResponse::error(404));

    const int n = 10000;
    QJsonArray logs, images, apps;
    for (int i = 0; i < n; ++i) {
        logs << i << QStringLiteral("Flight %1 at the field").arg(i) << 1234 + i;
        images << QStringLiteral("image%1.png").arg(i);
        apps << QStringLiteral("App %1").arg(i) << QStringLiteral("An app");
    }
    radio.answer("/log/list", FakeResponse::json(jsonList(logs)));
    radio.answer("/image/list", FakeResponse::json(jsonList(images)));
    radio.answer("/app/list", FakeResponse::json(jsonList(apps)));
    radio.fallback([](const FakeRequest &) { return FakeResponse::error(404); });

    std::printf("Lists of %d entries:\n", n);
    RadioScanner scanner;
    scanner.networkManager = &manager;
    auto found = [&]() {
        scanner.ip = address;
        scanner.modelName = QStringLiteral("Heli 450");
        emit scanner.deviceFound(address, QStringLiteral("KeloNet"), scanner.modelName);
    };
    {
        QWidget page;
        page.resize(900, 700);
        auto *tabList = new QListWidget(&page);
        auto *welcome
            = new WelcomeScreenWidget(":/icons/tab-logviewer.svg", "T", "S", "1", "2", &page);
        auto *status = new QLabel(&page);
        page.show();
        auto *source = new RadioLogSource(&scanner, tabList, welcome, &page);
        QObject::connect(source, &RadioLogSource::statusChanged, status, &QLabel::setText);
        print("log lists, by the tab (new)",
              measure(found, [&]() { return welcome->logList->count() == n; }));
        emit scanner.deviceNotFound();
        // As before: both lists filled in one go, rows measured one by one.
        tabList->setUniformItemSizes(false);
        welcome->logList->setUniformItemSizes(false);
        print("log lists, in one go (before)",
              measure(
                  [&]() {
                      for (QListWidget *list : {tabList, welcome->logList}) {
                          list->clear();
                          for (const RadioLogList::Entry &entry : RadioLogList::parse(logs))
                              list->addItem(RadioLogSource::listItem(entry));
                      }
                  },
                  [&]() { return tabList->count() == n; }));
    }
    {
        ApplicationsWidget tab(&scanner);
        tab.resize(900, 700);
        tab.show();
        auto *list = tab.findChild<QListWidget *>(QStringLiteral("appList"));
        print("app list, by the tab (new)", measure(found, [&]() { return list->count() == n; }));
        emit scanner.deviceNotFound();
    }
    {
        QListWidget list;
        list.resize(260, 600);
        list.show();
        QList<QNetworkReply *> icons;
        print("app list and its icons, in one go (before)",
              measure(
                  [&]() {
                      for (int i = 0; i < n; ++i) {
                          const QString name = QStringLiteral("App %1").arg(i);
                          auto *item = new QListWidgetItem(name, &list);
                          item->setSizeHint(QSize(0, 72));
                          icons << manager.get(
                              QNetworkRequest(RadioApi::url(address, RadioApi::appIconPath(name))));
                      }
                  },
                  [&]() { return list.count() == n; }));
        // The icons the radio refuses, before the next measure.
        while (std::any_of(icons.cbegin(), icons.cend(),
                           [](QNetworkReply *reply) { return !reply->isFinished(); }))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        qDeleteAll(icons);
    }
    const int part = n / 5;
    {
        // Scrolled to the end again and again until 2000 thumbnails are there.
        ImageWidget tab(&scanner);
        tab.resize(900, 700);
        tab.show();
        QWidget *grid = tab.findChild<QWidget *>(QStringLiteral("thumbContainer"));
        auto *area = qobject_cast<QScrollArea *>(grid->parentWidget()->parentWidget());
        QTimer scroller;
        QObject::connect(&scroller, &QTimer::timeout, [area]() {
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        });
        scroller.start(20);
        print("image grid to 2000, scrolled by the user (new)", measure(found, [&]() {
                  return tab.findChildren<ClickableImageLabel *>().size() >= part;
              }));
        emit scanner.deviceNotFound();
    }
    {
        // As before: every thumbnail made at once, each with its own style sheet, into a
        // grid already on screen. A fifth of the list: the whole one takes minutes.
        QScrollArea area;
        area.setWidgetResizable(true);
        area.resize(860, 300);
        auto *container = new QWidget;
        auto *grid = new QGridLayout(container);
        area.setWidget(container);
        area.show();
        print("image grid of 2000, in one go (before)",
              measure(
                  [&]() {
                      for (int i = 0; i < part; ++i) {
                          auto *label = new QLabel(QStringLiteral("Loading..."), container);
                          label->setFixedSize(150, 100);
                          label->setStyleSheet(QStringLiteral(
                              "border: 1px solid #3f3f42; border-radius: 6px; background: "
                              "#232325;"));
                          grid->addWidget(label, i / 5, i % 5);
                      }
                  },
                  [&]() {
                      const auto labels = container->findChildren<QLabel *>();
                      return labels.size() == part && labels.last()->isVisible();
                  }));
    }
    return 0;
}
