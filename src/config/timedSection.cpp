#include "config/timedSection.h"

#include <QRegularExpression>

#include <cmath>

TtimedSection parseTimedSection(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"((every +([0-9.]+)(:(\d+)(:(\d+))?)? *([a-z]*))|(at (\d+):(\d+)))"),
        QRegularExpression::CaseInsensitiveOption);
    TtimedSection t;
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return t;
    if (!m.captured(8).isEmpty()) {
        t.kind = TtimedSection::At;
        t.hour = m.captured(9).toInt();
        t.minute = m.captured(10).toInt();
        return t;
    }
    bool ok = false;
    double period = m.captured(2).toDouble(&ok);
    if (!ok) // "1.2.3" and the like: not a number, not timed
        return t;
    // Each further ":n" is a smaller unit: 1:30 m is 90 minutes.
    for (int group : {4, 6})
        if (!m.captured(group).isEmpty())
            period = period * 60 + m.captured(group).toDouble();
    const QChar unit = m.captured(7).isEmpty() ? QChar() : m.captured(7).at(0).toLower();
    if (unit == u'h')
        period *= 3600;
    else if (unit == u'm')
        period *= 60;
    t.kind = TtimedSection::Every;
    t.periodSeconds = period < 1e15 ? qint64(std::llround(period)) : 0;
    return t;
}
