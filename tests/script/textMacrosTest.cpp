// Text, encoding and number macros.
#include "scriptTestTools.h"

#include <QLocale>
#include <gtest/gtest.h>

TEST(TextMacros, Extraction)
{
    const TioCase cases[] = {
        {"{.substring|<b>|</b>|x<b>y</b>z.}", "<b>y"},
        {"{.substring|<b>|</b>|x<b>y</b>z|include=none.}", "y"},
        {"{.substring|<b>|</b>|x<b>y</b>z|include=both.}", "<b>y</b>"},
        {"{.substring|<B>|</b>|x<b>y</b>z|include=2|case=1.}", ""},
        {"{.substring||-|ab-cd|include=0.}", "ab"},
        {"{.substring|-||ab-cd|include=0.}", "cd"},
        {"{.cut|2|3|abcdef.}", "bcd"},
        {"{.cut|-2||abcdef.}", "ef"},
        {"{.cut|2|3|abcdef|remainder=r.}/{.^r.}", "bcd/aef"},
        {"{.cut|1|2|abcdef|remainder=r.}/{.^r.}", "ab/cdef"},
        {"{.cut|2|-1|abcdef.}", "bcde"},
        {"{.cut|from=3|to=4|what=abcdef.}", "cd"},
        {"{.cut|5|100|abcdef.}{.cut|9|1|abcdef.}", "ef"},
        {"{.set|v|hello.}{.cut|1|1|var=v.}{.^v.}", " h"},
        {"{.cut|3|1|😀x.}", "x"}, // positions count UTF-16 units
        {"{.replace|a|b|c|d|aXcA.}", "bXdb"},
        {"{.set|v|aaa.}{.replace|a|bb|var=v.}{.^v.}", " bbbbbb"},
        {"{.pos|B|abc.}{.pos|B|abc|case=1.}{.pos|b|abcb|from=3.}{.pos|z|abc.}", "2040"},
        {"{.pos|x|😀x.}", "3"},
        {"{.count substring|aa|aaaa.}{.count substring|A|aaa.}", "20"},
        {"{.trim|  a b  .}|{.upper|ab.}|{.lower|AB.}", "a b|AB|ab"},
        {"{.repeat|3|{:ab:}.}|{.repeat|x|c.}|{.repeat|-1|c.}", "ababab|c|"},
        {"{.filename|c:\\dir\\f.txt.}|{.filepath|c:\\dir\\f.txt.}|{.filepath|f.txt.}|{.filename|/a/"
         "b.}",
         "f.txt|c:\\dir\\||b"},
        {"{.chr|65|x42|no|x1F600.}", "AB\xF0\x9F\x98\x80"},
        {"{.no pipe|a|b.}", "a|b"},
        {"{.dequote| {:x:} .}", "x"},
        {"{.quote|{:{.add|1|1.}:}.}", "2"},
        {"{.match|*.jpg;*.gif|Photo.JPG.}[{.match|*.jpg|a.png.}]", "1[]"},
        {"{.match address|192.168.*;10.0.0.1-10.0.0.9|10.0.0.5.}", "1"},
        {"{.force ansi|x.}{.maybe utf8|y.}", "xy"},
    };
    EXPECT_EXPANSIONS(cases);
}

TEST(TextMacros, QuoteKeepsItsResultInert)
{
    TtestConn conn;
    // The expansion is quoted: macros in it are not evaluated a second time.
    EXPECT_EQ(run(QStringLiteral("{.set|v|{:{:{.add|1|1.}:}:}.}{.quote|{:{.^v.}:}.}"), &conn),
              QStringLiteral(" {.add|1|1.}"));
    EXPECT_EQ(run(QStringLiteral("{.pipe|{.no pipe|a|b.}.}"), &conn), QStringLiteral("a|b"));
}

TEST(TextMacros, RegularExpressions)
{
    const TioCase cases[] = {
        {"{.regexp|b(.)d|abcde.}", "c"},
        {"{.regexp|B.D|abcde.}", "bcd"},
        {"[{.regexp|B.D|abcde|case=1.}]", "[]"},
        {"{.regexp|(\\d+)|a12b345|replace=<$1>.}", "a<12>b<345>"},
        {"{.regexp|x|abc|replace=y.}", "abc"},
        // Replacing: "^" at every line, "." never across a line break, case
        // ignored unless asked for.
        {"{.regexp|^b.|b1\nb2\nab|replace=X.}", "X\nX\nab"},
        {"{.regexp|1.b|b1\nb2|replace=X.}", "b1\nb2"},
        {"{.regexp|A|aA|replace=x.}|{.regexp|A|aA|replace=x|case=1.}", "xx|ax"},
        {"{.regexp|(a)(b)|xab|sub=m.}/{.from table|m|2.}", "a/b"},
        {"{.set|v|a1.}{.regexp|\\d|var=v|replace=#.}{.^v.}", " a#"},
        {"[{.regexp|(|abc.}]", "[]"},
    };
    EXPECT_EXPANSIONS(cases);
}

