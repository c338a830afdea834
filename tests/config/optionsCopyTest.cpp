// The options window's working copies: loading, the checks in their order,
// saving, and the account helpers.
#include "config/options.h"
#include "config/optionsCopy.h"
#include "qtPrinters.h"
#include "vfs/file.h"
#include "vfs/vfs.h"

#include <gtest/gtest.h>

namespace {

Taccount copyTestAccount(const QString &name, const QStringList &link = {}, bool group = false)
{
    Taccount a;
    a.user = name;
    a.link = link;
    a.group = group;
    return a;
}

QStringList copyTestBanMasks(const QList<TbanRow> &rows)
{
    QStringList out;
    for (const TbanRow &r : rows)
        out += r.mask;
    return out;
}

} // namespace

TEST(OptionsCopy, LoadShowsStoredValuesAndMissingBuiltInMimePairs)
{
    Toptions o;
    o.banList = {Tban{QStringLiteral("1.2.3.4"), QStringLiteral("spam")}};
    o.mimeTypes = {QStringLiteral("*.gif"), QStringLiteral("image/x-mine")};
    o.trayMessage = QStringLiteral("a\r\nb\rc");
    o.address2name = {QStringLiteral("office"), QStringLiteral("10.0.0.*")};
    Taccounts live;
    live.list = {copyTestAccount(QStringLiteral("bob"))};
    const ToptionsCopy c = ToptionsCopy::load(o, live);
    ASSERT_EQ(c.bans.size(), 1);
    EXPECT_EQ(c.bans[0].comment, QStringLiteral("spam"));
    EXPECT_EQ(c.accounts.list[0].wasUser, QStringLiteral("bob"));
    EXPECT_EQ(c.trayMessage, QStringLiteral("a\nb\nc"));
    ASSERT_EQ(c.address2name.size(), 1);
    EXPECT_EQ(c.address2name[0].mask, QStringLiteral("10.0.0.*"));
    // The stored pair first; of the built-in ones, only the first eleven and
    // only those whose mask is not stored.
    EXPECT_EQ(c.mimeTypes.mid(0, 2), o.mimeTypes);
    EXPECT_EQ(c.mimeTypes.size(), 2 + 2 * (Toptions::restoredMimePairs - 1));
    EXPECT_EQ(c.mimeTypes.count(QStringLiteral("*.gif")), 1);
    EXPECT_FALSE(c.mimeTypes.contains(QStringLiteral("*.mp4")));
}

TEST(OptionsCopy, ChecksStopAtTheFirstFailureInTheirOrder)
{
    ToptionsCopy c;
    c.bans = {{QStringLiteral(" 1.1.1.1 "), {}}, {QStringLiteral("bad mask!!"), {}}, {QStringLiteral("1.1.1.1"), {}}};
    c.address2name = {{QStringLiteral("x"), QStringLiteral("also bad!!")}};
    c.accounts.list = {copyTestAccount(QStringLiteral("a;b"))};
    // Bans go from the last row: the duplicate is found before the syntax error.
    EXPECT_EQ(c.check(), QStringLiteral("Bans: \"1.1.1.1\" is duplicated"));
    c.bans.removeLast();
    EXPECT_EQ(c.check(), QStringLiteral("Bans: syntax error for \"bad mask!!\""));
    c.bans.removeLast();
    EXPECT_EQ(c.check(), QStringLiteral("Address2name: syntax error for \"also bad!!\""));
    c.address2name[0].mask = QStringLiteral("10.*");
    EXPECT_EQ(c.check(), MSG_INVALID_USERNAME);
    c.accounts.list = {copyTestAccount(QStringLiteral("ann")), copyTestAccount(QStringLiteral("ANN"))};
    EXPECT_EQ(c.check(), MSG_USERNAME_USED);
    c.accounts.list[1].user = QStringLiteral("bob");
    c.accounts.list[1].pwd = QStringLiteral("a|b");
    EXPECT_EQ(c.check(), invalidPasswordMessage());
    c.accounts.list[1].pwd = QStringLiteral("secret");
    EXPECT_EQ(c.check(), QString());
}

TEST(OptionsCopy, CheckDeletesEmptyNameRowsOnly)
{
    ToptionsCopy c;
    c.address2name = {{QString(), QStringLiteral("  ")}, {QStringLiteral("named"), QString()},
                      {QStringLiteral("lan"), QStringLiteral("192.168.*")}};
    EXPECT_EQ(c.check(), QString());
    ASSERT_EQ(c.address2name.size(), 2);
    EXPECT_EQ(c.address2name[0].name, QStringLiteral("named"));
}

