#include "util/masks.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

// The leftmost search written as plainly as possible (exponential at worst),
// to check the real matcher on small random cases.
bool refEq(QChar a, QChar b) { return a == b || a.toUpper() == b.toUpper(); }

qsizetype reference(QStringView pat, QStringView text, bool whole, QStringView stops)
{
    auto isStop = [&](QChar c) { return stops.contains(c); };
    qsizetype p = 0, t = 0, count = 0;
    while (p < pat.size() && pat[p] != u'*' && t < text.size()) {
        if (refEq(pat[p], text[t]) || (pat[p] == u'?' && !isStop(text[t]))) {
            ++p, ++t, ++count;
        } else {
            break;
        }
    }
    if (p == pat.size())
        return (whole && t < text.size()) ? 0 : count;
    if (pat[p] != u'*')
        return 0;
    while (p < pat.size() && pat[p] == u'*')
        ++p;
    if (p == pat.size()) {
        qsizetype s = t;
        while (s < text.size() && !isStop(text[s]))
            ++s;
        if (whole && s < text.size())
            return 0;
        return count + (s - t);
    }
    const QStringView rest = pat.mid(p);
    for (qsizetype pos = t; pos < text.size(); ++pos) {
        if (isStop(text[pos]))
            return 0;
        if (whole && !rest.contains(u'*')) {
            const qsizetype cand = text.size() - rest.size();
            if (cand < pos)
                return 0;
            for (qsizetype k = pos; k < cand; ++k)
                if (isStop(text[k]))
                    return 0;
            const qsizetype r = reference(rest, text.mid(cand), whole, stops);
            return r ? count + (cand - t) + r : 0;
        }
        const qsizetype r = reference(rest, text.mid(pos), whole, stops);
        if (r)
            return count + (pos - t) + r;
    }
    return 0;
}

QString randomText(QRandomGenerator &rng, QStringView alphabet, int maxLen)
{
    const int len = rng.bounded(maxLen + 1);
    QString s;
    for (int i = 0; i < len; ++i)
        s += alphabet[rng.bounded(int(alphabet.size()))];
    return s;
}

} // namespace

TEST(Wildcard, Examples)
{
    struct Case {
        const char16_t *pattern, *text;
        bool whole;
        const char16_t *stops;
        qsizetype expected;
    } cases[] = {
        {u"ab*d", u"abXd-rest", false, u"", 4},
        {u"a*c", u"ab\nc", false, u"\n", 0},
        {u"a*c", u"ab\nc", true, u"", 4},
        {u"a*", u"a", true, u"", 1},
        {u"*", u"", true, u"", 0},
        {u"*", u"", false, u"", 0},
        {u"", u"", true, u"", 0},
        {u"", u"abc", false, u"", 0},
        {u"abc", u"abcdef", false, u"", 3},
        {u"abc", u"abcdef", true, u"", 0},
        {u"a?c", u"AbC", true, u"", 3},
        {u"a?c", u"a\nc", true, u"\n", 0},
        {u"a?c", u"ac", true, u"", 0},
        {u"*.jpg", u"photo.JPG", true, u"", 9},
        {u"*x*", u"abxcd", false, u"", 5},
        {u"*x*", u"ab\nxcd", false, u"\n", 0},
        {u"a*b*", u"aXb\nrest", false, u"\n", 3},
        {u"É*", u"été", true, u"", 3},  // non-ASCII letters compare by their upper case
        {u"**a**", u"bba", true, u"", 3},
    };
    for (const Case &c : cases)
        EXPECT_EQ(wildcardMatchLength(c.pattern, c.text, c.whole, c.stops), c.expected)
            << QString::fromUtf16(c.pattern).toStdString() << " / " << QString::fromUtf16(c.text).toStdString();
}

TEST(Wildcard, AgreesWithLeftmostSearchOnRandomCases)
{
    QRandomGenerator rng(12345);
    const QString patAlphabet = QStringLiteral("ab?*\n");
    const QString textAlphabet = QStringLiteral("abAB\n");
    const QString stopSets[] = {QString(), QStringLiteral("\n"), QStringLiteral("\nb")};
    int checked = 0;
    for (int i = 0; i < 40000; ++i) {
        const QString pat = randomText(rng, patAlphabet, 7);
        const QString text = randomText(rng, textAlphabet, 9);
        const bool whole = rng.bounded(2) == 1;
        const QString &stops = stopSets[rng.bounded(3)];
        const qsizetype want = reference(pat, text, whole, stops);
        const qsizetype got = wildcardMatchLength(pat, text, whole, stops);
        ASSERT_EQ(got, want) << "pattern " << qPrintable(pat) << " text " << qPrintable(text) << " whole " << whole
                             << " stops " << stops.size();
        checked += want > 0;
    }
    EXPECT_GT(checked, 1000); // the random cases do include matches
}

