// The properties window: values shared or "(more values)", the tabs each
// kind of node gets, and only the changed fields written.
#include "config/options.h"
#include "dialogTestTools.h"
#include "qtPrinters.h"
#include "ui/mainWindow.h"
#include "ui/propertiesDialog.h"
#include "ui/propertiesDialogPermissions.h"
#include "ui/vfsTreeView.h"
#include "vfsTreeTestTools.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace {

QStringList tabCaptions(const QTabWidget *t)
{
    QStringList out;
    for (int i = 0; i < t->count(); ++i)
        out += t->tabText(i);
    return out;
}

Taccount propsTestAccount(const QString &name)
{
    Taccount a;
    a.user = name;
    return a;
}

QListWidgetItem *accountItem(TpermissionsTab *t, const QString &name)
{
    for (int i = 0; i < t->accountList->count(); ++i)
        if (t->accountList->item(i)->text() == name)
            return t->accountList->item(i);
    return nullptr;
}

// A real folder over a sub-folder of the fixture's scratch folder.
Tfile *addRealFolder(TtreeFixture &fx)
{
    QDir(fx.dir.path()).mkdir(QStringLiteral("disk"));
    return fx.tree->add(Tfile::create(fx.diskPath(QStringLiteral("disk"))));
}

} // namespace

TEST(PropertiesDialog, TitleTabsAndSharedValues)
{
    TtreeFixture fx;
    opts().easy = false;
    fx.file->comment = QStringLiteral("about the file");
    fx.pub->comment = QStringLiteral("about pub");
    fx.file->realm = fx.pub->realm = QStringLiteral("same realm");
    {
        TpropertiesDialog d(nullptr, {fx.file, fx.pub});
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Properties for notes.txt, pub"));
        EXPECT_EQ(d.commentBox->toPlainText(), MORE_VALUES);
        EXPECT_EQ(d.commentBox->toolTip(), QStringLiteral("about the file\nabout pub"));
        EXPECT_EQ(d.realmBox->text(), QStringLiteral("same realm"));
        EXPECT_EQ(tabCaptions(d.pages),
                  (QStringList{"Permissions", "Flags", "Diff template", "Comment", "File masks", "Other"}));
        // A folder is selected: the delete tab; no real folder: no upload tab.
        EXPECT_EQ(tabCaptions(d.permissionTabs), (QStringList{"Access", "Delete"}));
        // Fields that apply to no selected node are disabled.
        EXPECT_FALSE(d.uploadFilterBox->isEnabled());
        EXPECT_TRUE(d.filesFilterBox->isEnabled());
        EXPECT_TRUE(d.dontCountBox->isEnabled());
    }
    {
        Tfile *disk = addRealFolder(fx);
        ASSERT_TRUE(disk);
        TpropertiesDialog d(nullptr, {fx.file, fx.pub, disk});
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Properties for notes.txt, pub, ..."));
        EXPECT_EQ(tabCaptions(d.permissionTabs), (QStringList{"Access", "Delete", "Upload"}));
        EXPECT_TRUE(d.uploadFilterBox->isEnabled());
    }
    {
        TpropertiesDialog d(nullptr, {fx.file});
        EXPECT_EQ(tabCaptions(d.pages), (QStringList{"Permissions", "Flags", "Comment", "Other"}));
        EXPECT_EQ(d.commentBox->toPlainText(), QStringLiteral("about the file"));
        EXPECT_FALSE(d.browsableBox->isEnabled());
        EXPECT_FALSE(d.diffTplBox->isEnabled());
        EXPECT_TRUE(d.iconBox->isEnabled());
    }
    {
        TpropertiesDialog d(nullptr, {fx.tree->root()});
        EXPECT_FALSE(d.iconBox->isEnabled()) << "the root alone has no icon of its own";
        EXPECT_FALSE(d.hiddenBox->isEnabled());
    }
    // Easy mode hides the comment and masks pages, the realm and four boxes.
    opts().easy = true;
    TpropertiesDialog d(nullptr, {fx.file, fx.pub});
    EXPECT_EQ(tabCaptions(d.pages), (QStringList{"Permissions", "Flags", "Diff template", "Other"}));
    EXPECT_TRUE(d.browsableBox->isHidden());
    EXPECT_TRUE(d.dontLogBox->isHidden());
    EXPECT_FALSE(d.archivableBox->isHidden());
}

