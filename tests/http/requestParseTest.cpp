// Request head parsing without sockets.

#include "http/httpPost.h"
#include "http/httpRequest.h"

#include <gtest/gtest.h>

namespace {
struct Parsed {
    bool accepted;
    ThttpRequest req;
    ThttpPost post;
    ThttpHeadInfo info;
};

Parsed parse(const QByteArray &head, bool allowPersistent = true)
{
    Parsed p;
    p.req.full = head;
    p.accepted = parseRequestHead(p.req, p.post, allowPersistent, &p.info);
    return p;
}
}

TEST(RequestParse, RequestLine)
{
    struct Case {
        const char *head;
        ThttpMethod method;
        const char *url;
        const char *ver;
    };
    const Case cases[] = {
        {"GET / HTTP/1.1", HM_GET, "/", "1.1"},
        {"get /a?b=c HTTP/1.0", HM_GET, "/a?b=c", "1.0"},
        {"POST /up http/1.1", HM_POST, "/up", "1.1"},
        {"HEAD /x%20y HTTP/1.1", HM_HEAD, "/x%20y", "1.1"},
        {"GET /x", HM_GET, "/x", ""},
        {"GET /x FOO/1", HM_GET, "/x", ""},
        {"DELETE /a HTTP/1.1", HM_UNK, "/a", "1.1"},
        // No space in the first ten bytes: the token is those ten bytes and
        // the URL starts after the eleventh.
        {"VERYLONGMETHOD /a HTTP/1.1", HM_UNK, "HOD", ""},
    };
    for (const Case &c : cases) {
        const Parsed p = parse(c.head);
        SCOPED_TRACE(c.head);
        EXPECT_TRUE(p.accepted);
        EXPECT_EQ(p.req.method, c.method);
        EXPECT_EQ(p.req.url, QByteArray(c.url));
        EXPECT_EQ(p.req.ver, QByteArray(c.ver));
    }
    EXPECT_FALSE(parse("GARBAGE").accepted);
}

TEST(RequestParse, HeadersFirstWinsAndTrimmed)
{
    Parsed p = parse("GET / HTTP/1.1\r\nHost:  example.org \r\nX-A: 1\nx-a: 2\rCookie: a=1; b=hello world; c=%41%zz");
    EXPECT_EQ(p.req.getHeader("host"), QStringLiteral("example.org"));
    EXPECT_EQ(p.req.getHeaderA("X-A"), QByteArray("1"));
    EXPECT_EQ(p.req.getCookie(QStringLiteral("b")), QStringLiteral("hello"));
    EXPECT_EQ(p.req.getCookie(QStringLiteral("A")), QStringLiteral("1"));
    EXPECT_EQ(p.req.getCookie(QStringLiteral("c")), QStringLiteral("A_zz"));
    EXPECT_TRUE(p.req.getHeader("Missing").isEmpty());

    // The first cookie of a name wins; names may be UTF-8; a bare name has
    // an empty value, and a name is not matched by its prefix.
    Parsed q = parse("GET / HTTP/1.1\r\nCookie: ab=0;sid=first; sid=second; \xC3\xA9t\xC3\xA9=summer; bare");
    EXPECT_EQ(q.req.getCookie(QStringLiteral("SID")), QStringLiteral("first"));
    EXPECT_TRUE(q.req.getCookie(QString::fromUtf8("\xC3\x89T\xC3\x89")).isEmpty()); // ASCII case only
    EXPECT_EQ(q.req.getCookie(QString::fromUtf8("\xC3\xA9t\xC3\xA9")), QStringLiteral("summer"));
    EXPECT_TRUE(q.req.getCookie(QStringLiteral("bare")).isEmpty());
    EXPECT_TRUE(q.req.getCookie(QStringLiteral("a")).isEmpty());

    // With an unknown method every header reads as empty.
    Parsed u = parse("BREW / HTTP/1.1\r\nHost: x\r\nCookie: a=1");
    EXPECT_TRUE(u.req.getHeader("Host").isEmpty());
    EXPECT_TRUE(u.req.getCookie(QStringLiteral("a")).isEmpty());
}

TEST(RequestParse, Ranges)
{
    struct Case {
        const char *range;
        qint64 first, last;
    };
    const Case cases[] = {
        {"bytes=100-", 100, -1},
        {"Bytes=5-9", 5, 9},
        {"bytes=-500", -1, 500},
        {"bytes=0-10,20-30", 0, -1},
        {"bytes=x-5", -1, -1},
        {"items=1-2", -1, -1},
        {"bytes=5-3", 5, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.range);
        const Parsed p = parse(QByteArray("GET / HTTP/1.1\r\nRange: ") + c.range);
        EXPECT_EQ(p.req.firstByte, c.first);
        EXPECT_EQ(p.req.lastByte, c.last);
    }
}

