#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <functional>

class QFile;

// QSaveFile::commit() in Qt 5.15 ignores a failure of its final flush: a small file that
// still sits in the write buffer when the disk is full is committed empty or cut short.
// Flushing first, and giving up on failure, keeps the old file whole.
inline bool commitSaveFile(QSaveFile &file)
{
    if (!file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// The one way a user's project file, icon or package is written. QSaveFile follows a link
// at its target (Qt 5.15), so this writes a hidden temporary file beside the target and
// rename(2)s it over the target, which replaces a link that appeared meanwhile instead of
// following it. A link or anything but a regular file already at the target is refused,
// and so is a folder that is itself a link. The target keeps its mode (and, where allowed,
// its owner); a new file gets the usual default mode, or 0644 where asked (a copy of the
// program's read-only resources would otherwise inherit 0444). Where the folder cannot be written
// but the file can, the file is overwritten in place, after room for the whole new content was
// reserved. Every failure leaves the old file whole and is reported, the sync and the rename
// included.
class SafeFileWriter
{
public:
    enum class NewFileMode { Default, Mode0644 };

    explicit SafeFileWriter(const QString &target, NewFileMode newMode = NewFileMode::Default);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter &) = delete;
    SafeFileWriter &operator=(const SafeFileWriter &) = delete;

    bool open();
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }
    bool commit();
    // Drops the temporary file; the target stays as it was.
    void cancel();
    // Why it failed, naming no path ("it is a link, which is not followed"): callers put it
    // after the file's name.
    QString errorString() const { return error; }
    // The failure was a refusal: a link, or no regular file, at the target or as its folder.
    bool refused() const { return refusal; }

    // Writes bytes as the whole new content of path. On false, error holds why.
    static bool writeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr,
                          NewFileMode newMode = NewFileMode::Default);

    // Removes temporary files left in folder by a save that was killed before its rename.
    static void removeStaleTemporaries(const QString &folder);

    // For tests: called with the temporary file's path just before the rename; returning
    // false ends the commit there, as if the program had been killed (the file stays).
    static std::function<bool(const QString &temporaryPath)> beforeRenameHook;

private:
    bool fail(const QString &what, int errorNumber);
    bool refuse(const QString &what);
    bool syncAndClose();
    bool openDirect();

    QString target;
    QString folder;
    QByteArray name;
    NewFileMode newMode;
    QString error;
    int folderFd = -1;
    int fd = -1;
    QByteArray temporaryName;
    bool direct = false;
    QByteArray directBytes;
    bool existed = false;
    bool refusal = false;
    unsigned existingMode = 0;
    unsigned existingUid = 0;
    unsigned existingGid = 0;
};

// Opens path for reading when it is a regular file, never blocking: a FIFO, a device or a
// socket is refused before anything waits on it, and so is a link. On false, error says why
// (naming no path).
bool openRegularFile(const QString &path, QFile &file, QString *error = nullptr);
// Reads at most maxBytes + 1 bytes of the regular file at path (one past, so a caller can
// tell a file over its limit). On false, error says why.
bool readRegularFile(const QString &path, qint64 maxBytes, QByteArray &bytes,
                     QString *error = nullptr);
// The same file (device and inode) at both paths, so a name spelled differently that the
// volume takes for the same entry (App.qml and app.qml where case does not count) matches.
bool isSameFile(const QString &a, const QString &b);