TEST(PropertiesDialog, MixedSelectionWritesOnlyChangedFields)
{
    TtreeFixture fx;
    opts().easy = false;
    Taccounts::global().list = {propsTestAccount(QStringLiteral("bob")), propsTestAccount(QStringLiteral("eve"))};
    fx.file->comment = QStringLiteral("c1");
    fx.pub->comment = QStringLiteral("c2");
    fx.file->flags.set(FA_HIDDEN);
    fx.file->flags.set(FA_DONT_LOG);
    fx.pub->flags.set(FA_DONT_LOG);
    fx.file->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    fx.pub->accounts[FA_ACCESS] = {QStringLiteral("eve")};
    fx.pub->accounts[FA_DELETE] = {QStringLiteral("eve")};
    fx.file->icon = 3;
    fx.pub->icon = 7;
    TrecordingPrompt rec;
    TpropertiesDialog d(nullptr, {fx.file, fx.pub}, &rec);
    EXPECT_EQ(d.hiddenBox->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(d.dontLogBox->checkState(), Qt::Checked);
    EXPECT_EQ(d.archivableBox->checkState(), Qt::Unchecked);
    TpermissionsTab *access = d.permissions[FA_ACCESS];
    ASSERT_TRUE(access);
    EXPECT_EQ(accountItem(access, QStringLiteral("bob"))->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(accountItem(access, QStringLiteral("eve"))->checkState(), Qt::PartiallyChecked);

    // Nothing changed: nothing written.
    fx.tree->setModified(false);
    const TnodeProperties none = d.changes();
    EXPECT_FALSE(none.comment || none.realm || none.hidden || none.icon || none.accounts[0] || none.accounts[1]);
    EXPECT_TRUE(none.dontLog) << "a box neither mixed nor disabled is written as shown";

    // Only the realm and the archivable box change.
    d.realmBox->setText(QStringLiteral("new realm"));
    d.archivableBox->setCheckState(Qt::Checked);
    d.dontLogBox->setCheckState(Qt::Unchecked);
    d.applyButton->click();
    for (Tfile *f : {fx.file, fx.pub})
        EXPECT_EQ(f->realm, QStringLiteral("new realm"));
    EXPECT_EQ(fx.file->comment, QStringLiteral("c1"));
    EXPECT_EQ(fx.pub->comment, QStringLiteral("c2"));
    EXPECT_TRUE(fx.file->flags.has(FA_HIDDEN));
    EXPECT_FALSE(fx.pub->flags.has(FA_HIDDEN));
    EXPECT_FALSE(fx.file->flags.has(FA_DONT_LOG));
    EXPECT_FALSE(fx.pub->flags.has(FA_DONT_LOG));
    EXPECT_TRUE(fx.pub->flags.has(FA_ARCHIVABLE));
    EXPECT_FALSE(fx.file->flags.has(FA_ARCHIVABLE)) << "archivable applies to folders only";
    EXPECT_EQ(fx.file->accounts[FA_ACCESS], QStringList{"bob"});
    EXPECT_EQ(fx.pub->accounts[FA_ACCESS], QStringList{"eve"});
    EXPECT_EQ(fx.file->icon, 3);
    EXPECT_EQ(fx.pub->icon, 7);
    EXPECT_TRUE(fx.tree->isModified());
    // After applying, the window shows the nodes again.
    EXPECT_EQ(d.realmBox->text(), QStringLiteral("new realm"));

    // A comment typed over "(more values)" goes to both; the access tab changed goes to both.
    d.commentBox->setPlainText(QStringLiteral("one comment"));
    access->anyoneBox->setCheckState(Qt::Checked);
    d.okButton->click();
    EXPECT_EQ(fx.file->comment, QStringLiteral("one comment"));
    EXPECT_EQ(fx.pub->comment, QStringLiteral("one comment"));
    EXPECT_EQ(fx.file->accounts[FA_ACCESS], QStringList{"@anyone"});
    EXPECT_EQ(fx.pub->accounts[FA_ACCESS], QStringList{"@anyone"});
    EXPECT_EQ(fx.pub->accounts[FA_DELETE], QStringList{"eve"}) << "the delete tab was not touched";
    EXPECT_TRUE(rec.asked.isEmpty());
}

TEST(PropertiesDialog, PermissionTabBoxes)
{
    TtreeFixture fx;
    Taccounts::global().list = {propsTestAccount(QStringLiteral("bob")), propsTestAccount(QStringLiteral("eve"))};
    TrecordingPrompt rec;
    TpropertiesDialog d(nullptr, {fx.pub}, &rec);
    TpermissionsTab *t = d.permissions[FA_ACCESS];
    EXPECT_FALSE(t->changed());
    t->anyAccountBox->setChecked(true);
    EXPECT_FALSE(t->accountList->isEnabled());
    EXPECT_TRUE(t->anonymousBox->isEnabled());
    t->anyAccountBox->setChecked(false);
    t->anyoneBox->setChecked(true);
    EXPECT_FALSE(t->accountList->isEnabled());
    EXPECT_FALSE(t->anonymousBox->isEnabled());
    EXPECT_FALSE(t->anyAccountBox->isEnabled());
    EXPECT_FALSE(t->newAccountButton->isEnabled());
    t->anyoneBox->setChecked(false);
    EXPECT_TRUE(t->accountList->isEnabled());
    EXPECT_FALSE(t->changed()) << "back as loaded";

    // "All / None" flips the first and the others follow.
    accountItem(t, QStringLiteral("eve"))->setCheckState(Qt::Checked);
    t->allNoneButton->click();
    EXPECT_EQ(t->names(), (QStringList{"bob", "eve"}));
    t->allNoneButton->click();
    EXPECT_TRUE(t->names().isEmpty());

    // "New account": a taken name is refused and asked again.
    QStringList offered;
    QList<std::pair<QString, QString>> typed = {{QStringLiteral("BOB"), QStringLiteral("x")},
                                                {QStringLiteral("zed"), QStringLiteral("pw")}};
    t->askNewAccount = [&](const QString &user) -> std::optional<std::pair<QString, QString>> {
        offered += user;
        return typed.takeFirst();
    };
    t->newAccountButton->click();
    EXPECT_EQ(offered, (QStringList{"", "BOB"}));
    EXPECT_EQ(rec.asked, QStringList{"!Username already exists"});
    const Taccount *zed = Taccounts::global().getAccount(QStringLiteral("zed"));
    ASSERT_TRUE(zed);
    EXPECT_EQ(zed->pwd, QStringLiteral("pw"));
    EXPECT_TRUE(zed->enabled);
    EXPECT_EQ(t->names(), QStringList{"zed"});
    d.applyButton->click();
    EXPECT_EQ(fx.pub->accounts[FA_ACCESS], QStringList{"zed"});
}

TEST(PropertiesDialog, Screenshot)
{
    TtreeFixture fx;
    opts().easy = false;
    Taccounts::global().list = {propsTestAccount(QStringLiteral("bob"))};
    fx.pub->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    fx.file->comment = QStringLiteral("a file");
    TpropertiesDialog d(nullptr, {fx.file, fx.pub});
    const QString path = saveScreenshot(&d, QStringLiteral("propertiesDialog"));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(QImage(path).size(), d.size());
}

TEST(PropertiesDialog, OpenWindowEndsARenameInTheTree)
{
    TtreeFixture fx;
    TmainWindow w;
    w.tree()->editName(fx.file);
    ASSERT_TRUE(w.tree()->editingName());
    auto *editor = w.tree()->viewport()->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    editor->setText(QStringLiteral("renamed.txt"));
    bool editingAfter = true;
    whenModal<TpropertiesDialog>([&](TpropertiesDialog *d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Properties for pub"));
        QTest::qWait(1300);
        editingAfter = w.tree()->editingName();
        d->reject();
    });
    showPropertiesDialog(&w, {fx.pub});
    EXPECT_FALSE(editingAfter);
    EXPECT_EQ(fx.file->name, QStringLiteral("renamed.txt")) << "what was typed is kept";
}
