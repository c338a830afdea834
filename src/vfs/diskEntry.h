#pragma once

// What the tree may serve from disk: regular files and folders only. Anything
// else (FIFO, socket, device) is reported as Other and never opened.

#include <QString>
#include <QStringList>

#include <functional>

struct stat;

enum class DiskEntry { None, File, Folder, Other };

struct DiskEntryInfo {
    DiskEntry kind = DiskEntry::None;
    qint64 size = -1;
    double mtime = 0;   // day count, local time
    qint64 mtimeMs = 0; // last write, milliseconds since 1970-01-01 UTC
    // What changes whenever the content may have (for caches of contents).
    quint64 device = 0;
    quint64 inode = 0;
    qint64 mtimeNs = 0; // last write, nanoseconds since 1970-01-01 UTC
    qint64 ctimeNs = 0; // last change of content or attributes
};

// A file whose last change (write or attributes) is this old is taken to
// stay as it is: times advance in coarse steps, so a file written again
// within one step could keep its times, and one being written changes again
// soon. A time in the future (a clock set back) never settles.
constexpr qint64 settleNs = 2'000'000'000;
bool hasSettled(const DiskEntryInfo &info, qint64 wallNs);
// The wall clock in nanoseconds since 1970, read coarsely (no system call).
qint64 wallClockNs();

// Symbolic links are followed (a link to a FIFO is Other).
DiskEntry diskEntryKind(const QString &path);
// One stat of `path`: kind, size (files only) and last write time.
DiskEntryInfo diskEntryInfo(const QString &path);
// What one stat (symbolic links followed) gave.
DiskEntryInfo diskEntryInfoOf(const struct stat &st);
// The same for an entry of an open folder: the kernel looks up one name
// instead of walking the whole path again (listings stat every entry).
DiskEntryInfo diskEntryInfoAt(int folderFd, const QString &name);

// Day counts of a time given in milliseconds since 1970-01-01 UTC, read as
// UTC and as the local time then (the same values the QDateTime
// conversions give, without their per-call time zone file check).
double utcDayCount(qint64 msSinceEpoch);
double localDayCount(qint64 msSinceEpoch);

// AnyName lists every entry without looking at it (no stat): callers check
// the kind of the few names they pick.
enum class DiskEntryFilter { Files, Folders, FilesAndFolders, AnyName };

// Names in `folder` of the wanted kinds, sorted; names that are not valid
// UTF-8 are skipped rather than mangled.
QStringList listDiskFolder(const QString &folder, DiskEntryFilter filter);
// A directory entry's name as text; false for "." and ".." and for names
// that are not valid UTF-8 (skipped rather than mangled).
bool diskNameOf(const char *raw, QString &name);
// Every valid name in `folder`, in the order the folder gives them, with the
// open folder for lookups relative to it.
void forEachDiskName(const QString &folder, const std::function<void(const QString &name, int folderFd)> &visit);

// Hidden on disk: the name starts with ".".
inline bool isHiddenName(const QString &name) { return name.startsWith(u'.'); }
inline bool isHiddenName(QStringView name) { return name.startsWith(u'.'); }
