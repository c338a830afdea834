// The tree macros on the program's tree: adding folders, editing and reading
// items, removing them, walking the selection and saving.

#include "vfs/vfsTestTools.h"

#include "macros/treeSelection.h"
#include "pages/symbols.h"
#include "script/macroData.h"
#include "script/macroEngine.h"
#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

namespace {

class TreeMacros : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerPageSymbols();
        tree().resetVFS();
        tree().setModified(false);
        tree().lastFileName.clear();
        TtreeSelection::instance().clear();
        Taccounts::global().list.clear();
    }
    void TearDown() override
    {
        TtreeSelection::instance().clear();
        tree().resetVFS();
        tree().lastFileName.clear();
        Taccounts::global().list.clear();
    }

    static Tvfs &tree() { return Tvfs::instance(); }

    // Expands as a page of `folder` would (none: a script).
    QString run(const QString &text, Tfile *folder = nullptr)
    {
        TmacroData md;
        md.tpl = std::make_shared<Ttpl>();
        md.folder = folder;
        QString t = text;
        runMacroText(t, md, true);
        return t;
    }

    Tfile *virtualFolder(const QString &name, Tfile *parent = nullptr)
    {
        return tree().add(Tfile::createVirtualFolder(name), parent);
    }
    Tfile *node(const QString &url)
    {
        const TfilePtr f = tree().findFilebyURL(url, nullptr, false);
        return f ? f.data() : nullptr;
    }
    static QString templatePathOf(const QString &p) { return QString(p).replace(u'/', u'\\'); }
    static QStringList childNames(const Tfile *f)
    {
        QStringList out;
        for (const TfilePtr &c : f->children())
            out << c->name;
        return out;
    }
};

TEST_F(TreeMacros, AddVirtualFolderChecksKindNameAndTarget)
{
    Tfile *sub = virtualFolder("sub");
    EXPECT_EQ(run("{.add folder|virtual|new.}"), " ");
    ASSERT_TRUE(node("/new"));
    EXPECT_TRUE(node("/new")->isVirtualFolder());
    EXPECT_TRUE(tree().isModified());

    // Below the page's folder, or below a URL given in front of the name.
    EXPECT_EQ(run("{.add folder|virtual|inner.}", sub), " ");
    EXPECT_TRUE(node("/sub/inner"));
    EXPECT_EQ(run("{.add folder|virtual|/sub/inner/deep.}"), " ");
    EXPECT_TRUE(node("/sub/inner/deep"));
    EXPECT_EQ(run("{.add folder|virtual|/missing/new.}"), "");
    EXPECT_FALSE(node("/missing"));

    const char *refused[] = {"{.add folder|other|x.}", "{.add folder|virtual| .}", "{.add folder|virtual|...}",
                             "{.add folder|virtual|..}", "{.add folder|virtual|.}", "{.add folder|virtual|a:b.}",
                             "{.add folder|virtual|a*b.}", "{.add folder|virtual|/sub/.}"};
    for (const char *t : refused) {
        EXPECT_EQ(run(t), "") << t;
    }
    EXPECT_EQ(childNames(tree().root()), QStringList({"new", "sub"}));
    EXPECT_EQ(childNames(sub), QStringList({"inner"}));
}

TEST_F(TreeMacros, AddFolderReplacesUnlessToldNotTo)
{
    Tfile *old = virtualFolder("x");
    virtualFolder("kept", old);
    EXPECT_EQ(run("{.add folder|virtual|X|overwrite=0.}"), "");
    EXPECT_EQ(node("/x"), old);

    old->lock();
    EXPECT_EQ(run("{.add folder|virtual|x.}"), ""); // a node in use stays
    old->unlock();
    EXPECT_EQ(node("/x"), old);
    EXPECT_TRUE(node("/x/kept"));

    EXPECT_EQ(run("{.add folder|virtual|x|overwrite=1.}"), " ");
    ASSERT_TRUE(node("/x"));
    EXPECT_NE(node("/x"), old);
    EXPECT_FALSE(node("/x/kept"));
    EXPECT_EQ(childNames(tree().root()), QStringList({"x"}));
}

