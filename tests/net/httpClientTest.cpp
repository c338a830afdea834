// The client against a small server in the same process: the client's
// local event loop is what lets that server answer.
#include "net/httpClient.h"

#include <QFile>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "qtPrinters.h"

#include <gtest/gtest.h>

namespace {

// Answers each request with the reply `respond` makes of its head.
class StubServer
{
public:
    explicit StubServer(std::function<QByteArray(const QByteArray &head)> respond)
        : respond(std::move(respond))
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    buffered[s] += s->readAll();
                    if (!buffered[s].contains("\r\n\r\n"))
                        return;
                    heads.append(buffered.take(s));
                    s->write(this->respond(heads.last()));
                    s->disconnectFromHost();
                });
            }
        });
    }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path);
    }
    QList<QByteArray> heads;

private:
    std::function<QByteArray(const QByteArray &)> respond;
    QTcpServer server;
    QHash<QTcpSocket *, QByteArray> buffered;
};

QByteArray reply(const QByteArray &status, const QByteArray &body, const QByteArray &extra = {})
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\nConnection: close\r\n" + extra + "\r\n" + body;
}

QByteArray header(const QByteArray &head, const QByteArray &name)
{
    for (const QByteArray &line : head.split('\n'))
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    return {};
}

const QByteArray digits = "0123456789abcdefghij";

} // namespace

TEST(HttpClient, GetSendsTheAgentAndDecodesByCharset)
{
    StubServer stub([](const QByteArray &head) {
        const QByteArray body = QStringLiteral("caf\u00e9").toUtf8();
        return head.startsWith("GET /utf8 ")
                   ? reply("200 OK", body, "Content-Type: text/plain; charset=UTF-8\r\n")
                   : reply("200 OK", body, "Content-Type: text/plain\r\n");
    });
    ThttpClient client(QStringLiteral("ZOF/9.9"));
    EXPECT_EQ(client.httpGet(stub.url(QStringLiteral("/utf8"))), QStringLiteral("caf\u00e9"));
    const auto raw = client.httpGet(stub.url(QStringLiteral("/raw")));
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->size(), 5);
    ASSERT_EQ(stub.heads.size(), 2);
    EXPECT_EQ(header(stub.heads[0], "User-Agent"), QByteArray("ZOF/9.9"));
    EXPECT_TRUE(header(stub.heads[0], "Range").isEmpty());
}

TEST(HttpClient, RangesWhetherTheServerHonoursThemOrNot)
{
    StubServer honours([](const QByteArray &head) {
        const QByteArray range = header(head, "Range");
        return range == "bytes=3-6" ? reply("206 Partial Content", digits.mid(3, 4)) : reply("200 OK", digits);
    });
    StubServer ignores([](const QByteArray &) { return reply("200 OK", digits); });
    ThttpClient client(QStringLiteral("t"));
    EXPECT_EQ(client.httpGet(honours.url(QStringLiteral("/")), 3, 4), QStringLiteral("3456"));
    EXPECT_EQ(header(honours.heads.last(), "Range"), QByteArray("bytes=3-6"));
    // The whole body came: the asked bytes are taken out of it.
    const ThttpResult r = client.get(ignores.url(QStringLiteral("/")), 3, 4);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.cut);
    EXPECT_EQ(r.body, QByteArray("3456"));
    EXPECT_EQ(client.httpGet(ignores.url(QStringLiteral("/")), 15, -1), QStringLiteral("fghij"));
}

TEST(HttpClient, BodiesAreCutAtTheLimit)
{
    const QByteArray big(200 * 1024, 'x');
    StubServer stub([&](const QByteArray &) { return reply("200 OK", big); });
    ThttpClient client(QStringLiteral("t"));
    const ThttpResult r = client.get(stub.url(QStringLiteral("/")));
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.cut);
    EXPECT_EQ(r.body.size(), kServiceReplyLimit);
    const ThttpResult small = client.get(stub.url(QStringLiteral("/")), 0, -1, 10);
    EXPECT_TRUE(small.cut);
    EXPECT_EQ(small.body, QByteArray(10, 'x'));
}

TEST(HttpClient, FailuresGiveNothing)
{
    StubServer stub([](const QByteArray &head) -> QByteArray {
        if (head.startsWith("HEAD /here "))
            return "HTTP/1.1 200 OK\r\nContent-Length: 12345\r\nConnection: close\r\n\r\n";
        return reply("404 Not Found", "gone");
    });
    ThttpClient client(QStringLiteral("t"));
    EXPECT_FALSE(client.httpGet(stub.url(QStringLiteral("/missing"))));
    EXPECT_EQ(client.httpSize(stub.url(QStringLiteral("/here"))), 12345);
    EXPECT_EQ(client.httpSize(stub.url(QStringLiteral("/missing"))), -1);

    // Nobody listens on a port just given back.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    EXPECT_FALSE(client.httpGet(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    EXPECT_EQ(client.httpSize(QStringLiteral("http://127.0.0.1:%1/").arg(port)), -1);
}

TEST(HttpClient, DownloadIsCheckedAgainstTheLength)
{
    int served = 0;
    StubServer stub([&](const QByteArray &head) -> QByteArray {
        ++served;
        if (head.startsWith("GET /short "))
            // Promises 20 bytes, sends 10 and closes.
            return "HTTP/1.1 200 OK\r\nContent-Length: 20\r\nConnection: close\r\n\r\n" + digits.left(10);
        return reply("200 OK", digits);
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    ThttpClient client(QStringLiteral("t"));
    qint64 lastReceived = 0;
    EXPECT_TRUE(client.httpDownload(stub.url(QStringLiteral("/ok")), path, 1,
                                    [&](qint64 received, qint64) { lastReceived = received; }));
    EXPECT_EQ(lastReceived, digits.size());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), digits);
    f.close();

    served = 0;
    EXPECT_FALSE(client.httpDownload(stub.url(QStringLiteral("/short")), path, 3));
    EXPECT_EQ(served, 3);
    EXPECT_FALSE(QFile::exists(path));
}
