#include "SaveFileCommit.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Texts
{
    Q_DECLARE_TR_FUNCTIONS(SafeFileWriter)
};

constexpr char TemporaryPrefix[] = ".kelo-save-";

QByteArray localPath(const QString &path)
{
    return QFile::encodeName(path);
}

int retryOpenAt(int folder, const char *name, int flags, mode_t mode = 0)
{
    int result;
    do {
        result = ::openat(folder, name, flags, mode);
    } while (result < 0 && errno == EINTR);
    return result;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 20)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool isTemporaryName(const char *name)
{
    return std::strncmp(name, TemporaryPrefix, sizeof(TemporaryPrefix) - 1) == 0;
}

void removeStaleTemporariesAt(int folderFd)
{
    const int listFd = ::dup(folderFd);
    if (listFd < 0)
        return;
    DIR *dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        struct stat st;
        if (isTemporaryName(entry->d_name)
            && ::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode))
            ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

std::function<bool(const QString &)> SafeFileWriter::beforeRenameHook;

SafeFileWriter::SafeFileWriter(const QString &targetPath, NewFileMode mode)
    : target(targetPath)
    , newMode(mode)
{
}

SafeFileWriter::~SafeFileWriter()
{
    cancel();
}

bool SafeFileWriter::fail(const QString &what, int errorNumber)
{
    error = errorNumber ? QStringLiteral("%1: %2").arg(what, qt_error_string(errorNumber)) : what;
    cancel();
    return false;
}

bool SafeFileWriter::refuse(const QString &what)
{
    fail(what, 0);
    refusal = true;
    return false;
}

bool SafeFileWriter::open()
{
    cancel();
    error.clear();
    refusal = false;
    const QFileInfo info(target);
    folder = info.path();
    name = QFile::encodeName(info.fileName());
    if (name.isEmpty() || name == "." || name == "..")
        return fail(Texts::tr("it is no file name"), 0);
    folderFd
        = ::open(localPath(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) {
        const int openError = errno;
        struct stat st;
        if (::lstat(localPath(folder).constData(), &st) == 0 && S_ISLNK(st.st_mode))
            return refuse(Texts::tr("its folder is a link, which is not followed"));
        return fail(Texts::tr("its folder cannot be opened"), openError);
    }
    struct stat st;
    if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return refuse(Texts::tr("it is a link, which is not followed"));
        if (!S_ISREG(st.st_mode))
            return refuse(Texts::tr("it is not a regular file"));
        existed = true;
        existingMode = st.st_mode & 07777;
        existingUid = st.st_uid;
        existingGid = st.st_gid;
    } else if (errno != ENOENT) {
        const int e = errno;
        return fail(Texts::tr("it cannot be examined"), e);
    }

    removeStaleTemporariesAt(folderFd);
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    int createError = 0;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        QByteArray candidate(TemporaryPrefix);
        for (int i = 0; i < 10; ++i)
            candidate += letters[QRandomGenerator::global()->bounded(int(sizeof(letters) - 1))];
        fd = retryOpenAt(folderFd, candidate.constData(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0)
            temporaryName = candidate;
        else if ((createError = errno) != EEXIST)
            break;
    }
    if (fd < 0) {
        // A folder the user may not write to, holding a file they may: overwrite in place.
        if (existed && (createError == EACCES || createError == EPERM) && openDirect())
            return true;
        if (error.isEmpty())
            error = Texts::tr("no file can be made in its folder: %1")
                        .arg(qt_error_string(createError));
        cancel();
        return false;
    }
    if (existed) {
        // Root saving a user's file must not hand it to root; failure is harmless.
        const int chowned = ::fchown(fd, existingUid, existingGid);
        Q_UNUSED(chowned)
        if (::fchmod(fd, existingMode) != 0) {
            const int e = errno;
            return fail(Texts::tr("its mode cannot be kept"), e);
        }
    } else if (newMode == NewFileMode::Mode0644 && ::fchmod(fd, 0644) != 0) {
        const int e = errno;
        return fail(Texts::tr("its mode cannot be set"), e);
    }
    return true;
}

