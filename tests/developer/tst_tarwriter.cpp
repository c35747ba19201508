#include "DeveloperWorkspace.h"
#include "KeloResources.h"
#include "TarWriter.h"
#include "WorkspaceTestSupport.h"

#include <QDateTime>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

using namespace DeveloperWorkspace;
using namespace WorkspaceTest;

// Files of src/ by name; a name holding "/" lies in a sub-folder.
using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

namespace {

struct Expected
{
    QByteArray name; // as stored; a folder ends with "/"
    QByteArray data;
};

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    // GNU tar prints names as they are only in a UTF-8 locale.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

qint64 octal(const QByteArray &digits)
{
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok, 8);
    return ok ? value : -1;
}

// Reads the members with Python's tarfile (strict: any header error fails) and prints them
// as JSON, file contents in base64.
const char pythonLister[] = R"(
import base64, json, sys, tarfile
members = []
with tarfile.open(sys.argv[1], mode="r:", errorlevel=2) as archive:
    for m in archive.getmembers():
        data = archive.extractfile(m).read() if m.isfile() else b""
        members.append({"name": m.name, "type": m.type.decode(), "size": m.size,
                        "mode": m.mode, "uid": m.uid, "gid": m.gid, "uname": m.uname,
                        "gname": m.gname, "data": base64.b64encode(data).decode()})
print(json.dumps(members))
)";

} // namespace

class TarWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void packages_data();
    void packages();
    void newProjectPackage();
    void bareNamesWithoutRootFolder();
    void longNamesRefusedBeforeWriting_data();
    void longNamesRefusedBeforeWriting();
    void nothingToPackage_data();
    void nothingToPackage();
    void unreadableFileKeepsOldArchive();
    void missingOutputFolder();
    void failedWriteKeepsOldArchive_data();
    void failedWriteKeepsOldArchive();
    void oversizedFileRefused();
    void numberFieldsInUstarForm_data();
    void numberFieldsInUstarForm();
    void sizeChangedWhileReadRefused_data();
    void sizeChangedWhileReadRefused();

private:
    void verifyUstarBytes(const QByteArray &archive, const QVector<Expected> &expected,
                          qint64 notBefore, qint64 notAfter);
    void verifyWithGnuTar(const QString &archive, const QVector<Expected> &expected);
    void verifyWithPython(const QString &archive, const QVector<Expected> &expected);
    void verifyArchive(const QString &archive, const QVector<Expected> &expected, qint64 notBefore);
    QString makeProject(const QString &name, const Files &files);

    std::unique_ptr<TemporaryHome> home;
    QString tar;
    QString python;
};

void TarWriterTest::initTestCase()
{
    initKeloResources();
    tar = QStandardPaths::findExecutable(QStringLiteral("tar"));
    python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!tar.isEmpty(), "GNU tar is needed to check the archives");
    QVERIFY2(!python.isEmpty(), "python3 is needed to check the archives");
    QVERIFY(run(tar, {QStringLiteral("--version")}).out.contains("GNU tar"));
}

void TarWriterTest::init()
{
    home = std::make_unique<TemporaryHome>();
    QVERIFY(home->isValid());
}

void TarWriterTest::cleanup()
{
    home.reset();
}

QString TarWriterTest::makeProject(const QString &name, const Files &files)
{
    const QString src = sourcePath(name);
    if (!QDir().mkpath(src) || !QDir().mkpath(outputPath(name)))
        return QString();
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!writeFile(src + QLatin1Char('/') + it.key(), it.value()))
            return QString();
    }
    return src;
}

