// The file macros on a scratch folder published as /pub in the program's tree.

#include "fileMacroFixture.h"
#include "macros/macrosFiles.h"
#include "macros/macrosRegistration.h"
#include "macros/sourcePath.h"
#include "script/macroEngine.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/dateTime.h"
#include "util/files.h"
#include "vfs/vfs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileMacros : public FileMacroFixture
{
protected:
    void SetUp() override
    {
        FileMacroFixture::SetUp();
        QDir().mkpath(root + "/pub/sub");
    }
};

TEST_F(FileMacros, SaveAppendLoad)
{
    // Relative paths start from the program's folder.
    EXPECT_EQ(run("{.save|notes.txt|hello.}"), " ");
    EXPECT_EQ(run("{.load|notes.txt.}"), "hello");
    EXPECT_EQ(run("{.append|notes.txt|!.}"), " ");
    EXPECT_EQ(read("notes.txt"), "hello!");
    // Through the tree, missing folders created, raw content kept.
    EXPECT_EQ(run("{.save|/pub/new/deep/x.txt| two words .}"), " ");
    EXPECT_EQ(read("pub/new/deep/x.txt"), " two words ");
    EXPECT_EQ(run("{.append|" + tp("pub/fresh.txt") + "|é.}"), " ");
    EXPECT_EQ(read("pub/fresh.txt"), QString("é").toUtf8());
    // A URL outside the tree is never taken for a disk path.
    EXPECT_EQ(run("{.save|/elsewhere/x.txt|no.}"), "");
    EXPECT_EQ(run("{.save|" + tp("pub/sub") + "|a folder is not replaced.}"), "");
    EXPECT_TRUE(QFileInfo(p("pub/sub")).isDir());
}

TEST_F(FileMacros, SaveFromVariablesAndTables)
{
    EXPECT_EQ(run("{.set|v|from var.}{.save|v.txt|var=v.}{.load|v.txt.}"), "  from var");
    EXPECT_EQ(run("{.save|none.txt|var=missing.}"), "");
    EXPECT_FALSE(exists("none.txt"));
    // A table with a line break in a value goes out encoded and comes back whole.
    EXPECT_EQ(run("{.set table|t|a=1.}{.set table|t|b=two{.chr|13|10.}lines.}{.save|t.txt|var=t.}"), " ");
    EXPECT_TRUE(read("t.txt").startsWith("this is an encoded table\r\n"));
    EXPECT_EQ(run("{.load|t.txt|var=u.}{.from table|u|a.}/{.from table|u|b.}"), "1/two\r\nlines");
    // Without line breaks the variable's own text is saved.
    EXPECT_EQ(run("{.set table|s|k=v.}{.save|s.txt|var=s.}"), " ");
    EXPECT_EQ(read("s.txt"), "k=v");
}

TEST_F(FileMacros, LoadQuotesPathsAndRunsBareNames)
{
    write("page.txt", "{.add|1|2.}");
    EXPECT_EQ(run("{.load|page.txt.}"), "3");
    EXPECT_EQ(run("{.load|" + tp("page.txt") + ".}"), "{.add|1|2.}");
    write("pub/page.txt", "{.add|1|2.}");
    EXPECT_EQ(run("{.load|/pub/page.txt.}"), "{.add|1|2.}");
    // Into a variable: nothing shown.
    EXPECT_EQ(run("{.load|page.txt|var=x.}[{.length|var=x.}]"), "[11]");
    // Single-byte text that is not UTF-8.
    write("latin.txt", "caf\xe9");
    EXPECT_EQ(run("{.load|latin.txt.}"), "café");
    EXPECT_EQ(run("{.load|missing.txt.}{.load|http://127.0.0.1:9/x.}{.load|/nothing/x.}"), "");
}

TEST_F(FileMacros, LoadRanges)
{
    write("big.bin", "0123456789abcdefghij");
    const struct {
        const char *params;
        const char *out;
    } cases[] = {
        {"from=10|size=5", "abcde"},
        {"from=10|to=14", "abcde"},
        {"to=3", "0123"},
        {"from=-4|size=2", "01"},
        {"from=18", "ij"},
        {"from=30", ""},
        {"size=0", ""},
        {"from=5|to=2", ""},
        {"from=15|size=-1", "fghij"},
        {"size=5|to=1", "01234"}, // size wins over to
        {"from=x", ""},           // not a number
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(QString("{.load|big.bin|%1.}").arg(c.params)), c.out) << c.params;
}

