#include "vfs/treeAdd.h"

#include "vfsTestTools.h"
#include "util/prompt.h"
#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/editOutlets.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Answers the tree's questions from a script and records every one of them.
class AddingPrompt : public Tprompt {
public:
    QStringList log; // "message: ...", "question: ...", "ask: ...", "choose: ..."
    QHash<QString, TpromptButton> answers;
    std::optional<TpromptButton> otherwise; // for questions not in `answers`
    std::optional<QString> typed;
    int choice = 0;

    void message(const QString &text, TpromptKind) override { log << "message: " + text; }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton safe) override
    {
        log << "question: " + text;
        return answers.value(text, otherwise.value_or(safe));
    }
    std::optional<QString> askText(const QString &text, const QString &title, const QString &, bool) override
    {
        log << "ask: " + title + " | " + text;
        return typed;
    }
    int choose(const QString &title, const QStringList &lines, const QStringList &buttons, int) override
    {
        log << "choose: " + title + " | " + lines.join('|') + " | " + buttons.join('|');
        return choice;
    }
};

class TreeAdd : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto p = std::make_unique<AddingPrompt>();
        prompt = p.get();
        previous = setPrompt(std::move(p));
        vfs.setAccounts(&accounts);
        TvfsSettings s = vfs.settings();
        s.copyUrlOnAddition = false;
        s.addFolderDefault = QStringLiteral("real");
        vfs.setSettings(s);
        TeditOutlets &o = editOutlets();
        o.copyToClipboard = [this](const QString &t) { clipboard = t; };
        o.statusText = [this](const QString &t) {
            status << t;
            if (onStatus)
                onStatus();
        };
        o.selectNode = [this](Tfile *f) { selected = f; };
        o.editNodeName = [this](Tfile *f) { editing = f; };
        o.installTemplate = [this](const QString &p) { installed = p; };
    }
    void TearDown() override
    {
        editOutlets() = TeditOutlets();
        setPrompt(std::move(previous));
    }
    void set(const std::function<void(TvfsSettings &)> &change)
    {
        TvfsSettings s = vfs.settings();
        change(s);
        vfs.setSettings(s);
    }
    QStringList names(const Tfile *folder = nullptr) const
    {
        QStringList out;
        for (const TfilePtr &c : (folder ? folder : vfs.root())->children())
            out << c->name;
        return out;
    }
    Tfile *child(const Tfile *folder, const QString &name) const
    {
        for (const TfilePtr &c : folder->children())
            if (c->name == name)
                return c.data();
        return nullptr;
    }
    void files(const QString &folder, int count)
    {
        for (int i = 0; i < count; ++i)
            disk.file(folder + QStringLiteral("/f%1").arg(i, 3, 10, QChar(u'0')));
    }

    Taccounts accounts;
    Tvfs vfs;
    TtreeAdder adder{vfs};
    DiskTree disk;
    AddingPrompt *prompt = nullptr;
    std::unique_ptr<Tprompt> previous;
    QString clipboard, installed;
    QStringList status;
    std::function<void()> onStatus;
    Tfile *selected = nullptr;
    Tfile *editing = nullptr;
};

TEST_F(TreeAdd, AddFileRefusesClashesAndFindsTheFolder)
{
    disk.file("a.txt");
    disk.file("b.txt");
    Tfile *a = adder.addFile(Tfile::create(disk.path("a.txt")), nullptr, true);
    ASSERT_TRUE(a);
    EXPECT_EQ(selected, a);
    // A file as target: the item goes to the file's folder.
    Tfile *b = adder.addFile(Tfile::create(disk.path("b.txt")), a, true);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->parent(), vfs.root());
    // Letter case does not make another name.
    EXPECT_EQ(adder.addFile(Tfile::createVirtualFolder("A.TXT"), nullptr, true), nullptr);
    EXPECT_EQ(names(), (QStringList{"a.txt", "b.txt"}));
    EXPECT_TRUE(prompt->log.isEmpty());
    EXPECT_EQ(vfs.adding().counter, -1);
}

