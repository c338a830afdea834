// The chunked body decoder without sockets: every input cut at every
// point, malformed framing, and the bounds on what is kept.

#include "http/chunkedDecoder.h"

#include <QList>
#include <gtest/gtest.h>

namespace {
struct Decoded {
    TchunkedDecoder::Result result = TchunkedDecoder::CD_MORE;
    QByteArray body;
    QByteArray rest; // input left after the body's end
};

// Feeds the input in pieces cut at the given points.
Decoded decode(const QByteArray &in, const QList<qsizetype> &cuts = {})
{
    TchunkedDecoder d;
    d.start();
    Decoded out;
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends.append(in.size());
    for (qsizetype to : ends) {
        const QByteArrayView piece = QByteArrayView(in).sliced(from, to - from);
        qsizetype used = 0;
        out.result = d.feed(piece, out.body, &used);
        if (out.result != TchunkedDecoder::CD_MORE) {
            out.rest = QByteArray(piece.sliced(used).toByteArray()) + in.mid(to);
            break;
        }
        EXPECT_EQ(used, piece.size());
        from = to;
    }
    return out;
}
}

TEST(ChunkedDecoder, WellFormedBodiesCutAnywhere)
{
    struct Case {
        const char *in;
        const char *body;
    };
    const Case cases[] = {
        {"5\r\nhello\r\n6\r\n world\r\n0\r\n\r\nNEXT", "hello world"},
        {"0\r\n\r\nNEXT", ""},
        {"A\r\n0123456789\r\n0\r\n\r\nNEXT", "0123456789"},
        {"00a; name=\"v;x\"\r\n0123456789\r\n0;last\r\n\r\nNEXT", "0123456789"},
        {"3 \t;ext\r\nabc\r\n0\r\nX-Sum: 1\r\nX-More: 2\r\n\r\nNEXT", "abc"},
        {"3\nabc\n0\n\nNEXT", "abc"},           // bare LF line ends
        {"2\r\n\r\n\r\n0\r\n\r\nNEXT", "\r\n"},  // data that looks like line ends
    };
    for (const Case &c : cases) {
        const QByteArray in(c.in);
        for (qsizetype cut = 0; cut < in.size(); ++cut) {
            SCOPED_TRACE(std::string(c.in) + " cut at " + std::to_string(cut));
            const Decoded d = cut ? decode(in, {cut}) : decode(in);
            EXPECT_EQ(d.result, TchunkedDecoder::CD_DONE);
            EXPECT_EQ(d.body, QByteArray(c.body));
            EXPECT_EQ(d.rest, QByteArray("NEXT"));
        }
        // One byte at a time.
        QList<qsizetype> every;
        for (qsizetype i = 1; i < in.size(); ++i)
            every.append(i);
        const Decoded d = decode(in, every);
        EXPECT_EQ(d.body, QByteArray(c.body));
        EXPECT_EQ(d.rest, QByteArray("NEXT"));
    }
}

TEST(ChunkedDecoder, UnfinishedBodyWantsMore)
{
    for (const char *in : {"", "5", "5\r\nhel", "5\r\nhello", "5\r\nhello\r\n", "0\r\n", "0\r\nX-Sum: 1\r\n"}) {
        SCOPED_TRACE(in);
        EXPECT_EQ(decode(in).result, TchunkedDecoder::CD_MORE);
    }
}

TEST(ChunkedDecoder, MalformedFramingFails)
{
    const QByteArray longExtension = "1;" + QByteArray(TchunkedDecoder::maxSizeLine, 'e') + "\r\nx\r\n0\r\n\r\n";
    const QByteArray manyTrailers = "0\r\n" + QByteArray("X-T: 1234567890\r\n").repeated(TchunkedDecoder::maxTrailers / 10);
    for (const QByteArray &in : {QByteArray("zz\r\nabc\r\n0\r\n\r\n"), QByteArray("\r\nabc\r\n"),
                                 QByteArray("-1\r\nabc\r\n"), QByteArray("0x3\r\nabc\r\n"),
                                 QByteArray("3\r\nabcdef\r\n0\r\n\r\n"), QByteArray("3 4\r\nabc\r\n"),
                                 QByteArray("fffffffffffffffff\r\n"), longExtension, manyTrailers}) {
        SCOPED_TRACE(in.left(40).toStdString());
        EXPECT_EQ(decode(in).result, TchunkedDecoder::CD_ERROR);
        // Also when the bad part arrives a byte at a time: the decoder keeps
        // no more than its bound while it waits for a line end.
        QList<qsizetype> every;
        for (qsizetype i = 1; i < in.size(); ++i)
            every.append(i);
        EXPECT_EQ(decode(in, every).result, TchunkedDecoder::CD_ERROR);
    }
    // The largest size that is still taken (the data then never comes).
    EXPECT_EQ(decode("fffffffffffffff\r\nabc").result, TchunkedDecoder::CD_MORE);
}

TEST(ChunkedDecoder, EndlessSizeLineFailsAtItsBound)
{
    TchunkedDecoder d;
    d.start();
    QByteArray out;
    qsizetype used = 0;
    const QByteArray digits(1000, '0');
    int fed = 0;
    TchunkedDecoder::Result r = TchunkedDecoder::CD_MORE;
    while (r == TchunkedDecoder::CD_MORE && fed < 100) {
        r = d.feed(digits, out, &used);
        ++fed;
    }
    EXPECT_EQ(r, TchunkedDecoder::CD_ERROR);
    EXPECT_LE(fed * 1000, TchunkedDecoder::maxSizeLine + 1000);
    EXPECT_FALSE(d.isActive());
}

TEST(ChunkedDecoder, CountsAndRestarts)
{
    TchunkedDecoder d;
    EXPECT_FALSE(d.isActive());
    d.start();
    EXPECT_TRUE(d.isActive());
    QByteArray out;
    qsizetype used = 0;
    EXPECT_EQ(d.feed("4\r\nabcd\r\n3\r\nefg\r\n0\r\n\r\n", out, &used), TchunkedDecoder::CD_DONE);
    EXPECT_EQ(d.decoded(), 7);
    EXPECT_TRUE(d.isDone());
    EXPECT_FALSE(d.isActive());
    // Done: nothing more is taken.
    EXPECT_EQ(d.feed("GET /", out, &used), TchunkedDecoder::CD_DONE);
    EXPECT_EQ(used, 0);
    d.start();
    out.clear();
    EXPECT_EQ(d.feed("1\r\nz\r\n0\r\n\r\n", out, &used), TchunkedDecoder::CD_DONE);
    EXPECT_EQ(out, QByteArray("z"));
    EXPECT_EQ(d.decoded(), 1);
}
