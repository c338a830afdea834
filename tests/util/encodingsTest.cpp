#include "util/codePage.h"
#include "util/encodings.h"

#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>

TEST(Url, Encode)
{
    EXPECT_EQ(encodeURL(u"a b/c?d", true, true), QStringLiteral("a%20b/c%3Fd"));
    EXPECT_EQ(encodeURL(u"a b/c?d", true, false), QStringLiteral("a b/c%3Fd"));
    EXPECT_EQ(encodeURL(u"\u00e9", true, true), QStringLiteral("%C3%A9"));
    EXPECT_EQ(encodeURL(u"\u00e9", false, true), QStringLiteral("\u00e9"));
    EXPECT_EQ(encodeURL(u"\"#%&',:;<>?", true, true), QStringLiteral("%22%23%25%26%27%2C%3A%3B%3C%3E%3F"));
    EXPECT_EQ(encodeURL(u"/+=@~", true, true), QStringLiteral("/+=@~"));
    EXPECT_EQ(encodeURL(u"\r\n\x7f", false, true), QStringLiteral("%0D%0A%7F"));
    // A plain start, then escapes and plain runs mixed, in both modes.
    EXPECT_EQ(encodeURL(u"plain\u00e9 x%y", true, true), QStringLiteral("plain%C3%A9%20x%25y"));
    EXPECT_EQ(encodeURL(u"plain\u00e9 x%y", false, true), QStringLiteral("plain\u00e9%20x%25y"));
    EXPECT_EQ(encodeURL(u"ab \U0001F600c", true, false), QStringLiteral("ab %F0%9F%98%80c"));
    EXPECT_EQ(encodeURL(u"ab \U0001F600c", false, true), QStringLiteral("ab%20\U0001F600c"));
    EXPECT_EQ(encodeURL(u"", true, true), QString());
    EXPECT_EQ(encodeURL(u"nothing.to-escape_here", true, true), QStringLiteral("nothing.to-escape_here"));
}

namespace {

// The rule, one UTF-8 byte at a time.
QString encodedByTheRule(const QString &text, bool nonAscii, bool spaces)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype units = text[i].isHighSurrogate() ? 2 : 1;
        const QString c = text.mid(i, units);
        i += units - 1;
        if (c[0].unicode() >= 128 && !nonAscii) {
            out += c;
            continue;
        }
        for (const char ch : c.toUtf8()) {
            const uchar b = uchar(ch);
            const bool escape = b < 32 || b >= 127 || QByteArrayView("\"#%&',:;<>?").contains(char(b)) ||
                                (b == ' ' && spaces);
            out += escape ? QLatin1Char('%') + QString::number(b, 16).rightJustified(2, u'0').toUpper() : QString(QLatin1Char(ch));
        }
    }
    return out;
}

} // namespace

// Appending into a buffer used again and again (as a page does for each
// item's URL) gives what the rule gives after whatever the buffer held,
// growing or shrinking, and never reaches a copy taken of it before.
TEST(Url, AppendEncodedMatchesTheRuleInAReusedBuffer)
{
    QStringList pieces; // whole characters, one a surrogate pair
    for (const QChar c : QStringView(u"ab/. %#?&:;<>'\",+=@~\x7f\t\u00e9\u4e2d"))
        pieces << QString(c);
    pieces << QStringLiteral("\U0001F600");
    QRandomGenerator rng(2029);
    QString buffer, previous;
    for (int round = 0; round < 3000; ++round) {
        QString text;
        const int n = rng.bounded(round % 7 == 0 ? 60 : 12);
        for (int i = 0; i < n; ++i)
            text += pieces[rng.bounded(int(pieces.size()))];
        const bool nonAscii = rng.bounded(2), spaces = rng.bounded(2);
        const QString kept = buffer; // shares the buffer, as a macro's copy of a value would
        const QString prefix = rng.bounded(3) == 0 ? QStringLiteral("http://h/x%20/") : QString();
        buffer.truncate(0);
        buffer += prefix;
        appendEncodedURL(buffer, text, nonAscii, spaces);
        const QString expected = prefix + encodedByTheRule(text, nonAscii, spaces);
        ASSERT_EQ(buffer, expected) << qPrintable(text) << nonAscii << spaces;
        ASSERT_EQ(encodeURL(text, nonAscii, spaces), encodedByTheRule(text, nonAscii, spaces));
        ASSERT_EQ(kept, previous);
        previous = expected;
    }
}

