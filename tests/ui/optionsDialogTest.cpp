// The options window: its checks and messages in order, what saving does,
// the account list's commands, the pages the mode offers.
#include "config/options.h"
#include "http/speedLimiter.h"
#include "log/log.h"
#include "serve/serve.h"
#include "dialogTestTools.h"
#include "qtPrinters.h"
#include "ui/mainWindow.h"
#include "ui/optionsDialog.h"
#include "ui/optionsDialogAccountsPage.h"
#include "ui/optionsDialogAddress2namePage.h"
#include "ui/optionsDialogBansPage.h"
#include "ui/optionsDialogIconMasksPage.h"
#include "ui/optionsDialogMimePage.h"
#include "ui/optionsDialogTrayMessagePage.h"
#include "ui/vfsTreeView.h"
#include "vfs/treeAdd.h"
#include "vfsTreeTestTools.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

namespace {

Taccount optionsTestAccount(const QString &name)
{
    Taccount a;
    a.user = name;
    return a;
}

QStringList shownAccounts(const TaccountsPage *p)
{
    QStringList out;
    for (int i = 0; i < p->list->count(); ++i)
        out += p->list->item(i)->text();
    return out;
}

void setBanRows(TbansPage *p, const QList<QPair<QString, QString>> &rows)
{
    p->grid->showRows(rows);
}

} // namespace

TEST(OptionsDialog, ChecksStopTheSaveWithTheFirstErrorInOrder)
{
    Tservices services;
    opts().easy = false;
    opts().banList = {Tban{QStringLiteral("9.9.9.9"), QStringLiteral("old")}};
    TrecordingPrompt rec;
    ToptionsDialog d(nullptr, &rec);
    d.load();
    d.show();
    setBanRows(d.bans, {{QStringLiteral("1.1.1.1"), {}}, {QStringLiteral("bad!!"), {}}, {QStringLiteral(" 1.1.1.1"), {}}});
    d.address2name->grid->showRows({{QStringLiteral("x"), QStringLiteral("nope!!")}});
    d.accounts->addAccount();
    d.accounts->pwdBox->setText(QStringLiteral("a|b"));

    d.okButton->click();
    EXPECT_EQ(rec.asked.value(0), QStringLiteral("!Bans: \"1.1.1.1\" is duplicated"));
    EXPECT_TRUE(d.isVisible()) << "OK closes only after a save";
    setBanRows(d.bans, {{QStringLiteral("1.1.1.1"), {}}, {QStringLiteral("bad!!"), {}}});
    d.applyButton->click();
    EXPECT_EQ(rec.asked.value(1), QStringLiteral("!Bans: syntax error for \"bad!!\""));
    setBanRows(d.bans, {{QStringLiteral("1.1.1.1"), QStringLiteral("spam")}, {QString(), QStringLiteral("dropped")}});
    d.applyButton->click();
    EXPECT_EQ(rec.asked.value(2), QStringLiteral("!Address2name: syntax error for \"nope!!\""));
    d.address2name->grid->setCell(0, 1, QStringLiteral("10.*"));
    d.applyButton->click();
    EXPECT_EQ(rec.asked.value(3), u'!' + invalidPasswordMessage());
    // Nothing was saved by the failed attempts, and the rows stay as typed.
    EXPECT_EQ(opts().banList.size(), 1);
    EXPECT_EQ(opts().banList[0].ip, QStringLiteral("9.9.9.9"));
    EXPECT_TRUE(Taccounts::global().list.isEmpty());
    EXPECT_EQ(d.bans->grid->rowCount(), 2);

    d.accounts->pwdBox->setText(QStringLiteral("secret"));
    d.okButton->click();
    EXPECT_EQ(rec.asked.size(), 4) << rec.asked.join(u'|').toStdString();
    EXPECT_FALSE(d.isVisible());
    ASSERT_EQ(opts().banList.size(), 1);
    EXPECT_EQ(opts().banList[0], (Tban{QStringLiteral("1.1.1.1"), QStringLiteral("spam")}));
    EXPECT_EQ(opts().address2name, (QStringList{"x", "10.*"}));
    ASSERT_EQ(Taccounts::global().list.size(), 1);
    EXPECT_EQ(Taccounts::global().list[0].user, QStringLiteral("new user"));
    EXPECT_EQ(Taccounts::global().list[0].pwd, QStringLiteral("secret"));
}

