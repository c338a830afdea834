#include "util/format.h"

#include <QLocale>
#include <cmath>
#include <iterator>

namespace {

// bytes / unit with one decimal, halves rounded up: what the decimal
// conversion of the (exact) double quotient gives, without its cost (a
// folder page formats a size per item).
QString oneDecimal(qint64 bytes, qint64 unit, QLatin1StringView suffix)
{
    if (bytes > (qint64(1) << 53)) // beyond exact doubles and overflow-free tenths
        return QString::number(double(bytes) / double(unit), 'f', 1) + suffix;
    const qint64 tenths = (bytes * 10 + unit / 2) / unit;
    // Digits written backwards into one buffer: a single allocation.
    char16_t buf[32];
    char16_t *p = buf + std::size(buf);
    for (qsizetype i = suffix.size() - 1; i >= 0; --i)
        *--p = char16_t(uchar(suffix.at(i).toLatin1()));
    *--p = char16_t(u'0' + tenths % 10);
    *--p = u'.';
    qint64 whole = tenths / 10;
    do {
        *--p = char16_t(u'0' + whole % 10);
        whole /= 10;
    } while (whole > 0);
    return QString(reinterpret_cast<const QChar *>(p), buf + std::size(buf) - p);
}

} // namespace

QString smartSize(qint64 bytes)
{
    if (bytes < 0)
        return QStringLiteral("N/A");
    if (bytes < 1024)
        return QString::number(bytes);
    if (bytes < 1048576)
        return oneDecimal(bytes, 1024, QLatin1StringView(" K"));
    if (bytes >= 1073741824)
        return oneDecimal(bytes, 1073741824, QLatin1StringView(" G"));
    return oneDecimal(bytes, 1048576, QLatin1StringView(" M"));
}

QString groupDigits(qint64 n, const QString &separator)
{
    QString sep = separator;
    if (sep.isEmpty()) {
        sep = QLocale().groupSeparator();
        if (sep.isEmpty() || sep == u".")
            sep = QStringLiteral(",");
    }
    // Through the unsigned magnitude, so that the lowest value works too.
    const bool negative = n < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(n) : quint64(n);
    const QString digits = QString::number(magnitude);
    QString out;
    out.reserve(digits.size() + digits.size() / 3 * sep.size() + 1);
    if (negative)
        out += u'-';
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += sep;
        out += digits[i];
    }
    return out;
}

QString formatDuration(double seconds)
{
    if (!std::isfinite(seconds))
        return QStringLiteral("-");
    const bool negative = seconds < 0;
    const qint64 total = qint64(std::min(std::fabs(seconds), 9.0e15));
    const qint64 h = total / 3600, m = total / 60 % 60, s = total % 60;
    QString out = negative && total > 0 ? QStringLiteral("-") : QString();
    out += QString::number(h) + u':';
    out += QString::number(m).rightJustified(2, u'0') + u':';
    out += QString::number(s).rightJustified(2, u'0');
    return out;
}

QString formatFloat(double value, int maxDecimals)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? QStringLiteral("nan") : (value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf"));
    QString s = QString::number(value, 'f', std::clamp(maxDecimals, 0, 17));
    if (s.contains(u'.')) {
        while (s.endsWith(u'0'))
            s.chop(1);
        if (s.endsWith(u'.'))
            s.chop(1);
    }
    if (s == u"-0")
        s = QStringLiteral("0");
    return s;
}