TEST_F(TreeMacros, AddRealFolderFromDiskPathsAndUrls)
{
    DiskTree disk;
    disk.folder("docs/inner");
    disk.file("plain.txt");

    EXPECT_EQ(run("{.add folder|real|" + templatePathOf(disk.path("docs")) + ".}"), " ");
    Tfile *docs = node("/docs");
    ASSERT_TRUE(docs);
    EXPECT_TRUE(docs->isRealFolder());
    EXPECT_EQ(docs->resource, disk.path("docs"));

    // A chosen name; a name holding "=" is a named parameter, not a name.
    EXPECT_EQ(run("{.add folder|real|" + templatePathOf(disk.path("docs")) + "|Other.}"), " ");
    EXPECT_TRUE(node("/Other"));
    EXPECT_EQ(run("{.add folder|real|" + templatePathOf(disk.path("docs")) + "|overwrite=0.}"), "");

    // A tree URL stands for its item's disk path, found below real folders too.
    EXPECT_EQ(run("{.add folder|real|/docs/inner.}"), " ");
    ASSERT_TRUE(node("/inner"));
    EXPECT_EQ(node("/inner")->resource, disk.path("docs/inner"));

    // Relative paths start at the page's folder on disk.
    Tfile *target = virtualFolder("target");
    target->resource = disk.path();
    EXPECT_EQ(run("{.add folder|real|docs\\inner|rel.}", target), " ");
    ASSERT_TRUE(node("/target/rel"));
    EXPECT_EQ(node("/target/rel")->resource, disk.path("docs/inner"));

    // Only existing folders.
    EXPECT_EQ(run("{.add folder|real|" + templatePathOf(disk.path("plain.txt")) + ".}"), "");
    EXPECT_EQ(run("{.add folder|real|" + templatePathOf(disk.path("nothing")) + ".}"), "");
    EXPECT_EQ(run("{.add folder|real|/no/such/url.}"), "");
}

TEST_F(TreeMacros, SetAndGetItemProperties)
{
    Tfile *folder = virtualFolder("folder");
    Tfile *file = tree().add(Tfile::createLink("site"), folder);
    file->resource = "http://example.com/";
    EXPECT_EQ(run("{.get item|/folder/site|hide.}"), "");
    tree().setModified(false);

    EXPECT_EQ(run("{.set item|/folder/site|hide=1|no log=1|not as download=1|comment={:a {.x.} b:}.}"), "");
    EXPECT_TRUE(file->flags.has(FA_HIDDEN));
    EXPECT_TRUE(file->flags.has(FA_DONT_LOG));
    EXPECT_TRUE(file->flags.has(FA_DONT_COUNT_AS_DL));
    EXPECT_EQ(file->comment, "a {.x.} b");
    EXPECT_TRUE(tree().isModified());

    const struct {
        const char *prop;
        const char *value;
    } reads[] = {{"hide", "1"},         {" HIDE ", "1"}, {"no log", "1"},   {"not as download", "1"},
                 {"hide tree", ""},     {"exists", "1"}, {"icon", "/~img_link"}, {"resource", "http://example.com/"},
                 {"unknown", ""}};
    for (const auto &r : reads)
        EXPECT_EQ(run(QStringLiteral("{.get item|/folder/site|%1.}").arg(r.prop)), r.value) << r.prop;

    // Relative to the page's folder; cleared by a false value.
    EXPECT_EQ(run("{.set item|site|hide=0.}", folder), "");
    EXPECT_FALSE(file->flags.has(FA_HIDDEN));

    EXPECT_EQ(run("{.set item|/folder|hide tree=1|archivable=0|browsable=0|download forbidden=1|"
                  "not as download=*.css|files filter= *.txt |folders filter=a*|diff template=[x]\nX.}"),
              "");
    EXPECT_TRUE(folder->flags.has(FA_HIDDENTREE));
    EXPECT_FALSE(folder->flags.has(FA_BROWSABLE));
    EXPECT_FALSE(folder->flags.has(FA_ARCHIVABLE));
    EXPECT_TRUE(folder->flags.has(FA_DL_FORBIDDEN));
    EXPECT_FALSE(folder->flags.has(FA_DONT_COUNT_AS_DL));
    EXPECT_EQ(folder->dontCountAsDownloadMask, "*.css");
    EXPECT_EQ(folder->filesFilter, "*.txt");
    EXPECT_EQ(folder->foldersFilter, "a*");
    EXPECT_EQ(folder->diffTpl, "[x]\nX");
    EXPECT_EQ(run("{.get item|/folder|not as download.}"), "*.css");
    EXPECT_EQ(run("{.get item|/folder|icon.}"), "/~img_folder");
    // Only the item's own flag counts, not one inherited from above.
    EXPECT_EQ(run("{.get item|/folder/site|hide tree.}"), "");

    // Unknown items: nothing changes, nothing is answered.
    tree().setModified(false);
    EXPECT_EQ(run("{.set item|/nothing|hide=1.}"), "");
    EXPECT_EQ(run("{.get item|/nothing|exists.}"), "");
    EXPECT_FALSE(tree().isModified());
}

