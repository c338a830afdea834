#include "vfs/recentStats.h"

#include <ctime>

namespace {

qint64 msOf(clockid_t clock)
{
    struct timespec ts;
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

TrecentStats &TrecentStats::instance()
{
    static TrecentStats stats;
    return stats;
}

DiskEntryInfo TrecentStats::info(const QString &path)
{
    // The coarse clock is read without a system call; its steps of a few
    // milliseconds do not matter to a second.
    return info(path, msOf(CLOCK_MONOTONIC_COARSE), msOf(CLOCK_REALTIME_COARSE));
}

DiskEntryInfo TrecentStats::info(const QString &path, qint64 nowMs, qint64 wallMs)
{
    const auto it = entries.constFind(path);
    if (it != entries.cend() && nowMs - it->seenMs < keepMs && nowMs >= it->seenMs)
        return it->info;
    const DiskEntryInfo seen = diskEntryInfo(path);
    const qint64 newestMs = qMax(seen.mtimeNs, seen.ctimeNs) / 1000000;
    // A time in the future (a clock set back) never settles.
    const bool settled = wallMs - newestMs >= settledMs;
    if (seen.kind == DiskEntry::File && settled) {
        if (entries.size() >= maxEntries && it == entries.cend())
            entries.clear(); // cheaper than tracking age; refilled within a second
        entries.insert(path, {seen, nowMs});
    } else if (it != entries.cend()) {
        entries.remove(path);
    }
    return seen;
}
