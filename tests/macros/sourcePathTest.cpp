// Locations of the file macros: tree URLs to disk paths, destinations,
// "vfs to disk" and the mapping of template paths to the disk.

#include "macros/sourcePath.h"
#include "util/files.h"
#include "util/workingFolder.h"
#include "vfs/vfs.h"
#include "qtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SourcePath : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
        QDir().mkpath(root + "/pub/sub");
        QDir().mkpath(root + "/other");
        QFile(root + "/pub/a.txt").open(QIODevice::WriteOnly);
        QFile(root + "/single.bin").open(QIODevice::WriteOnly);
        docs = vfs.add(Tfile::createVirtualFolder("docs"));
        pub = vfs.add(Tfile::create(root + "/pub"), docs);
        single = vfs.add(Tfile::create(root + "/single.bin"), docs);
        link = vfs.add(Tfile::createLink("site"));
        link->resource = "http://example.com/x";
        ASSERT_TRUE(docs && pub && single && link);
    }
    void TearDown() override { resetWorkingFolder(); }

    QString tp(const QString &rel) const { return templatePath(root + rel); }

    QTemporaryDir dir;
    QString root;
    Tvfs vfs;
    Tfile *docs = nullptr, *pub = nullptr, *single = nullptr, *link = nullptr;
};

TEST_F(SourcePath, SourcesFromTreeUrls)
{
    const Tfile *top = vfs.root();
    EXPECT_EQ(resolveSourcePath("notes\\a.txt", top), "notes\\a.txt"); // a disk path as it is
    EXPECT_EQ(resolveSourcePath("/docs/single.bin", top), tp("/single.bin"));
    EXPECT_EQ(resolveSourcePath("/docs/pub/", top), tp("/pub"));
    // Items found on disk below a real folder.
    EXPECT_EQ(resolveSourcePath("/docs/pub/sub", top), tp("/pub/sub"));
    EXPECT_EQ(resolveSourcePath("/docs/pub/a.txt", top), tp("/pub/a.txt"));
    // A mask in the last part is kept behind the folder's path.
    EXPECT_EQ(resolveSourcePath("/docs/pub/*.txt", top), tp("/pub") + "\\*.txt");
    EXPECT_EQ(resolveSourcePath("/docs/pub/sub/a?.t*", top), tp("/pub/sub") + "\\a?.t*");
    // Lookups relative to a folder.
    EXPECT_EQ(resolveSourcePath("pub/a.txt/", docs), tp("/pub/a.txt"));
    // Nothing on disk: missing items, virtual folders, links, climbing out.
    for (const char *url : {"/docs/missing.txt", "/docs/", "/", "/site", "/docs/pub/../../x",
                            "/docs/pub/sub/*/x", "/nowhere/*.txt"})
        EXPECT_EQ(resolveSourcePath(url, top), "") << url;
}

TEST_F(SourcePath, TargetsKeepTheirNewName)
{
    EXPECT_EQ(resolveTargetPath("/docs/pub/new.txt", docs), tp("/pub") + "\\new.txt");
    EXPECT_EQ(resolveTargetPath("/docs/pub/sub/ spaced name.txt ", docs), tp("/pub/sub") + "\\spaced name.txt");
    EXPECT_EQ(resolveTargetPath("pub/x.txt", docs), tp("/pub") + "\\x.txt"); // below the folder
    EXPECT_EQ(resolveTargetPath("/docs/pub/", docs), tp("/pub") + "\\");
    // Unresolved: unchanged, and diskPath refuses it.
    EXPECT_EQ(resolveTargetPath("/docs/nothing/x.txt", docs), "/docs/nothing/x.txt");
    EXPECT_EQ(diskPath(resolveTargetPath("/etc/x.txt", docs)), "");
    EXPECT_EQ(resolveTargetPath("plain.txt", docs), "plain.txt");
    // Folders still to be made below a real folder; nothing that climbs out.
    EXPECT_EQ(resolveTargetPath("/docs/pub/new/deeper/x.txt", docs), tp("/pub") + "\\new\\deeper\\x.txt");
    EXPECT_EQ(resolveTargetPath("pub/new//x.txt", docs), tp("/pub") + "\\new\\x.txt");
    for (const char *url : {"/docs/pub/../x/y", "/docs/pub/new/..\\..\\up/y", "/docs/virtual/y", "/docs/pub/..",
                            "/docs/pub/sub/.", "/docs/pub/*/x"})
        EXPECT_EQ(resolveTargetPath(url, docs), url) << url;
}

TEST_F(SourcePath, VfsToDisk)
{
    EXPECT_EQ(vfsToDisk("\\srv\\x.txt", pub), "\\srv\\x.txt");
    EXPECT_EQ(vfsToDisk("/docs/pub/a.txt", pub), tp("/pub/a.txt"));
    EXPECT_EQ(vfsToDisk("a.txt", pub), tp("/pub/a.txt")); // an item of the folder
    EXPECT_EQ(vfsToDisk("single.bin", docs), tp("/single.bin"));
    EXPECT_EQ(vfsToDisk("sub", pub), tp("/pub/sub"));
    EXPECT_EQ(vfsToDisk("missing", pub), "");
    // ".." parts: beside the folder's disk folder, made absolute.
    EXPECT_EQ(vfsToDisk("..\\other\\y.txt", pub), tp("/other/y.txt"));
    EXPECT_EQ(vfsToDisk("sub\\..\\..\\z", pub), tp("/z"));
    EXPECT_EQ(vfsToDisk("..\\x", docs), ""); // a virtual folder has no disk folder
}

TEST_F(SourcePath, DiskPathsAndTheCurrentFolder)
{
    EXPECT_EQ(diskPath("\\srv\\pub\\a.txt"), "/srv/pub/a.txt");
    EXPECT_EQ(diskPath("\\srv\\\\pub\\"), "/srv/pub");
    EXPECT_EQ(diskPath("/srv/pub"), ""); // a URL, not a disk path
    EXPECT_EQ(diskPath(""), "");
    EXPECT_EQ(diskPath(QString("a") + QChar(0)), "");
    EXPECT_TRUE(isAbsoluteTemplatePath("\\x"));
    EXPECT_FALSE(isAbsoluteTemplatePath("x\\y"));

    ASSERT_TRUE(setWorkingFolder(root + "/pub"));
    EXPECT_EQ(diskPath("sub\\f.txt"), root + "/pub/sub/f.txt");
    ASSERT_TRUE(setWorkingFolder("sub")); // relative to the current one
    EXPECT_EQ(workingFolder(), root + "/pub/sub");
    EXPECT_FALSE(setWorkingFolder(root + "/pub/a.txt"));
    EXPECT_FALSE(setWorkingFolder(root + "/none"));
    EXPECT_EQ(workingFolder(), root + "/pub/sub");
    resetWorkingFolder();
    EXPECT_NE(workingFolder(), root + "/pub/sub");
}

} // namespace
