#include "util/files.h"

#include "util/bytePath.h"
#include "util/encodings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString &baseFolder()
{
    static QString folder;
    return folder;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qint64>(size, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Opens a path only when it is a regular file: O_NONBLOCK keeps a FIFO
// from blocking the open, and fstat then refuses it.
int openRegular(const QByteArray &path, int flags, mode_t mode = 0666)
{
    const int fd = ::open(path.constData(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(bytePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool ensureFolder(const QString &folder)
{
    const QFileInfo fi(folder);
    if (fi.isDir())
        return true;
    return !fi.exists() && QDir().mkpath(folder);
}

bool appendTo(const QString &target, const QByteArray &bytes, TfileMode mode)
{
    const int fd = openRegular(bytePath(target), O_WRONLY | O_APPEND | O_CREAT, mode == FM_PRIVATE ? 0600 : 0666);
    if (fd < 0)
        return false;
    const bool ok = writeAll(fd, bytes.constData(), bytes.size());
    return (::close(fd) == 0) && ok;
}

// A name for the temporary neighbour: the target's name with "~", a random
// number and ".tmp", or a short name when that would be too long.
QString temporaryName(const QString &folder, const QString &name)
{
    const QString number = QString::number(QRandomGenerator::global()->bounded(2147483647));
    QString candidate = name + u'~' + number + QStringLiteral(".tmp");
    if (bytePath(candidate).size() > 255)
        candidate = QStringLiteral("zof~") + number + QStringLiteral(".tmp");
    return folder + u'/' + candidate;
}

bool replaceFile(QString target, const QByteArray &bytes, TfileMode mode)
{
    // Replace the file a symbolic link points to, not the link.
    const QFileInfo info(target);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();

    struct stat old;
    const bool exists = ::stat(bytePath(target).constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return false;

    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    QString temp;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temp = temporaryName(folder, targetInfo.fileName());
        fd = ::open(bytePath(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    mode == FM_PRIVATE ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool ok = true;
    if (mode == FM_PRIVATE)
        ok = ::fchmod(fd, 0600) == 0;
    if (exists) {
        // The replacement keeps the replaced file's owner (when allowed) and permissions.
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
        if (mode != FM_PRIVATE)
            ::fchmod(fd, old.st_mode & 07777);
    }
    ok = ok && writeAll(fd, bytes.constData(), bytes.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(bytePath(temp).constData(), bytePath(target).constData()) == 0;
    if (!ok) {
        ::unlink(bytePath(temp).constData());
        return false;
    }
    syncFolder(folder);
    return true;
}

} // namespace

void setFilesBaseFolder(const QString &folder)
{
    baseFolder() = folder;
}

QString filesBaseFolder()
{
    if (!baseFolder().isEmpty())
        return baseFolder();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

QString absoluteFilePath(const QString &path)
{
    // The usual absolute name is told at a glance; QDir knows the rest.
    if (path.isEmpty() || path.startsWith(u'/') || QDir::isAbsolutePath(path))
        return path;
    return QDir(filesBaseFolder()).filePath(path);
}

QByteArray loadFile(const QString &path, qint64 size, qint64 from, bool *ok)
{
    if (ok)
        *ok = false;
    if (path.isEmpty())
        return QByteArray();
    const int fd = openRegular(bytePath(absoluteFilePath(path)), O_RDONLY);
    if (fd < 0)
        return QByteArray();
    struct stat st;
    QByteArray out;
    bool good = ::fstat(fd, &st) == 0;
    from = std::max<qint64>(from, 0);
    qint64 want = st.st_size > from ? st.st_size - from : 0;
    if (size >= 0)
        want = std::min(want, size);
    // Enough for the size seen now; a file that grows is read on to its end
    // unless a size was asked for.
    if (good && want > 0 && want < (qint64(1) << 31))
        out.reserve(want);
    char buf[65536];
    qint64 pos = from;
    while (good && (size < 0 || out.size() < size)) {
        const qint64 chunk = size < 0 ? qint64(sizeof buf) : std::min<qint64>(sizeof buf, size - out.size());
        const ssize_t n = ::pread(fd, buf, size_t(chunk), off_t(pos));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            good = false;
            break;
        }
        if (n == 0)
            break;
        out.append(buf, n);
        pos += n;
    }
    ::close(fd);
    if (ok)
        *ok = good;
    return good ? out : QByteArray();
}

QString loadTextFile(const QString &path)
{
    QByteArray bytes = loadFile(path);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return bytesToText(bytes);
}

bool saveFile(const QString &path, const QByteArray &bytes, bool append, TfileMode mode)
{
    if (!isValidFilePath(path))
        return false;
    const QString target = absoluteFilePath(path);
    if (!ensureFolder(QFileInfo(target).absolutePath()))
        return false;
    return append ? appendTo(target, bytes, mode) : replaceFile(target, bytes, mode);
}

bool saveTextFile(const QString &path, const QString &text, bool append, TfileMode mode)
{
    return saveFile(path, text.toUtf8(), append, mode);
}

QString privateTempFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QString folder;
    if (!runtime.isEmpty() && QDir::isAbsolutePath(QFile::decodeName(runtime)) && QFileInfo(QFile::decodeName(runtime)).isDir())
        folder = QFile::decodeName(runtime) + QStringLiteral("/zof");
    else
        folder = QDir::tempPath() + QStringLiteral("/zof-") + QString::number(::geteuid());
    const QByteArray f = bytePath(folder);
    if (::mkdir(f.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    // Someone else's folder, or a link planted in a shared /tmp, is never used.
    struct stat st;
    if (::lstat(f.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return QString();
    if ((st.st_mode & 077) != 0 && ::chmod(f.constData(), 0700) != 0)
        return QString();
    return folder;
}

bool removeFile(const QString &path)
{
    return ::unlink(bytePath(path).constData()) == 0 || errno == ENOENT;
}

QString saveTempFile(const QString &text)
{
    const QString folder = privateTempFolder();
    if (folder.isEmpty())
        return QString();
    QByteArray name = bytePath(folder + QStringLiteral("/zof~XXXXXX.tmp"));
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0)
        return QString();
    const QByteArray bytes = text.toUtf8();
    bool ok = writeAll(fd, bytes.constData(), bytes.size());
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(name.constData());
        return QString();
    }
    return QFile::decodeName(name);
}

bool isValidFilePath(const QString &path)
{
    if (path.isEmpty())
        return false;
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        if (u < 32 || u == u'"' || u == u'*' || u == u'<' || u == u'>' || u == u'?' || u == u'|')
            return false;
    }
    const QByteArray bytes = bytePath(path);
    if (bytes.size() > 4095)
        return false;
    for (const QByteArray &part : bytes.split('/'))
        if (part.size() > 255)
            return false;
    return true;
}

qint64 readFileAt(int fd, char *dst, qint64 len, qint64 offset)
{
    qint64 got = 0;
    while (got < len) {
        const ssize_t n = ::pread(fd, dst + got, size_t(len - got), off_t(offset + got));
        if (n > 0)
            got += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return got;
}

QString templatePath(const QString &diskPath)
{
    QString s = diskPath;
    s.replace(u'/', u'\\');
    return s;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}
