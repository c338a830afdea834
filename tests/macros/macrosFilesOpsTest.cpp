// rename, move, copy and delete (with the trash) on a scratch folder.

#include "fileMacroFixture.h"
#include "macros/macrosFiles.h"
#include "macros/macrosRegistration.h"
#include "macros/sourcePath.h"
#include "script/macroEngine.h"
#include "script/macroRegistry.h"
#include "util/files.h"
#include "util/trash.h"
#include "vfs/vfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileOps : public FileMacroFixture
{
protected:
    void SetUp() override
    {
        FileMacroFixture::SetUp();
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", savedDataHome);
        FileMacroFixture::TearDown();
    }
    bool isLink(const QString &rel) const
    {
        struct stat st;
        return ::lstat(QFile::encodeName(p(rel)).constData(), &st) == 0 && S_ISLNK(st.st_mode);
    }
    void symlink(const QString &target, const QString &rel)
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(p(rel)).constData()), 0);
    }

    QByteArray savedDataHome;
};

TEST_F(FileOps, RenameInPlaceWithoutReplacing)
{
    write("pub/a.txt", "A");
    write("pub/b.txt", "B");
    EXPECT_EQ(run("{.rename|/pub/a.txt|c.txt.}"), " ");
    EXPECT_EQ(read("pub/c.txt"), "A");
    EXPECT_FALSE(exists("pub/a.txt"));
    // An existing name is not overwritten.
    EXPECT_EQ(run("{.rename|/pub/c.txt|b.txt.}"), "");
    EXPECT_EQ(read("pub/b.txt"), "B");
    EXPECT_EQ(read("pub/c.txt"), "A");
    // Link names are refused; missing sources and odd names fail.
    EXPECT_EQ(run("{.rename|/pub/c.txt|y.LNK.}"), "");
    EXPECT_EQ(run("{.rename|/pub/none.txt|z.txt.}{.rename|/pub/c.txt|...}{.rename|/pub/c.txt|.}"), "");
    EXPECT_TRUE(exists("pub/c.txt"));
    // With a folder part: a move to that place.
    QDir().mkpath(p("pub/sub"));
    EXPECT_EQ(run("{.rename|" + tp("pub/c.txt") + "|/pub/sub/d.txt.}"), " ");
    EXPECT_EQ(read("pub/sub/d.txt"), "A");
    // A folder is renamed too.
    EXPECT_EQ(run("{.rename|/pub/sub|sub2.}"), " ");
    EXPECT_EQ(read("pub/sub2/d.txt"), "A");
}

TEST_F(FileOps, RenameRunsItsEventOnceUnlessRecursive)
{
    setEventsTemplate(std::make_shared<Ttpl>(
        "[on macro rename]\n"
        "{.set|#log|{.^#log.}[%old-name%>%new-name%]{.inc|#n.}.}"
        "{.if|{.^#chain.}|{.set|#c|{.^#chain.}.}{.set|#chain|.}{.rename|/pub/{.^#c.}|again.txt.}.}\n"));
    write("pub/a.txt");
    EXPECT_EQ(run("{.rename|/pub/a.txt|b.txt.}"), " ");
    EXPECT_EQ(globalVars().value("log"), "[/pub/a.txt>b.txt]");

    // A rename inside the event does not start it again...
    globalVars().clear();
    globalVars().setVar("chain", "c.txt");
    write("pub/x.txt");
    write("pub/c.txt");
    EXPECT_EQ(run("{.rename|/pub/x.txt|y.txt.}"), " ");
    EXPECT_TRUE(exists("pub/again.txt"));
    EXPECT_EQ(globalVars().value("n"), "1");

    // ...unless the rename that started it said "recursive".
    globalVars().clear();
    globalVars().setVar("chain", "c2.txt");
    ASSERT_TRUE(QFile::remove(p("pub/again.txt")));
    write("pub/c2.txt");
    write("pub/p.txt");
    EXPECT_EQ(run("{.rename|/pub/p.txt|q.txt|recursive=1.}"), " ");
    EXPECT_EQ(globalVars().value("n"), "2");
    EXPECT_EQ(globalVars().value("log"), "[/pub/p.txt>q.txt][/pub/c2.txt>again.txt]");
}

TEST_F(FileOps, RenameEventDepthIsBounded)
{
    // Every run renames the file back and forth and allows nesting.
    setEventsTemplate(std::make_shared<Ttpl>(
        "[on macro rename]\n"
        "{.inc|#n.}{.rename|/pub/%new-name%|{.if|{.%new-name% = a.txt.}|b.txt|a.txt.}|recursive=1.}\n"));
    write("pub/a.txt");
    EXPECT_EQ(run("{.rename|/pub/a.txt|b.txt|recursive=1.}"), " ");
    EXPECT_EQ(globalVars().value("n").toInt(), maxRenameEventDepth);
}

