// Folder contents kept between listings: every change made before a lookup
// shows in it, and what cannot raise an event is marked for a fresh stat.

#include "vfsTestTools.h"

#include "vfs/diskFolderCache.h"

#include <QDateTime>
#include <QFileInfo>

#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

namespace {

// Folder contents are kept on local file systems only; tmpfs is one where
// the machine has it.
QString scratchBase()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

class FolderCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        cache.clear();
        write("a.txt", "1");
        write("b.bin", "12345");
        ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
        first = cache.entries(dir.path());
        ASSERT_TRUE(first);
        if (cache.keptFolders() == 0)
            GTEST_SKIP() << "folder contents are not kept on this file system";
    }
    QString path(const QString &name) const { return dir.path() + u'/' + name; }
    void write(const QString &name, const QByteArray &data, QIODevice::OpenMode mode = QIODevice::WriteOnly)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(mode));
        f.write(data);
    }
    // What a fresh look at the disk gives, in the cache's terms.
    void expectCurrent(const TdiskFolderEntries &got)
    {
        ASSERT_TRUE(got);
        QStringList names;
        for (const TdiskFolderEntry &e : *got) {
            names << e.name;
            const DiskEntryInfo now = diskEntryInfo(path(e.name));
            EXPECT_EQ(e.isDir, now.kind == DiskEntry::Folder) << qPrintable(e.name);
            if (e.recheck)
                continue;
            EXPECT_EQ(e.info.size, now.size) << qPrintable(e.name);
            EXPECT_EQ(e.info.mtimeNs, now.mtimeNs) << qPrintable(e.name);
            EXPECT_EQ(e.info.inode, now.inode) << qPrintable(e.name);
        }
        QStringList want = QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        want.sort();
        EXPECT_EQ(names, want);
    }

    TdiskFolderCache cache;
    QTemporaryDir dir{scratchBase() + QStringLiteral("/zof-cache-XXXXXX")};
    TdiskFolderEntries first;
};

TEST_F(FolderCache, KeptWhileNothingChanges)
{
    expectCurrent(first);
    EXPECT_EQ(cache.entries(dir.path()), first) << "read again without a change";
    // A change elsewhere does not drop it.
    QTemporaryDir other;
    QFile f(other.path() + "/x");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    EXPECT_EQ(cache.entries(dir.path()), first);
}

TEST_F(FolderCache, EveryChangeShowsAtTheNextLookup)
{
    const struct {
        const char *what;
        std::function<void()> change;
    } changes[] = {
        {"append", [&] { write("a.txt", "more", QIODevice::Append); }},
        {"rewrite, same size", [&] { write("b.bin", "54321"); }},
        {"time set back", [&] {
             QFile f(path("a.txt"));
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTimeUtc().addDays(-3), QFileDevice::FileModificationTime));
         }},
        {"create", [&] { write("new.txt", "n"); }},
        {"delete", [&] { ASSERT_TRUE(QFile::remove(path("new.txt"))); }},
        {"rename", [&] { ASSERT_TRUE(QFile::rename(path("a.txt"), path("c.txt"))); }},
        {"replace by rename", [&] {
             write(".part", "replacement");
             ASSERT_EQ(::rename(QFile::encodeName(path(".part")).constData(),
                                QFile::encodeName(path("b.bin")).constData()), 0);
         }},
        {"truncate", [&] { ASSERT_EQ(::truncate(QFile::encodeName(path("b.bin")).constData(), 2), 0); }},
        {"folder removed", [&] { ASSERT_TRUE(QDir(dir.path()).rmdir("sub")); }},
    };
    TdiskFolderEntries before = first;
    for (const auto &c : changes) {
        SCOPED_TRACE(c.what);
        c.change();
        const TdiskFolderEntries now = cache.entries(dir.path());
        EXPECT_NE(now, before) << "still the contents from before the change";
        expectCurrent(now);
        before = now;
    }
}

