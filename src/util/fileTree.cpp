// Whole items on disk, walked through byte paths: delete, copy and move.

#include "util/fileTree.h"

#include "util/bytePath.h"
#include "util/masks.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int maxDepth = 256; // folder nesting walked before giving up

QByteArray join(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray baseName(const QByteArray &p)
{
    return p.mid(p.lastIndexOf('/') + 1);
}

QByteArray parentOf(const QByteArray &p)
{
    const qsizetype cut = p.lastIndexOf('/');
    return cut <= 0 ? QByteArray("/") : p.left(cut);
}

// The entries of a folder, "." and ".." left out; false when unreadable.
bool listNames(const QByteArray &folder, QList<QByteArray> &names)
{
    DIR *d = ::opendir(folder.constData());
    if (!d)
        return false;
    while (const dirent *e = ::readdir(d)) {
        const QByteArray n(e->d_name);
        if (n != "." && n != "..")
            names.append(n);
    }
    ::closedir(d);
    return true;
}

// `inner` is `outer` or lies below it.
bool isWithin(const QByteArray &inner, const QByteArray &outer)
{
    return inner == outer || inner.startsWith(outer.endsWith('/') ? outer : outer + '/');
}

bool makeFolders(const QByteArray &p)
{
    return QDir().mkpath(QFile::decodeName(p));
}

// Replaces `dst` with a copy of the regular file `src` (permissions and
// times kept) through a temporary neighbour; without `replace` only when
// nothing lies at `dst`.
bool copyFile(const QByteArray &src, const QByteArray &dst, bool replace)
{
    const int in = ::open(src.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    struct stat dst_st;
    if (lstatPath(dst, dst_st) && S_ISDIR(dst_st.st_mode)) {
        ::close(in);
        return false;
    }
    const QByteArray tmp = join(parentOf(dst), "." + baseName(dst) + ".zof-"
                                + QByteArray::number(QRandomGenerator::system()->generate(), 36));
    const int out = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; done < n && ok;) {
            const ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
        if (!ok)
            break;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && ::fchmod(out, st.st_mode & 0777) == 0 && ::futimens(out, times) == 0 && ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    if (ok && (replace ? ::rename(tmp.constData(), dst.constData()) == 0 : renameNoReplace(tmp, dst)))
        return true;
    ::unlink(tmp.constData());
    return false;
}

bool copyLink(const QByteArray &src, const QByteArray &dst, bool replace)
{
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(src.constData(), target.data(), size_t(target.size()));
    if (n <= 0 || n >= target.size())
        return false;
    target.truncate(n);
    struct stat st;
    if (lstatPath(dst, st)) {
        if (!replace || S_ISDIR(st.st_mode) || ::unlink(dst.constData()) != 0)
            return false;
    }
    return ::symlink(target.constData(), dst.constData()) == 0;
}

bool hasWildcard(const QByteArray &name)
{
    return name.contains('*') || name.contains('?');
}

} // namespace

// ---- rename ----

// A rename that never replaces what is there.
bool renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: check first.
    return !entryExists(to) && ::rename(from.constData(), to.constData()) == 0;
}

// ---- delete ----

bool deleteTree(const QByteArray &p, int depth)
{
    struct stat st;
    if (!lstatPath(p, st))
        return false;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(p.constData()) == 0;
    if (depth > maxDepth)
        return false;
    QList<QByteArray> names;
    bool ok = listNames(p, names);
    for (const QByteArray &n : std::as_const(names))
        ok = deleteTree(join(p, n), depth + 1) && ok;
    return ::rmdir(p.constData()) == 0 && ok;
}

// ---- copy ----

