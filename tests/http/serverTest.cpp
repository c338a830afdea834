// The server over real loopback sockets: heads, pipelining, keep-alive,
// HEAD, refusals, oversized input, application errors.

#include "http/connTestAccess.h"
#include "serverFixture.h"

#include <QElapsedTimer>

#include <stdexcept>

TEST_F(ServerTest, SimpleGetAndEventOrder)
{
    TtestClient c(port);
    ASSERT_TRUE(c.connected);
    ASSERT_TRUE(c.send("GET /a?b HTTP/1.1\r\nHost: x\r\n\r\n"));
    const TtestResponse r = c.response();
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(r.code, 200);
    EXPECT_TRUE(r.head.startsWith("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 10"));
    EXPECT_EQ(r.body, QByteArray("hello /a?b"));
    ASSERT_TRUE(pumpUntil([&] { return count(SE_REQUEST_COMPLETED) == 1; }));
    const std::vector<TserverEvent> want = {SE_SERVER_START, SE_CONNECTED, SE_GOT_DATA, SE_REQUESTING, SE_GOT_HEADER,
                                            SE_REQUEST, SE_STREAM_READY, SE_BYTES_SENT, SE_REPLIED, SE_REQUEST_COMPLETED};
    EXPECT_EQ(events, want);
    ASSERT_EQ(srv->conns.size(), 1);
    EXPECT_EQ(srv->conns.first()->address(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(srv->conns.first()->totalBodyBytesSent(), 10);
}

TEST_F(ServerTest, HeadSplitAtEveryByte)
{
    const QByteArray req = "GET /split HTTP/1.1\r\nHost: x\r\nUser-Agent: t\r\n\r\n";
    TtestClient c(port);
    for (int cut = 1; cut < req.size(); ++cut) {
        SCOPED_TRACE(cut);
        ASSERT_TRUE(c.send(req.left(cut)));
        pumpEvents(1);
        ASSERT_TRUE(c.send(req.mid(cut)));
        const TtestResponse r = c.response();
        ASSERT_TRUE(r.complete);
        EXPECT_EQ(r.body, QByteArray("hello /split"));
    }
    EXPECT_FALSE(c.closed);
    EXPECT_EQ(count(SE_CONNECTED), 1);
}

TEST_F(ServerTest, HeadByteByByteAndBareCarriageReturns)
{
    TtestClient c(port);
    for (char ch : QByteArray("GET /cr HTTP/1.1\r\r")) {
        ASSERT_TRUE(c.send(QByteArray(1, ch)));
        pumpEvents(0);
    }
    EXPECT_EQ(c.response().body, QByteArray("hello /cr"));
}

TEST_F(ServerTest, PipelinedRequestsAnsweredInOrder)
{
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\nHEAD /3 HTTP/1.1\r\n\r\nGET /4 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /1"));
    EXPECT_EQ(c.response().body, QByteArray("hello /2"));
    const TtestResponse head = c.response(true);
    EXPECT_EQ(head.header("Content-Length"), QByteArray("8"));
    EXPECT_EQ(c.response().body, QByteArray("hello /4"));
    EXPECT_TRUE(c.received.isEmpty());
}

TEST_F(ServerTest, PipelinedRequestFoundBusyStartsAtTheNextTick)
{
    // The start of the next pipelined request finds its connection busy
    // (held by the application): the timer's next ticks try it again, well
    // before the once-a-second look at every connection.
    ThttpConn *held = nullptr;
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST)
            serveHello(c);
        if (e == SE_REPLIED && c->request().url == "/1") {
            held = c;
            // Queued ahead of the start of "/2".
            QMetaObject::invokeMethod(srv.get(), [c] { ThttpConnTestAccess::setLockCount(*c, 1); },
                                      Qt::QueuedConnection);
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /1"));
    ASSERT_TRUE(pumpUntil([&] { return held && held->isLocked(); }));
    pumpEvents(100);
    EXPECT_EQ(count(SE_REQUEST), 1); // still held
    QElapsedTimer released;
    released.start();
    ThttpConnTestAccess::setLockCount(*held, 0);
    EXPECT_EQ(c.response(false, 3000).body, QByteArray("hello /2"));
    EXPECT_LT(released.elapsed(), 150); // ticks come every 10 ms, the full look once a second
}

TEST_F(ServerTest, KeepAliveRules)
{
    struct Case {
        const char *request;
        bool allow;
        bool closes;
    };
    const Case cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", true, false},
        {"GET / HTTP/1.0\r\n\r\n", true, true},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true, false},
        {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", true, true},
        {"GET / HTTP/1.1\r\n\r\n", false, true},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.request);
        srv->persistentConnections = k.allow;
        TtestClient c(port);
        ASSERT_TRUE(c.send(k.request));
        ASSERT_TRUE(c.response().complete);
        EXPECT_EQ(c.waitClosed(k.closes ? 3000 : 150), k.closes);
    }
}

