#include "vfs/account.h"
#include "vfs/vfsStore.h"
#include "vfsFormatTestUtil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace vfsTest;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class VfsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writeAll(dir.filePath(QStringLiteral("data.bin")), "payload");
        for (const char *name : {"bob", "staff"}) {
            Taccount a;
            a.user = QString::fromLatin1(name);
            a.group = a.user == u"staff";
            accounts.list.append(a);
        }
        vfs.setAccounts(&accounts);
        store.settings.version = QStringLiteral("1.0");
        store.settings.build = QStringLiteral("400");
        store.settings.tempVfsPath = dir.filePath(QStringLiteral("~temp.vfs"));
        store.progress = [](double) { return true; };
        store.clockMs = [this] { return clock; };
    }
    QString file(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    // A tree file with one virtual folder `name` (and a comment holding a macro when asked).
    QByteArray treeWith(const QString &name, bool macro = false)
    {
        Tvfs t;
        Tfile *f = addVirtual(t, t.root(), name);
        if (macro)
            f->comment = QStringLiteral("{.time.}");
        return vfsToBytes(t, QStringLiteral("1.0"), QStringLiteral("400"));
    }
    QString onlyChild() const
    {
        return vfs.root()->children().size() == 1 ? vfs.root()->children().at(0)->name : QString();
    }

    QTemporaryDir dir;
    Taccounts accounts;
    Tvfs vfs;
    TvfsStore store{vfs};
    TpromptScope prompt;
    qint64 clock = 0;
};

} // namespace

TEST_F(VfsStore, SaveThenLoadKeepsTheTree)
{
    buildRichTree(vfs, dir.path());
    const QString fn = file("tree.vfs");
    ASSERT_TRUE(store.saveVFS(fn));
    EXPECT_FALSE(vfs.isModified());
    EXPECT_EQ(vfs.lastFileName, fn);
    EXPECT_FALSE(QFile::exists(fn + ".bak"));
    // Saving a file makes it trusted.
    EXPECT_TRUE(store.isTrusted(fn));

    Tvfs other;
    other.setAccounts(&accounts);
    TvfsStore loader(other);
    loader.progress = [](double) { return true; };
    QString status;
    loader.status = [&](const QString &s) { status = s; };
    prompt->answer = [](const QString &, TpromptButton) { return PB_YES; };
    ASSERT_TRUE(loader.loadVFS(fn));
    EXPECT_EQ(prompt->questions, QStringList{MSG_VFS_TRUST}); // the partial template holds a macro
    EXPECT_TRUE(loader.isTrusted(fn));
    expectSameTree(*vfs.root(), *other.root());
    EXPECT_FALSE(other.isModified());
    EXPECT_EQ(other.lastFileName, fn);
    EXPECT_EQ(loader.settings.recentFiles, QStringList{fn});
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Loaded in \\d+\\.\\d seconds \\(%1\\)$")
                                       .arg(QRegularExpression::escape(fn)))
                    .match(status)
                    .hasMatch())
        << status.toStdString();
    // Trusted now: no second question.
    prompt->questions.clear();
    ASSERT_TRUE(loader.loadVFS(fn));
    EXPECT_TRUE(prompt->questions.isEmpty());
}

TEST_F(VfsStore, BackupOnSaveKeepsThePreviousVersion)
{
    for (bool backup : {true, false}) {
        const QString fn = file(backup ? "with.vfs" : "without.vfs");
        store.settings.backupSaving = backup;
        addVirtual(vfs, vfs.root(), QStringLiteral("first"));
        ASSERT_TRUE(store.saveVFS(fn));
        const QByteArray first = readAll(fn);
        addVirtual(vfs, vfs.root(), QStringLiteral("second"));
        ASSERT_TRUE(store.saveVFS(fn));
        EXPECT_NE(readAll(fn), first);
        EXPECT_EQ(QFile::exists(fn + ".bak"), backup);
        if (backup) {
            EXPECT_EQ(readAll(fn + ".bak"), first);
        }
        vfs.resetVFS();
    }
}

TEST_F(VfsStore, BackupOfALinkedFileHoldsThePreviousContent)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    const QString target = file("real/tree.vfs");
    const QString link = file("tree.vfs");
    const QByteArray first = treeWith("first");
    writeAll(target, first);
    ASSERT_TRUE(QFile::link(target, link));
    addVirtual(vfs, vfs.root(), QStringLiteral("second"));
    ASSERT_TRUE(store.saveVFS(link));
    // The link still points at the file, which holds the new tree; the
    // backup beside the link is a file of its own with the previous one.
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_EQ(readAll(link), vfsToBytes(vfs, "1.0", "400"));
    EXPECT_FALSE(QFileInfo(link + ".bak").isSymLink());
    EXPECT_EQ(readAll(link + ".bak"), first);
    EXPECT_FALSE(QFile::exists(target + ".bak"));
}