TEST(Url, Decode)
{
    EXPECT_EQ(decodeURL(QByteArrayView("%41%zz%4")), QStringLiteral("A_zz%4"));
    EXPECT_EQ(decodeURL(QByteArrayView("%C3%A9")), QStringLiteral("\u00e9"));
    EXPECT_EQ(decodeURL(QByteArrayView("%E9")), QStringLiteral("\u00e9"));      // code page
    EXPECT_EQ(decodeURL(QByteArrayView("%C3%A9"), false), QStringLiteral("\u00c3\u00a9"));
    EXPECT_EQ(decodeURL(QByteArrayView("%80")), QStringLiteral("\u20ac"));
    EXPECT_EQ(decodeURL(QByteArrayView("%")), QStringLiteral("%"));
    EXPECT_EQ(decodeURL(QByteArrayView("a%2")), QStringLiteral("a%2"));
    EXPECT_EQ(decodeURL(QByteArrayView("%%41")), QStringLiteral("_A")); // the two bytes after "_" are read again
    EXPECT_EQ(decodeURL(QByteArrayView("a+b")), QStringLiteral("a+b"));
    // Overlong "." is not read as a dot.
    EXPECT_NE(decodeURL(QByteArrayView("%C0%AE%C0%AE")), QStringLiteral(".."));
    EXPECT_EQ(percentDecode("%00x"), QByteArray("\0x", 2));
}

TEST(Url, RoundTrip)
{
    const QString samples[] = {
        QStringLiteral("plain"), QStringLiteral("sp ace & \"quotes\" #frag ?q=1;2,3:4"),
        QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac/\xc3\xa9t\xc3\xa9 100%.txt"), QStringLiteral("\t\r\n\x01"),
        QString::fromUtf8("\xF0\x9F\x98\x80"),
    };
    for (const QString &s : samples) {
        const QString enc = encodeURL(s, true, true);
        for (QChar c : enc)
            EXPECT_LT(c.unicode(), 128);
        EXPECT_FALSE(enc.contains(u' '));
        EXPECT_EQ(decodeURL(QByteArrayView(enc.toLatin1())), s);
    }
}

