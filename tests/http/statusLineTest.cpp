// The status line: the application's reason phrase when it is safe (sent as
// UTF-8), the standard one otherwise; one connection's reason never reaches
// the next reply.

#include "serverFixture.h"

TEST_F(ServerTest, StatusLineReasons)
{
    const struct
    {
        ThttpReplyMode mode;
        QString reason;
        QByteArray expectedLine;
    } cases[] = {
        {HRM_REPLY, QString(), "HTTP/1.1 200 OK"},
        {HRM_REPLY, QStringLiteral("Fine"), "HTTP/1.1 200 Fine"},
        {HRM_REPLY, QString::fromUtf8("Tr\xc3\xa8s bien"), "HTTP/1.1 200 Tr\xc3\xa8s bien"},
        {HRM_REPLY, QStringLiteral("Bad\r\nX-Injected: 1"), "HTTP/1.1 200 OK"},
        {HRM_NOT_FOUND, QString(), "HTTP/1.1 404 Not Found"},
        {HRM_DENY, QStringLiteral("Banned: spam"), "HTTP/1.1 403 Banned: spam"},
        {HRM_OVERLOAD, QString(), "HTTP/1.1 429 "},
        {HRM_REPLY, QString(), "HTTP/1.1 200 OK"},
    };
    size_t at = 0;
    QString seenReason;
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            c->reply().mode = cases[at].mode;
            c->reply().body = "x";
            if (!cases[at].reason.isNull())
                c->reply().reason = cases[at].reason;
        } else if (e == SE_REPLIED) {
            seenReason = c->reply().reason;
        }
    };
    for (at = 0; at < std::size(cases); ++at) {
        SCOPED_TRACE(at);
        TtestClient c(port);
        ASSERT_TRUE(c.send("GET /s HTTP/1.1\r\nHost: x\r\n\r\n"));
        const TtestResponse r = c.response();
        ASSERT_FALSE(r.head.isEmpty());
        EXPECT_EQ(r.head.left(r.head.indexOf("\r\n")), cases[at].expectedLine);
        EXPECT_FALSE(r.head.contains("X-Injected"));
        if (cases[at].mode == HRM_REPLY && cases[at].reason.isNull()) {
            ASSERT_TRUE(pumpUntil([&] { return !seenReason.isEmpty(); }));
            EXPECT_EQ(seenReason, QStringLiteral("OK")); // the reply keeps the phrase it sent
        }
        seenReason.clear();
    }
}

TEST_F(ServerTest, StatusLinesInARowFollowTheirReply)
{
    // Replies in a row that repeat or change one part at a time: the code,
    // the phrase or the type. Each line must be its own reply's.
    const struct
    {
        ThttpReplyMode mode;
        QString reason;
        QByteArray type;
        QByteArray expectedHead;
    } cases[] = {
        {HRM_REPLY, QString(), "text/html", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"},
        {HRM_REPLY, QString(), "text/html", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"},
        {HRM_REPLY, QString(), "text/plain", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"},
        {HRM_REPLY, QStringLiteral("Fine"), "text/plain", "HTTP/1.1 200 Fine\r\nContent-Type: text/plain\r\n"},
        {HRM_REPLY, QStringLiteral("Fine"), "text/plain", "HTTP/1.1 200 Fine\r\nContent-Type: text/plain\r\n"},
        {HRM_REPLY, QString(), "text/plain", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"},
        {HRM_REPLY, QStringLiteral("Fine\r\nX-Injected: 1"), "text/plain", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"},
        {HRM_REPLY, QStringLiteral("Fine"), "text/plain", "HTTP/1.1 200 Fine\r\nContent-Type: text/plain\r\n"},
        {HRM_REPLY, QStringLiteral("Fine"), "", "HTTP/1.1 200 Fine\r\n"},
        {HRM_REPLY, QStringLiteral("Fine"), "a\r\nX-Injected: 1", "HTTP/1.1 200 Fine\r\n"},
        {HRM_NOT_FOUND, QStringLiteral("Fine"), "text/plain", "HTTP/1.1 404 Fine\r\nContent-Type: text/plain\r\n"},
        {HRM_NOT_FOUND, QString(), "text/plain", "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"},
        {HRM_NOT_MODIFIED, QString(), "text/plain", "HTTP/1.1 304 \r\n"},
        {HRM_REPLY, QString(), "text/plain", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"},
    };
    size_t at = 0;
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e != SE_REQUEST)
            return;
        c->reply().mode = cases[at].mode;
        c->reply().body = "x";
        c->reply().contentType = cases[at].type;
        if (!cases[at].reason.isNull())
            c->reply().reason = cases[at].reason;
    };
    for (at = 0; at < std::size(cases); ++at) {
        SCOPED_TRACE(at);
        TtestClient c(port);
        ASSERT_TRUE(c.send("GET /s HTTP/1.1\r\nHost: x\r\n\r\n"));
        const TtestResponse r = c.response(cases[at].mode == HRM_NOT_MODIFIED);
        ASSERT_FALSE(r.head.isEmpty());
        EXPECT_TRUE((r.head + "\r\n").startsWith(cases[at].expectedHead)) << r.head.constData();
        EXPECT_FALSE(r.head.contains("X-Injected"));
        EXPECT_EQ(r.head.count("Content-Type"), cases[at].expectedHead.count("Content-Type"));
    }
}

TEST_F(ServerTest, IdleConnectionKeepsNoBody)
{
    // A big body is let go once it is sent, while the connection stays open
    // for the next request; the handlers of the reply's events still see it.
    ThttpConn *conn = nullptr;
    qsizetype seenWhenCompleted = -1;
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            conn = c;
            c->reply().mode = HRM_REPLY;
            c->reply().body = QByteArray(300000, 'p');
        } else if (e == SE_REQUEST_COMPLETED) {
            seenWhenCompleted = c->reply().body.size();
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /page HTTP/1.1\r\nHost: x\r\n\r\n"));
    const TtestResponse r = c.response();
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(r.body.size(), 300000);
    ASSERT_TRUE(pumpUntil([&] { return conn && conn->state() == HCS_IDLE && seenWhenCompleted >= 0; }));
    EXPECT_EQ(seenWhenCompleted, 300000);
    EXPECT_TRUE(conn->reply().body.isNull());
    // The connection serves the next request as before.
    ASSERT_TRUE(c.send("GET /page HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(c.response().body.size(), 300000);
}
