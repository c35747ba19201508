// The radio's pictures, shared by the Image and Applications tabs: never more than four
// open at once over both tabs, so a re-check of the radio still finds a free connection of
// the six Qt opens to it.
#include "ApplicationsWidget.h"
#include "ClickableImageLabel.h"
#include "FakeRadio.h"
#include "ImageWidget.h"
#include "RadioApi.h"
#include "RadioDiscovery.h"
#include "RadioPictureQueue.h"
#include "RadioScanner.h"
#include "RecordingNetworkManager.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

static bool isPicture(const QString &path)
{
    return path.startsWith(QLatin1String("/media/image/"))
        || (path.startsWith(QLatin1String("/media/apps/"))
            && path.endsWith(QLatin1String("/icon.png")));
}

// The most picture requests the manager ever had open at once.
static int mostPicturesOpen(const RecordingNetworkManager &manager)
{
    QList<QPair<qint64, int>> events;
    for (const auto &s : manager.sent) {
        if (!isPicture(s->request.url().path()))
            continue;
        events.append({s->nsecs, +1});
        if (s->finished)
            events.append({s->finishedNsecs, -1});
    }
    // At the same moment an end comes before a start.
    std::sort(events.begin(), events.end());
    int open = 0, most = 0;
    for (const auto &event : qAsConst(events)) {
        open += event.second;
        most = qMax(most, open);
    }
    return most;
}

static int picturesSent(const RecordingNetworkManager &manager)
{
    return int(std::count_if(manager.sent.cbegin(), manager.sent.cend(),
                             [](const auto &s) { return isPicture(s->request.url().path()); }));
}

static QByteArray listJson(const QJsonArray &list)
{
    return QJsonDocument(QJsonObject {{"list", list}}).toJson(QJsonDocument::Compact);
}

class RadioPictureQueueTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void tabsKeepToFourPictures_data();
    void tabsKeepToFourPictures();
    void ownersTakeTurns();
    void goneOwnerHearsNothingAndFreesItsPlaces_data();
    void goneOwnerHearsNothingAndFreesItsPlaces();

private:
    QByteArray png;
};

