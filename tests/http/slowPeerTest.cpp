// Slow peers. The pace the server asks of requests: a head dribbled in, or
// a body that trickles, ends the connection however often a byte arrives,
// while a body that keeps coming earns its time and an idle kept-alive
// connection is left to the application's own timeout (time is passed to
// expireSlowRequests). And a peer that reads nothing cannot hold a
// connection that is being closed.

#include "serverFixture.h"

#include <QScopeGuard>

namespace {
ThttpConn *onlyConn(ThttpSrv &srv)
{
    return srv.conns.size() == 1 ? srv.conns.first() : nullptr;
}

// Whether the peer's connection is still open after the loop ran a little.
bool staysOpen(TtestClient &c)
{
    pumpEvents(30);
    c.poll();
    return !c.closed;
}
}

TEST_F(ServerTest, DribbledHeadEndsAtTheRequestTimeout)
{
    srv->requestTimeoutMs = 30000;
    // A head sent a little at a time, and empty lines alone: neither buys time.
    for (const QByteArray &first : {QByteArray("GET /slow HTTP/1.1\r\nHo"), QByteArray("\r\n")}) {
        SCOPED_TRACE(first.constData());
        events.clear();
        TtestClient c(port);
        ASSERT_TRUE(c.send(first));
        ASSERT_TRUE(pumpUntil([&] { return onlyConn(*srv) && onlyConn(*srv)->bytesReceived() == first.size(); }));
        const qint64 t0 = srv->now();
        srv->expireSlowRequests(t0 + 20000);
        ASSERT_TRUE(c.send("st: x\r\nX-A: "));
        srv->expireSlowRequests(t0 + 29000);
        EXPECT_TRUE(staysOpen(c));
        ASSERT_TRUE(c.send("b"));
        srv->expireSlowRequests(t0 + 31000);
        ASSERT_TRUE(c.waitClosed());
        EXPECT_TRUE(c.received.isEmpty());
        EXPECT_EQ(count(SE_REQUEST), 0);
        c.close();
        ASSERT_TRUE(pumpUntil([&] { return srv->conns.isEmpty(); }));
    }
}

TEST_F(ServerTest, BodyEarnsASecondPerRateBytes)
{
    srv->requestTimeoutMs = 30000;
    srv->minRequestRate = 500;
    // A body the application reads, and one it leaves unread (skipped after
    // the reply): 5,000 bytes of either buy 10 s over the 30 s.
    const QByteArray heads[] = {
        "POST /up HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 100000\r\n\r\n",
        "GET /get HTTP/1.1\r\nContent-Length: 100000\r\n\r\n",
    };
    for (const QByteArray &head : heads) {
        SCOPED_TRACE(head.constData());
        events.clear();
        TtestClient c(port);
        ASSERT_TRUE(c.send(head + QByteArray(4000, 'a')));
        ASSERT_TRUE(pumpUntil([&] { return onlyConn(*srv) && onlyConn(*srv)->bytesReceived() == head.size() + 4000; }));
        const qint64 t0 = srv->now();
        ASSERT_TRUE(c.send(QByteArray(1000, 'a')));
        ASSERT_TRUE(pumpUntil([&] { return onlyConn(*srv)->bytesReceived() == head.size() + 5000; }));
        srv->expireSlowRequests(t0 + 39000);
        EXPECT_TRUE(staysOpen(c));
        srv->expireSlowRequests(t0 + 41000);
        ASSERT_TRUE(c.waitClosed());
        EXPECT_EQ(count(SE_POST_VARS), 0);
        c.close();
        ASSERT_TRUE(pumpUntil([&] { return count(SE_DISCONNECTED) == 1; }));
    }
}

TEST_F(ServerTest, IdleKeptAliveConnectionIsNotASlowRequest)
{
    srv->requestTimeoutMs = 30000;
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /a HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /a"));
    srv->expireSlowRequests(srv->now() + 3600000);
    EXPECT_TRUE(staysOpen(c));
    // The next head gets its own time, from its own first byte.
    ASSERT_TRUE(c.send("GET /b HTTP/1.1\r\n"));
    ASSERT_TRUE(pumpUntil([&] { return onlyConn(*srv)->state() == HCS_REQUESTING; }));
    srv->expireSlowRequests(srv->now() + 20000);
    ASSERT_TRUE(c.send("\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /b"));
}

TEST_F(ServerTest, SlowRequestRulesTurnedOff)
{
    // No rate: a body may take as long as it likes; no timeout: nor may a head.
    srv->requestTimeoutMs = 30000;
    srv->minRequestRate = 0;
    TtestClient body(port);
    ASSERT_TRUE(body.send("GET /get HTTP/1.1\r\nContent-Length: 10\r\n\r\n"));
    EXPECT_EQ(body.response().body, QByteArray("hello /get"));
    srv->expireSlowRequests(srv->now() + 3600000);
    EXPECT_TRUE(staysOpen(body));

    srv->requestTimeoutMs = 0;
    TtestClient head(port);
    ASSERT_TRUE(head.send("GET /h"));
    ASSERT_TRUE(pumpUntil([&] { return srv->conns.size() == 2 && srv->conns.last()->state() == HCS_REQUESTING; }));
    srv->expireSlowRequests(srv->now() + 3600000);
    EXPECT_TRUE(staysOpen(head));
    ASSERT_TRUE(head.send(" HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(head.response().body, QByteArray("hello /h"));
}

TEST_F(ServerTest, CloseGivesUpOnAPeerThatNeverReads)
{
    // A reply far larger than what the kernel buffers, to a peer that reads
    // nothing: the close the application asks for (its idle timeout, say)
    // cannot send the rest, and ends with a reset instead of waiting for ever.
    const auto restore = qScopeGuard([saved = TtcpSocket::closeFlushMs] { TtcpSocket::closeFlushMs = saved; });
    TtcpSocket::closeFlushMs = 1500;
    handler = [](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            c->reply().mode = HRM_REPLY;
            c->reply().body = QByteArray(8 << 20, 'x');
        }
    };
    TtestClient c(port);
    const int small = 4096;
    setsockopt(c.fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_TRUE(c.send("GET /big HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(pumpUntil([&] { return srv->conns.size() == 1 && srv->conns.first()->state() == HCS_REPLYING_BODY; }));
    pumpEvents(200);
    QElapsedTimer t;
    t.start();
    srv->conns.first()->disconnect();
    EXPECT_TRUE(pumpUntil([&] { return srv->conns.isEmpty(); }, 6000));
    EXPECT_GE(t.elapsed(), 1400);
}
