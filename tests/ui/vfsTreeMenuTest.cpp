// The tree's menu: what it offers for each selection in each mode, and what
// its copy commands put on the clipboard; the tooltip of a node.
#include "vfsTreeTestTools.h"

#include "config/options.h"
#include "ui/treeMenu.h"
#include "ui/vfsTooltip.h"
#include "ui/vfsTreeView.h"

#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QMimeData>
#include <QTest>
#include <QToolTip>
#include <QUrl>

namespace {

// The fixture's tree in a view, with two custom addresses (so the menu's
// choice of host does not depend on the machine) and nothing on the clipboard.
struct TmenuFixture : TtreeFixture
{
    TmenuFixture()
    {
        opts().customIp = {QStringLiteral("10.9.8.7"), QStringLiteral("10.9.8.6")};
        TvfsSettings s = tree->settings();
        s.filesStayFlaggedForMinutes = 0;
        tree->setSettings(s);
        QApplication::clipboard()->setText(QStringLiteral("text only"));
    }
    void select(const QList<Tfile *> &nodes)
    {
        view.clearSelection();
        if (nodes.isEmpty())
            return;
        view.selectNode(nodes.first());
        for (Tfile *f : nodes.mid(1))
            view.revealNode(f)->setSelected(true);
    }
    QStringList offered(bool expert)
    {
        opts().easy = !expert;
        return offeredCaptions(view.menu());
    }
    TvfsTreeView view;
};

} // namespace

TEST(VfsTreeMenu, OffersBySelectionAndMode)
{
    TmenuFixture fx;
    const QString add = QStringLiteral("Add files...,Add folder from disk...");

    fx.select({});
    EXPECT_EQ(fx.offered(false).join(u','), add + ",New empty folder,Properties...");
    EXPECT_EQ(fx.offered(true).join(u','), add + ",New empty folder,New link,Properties...");

    fx.select({fx.tree->root()});
    EXPECT_EQ(fx.offered(false).join(u','), add + ",New empty folder,Copy URL address,Set user/pass...,Properties...");
    EXPECT_EQ(fx.offered(true).join(u','),
              add + ",New empty folder,New link,Copy URL address,Copy URL with different host address,Browse it,"
                    "Set user/pass...,Purge...,Bind root to real-folder,Default point to add files,Properties...");

    fx.select({fx.file});
    EXPECT_EQ(fx.offered(false).join(u','),
              add + ",Remove,Rename,Copy URL address,Open it,Set user/pass...,Properties...");
    EXPECT_EQ(fx.offered(true).join(u','),
              add + ",Remove,Rename,Edit resource...,Copy URL address,Copy URL with different host address,"
                    "Browse it,Open it,Set user/pass...,Purge...,Properties...");

    // Several nodes: what needs one node goes.
    fx.select({fx.file, fx.pub});
    EXPECT_EQ(fx.offered(false).join(u','), add + ",Remove,Copy URL address,Set user/pass...,Properties...");
    EXPECT_EQ(fx.offered(true).join(u','),
              add + ",Remove,Copy URL address,Copy URL with different host address,Set user/pass...,Purge...,"
                    "Properties...");

    // The "new" flag entries follow their option; a user set offers its reset.
    TvfsSettings s = fx.tree->settings();
    s.filesStayFlaggedForMinutes = 10;
    fx.tree->setSettings(s);
    fx.file->user = QStringLiteral("u");
    fx.select({fx.file});
    const QStringList easy = fx.offered(false);
    EXPECT_TRUE(easy.contains("Reset <new> flag")); // just added: new
    EXPECT_FALSE(easy.contains("Flag as new"));
    EXPECT_TRUE(easy.contains("Reset user/pass"));
}

TEST(VfsTreeMenu, PasteIsOfferedWithFilesOnTheClipboard)
{
    TmenuFixture fx;
    fx.select({fx.pub});
    EXPECT_FALSE(fx.offered(false).contains("Paste"));
    auto *data = new QMimeData;
    fx.writeFile(QStringLiteral("pasted.txt"));
    data->setUrls({QUrl::fromLocalFile(fx.diskPath(QStringLiteral("pasted.txt")))});
    QApplication::clipboard()->setMimeData(data);
    EXPECT_TRUE(fx.offered(false).contains("Paste"));
    TpromptScope ask;
    menuAction(fx.view.menu(), QStringLiteral("Paste"))->trigger();
    ASSERT_EQ(fx.pub->children().size(), 2);
    EXPECT_EQ(fx.pub->children().last()->name, "pasted.txt");
}

TEST(VfsTreeMenu, CopyCommands)
{
    TmenuFixture fx;
    opts().easy = false;
    // The focused node first, one URL per line.
    fx.select({fx.file, fx.pub});
    menuAction(fx.view.menu(), QStringLiteral("Copy URL address"))->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), fx.file->fullURL() + "\r\n" + fx.pub->fullURL());

    QAction *hosts = menuAction(fx.view.menu(), QStringLiteral("Copy URL with different host address"));
    ASSERT_TRUE(hosts && hosts->menu());
    Q_EMIT hosts->menu()->aboutToShow();
    QAction *other = nullptr;
    for (QAction *a : hosts->menu()->actions())
        if (a->text() == "10.9.8.6")
            other = a;
    ASSERT_TRUE(other);
    other->trigger();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied, fx.file->fullURL("10.9.8.6") + "\r\n" + fx.pub->fullURL("10.9.8.6"));
    EXPECT_TRUE(copied.startsWith("http://10.9.8.6"));

    // A name from the accounts that may reach the node: its URL with password.
    Taccount bob;
    bob.user = QStringLiteral("bob");
    bob.pwd = QStringLiteral("secret");
    Taccounts::global().list = {bob};
    fx.pub->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    fx.select({fx.inner});
    QAction *withPassword = menuAction(fx.view.menu(), QStringLiteral("Copy URL with password"));
    ASSERT_TRUE(withPassword && withPassword->menu());
    Q_EMIT withPassword->menu()->aboutToShow();
    ASSERT_EQ(withPassword->menu()->actions().size(), 1);
    EXPECT_EQ(withPassword->menu()->actions().first()->text(), "bob");
    withPassword->menu()->actions().first()->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), fx.inner->fullURL(QString(), "bob", "secret"));
}