TEST_F(TreeAdd, CommentQuestionOnAddition)
{
    set([](TvfsSettings &s) { s.autoComment = true; });
    int fronts = 0;
    editOutlets().bringToFront = [&] { ++fronts; };
    prompt->typed = QStringLiteral("<b>hi</b>");
    Tfile *f = adder.addFile(Tfile::createVirtualFolder("docs"), nullptr, false);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->comment, "<b>hi</b>");
    EXPECT_EQ(fronts, 1);
    EXPECT_EQ(prompt->log, QStringList{"ask: Comment | Please insert a comment for \"docs\".\rYou should use "
                                       "HTML: <br> for break line."});
    // Cancelled: unchanged, still modified by the addition.
    prompt->typed.reset();
    vfs.setModified(false);
    Tfile *g = adder.addFile(Tfile::createVirtualFolder("more"), nullptr, false);
    EXPECT_TRUE(g->comment.isEmpty());
    EXPECT_TRUE(vfs.isModified());
    // Skipped on request, and for a drop of several lines.
    prompt->log.clear();
    adder.addFile(Tfile::createVirtualFolder("quiet"), nullptr, true);
    disk.file("x");
    disk.file("y");
    adder.addDroppedPaths(disk.path("x") + "\r\n" + disk.path("y"), nullptr);
    EXPECT_TRUE(prompt->log.isEmpty()) << prompt->log.join('\n').toStdString();
    adder.addDroppedPaths(disk.path("x"), nullptr); // one line: asked again
    EXPECT_EQ(prompt->log.size(), 2); // the clash, then the comment
}

TEST_F(TreeAdd, VirtualImportSkipsSideFilesAndNonRegularItems)
{
    set([](TvfsSettings &s) { s.addFolderDefault = QStringLiteral("virtual"); });
    disk.file("top/keep.txt");
    disk.file("top/.hidden");
    disk.file("top/keep.txt.md5", "0123");
    disk.file("top/zof.comments.txt");
    disk.file("top/keep.txt.comment");
    disk.file("top/descript.ion");
    disk.file("top/sub/inner.txt");
    disk.folder("top/.git");
    ASSERT_EQ(::mkfifo(qPrintable(disk.path("top/pipe")), 0600), 0);
    // A link back up the path (a loop) and one to a folder beside it.
    disk.file("other/o.txt");
    ASSERT_EQ(::symlink(qPrintable(disk.path("top")), qPrintable(disk.path("top/sub/loop"))), 0);
    ASSERT_EQ(::symlink(qPrintable(disk.path("other")), qPrintable(disk.path("top/sub/beside"))), 0);

    Tfile *top = adder.addDroppedPaths(disk.path("top"), nullptr);
    ASSERT_TRUE(top);
    EXPECT_TRUE(top->isVirtualFolder());
    EXPECT_EQ(names(top), (QStringList{"sub", "keep.txt"}));
    Tfile *sub = child(top, "sub");
    ASSERT_TRUE(sub);
    EXPECT_TRUE(sub->isVirtualFolder());
    EXPECT_EQ(names(sub), (QStringList{"beside", "inner.txt"}));
    EXPECT_EQ(names(child(sub, "beside")), QStringList{"o.txt"});
    EXPECT_FALSE(top->locked);
    EXPECT_EQ(vfs.adding().counter, -1);
    EXPECT_TRUE(prompt->log.isEmpty()) << prompt->log.join('\n').toStdString();

    // A FIFO handed over alone is not added either.
    EXPECT_EQ(adder.addDroppedPaths(disk.path("top/pipe"), nullptr), nullptr);
    EXPECT_EQ(names(), QStringList{"top"});
}