// The byte layout that readers forgive: exact field contents, zero fields, padding, and
// nothing after the two end blocks.
void TarWriterTest::verifyUstarBytes(const QByteArray &archive, const QVector<Expected> &expected,
                                     qint64 notBefore, qint64 notAfter)
{
    int offset = 0;
    for (const Expected &entry : expected) {
        QVERIFY2(offset + 512 <= archive.size(), entry.name.constData());
        const QByteArray h = archive.mid(offset, 512);
        const bool folder = entry.name.endsWith('/');
        QCOMPARE(h.left(100), entry.name + QByteArray(100 - entry.name.size(), '\0'));
        QCOMPARE(h.mid(100, 8), QByteArray(folder ? "0000755" : "0000644", 8));
        QCOMPARE(h.mid(108, 8), QByteArray("0000000", 8));
        QCOMPARE(h.mid(116, 8), QByteArray("0000000", 8));
        QCOMPARE(h.at(135), '\0');
        QCOMPARE(octal(h.mid(124, 11)), qint64(entry.data.size()));
        QCOMPARE(h.at(147), '\0');
        const qint64 mtime = octal(h.mid(136, 11));
        QVERIFY2(mtime >= notBefore && mtime <= notAfter, h.mid(136, 12).constData());
        QCOMPARE(h.at(154), '\0');
        QCOMPARE(h.at(155), ' ');
        QByteArray forSum = h;
        forSum.replace(148, 8, QByteArray(8, ' '));
        qint64 sum = 0;
        for (const char c : forSum)
            sum += static_cast<unsigned char>(c);
        QCOMPARE(octal(h.mid(148, 6)), sum);
        QCOMPARE(h.at(156), folder ? '5' : '0');
        QCOMPARE(h.mid(157, 100), QByteArray(100, '\0'));
        QCOMPARE(h.mid(257, 6), QByteArray("ustar\0", 6));
        QCOMPARE(h.mid(263, 2), QByteArray("00"));
        QCOMPARE(h.mid(265, 64), QByteArray(64, '\0')); // uname, gname
        QCOMPARE(h.mid(329, 16), QByteArray(16, '\0')); // devmajor, devminor
        QCOMPARE(h.mid(345, 167), QByteArray(167, '\0')); // prefix and pad
        offset += 512;
        const int blocks = (entry.data.size() + 511) / 512;
        QCOMPARE(archive.mid(offset, entry.data.size()), entry.data);
        QCOMPARE(archive.mid(offset + entry.data.size(), blocks * 512 - entry.data.size()),
                 QByteArray(blocks * 512 - entry.data.size(), '\0'));
        offset += blocks * 512;
    }
    QCOMPARE(archive.size(), offset + 1024);
    QCOMPARE(archive.mid(offset), QByteArray(1024, '\0'));
}

void TarWriterTest::verifyWithGnuTar(const QString &archive, const QVector<Expected> &expected)
{
    const Run verbose
        = run(tar, {QStringLiteral("--quoting-style=literal"), QStringLiteral("-tvf"), archive});
    QCOMPARE(verbose.exitCode, 0);
    QCOMPARE(verbose.err, QByteArray());
    const QList<QByteArray> lines = verbose.out.trimmed().split('\n');
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        const bool folder = expected.at(i).name.endsWith('/');
        QVERIFY2(lines.at(i).startsWith(folder ? "drwxr-xr-x 0/0 " : "-rw-r--r-- 0/0 "),
                 lines.at(i).constData());
        QVERIFY2(lines.at(i).endsWith(" " + expected.at(i).name), lines.at(i).constData());
    }

    QTemporaryDir extracted;
    QVERIFY(extracted.isValid());
    const Run extract
        = run(tar, {QStringLiteral("-xf"), archive, QStringLiteral("-C"), extracted.path()});
    QCOMPARE(extract.exitCode, 0);
    QCOMPARE(extract.err, QByteArray());
    QStringList found;
    QDirIterator it(extracted.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << it.next();
    }
    QStringList wanted;
    for (const Expected &entry : expected) {
        QString name = QString::fromUtf8(entry.name);
        if (name.endsWith(QLatin1Char('/')))
            name.chop(1);
        const QString path = extracted.path() + QLatin1Char('/') + name;
        wanted << path;
        if (!entry.name.endsWith('/')) {
            // cmp against a copy of the expected bytes, which are src/'s.
            const QString reference = home->path() + QStringLiteral("/reference");
            QVERIFY(writeFile(reference, entry.data));
            const Run compare = run(QStringLiteral("cmp"), {reference, path});
            QFile::remove(reference);
            QVERIFY2(compare.exitCode == 0, compare.out.constData());
        }
    }
    found.sort();
    wanted.sort();
    QCOMPARE(found, wanted);
}