TEST(VfsTreeMenu, DefaultAddPointAndProperties)
{
    TmenuFixture fx;
    TpromptScope ask;
    opts().easy = false;
    fx.select({fx.pub});
    menuAction(fx.view.menu(), QStringLiteral("Default point to add files"))->trigger();
    EXPECT_EQ(opts().addToFolder, fx.pub->url());
    EXPECT_EQ(ask.prompt->asked, (QStringList{"!Ok"}));

    QList<Tfile *> asked;
    QObject::connect(&fx.view, &TvfsTreeView::propertiesRequested, [&](const QList<Tfile *> &n) { asked = n; });
    fx.select({fx.pub, fx.file});
    menuAction(fx.view.menu(), QStringLiteral("Properties..."))->trigger();
    EXPECT_EQ(asked, (QList<Tfile *>{fx.pub, fx.file}));

    // Alt with a left click on a node asks for them too.
    asked.clear();
    fx.view.resize(300, 300);
    fx.view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fx.view));
    const QPoint onInner = fx.view.visualItemRect(fx.view.revealNode(fx.inner)).center();
    QTest::mouseClick(fx.view.viewport(), Qt::LeftButton, Qt::AltModifier, onInner);
    EXPECT_EQ(asked, (QList<Tfile *>{fx.inner}));
    QTest::mouseClick(fx.view.viewport(), Qt::LeftButton, {}, onInner);
    EXPECT_EQ(asked, (QList<Tfile *>{fx.inner}));
}

TEST(VfsTreeMenu, BrowseRule)
{
    EXPECT_EQ(browseUrl("http://10.0.0.5:8080/pub/a%20b.txt", false, true, "8080"),
              "http://localhost:8080/pub/a%20b.txt");
    EXPECT_EQ(browseUrl("https://example.org/", false, true, "81"), "http://localhost:81/");
    EXPECT_EQ(browseUrl("http://10.0.0.5/x", false, false, "80"), "http://10.0.0.5/x");
    EXPECT_EQ(browseUrl("ftp://files.example/x", true, true, "80"), "ftp://files.example/x");
}

TEST(VfsTreeTooltip, LinesAndMarks)
{
    TtreeFixture fx;
    fx.pub->accounts[FA_ACCESS] = {QStringLiteral("@anyone")};
    fx.pub->flags.set(FA_HIDDENTREE);
    fx.pub->comment = QStringLiteral("first line\rsecond line that is long");
    fx.inner->comment = QStringLiteral("exactly thirty characters long");

    const QStringList pub = vfsTooltipLines(*fx.pub, false);
    EXPECT_EQ(pub.first(), "URL: " + fx.pub->url());
    EXPECT_TRUE(pub.contains("Access for: @anyone"));
    EXPECT_TRUE(pub.contains("Invisible"));
    EXPECT_TRUE(pub.contains("Comment: first line second line that i..."));

    const QStringList inner = vfsTooltipLines(*fx.inner, true);
    EXPECT_EQ(inner.first(), "Drag your files here");
    EXPECT_TRUE(inner.contains("Access for: @anyone [inherited]"));
    EXPECT_TRUE(inner.contains("Invisible [inherited]"));
    EXPECT_TRUE(inner.contains("Path: " + fx.inner->resource));
    EXPECT_TRUE(inner.contains("Size: 4"));
    EXPECT_TRUE(inner.contains("Downloads: 0"));
    EXPECT_TRUE(inner.contains("Comment: exactly thirty characters long"));
    // A virtual folder has no path; a file no folder lines.
    EXPECT_FALSE(std::any_of(pub.begin(), pub.end(), [](const QString &l) { return l.startsWith("Path:"); }));
    EXPECT_FALSE(inner.contains("Not browsable"));

    EXPECT_EQ(tooltipOneLine(QString(31, u'x')), QString(29, u'x') + "...");
    EXPECT_EQ(tooltipOneLine(QString(30, u'x')), QString(30, u'x'));
}

TEST(VfsTreeTooltip, ShownOverTheNode)
{
    TtreeFixture fx;
    fx.file->flags.set(FA_DONT_LOG);
    opts().hints4newcomers = false;
    TvfsTreeView view;
    view.resize(300, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QPoint at = view.visualItemRect(view.itemOf(fx.file)).center();
    EXPECT_EQ(view.tooltipAt(at), vfsTooltipLines(*fx.file, false).join(u'\n'));
    EXPECT_TRUE(view.tooltipAt(at).contains("\nDon't log"));
    QHelpEvent help(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view.viewport(), &help);
    EXPECT_EQ(QToolTip::text(), view.tooltipAt(at));
    // Over empty space only the hint, when hints are on.
    const QPoint below(5, 290);
    EXPECT_EQ(view.tooltipAt(below), "");
    opts().hints4newcomers = true;
    EXPECT_EQ(view.tooltipAt(below), "Drag your files here");
}
