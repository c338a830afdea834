#include "serve/sameSite.h"

#include <gtest/gtest.h>

TEST(SameSite, OriginOrRefererAgainstHost)
{
    const struct { const char *origin, *referer, *host; bool same; } cases[] = {
        {"", "", "example.com", true}, // no page named: a program's request
        {"", "", "", true},
        {"http://example.com", "", "example.com", true},
        {"http://EXAMPLE.com", "", "example.COM", true},
        {"http://example.com:8080", "", "example.com:8080", true},
        {"http://example.com:80", "", "example.com", true},
        {"https://example.com", "", "example.com", true},
        {"https://example.com", "", "example.com:443", true},
        {"http://[::1]:8080", "", "[::1]:8080", true},
        {"", "http://user@example.com:8080/a/b?c#d", "example.com:8080", true},
        {"", "http://example.com/page", "example.com", true},
        // Another site.
        {"http://evil.example", "", "example.com", false},
        {"http://example.com.evil.example", "", "example.com", false},
        {"http://example.com:8081", "", "example.com:8080", false},
        {"https://example.com", "", "example.com:80", false},
        {"http://example.com:8080", "", "example.com", false},
        {"", "http://evil.example/?http://example.com/", "example.com", false},
        {"", "http://example.com@evil.example/", "example.com", false},
        // Origin decides when both are given.
        {"http://evil.example", "http://example.com/", "example.com", false},
        // Nothing to compare: refused.
        {"null", "", "example.com", false},
        {"example.com", "", "example.com", false},
        {"http://", "", "example.com", false},
        {"http://example.com:99999", "", "example.com:99999", false},
        {"http://example.com", "", "", false},
        {"http://[::1", "", "[::1", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sameSite(QString::fromLatin1(c.origin), QString::fromLatin1(c.referer), QString::fromLatin1(c.host)),
                  c.same)
            << c.origin << " | " << c.referer << " | " << c.host;
}