void RadioPictureQueueTest::initTestCase()
{
    TestSupport::unsetProxies();
    QImage image(128, 96, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    png = TestImages::png(image);
}

void RadioPictureQueueTest::tabsKeepToFourPictures_data()
{
    QTest::addColumn<bool>("imageTab");
    QTest::addColumn<bool>("appsTab");
    QTest::addColumn<bool>("hang"); // pictures never answered; otherwise answered slowly
    QTest::newRow("Image tab, pictures hang") << true << false << true;
    QTest::newRow("Applications tab, pictures hang") << false << true << true;
    // Four each would be eight: the tabs share the four places.
    QTest::newRow("both tabs, pictures hang") << true << true << true;
    QTest::newRow("Image tab, slow pictures") << true << false << false;
    QTest::newRow("Applications tab, slow pictures") << false << true << false;
    QTest::newRow("both tabs, slow pictures") << true << true << false;
}

void RadioPictureQueueTest::tabsKeepToFourPictures()
{
    QFETCH(bool, imageTab);
    QFETCH(bool, appsTab);
    QFETCH(bool, hang);

    const int count = 12;
    QJsonArray images, apps;
    for (int i = 0; i < count; ++i) {
        images << QStringLiteral("photo%1.png").arg(i);
        apps << QStringLiteral("App%1").arg(i) << QStringLiteral("detail");
    }
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse("/image/list", FakeResponse::json(listJson(images)));
    radio.setResponse("/app/list", FakeResponse::json(listJson(apps)));
    const QByteArray picture = png;
    radio.setFallback([picture, hang](const FakeRequest &r) {
        if (isPicture(QString::fromLatin1(r.path)))
            return hang ? FakeResponse::hang()
                        : FakeResponse::bytes(picture, "image/png").delayed(150);
        if (r.path.endsWith("/version"))
            return FakeResponse::text("1 0 0");
        return FakeResponse::error(404);
    });

    RecordingNetworkManager manager;
    RadioScanner scanner; // never started: its members are set by hand
    scanner.networkManager = &manager;
    std::unique_ptr<ImageWidget> imageWidget;
    std::unique_ptr<ApplicationsWidget> appsWidget;
    if (imageTab) {
        imageWidget = std::make_unique<ImageWidget>(&scanner);
        imageWidget->resize(900, 700);
        imageWidget->show();
    }
    if (appsTab) {
        appsWidget = std::make_unique<ApplicationsWidget>(&scanner);
        appsWidget->resize(760, 520);
        appsWidget->show();
    }
    scanner.ip = radio.address();
    scanner.modelName = QStringLiteral("Heli");
    emit scanner.deviceFound(scanner.ip, QStringLiteral("KeloNet"), scanner.modelName);

    auto thumbs = [&]() {
        return imageWidget ? imageWidget->findChildren<ClickableImageLabel *>()
                           : QList<ClickableImageLabel *>();
    };
    QListWidget *appList = appsWidget ? appsWidget->findChild<QListWidget *>("appList") : nullptr;
    if (imageWidget)
        QTRY_COMPARE_WITH_TIMEOUT(thumbs().size(), count, 10000);
    if (appList)
        QTRY_COMPARE_WITH_TIMEOUT(appList->count(), count, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(picturesSent(manager) >= 4, 10000);

    // The scanner's re-check, asked while the pictures take their places.
    const QNetworkRequest checkRequest
        = RadioApi::discoveryRequest(radio.address(), RadioApi::SystemInfoPath);
    QCOMPARE(checkRequest.transferTimeout(), 1200);
    QNetworkReply *check = RadioApi::get(&manager, checkRequest, RadioReply::Kind::Text);
    QTRY_VERIFY_WITH_TIMEOUT(check->isFinished(), 5000);
    QCOMPARE(check->error(), QNetworkReply::NoError);
    QString network, model;
    QVERIFY(RadioDiscovery::parseSystemInfo(RadioReply::body(check), &network, &model));
    delete check;

    if (!hang) {
        const int pictures = (imageTab ? count : 0) + (appsTab ? count : 0);
        QTRY_COMPARE_WITH_TIMEOUT(picturesSent(manager), pictures, 20000);
        for (ClickableImageLabel *thumb : thumbs())
            QTRY_VERIFY_WITH_TIMEOUT(thumb->hasImage(), 10000);
        for (int i = 0; appList && i < appList->count(); ++i)
            QTRY_VERIFY_WITH_TIMEOUT(!appList->item(i)->icon().isNull(), 10000);
        for (const auto &s : manager.sent) {
            if (isPicture(s->request.url().path())) {
                QCOMPARE(s->error, QNetworkReply::NoError);
                QCOMPARE(s->request.transferTimeout(), 5000);
            }
        }
    }
    QCOMPARE(mostPicturesOpen(manager), 4);

    // The radio lost: every picture of both tabs is let go.
    scanner.ip.clear();
    scanner.modelName.clear();
    emit scanner.deviceNotFound();
    QTRY_COMPARE_WITH_TIMEOUT(radio.inFlight(), 0, 5000);
    QCOMPARE(RadioPictureQueue::of(&manager)->inFlight(), 0);
}

void RadioPictureQueueTest::ownersTakeTurns()
{
    // Eight pictures of one owner, then eight of another: the second's wait for the first's
    // last four, but not for all of them.
    FakeRadio radio;
    QVERIFY(radio.listen());
    const QByteArray picture = png;
    radio.setFallback([picture](const FakeRequest &) {
        return FakeResponse::bytes(picture, "image/png").delayed(50);
    });
    RecordingNetworkManager manager;
    RadioPictureQueue *queue = RadioPictureQueue::of(&manager);
    QCOMPARE(RadioPictureQueue::of(&manager), queue);
    QObject first, second;
    QStringList done;
    for (QObject *owner : {&first, &second}) {
        const QString name = owner == &first ? QStringLiteral("a") : QStringLiteral("b");
        for (int i = 0; i < 8; ++i) {
            const QString path = QStringLiteral("/%1/%2").arg(name).arg(i);
            queue->fetch(owner, radio.address(), path, RadioPicture::Use::Icon, QSize(64, 64),
                         [&done, path](const RadioPictureQueue::Picture &p) {
                             QVERIFY(p.downloaded);
                             QCOMPARE(p.result.status, RadioPicture::Status::Ok);
                             QCOMPARE(p.result.image.size(), QSize(64, 48));
                             done.append(path);
                         });
        }
    }
    QCOMPARE(queue->inFlight(), 4);
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 16, 15000);
    QCOMPARE(queue->inFlight(), 0);

    QStringList started;
    for (const auto &s : manager.sent)
        started.append(s->request.url().path());
    QCOMPARE(started.mid(0, 4), (QStringList {"/a/0", "/a/1", "/a/2", "/a/3"}));
    // Then turn about while both have pictures waiting.
    QCOMPARE(started.mid(4, 8).filter(QStringLiteral("/b/")).size(), 4);
    QCOMPARE(started.mid(12), (QStringList {"/b/4", "/b/5", "/b/6", "/b/7"}));
    QCOMPARE(done.size(), QSet<QString>(done.cbegin(), done.cend()).size()); // each once
}

void RadioPictureQueueTest::goneOwnerHearsNothingAndFreesItsPlaces_data()
{
    QTest::addColumn<bool>("destroy"); // otherwise cancelled
    QTest::newRow("cancelled") << false;
    QTest::newRow("destroyed") << true;
}

void RadioPictureQueueTest::goneOwnerHearsNothingAndFreesItsPlaces()
{
    QFETCH(bool, destroy);
    FakeRadio radio;
    QVERIFY(radio.listen());
    const QByteArray picture = png;
    radio.setFallback([picture](const FakeRequest &r) {
        if (r.path.startsWith("/gone/"))
            return FakeResponse::hang();
        return FakeResponse::bytes(picture, "image/png");
    });
    RecordingNetworkManager manager;
    RadioPictureQueue *queue = RadioPictureQueue::of(&manager);
    auto *gone = new QObject();
    QObject other;
    int goneHeard = 0, otherHeard = 0;
    for (int i = 0; i < 6; ++i)
        queue->fetch(gone, radio.address(), QStringLiteral("/gone/%1").arg(i),
                     RadioPicture::Use::Thumbnail, QSize(150, 100),
                     [&goneHeard](const RadioPictureQueue::Picture &) { ++goneHeard; });
    for (int i = 0; i < 3; ++i)
        queue->fetch(
            &other, radio.address(), QStringLiteral("/other/%1").arg(i),
            RadioPicture::Use::Thumbnail, QSize(150, 100),
            [&otherHeard](const RadioPictureQueue::Picture &p) { otherHeard += p.downloaded; });
    QVERIFY(radio.waitForRequests("/gone/3", 1));
    QCOMPARE(manager.sent.size(), 4);

    if (destroy)
        delete gone;
    else
        queue->cancel(gone);
    for (const auto &s : manager.sent.mid(0, 4)) {
        QVERIFY(s->finished);
        QCOMPARE(s->error, QNetworkReply::OperationCanceledError);
    }
    QTRY_COMPARE_WITH_TIMEOUT(otherHeard, 3, 10000);
    QCOMPARE(manager.sent.size(), 7); // the waiting two of the gone owner never asked
    QTRY_COMPARE_WITH_TIMEOUT(radio.inFlight(), 0, 5000);
    QCOMPARE(goneHeard, 0);
    if (!destroy)
        delete gone;
}

QTEST_MAIN(RadioPictureQueueTest)
#include "tst_radiopicturequeue.moc"