TEST_F(TreeMacros, SetItemResourceTakesTemplatePaths)
{
    DiskTree disk;
    disk.folder("a");
    Tfile *f = tree().add(Tfile::create(disk.path("a")));
    ASSERT_TRUE(f);
    EXPECT_EQ(run("{.set item|/a|resource=" + templatePathOf(disk.path("b")) + "\\.}"), "");
    EXPECT_EQ(f->resource, disk.path("b"));
    EXPECT_EQ(run("{.get item|/a|resource.}"), templatePathOf(disk.path("b")));
}

TEST_F(TreeMacros, RenameRefusesNamesThatBreakTheTree)
{
    virtualFolder("a");
    Tfile *b = virtualFolder("b");
    Tfile *link = tree().add(Tfile::createLink("l"));
    const char *refused[] = {"", "  ", "x/y", "..", ".", "A", "a", "c:d", "c\x01"};
    for (const char *n : refused) {
        run(QStringLiteral("{.set item|/b|name=%1.}").arg(QString::fromLatin1(n)));
        EXPECT_EQ(b->name, "b") << n;
    }
    run("{.set item|/|name=root.}");
    EXPECT_EQ(tree().root()->name, "/");

    run("{.set item|/b|name= c .}");
    EXPECT_EQ(b->name, "c");
    EXPECT_EQ(node("/c"), b);
    run("{.set item|/c|name=C.}"); // its own name in another case
    EXPECT_EQ(b->name, "C");

    // A link may carry characters a file may not, but no path steps.
    run("{.set item|/l|name=mail:me.}");
    EXPECT_EQ(link->name, "mail:me");
    run("{.set item|/mail:me|name=...}");
    EXPECT_EQ(link->name, "mail:me");
    EXPECT_EQ(childNames(tree().root()), QStringList({"a", "C", "mail:me"}));
}

TEST_F(TreeMacros, PermissionListsAreCleanedInTheOrderGiven)
{
    for (const char *n : {"bob", "Ann", "staff"}) {
        Taccount a;
        a.user = QString::fromLatin1(n);
        a.group = a.user == u"staff";
        Taccounts::global().list << a;
    }
    DiskTree disk;
    Tfile *f = tree().add(Tfile::create(disk.path()));
    ASSERT_TRUE(f);
    const QString url = f->url();

    run("{.set item|" + url + "|access= bob ; ghost;@anyone;BOB;staff;;ann.}");
    EXPECT_EQ(f->accounts[FA_ACCESS], QStringList({"bob", "@anyone", "staff", "ann"}));
    // Added names go to the end, removed ones leave the rest in place.
    run("{.set item|" + url + "|add access=Ann;zed;@anonymous|remove access=BOB;staff.}");
    EXPECT_EQ(f->accounts[FA_ACCESS], QStringList({"@anyone", "ann", "@anonymous"}));
    EXPECT_EQ(run("{.get item|" + url + "|ACCESS.}"), "@anyone;ann;@anonymous");
    run("{.set item|" + url + "|access=staff;@anyone;bob.}");
    EXPECT_EQ(run("{.get item|" + url + "|access.}"), "staff;@anyone;bob");

    // Upload rights put the folder on the free-space watch, and off again.
    EXPECT_FALSE(tree().uploadFolders.contains(f->resource));
    run("{.set item|" + url + "|upload=bob|delete=ghost.}");
    EXPECT_EQ(f->accounts[FA_UPLOAD], QStringList({"bob"}));
    EXPECT_TRUE(f->accounts[FA_DELETE].isEmpty());
    EXPECT_TRUE(tree().uploadFolders.contains(f->resource));
    run("{.set item|" + url + "|remove upload=bob.}");
    EXPECT_FALSE(tree().uploadFolders.contains(f->resource));
}

TEST_F(TreeMacros, ItemsOnDiskKeepOnlyTheirComment)
{
    DiskTree disk;
    disk.file("docs/readme.txt");
    Tfile *docs = tree().add(Tfile::create(disk.path("docs")));
    ASSERT_TRUE(docs);
    tree().setModified(false);

    EXPECT_EQ(run("{.set item|/docs/readme.txt|comment=hello|hide=1|name=other.}"), "");
    EXPECT_EQ(run("{.get item|/docs/readme.txt|comment.}"), "hello");
    EXPECT_EQ(run("{.get item|readme.txt|exists.}", docs), "1");
    EXPECT_TRUE(docs->children().isEmpty());
    EXPECT_TRUE(QFile::exists(disk.path("docs/readme.txt")));
    EXPECT_FALSE(tree().isModified());

    // A path a page builds from inert names (as the upload results do with
    // the folder and the decoded item URL) still names the item.
    disk.file("docs/a&b %cwd% {.x.}.txt");
    EXPECT_EQ(run("{.set item|%folder%{.decodeuri|a%26b%20%25cwd%25%20%7B.x.%7D.txt.}|comment=noted.}", docs), "");
    const TfilePtr odd = tree().findFilebyURL("/docs/a&b %cwd% {.x.}.txt", nullptr, true);
    ASSERT_TRUE(odd);
    EXPECT_EQ(getDynamicComment(*odd, false), "noted");

    // Removing such an item leaves the tree and the disk alone.
    EXPECT_EQ(run("{.delete item|/docs/readme.txt.}"), "");
    EXPECT_EQ(node("/docs"), docs);
    EXPECT_TRUE(QFile::exists(disk.path("docs/readme.txt")));
}

