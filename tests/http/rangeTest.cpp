// Byte ranges over file, string and device bodies; bodies that end early.

#include "serverFixture.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

namespace {
QByteArray pattern(int n)
{
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = char('a' + (i * 7 + i / 26) % 26);
    return b;
}
}

class RangeTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        content = pattern(1000);
        QFile f(dir.filePath(QStringLiteral("f.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        handler = [this](TserverEvent e, ThttpConn *c) {
            if (e != SE_REQUEST)
                return;
            c->reply().mode = HRM_REPLY;
            if (c->request().url == "/file") {
                c->reply().bodyMode = RBM_FILE;
                c->reply().bodyFile = dir.filePath(QStringLiteral("f.bin"));
            } else if (c->request().url == "/dev") {
                auto buf = std::make_unique<QBuffer>();
                buf->setData(content);
                c->reply().bodyMode = RBM_STREAM;
                c->reply().bodyStream = std::move(buf);
            } else if (c->request().url == "/missing") {
                c->reply().bodyMode = RBM_FILE;
                c->reply().bodyFile = dir.filePath(QStringLiteral("nope"));
            } else {
                c->reply().body = content;
            }
        };
    }

    QTemporaryDir dir;
    QByteArray content;
};

TEST_F(RangeTest, RangesOnEveryBodyKind)
{
    struct Case {
        const char *range;
        int code;
        const char *contentRange;
        int first, len;
    };
    const Case cases[] = {
        {nullptr, 200, nullptr, 0, 1000},
        {"bytes=100-", 206, "bytes 100-999/1000", 100, 900},
        {"bytes=0-", 200, nullptr, 0, 1000},
        {"bytes=-100", 206, "bytes 900-999/1000", 900, 100},
        {"bytes=10-19", 206, "bytes 10-19/1000", 10, 10},
        {"bytes=999-999", 206, "bytes 999-999/1000", 999, 1},
        {"bytes=5-3", 200, nullptr, 0, 1000},     // inverted: no range
        {"bytes=-5000", 200, nullptr, 0, 1000},   // more than there is: everything
    };
    for (const char *url : {"/file", "/string", "/dev"}) {
        TtestClient c(port);
        for (const Case &k : cases) {
            SCOPED_TRACE(std::string(url) + " " + (k.range ? k.range : "none"));
            QByteArray req = QByteArray("GET ") + url + " HTTP/1.1\r\n";
            if (k.range)
                req += QByteArray("Range: ") + k.range + "\r\n";
            ASSERT_TRUE(c.send(req + "\r\n"));
            const TtestResponse r = c.response();
            ASSERT_TRUE(r.complete);
            EXPECT_EQ(r.code, k.code);
            EXPECT_EQ(r.header("Content-Range"), QByteArray(k.contentRange));
            EXPECT_EQ(r.header("Content-Length").toInt(), k.len);
            EXPECT_EQ(r.body, content.mid(k.first, k.len));
        }
        EXPECT_FALSE(c.closed);
    }
    // Every reply read its stream to the end, except the two that stop early.
    EXPECT_EQ(count(SE_REQUEST_COMPLETED), 3 * (int(std::size(cases)) - 1));
}

TEST_F(RangeTest, UnsatisfiableRangeGets416AndKeepsTheConnection)
{
    for (const char *url : {"/file", "/string", "/dev"}) {
        TtestClient c(port);
        for (const char *range : {"bytes=1000-", "bytes=5000-6000", "bytes=-0", "bytes=1000-1000"}) {
            SCOPED_TRACE(std::string(url) + " " + range);
            events.clear();
            ASSERT_TRUE(c.send(QByteArray("GET ") + url + " HTTP/1.1\r\nRange: " + range + "\r\n\r\n"));
            const TtestResponse r = c.response();
            ASSERT_TRUE(r.complete);
            EXPECT_TRUE(r.head.startsWith("HTTP/1.1 416 Range Not Satisfiable\r\n"));
            EXPECT_EQ(r.header("Content-Range"), QByteArray("bytes */1000"));
            EXPECT_EQ(r.header("Content-Length"), QByteArray("0"));
            EXPECT_TRUE(r.body.isEmpty());
            EXPECT_EQ(count(SE_REQUEST_COMPLETED), 0);
        }
        // The connection goes on.
        ASSERT_TRUE(c.send(QByteArray("GET ") + url + " HTTP/1.1\r\n\r\n"));
        EXPECT_EQ(c.response().body, content);
        pumpEvents(20);
        c.poll();
        EXPECT_FALSE(c.closed);
        EXPECT_TRUE(c.received.isEmpty());
    }
}