void TarWriterTest::verifyWithPython(const QString &archive, const QVector<Expected> &expected)
{
    const Run listed
        = run(python, {QStringLiteral("-c"), QString::fromLatin1(pythonLister), archive});
    QVERIFY2(listed.exitCode == 0, listed.err.constData());
    const QJsonArray members = QJsonDocument::fromJson(listed.out).array();
    QCOMPARE(members.size(), expected.size());
    for (int i = 0; i < members.size(); ++i) {
        const QJsonObject m = members.at(i).toObject();
        const Expected &entry = expected.at(i);
        const bool folder = entry.name.endsWith('/');
        // tarfile drops the folder's trailing slash.
        QCOMPARE(m.value("name").toString(),
                 QString::fromUtf8(folder ? entry.name.chopped(1) : entry.name));
        QCOMPARE(m.value("type").toString(), QString(folder ? "5" : "0"));
        QCOMPARE(m.value("mode").toInt(), folder ? 0755 : 0644);
        QCOMPARE(m.value("uid").toInt(), 0);
        QCOMPARE(m.value("gid").toInt(), 0);
        QCOMPARE(m.value("uname").toString(), QString());
        QCOMPARE(m.value("gname").toString(), QString());
        QCOMPARE(m.value("size").toInt(), entry.data.size());
        QCOMPARE(QByteArray::fromBase64(m.value("data").toString().toLatin1()), entry.data);
    }
}

void TarWriterTest::verifyArchive(const QString &archive, const QVector<Expected> &expected,
                                  qint64 notBefore)
{
    const qint64 notAfter = QDateTime::currentSecsSinceEpoch();
    verifyUstarBytes(readFile(archive), expected, notBefore, notAfter);
    if (QTest::currentTestFailed())
        return;
    verifyWithGnuTar(archive, expected);
    if (QTest::currentTestFailed())
        return;
    verifyWithPython(archive, expected);
}

void TarWriterTest::packages_data()
{
    QTest::addColumn<QString>("project");
    QTest::addColumn<bool>("homeScreen");
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("links"); // symlinks in src/ to a private file elsewhere
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("length");

    QTest::newRow("5-byte file") << "demo" << false << Files {{"app.qml", "hello"}} << QStringList()
                                 << QStringList {"demo/", "demo/app.qml"} << 2560;
    QTest::newRow("512-byte file has no padding")
        << "demo" << false << Files {{"app.qml", QByteArray(512, 'x')}} << QStringList()
        << QStringList {"demo/", "demo/app.qml"} << 2560;
    QTest::newRow("513-byte file takes two blocks")
        << "demo" << false << Files {{"app.qml", QByteArray(513, 'x')}} << QStringList()
        << QStringList {"demo/", "demo/app.qml"} << 3072;
    QTest::newRow("empty file is a header alone")
        << "demo" << false << Files {{"app.qml", QByteArray()}} << QStringList()
        << QStringList {"demo/", "demo/app.qml"} << 2048;
    QTest::newRow("code order, upper case first")
        << "demo" << false << Files {{"icon.png", "i"}, {"a.qml", "a"}, {"B.qml", "B"}}
        << QStringList() << QStringList {"demo/", "demo/B.qml", "demo/a.qml", "demo/icon.png"}
        << 4608;
    QTest::newRow("hidden file, sub-folder and symlink left out")
        << "demo" << false
        << Files {{"app.qml", "hello"}, {".DS_Store", "hidden"}, {"sub/x.qml", "nested"}}
        << QStringList {"link.qml"} << QStringList {"demo/", "demo/app.qml"} << 2560;
    QTest::newRow("Home Screen root is base")
        << "clock" << true << Files {{"screen.qml", "clock"}} << QStringList()
        << QStringList {"base/", "base/screen.qml"} << 2560;
    // 5 + 95 bytes: the name field is full and has no terminating zero.
    const QString hundred = QString(91, QLatin1Char('n')) + QStringLiteral(".qml");
    QTest::newRow("exactly 100-byte path kept")
        << "demo" << false << Files {{hundred, "abc"}} << QStringList()
        << QStringList {"demo/", "demo/" + hundred} << 2560;
    QTest::newRow("UTF-8 names") << QString::fromUtf8("Ünïcode") << false
                                 << Files {{QString::fromUtf8("日本.qml"), "a"},
                                           {QString::fromUtf8("ça.qml"), "b"},
                                           {QString::fromUtf8("🙂.qml"), "c"},
                                           {QString::fromUtf8("Ω.png"), QByteArray(512, 'd')}}
                                 << QStringList()
                                 << QStringList {QString::fromUtf8("Ünïcode/"),
                                                 QString::fromUtf8("Ünïcode/ça.qml"),
                                                 QString::fromUtf8("Ünïcode/Ω.png"),
                                                 QString::fromUtf8("Ünïcode/日本.qml"),
                                                 QString::fromUtf8("Ünïcode/🙂.qml")}
                                 << 5632;
}

