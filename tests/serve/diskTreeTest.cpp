#include "serve/treeAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void touch(const QString &path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

} // namespace

// What the delete action may remove: only items inside the folder's disk
// tree, whichever way a symbolic link points.
TEST(DiskTree, KeepsDeletionsInsideTheFolder)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = QDir(tmp.path()).canonicalPath();
    const QString base = root + QStringLiteral("/pub");
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/sub")));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/outside")));
    touch(base + QStringLiteral("/a.txt"));
    touch(base + QStringLiteral("/sub/b.txt"));
    touch(root + QStringLiteral("/outside/secret"));
    touch(root + QStringLiteral("/pubx.txt")); // a sibling sharing the prefix
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/outside/secret"), base + QStringLiteral("/linkout")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/outside"), base + QStringLiteral("/dirlink")));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/a.txt"), base + QStringLiteral("/sub/linkin")));

    const struct {
        const char *rel;
        bool allowed;
    } cases[] = {
        {"/a.txt", true},
        {"/sub/b.txt", true},
        {"/sub", true},
        {"/sub/linkin", true},        // a link to a file inside
        {"/linkout", false},          // a link to a file outside
        {"/dirlink/secret", false},   // through a linked folder
        {"/dirlink", false},
        {"/../outside/secret", false},
        {"/sub/../../outside/secret", false},
        {"/sub/..", false},
        {"/.", false},
        {"", false},                  // the folder itself
        {"/missing.txt", false},
        {"/../pubx.txt", false},
    };
    for (const auto &c : cases) {
        const QString path = base + QString::fromLatin1(c.rel);
        const QString got = pathInsideDiskTree(base, path);
        EXPECT_EQ(!got.isEmpty(), c.allowed) << c.rel << " -> " << qPrintable(got);
        if (c.allowed) {
            EXPECT_TRUE(got.startsWith(base + u'/')) << c.rel;
        }
    }
    // A base given through a link resolves the same way.
    ASSERT_TRUE(QFile::link(base, root + QStringLiteral("/publink")));
    EXPECT_FALSE(pathInsideDiskTree(root + QStringLiteral("/publink"), base + QStringLiteral("/a.txt")).isEmpty());
    EXPECT_TRUE(pathInsideDiskTree(root + QStringLiteral("/publink"), base + QStringLiteral("/linkout")).isEmpty());
}