TEST_F(VfsStore, FailedSaveLeavesTheFileAlone)
{
    const QString fn = file("tree.vfs");
    addVirtual(vfs, vfs.root(), QStringLiteral("kept"));
    ASSERT_TRUE(store.saveVFS(fn));
    const QByteArray before = readAll(fn);
    addVirtual(vfs, vfs.root(), QStringLiteral("new"));
    // A folder where the file should go cannot be replaced by a file.
    const QString blocked = file("blocked.vfs");
    ASSERT_TRUE(QDir().mkpath(blocked + "/inside"));
    EXPECT_FALSE(store.saveVFS(blocked));
    EXPECT_EQ(prompt->messages, QStringList{MSG_VFS_ERROR_SAVING});
    EXPECT_TRUE(QFileInfo(blocked).isDir());
    EXPECT_TRUE(vfs.isModified());
    EXPECT_EQ(vfs.lastFileName, fn);
    EXPECT_EQ(readAll(fn), before);
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, (QStringList{"data.bin", "tree.vfs"}));
}

TEST_F(VfsStore, DamagedFileIsRecoveredFromItsBackup)
{
    const QString fn = file("tree.vfs");
    const QByteArray good = treeWith("good");
    writeAll(fn + ".bak", good);
    QByteArray damaged = treeWith("bad");
    damaged[damaged.size() - 5] = char(damaged[damaged.size() - 5] ^ 1);
    writeAll(fn, damaged);
    ASSERT_TRUE(store.loadVFS(fn)); // the safe answer takes the backup
    EXPECT_EQ(prompt->questions.value(0), MSG_VFS_CORRUPTED_BACKUP);
    EXPECT_EQ(onlyChild(), "good");
    EXPECT_EQ(readAll(fn), good);
    EXPECT_EQ(readAll(fn + ".corrupted"), damaged);
    EXPECT_FALSE(QFile::exists(fn + ".bak"));
    EXPECT_FALSE(store.autoSaveDisabled());
}

TEST_F(VfsStore, FileWithoutMagic)
{
    struct Case {
        const char *what;
        QByteArray content;
        bool backup;
    } cases[] = {
        {"garbage with backup", "not a tree file at all", true},
        {"empty with backup", "", true},
        {"garbage", "not a tree file at all", false},
        {"empty", "", false},
    };
    for (const Case &c : cases) {
        const QString fn = file("t.vfs");
        QFile::remove(fn + ".corrupted");
        writeAll(fn, c.content);
        if (c.backup)
            writeAll(fn + ".bak", treeWith("fromBak"));
        vfs.resetVFS();
        addVirtual(vfs, vfs.root(), QStringLiteral("current"));
        prompt->messages.clear();
        EXPECT_EQ(store.loadVFS(fn), c.backup) << c.what;
        if (c.backup) {
            EXPECT_EQ(onlyChild(), "fromBak") << c.what;
            EXPECT_EQ(readAll(fn + ".corrupted"), c.content) << c.what;
            EXPECT_TRUE(prompt->messages.isEmpty()) << c.what;
        } else {
            EXPECT_EQ(onlyChild(), "current") << c.what; // the tree stays as it was
            EXPECT_EQ(prompt->messages, QStringList{MSG_VFS_NO_VALID_DATA}) << c.what;
        }
    }
    // A missing file reads as empty.
    EXPECT_FALSE(store.loadVFS(file("missing.vfs")));
}

TEST_F(VfsStore, MacrosNeedTrust)
{
    const QString fn = file("macro.vfs");
    writeAll(fn, treeWith("m", true));
    // Nobody to ask: not trusted.
    EXPECT_FALSE(store.loadVFS(fn));
    EXPECT_EQ(prompt->questions, QStringList{MSG_VFS_TRUST});
    EXPECT_TRUE(vfs.root()->children().isEmpty());
    EXPECT_TRUE(vfs.lastFileName.isEmpty());
    EXPECT_TRUE(store.settings.trustedFiles.isEmpty());
    // Listed (by another spelling of its path): no question.
    store.settings.trustedFiles = {dir.path() + "/./macro.vfs"};
    prompt->questions.clear();
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    EXPECT_TRUE(store.loadVFS(dir.path() + "/./sub/../macro.vfs"));
    EXPECT_TRUE(prompt->questions.isEmpty());
    EXPECT_EQ(onlyChild(), "m");
    // Through a symbolic link the file is the same file.
    const QString link = file("link.vfs");
    ASSERT_TRUE(QFile::link(fn, link));
    EXPECT_TRUE(store.isTrusted(link));
    // Names are compared exactly.
    EXPECT_FALSE(store.isTrusted(file("MACRO.vfs")));
}

