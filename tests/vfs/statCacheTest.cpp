// The stat kept while nothing changes: every kind of change on the way to a
// kept file is seen at the next lookup, and what may change unseen is never
// kept.

#include "vfs/statCache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>
#include <unistd.h>

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

class StatCache : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    TstatCache cache;
    QString root() const { return dir.path(); }
    QString path(const QString &rel) const { return dir.filePath(rel); }
    void mkdir(const QString &rel) { ASSERT_TRUE(QDir(root()).mkpath(rel)); }
    // As if the files written now were a few seconds old.
    qint64 later() const { return wallMsNow() + settleNs / 1000000 + 10; }
    qint64 sizeOf(const QString &rel) { return cache.info(path(rel), root(), later()).size; }
};

TEST_F(StatCache, KeptFileSeesEveryChangeOnItsWay)
{
    mkdir(QStringLiteral("a/b"));
    const QString f = QStringLiteral("a/b/f.bin");
    write(path(f), "1234");
    EXPECT_EQ(sizeOf(f), 4);
    EXPECT_EQ(cache.keptFiles(), 1);
    EXPECT_EQ(cache.watches(), 3); // b, a and the root
    EXPECT_EQ(sizeOf(f), 4);       // kept

    write(path(f), "123456"); // rewritten in place
    EXPECT_EQ(sizeOf(f), 6);

    write(path(QStringLiteral("a/b/new.bin")), "123456789");
    ASSERT_EQ(::rename(QFile::encodeName(path(QStringLiteral("a/b/new.bin"))).constData(),
                       QFile::encodeName(path(f)).constData()), 0); // replaced
    EXPECT_EQ(sizeOf(f), 9);

    // A folder on the way renamed: the old path is gone at once.
    ASSERT_TRUE(QDir(root()).rename(QStringLiteral("a"), QStringLiteral("c")));
    EXPECT_EQ(cache.info(path(f), root(), later()).kind, DiskEntry::None);
    EXPECT_EQ(sizeOf(QStringLiteral("c/b/f.bin")), 9);

    ASSERT_TRUE(QFile::remove(path(QStringLiteral("c/b/f.bin"))));
    EXPECT_EQ(cache.info(path(QStringLiteral("c/b/f.bin")), root(), later()).kind, DiskEntry::None);
    EXPECT_EQ(cache.keptFiles(), 0);
    EXPECT_EQ(cache.watches(), 0); // nothing left depends on a watch
}

TEST_F(StatCache, ChangesBesideAKeptFileLeaveItKept)
{
    mkdir(QStringLiteral("a/b"));
    mkdir(QStringLiteral("a/bb"));
    const QString f = QStringLiteral("a/b/f.bin");
    write(path(f), "1234");
    EXPECT_EQ(sizeOf(f), 4);
    // A file written again and again next to it, and a folder whose name
    // starts like the kept one's: nothing kept is dropped.
    for (int i = 0; i < 3; ++i)
        write(path(QStringLiteral("a/b/growing.log")), QByteArray(i + 1, 'x'));
    write(path(QStringLiteral("a/bb/other.txt")), "x");
    write(path(QStringLiteral("a/b.txt")), "x");
    EXPECT_EQ(sizeOf(f), 4);
    EXPECT_EQ(cache.keptFiles(), 1);
    // Its own name, or a folder on its way, still drops it.
    write(path(f), "123456");
    EXPECT_EQ(sizeOf(f), 6);
    ASSERT_TRUE(QFile::setPermissions(path(QStringLiteral("a/b")),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(cache.keptFiles(), 1); // the event is read at the next lookup
    write(path(QStringLiteral("a/b/new.bin")), "123456789");
    ASSERT_TRUE(QDir(root()).rename(QStringLiteral("a/b"), QStringLiteral("a/c")));
    ASSERT_TRUE(QDir(root()).rename(QStringLiteral("a/bb"), QStringLiteral("a/b")));
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("a/b/other.txt")), path(f)));
    EXPECT_EQ(sizeOf(f), 1);
}

TEST_F(StatCache, PermissionChangesOnTheWayAreSeen)
{
    mkdir(QStringLiteral("d"));
    const QString f = QStringLiteral("d/f.txt");
    write(path(f), "abc");
    EXPECT_EQ(sizeOf(f), 3);
    ASSERT_TRUE(QFile::setPermissions(path(f), QFileDevice::ReadOwner));
    EXPECT_EQ(cache.keptFiles(), 1);
    EXPECT_EQ(sizeOf(f), 3);
    EXPECT_EQ(cache.keptFiles(), 1); // looked at again, and kept again
}

TEST_F(StatCache, WhatMayChangeUnseenIsNeverKept)
{
    const QString fresh = path(QStringLiteral("fresh.txt"));
    write(fresh, "ab");
    EXPECT_EQ(cache.info(fresh, root(), wallMsNow()).size, 2); // still being written
    write(path(QStringLiteral("target.txt")), "abc");
    ASSERT_TRUE(QFile::link(path(QStringLiteral("target.txt")), path(QStringLiteral("link.txt"))));
    EXPECT_EQ(sizeOf(QStringLiteral("link.txt")), 3);
    write(path(QStringLiteral("twice.txt")), "abcd");
    ASSERT_EQ(::link(QFile::encodeName(path(QStringLiteral("twice.txt"))).constData(),
                     QFile::encodeName(path(QStringLiteral("other-name.txt"))).constData()), 0);
    EXPECT_EQ(sizeOf(QStringLiteral("twice.txt")), 4);
    mkdir(QStringLiteral("sub"));
    EXPECT_EQ(cache.info(path(QStringLiteral("sub")), root(), later()).kind, DiskEntry::Folder);
    EXPECT_EQ(cache.info(path(QStringLiteral("missing")), root(), later()).kind, DiskEntry::None);
    // Outside the root, or the root itself.
    EXPECT_EQ(cache.info(root(), root(), later()).kind, DiskEntry::Folder);
    EXPECT_EQ(cache.keptFiles(), 0);
    EXPECT_EQ(cache.watches(), 0);
}

TEST_F(StatCache, StaysBounded)
{
    for (int i = 0; i < TstatCache::maxFiles + 10; ++i) {
        const QString f = QStringLiteral("f%1").arg(i);
        write(path(f), "x");
        ASSERT_EQ(sizeOf(f), 1);
        ASSERT_LT(cache.keptFiles(), TstatCache::maxFiles);
    }
    EXPECT_GT(cache.keptFiles(), 0);
}

} // namespace
