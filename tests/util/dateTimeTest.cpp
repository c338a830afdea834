#include "util/dateTime.h"

#include <QTemporaryDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

TEST(DateTime, DayCounts)
{
    struct Case {
        QDateTime dt;
        double days;
    } cases[] = {
        {QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC), 0.0},
        {QDateTime(QDate(1899, 12, 31), QTime(12, 0), Qt::UTC), 1.5},
        {QDateTime(QDate(1900, 1, 1), QTime(6, 0), Qt::UTC), 2.25},
        {QDateTime(QDate(2020, 1, 7), QTime(14, 3, 7), Qt::UTC), 43837.0 + (14 * 3600 + 3 * 60 + 7) / 86400.0},
        {QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC), -1.25},
    };
    for (const Case &c : cases) {
        EXPECT_DOUBLE_EQ(toDateTimeUTC(c.dt), c.days) << c.dt.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(fromDateTimeUTC(c.days), c.dt) << c.days;
    }
    // Milliseconds survive, and a time of day rounding up to midnight carries.
    const QDateTime ms(QDate(2024, 2, 29), QTime(23, 59, 59, 999), Qt::UTC);
    EXPECT_EQ(fromDateTimeUTC(toDateTimeUTC(ms)), ms);
    EXPECT_EQ(fromDateTimeUTC(2.0 - 1e-10), QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_FALSE(fromDateTimeUTC(std::numeric_limits<double>::quiet_NaN()).isValid());
}

TEST(DateTime, LocalAndUtc)
{
    const QDateTime utc(QDate(2021, 7, 1), QTime(12, 0), Qt::UTC);
    const TdateTime u = toDateTimeUTC(utc);
    const TdateTime l = toDateTime(utc);
    const double offsetDays = utc.toLocalTime().offsetFromUtc() / 86400.0;
    EXPECT_NEAR(l - u, offsetDays, 1e-9);
    EXPECT_NEAR(utcToLocal(u), l, 1e-9);
    EXPECT_NEAR(localToUTC(l), u, 1e-9);
    EXPECT_EQ(fromDateTime(l).toUTC(), utc);
    EXPECT_NEAR(nowUTC(), toDateTimeUTC(QDateTime::currentDateTimeUtc()), 2.0 / 86400);
    EXPECT_NEAR(now() - nowUTC(), QDateTime::currentDateTime().offsetFromUtc() / 86400.0, 2.0 / 86400);
    // The cached offset gives the same clock as a full conversion, on
    // repeated calls too.
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(now(), toDateTime(QDateTime::currentDateTime()), 0.5 / 86400);
    // The coarse clock agrees to within its steps, read in either order.
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(nowCoarse(), now(), 0.1 / 86400);
        EXPECT_NEAR(now(), nowCoarse(), 0.1 / 86400);
    }
}

TEST(DateTime, StepOfADayCount)
{
    // Seconds and minutes read the way the fields are read (UTC: no zone
    // shifts); before the epoch the day counts down while the time counts up.
    QRandomGenerator rng(99);
    const QDate epoch(1899, 12, 30);
    for (int i = 0; i < 20000; ++i) {
        const double d = (rng.generateDouble() - 0.3) * 60000;
        const QDateTime t = fromDateTimeUTC(d);
        ASSERT_TRUE(t.isValid());
        const qint64 minute = epoch.daysTo(t.date()) * 1440 + t.time().hour() * 60 + t.time().minute();
        ASSERT_EQ(stepOf(d, 60000), std::optional<qint64>(minute)) << d;
        ASSERT_EQ(stepOf(d, 1000), std::optional<qint64>(minute * 60 + t.time().second())) << d;
    }
    EXPECT_FALSE(stepOf(std::nan(""), 1000));
    EXPECT_FALSE(stepOf(1.5, 7)); // not a divisor of a day
}

TEST(DateTime, HttpDates)
{
    const QDateTime dt(QDate(2020, 1, 7), QTime(14, 3, 7), Qt::UTC);
    EXPECT_EQ(httpDate(dt), QStringLiteral("Tue, 07 Jan 2020 14:03:07 GMT"));
    EXPECT_EQ(httpDate(toDateTimeUTC(dt)), QStringLiteral("Tue, 07 Jan 2020 14:03:07 GMT"));
    EXPECT_EQ(httpDate(QDateTime(QDate(1999, 12, 5), QTime(0, 0, 0), Qt::UTC)), QStringLiteral("Sun, 05 Dec 1999 00:00:00 GMT"));
    const TdateTime want = toDateTimeUTC(QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC));
    for (const char *text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                             "  sun, 06 nov 1994 08:49:37 gmt "}) {
        const auto got = parseHttpDate(text);
        ASSERT_TRUE(got.has_value()) << text;
        EXPECT_DOUBLE_EQ(*got, want) << text;
    }
    for (const char *bad : {"", "yesterday", "Sun, 31 Feb 1994 08:49:37 GMT", "Sun, 06 Nov 1994 25:49:37 GMT",
                            "Sun, 06 Nov 1994 08:49 GMT", "Sun, 06 Nox 1994 08:49:37 GMT"})
        EXPECT_FALSE(parseHttpDate(bad).has_value()) << bad;
}

TEST(DateTime, FileTimes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    EXPECT_EQ(fileTimeUTC(path), 0);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QDateTime when(QDate(2015, 3, 4), QTime(5, 6, 7), Qt::UTC);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    f.close();
    EXPECT_NEAR(fileTimeUTC(path), toDateTimeUTC(when), 1e-9);
    EXPECT_NEAR(fileTime(path), toDateTime(when), 1e-9);
}

TEST(DateTime, FollowsSummerTime)
{
    // Local day counts carry the offset that held at that date.
    const QByteArray oldTz = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "Europe/Paris");
    ::tzset();
    const QDateTime summer(QDate(2021, 7, 1), QTime(12, 0), Qt::UTC);
    const QDateTime winter(QDate(2021, 1, 15), QTime(12, 0), Qt::UTC);
    const double summerOffset = toDateTime(summer) - toDateTimeUTC(summer);
    const double winterOffset = toDateTime(winter) - toDateTimeUTC(winter);
    const double backUtc = localToUTC(toDateTime(summer));
    // 02:30 on the day clocks went forward does not exist; it still converts.
    const double gapLocal = toDateTimeUTC(QDateTime(QDate(2021, 3, 28), QTime(2, 30), Qt::UTC));
    const double gap = localToUTC(gapLocal);
    const QTime shown = fromDateTime(gapLocal).time();
    if (hadTz)
        qputenv("TZ", oldTz);
    else
        qunsetenv("TZ");
    ::tzset();
    EXPECT_NEAR(summerOffset * 24, 2.0, 1e-6);
    EXPECT_NEAR(winterOffset * 24, 1.0, 1e-6);
    EXPECT_NEAR(backUtc, toDateTimeUTC(summer), 1e-9);
    EXPECT_GT(gap, toDateTimeUTC(QDateTime(QDate(2021, 3, 27), QTime(23, 0), Qt::UTC)));
    EXPECT_LT(gap, toDateTimeUTC(QDateTime(QDate(2021, 3, 28), QTime(2, 0), Qt::UTC)));
    EXPECT_EQ(shown, QTime(3, 30));
}