void TarWriterTest::packages()
{
    QFETCH(QString, project);
    QFETCH(bool, homeScreen);
    QFETCH(Files, files);
    QFETCH(QStringList, links);
    QFETCH(QStringList, entries);
    QFETCH(int, length);

    const QString src = makeProject(project, files);
    QVERIFY(!src.isEmpty());
    const QString secret = home->path() + QStringLiteral("/secret.txt");
    QVERIFY(writeFile(secret, "private"));
    for (const QString &link : links)
        QVERIFY(QFile::link(secret, src + QLatin1Char('/') + link));

    const QString archive = outputPath(project) + QLatin1Char('/') + project + ".tar";
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QString error;
    QVERIFY2(packageProjectFiles(project,
                                 homeScreen ? ProjectType::HomeScreen : ProjectType::Application,
                                 archive, error),
             qPrintable(error));
    QCOMPARE(error, QString());
    QCOMPARE(QFileInfo(archive).size(), qint64(length));

    QVector<Expected> expected;
    for (const QString &entry : entries) {
        const QString name = entry.mid(entry.indexOf(QLatin1Char('/')) + 1);
        expected.append({entry.toUtf8(), name.isEmpty() ? QByteArray() : files.value(name)});
    }
    verifyArchive(archive, expected, before);
    QCOMPARE(allEntries(outputPath(project)), QStringList {project + ".tar"}); // no temp left
}

void TarWriterTest::newProjectPackage()
{
    QString error;
    QVERIFY(createProject(QStringLiteral("demo"), ProjectType::Application, error));
    const QString archive = outputPath(QStringLiteral("demo")) + QStringLiteral("/demo.tar");
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QVERIFY2(packageProjectFiles(QStringLiteral("demo"), ProjectType::Application, archive, error),
             qPrintable(error));
    const QString src = sourcePath(QStringLiteral("demo")) + QLatin1Char('/');
    verifyArchive(archive,
                  {{"demo/", {}},
                   {"demo/app.qml", readFile(src + "app.qml")},
                   {"demo/icon.png", readFile(src + "icon.png")},
                   {"demo/version", QByteArray("0 0 1 \n")}},
                  before);

    // Packaging again replaces the archive; only the times may differ.
    const QByteArray first = readFile(archive);
    QVERIFY(packageProjectFiles(QStringLiteral("demo"), ProjectType::Application, archive, error));
    const QByteArray second = readFile(archive);
    QCOMPARE(second.size(), first.size());
    for (int block = 0; block < first.size(); block += 512) {
        QByteArray a = first.mid(block, 512);
        QByteArray b = second.mid(block, 512);
        if (a.mid(257, 6) == QByteArray("ustar\0", 6)) {
            a.replace(136, 20, QByteArray(20, '\0')); // mtime and checksum
            b.replace(136, 20, QByteArray(20, '\0'));
        }
        QCOMPARE(b, a);
    }
}