TEST_F(VfsStore, ProblemsDisableAutomaticSaving)
{
    const QString fn = file("new.vfs");
    writeAll(fn, fileAround(vfolderRec("a", Ttlv::record(77, "future"))));
    store.settings.autoSaveVfsEvery = 10;
    ASSERT_TRUE(store.loadVFS(fn));
    EXPECT_EQ(prompt->messages, (QStringList{MSG_VFS_UNKNOWN_DATA, MSG_VFS_AUTOSAVE_DISABLED}));
    EXPECT_TRUE(store.autoSaveDisabled());
    const QByteArray original = readAll(fn);
    clock += 60000;
    EXPECT_FALSE(store.autoSaveTick());
    EXPECT_EQ(readAll(fn), original);
    // Leaving does not save or ask either.
    vfs.setModified(true);
    prompt->questions.clear();
    EXPECT_TRUE(store.leaveVFS(true));
    EXPECT_TRUE(prompt->questions.isEmpty());
    EXPECT_EQ(readAll(fn), original);
    // A manual save enables it again.
    ASSERT_TRUE(store.saveVFS(fn));
    EXPECT_FALSE(store.autoSaveDisabled());
    // The interval counts from the previous automatic save.
    EXPECT_TRUE(store.autoSaveTick());
    clock += 9000;
    EXPECT_FALSE(store.autoSaveTick());
    clock += 1000;
    EXPECT_TRUE(store.autoSaveTick());
}

TEST_F(VfsStore, AutomaticSavingNeedsAFileAndAnInterval)
{
    clock = 100000;
    EXPECT_FALSE(store.autoSaveTick()); // off
    store.settings.autoSaveVfsEvery = 1;
    EXPECT_FALSE(store.autoSaveTick()); // no file yet
    vfs.lastFileName = file("auto.vfs");
    EXPECT_TRUE(store.autoSaveTick());
    EXPECT_TRUE(QFile::exists(file("auto.vfs")));
}

TEST_F(VfsStore, LoadingDropsUnknownAccounts)
{
    Tvfs t;
    addVirtual(t, t.root(), QStringLiteral("a"))->accounts[FA_ACCESS] = {"@anyone", "bob", "ghost"};
    const QString fn = file("acc.vfs");
    writeAll(fn, vfsToBytes(t, "1.0", "400"));
    ASSERT_TRUE(store.loadVFS(fn));
    EXPECT_EQ(vfs.root()->children().at(0)->accounts[FA_ACCESS], (QStringList{"@anyone", "bob"}));
    EXPECT_TRUE(vfs.isModified());
}

TEST_F(VfsStore, LeavingTheTree)
{
    enum Setup { Plain, QuitDontAsk, AutoSave, SessionEnds };
    struct Case {
        const char *what;
        Setup setup;
        bool modified;
        TpromptButton answer;
        bool canCancel;
        bool leaves;
        bool asked;
        bool savedToFile;
        bool savedToTemp;
    } cases[] = {
        {"unchanged", Plain, false, PB_NONE, true, true, false, false, false},
        {"force quit", QuitDontAsk, true, PB_NONE, true, true, false, false, false},
        {"auto-save on exit", AutoSave, true, PB_NONE, true, true, false, true, false},
        {"session ends", SessionEnds, true, PB_NONE, false, true, false, false, true},
        {"yes", Plain, true, PB_YES, true, true, true, true, false},
        {"no", Plain, true, PB_NO, true, true, true, false, false},
        {"cancel", Plain, true, PB_CANCEL, true, false, true, false, false},
    };
    for (const Case &c : cases) {
        const QString fn = file("leave.vfs");
        QFile::remove(fn);
        QFile::remove(store.tempVfsPath());
        store.settings.quitDontAsk = c.setup == QuitDontAsk;
        store.settings.autoSaveVfs = c.setup == AutoSave;
        vfs.resetVFS();
        vfs.lastFileName = fn;
        addVirtual(vfs, vfs.root(), QStringLiteral("x"));
        vfs.setModified(c.modified);
        prompt->questions.clear();
        prompt->answer = [&](const QString &, TpromptButton) { return c.answer; };
        EXPECT_EQ(store.leaveVFS(c.canCancel, c.setup == SessionEnds), c.leaves) << c.what;
        EXPECT_EQ(!prompt->questions.isEmpty(), c.asked) << c.what;
        if (c.asked) {
            EXPECT_EQ(prompt->questions.at(0), MSG_VFS_NOT_SAVED) << c.what;
        }
        EXPECT_EQ(QFile::exists(fn), c.savedToFile) << c.what;
        EXPECT_EQ(QFile::exists(store.tempVfsPath()), c.savedToTemp) << c.what;
        EXPECT_EQ(vfs.lastFileName, fn) << c.what;
    }
}