TEST_F(ServerTest, HeadNeverGetsBodyBytes)
{
    handler = [](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            c->reply().mode = c->request().url == "/err" ? HRM_NOT_FOUND : HRM_REPLY; // even HRM_REPLY
            c->reply().body = "0123456789";
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("HEAD /f HTTP/1.1\r\n\r\nGET /f HTTP/1.1\r\n\r\n"));
    const TtestResponse h = c.response(true);
    EXPECT_EQ(h.code, 200);
    EXPECT_EQ(h.header("Content-Length"), QByteArray("10"));
    const TtestResponse g = c.response();
    EXPECT_EQ(g.code, 200);
    EXPECT_EQ(g.body, QByteArray("0123456789"));
    EXPECT_EQ(count(SE_REQUEST_COMPLETED), 1); // the HEAD sent no body

    TtestClient e(port);
    ASSERT_TRUE(e.send("HEAD /err HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(e.waitClosed());
    EXPECT_TRUE(e.received.startsWith("HTTP/1.1 404 Not Found\r\n"));
    EXPECT_TRUE(e.received.endsWith("\r\n\r\n"));
}

TEST_F(ServerTest, ErrorModesCloseWithDefaultBody)
{
    handler = [](TserverEvent e, ThttpConn *c) {
        if (e != SE_REQUEST)
            return;
        if (c->request().url == "/nf") {
            c->reply().mode = HRM_NOT_FOUND;
        } else if (c->request().url == "/auth") {
            c->reply().mode = HRM_UNAUTHORIZED;
        } else if (c->request().url == "/busy") {
            c->reply().mode = HRM_OVERLOAD;
        } else if (c->request().url == "/go") {
            c->reply().mode = HRM_REDIRECT;
            c->reply().url = QStringLiteral("/a b/");
        } else if (c->request().url == "/evil") {
            c->reply().mode = HRM_REDIRECT;
            c->reply().url = QStringLiteral("/x\r\nSet-Cookie: a=1");
        } else if (c->request().url == "/type") {
            c->reply().mode = HRM_REPLY;
            c->reply().contentType = "text/plain\r\nX-Evil: 1";
            c->reply().additionalHeaders = "X-Ok: 1\r\n\r\n<injected>\r\n";
        }
    };
    struct Case {
        const char *url;
        const char *head;
        const char *body;
    };
    // Each closes the connection after it, and says so.
    const Case cases[] = {
        {"/nf", "HTTP/1.1 404 Not Found\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n", "404 - File not found"},
        {"/auth", "HTTP/1.1 401 Unauthorized\r\nContent-Type: text/html; charset=utf-8\r\n"
                  "WWW-Authenticate: Basic realm=\"Password protected resource\"\r\nConnection: close\r\n\r\n",
         "401 - You are not authorized to access this file"},
        {"/busy", "HTTP/1.1 429 \r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n", "429 - Server is overloaded, retry later"},
        {"/evil", "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n",
         "500 - Internal server error"},
        {"/type", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-Ok: 1\r\nConnection: close\r\n\r\n", ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.url);
        TtestClient c(port);
        ASSERT_TRUE(c.send(QByteArray("GET ") + k.url + " HTTP/1.1\r\nConnection: close\r\n\r\n"));
        ASSERT_TRUE(c.waitClosed());
        EXPECT_EQ(c.received, QByteArray(k.head) + k.body);
    }
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /go HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(c.waitClosed());
    const TtestResponse r = c.takeResponse();
    EXPECT_EQ(r.code, 302);
    EXPECT_EQ(r.header("Location"), QByteArray("/a b/"));
    EXPECT_TRUE(r.body.contains("Redirection to /a b/"));
}

TEST_F(ServerTest, OversizedHeadGets413ThenClose)
{
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /" + QByteArray(70000, 'a')));
    ASSERT_TRUE(c.waitClosed());
    EXPECT_TRUE(c.received.startsWith("HTTP/1.1 413 Payload Too Large\r\n"));
    EXPECT_TRUE(c.received.endsWith("\r\n\r\n413 - The request has exceeded the max length allowed"));
    EXPECT_EQ(count(SE_REQUEST), 0);

    // A body beyond the input limit: closed without a reply.
    TtestClient big(port);
    big.send("POST / HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 300000\r\n\r\n"
             + QByteArray(300000, 'a'));
    ASSERT_TRUE(big.waitClosed());
    EXPECT_TRUE(big.received.isEmpty());
    EXPECT_EQ(count(SE_POST_VARS), 0);
}

TEST_F(ServerTest, CtrlCClosesWithoutReply)
{
    // Whether the head's end comes in the same read or not.
    for (const QByteArray &sent : {QByteArray("GET / HT\x03"), QByteArray("GET /\x03 HTTP/1.1\r\n\r\n")}) {
        SCOPED_TRACE(sent.constData());
        TtestClient c(port);
        ASSERT_TRUE(c.send(sent));
        ASSERT_TRUE(c.waitClosed());
        EXPECT_TRUE(c.received.isEmpty());
    }
    EXPECT_EQ(count(SE_REQUEST), 0);
}

TEST_F(ServerTest, RefusedAtConnectCountsButNeverParses)
{
    handler = [](TserverEvent e, ThttpConn *c) {
        if (e == SE_CONNECTED)
            c->reply().mode = HRM_CLOSE;
    };
    TtestClient c(port);
    c.send("GET / HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(c.waitClosed());
    c.close();
    EXPECT_TRUE(c.received.isEmpty());
    EXPECT_EQ(count(SE_REQUEST), 0);
    EXPECT_EQ(count(SE_GOT_DATA), 0);
    ASSERT_TRUE(pumpUntil([&] { return count(SE_DISCONNECTED) == 1; }));
}

TEST_F(ServerTest, UnreadBodiesAreSkipped)
{
    TtestClient c(port);
    // A GET with a body, a POST of another type, then a plain GET: the
    // bodies must not be read as requests.
    ASSERT_TRUE(c.send("GET /a HTTP/1.1\r\nContent-Length: 18\r\n\r\nGET /evil HTTP/1.1"
                       "POST /b HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: 20\r\n\r\nGET /no HTTP/1.1\r\n\r\n"
                       "GET /c HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /a"));
    EXPECT_EQ(c.response().body, QByteArray("hello /b"));
    EXPECT_EQ(c.response().body, QByteArray("hello /c"));
    EXPECT_EQ(count(SE_REQUEST), 3);
}

TEST_F(ServerTest, UnframedBodiesCloseAfterReply)
{
    for (const char *req : {"POST /p HTTP/1.1\r\n\r\nGET /no HTTP/1.1\r\n\r\n",
                            "POST /p HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n3\r\nabc\r\n0\r\n\r\n"}) {
        SCOPED_TRACE(req);
        events.clear();
        TtestClient c(port);
        ASSERT_TRUE(c.send(req));
        EXPECT_EQ(c.response().body, QByteArray("hello /p"));
        EXPECT_TRUE(c.waitClosed());
        EXPECT_EQ(count(SE_REQUEST), 1);
        EXPECT_EQ(count(SE_POST_END), 1);
    }
}

TEST_F(ServerTest, ApplicationErrorAbortsOnlyThatConnection)
{
    handler = [](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            if (c->request().url == "/throw")
                throw std::runtime_error("boom");
            serveHello(c);
        }
    };
    TtestClient bad(port);
    ASSERT_TRUE(bad.send("GET /throw HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(bad.waitClosed());
    EXPECT_TRUE(bad.received.isEmpty());
    TtestClient good(port);
    ASSERT_TRUE(good.send("GET /ok HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(good.response().body, QByteArray("hello /ok"));
    for (ThttpConn *c : std::as_const(srv->conns))
        EXPECT_EQ(c->lockCount(), 0);
}

TEST_F(ServerTest, LockedConnectionIsNotMovedUntilCallbackReturns)
{
    // The peer closes while the application runs a nested loop in SE_REQUEST.
    bool inside = false;
    TtestClient *client = nullptr;
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e != SE_REQUEST)
            return;
        inside = true;
        client->close();
        pumpEvents(100); // timer ticks run meanwhile
        EXPECT_TRUE(srv->conns.contains(c));
        EXPECT_FALSE(srv->offlines.contains(c));
        inside = false;
        serveHello(c);
    };
    TtestClient c(port);
    client = &c;
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(pumpUntil([&] { return count(SE_DISCONNECTED) == 1; }));
    EXPECT_FALSE(inside);
    EXPECT_TRUE(srv->conns.isEmpty());
}

TEST_F(ServerTest, StartStopAndPort)
{
    EXPECT_FALSE(srv->start(QStringLiteral("127.0.0.1")));
    EXPECT_THROW(srv->setPort(QStringLiteral("81")), std::logic_error);
    EXPECT_TRUE(srv->isListening());
    srv->stop();
    EXPECT_FALSE(srv->isListening());
    EXPECT_EQ(count(SE_SERVER_STOP), 1);

    // Every address: IPv4 and, when the machine has it, IPv6 on the same port.
    srv->setPort(QStringLiteral("0"));
    ASSERT_TRUE(srv->start(QStringLiteral("*")));
    const quint16 p = srv->port().toUShort();
    TtestClient c4(p);
    ASSERT_TRUE(c4.send("GET /v4 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(c4.response().body, QByteArray("hello /v4"));
    if (srv->sock6) {
        TtestClient c6(p, true);
        ASSERT_TRUE(c6.connected);
        ASSERT_TRUE(c6.send("GET /v6 HTTP/1.1\r\n\r\n"));
        EXPECT_EQ(c6.response().body, QByteArray("hello /v6"));
        bool sawV6 = false;
        for (ThttpConn *c : std::as_const(srv->conns))
            sawV6 |= c->isV6() && c->address() == QStringLiteral("::1");
        EXPECT_TRUE(sawV6);
    }
}

TEST_F(ServerTest, NestedLoopInCallbackServesOthers)
{
    // While the application waits in a nested loop for one request, other
    // connections are served, come and go, and are freed by the timer.
    TtestClient *other = nullptr;
    bool otherServed = false;
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e != SE_REQUEST)
            return;
        if (c->request().url == "/slow") {
            other->send("GET /fast HTTP/1.1\r\nConnection: close\r\n\r\n");
            otherServed = other->waitClosed(3000);
            other->close();
            pumpEvents(50); // the timer moves and frees the closed one meanwhile
        }
        serveHello(c);
    };
    TtestClient slow(port), fast(port);
    other = &fast;
    ASSERT_TRUE(slow.send("GET /slow HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(slow.response().body, QByteArray("hello /slow"));
    EXPECT_TRUE(otherServed);
    EXPECT_TRUE(fast.received.endsWith("hello /fast"));
    ASSERT_TRUE(pumpUntil([&] { return count(SE_DISCONNECTED) == 1 && srv->offlines.isEmpty(); }));
    ASSERT_TRUE(slow.send("GET /again HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(slow.response().body, QByteArray("hello /again"));
}

TEST_F(ServerTest, ManyConnectionsAtOnce)
{
    std::vector<std::unique_ptr<TtestClient>> clients;
    for (int i = 0; i < 200; ++i) {
        clients.push_back(std::make_unique<TtestClient>(port));
        ASSERT_TRUE(clients.back()->send("GET /" + QByteArray::number(i) + " HTTP/1.1\r\n\r\n"));
    }
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(clients[i]->response().body, "hello /" + QByteArray::number(i));
    EXPECT_EQ(srv->conns.size(), 200);
    clients.clear();
    ASSERT_TRUE(pumpUntil([&] { return srv->conns.isEmpty() && srv->offlines.isEmpty(); }));
    EXPECT_EQ(count(SE_DISCONNECTED), 200);
}

TEST_F(ServerTest, RejectedHeadIsSkipped)
{
    TtestClient c(port);
    ASSERT_TRUE(c.send("GARBAGE\r\n\r\nGET /ok HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /ok"));
    EXPECT_EQ(count(SE_REQUEST), 1);
    EXPECT_EQ(count(SE_GOT_HEADER), 1);
}

TEST_F(ServerTest, ApplicationFreesOfflineConnections)
{
    srv->autoFree = false;
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\nConnection: close\r\n\r\n"));
    ASSERT_TRUE(c.waitClosed());
    c.close();
    ASSERT_TRUE(pumpUntil([&] { return srv->offlines.size() == 1; }));
    ThttpConn *gone = srv->offlines.first();
    EXPECT_TRUE(srv->conns.isEmpty());
    ThttpConnTestAccess::setLockCount(*gone, 1);
    EXPECT_THROW(ThttpConn::free(gone), std::logic_error);
    ThttpConnTestAccess::setLockCount(*gone, 0);
    ThttpConn::free(gone);
    EXPECT_TRUE(srv->offlines.isEmpty());
}

TEST_F(ServerTest, NotModifiedKeepsTheConnectionAndItsTag)
{
    handler = [](TserverEvent e, ThttpConn *c) {
        if (e != SE_REQUEST)
            return;
        if (c->request().url == "/cached") {
            c->addHeader("ETag: \"abc\"");
            c->reply().mode = HRM_NOT_MODIFIED;
            c->reply().body = "never sent";
        } else {
            serveHello(c);
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /cached HTTP/1.1\r\n\r\nGET /next HTTP/1.1\r\n\r\n"));
    const TtestResponse r = c.response(true);
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(r.head, QByteArray("HTTP/1.1 304 \r\nETag: \"abc\""));
    EXPECT_EQ(c.response().body, QByteArray("hello /next"));
    EXPECT_FALSE(c.closed);
}

TEST_F(ServerTest, BareLineFeedsAndLeadingEmptyLines)
{
    TtestClient c(port);
    const QByteArray heads[] = {"GET /lf HTTP/1.1\nHost: x\n\n", "GET /mixed HTTP/1.1\r\nHost: x\n\r\n",
                                "\r\n\r\nGET /after-empty HTTP/1.1\r\n\r\n", "\nGET /after-lf HTTP/1.1\n\n"};
    for (const QByteArray &h : heads) {
        SCOPED_TRACE(h.constData());
        ASSERT_TRUE(c.send(h));
        const TtestResponse r = c.response();
        EXPECT_EQ(r.code, 200);
        EXPECT_EQ(r.body, "hello " + h.trimmed().split(' ')[1]);
    }
    // An empty line sent on its own starts no request.
    ASSERT_TRUE(c.send("\r\n"));
    pumpEvents(30);
    ASSERT_TRUE(c.send("GET /x HTTP/1.1\n\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /x"));
    EXPECT_EQ(count(SE_REQUESTING), 5);
    EXPECT_EQ(srv->conns.first()->request().getHeader("Host"), QString());
    EXPECT_FALSE(c.closed);
}

TEST_F(ServerTest, HalfClosedPeerGetsItsReplies)
{
    struct Case {
        QByteArray sent;
        int replies;
    };
    const Case cases[] = {
        {"GET /a HTTP/1.1\r\n\r\n", 1},
        {"GET /a HTTP/1.0\r\n\r\n", 1},
        {"GET /a HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\n\r\nHEAD /c HTTP/1.1\r\n\r\n", 3},
        {"POST /p HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\n\r\nx=1", 1},
        {"GET /a HTTP/1.1\r\n\r\nGET /never-ended HTTP/1.1\r\n", 1},
        {"POST /p HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 9\r\n\r\nx=1", 0},
        {"", 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.sent.constData());
        events.clear();
        TtestClient c(port);
        ASSERT_TRUE(c.send(k.sent));
        c.shutdownWrite();
        ASSERT_TRUE(c.waitClosed());
        EXPECT_EQ(int(c.received.count("HTTP/1.1 200 OK")), k.replies);
        EXPECT_EQ(count(SE_REQUEST), k.replies);
        ASSERT_TRUE(pumpUntil([&] { return count(SE_DISCONNECTED) == 1; }));
    }
}

TEST_F(ServerTest, HalfCloseWhileTheReplyWaits)
{
    // The body is held back (paused) until after the peer ended its side:
    // it must still be sent whole.
    const QByteArray big(3 << 20, 'b');
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            c->reply().mode = HRM_REPLY;
            c->reply().body = big;
            c->setPaused(true);
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /big HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(pumpUntil([&] { return count(SE_REQUEST) == 1; }));
    c.shutdownWrite();
    pumpEvents(100);
    ASSERT_EQ(srv->conns.size(), 1);
    srv->conns.first()->setPaused(false);
    const TtestResponse r = c.response(false, 10000);
    ASSERT_TRUE(r.complete);
    EXPECT_TRUE(r.body == big);
    EXPECT_TRUE(c.waitClosed());
}