void TarWriterTest::bareNamesWithoutRootFolder()
{
    const QString file = home->path() + QStringLiteral("/in/a.qml");
    QVERIFY(writeFile(file, "Item {}"));
    const QString archive = home->path() + QStringLiteral("/out.tar");
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QString error = QStringLiteral("untouched");
    QVERIFY(TarWriter::writeTar(archive, {file}, error, QString()));
    QCOMPARE(error, QStringLiteral("untouched"));
    QCOMPARE(QFileInfo(archive).size(), qint64(2048));
    verifyArchive(archive, {{"a.qml", "Item {}"}}, before);
}

void TarWriterTest::longNamesRefusedBeforeWriting_data()
{
    QTest::addColumn<QString>("fileName");
    // demo/ + 96 bytes.
    QTest::newRow("101-byte path") << QString(92, QLatin1Char('n')) + QStringLiteral(".qml");
    // Cutting at 100 bytes would split the two bytes of the é.
    QTest::newRow("character across byte 100")
        << QString(94, QLatin1Char('n')) + QString::fromUtf8("é.qml");
    // Cut names of this length would collide and lose their extension.
    QTest::newRow("120-byte name") << QString(116, QLatin1Char('n')) + QStringLiteral(".qml");
}

void TarWriterTest::longNamesRefusedBeforeWriting()
{
    QFETCH(QString, fileName);
    const QString src = makeProject(QStringLiteral("demo"),
                                    {{QStringLiteral("app.qml"), "a"}, {fileName, "long"}});
    QVERIFY(!src.isEmpty());
    const QString archive = outputPath(QStringLiteral("demo")) + QStringLiteral("/demo.tar");
    QVERIFY(writeFile(archive, "the old archive"));

    QString error;
    QVERIFY(!packageProjectFiles(QStringLiteral("demo"), ProjectType::Application, archive, error));
    QCOMPARE(error,
             QStringLiteral("Cannot package %1/%2: its name in the package, \"demo/%2\", "
                            "is longer than 100 bytes.")
                 .arg(src, fileName));
    QCOMPARE(readFile(archive), QByteArray("the old archive"));
    QCOMPARE(allEntries(outputPath(QStringLiteral("demo"))), QStringList {"demo.tar"});
}

void TarWriterTest::nothingToPackage_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<bool>("link");
    QTest::newRow("empty src") << Files() << false;
    QTest::newRow("only a hidden file") << Files {{".DS_Store", "x"}} << false;
    QTest::newRow("only a sub-folder") << Files {{"sub/app.qml", "x"}} << false;
    QTest::newRow("only a symlink") << Files() << true;
}

void TarWriterTest::nothingToPackage()
{
    QFETCH(Files, files);
    QFETCH(bool, link);
    const QString src = makeProject(QStringLiteral("demo"), files);
    QVERIFY(!src.isEmpty());
    if (link) {
        QVERIFY(writeFile(home->path() + QStringLiteral("/secret.txt"), "private"));
        QVERIFY(QFile::link(home->path() + QStringLiteral("/secret.txt"), src + "/app.qml"));
    }
    const QString archive = outputPath(QStringLiteral("demo")) + QStringLiteral("/demo.tar");
    QString error;
    QVERIFY(!packageProjectFiles(QStringLiteral("demo"), ProjectType::Application, archive, error));
    QCOMPARE(error, QStringLiteral("Nothing to package - src/ is empty."));
    QVERIFY(!QFileInfo::exists(archive));
}

