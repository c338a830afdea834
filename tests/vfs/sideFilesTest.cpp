// Side files (".comment", ".md5") read once per page through a scope.

#include "vfsTestTools.h"

#include "vfs/comments.h"
#include "vfs/diskFolderCache.h"
#include "vfs/fileListingNames.h"
#include "vfs/fingerprint.h"
#include "vfs/vfs.h"

#include <QDir>
#include <QRandomGenerator>

#include <optional>

namespace {

class SideFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        commentOptions() = TcommentOptions();
        disk.file("dir/a.txt");
        disk.file("dir/b.txt");
        real = vfs.add(Tfile::create(disk.path("dir")));
    }
    TfilePtr temp(const QString &name) { return Tfile::createTemp(disk.path("dir/" + name), real); }

    DiskTree disk;
    Tvfs vfs;
    Tfile *real = nullptr;
};

TEST_F(SideFiles, NamesAreTheSideFilesOnly)
{
    disk.file("dir/a.txt.comment", "c");
    disk.file("dir/B.TXT.MD5", "d");
    disk.file("dir/list.md5x");
    disk.file("dir/comment");
    QDir().mkpath(disk.path("dir/folder.md5"));
    bool ok = false;
    EXPECT_EQ(readSideFileNames(disk.path("dir"), &ok),
              QStringList({"B.TXT.MD5", "a.txt.comment", "folder.md5"}));
    EXPECT_TRUE(ok);
    readSideFileNames(disk.path("missing"), &ok);
    EXPECT_FALSE(ok);
}

TEST_F(SideFiles, ScopeAnswersFromOneReadAndANewScopeSeesChanges)
{
    const TfilePtr a = temp("a.txt"), b = temp("b.txt");
    disk.file("dir/a.txt.comment", "first");
    {
        TsideFileScope scope;
        EXPECT_EQ(TsideFileScope::current(), &scope);
        EXPECT_EQ(getDynamicComment(*a, true), "first");
        EXPECT_EQ(getDynamicComment(*b, true), "");
        EXPECT_TRUE(sideFileMayExist(disk.path("dir/a.txt.comment")));
        EXPECT_FALSE(sideFileMayExist(disk.path("dir/b.txt.comment")));
        // The name may come in two pieces, the second holding no "/".
        EXPECT_TRUE(sideFileMayExist(disk.path("dir/a.txt"), u".comment"));
        EXPECT_TRUE(sideFileMayExist(disk.path("dir/a.txt.com"), u"ment"));
        EXPECT_FALSE(sideFileMayExist(disk.path("dir/b.txt"), u".comment"));
        EXPECT_FALSE(sideFileMayExist(disk.path("dir/a.txt"), u".md5"));
        EXPECT_FALSE(sideFileMayExist(disk.path("dir/a.txt"), u""));
        EXPECT_TRUE(sideFileMayExist(disk.path("missing/x"), u".comment"));
        // The folder's names were read once: a file added now is not seen,
        // while an existing one is still read fresh.
        disk.file("dir/b.txt.comment", "late");
        disk.file("dir/a.txt.comment", "changed");
        EXPECT_EQ(getDynamicComment(*b, true), "");
        EXPECT_EQ(getDynamicComment(*a, true), "changed");
        // An unreadable folder never hides a file.
        EXPECT_TRUE(sideFileMayExist(disk.path("missing/x.comment")));
    }
    EXPECT_EQ(TsideFileScope::current(), nullptr);
    EXPECT_EQ(getDynamicComment(*b, true), "late"); // no scope: looked up directly
    TsideFileScope next;
    EXPECT_EQ(getDynamicComment(*b, true), "late");
    QFile::remove(disk.path("dir/a.txt.comment"));
    EXPECT_EQ(getDynamicComment(*a, true), ""); // listed but gone: the open fails
}

TEST_F(SideFiles, AFolderKeptFromAListingGivesTheSameNamesAndItsChanges)
{
    disk.file("dir/a.txt.comment", "c");
    disk.file("dir/x.md5", "d");
    const QString dir = disk.path("dir");
    if (!TdiskFolderCache::instance().entries(dir) || !TdiskFolderCache::instance().keptEntries(dir))
        GTEST_SKIP() << "folder contents are not kept on this file system";
    {
        TsideFileScope scope;
        EXPECT_EQ(scope.namesIn(dir), readSideFileNames(dir));
    }
    disk.file("dir/b.txt.comment", "new");
    TsideFileScope scope;
    EXPECT_EQ(scope.namesIn(dir), QStringList({"a.txt.comment", "b.txt.comment", "x.md5"}));
}