TEST_F(FileMacros, LoadAndDigestRefuseFifos)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(p("fifo")).constData(), 0600), 0);
    EXPECT_EQ(run("{.load|fifo.}"), "");
    EXPECT_EQ(run("{.md5 file|" + tp("fifo") + ".}"), "");
    EXPECT_EQ(run("{.is file|" + tp("fifo") + ".}{.exists|" + tp("fifo") + ".}"), "");
    write("h.txt", "hello");
    EXPECT_EQ(run("{.md5 file|" + tp("h.txt") + ".}"), "5d41402abc4b2a76b9719d911017c592");
    QByteArray big(100000, 'z');
    write("pub/big.txt", big);
    EXPECT_EQ(run("{.md5 file|/pub/big.txt.}"),
              QString::fromLatin1(QCryptographicHash::hash(big, QCryptographicHash::Md5).toHex()));
    EXPECT_EQ(run("{.md5 file|" + tp("none") + ".}"), "");
}

TEST_F(FileMacros, MkdirAndChdir)
{
    EXPECT_EQ(run("{.mkdir|" + tp("a/b/c") + ".}"), " ");
    EXPECT_TRUE(QFileInfo(p("a/b/c")).isDir());
    EXPECT_EQ(run("{.mkdir|" + tp("a/b/c") + ".}"), "");
    EXPECT_EQ(run("{.mkdir|/pub/made.}"), " ");
    EXPECT_TRUE(QFileInfo(p("pub/made")).isDir());
    EXPECT_EQ(run("{.mkdir|/nowhere/made.}"), "");

    // chdir moves relative paths; load/save with a relative path go back.
    write("a/b/in-b.txt", "b");
    EXPECT_EQ(run("{.chdir|" + tp("a/b") + ".}"), " ");
    EXPECT_EQ(run("{.is file|in-b.txt.}"), "1");
    EXPECT_EQ(run("{.chdir|c.}{.mkdir|d.}"), "  ");
    EXPECT_TRUE(QFileInfo(p("a/b/c/d")).isDir());
    EXPECT_EQ(run("{.chdir|" + tp("missing") + ".}"), "");
    EXPECT_EQ(run("{.save|back.txt|x.}"), " ");
    EXPECT_EQ(read("back.txt"), "x");
    EXPECT_EQ(run("{.is file|in-b.txt.}"), "");
}

TEST_F(FileMacros, LoadSaveAndAppendGoBackToTheProgramsFolder)
{
    write("in-root.txt", "R");
    write("a/in-a.txt", "A");
    const QString processFolder = QDir::currentPath();
    EXPECT_EQ(run("{.chdir|a.}{.is file|in-a.txt.}"), " 1");
    EXPECT_EQ(workingFolder(), p("a"));
    EXPECT_EQ(QDir::currentPath(), processFolder); // the process never moves
    // A relative name reads from the program's folder, which is current again.
    EXPECT_EQ(run("{.load|in-root.txt.}"), "R");
    EXPECT_EQ(workingFolder(), root);
    EXPECT_EQ(run("{.chdir|a.}{.load|in-a.txt.}"), " ");
    EXPECT_EQ(run("{.chdir|a.}{.append|in-root.txt|+.}{.is file|in-a.txt.}"), "  ");
    EXPECT_EQ(read("in-root.txt"), "R+");
    // An absolute path or a tree URL leaves the working folder where it is.
    write("pub/p.txt", "P");
    EXPECT_EQ(run("{.chdir|a.}{.load|/pub/p.txt.}{.load|" + tp("in-root.txt") + ".}{.is file|in-a.txt.}"),
              " PR+1");
}

TEST_F(FileMacros, AnyMacroMarkerReadsAFileOrTheText)
{
    write("pub/m.txt", "x {.y.}");
    write("pub/p.txt", "plain");
    write("pub/bar.txt", "a|b");
    // Tree URLs name the item's file; disk paths are written with "\".
    EXPECT_EQ(run("{.any macro marker|/pub/m.txt.}"), "1");
    EXPECT_EQ(run("[{.any macro marker|/pub/p.txt.}]"), "[]");
    EXPECT_EQ(run("{.any macro marker|/pub/bar.txt.}"), "1");
    EXPECT_EQ(run("{.any macro marker|" + tp("pub/m.txt") + ".}"), "1");
    EXPECT_EQ(run("{.chdir|pub.}{.any macro marker|m.txt.}"), " 1");
    // Nothing to read: the text itself is tested.
    EXPECT_EQ(run("[{.any macro marker|/pub/missing.txt.}]"), "[]");
    EXPECT_EQ(run("{.any macro marker|a{:|:}b.}"), "1");
    EXPECT_EQ(run("[{.any macro marker|abc.}]"), "[]");
}

