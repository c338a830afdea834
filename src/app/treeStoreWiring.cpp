#include "app/treeStoreWiring.h"

#include "app/program.h"
#include "config/config.h"
#include "config/options.h"
#include "config/paths.h"
#include "config/version.h"
#include "util/files.h"
#include "vfs/treeAdd.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

#include <QSet>

#include <memory>

namespace {

struct TtreeStoreWiring
{
    // The last value of last-file-open handed to the tree: an options pass
    // that did not touch the key must not undo a load or save since then.
    QString syncedLastFile;
    bool reloadDone = false;
};

TtreeStoreWiring &wiring()
{
    static TtreeStoreWiring w;
    return w;
}

} // namespace

void optionsToStore()
{
    const Toptions &o = opts();
    TvfsStore &store = TvfsStore::instance();
    TvfsStoreSettings &s = store.settings;
    s.backupSaving = o.backupSaving;
    s.autoSaveVfs = o.autoSaveVfs;
    s.autoSaveVfsEvery = o.autoSaveVfsEvery;
    s.quitDontAsk = o.quitDontAsk;
    s.reloadOnStartup = o.reloadOnStartup;
    s.recentFiles = o.recentFiles;
    s.trustedFiles = o.trustedFiles;
    s.version = zofVersion();
    s.build = zofBuild();
    s.tempVfsPath = cfgPath() + QStringLiteral("~temp.vfs");
    // Relative names in the tree and in templates are taken against the
    // configuration folder, which "-i" may have just changed.
    setFilesBaseFolder(cfgPath());
    TtreeStoreWiring &w = wiring();
    if (o.lastFileOpen != w.syncedLastFile) {
        w.syncedLastFile = o.lastFileOpen;
        Tvfs::instance().lastFileName = o.lastFileOpen;
    }
}

namespace {

void storeToOptions()
{
    Toptions &o = opts();
    const TvfsStoreSettings &s = TvfsStore::instance().settings;
    o.recentFiles = s.recentFiles;
    o.trustedFiles = s.trustedFiles;
    o.lastFileOpen = Tvfs::instance().lastFileName;
    wiring().syncedLastFile = o.lastFileOpen;
}

bool cleanStart()
{
    return qEnvironmentVariable("ZOF_IGNORE_STORED_OPTIONS") == u"1";
}

// The reload of the last tree (and the offer of "~temp.vfs"), once per run.
// It also runs when no last file is recorded, so that an emergency copy left
// by a tree that was never saved under a name is found again.
void reloadOnce(const Tprogram &program)
{
    TtreeStoreWiring &w = wiring();
    if (w.reloadDone)
        return;
    w.reloadDone = true;
    if (cleanStart() || !program.pendingVfs().isEmpty())
        return;
    optionsToStore();
    TvfsStore::instance().startupReload();
    storeToOptions();
}

// Files and folders named on the program's own command line are published
// for this run: they do not make the tree modified and are not saved with it,
// so a later start publishes them only when it names them too.
void addForThisRun(const std::function<void()> &add)
{
    Tvfs &tree = Tvfs::instance();
    TfilePtr folder(TtreeAdder(tree).handOverTarget());
    while (!folder->isFolder())
        folder = TfilePtr(folder->parent());
    QSet<const Tfile *> before;
    for (const TfilePtr &f : folder->children())
        before.insert(f.data());
    const bool wasModified = tree.isModified();
    add();
    for (const TfilePtr &f : folder->children())
        if (!before.contains(f.data()))
            f->runOnly = true;
    tree.setModified(wasModified);
}

} // namespace

void installTreeStore()
{
    TvfsStore::instance().listsChanged = storeToOptions;
    optionsToStore();
}

void reloadLastVfsOnce(const Tprogram &program)
{
    reloadOnce(program);
}

void loadVfsNamed(const Tprogram &program, const QString &path)
{
    // A tree named on the command line takes the place of the last one.
    if (!program.startupFinished())
        wiring().reloadDone = true;
    optionsToStore();
    TvfsStore::instance().loadVFS(path);
    storeToOptions();
}

// The program asks for the reload only when a last file is recorded; catch
// the other case before files named on the command line are added, or at the
// latest when start-up ends.
void addNamedFiles(const Tprogram &program, const std::function<void()> &add)
{
    if (program.startupFinished()) {
        // Handed over by another start: an addition to the operator's tree.
        add();
        return;
    }
    reloadOnce(program);
    addForThisRun(add);
}

void bindRootForThisRun(const Tprogram &program, const QString &folder)
{
    // After the reload, which would otherwise replace the bound root.
    if (!program.startupFinished())
        reloadOnce(program);
    Tvfs &tree = Tvfs::instance();
    const bool wasModified = tree.isModified();
    if (tree.root()->isRealFolder())
        tree.unbindRoot();
    tree.bindRoot(folder);
    tree.setModified(wasModified);
}

void treeStoreOnEvent(const Tprogram &program, const QString &section)
{
    if (section == u"start")
        reloadOnce(program);
    if (section == u"quit") {
        // Runs before the options are stored and the server goes away.
        // Headless there is nobody to ask: a changed tree is kept in
        // "~temp.vfs" for the next start, as when the session ends.
        TvfsStore::instance().leaveVFS(false, program.headless());
        storeToOptions();
    }
}

void autoSaveTree()
{
    TvfsStore::instance().autoSaveTick();
}
