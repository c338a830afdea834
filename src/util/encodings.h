#pragma once
// URL percent-encoding, HTML escaping, line-break escaping, digests, Base64.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <initializer_list>

// Percent-encodes control characters, " # % & ' , : ; < > ?, the space when
// `spaces` is on and, when `nonAscii` is on, every byte of the UTF-8 form
// above 127. "/", "+", "=", "@" are never encoded.
QString encodeURL(QStringView text, bool nonAscii = true, bool spaces = true);
// Appends encodeURL(text, ...) to `out`, reusing its room; `text` must not
// lie within `out`.
void appendEncodedURL(QString &out, QStringView text, bool nonAscii = true, bool spaces = true);

// Percent-decoding: "%" and two hexadecimal digits give that byte; "%" with
// two other characters becomes "_"; a "%" near the end is copied. With
// `utf8`, bytes that form valid UTF-8 are read as UTF-8; otherwise (or
// without `utf8`) the single-byte code page is used.
QString decodeURL(QByteArrayView bytes, bool utf8 = true);
// The text's UTF-8 bytes decoded as above.
QString decodeURL(const QString &text, bool utf8 = true);
// Only the percent-decoding, as bytes. With `dropBadPair` an invalid escape
// becomes "_" as a whole, its two characters included.
QByteArray percentDecode(QByteArrayView bytes, bool dropBadPair = false);

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isUTF8(QByteArrayView bytes);
// UTF-8 when the bytes are valid UTF-8, else the single-byte code page.
QString bytesToText(QByteArrayView bytes);

// & < > " ' as entities.
QString escapeHTML(QStringView text);

// Backslashes doubled and line breaks written as "\n", so the text fits on
// one line; unescaping gives it back with CR LF line breaks.
QString escapeLineBreaks(const QString &text);
QString unescapeLineBreaks(const QString &text);

// Digests of the UTF-8 form of the text (or of the bytes), lower-case hexadecimal.
QString md5Hex(const QString &text);
QString sha1Hex(const QString &text);
QString sha256Hex(const QString &text);
QString md5Hex(QByteArrayView bytes);
QString sha1Hex(QByteArrayView bytes);
QString sha256Hex(QByteArrayView bytes);

// Standard alphabet, "=" padding, no line breaks.
QByteArray base64Encode(QByteArrayView bytes);
inline QByteArray base64Encode(const QString &text) { return base64Encode(QByteArrayView(text.toUtf8())); }
// Lenient: characters outside the alphabet are skipped and missing padding
// is accepted; `ok` (when given) is false when the input was not clean Base64.
QByteArray base64Decode(QByteArrayView text, bool *ok = nullptr);
inline QByteArray base64Decode(const QString &text, bool *ok = nullptr)
{
    return base64Decode(QByteArrayView(text.toLatin1()), ok);
}

// Appends the text as UTF-8; all-ASCII text (addresses, ports, reason
// phrases) is copied without a conversion buffer.
void appendUtf8(QByteArray &out, QStringView text);

// Appends, one byte each, the longest start of `text` whose units are all
// from `low` to `high` (at most 0x7F); returns its length.
qsizetype appendAsciiRun(QByteArray &out, QStringView text, char16_t low, char16_t high);

// The decimal digits of `n` (a "-" before when negative), written at the
// end of `buf`.
QByteArrayView numberText(qint64 n, char (&buf)[24]);
void appendNumber(QByteArray &out, qint64 n);

// Appends the parts in turn: the buffer grows once (geometrically), then
// each part is copied, then `tail`. Cheaper than one append each, even for
// one part.
void appendParts(QByteArray &out, std::initializer_list<QByteArrayView> parts, QByteArrayView tail = {});
