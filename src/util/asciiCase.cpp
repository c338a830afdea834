#include "util/asciiCase.h"

namespace {

template<class View, class Out>
Out mapCase(View s, bool upper)
{
    Out out;
    out.resize(s.size());
    auto *d = out.data();
    for (qsizetype i = 0; i < s.size(); ++i) {
        const auto c = s[i];
        if constexpr (std::is_same_v<Out, QString>)
            d[i] = upper ? QChar(asciiUpper(c.unicode())) : QChar(asciiLower(c.unicode()));
        else
            d[i] = upper ? asciiUpper(c) : asciiLower(c);
    }
    return out;
}

inline char16_t unit(QStringView s, qsizetype i) { return s[i].unicode(); }
inline char unit(QByteArrayView s, qsizetype i) { return s[i]; }

template<class View>
bool equalFolded(View a, View b, qsizetype aFrom, qsizetype len) noexcept
{
    for (qsizetype i = 0; i < len; ++i) {
        const auto x = unit(a, aFrom + i), y = unit(b, i);
        if (x != y && asciiLower(x) != asciiLower(y))
            return false;
    }
    return true;
}

template<class View>
int compareFolded(View a, View b) noexcept
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        // Unsigned, so that bytes above 127 sort after ASCII.
        const auto x = std::make_unsigned_t<decltype(unit(a, i))>(asciiLower(unit(a, i)));
        const auto y = std::make_unsigned_t<decltype(unit(b, i))>(asciiLower(unit(b, i)));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template<class View>
qsizetype indexOfFolded(View s, View needle, qsizetype from) noexcept
{
    if (from < 0)
        from = 0;
    const qsizetype last = s.size() - needle.size();
    for (qsizetype i = from; i <= last; ++i)
        if (equalFolded(s, needle, i, needle.size()))
            return i;
    return -1;
}

} // namespace

QString asciiLower(QStringView s) { return mapCase<QStringView, QString>(s, false); }
QString asciiUpper(QStringView s) { return mapCase<QStringView, QString>(s, true); }
QByteArray asciiLower(QByteArrayView s) { return mapCase<QByteArrayView, QByteArray>(s, false); }
QByteArray asciiUpper(QByteArrayView s) { return mapCase<QByteArrayView, QByteArray>(s, true); }

bool sameText(QStringView a, QStringView b) noexcept
{
    return a.size() == b.size() && equalFolded(a, b, 0, b.size());
}
bool sameText(QStringView a, QLatin1String b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode(), y = uchar(b[i].toLatin1());
        if (x != y && asciiLower(x) != asciiLower(y))
            return false;
    }
    return true;
}
bool sameText(QByteArrayView a, QByteArrayView b) noexcept
{
    return a.size() == b.size() && equalFolded(a, b, 0, b.size());
}

int compareText(QStringView a, QStringView b) noexcept { return compareFolded(a, b); }
int compareText(QByteArrayView a, QByteArrayView b) noexcept { return compareFolded(a, b); }

bool startsWithText(QStringView s, QStringView prefix) noexcept
{
    return s.size() >= prefix.size() && equalFolded(s, prefix, 0, prefix.size());
}
bool startsWithText(QByteArrayView s, QByteArrayView prefix) noexcept
{
    return s.size() >= prefix.size() && equalFolded(s, prefix, 0, prefix.size());
}
bool endsWithText(QStringView s, QStringView suffix) noexcept
{
    // The last characters first: most names are told apart there.
    return s.size() >= suffix.size()
        && (suffix.isEmpty() || asciiLower(s.back().unicode()) == asciiLower(suffix.back().unicode()))
        && equalFolded(s, suffix, s.size() - suffix.size(), suffix.size());
}
bool endsWithText(QByteArrayView s, QByteArrayView suffix) noexcept
{
    return s.size() >= suffix.size() && equalFolded(s, suffix, s.size() - suffix.size(), suffix.size());
}

qsizetype indexOfText(QStringView s, QStringView needle, qsizetype from) noexcept
{
    return indexOfFolded(s, needle, from);
}
qsizetype indexOfText(QByteArrayView s, QByteArrayView needle, qsizetype from) noexcept
{
    return indexOfFolded(s, needle, from);
}
