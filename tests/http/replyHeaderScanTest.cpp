// Finding, replacing and checking reply header lines: names matched at line
// starts only, lines that would break the head dropped.

#include "http/httpReply.h"

#include <gtest/gtest.h>

TEST(ReplyHeaderScan, OverwriteRemovesEveryLineOfTheNameOnly)
{
    ThttpReply r;
    r.additionalHeaders = "ETag: a\r\nX-ETag: b\r\nLast-Modified: c\r\netag: d\r\nX: ETag: e\r\n";
    EXPECT_TRUE(r.addHeader("ETag: new", true));
    EXPECT_EQ(r.additionalHeaders, QByteArray("X-ETag: b\r\nLast-Modified: c\r\nX: ETag: e\r\nETag: new\r\n"));
    // A name at the very end without a line break, and a value holding the name.
    r.additionalHeaders = "A: Server: x\r\nServer: y";
    r.removeHeader("server");
    EXPECT_EQ(r.additionalHeaders, QByteArray("A: Server: x\r\n"));
    // A name longer than what is left, and an empty buffer.
    r.removeHeader("A-very-long-header-name-that-matches-nothing");
    EXPECT_EQ(r.additionalHeaders, QByteArray("A: Server: x\r\n"));
    r.additionalHeaders.clear();
    r.removeHeader("A");
    EXPECT_TRUE(r.additionalHeaders.isEmpty());
    EXPECT_TRUE(r.setHeaderIfNone("A: 1"));
    EXPECT_FALSE(r.setHeaderIfNone("a: 2"));
}

TEST(ReplyHeaderScan, OwnLinesReplaceTheirNames)
{
    ThttpReply r;
    // Into an empty reply: the lines as they are.
    r.addOwnHeaders("Accept-Ranges: bytes\r\nServer: ZOF\r\n");
    EXPECT_EQ(r.additionalHeaders, QByteArray("Accept-Ranges: bytes\r\nServer: ZOF\r\n"));
    // Lines of the same names go first, whatever their case; others stay.
    r.additionalHeaders = "server: other\r\nX-A: 1\r\nAccept-Ranges: none\r\nServerX: keep\r\n";
    r.addOwnHeaders("Accept-Ranges: bytes\r\nServer: ZOF\r\n");
    EXPECT_EQ(r.additionalHeaders, QByteArray("X-A: 1\r\nServerX: keep\r\nAccept-Ranges: bytes\r\nServer: ZOF\r\n"));
    r.addOwnHeader("X-A: 2");
    EXPECT_EQ(r.additionalHeaders, QByteArray("ServerX: keep\r\nAccept-Ranges: bytes\r\nServer: ZOF\r\nX-A: 2\r\n"));
}

TEST(ReplyHeaderScan, NameAndValueForm)
{
    ThttpReply r;
    r.additionalHeaders = "etag: a\r\nETagX: keep\r\nX-ETag: b\r\nSet-Cookie: s=1\r\nSet-Cookie: t=2\r\n";
    // Every line of the name goes, whatever its case; longer names stay.
    EXPECT_TRUE(r.addHeader("ETag", "\"new\"", true));
    EXPECT_EQ(r.additionalHeaders,
              QByteArray("ETagX: keep\r\nX-ETag: b\r\nSet-Cookie: s=1\r\nSet-Cookie: t=2\r\nETag: \"new\"\r\n"));
    // Without overwrite a second line of the name joins the first.
    EXPECT_TRUE(r.addHeader("ETag", "again", false));
    EXPECT_TRUE(r.additionalHeaders.endsWith("ETag: \"new\"\r\nETag: again\r\n"));
    // A cookie replaces its own line only.
    EXPECT_TRUE(r.addHeader("Set-Cookie", "t=3", true));
    EXPECT_TRUE(r.additionalHeaders.contains("Set-Cookie: s=1\r\n"));
    EXPECT_FALSE(r.additionalHeaders.contains("t=2"));
    EXPECT_TRUE(r.additionalHeaders.endsWith("Set-Cookie: t=3\r\n"));
    // Refused, and nothing written: a value that would split the head, a
    // name that is empty or carries a colon.
    const QByteArray before = r.additionalHeaders;
    EXPECT_FALSE(r.addHeader("X-A", "1\r\nX-Injected: 2", true));
    EXPECT_FALSE(r.addHeader("", "v", false));
    EXPECT_FALSE(r.addHeader("X-B: c", "v", false));
    EXPECT_FALSE(r.addHeader(QByteArrayView("X\0C", 3), "v", false));
    EXPECT_EQ(r.additionalHeaders, before);
    // The name given to removeHeader with or without its colon.
    r.removeHeader("etag:");
    EXPECT_FALSE(r.additionalHeaders.contains("\nETag:"));
    EXPECT_TRUE(r.additionalHeaders.contains("ETagX: keep"));
    r.removeHeader("ETagX");
    EXPECT_FALSE(r.additionalHeaders.contains("ETagX"));
    EXPECT_TRUE(r.additionalHeaders.contains("X-ETag: b"));
    r.removeHeader(":");
    EXPECT_TRUE(r.additionalHeaders.contains("X-ETag: b"));
}

