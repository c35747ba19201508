#include "SettingsFiles.h"
#include "TestSupport.h"

#include <QtTest>

using namespace SettingsFiles;

class SettingsFilesTest : public QObject
{
    Q_OBJECT
private slots:
    void scale_data();
    void scale();
    void windowSize_data();
    void windowSize();
    void tab_data();
    void tab();
    void encode();
    void readAbsentFile();
    void fullDiskKeepsTheOldFile();
};

void SettingsFilesTest::scale_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("100 % automatic")
        << QByteArray("\x64\x00", 2) << true << QByteArray("QT_AUTO_SCREEN_SCALE_FACTOR")
        << QByteArray("1");
    QTest::newRow("150 %") << QByteArray("\x96\x00", 2) << true << QByteArray("QT_SCALE_FACTOR")
                           << QByteArray("1.5");
    QTest::newRow("200 %") << QByteArray("\xc8\x00", 2) << true << QByteArray("QT_SCALE_FACTOR")
                           << QByteArray("2.0");
    // One decimal would give 1.2 or 1.3 depending on the formatter.
    QTest::newRow("125 %") << QByteArray("\x7d\x00", 2) << true << QByteArray("QT_SCALE_FACTOR")
                           << QByteArray("1.25");
    QTest::newRow("175 %") << QByteArray("\xaf\x00", 2) << true << QByteArray("QT_SCALE_FACTOR")
                           << QByteArray("1.75");
    // Only exactly 100 hands the scale to the platform; below it the factor shrinks.
    QTest::newRow("50 %") << QByteArray("\x32\x00", 2) << true << QByteArray("QT_SCALE_FACTOR")
                          << QByteArray("0.5");
    QTest::newRow("99 %") << QByteArray("\x63\x00", 2) << true << QByteArray("QT_SCALE_FACTOR")
                          << QByteArray("0.99");
    QTest::newRow("101 %") << QByteArray("\x65\x00", 2) << true << QByteArray("QT_SCALE_FACTOR")
                           << QByteArray("1.01");
    // Signed: 0xffff is -1, a factor Qt ignores, not 655.35.
    QTest::newRow("-1 % signed") << QByteArray("\xff\xff", 2) << true
                                 << QByteArray("QT_SCALE_FACTOR") << QByteArray("-0.01");
    QTest::newRow("little-endian 300 %")
        << QByteArray("\x2c\x01", 2) << true << QByteArray("QT_SCALE_FACTOR") << QByteArray("3.0");
    QTest::newRow("3 bytes ignored")
        << QByteArray("\x96\x00\x00", 3) << false << QByteArray() << QByteArray();
    QTest::newRow("1 byte ignored")
        << QByteArray("\x96", 1) << false << QByteArray() << QByteArray();
    QTest::newRow("empty ignored") << QByteArray() << false << QByteArray() << QByteArray();
}

void SettingsFilesTest::scale()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    const auto percent = decodeScale(bytes);
    QCOMPARE(percent.has_value(), valid);
    if (!valid)
        return;
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    const ScaleEnvironment env = scaleEnvironment(*percent);
    QCOMPARE(env.name, name);
    QCOMPARE(env.value, value);
}

void SettingsFilesTest::windowSize_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size"); // invalid = ignored
    QTest::newRow("800 x 700") << QByteArray("\x20\x03\xbc\x02", 4) << QSize(800, 700);
    QTest::newRow("100 x 100 decoded as stored")
        << QByteArray("\x64\x00\x64\x00", 4) << QSize(100, 100);
    QTest::newRow("unsigned 65535") << QByteArray("\xff\xff\x01\x00", 4) << QSize(65535, 1);
    QTest::newRow("5 bytes ignored") << QByteArray("\x20\x03\xbc\x02\x00", 5) << QSize();
    QTest::newRow("3 bytes ignored") << QByteArray("\x20\x03\xbc", 3) << QSize();
}

void SettingsFilesTest::windowSize()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    const auto decoded = decodeWindowSize(bytes);
    QCOMPARE(decoded.has_value(), size.isValid());
    if (decoded)
        QCOMPARE(*decoded, size);
}

void SettingsFilesTest::tab_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("tab"); // -1 = ignored
    QTest::newRow("7") << QByteArray("\x07", 1) << 7;
    QTest::newRow("255 unsigned") << QByteArray("\xff", 1) << 255;
    QTest::newRow("2 bytes ignored") << QByteArray("\x07\x00", 2) << -1;
    QTest::newRow("empty ignored") << QByteArray() << -1;
}

void SettingsFilesTest::tab()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, tab);
    const auto decoded = decodeTab(bytes);
    QCOMPARE(decoded ? int(*decoded) : -1, tab);
}

void SettingsFilesTest::encode()
{
    QCOMPARE(encodeWindowSize(QSize(800, 700)), QByteArray("\x20\x03\xbc\x02", 4));
    QCOMPARE(encodeWindowSize(QSize(70000, 600)), QByteArray("\x70\x11\x58\x02", 4)); // low 16 bits
    QCOMPARE(encodeTab(7), QByteArray("\x07", 1));
    QCOMPARE(encodeTab(263), QByteArray("\x07", 1));
}

void SettingsFilesTest::readAbsentFile()
{
    QTemporaryDir dir;
    QVERIFY(!readFile(dir.filePath("absent.cfg")).has_value());
    // A missing folder is made (Documents often is missing); one that cannot be made is
    // skipped silently.
    writeFile(dir.filePath("missing-folder/x.cfg"), "x");
    // An absent file must not pass for its content: compare the optional itself.
    QCOMPARE(readFile(dir.filePath("missing-folder/x.cfg")), std::optional<QByteArray>("x"));
    writeFile(dir.filePath("missing-folder/x.cfg/y.cfg"), "y");
    QVERIFY(!QFile::exists(dir.filePath("missing-folder/x.cfg/y.cfg")));
    writeFile(dir.filePath("t.cfg"), "abc");
    writeFile(dir.filePath("t.cfg"), "z");
    QCOMPARE(readFile(dir.filePath("t.cfg")), std::optional<QByteArray>("z")); // truncated on write
}

void SettingsFilesTest::fullDiskKeepsTheOldFile()
{
    // Four bytes stay in Qt's write buffer until the final flush, the only write that fails.
    QTemporaryDir dir;
    const QString path = dir.filePath(".kelo-window.cfg");
    writeFile(path, encodeWindowSize(QSize(1000, 700)));
    {
        TestSupport::FileSizeLimit full(0);
        writeFile(path, encodeWindowSize(QSize(800, 600)));
    }
    QCOMPARE(readFile(path), std::optional<QByteArray>(encodeWindowSize(QSize(1000, 700))));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList {".kelo-window.cfg"});
}

QTEST_GUILESS_MAIN(SettingsFilesTest)
#include "tst_settingsfiles.moc"
