#include "util/format.h"

#include <gtest/gtest.h>

#include <random>

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

// The integer rounding must give what the decimal conversion of the double
// quotient gives: around every half tenth, and for sizes spread over each unit.
TEST(Format, SmartSizeRoundsAsTheDecimalConversion)
{
    const auto reference = [](qint64 n) {
        if (n < 1048576)
            return QString::number(double(n) / 1024.0, 'f', 1) + QStringLiteral(" K");
        if (n >= 1073741824)
            return QString::number(double(n) / 1073741824.0, 'f', 1) + QStringLiteral(" G");
        return QString::number(double(n) / 1048576.0, 'f', 1) + QStringLiteral(" M");
    };
    std::mt19937_64 rng(20261209);
    for (const qint64 unit : {Q_INT64_C(1024), Q_INT64_C(1048576), Q_INT64_C(1073741824)}) {
        const qint64 top = unit == Q_INT64_C(1073741824) ? (qint64(1) << 55) : unit * 1024;
        for (qint64 m = 10; m < 10240; ++m) {
            const qint64 half = unit * (2 * m + 1) / 20;
            for (const qint64 n : {half - 1, half, half + 1}) {
                if (n < unit || n >= top)
                    continue;
                ASSERT_EQ(smartSize(n), reference(n)) << n;
            }
        }
        for (int i = 0; i < 5000; ++i) {
            const qint64 n = unit + qint64(rng() % quint64(top - unit));
            ASSERT_EQ(smartSize(n), reference(n)) << n;
        }
    }
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