TEST(OptionsCopy, SaveDropsEmptyMasksAndCarriesRenamesIntoTheTree)
{
    Toptions o;
    Taccounts live;
    live.list = {copyTestAccount(QStringLiteral("bob")), copyTestAccount(QStringLiteral("eve"))};
    Tvfs tree;
    tree.setAccounts(&live);
    Tfile *pub = tree.add(Tfile::createVirtualFolder(QStringLiteral("pub")));
    pub->accounts[FA_ACCESS] = {QStringLiteral("bob"), QStringLiteral("eve")};

    ToptionsCopy c = ToptionsCopy::load(o, live);
    c.bans = {{QStringLiteral(" 5.5.5.5 "), QString()}, {QString(), QStringLiteral("no mask")}};
    c.noReplyBan = true;
    c.address2name = {{QStringLiteral("nameless"), QString()}, {QStringLiteral("lan"), QStringLiteral("10.*")}};
    c.trayMessage = QStringLiteral("one\ntwo");
    c.iconMasks = {{QStringLiteral(" *.txt "), 3}, {QStringLiteral("  "), 4}};
    ASSERT_TRUE(c.accounts.rename(QStringLiteral("bob"), QStringLiteral("robert")));
    c.accounts.list.removeAt(1); // eve
    ASSERT_EQ(c.check(), QString());
    tree.setModified(false);
    c.save(o, live, tree);

    ASSERT_EQ(o.banList.size(), 1);
    EXPECT_EQ(o.banList[0], (Tban{QStringLiteral("5.5.5.5"), QString()}));
    EXPECT_TRUE(o.noReplyBan);
    EXPECT_EQ(o.address2name, (QStringList{"lan", "10.*"}));
    EXPECT_EQ(o.trayMessage, QStringLiteral("one\rtwo"));
    ASSERT_EQ(o.iconMasks.size(), 1);
    EXPECT_EQ(o.iconMasks[0].mask, QStringLiteral("*.txt"));
    EXPECT_EQ(tree.settings().iconMasks.size(), 1);
    ASSERT_EQ(live.list.size(), 1);
    EXPECT_EQ(live.list[0].wasUser, QStringLiteral("robert"));
    EXPECT_EQ(pub->accounts[FA_ACCESS], QStringList{"robert"});
    EXPECT_TRUE(tree.isModified());
}

TEST(OptionsCopy, OrphanedPermissionsAreListsLeftWithoutAnyAccount)
{
    Taccounts live;
    live.list = {copyTestAccount(QStringLiteral("bob")), copyTestAccount(QStringLiteral("eve"))};
    Tvfs tree;
    tree.setAccounts(&live);
    Tfile *a = tree.add(Tfile::createVirtualFolder(QStringLiteral("a")));
    Tfile *b = tree.add(Tfile::createVirtualFolder(QStringLiteral("b")));
    a->accounts[FA_DELETE] = {QStringLiteral("eve")};
    b->accounts[FA_ACCESS] = {QStringLiteral("@anonymous"), QStringLiteral("eve")};
    ToptionsCopy c = ToptionsCopy::load(Toptions(), live);
    EXPECT_TRUE(c.orphanedPermissions(tree).isEmpty());
    c.accounts.rename(QStringLiteral("eve"), QStringLiteral("eva"));
    EXPECT_TRUE(c.orphanedPermissions(tree).isEmpty()) << "a rename carries the name";
    c.accounts.list.removeAt(1);
    EXPECT_EQ(c.orphanedPermissions(tree), QStringList{QStringLiteral("/a/ (delete)")});
}

TEST(OptionsCopy, BanMasksSortPieceByPiece)
{
    EXPECT_LT(compareBanMasks(QStringLiteral("10.0.0.9"), QStringLiteral("10.0.0.10")), 0);
    // A piece that is not a number: the shorter first, then by text.
    EXPECT_LT(compareBanMasks(QStringLiteral("10.0.0.*"), QStringLiteral("10.0.0.12")), 0);
    EXPECT_GT(compareBanMasks(QStringLiteral("10.0.b"), QStringLiteral("10.0.a")), 0);
    EXPECT_LT(compareBanMasks(QStringLiteral("10.0.0"), QStringLiteral("10.0.0.1")), 0);
    EXPECT_EQ(compareBanMasks(QStringLiteral("1.2"), QStringLiteral("1.2")), 0);
    QList<TbanRow> rows = {{QStringLiteral("10.0.0.10"), QStringLiteral("x")},
                           {QStringLiteral("9.*"), {}},
                           {QStringLiteral("10.0.0.9"), {}},
                           {QStringLiteral("ab.c"), {}}};
    sortBanRows(rows);
    EXPECT_EQ(copyTestBanMasks(rows), (QStringList{"9.*", "10.0.0.9", "10.0.0.10", "ab.c"}));
    EXPECT_EQ(rows[2].comment, QStringLiteral("x"));
}

