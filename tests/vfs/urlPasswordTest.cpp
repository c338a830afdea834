// The password a copied URL carries comes from the node that protects the
// item, or from the account.

#include "vfsTestTools.h"

#include "vfs/account.h"
#include "vfs/urlPassword.h"
#include "vfs/vfs.h"

namespace {

class UrlPassword : public ::testing::Test {
protected:
    void SetUp() override
    {
        Taccount bob;
        bob.user = QStringLiteral("bob");
        bob.pwd = QStringLiteral("bob-account");
        Taccount ann;
        ann.user = QStringLiteral("ann");
        ann.pwd = QStringLiteral("ann-account");
        accounts.list = {bob, ann};
        vfs.setAccounts(&accounts);
        outer = vfs.add(Tfile::createVirtualFolder("outer"));
        inner = vfs.add(Tfile::createVirtualFolder("inner"), outer);
        disk.file("f.txt");
        file = vfs.add(Tfile::create(disk.path("f.txt")), inner);
        ASSERT_TRUE(outer && inner && file);
    }

    DiskTree disk;
    Taccounts accounts;
    Tvfs vfs;
    Tfile *outer = nullptr, *inner = nullptr, *file = nullptr;
};

TEST_F(UrlPassword, NothingProtectsTheItem)
{
    EXPECT_EQ(passwordForUrl(*file, "bob", accounts), "bob-account");
    EXPECT_EQ(passwordForUrl(*file, "nobody", accounts), "");
}

TEST_F(UrlPassword, TheNearestProtectingNodeDecides)
{
    // An access list above: the account's own password.
    outer->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    EXPECT_EQ(passwordForUrl(*file, "bob", accounts), "bob-account");

    // A node user of that name nearer: the node's password.
    inner->user = QStringLiteral("bob");
    inner->pwd = QStringLiteral("inner-pwd");
    EXPECT_EQ(passwordForUrl(*file, "bob", accounts), "inner-pwd");
    // Another name: that account's password, even below bob's node.
    EXPECT_EQ(passwordForUrl(*file, "ann", accounts), "ann-account");
    // The user name is compared exactly.
    EXPECT_EQ(passwordForUrl(*file, "BOB", accounts), "bob-account");

    // The file's own access list is nearer than the folder's user.
    file->accounts[FA_ACCESS] = {QStringLiteral("ann")};
    EXPECT_EQ(passwordForUrl(*file, "bob", accounts), "bob-account");
}

TEST_F(UrlPassword, TheUrlCarriesNameAndPassword)
{
    inner->user = QStringLiteral("bob");
    inner->pwd = QStringLiteral("inner-pwd");
    const QString url = fullUrlWithPassword(*file, "bob", accounts);
    EXPECT_EQ(url, file->fullURL(QString(), "bob", "inner-pwd"));
    EXPECT_NE(url, file->fullURL(QString(), "bob", "bob-account"));
}

} // namespace
