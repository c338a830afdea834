// Account names, the users of nodes, and carrying account edits into the tree.

#include "vfsTestTools.h"

#include "vfs/account.h"
#include "vfs/usersInVFS.h"
#include "vfs/vfs.h"

namespace {

TEST(Accounts, NameRules)
{
    const struct {
        const char *name;
        bool valid;
    } cases[] = {
        {"bob", true},          {"Bob Smith", true}, {"@home", true},    {"", false},
        {"a/b", false},         {"a\\b", false},     {"a:b", false},     {"a?b", false},
        {"a*b", false},         {"a<b", false},      {"a>b", false},     {"a|b", false},
        {"a;b", false},         {"a&b", false},      {"a\"b", false},    {"a{.b", false},
        {"a.}b", false},        {"a{:b", false},     {"a:}b", false},    {"a\rb", false},
        {"a\nb", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(validUsername(c.name), c.valid) << c.name;
    EXPECT_TRUE(validUsername(QString(40, u'x')));
    EXPECT_FALSE(validUsername(QString(41, u'x')));
    EXPECT_TRUE(validPassword(""));
    EXPECT_FALSE(validPassword("a;b"));
    EXPECT_EQ(invalidPasswordMessage(),
              "Invalid password.\rThe characters below are not allowed\r/\\:?*\"<>|;&&@");
}

TEST(Accounts, LookupAndEditorChecks)
{
    Taccounts accs;
    Taccount bob;
    bob.user = "Bob";
    Taccount staff;
    staff.user = "staff";
    staff.group = true;
    Taccount carl;
    carl.user = "carl";
    carl.link = {"staff", "bob"};
    accs.list = {bob, staff, carl};

    EXPECT_EQ(accs.getAccount("BOB")->user, "Bob");
    EXPECT_EQ(accs.getAccount(""), nullptr);
    EXPECT_EQ(accs.getAccount("staff"), nullptr); // a group only when asked for
    EXPECT_EQ(accs.getAccount("STAFF", true)->user, "staff");
    EXPECT_EQ(accs.accountNames(true, false), QStringList({"Bob", "carl"}));
    EXPECT_EQ(accs.accountNames(false, true), QStringList({"staff"}));
    EXPECT_EQ(accs.accountNames(true, true), QStringList({"Bob", "staff", "carl"}));

    EXPECT_EQ(accs.checkNewName("bob"), MSG_USERNAME_USED);
    EXPECT_EQ(accs.checkNewName("Staff"), MSG_USERNAME_USED);
    EXPECT_EQ(accs.checkNewName("a;b"), MSG_INVALID_USERNAME);
    EXPECT_EQ(accs.checkNewName("dave"), "");
    EXPECT_EQ(accs.checkNewName("BOB", accs.getAccount("bob")), ""); // its own name

    EXPECT_FALSE(accs.rename("bob", "carl"));
    ASSERT_TRUE(accs.rename("bob", "robert"));
    EXPECT_EQ(accs.getAccount("carl")->link, QStringList({"staff", "robert"}));
}

TEST(Accounts, SearchThroughGroups)
{
    Taccounts accs;
    const auto add = [&accs](const QString &name, QStringList links, bool group, bool enabled = true) {
        Taccount a;
        a.user = name;
        a.link = std::move(links);
        a.group = group;
        a.enabled = enabled;
        accs.list.append(a);
    };
    add("bob", {"g1", "missing", "g2"}, false);
    add("g1", {"g3", "G2"}, true);
    add("g2", {"g1"}, true);
    add("g3", {"bob"}, true);
    accs.list[3].redir = "/welcome";
    add("off", {"g3"}, false, false);

    QStringList visited;
    const auto record = [&visited](const Taccount &a) {
        visited << a.user;
        return false;
    };
    EXPECT_EQ(accs.searchAccountAndGroups(accs.getAccount("bob"), record), nullptr);
    // Breadth-first, every record once although the groups form cycles.
    EXPECT_EQ(visited, QStringList({"bob", "g1", "g2", "g3"}));

    const auto hasRedir = [](const Taccount &a) { return !a.redir.isEmpty(); };
    const Taccount *found = accs.searchAccountAndGroups(accs.getAccount("bob"), hasRedir);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->user, "g3");
    EXPECT_EQ(accs.searchAccountAndGroups(accs.getAccount("off", false), hasRedir), nullptr);
    EXPECT_EQ(accs.searchAccountAndGroups(nullptr, hasRedir), nullptr);
    accs.getAccount("g1", true)->enabled = false;
    EXPECT_EQ(accs.searchAccountAndGroups(accs.getAccount("bob"), hasRedir), nullptr); // g3 only via g1
}

TEST(Accounts, ListMembership)
{
    const QStringList unsorted = {"zed", "@anyone", "Bob", "ann"};
    EXPECT_TRUE(inList("bob", unsorted));
    EXPECT_TRUE(inList("ZED", unsorted));
    EXPECT_TRUE(inList("@ANYONE", unsorted));
    EXPECT_FALSE(inList("bo", unsorted));
    EXPECT_FALSE(inList("", unsorted));
    QStringList l = unsorted;
    sortAccountList(l);
    EXPECT_EQ(l.indexOf("ann"), l.indexOf("Bob") - 1);
    EXPECT_LT(l.indexOf("Bob"), l.indexOf("zed"));
}

TEST(Accounts, UsersInVFS)
{
    TusersInVFS u;
    EXPECT_TRUE(u.empty());
    u.track("", "x"); // ignored
    EXPECT_TRUE(u.empty());
    u.track("joe", "a");
    u.track("JOE", "b");
    u.track("joe", "a");
    EXPECT_TRUE(u.match("Joe", "a"));
    EXPECT_TRUE(u.match("joe", "b"));
    EXPECT_FALSE(u.match("joe", "A")); // passwords compare exactly
    u.drop("joe", "a");
    EXPECT_TRUE(u.match("joe", "a")); // one of the two nodes still has it
    u.drop("joe", "a");
    EXPECT_FALSE(u.match("joe", "a"));
    u.drop("joe", "b");
    EXPECT_TRUE(u.empty());
    u.track("x", "y");
    u.reset();
    EXPECT_FALSE(u.match("x", "y"));
}

TEST(Accounts, PurgeCarriesRenamesAndDeletions)
{
    Taccounts accs;
    Taccount renamed;
    renamed.user = "robert";
    renamed.wasUser = "bob";
    Taccount ann;
    ann.user = "ann";
    ann.wasUser = "ann";
    accs.list = {renamed, ann};

    Tvfs vfs;
    vfs.setAccounts(&accs);
    QStringList logged;
    vfs.setLogger([&logged](const QString &s) { logged << s; });
    Tfile *a = vfs.add(Tfile::createVirtualFolder("a"));
    Tfile *b = vfs.add(Tfile::createVirtualFolder("b"));
    Tfile *c = vfs.add(Tfile::createVirtualFolder("c"));
    a->accounts[FA_ACCESS] = {"zoe", "BOB", "gone", "@anyone", "*legacy", ""};
    b->accounts[FA_UPLOAD] = {"gone"};
    c->accounts[FA_DELETE] = {"ann"};
    vfs.setModified(false);

    EXPECT_TRUE(vfs.purgeVFSaccounts());
    EXPECT_TRUE(vfs.isModified());
    QStringList expected = {"robert", "@anyone", "*legacy"};
    sortAccountList(expected);
    EXPECT_EQ(a->accounts[FA_ACCESS], expected);
    // Emptying b's list would open it to its parent's rule: the stale name stays.
    EXPECT_EQ(b->accounts[FA_UPLOAD], QStringList({"gone"}));
    EXPECT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.value(0).contains("/b/"));
    EXPECT_EQ(c->accounts[FA_DELETE], QStringList({"ann"}));

    vfs.setModified(false);
    EXPECT_FALSE(vfs.purgeVFSaccounts()); // nothing left to do
    EXPECT_FALSE(vfs.isModified());
}

} // namespace