TEST_F(TreeAdd, DropQuestionsInOrder)
{
    disk.file("look.tpl");
    // Yes: the template is installed, nothing added.
    prompt->answers[MSG_INSTALL_TEMPLATE] = PB_YES;
    EXPECT_EQ(adder.addDroppedPaths(disk.path("look.tpl"), nullptr), nullptr);
    EXPECT_EQ(installed, disk.path("look.tpl"));
    EXPECT_TRUE(names().isEmpty());
    // No: added as a file.
    prompt->answers[MSG_INSTALL_TEMPLATE] = PB_NO;
    EXPECT_TRUE(adder.addDroppedPaths(disk.path("look.tpl"), nullptr));

    // An upload folder answered Yes: real, no kind question, @anyone uploads,
    // its URL copied.
    set([](TvfsSettings &s) {
        s.addFolderDefault.clear();
        s.copyUrlOnAddition = true;
        s.defaultIP = QStringLiteral("10.0.0.1");
    });
    disk.folder("My Uploads");
    prompt->log.clear();
    prompt->answers[MSG_UPLOAD_FOLDER] = PB_YES;
    Tfile *up = adder.addDroppedPaths(disk.path("My Uploads") + "/\n", nullptr);
    ASSERT_TRUE(up);
    EXPECT_TRUE(up->isRealFolder());
    EXPECT_EQ(up->accounts[FA_UPLOAD], QStringList{"@anyone"});
    EXPECT_TRUE(vfs.uploadFolders.contains(up->resource));
    EXPECT_EQ(prompt->log, QStringList{"question: " + MSG_UPLOAD_FOLDER});
    EXPECT_EQ(clipboard, up->fullURL());
    EXPECT_TRUE(clipboard.startsWith("http://10.0.0.1/My%20Uploads")) << clipboard.toStdString();

    // Other folders: the kind is asked once for the whole drop.
    disk.folder("d1");
    disk.folder("d2");
    prompt->log.clear();
    prompt->choice = 1;
    Tfile *last = adder.addDroppedPaths(disk.path("d1") + "\n" + disk.path("d2"), nullptr);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->name, "d2");
    EXPECT_TRUE(last->isVirtualFolder());
    EXPECT_EQ(prompt->log,
              QStringList{"choose: What kind of folder do you want? | A real folder is faster, good for big "
                          "folders|A virtual folder is easier, good for small folders|Not sure? Hint: most time "
                          "you need real folders! | Real folder|Virtual folder"});
    // Closing the dialog stops the drop.
    disk.folder("d3");
    prompt->choice = -1;
    EXPECT_EQ(adder.addDroppedPaths(disk.path("d3"), nullptr), nullptr);
    EXPECT_EQ(child(vfs.root(), "d3"), nullptr);
    EXPECT_EQ(vfs.adding().counter, -1);
}

TEST_F(TreeAdd, ClashesAskOnceAndTakeNumberedNames)
{
    for (const char *n : {"a", "b", "c"}) {
        disk.file(n);
        adder.addFile(Tfile::create(disk.path(n)), nullptr, true);
    }
    adder.addFile(Tfile::createVirtualFolder("B (2)"), nullptr, true);
    const QString drop = disk.path("a") + "\n" + disk.path("b") + "\n" + disk.path("c");
    const QString question = "question: 3 item(s) already exists:\ra, b, c\r\rContinue?";
    prompt->answers[question.mid(10)] = PB_NO;
    EXPECT_EQ(adder.addDroppedPaths(drop, nullptr), nullptr);
    EXPECT_EQ(prompt->log, QStringList{question});
    EXPECT_EQ(names().size(), 4);
    prompt->answers.clear(); // the safe answer continues
    EXPECT_EQ(adder.addDroppedPaths(drop, nullptr)->name, "c (2)");
    EXPECT_EQ(names(), (QStringList{"B (2)", "a", "a (2)", "b", "b (3)", "c", "c (2)"}));

    // More than 50: counted as "50+", the list stops there.
    DiskTree many;
    QStringList lines;
    for (int i = 0; i < 60; ++i) {
        many.file(QStringLiteral("n%1").arg(i));
        lines << many.path(QStringLiteral("n%1").arg(i));
        vfs.add(Tfile::createVirtualFolder(QStringLiteral("n%1").arg(i)), nullptr);
    }
    prompt->log.clear();
    prompt->otherwise = PB_NO;
    adder.addDroppedPaths(lines.join('\n'), nullptr);
    ASSERT_EQ(prompt->log.size(), 1);
    EXPECT_TRUE(prompt->log[0].startsWith("question: 50+ item(s) already exists:\rn0, n1,"));
    EXPECT_EQ(prompt->log[0].count(", ") + 1, 51);
}