TEST_F(VfsStore, LeavingSavesChangedCountersAndNeverLosesChanges)
{
    const QString fn = file("counters.vfs");
    vfs.lastFileName = fn;
    store.countersChanged();
    EXPECT_TRUE(store.leaveVFS(true));
    EXPECT_TRUE(QFile::exists(fn));
    EXPECT_FALSE(store.hasChangedCounters());
    EXPECT_TRUE(prompt->questions.isEmpty());

    // Counters of a tree never saved: no file dialog asks a name for them,
    // neither when leaving nor when clearing.
    int asked = 0;
    store.askFileName = [&](const QString &, const QString &, const QString &, const QString &, bool) {
        ++asked;
        return QString();
    };
    vfs.lastFileName.clear();
    store.countersChanged();
    EXPECT_TRUE(store.leaveVFS(true));
    EXPECT_TRUE(store.clearVFS());
    EXPECT_EQ(asked, 0);
    store.askFileName = nullptr;

    // Changes, no file name, nobody to name one, and leaving cannot wait:
    // the emergency copy keeps them.
    vfs.resetVFS();
    addVirtual(vfs, vfs.root(), QStringLiteral("x"));
    EXPECT_TRUE(store.leaveVFS(false));
    EXPECT_TRUE(QFile::exists(store.tempVfsPath()));
}

TEST_F(VfsStore, SavesLeaveOutNodesOfTheCurrentRun)
{
    // The operator's tree, then a folder named on this run's command line
    // and a download in it.
    const QString fn = file("mine.vfs");
    addVirtual(vfs, vfs.root(), QStringLiteral("mine"));
    ASSERT_TRUE(store.saveVFS(fn));
    vfs.add(Tfile::create(dir.path()), vfs.root())->runOnly = true;
    vfs.setModified(false);
    store.countersChanged();
    vfs.setTempDownloadCount(file("data.bin"), 1);
    EXPECT_TRUE(store.leaveVFS(false, true));
    EXPECT_TRUE(prompt->questions.isEmpty());
    EXPECT_FALSE(QFile::exists(store.tempVfsPath()));
    Tvfs back;
    TvfsStore loader(back);
    ASSERT_TRUE(loader.loadVFS(fn));
    ASSERT_EQ(back.root()->children().size(), 1);
    EXPECT_EQ(back.root()->children().at(0)->name, "mine");
    EXPECT_EQ(back.tempDownloadCount(file("data.bin")), 1);

    // The emergency copy of a changed tree leaves them out as well.
    addVirtual(vfs, vfs.root(), QStringLiteral("later"));
    EXPECT_TRUE(store.leaveVFS(false, true));
    ASSERT_TRUE(loader.loadVFS(store.tempVfsPath()));
    QStringList names;
    for (const TfilePtr &f : back.root()->children())
        names.append(f->name);
    EXPECT_EQ(names, (QStringList{"later", "mine"}));
}

