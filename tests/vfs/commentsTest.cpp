// Comments, descriptions, fingerprints and partial templates kept on disk.

#include "vfsTestTools.h"

#include "vfs/comments.h"
#include "vfs/fingerprint.h"
#include "vfs/vfs.h"
#include "util/files.h"

#include <QDateTime>

namespace {

class Comments : public ::testing::Test {
protected:
    void SetUp() override
    {
        commentOptions() = TcommentOptions();
        disk.file("dir/a.txt");
        disk.file("dir/my file.txt");
        real = vfs.add(Tfile::create(disk.path("dir")));
    }
    TfilePtr temp(const QString &name) { return Tfile::createTemp(disk.path("dir/" + name), real); }
    QString read(const QString &rel) { return loadTextFile(disk.path(rel)); }

    DiskTree disk;
    Tvfs vfs;
    Tfile *real = nullptr;
};

TEST_F(Comments, CommentsFileRoundTripWithEscapes)
{
    commentOptions().supportDescriptIon = false;
    TfilePtr a = temp("a.txt");
    const QString cmt = "line one\r\nC:\\dir";
    ASSERT_TRUE(setDynamicComment(*a, cmt));
    EXPECT_EQ(read("dir/zof.comments.txt"), "a.txt=line one\\nC:\\\\dir");
    EXPECT_EQ(getDynamicComment(*a, false), cmt);
    EXPECT_EQ(getDynamicComment(*a, true), ""); // pages read the folder file through the listing
    // Replacing keeps one line per name (found ignoring case).
    TfilePtr upper = Tfile::createTemp(disk.path("dir/A.TXT"), real);
    upper->name = "A.TXT";
    ASSERT_TRUE(setDynamicComment(*a, "new"));
    EXPECT_EQ(read("dir/zof.comments.txt"), "a.txt=new");
    ASSERT_TRUE(setDynamicComment(*a, ""));
    EXPECT_EQ(read("dir/zof.comments.txt"), "a.txt=");
}

// Deleted items take their lines along; a disabled "descript.ion" is an
// ordinary file and is left alone.
TEST_F(Comments, ForgettingDeletedNames)
{
    disk.file("dir/zof.comments.txt", "A.TXT=one\r\nb.txt=two\r\n*.txt=all\r\n");
    disk.file("dir/descript.ion", "\"my file.txt\" spaced\r\na.txt one\r\n");
    disk.file("other/descript.ion", "a.txt elsewhere\r\n");
    commentOptions().supportDescriptIon = false;
    forgetComments({disk.path("dir/a.txt")});
    EXPECT_EQ(read("dir/zof.comments.txt"), "b.txt=two\r\n*.txt=all\r\n");
    EXPECT_EQ(read("dir/descript.ion"), "\"my file.txt\" spaced\r\na.txt one\r\n");
    commentOptions().supportDescriptIon = true;
    forgetComments({disk.path("dir/a.txt"), disk.path("dir/my file.txt"), disk.path("dir/b.txt")});
    EXPECT_EQ(read("dir/zof.comments.txt"), "*.txt=all\r\n");
    EXPECT_FALSE(QFile::exists(disk.path("dir/descript.ion")));
    EXPECT_EQ(read("other/descript.ion"), "a.txt elsewhere\r\n");
}

TEST_F(Comments, NamesWithLineBreaksAreRefused)
{
    commentOptions().supportDescriptIon = false;
    disk.file("dir/evil\nx.txt");
    TfilePtr evil = temp("evil\nx.txt");
    EXPECT_FALSE(setDynamicComment(*evil, "hi"));
    EXPECT_FALSE(QFile::exists(disk.path("dir/zof.comments.txt")));
}

TEST_F(Comments, TreeNodeKeepsItsOwnField)
{
    ASSERT_TRUE(setDynamicComment(*real, "folder note"));
    EXPECT_EQ(real->comment, "folder note");
    EXPECT_EQ(getDynamicComment(*real, false), "folder note");
}

TEST_F(Comments, SingleCommentFileWins)
{
    disk.file("dir/a.txt.comment", "single");
    TfilePtr a = temp("a.txt");
    EXPECT_EQ(getDynamicComment(*a, true), "single");
    ASSERT_TRUE(setDynamicComment(*a, "changed"));
    EXPECT_EQ(read("dir/a.txt.comment"), "changed");
    ASSERT_TRUE(setDynamicComment(*a, ""));
    EXPECT_FALSE(QFile::exists(disk.path("dir/a.txt.comment")));
    commentOptions().loadSingleCommentFiles = false;
    EXPECT_FALSE(isCommentFile("x.comment"));
    EXPECT_TRUE(isCommentFile("zof.comments.txt"));
    EXPECT_FALSE(isCommentFile("ZOF.comments.txt"));
    EXPECT_TRUE(isCommentFile("DESCRIPT.ION"));
}

TEST_F(Comments, SideFileNamesByTheirWholeRule)
{
    // Names are first told apart by their last letter: every name, whatever
    // its ending and case, must still follow the rule, under every option.
    QStringList names;
    for (const QString stem : {"", "a", "x.txt", "zof", "descript"})
        for (const QString end : {".comment", ".COMMENT", ".Comment", ".md5", ".MD5", ".ion", ".ION", ".comments.txt",
                                  ".comments.TXT", "t", "n", "5", "T", "N", ".commen", ".md", ".txt"})
            names << stem + end;
    names << QString() << "descript.ion" << "DESCRIPT.ION" << "zof.comments.txt" << "Zof.comments.txt";
    for (const bool single : {false, true}) {
        for (const bool descriptIon : {false, true}) {
            for (const bool fingerprints : {false, true}) {
                commentOptions().loadSingleCommentFiles = single;
                commentOptions().supportDescriptIon = descriptIon;
                commentOptions().enableFingerprints = fingerprints;
                for (const QString &n : std::as_const(names)) {
                    const bool comment = n == COMMENTS_FILE ||
                                         (single && n.endsWith(COMMENT_FILE_EXT, Qt::CaseInsensitive)) ||
                                         (descriptIon && n.compare(DESCRIPT_ION, Qt::CaseInsensitive) == 0);
                    EXPECT_EQ(isCommentFile(n), comment) << n.toStdString() << single << descriptIon;
                    EXPECT_EQ(isFingerprintFile(n), fingerprints && n.endsWith(u".md5", Qt::CaseInsensitive))
                        << n.toStdString() << fingerprints;
                }
            }
        }
    }
}

TEST_F(Comments, DescriptIonReadAndWrite)
{
    disk.file("dir/descript.ion", "\"my file.txt\" hello\r\nb.txt multi\\nline\x04\xC3\x82\r\nc.txt literal\\n\r\n");
    TnameValueList list;
    loadDescriptions(disk.path("dir"), list);
    EXPECT_EQ(list.value("my file.txt"), "hello");
    EXPECT_EQ(list.value("b.txt"), "multi\r\nline");
    EXPECT_EQ(list.value("c.txt"), "literal\\n");

    // No zof.comments.txt: only descript.ion is written.
    TfilePtr mine = temp("my file.txt");
    ASSERT_TRUE(setDynamicComment(*mine, "two\r\nlines"));
    EXPECT_FALSE(QFile::exists(disk.path("dir/zof.comments.txt")));
    EXPECT_TRUE(read("dir/descript.ion").startsWith("\"my file.txt\" two\\nlines\u0004\u00C2\r\n"));
    TfilePtr a = temp("a.txt");
    ASSERT_TRUE(setDynamicComment(*a, "plain"));
    EXPECT_TRUE(read("dir/descript.ion").endsWith("a.txt plain\r\n"));
    EXPECT_EQ(getDynamicComment(*a, false), "plain");
    // Emptying every description removes the file.
    for (const char *n : {"my file.txt", "b.txt", "c.txt", "a.txt"}) {
        TfilePtr f = temp(n);
        f->name = n;
        setDynamicComment(*f, "");
    }
    EXPECT_FALSE(QFile::exists(disk.path("dir/descript.ion")));
}

TEST_F(Comments, Fingerprints)
{
    disk.file("dir/f.bin", "hello");
    const QString f = disk.path("dir/f.bin");
    EXPECT_EQ(computeFingerprint(f), "5d41402abc4b2a76b9719d911017c592");
    EXPECT_EQ(computeFingerprint(f, [](double) { return false; }), ""); // cancelled
    EXPECT_EQ(getFingerprint(f), "");
    // The folder's list files.
    disk.file("dir/all.md5", "aaaa *f.bin\r\nbbbb *a.txt\r\n\r\ncccc *my file.txt\r\n");
    EXPECT_EQ(getFingerprint(f), "aaaa");
    EXPECT_EQ(getFingerprint(disk.path("dir/my file.txt")), ""); // reading stopped at the empty line
    // Its own file wins, unless it is older than the file.
    disk.file("dir/f.bin.md5", "ownown  f.bin");
    EXPECT_EQ(getFingerprint(f), "ownown");
    {
        QFile own(disk.path("dir/f.bin.md5"));
        ASSERT_TRUE(own.open(QIODevice::ReadWrite));
        ASSERT_TRUE(own.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(getFingerprint(f), "aaaa");
    // A line without "*" names the file of the same name.
    disk.file("dir/a.txt.md5", "dddd");
    Thasher h;
    h.loadFrom(disk.path("dir"));
    EXPECT_EQ(h.getHashFor(disk.path("dir/A.TXT")), "dddd");
}

TEST_F(Comments, AutoFingerprintBySize)
{
    disk.file("dir/big.bin", QByteArray(2 * 1024 * 1024, 'x'));
    const QString big = disk.path("dir/big.bin");
    commentOptions().autoFingerprint = 1024;
    EXPECT_FALSE(autoFingerprint(big, 2 * 1024 * 1024));
    commentOptions().autoFingerprint = 4096;
    EXPECT_TRUE(autoFingerprint(big, 2 * 1024 * 1024));
    EXPECT_EQ(read("dir/big.bin.md5"), computeFingerprint(big));
}

TEST_F(Comments, PartialTemplatesNearestLast)
{
    disk.file("prog/a.diff.tpl", "[p]\r\nprogram");
    commentOptions().programFolder = disk.path("prog");
    disk.file("dir/zof.diff.tpl", "[d]\r\ndisk");
    disk.file("dir/sub/zof.diff.tpl", "[s]\r\nsubdisk");
    real->diffTpl = "[n]\r\nnode";
    vfs.root()->diffTpl = "root text";
    bool inherited = false, fromDisk = false;
    const QString own = getRecursiveDiffTplAsStr(*real, &inherited, &fromDisk);
    // On one folder the node's text comes first, the disk file's after it.
    EXPECT_EQ(own, "[p]\r\nprogram\r\n[]\r\nroot text\r\n[n]\r\nnode\r\n[d]\r\ndisk");
    EXPECT_TRUE(inherited); // from the root
    real->diffTpl.clear();
    vfs.root()->diffTpl.clear();
    getRecursiveDiffTplAsStr(*real, &inherited, &fromDisk);
    EXPECT_FALSE(inherited);
    real->diffTpl = "[n]\r\nnode";
    EXPECT_TRUE(fromDisk);
    TfilePtr sub = Tfile::createTemp(disk.path("dir/sub"), real);
    const QString below = getRecursiveDiffTplAsStr(*sub, &inherited, &fromDisk);
    EXPECT_TRUE(below.endsWith("[n]\r\nnode\r\n[d]\r\ndisk\r\n[s]\r\nsubdisk"));
    EXPECT_TRUE(inherited);
    // A partial template added to the program's folder counts from the next page on.
    disk.file("prog/b.diff.tpl", "[q]\r\nmore");
    EXPECT_TRUE(getRecursiveDiffTplAsStr(*real).startsWith("[q]\r\nmore\r\n[p]\r\nprogram"));
}

} // namespace
