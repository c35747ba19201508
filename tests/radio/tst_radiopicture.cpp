// Pictures from the radio: the header is checked against the use's pixel budget before
// anything is decoded, and small uses decode straight to their size.
#include "RadioPicture.h"
#include "TestImages.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QtTest>

using Use = RadioPicture::Use;
using Status = RadioPicture::Status;
Q_DECLARE_METATYPE(Use)
Q_DECLARE_METATYPE(Status)

static QImage photo(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, w, h);
    gradient.setColorAt(0, Qt::darkBlue);
    gradient.setColorAt(1, Qt::yellow);
    p.fillRect(image.rect(), gradient);
    return image;
}

class RadioPictureTest : public QObject
{
    Q_OBJECT
private slots:
    void budgets();
    void refusedByHeader_data();
    void refusedByHeader();
    void decodes_data();
    void decodes();
    void decodeLaterDeliversOnTheCallersThread();
    void decodeLaterForgetsAGoneReceiver();

private:
    // Made once: the real 20000 x 20000 picture takes a moment to write.
    QByteArray realHuge;
};

void RadioPictureTest::budgets()
{
    QCOMPARE(RadioPicture::maxPixels(Use::Thumbnail), Q_INT64_C(16777216));
    QCOMPARE(RadioPicture::maxPixels(Use::Viewer), Q_INT64_C(16777216));
    QCOMPARE(RadioPicture::maxPixels(Use::Icon), Q_INT64_C(1048576));
    QCOMPARE(RadioPicture::maxPixels(Use::Screenshot), Q_INT64_C(4194304));
}

void RadioPictureTest::refusedByHeader_data()
{
    QTest::addColumn<int>("picture"); // 0: declares 30000 x 30000, 1: real 20000 x 20000
    QTest::addColumn<Use>("use");
    QTest::addColumn<QSize>("fitInto");
    QTest::addColumn<QSize>("declared");
    const struct
    {
        const char *name;
        Use use;
        QSize fit;
    } uses[] = {{"thumbnail", Use::Thumbnail, QSize(150, 100)},
                {"viewer", Use::Viewer, QSize()},
                {"icon", Use::Icon, QSize(64, 64)},
                {"screenshot", Use::Screenshot, QSize()}};
    for (const auto &u : uses) {
        QTest::newRow(QByteArray("declared 30000 x 30000 as ") + u.name)
            << 0 << u.use << u.fit << QSize(30000, 30000);
        QTest::newRow(QByteArray("real 20000 x 20000 as ") + u.name)
            << 1 << u.use << u.fit << QSize(20000, 20000);
    }
}

void RadioPictureTest::refusedByHeader()
{
    QFETCH(int, picture);
    QFETCH(Use, use);
    QFETCH(QSize, fitInto);
    QFETCH(QSize, declared);
    QByteArray data;
    if (picture == 0) {
        data = TestImages::hugePng(30000, 30000, false);
        QVERIFY(data.size() < 1000);
    } else {
        if (realHuge.isEmpty())
            realHuge = TestImages::hugePng(20000, 20000);
        data = realHuge;
        QVERIFY(data.size() < 32 * 1024 * 1024);
        // A real picture: an independent reader decodes a corner of it.
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "png");
        reader.setClipRect(QRect(0, 0, 4, 4));
        QVERIFY(!reader.read().isNull());
    }
    const RadioPicture::Result result = RadioPicture::decode(data, use, fitInto);
    QCOMPARE(result.status, Status::TooLarge);
    QVERIFY(result.image.isNull());
    QCOMPARE(result.declaredSize, declared);
}

