// The node model: kinds, tree order, inheritance, counters, ownership.

#include "vfsTestTools.h"

#include "util/dateTime.h"
#include "vfs/diskEntry.h"
#include "vfs/vfs.h"

#include <QStorageInfo>

#include <climits>

namespace {

TEST(Tree, AttributeBitsKeepTheirStoredNumbers)
{
    // Saved tree files store these bits: a change here breaks them.
    EXPECT_EQ(TfileAttributes({FA_FOLDER}).toWord(), 1u);
    EXPECT_EQ(TfileAttributes({FA_TEMP}).toWord(), 1u << 7);
    EXPECT_EQ(TfileAttributes({FA_LINK}).toWord(), 1u << 9);
    EXPECT_EQ(TfileAttributes({FA_DL_FORBIDDEN}).toWord(), 1u << 12);
    EXPECT_EQ(TfileAttributes({FA_ARCHIVABLE}).toWord(), 1u << 18);
    const TfileAttributes a = TfileAttributes::fromWord(0x40009);
    EXPECT_TRUE(a.has(FA_FOLDER));
    EXPECT_TRUE(a.has(FA_BROWSABLE));
    EXPECT_TRUE(a.has(FA_ARCHIVABLE));
    EXPECT_FALSE(a.has(FA_VIRTUAL));
}

TEST(Tree, KindsAtCreation)
{
    DiskTree disk;
    disk.file("f.txt");
    const struct {
        TfilePtr node;
        TfileAttributes flags;
        bool folder, realFolder, virtualFolder, file, link;
    } cases[] = {
        {Tfile::createVirtualFolder("v"), {FA_FOLDER, FA_VIRTUAL, FA_BROWSABLE}, true, false, true, false, false},
        {Tfile::create(disk.path() + "/"), {FA_FOLDER, FA_BROWSABLE}, true, true, false, false, false},
        {Tfile::create(disk.path("f.txt")), {}, false, false, false, true, false},
        {Tfile::create(disk.path("missing")), {}, false, false, false, true, false},
        {Tfile::createLink("l"), {FA_VIRTUAL, FA_LINK}, false, false, false, false, true},
        {Tfile::createTemp(disk.path("f.txt")), {FA_TEMP}, false, false, false, true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(qPrintable(c.node->name));
        EXPECT_EQ(c.node->flags, c.flags);
        EXPECT_EQ(c.node->isFolder(), c.folder);
        EXPECT_EQ(c.node->isRealFolder(), c.realFolder);
        EXPECT_EQ(c.node->isVirtualFolder(), c.virtualFolder);
        EXPECT_EQ(c.node->isFile(), c.file);
        EXPECT_EQ(c.node->isLink(), c.link);
        EXPECT_EQ(c.node->icon, -1);
    }
    const TfilePtr real = Tfile::create(disk.path() + "/");
    EXPECT_EQ(real->resource, disk.path()); // no trailing delimiter
    EXPECT_EQ(real->name, disk.path().section('/', -1));
    EXPECT_EQ(Tfile::create(disk.path("f.txt"))->size, -1);
    EXPECT_EQ(Tfile::createTemp(disk.path("f.txt"))->size, 1); // seen on disk
    // ".lnk" files are ordinary files here.
    disk.file("Program.lnk");
    const TfilePtr lnk = Tfile::create(disk.path("Program.lnk"));
    EXPECT_EQ(lnk->name, "Program.lnk");
    EXPECT_FALSE(lnk->flags.has(FA_SOLVED_LNK));
    EXPECT_TRUE(lnk->isFile());
}

TEST(Tree, EntryOfAFolderIsTheNodeOfItsPath)
{
    // A listing makes a node per entry from the folder's path and the
    // entry's name: the same node as one made from the whole path.
    DiskTree disk;
    const QStringList names = {"f.txt", "a b", ".x", "Program.lnk", "n\u00e9", "%item-name%", "{.x.}", "d"};
    for (const QString &name : names)
        name == "d" ? disk.folder(name) : disk.file(name);
    TfilePtr folder = Tfile::createVirtualFolder("v");
    for (const QString &base : {disk.path() + u'/', disk.path()}) {
        for (const QString &name : names) {
            SCOPED_TRACE(qPrintable(base + " | " + name));
            const QString path = disk.path(name);
            const DiskEntryInfo seen = diskEntryInfo(path);
            const TfilePtr entry = Tfile::createTempEntry(base, name, folder.data(), seen);
            // Without the "/", the path is the base and the name run together.
            const TfilePtr whole = Tfile::createTemp(base.endsWith(u'/') ? path : base + name, folder.data(), seen);
            EXPECT_EQ(entry->name, whole->name);
            EXPECT_EQ(entry->resource, whole->resource);
            EXPECT_EQ(entry->flags, whole->flags);
            EXPECT_EQ(entry->size, whole->size);
            EXPECT_EQ(entry->mtime, whole->mtime);
        }
    }
}

TEST(Tree, SameAndToggle)
{
    const TfilePtr a = Tfile::create("/srv/a");
    const TfilePtr b = Tfile::create("/srv/a/");
    const TfilePtr v1 = Tfile::createVirtualFolder("v");
    const TfilePtr v2 = Tfile::createVirtualFolder("v");
    EXPECT_TRUE(a->same(b.data()));
    EXPECT_TRUE(v1->same(v1.data()));
    EXPECT_FALSE(v1->same(v2.data())); // no resource: only itself
    EXPECT_FALSE(a->same(nullptr));
    EXPECT_TRUE(v1->toggle(FA_HIDDEN));
    EXPECT_TRUE(v1->flags.has(FA_HIDDEN));
    EXPECT_FALSE(v1->toggle(FA_HIDDEN));
}

TEST(Tree, ResetGivesTheDefaultRoot)
{
    Tvfs vfs;
    vfs.add(Tfile::createVirtualFolder("a"));
    vfs.lastFileName = "x.vfs";
    vfs.uploadFolders << "/tmp";
    vfs.setTempDownloadCount("/tmp/x", 3);
    EXPECT_TRUE(vfs.isModified());
    const TfilePtr old(vfs.root());
    vfs.resetVFS();
    const Tfile *r = vfs.root();
    EXPECT_NE(r, old.data());
    EXPECT_FALSE(old->isInTree());
    EXPECT_EQ(r->name, "/");
    EXPECT_EQ(r->flags, TfileAttributes({FA_FOLDER, FA_VIRTUAL, FA_BROWSABLE, FA_ROOT, FA_ARCHIVABLE}));
    EXPECT_EQ(r->dontCountAsDownloadMask, "*.htm;*.html;*.css");
    EXPECT_EQ(r->defaultFileMask, "index.html;index.htm;default.html;default.htm");
    EXPECT_TRUE(r->children().isEmpty());
    EXPECT_FALSE(vfs.isModified());
    EXPECT_TRUE(vfs.lastFileName.isEmpty());
    EXPECT_TRUE(vfs.uploadFolders.isEmpty());
    EXPECT_EQ(vfs.tempDownloadCount("/tmp/x"), 0);
    EXPECT_FALSE(vfs.remove(vfs.root()));
}

TEST(Tree, ChildrenStaySorted)
{
    Tvfs vfs;
    for (const char *n : {"beta", "Alpha", "gamma"})
        ASSERT_TRUE(vfs.add(Tfile::createLink(n)));
    ASSERT_TRUE(vfs.add(Tfile::createVirtualFolder("zeta")));
    ASSERT_TRUE(vfs.add(Tfile::createVirtualFolder("Delta")));
    EXPECT_EQ(childNames(vfs.root()), QStringList({"Delta", "zeta", "Alpha", "beta", "gamma"}));

    TvfsSettings s = vfs.settings();
    s.foldersBefore = false;
    vfs.setSettings(s);
    EXPECT_EQ(childNames(vfs.root()), QStringList({"Alpha", "beta", "Delta", "gamma", "zeta"}));

    vfs.findFilebyURL("/beta")->setName("omega");
    EXPECT_EQ(childNames(vfs.root()), QStringList({"Alpha", "Delta", "gamma", "omega", "zeta"}));
    EXPECT_FALSE(vfs.add(Tfile::createLink("ALPHA"))); // names are unique ignoring case
}

TEST(Tree, AddingBelowAFileGoesToItsFolder)
{
    Tvfs vfs;
    Tfile *folder = vfs.add(Tfile::createVirtualFolder("f"));
    Tfile *file = vfs.add(Tfile::createLink("l"), folder);
    ASSERT_TRUE(folder && file);
    Tfile *more = vfs.add(Tfile::createLink("m"), file);
    ASSERT_TRUE(more);
    EXPECT_EQ(more->parent(), folder);
    // A node already in a tree, or a temporary one, cannot be added again.
    EXPECT_FALSE(vfs.add(TfilePtr(file)));
    EXPECT_FALSE(vfs.add(Tfile::createTemp("/tmp")));
}

TEST(Tree, RemovedNodeStaysAliveWhileHeld)
{
    DiskTree disk;
    disk.file("d/inner.txt");
    Tvfs vfs;
    Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
    Tfile *real = vfs.add(Tfile::create(disk.path()), a);
    Tfile *leaf = vfs.add(Tfile::createLink("leaf"), real);
    ASSERT_TRUE(a && real && leaf);

    TfilePtr heldLeaf(leaf);
    TfilePtr temp = vfs.findFilebyURL("/a/" + real->name + "/d/inner.txt");
    ASSERT_TRUE(temp);
    const QString tempUrl = temp->url();

    EXPECT_TRUE(vfs.remove(a));
    EXPECT_TRUE(vfs.root()->children().isEmpty());
    // The held nodes are intact, only detached.
    EXPECT_FALSE(heldLeaf->isInTree());
    EXPECT_EQ(heldLeaf->name, "leaf");
    // "a" had no holder and is gone; "real" lives on, held by the temporary node.
    EXPECT_EQ(heldLeaf->parent(), real);
    EXPECT_FALSE(temp->isInTree());
    ASSERT_TRUE(temp->parent());
    EXPECT_EQ(temp->parent()->resource, disk.path());
    EXPECT_EQ(temp->parent()->parent(), nullptr);
    EXPECT_FALSE(vfs.findFilebyURL(tempUrl));

    // Releasing the last holder of "real" frees it; the leaf loses its parent.
    temp.reset();
    EXPECT_EQ(heldLeaf->parent(), nullptr);
    EXPECT_EQ(heldLeaf->name, "leaf");
}

TEST(Tree, HeldGrandchildOutlivesItsAncestors)
{
    Tvfs vfs;
    TfilePtr held;
    {
        Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
        Tfile *b = vfs.add(Tfile::createVirtualFolder("b"), a);
        held = TfilePtr(vfs.add(Tfile::createLink("c"), b));
        vfs.remove(a); // a and b have no holder: freed now
    }
    ASSERT_TRUE(held);
    EXPECT_EQ(held->parent(), nullptr);
    EXPECT_FALSE(held->isInTree());
    EXPECT_EQ(held->url(), held->resource); // a link's URL is its target; nothing dangles
    held->recursiveApply([](Tfile &, bool) { return 0; });
}

TEST(Tree, TemporaryNodeKeepsRealFolderAlive)
{
    DiskTree disk;
    disk.file("x.txt");
    TfilePtr temp;
    {
        Tvfs vfs;
        vfs.add(Tfile::create(disk.path()));
        temp = vfs.findFilebyURL("/" + disk.path().section('/', -1) + "/x.txt");
        ASSERT_TRUE(temp);
    } // the whole tree goes away
    ASSERT_TRUE(temp->parent());
    EXPECT_EQ(temp->parent()->resource, disk.path());
    EXPECT_FALSE(temp->isInTree());
    EXPECT_EQ(temp->downloadCount(), 0);
    temp->setDownloadCount(5); // no tree to count into: ignored, no crash
    EXPECT_TRUE(freeIfTemp(temp));
    EXPECT_FALSE(temp);
}

TEST(Tree, RecursiveApply)
{
    Tvfs vfs;
    Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
    vfs.add(Tfile::createLink("a1"), a);
    vfs.add(Tfile::createLink("a2"), a);
    Tfile *b = vfs.add(Tfile::createVirtualFolder("b"));
    vfs.add(Tfile::createLink("b1"), b);
    vfs.add(Tfile::createLink("c"));

    QStringList order;
    vfs.root()->recursiveApply([&](Tfile &f, bool done) {
        order << (done ? "/" : "") + f.name;
        if (f.name == "b")
            return int(FCB_NO_DEEPER);
        if (f.name == "a")
            return int(FCB_RECALL_AFTER_CHILDREN);
        return 0;
    });
    EXPECT_EQ(order, QStringList({"/", "a", "a1", "a2", "/a", "b", "c"}));

    // Deleting while walking, the next sibling included.
    vfs.root()->recursiveApply([&](Tfile &f, bool) {
        if (f.name == "a1" || f.name == "a2" || f.name == "c")
            return int(FCB_DELETE);
        return 0;
    });
    EXPECT_EQ(childNames(a), QStringList());
    EXPECT_EQ(childNames(vfs.root()), QStringList({"a", "b"}));
}

TEST(Tree, InheritedSettings)
{
    Tvfs vfs;
    Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
    Tfile *b = vfs.add(Tfile::createVirtualFolder("b"), a);
    Tfile *f = vfs.add(Tfile::createLink("page.HTML"), b);
    a->filesFilter = "*.txt";
    b->foldersFilter = "x*";
    a->realm = "A realm";
    QString files, folders;
    f->getFiltersRecursively(files, folders);
    EXPECT_EQ(files, "*.txt");
    EXPECT_EQ(folders, "x*");
    EXPECT_EQ(f->getShownRealm(), "A realm");
    EXPECT_EQ(f->getRecursiveFileMask(), vfs.root()->defaultFileMask);

    // The root's mask excludes pages; a nearer mask replaces it.
    EXPECT_FALSE(f->shouldCountAsDownload());
    b->dontCountAsDownloadMask = "*.zip";
    EXPECT_TRUE(f->shouldCountAsDownload());
    f->flags.set(FA_DONT_COUNT_AS_DL);
    EXPECT_FALSE(f->shouldCountAsDownload());

    a->realm.clear();
    b->comment = "folder comment";
    f->comment = "file comment";
    EXPECT_EQ(f->getShownRealm(), "file comment");
    vfs.setDynamicComment([](const Tfile &n) { return "dynamic " + n.name; });
    EXPECT_EQ(f->getShownRealm(), "dynamic page.HTML");
    TvfsSettings s = vfs.settings();
    s.useCommentAsRealm = false;
    vfs.setSettings(s);
    EXPECT_EQ(f->getShownRealm(), "");
}

TEST(Tree, HasRecursive)
{
    Tvfs vfs;
    Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
    Tfile *f = vfs.add(Tfile::createLink("f"), a);
    bool inherited = true;
    EXPECT_TRUE(f->hasRecursive(TfileAttributes{}, false, &inherited)); // empty set holds at once
    EXPECT_FALSE(inherited);
    EXPECT_FALSE(f->hasRecursive(FA_HIDDENTREE, &inherited));
    EXPECT_FALSE(inherited);
    a->flags.set(FA_HIDDENTREE);
    EXPECT_TRUE(f->hasRecursive(FA_HIDDENTREE, &inherited));
    EXPECT_TRUE(inherited);
    f->flags.set(FA_HIDDENTREE);
    EXPECT_TRUE(f->hasRecursive(FA_HIDDENTREE, &inherited));
    EXPECT_FALSE(inherited);
    // All of a set on one node, or any of it.
    EXPECT_FALSE(f->hasRecursive({FA_HIDDENTREE, FA_DONT_LOG}, false));
    EXPECT_TRUE(f->hasRecursive({FA_HIDE_EXT, FA_ARCHIVABLE}, true, &inherited)); // the root is archivable
    EXPECT_TRUE(inherited);
}

TEST(Tree, DownloadCounts)
{
    DiskTree disk;
    disk.file("a/x");
    disk.file("ab/y");
    Tvfs vfs;
    Tfile *v = vfs.add(Tfile::createVirtualFolder("v"));
    Tfile *link = vfs.add(Tfile::createLink("l"), v);
    Tfile *real = vfs.add(Tfile::create(disk.path("a")), v);
    Tfile *sibling = vfs.add(Tfile::create(disk.path("ab")), v);
    ASSERT_TRUE(link && real && sibling);
    link->setDownloadCount(2);
    EXPECT_EQ(link->ownDownloads, 2);

    TfilePtr x = vfs.findFilebyURL("/v/a/x");
    ASSERT_TRUE(x);
    x->setDownloadCount(7);
    EXPECT_EQ(x->downloadCount(), 7);
    EXPECT_EQ(vfs.tempDownloadCount(disk.path("a/x")), 7);
    EXPECT_EQ(vfs.findFilebyURL("/v/a/x")->downloadCount(), 7); // a new temporary node reads the same counter
    vfs.findFilebyURL("/v/a/x")->countDownload();
    EXPECT_EQ(x->downloadCount(), 8);
    link->countDownload();
    EXPECT_EQ(link->ownDownloads, 3);
    // Counts stop at the largest int instead of turning negative.
    x->setDownloadCount(INT_MAX);
    x->countDownload();
    EXPECT_EQ(x->downloadCount(), INT_MAX);
    x->setDownloadCount(7);
    vfs.setTempDownloadCount(disk.path("ab/y"), 100);
    vfs.setTempDownloadCount(disk.path("a"), 1000); // not a file inside "a", but "a" itself

    EXPECT_EQ(real->downloadCount(), 1007);  // "/ab/y" merely shares the prefix: not counted
    EXPECT_EQ(sibling->downloadCount(), 100);
    EXPECT_EQ(v->downloadCount(), 3 + 1007 + 100);

    vfs.resetHits();
    EXPECT_EQ(v->downloadCount(), 0);
    EXPECT_EQ(link->ownDownloads, 0);
}

TEST(Tree, DownloadForbidden)
{
    DiskTree disk;
    disk.file("x");
    Tvfs vfs;
    Tfile *real = vfs.add(Tfile::create(disk.path()));
    Tfile *outer = vfs.add(Tfile::createVirtualFolder("outer"));
    real->flags.set(FA_DL_FORBIDDEN);
    const TfilePtr x = vfs.findFilebyURL(real->url() + "x");
    ASSERT_TRUE(x);
    EXPECT_TRUE(x->isDLforbidden());
    real->flags.clear(FA_DL_FORBIDDEN);
    EXPECT_FALSE(x->isDLforbidden());
    // Only the real folder's own flag counts, not one further up.
    outer->flags.set(FA_DL_FORBIDDEN);
    EXPECT_FALSE(x->isDLforbidden());
}

TEST(Tree, NewFlag)
{
    Tvfs vfs;
    Tfile *f = vfs.add(Tfile::createLink("f"));
    const double minute = 1.0 / (24 * 60);
    const struct {
        qint64 n;
        double ageMinutes;
        bool isNew;
    } cases[] = {
        {0, 0, false},  {10, 0, true},      {10, 10.98, true}, {10, 11.01, false},
        {10, -5, true}, {10, -12, false}, {-1, 0, false},
    };
    for (const auto &c : cases) {
        TvfsSettings s = vfs.settings();
        s.filesStayFlaggedForMinutes = c.n;
        vfs.setSettings(s);
        f->atime = now() - c.ageMinutes * minute;
        EXPECT_EQ(f->isNew(), c.isNew) << c.n << " " << c.ageMinutes;
    }
}

TEST(Tree, FlagAsNewAndReset)
{
    Tvfs vfs;
    TvfsSettings s = vfs.settings();
    s.filesStayFlaggedForMinutes = 30;
    vfs.setSettings(s);
    Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
    Tfile *f = vfs.add(Tfile::createLink("f"), a);
    EXPECT_TRUE(f->isNew());
    vfs.resetNewFlag({a});
    EXPECT_FALSE(a->isNew());
    EXPECT_FALSE(f->isNew()); // everything below too
    vfs.flagAsNew({f});
    EXPECT_TRUE(f->isNew());
    EXPECT_FALSE(a->isNew());
}

TEST(Tree, RootBinding)
{
    DiskTree disk;
    disk.file("x.txt");
    Tvfs vfs;
    vfs.bindRoot(disk.path() + "/");
    EXPECT_TRUE(vfs.root()->isRealFolder());
    EXPECT_EQ(vfs.root()->name, "/");
    EXPECT_EQ(vfs.root()->resource, disk.path());
    EXPECT_TRUE(vfs.findFilebyURL("/x.txt"));
    vfs.root()->accounts[FA_UPLOAD] = {"@anyone"};
    vfs.root()->uploadFilterMask = "*.jpg";
    vfs.unbindRoot();
    EXPECT_TRUE(vfs.root()->isVirtualFolder());
    EXPECT_TRUE(vfs.root()->resource.isEmpty());
    EXPECT_TRUE(vfs.root()->accounts[FA_UPLOAD].isEmpty());
    EXPECT_TRUE(vfs.root()->uploadFilterMask.isEmpty());
    EXPECT_FALSE(vfs.findFilebyURL("/x.txt"));
}

TEST(Tree, SystemIcon)
{
    Tvfs vfs;
    TvfsSettings s = vfs.settings();
    s.iconMasks = {{"*.jpg;*.png", 7}, {"*.PNG", 8}, {"*", 9}};
    vfs.setSettings(s);
    Tfile *png = vfs.add(Tfile::create("/nowhere/a.png"));
    Tfile *folder = vfs.add(Tfile::createVirtualFolder("f"));
    EXPECT_EQ(png->getSystemIcon(), 7);    // the first matching mask
    EXPECT_EQ(folder->getSystemIcon(), -1); // masks are for files
    vfs.setSystemIcon([](const Tfile &f) { return f.isFolder() ? 3 : 4; });
    EXPECT_EQ(folder->getSystemIcon(), 3);
    png->icon = 12;
    EXPECT_EQ(png->getSystemIcon(), 12);    // its own icon first
}

TEST(Tree, Locks)
{
    Tvfs vfs;
    Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
    Tfile *b = vfs.add(Tfile::createVirtualFolder("b"), a);
    Tfile *c = vfs.add(Tfile::createLink("c"), b);
    Tfile *other = vfs.add(Tfile::createLink("other"));
    b->lock();
    EXPECT_TRUE(a->isLocked());     // below
    EXPECT_TRUE(b->isLocked());
    EXPECT_TRUE(c->isLocked());     // above
    EXPECT_TRUE(vfs.root()->isLocked());
    EXPECT_FALSE(other->isLocked());
    b->unlock();
    EXPECT_FALSE(a->isLocked());
}

TEST(Tree, DefaultFile)
{
    DiskTree disk;
    disk.file("index.htm");
    disk.file("INDEX.HTML");
    disk.folder("default.html");
    disk.folder("a.htm"); // sorts first: a wildcard must pass over it
    disk.file("d2/default.htm");
    Tvfs vfs;
    Tfile *real = vfs.add(Tfile::create(disk.path()));
    real->defaultFileMask = "index.html;index.htm";
    TfilePtr d = real->getDefaultFile();
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->isTemp());
    EXPECT_EQ(d->name, "INDEX.HTML"); // the order of the mask decides
    EXPECT_EQ(d->parent(), real);

    real->defaultFileMask = "default.html"; // a folder of that name is not a default file
    EXPECT_FALSE(real->getDefaultFile());
    real->defaultFileMask = "*.htm";
    d = real->getDefaultFile();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->name, "index.htm");

