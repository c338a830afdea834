#pragma once

// What the tree may serve from disk: regular files and folders only. Anything
// else (FIFO, socket, device) is reported as Other and never opened.

#include <QString>
#include <QStringList>

enum class DiskEntry { None, File, Folder, Other };

struct DiskEntryInfo {
    DiskEntry kind = DiskEntry::None;
    qint64 size = -1;
    double mtime = 0; // day count, local time
};

// Symbolic links are followed (a link to a FIFO is Other).
DiskEntry diskEntryKind(const QString &path);
DiskEntryInfo diskEntryInfo(const QString &path);

enum class DiskEntryFilter { Files, Folders, FilesAndFolders };

// Names in `folder` of the wanted kinds, sorted; names that are not valid
// UTF-8 are skipped rather than mangled.
QStringList listDiskFolder(const QString &folder, DiskEntryFilter filter);

// Hidden on disk: the name starts with ".".
inline bool isHiddenName(const QString &name) { return name.startsWith(u'.'); }
