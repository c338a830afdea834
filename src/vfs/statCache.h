#pragma once
// What a stat of a published file said, kept while the kernel reports no
// change that could alter it. A busy server is asked for the same few files
// thousands of times a second; each ask would walk the whole path again.
//
// Every folder from the file's own up to the published folder is watched
// through inotify, and the events are read at every lookup, before anything
// kept is used: a change made before the lookup (to the file, to its name,
// to any folder on its path, by this server or another program) is seen by
// it. Only settled regular files on local file systems with one name are
// kept; symbolic links, files being written, folders and missing names are
// looked at every time.

#include "vfs/changeWatch.h"
#include "vfs/diskEntry.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class TstatCache
{
public:
    static constexpr qsizetype maxFiles = 4096;
    static constexpr qsizetype maxWatches = 1024;

    static TstatCache &instance();
    TstatCache();
    ~TstatCache();
    TstatCache(const TstatCache &) = delete;
    TstatCache &operator=(const TstatCache &) = delete;

    // diskEntryInfo(path) for `path` inside the folder `root`, from what is
    // kept when nothing changed since.
    DiskEntryInfo info(const QString &path, const QString &root);
    // For tests: `wallMs` stands for the clock (milliseconds since 1970).
    DiskEntryInfo info(const QString &path, const QString &root, qint64 wallMs);

    void clear();
    qsizetype keptFiles() const { return files.size(); }
    qsizetype watches() const { return watchedFolders.size(); }

private:
    struct Twatch
    {
        QByteArray folder;
        // Kept files that depend on it, by the entry of the folder they are
        // at or below; under "" those kept through another name of it.
        QHash<QByteArray, QList<QString>> byEntry;
        void add(const QString &path);
        // Forgets the files no longer kept; true when none is left.
        bool prune(const QHash<QString, DiskEntryInfo> &kept);
    };
    TchangeWatch changes;
    QHash<QString, DiskEntryInfo> files;
    QHash<int, Twatch> byWatch;
    QHash<QByteArray, int> watchedFolders;

    void readEvents();
    void dropWatch(int wd, bool watchGone);
    void dropUnder(int wd, const QByteArray &name);
    // Watches the folders from `path`'s own up to `root`; false when one
    // cannot be watched.
    bool watchPath(const QByteArray &path, const QByteArray &root, QList<int> &wds);
    bool keepable(const QByteArray &path, const DiskEntryInfo &seen, qint64 wallMs) const;
};