    // A matching tree child wins over the disk.
    Tfile *child = vfs.add(Tfile::create(disk.path("d2/default.htm")), real);
    real->defaultFileMask = "default.htm;index.htm";
    EXPECT_EQ(real->getDefaultFile().data(), child);

    // Inherited from the root for a subfolder found on disk.
    const TfilePtr sub = vfs.findFilebyURL(real->url() + "d2/");
    ASSERT_TRUE(sub);
    d = sub->getDefaultFile();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->resource, disk.path("d2/default.htm"));

    Tfile *virt = vfs.add(Tfile::createVirtualFolder("v"));
    EXPECT_FALSE(virt->getDefaultFile());
}

TEST(Tree, DiskFree)
{
    DiskTree disk;
    EXPECT_EQ(Tfile::createVirtualFolder("v")->diskfree(), 0);
    EXPECT_GT(Tfile::create(disk.path())->diskfree(), 0);
    // Bytes a user may write, as the storage API counts them (within what
    // others may write meanwhile).
    EXPECT_NEAR(double(Tfile::create(disk.path())->diskfree()),
                double(QStorageInfo(disk.path()).bytesAvailable()), 256.0 * 1048576);
    // A missing item is measured on the nearest existing folder above it.
    EXPECT_GT(Tfile::create(disk.path("no/such/file"))->diskfree(), 0);
}

TEST(Tree, Observer)
{
    struct Recorder : TvfsObserver {
        QStringList seen;
        void nodeAdded(Tfile &f) override { seen << "add " + f.name; }
        void nodeRemoving(Tfile &f) override { seen << "remove " + f.name; }
        void treeReset() override { seen << "reset"; }
    } rec;
    Tvfs vfs;
    vfs.setObserver(&rec);
    Tfile *a = vfs.add(Tfile::createLink("a"));
    vfs.remove(a);
    vfs.resetVFS();
    EXPECT_EQ(rec.seen, QStringList({"add a", "remove a", "reset"}));
}

TEST(Tree, RemovingForgetsUploadFoldersAndNodeUsers)
{
    Tvfs vfs;
    Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
    TfilePtr up = Tfile::create("/srv/up");
    up->accounts[FA_UPLOAD] = {"@anyone"};
    up->user = "joe";
    up->pwd = "pw";
    vfs.add(up, a);
    vfs.uploadFolders << "/srv/up";
    vfs.usersInVFS.track("joe", "pw");
    vfs.remove(a);
    EXPECT_TRUE(vfs.uploadFolders.isEmpty());
    EXPECT_FALSE(vfs.usersInVFS.match("joe", "pw"));
}

} // namespace