TEST(EncodingMacros, Encodings)
{
    const TioCase cases[] = {
        {"{.encode html|<a href=\"x\">'&'</a>.}",
         "&lt;a href=&quot;x&quot;&gt;&#039;&amp;&#039;&lt;/a&gt;"},
        {"{.js encode|it's \"q\".}", "it\\u0027s \\u0022q\\u0022"},
        {"{.js encode|abc|b.}", "a\\u0062c"},
        {"{.js encode|a\\b\u00e9|\\\u00e9.}", "a\\u005Cb\\u00E9"}, // JSON reads these too
        // The references of disarmed and quoted text are HTML already.
        {"{.encode html|&#123;.x&#124;y &#37;u% & &amp; &#60;.}", "&#123;.x&#124;y &#37;u% &amp; &amp;amp; &amp;#60;"},
        {"{.encodeuri|a b-c.}", "a%20b%2Dc"},
        {"{.encodeuri|a b|only= .}", "a%20b"},
        {"{.encodeuri|a/b c|add=/|not= .}", "a%2Fb c"},
        {"{.encodeuri|é😀.}", "%E9%D83D%DE00"},
        // An invalid escape becomes one "_"; a "%" without two characters stays.
        {"{.decodeuri|%41%zz%4.}", "A_%4"},
        {"{.decodeuri|%zz%%41.}", "__1"},
        {"{.decodeuri|%C3%A9.}|{.decodeuri|café%20漢.}", "é|café 漢"},
        // What it decodes is shown, never run.
        {"{.decodeuri|%7B.break.%7D%25cwd%25.}!", "{.break.}&#37;cwd%!"},
        {"{.base64|é.}|{.base64decode|w6k=.}", "w6k=|é"},
        {"{.md5|abc.}", "900150983cd24fb0d6963f7d28e17f72"},
        {"{.sha1|abc.}", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"{.sha256|abc.}", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"{.convert|utf-8|hex|é.}|{.convert|utf-8|dec|é.}", "C3A9|195,169"},
        {"{.convert|ansi|utf-8|é.}|{.convert|utf-8|ansi|Ã©.}", "Ã©|é"},
    };
    EXPECT_EXPANSIONS(cases);
    TtestConn conn;
    EXPECT_EQ(run(QStringLiteral("{.convert|a|b|c.}"), &conn), illegal(QStringLiteral("convert")));
}

TEST(NumberMacros, Arithmetic)
{
    const TioCase cases[] = {
        {"{.add|1.5|1.}|{.sub|1|3.}|{.mul|2.5|4.}|{.div|7|2.}|{.div|1|0.}", "2.5|-2|10|3.5|0"},
        {"{.mod|7|3.}|{.mod|-7|3.}|{.mod|7|0.}|{.mod|-9223372036854775808|-1.}", "1|-1|0|0"},
        {"[{.add|x|1.}][{.mod|1.5|1.}]", "[][]"},
        {"{.min|3|1.5|2.}|{.max|3|10|2.}|{.abs|-4.25.}", "1.5|10|4.25"},
        {"{.mul|1e200|1e200.}", ""}, // not finite: fails
        {"{.mul|1e10|1e10.}|{.div|1|100000.}", "1E20|1E-5"},
        {"{.round|2.5.}|{.round|3.5.}|{.round|-2.5.}|{.round|3.14159|2.}|{.round|1234|-2.}|{.round|"
         "1250|-2.}",
         "2|4|-2|3.14|1200|1200"},
        {"{.smart size|1536.}|{.smart size|1023.}|{.smart size|-1.}", "1.5 K|1023|N/A"},
        {"{.calc|2+3*4.}|{.calc|(2+3)*4.}|{.calc|7%3.}|{.calc|1[4.}|{.calc|256]4.}",
         "14|20|1|16|16"},
        {"[{.calc|1/0.}][{.calc|1%0.}][{.calc|2+.}][{.calc|(1.}]", "[][][][]"},
        {"{.calc|-6+1.}|{.calc|2*-3.}|{.calc| 1 + 2 .}|{.calc|10-4-3.}|{.calc|16/4/2.}",
         "-5|-6|3|3|2"},
        {"{.calc|1[64.}|{.calc|1[-1.}|{.calc|-1]63.}|{.calc|-9223372036854775808%-1.}", "0|0|1|0"},
        {"[{.calc|1e300*1e300.}][{.calc|99999999999999999999%2.}]", "[][]"},
    };
    EXPECT_EXPANSIONS(cases);
}

TEST(NumberMacros, Random)
{
    TtestConn conn;
    for (int i = 0; i < 20; ++i) {
        const QString r = run(QStringLiteral("{.random|a|b|c.}"), &conn);
        EXPECT_TRUE(r == QLatin1String("a") || r == QLatin1String("b") || r == QLatin1String("c"))
            << qPrintable(r);
        const qint64 n = run(QStringLiteral("{.random number|5|7.}"), &conn).toLongLong();
        EXPECT_GE(n, 5);
        EXPECT_LE(n, 7);
        const qint64 m = run(QStringLiteral("{.random number|2.}"), &conn).toLongLong();
        EXPECT_GE(m, 0);
        EXPECT_LE(m, 2);
    }
    const QString wide =
        run(QStringLiteral("{.random number|-9223372036854775808|9223372036854775807.}"), &conn);
    EXPECT_FALSE(wide.isEmpty());
}

TEST(NumberMacros, Time)
{
    const TioCase cases[] = {
        // 2020-01-07 14:03:07.5 as a day count
        {"{.time|format=y|when=43837.5.}", "43837.5"},
        {"{.time|format=y|when=1|offset=0.25.}", "1.25"},
        {"{.time|format=yyyy-mm-dd hh:nn:ss|when=43837.58550347222.}", "2020-01-07 14:03:07"},
        {"{.time|format=d-m-yy h:mm|when=43837.58550347222.}", "7-1-20 14:03"},
        {"{.time|format=hh:nn AM/PM \"and\" a/p|when=43837.58550925926.}", "02:03 PM and p"},
        {"{.time|format=mmm mmmm ddd dddd|when=43837.}", "Jan January Tue Tuesday"},
        {"[{.time|when=x.}]", "[]"},
    };
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    EXPECT_EXPANSIONS(cases);
    QLocale::setDefault(saved);
    TtestConn conn;
    const double now = run(QStringLiteral("{.time|format=y.}"), &conn).toDouble();
    EXPECT_GT(now, 45000); // after 2023
}
