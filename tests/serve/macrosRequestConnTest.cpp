// Macros that steer connections, the visitor's rights and the navigation bar.

#include "macrosRequestTestTools.h"

#include "config/options.h"
#include "http/speedLimiter.h"
#include "serve/macrosRequestTools.h"
#include "serve/perIp.h"
#include "serve/serve.h"
#include "util/workingFolder.h"
#include "vfs/account.h"
#include "vfs/vfs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(ConnectionMacros, DisconnectionReason)
{
    ThttpSrv srv;
    TtestRecord r(srv);
    TconnData &cd = *r.cd;
    cd.disconnectReason = QStringLiteral("old");
    EXPECT_EQ(expand(QStringLiteral("{.disconnection reason.}"), &cd), QStringLiteral("old"));
    EXPECT_EQ(expand(QStringLiteral("{.disconnection reason|new one.}"), &cd), QStringLiteral("old"));
    EXPECT_EQ(cd.disconnectReason, QStringLiteral("new one"));
    EXPECT_EQ(expand(QStringLiteral("{.disconnection reason|other|if=0.}"), &cd), QString());
    EXPECT_EQ(cd.disconnectReason, QStringLiteral("new one"));
    EXPECT_EQ(expand(QStringLiteral("{.disconnection reason|third|if=1.}"), &cd), QStringLiteral("new one"));
    EXPECT_EQ(cd.disconnectReason, QStringLiteral("third"));
    // A lone condition reads without replacing.
    EXPECT_EQ(expand(QStringLiteral("{.disconnection reason|if=1.}"), &cd), QStringLiteral("third"));
    EXPECT_EQ(cd.disconnectReason, QStringLiteral("third"));
    EXPECT_EQ(expand(QStringLiteral("{.disconnection reason|if=yes|fourth.}"), &cd), QStringLiteral("third"));
    EXPECT_EQ(cd.disconnectReason, QStringLiteral("fourth"));

    EXPECT_EQ(expand(QStringLiteral("{.upload failed| too big .}"), &cd), QString());
    EXPECT_EQ(cd.upload.failure, QStringLiteral("too big"));
}

TEST(ConnectionMacros, LoadTemplate)
{
    QTemporaryDir dir;
    const QString fn = dir.filePath(QStringLiteral("own.tpl"));
    QFile f(fn);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[api level]\n2\n[hello]\nfrom the file\n");
    f.close();
    ThttpSrv srv;
    TtestRecord r(srv);
    EXPECT_EQ(expand(QStringLiteral("{.load tpl|%1.}").arg(QString(fn).replace(u'/', u'\\')), r.cd.get()),
              QString());
    ASSERT_TRUE(r.cd->tpl);
    EXPECT_EQ(r.cd->tpl->getTxt(QStringLiteral("hello")).trimmed(), QStringLiteral("from the file"));
    expand(QStringLiteral("{.load tpl|%1.}").arg(dir.filePath(QStringLiteral("missing.tpl"))), r.cd.get());
    EXPECT_FALSE(r.cd->tpl);
    // A relative name is found in the working folder, not the process's.
    ASSERT_TRUE(setWorkingFolder(dir.path()));
    expand(QStringLiteral("{.load tpl|own.tpl.}"), r.cd.get());
    resetWorkingFolder();
    ASSERT_TRUE(r.cd->tpl);
    EXPECT_EQ(r.cd->tpl->getTxt(QStringLiteral("hello")).trimmed(), QStringLiteral("from the file"));
}

TEST(ConnectionMacros, ConnectionSpeedLimit)
{
    ThttpSrv srv;
    TtestRecord r(srv);
    TconnData &cd = *r.cd;
    EXPECT_EQ(expand(QStringLiteral("{.set speed limit for connection|2.5.}"), &cd), QString());
    ASSERT_TRUE(cd.limiter);
    TspeedLimiter *own = cd.limiter.get();
    EXPECT_EQ(own->maxSpeed, 2500);
    EXPECT_TRUE(r.conn->limiters().contains(own));
    EXPECT_TRUE(srv.limiters.contains(own));

    expand(QStringLiteral("{.set speed limit for connection|7.}"), &cd);
    EXPECT_EQ(cd.limiter.get(), own); // the same limiter, a new rate
    EXPECT_EQ(own->maxSpeed, 7000);
    EXPECT_EQ(r.conn->limiters().count(own), 1);

    EXPECT_EQ(expand(QStringLiteral("{.set speed limit for connection|fast.}"), &cd), QString());
    EXPECT_FALSE(cd.limiter);
    EXPECT_TRUE(r.conn->limiters().isEmpty());
    EXPECT_TRUE(srv.limiters.isEmpty());
}

