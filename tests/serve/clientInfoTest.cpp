#include "serve/clientInfo.h"

#include <gtest/gtest.h>

TEST(Agent, RecognisesKnownProgramsInOrder)
{
    const struct {
        const char *ua;
        const char *agent;
    } cases[] = {
        {"Mozilla/5.0 (X11; Linux x86_64; rv:120.0) Gecko/20100101 Firefox/120.0", "Mozilla"},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", "MSIE 6.0"},
        {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36",
         "Chrome/120.0 Safari/537.36"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X)", "iPhone"},
        {"Opera/9.80 (Windows NT 6.1) Presto/2.12", "Opera"},
        {"Wget/1.21.3", "Wget/1.21.3"},
        {"curl/7.88.1", "curl/7.88.1"},
        {"<script>x</script>", "scriptx/script"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(recognizeAgent(QString::fromLatin1(c.ua)), QString::fromLatin1(c.agent)) << c.ua;
}

TEST(ForwardedAddress, KeepsIpv6WholeAndStripsPortsOnly)
{
    const struct {
        const char *header;
        const char *address;
    } cases[] = {
        {"10.0.0.7", "10.0.0.7"},
        {"10.0.0.7:5555", "10.0.0.7"},
        {"10.0.0.7, 192.168.1.1", "10.0.0.7"},
        {" 203.0.113.9 ,10.0.0.1", "203.0.113.9"},
        {"2001:db8::1", "2001:db8::1"},
        {"2001:db8::1, 10.0.0.1", "2001:db8::1"},
        {"[2001:db8::1]:8080", "2001:db8::1"},
        {"[2001:db8::1]", "2001:db8::1"},
        {"::1", "::1"},
        {"[::1]x", ""},
        {"unknown", ""},
        {"evil.example.com", ""},
        {"", ""},
        {"10.0.0.7:5555:1", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(forwardedAddress(QString::fromLatin1(c.header)), QString::fromLatin1(c.address)) << c.header;
}

TEST(CleanHost, KeepsOnlyHostCharacters)
{
    EXPECT_EQ(cleanHost(QStringLiteral("example.com:8080")), QStringLiteral("example.com:8080"));
    EXPECT_EQ(cleanHost(QStringLiteral("a b/c\r\nd_e-f")), QStringLiteral("abcd_e-f"));
    EXPECT_EQ(cleanHost(QString::fromUtf8("h\xc3\xa9te")), QStringLiteral("hte"));
}

TEST(AcceptsPage, BrowsersNavigatingButNotTools)
{
    const struct { const char *accept; bool page; } cases[] = {
        {"text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,*/*;q=0.8", true}, // a browser
        {"application/xhtml+xml", true},
        {"TEXT/HTML", true},
        {"text/plain, text/html ;level=1", true},
        {"", false},        // no Accept: curl without options, many tools
        {"*/*", false},     // wget, curl, aria2c, XHR
        {"text/*", false},
        {"image/avif,image/webp,*/*;q=0.8", false}, // an image in a page
        {"text/html;q=0, */*", false},
        {"text/htmlx", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(acceptsPage(QString::fromLatin1(c.accept)), c.page) << c.accept;
}
