// Where plain requests are sent when the server moves visitors to HTTPS.
#include "serve/httpsRedirect.h"

#include <gtest/gtest.h>

TEST(HttpsLocation, KeepsTheHostAndTargetAndTakesTheHttpsPort)
{
    const struct {
        const char *host, *port, *target, *expected;
    } cases[] = {
        {"example.org:8080", "8443", "/a/b%20c?x=1", "https://example.org:8443/a/b%20c?x=1"},
        {"example.org", "8443", "/", "https://example.org:8443/"},
        {"Example.ORG:80", "443", "/f", "https://Example.ORG/f"},
        {"192.168.1.5:8080", "4443", "/x", "https://192.168.1.5:4443/x"},
        {"[::1]:8080", "4443", "/x", "https://[::1]:4443/x"},
        {"[fe80::1]", "443", "/", "https://[fe80::1]/"},
        {" host-1.lan ", "9443", "/", "https://host-1.lan:9443/"},
        // A target that is not origin-form goes to the root.
        {"h", "443", "http://other/", "https://h/"},
        {"h", "443", "//evil.example/", "https://h/"},
        {"h", "443", "*", "https://h/"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(httpsLocation(QString::fromLatin1(c.host), QString::fromLatin1(c.port), c.target),
                  QString::fromLatin1(c.expected))
            << c.host << " " << c.target;
}

TEST(HttpsLocation, RefusesHostsThatCouldNotBeAUrl)
{
    for (const char *host : {"", ":8080", "a b", "evil.example/x", "user@host", "[::1", "[zz::1]", "[::1]x",
                             "h\r\nSet-Cookie: x=1", "[]"})
        EXPECT_TRUE(httpsLocation(QString::fromLatin1(host), u"443", "/").isEmpty()) << host;
}