TEST_F(FolderCache, WhatRaisesNoEventIsStatAgain)
{
    QTemporaryDir elsewhere(scratchBase() + QStringLiteral("/zof-cache-XXXXXX"));
    write("target.txt", "t");
    ASSERT_EQ(::link(QFile::encodeName(path("b.bin")).constData(),
                     QFile::encodeName(elsewhere.path() + "/same.bin").constData()), 0);
    ASSERT_TRUE(QFile::link(path("target.txt"), path("link.txt")));
    const TdiskFolderEntries got = cache.entries(dir.path());
    ASSERT_TRUE(got);
    QHash<QString, bool> recheck;
    for (const TdiskFolderEntry &e : *got)
        recheck.insert(e.name, e.recheck);
    EXPECT_TRUE(recheck.value("sub")) << "a folder's time follows changes inside it";
    EXPECT_TRUE(recheck.value("link.txt")) << "a link's target may change anywhere";
    EXPECT_TRUE(recheck.value("b.bin")) << "a second name may be written to";
    EXPECT_FALSE(recheck.value("a.txt"));
    EXPECT_FALSE(recheck.value("target.txt", true));
}

TEST_F(FolderCache, AFolderReplacedAtItsPathIsReadAfresh)
{
    const QString moved = dir.path() + "-old";
    ASSERT_TRUE(QDir().rename(dir.path(), moved));
    ASSERT_TRUE(QDir().mkdir(dir.path()));
    write("fresh.txt", "f");
    const TdiskFolderEntries now = cache.entries(dir.path());
    expectCurrent(now);
    ASSERT_TRUE(now);
    ASSERT_EQ(now->size(), 1);
    EXPECT_EQ(now->first().name, "fresh.txt");
    QDir(moved).removeRecursively();
}

TEST_F(FolderCache, KeepsNoMoreThanItsBounds)
{
    std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    for (qsizetype i = 0; i < TdiskFolderCache::maxFolders + 5; ++i) {
        dirs.push_back(std::make_unique<QTemporaryDir>(scratchBase() + QStringLiteral("/zof-cache-XXXXXX")));
        ASSERT_TRUE(cache.entries(dirs.back()->path()));
    }
    EXPECT_EQ(cache.keptFolders(), TdiskFolderCache::maxFolders);
    // The one used last is among those kept.
    const TdiskFolderEntries last = cache.entries(dirs.back()->path());
    EXPECT_EQ(cache.entries(dirs.back()->path()), last);
}

// Times are kept as local day counts: other zone rules make them stale.
TEST_F(FolderCache, ANewTimeZoneDropsWhatWasKept)
{
    const QByteArray zone = qgetenv("TZ");
    const auto timeOfA = [](const TdiskFolderEntries &l) {
        for (const TdiskFolderEntry &e : *l)
            if (e.name == "a.txt")
                return e.info.mtime;
        return -1.0;
    };
    qputenv("TZ", "UTC0");
    tzset();
    const TdiskFolderEntries utc = cache.entries(dir.path());
    EXPECT_EQ(cache.entries(dir.path()), utc);
    qputenv("TZ", "XYZ-5"); // five hours east
    tzset();
    const TdiskFolderEntries east = cache.entries(dir.path());
    EXPECT_NE(east, utc);
    EXPECT_NEAR(timeOfA(east) - timeOfA(utc), 5.0 / 24, 1e-6);
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
}

TEST(FolderCacheInput, MissingOrOddPathsGiveNothing)
{
    TdiskFolderCache cache;
    EXPECT_FALSE(cache.entries(QString()));
    EXPECT_FALSE(cache.entries(QStringLiteral("/no/such/folder")));
    EXPECT_FALSE(cache.entries(QString::fromUtf16(u"/tmp\0x", 6)));
    QTemporaryDir d;
    QFile f(d.path() + "/file");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    EXPECT_FALSE(cache.entries(d.path() + "/file")) << "a file is no folder";
}

} // namespace