// `follow`: the top item is taken through a link; below it links are copied.
// Without `replace`, files and links already at the destination stay.
bool copyTree(const QByteArray &src, const QByteArray &dst, bool follow, bool replace, int depth)
{
    struct stat st;
    if ((follow ? ::stat(src.constData(), &st) : ::lstat(src.constData(), &st)) != 0)
        return false;
    if (S_ISLNK(st.st_mode))
        return copyLink(src, dst, replace);
    if (S_ISREG(st.st_mode))
        return copyFile(src, dst, replace);
    if (!S_ISDIR(st.st_mode))
        return false; // FIFOs, sockets and devices are left alone
    if (depth > maxDepth)
        return false;
    struct stat dst_st;
    if (lstatPath(dst, dst_st)) {
        if (!S_ISDIR(dst_st.st_mode))
            return false;
    } else if (::mkdir(dst.constData(), (st.st_mode & 0777) | 0700) != 0) {
        return false;
    }
    QList<QByteArray> names;
    bool ok = listNames(src, names);
    for (const QByteArray &n : std::as_const(names)) {
        struct stat cs;
        const QByteArray child = join(src, n);
        if (!lstatPath(child, cs))
            ok = false;
        else if (S_ISREG(cs.st_mode) || S_ISDIR(cs.st_mode) || S_ISLNK(cs.st_mode))
            ok = copyTree(child, join(dst, n), false, replace, depth + 1) && ok;
    }
    return ok;
}

// ---- move ----

// A move never replaces what lies at its destination: a file or a link
// goes only where nothing is, a folder onto a folder merges what does not
// collide (the rest stays where it was, and the move fails).
bool moveTree(const QByteArray &src, const QByteArray &dst, int depth)
{
    struct stat st, dst_st;
    if (!lstatPath(src, st))
        return false;
    if (!lstatPath(dst, dst_st)) {
        if (renameNoReplace(src, dst))
            return true;
        if (errno != EXDEV)
            return false;
        return copyTree(src, dst, false, false) && deleteTree(src);
    }
    if (!S_ISDIR(st.st_mode) || !S_ISDIR(dst_st.st_mode))
        return false;
    if (depth > maxDepth)
        return false;
    QList<QByteArray> names;
    bool ok = listNames(src, names);
    for (const QByteArray &n : std::as_const(names))
        ok = moveTree(join(src, n), join(dst, n), depth + 1) && ok;
    return ok && ::rmdir(src.constData()) == 0;
}

// ---- sources and destinations ----

// The items a source path stands for: itself, or the entries of its folder
// that match the mask in its last part.
QList<QByteArray> expandSource(const QByteArray &path, bool *isMask)
{
    if (isMask)
        *isMask = false;
    if (path.isEmpty())
        return {};
    if (entryExists(path) || !hasWildcard(baseName(path)))
        return {path};
    if (isMask)
        *isMask = true;
    const QByteArray folder = parentOf(path);
    const QString mask = QFile::decodeName(baseName(path));
    QList<QByteArray> names, out;
    listNames(folder, names);
    for (const QByteArray &n : std::as_const(names))
        if (matchFileMask(mask, QFile::decodeName(n)))
            out.append(join(folder, n));
    return out;
}

// Moves or copies the source to the destination as the desktop does: into
// the destination when it is a folder (or when several items are moved),
// else to that name; missing folders are created, files replaced.
bool transfer(const QString &srcPath, const QString &dstPath, bool move)
{
    const QByteArray src = bytePath(srcPath), dst = bytePath(dstPath);
    if (src.isEmpty() || dst.isEmpty() || srcPath == QLatin1String("/"))
        return false;
    bool isMask;
    const QList<QByteArray> items = expandSource(src, &isMask);
    if (items.isEmpty() || (!isMask && !entryExists(src)))
        return false;
    struct stat st;
    const bool intoFolder = isMask || (::stat(dst.constData(), &st) == 0 && S_ISDIR(st.st_mode));
    if (!makeFolders(intoFolder ? dst : parentOf(dst)))
        return false;
    bool ok = true;
    for (const QByteArray &item : items) {
        const QByteArray target = intoFolder ? join(dst, baseName(item)) : dst;
        // Never onto itself or into its own content.
        if (isWithin(target, item) || (move && isWithin(item, target) && item != target)) {
            ok = false;
            continue;
        }
        ok = (move ? moveTree(item, target) : copyTree(item, target, true)) && ok;
    }
    return ok;
}