TEST(OptionsCopy, AccountHelpers)
{
    Taccounts acc;
    EXPECT_EQ(newAccountName(acc), QStringLiteral("new user"));
    acc.list += copyTestAccount(newAccountName(acc));
    acc.list += copyTestAccount(newAccountName(acc));
    acc.list += copyTestAccount(newAccountName(acc));
    EXPECT_EQ(acc.accountNames(true, true), (QStringList{"new user", "new user (2)", "new user (3)"}));

    acc.list = {copyTestAccount(QStringLiteral("b")), copyTestAccount(QStringLiteral("C")),
                copyTestAccount(QStringLiteral("a"))};
    sortAccounts(acc.list);
    EXPECT_EQ(acc.accountNames(true, true), (QStringList{"a", "b", "C"}));
    sortAccounts(acc.list);
    EXPECT_EQ(acc.accountNames(true, true), (QStringList{"C", "b", "a"}));
    sortAccounts(acc.list);
    EXPECT_EQ(acc.accountNames(true, true), (QStringList{"a", "b", "C"}));

    acc.list += copyTestAccount(QStringLiteral("staff"), {}, true);
    EXPECT_EQ(missingLinkedUsers(acc, {QStringLiteral("STAFF"), QStringLiteral(" ghost "), QString(), QStringLiteral("a")}),
              QStringList{"ghost"});
}

TEST(OptionsCopy, ProtectedResourcesNameTheActionsAndTheGroups)
{
    Taccounts acc;
    acc.list = {copyTestAccount(QStringLiteral("bob"), {QStringLiteral("team")}),
                copyTestAccount(QStringLiteral("team"), {QStringLiteral("staff")}, true),
                copyTestAccount(QStringLiteral("staff"), {}, true)};
    Tvfs tree;
    tree.setAccounts(&acc);
    Tfile *docs = tree.add(Tfile::createVirtualFolder(QStringLiteral("docs")));
    Tfile *open = tree.add(Tfile::createVirtualFolder(QStringLiteral("open")));
    tree.add(Tfile::createVirtualFolder(QStringLiteral("other")))->accounts[FA_ACCESS] = {QStringLiteral("eve")};
    docs->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    docs->accounts[FA_DELETE] = {QStringLiteral("staff")};
    open->accounts[FA_UPLOAD] = {QStringLiteral("@any account")};
    const QList<TprotectedResource> r = protectedResources(tree, acc, acc.list[0]);
    ASSERT_EQ(r.size(), 2);
    EXPECT_EQ(r[0].node, docs);
    EXPECT_EQ(r[0].text, QStringLiteral("docs [Access, Delete via staff]"));
    EXPECT_EQ(r[1].text, QStringLiteral("open [Upload]"));
    // A disabled group breaks the chain through it.
    acc.list[1].enabled = false;
    EXPECT_EQ(protectedResources(tree, acc, acc.list[0])[0].text, QStringLiteral("docs [Access]"));
}

TEST(OptionsCopy, CredentialsChecksInOrder)
{
    EXPECT_EQ(checkCredentials(QStringLiteral("a:b"), QStringLiteral("x|y"), QString()), MSG_INVALID_USERNAME);
    const QString pwdMessage = checkCredentials(QStringLiteral("ann"), QStringLiteral("x|y"), QString());
    EXPECT_TRUE(pwdMessage.startsWith(QStringLiteral("The characters below are not allowed\r/\\:?*\"<>|;&&@")))
        << pwdMessage.toStdString();
    EXPECT_EQ(checkCredentials(QString(), QStringLiteral("pw"), QStringLiteral("pw")), MSG_USER_MANDATORY);
    EXPECT_EQ(checkCredentials(QStringLiteral("ann"), QStringLiteral("pw"), QStringLiteral("pW")), MSG_PASSWORDS_DIFFER);
    EXPECT_EQ(checkCredentials(QStringLiteral("ann"), QStringLiteral("pw"), QStringLiteral("pw")), QString());
    EXPECT_EQ(checkCredentials(QString(), QString(), QString()), QString()) << "clearing the pair";
    EXPECT_EQ(checkCredentials(QStringLiteral("ann"), QString(), QString()), QString());
}
