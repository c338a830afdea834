// The small-file cache must never hand out bytes the file no longer holds.

#include "serve/fileCache.h"
#include "vfs/diskEntry.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

namespace {

class FileCacheTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }

    // A clock reading well after the file's last change.
    static qint64 settled(const DiskEntryInfo &info)
    {
        return qMax(info.mtimeNs, info.ctimeNs) + settleNs + 1;
    }
};

TEST_F(FileCacheTest, SettledFileIsKeptAndServedAgain)
{
    TfileCache cache;
    const QString path = write("a.txt", "hello");
    const DiskEntryInfo info = diskEntryInfo(path);
    EXPECT_EQ(cache.contents(path, info, settled(info)), QByteArray("hello"));
    EXPECT_EQ(cache.entryCount(), 1);
    EXPECT_EQ(cache.bytesUsed(), 5);
    // Kept: removing the file does not matter while the stat still agrees.
    QFile::remove(path);
    EXPECT_EQ(cache.contents(path, info, settled(info)), QByteArray("hello"));

    const QString empty = write("empty", "");
    const DiskEntryInfo emptyInfo = diskEntryInfo(empty);
    const QByteArray got = cache.contents(empty, emptyInfo, settled(emptyInfo));
    EXPECT_FALSE(got.isNull());
    EXPECT_TRUE(got.isEmpty());
}

TEST_F(FileCacheTest, ChangedFileIsReadAgain)
{
    TfileCache cache;
    const QString path = write("a.txt", "first");
    DiskEntryInfo info = diskEntryInfo(path);
    ASSERT_EQ(cache.contents(path, info, settled(info)), QByteArray("first"));

    // Same size, written in place. Within one clock step the times could
    // stay; the settling rule covers that, so here the write is made later.
    write("a.txt", "other");
    const struct timespec later[2] = {{0, UTIME_OMIT}, {time_t(info.mtimeNs / 1000000000 + 5), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), later, 0), 0);
    info = diskEntryInfo(path);
    EXPECT_EQ(cache.contents(path, info, settled(info)), QByteArray("other"));

    // Replaced by another file under the same name.
    const QString other = write("b.txt", "third");
    ASSERT_EQ(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
    info = diskEntryInfo(path);
    EXPECT_EQ(cache.contents(path, info, settled(info)), QByteArray("third"));
    EXPECT_EQ(cache.entryCount(), 1);
    EXPECT_EQ(cache.bytesUsed(), 5);
}

TEST_F(FileCacheTest, WhatCannotBeTrustedIsNotKept)
{
    TfileCache cache;
    const QString path = write("fresh", "fresh bytes");
    const DiskEntryInfo info = diskEntryInfo(path);
    // Changed a moment ago: the next write could keep the same times.
    EXPECT_TRUE(cache.contents(path, info, settled(info) - settleNs).isNull());
    // Times in the future never settle.
    EXPECT_TRUE(cache.contents(path, info, info.mtimeNs - 1).isNull());

    // The stat the caller made no longer describes the file.
    write("fresh", "changed, longer bytes");
    EXPECT_TRUE(cache.contents(path, info, settled(info) + 10'000'000'000).isNull());

    const QString big = write("big", QByteArray(TfileCache::maxFileSize + 1, 'x'));
    const DiskEntryInfo bigInfo = diskEntryInfo(big);
    EXPECT_TRUE(cache.contents(big, bigInfo, settled(bigInfo)).isNull());

    const DiskEntryInfo folder = diskEntryInfo(dir.path());
    EXPECT_TRUE(cache.contents(dir.path(), folder, settled(folder)).isNull());
    EXPECT_EQ(cache.entryCount(), 0);
}

TEST_F(FileCacheTest, BudgetDropsTheLeastRecentlyUsed)
{
    TfileCache cache(3000);
    const QByteArray chunk(1200, 'c');
    const QString a = write("a", chunk), b = write("b", chunk), c = write("c", chunk);
    const DiskEntryInfo ia = diskEntryInfo(a), ib = diskEntryInfo(b), ic = diskEntryInfo(c);
    const qint64 t = qMax(settled(ia), qMax(settled(ib), settled(ic)));
    ASSERT_FALSE(cache.contents(a, ia, t).isNull());
    ASSERT_FALSE(cache.contents(b, ib, t).isNull());
    ASSERT_FALSE(cache.contents(a, ia, t).isNull()); // a is now the most recent
    ASSERT_FALSE(cache.contents(c, ic, t).isNull()); // b has to go
    EXPECT_EQ(cache.entryCount(), 2);
    EXPECT_LE(cache.bytesUsed(), 3000);

    // a is still served from memory after its file is gone; b is not.
    QFile::remove(a);
    QFile::remove(b);
    EXPECT_EQ(cache.contents(a, ia, t), chunk);
    EXPECT_TRUE(cache.contents(b, ib, t).isNull());
}

} // namespace
