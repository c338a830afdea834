#include "util/regex.h"

#include <gtest/gtest.h>

TEST(Regex, FindPositionsAndGroups)
{
    QStringList groups;
    EXPECT_EQ(regexFind(QStringLiteral("abc abc"), QStringLiteral("b(c)"), {}, &groups), 2);
    EXPECT_EQ(groups, (QStringList{QStringLiteral("bc"), QStringLiteral("c")}));
    EXPECT_EQ(regexFind(QStringLiteral("abc abc"), QStringLiteral("b(c)"), {}, nullptr, 3), 6);
    EXPECT_EQ(regexFind(QStringLiteral("abc"), QStringLiteral("x")), 0);
    EXPECT_EQ(regexFind(QStringLiteral("abc"), QStringLiteral("c"), {}, nullptr, 99), 0);
    // Positions count UTF-16 units: the emoji takes two.
    EXPECT_EQ(regexFind(QString::fromUtf8("\xF0\x9F\x98\x80x"), QStringLiteral("x")), 3);
}

TEST(Regex, Modifiers)
{
    const QString text = QStringLiteral("one\nTwo");
    EXPECT_EQ(regexFind(text, QStringLiteral("two")), 0);
    EXPECT_EQ(regexFind(text, QStringLiteral("two"), QStringLiteral("i")), 5);
    EXPECT_EQ(regexFind(text, QStringLiteral("^Two")), 0);
    EXPECT_EQ(regexFind(text, QStringLiteral("^Two"), QStringLiteral("m")), 5);
    EXPECT_EQ(regexFind(text, QStringLiteral("one.Two")), 0);  // "s" off unless asked
    EXPECT_EQ(regexFind(text, QStringLiteral("one.Two"), QStringLiteral("s")), 1);
    EXPECT_EQ(regexFind(text, QStringLiteral("o n e"), QStringLiteral("x")), 1);
    EXPECT_EQ(regexGetGroup(QStringLiteral("<a><b>"), QStringLiteral("<(.+)>"), 1), QStringLiteral("a><b"));
    EXPECT_EQ(regexGetGroup(QStringLiteral("<a><b>"), QStringLiteral("<(.+)>"), 1, QStringLiteral("-g")), QStringLiteral("a"));
    EXPECT_EQ(regexGetGroup(QStringLiteral("<a><b>"), QStringLiteral("<(.+)>"), 1, QStringLiteral("i-g")), QStringLiteral("a"));
    EXPECT_EQ(regexFind(QStringLiteral("ABC"), QStringLiteral("b"), QStringLiteral("i!")), 2);
}

TEST(Regex, CompileErrorsAreReported)
{
    QString error;
    EXPECT_EQ(regexFind(QStringLiteral("abc"), QStringLiteral("(b"), {}, nullptr, 1, &error), 0);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(regexFind(QStringLiteral("abc"), QStringLiteral("(b)"), {}, nullptr, 1, &error), 2);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(regexReplace(QStringLiteral("abc"), QStringLiteral("[b"), QStringLiteral("x"), {}, &error),
              QStringLiteral("abc"));
    EXPECT_FALSE(error.isEmpty());
}

TEST(Regex, Replace)
{
    EXPECT_EQ(regexReplace(QStringLiteral("2020-01-07"), QStringLiteral("(\\d+)-(\\d+)-(\\d+)"), QStringLiteral("$3/$2/$1")),
              QStringLiteral("07/01/2020"));
    EXPECT_EQ(regexReplace(QStringLiteral("aXbX"), QStringLiteral("X"), QStringLiteral("[${0}]")), QStringLiteral("a[X]b[X]"));
    EXPECT_EQ(regexReplace(QStringLiteral("ab"), QStringLiteral("(a)"), QStringLiteral("\\$1$2")), QStringLiteral("$1b"));
    EXPECT_EQ(regexReplace(QStringLiteral("abc"), QStringLiteral("x*"), QStringLiteral("-")), QStringLiteral("-a-b-c-"));
    EXPECT_EQ(regexReplace(QStringLiteral("a.b"), QStringLiteral("."), QStringLiteral("$")), QStringLiteral("$$$"));
}

TEST(Regex, CacheTables)
{
    clearRegexCache();
    for (int i = 0; i < 100; ++i)
        cachedRegex(QStringLiteral("x%1").arg(i), QString());
    EXPECT_EQ(regexCacheSizes().recent, 100);
    cachedRegex(QStringLiteral("x0"), QString());  // a hit: x0 becomes the newest
    cachedRegex(QStringLiteral("x100"), QString());
    EXPECT_EQ(regexCacheSizes().recent, 91);
    // x0 was refreshed before the trim, so it survived; x1 was among the oldest.
    cachedRegex(QStringLiteral("keep"), QStringLiteral("!"));
    cachedRegex(QStringLiteral("keep"), QStringLiteral("!"));
    EXPECT_EQ(regexCacheSizes().permanent, 1);
    EXPECT_EQ(regexCacheSizes().recent, 91);
    cachedRegex(QStringLiteral("x0"), QString());
    EXPECT_EQ(regexCacheSizes().recent, 91);
    cachedRegex(QStringLiteral("x1"), QString());
    EXPECT_EQ(regexCacheSizes().recent, 92);
    // Modifiers are part of the key, and the "!" is not handed to the engine.
    const QRegularExpression re = cachedRegex(QStringLiteral("abc"), QStringLiteral("i!"));
    EXPECT_TRUE(re.patternOptions().testFlag(QRegularExpression::CaseInsensitiveOption));
    EXPECT_TRUE(re.isValid());
    clearRegexCache();
}