void TarWriterTest::unreadableFileKeepsOldArchive()
{
    const QString present = home->path() + QStringLiteral("/in/a.qml");
    const QString missing = home->path() + QStringLiteral("/in/missing.qml");
    QVERIFY(writeFile(present, "a"));
    const QString archive = home->path() + QStringLiteral("/out/old.tar");
    QVERIFY(writeFile(archive, "the old archive"));
    QString error;
    QVERIFY(!TarWriter::writeTar(archive, {present, missing}, error, QStringLiteral("demo")));
    QCOMPARE(error, QStringLiteral("Cannot read ") + missing);
    QCOMPARE(readFile(archive), QByteArray("the old archive"));
    QCOMPARE(allEntries(home->path() + QStringLiteral("/out")), QStringList {"old.tar"});
}

void TarWriterTest::missingOutputFolder()
{
    const QString file = home->path() + QStringLiteral("/in/a.qml");
    QVERIFY(writeFile(file, "a"));
    const QString archive = home->path() + QStringLiteral("/no-such-folder/demo.tar");
    QString error;
    QVERIFY(!TarWriter::writeTar(archive, {file}, error, QStringLiteral("demo")));
    QCOMPARE(error, QStringLiteral("Cannot write ") + archive);
    QVERIFY(!QFileInfo::exists(archive));
}

void TarWriterTest::failedWriteKeepsOldArchive_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<int>("limit"); // on file sizes, as on a full disk
    QTest::newRow("disk full half-way") << 20000 << 8192;
    // The whole archive still sits in the write buffer: only the final flush fails.
    QTest::newRow("disk full at the last flush") << 5 << 1024;
}

void TarWriterTest::failedWriteKeepsOldArchive()
{
    QFETCH(int, fileSize);
    QFETCH(int, limit);
    QVERIFY(!makeProject(QStringLiteral("demo"),
                         {{QStringLiteral("app.qml"), QByteArray(fileSize, 'x')}})
                 .isEmpty());
    const QString archive = outputPath(QStringLiteral("demo")) + QStringLiteral("/demo.tar");
    QVERIFY(writeFile(archive, "the old archive"));
    QString error;
    bool packaged = true;
    {
        const FileSizeLimit fileSizeLimit {rlim_t(limit)};
        packaged
            = packageProjectFiles(QStringLiteral("demo"), ProjectType::Application, archive, error);
    }
    QVERIFY(!packaged);
    QCOMPARE(error, QStringLiteral("Cannot write ") + archive);
    QCOMPARE(readFile(archive), QByteArray("the old archive"));
    QCOMPARE(allEntries(outputPath(QStringLiteral("demo"))), QStringList {"demo.tar"});
}

void TarWriterTest::oversizedFileRefused()
{
    // A sparse file one byte past what eleven octal digits hold.
    const QString big = home->path() + QStringLiteral("/in/big.png");
    QVERIFY(writeFile(big, QByteArray()));
    QFile file(big);
    if (!file.resize(Q_INT64_C(8589934592)))
        QSKIP("this file system cannot hold an 8 GiB sparse file");
    const QString archive = home->path() + QStringLiteral("/out.tar");
    QString error;
    QVERIFY(!TarWriter::writeTar(archive, {big}, error, QStringLiteral("demo")));
    QCOMPARE(error, QStringLiteral("Cannot package %1: it is 8 GiB or larger.").arg(big));
    QVERIFY(!QFileInfo::exists(archive));
}

void TarWriterTest::numberFieldsInUstarForm_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<QByteArray>("sizeField"); // eleven octal digits and a NUL
    QTest::newRow("empty") << 0 << QByteArray("00000000000\0", 12);
    QTest::newRow("5 bytes") << 5 << QByteArray("00000000005\0", 12);
    QTest::newRow("1000 bytes") << 1000 << QByteArray("00000001750\0", 12);
    QTest::newRow("70000 bytes") << 70000 << QByteArray("00000210560\0", 12);
}

