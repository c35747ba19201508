#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include "TestSupport.h"

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

using TestSupport::FileSizeLimit;
using TestSupport::readFile;
using TestSupport::writeFile;

// The permission bits of path as stat reports them (e.g. 0644), -1 when it does not exist.
int fileMode(const QString &path);
// Every entry of folder, hidden ones included, sorted; "." and ".." left out.
QStringList allEntries(const QString &folder);

// Everything under folder, links not followed: relative path to a file's bytes, "folder",
// or "link to " and the link's target.
QMap<QString, QByteArray> folderContents(const QString &folder);

} // namespace WorkspaceTest
