// The stat kept for a second: what it keeps, for how long, and what it
// never keeps.

#include "vfs/recentStats.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>

namespace {

qint64 wallMsNow()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class RecentStats : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    TrecentStats stats;
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    // The wall clock as it will be once the file written now has settled.
    qint64 settledWall() const { return wallMsNow() + TrecentStats::settledMs + 10; }
};

TEST_F(RecentStats, SettledFileIsKeptForASecondThenLookedAtAgain)
{
    const QString f = path("a.bin");
    write(f, "1234");
    const qint64 wall = settledWall();
    EXPECT_EQ(stats.info(f, 5000, wall).size, 4);
    write(f, "123456789");
    // Within the second: what was seen; the disk is not asked.
    EXPECT_EQ(stats.info(f, 5000 + TrecentStats::keepMs - 1, wall).size, 4);
    // Past it, or with the clock going back, the disk answers again.
    EXPECT_EQ(stats.info(f, 5000 + TrecentStats::keepMs, wall + 2000).size, 9);
    write(f, "12");
    EXPECT_EQ(stats.info(f, 4000, wall + 4000).size, 2);
    // The server's own changes drop what is kept.
    write(f, "123");
    stats.clear();
    EXPECT_EQ(stats.info(f, 4001, wall + 4000).size, 3);
}

TEST_F(RecentStats, FreshFilesFoldersAndMissingNamesAreNeverKept)
{
    const QString fresh = path("fresh.txt");
    write(fresh, "ab");
    const qint64 wall = wallMsNow();
    EXPECT_EQ(stats.info(fresh, 100, wall).size, 2);
    write(fresh, "abcd"); // still being written: every look sees it
    EXPECT_EQ(stats.info(fresh, 101, wall).size, 4);

    const QString missing = path("later.txt");
    EXPECT_EQ(stats.info(missing, 100, settledWall()).kind, DiskEntry::None);
    write(missing, "x");
    EXPECT_EQ(stats.info(missing, 101, settledWall()).kind, DiskEntry::File);

    const QString sub = path("sub");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    EXPECT_EQ(stats.info(sub, 100, settledWall()).kind, DiskEntry::Folder);
    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("sub")));
    EXPECT_EQ(stats.info(sub, 101, settledWall()).kind, DiskEntry::None);
    // Only the settled file of this test was kept.
    EXPECT_EQ(stats.size(), 1);
}

TEST_F(RecentStats, StaysBounded)
{
    const qint64 wall = settledWall();
    for (int i = 0; i < TrecentStats::maxEntries + 10; ++i) {
        const QString f = dir.filePath(QStringLiteral("f%1").arg(i));
        write(f, "x");
        EXPECT_EQ(stats.info(f, i, wall).kind, DiskEntry::File);
        ASSERT_LE(stats.size(), TrecentStats::maxEntries);
    }
    EXPECT_GT(stats.size(), 0);
}

} // namespace