// Readers forgive a size field with fewer digits; the radio's unpacker need not. The number
// fields (mode, owners, size, time) must be byte for byte what GNU tar and Python's tarfile
// write in the ustar format for the same file.
void TarWriterTest::numberFieldsInUstarForm()
{
    QFETCH(int, fileSize);
    QFETCH(QByteArray, sizeField);
    const QString folder = home->path() + QStringLiteral("/in");
    const QString file = folder + QStringLiteral("/a.qml");
    QVERIFY(writeFile(file, QByteArray(fileSize, 'x')));
    const QString archive = home->path() + QStringLiteral("/out.tar");
    QString error;
    QVERIFY2(TarWriter::writeTar(archive, {file}, error, QString()), qPrintable(error));
    const QByteArray header = readFile(archive).left(512);
    QCOMPARE(header.mid(124, 12), sizeField);
    // mode, uid, gid
    QCOMPARE(header.mid(100, 24),
             QByteArray("0000644", 8) + QByteArray("0000000", 8) + QByteArray("0000000", 8));
    const qint64 mtime = octal(header.mid(136, 11));
    QCOMPARE(header.mid(136, 12), QByteArray::number(mtime, 8).rightJustified(11, '0') + '\0');

    const QString gnu = home->path() + QStringLiteral("/gnu.tar");
    const Run made
        = run(tar,
              {QStringLiteral("--format=ustar"), QStringLiteral("--numeric-owner"),
               QStringLiteral("--owner=0"), QStringLiteral("--group=0"),
               QStringLiteral("--mode=0644"), QStringLiteral("--mtime=@%1").arg(mtime),
               QStringLiteral("-cf"), gnu, QStringLiteral("-C"), folder, QStringLiteral("a.qml")});
    QVERIFY2(made.exitCode == 0, made.err.constData());
    QCOMPARE(header.mid(100, 48), readFile(gnu).mid(100, 48));

    const Run written
        = run(python,
              {QStringLiteral("-c"),
               QStringLiteral("import sys, tarfile\n"
                              "t = tarfile.TarInfo('a.qml')\n"
                              "t.size, t.mtime, t.mode = %1, %2, 0o644\n"
                              "sys.stdout.buffer.write(t.tobuf(tarfile.USTAR_FORMAT))\n")
                   .arg(fileSize)
                   .arg(mtime)});
    QVERIFY2(written.exitCode == 0, written.err.constData());
    QCOMPARE(header.mid(100, 48), written.out.mid(100, 48));
}

void TarWriterTest::sizeChangedWhileReadRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("grows");
    // Files whose size when opened is not what reading them gives, as with a file that
    // another program writes while it is packaged.
    QTest::newRow("more than its size: grew") << "/proc/self/status" << true;
    QTest::newRow("less than its size: shrank") << "/sys/devices/system/cpu/online" << false;
}

void TarWriterTest::sizeChangedWhileReadRefused()
{
    QFETCH(QString, path);
    QFETCH(bool, grows);
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly))
        QSKIP("this system has no such file");
    const qint64 announced = source.size();
    const qint64 held = source.readAll().size();
    if (grows ? held <= announced : held >= announced || held == 0)
        QSKIP("this file's size is what it holds here");

    const QString archive = home->path() + QStringLiteral("/out/old.tar");
    QVERIFY(writeFile(archive, "the old archive"));
    QString error;
    QVERIFY(!TarWriter::writeTar(archive, {path}, error, QStringLiteral("demo")));
    QCOMPARE(error, QStringLiteral("Cannot read ") + path);
    QCOMPARE(readFile(archive), QByteArray("the old archive"));
    QCOMPARE(allEntries(home->path() + QStringLiteral("/out")), QStringList {"old.tar"});
}

QTEST_GUILESS_MAIN(TarWriterTest)
#include "tst_tarwriter.moc"
