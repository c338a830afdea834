// The tree view over the program's tree: it follows the changes made by the
// operations layer, renames in place with F2, removes with Del after the
// question, copies URLs, takes dropped files, and its focus leads the URL
// box and the target of handed-over files.
#include "vfsTreeTestTools.h"

#include "app/serveWiring.h"
#include "config/options.h"
#include "ui/mainWindow.h"
#include "ui/vfsTreeView.h"
#include "vfs/treeAdd.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

namespace {

QStringList childTexts(QTreeWidgetItem *item)
{
    QStringList out;
    for (int i = 0; i < item->childCount(); ++i)
        out << item->child(i)->text(0);
    return out;
}

// Shows the window and makes it active, so that keys reach the tree.
void showActive(TmainWindow &w)
{
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.tree()->setFocus();
}

// Waits until `done` holds (queued work has run), at most a second.
template<class F>
bool eventually(F done)
{
    return QTest::qWaitFor(done, 1000);
}

} // namespace

TEST(VfsTreeView, FollowsTheTree)
{
    TtreeFixture fx;
    TvfsTreeView view;
    QTreeWidgetItem *root = view.itemOf(fx.tree->root());
    ASSERT_TRUE(root);
    EXPECT_EQ(view.topLevelItem(0), root);
    // Folders first, then the rest by name.
    EXPECT_EQ(childTexts(root), (QStringList{"pub", "notes.txt"}));
    EXPECT_FALSE(root->child(0)->icon(0).isNull());
    // A folder not yet expanded has no items below it, but shows it could.
    QTreeWidgetItem *pub = view.itemOf(fx.pub);
    EXPECT_EQ(pub->childCount(), 0);
    EXPECT_EQ(pub->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    pub->setExpanded(true);
    EXPECT_EQ(childTexts(pub), (QStringList{"inner.txt"}));

    // A folder added through the operations layer appears in its place.
    Tfile *docs = TtreeAdder(*fx.tree).addFile(Tfile::createVirtualFolder("docs"), nullptr, true);
    ASSERT_TRUE(docs);
    EXPECT_EQ(childTexts(root), (QStringList{"docs", "pub", "notes.txt"}));
    // The addition selects it.
    EXPECT_EQ(view.focusedNode(), docs);
    EXPECT_EQ(view.selectedNodes(), (QList<Tfile *>{docs}));

    // A rename moves the item where the new name sorts.
    docs->setName(QStringLiteral("zeta"));
    EXPECT_EQ(childTexts(root), (QStringList{"pub", "zeta", "notes.txt"}));
    EXPECT_EQ(view.itemOf(docs)->text(0), "zeta");
    EXPECT_TRUE(view.itemOf(docs)->isSelected()); // the selection survives the move

    // A move carries the item with what is below it.
    ASSERT_TRUE(fx.tree->moveTo(fx.pub, docs));
    EXPECT_EQ(childTexts(root), (QStringList{"zeta", "notes.txt"}));
    QTreeWidgetItem *moved = view.revealNode(fx.inner);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->parent()->text(0), "pub");
    EXPECT_EQ(moved->parent()->parent(), view.itemOf(docs));

    // Removal takes the items of the whole subtree.
    ASSERT_TRUE(fx.tree->remove(docs));
    EXPECT_EQ(childTexts(root), (QStringList{"notes.txt"}));
    EXPECT_FALSE(view.itemOf(fx.inner));

    fx.tree->resetVFS();
    ASSERT_EQ(view.topLevelItemCount(), 1);
    EXPECT_EQ(view.topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(view.nodeOf(view.topLevelItem(0)), fx.tree->root());
}

TEST(VfsTreeView, RenameInPlaceWithF2)
{
    TtreeFixture fx;
    TpromptScope ask;
    TmainWindow w;
    TvfsTreeView &view = *w.tree();
    showActive(w);

    view.selectNode(fx.file);
    QTest::keyClick(&view, Qt::Key_F2);
    auto *editor = view.viewport()->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Readme.txt"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(eventually([&] { return fx.file->name == "Readme.txt"; })) << qPrintable(fx.file->name);
    EXPECT_EQ(view.itemOf(fx.file)->text(0), "Readme.txt");
    // The URL box follows the name.
    EXPECT_EQ(w.urlBox()->text(), fx.file->fullURL());
    EXPECT_TRUE(w.urlBox()->text().endsWith("/Readme.txt"));

    // A name a file cannot have is refused, and the item shows the old one.
    QTest::keyClick(&view, Qt::Key_F2);
    editor = view.viewport()->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("a:b"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(eventually([&] { return ask.prompt->asked.contains("!Invalid filename"); }));
    EXPECT_EQ(fx.file->name, "Readme.txt");
    EXPECT_EQ(view.itemOf(fx.file)->text(0), "Readme.txt");

    // The root's name is not editable.
    view.selectNode(fx.tree->root());
    QTest::keyClick(&view, Qt::Key_F2);
    EXPECT_FALSE(view.editingName());
    EXPECT_FALSE(view.viewport()->findChild<QLineEdit *>() && view.viewport()->findChild<QLineEdit *>()->isVisible());
}

TEST(VfsTreeView, DeleteKeyRemovesAfterTheQuestion)
{
    TtreeFixture fx;
    TpromptScope ask;
    TmainWindow w;
    TvfsTreeView &view = *w.tree();
    showActive(w);

    view.selectNode(fx.pub);
    ask.prompt->answers = {PB_NO};
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(ask.prompt->asked, (QStringList{"?Delete?"}));
    EXPECT_TRUE(fx.pub->isInTree());
    EXPECT_TRUE(view.itemOf(fx.pub));

    ask.prompt->answers = {PB_YES};
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(ask.prompt->asked.size(), 2);
    EXPECT_EQ(fx.tree->root()->children().size(), 1);
    EXPECT_FALSE(view.itemOf(fx.pub));
    EXPECT_EQ(childTexts(view.itemOf(fx.tree->root())), (QStringList{"notes.txt"}));

    // While a name is edited, Del belongs to the text.
    view.selectNode(fx.file);
    QTest::keyClick(&view, Qt::Key_F2);
    auto *editor = view.viewport()->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    editor->setCursorPosition(0);
    QTest::keyClick(editor, Qt::Key_Delete);
    EXPECT_EQ(editor->text(), "otes.txt");
    EXPECT_EQ(ask.prompt->asked.size(), 2);
    QTest::keyClick(editor, Qt::Key_Escape);
    // Once the editing ends the key removes again.
    ask.prompt->answers = {PB_YES};
    QTest::keyClick(&view, Qt::Key_Delete);
    // (the node is gone with its memory: only the tree can be asked)
    EXPECT_TRUE(fx.tree->root()->children().isEmpty());
}

TEST(VfsTreeView, InsertMakesAFolderAndOpensItsName)
{
    TtreeFixture fx;
    TpromptScope ask;
    TmainWindow w;
    TvfsTreeView &view = *w.tree();
    showActive(w);
    view.selectNode(fx.pub);
    QTest::keyClick(&view, Qt::Key_Insert);
    ASSERT_EQ(fx.pub->children().size(), 2);
    Tfile *made = view.focusedNode();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->name, "New folder");
    EXPECT_EQ(made->parent(), fx.pub);
    EXPECT_TRUE(view.editingName());
}

TEST(VfsTreeView, DoubleClickCopiesTheFullUrl)
{
    TtreeFixture fx;
    TvfsTreeView view;
    view.resize(300, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QApplication::clipboard()->setText(QStringLiteral("before"));
    const QRect r = view.visualItemRect(view.itemOf(fx.file));
    ASSERT_TRUE(r.isValid());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(QApplication::clipboard()->text(), fx.file->fullURL());
    EXPECT_TRUE(fx.file->fullURL().startsWith("http"));
}

TEST(VfsTreeView, FilesDroppedFromTheDesktopAreAdded)
{
    TtreeFixture fx;
    TpromptScope ask;
    fx.writeFile(QStringLiteral("dropped.bin"));
    TvfsTreeView view;
    view.resize(300, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(fx.diskPath(QStringLiteral("dropped.bin")))});
    const QPoint onPub = view.visualItemRect(view.itemOf(fx.pub)).center();
    QDragEnterEvent enter(onPub, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(onPub), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view.viewport(), &drop);
    ASSERT_EQ(fx.pub->children().size(), 2);
    Tfile *added = view.focusedNode();
    ASSERT_TRUE(added);
    EXPECT_EQ(added->name, "dropped.bin");
    EXPECT_EQ(added->parent(), fx.pub);
    EXPECT_TRUE(view.itemOf(added));

    // Something that is no file of this machine is not taken.
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("http://example.invalid/x"))});
    QDragEnterEvent refused(onPub, Qt::CopyAction, &web, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view.viewport(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST(VfsTreeView, HandedOverFilesGoToTheFocusedNode)
{
    TtreeFixture fx;
    TpromptScope ask;
    fx.writeFile(QStringLiteral("handed.txt"));
    TvfsTreeView view;
    view.selectNode(fx.pub);
    addHandedPaths({fx.diskPath(QStringLiteral("handed.txt"))});
    ASSERT_EQ(fx.pub->children().size(), 2);
    EXPECT_EQ(fx.pub->children().last()->name, "inner.txt");
    EXPECT_EQ(fx.pub->children().first()->name, "handed.txt");

    // Nothing focused: the root.
    fx.writeFile(QStringLiteral("second.txt"));
    view.clearSelection();
    addHandedPaths({fx.diskPath(QStringLiteral("second.txt"))});
    bool atRoot = false;
    for (const TfilePtr &c : fx.tree->root()->children())
        atRoot = atRoot || c->name == "second.txt";
    EXPECT_TRUE(atRoot);
}

TEST(VfsTreeView, UrlBoxFollowsTheFocusedNode)
{
    TtreeFixture fx;
    TmainWindow w;
    EXPECT_EQ(w.urlBox()->text(), fx.tree->root()->fullURL());
    w.tree()->selectNode(fx.inner);
    EXPECT_EQ(w.urlBox()->text(), fx.inner->fullURL());
    w.tree()->clearSelection();
    EXPECT_EQ(w.urlBox()->text(), fx.tree->root()->fullURL());

    // A new tree: the box shows its root, whatever was selected.
    w.tree()->selectNode(fx.inner);
    fx.tree->resetVFS();
    EXPECT_FALSE(w.tree()->focusedNode());
    EXPECT_EQ(w.urlBox()->text(), fx.tree->root()->fullURL());
}
