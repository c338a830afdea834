// The HTTPS listener of the server core: requests over TLS, big bodies
// through the session, plain clients and old protocols turned away, and
// stalled handshakes that hold nothing up.
#include "serverFixture.h"
#include "tlsTestClient.h"

#include "http/tlsContext.h"
#include "http/tlsSelfSigned.h"

#include <QTemporaryDir>

namespace {

class TlsServerTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        QString error;
        const QString cert = dir.filePath(QStringLiteral("c.pem")), key = dir.filePath(QStringLiteral("k.pem"));
        ASSERT_TRUE(makeSelfSigned(cert, key, QStringLiteral("localhost"), &error)) << error.toStdString();
        auto context = TtlsContext::load(cert, key, &error);
        ASSERT_NE(context, nullptr) << error.toStdString();
        ASSERT_TRUE(srv->startTls(QStringLiteral("127.0.0.1"), QStringLiteral("0"), context));
        tlsPort = srv->tlsPort().toUShort();
        ASSERT_NE(tlsPort, 0);
        ASSERT_NE(tlsPort, port);
    }

    QByteArray pattern(qsizetype n) const
    {
        QByteArray b(n, Qt::Uninitialized);
        for (qsizetype i = 0; i < n; ++i)
            b[i] = char((i * 7 + i / 4096) & 0xff);
        return b;
    }

    QTemporaryDir dir;
    quint16 tlsPort = 0;
};

} // namespace