TEST(ConnectionMacros, AddressSpeedLimit)
{
    const double savedIpLimit = opts().speedLimitIp;
    EXPECT_EQ(expand(QStringLiteral("{.set speed limit for address|3.}"), nullptr), QString());
    EXPECT_EQ(opts().speedLimitIp, 3);
    EXPECT_EQ(expand(QStringLiteral("{.set speed limit for address|10.9.8.7|1.5.}"), nullptr), QString());
    EXPECT_EQ(TperIp::global().customLimit(QStringLiteral("10.9.8.7")), 1500);
    EXPECT_EQ(expand(QStringLiteral("{.set speed limit for address|10.9.8.6|x.}"), nullptr), QString());
    EXPECT_FALSE(TperIp::global().isCustomized(QStringLiteral("10.9.8.6")));
    TperIp::global().clearAddressLimit(serve(), QStringLiteral("10.9.8.7"));
    TperIp::global().setAddressLimit(serve(), QString(), savedIpLimit);
}

TEST(ConnectionMacros, CurrentDownloadsAndDisconnectByMask)
{
    ThttpSrv &srv = serve().srv();
    TtestRecord a(srv), b(srv), c(srv), idle(srv);
    a.setPeer(QStringLiteral("10.0.0.1"), QStringLiteral("5001"));
    b.setPeer(QStringLiteral("10.0.0.2"), QStringLiteral("5002"));
    c.setPeer(QStringLiteral("10.0.0.2"), QStringLiteral("6003"));
    idle.setPeer(QStringLiteral("10.0.0.1"), QStringLiteral("5004"));
    TfilePtr file = Tfile::createLink(QStringLiteral("f"));
    TfilePtr other = Tfile::createLink(QStringLiteral("g"));
    for (TtestRecord *r : {&a, &b, &c, &idle})
        r->cd->transfer.countAsDownload = r != &idle;
    ThttpConnTestAccess::setState(*a.conn, HCS_REPLYING_BODY);
    ThttpConnTestAccess::setState(*b.conn, HCS_REPLYING_HEADER);
    ThttpConnTestAccess::setState(*c.conn, HCS_REPLYING);
    ThttpConnTestAccess::setState(*idle.conn, HCS_REPLYING_BODY); // not counted as a download
    a.cd->transfer.lastFile = file;
    b.cd->transfer.lastFile = other;
    c.cd->transfer.lastFile = file;
    b.cd->credentials.user = QStringLiteral("Bob");

    const struct
    {
        const char *in;
        const char *out;
    } counts[] = {
        {"{.current downloads.}", "3"},
        {"{.current downloads|ip=10.0.0.2.}", "2"},
        {"{.current downloads|ip=10.0.0.1;10.0.0.3.}", "1"},
        {"{.current downloads|user=bob.}", "1"},
        {"{.current downloads|file=this.}", "2"},
        {"{.current downloads|file=other|ip=10.*.}", "3"},
        {"{.current downloads|file=this|ip=10.0.0.2.}", "1"},
    };
    for (const auto &k : counts)
        EXPECT_EQ(expand(QString::fromLatin1(k.in), a.cd.get(), nullptr, file.data()),
                  QString::fromLatin1(k.out))
            << k.in;
    // Without a current item, "this" matches nothing.
    EXPECT_EQ(expand(QStringLiteral("{.current downloads|file=this.}"), nullptr), QStringLiteral("0"));

    // An empty address mask does nothing and leaves the error.
    EXPECT_EQ(expand(QStringLiteral("{.disconnect|ip=.}"), nullptr),
              macroErrorText("disconnect", "not supported or illegal parameters"));
    EXPECT_EQ(expand(QStringLiteral("{.disconnect|10.0.0.2|6*.}"), nullptr), QString());
    EXPECT_FALSE(a.conn->isDisconnecting());
    EXPECT_FALSE(b.conn->isDisconnecting());
    EXPECT_TRUE(c.conn->isDisconnecting());
    EXPECT_EQ(expand(QStringLiteral("{.disconnect|ip=10.0.0.1.}"), nullptr), QString());
    EXPECT_TRUE(a.conn->isDisconnecting());
    EXPECT_TRUE(idle.conn->isDisconnecting());
    EXPECT_FALSE(b.conn->isDisconnecting());
    // Without parameters: the run's own connection.
    EXPECT_EQ(expand(QStringLiteral("{.disconnect.}"), b.cd.get()), QString());
    EXPECT_TRUE(b.conn->isDisconnecting());
}

