// Date-time patterns of the "time" macro.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Pattern letters (any case): c, d to dddddd, m to mmmm (minutes right after
// an hour), yy, yyyy, h, hh, n, nn, s, ss, z, zzz, t, tt, am/pm, a/p, and the
// separators / and :; text in quotes is copied. Names come from `locale`.
QString formatMacroTime(const QString &pattern, const QDateTime &dt,
                        const QLocale &locale = QLocale());
