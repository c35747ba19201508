#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace WorkspaceTest {

// A fresh home folder for one test: HOME and the XDG folders point into it, so the
// workspace is <home>/Documents/Kelo Developer and the real one is never touched.
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();
    bool isValid() const { return dir.isValid(); }
    QString path() const { return dir.path(); }
    QString documents() const { return dir.path() + QStringLiteral("/Documents"); }

private:
    QTemporaryDir dir;
    QByteArray savedHome;
};

// Until destroyed, no file of this process may grow beyond maxBytes (writes then fail as on
// a full disk).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t maxBytes);
    ~FileSizeLimit();

private:
    rlimit saved {};
    void (*savedHandler)(int) = nullptr;
};

// Writes bytes to path, creating missing folders; false on any failure.
bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// The permission bits of path as stat reports them (e.g. 0644), -1 when it does not exist.
int fileMode(const QString &path);
// Every entry of folder, hidden ones included, sorted; "." and ".." left out.
QStringList allEntries(const QString &folder);

} // namespace WorkspaceTest
