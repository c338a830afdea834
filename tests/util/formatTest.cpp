#include "util/format.h"

#include <gtest/gtest.h>

TEST(Format, SmartSize)
{
    struct Case {
        qint64 n;
        const char *text;
    } cases[] = {
        {-1, "N/A"}, {0, "0"}, {1023, "1023"}, {1024, "1.0 K"}, {1536, "1.5 K"},
        {1048575, "1024.0 K"}, {1048576, "1.0 M"}, {1073741823, "1024.0 M"},
        {1073741824, "1.0 G"}, {5LL * 1073741824 + 536870912, "5.5 G"},
        {Q_INT64_C(9223372036854775807), "8589934592.0 G"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(smartSize(c.n), QString::fromLatin1(c.text)) << c.n;
}

TEST(Format, GroupDigits)
{
    const QString sep = QStringLiteral(",");
    EXPECT_EQ(groupDigits(0, sep), QStringLiteral("0"));
    EXPECT_EQ(groupDigits(999, sep), QStringLiteral("999"));
    EXPECT_EQ(groupDigits(1000, sep), QStringLiteral("1,000"));
    EXPECT_EQ(groupDigits(1234567, sep), QStringLiteral("1,234,567"));
    EXPECT_EQ(groupDigits(-1234567, QStringLiteral(" ")), QStringLiteral("-1 234 567"));
    EXPECT_EQ(groupDigits(std::numeric_limits<qint64>::min(), sep), QStringLiteral("-9,223,372,036,854,775,808"));
    const QString withLocale = groupDigits(1234567);
    EXPECT_FALSE(withLocale.contains(u'.'));
    EXPECT_EQ(withLocale.size(), 9);
}

TEST(Format, Duration)
{
    EXPECT_EQ(formatDuration(25 * 3600 + 3), QStringLiteral("25:00:03"));
    EXPECT_EQ(formatDuration(0), QStringLiteral("0:00:00"));
    EXPECT_EQ(formatDuration(59.99), QStringLiteral("0:00:59"));
    EXPECT_EQ(formatDuration(3599), QStringLiteral("0:59:59"));
    EXPECT_EQ(formatDuration(-61), QStringLiteral("-0:01:01"));
    EXPECT_EQ(formatDuration(1000.0 * 3600), QStringLiteral("1000:00:00"));
}

TEST(Format, Float)
{
    EXPECT_EQ(formatFloat(2.5), QStringLiteral("2.5"));
    EXPECT_EQ(formatFloat(3), QStringLiteral("3"));
    EXPECT_EQ(formatFloat(0.125), QStringLiteral("0.125"));
    EXPECT_EQ(formatFloat(-0.0000001), QStringLiteral("0"));
    EXPECT_EQ(formatFloat(1.0 / 3, 2), QStringLiteral("0.33"));
    EXPECT_EQ(formatFloat(1e15), QStringLiteral("1000000000000000"));
}
