// "--root DIR": taken from the command line, handed to the program's hook
// at its place in the start-up, and the tree's root bound for this run.
#include "app/longSwitches.h"
#include "app/program.h"
#include "app/services.h"
#include "app/treeStoreWiring.h"
#include "config/config.h"
#include "config/paths.h"
#include "vfs/vfs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(RootSwitch, TakenOutOfTheCommandLine)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("share")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("other")));

    QStringList args{"-c", "port=1", "--root", "share", "a.txt", "-q"};
    TrootSwitch r = takeRootSwitch(args, dir.path());
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_EQ(r.folder, dir.path() + QStringLiteral("/share"));
    EXPECT_EQ(args, (QStringList{"-c", "port=1", "a.txt", "-q"}));

    // The last one counts; an absolute folder is cleaned.
    args = {"--root", "share", "--root", dir.path() + QStringLiteral("/other/../other/")};
    r = takeRootSwitch(args, QStringLiteral("/"));
    EXPECT_EQ(r.folder, dir.path() + QStringLiteral("/other"));
    EXPECT_TRUE(args.isEmpty());

    // The argument of another switch is not ours.
    args = {"-c", "--root", "x"};
    r = takeRootSwitch(args, dir.path());
    EXPECT_TRUE(r.folder.isEmpty());
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_EQ(args, (QStringList{"-c", "--root", "x"}));

    args = {"a", "b"};
    r = takeRootSwitch(args, dir.path());
    EXPECT_TRUE(r.folder.isEmpty() && r.error.isEmpty());
}

TEST(RootSwitch, RefusesWhatIsNotAFolder)
{
    QTemporaryDir dir;
    QFile f(dir.path() + QStringLiteral("/plain.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    for (const QStringList &given : {QStringList{"q", "--root"}, QStringList{"--root", "missing"},
                                     QStringList{"--root", "plain.txt"}, QStringList{"--root", ""}}) {
        QStringList args = given;
        const TrootSwitch r = takeRootSwitch(args, dir.path());
        EXPECT_FALSE(r.error.isEmpty()) << qPrintable(given.join(u' '));
        EXPECT_TRUE(r.folder.isEmpty());
        EXPECT_FALSE(args.contains(QStringLiteral("--root")));
    }
}

// The root is bound after the last tree is back (a reload would replace it)
// and before files named on the command line go in (under the new root).
TEST(RootSwitch, BoundBetweenTheReloadAndTheNamedFiles)
{
    Tservices services;
    QTemporaryDir dir;
    qputenv("ZOF_NO_SINGLE_INSTANCE", "1");
    qputenv("ZOF_IGNORE_STORED_OPTIONS", "1");
    const Toptions saved = opts();
    const TcfgPlaces savedPlaces = cfg().places;
    const TcfgStorage savedStorage = cfg().cfgStorage;
    const QString savedCfgPath = cfgPath();
    opts().autoSaveOptions = false;
    opts().reloadOnStartup = true;
    opts().lastFileOpen = QStringLiteral("last.vfs");

    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("share")));
    // Relative names are taken against the working folder of the start.
    Tprogram program({"zof", "--headless", "-i", dir.path(), "--root", "share", "named.txt"});
    EXPECT_EQ(program.rootFolder(), dir.path() + QStringLiteral("/share"));
    QStringList steps;
    program.hooks.reloadLastVfs = [&] { steps << QStringLiteral("reload"); };
    program.hooks.bindRoot = [&](const QString &folder) { steps << QStringLiteral("bind ") + folder; };
    program.hooks.addFiles = [&](const QStringList &paths) { steps << QStringLiteral("add ") + paths.join(u','); };
    const int rc = program.startup();
    ASSERT_TRUE(QDir::setCurrent(cwd));
    ASSERT_EQ(rc, -1);
    program.closeProgram();
    EXPECT_EQ(steps, (QStringList{"reload", "bind " + dir.path() + "/share", "add " + dir.path() + "/named.txt"}));

    qunsetenv("ZOF_NO_SINGLE_INSTANCE");
    qunsetenv("ZOF_IGNORE_STORED_OPTIONS");
    opts() = saved;
    cfg().places = savedPlaces;
    cfg().cfgStorage = savedStorage;
    setCfgPath(savedCfgPath);
}

TEST(RootSwitch, BindingDoesNotMarkTheTreeChanged)
{
    Tservices services;
    QTemporaryDir dir;
    qputenv("ZOF_IGNORE_STORED_OPTIONS", "1"); // the reload it triggers reads nothing
    Tprogram program({"zof", "--headless"});
    Tvfs &tree = Tvfs::instance();
    ASSERT_TRUE(tree.root()->isVirtualFolder());
    tree.setModified(false);

    bindRootForThisRun(program, dir.path());
    EXPECT_TRUE(tree.root()->isRealFolder());
    EXPECT_EQ(tree.root()->resource, dir.path());
    EXPECT_FALSE(tree.isModified());

    // A root bound already (by a reloaded tree, say) moves to the new folder.
    QTemporaryDir other;
    tree.setModified(true);
    bindRootForThisRun(program, other.path());
    EXPECT_TRUE(tree.root()->isRealFolder());
    EXPECT_EQ(tree.root()->resource, other.path());
    EXPECT_TRUE(tree.isModified());
    qunsetenv("ZOF_IGNORE_STORED_OPTIONS");
}
