// Item URLs, paths and absolute addresses.

#include "vfsTestTools.h"

#include "util/encodings.h"
#include "vfs/vfs.h"

namespace {

class Urls : public ::testing::Test {
protected:
    void SetUp() override
    {
        disk.file("sub/dir/file.txt");
        docs = vfs.add(Tfile::createVirtualFolder("My Docs"));
        file = vfs.add(Tfile::create(disk.path("sub/dir/file.txt")), docs);
        file->setName("a b#c?.txt");
        accent = vfs.add(Tfile::createVirtualFolder(QString::fromUtf8("\xc3\xa9t\xc3\xa9")), docs);
        link = vfs.add(Tfile::createLink("l"));
        link->resource = "http://%IP%:81/x";
        real = vfs.add(Tfile::create(disk.path()), docs);
        real->setName("real");
        setDefaults();
    }
    void setDefaults()
    {
        TvfsSettings s;
        s.defaultIP = "192.168.0.5";
        s.serverPort = "8080";
        vfs.setSettings(s);
    }
    void change(const std::function<void(TvfsSettings &)> &fn)
    {
        TvfsSettings s = vfs.settings();
        fn(s);
        vfs.setSettings(s);
    }

    DiskTree disk;
    Tvfs vfs;
    Tfile *docs = nullptr, *file = nullptr, *accent = nullptr, *link = nullptr, *real = nullptr;
};

TEST_F(Urls, PathsWithEncodingOptions)
{
    EXPECT_EQ(vfs.root()->url(), "/");
    EXPECT_EQ(vfs.root()->relativeURL(), "");
    EXPECT_EQ(docs->url(), "/My%20Docs/");
    EXPECT_EQ(file->url(), "/My%20Docs/a%20b%23c%3F.txt");
    EXPECT_EQ(file->relativeURL(), "a%20b%23c%3F.txt");
    EXPECT_EQ(docs->relativeURL(), "My%20Docs/");
    EXPECT_EQ(accent->url(), QString::fromUtf8("/My%20Docs/\xc3\xa9t\xc3\xa9/"));

    change([](TvfsSettings &s) { s.encodeSpaces = false; });
    EXPECT_EQ(docs->url(), "/My Docs/");
    EXPECT_EQ(docs->url(true), "/My%20Docs/"); // full encoding always encodes spaces

    change([](TvfsSettings &s) { s.encodeNonAscii = true; });
    EXPECT_EQ(accent->url(), "/My Docs/%C3%A9t%C3%A9/");

    // A link's URL is its target, with the address filled in.
    EXPECT_EQ(link->url(), "http://192.168.0.5:81/x");
    EXPECT_EQ(link->fullURL("10.0.0.1"), "http://192.168.0.5:81/x");
}

TEST_F(Urls, TemporaryNodes)
{
    const TfilePtr t = vfs.findFilebyURL("/my docs/real/sub/dir/file.txt");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->parent(), real);
    EXPECT_EQ(t->url(), "/My%20Docs/real/sub/dir/file.txt");
    EXPECT_EQ(t->getFolder(), "/My Docs/real/sub/dir/");
    EXPECT_EQ(t->pathTill(), "My Docs/real/sub/dir/file.txt");
    EXPECT_EQ(t->pathTill(docs, u'\\'), "real\\sub\\dir\\file.txt");
    EXPECT_EQ(t->parentURL(), "/My%20Docs/real/sub/dir/");
    // Its URL resolves back to an equivalent node.
    const TfilePtr again = vfs.findFilebyURL(decodeURL(t->url()));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->resource, t->resource);

    const TfilePtr dir = vfs.findFilebyURL("/My Docs/real/sub/dir/");
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->url(), "/My%20Docs/real/sub/dir/");
    EXPECT_EQ(dir->getFolder(), "/My Docs/real/sub/");
}

TEST_F(Urls, ParentUrlAndFolder)
{
    EXPECT_EQ(vfs.root()->parentURL(), "");
    EXPECT_EQ(docs->parentURL(), "/");
    EXPECT_EQ(file->parentURL(), "/My%20Docs/");
    EXPECT_EQ(accent->parentURL(), "/My%20Docs/");
    EXPECT_EQ(file->getFolder(), "/My Docs/");
    EXPECT_EQ(docs->getFolder(), "/");
    EXPECT_EQ(vfs.root()->getFolder(), "/");
    EXPECT_EQ(file->pathTill(docs), "a b#c?.txt");
    EXPECT_EQ(file->pathTill(file), "");
}

TEST_F(Urls, AbsoluteAddresses)
{
    const struct {
        const char *port;
        bool noPort, https;
        const char *ip;
        const char *expected;
    } cases[] = {
        {"8080", false, false, "", "http://192.168.0.5:8080/My%20Docs/"},
        {"8080", false, false, "10.0.0.2", "http://10.0.0.2:8080/My%20Docs/"},
        {"80", false, false, "10.0.0.2", "http://10.0.0.2/My%20Docs/"},
        {"", false, false, "10.0.0.2", "http://10.0.0.2/My%20Docs/"}, // not listening
        {"8080", true, false, "10.0.0.2", "http://10.0.0.2/My%20Docs/"},
        {"8080", false, true, "10.0.0.2", "https://10.0.0.2:8080/My%20Docs/"},
        {"8080", false, false, "host.example:9", "http://host.example:9/My%20Docs/"},
        {"80", false, false, "fe80::1%12", "http://[fe80::1]/My%20Docs/"},
        {"8080", false, false, "::1", "http://[::1]/My%20Docs/"}, // an address with ":" gets no port
        {"8080", false, false, "[::1]:8080", "http://[::1]:8080/My%20Docs/"},
    };
    for (const auto &c : cases) {
        change([&](TvfsSettings &s) {
            s.serverPort = c.port;
            s.dontIncludePortInUrl = c.noPort;
            s.httpsUrl = c.https;
        });
        EXPECT_EQ(docs->fullURL(c.ip), c.expected) << c.ip << " " << c.port;
    }
    change([](TvfsSettings &s) {
        s.serverPort = "8080";
        s.dontIncludePortInUrl = false;
        s.httpsUrl = false;
    });
    EXPECT_EQ(vfs.root()->fullURL("192.168.0.5"), "http://192.168.0.5:8080/");
}

TEST_F(Urls, LoginAddress)
{
    const QString u = docs->fullURL("10.0.0.2", "jo e", "secret");
    const QString query = "mode=auth&u=jo%20e";
    EXPECT_EQ(u, "http://10.0.0.2:8080/My%20Docs/?" + query + "&s2=" + sha256Hex(query + "secret"));
    EXPECT_EQ(sha256Hex(query + "secret").size(), 64);
    EXPECT_NE(docs->fullURL("10.0.0.2", "jo e", "other"), u);
}

} // namespace