TEST_F(RangeTest, RangePastTheEndEndsAtTheLastByte)
{
    for (const char *url : {"/file", "/string", "/dev"}) {
        TtestClient c(port);
        for (const char *range : {"bytes=10-1000", "bytes=990-999999999"}) {
            SCOPED_TRACE(std::string(url) + " " + range);
            ASSERT_TRUE(c.send(QByteArray("GET ") + url + " HTTP/1.1\r\nRange: " + range + "\r\n\r\n"));
            const TtestResponse r = c.response();
            ASSERT_TRUE(r.complete);
            EXPECT_EQ(r.code, 206);
            const int first = QByteArray(range).mid(6).split('-')[0].toInt();
            EXPECT_EQ(r.header("Content-Range"), "bytes " + QByteArray::number(first) + "-999/1000");
            EXPECT_EQ(r.body, content.mid(first));
        }
    }
    // The whole body asked for by an end past it: a plain 200.
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /file HTTP/1.1\r\nRange: bytes=0-5000\r\n\r\n"));
    const TtestResponse r = c.response();
    EXPECT_EQ(r.code, 200);
    EXPECT_EQ(r.body, content);
}

TEST_F(RangeTest, RangeIgnoredWhenResumeIsForbidden)
{
    handler = [this](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            c->reply().mode = HRM_REPLY;
            c->reply().body = content;
            c->reply().resumeForbidden = true;
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\nRange: bytes=5000-\r\n\r\n"));
    const TtestResponse r = c.response();
    EXPECT_EQ(r.code, 200);
    EXPECT_EQ(r.body, content);
}

TEST_F(RangeTest, OpenFailureGives500)
{
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /missing HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(c.waitClosed());
    EXPECT_TRUE(c.received.startsWith("HTTP/1.1 500 Internal Server Error\r\n"));
    EXPECT_TRUE(c.received.endsWith("500 - Internal server error"));
    EXPECT_EQ(count(SE_OPEN_FAILED), 1);
}

TEST_F(RangeTest, FileTruncatedWhileSendingDisconnects)
{
    // Big enough to need several chunks; cut down once the head is out.
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    const QByteArray big = pattern(4 << 20);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(big);
    }
    for (const char *url : {"/big", "/small"}) {
        SCOPED_TRACE(url);
        events.clear();
        handler = [&](TserverEvent e, ThttpConn *c) {
            if (e == SE_REQUEST) {
                c->reply().mode = HRM_REPLY;
                c->reply().bodyMode = RBM_FILE;
                c->reply().bodyFile = c->request().url == "/big" ? path : dir.filePath(QStringLiteral("f.bin"));
            } else if (e == SE_STREAM_READY) {
                // Opened with its full size; now it shrinks.
                QFile::resize(c->reply().bodyFile, 100);
            }
        };
        TtestClient c(port);
        ASSERT_TRUE(c.send(QByteArray("GET ") + url + " HTTP/1.1\r\n\r\n"));
        ASSERT_TRUE(c.waitClosed(5000));
        EXPECT_EQ(count(SE_REQUEST_COMPLETED), 0);
        EXPECT_EQ(count(SE_REPLIED), 0);
    }
}