TEST(RequestParse, BasicCredentials)
{
    // "al:pa:ss" and "solo " in Base64.
    Parsed p = parse("GET / HTTP/1.1\r\nAuthorization: Basic YWw6cGE6c3M=");
    EXPECT_EQ(p.req.user, QStringLiteral("al"));
    EXPECT_EQ(p.req.pwd, QStringLiteral("pa:ss"));
    p = parse("GET / HTTP/1.1\r\nAuthorization: Basic c29sbyA=");
    EXPECT_EQ(p.req.user, QStringLiteral("solo"));
    EXPECT_TRUE(p.req.pwd.isEmpty());
    // Not Base64 at all: no crash, whatever comes out.
    p = parse("GET / HTTP/1.1\r\nAuthorization: Basic \xff\xfe!!");
    EXPECT_TRUE(p.accepted);
}

TEST(RequestParse, KeepAlive)
{
    struct Case {
        const char *head;
        bool allow;
        bool persistent;
    };
    const Case cases[] = {
        {"GET / HTTP/1.1", true, true},
        {"GET / HTTP/1.1", false, false},
        {"GET / HTTP/1.0", true, false},
        {"GET / HTTP/1.0\r\nConnection: keep-alive", true, true},
        {"GET / HTTP/1.1\r\nConnection: Close", true, false},
        {"GET / HTTP/1.1\r\nConnection: Keep-Alive, close", true, true},
        {"GET /x", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.head);
        EXPECT_EQ(parse(c.head, c.allow).info.persistent, c.persistent);
    }
}

TEST(RequestParse, PostFields)
{
    Parsed p = parse("POST / HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=XyZ\r\nContent-Length: -1");
    EXPECT_EQ(p.post.mode, PM_MULTIPART);
    EXPECT_EQ(p.post.boundary, QByteArray("--XyZ"));
    EXPECT_EQ(p.post.length, 4294967295LL);
    EXPECT_TRUE(p.info.contentLengthGiven);

    p = parse("POST / HTTP/1.1\r\nContent-Type: Application/X-WWW-Form-Urlencoded\r\nContent-Length: 12");
    EXPECT_EQ(p.post.mode, PM_URLENCODED);
    EXPECT_EQ(p.post.length, 12);

    p = parse("POST / HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: junk\r\nTransfer-Encoding: chunked");
    EXPECT_EQ(p.post.mode, PM_NONE);
    EXPECT_EQ(p.post.length, 0);
    EXPECT_EQ(p.info.transferCoding, TC_CHUNKED);

    // The body's framing is read whatever the method.
    p = parse("PUT /f HTTP/1.1\r\nContent-Length: 7");
    EXPECT_EQ(p.post.length, 7);
    EXPECT_TRUE(p.req.getHeader("Content-Length").isEmpty());
}

TEST(RequestParse, MultipartBoundary)
{
    struct Case {
        const char *contentType;
        const char *boundary;
    };
    const Case cases[] = {
        {"multipart/form-data; boundary=XyZ", "--XyZ"},
        {"multipart/form-data; boundary=\"XyZ\"", "--XyZ"},
        {"multipart/form-data; boundary=XyZ; charset=utf-8", "--XyZ"},
        {"multipart/form-data;charset=utf-8;BOUNDARY = \"a b;c\" ;x=y", "--a b;c"},
        {"multipart/form-data; boundary=\"q\\\"uote\\\\\"", "--q\"uote\\"},
        {"multipart/form-data; name=\"boundary=no\"; boundary=yes", "--yes"},
        {"multipart/form-data; xboundary=no", "--"},
        {"multipart/form-data; boundary=\"open", "--open"},
        {"multipart/form-data", "--"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.contentType);
        const Parsed p = parse(QByteArray("POST / HTTP/1.1\r\nContent-Type: ") + c.contentType);
        EXPECT_EQ(p.post.mode, PM_MULTIPART);
        EXPECT_EQ(p.post.boundary, QByteArray(c.boundary));
    }
}

TEST(RequestParse, TransferCodings)
{
    struct Case {
        const char *lines;
        ThttpTransferCoding coding;
    };
    const Case cases[] = {
        {"", TC_NONE},
        {"Transfer-Encoding: chunked", TC_CHUNKED},
        {"transfer-encoding:  Chunked ", TC_CHUNKED},
        {"Transfer-Encoding: , chunked", TC_CHUNKED},
        {"Transfer-Encoding: gzip", TC_UNKNOWN},
        {"Transfer-Encoding: gzip, chunked", TC_UNKNOWN},
        {"Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked", TC_UNKNOWN},
        {"Transfer-Encoding: chunked, gzip", TC_INVALID},
        {"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked", TC_INVALID},
        {"Transfer-Encoding: chunked\r\nTransfer-Encoding: identity", TC_INVALID},
        {"Transfer-Encoding: ", TC_INVALID},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines);
        for (const char *method : {"POST", "PUT"})
            EXPECT_EQ(parse(QByteArray(method) + " / HTTP/1.1\r\n" + c.lines).info.transferCoding, c.coding);
    }
}

