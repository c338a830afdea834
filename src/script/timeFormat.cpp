#include "script/timeFormat.h"

namespace {

// The run of `c` (ignoring case) at i.
qsizetype runOf(const QString &p, qsizetype i, QChar c)
{
    qsizetype n = 0;
    while (i + n < p.size() && p[i + n].toLower() == c)
        ++n;
    return n;
}

QString two(int v)
{
    return QString::number(v).rightJustified(2, QLatin1Char('0'));
}

bool hasAmPm(const QString &p)
{
    return p.contains(QLatin1String("am/pm"), Qt::CaseInsensitive) ||
           p.contains(QLatin1String("a/p"), Qt::CaseInsensitive);
}

QString dateSeparator(const QLocale &l)
{
    const QString f = l.dateFormat(QLocale::ShortFormat);
    for (QChar c : f)
        if (!c.isLetter()) return c;
    return QStringLiteral("/");
}

} // namespace

QString formatMacroTime(const QString &pattern, const QDateTime &dt, const QLocale &l)
{
    const QDate d = dt.date();
    const QTime t = dt.time();
    const bool twelve = hasAmPm(pattern);
    QString out;
    bool afterHour = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i].toLower();
        if (pattern[i] == QLatin1Char('"') || pattern[i] == QLatin1Char('\'')) {
            const qsizetype end = pattern.indexOf(pattern[i], i + 1);
            const qsizetype stop = end < 0 ? pattern.size() : end;
            out += pattern.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (pattern.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
            const bool am = t.hour() < 12;
            const QString s = pattern.mid(i, 5);
            out += s.startsWith(QLatin1Char('A')) || s.startsWith(QLatin1Char('P'))
                       ? (am ? QStringLiteral("AM") : QStringLiteral("PM"))
                       : (am ? QStringLiteral("am") : QStringLiteral("pm"));
            i += 5;
            continue;
        }
        if (pattern.mid(i, 3).compare(QLatin1String("a/p"), Qt::CaseInsensitive) == 0) {
            const bool upper = pattern[i].isUpper();
            const QString s = t.hour() < 12 ? QStringLiteral("a") : QStringLiteral("p");
            out += upper ? s.toUpper() : s;
            i += 3;
            continue;
        }
        const qsizetype n = runOf(pattern, i, c);
        if (c == QLatin1Char('c')) {
            out += l.toString(d, QLocale::ShortFormat) + QLatin1Char(' ') +
                   l.toString(t, QLocale::LongFormat);
            i += 1;
        } else if (c == QLatin1Char('d')) {
            const qsizetype k = qMin<qsizetype>(n, 6);
            if (k == 1)
                out += QString::number(d.day());
            else if (k == 2)
                out += two(d.day());
            else if (k == 3)
                out += l.dayName(d.dayOfWeek(), QLocale::ShortFormat);
            else if (k == 4)
                out += l.dayName(d.dayOfWeek(), QLocale::LongFormat);
            else if (k == 5)
                out += l.toString(d, QLocale::ShortFormat);
            else
                out += l.toString(d, QLocale::LongFormat);
            i += k;
        } else if (c == QLatin1Char('m')) {
            const qsizetype k = qMin<qsizetype>(n, 4);
            if (afterHour && k <= 2)
                out += k == 1 ? QString::number(t.minute()) : two(t.minute());
            else if (k == 1)
                out += QString::number(d.month());
            else if (k == 2)
                out += two(d.month());
            else if (k == 3)
                out += l.monthName(d.month(), QLocale::ShortFormat);
            else
                out += l.monthName(d.month(), QLocale::LongFormat);
            i += k;
        } else if (c == QLatin1Char('y')) {
            out += n >= 3 ? QString::number(d.year()) : two(d.year() % 100);
            i += n;
        } else if (c == QLatin1Char('h')) {
            int h = t.hour();
            if (twelve) {
                h %= 12;
                if (h == 0) h = 12;
            }
            out += n >= 2 ? two(h) : QString::number(h);
            i += qMin<qsizetype>(n, 2);
            afterHour = true;
            continue;
        } else if (c == QLatin1Char('n')) {
            out += n >= 2 ? two(t.minute()) : QString::number(t.minute());
            i += qMin<qsizetype>(n, 2);
        } else if (c == QLatin1Char('s')) {
            out += n >= 2 ? two(t.second()) : QString::number(t.second());
            i += qMin<qsizetype>(n, 2);
        } else if (c == QLatin1Char('z')) {
            out += n >= 3 ? QString::number(t.msec()).rightJustified(3, QLatin1Char('0'))
                          : QString::number(t.msec());
            i += n >= 3 ? 3 : 1;
        } else if (c == QLatin1Char('t')) {
            out += l.toString(t, n >= 2 ? QLocale::LongFormat : QLocale::ShortFormat);
            i += qMin<qsizetype>(n, 2);
        } else if (c == QLatin1Char('/')) {
            out += dateSeparator(l);
            ++i;
        } else if (c == QLatin1Char(':')) {
            out += QLatin1Char(':');
            ++i;
            continue;
        } else {
            out += pattern[i];
            ++i;
            continue; // other text keeps "m" after an hour meaning minutes
        }
        afterHour = false;
    }
    return out;
}