// A tree with a real folder "pub" (upload and delete for bob) holding a
// disk sub-folder, and a virtual folder /a/b/.
class Rights : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(disk.path()).mkpath(QStringLiteral("sub")));
        QFile f(disk.filePath(QStringLiteral("sub/file.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        Taccount bob;
        bob.user = QStringLiteral("bob");
        bob.pwd = QStringLiteral("pw");
        accounts.list = {bob};
        vfs.setAccounts(&accounts);
        pub = vfs.add(Tfile::create(disk.path()));
        ASSERT_TRUE(pub);
        pub->setName(QStringLiteral("pub"));
        pub->accounts[FA_UPLOAD] = {QStringLiteral("bob")};
        pub->accounts[FA_DELETE] = {QStringLiteral("bob")};
        a = vfs.add(Tfile::createVirtualFolder(QStringLiteral("a")));
        b = vfs.add(Tfile::createVirtualFolder(QStringLiteral("b")), a);
        secret = vfs.add(Tfile::createLink(QStringLiteral("secret")), a);
        secret->accounts[FA_ACCESS] = {QStringLiteral("bob")};
    }

    QTemporaryDir disk;
    Taccounts accounts;
    Tvfs vfs;
    Tfile *pub = nullptr, *a = nullptr, *b = nullptr, *secret = nullptr;
};

TEST_F(Rights, FollowTheVisitorsAccount)
{
    ThttpSrv srv;
    TtestRecord visitor(srv), bob(srv), wrongPwd(srv);
    bob.cd->credentials.user = wrongPwd.cd->credentials.user = QStringLiteral("bob");
    bob.cd->credentials.password = QStringLiteral("pw");
    wrongPwd.cd->credentials.password = QStringLiteral("nope");
    const struct
    {
        const char *in;
        Tfile *folder;
        Tfile *f;
        const char *visitor, *bob, *wrongPwd;
    } cases[] = {
        {"{.get|can upload.}", pub, nullptr, "", "1", ""},
        {"{.get|can delete.}", pub, nullptr, "", "1", ""},
        {"{.get|can upload.}", a, nullptr, "", "", ""}, // virtual folders take no uploads
        {"{.get|can access.}", a, secret, "", "1", ""},
        {"{.get|can access.}", a, b, "1", "1", "1"},
        {"{.get|can access|path=secret.}", a, nullptr, "", "1", ""},
        {"{.get|can access|path=/a/b/.}", pub, nullptr, "1", "1", "1"},
        {"{.get|can delete|path=sub/file.txt.}", pub, nullptr, "", "1", ""},
        {"{.get|can upload|path=sub.}", pub, nullptr, "", "1", ""},
        {"{.get|can upload|path=/pub/sub/.}", a, nullptr, "", "1", ""},
        {"{.get|can delete|path=no such.}", pub, nullptr, "", "", ""},
        {"{.get|can delete|path=../../etc.}", pub, nullptr, "", "", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(expand(QString::fromLatin1(c.in), visitor.cd.get(), c.folder, c.f), QLatin1String(c.visitor))
            << c.in;
        EXPECT_EQ(expand(QString::fromLatin1(c.in), bob.cd.get(), c.folder, c.f), QLatin1String(c.bob)) << c.in;
        EXPECT_EQ(expand(QString::fromLatin1(c.in), wrongPwd.cd.get(), c.folder, c.f), QLatin1String(c.wrongPwd))
            << c.in;
    }
    // A script without a client is a visitor without credentials.
    EXPECT_EQ(expand(QStringLiteral("{.get|can access.}"), nullptr, a, b), QStringLiteral("1"));
    EXPECT_EQ(expand(QStringLiteral("{.get|can upload.}"), nullptr, pub), QString());
    for (const char *sel : {"can upload", "can delete", "can access", "is new"})
        EXPECT_EQ(expand(QStringLiteral("{.get|%1.}").arg(QLatin1String(sel)), bob.cd.get()), cannotHere("get"))
            << sel;
}

TEST_F(Rights, Archivable)
{
    vfs.root()->flags.set(FA_ARCHIVABLE, false);
    b->flags.set(FA_ARCHIVABLE, true);
    TmacroConn none;
    EXPECT_EQ(expand(QStringLiteral("{.get|can archive.}"), &none, b), QStringLiteral("1"));
    EXPECT_EQ(expand(QStringLiteral("{.get|can archive.}"), &none, a), QString());
    EXPECT_EQ(expand(QStringLiteral("{.get|can archive item.}"), &none, a, b), QStringLiteral("1"));
    EXPECT_EQ(expand(QStringLiteral("{.get|can archive item.}"), &none, b, secret), QString());
}

TEST_F(Rights, Breadcrumbs)
{
    TmacroConn none;
    const QString pattern = QStringLiteral("{.breadcrumbs|{:[%bread-url% %bread-name%]:}%1.}");
    const struct
    {
        QString extra;
        Tfile *folder;
        Tfile *f;
        QString out;
    } cases[] = {
        {"", b, nullptr, "[/ ][/a/ a][/a/b/ b]"},
        {"|from=1", b, nullptr, "[/a/ a][/a/b/ b]"},
        {"|from=9", a, nullptr, ""},
        {"", vfs.root(), nullptr, "[/ ]"},
        {"", a, b, "[/ ][/a/ a]"}, // the current item's folder
    };
    for (const auto &c : cases)
        EXPECT_EQ(expand(pattern.arg(c.extra), &none, c.folder, c.f), c.out) << c.extra.toStdString();
    EXPECT_EQ(expand(QStringLiteral("{.breadcrumbs|%BREAD-IDX%:%Bread-Name%,.}"), &none, b),
              QStringLiteral("0:,1:a,2:b,"));
    EXPECT_EQ(expand(QStringLiteral("{.breadcrumbs|x.}"), &none), cannotHere("breadcrumbs"));

    // An item found on disk shows the disk folder it lies in.
    TfilePtr inSub = vfs.findFilebyURL(QStringLiteral("/pub/sub/file.txt"));
    ASSERT_TRUE(inSub && inSub->isTemp());
    EXPECT_EQ(expand(QStringLiteral("{.breadcrumbs|%bread-url%;.}"), &none, pub, inSub.data()),
              QStringLiteral("/;/pub/;/pub/sub/;"));
}

TEST_F(Rights, BreadcrumbNamesStayText)
{
    Tfile *odd = vfs.add(Tfile::createVirtualFolder(QStringLiteral("{.x.}%user%<i>|")), a);
    ASSERT_TRUE(odd);
    globalVars().clear();
    TmacroConn none;
    const QString out = expand(QStringLiteral("{.breadcrumbs|%bread-name%=%bread-url%;|from=2.}"), &none, odd);
    EXPECT_FALSE(out.contains(u'<')) << out.toStdString();
    EXPECT_FALSE(out.contains(QLatin1String("{."))) << out.toStdString();
    EXPECT_FALSE(out.contains(QLatin1String("%user%"))) << out.toStdString();
    EXPECT_TRUE(out.startsWith(QLatin1String("&#123;.x&#46;}&#37;user&#37;&lt;i&gt;&#124;=/a/")))
        << out.toStdString();
}
