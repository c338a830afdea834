// The account macros: creating, changing, reading and deleting accounts,
// membership, the requester's own account, and key lines in notes.

#include "fakePageContext.h"
#include "macros/accountNotes.h"
#include "macros/macrosAccounts.h"
#include "pages/pageContext.h"
#include "pages/symbols.h"
#include "script/macroData.h"
#include "script/macroEngine.h"
#include "vfs/account.h"
#include "vfs/vfs.h"
#include "qtPrinters.h"

#include <gtest/gtest.h>

namespace {

Taccount record(const QString &user, const QString &pwd, const QStringList &link, bool group = false,
                const QString &notes = {})
{
    Taccount a;
    a.user = user;
    a.pwd = pwd;
    a.link = link;
    a.group = group;
    a.notes = notes;
    return a;
}

// A client seen through the page interface, with the credentials it presented.
class Client : public TfakePageContext {
public:
    Client(QString u, QString p) : u(std::move(u)), p(std::move(p)) {}
    QString user() const override { return u; }
    QString pwd() const override { return p; }
    QString u, p;
};

class AccountMacros : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerPageSymbols();
        Tvfs::instance().resetVFS();
        Tvfs::instance().setModified(false);
        list() = {
            record("bob", "secret", {"staff"}),
            record("staff", {}, {"Everyone"}, true),
            record("everyone", {}, {}, true),
            record("admins", {}, {"staff"}, true),
            record("ann", " pad ", {}, false, "a=1\r\nColor=red\nb=2"),
        };
        accountsChangedByMacro() = [this] { ++changes; };
    }
    void TearDown() override
    {
        accountsChangedByMacro() = nullptr;
        list().clear();
        Tvfs::instance().resetVFS();
    }

    static QList<Taccount> &list() { return Taccounts::global().list; }
    static Taccount *account(const QString &name) { return Taccounts::global().getAccount(name, true); }

    static QString run(const QString &text, TmacroConn *cd = nullptr)
    {
        TmacroData md;
        md.tpl = std::make_shared<Ttpl>();
        md.cd = cd;
        QString t = text;
        runMacroText(t, md, true);
        return t;
    }
    // Runs as a page built for `client`.
    static QString runAs(Client &client, const QString &text)
    {
        TpageContextScope scope(&client);
        return run(text, &client);
    }

    int changes = 0;
};

TEST_F(AccountMacros, NewAccountIsDisabledAndUnique)
{
    EXPECT_EQ(run("{.new account|carl.}"), " ");
    ASSERT_TRUE(account("carl"));
    EXPECT_FALSE(account("carl")->enabled);
    EXPECT_TRUE(account("carl")->pwd.isEmpty());
    EXPECT_TRUE(account("carl")->link.isEmpty());
    EXPECT_EQ(changes, 1);

    const char *refused[] = {"{.new account|CARL.}", "{.new account|Staff.}", "{.new account|a/b.}",
                             "{.new account|a;b.}",  "{.new account|a&b.}",   "{.new account|a\"b.}",
                             "{.new account|{:a{.b:}.}", "{.new account| .}"};
    for (const char *t : refused)
        EXPECT_EQ(run(t), "") << t;
    EXPECT_EQ(run("{.new account|" + QString(41, u'x') + ".}"), "");
    EXPECT_EQ(run("{.new account|" + QString(40, u'x') + ".}"), " ");
    EXPECT_EQ(list().size(), 7);

    // Properties are applied like "set account".
    EXPECT_EQ(run("{.new account|dora|password=pw|enabled=1|member of=staff;admins|notes key=k=v.}"), " ");
    const Taccount *d = account("dora");
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->enabled);
    EXPECT_EQ(d->pwd, "pw");
    EXPECT_EQ(d->link, QStringList({"staff", "admins"}));
    EXPECT_EQ(d->notes, "k=v");
}

