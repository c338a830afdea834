// Whole items on disk through byte paths: names that are not valid UTF-8,
// masks against literal names, and the bound on folder walks.
#include "util/fileTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool existsB(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

void writeB(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

QByteArray readB(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    char buf[256];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return QByteArray(buf, n > 0 ? n : 0);
}

// A temporary folder removed with whatever it holds: QTemporaryDir cannot
// remove names that are not valid UTF-8, and the code under test should not
// clean up after its own test.
struct TbyteTempDir
{
    QTemporaryDir dir;
    ~TbyteTempDir()
    {
        ::nftw(QFile::encodeName(dir.path()).constData(),
               [](const char *path, const struct stat *, int, FTW *) { return ::remove(path); }, 16,
               FTW_DEPTH | FTW_PHYS);
    }
};

} // namespace

TEST(FileTree, NamesThatAreNotUtf8TravelLikeOthers)
{
    TbyteTempDir temp;
    const QByteArray root = QFile::encodeName(temp.dir.path());
    const QByteArray src = root + "/src", odd = "/caf\xe9 \xff";
    ASSERT_EQ(::mkdir(src.constData(), 0755), 0);
    ASSERT_EQ(::mkdir((src + odd).constData(), 0755), 0);
    writeB(src + odd + odd + ".txt", "inner");
    writeB(src + "/plain.txt", "plain");

    ASSERT_TRUE(copyTree(src, root + "/copy", true));
    EXPECT_EQ(readB(root + "/copy" + odd + odd + ".txt"), "inner");
    EXPECT_EQ(readB(src + odd + odd + ".txt"), "inner");

    ASSERT_TRUE(moveTree(root + "/copy", root + "/moved"));
    EXPECT_FALSE(existsB(root + "/copy"));
    EXPECT_EQ(readB(root + "/moved" + odd + odd + ".txt"), "inner");

    EXPECT_TRUE(deleteTree(root + "/moved"));
    EXPECT_FALSE(existsB(root + "/moved"));
    EXPECT_TRUE(existsB(src + odd + odd + ".txt"));
}

TEST(FileTree, MasksAndLiteralNames)
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    writeB(root + "/a.log", "a");
    writeB(root + "/b.log", "b");
    writeB(root + "/c.txt", "c");

    bool isMask = false;
    QList<QByteArray> items = expandSource(root + "/*.log", &isMask);
    std::sort(items.begin(), items.end());
    EXPECT_TRUE(isMask);
    EXPECT_EQ(items, (QList<QByteArray>{root + "/a.log", root + "/b.log"}));

    // A name that holds a wildcard and exists is that item, not a mask.
    writeB(root + "/*.log", "star");
    EXPECT_EQ(expandSource(root + "/*.log", &isMask), QList<QByteArray>{root + "/*.log"});
    EXPECT_FALSE(isMask);

    // A mask copied into a folder that is not there yet: it is made.
    const QString folder = QFile::decodeName(root);
    ASSERT_TRUE(transfer(folder + "/?.txt", folder + "/out", false));
    EXPECT_EQ(readB(root + "/out/c.txt"), "c");
}

TEST(FileTree, WalksGiveUpBelowTheDepthBound)
{
    QTemporaryDir dir;
    const QByteArray top = QFile::encodeName(dir.path()) + "/deep";
    QByteArray path = top;
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << i;
        path += "/d";
    }
    EXPECT_FALSE(copyTree(top, QFile::encodeName(dir.path()) + "/copy", true));
    EXPECT_FALSE(deleteTree(top));
    EXPECT_TRUE(existsB(top));
    EXPECT_TRUE(QDir(dir.path()).removeRecursively());
}