TEST(RequestParse, ContentLengthsMustAgree)
{
    struct Case {
        const char *lines;
        bool conflicting;
    };
    const Case cases[] = {
        {"Content-Length: 5", false},
        {"Content-Length: 5\r\ncontent-length: 5", false},
        {"Content-Length: 5, 5", false},
        {"Content-Length: 5\r\nContent-Length: 6", true},
        {"Content-Length: 5, 50", true},
        {"content-length: 5\r\nCONTENT-LENGTH: 0", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines);
        EXPECT_EQ(parse(QByteArray("POST / HTTP/1.1\r\n") + c.lines).info.conflictingLengths, c.conflicting);
    }
}

namespace {

// The head's end the plain way: the first LF followed by an empty line,
// unless a CR CR pair starts before that line ends.
std::pair<qsizetype, int> plainHeadEnd(const QByteArray &b)
{
    const qsizetype n = b.size();
    qsizetype lfEnd = -1;
    int lfTerm = 0;
    for (qsizetype i = 0; i < n && lfEnd < 0; ++i) {
        if (b[i] != '\n')
            continue;
        qsizetype j = i + 1;
        if (j < n && b[j] == '\r')
            ++j;
        if (j < n && b[j] == '\n') {
            lfEnd = i > 0 && b[i - 1] == '\r' ? i - 1 : i;
            lfTerm = int(j + 1 - lfEnd);
        }
    }
    const qsizetype limit = lfEnd < 0 ? n : lfEnd + 1;
    for (qsizetype c = 0; c + 1 < limit; ++c)
        if (b[c] == '\r' && b[c + 1] == '\r')
            return {c, 2};
    return {lfEnd, lfTerm};
}

} // namespace

TEST(RequestParse, FindHeadEndOfEveryShortText)
{
    // Every text of up to 9 bytes over "a", CR and LF.
    const char alphabet[] = {'a', '\r', '\n'};
    for (int len = 0; len <= 9; ++len) {
        int combinations = 1;
        for (int i = 0; i < len; ++i)
            combinations *= 3;
        for (int k = 0; k < combinations; ++k) {
            QByteArray b;
            for (int i = 0, v = k; i < len; ++i, v /= 3)
                b += alphabet[v % 3];
            int term = 0;
            const qsizetype end = findHeadEnd(b, &term);
            const auto [plainEnd, plainTerm] = plainHeadEnd(b);
            ASSERT_EQ(end, plainEnd) << b.toPercentEncoding().constData();
            if (end >= 0) {
                ASSERT_EQ(term, plainTerm) << b.toPercentEncoding().constData();
            }
        }
    }
}

TEST(RequestParse, FindHeadEnd)
{
    int term = 0;
    EXPECT_EQ(findHeadEnd("GET / HTTP/1.1\r\n\r\nrest", &term), 14);
    EXPECT_EQ(term, 4);
    EXPECT_EQ(findHeadEnd("GET /\r\r", &term), 5);
    EXPECT_EQ(term, 2);
    EXPECT_EQ(findHeadEnd("GET / HTTP/1.1\r\nHost: x\r\n", &term), -1);

    // Bare LF line ends, alone or mixed with CR LF.
    struct Case {
        const char *buf;
        qsizetype end;
        int term;
    };
    const Case cases[] = {
        {"GET /\nHost: x\n\nbody", 13, 2},
        {"GET /\r\nHost: x\r\n\nbody", 14, 3},
        {"GET /\nHost: x\n\r\nbody", 13, 3},
        {"GET /\nHost: x\r\rlater\n\n", 13, 2},   // CR CR before the empty line
        {"GET /\r\n\r\nbody\r\r", 5, 4},         // CR CR only in the body
        {"GET /\r\r\n\n", 5, 2},                 // CR CR running into the empty line
        {" \r\r\n\n", 1, 2},
        {"GET /\nHost: x\n", -1, 0},
        {"GET /\r\n\r", -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.buf);
        term = 0;
        EXPECT_EQ(findHeadEnd(c.buf, &term), c.end);
        if (c.end >= 0) {
            EXPECT_EQ(term, c.term);
        }
    }
}
