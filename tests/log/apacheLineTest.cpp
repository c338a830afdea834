// The access-log line: escapes of the format, every directive letter,
// status lists, and values that try to break the line.

#include "log/apacheLine.h"
#include "qtPrinters.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TapacheRequest sampleRequest()
{
    TapacheRequest r;
    r.address = QStringLiteral("10.0.0.2");
    r.bodyBytes = 1234;
    r.fileName = QStringLiteral("report.pdf");
    r.method = QStringLiteral("GET");
    r.port = QStringLiteral("8080");
    r.requestLine = "GET /docs/report.pdf HTTP/1.1";
    r.status = 200;
    r.time = QDateTime(QDate(2020, 1, 7), QTime(14, 3, 7));
    r.user = QStringLiteral("bob");
    r.uploaded = QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")};
    r.header = [](QByteArrayView name) {
        return QLatin1StringView(name).compare(QLatin1String("user-agent"), Qt::CaseInsensitive) == 0
            ? QStringLiteral("curl/8") : QString();
    };
    return r;
}

QString line(const QString &format, const TapacheRequest &r = sampleRequest())
{
    return apacheLine(format, r);
}

} // namespace

TEST(ApacheLine, EveryLetter)
{
    ::setenv("ZOF_APACHE_TEST", "env-value", 1);
    EXPECT_EQ(line(QStringLiteral("%a|%h|%b|%B|%c|%{ZOF_APACHE_TEST}e|%f|%H|%{User-Agent}i|%l|%m|%p|%r|%s|%u|%z")),
              "10.0.0.2|10.0.0.2|1234|1234|+|env-value|report.pdf|HTTP|curl/8|-|GET|8080|"
              "GET /docs/report.pdf HTTP/1.1|200|bob|a.txt|b.txt");
    const QString t = line(QStringLiteral("%t"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\[07/Jan/2020:14:03:07 [+-]\\d{4}\\]$")).match(t).hasMatch())
        << t.toStdString();

    TapacheRequest r = sampleRequest();
    r.bodyBytes = 0;
    r.user.clear();
    r.uploaded.clear();
    r.closesAfterReply = true;
    r.time = QDateTime(QDate(2021, 12, 31), QTime(0, 0, 9));
    EXPECT_EQ(line(QStringLiteral("%b %B %c %u [%z] %{Missing}i %{ZOF_NOT_SET_ANYWHERE}e"), r), "- 0 - - []  ");
    EXPECT_TRUE(line(QStringLiteral("%t"), r).startsWith(QStringLiteral("[31/Dec/2021:00:00:09 ")));
    r.unsentAtDisconnect = true;
    EXPECT_EQ(line(QStringLiteral("%c"), r), "X");
}

TEST(ApacheLine, OtherLettersAndMissingValues)
{
    EXPECT_EQ(line(QStringLiteral("%x %A %{x}q %S")), "UNSUPPORTED UNSUPPORTED UNSUPPORTED UNSUPPORTED");
    TapacheRequest r = sampleRequest();
    r.time = QDateTime();
    r.header = nullptr;
    EXPECT_EQ(line(QStringLiteral("%t %{Host}i %s"), r), "ERROR ERROR 200");
    // Not directives: copied as they are.
    EXPECT_EQ(line(QStringLiteral("100% %% %{x} %5 %")), "100% %% %{x} %5 %");
}

TEST(ApacheLine, ArgumentsAndTheIgnoredGreaterThan)
{
    EXPECT_EQ(line(QStringLiteral("%>s %{User-Agent}i %{USER-AGENT}>i %200{User-Agent}>i")), "200 curl/8 curl/8 curl/8");
}

TEST(ApacheLine, StatusLists)
{
    TapacheRequest r = sampleRequest();
    const QString format = QStringLiteral("%400,404s %!200b %200,304>s");
    EXPECT_EQ(line(format, r), "- - 200");
    r.status = 404;
    EXPECT_EQ(line(format, r), "404 1234 -");
    r.status = 400;
    EXPECT_EQ(line(format, r), "400 1234 -");
    r.status = 40;
    EXPECT_EQ(line(format, r), "- 1234 -"); // a code, not a part of one
    r.status = 304;
    EXPECT_EQ(line(QStringLiteral("%!200,304b|%!200,404b"), r), "-|1234");
}

TEST(ApacheLine, EscapesOfTheFormat)
{
    // Backslash, backslash, t: the backslash-t goes first, leaving a backslash and a tab.
    EXPECT_EQ(line(QStringLiteral("\\\\t")), "\\\t");
    EXPECT_EQ(line(QStringLiteral("a\\tb\\Tc\\r\\N\\\"q\\\"\\\\")), "a\tb\tc\r\n\"q\"\\");
    EXPECT_EQ(line(QStringLiteral("\"%r\"\\t%s")), "\"GET /docs/report.pdf HTTP/1.1\"\t200");
}

TEST(ApacheLine, ValuesCannotBreakTheLine)
{
    TapacheRequest r = sampleRequest();
    r.requestLine = "GET /a\r\nforged\tline\x1b HTTP/1.1";
    r.user = QStringLiteral("b\"o\\b");
    r.header = [](QByteArrayView) { return QStringLiteral("x\ny"); };
    r.fileName = QString::fromUtf8("caf\xc3\xa9\x7f");
    EXPECT_EQ(line(QStringLiteral("\"%r\" \"%u\" \"%{Referer}i\" %f"), r),
              QString::fromUtf8("\"GET /a\\x0D\\x0Aforged\\x09line\\x1B HTTP/1.1\" \"b\\\"o\\\\b\" \"x\\x0Ay\" caf\xc3\xa9\\x7F"));
    // Bytes that are not UTF-8 are shown, not guessed.
    r.requestLine = "GET /\xe9t\xe9 HTTP/1.0";
    EXPECT_EQ(line(QStringLiteral("%r"), r), "GET /\\xE9t\\xE9 HTTP/1.0");
    r.requestLine = "GET /caf\xc3\xa9 HTTP/1.0";
    EXPECT_EQ(line(QStringLiteral("%r"), r), QString::fromUtf8("GET /caf\xc3\xa9 HTTP/1.0"));
    // The format's own tab and line ends are kept: they are the operator's.
    EXPECT_EQ(line(QStringLiteral("%s\\t%m\\r\\n"), r), "200\tGET\r\n");
}

TEST(ApacheLine, GeneratedValuesAreEscapedOneCharacterAtATime)
{
    // Values mixing plain runs (long enough for the fast copy) with quotes,
    // backslashes, controls and characters beyond ASCII (a surrogate pair
    // among them), each checked against the rule applied to every
    // character alone.
    const QString odd[] = {QStringLiteral("\""), QStringLiteral("\\"), QString(QChar(1)), QString(QChar(0x7F)),
                           QString(QChar(0xE9)), QString::fromUtf8("\xf0\x9f\x98\x80"), QString(QChar(0x20AC)),
                           QStringLiteral("\t")};
    const auto escaped = [](const QString &v) {
        QString r;
        for (const QChar c : v) {
            const char16_t u = c.unicode();
            if (u == u'"' || u == u'\\')
                r += u'\\' + QString(c);
            else if (u < 0x20 || u == 0x7F)
                r += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0')).toUpper().replace(u'X', u'x');
            else
                r += c;
        }
        return r;
    };
    TapacheRequest r = sampleRequest();
    for (int len = 1; len <= 20; ++len)
        for (int at = 0; at < len; ++at)
            for (const QString &a : odd)
                for (const QString &b : odd) {
                    QString v;
                    for (int i = 0; i < len; ++i)
                        v += QChar(char16_t(u'A' + i % 26));
                    v.replace(at, 1, a);
                    v += b + QStringLiteral("tail");
                    r.user = v;
                    ASSERT_EQ(line(QStringLiteral("%u"), r), escaped(v)) << v.toStdString();
                }
}

TEST(ApacheLine, EachFormatKeepsItsOwnParse)
{
    const TapacheRequest r = sampleRequest();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(line(QStringLiteral("%h %s"), r), "10.0.0.2 200");
        EXPECT_EQ(line(QStringLiteral("%u %m"), r), "bob GET");
    }
    // More formats than the cache holds: each still reads right.
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(line(QStringLiteral("%s-") + QString::number(i), r), QStringLiteral("200-") + QString::number(i));
    EXPECT_EQ(line(QStringLiteral("%h %s"), r), "10.0.0.2 200");
}
