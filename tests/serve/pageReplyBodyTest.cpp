// A page's body stays with its connection until the next reply: it is the
// page's bytes, without the room the conversion or the compression took.
#include "gunzipTestTools.h"
#include "macrosRequestTestTools.h"

#include "serve/pageReply.h"

#include <QRandomGenerator>

namespace {

constexpr qsizetype kSmallSpareRoom = 4096;

// A page of `n` characters, mostly ASCII with a few of two, three and four
// bytes in UTF-8.
QString pageOf(qsizetype n, quint32 seed)
{
    QRandomGenerator rng(seed);
    QString s;
    s.reserve(n + 2);
    while (s.size() < n) {
        const int r = rng.bounded(100);
        if (r == 0)
            s += QChar(0x00E9);
        else if (r == 1)
            s += QChar(0x20AC);
        else if (r == 2)
            s += QString::fromUcs4(U"\U0001F600");
        else
            s += QChar(u'a' + rng.bounded(26));
    }
    return s;
}

TEST(PageReplyBody, TextBodyIsItsBytesWithoutSpareRoom)
{
    ThttpSrv srv;
    for (const qsizetype n : {qsizetype(0), qsizetype(10), qsizetype(5000), qsizetype(300000)}) {
        TtestRecord record(srv);
        const QString page = "<html>" + pageOf(n, quint32(n));
        replyText(*record.cd, page);
        const ThttpReply &r = record.conn->reply();
        EXPECT_EQ(r.body, page.toUtf8()) << n;
        EXPECT_LE(r.body.capacity() - r.body.size(), kSmallSpareRoom) << n;
        EXPECT_EQ(r.contentType, QByteArray("text/html; charset=utf-8"));
    }
}

TEST(PageReplyBody, CompressedBodyIsItsBytesWithoutSpareRoom)
{
    ThttpSrv srv;
    TtestRecord record(srv, "GET / HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip");
    const QString page = "<html>" + QString(200000, u'x') + pageOf(1000, 3);
    replyText(*record.cd, page);
    const ThttpReply &r = record.conn->reply();
    ASSERT_TRUE(r.body.startsWith("\x1f\x8b"));
    EXPECT_EQ(gunzip(r.body), page.toUtf8());
    EXPECT_LT(r.body.size(), 20000);
    EXPECT_LE(r.body.capacity() - r.body.size(), kSmallSpareRoom);
}

} // namespace
