// The assistant tools' rules that need no tab: how much of a long text an answer keeps, and
// which screenshots may go to the service.
#include "AiToolRules.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

namespace {

QByteArray pngOf(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class AiToolRulesTest : public QObject
{
    Q_OBJECT
private slots:
    void textTail_data();
    void textTail();
    void wholePng_data();
    void wholePng();
};

void AiToolRulesTest::textTail_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("tail");
    QTest::addColumn<bool>("cut");
    QTest::newRow("fits") << "one\ntwo\n" << 8 << "one\ntwo\n" << false;
    QTest::newRow("empty") << "" << 8 << "" << false;
    // Counted in UTF-8: "ä" takes two of the eight bytes.
    QTest::newRow("one byte over")
        << QString::fromUtf8("one\ntwä\n") << 8 << QString::fromUtf8("twä\n") << true;
    QTest::newRow("from the next whole line") << "aaaa\nbbbb\ncccc\n"
                                              << 12 << "bbbb\ncccc\n"
                                              << true;
    QTest::newRow("cut exactly at a line") << "aaaa\nbbbb\ncccc\n" << 10 << "bbbb\ncccc\n" << true;
    // No line starts in the kept part: it starts at a whole character instead.
    QTest::newRow("one long line")
        << QString::fromUtf8("ääääää") << 5 << QString::fromUtf8("ää") << true;
    QTest::newRow("only the last line feed")
        << QString::fromUtf8("ääää\n") << 4 << QString::fromUtf8("ä\n") << true;
}

void AiToolRulesTest::textTail()
{
    QFETCH(QString, text);
    QFETCH(int, maxBytes);
    QFETCH(QString, tail);
    QFETCH(bool, cut);
    bool wasCut = !cut;
    QCOMPARE(AiToolRules::textTail(text, maxBytes, &wasCut), tail);
    QCOMPARE(wasCut, cut);
    QVERIFY(tail.toUtf8().size() <= maxBytes);
}

void AiToolRulesTest::wholePng_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qint64>("maxPixels");
    QTest::addColumn<bool>("accepted");
    const QByteArray png = pngOf(80, 48);
    QTest::newRow("whole") << png << qint64(80 * 48) << true;
    QTest::newRow("one pixel too many") << png << qint64(80 * 48 - 1) << false;
    // The header alone is sound in each of these.
    QTest::newRow("cut in half") << png.left(png.size() / 2) << qint64(1 << 20) << false;
    QTest::newRow("without its end") << png.chopped(12) << qint64(1 << 20) << false;
    QByteArray damaged = png;
    const int idat = damaged.indexOf("IDAT");
    for (int i = idat + 8; i < idat + 24; ++i)
        damaged[i] = char(damaged.at(i) ^ 0x5a);
    QTest::newRow("damaged pixels") << damaged << qint64(1 << 20) << false;
    QTest::newRow("signature only") << png.left(8) << qint64(1 << 20) << false;
    QTest::newRow("not a PNG") << QByteArray("GIF89a") << qint64(1 << 20) << false;
}

void AiToolRulesTest::wholePng()
{
    QFETCH(QByteArray, data);
    QFETCH(qint64, maxPixels);
    QFETCH(bool, accepted);
    QCOMPARE(AiToolRules::isWholePngWithin(data, maxPixels), accepted);
}

QTEST_MAIN(AiToolRulesTest)
#include "tst_aitoolrules.moc"
