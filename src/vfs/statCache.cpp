#include "vfs/statCache.h"

#include "vfs/changeWatch.h"

#include <QFile>

#include <sys/stat.h>

#include <ctime>

namespace {

// A kept file changes, is renamed, replaced or removed; a folder on its path
// changes its permissions, is renamed or removed.
constexpr uint32_t watchedEvents = IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM
    | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

qint64 coarseWallMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

TstatCache &TstatCache::instance()
{
    static TstatCache cache;
    return cache;
}

TstatCache::TstatCache() = default;
TstatCache::~TstatCache() = default;

DiskEntryInfo TstatCache::info(const QString &path, const QString &root)
{
    return info(path, root, coarseWallMs());
}

DiskEntryInfo TstatCache::info(const QString &path, const QString &root, qint64 wallMs)
{
    if (!changes.isValid())
        return diskEntryInfo(path);
    readEvents();
    const auto kept = files.constFind(path);
    if (kept != files.cend())
        return *kept;

    const QByteArray native = QFile::encodeName(path);
    QByteArray top = QFile::encodeName(root);
    while (top.size() > 1 && top.endsWith('/'))
        top.chop(1);
    // Only paths strictly inside the root are watched up to it.
    const bool inside = !top.isEmpty() && native.size() > top.size() + 1 && native.startsWith(top)
        && (top == "/" || native.at(top.size()) == '/');
    // The watches come first: a change made while the file is looked at is
    // then an event, not a stale entry.
    QList<int> wds;
    const bool watched = inside && files.size() < maxFiles && watchPath(native, top, wds);
    const DiskEntryInfo seen = diskEntryInfo(path);
    readEvents(); // anything that happened since the watches were set
    bool stillWatched = watched;
    for (int wd : std::as_const(wds))
        stillWatched = stillWatched && byWatch.contains(wd);
    if (stillWatched && keepable(native, seen, wallMs)) {
        files.insert(path, seen);
        for (int wd : std::as_const(wds)) {
            QList<QString> &dependents = byWatch[wd].files;
            if (!dependents.contains(path)) // kept again after a change
                dependents.append(path);
        }
    } else {
        // Watches no kept file depends on any more are let go.
        for (int wd : std::as_const(wds)) {
            const auto w = byWatch.find(wd);
            if (w == byWatch.end())
                continue;
            // Files dropped through another watch are still listed here.
            w->files.removeIf([this](const QString &f) { return !files.contains(f); });
            if (w->files.isEmpty())
                dropWatch(wd, false);
        }
    }
    if (files.size() >= maxFiles || watchedFolders.size() > maxWatches)
        clear(); // refilled by the next lookups
    return seen;
}

bool TstatCache::keepable(const QByteArray &path, const DiskEntryInfo &seen, qint64 wallMs) const
{
    if (seen.kind != DiskEntry::File)
        return false;
    // A file still being written changes at every look; a time in the
    // future (a clock set back) never settles.
    if (wallMs - qMax(seen.mtimeNs, seen.ctimeNs) / 1000000 < settledMs)
        return false;
    // A symbolic link's target, and a file with other names, can change
    // through folders that are not watched.
    struct stat own;
    if (::lstat(path.constData(), &own) != 0 || !S_ISREG(own.st_mode) || own.st_nlink != 1)
        return false;
    return isLocalFileSystemAt(path.constData());
}

bool TstatCache::watchPath(const QByteArray &path, const QByteArray &root, QList<int> &wds)
{
    QByteArray folder = parentOf(path);
    for (;;) {
        int wd = watchedFolders.value(folder, -1);
        if (wd < 0) {
            wd = changes.add(folder, watchedEvents);
            if (wd < 0)
                return false;
            if (byWatch.contains(wd)) {
                // The same folder under another name (a link on the way):
                // one watch, one owner name.
                wds.append(wd);
            } else {
                byWatch.insert(wd, Twatch{folder, {}});
                watchedFolders.insert(folder, wd);
                wds.append(wd);
            }
        } else {
            wds.append(wd);
        }
        if (folder.size() <= root.size())
            return true;
        folder = parentOf(folder);
    }
}

void TstatCache::readEvents()
{
    changes.readEvents([this](int wd, uint32_t mask) {
        if (mask & IN_Q_OVERFLOW)
            clear(); // events were lost: nothing kept can be trusted
        else if (byWatch.contains(wd))
            dropWatch(wd, mask & IN_IGNORED);
    });
}

// Any event in a watched folder drops every file kept through it: events
// are rare next to lookups, and the next lookup of each file sets it up again.
void TstatCache::dropWatch(int wd, bool watchGone)
{
    const auto it = byWatch.find(wd);
    if (it == byWatch.end())
        return;
    for (const QString &f : std::as_const(it->files))
        files.remove(f);
    watchedFolders.remove(it->folder);
    byWatch.erase(it);
    if (!watchGone)
        changes.remove(wd);
}

void TstatCache::clear()
{
    for (auto it = byWatch.cbegin(); it != byWatch.cend(); ++it)
        changes.remove(it.key());
    byWatch.clear();
    watchedFolders.clear();
    files.clear();
}
