#include "WorkspaceTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace WorkspaceTest {

TemporaryHome::TemporaryHome()
    : savedHome(qgetenv("HOME"))
{
    qputenv("HOME", dir.path().toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");
    qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/.config")).toUtf8());
}

TemporaryHome::~TemporaryHome()
{
    qputenv("HOME", savedHome);
}

int fileMode(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

QStringList allEntries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray what;
        if (info.isSymLink())
            what = "link to " + info.symLinkTarget().toUtf8();
        else if (info.isDir())
            what = "folder";
        else
            what = readFile(path);
        contents.insert(QDir(folder).relativeFilePath(path), what);
    }
    return contents;
}

} // namespace WorkspaceTest