void RadioPictureTest::decodes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Use>("use");
    QTest::addColumn<QSize>("fitInto");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QSize>("size"); // of the decoded image; invalid: none

    QTest::newRow("4000 x 3000 photo as thumbnail, JPEG")
        << TestImages::encoded(photo(4000, 3000), "JPEG") << Use::Thumbnail << QSize(150, 100)
        << Status::Ok << QSize(133, 100);
    QTest::newRow("4000 x 3000 photo as thumbnail, PNG")
        << TestImages::encoded(photo(4000, 3000), "PNG") << Use::Thumbnail << QSize(150, 100)
        << Status::Ok << QSize(133, 100);
    QTest::newRow("radio image as thumbnail, scaled up")
        << TestImages::encoded(photo(49, 19), "PNG") << Use::Thumbnail << QSize(150, 100)
        << Status::Ok << QSize(150, 58);
    QTest::newRow("radio image in the viewer, full size")
        << TestImages::encoded(photo(490, 195), "PNG") << Use::Viewer << QSize() << Status::Ok
        << QSize(490, 195);
    QTest::newRow("4096 x 4096 at the thumbnail budget")
        << TestImages::hugePng(4096, 4096) << Use::Thumbnail << QSize(150, 100) << Status::Ok
        << QSize(100, 100);
    QTest::newRow("4097 x 4096 over the thumbnail budget")
        << TestImages::hugePng(4097, 4096) << Use::Thumbnail << QSize(150, 100) << Status::TooLarge
        << QSize();
    QTest::newRow("icon fitted into 64 x 64")
        << TestImages::encoded(photo(128, 32), "PNG") << Use::Icon << QSize(64, 64) << Status::Ok
        << QSize(64, 16);
    QTest::newRow("1024 x 1024 icon at the budget") << TestImages::hugePng(1024, 1024) << Use::Icon
                                                    << QSize(64, 64) << Status::Ok << QSize(64, 64);
    QTest::newRow("1025 x 1024 icon over the budget")
        << TestImages::hugePng(1025, 1024) << Use::Icon << QSize(64, 64) << Status::TooLarge
        << QSize();
    QTest::newRow("radio screen") << TestImages::encoded(photo(800, 480), "PNG") << Use::Screenshot
                                  << QSize() << Status::Ok << QSize(800, 480);
    QTest::newRow("2048 x 2048 screenshot at the budget")
        << TestImages::hugePng(2048, 2048) << Use::Screenshot << QSize() << Status::Ok
        << QSize(2048, 2048);
    QTest::newRow("2049 x 2048 screenshot over the budget")
        << TestImages::hugePng(2049, 2048) << Use::Screenshot << QSize() << Status::TooLarge
        << QSize();
    QTest::newRow("one pixel wide, a million high, as thumbnail")
        << TestImages::hugePng(1, 1000000) << Use::Thumbnail << QSize(150, 100) << Status::Ok
        << QSize(1, 100);
    // Vector pictures cost what their drawing costs, whatever size they declare.
    QTest::newRow("SVG refused") << QByteArray(
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)")
                                 << Use::Thumbnail << QSize(150, 100) << Status::Invalid << QSize();
    QTest::newRow("text refused") << QByteArray("not a picture") << Use::Icon << QSize(64, 64)
                                  << Status::Invalid << QSize();
    QTest::newRow("PNG cut after its first row")
        << TestImages::hugePng(100, 100, false) << Use::Screenshot << QSize() << Status::Invalid
        << QSize();
    QTest::newRow("empty") << QByteArray() << Use::Screenshot << QSize() << Status::Invalid
                           << QSize();
}

void RadioPictureTest::decodes()
{
    QFETCH(QByteArray, data);
    QFETCH(Use, use);
    QFETCH(QSize, fitInto);
    QFETCH(Status, status);
    QFETCH(QSize, size);
    const RadioPicture::Result result = RadioPicture::decode(data, use, fitInto);
    QCOMPARE(result.status, status);
    if (size.isValid())
        QCOMPARE(result.image.size(), size);
    else
        QVERIFY(result.image.isNull());
}

void RadioPictureTest::decodeLaterDeliversOnTheCallersThread()
{
    QObject context;
    bool called = false;
    QThread *thread = nullptr;
    RadioPicture::Result got;
    RadioPicture::decodeLater(&context, TestImages::encoded(photo(4000, 3000), "JPEG"),
                              Use::Thumbnail, QSize(150, 100), [&](const RadioPicture::Result &r) {
                                  called = true;
                                  thread = QThread::currentThread();
                                  got = r;
                              });
    QVERIFY(!called); // never before the caller returns to its event loop
    QTRY_VERIFY(called);
    QCOMPARE(thread, QThread::currentThread());
    QCOMPARE(got.status, Status::Ok);
    QCOMPARE(got.image.size(), QSize(133, 100));
}

void RadioPictureTest::decodeLaterForgetsAGoneReceiver()
{
    auto *context = new QObject;
    int calls = 0;
    for (int i = 0; i < 4; ++i)
        RadioPicture::decodeLater(context, TestImages::encoded(photo(2000, 1500), "PNG"),
                                  Use::Thumbnail, QSize(150, 100),
                                  [&](const RadioPicture::Result &) { ++calls; });
    delete context;
    // A decode that ends later finds nobody to tell; a live one is told as usual.
    QObject other;
    bool otherCalled = false;
    RadioPicture::decodeLater(&other, TestImages::encoded(photo(20, 20), "PNG"), Use::Icon,
                              QSize(64, 64),
                              [&](const RadioPicture::Result &) { otherCalled = true; });
    QTRY_VERIFY(otherCalled);
    QTest::qWait(200);
    QCOMPARE(calls, 0);
}

QTEST_GUILESS_MAIN(RadioPictureTest)
#include "tst_radiopicture.moc"
