// Bandwidth limiters, the queue and pausing.

#include "http/speedLimiter.h"
#include "serverFixture.h"

TEST(SpeedLimiter, AllowanceAndLimits)
{
    TspeedLimiter l(1000);
    EXPECT_EQ(l.allowance(), 0); // nothing before the first refill
    l.refill();
    EXPECT_EQ(l.allowance(), 1000);
    l.setLimit(300);
    EXPECT_EQ(l.availableBandwidth, 300);
    l.setLimit(5000); // never raised by a new limit
    EXPECT_EQ(l.availableBandwidth, 300);
    l.consume(4000000000LL);
    EXPECT_LT(l.availableBandwidth, 0);
    EXPECT_EQ(l.allowance(), 0); // driven negative counts as nothing
    EXPECT_FALSE(TspeedLimiter().isLimited());
    EXPECT_TRUE(TspeedLimiter(2147483646).isLimited());
}

TEST_F(ServerTest, LimitedConnectionKeepsItsRate)
{
    TspeedLimiter limiter(40000);
    srv->limiters.append(&limiter);
    const QByteArray body(100000, 'z');
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_CONNECTED)
            c->limiters().append(&limiter);
        if (e == SE_REQUEST) {
            c->reply().mode = HRM_REPLY;
            c->reply().body = body;
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\n\r\n"));
    // Nothing flows before the first refill, then about 40000 bytes a second.
    ASSERT_TRUE(c.waitBytes(1000, 2000));
    QElapsedTimer t;
    t.start();
    pumpEvents(500);
    c.poll();
    EXPECT_LE(c.received.size(), 40000 + 200);
    const TtestResponse r = c.response(false, 4000);
    ASSERT_TRUE(r.complete);
    EXPECT_TRUE(r.body == body);
    // Two more refills were needed for the remaining 60000 bytes.
    EXPECT_GE(t.elapsed(), 1500);
    EXPECT_LE(t.elapsed(), 3000);
    srv->limiters.removeAll(&limiter);
    for (ThttpConn *conn : std::as_const(srv->conns))
        conn->limiters().clear();
}

TEST_F(ServerTest, UnlimitedConnectionIgnoresQueueButPaysLimiter)
{
    TspeedLimiter shared(1000);
    srv->limiters.append(&shared);
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_CONNECTED) {
            c->limiters().append(&shared);
            c->setIgnoreSpeedLimit(true);
        }
        if (e == SE_REQUEST) {
            c->reply().mode = HRM_REPLY;
            c->reply().body = QByteArray(50000, 'u');
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(c.response(false, 1000).complete); // well under the limiter's pace
    EXPECT_LT(shared.availableBandwidth, 1000);
    srv->limiters.removeAll(&shared);
    for (ThttpConn *conn : std::as_const(srv->conns))
        conn->limiters().clear();
}

TEST_F(ServerTest, PausedConnectionWaitsThenResumes)
{
    ThttpConn *conn = nullptr;
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            conn = c;
            c->setPaused(true);
            c->reply().mode = HRM_REPLY;
            c->reply().body = QByteArray(5000, 'p');
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\n\r\n"));
    // The head goes out; the body waits in the queue.
    ASSERT_TRUE(c.waitFor([&] { return c.received.contains("\r\n\r\n"); }));
    pumpEvents(100);
    c.poll();
    EXPECT_TRUE(c.received.endsWith("\r\n\r\n"));
    ASSERT_NE(conn, nullptr);
    EXPECT_TRUE(srv->q.contains(conn));
    conn->setPaused(false);
    const TtestResponse r = c.response();
    EXPECT_EQ(r.body.size(), 5000);
    EXPECT_TRUE(srv->q.isEmpty());
}