TEST_F(VfsStore, StartUpRestoresTheEmergencyCopy)
{
    const QString last = file("last.vfs");
    const QByteArray old = treeWith("old");
    writeAll(last, old);
    writeAll(store.tempVfsPath(), treeWith("emergency"));
    QFile t(store.tempVfsPath());
    ASSERT_TRUE(t.open(QIODevice::ReadWrite));
    ASSERT_TRUE(t.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    t.close();
    vfs.lastFileName = last;
    store.startupReload(); // the safe answer restores
    EXPECT_EQ(prompt->questions, QStringList{MSG_VFS_RESTORE_TEMP});
    EXPECT_EQ(onlyChild(), "emergency");
    EXPECT_EQ(readAll(last + ".bak"), old);
    EXPECT_FALSE(QFile::exists(store.tempVfsPath()));
    EXPECT_EQ(vfs.lastFileName, last);

    // An older emergency copy is not offered.
    writeAll(store.tempVfsPath(), treeWith("stale"));
    QFile t2(store.tempVfsPath());
    ASSERT_TRUE(t2.open(QIODevice::ReadWrite));
    ASSERT_TRUE(t2.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    t2.close();
    prompt->questions.clear();
    store.startupReload();
    EXPECT_TRUE(prompt->questions.isEmpty());
    EXPECT_EQ(onlyChild(), "emergency");
}

TEST_F(VfsStore, StartUpForgetsAVanishedFile)
{
    vfs.lastFileName = file("gone.vfs");
    store.startupReload();
    EXPECT_TRUE(vfs.lastFileName.isEmpty());
    EXPECT_TRUE(prompt->messages.isEmpty());
    // With only its backup left, the name stays and the backup is loaded.
    writeAll(file("half.vfs.bak"), treeWith("b"));
    vfs.lastFileName = file("half.vfs");
    store.startupReload();
    EXPECT_EQ(onlyChild(), "b");
    EXPECT_EQ(vfs.lastFileName, file("half.vfs"));
}

TEST_F(VfsStore, RecentFiles)
{
    QStringList names;
    for (int i = 0; i < 7; ++i) {
        names.append(dir.filePath(QStringLiteral("r%1.vfs").arg(i)));
        writeAll(names.last(), treeWith(QStringLiteral("n%1").arg(i)));
        ASSERT_TRUE(store.loadVFS(names.last()));
    }
    EXPECT_EQ(store.settings.recentFiles, (QStringList{names[6], names[5], names[4], names[3], names[2]}));
    ASSERT_TRUE(store.loadRecent(names[3]));
    EXPECT_EQ(store.settings.recentFiles.first(), names[3]);
    EXPECT_EQ(onlyChild(), "n3");
    QFile::remove(names[4]);
    EXPECT_FALSE(store.loadRecent(names[4]));
    EXPECT_EQ(prompt->messages, QStringList{MSG_VFS_GONE});
    EXPECT_FALSE(store.settings.recentFiles.contains(names[4]));
}

TEST_F(VfsStore, ClearingAsksAboutChanges)
{
    addVirtual(vfs, vfs.root(), QStringLiteral("x"));
    EXPECT_FALSE(store.clearVFS()); // the safe answer keeps the tree
    EXPECT_EQ(prompt->questions, QStringList{MSG_VFS_CLEAR});
    EXPECT_EQ(onlyChild(), "x");
    prompt->answer = [](const QString &, TpromptButton) { return PB_YES; };
    EXPECT_TRUE(store.clearVFS());
    EXPECT_TRUE(vfs.root()->children().isEmpty());
}

TEST_F(VfsStore, BusyStatesRefuseSavingAndLoading)
{
    const QString fn = file("busy.vfs");
    writeAll(fn, treeWith("a"));
    store.isAdding = [] { return true; };
    EXPECT_FALSE(store.saveVFS(file("x.vfs")));
    EXPECT_FALSE(store.loadVFS(fn));
    EXPECT_EQ(prompt->messages, (QStringList{MSG_VFS_ADDING, MSG_VFS_ADDING}));
    store.isAdding = nullptr;

    // While a load lets the event loop run, saving (for example by the
    // heartbeat) would write half a tree; cancelling leaves an empty tree.
    Tvfs big;
    for (int i = 0; i < 20; ++i)
        addVirtual(big, big.root(), QStringLiteral("n%1").arg(i));
    writeAll(fn, vfsToBytes(big, "1.0", "400"));
    int calls = 0;
    bool savedMeanwhile = true;
    store.progress = [&](double) {
        if (++calls == 5) {
            savedMeanwhile = store.saveVFS(fn);
            return false;
        }
        return true;
    };
    EXPECT_FALSE(store.loadVFS(fn));
    EXPECT_FALSE(savedMeanwhile);
    EXPECT_TRUE(store.loadFlags().cancelled);
    EXPECT_TRUE(vfs.root()->children().isEmpty());
    EXPECT_TRUE(vfs.lastFileName.isEmpty());
    EXPECT_EQ(readAll(fn), vfsToBytes(big, "1.0", "400"));
}