TEST_F(AccountMacros, SetAccountAppliesEachProperty)
{
    EXPECT_EQ(run("{.set account|BOB|password=new|redirect= /home/ |no limits=1|is group=0|notes=n.}"), " ");
    const Taccount *b = account("bob");
    EXPECT_EQ(b->pwd, "new");
    EXPECT_EQ(b->redir, "/home/");
    EXPECT_TRUE(b->noLimits);
    EXPECT_FALSE(b->group);
    EXPECT_EQ(b->notes, "n");

    // Refused values leave the field alone, and the result says so (the
    // others are applied all the same).
    EXPECT_EQ(run("{.set account|bob|password=x;y|no limits=0.}"), "");
    EXPECT_EQ(run("{.set account|bob|redirect=/a\r\nSet-Cookie: x=1.}"), "");
    EXPECT_EQ(account("bob")->pwd, "new");
    EXPECT_EQ(account("bob")->redir, "/home/");
    EXPECT_FALSE(account("bob")->noLimits);
    EXPECT_EQ(run("{.set account|bob|newname=bad/name.}"), "");
    EXPECT_EQ(run("{.set account|bob|newname=bob.}"), " ");

    run("{.set account|bob|member of= x ; ;y|add member of=Y;z|enabled=0.}");
    EXPECT_EQ(account("bob")->link, QStringList({"x", "y", "z"}));
    EXPECT_FALSE(account("bob")->enabled);
    run("{.set account|bob|remove member of=X;Z.}");
    EXPECT_EQ(account("bob")->link, QStringList({"y"}));

    EXPECT_EQ(run("{.set account|nobody|enabled=1.}"), "");
    EXPECT_EQ(run("{.set account||enabled=1.}"), ""); // no requester
}

TEST_F(AccountMacros, RenameCarriesIntoLinksAndTreeButNeverDuplicates)
{
    Tfile *f = Tvfs::instance().add(Tfile::createVirtualFolder("f"));
    f->accounts[FA_ACCESS] = {"staff"};
    Tvfs::instance().setModified(false);

    run("{.set account|staff|newname=Admins.}"); // another record's name
    EXPECT_TRUE(account("staff"));
    run("{.set account|staff|newname=bad/name.}");
    EXPECT_TRUE(account("staff"));

    run("{.set account|staff|newname=team.}");
    EXPECT_FALSE(account("staff"));
    ASSERT_TRUE(account("team"));
    EXPECT_EQ(account("bob")->link, QStringList({"team"}));
    EXPECT_EQ(account("admins")->link, QStringList({"team"}));
    EXPECT_EQ(f->accounts[FA_ACCESS], QStringList({"team"}));
    EXPECT_TRUE(Tvfs::instance().isModified());
    EXPECT_EQ(run("{.member of|group=team|user=bob.}"), "team");
}

TEST_F(AccountMacros, GetAccountReadsProperties)
{
    account("bob")->redir = "/r";
    account("staff")->noLimits = true;
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"{.get account|bob|redirect.}", "/r"},
        {"{.get account|bob|ENABLED.}", "1"},
        {"{.get account|bob|no limits.}", ""},
        {"{.get account|staff|no limits.}", "1"},
        {"{.get account|staff|is group.}", "1"},
        {"{.get account|staff|member of.}", "Everyone"},
        {"{.get account|bob|password.}", "secret"},
        {"{.get account|bob|password is|secret.}", "1"},
        {"{.get account|bob|password is|secreT.}", ""},
        {"{.get account|ann|password is| pad .}", "1"}, // raw
        {"{.get account|ann|password is|pad.}", "1"},   // trimmed
        {"{.get account|ann|password is|pa.}", ""},
        {"{.get account|bob|exists.}", "1"},
        {"{.get account|bob|whatever.}", ""},
        {"{.get account|ghost|exists.}", ""},
        {"{.get account|ann|notes key=color.}", "red"},
        {"{.get account|ann|notes key=b.}", "2"},
        {"{.get account|ann|notes key=c.}", ""},
        {"{.get account|ann|notes.}", "a=1\r\nColor=red\nb=2"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST_F(AccountMacros, RequesterIsTheLoggedInAccount)
{
    Client bob("bob", "secret");
    EXPECT_EQ(runAs(bob, "{.get account||exists.}"), "1");
    // The way the default template lets users change their own password.
    EXPECT_EQ(runAs(bob, "{.set account||password=changed.}"), " ");
    EXPECT_EQ(account("bob")->pwd, "changed");
    bob.p = "changed";
    EXPECT_EQ(runAs(bob, "{.member of| .}"), "staff;Everyone");

    // Presented credentials that do not match count for nothing.
    Client forger("bob", "guess");
    EXPECT_EQ(runAs(forger, "{.set account||password=mine.}"), "");
    EXPECT_EQ(runAs(forger, "{.get account||password.}"), "");
    EXPECT_EQ(runAs(forger, "{.member of|group=staff.}"), "");
    EXPECT_EQ(account("bob")->pwd, "changed");
    Client group("staff", "");
    EXPECT_EQ(runAs(group, "{.get account||exists.}"), ""); // groups cannot log in

    // Without a page context there is no requester.
    EXPECT_EQ(run("{.get account||exists.}", &bob), "");
}

TEST_F(AccountMacros, MemberOfFollowsEnabledGroups)
{
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"{.member of|group=staff;admins|user=bob.}", "staff"},
        {"{.member of|group=ADMINS;everyone|user=bob.}", "everyone"}, // through staff
        {"{.member of|admins|bob.}", ""},
        {"{.member of|bob|bob.}", "bob"}, // the account itself counts
        {"{.member of|user=bob.}", "staff;Everyone"},
        {"{.member of|user=admins.}", "staff;Everyone"},
        {"{.member of|user=ann.}", ""},
        {"{.member of|group=staff|user=ghost.}", ""},
        {"{.member of|group=staff.}", ""}, // no requester
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;

    account("staff")->enabled = false; // a disabled group interrupts the chain
    EXPECT_EQ(run("{.member of|group=everyone|user=bob.}"), "");
    EXPECT_EQ(run("{.member of|user=bob.}"), "staff");
    account("staff")->enabled = true;
    account("bob")->enabled = false;
    EXPECT_EQ(run("{.member of|group=staff;admins|user=bob.}"), "");

    // Cycles end.
    account("everyone")->link = {"staff", "bob"};
    account("bob")->enabled = true;
    EXPECT_EQ(run("{.member of|user=bob.}"), "staff;Everyone");
}

