#include "util/dateTime.h"

#include "util/asciiCase.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimeZone>
#include <cmath>
#include <ctime>

namespace {

const QDate epoch(1899, 12, 30);
constexpr qint64 msPerDay = 86400000;

// Day counts before the epoch keep a positive time of day: -1.25 is
// 1899-12-29 06:00.
TdateTime fromFields(const QDate &date, const QTime &time)
{
    const qint64 day = epoch.daysTo(date);
    const double frac = double(time.msecsSinceStartOfDay()) / double(msPerDay);
    return day >= 0 ? double(day) + frac : double(day) - frac;
}

// The day and the milliseconds into it that a day count stands for.
bool splitDays(TdateTime days, qint64 &day, qint64 &ms)
{
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return false;
    double whole = std::trunc(days);
    ms = std::llround(std::fabs(days - whole) * double(msPerDay));
    if (ms >= msPerDay) {
        ms -= msPerDay;
        whole += days >= 0 ? 1 : -1;
    }
    day = qint64(whole);
    return true;
}

bool toFields(TdateTime days, QDate &date, QTime &time)
{
    qint64 day, ms;
    if (!splitDays(days, day, ms))
        return false;
    date = epoch.addDays(day);
    time = QTime::fromMSecsSinceStartOfDay(int(ms));
    return true;
}

const char *const dayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char *const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int monthFromName(QByteArrayView name)
{
    for (int i = 0; i < 12; ++i)
        if (sameText(name, QByteArrayView(monthNames[i])))
            return i + 1;
    return 0;
}

bool parseClock(QByteArrayView s, QTime &t)
{
    if (s.size() != 8 || s[2] != ':' || s[5] != ':')
        return false;
    bool ok1, ok2, ok3;
    const int h = s.sliced(0, 2).toInt(&ok1), m = s.sliced(3, 2).toInt(&ok2), sec = s.sliced(6, 2).toInt(&ok3);
    if (!ok1 || !ok2 || !ok3)
        return false;
    // A leap second reads as the last second of the minute.
    t = QTime(h, m, std::min(sec, 59));
    return t.isValid();
}

} // namespace

TdateTime toDateTime(const QDateTime &dt)
{
    const QDateTime l = dt.toLocalTime();
    return fromFields(l.date(), l.time());
}

TdateTime toDateTimeUTC(const QDateTime &dt)
{
    const QDateTime u = dt.toUTC();
    return fromFields(u.date(), u.time());
}

std::optional<qint64> stepOf(TdateTime days, qint64 stepMs)
{
    qint64 day, ms;
    if (stepMs <= 0 || msPerDay % stepMs != 0 || !splitDays(days, day, ms))
        return std::nullopt;
    return day * (msPerDay / stepMs) + ms / stepMs;
}

QDateTime fromDateTime(TdateTime days)
{
    QDate d;
    QTime t;
    if (!toFields(days, d, t))
        return QDateTime();
    const QDateTime dt(d, t, Qt::LocalTime);
    if (dt.isValid())
        return dt;
    // A time skipped when clocks went forward: read it with the offset that
    // held before the change (02:30 becomes 03:30).
    const QDateTime naive(d, t, Qt::UTC);
    for (int shift = 1800; shift <= 3 * 3600; shift += 1800) {
        const QDateTime before = naive.addSecs(-shift);
        const QDateTime local(before.date(), before.time(), Qt::LocalTime);
        if (local.isValid())
            return local.addSecs(shift);
    }
    return QDateTime();
}

QDateTime fromDateTimeUTC(TdateTime days)
{
    QDate d;
    QTime t;
    if (!toFields(days, d, t))
        return QDateTime();
    return QDateTime(d, t, Qt::UTC);
}

