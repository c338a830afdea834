// The log view's search, the lines a pattern picks and the address a log
// line names.
#include "log/logSearch.h"

#include <gtest/gtest.h>

namespace {

QString found(const QString &text, const TlogSearchHit &h)
{
    return h.found ? text.mid(h.start, h.length) : QStringLiteral("<none>");
}

const QString log3 = QStringLiteral("10:00  axxb one\n"
                                    "10:01  nothing here\n"
                                    "10:02  a then\nb apart\n"
                                    "10:03  ab end aXb\n");

} // namespace

TEST(LogSearch, WildcardBackwardsFindsTheNearestEarlierMatchWithinALine)
{
    // From the end: the last "a" that reaches a "b" on its line.
    TlogSearchHit h = logSearch(log3, QStringLiteral("a*b"), log3.size(), -1);
    ASSERT_TRUE(h.found);
    EXPECT_EQ(h.start, log3.indexOf(QStringLiteral("aXb")));
    EXPECT_EQ(found(log3, h), QStringLiteral("aXb"));
    // Again from there: the "ab" before it.
    h = logSearch(log3, QStringLiteral("a*b"), h.start, -1);
    EXPECT_EQ(h.start, log3.indexOf(QStringLiteral("ab end")));
    // The "a" of "a then" has its "b" only on the next line: skipped.
    h = logSearch(log3, QStringLiteral("a*b"), h.start, -1);
    EXPECT_EQ(h.start, log3.indexOf(QStringLiteral("axxb")));
    EXPECT_EQ(found(log3, h), QStringLiteral("axxb"));
    // Before the first one it wraps to the end.
    h = logSearch(log3, QStringLiteral("a*b"), h.start, -1);
    EXPECT_EQ(h.start, log3.indexOf(QStringLiteral("aXb")));
    // Forwards from the start; outer stars are dropped.
    h = logSearch(log3, QStringLiteral("**A?B*"), 0, +1);
    EXPECT_EQ(found(log3, h), QStringLiteral("aXb"));
    EXPECT_FALSE(logSearch(log3, QStringLiteral("q*z"), 10, -1).found);
}

TEST(LogSearch, PlainTextBothWaysWithWrapAndTyping)
{
    const QString t = QStringLiteral("one Two three two TWO");
    TlogSearchHit h = logSearch(t, QStringLiteral("two"), t.size(), -1);
    EXPECT_EQ(h.start, 18);
    EXPECT_EQ(h.length, 3);
    h = logSearch(t, QStringLiteral("two"), h.start, -1);
    EXPECT_EQ(h.start, 14);
    h = logSearch(t, QStringLiteral("two"), 4, -1);
    EXPECT_EQ(h.start, 18); // wrapped
    h = logSearch(t, QStringLiteral("TWO"), 4, +1);
    EXPECT_EQ(h.start, 14);
    h = logSearch(t, QStringLiteral("two"), 18, +1);
    EXPECT_EQ(h.start, 4); // wrapped
    // Typing: a match at the caret is kept, else the search goes back.
    EXPECT_EQ(logSearch(t, QStringLiteral("tw"), 14, 0).start, 14);
    EXPECT_EQ(logSearch(t, QStringLiteral("tw"), 13, 0).start, 4);
    EXPECT_FALSE(logSearch(t, QStringLiteral("four"), 5, 0).found);
    // An empty pattern is found and selects nothing.
    h = logSearch(t, QString(), 7, +1);
    EXPECT_TRUE(h.found);
    EXPECT_EQ(h.length, 0);
}

TEST(LogSearch, LinesMatchingKeepsEveryLineWithThePattern)
{
    const QString t = QStringLiteral("404 first\nok line\nNot served: 404 - x\nend 404\n");
    EXPECT_EQ(logLinesMatching(t, QStringLiteral("404")),
              QStringLiteral("404 first\r\nNot served: 404 - x\r\nend 404\r\n"));
    EXPECT_EQ(logLinesMatching(t, QStringLiteral("served*x")), QStringLiteral("Not served: 404 - x\r\n"));
    EXPECT_EQ(logLinesMatching(t, QStringLiteral("500")), QString());
}

TEST(LogSearch, AddressOfALogLine)
{
    EXPECT_EQ(logLineAddress(QStringLiteral("10:00:01  127.0.0.1:5000  Served 1 KB")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(logLineAddress(QStringLiteral("10:00:01  ann@10.0.0.7:80  Fully downloaded")), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(logLineAddress(QStringLiteral("10:00:01  bob@[fe80::1]:443  Requested GET /")), QStringLiteral("fe80::1"));
    EXPECT_EQ(logLineAddress(QStringLiteral("10:00:01  Server start")), QString());
    EXPECT_EQ(logLineAddress(QStringLiteral("10:00:01  no:port  here")), QString());
}
