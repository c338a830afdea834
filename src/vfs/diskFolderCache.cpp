#include "vfs/diskFolderCache.h"

#include "vfs/changeWatch.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

namespace {

// Everything that changes what a listing shows of the folder's entries, and
// the folder going away.
constexpr uint32_t kWatched = IN_ATTRIB | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
    IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR;

// Kept entries hold their times as local day counts: what the time zone
// rules were when they were read (the day counts follow a change of them
// within a second).
QByteArray zoneSignature()
{
    return QByteArray(tzname[0]) + ' ' + tzname[1] + ' ' + QByteArray::number(qint64(timezone)) + ' '
        + QByteArray::number(daylight);
}

qint64 nanoseconds(const timespec &t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Reads the open folder `fd`, which it closes.
std::shared_ptr<QList<TdiskFolderEntry>> readFolder(int fd)
{
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return nullptr;
    }
    auto out = std::make_shared<QList<TdiskFolderEntry>>();
    QString name;
    while (const dirent *e = ::readdir(dir)) {
        if (!diskNameOf(e->d_name, name))
            continue;
        struct stat st;
        if (::fstatat(fd, e->d_name, &st, 0) != 0)
            continue;
        TdiskFolderEntry entry;
        entry.info = diskEntryInfoOf(st);
        if (entry.info.kind == DiskEntry::Folder)
            entry.isDir = true;
        else if (entry.info.kind != DiskEntry::File)
            continue; // FIFOs, sockets, devices
        entry.name = name;
        entry.recheck = entry.isDir || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN || st.st_nlink > 1;
        out->append(std::move(entry));
    }
    ::closedir(dir);
    std::sort(out->begin(), out->end(),
              [](const TdiskFolderEntry &a, const TdiskFolderEntry &b) { return a.name < b.name; });
    return out;
}

} // namespace

TdiskFolderCache &TdiskFolderCache::instance()
{
    static TdiskFolderCache cache;
    return cache;
}

TdiskFolderCache::TdiskFolderCache() = default;
TdiskFolderCache::~TdiskFolderCache() = default;

TdiskFolderEntries TdiskFolderCache::valid(const QByteArray &path, struct stat &st)
{
    readEvents();
    if (!kept.isEmpty()) {
        const QByteArray zone = zoneSignature();
        if (zone != zoneWhenRead) {
            clear();
            zoneWhenRead = zone;
        }
    }
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return nullptr;
    const auto found = kept.find(Tkey(st.st_dev, st.st_ino));
    if (found == kept.end())
        return nullptr;
    // The folder's own times are a second check: adding, removing or
    // renaming an entry changes them too.
    if (found->mtimeNs != nanoseconds(st.st_mtim) || found->ctimeNs != nanoseconds(st.st_ctim)) {
        drop(found.key(), false);
        return nullptr;
    }
    found->lastUse = ++uses;
    return found->entries;
}

TdiskFolderEntries TdiskFolderCache::keptEntries(const QString &folder)
{
    if (folder.isEmpty() || folder.contains(QChar(0)))
        return nullptr;
    struct stat st;
    return valid(QFile::encodeName(folder), st);
}

TdiskFolderEntries TdiskFolderCache::entries(const QString &folder)
{
    if (folder.isEmpty() || folder.contains(QChar(0)))
        return nullptr;
    const QByteArray path = QFile::encodeName(folder);
    struct stat st;
    if (TdiskFolderEntries kept = valid(path, st))
        return kept;

    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat own;
    if (::fstat(fd, &own) != 0) {
        ::close(fd);
        return nullptr;
    }
    const Tkey key(own.st_dev, own.st_ino);
    // Watched before it is read, through the open folder itself: a change
    // made while reading shows at the next lookup, and the watch is on the
    // folder read even if the path has changed meanwhile.
    int watch = -1;
    if (changes.isValid() && !kept.contains(key) && isLocalFileSystemOf(fd)) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        watch = changes.add(self, kWatched);
    }
    const auto list = readFolder(fd);
    if (watch < 0)
        return list;
    if (!list || list->size() > maxEntriesPerFolder || byWatch.contains(watch)) {
        if (!byWatch.contains(watch))
            changes.remove(watch);
        return list;
    }
    if (kept.isEmpty())
        zoneWhenRead = zoneSignature();
    makeRoom(list->size());
    Tkept &k = kept[key];
    k.watch = watch;
    k.mtimeNs = nanoseconds(own.st_mtim);
    k.ctimeNs = nanoseconds(own.st_ctim);
    k.entries = list;
    k.lastUse = ++uses;
    byWatch.insert(watch, key);
    entriesInAll += list->size();
    return list;
}

void TdiskFolderCache::readEvents()
{
    changes.readEvents([this](int wd, uint32_t mask, QByteArrayView) {
        if (mask & IN_Q_OVERFLOW) {
            clear(); // events were lost: nothing kept can be trusted
            return;
        }
        const auto w = byWatch.constFind(wd);
        if (w != byWatch.constEnd())
            drop(*w, mask & IN_IGNORED);
    });
}

void TdiskFolderCache::drop(const Tkey &key, bool watchGone)
{
    const auto it = kept.find(key);
    if (it == kept.end())
        return;
    byWatch.remove(it->watch);
    if (!watchGone)
        changes.remove(it->watch);
    entriesInAll -= it->entries->size();
    kept.erase(it);
}

void TdiskFolderCache::makeRoom(qsizetype forEntries)
{
    while (!kept.isEmpty() && (kept.size() >= maxFolders || entriesInAll + forEntries > maxEntriesInAll)) {
        auto oldest = kept.begin();
        for (auto it = kept.begin(); it != kept.end(); ++it)
            if (it->lastUse < oldest->lastUse)
                oldest = it;
        drop(oldest.key(), false);
    }
}

void TdiskFolderCache::clear()
{
    while (!kept.isEmpty())
        drop(kept.begin().key(), false);
}