TEST_F(FileOps, CopyFilesAndFolders)
{
    write("pub/a.txt", "A");
    ::chmod(QFile::encodeName(p("pub/a.txt")).constData(), 0640);
    // To a new name, into an existing folder, over an existing file.
    EXPECT_EQ(run("{.copy|/pub/a.txt|/pub/new/deeper/b.txt.}"), " ");
    EXPECT_EQ(read("pub/new/deeper/b.txt"), "A");
    EXPECT_EQ(QFileInfo(p("pub/new/deeper/b.txt")).permissions(), QFileInfo(p("pub/a.txt")).permissions());
    EXPECT_EQ(run("{.copy|/pub/a.txt|/pub/new.}"), " ");
    EXPECT_EQ(read("pub/new/a.txt"), "A");
    write("pub/new/a.txt", "old");
    EXPECT_EQ(run("{.copy|" + tp("pub/a.txt") + "|" + tp("pub/new/a.txt") + ".}"), " ");
    EXPECT_EQ(read("pub/new/a.txt"), "A");
    EXPECT_TRUE(exists("pub/a.txt"));

    // A folder with its content; links inside are copied as links.
    write("outside/secret.txt", "S");
    write("pub/tree/x/y.txt", "Y");
    symlink(p("outside"), "pub/tree/out");
    symlink("x/y.txt", "pub/tree/rel");
    ASSERT_EQ(::mkfifo(QFile::encodeName(p("pub/tree/fifo")).constData(), 0600), 0);
    EXPECT_EQ(run("{.copy|/pub/tree|" + tp("copy") + ".}"), " ");
    EXPECT_EQ(read("copy/x/y.txt"), "Y");
    EXPECT_TRUE(isLink("copy/out"));
    EXPECT_TRUE(isLink("copy/rel"));
    EXPECT_EQ(read("copy/rel"), "Y");
    EXPECT_FALSE(exists("copy/fifo"));
    // Into an existing folder it lands inside, merging with what is there.
    write("merge/tree/keep.txt", "K");
    write("merge/tree/x/y.txt", "old");
    EXPECT_EQ(run("{.copy|/pub/tree|" + tp("merge") + ".}"), " ");
    EXPECT_EQ(read("merge/tree/keep.txt"), "K");
    EXPECT_EQ(read("merge/tree/x/y.txt"), "Y");
    // Never into itself.
    EXPECT_EQ(run("{.copy|/pub/tree|/pub/tree/x.}"), "");
    EXPECT_FALSE(exists("pub/tree/x/tree"));
    // Masks copy the matching entries into the destination folder.
    write("pub/m1.log", "1");
    write("pub/m2.log", "2");
    EXPECT_EQ(run("{.copy|/pub/*.log|" + tp("logs") + ".}"), " ");
    EXPECT_EQ(read("logs/m1.log") + read("logs/m2.log"), "12");
    EXPECT_EQ(run("{.copy|/pub/*.none|" + tp("logs") + ".}{.copy|/pub/a.txt| .}{.copy|/pub/zz|" + tp("q") + ".}"), "");
}

TEST_F(FileOps, MoveFilesAndFolders)
{
    write("pub/a.txt", "A");
    EXPECT_EQ(run("{.move|/pub/a.txt|/pub/to/b.txt.}"), " ");
    EXPECT_FALSE(exists("pub/a.txt"));
    EXPECT_EQ(read("pub/to/b.txt"), "A");
    // A file never replaces its namesake, whether it goes into a folder or
    // to a name.
    write("pub/c.txt", "C");
    write("pub/to/c.txt", "old");
    EXPECT_EQ(run("{.move|/pub/c.txt|/pub/to.}"), "");
    EXPECT_EQ(run("{.move|/pub/c.txt|/pub/to/c.txt.}"), "");
    EXPECT_EQ(read("pub/to/c.txt"), "old");
    EXPECT_EQ(read("pub/c.txt"), "C");
    // Folders merge into a folder of the same name, all but what collides.
    write("pub/f/one.txt", "1");
    write("pub/f/in/two.txt", "2");
    write("dest/f/in/two.txt", "old");
    write("dest/f/keep.txt", "K");
    EXPECT_EQ(run("{.move|/pub/f|" + tp("dest") + ".}"), "");
    EXPECT_EQ(read("dest/f/one.txt") + read("dest/f/in/two.txt") + read("dest/f/keep.txt"), "1oldK");
    EXPECT_EQ(read("pub/f/in/two.txt"), "2");
    EXPECT_FALSE(exists("pub/f/one.txt"));
    ASSERT_TRUE(QFile::remove(p("dest/f/in/two.txt")));
    EXPECT_EQ(run("{.move|/pub/f|" + tp("dest") + ".}"), " ");
    EXPECT_FALSE(exists("pub/f"));
    EXPECT_EQ(read("dest/f/in/two.txt"), "2");
    // A link at the destination is not replaced either.
    write("pub/l.txt", "L");
    symlink(p("pub/to/c.txt"), "pub/to/l.txt");
    EXPECT_EQ(run("{.move|/pub/l.txt|/pub/to.}"), "");
    EXPECT_TRUE(isLink("pub/to/l.txt"));
    // A link moves as itself.
    symlink(p("dest"), "pub/ln");
    EXPECT_EQ(run("{.move|/pub/ln|" + tp("moved-ln") + ".}"), " ");
    EXPECT_TRUE(isLink("moved-ln"));
    EXPECT_TRUE(exists("dest/f/keep.txt"));
    // Refused: an empty destination, into itself, a folder over a file.
    write("pub/g/x.txt");
    EXPECT_EQ(run("{.move|/pub/g| .}{.move|/pub/g|/pub/g/x2.}{.move|/pub/g|/pub/to/b.txt.}"), "");
    EXPECT_TRUE(exists("pub/g/x.txt"));
}

