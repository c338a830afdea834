#include "vfs/statCache.h"

#include "vfs/changeWatch.h"

#include <QFile>

#include <sys/stat.h>


namespace {

// A kept file changes, is renamed, replaced or removed; a folder on its path
// changes its permissions, is renamed or removed.
constexpr uint32_t watchedEvents = IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM
    | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

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
    return info(path, root, wallClockNs() / 1000000);
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
    // The watches and the file's place among them come first: a change made
    // while the file is looked at is then an event that takes the place
    // away, not a stale entry.
    QList<int> wds;
    const bool watched = inside && files.size() < maxFiles && watchPath(native, top, wds);
    if (watched) {
        files.insert(path, DiskEntryInfo());
        for (int wd : std::as_const(wds))
            byWatch[wd].add(path);
    }
    const DiskEntryInfo seen = diskEntryInfo(path);
    readEvents(); // anything that happened since the watches were set
    const auto placed = files.find(path);
    if (placed != files.end() && keepable(native, seen, wallMs)) {
        *placed = seen;
    } else {
        files.remove(path);
        // Watches no kept file depends on any more are let go.
        for (int wd : std::as_const(wds)) {
            const auto w = byWatch.find(wd);
            if (w == byWatch.end())
                continue;
            // Files dropped through another watch are still listed here.
            if (w->prune(files))
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
    // A file still being written changes at every look.
    if (!hasSettled(seen, wallMs * 1000000))
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
    changes.readEvents([this](int wd, uint32_t mask, QByteArrayView name) {
        if (mask & IN_Q_OVERFLOW)
            clear(); // events were lost: nothing kept can be trusted
        else if (!byWatch.contains(wd))
            return;
        else if (name.isEmpty() || (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)))
            dropWatch(wd, mask & IN_IGNORED); // the folder itself
        else
            dropUnder(wd, name.toByteArray());
    });
}

// An entry of a watched folder changed: the kept files at or below it go,
// the others stay (a file written again and again beside them costs them
// nothing). Files kept through another name of the folder go too.
void TstatCache::dropUnder(int wd, const QByteArray &name)
{
    Twatch &w = byWatch[wd];
    for (const QByteArray &entry : {name, QByteArray()}) {
        const QList<QString> gone = w.byEntry.take(entry);
        for (const QString &f : gone)
            files.remove(f);
    }
    if (w.byEntry.isEmpty())
        dropWatch(wd, false);
}

void TstatCache::Twatch::add(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
    QByteArray entry;
    if (native.startsWith(prefix)) {
        entry = native.sliced(prefix.size());
        const qsizetype slash = entry.indexOf('/');
        if (slash >= 0)
            entry.truncate(slash);
    }
    QList<QString> &list = byEntry[entry];
    if (!list.contains(path)) // kept again after a change
        list.append(path);
}

bool TstatCache::Twatch::prune(const QHash<QString, DiskEntryInfo> &kept)
{
    for (auto it = byEntry.begin(); it != byEntry.end();) {
        it->removeIf([&](const QString &f) { return !kept.contains(f); });
        it = it->isEmpty() ? byEntry.erase(it) : std::next(it);
    }
    return byEntry.isEmpty();
}

// The folder itself changed: every file kept through it goes, and the next
// lookup of each sets it up again.
void TstatCache::dropWatch(int wd, bool watchGone)
{
    const auto it = byWatch.find(wd);
    if (it == byWatch.end())
        return;
    for (const QList<QString> &list : std::as_const(it->byEntry))
        for (const QString &f : list)
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