namespace {

TdateTime localNowFrom(const timespec &ts)
{
    // The local clock is read several times per request, and converting
    // through the time zone checks the zone file on every call. The offset
    // from UTC is taken again once a second (of the same clock reading),
    // which follows clock and zone changes.
    const qint64 utcMs = qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    static bool haveOffset = false;
    static qint64 offsetTakenAt = 0;
    static qint64 offsetMs = 0;
    // (The coarse clock may read a little behind the fine one.)
    if (!haveOffset || utcMs - offsetTakenAt >= 1000 || offsetTakenAt - utcMs >= 1000) {
        offsetMs = qint64(QDateTime::currentDateTime().offsetFromUtc()) * 1000;
        offsetTakenAt = utcMs;
        haveOffset = true;
    }
    const qint64 localMs = utcMs + offsetMs;
    constexpr qint64 unixEpochDay = 25569; // 1970-01-01 as a day count
    const qint64 day = localMs / msPerDay + unixEpochDay;
    return double(day) + double(localMs % msPerDay) / double(msPerDay);
}

} // namespace

TdateTime now()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return localNowFrom(ts);
}

TdateTime nowCoarse()
{
    // The coarse clock moves every few milliseconds, and long walks read it
    // at every item: the day count of its last reading is at hand.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    static timespec lastTs{};
    static TdateTime last = 0;
    if (last == 0 || ts.tv_sec != lastTs.tv_sec || ts.tv_nsec != lastTs.tv_nsec) {
        last = localNowFrom(ts);
        lastTs = ts;
    }
    return last;
}

TdateTime nowUTC()
{
    return toDateTimeUTC(QDateTime::currentDateTimeUtc());
}

TdateTime localToUTC(TdateTime local)
{
    const QDateTime dt = fromDateTime(local);
    return dt.isValid() ? toDateTimeUTC(dt) : local;
}

TdateTime utcToLocal(TdateTime utc)
{
    const QDateTime dt = fromDateTimeUTC(utc);
    return dt.isValid() ? toDateTime(dt) : utc;
}

TdateTime fileTime(const QString &path)
{
    const QFileInfo fi(path);
    return fi.exists() ? toDateTime(fi.lastModified()) : 0;
}

TdateTime fileTimeUTC(const QString &path)
{
    const QFileInfo fi(path);
    return fi.exists() ? toDateTimeUTC(fi.lastModified()) : 0;
}

QString httpDate(TdateTime utc)
{
    return httpDate(fromDateTimeUTC(utc));
}

QString httpDate(const QDateTime &dt)
{
    if (!dt.isValid())
        return QString();
    const QDateTime u = dt.toUTC();
    const QDate d = u.date();
    const QTime t = u.time();
    return QString::asprintf("%s, %02d %s %04d %02d:%02d:%02d GMT", dayNames[d.dayOfWeek() - 1], d.day(),
                             monthNames[d.month() - 1], d.year(), t.hour(), t.minute(), t.second());
}

std::optional<TdateTime> parseHttpDate(QByteArrayView text)
{
    text = text.trimmed();
    if (text.size() > 64)
        return std::nullopt;
    QList<QByteArrayView> tok;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ','))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != ',')
            ++i;
        if (i > start)
            tok.append(text.sliced(start, i - start));
    }
    int day = 0, month = 0, year = 0;
    QTime clock;
    bool ok = false;
    if (tok.size() == 6 && sameText(tok[5], "GMT")) {
        // Sun, 06 Nov 1994 08:49:37 GMT
        day = tok[1].toInt(&ok);
        month = monthFromName(tok[2]);
        if (ok)
            year = tok[3].toInt(&ok);
        ok = ok && tok[3].size() == 4 && parseClock(tok[4], clock);
    } else if (tok.size() == 4 && sameText(tok[3], "GMT")) {
        // Sunday, 06-Nov-94 08:49:37 GMT
        const QByteArrayView d = tok[1];
        if (d.size() == 9 && d[2] == '-' && d[6] == '-') {
            day = d.sliced(0, 2).toInt(&ok);
            month = monthFromName(d.sliced(3, 3));
            if (ok)
                year = d.sliced(7, 2).toInt(&ok);
            year += year < 70 ? 2000 : 1900;
            ok = ok && parseClock(tok[2], clock);
        }
    } else if (tok.size() == 5) {
        // Sun Nov  6 08:49:37 1994
        month = monthFromName(tok[1]);
        day = tok[2].toInt(&ok);
        if (ok)
            year = tok[4].toInt(&ok);
        ok = ok && parseClock(tok[3], clock);
    }
    const QDate date(year, month, day);
    if (!ok || month == 0 || !date.isValid())
        return std::nullopt;
    return fromFields(date, clock);
}
