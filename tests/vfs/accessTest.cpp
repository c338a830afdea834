// Permission decisions: access through lists, per-node users and accounts;
// upload and delete rights.

#include "vfsTestTools.h"

#include "vfs/account.h"
#include "vfs/permissions.h"
#include "vfs/vfs.h"

namespace {

Taccount account(const QString &name, const QString &pwd, QStringList links = {}, bool group = false)
{
    Taccount a;
    a.user = name;
    a.pwd = pwd;
    a.link = std::move(links);
    a.group = group;
    return a;
}

class Access : public ::testing::Test {
protected:
    void SetUp() override
    {
        accounts.list = {
            account("bob", "pw", {"team"}),
            account("ann", "pw2"),
            account("off", "pw3", {"staff"}),
            account("team", "", {"staff"}, true),
            account("staff", "", {}, true),
            account("loop1", "", {"loop2"}, true),
            account("loop2", "", {"loop1"}, true),
            account("cy", "pw", {"loop1"}),
        };
        accounts.getAccount("off")->enabled = false;
        vfs.setAccounts(&accounts);
        a = vfs.add(Tfile::createVirtualFolder("A"));
        b = vfs.add(Tfile::createVirtualFolder("B"), a);
        item = vfs.add(Tfile::createLink("item"), b);
        ASSERT_TRUE(a && b && item);
    }

    // Access as "user:password" for each requester, "" for a visitor.
    QString decisions(const Tfile *node)
    {
        QString out;
        for (const auto &[u, p] : requesters)
            out += node->accessFor(u, p) ? u'Y' : u'n';
        return out;
    }

    // visitor, bob, bob with a wrong password, BOB (name case), ann, disabled
    // account, unknown name, cy
    const QList<std::pair<QString, QString>> requesters = {
        {"", ""},     {"bob", "pw"}, {"bob", "bad"}, {"BOB", "pw"},
        {"ann", "pw2"}, {"off", "pw3"}, {"ghost", "x"}, {"cy", "pw"},
    };
    Taccounts accounts;
    Tvfs vfs;
    Tfile *a = nullptr, *b = nullptr, *item = nullptr;
};

TEST_F(Access, ListsOnOneFolder)
{
    const struct {
        QStringList list;
        const char *expected; // per requester, see above
    } cases[] = {
        {{}, "YYYYYnYY"},                   // unprotected: only the disabled account is refused
        {{"@anonymous"}, "Ynnnnnnn"},
        {{"@anyone"}, "YYYYYYYY"},
        {{"@any account"}, "nYnYYYnY"},     // a matching password is needed; disabled still passes
        {{"bob"}, "nYnYnnnn"},
        {{"BOB"}, "nYnYnnnn"},
        {{"staff"}, "nYnYnnnn"},           // bob through team -> staff; off is disabled
        {{"team"}, "nYnYnnnn"},
        {{"loop2"}, "nnnnnnnY"},           // groups listing each other end the walk
        {{"ann", "@anonymous"}, "YnnnYnnn"},
        {{"nobody"}, "nnnnnnnn"},
    };
    for (const auto &c : cases) {
        a->accounts[FA_ACCESS] = c.list;
        EXPECT_EQ(decisions(item), c.expected) << qPrintable(c.list.join(';'));
        EXPECT_EQ(decisions(a), c.expected) << qPrintable(c.list.join(';'));
    }
}

TEST_F(Access, NearestListDecides)
{
    a->accounts[FA_ACCESS] = {"@anyone"};
    b->accounts[FA_ACCESS] = {"bob"};
    EXPECT_EQ(decisions(a), "YYYYYYYY");
    EXPECT_EQ(decisions(b), "nYnYnnnn");
    EXPECT_EQ(decisions(item), "nYnYnnnn");
}

TEST_F(Access, DisabledGroupBreaksTheChain)
{
    a->accounts[FA_ACCESS] = {"staff"};
    EXPECT_TRUE(item->accessFor("bob", "pw"));
    accounts.getAccount("team", true)->enabled = false;
    EXPECT_FALSE(item->accessFor("bob", "pw"));
}

TEST_F(Access, PerNodeUser)
{
    a->user = "joe";
    a->pwd = "x";
    EXPECT_TRUE(item->accessFor("JOE", "x"));
    EXPECT_FALSE(item->accessFor("joe", "X"));
    EXPECT_FALSE(item->accessFor("", ""));
    EXPECT_FALSE(item->accessFor("bob", "pw")); // accounts do not pass a per-node user
    // A list below decides by itself.
    b->accounts[FA_ACCESS] = {"bob"};
    EXPECT_TRUE(item->accessFor("bob", "pw"));
    EXPECT_FALSE(item->accessFor("joe", "x"));
    // A per-node user together with a list: either lets in.
    a->accounts[FA_ACCESS] = {"ann"};
    EXPECT_TRUE(a->accessFor("joe", "x"));
    EXPECT_TRUE(a->accessFor("ann", "pw2"));
    EXPECT_FALSE(a->accessFor("bob", "pw"));
}

TEST_F(Access, ForbiddenDownloads)
{
    DiskTree disk;
    disk.file("f.txt");
    Tfile *real = vfs.add(Tfile::create(disk.path()), b);
    real->flags.set(FA_DL_FORBIDDEN);
    const TfilePtr f = vfs.findFilebyURL(real->url() + "f.txt");
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->accessFor("", ""));        // a file whose download is forbidden
    EXPECT_TRUE(real->accessFor("", ""));      // the folder still lists
    a->accounts[FA_ACCESS] = {"bob"};
    EXPECT_FALSE(f->accessFor("", ""));
    EXPECT_TRUE(real->accessFor("bob", "pw")); // temporary nodes inherit through their folder
    TestConn bob("bob", "pw");
    EXPECT_TRUE(accountAllowed(FA_ACCESS, &bob, real));
    EXPECT_FALSE(accountAllowed(FA_ACCESS, nullptr, real));
}

