// Macros that read the request and shape the reply.

#include "macrosRequestTestTools.h"

#include "config/options.h"
#include "serve/macrosRequestTools.h"
#include "util/dateTime.h"
#include "vfs/account.h"

namespace {

const QByteArray kHead =
    "GET /a/?x=1&mark=%7B.break.%7D%7C%25user%25&download HTTP/1.1\r\n"
    "Host: h\r\n"
    "X-Probe: {.set|#hit|1.} and %version% | pipe\r\n"
    "Cookie: c1=plain; c2={:q:}";

} // namespace

TEST(RequestMacros, RequestValuesAreDisarmed)
{
    ThttpSrv srv;
    TtestRecord r(srv, kHead);
    r.cd->request.postVars.append(QStringLiteral("name"), QStringLiteral("{.x.}"));
    const struct
    {
        const char *in;
        const char *out;
    } cases[] = {
        {"{.header|x-probe.}", "&#123;.set&#124;#hit&#124;1&#46;} and &#37;version% &#124; pipe"},
        {"{.header|Missing.}", ""},
        {"{.header|bad name\xc3\xa9.}", ""},
        {"{.urlvar|X.}", "1"},
        {"{.urlvar|download.}", "1"},
        {"{.urlvar|mark.}", "&#123;.break&#46;}&#124;&#37;user%"},
        {"{.?mark.}", "&#123;.break&#46;}&#124;&#37;user%"},
        {"{.urlvar|nothing.}", ""},
        {"{.postvar|NAME.}", "&#123;.x&#46;}"},
        {"{.cookie|c1.}", "plain"},
        {"{.cookie|c2.}", "&#123;:q&#58;}"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(expand(QString::fromUtf8(c.in), r.cd.get()), QString::fromUtf8(c.out)) << c.in;
    // Nothing a visitor sent ran as a macro.
    EXPECT_TRUE(globalVars().value(QStringLiteral("hit")).isEmpty());
}

TEST(RequestMacros, VarStoresInsteadOfAnswering)
{
    ThttpSrv srv;
    TtestRecord r(srv, kHead);
    r.cd->request.postVars.append(QStringLiteral("p"), QStringLiteral("post value"));
    EXPECT_EQ(expand(QStringLiteral("[{.urlvar|x|var=a.}][{.postvar|p|var=b.}][{.?download|var=c.}]"
                                     "{.^a.},{.^b.},{.^c.}"),
                     r.cd.get()),
              QStringLiteral("[][][]1,post value,1"));
}

TEST(RequestMacros, WithoutConnectionCannotBeUsed)
{
    for (const char *name : {"header", "urlvar", "postvar", "cookie", "add header", "remove header",
                             "mime", "upload failed", "load tpl", "set speed limit for connection"}) {
        TmacroConn none; // a connection of another kind is no request
        const QString text = QStringLiteral("{.%1|x.}").arg(QLatin1String(name));
        EXPECT_EQ(expand(text, nullptr), cannotHere(name)) << name;
        EXPECT_EQ(expand(text, &none), cannotHere(name)) << name;
    }
    EXPECT_EQ(expand(QStringLiteral("{.disconnection reason.}"), nullptr), cannotHere("disconnection reason"));
    EXPECT_EQ(expand(QStringLiteral("{.disconnect.}"), nullptr), cannotHere("disconnect"));
}

TEST(GetUrl, QueryEdits)
{
    const struct
    {
        const char *url;
        QStringList edits;
        const char *out;
    } cases[] = {
        {"/a/?sort=n&x=1", {"sort=s", "x=", "y"}, "/a/?sort=s&y"},
        {"/a/?x=1", {}, "/a/?x=1"},
        {"/a/?x=1", {"x="}, "/a/"},
        {"/a/?X=1", {"x=2"}, "/a/?X=2"},           // name keeps its spelling
        {"/a/", {"new=v"}, "/a/?new=v"},
        {"/a/", {"gone="}, "/a/"},                 // nothing to remove, nothing added
        {"/a/?flag", {"FLAG"}, "/a/?flag"},        // bare entry not doubled
        {"/a/?flag", {"", "other"}, "/a/?flag&other"},
        {"/a/?&&x=1&", {"y=2"}, "/a/?x=1&y=2"},    // empty entries dropped
        {"/a/?x=1&x=2", {"x="}, "/a/?x=2"},        // the first entry of a name
        {"/a/?q=a=b", {"q=c=d"}, "/a/?q=c=d"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(editUrlQuery(QString::fromLatin1(c.url), c.edits), QString::fromLatin1(c.out))
            << c.url << " " << c.edits.join(u' ').toStdString();
}

TEST(GetUrl, FromTheRequestAndQuoted)
{
    ThttpSrv srv;
    TtestRecord r(srv, "GET /a/?sort=n&x=1 HTTP/1.1\r\nHost: h");
    EXPECT_EQ(expand(QStringLiteral("{.get|url.}"), r.cd.get()), QStringLiteral("/a/?sort=n&x=1"));
    EXPECT_EQ(expand(QStringLiteral("{.get|url|sort=s|x=|y.}"), r.cd.get()), QStringLiteral("/a/?sort=s&y"));
    // A URL carrying markers comes out as text, never run.
    TtestRecord evil(srv, "GET /{.set|#urlhit|1.}/ HTTP/1.1\r\nHost: h");
    EXPECT_EQ(expand(QStringLiteral("{.get|url.}"), evil.cd.get()), QStringLiteral("/{.set|#urlhit|1.}/"));
    EXPECT_TRUE(globalVars().value(QStringLiteral("urlhit")).isEmpty());
    EXPECT_EQ(expand(QStringLiteral("{.get|url.}"), nullptr), cannotHere("get"));
}

TEST(GetMacro, ServerFactsAndAccounts)
{
    Toptions saved = opts();
    opts().recursiveListing = true;
    opts().stopSpiders = false;
    opts().httpsUrl = true;
    opts().speedLimit = 12.6;
    const QList<Taccount> savedAccounts = Taccounts::global().list;
    Taccount bob, staff, amy;
    bob.user = QStringLiteral("bob");
    staff.user = QStringLiteral("staff");
    staff.group = true;
    amy.user = QStringLiteral("amy");
    Taccounts::global().list = {bob, staff, amy};

    ThttpSrv srv;
    TtestRecord r(srv);
    r.cd->request.agent = QStringLiteral("Tool/1");
    const struct
    {
        const char *in;
        QString out;
    } cases[] = {
        {"{.get|can recur.}", "1"},
        {"{.get|stop spiders.}", ""},
        {"{.get|protocolon.}", "https://"},
        {"{.get|speed limit.}", "13"},
        {"{.get|accounts|users.}", "bob;amy"},
        {"{.get|accounts|GROUPS.}", "staff"},
        {"{.get|accounts|other.}", ""},
        {"{.get|agent.}", "Tool/1"},
        {"{.get|is new.}", cannotHere("get")},
        {"{.get|no such thing.}", macroErrorText("get", "not supported or illegal parameters")},
        {"{.get|Can Recur.}", macroErrorText("get", "not supported or illegal parameters")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(expand(QString::fromLatin1(c.in), r.cd.get()), c.out) << c.in;
    EXPECT_EQ(expand(QStringLiteral("{.get|agent.}"), nullptr), cannotHere("get"));
    opts().speedLimit = -1;
    EXPECT_EQ(expand(QStringLiteral("{.get|speed limit.}"), nullptr), QStringLiteral("-1"));

    Taccounts::global().list = savedAccounts;
    opts() = saved;
}

TEST(CookieExpires, Conversions)
{
    const TdateTime nowUtc = toDateTimeUTC(QDateTime(QDate(2024, 3, 10), QTime(12, 30, 0), Qt::UTC));
    const TdateTime localNoon = toDateTime(QDateTime(QDate(2023, 5, 6), QTime(12, 0, 0)));
    const struct
    {
        QString in;
        QString out;
    } cases[] = {
        {"+1", "Mon, 11 Mar 2024 12:30:00 GMT"},
        {"+0.5", "Mon, 11 Mar 2024 00:30:00 GMT"},
        {"-2", "Fri, 08 Mar 2024 12:30:00 GMT"},
        {"1000001", "Mon, 12 Jan 1970 13:46:41 GMT"},
        {QString::number(localNoon, 'f', 10), httpDate(localToUTC(localNoon))},
        {"2023-05-06T12:00:00Z", "Sat, 06 May 2023 12:00:00 GMT"},
        {"soon", "soon"},
        {"+x", "+x"},
        {"+1e300", "+1e300"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(cookieExpiresValue(c.in, nowUtc), c.out) << c.in.toStdString();
}

TEST(ReplyMacros, SetCookie)
{
    ThttpSrv srv;
    TtestRecord r(srv);
    EXPECT_EQ(expand(QStringLiteral("{.cookie|c|value=1|expires=+1|PATH=/.}"), r.cd.get()), QString());
    const QByteArray h = r.conn->reply().additionalHeaders;
    ASSERT_TRUE(h.startsWith("Set-Cookie: c=1; expires=")) << h.constData();
    const auto when = parseHttpDate(h.mid(25, 29));
    ASSERT_TRUE(when.has_value()) << h.constData();
    EXPECT_NEAR(*when, nowUTC() + 1, 5 * oneSecond);
    EXPECT_TRUE(h.endsWith("; path=/; \r\n")) << h.constData();

    // Only the first "value" is the cookie's value; attributes keep order.
    r.conn->reply().additionalHeaders.clear();
    expand(QStringLiteral("{.cookie|d|domain=x|value=v|value=w|flag.}"), r.cd.get());
    EXPECT_EQ(r.conn->reply().additionalHeaders, QByteArray("Set-Cookie: d=v; domain=x; value=w; flag=; \r\n"));

    // A line break in a value never reaches the head.
    r.conn->reply().additionalHeaders.clear();
    expand(QStringLiteral("{.cookie|e|value=a\r\nX-Evil: 1.}"), r.cd.get());
    expand(QStringLiteral("{.cookie|e|value=a|path=/\nX-Evil: 1.}"), r.cd.get());
    EXPECT_TRUE(r.conn->reply().additionalHeaders.isEmpty()) << r.conn->reply().additionalHeaders.constData();
}

TEST(ReplyMacros, HeadersTypeAndRedirection)
{
    ThttpSrv srv;
    TtestRecord r(srv);
    ThttpReply &reply = r.conn->reply();
    EXPECT_EQ(expand(QStringLiteral("{.add header|X-A: 1.}{.add header|x-a: 2.}"), r.cd.get()), QString());
    EXPECT_EQ(reply.additionalHeaders, QByteArray("x-a: 2\r\n"));
    expand(QStringLiteral("{.add header|X-A: 3|overwrite=0.}{.add header|X-B: b.}"), r.cd.get());
    EXPECT_EQ(reply.additionalHeaders, QByteArray("x-a: 2\r\nX-A: 3\r\nX-B: b\r\n"));
    expand(QStringLiteral("{.remove header|x-A.}"), r.cd.get());
    EXPECT_EQ(reply.additionalHeaders, QByteArray("X-B: b\r\n"));

    expand(QStringLiteral("{.add header|content-type:  text/plain .}"), r.cd.get());
    EXPECT_EQ(reply.contentType, QByteArray("text/plain"));
    expand(QStringLiteral("{.mime|application/json.}"), r.cd.get());
    EXPECT_EQ(reply.contentType, QByteArray("application/json"));
    expand(QStringLiteral("{.mime|text/html\r\nX-Evil: 1.}{.add header|Content-Type: a\nb.}"), r.cd.get());
    EXPECT_EQ(reply.contentType, QByteArray("application/json"));

    expand(QStringLiteral("{.add header|X-C: a\r\nX-Evil: 1.}{.add header|Location: /x\r\nX-Evil: 1.}"), r.cd.get());
    EXPECT_EQ(reply.additionalHeaders, QByteArray("X-B: b\r\n"));
    EXPECT_EQ(reply.mode, HRM_REPLY);

    // The default alias "redirect" uses this form.
    expand(QString::fromUtf8("{.redirect|/x/\xc3\xa9/.}"), r.cd.get());
    EXPECT_EQ(reply.mode, HRM_REDIRECT);
    EXPECT_EQ(reply.url, QString::fromUtf8("/x/\xc3\xa9/"));
}