TEST_F(AccountMacros, DeleteAccountLeavesPermissionsAndMemberships)
{
    Tfile *f = Tvfs::instance().add(Tfile::createVirtualFolder("f"));
    f->accounts[FA_ACCESS] = {"bob", "staff"};
    f->accounts[FA_UPLOAD] = {"staff"};
    EXPECT_EQ(run("{.delete account|STAFF.}"), "");
    EXPECT_FALSE(account("staff"));
    EXPECT_EQ(f->accounts[FA_ACCESS], QStringList({"bob"}));
    EXPECT_TRUE(account("bob")->link.isEmpty());
    EXPECT_TRUE(account("admins")->link.isEmpty());
    EXPECT_EQ(changes, 1);

    // A new group of the old name starts with no members and no rights.
    run("{.new account|staff|is group=1.}");
    EXPECT_EQ(run("{.member of|group=staff|user=bob.}"), "");
    EXPECT_EQ(list().size(), 5);
    run("{.delete account|ghost.}");
    EXPECT_EQ(list().size(), 5);
}

TEST(AccountNotes, KeyLines)
{
    const struct {
        const char *notes, *key, *value;
    } reads[] = {
        {"k=v", "k", "v"},
        {"x\r\nK=v w\r\nk=second", "k", "v w"},
        {"xk=1\nk=2", "k", "2"}, // only at a line start
        {"k=\nk=2", "k", ""},
        {"key=1", "k", ""},
        {"k=a=b", "k", "a=b"},
        {"", "k", ""},
        {"k=v", "", ""},
        {"a\rk=cr", "k", "cr"},
    };
    for (const auto &r : reads)
        EXPECT_EQ(notesKeyValue(QString::fromUtf8(r.notes), QString::fromUtf8(r.key)), QString::fromUtf8(r.value))
            << r.notes << " / " << r.key;

    const struct {
        const char *notes, *line, *result;
        bool ok;
    } writes[] = {
        {"", "k=v", "k=v", true},
        {"a=1", "k=v", "a=1\r\nk=v", true},
        {"a=1\r\nK=old\r\nb=2", "k=new", "a=1\r\nK=new\r\nb=2", true},
        {"k=old", "k", "k=", true},
        {"k=1", "=v", "k=1", false},
        {"k=1", "k=a\r\nadmin=1", "k=1", false},
        {"k=1", "x\n=1", "k=1", false},
    };
    for (const auto &w : writes) {
        QString n = QString::fromUtf8(w.notes);
        EXPECT_EQ(setNotesKey(n, QString::fromUtf8(w.line)), w.ok) << w.line;
        EXPECT_EQ(n, QString::fromUtf8(w.result)) << w.line;
    }
}

TEST_F(AccountMacros, SetNotesKeyThroughTheMacro)
{
    run("{.set account|ann|notes key=color=blue.}");
    EXPECT_EQ(account("ann")->notes, "a=1\r\nColor=blue\nb=2");
    run("{.set account|bob|notes key=z=1.}");
    EXPECT_EQ(account("bob")->notes, "z=1");
}

} // namespace