TEST_F(Access, UploadAndDelete)
{
    DiskTree disk;
    disk.file("sub/x");
    Tfile *real = vfs.add(Tfile::create(disk.path()), b);
    Tfile *virt = vfs.add(Tfile::createVirtualFolder("v"), real);
    Tfile *inner = vfs.add(Tfile::create(disk.path("sub")), virt);
    const TfilePtr temp = vfs.findFilebyURL(real->url() + "sub/x");
    ASSERT_TRUE(real && virt && inner && temp);

    TestConn visitor, bob("bob", "pw"), bobWrong("bob", "bad"), ann("ann", "pw2"), ghost("ghost", "x");
    // Closed unless some folder grants it.
    EXPECT_FALSE(accountAllowed(FA_UPLOAD, &bob, real));
    EXPECT_FALSE(accountAllowed(FA_DELETE, &bob, real));
    EXPECT_FALSE(accountAllowed(FA_UPLOAD, &bob, nullptr));

    real->accounts[FA_UPLOAD] = {"staff"};
    EXPECT_TRUE(accountAllowed(FA_UPLOAD, &bob, real));
    EXPECT_TRUE(accountAllowed(FA_UPLOAD, &bob, temp.data())); // decided by the real folder
    EXPECT_FALSE(accountAllowed(FA_UPLOAD, &bobWrong, real));  // a wrong password gets no rights
    EXPECT_FALSE(accountAllowed(FA_UPLOAD, &ann, real));
    EXPECT_FALSE(accountAllowed(FA_UPLOAD, &bob, virt));       // only real folders take uploads
    EXPECT_TRUE(accountAllowed(FA_UPLOAD, &bob, inner));       // inherited over the virtual folder
    virt->accounts[FA_UPLOAD] = {"ann"};                       // ignored: a virtual folder
    EXPECT_FALSE(accountAllowed(FA_UPLOAD, &ann, inner));
    EXPECT_TRUE(accountAllowed(FA_UPLOAD, &bob, inner));

    const struct {
        QStringList list;
        const char *expected; // visitor, bob, bob with a wrong password, ann, ghost
    } cases[] = {
        {{"@anyone"}, "YYYYY"},
        {{"@anonymous"}, "Ynnnn"},
        {{"@any account"}, "nYnYn"},
        {{"ann"}, "nnnYn"},
    };
    for (const auto &c : cases) {
        real->accounts[FA_DELETE] = c.list;
        QString got;
        for (const TestConn *cd : {&visitor, &bob, &bobWrong, &ann, &ghost})
            got += accountAllowed(FA_DELETE, cd, temp.data()) ? u'Y' : u'n';
        EXPECT_EQ(got, c.expected) << qPrintable(c.list.join(';'));
    }
    EXPECT_TRUE(accountAllowed(FA_DELETE, nullptr, real) == false);
}

TEST_F(Access, AccountsForDisplay)
{
    a->accounts[FA_ACCESS] = {"bob", "@anyone", "gone", "team"};
    bool inherited = true;
    EXPECT_EQ(a->getAccountsFor(FA_ACCESS, false, &inherited), QStringList({"bob"}));
    EXPECT_FALSE(inherited);
    EXPECT_EQ(item->getAccountsFor(FA_ACCESS, true, &inherited), QStringList({"bob", "@anyone", "team"}));
    EXPECT_TRUE(inherited);
    b->user = "joe";
    EXPECT_EQ(item->getAccountsFor(FA_ACCESS, false), QStringList({"joe"}));
    // Upload lists count on real folders only.
    b->accounts[FA_UPLOAD] = {"bob"};
    EXPECT_TRUE(item->getAccountsFor(FA_UPLOAD, true).isEmpty());
}

} // namespace
