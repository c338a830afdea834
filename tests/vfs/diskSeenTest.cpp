// One look at the disk per resolved item: what it records, that it agrees
// with the date conversions of the rest of the program, and that a change
// on disk shows at the next resolution.

#include "vfsTestTools.h"

#include "util/dateTime.h"
#include "vfs/diskEntry.h"
#include "vfs/vfs.h"

#include <QDateTime>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

void setWriteTime(const QString &path, const QDateTime &t)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(t, QFileDevice::FileModificationTime));
}

TEST(DayCounts, AgreeWithTheDateConversions)
{
    // Both sides of daylight saving changes in several zones would need TZ
    // games; the local zone of the run and a spread of instants do the job.
    const qint64 samples[] = {
        0,                  // 1970-01-01 00:00 UTC
        1,                  // one millisecond in
        86399999,           // last millisecond of a day
        951782400000,       // 2000-02-29
        1711848600123,      // 2024-03-31 01:30:00.123 (a change night in Europe)
        1729990800999,      // 2024-10-27 01:00:00.999
        4102444799000,      // 2099-12-31 23:59:59
        -86400000,          // 1969-12-31
        -2209161600000 - 1, // the millisecond before 1899-12-30
    };
    for (const qint64 ms : samples) {
        const QDateTime dt = QDateTime::fromMSecsSinceEpoch(ms);
        EXPECT_DOUBLE_EQ(utcDayCount(ms), toDateTimeUTC(dt)) << ms;
        EXPECT_DOUBLE_EQ(localDayCount(ms), toDateTime(dt)) << ms;
    }
    EXPECT_DOUBLE_EQ(utcDayCount(0), 25569.0);
    EXPECT_DOUBLE_EQ(utcDayCount(-2209161600000), 0.0);
}

TEST(DiskEntryInfo, KindSizeAndTimeFromOneStat)
{
    DiskTree disk;
    disk.file("a.bin", "12345");
    disk.folder("d");
    const QDateTime t = QDateTime(QDate(2021, 6, 1), QTime(12, 0, 0, 250), Qt::UTC);
    setWriteTime(disk.path("a.bin"), t);

    const DiskEntryInfo f = diskEntryInfo(disk.path("a.bin"));
    EXPECT_EQ(f.kind, DiskEntry::File);
    EXPECT_EQ(f.size, 5);
    EXPECT_EQ(f.mtimeMs, t.toMSecsSinceEpoch());
    EXPECT_DOUBLE_EQ(f.mtime, toDateTime(t));

    const DiskEntryInfo d = diskEntryInfo(disk.path("d"));
    EXPECT_EQ(d.kind, DiskEntry::Folder);
    EXPECT_EQ(d.size, -1);

    const DiskEntryInfo none = diskEntryInfo(disk.path("missing"));
    EXPECT_EQ(none.kind, DiskEntry::None);
    EXPECT_EQ(diskEntryInfo(QString()).kind, DiskEntry::None);
    EXPECT_EQ(diskEntryInfo(disk.path("a.bin") + QChar(0)).kind, DiskEntry::None);
}

TEST(DiskEntryInfo, ResolvedNodesCarryWhatTheDiskSaidAndSeeChanges)
{
    DiskTree disk;
    disk.file("pub/f.txt", "abc");
    disk.folder("pub/sub");
    ASSERT_EQ(::mkfifo(QFile::encodeName(disk.path("pub/fifo")).constData(), 0600), 0);
    Tvfs vfs;
    Tfile *pub = vfs.add(Tfile::create(disk.path("pub")));
    ASSERT_TRUE(pub);
    ASSERT_TRUE(pub->isRealFolder());
    EXPECT_EQ(pub->seenOnDisk().kind, DiskEntry::None); // tree nodes keep nothing

    const TfilePtr f = vfs.findFilebyURL("/pub/f.txt", nullptr, true);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->seenOnDisk().kind, DiskEntry::File);
    EXPECT_EQ(f->seenOnDisk().size, 3);
    EXPECT_EQ(f->size, 3);
    EXPECT_EQ(f->seenOnDisk().mtimeMs, QFileInfo(f->resource).lastModified().toMSecsSinceEpoch());

    const TfilePtr sub = vfs.findFilebyURL("/pub/sub", nullptr, true);
    ASSERT_TRUE(sub);
    EXPECT_TRUE(sub->isFolder());
    EXPECT_EQ(sub->seenOnDisk().kind, DiskEntry::Folder);
    EXPECT_FALSE(vfs.findFilebyURL("/pub/fifo", nullptr, true));
    EXPECT_FALSE(vfs.findFilebyURL("/pub/missing", nullptr, true));

    // Rewritten, then replaced by a folder, then gone: each resolution
    // looks again.
    disk.file("pub/f.txt", "abcdefgh");
    setWriteTime(disk.path("pub/f.txt"), QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC));
    const TfilePtr again = vfs.findFilebyURL("/pub/f.txt", nullptr, true);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->seenOnDisk().size, 8);
    EXPECT_EQ(again->seenOnDisk().mtimeMs, QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC).toMSecsSinceEpoch());
    EXPECT_EQ(f->seenOnDisk().size, 3); // the earlier node is what it saw

    ASSERT_TRUE(QFile::remove(disk.path("pub/f.txt")));
    disk.folder("pub/f.txt");
    const TfilePtr nowFolder = vfs.findFilebyURL("/pub/f.txt", nullptr, true);
    ASSERT_TRUE(nowFolder);
    EXPECT_TRUE(nowFolder->isFolder());
    EXPECT_EQ(nowFolder->seenOnDisk().kind, DiskEntry::Folder);

    ASSERT_TRUE(QDir(disk.path("pub/f.txt")).removeRecursively());
    EXPECT_FALSE(vfs.findFilebyURL("/pub/f.txt", nullptr, true));
}

} // namespace
