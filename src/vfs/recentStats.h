#pragma once
// What a stat of a file said, kept for a second. A busy server is asked for
// the same few files thousands of times a second; each ask would walk the
// whole path in the kernel again. Only files whose last change is a few
// seconds old are kept (a file being written is looked at every time), and
// never folders or missing names (a new file shows at once). A file changed
// by another program is seen at most `keepMs` late, with its old size and
// contents together; the server's own changes (uploads, deletions) call
// clear() and are seen at once.

#include "vfs/diskEntry.h"

#include <QHash>
#include <QString>

class TrecentStats
{
public:
    static constexpr qint64 keepMs = 1000;
    static constexpr qint64 settledMs = 2000;
    static constexpr qsizetype maxEntries = 4096;

    static TrecentStats &instance();

    // diskEntryInfo(path), or what it gave less than keepMs ago.
    DiskEntryInfo info(const QString &path);
    // For tests: the clocks are given (`nowMs` monotonic, `wallMs` since 1970).
    DiskEntryInfo info(const QString &path, qint64 nowMs, qint64 wallMs);

    void clear() { entries.clear(); }
    qsizetype size() const { return entries.size(); }

private:
    struct Entry
    {
        DiskEntryInfo info;
        qint64 seenMs = 0;
    };
    QHash<QString, Entry> entries;
};