TEST(OptionsDialog, SavingWritesEveryPageAndCancelWritesNothing)
{
    Tservices services;
    opts().easy = false;
    TrecordingPrompt rec;
    ToptionsDialog d(nullptr, &rec);
    d.load();
    d.bans->noReplyBox->setChecked(true);
    d.mime->grid->showRows({{QStringLiteral("*.x"), QStringLiteral("text/x")}});
    d.mime->inBrowserBox->setChecked(true);
    d.trayMessage->textBox->setPlainText(QStringLiteral("v%version%\nline two"));
    d.iconMasks->textBox->setPlainText(QStringLiteral("*.txt\n\n*.doc"));
    // The drop-down assigns an image to the line under the caret.
    QTextCursor c(d.iconMasks->textBox->document()->findBlockByNumber(2));
    d.iconMasks->textBox->setTextCursor(c);
    d.iconMasks->imageBox->setCurrentIndex(5);
    Q_EMIT d.iconMasks->imageBox->activated(5);

    const Toptions before = opts();
    d.cancelButton->click();
    EXPECT_EQ(opts().noReplyBan, before.noReplyBan);
    EXPECT_EQ(opts().mimeTypes, before.mimeTypes);
    EXPECT_EQ(opts().trayMessage, before.trayMessage);

    bool savedCalled = false;
    d.saved = [&savedCalled] { savedCalled = true; };
    d.applyButton->click();
    EXPECT_TRUE(rec.asked.isEmpty()) << rec.asked.join(u'|').toStdString();
    EXPECT_TRUE(savedCalled);
    EXPECT_TRUE(opts().noReplyBan);
    EXPECT_TRUE(opts().inBrowserIfMime);
    EXPECT_EQ(opts().mimeTypes, (QStringList{"*.x", "text/x"}));
    EXPECT_EQ(opts().trayMessage, QStringLiteral("v%version%\rline two"));
    ASSERT_EQ(opts().iconMasks.size(), 2);
    EXPECT_EQ(opts().iconMasks[0].index, 0);
    EXPECT_EQ(opts().iconMasks[1].mask, QStringLiteral("*.doc"));
    EXPECT_EQ(opts().iconMasks[1].index, 5);
    EXPECT_EQ(Tvfs::instance().settings().iconMasks.size(), 2);

    // Loaded again: the stored values come back, the drop-down follows the caret.
    d.load();
    EXPECT_EQ(d.trayMessage->textBox->toPlainText(), QStringLiteral("v%version%\nline two"));
    d.iconMasks->textBox->setTextCursor(QTextCursor(d.iconMasks->textBox->document()->findBlockByNumber(1)));
    EXPECT_EQ(d.iconMasks->imageBox->currentData().toInt(), 5);
    // The preview shows the symbols replaced, line by line.
    const QString preview = d.trayMessage->preview->text();
    EXPECT_TRUE(preview.startsWith(u'v') && !preview.contains(QStringLiteral("%version%"))) << preview.toStdString();
    EXPECT_TRUE(preview.endsWith(QStringLiteral("\nline two"))) << preview.toStdString();
}

TEST(OptionsDialog, BansPageSortsAndExplains)
{
    Tservices services;
    TrecordingPrompt rec;
    ToptionsDialog d(nullptr, &rec);
    d.load();
    setBanRows(d.bans, {{QStringLiteral("10.0.0.10"), QStringLiteral("ten")},
                        {QStringLiteral("10.0.0.9"), QStringLiteral("nine")}});
    d.bans->sortButton->click();
    EXPECT_EQ(d.bans->grid->cell(0, 0), QStringLiteral("10.0.0.9"));
    EXPECT_EQ(d.bans->grid->cell(0, 1), QStringLiteral("nine"));
    d.bans->grid->setCurrentCell(0, 0);
    d.bans->addButton->click();
    EXPECT_EQ(d.bans->grid->rowCount(), 3);
    EXPECT_EQ(d.bans->grid->currentRow(), 1);
    d.bans->deleteButton->click();
    EXPECT_EQ(d.bans->grid->rowCount(), 2);
    d.bans->invertHelpButton->click();
    ASSERT_EQ(rec.asked.size(), 1);
    EXPECT_TRUE(rec.asked[0].startsWith(QStringLiteral("!Normal behavior of the Ban")));
    EXPECT_TRUE(rec.asked[0].contains(QStringLiteral("\\192.168.*;1.1.1.1")));
}