TEST_F(RangeTest, LargeFileArrivesWhole)
{
    const QString path = dir.filePath(QStringLiteral("large.bin"));
    const QByteArray big = pattern(5 << 20);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(big);
    }
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            c->reply().mode = HRM_REPLY;
            c->reply().bodyMode = RBM_FILE;
            c->reply().bodyFile = path;
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET /l HTTP/1.1\r\nRange: bytes=1-\r\n\r\n"));
    const TtestResponse r = c.response(false, 10000);
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(r.code, 206);
    EXPECT_TRUE(r.body == big.mid(1));
    ASSERT_TRUE(pumpUntil([&] { return count(SE_REQUEST_COMPLETED) == 1; }));
    EXPECT_EQ(srv->conns.first()->totalBodyBytesSent(), big.size() - 1);
}

TEST_F(RangeTest, BodyReopenedDuringStreamReady)
{
    // The application swaps the body after the first opening: the new one
    // is measured afresh, whatever the range resolved to before.
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            c->reply().mode = HRM_REPLY;
            c->reply().body = content;
        } else if (e == SE_STREAM_READY) {
            c->reply().body = "short";
            EXPECT_TRUE(c->initInputStream());
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\n\r\nGET / HTTP/1.1\r\nRange: bytes=2-\r\n\r\n"));
    const TtestResponse whole = c.response();
    EXPECT_EQ(whole.code, 200);
    EXPECT_EQ(whole.body, QByteArray("short"));
    const TtestResponse part = c.response();
    EXPECT_EQ(part.code, 206);
    EXPECT_EQ(part.header("Content-Range"), QByteArray("bytes 2-4/5"));
    EXPECT_EQ(part.body, QByteArray("ort"));
}

TEST_F(RangeTest, ErrorTextsIgnoreRanges)
{
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST) {
            c->reply().mode = HRM_DENY;
            c->reply().body = "denied, and this text is whole";
        }
    };
    TtestClient c(port);
    ASSERT_TRUE(c.send("GET / HTTP/1.1\r\nRange: bytes=8-\r\n\r\n"));
    ASSERT_TRUE(c.waitClosed());
    EXPECT_TRUE(c.received.startsWith("HTTP/1.1 403 Forbidden\r\n"));
    EXPECT_TRUE(c.received.endsWith("\r\n\r\ndenied, and this text is whole"));
}

TEST_F(RangeTest, HeadKeptAsSentOnEveryBodyPath)
{
    // The head leaves with its blank line, and a small body, behind it in
    // one buffer; what the connection keeps until the reply is over (the
    // traffic dump reads it) is the head alone, whichever way the body went:
    // bytes, a small file read behind the head, a stream, a large file sent
    // by chunks, or no body for HEAD.
    const QByteArray bigContent = pattern(300000);
    QFile big(dir.filePath(QStringLiteral("big.bin")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(bigContent);
    big.close();
    QByteArray keptWhenReplied;
    const auto serve = handler;
    handler = [&](TserverEvent e, ThttpConn *c) {
        if (e == SE_REQUEST && c->request().url == "/big") {
            c->reply().mode = HRM_REPLY;
            c->reply().bodyMode = RBM_FILE;
            c->reply().bodyFile = big.fileName();
        } else {
            serve(e, c);
        }
        if (e == SE_REPLIED)
            keptWhenReplied = c->reply().header;
    };
    const struct
    {
        const char *url;
        qsizetype size;
    } bodies[] = {{"/", 1000}, {"/file", 1000}, {"/dev", 1000}, {"/big", 300000}};
    for (const auto &b : bodies)
        for (const bool head : {false, true}) {
            SCOPED_TRACE(std::string(b.url) + (head ? " HEAD" : " GET"));
            keptWhenReplied.clear();
            TtestClient client(port);
            ASSERT_TRUE(client.send(QByteArray(head ? "HEAD " : "GET ") + b.url + " HTTP/1.1\r\n\r\n"));
            const TtestResponse r = client.response(head);
            ASSERT_TRUE(r.complete);
            for (int i = 0; i < 100 && keptWhenReplied.isEmpty(); ++i)
                pumpEvents(10);
            EXPECT_EQ(keptWhenReplied, r.head + "\r\n");
            EXPECT_EQ(r.body.size(), head ? 0 : b.size);
            if (!head && b.size == bigContent.size()) {
                EXPECT_EQ(r.body, bigContent);
            }
        }
}