TEST_F(TlsServerTest, RequestOverTlsIsAnsweredAndTheConnectionSaysSo)
{
    TtlsTestClient c(tlsPort);
    ASSERT_TRUE(c.connected);
    ASSERT_TRUE(c.handshake());
    EXPECT_EQ(c.protocol(), QStringLiteral("TLSv1.3"));
    ASSERT_TRUE(c.send("GET /over-tls HTTP/1.1\r\nHost: x\r\n\r\n"));
    const TtestResponse r = c.response();
    EXPECT_EQ(r.code, 200);
    EXPECT_EQ(r.body, QByteArray("hello /over-tls"));
    ASSERT_EQ(srv->conns.size(), 1);
    EXPECT_TRUE(srv->conns.first()->isTls());
    EXPECT_EQ(srv->conns.first()->tlsProtocol(), QStringLiteral("TLSv1.3"));
    // The same connection serves the next request.
    ASSERT_TRUE(c.send("GET /again HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /again"));

    // The plain port is still plain.
    TtestClient plain(port);
    ASSERT_TRUE(plain.send("GET /plain HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(plain.response().body, QByteArray("hello /plain"));
    ASSERT_TRUE(pumpUntil([&] { return srv->conns.size() == 2; }));
    EXPECT_FALSE(srv->conns.last()->isTls());
}

TEST_F(TlsServerTest, HeadsSpreadOverRecordsAndPipelinedOnesAreAllRead)
{
    // The server stops reading once the session says the socket is empty:
    // records that come later, or several that come at once, must still be
    // read.
    TtlsTestClient c(tlsPort);
    ASSERT_TRUE(c.connected);
    ASSERT_TRUE(c.handshake());
    ASSERT_TRUE(c.send("GET /split HTTP/1.1\r\n"));
    pumpUntil([] { return false; }, 50);
    ASSERT_TRUE(c.send("Host: x\r\n"));
    pumpUntil([] { return false; }, 50);
    ASSERT_TRUE(c.send("\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /split"));
    // Three requests, one record each, in the kernel's queue together.
    ASSERT_TRUE(c.send("GET /one HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(c.send("GET /two HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(c.send("GET /three HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /one"));
    EXPECT_EQ(c.response().body, QByteArray("hello /two"));
    EXPECT_EQ(c.response().body, QByteArray("hello /three"));
}

TEST_F(TlsServerTest, BigBodiesFromMemoryAndFileArriveWhole)
{
    // Far more than a socket buffer: writes that the socket cannot take
    // at once are retried from the queue, file ranges go through pread.
    const QByteArray data = pattern(5 << 20);
    const QString file = dir.filePath(QStringLiteral("big.bin"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e != SE_REQUEST)
            return;
        c->reply().mode = HRM_REPLY;
        if (c->request().url == "/mem") {
            c->reply().body = data;
        } else {
            c->reply().bodyMode = RBM_FILE;
            c->reply().bodyFile = file;
        }
    };
    TtlsTestClient c(tlsPort);
    ASSERT_TRUE(c.handshake());
    ASSERT_TRUE(c.send("GET /mem HTTP/1.1\r\n\r\n"));
    TtestResponse r = c.response(20000);
    EXPECT_EQ(r.code, 200);
    EXPECT_TRUE(r.complete);
    EXPECT_TRUE(r.body == data) << r.body.size();

    ASSERT_TRUE(c.send("GET /file HTTP/1.1\r\nRange: bytes=1000-\r\n\r\n"));
    r = c.response(20000);
    EXPECT_EQ(r.code, 206);
    EXPECT_TRUE(r.complete);
    EXPECT_TRUE(r.body == data.mid(1000)) << r.body.size();
    EXPECT_EQ(srv->conns.first()->bytesSent() > data.size() * 2 - 1000, true);
}

TEST_F(TlsServerTest, PlainRequestOnTheTlsPortGetsA400)
{
    TtestClient c(tlsPort);
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    const TtestResponse r = c.response();
    EXPECT_EQ(r.code, 400);
    EXPECT_TRUE(r.body.contains("HTTPS")) << r.body.constData();
    EXPECT_TRUE(c.waitClosed());
    EXPECT_EQ(count(SE_REQUEST), 0);
}

TEST_F(TlsServerTest, OldProtocolIsRefused)
{
    TtlsTestClient old(tlsPort, TLS1_1_VERSION);
    EXPECT_FALSE(old.handshake());
    EXPECT_TRUE(pumpUntil([&] { return srv->conns.isEmpty(); }));
    // TLS 1.2 is still fine.
    TtlsTestClient v12(tlsPort, TLS1_2_VERSION);
    ASSERT_TRUE(v12.handshake());
    EXPECT_EQ(v12.protocol(), QStringLiteral("TLSv1.2"));
}

TEST_F(TlsServerTest, CookiesOverTlsAreSecure)
{
    handler = [](TserverEvent e, ThttpConn *c) {
        if (e != SE_REQUEST)
            return;
        c->reply().mode = HRM_REPLY;
        c->reply().body = "c";
        c->setCookie(QStringLiteral("id"), QStringLiteral("42"), {{QStringLiteral("path"), QStringLiteral("/")}},
                     QStringLiteral("HttpOnly"));
    };
    TtlsTestClient c(tlsPort);
    ASSERT_TRUE(c.handshake());
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(c.response().header("Set-Cookie"), QByteArray("id=42; path=/; HttpOnly; Secure"));
    TtestClient plain(port);
    ASSERT_TRUE(plain.send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(plain.response().header("Set-Cookie"), QByteArray("id=42; path=/; HttpOnly"));
}

TEST_F(TlsServerTest, StalledHandshakesHoldNothingUp)
{
    // Peers that connect and say nothing, and one that stops inside its hello.
    std::vector<std::unique_ptr<TtestClient>> silent;
    for (int i = 0; i < 60; ++i)
        silent.push_back(std::make_unique<TtestClient>(tlsPort));
    ASSERT_TRUE(silent.back()->send(QByteArray("\x16\x03\x01\x02\x00\x01", 6)));
    ASSERT_TRUE(pumpUntil([&] { return srv->conns.size() == 60; }));

    TtlsTestClient c(tlsPort);
    ASSERT_TRUE(c.handshake());
    ASSERT_TRUE(c.send("GET /through HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(c.response().body, QByteArray("hello /through"));
    TtestClient plain(port);
    ASSERT_TRUE(plain.send("GET /plain HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(plain.response().body, QByteArray("hello /plain"));
    EXPECT_EQ(count(SE_REQUEST), 2);
    // The silent ones are still waiting (the application's idle timeout
    // closes them); none was handed a request.
    EXPECT_EQ(srv->conns.size(), 62);
}

TEST_F(TlsServerTest, StoppingTheServerStopsTheTlsListener)
{
    srv->stop();
    EXPECT_FALSE(srv->isTlsListening());
    EXPECT_TRUE(srv->tlsPort().isEmpty());
    TtestClient c(tlsPort);
    EXPECT_FALSE(c.connected);
}