TEST_F(FileMacros, DirListsWithMasksAndSeparators)
{
    write("pub/one.txt", "1");
    write("pub/.hidden", "h");
    write("pub/two.TXT", "2");
    write("pub/three.jpg", "3");
    ASSERT_EQ(::mkfifo(QFile::encodeName(p("pub/pipe")).constData(), 0600), 0);
    EXPECT_EQ(run("{.dir|" + tp("pub") + ".}"), ".hidden|one.txt|sub|three.jpg|two.TXT");
    EXPECT_EQ(run("{.dir|" + tp("pub") + "\\.}"), ".hidden|one.txt|sub|three.jpg|two.TXT");
    EXPECT_EQ(run("{.dir|" + tp("pub") + "\\*.txt|separator=, .}"), "one.txt, two.TXT");
    EXPECT_EQ(run("{.dir|/pub/*.jpg;s*.}"), "sub|three.jpg");
    EXPECT_EQ(run("{.dir|" + tp("pub") + "\\*.gif.}{.dir|" + tp("none") + ".}"), "");
}

TEST_F(FileMacros, FactsAboutFiles)
{
    write("pub/f.bin", QByteArray(1234, 'x'));
    EXPECT_EQ(run("{.filesize|" + tp("pub/f.bin") + ".}"), "1234");
    EXPECT_EQ(run("{.filesize|/pub/f.bin.}"), "1234");
    EXPECT_EQ(run("{.filesize|/pub/sub.}|{.filesize|/pub/none.}|{.filesize|http://127.0.0.1:9/.}"), "0|0|0");

    const double t = run("{.filetime|" + tp("pub/f.bin") + ".}").toDouble();
    EXPECT_NEAR(t, now(), 1.0 / 24);
    EXPECT_EQ(run("{.filetime|" + tp("pub/none") + ".}"), "0");

    EXPECT_EQ(run("{.exists|/pub/f.bin.}{.exists|/pub/sub.}{.exists|/pub/.}{.exists|" + tp("pub/f.bin") + ".}"),
              "1111");
    EXPECT_EQ(run("{.exists|/pub/none.}{.exists|" + tp("pub/none") + ".}"), "");
    EXPECT_EQ(run("{.is file|" + tp("pub/f.bin") + ".}|{.is file|" + tp("pub/sub") + ".}"), "1|");

    const qint64 free = run("{.disk free|/pub/.}").toLongLong();
    EXPECT_GT(free, 0);
    // A missing path uses its nearest existing folder.
    EXPECT_EQ(run("{.disk free|" + tp("pub/no/such/place") + ".}").toLongLong() > 0, true);
    EXPECT_EQ(run("{.disk free|/none/.}"), "-1");
}

TEST_F(FileMacros, ProtectedNames)
{
    const struct {
        const char *name;
        bool isProtected;
    } cases[] = {
        {"page.html", true},   {"x.HTM", true},          {"zof.ini", true},     {"ZOF.tpl", true},
        {"descript.ion", true}, {"a.comment", true},     {"f.md5", true},       {"x.corrupted", true},
        {"short.lnk", true},   {"sub\\zof.events", true}, {"photo.jpg", false}, {"zofx.ini", false},
        {"notes.txt", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(QString("{.is file protected|%1.}").arg(c.name)), c.isProtected ? "1" : "") << c.name;
    EXPECT_EQ(run("{.set|n|index.htm.}{.is file protected|var=n.}"), " 1");
}

TEST_F(FileMacros, VfsToDisk)
{
    write("pub/a.txt", "a");
    EXPECT_EQ(run("{.vfs to disk|a.txt.}"), tp("pub/a.txt"));
    EXPECT_EQ(run("{.vfs to disk|/pub/sub.}"), tp("pub/sub"));
    EXPECT_EQ(run("{.vfs to disk|..\\x.txt.}"), tp("x.txt"));
}

} // namespace