bool SafeFileWriter::openDirect()
{
    fd = retryOpenAt(folderFd, name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        error = Texts::tr("it cannot be written: %1").arg(qt_error_string(e));
        return false;
    }
    struct stat st;
    // Only the one regular file that was checked, and only when no other name shares it.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        error = Texts::tr("no file can be made in its folder, and it has other names");
        ::close(fd);
        fd = -1;
        return false;
    }
    direct = true;
    return true;
}

bool SafeFileWriter::write(const char *data, qint64 size)
{
    if (fd < 0)
        return false;
    if (direct) {
        directBytes.append(data, int(size));
        return true;
    }
    if (!writeAll(fd, data, size)) {
        const int e = errno;
        return fail(Texts::tr("it cannot be written"), e);
    }
    return true;
}

bool SafeFileWriter::commit()
{
    if (fd < 0) {
        if (error.isEmpty())
            error = Texts::tr("it cannot be written");
        return false;
    }
    if (direct) {
        const qint64 size = directBytes.size();
#ifdef Q_OS_LINUX
        // Room for all of it first: a full disk then fails before the old bytes are touched.
        if (size > 0 && ::fallocate(fd, 0, 0, size) != 0 && errno != EOPNOTSUPP) {
            const int e = errno;
            return fail(Texts::tr("it cannot be written"), e);
        }
#endif
        if (::lseek(fd, 0, SEEK_SET) != 0 || !writeAll(fd, directBytes.constData(), size)
            || ::ftruncate(fd, size) != 0) {
            const int e = errno;
            return fail(Texts::tr("it cannot be written"), e);
        }
        if (!syncAndClose())
            return false;
        cancel();
        return true;
    }
    if (!syncAndClose())
        return false;
    if (beforeRenameHook
        && !beforeRenameHook(folder + QLatin1Char('/') + QFile::decodeName(temporaryName))) {
        // As if killed here: the temporary file stays for the next save to remove.
        temporaryName.clear();
        error = Texts::tr("it cannot be written");
        cancel();
        return false;
    }
    if (::renameat(folderFd, temporaryName.constData(), folderFd, name.constData()) != 0) {
        const int e = errno;
        return fail(Texts::tr("it cannot be replaced"), e);
    }
    temporaryName.clear();
    cancel();
    return true;
}

// On the disk and closed; a failure of either means the bytes may not be there.
bool SafeFileWriter::syncAndClose()
{
    if (::fsync(fd) != 0) {
        const int e = errno;
        return fail(Texts::tr("it cannot be written"), e);
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        const int e = errno;
        return fail(Texts::tr("it cannot be written"), e);
    }
    return true;
}

void SafeFileWriter::cancel()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    if (!temporaryName.isEmpty() && folderFd >= 0)
        ::unlinkat(folderFd, temporaryName.constData(), 0);
    temporaryName.clear();
    if (folderFd >= 0)
        ::close(folderFd);
    folderFd = -1;
    direct = false;
    directBytes.clear();
    existed = false;
}

bool SafeFileWriter::writeFile(const QString &path, const QByteArray &bytes, QString *error,
                               NewFileMode newMode)
{
    SafeFileWriter file(path, newMode);
    if (file.open() && file.write(bytes) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

void SafeFileWriter::removeStaleTemporaries(const QString &folder)
{
    const int folderFd
        = ::open(localPath(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0)
        return;
    removeStaleTemporariesAt(folderFd);
    ::close(folderFd);
}

bool openRegularFile(const QString &path, QFile &file, QString *error)
{
    int fd;
    do {
        fd = ::open(localPath(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int e = errno;
        if (error)
            *error = e == ELOOP ? Texts::tr("it is a link, which is not followed")
                                : qt_error_string(e);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = Texts::tr("it is not a regular file");
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool readRegularFile(const QString &path, qint64 maxBytes, QByteArray &bytes, QString *error)
{
    QFile file;
    if (!openRegularFile(path, file, error))
        return false;
    bytes = file.read(qMin(file.size(), maxBytes) + 1);
    if (bytes.size() <= maxBytes && !file.atEnd())
        bytes += file.read(maxBytes + 1 - bytes.size());
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool isSameFile(const QString &a, const QString &b)
{
    struct stat first;
    struct stat second;
    return ::stat(localPath(a).constData(), &first) == 0
        && ::stat(localPath(b).constData(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}
