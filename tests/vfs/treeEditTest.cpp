// The operator's editing commands: steps, questions and messages, clashes,
// locks, conversions, properties and purge.

#include "scriptedPrompt.h"
#include "vfsTestTools.h"

#include "vfs/treeEdit.h"
#include "vfs/vfs.h"

namespace {

class TreeEdit : public ::testing::Test {
protected:
    Tfile *folder(const QString &name, Tfile *parent = nullptr)
    {
        return vfs.add(Tfile::createVirtualFolder(name), parent);
    }
    Tfile *link(const QString &name, Tfile *parent = nullptr) { return vfs.add(Tfile::createLink(name), parent); }
    Tfile *disk(const QString &rel, Tfile *parent = nullptr) { return vfs.add(Tfile::create(files.path(rel)), parent); }
    // Runs `op` from an unmodified tree and tells whether it marked it.
    template <typename Op>
    bool marks(Op op)
    {
        vfs.setModified(false);
        op();
        return vfs.isModified();
    }

    Tvfs vfs;
    ScriptedPrompt ask;
    TtreeEditor edit{vfs, ask};
    DiskTree files;
};

TEST_F(TreeEdit, RenameChecksNamesAndTheRoot)
{
    Tfile *f = folder("docs");
    Tfile *l = link("site");
    EXPECT_FALSE(edit.rename(vfs.root(), "top"));
    EXPECT_EQ(vfs.root()->name, "/");
    EXPECT_FALSE(marks([&] { edit.rename(f, "  docs "); })); // trimmed: the same name
    EXPECT_TRUE(ask.asked.isEmpty());

    for (const char *bad : {"", "   ", "a/b", "a:b", "a*b", "..", "...", "a\x01", "q?", "<x>", "a|b", "\"q\""}) {
        ask.asked.clear();
        EXPECT_FALSE(edit.rename(f, QString::fromLatin1(bad))) << bad;
        EXPECT_EQ(ask.asked, QStringList({"!Invalid filename"})) << bad;
    }
    EXPECT_EQ(f->name, "docs");

    // A link may carry what a file name may not, except path steps.
    EXPECT_TRUE(edit.rename(l, "mail:me?"));
    EXPECT_EQ(l->name, "mail:me?");
    EXPECT_FALSE(edit.rename(l, "a/b"));
    EXPECT_TRUE(marks([&] { edit.rename(f, " papers "); }));
    EXPECT_EQ(f->name, "papers");
    EXPECT_EQ(vfs.findFilebyURL("/papers/").data(), f);
}

TEST_F(TreeEdit, RenameClashAsksAndNeverDuplicates)
{
    Tfile *a = folder("a");
    Tfile *b = folder("b");
    folder("b (2)");
    ask.answers = {PB_NO};
    EXPECT_FALSE(edit.rename(a, "B"));
    EXPECT_EQ(ask.asked, QStringList({"?" + MSG_NAME_CLASH}));
    EXPECT_EQ(a->name, "a");

    // Yes: the renamed node takes the next free number, never a twin.
    ask.answers = {PB_YES};
    EXPECT_TRUE(edit.rename(a, "B"));
    EXPECT_EQ(a->name, "B (3)");
    EXPECT_EQ(b->name, "b");

    // A change of letter case alone asks too, and then keeps the new case.
    ask.asked.clear();
    ask.answers = {PB_NO};
    EXPECT_FALSE(edit.rename(b, "B"));
    EXPECT_EQ(ask.asked, QStringList({"?" + MSG_NAME_CLASH}));
    ask.answers = {PB_YES};
    EXPECT_TRUE(edit.rename(b, "B"));
    EXPECT_EQ(b->name, "B");
    EXPECT_EQ(childNames(vfs.root()), QStringList({"B", "b (2)", "B (3)"}));
}

TEST_F(TreeEdit, MoveRules)
{
    Tfile *src = folder("src");
    Tfile *dst = folder("dst");
    Tfile *x = folder("x", src);
    Tfile *inner = folder("inner", x);
    Tfile *file = link("l", dst);

    EXPECT_FALSE(edit.canMove({vfs.root()}, dst));
    EXPECT_FALSE(edit.canMove({x}, src));   // its own folder
    EXPECT_FALSE(edit.canMove({x}, x));     // itself
    EXPECT_FALSE(edit.canMove({x}, inner)); // below itself
    EXPECT_FALSE(edit.canMove({}, dst));
    inner->lock();
    EXPECT_FALSE(edit.canMove({x}, dst)); // locked below
    inner->unlock();
    EXPECT_TRUE(edit.canMove({x}, dst));

    // Dropped on a file (here a link): into its folder, subtree along.
    EXPECT_TRUE(marks([&] { EXPECT_TRUE(edit.move({x, inner}, file)); }));
    EXPECT_TRUE(ask.asked.isEmpty());
    EXPECT_EQ(x->parent(), dst);
    EXPECT_EQ(inner->parent(), x); // moved with x, not out of it
    EXPECT_EQ(childNames(dst), QStringList({"x", "l"}));
    EXPECT_TRUE(src->children().isEmpty());
    EXPECT_EQ(vfs.findFilebyURL("/dst/x/inner/").data(), inner);
}

TEST_F(TreeEdit, MoveClashAsksAndNumbers)
{
    Tfile *src = folder("src");
    Tfile *dst = folder("dst");
    Tfile *a = folder("a", src);
    Tfile *b = folder("b", src);
    Tfile *twin = folder("A", dst);
    ask.answers = {PB_NO};
    EXPECT_FALSE(edit.move({a, b}, dst));
    EXPECT_EQ(ask.asked, QStringList({"?" + MSG_NAME_CLASH}));
    EXPECT_EQ(a->parent(), src);
    EXPECT_EQ(b->parent(), src);

    ask.answers = {PB_YES};
    EXPECT_TRUE(edit.move({a, b}, dst));
    EXPECT_EQ(twin->name, "A");
    EXPECT_EQ(a->name, "a (2)");
    EXPECT_EQ(childNames(dst), QStringList({"A", "a (2)", "b"}));
}

TEST_F(TreeEdit, RemoveOneNode)
{
    Tfile *a = folder("a");
    Tfile *below = folder("below", a);
    EXPECT_FALSE(edit.remove(vfs.root()));
    below->lock();
    EXPECT_FALSE(edit.remove(a));
    EXPECT_EQ(ask.asked, QStringList({"!" + MSG_ITEM_LOCKED}));
    below->unlock();
    EXPECT_TRUE(marks([&] { EXPECT_TRUE(edit.remove(a)); }));
    EXPECT_TRUE(vfs.root()->children().isEmpty());
    EXPECT_EQ(ask.asked.size(), 1); // the single remove never asks
}

TEST_F(TreeEdit, RemoveSelectionAsksSkipsLockedAndNested)
{
    Tfile *a = folder("a");
    Tfile *aa = folder("aa", a);
    Tfile *b = folder("b");
    Tfile *c = folder("c");
    Tfile *cc = folder("cc", c);
    Tfile *c2 = folder("c2", c);

    // The root alone: no question, nothing removed.
    EXPECT_EQ(edit.removeSelection({vfs.root()}), 0);
    EXPECT_TRUE(ask.asked.isEmpty());

    ask.answers = {PB_NO};
    EXPECT_EQ(edit.removeSelection({a, b}), 0);
    EXPECT_EQ(ask.asked, QStringList({"?Delete?"}));
    EXPECT_EQ(childNames(vfs.root()), QStringList({"a", "b", "c"}));

    // A node below a selected one goes with it; a locked one stays and is
    // reported once; a selected node below a locked one is still removed.
    ask.asked.clear();
    cc->lock();
    ask.answers = {PB_YES};
    const TfilePtr holdAa(aa);
    EXPECT_EQ(edit.removeSelection({aa, a, c, c2, b}), 3);
    EXPECT_EQ(ask.asked, QStringList({"?Delete?", "!" + MSG_SOME_LOCKED}));
    EXPECT_EQ(childNames(vfs.root()), QStringList({"c"}));
    EXPECT_EQ(childNames(c), QStringList({"cc"}));
    EXPECT_FALSE(aa->isInTree());
    cc->unlock();

    // With delete-dont-ask nothing is asked; the root among others stays.
    TvfsSettings s = vfs.settings();
    s.deleteDontAsk = true;
    vfs.setSettings(s);
    ask.asked.clear();
    EXPECT_EQ(edit.removeSelection({vfs.root(), cc}), 1);
    EXPECT_TRUE(ask.asked.isEmpty());
    EXPECT_EQ(childNames(vfs.root()), QStringList({"c"}));
}

TEST_F(TreeEdit, ConversionsBothWays)
{
    files.file("music/a.mp3");
    files.file("music/.hidden");
    files.file("music/a.mp3.comment");
    files.file("music/a.mp3.md5");
    files.file("music/live/b.mp3");
    Tfile *real = disk("music");
    ASSERT_TRUE(real && real->isRealFolder());
    real->comment = "gone";
    real->icon = 7;
    real->accounts[FA_ACCESS] = {"bob"};
    const TfilePtr added(folder("extra", real)); // held: the conversion frees the tree's copy

    ASSERT_EQ(edit.toVirtualFolders({real, vfs.root()}), 1);
    EXPECT_FALSE(added->isInTree());
    Tfile *v = vfs.findFilebyURL("/music/", nullptr, false).data();
    ASSERT_TRUE(v && v->isVirtualFolder());
    EXPECT_EQ(v->icon, 7);
    EXPECT_TRUE(v->comment.isEmpty());
    EXPECT_TRUE(v->accounts[FA_ACCESS].isEmpty());
    EXPECT_EQ(childNames(v), QStringList({"live", "a.mp3"}));
    const TfilePtr live = vfs.findFilebyURL("/music/live/", nullptr, false);
    ASSERT_TRUE(live);
    EXPECT_TRUE(live->isVirtualFolder());
    EXPECT_EQ(childNames(live.data()), QStringList({"b.mp3"}));

    // Back: the disk folder's name, and no children in the tree.
    v->setName("tunes");
    vfs.setModified(false);
    EXPECT_EQ(edit.toRealFolders({v, folder("plain")}), 1); // no resource: not converted
    EXPECT_TRUE(vfs.isModified());
    EXPECT_TRUE(v->isRealFolder());
    EXPECT_EQ(v->name, "music");
    EXPECT_TRUE(v->children().isEmpty());
}

TEST_F(TreeEdit, ConversionsSkipLockedNodes)
{
    files.folder("d1");
    files.folder("d2");
    Tfile *r = disk("d1");
    Tfile *v = disk("d2");
    ASSERT_EQ(edit.toVirtualFolders({v}), 1);
    v = vfs.findFilebyURL("/d2/", nullptr, false).data();
    r->lock();
    v->lock();
    EXPECT_EQ(edit.toVirtualFolders({r}), 0);
    EXPECT_EQ(edit.toRealFolders({v}), 0);
    EXPECT_EQ(ask.asked, QStringList({"!" + MSG_SOME_LOCKED, "!" + MSG_SOME_LOCKED}));
    EXPECT_TRUE(r->isRealFolder());
    EXPECT_TRUE(v->isVirtualFolder());
}

TEST_F(TreeEdit, ConvertedFolderDoesNotTakeASiblingsName)
{
    files.folder("share");
    Tfile *r = disk("share");
    r->setName("mine");
    folder("share");
    ASSERT_EQ(edit.toVirtualFolders({r}), 1);
    EXPECT_EQ(childNames(vfs.root()), QStringList({"share", "share (2)"}));
}

TEST_F(TreeEdit, BindAndUnbindRoot)
{
    files.folder("pub");
    EXPECT_FALSE(edit.unbindRoot());
    EXPECT_FALSE(edit.bindRoot(files.path("missing")));
    EXPECT_TRUE(marks([&] { EXPECT_TRUE(edit.bindRoot(files.path("pub"))); }));
    Tfile *root = vfs.root();
    EXPECT_TRUE(root->isRealFolder());
    EXPECT_EQ(root->name, "/");
    EXPECT_EQ(root->resource, files.path("pub"));
    EXPECT_FALSE(edit.bindRoot(files.path("pub")));

    root->accounts[FA_UPLOAD] = {"@anyone"};
    root->uploadFilterMask = "*.txt";
    vfs.uploadFolders << root->resource;
    EXPECT_TRUE(marks([&] { EXPECT_TRUE(edit.unbindRoot()); }));
    EXPECT_TRUE(root->isVirtualFolder());
    EXPECT_TRUE(root->resource.isEmpty());
    EXPECT_TRUE(root->uploadFilterMask.isEmpty());
    EXPECT_TRUE(root->accounts[FA_UPLOAD].isEmpty());
    EXPECT_TRUE(vfs.uploadFolders.isEmpty());
}

TEST_F(TreeEdit, EditResourceKeepsAnOwnName)
{
    files.file("a.txt");
    files.file("b.txt");
    files.file("c.txt");
    Tfile *same = disk("a.txt");
    EXPECT_TRUE(marks([&] { EXPECT_TRUE(edit.editResource(same, files.path("b.txt"))); }));
    EXPECT_EQ(same->name, "b.txt");
    EXPECT_EQ(same->resource, files.path("b.txt"));
    same->setName("Report");
    EXPECT_TRUE(edit.editResource(same, files.path("c.txt")));
    EXPECT_EQ(same->name, "Report");
    EXPECT_EQ(same->resource, files.path("c.txt"));
    EXPECT_FALSE(edit.editResource(folder("v"), files.path("a.txt")));
    EXPECT_FALSE(edit.editResource(link("l"), files.path("a.txt")));
}

TEST_F(TreeEdit, UserAndPassword)
{
    Tfile *f = folder("f");
    Tfile *l = link("l");
    f->user = "old";
    f->pwd = "p0";
    vfs.usersInVFS.track("old", "p0");

    // Links among the selection: asked first; No stops before the dialog.
    ask.answers = {PB_NO};
    EXPECT_FALSE(edit.setUserPass({f, l}, f));
    EXPECT_EQ(ask.asked, QStringList({"?" + MSG_LINKS_UNPROTECTED}));
    // Cancelled dialog: nothing changes.
    ask.asked.clear();
    EXPECT_FALSE(edit.setUserPass({f}, f));
    EXPECT_EQ(ask.asked, QStringList({"credentials"}));
    EXPECT_EQ(ask.lastInitial.user, "old");
    EXPECT_EQ(ask.lastInitial.password, "p0");
    EXPECT_TRUE(vfs.usersInVFS.match("old", "p0"));

    ask.answers = {PB_YES};
    ask.credentials = Tprompt::Tcredentials{"ann", "secret"};
    EXPECT_TRUE(marks([&] { EXPECT_TRUE(edit.setUserPass({f, l}, f)); }));
    EXPECT_EQ(f->user, "ann");
    EXPECT_EQ(l->pwd, "secret");
    EXPECT_FALSE(vfs.usersInVFS.match("old", "p0"));
    EXPECT_TRUE(vfs.usersInVFS.match("ann", "secret"));

    EXPECT_TRUE(marks([&] { edit.resetUserPass({f}); }));
    EXPECT_TRUE(f->user.isEmpty() && f->pwd.isEmpty());
    EXPECT_TRUE(vfs.usersInVFS.match("ann", "secret")); // the link still has it
    edit.resetUserPass({l});
    EXPECT_FALSE(vfs.usersInVFS.match("ann", "secret"));
}

TEST_F(TreeEdit, NewFlag)
{
    TvfsSettings s = vfs.settings();
    s.filesStayFlaggedForMinutes = 10;
    vfs.setSettings(s);
    Tfile *f = folder("f");
    Tfile *below = link("l", f);
    ASSERT_TRUE(below->isNew());
    EXPECT_TRUE(marks([&] { edit.resetNewFlag({f}); }));
    EXPECT_FALSE(f->isNew());
    EXPECT_FALSE(below->isNew()); // everything below too
    EXPECT_TRUE(marks([&] { edit.flagAsNew({f}); }));
    EXPECT_TRUE(f->isNew());
    EXPECT_FALSE(below->isNew()); // only the chosen node
}

TEST_F(TreeEdit, PropertiesWriteOnlyChangedFieldsWhereTheyApply)
{
    files.folder("real");
    files.file("f.txt");
    Tfile *real = disk("real");
    Tfile *file = disk("f.txt");
    Tfile *l = link("l");
    Tfile *root = vfs.root();
    for (Tfile *n : {real, file, l, root}) {
        n->comment = "keep";
        n->realm = "keep";
    }
    file->accounts[FA_DELETE] = {"x"};

    TnodeProperties p;
    p.realm = "R";
    p.accounts[FA_ACCESS] = QStringList{"zed", "Ann", "bob"};
    p.accounts[FA_DELETE] = QStringList{"d"};
    p.accounts[FA_UPLOAD] = QStringList{"@anyone"};
    p.uploadFilterMask = "*.jpg";
    p.hidden = true;
    p.dontLog = true;
    p.downloadForbidden = true;
    p.dontCountAsDownload = true;
    p.browsable = false;
    p.icon = 3;
    const QList<Tfile *> all{real, file, l, root};
    EXPECT_TRUE(marks([&] { edit.setProperties(all, p); }));

    for (Tfile *n : all) {
        SCOPED_TRACE(qPrintable(n->name));
        EXPECT_EQ(n->comment, "keep"); // not changed in the dialog
        EXPECT_EQ(n->realm, "R");
        EXPECT_EQ(n->accounts[FA_ACCESS], QStringList({"Ann", "bob", "zed"})); // sorted
    }
    EXPECT_EQ(real->accounts[FA_DELETE], QStringList({"d"}));
    EXPECT_EQ(file->accounts[FA_DELETE], QStringList({"x"})); // files have no delete list
    EXPECT_EQ(real->accounts[FA_UPLOAD], QStringList({"@anyone"}));
    EXPECT_TRUE(root->accounts[FA_UPLOAD].isEmpty()); // a virtual root
    EXPECT_EQ(vfs.uploadFolders, QStringList({real->resource}));
    EXPECT_EQ(real->uploadFilterMask, "*.jpg");
    EXPECT_TRUE(file->uploadFilterMask.isEmpty());
    EXPECT_FALSE(root->flags.has(FA_HIDDEN));
    EXPECT_EQ(root->icon, -1);
    EXPECT_TRUE(l->flags.has(FA_HIDDEN));
    EXPECT_EQ(l->icon, 3);
    EXPECT_FALSE(l->flags.has(FA_DONT_LOG));
    EXPECT_TRUE(file->flags.has(FA_DONT_LOG));
    EXPECT_TRUE(real->flags.has(FA_DL_FORBIDDEN));
    EXPECT_FALSE(root->flags.has(FA_DL_FORBIDDEN)); // a virtual folder
    EXPECT_TRUE(file->flags.has(FA_DONT_COUNT_AS_DL));
    EXPECT_FALSE(real->flags.has(FA_DONT_COUNT_AS_DL));
    EXPECT_FALSE(real->flags.has(FA_BROWSABLE));
    EXPECT_FALSE(root->flags.has(FA_BROWSABLE));
    EXPECT_FALSE(file->flags.has(FA_BROWSABLE));

    // Emptying the upload list drops the folder from the free-space check;
    // an untouched check box (no value) leaves the flag alone.
    TnodeProperties q;
    q.accounts[FA_UPLOAD] = QStringList{};
    edit.setProperties({real}, q);
    EXPECT_TRUE(vfs.uploadFolders.isEmpty());
    EXPECT_TRUE(real->flags.has(FA_DL_FORBIDDEN));
    EXPECT_EQ(real->realm, "R");
}

TEST_F(TreeEdit, PurgeChoices)
{
    files.file("here.txt");
    files.folder("dir");
    const auto build = [&] {
        vfs.resetVFS();
        Tfile *v = folder("v");
        disk("here.txt", v);
        vfs.add(Tfile::create(files.path("gone.txt")), v);
        vfs.add(Tfile::create(files.path("dir")), v);
        Tfile *goneDir = vfs.add(Tfile::create(files.path("dir")), folder("w"));
        goneDir->resource = files.path("nodir");
        folder("empty", folder("outer"));
        link("l", folder("onlyLink"));
    };
    const auto names = [&] {
        QStringList out;
        vfs.root()->recursiveApply([&](Tfile &f, bool) {
            out << (f.isLink() ? f.parent()->url() + f.name : f.url());
            return 0;
        });
        return out;
    };

    build();
    EXPECT_EQ(edit.purge(nullptr, {true, false, false}), 1);
    EXPECT_FALSE(names().contains("/v/gone.txt"));
    EXPECT_TRUE(names().contains("/v/here.txt"));
    EXPECT_TRUE(names().contains("/w/dir/"));

    build();
    EXPECT_EQ(edit.purge(nullptr, {false, true, false}), 1);
    EXPECT_FALSE(names().contains("/w/dir/"));
    EXPECT_TRUE(names().contains("/w/")); // empty folders not chosen
    EXPECT_TRUE(names().contains("/v/dir/"));

    // Empty virtual folders, also those emptied by the walk itself; a link
    // keeps its folder; a locked node stays.
    build();
    vfs.findFilebyURL("/v/gone.txt")->lock();
    EXPECT_EQ(edit.purge(nullptr, {true, true, true}), 4);
    EXPECT_EQ(names(), QStringList({"/", "/onlyLink/", "/onlyLink/l", "/v/", "/v/dir/", "/v/gone.txt", "/v/here.txt"}));

    // From a chosen node only.
    build();
    EXPECT_EQ(edit.purge(vfs.findFilebyURL("/outer/").data(), {false, false, true}), 2);
    EXPECT_TRUE(names().contains("/w/"));
    EXPECT_TRUE(vfs.isModified());

    // A purge holds saving and loading like an addition, and never runs
    // beside one.
    EXPECT_FALSE(vfs.adding().running());
    build();
    vfs.adding().counter = 5;
    EXPECT_EQ(edit.purge(nullptr, {true, true, true}), 0);
    EXPECT_TRUE(names().contains("/v/gone.txt"));
    vfs.adding().counter = -1;
}

} // namespace
