#pragma once
// Date-times as day counts since 1899-12-30 00:00 (the fraction is the time
// of day). They are local time unless a name says UTC. Used for display and
// storage; intervals use a monotonic clock instead.

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <optional>

using TdateTime = double;

constexpr TdateTime secondsPerDay = 86400.0;
constexpr TdateTime oneSecond = 1.0 / 86400.0;

// Day count of the calendar fields of `dt` in local time / in UTC.
TdateTime toDateTime(const QDateTime &dt);
TdateTime toDateTimeUTC(const QDateTime &dt);
// A local / UTC QDateTime from a day count. Milliseconds are rounded.
QDateTime fromDateTime(TdateTime days);
// The step of `stepMs` milliseconds (a second, a minute: a divisor of a day)
// that fromDateTime's fields fall in, as one number; none for a day count it
// cannot read.
std::optional<qint64> stepOf(TdateTime days, qint64 stepMs);
QDateTime fromDateTimeUTC(TdateTime days);

TdateTime now();
// The same to within a few milliseconds, for bookkeeping done at every
// network event (the coarse clock costs less to read).
TdateTime nowCoarse();
TdateTime nowUTC();
TdateTime localToUTC(TdateTime local);
TdateTime utcToLocal(TdateTime utc);

// Last modification of a file as a local / UTC day count, 0 when missing.
TdateTime fileTime(const QString &path);
TdateTime fileTimeUTC(const QString &path);

// RFC 1123 form of a UTC day count: "Tue, 07 Jan 2020 14:03:07 GMT".
QString httpDate(TdateTime utc);
QString httpDate(const QDateTime &dt);
// Reads an HTTP date (RFC 1123, RFC 850 or asctime form) as a UTC day count.
std::optional<TdateTime> parseHttpDate(QByteArrayView text);