TEST_F(TreeAdd, NewFolderAndLink)
{
    adder.addFile(Tfile::createVirtualFolder("New folder"), nullptr, true);
    adder.addFile(Tfile::createVirtualFolder("new FOLDER (2)"), nullptr, true);
    Tfile *f = adder.newFolder(nullptr);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->name, "New folder (3)");
    EXPECT_EQ(editing, f);
    EXPECT_EQ(selected, f);
    // Inside a folder when a node in it is selected.
    Tfile *inner = adder.newFolder(f);
    EXPECT_EQ(inner->parent(), f);
    EXPECT_EQ(inner->name, "New folder");

    // The mailto rule.
    const QList<std::pair<QString, QString>> urls = {
        {"me@example.org", "mailto:me@example.org"}, {"MAILTO:me@example.org", "MAILTO:me@example.org"},
        {"http://u@host/", "http://u@host/"},         {"dir/me@x", "dir/me@x"},
        {"plain", "plain"},
    };
    for (const auto &[typed, want] : urls)
        EXPECT_EQ(linkUrlFromInput(typed), want) << typed.toStdString();

    prompt->typed = QStringLiteral("me@example.org");
    Tfile *link = adder.newLink(nullptr);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->name, "New link");
    EXPECT_EQ(link->resource, "mailto:me@example.org");
    EXPECT_EQ(prompt->log.last(), "ask: Set URL | " + MSG_LINK_URL);
    EXPECT_TRUE(MSG_LINK_URL.endsWith("\r%ip% will be translated to your address"));
    // Cancelled: the URL stays; folders among the nodes are not touched.
    prompt->typed.reset();
    EXPECT_FALSE(adder.askLinkUrl({link, f}));
    EXPECT_EQ(link->resource, "mailto:me@example.org");
    EXPECT_EQ(adder.newLink(nullptr)->name, "New link (2)");
}

TEST_F(TreeAdd, LongAdditionLetsOthersRunAndRefusesSaving)
{
    set([](TvfsSettings &s) { s.addFolderDefault = QStringLiteral("virtual"); });
    files("big", 40);
    disk.file("after.txt");
    TvfsStore store(vfs);
    bool saved = true;
    onStatus = [&] {
        if (status.size() == 1)
            saved = store.saveVFS(disk.path("busy.vfs"));
    };
    Tfile *big = adder.addDroppedPaths(disk.path("big"), nullptr);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->children().size(), 40);
    EXPECT_FALSE(saved);
    EXPECT_EQ(status, (QStringList{"Adding item #16", "Adding item #32"}));
    EXPECT_TRUE(prompt->log.contains("message: " + MSG_VFS_ADDING));
    EXPECT_EQ(vfs.adding().counter, -1);
    EXPECT_TRUE(store.saveVFS(disk.path("idle.vfs")));

    // The abort button: what was added stays, the rest of the drop is left.
    vfs.resetVFS();
    status.clear();
    prompt->log.clear();
    onStatus = [&] { vfs.adding().abortRequested = true; };
    big = adder.addDroppedPaths(disk.path("big") + "\n" + disk.path("after.txt"), nullptr);
    ASSERT_TRUE(big);
    // The 16th item (the folder, then its 15th file) saw the abort.
    EXPECT_EQ(big->children().size(), 14);
    EXPECT_EQ(names(), QStringList{"big"});
    EXPECT_EQ(prompt->log, QStringList{"message: " + MSG_ADD_ABORTED});

    // A quit: the folder being filled goes away, nothing stays locked.
    vfs.resetVFS();
    onStatus = [&] { vfs.adding().closing = true; };
    EXPECT_EQ(adder.addDroppedPaths(disk.path("big"), nullptr), nullptr);
    EXPECT_TRUE(names().isEmpty());
    EXPECT_EQ(vfs.adding().counter, -1);
    EXPECT_FALSE(vfs.adding().closing);
    onStatus = nullptr;
    EXPECT_TRUE(adder.addDroppedPaths(disk.path("after.txt"), nullptr));
}

