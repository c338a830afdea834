#pragma once

// What a disk folder holds (names, kinds, sizes and times), kept between
// listings of the folder while the kernel reports no change in it. A page of
// a big folder then costs two system calls instead of a stat per entry.
//
// Changes are learnt from inotify, read at every lookup before anything kept
// is used: whatever was changed before the lookup is seen by it. Only local
// file systems, whose changes all pass through this kernel, are kept.

#include "vfs/changeWatch.h"
#include "vfs/diskEntry.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <utility>

struct stat;

struct TdiskFolderEntry {
    QString name;
    bool isDir = false;
    // Folders (their times follow what happens inside them), symbolic links
    // and files with several names can change without an event in this
    // folder: the caller stats them again at each use.
    bool recheck = false;
    DiskEntryInfo info; // as last read; for `recheck` entries only a hint
};
using TdiskFolderEntries = std::shared_ptr<const QList<TdiskFolderEntry>>;

class TdiskFolderCache {
public:
    static TdiskFolderCache &instance();
    TdiskFolderCache();
    ~TdiskFolderCache();
    TdiskFolderCache(const TdiskFolderCache &) = delete;
    TdiskFolderCache &operator=(const TdiskFolderCache &) = delete;

    // Regular files and folders of `folder` (symbolic links followed), sorted
    // by name; names that are not valid UTF-8 are left out, not mangled.
    // Null when the folder cannot be read.
    TdiskFolderEntries entries(const QString &folder);
    // The same when the folder is kept and unchanged; null, without reading
    // the folder, otherwise.
    TdiskFolderEntries keptEntries(const QString &folder);

    // Bounds: bigger folders are read at every listing; beyond the totals the
    // folder used least recently goes first.
    static constexpr qsizetype maxFolders = 32;
    static constexpr qsizetype maxEntriesPerFolder = 50000;
    static constexpr qsizetype maxEntriesInAll = 100000;

    qsizetype keptFolders() const { return kept.size(); }
    void clear();

private:
    using Tkey = std::pair<quint64, quint64>; // device, inode of the folder
    struct Tkept {
        int watch = -1;
        qint64 mtimeNs = 0, ctimeNs = 0; // the folder's own, when read
        TdiskFolderEntries entries;
        quint64 lastUse = 0;
    };
    TchangeWatch changes;
    quint64 uses = 0;
    qsizetype entriesInAll = 0;
    QByteArray zoneWhenRead; // time zone rules the kept day counts were made with
    QHash<Tkey, Tkept> kept;
    QHash<int, Tkey> byWatch;

    void readEvents();
    // Kept entries still valid for the folder at `path`, whose stat is `st`.
    TdiskFolderEntries valid(const QByteArray &path, struct stat &st);
    void drop(const Tkey &key, bool watchGone);
    void makeRoom(qsizetype forEntries);
};
