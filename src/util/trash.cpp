#include "util/trash.h"

#include "util/bytePath.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A private folder of ours (created 0700 when missing), never a symlink.
bool ensurePrivateFolder(const QString &path)
{
    struct stat st;
    if (!lstatPath(bytePath(path), st)) {
        if (::mkdir(bytePath(path).constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (!lstatPath(bytePath(path), st))
            return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

// Some folder above `path` (not the item itself) is a symbolic link.
bool hasLinkedAncestor(const QString &path)
{
    QString p = path;
    for (;;) {
        const qsizetype cut = p.lastIndexOf(u'/');
        if (cut <= 0)
            return false;
        p.truncate(cut);
        struct stat st;
        if (lstatPath(bytePath(p), st) && S_ISLNK(st.st_mode))
            return true;
    }
}

// The device of a path, or of its nearest existing parent.
bool deviceOf(QString path, dev_t &dev)
{
    for (;;) {
        struct stat st;
        if (::stat(bytePath(path).constData(), &st) == 0) {
            dev = st.st_dev;
            return true;
        }
        const qsizetype cut = path.lastIndexOf(u'/');
        if (cut < 0)
            return false;
        path = cut == 0 ? QStringLiteral("/") : path.left(cut);
    }
}

// The highest folder above `path` that is still on device `dev`.
QString topOfDevice(const QString &path, dev_t dev)
{
    QString top = path;
    for (;;) {
        const qsizetype cut = top.lastIndexOf(u'/');
        if (cut < 0)
            return top;
        const QString up = cut == 0 ? QStringLiteral("/") : top.left(cut);
        struct stat st;
        if (::stat(bytePath(up).constData(), &st) != 0 || st.st_dev != dev)
            return top;
        if (up == QLatin1String("/"))
            return up;
        top = up;
    }
}

// Records and renames the item into `trash`; `infoPath` is the Path= value.
bool trashInto(const QString &trash, const QString &item, const QString &infoPath)
{
    const QString files = trash + QStringLiteral("/files");
    const QString info = trash + QStringLiteral("/info");
    if (!ensurePrivateFolder(trash) || !ensurePrivateFolder(files) || !ensurePrivateFolder(info))
        return false;
    const QString base = item.mid(item.lastIndexOf(u'/') + 1);
    const QByteArray record = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(infoPath, "/")
        + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + "\n";
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? base : base + u'.' + QString::number(n);
        const QString infoFile = info + u'/' + name + QStringLiteral(".trashinfo");
        // The record is created exclusively first: it reserves the name.
        const int fd = ::open(bytePath(infoFile).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool written = ::write(fd, record.constData(), size_t(record.size())) == record.size();
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        struct stat st;
        const QString target = files + u'/' + name;
        if (written && synced && lstatPath(bytePath(target), st)) {
            ::unlink(bytePath(infoFile).constData()); // a stale item without record: next name
            continue;
        }
        if (written && synced && ::rename(bytePath(item).constData(), bytePath(target).constData()) == 0)
            return true;
        ::unlink(bytePath(infoFile).constData());
        return false;
    }
    return false;
}

} // namespace

QString homeTrashFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !data.startsWith(u'/'))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/Trash"));
}

bool moveToTrash(const QString &osPath)
{
    const QString path = QDir::cleanPath(osPath);
    if (!path.startsWith(u'/') || path == QLatin1String("/") || path.contains(QChar(0)))
        return false;
    struct stat st;
    if (!lstatPath(bytePath(path), st) || hasLinkedAncestor(path))
        return false;
    const QString home = homeTrashFolder();
    // The trash itself, or a folder holding it, is not trashed.
    if (home == path || home.startsWith(path + u'/'))
        return false;
    dev_t homeDev;
    if (deviceOf(home, homeDev) && homeDev == st.st_dev) {
        QDir().mkpath(home.left(home.lastIndexOf(u'/')));
        return trashInto(home, path, path);
    }
    const QString top = topOfDevice(path, st.st_dev);
    if (top == path)
        return false; // a mount point is not moved
    const QString trash = (top == QLatin1String("/") ? QString() : top) + QStringLiteral("/.Trash-")
        + QString::number(::geteuid());
    if (trash == path)
        return false;
    const QString rel = path.mid(top == QLatin1String("/") ? 1 : top.size() + 1);
    return trashInto(trash, path, rel);
}
