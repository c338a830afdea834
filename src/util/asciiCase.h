#pragma once
// Case folding that touches ASCII letters only. Every "without regard to
// case" rule of protocols, option keys and name lists goes through here, so
// that matching never depends on the locale or on Unicode tables.

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1String>
#include <QString>
#include <QStringView>

constexpr char16_t asciiLower(char16_t c) noexcept
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}
constexpr char16_t asciiUpper(char16_t c) noexcept
{
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}
constexpr char asciiLower(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}
constexpr char asciiUpper(char c) noexcept
{
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}
inline QChar asciiLower(QChar c) noexcept { return QChar(asciiLower(c.unicode())); }
inline QChar asciiUpper(QChar c) noexcept { return QChar(asciiUpper(c.unicode())); }

QString asciiLower(QStringView s);
QString asciiUpper(QStringView s);
QByteArray asciiLower(QByteArrayView s);
QByteArray asciiUpper(QByteArrayView s);
// Overloads for owning strings, so that calls with a QString or a string
// literal are not ambiguous.
inline QString asciiLower(const QString &s) { return asciiLower(QStringView(s)); }
inline QString asciiUpper(const QString &s) { return asciiUpper(QStringView(s)); }
inline QByteArray asciiLower(const QByteArray &s) { return asciiLower(QByteArrayView(s)); }
inline QByteArray asciiUpper(const QByteArray &s) { return asciiUpper(QByteArrayView(s)); }
inline QByteArray asciiLower(const char *s) { return asciiLower(QByteArrayView(s)); }
inline QByteArray asciiUpper(const char *s) { return asciiUpper(QByteArrayView(s)); }

// Equality ignoring ASCII letter case.
bool sameText(QStringView a, QStringView b) noexcept;
bool sameText(QByteArrayView a, QByteArrayView b) noexcept;
bool sameText(QStringView a, QLatin1String b) noexcept;
inline bool sameText(const QString &a, const char *latin1) noexcept { return sameText(QStringView(a), QLatin1String(latin1)); }
inline bool sameText(QStringView a, const char *latin1) noexcept { return sameText(a, QLatin1String(latin1)); }
inline bool sameText(const QString &a, const QString &b) noexcept { return sameText(QStringView(a), QStringView(b)); }
inline bool sameText(const QString &a, const char16_t *b) noexcept { return sameText(QStringView(a), QStringView(b)); }
inline bool sameText(const QByteArray &a, const QByteArray &b) noexcept { return sameText(QByteArrayView(a), QByteArrayView(b)); }
inline bool sameText(const QByteArray &a, const char *b) noexcept { return sameText(QByteArrayView(a), QByteArrayView(b)); }

// Three-way ordering ignoring ASCII letter case (<0, 0, >0), code-unit order otherwise.
int compareText(QStringView a, QStringView b) noexcept;
int compareText(QByteArrayView a, QByteArrayView b) noexcept;

bool startsWithText(QStringView s, QStringView prefix) noexcept;
bool startsWithText(QByteArrayView s, QByteArrayView prefix) noexcept;
bool endsWithText(QStringView s, QStringView suffix) noexcept;
bool endsWithText(QByteArrayView s, QByteArrayView suffix) noexcept;

// Position of `needle` in `s` at or after `from`, ignoring ASCII case; -1 when absent.
qsizetype indexOfText(QStringView s, QStringView needle, qsizetype from = 0) noexcept;
qsizetype indexOfText(QByteArrayView s, QByteArrayView needle, qsizetype from = 0) noexcept;