TEST_F(TreeMacros, DeleteItemRemovesTreeNodesOnly)
{
    Tfile *a = virtualFolder("a");
    virtualFolder("b", a);
    virtualFolder("c");
    tree().setModified(false);

    EXPECT_EQ(run("{.delete item|/a/.}"), " ");
    EXPECT_FALSE(node("/a"));
    EXPECT_FALSE(node("/a/b"));
    EXPECT_TRUE(tree().isModified());

    Tfile *c = node("/c");
    Tfile *d = virtualFolder("d", c);
    d->lock();
    EXPECT_EQ(run("{.delete item|/c.}"), ""); // something below is in use
    d->unlock();
    EXPECT_EQ(run("{.delete item|/.}"), "");
    EXPECT_EQ(run("{.delete item|/missing.}"), "");
    // Resolved from the root whatever the page's folder.
    EXPECT_EQ(run("{.delete item|d.}", c), "");
    EXPECT_EQ(run("{.delete item|/c/d.}", c), " ");
    EXPECT_EQ(childNames(tree().root()), QStringList({"c"}));
}

TEST_F(TreeMacros, SelectionWalksTheWholeTree)
{
    Tfile *a = virtualFolder("a");
    virtualFolder("a1b", virtualFolder("a1", a));
    virtualFolder("a2", a);
    virtualFolder("b");
    tree().add(Tfile::createLink("z"))->resource = "http://example.com/"; // a link's URL is its target

    EXPECT_EQ(run("{.vfs select.}"), "");
    EXPECT_EQ(run("{.vfs select|next.}"), "");
    EXPECT_EQ(run("{.vfs select|path=/missing.}"), "");

    // " " reads as false once trimmed: the loop tests its length.
    const QString walk = run("{.vfs select|path=/.}{.vfs select.};"
                             "{.while|{:{.length|{.vfs select|next.}.}:}|{:{.vfs select.};:}.}");
    EXPECT_EQ(walk, " /;/a/;/a/a1/;/a/a1/a1b/;/a/a2/;/b/;http://example.com/;");
    // The end of the walk keeps the last node.
    EXPECT_EQ(run("{.vfs select.}"), "http://example.com/");

    // A removed node is no longer selected.
    EXPECT_EQ(run("{.vfs select|path=/b.}"), " ");
    tree().remove(node("/b"));
    EXPECT_EQ(run("{.vfs select.}"), "");
    EXPECT_EQ(run("{.vfs select|next.}"), "");
}

TEST_F(TreeMacros, SelectionFollowersAreTold)
{
    Tfile *a = virtualFolder("a");
    Tfile *b = virtualFolder("b");
    QList<Tfile *> seen;
    TtreeSelection::instance().changed = [&seen](Tfile *f) { seen << f; };
    // The last "next" finds nothing and tells nobody.
    run("{.vfs select|path=/a.}{.vfs select|next.}{.vfs select|next.}");
    TtreeSelection::instance().changed = nullptr;
    EXPECT_EQ(seen, QList<Tfile *>({a, b}));
}

TEST_F(TreeMacros, SaveVfsWritesTheNamedOrTheLastFile)
{
    DiskTree disk;
    virtualFolder("kept");
    const QString fn = disk.path("saved.vfs");
    EXPECT_EQ(run("{.save vfs|" + templatePathOf(fn) + ".}"), "");
    ASSERT_TRUE(QFile::exists(fn));
    EXPECT_EQ(tree().lastFileName, fn);
    EXPECT_FALSE(tree().isModified());

    virtualFolder("later");
    const qint64 before = QFileInfo(fn).size();
    run("{.save vfs.}");
    EXPECT_FALSE(tree().isModified());
    EXPECT_GT(QFileInfo(fn).size(), before);

    tree().resetVFS();
    ASSERT_TRUE(TvfsStore::instance().loadVFS(fn));
    EXPECT_TRUE(node("/kept"));
    EXPECT_TRUE(node("/later"));

    // Nothing to save to: no file is written and nothing is asked.
    tree().lastFileName.clear();
    virtualFolder("x");
    run("{.save vfs.}");
    EXPECT_TRUE(tree().isModified());
}

} // namespace