TEST_F(SideFiles, FingerprintsWithAndWithoutMd5Files)
{
    const QString a = disk.path("dir/a.txt"), b = disk.path("dir/b.txt");
    {
        TsideFileScope scope;
        Thasher h;
        h.loadFrom(disk.path("dir"));
        EXPECT_TRUE(h.isEmpty());
        EXPECT_FALSE(h.mayHaveSumFiles()); // read, and none there
        EXPECT_EQ(getOwnFingerprint(a), "");
        EXPECT_EQ(getFingerprint(b), "");
    }
    disk.file("dir/a.txt.md5", "own1 a.txt");
    disk.file("dir/all.MD5", "list2 *b.txt\nlist3 *a.txt\n");
    QDir().mkpath(disk.path("dir/sub.md5")); // a folder named like a list is no list
    TsideFileScope scope;
    Thasher h;
    h.loadFrom(disk.path("dir/"));
    EXPECT_EQ(h.getHashFor(b), "list2");
    EXPECT_TRUE(h.mayHaveSumFiles());
    EXPECT_EQ(h.getHashFor(a), "own1"); // its own file sorts first and names it
    EXPECT_EQ(getOwnFingerprint(a), "own1");
    EXPECT_EQ(getOwnFingerprint(b), "");
    EXPECT_EQ(getFingerprint(b), "list2");
}

TEST_F(SideFiles, AFolderThatCannotBeReadMayHoldSumFiles)
{
    // Nothing known of its names: a file there may still have its own.
    for (const bool scoped : {true, false}) {
        std::optional<TsideFileScope> scope;
        if (scoped)
            scope.emplace();
        Thasher h;
        h.loadFrom(disk.path("missing"));
        EXPECT_TRUE(h.isEmpty());
        EXPECT_TRUE(h.mayHaveSumFiles()) << scoped;
        bool readable = true;
        if (scope) {
            EXPECT_TRUE(scope->namesIn(disk.path("missing"), &readable).isEmpty());
            EXPECT_FALSE(readable);
        }
    }
    disk.file("dir/only.MD5", "d");
    TsideFileScope scope;
    bool readable = false;
    EXPECT_EQ(scope.namesIn(disk.path("dir"), &readable), QStringList({"only.MD5"}));
    EXPECT_TRUE(readable);
    Thasher h;
    h.loadFrom(disk.path("dir"));
    EXPECT_TRUE(h.mayHaveSumFiles()); // a ".md5" in any letter case counts
}

TEST_F(SideFiles, OneScopeAnswersLikeAFreshScopeForEveryQuestion)
{
    // Folders whose names start alike, one inside another, one without side
    // files, and names that are side files' or not: one scope asked in a
    // random order answers as a scope that reads for each question.
    disk.file("dir/a.txt.comment", "c");
    disk.file("dir/b.txt.md5", "d");
    disk.file("dir/sub/a.txt.md5", "d");
    disk.file("dir/subway/x.comment", "c");
    disk.file("dir/plain/a.txt");
    const QStringList folders = {disk.path("dir"), disk.path("dir/sub"), disk.path("dir/subway"),
                                 disk.path("dir/plain"), disk.path("missing"), disk.path()};
    const QStringList names = {"a.txt", "b.txt", "x", "sub", "sub/a.txt", "subway/x", "a.txt.comment", ""};
    const QStringList suffixes = {".comment", ".md5", ""};
    QRandomGenerator rng(11);
    TsideFileScope scope;
    for (int round = 0; round < 3000; ++round) {
        // Mostly the same folder as the question before, as a page asks.
        const QString &folder = folders[rng.bounded(int(folders.size())) * (rng.bounded(3) == 0)];
        const QString path = folder + u'/' + names[rng.bounded(int(names.size()))];
        const QString &suffix = suffixes[rng.bounded(int(suffixes.size()))];
        bool fresh = false;
        {
            TsideFileScope inner;
            fresh = inner.mayHaveAt(path, suffix);
        }
        ASSERT_EQ(scope.mayHaveAt(path, suffix), fresh) << path.toStdString() << suffix.toStdString();
    }
}

TEST_F(SideFiles, WritingAFingerprintRefreshesLiveScopes)
{
    disk.file("dir/c.bin", "hello");
    const QString c = disk.path("dir/c.bin");
    commentOptions().autoFingerprint = 4;
    TsideFileScope outer;
    TsideFileScope inner;
    EXPECT_EQ(getOwnFingerprint(c), "");
    ASSERT_TRUE(autoFingerprint(c, 5));
    EXPECT_EQ(getOwnFingerprint(c), "5d41402abc4b2a76b9719d911017c592");
}

} // namespace
