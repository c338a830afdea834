// Header and cookie operations of the reply, default bodies.

#include "http/httpReply.h"

#include <gtest/gtest.h>
#include <stdexcept>

TEST(ReplyHeaders, AddSetRemove)
{
    ThttpReply r;
    EXPECT_TRUE(r.addHeader("Content-Location: /a"));
    EXPECT_TRUE(r.addHeader("X-Test: 1"));
    EXPECT_TRUE(r.setHeaderIfNone("Location: /b"));
    EXPECT_FALSE(r.setHeaderIfNone("location: /c"));
    EXPECT_FALSE(r.setHeaderIfNone("X-TEST: 2"));
    EXPECT_THROW(r.setHeaderIfNone("NoColon"), std::invalid_argument);

    // Only lines that begin with the name go, not "Content-Location".
    r.removeHeader("Location");
    EXPECT_EQ(r.additionalHeaders, QByteArray("Content-Location: /a\r\nX-Test: 1\r\n"));

    r.addHeader("x-test: 3", true);
    EXPECT_EQ(r.additionalHeaders, QByteArray("Content-Location: /a\r\nx-test: 3\r\n"));
}

TEST(ReplyHeaders, RefusesLineBreaks)
{
    ThttpReply r;
    EXPECT_FALSE(r.addHeader("X: a\r\nSet-Cookie: evil=1"));
    EXPECT_FALSE(r.addHeader(QByteArrayView("X: a\0b", 6)));
    EXPECT_FALSE(r.setCookie(QStringLiteral("k"), QStringLiteral("v\nInjected: 1")));
    EXPECT_TRUE(r.additionalHeaders.isEmpty());

    // Lines put in by hand are checked when the head is built.
    EXPECT_EQ(sanitizeHeaderLines("A: 1\r\nB: 2\r\n"), QByteArray("A: 1\r\nB: 2\r\n"));
    EXPECT_EQ(sanitizeHeaderLines("A: 1\r\n\r\n<html>\r\nB: 2\nC: 3\r\n"),
              QByteArray("A: 1\r\nB: 2\r\nC: 3\r\n"));
    EXPECT_EQ(sanitizeHeaderLines(QByteArray("A: 1\r\nB: \0x\r\n", 13)), QByteArray("A: 1\r\n"));
}

TEST(ReplyHeaders, OneSetCookieLinePerCookie)
{
    ThttpReply r;
    r.addHeader("X-Before: 1");
    r.setCookie(QStringLiteral("a"), QStringLiteral("1"), {{QStringLiteral("Path"), QStringLiteral("/")}}, QStringLiteral("HttpOnly"));
    r.setCookie(QStringLiteral("b"), QStringLiteral("2"));
    EXPECT_EQ(r.additionalHeaders, QByteArray("X-Before: 1\r\nSet-Cookie: a=1; path=/; HttpOnly\r\nSet-Cookie: b=2; \r\n"));

    // A cookie set again replaces its own line only; names are compared
    // exactly ("A" and "ab" are other cookies), the header's name is not.
    r.setCookie(QStringLiteral("A"), QStringLiteral("x"));
    r.setCookie(QStringLiteral("ab"), QStringLiteral("y"));
    r.addHeader("set-cookie: a=3", true);
    r.delCookie(QStringLiteral("b"));
    EXPECT_EQ(r.additionalHeaders, QByteArray("X-Before: 1\r\nSet-Cookie: A=x; \r\nSet-Cookie: ab=y; \r\nset-cookie: a=3\r\n"
                                              "Set-Cookie: b=; expires=Thu, 01-Jan-70 00:00:01 GMT; \r\n"));

    // Without overwrite a line is only added; removing the header takes
    // every cookie's line.
    r.addHeader("Set-Cookie: a=4");
    EXPECT_EQ(r.additionalHeaders.count("a=3"), 1);
    r.removeHeader("Set-Cookie");
    EXPECT_EQ(r.additionalHeaders, QByteArray("X-Before: 1\r\n"));
}

TEST(ReplyHeaders, StatusAndDefaultBodies)
{
    EXPECT_EQ(replyModeCode(HRM_OVERLOAD), 429);
    EXPECT_EQ(replyModeCode(HRM_IGNORE), 0);
    EXPECT_TRUE(reasonPhrase(429).isEmpty());
    EXPECT_EQ(reasonPhrase(413), QByteArray("Payload Too Large"));
    EXPECT_EQ(defaultBody(HRM_NOT_FOUND, {}), QByteArray("404 - File not found"));
    EXPECT_EQ(defaultBody(HRM_MOVED, QStringLiteral("/a b/")),
              QByteArray("301 - Moved permanently to <a href=\"/a b/\">/a b/</a>"));

    const QByteArray plain = defaultBody(HRM_REDIRECT, QStringLiteral("/x/"));
    EXPECT_EQ(plain, QByteArray("<html><head><meta http-equiv=\"refresh\" content=\"url=/x/\" /></head>"
                                "<body onload='window.location=\"/x/\"'>302 - <a href=\"/x/\">Redirection to /x/</a></body></html>"));

    // A hostile target cannot leave the attribute or the script string.
    const QByteArray evil = defaultBody(HRM_REDIRECT, QStringLiteral("/\"'><script>x</script>"));
    EXPECT_FALSE(evil.contains("<script>"));
    EXPECT_EQ(evil.count('\''), plain.count('\'')); // only the template's own quotes
    EXPECT_EQ(evil.count('"'), plain.count('"'));
}

TEST(ReplyHeaders, ResetKeepsContentType)
{
    ThttpReply r;
    r.contentType = "image/png";
    r.resumeForbidden = true;
    r.mode = HRM_REPLY;
    r.body = "x";
    r.realm = QStringLiteral("mine");
    r.reset(5, 9);
    EXPECT_EQ(r.mode, HRM_IGNORE);
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_EQ(r.contentType, QByteArray("image/png"));
    EXPECT_TRUE(r.resumeForbidden);
    EXPECT_EQ(r.firstByte, 5);
    EXPECT_EQ(r.lastByte, 9);
    EXPECT_EQ(r.realm, QStringLiteral("Password protected resource"));
}