TEST(ReplyHeaderScan, ManyLinesAddedInTurn)
{
    // The buffer grows over many appends, and a reset leaves it empty but usable.
    ThttpReply r;
    QByteArray expected;
    for (int i = 0; i < 200; ++i) {
        const QByteArray line = "X-" + QByteArray::number(i) + ": v";
        ASSERT_TRUE(r.addHeader(line, true));
        expected += line + "\r\n";
    }
    EXPECT_EQ(r.additionalHeaders, expected);
    r.addHeader("X-7: again", true);
    expected.replace("X-7: v\r\n", "");
    expected += "X-7: again\r\n";
    EXPECT_EQ(r.additionalHeaders, expected);
    r.reset(-1, -1);
    EXPECT_TRUE(r.additionalHeaders.isEmpty());
    r.addHeader("A: 1");
    r.reset(-1, -1);
    r.addHeader("B: 2");
    EXPECT_EQ(r.additionalHeaders, QByteArray("B: 2\r\n"));
}

TEST(ReplyHeaderScan, SafetyOfBytes)
{
    const struct
    {
        QByteArray bytes;
        bool safe;
    } cases[] = {
        {"", true},
        {"Plain: value", true},
        {"Tab:\tvalue", true},
        {"CR\rinside", false},
        {"LF\ninside", false},
        {QByteArray("NUL\0inside", 10), false},
        {"ends with LF\n", false},
        {"\rstarts with CR", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isHeaderSafe(QByteArrayView(c.bytes)), c.safe) << c.bytes.toStdString();
    // One byte of every value at every place of texts of up to 40 bytes
    // (the scan takes sixteen at a step): only NUL, LF and CR are unsafe.
    for (int len = 1; len <= 40; ++len)
        for (int at = 0; at < len; ++at)
            for (int b = 0; b < 256; ++b) {
                QByteArray text(len, 'v');
                text[at] = char(b);
                const bool safe = b != '\0' && b != '\n' && b != '\r';
                ASSERT_EQ(isHeaderSafe(QByteArrayView(text)), safe) << len << " " << at << " " << b;
                // From an odd start, as a part of a longer line is checked.
                ASSERT_EQ(isHeaderSafe(QByteArrayView(text).sliced(at)), safe) << len << " " << at << " " << b;
            }
}

TEST(ReplyHeaderScan, SanitizedLines)
{
    const struct
    {
        QByteArray in, out;
    } cases[] = {
        {"", ""},
        {"A: 1\r\n", "A: 1\r\n"},
        {"A: 1\r\nB: 2", "A: 1\r\nB: 2"},         // a last line without a break stays
        {"A: 1", "A: 1"},
        {"\r\nA: 1\r\n", "A: 1\r\n"},              // an empty first line would end the head
        {"A: 1\r\n\r\nB: 2\r\n", "A: 1\r\nB: 2\r\n"},
        {"A: 1\rB: 2\r\n", ""},                     // a lone CR spoils its line
        {"A: 1\nB: 2\r\n", "A: 1\r\nB: 2\r\n"},    // a bare LF ends a line
        {"A: 1\r\r\nB: 2\r\n", "B: 2\r\n"},
        {"A: 1\r\nno colon\r\nB: 2\r\n", "A: 1\r\nno colon\r\nB: 2\r\n"}, // well formed: kept as is
        {"A: 1\r\nno colon\nB: 2\r\n", "A: 1\r\nB: 2\r\n"}, // rebuilt: lines without a colon go
        {"A: 1\r\n\n", "A: 1\r\n"},
        {"A: 1\r", "A: 1\r\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sanitizeHeaderLines(c.in), c.out) << c.in.toStdString();
}

// Every short text over the bytes that matter: what comes out can never
// end the head early or split a line, and lines that were fine already
// come out unchanged.
TEST(ReplyHeaderScan, SanitizedLinesAreAlwaysSafe)
{
    const char alphabet[] = {'a', ':', '\r', '\n', '\0'};
    const auto safe = [](const QByteArray &out) {
        if (out.contains('\0'))
            return false;
        const QList<QByteArray> lines = out.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const bool last = i == lines.size() - 1;
            const QByteArray &l = lines[i];
            if (last ? l.contains('\r') : (l.size() < 2 || !l.endsWith('\r') || l.indexOf('\r') != l.size() - 1))
                return false;
        }
        return true;
    };
    int checked = 0;
    for (int len = 0; len <= 7; ++len) {
        int combos = 1;
        for (int i = 0; i < len; ++i)
            combos *= 5;
        for (int k = 0; k < combos; ++k) {
            QByteArray in;
            for (int i = 0, v = k; i < len; ++i, v /= 5)
                in += alphabet[v % 5];
            // Alone, and between well-formed lines of several lengths, so
            // that it lies inside and across the scan's sixteen-byte steps.
            const QByteArray befores[] = {QByteArray(), QByteArray("Accept-Ranges: bytes-bytes\r\n"),
                                          QByteArray("X-Content-Type-Options: nosniff\r\n")};
            const QByteArray afters[] = {QByteArray(), QByteArray("Server: ZOF-1.2.3\r\nETag: \"0123456789\"\r\n")};
            for (const QByteArray &before : befores) {
                for (const QByteArray &after : afters) {
                    const QByteArray text = before + in + after;
                    const QByteArray out = sanitizeHeaderLines(text);
                    ASSERT_TRUE(safe(out)) << text.toHex().toStdString() << " -> " << out.toHex().toStdString();
                    if (safe(text)) {
                        ASSERT_EQ(out, text) << text.toHex().toStdString();
                    }
                }
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 97656);
}

namespace {

// The lines of `block` whose name (the text before the line's first colon)
// is not `name`, ASCII case ignored: what removing the name must leave.
QByteArray withoutLinesNamed(const QByteArray &block, const QByteArray &name)
{
    QByteArray out;
    for (qsizetype at = 0; at < block.size();) {
        qsizetype end = block.indexOf('\n', at);
        end = end < 0 ? block.size() : end + 1;
        const QByteArray line = block.mid(at, end - at);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).toLower() != name.toLower())
            out += line;
        at = end;
    }
    return out;
}

} // namespace

TEST(ReplyHeaderScan, RemovalMatchesThePlainRuleOnRandomBlocks)
{
    // Names that share starts and letters, in any case, on lines of any
    // length: the line starts fall anywhere in the scan's 16-byte steps,
    // and names also stand inside values and right before the end.
    const QByteArray names[] = {"ETag", "E", "ETags", "X-ETag", "Server", "S", "Set-Cookie", "Last-Modified"};
    quint32 seed = 12345;
    const auto next = [&seed](quint32 bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    for (int round = 0; round < 3000; ++round) {
        QByteArray block;
        const int lines = int(next(12));
        for (int l = 0; l < lines; ++l) {
            QByteArray name = names[next(std::size(names))];
            for (char &c : name)
                if (next(2))
                    c = char(QChar::toLower(uint(c)));
            QByteArray value(int(next(40)), 'v');
            if (next(3) == 0)
                value += ": " + names[next(std::size(names))];
            block += name + ": " + value + "\r\n";
        }
        if (next(4) == 0)
            block += names[next(std::size(names))] + ": last"; // no line end
        const QByteArray name = names[next(std::size(names))];
        ThttpReply r;
        r.additionalHeaders = block;
        r.removeHeader(name);
        ASSERT_EQ(r.additionalHeaders, withoutLinesNamed(block, name)) << block.constData() << " without " << name.constData();
    }
}