TEST(Wildcard, PathologicalMasksRunFast)
{
    const QString text = QString(3000, u'a') + u'b';
    const QString starry = QStringLiteral("*a").repeated(200) + QStringLiteral("*c");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(wildcardMatchLength(starry, text, true), 0);
    EXPECT_EQ(wildcardMatchLength(starry, text, false), 0);
    EXPECT_EQ(wildcardMatchLength(starry, text, false, u"\n"), 0);
    EXPECT_FALSE(matchFileMask(QStringLiteral("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*c"), QString(200, u'a')));
    // A stop character inside the text takes the general path.
    const QString withStop = QString(2000, u'a') + u'\n' + QString(1000, u'a');
    EXPECT_EQ(wildcardMatchLength(QStringLiteral("*a").repeated(100) + QStringLiteral("\n*c"), withStop, true, u"\n"), 0);
    EXPECT_LT(timer.elapsed(), 2000);
}

TEST(FileMask, PiecesInversionAndCase)
{
    struct Case {
        const char16_t *mask, *name;
        bool expected;
    } cases[] = {
        {u"*.jpg;*.gif", u"Photo.JPG", true},
        {u"*.jpg;*.gif", u"anim.gif", true},
        {u"*.jpg;*.gif", u"doc.txt", false},
        {u"\\*.jpg", u"a.jpg", false},
        {u"\\*.jpg", u"a.txt", true},
        {u"\\\\*.jpg", u"a.jpg", true},
        {u"\\\\\\*.jpg", u"a.jpg", false},
        {u"", u"anything", true},
        {u"\\", u"anything", false},
        {u"a*", u"a", true},
        {u"?.txt", u"ab.txt", false},
        {u"??.txt", u"ab.txt", true},
        {u"*.jpg;", u"x.png", false},        // an empty piece matches nothing
        {u"readme", u"README", true},
        {u"READ*", u"readme.md", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(matchFileMask(c.mask, c.name), c.expected)
            << QString::fromUtf16(c.mask).toStdString() << " vs " << QString::fromUtf16(c.name).toStdString();
}

TEST(FileMask, SuffixPiecesAgreeWithTheGeneralMatcher)
{
    // "*.ext" pieces take a shortcut; it must answer as the matcher does,
    // letter case and non-ASCII upper cases included.
    QRandomGenerator rng(777);
    const QString alphabet = QStringLiteral("a.Aı*?I");
    for (int i = 0; i < 20000; ++i) {
        const QString piece = u'*' + randomText(rng, alphabet, 4);
        const QString name = randomText(rng, alphabet, 6);
        ASSERT_EQ(matchFileMask(piece, name), wildcardMatchLength(piece, name, true) > 0)
            << qPrintable(piece) << " vs " << qPrintable(name);
    }
    EXPECT_TRUE(matchFileMask(u"*.txt;*.GIF", u"a.gıf")); // dotless i upper-cases to I
    EXPECT_FALSE(matchFileMask(u"*.txt", u"txt"));
}

TEST(AddressMask, Forms)
{
    struct Case {
        const char16_t *mask;
        const char *address;
        bool expected;
    } cases[] = {
        {u"192.168.*;10.0.0.1-10.0.0.9", "10.0.0.5", true},
        {u"192.168.*;10.0.0.1-10.0.0.9", "10.0.0.10", false},
        {u"192.168.*;10.0.0.1-10.0.0.9", "192.168.7.1", true},
        {u"10.0.0.1-10.0.0.9", "10.0.0.1", true},  // ends included
        {u"10.0.0.1-10.0.0.9", "10.0.0.9", true},
        {u"\\192.168.*;1.1.1.1", "1.1.1.1", false},
        {u"\\192.168.*;1.1.1.1", "8.8.8.8", true},
        {u"10.0.0.0/8", "10.200.3.4", true},
        {u"10.0.0.0/8", "11.0.0.1", false},
        {u"10.0.0.0/0", "200.1.2.3", true},
        {u"10.0.0.0/x;8.8.8.8", "8.8.8.8", true},
        {u"10.0.0.0/x", "10.0.0.1", false},
        {u"10.0.0.0/33", "10.0.0.1", false},
        {u"192.168.1.128/25", "192.168.1.200", true},
        {u"192.168.1.128/25", "192.168.1.100", false},
        {u"1.2.3.4/32", "1.2.3.4", true},
        {u"lan", "23.1.2.3", false},  // public space
        {u"lan", "172.31.0.1", true},
        {u"LAN", "::1", true},
        {u"lan", "172.32.0.1", false},
        {u"lan", "fe80::1", false},
        {u"lan", "127.0.0.1", true},
        {u"lan", "169.254.10.1", true},
        {u"::1-::ff", "::5", true},
        {u"::1-::ff", "::100", false},
        {u"::1-::ff", "0000:0000:0000:0000:0000:0000:0000:0005", true},
        {u"fe80::1-fe80::ff", "FE80::A", true},
        {u"fe80::1-fe80::ff", "fe80:0000:0000:0000:0000:0000:0000:000a", true},
        {u"1.0.0.0-2.0.0.0", "::1", false},    // range of the other family
        {u"::1-::ff", "1.5.0.0", false},
        {u"::1-1.0.0.0", "0.5.0.0", false},
        {u"::/0", "::1", false},               // prefixes are IPv4 only
        {u"::1", "::1", true},                 // wildcard text
        {u"10.0.?.1", "10.0.5.1", true},
        {u"10.0.?.1", "10.0.15.1", false},
        {u";8.8.8.8", "8.8.8.8", true},        // empty piece skipped, next decides
        {u"", "8.8.8.8", false},
        {u"\\", "8.8.8.8", true},
        {u"1.1.1.1-1.1.1.9-x", "1.1.1.5", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(matchAddressMask(c.mask, QString::fromLatin1(c.address)), c.expected)
            << QString::fromUtf16(c.mask).toStdString() << " vs " << c.address;
}

TEST(AddressMask, Validity)
{
    struct Case {
        const char16_t *mask;
        bool expected;
    } cases[] = {
        {u"", true},
        {u"\\lan;10.*", true},
        {u"192.168.*;", true},
        {u"1.2.3.4-1.2.3.9", true},
        {u"::1-::ff", true},
        {u"1.2.3.4-", true},
        {u"192.168.0.0/16", false},
        {u"FE80::1", false},
        {u"1.2.3.4-1.2.3", false},
        {u"a;;b", false},
        {u"host.example", false},
        {u"-1.2.3.4", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(isAddressMaskValid(c.mask), c.expected) << QString::fromUtf16(c.mask).toStdString();
}

TEST(Addresses, Parsing)
{
    EXPECT_EQ(ipv4ToInt(QStringLiteral("1.2.3.4")), 0x01020304u);
    EXPECT_EQ(ipv4ToInt(QStringLiteral("127.1")), 0x7F000001u);
    EXPECT_EQ(ipv4ToInt(QStringLiteral("not an address")), 0xFFFFFFFFu);
    EXPECT_EQ(ipv4ToInt(QStringLiteral("1.2.3.4 ")), 0xFFFFFFFFu);
    EXPECT_EQ(ipv4ToInt(QStringLiteral("::1")), 0xFFFFFFFFu);
    // The cache is bounded yet keeps answering right.
    for (int i = 0; i < 12000; ++i)
        ipv4ToInt(QStringLiteral("10.%1.%2.1").arg(i / 256).arg(i % 256));
    EXPECT_EQ(ipv4ToInt(QStringLiteral("10.0.1.1")), 0x0A000101u);

    EXPECT_EQ(ipv6Key(u"::1"), QStringLiteral("00000000000000000000000000000001"));
    EXPECT_EQ(ipv6Key(u"fe80::abcd"), QStringLiteral("FE80000000000000000000000000ABCD"));
    EXPECT_EQ(ipv6Key(u"FE80:0000:0000:0000:0000:0000:0000:abcd"), QStringLiteral("FE80000000000000000000000000ABCD"));
    EXPECT_TRUE(ipv6Key(u"1.2.3.4").isEmpty());
    EXPECT_TRUE(ipv6Key(u"zzzz:zzzz:zzzz:zzzz:zzzz:zzzz:zzzz:zzzz").isEmpty());

    EXPECT_TRUE(isIpAddress(u"1.2.3.4"));
    EXPECT_TRUE(isIpAddress(u"::ffff:1.2.3.4"));
    EXPECT_FALSE(isIpAddress(u"1.2.3"));
    EXPECT_FALSE(isIpAddress(u"1.2.3.256"));
    EXPECT_FALSE(isIpAddress(u""));
    EXPECT_FALSE(isIpAddress(u"example.com"));

    EXPECT_TRUE(isLocalAddress(QStringLiteral("0:0:0:0:0:0:0:1")));
    EXPECT_TRUE(isLocalAddress(QStringLiteral("192.0.2.7")));
    EXPECT_FALSE(isLocalAddress(QStringLiteral("192.0.3.7")));
    EXPECT_FALSE(isLocalAddress(QStringLiteral("8.8.8.8")));
}