TEST_F(TreeAdd, FingerprintOnAddition)
{
    disk.file("small.txt", "abc");
    disk.file("large.bin", QByteArray(4000, 'x'));
    const TcommentOptions saved = commentOptions();
    commentOptions().autoFingerprint = 2;
    set([](TvfsSettings &s) { s.autoFingerprint = 2; });
    adder.addDroppedPaths(disk.path("small.txt") + "\n" + disk.path("large.bin"), nullptr);
    QFile md5(disk.path("small.txt.md5"));
    ASSERT_TRUE(md5.open(QIODevice::ReadOnly));
    EXPECT_EQ(md5.readAll().trimmed(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_FALSE(QFile::exists(disk.path("large.bin.md5")));
    commentOptions() = saved;
}

TEST_F(TreeAdd, ManyItemsWarnedOnce)
{
    for (int i = 0; i < 1000; ++i)
        vfs.add(Tfile::createVirtualFolder(QString::number(i)), nullptr, false);
    EXPECT_FALSE(adder.warnOfManyItems());
    vfs.add(Tfile::createVirtualFolder("one more"), nullptr, false);
    set([](TvfsSettings &s) { s.manyItemsWarning = false; });
    EXPECT_FALSE(adder.warnOfManyItems());
    set([](TvfsSettings &s) { s.manyItemsWarning = true; });
    EXPECT_TRUE(adder.warnOfManyItems());
    EXPECT_FALSE(adder.warnOfManyItems());
    EXPECT_EQ(prompt->log, QStringList{"message: " + MSG_MANY_ITEMS});
}

TEST_F(TreeAdd, HandOverTarget)
{
    Tfile *in = vfs.add(Tfile::createVirtualFolder("in"), nullptr);
    EXPECT_EQ(adder.handOverTarget(), vfs.root());
    EXPECT_EQ(adder.handOverTarget(in), in);
    set([](TvfsSettings &s) { s.addToFolder = QStringLiteral("/in/"); });
    EXPECT_EQ(adder.handOverTarget(), in);
    set([](TvfsSettings &s) { s.addToFolder = QStringLiteral("/gone/"); });
    EXPECT_EQ(adder.handOverTarget(), vfs.root());

    // The window's focused node stands in for a node not given; add-to-folder
    // still comes first, and a node of another tree is not taken.
    Tfile *other = vfs.add(Tfile::createVirtualFolder("other"), nullptr);
    Tfile *focused = other;
    editOutlets().focusedNode = [&focused] { return focused; };
    EXPECT_EQ(adder.handOverTarget(), other);
    EXPECT_EQ(adder.handOverTarget(in), in);
    Tvfs elsewhere;
    focused = elsewhere.root();
    EXPECT_EQ(adder.handOverTarget(), vfs.root());
    focused = other;
    set([](TvfsSettings &s) { s.addToFolder = QStringLiteral("/in/"); });
    EXPECT_EQ(adder.handOverTarget(), in);
    editOutlets().focusedNode = nullptr;
}

} // namespace