TEST(OptionsDialog, AccountListCommands)
{
    Tservices services;
    opts().easy = false;
    Taccounts::global().list = {optionsTestAccount(QStringLiteral("bob")), optionsTestAccount(QStringLiteral("eve"))};
    Taccounts::global().list[1].link = {QStringLiteral("bob")};
    TrecordingPrompt rec;
    ToptionsDialog d(nullptr, &rec);
    d.load();
    TaccountsPage *p = d.accounts;

    for (int i = 0; i < 3; ++i)
        p->addButton->click();
    EXPECT_EQ(shownAccounts(p), (QStringList{"bob", "eve", "new user", "new user (2)", "new user (3)"}));
    EXPECT_EQ(p->selected(), 4);
    EXPECT_TRUE(p->enabledBox->isChecked());
    EXPECT_FALSE(p->groupBox->isChecked());
    EXPECT_FALSE(p->noLimitsBox->isChecked());

    // Renaming: refused names come back, an accepted one follows in the links.
    p->select(0);
    EXPECT_FALSE(p->renameSelected(QStringLiteral("a:b")));
    EXPECT_FALSE(p->renameSelected(QStringLiteral("EVE")));
    EXPECT_EQ(rec.asked, (QStringList{"!Invalid username", "!Username already used"}));
    EXPECT_EQ(p->list->item(0)->text(), QStringLiteral("bob"));
    EXPECT_TRUE(p->renameSelected(QStringLiteral("robert")));
    EXPECT_EQ(p->working().list[1].link, QStringList{"robert"});
    // The in-place edit of the list does the same.
    p->list->item(0)->setText(QStringLiteral("new user"));
    EXPECT_EQ(rec.asked.last(), QStringLiteral("!Username already used"));
    EXPECT_EQ(p->list->item(0)->text(), QStringLiteral("robert"));

    // Delete asks; No keeps, Yes removes and the selection stays in place.
    rec.asked.clear();
    p->select(2);
    rec.answers = {PB_NO, PB_YES};
    p->deleteButton->click();
    EXPECT_EQ(p->list->count(), 5);
    p->deleteButton->click();
    EXPECT_EQ(rec.asked, (QStringList{"?Delete?", "?Delete?"}));
    EXPECT_EQ(shownAccounts(p), (QStringList{"robert", "eve", "new user (2)", "new user (3)"}));
    EXPECT_EQ(p->selected(), 2);
    p->select(3);
    rec.answers = {PB_YES};
    p->deleteAccount();
    EXPECT_EQ(p->selected(), 2) << "the last one is selected after the last went";

    // Up and down swap with the neighbour.
    p->select(0);
    p->downButton->click();
    EXPECT_EQ(shownAccounts(p), (QStringList{"eve", "robert", "new user (2)"}));
    EXPECT_EQ(p->selected(), 1);
    p->upButton->click();
    EXPECT_EQ(shownAccounts(p).first(), QStringLiteral("robert"));
    p->upButton->click(); // already first: nothing moves
    EXPECT_EQ(shownAccounts(p).first(), QStringLiteral("robert"));
    // A drop of one account onto another swaps them.
    p->list->swapRequested(0, 2);
    EXPECT_EQ(shownAccounts(p), (QStringList{"new user (2)", "eve", "robert"}));
    EXPECT_EQ(p->selected(), 2);

    // Sort: ascending, then descending when already ascending.
    p->sortButton->click();
    EXPECT_EQ(shownAccounts(p), (QStringList{"eve", "new user (2)", "robert"}));
    p->sortButton->click();
    EXPECT_EQ(shownAccounts(p), (QStringList{"robert", "new user (2)", "eve"}));
    EXPECT_EQ(p->list->currentItem()->text(), p->working().list.at(p->selected()).user);

    // Keys: a letter goes to the next name starting with it, wrapping.
    p->select(0);
    QTest::keyClick(p->list, Qt::Key_E);
    EXPECT_EQ(p->selected(), 2);
    QTest::keyClick(p->list, Qt::Key_R);
    EXPECT_EQ(p->selected(), 0);
    QTest::keyClick(p->list, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(shownAccounts(p).at(1), QStringLiteral("robert"));
    rec.answers = {PB_NO};
    QTest::keyClick(p->list, Qt::Key_Delete);
    EXPECT_EQ(rec.asked.last(), QStringLiteral("?Delete?"));
    QTest::keyClick(p->list, Qt::Key_Insert);
    EXPECT_EQ(p->list->count(), 4);
}

TEST(OptionsDialog, AccountPropertiesLinksAndProtectedResources)
{
    TtreeFixture fx;
    opts().easy = false;
    Taccount staff = optionsTestAccount(QStringLiteral("staff"));
    staff.group = true;
    Taccounts::global().list = {optionsTestAccount(QStringLiteral("bob")), staff};
    fx.pub->accounts[FA_ACCESS] = {QStringLiteral("staff")};
    fx.file->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    TrecordingPrompt rec;
    ToptionsDialog d(nullptr, &rec);
    d.load();
    TaccountsPage *p = d.accounts;
    ASSERT_EQ(p->resources->topLevelItemCount(), 1);
    EXPECT_EQ(p->resources->topLevelItem(0)->text(0), QStringLiteral("notes.txt [Access]"));

    p->linkBox->setText(QStringLiteral("staff;ghost;phantom"));
    Q_EMIT p->linkBox->editingFinished();
    EXPECT_EQ(rec.asked, QStringList{QStringLiteral(
                             "!Cannot find these linked usernames: ghost, phantom\rThis is abnormal, but you may add them later.")});
    QStringList lines;
    QTreeWidgetItem *pubLine = nullptr;
    for (int i = 0; i < p->resources->topLevelItemCount(); ++i) {
        lines += p->resources->topLevelItem(i)->text(0);
        if (lines.last().startsWith(QStringLiteral("pub ")))
            pubLine = p->resources->topLevelItem(i);
    }
    lines.sort();
    EXPECT_EQ(lines, (QStringList{"notes.txt [Access]", "pub [Access via staff]"}));
    ASSERT_TRUE(pubLine);
    Tfile *picked = nullptr;
    p->selectNode = [&picked](Tfile *f) { picked = f; };
    Q_EMIT p->resources->itemDoubleClicked(pubLine, 0);
    EXPECT_EQ(picked, fx.pub);

    // The redirection box turns red while it names no item.
    p->redirBox->setText(QStringLiteral("/pub/"));
    EXPECT_FALSE(p->redirBox->property("unknownItem").toBool());
    p->redirBox->setText(QStringLiteral("/nothing-here/"));
    EXPECT_TRUE(p->redirBox->property("unknownItem").toBool());
    p->redirBox->setText(QString());

    // "Choose..." offers the groups (not the account itself) with the current ones checked.
    QStringList offered;
    whenModal<QDialog>([&offered](QDialog *chooser) {
        EXPECT_EQ(chooser->windowTitle(), QStringLiteral("Select groups"));
        auto *groups = chooser->findChild<QListWidget *>();
        ASSERT_TRUE(groups);
        for (int i = 0; i < groups->count(); ++i) {
            offered += groups->item(i)->text() + QChar(groups->item(i)->checkState() == Qt::Checked ? u'+' : u'-');
            groups->item(i)->setCheckState(Qt::Unchecked);
        }
        chooser->accept();
    });
    rec.asked.clear();
    p->chooseButton->click();
    EXPECT_EQ(offered, QStringList{"staff+"});
    EXPECT_TRUE(p->linkBox->text().isEmpty());
    EXPECT_TRUE(rec.asked.isEmpty()) << "nothing missing any more";
    p->linkBox->setText(QStringLiteral("staff;ghost;phantom"));

    p->notesBox->setPlainText(QStringLiteral("a note"));
    p->noLimitsBox->setChecked(true);
    p->select(1); // leaving the account keeps what was typed
    p->select(0);
    EXPECT_EQ(p->notesBox->toPlainText(), QStringLiteral("a note"));
    d.applyButton->click();
    const Taccount *bob = Taccounts::global().getAccount(QStringLiteral("bob"));
    ASSERT_TRUE(bob);
    EXPECT_TRUE(bob->noLimits);
    EXPECT_EQ(bob->link, (QStringList{"staff", "ghost", "phantom"}));
    EXPECT_EQ(bob->notes, QStringLiteral("a note"));
}

TEST(OptionsDialog, RenamesReachTheTreeAndOrphanedListsWarn)
{
    TtreeFixture fx;
    opts().easy = false;
    Taccounts::global().list = {optionsTestAccount(QStringLiteral("bob")), optionsTestAccount(QStringLiteral("eve"))};
    fx.pub->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    fx.file->accounts[FA_ACCESS] = {QStringLiteral("eve")};
    TrecordingPrompt rec;
    ToptionsDialog d(nullptr, &rec);
    d.load();
    d.accounts->select(0);
    ASSERT_TRUE(d.accounts->renameSelected(QStringLiteral("robert")));
    d.accounts->select(1);
    rec.answers = {PB_YES, PB_NO};
    d.accounts->deleteAccount();
    // The file's list would name nobody: the operator may stop the save.
    d.applyButton->click();
    ASSERT_EQ(rec.asked.size(), 2);
    EXPECT_TRUE(rec.asked[1].startsWith(QStringLiteral("?These permissions would name no existing account")));
    EXPECT_TRUE(rec.asked[1].contains(QStringLiteral("/notes.txt (access)")));
    EXPECT_EQ(Taccounts::global().list.size(), 2) << "declined: nothing saved";
    EXPECT_EQ(fx.pub->accounts[FA_ACCESS], QStringList{"bob"});

    rec.answers = {PB_YES};
    d.applyButton->click();
    EXPECT_EQ(Taccounts::global().accountNames(true, true), QStringList{"robert"});
    EXPECT_EQ(fx.pub->accounts[FA_ACCESS], QStringList{"robert"});
    // A second apply carries no stale rename.
    rec.asked.clear();
    d.applyButton->click();
    EXPECT_EQ(rec.asked.size(), 1) << "the orphaned list is still reported";
    EXPECT_EQ(fx.pub->accounts[FA_ACCESS], QStringList{"robert"});
}

TEST(OptionsDialog, PagesFollowTheModeAndTheOpeningPage)
{
    Tservices services;
    opts().easy = true;
    opts().mimeTypes = {QStringLiteral("*.gif"), QStringLiteral("image/x-mine")};
    opts().address2name = {QStringLiteral("lan"), QStringLiteral("192.168.*"), QStringLiteral("me"),
                           QStringLiteral("127.0.0.1")};
    TrecordingPrompt rec;
    ToptionsDialog d(nullptr, &rec);
    d.load();
    EXPECT_TRUE(d.tabs->isTabVisible(OP_BANS));
    EXPECT_FALSE(d.tabs->isTabVisible(OP_ACCOUNTS));
    EXPECT_FALSE(d.tabs->isTabVisible(OP_MIME));
    EXPECT_FALSE(d.tabs->isTabVisible(OP_ADDRESS2NAME));
    EXPECT_TRUE(d.tabs->isTabVisible(OP_ICON_MASKS));
    d.setPage(OP_ADDRESS2NAME);
    EXPECT_EQ(d.page(), OP_ADDRESS2NAME);
    EXPECT_TRUE(d.tabs->isTabVisible(OP_ADDRESS2NAME));

    // From the log: the matching row, searched from the last, or a new one.
    EXPECT_EQ(d.address2name->focusAddress(QStringLiteral("192.168.1.5")), 0);
    EXPECT_EQ(d.address2name->focusAddress(QStringLiteral("127.0.0.1")), 1);
    EXPECT_EQ(d.address2name->focusAddress(QStringLiteral("8.8.8.8")), 2);
    EXPECT_EQ(d.address2name->grid->cell(2, 1), QStringLiteral("8.8.8.8"));
    // A row with a name only is dropped on save; one with neither is deleted by the check.
    d.address2name->grid->setCell(2, 0, QStringLiteral("named"));
    d.address2name->grid->setCell(2, 1, QString());
    d.address2name->grid->showRows(d.address2name->grid->rowsShown() << qMakePair(QString(), QString()));
    d.applyButton->click();
    EXPECT_EQ(d.address2name->grid->rowCount(), 3);
    EXPECT_EQ(opts().address2name.size(), 4);

    // MIME page: stored pairs first, then the built-in ones missing.
    EXPECT_EQ(d.mime->grid->rowCount(), Toptions::restoredMimePairs);
    EXPECT_EQ(d.mime->grid->cell(0, 1), QStringLiteral("image/x-mine"));
}

TEST(OptionsDialog, Screenshot)
{
    TtreeFixture fx;
    opts().easy = false;
    Taccounts::global().list = {optionsTestAccount(QStringLiteral("bob"))};
    fx.pub->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    opts().banList = {Tban{QStringLiteral("10.0.0.*"), QStringLiteral("lab")}};
    ToptionsDialog d;
    d.load();
    d.setPage(OP_ACCOUNTS);
    const QString path = saveScreenshot(&d, QStringLiteral("optionsDialog"));
    ASSERT_FALSE(path.isEmpty());
    const QImage shot(path);
    EXPECT_EQ(shot.size(), d.size());
    d.setPage(OP_BANS);
    EXPECT_FALSE(saveScreenshot(&d, QStringLiteral("optionsDialogBans")).isEmpty());
}

TEST(OptionsDialog, OpenedFromTheWindow)
{
    TtreeFixture fx;
    opts().easy = true;
    Taccounts::global().list = {optionsTestAccount(QStringLiteral("bob"))};
    fx.pub->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    TmainWindow w;
    // Modal as the options say; the page asked for is current even when the mode hides it.
    opts().modalOptions = true;
    bool seen = false;
    whenModal<ToptionsDialog>([&seen](ToptionsDialog *d) {
        seen = true;
        EXPECT_EQ(d->page(), OP_ACCOUNTS);
        EXPECT_TRUE(d->tabs->isTabVisible(OP_ACCOUNTS));
        d->cancelButton->click();
    });
    ToptionsDialog *d = showOptionsDialog(&w, OP_ACCOUNTS);
    EXPECT_TRUE(seen);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->isVisible());

    // Otherwise it stays open beside the window, the same one again.
    opts().modalOptions = false;
    EXPECT_EQ(showOptionsDialog(&w, OP_BANS), d);
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->isModal());
    EXPECT_FALSE(d->tabs->isTabVisible(OP_ACCOUNTS)) << "easy mode again";
    // A protected resource double-clicked is selected in the tree.
    d->accounts->select(0);
    ASSERT_EQ(d->accounts->resources->topLevelItemCount(), 1);
    Q_EMIT d->accounts->resources->itemDoubleClicked(d->accounts->resources->topLevelItem(0), 0);
    EXPECT_EQ(w.tree()->focusedNode(), fx.pub);
    d->close();
}

