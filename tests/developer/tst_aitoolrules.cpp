// The assistant tools' rules that need no tab: how much of a long text an answer keeps,
// which screenshots may go to the service, and which names the tools and the tab's dialogs
// accept.
#include "AiToolRules.h"
#include "DeveloperWorkspace.h"

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
    void nameCharacters_data();
    void nameCharacters();
    void packageEntries_data();
    void packageEntries();
    void withoutAbsolutePaths_data();
    void withoutAbsolutePaths();
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

static QString codePoint(char32_t c)
{
    if (c <= 0xFFFF)
        return QString(QChar(char16_t(c)));
    const QChar pair[2] = {QChar::highSurrogate(c), QChar::lowSurrogate(c)};
    return QString(pair, 2);
}

void AiToolRulesTest::nameCharacters_data()
{
    QTest::addColumn<QString>("inside"); // put between "de" and "mo"
    QTest::addColumn<bool>("allowed");
    QTest::newRow("nothing") << QString() << true;
    QTest::newRow("space") << " " << true;
    QTest::newRow("letters beyond ASCII") << QString::fromUtf8("äΩж") << true;
    QTest::newRow("emoji") << QString::fromUtf8("🙂") << true;
    QTest::newRow("no-break space") << codePoint(0xA0) << true;
    QTest::newRow("hyphen") << "-" << true;
    // Format characters (Cf): invisible, or reordering what follows.
    const struct
    {
        const char *name;
        char32_t c;
    } refused[] = {
        {"soft hyphen", 0xAD},
        {"Arabic letter mark", 0x61C},
        {"Mongolian vowel separator", 0x180E},
        {"zero-width space", 0x200B},
        {"zero-width non-joiner", 0x200C},
        {"zero-width joiner", 0x200D},
        {"left-to-right mark", 0x200E},
        {"right-to-left mark", 0x200F},
        {"right-to-left embedding", 0x202B},
        {"right-to-left override", 0x202E},
        {"word joiner", 0x2060},
        {"right-to-left isolate", 0x2067},
        {"zero-width no-break space", 0xFEFF},
        {"interlinear annotation", 0xFFF9},
        {"tag letter", 0xE0041},
        {"line separator", 0x2028},
        {"paragraph separator", 0x2029},
        // Drawn like a slash or backslash: "de/mo" would look like a path.
        {"fraction slash", 0x2044},
        {"division slash", 0x2215},
        {"set minus", 0x2216},
        {"big solidus", 0x29F8},
        {"small reverse solidus", 0xFE68},
        {"fullwidth solidus", 0xFF0F},
        {"fullwidth reverse solidus", 0xFF3C},
    };
    for (const auto &row : refused)
        QTest::newRow(row.name) << codePoint(row.c) << false;
}

// One rule for project names and file names, for the tools and the dialogs alike.
void AiToolRulesTest::nameCharacters()
{
    QFETCH(QString, inside);
    QFETCH(bool, allowed);
    const QString name = "de" + inside + "mo";
    QString error;
    QCOMPARE(DeveloperWorkspace::checkProjectName(name, error), allowed);
    QCOMPARE(DeveloperWorkspace::isValidProjectFilename(name + ".qml"), allowed);
    QCOMPARE(DeveloperWorkspace::hasUnsafeCharacter(name), !allowed);
}

void AiToolRulesTest::packageEntries_data()
{
    QTest::addColumn<QString>("project");
    QTest::addColumn<int>("nameBytes");
    QTest::addColumn<bool>("fits");
    // "demo/" and 95 bytes make the 100 of the name field.
    QTest::newRow("demo, 95") << "demo" << 95 << true;
    QTest::newRow("demo, 96") << "demo" << 96 << false;
    // A short project still may become a Home Screen: "base/" is five bytes.
    QTest::newRow("ab, 95") << "ab" << 95 << true;
    QTest::newRow("ab, 96") << "ab" << 96 << false;
    QTest::newRow("16 characters, 83") << "abcdefghijklmnop" << 83 << true;
    QTest::newRow("16 characters, 84") << "abcdefghijklmnop" << 84 << false;
    // Counted in UTF-8: "Grüße" is seven bytes.
    QTest::newRow("Grüße, 92") << QString::fromUtf8("Grüße") << 92 << true;
    QTest::newRow("Grüße, 93") << QString::fromUtf8("Grüße") << 93 << false;
}

void AiToolRulesTest::packageEntries()
{
    QFETCH(QString, project);
    QFETCH(int, nameBytes);
    QFETCH(bool, fits);
    const QString ascii = QString(nameBytes - 4, 'n') + ".qml";
    QCOMPARE(DeveloperWorkspace::fitsPackageEntry(project, ascii), fits);
    // The same bytes in two-byte characters.
    if (nameBytes % 2 == 0) {
        const QString wide = QString((nameBytes - 4) / 2, QChar(0xE4)) + ".qml";
        QCOMPARE(DeveloperWorkspace::fitsPackageEntry(project, wide), fits);
    }
}

void AiToolRulesTest::withoutAbsolutePaths_data()
{
    QTest::addColumn<QString>("text"); // "<root>" and "<home>" stand for the folders
    QTest::addColumn<QString>("relative");
    QTest::newRow("a file of the project") << "Cannot read <root>/demo/src/app.qml"
                                           << "Cannot read src/app.qml";
    QTest::newRow("its package") << "Cannot write <root>/demo/output/demo.tar"
                                 << "Cannot write output/demo.tar";
    QTest::newRow("another project") << "Cannot read <root>/other/src/a.qml"
                                     << "Cannot read other/src/a.qml";
    QTest::newRow("a project named like the start of another")
        << "Cannot read <root>/demo2/src/a.qml"
        << "Cannot read demo2/src/a.qml";
    QTest::newRow("the workspace") << "Cannot create <root>"
                                   << "Cannot create the Kelo Developer folder";
    QTest::newRow("elsewhere in the home folder") << "Cannot read <home>/secret.txt"
                                                  << "Cannot read ~/secret.txt";
    QTest::newRow("twice") << "<root>/demo/src/a.qml and <root>/demo/src/b.qml"
                           << "src/a.qml and src/b.qml";
    QTest::newRow("nothing to change") << "Wrote app.qml."
                                       << "Wrote app.qml.";
}

// The home folder names the user's account: no tool answer carries it to the service.
void AiToolRulesTest::withoutAbsolutePaths()
{
    QFETCH(QString, text);
    QFETCH(QString, relative);
    text.replace("<root>", DeveloperWorkspace::developerRootPath());
    text.replace("<home>", QDir::homePath());
    const QString got = AiToolRules::withoutAbsolutePaths(text, "demo");
    QCOMPARE(got, relative);
    QVERIFY(!got.contains(QDir::homePath()));
}

QTEST_MAIN(AiToolRulesTest)
#include "tst_aitoolrules.moc"