TEST(Utf8, Validation)
{
    struct Case {
        QByteArray bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"ascii", true},
        {"\xC3\xA9", true},
        {"\xE2\x82\xAC", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xF4\x8F\xBF\xBF", true},
        {"\xC3", false},            // cut by the end
        {"\xE2\x82", false},
        {"\x80", false},            // continuation where a sequence starts
        {"\xFE", false},
        {"\xFF", false},
        {"\xC0\xAE", false},        // overlong
        {"\xE0\x80\xAF", false},
        {"\xED\xA0\x80", false},    // surrogate
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xC3\x28", false},
        {"a\xC3\xA9z\xE9", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(isUTF8(c.bytes), c.valid) << c.bytes.toHex().toStdString();
}

TEST(Html, Escape)
{
    EXPECT_EQ(escapeHTML(u"<a href=\"x\">Tom's & Jerry</a>"),
              QStringLiteral("&lt;a href=&quot;x&quot;&gt;Tom&#039;s &amp; Jerry&lt;/a&gt;"));
    EXPECT_EQ(escapeHTML(u"\u00e9"), QStringLiteral("\u00e9"));
    // Specials at the ends and side by side; characters just around them.
    EXPECT_EQ(escapeHTML(u""), QString());
    EXPECT_EQ(escapeHTML(u"<<>>"), QStringLiteral("&lt;&lt;&gt;&gt;"));
    EXPECT_EQ(escapeHTML(u"&x'"), QStringLiteral("&amp;x&#039;"));
    EXPECT_EQ(escapeHTML(u"=?;%(\u2039"), QStringLiteral("=?;%(\u2039"));
}

// Sized first and filled in place, the escape must still be the plain
// replacements, "&" first, on texts of every mix.
TEST(Html, EscapeMatchesThePlainReplacements)
{
    const QString pool = QStringLiteral("a&<>\"'=;\u00e9 ");
    QRandomGenerator rng(77);
    for (int round = 0; round < 2000; ++round) {
        QString text;
        for (int i = rng.bounded(20); i > 0; --i)
            text += pool[rng.bounded(int(pool.size()))];
        QString expected = text;
        expected.replace(u'&', QStringLiteral("&amp;"))
            .replace(u'<', QStringLiteral("&lt;"))
            .replace(u'>', QStringLiteral("&gt;"))
            .replace(u'"', QStringLiteral("&quot;"))
            .replace(u'\'', QStringLiteral("&#039;"));
        ASSERT_EQ(escapeHTML(text), expected) << qPrintable(text);
    }
}

TEST(LineBreaks, EscapeAndBack)
{
    EXPECT_EQ(escapeLineBreaks(QStringLiteral("a\r\nb\\c")), QStringLiteral("a\\nb\\\\c"));
    EXPECT_EQ(unescapeLineBreaks(QStringLiteral("\\\\n")), QStringLiteral("\\n"));
    EXPECT_EQ(unescapeLineBreaks(QStringLiteral("\\\\\\n")), QStringLiteral("\\\r\n"));
    EXPECT_EQ(unescapeLineBreaks(QStringLiteral("a\\x")), QStringLiteral("a\\x"));
    EXPECT_EQ(unescapeLineBreaks(QStringLiteral("end\\")), QStringLiteral("end\\"));
    struct Case {
        QString in, back;
    } cases[] = {
        {QStringLiteral("l1\nl2\n"), QStringLiteral("l1\r\nl2\r\n")},
        {QStringLiteral("l1\rl2"), QStringLiteral("l1\r\nl2")},
        {QStringLiteral("l1\r\nl2"), QStringLiteral("l1\r\nl2")},
        {QStringLiteral("a\r\nb\rc\nd\n\re"), QStringLiteral("a\r\nb\r\nc\r\nd\r\n\r\ne")},
        {QStringLiteral("c:\\new\\\\n\\"), QStringLiteral("c:\\new\\\\n\\")},
    };
    for (const Case &c : cases) {
        const QString esc = escapeLineBreaks(c.in);
        EXPECT_FALSE(esc.contains(u'\n') || esc.contains(u'\r'));
        EXPECT_EQ(unescapeLineBreaks(esc), c.back);
    }
}

TEST(Digests, KnownValues)
{
    EXPECT_EQ(md5Hex(QString()), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(sha1Hex(QStringLiteral("abc")), QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d"));
    EXPECT_EQ(sha256Hex(QStringLiteral("abc")),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    // The text is digested as UTF-8.
    EXPECT_EQ(md5Hex(QStringLiteral("\u00e9")), md5Hex(QByteArrayView("\xC3\xA9")));
}

TEST(Base64, EncodeDecode)
{
    EXPECT_EQ(base64Encode(QByteArrayView("user:pass")), QByteArray("dXNlcjpwYXNz"));
    EXPECT_EQ(base64Encode(QStringLiteral("\u00e9")), QByteArray("w6k="));
    bool ok = false;
    EXPECT_EQ(base64Decode(QByteArrayView("dXNlcjpwYXNz"), &ok), QByteArray("user:pass"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(base64Decode(QByteArrayView("w6k="), &ok), QByteArray("\xC3\xA9"));
    EXPECT_TRUE(ok);
    // Junk from a peer decodes to something without failing.
    const QByteArray junk = base64Decode(QByteArrayView("%%%dXN\x01lcg"), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(junk, QByteArray("user"));
    EXPECT_TRUE(base64Decode(QByteArrayView("")).isEmpty());
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    EXPECT_EQ(base64Decode(QByteArrayView(base64Encode(QByteArrayView(all)))), all);
}

TEST(CodePage, BothWays)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    const QString text = codePageToText(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(text[0x80], QChar(0x20AC));
    EXPECT_EQ(text[0x9F], QChar(0x0178));
    EXPECT_EQ(text[0xE9], QChar(0xE9));
    EXPECT_EQ(textToCodePage(text), all);
    EXPECT_EQ(textToCodePage(u"\u20ac\u4e00"), QByteArray("\x80?"));
    EXPECT_EQ(bytesToText("\xC3\xA9"), QStringLiteral("\u00e9"));
    EXPECT_EQ(bytesToText("\xE9t\xE9"), QStringLiteral("\u00e9t\u00e9"));
}

TEST(Utf8, Append)
{
    QByteArray out("a:");
    appendUtf8(out, u"127.0.0.1");
    appendUtf8(out, u" \u00e9\U0001F600");
    appendUtf8(out, u"");
    EXPECT_EQ(out, "a:127.0.0.1 \xc3\xa9\xf0\x9f\x98\x80");
}

TEST(AppendParts, PartsThenTailInOrder)
{
    QByteArray out("a");
    appendParts(out, {"b", "", QByteArrayView(), "cd"}, "\r\n");
    EXPECT_EQ(out, QByteArray("abcd\r\n"));
    appendParts(out, {QByteArrayView("e\0f", 3)});
    EXPECT_EQ(out, QByteArray("abcd\r\ne\0f", 9));
    char digits[24];
    appendParts(out, {numberText(-9223372036854775807LL - 1, digits)}, "|");
    appendNumber(out, 0);
    EXPECT_EQ(out, QByteArray("abcd\r\ne\0f-9223372036854775808|0", 31));
}

TEST(Utf8, AsciiRunsStopAtTheFirstUnitOutsideTheRange)
{
    // Runs long enough for the eight-at-a-step copy, with one unit at every
    // place, inside the range and out of it on either side.
    const char16_t units[] = {0x00, 0x09, 0x1F, 0x20, 0x22, 0x41, 0x7E, 0x7F, 0x80, 0xE9, 0x2020, 0xD83D, 0xFFFF};
    const struct
    {
        char16_t low, high;
    } ranges[] = {{0, 0x7F}, {0x20, 0x7E}, {0x41, 0x41}};
    for (const auto &r : ranges)
        for (int len = 0; len <= 27; ++len)
            for (int at = -1; at < len; ++at)
                for (const char16_t u : units) {
                    QString text;
                    for (int i = 0; i < len; ++i)
                        text += QChar(char16_t(r.low + (i * 5) % (r.high - r.low + 1)));
                    if (at >= 0)
                        text[at] = QChar(u);
                    qsizetype plain = 0;
                    while (plain < text.size() && text[plain].unicode() >= r.low && text[plain].unicode() <= r.high)
                        ++plain;
                    QByteArray out("x");
                    ASSERT_EQ(appendAsciiRun(out, text, r.low, r.high), plain) << len << " " << at << " " << int(u);
                    ASSERT_EQ(out, "x" + text.first(plain).toLatin1()) << len << " " << at << " " << int(u);
                }
}