TEST(OptionsDialog, SavingDisconnectsTheNewlyBanned)
{
    setLogToStderr(false);
    QTemporaryDir dir;
    {
        Tservices services;
        opts().port = QStringLiteral("0");
        opts().listenOn = QStringLiteral("127.0.0.1");
        opts().banList.clear();
        QFile f(dir.filePath(QStringLiteral("big.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(800000, 'b'));
        f.close();
        TtreeAdder(Tvfs::instance()).addFile(Tfile::create(f.fileName()), Tvfs::instance().root(), true);
        ASSERT_TRUE(serve().startServer());
        serve().globalLimiter().setLimit(50000); // slow: the download is still running at the save
        QTcpSocket client;
        client.connectToHost(QStringLiteral("127.0.0.1"), serve().listeningPort().toUShort());
        ASSERT_TRUE(client.waitForConnected(3000));
        client.write("GET /big.bin HTTP/1.1\r\nHost: test\r\n\r\n");
        ASSERT_TRUE(QTest::qWaitFor([&client] { return client.bytesAvailable() > 0; }, 5000));

        TrecordingPrompt rec;
        ToptionsDialog d(nullptr, &rec);
        d.load();
        d.bans->grid->showRows({{QStringLiteral("10.*"), {}}});
        d.applyButton->click();
        QTest::qWait(200);
        EXPECT_EQ(client.state(), QAbstractSocket::ConnectedState) << "an address the bans do not name stays";
        d.bans->grid->showRows({{QStringLiteral("10.*"), {}}, {QStringLiteral("127.0.0.1"), QStringLiteral("go away")}});
        d.applyButton->click();
        EXPECT_TRUE(rec.asked.isEmpty());
        EXPECT_TRUE(QTest::qWaitFor([&client] {
            client.readAll();
            return client.state() == QAbstractSocket::UnconnectedState;
        }, 5000));
        serve().globalLimiter().setLimit(TspeedLimiter::unlimited);
    }
    setLogToStderr(true);
}