TEST_F(FileOps, DeleteForGood)
{
    write("pub/a.txt");
    write("pub/f/x/y.txt");
    write("outside/keep.txt");
    symlink(p("outside"), "pub/f/link");
    write("pub/m1.tmp");
    write("pub/m2.tmp");
    write("pub/keep.txt");
    EXPECT_EQ(run("{.delete|/pub/a.txt|bin=0.}"), " ");
    EXPECT_FALSE(exists("pub/a.txt"));
    // A folder goes with its content, links removed but not followed; the
    // result is empty even so.
    EXPECT_EQ(run("{.delete|/pub/f|bin=0.}"), "");
    EXPECT_FALSE(exists("pub/f"));
    EXPECT_TRUE(exists("outside/keep.txt"));
    EXPECT_EQ(run("{.delete|/pub/*.tmp|bin=0.}"), "");
    EXPECT_FALSE(exists("pub/m1.tmp") || exists("pub/m2.tmp"));
    EXPECT_TRUE(exists("pub/keep.txt"));
    EXPECT_EQ(run("{.delete|/pub/none|bin=0.}{.delete|/nowhere/x|bin=0.}"), "");
}

TEST_F(FileOps, DeleteToTheTrash)
{
    write("pub/a b%.txt", "A");
    EXPECT_EQ(run("{.delete|/pub/a b%.txt.}"), " ");
    EXPECT_FALSE(exists("pub/a b%.txt"));
    const QString trash = root + "/data/Trash";
    EXPECT_EQ(homeTrashFolder(), trash);
    QFile info(trash + "/info/a b%.txt.trashinfo");
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    const QString record = QString::fromUtf8(info.readAll());
    EXPECT_TRUE(record.startsWith("[Trash Info]\nPath="));
    EXPECT_TRUE(record.contains("Path=" + QString::fromLatin1(QUrl::toPercentEncoding(root + "/pub/a b%.txt", "/"))));
    EXPECT_TRUE(record.contains("\nDeletionDate=20"));
    QFile kept(trash + "/files/a b%.txt");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "A");

    // The same name again gets a new name in the trash.
    write("pub/a b%.txt", "A2");
    EXPECT_EQ(run("{.delete|/pub/a b%.txt.}"), " ");
    EXPECT_TRUE(QFile::exists(trash + "/files/a b%.txt.2"));
    EXPECT_TRUE(QFile::exists(trash + "/info/a b%.txt.2.trashinfo"));

    // Folders and masks.
    write("pub/f/in.txt");
    write("pub/m1.tmp");
    write("pub/m2.tmp");
    EXPECT_EQ(run("{.delete|/pub/f.}{.delete|/pub/*.tmp.}"), "  ");
    EXPECT_TRUE(QFile::exists(trash + "/files/f/in.txt"));
    EXPECT_TRUE(QFile::exists(trash + "/files/m1.tmp") && QFile::exists(trash + "/files/m2.tmp"));
    EXPECT_EQ(run("{.delete|/pub/none.txt.}"), "");
}

TEST_F(FileOps, TrashRefusesItemsBelowLinksUnlessForced)
{
    write("real/x.txt");
    symlink(p("real"), "pub/via");
    // Below a linked folder: not sent to the trash, left in place...
    EXPECT_FALSE(moveToTrash(p("pub/via/x.txt")));
    EXPECT_EQ(run("{.delete|" + tp("pub/via/x.txt") + ".}"), "");
    EXPECT_TRUE(exists("real/x.txt"));
    // ...unless forced, when it is deleted for good.
    EXPECT_EQ(run("{.delete|" + tp("pub/via/x.txt") + "|forced=1.}"), " ");
    EXPECT_FALSE(exists("real/x.txt"));
    EXPECT_FALSE(moveToTrash("/"));
    EXPECT_FALSE(moveToTrash(p("none")));
    EXPECT_FALSE(moveToTrash(root + "/data/Trash"));
    EXPECT_FALSE(moveToTrash("relative/x"));
}

} // namespace
