#include "util/encodings.h"
#include "util/hexDigit.h"

#include "util/codePage.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

constexpr bool urlReserved(char16_t c, bool spaces)
{
    if (c < 32 || c == 127)
        return true;
    switch (c) {
    case u'"': case u'#': case u'%': case u'&': case u'\'': case u',':
    case u':': case u';': case u'<': case u'>': case u'?':
        return true;
    case u' ':
        return spaces;
    default:
        return false;
    }
}

QString hexDigest(QByteArrayView bytes, QCryptographicHash::Algorithm algo)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, algo).toHex());
}

// urlReserved for every ASCII code, without and with spaces escaped.
struct TurlReservedTable
{
    bool without[128] = {};
    bool with[128] = {};
    constexpr TurlReservedTable()
    {
        for (char16_t c = 0; c < 128; ++c) {
            without[c] = urlReserved(c, false);
            with[c] = urlReserved(c, true);
        }
    }
};
constexpr TurlReservedTable kUrlReserved;

} // namespace

void appendEncodedURL(QString &out, QStringView text, bool nonAscii, bool spaces)
{
    const bool *reserved = spaces ? kUrlReserved.with : kUrlReserved.without;
    const auto escaped = [reserved, nonAscii](char16_t c) { return c < 128 ? reserved[c] : nonAscii; };
    // Most names need no escape: one look, then a copy.
    const char16_t *d = text.utf16();
    const qsizetype n = text.size();
    qsizetype plain = 0;
    while (plain < n && !escaped(d[plain]))
        ++plain;
    if (plain == n) {
        out.append(text);
        return;
    }
    const auto put = [](QChar *&o, uchar b) {
        *o++ = u'%';
        *o++ = QLatin1Char(hexDigits[b >> 4]);
        *o++ = QLatin1Char(hexDigits[b & 15]);
    };
    // The size is worked out first: `out` grows once, in place when it has
    // the room (a buffer used again item after item).
    const qsizetype at = out.size();
    QChar *o = nullptr;
    if (nonAscii) {
        // The plain start is ASCII: the rest's UTF-8 is the tail of the whole's.
        const QByteArray utf8 = text.mid(plain).toUtf8();
        qsizetype size = plain;
        for (const char ch : utf8)
            size += uchar(ch) >= 128 || urlReserved(uchar(ch), spaces) ? 3 : 1;
        out.resize(at + size);
        o = out.data() + at;
        std::copy(d, d + plain, o);
        o += plain;
        for (const char ch : utf8) {
            const uchar b = uchar(ch);
            if (b >= 128 || urlReserved(b, spaces))
                put(o, b);
            else
                *o++ = QLatin1Char(ch);
        }
        return;
    }
    qsizetype size = n;
    for (qsizetype i = plain; i < n; ++i)
        size += escaped(d[i]) ? 2 : 0;
    out.resize(at + size);
    o = out.data() + at;
    std::copy(d, d + plain, o);
    o += plain;
    for (qsizetype i = plain; i < n; ++i) {
        if (escaped(d[i]))
            put(o, uchar(d[i]));
        else
            *o++ = QChar(d[i]);
    }
}

QString encodeURL(QStringView text, bool nonAscii, bool spaces)
{
    QString out;
    appendEncodedURL(out, text, nonAscii, spaces);
    return out;
}

QByteArray percentDecode(QByteArrayView bytes, bool dropBadPair)
{
    const qsizetype n = bytes.size();
    const char *d = bytes.data();
    QByteArray out;
    out.reserve(n);
    // Runs without '%' are copied whole.
    qsizetype i = 0;
    while (i < n) {
        const void *pct = std::memchr(d + i, '%', size_t(n - i));
        const qsizetype p = pct ? static_cast<const char *>(pct) - d : n;
        out.append(d + i, p - i);
        if (p >= n)
            break;
        if (p + 2 >= n) {
            out += '%';
            i = p + 1;
            continue;
        }
        const int hi = hexValue(d[p + 1]), lo = hexValue(d[p + 2]);
        if (hi < 0 || lo < 0) {
            // The two characters after it are read normally unless dropped.
            out += '_';
            i = dropBadPair ? p + 3 : p + 1;
            continue;
        }
        out += char(hi * 16 + lo);
        i = p + 3;
    }
    return out;
}

QString decodeURL(QByteArrayView bytes, bool utf8)
{
    // Plain ASCII without escapes, the usual path: the text is the bytes.
    if (utf8 && !bytes.isEmpty()) {
        bool plain = true;
        for (char c : bytes)
            if (c == '%' || uchar(c) >= 0x80) {
                plain = false;
                break;
            }
        if (plain)
            return QString::fromLatin1(bytes);
    }
    const QByteArray raw = percentDecode(bytes);
    if (utf8 && isUTF8(raw))
        return QString::fromUtf8(raw);
    return codePageToText(raw);
}

QString decodeURL(const QString &text, bool utf8)
{
    return decodeURL(QByteArrayView(text.toUtf8()), utf8);
}

bool isUTF8(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const uchar b = s[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int more;
        uchar lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            if (b == 0xE0)
                lo = 0xA0; // no overlong forms
            else if (b == 0xED)
                hi = 0x9F; // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F; // nothing above U+10FFFF
        } else {
            return false;
        }
        if (i + more >= n) // cut by the end of the text
            return false;
        if (s[i + 1] < lo || s[i + 1] > hi)
            return false;
        for (int k = 2; k <= more; ++k)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        i += 1 + more;
    }
    return true;
}

namespace {

// The entity escapeHTML writes for `c`, or null.
QStringView htmlEntityFor(char16_t c)
{
    if (c > u'>') // fast reject: every special character is at most '>'
        return {};
    switch (c) {
    case u'&': return u"&amp;";
    case u'<': return u"&lt;";
    case u'>': return u"&gt;";
    case u'"': return u"&quot;";
    case u'\'': return u"&#039;";
    default: return {};
    }
}

} // namespace

QString escapeHTML(QStringView text)
{
    // The size first, then every piece copied into place: one allocation.
    qsizetype size = text.size();
    for (const QChar c : text)
        size += qMax<qsizetype>(htmlEntityFor(c.unicode()).size() - 1, 0);
    if (size == text.size())
        return text.toString();
    QString out(size, Qt::Uninitialized);
    QChar *o = out.data();
    for (const QChar c : text) {
        const QStringView entity = htmlEntityFor(c.unicode());
        if (entity.isNull()) {
            *o++ = c;
            continue;
        }
        o = std::copy(entity.begin(), entity.end(), o);
    }
    return out;
}

QString escapeLineBreaks(const QString &text)
{
    // CR LF, lone CR and lone LF each become one "\n", whatever the mix.
    QString out;
    out.reserve(text.size() + 16);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            out += u"\\\\";
        } else if (c == u'\r') {
            out += u"\\n";
            if (i + 1 < n && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += u"\\n";
        } else {
            out += c;
        }
    }
    return out;
}

QString unescapeLineBreaks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < n) {
            if (text[i + 1] == u'\\') {
                out += u'\\';
                ++i;
                continue;
            }
            if (text[i + 1] == u'n') {
                out += u"\r\n";
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString md5Hex(const QString &text) { return md5Hex(QByteArrayView(text.toUtf8())); }
QString sha1Hex(const QString &text) { return sha1Hex(QByteArrayView(text.toUtf8())); }
QString sha256Hex(const QString &text) { return sha256Hex(QByteArrayView(text.toUtf8())); }
QString md5Hex(QByteArrayView bytes) { return hexDigest(bytes, QCryptographicHash::Md5); }
QString sha1Hex(QByteArrayView bytes) { return hexDigest(bytes, QCryptographicHash::Sha1); }
QString sha256Hex(QByteArrayView bytes) { return hexDigest(bytes, QCryptographicHash::Sha256); }

QByteArray base64Encode(QByteArrayView bytes)
{
    return bytes.toByteArray().toBase64();
}

QByteArray base64Decode(QByteArrayView text, bool *ok)
{
    const QByteArray in = text.toByteArray();
    if (ok) {
        const auto strict = QByteArray::fromBase64Encoding(in, QByteArray::AbortOnBase64DecodingErrors);
        *ok = bool(strict);
        if (*ok)
            return strict.decoded;
    }
    // Peers send anything: characters outside the alphabet are skipped.
    return QByteArray::fromBase64(in);
}

QByteArrayView numberText(qint64 n, char (&buf)[24])
{
    int i = sizeof buf;
    const bool neg = n < 0;
    quint64 u = neg ? quint64(-(n + 1)) + 1 : quint64(n);
    do {
        buf[--i] = char('0' + u % 10);
        u /= 10;
    } while (u);
    if (neg)
        buf[--i] = '-';
    return QByteArrayView(buf + i, qsizetype(sizeof buf) - i);
}

void appendNumber(QByteArray &out, qint64 n)
{
    char buf[24];
    appendParts(out, {numberText(n, buf)});
}

void appendParts(QByteArray &out, std::initializer_list<QByteArrayView> parts, QByteArrayView tail)
{
    qsizetype size = tail.size();
    for (const QByteArrayView p : parts)
        size += p.size();
    const qsizetype at = out.size();
    out.resize(at + size);
    char *d = out.data() + at;
    for (const QByteArrayView p : parts) {
        if (!p.isEmpty())
            std::memcpy(d, p.data(), size_t(p.size()));
        d += p.size();
    }
    if (!tail.isEmpty())
        std::memcpy(d, tail.data(), size_t(tail.size()));
}

void appendUtf8(QByteArray &out, QStringView text)
{
    const qsizetype ascii = appendAsciiRun(out, text, 0, 0x7F);
    if (ascii < text.size())
        out += text.sliced(ascii).toUtf8();
}

qsizetype appendAsciiRun(QByteArray &out, QStringView text, char16_t low, char16_t high)
{
    Q_ASSERT(low <= high && high <= 0x7F);
    const qsizetype at = out.size();
    const qsizetype n = text.size();
    out.resize(at + n);
    char *d = out.data() + at;
    const char16_t *src = text.utf16();
    qsizetype i = 0;
#if defined(__SSE2__)
    // Eight units a step: a lane is outside when it is below `low` or
    // above `high` (saturating differences are then nonzero).
    const __m128i lowest = _mm_set1_epi16(short(low));
    const __m128i highest = _mm_set1_epi16(short(high));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        const __m128i outside = _mm_or_si128(_mm_subs_epu16(lowest, v), _mm_subs_epu16(v, highest));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, zero)) != 0xFFFF)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(d + i), _mm_packus_epi16(v, v));
    }
#endif
    for (; i < n && src[i] >= low && src[i] <= high; ++i)
        d[i] = char(src[i]);
    out.truncate(at + i);
    return i;
}

QString bytesToText(QByteArrayView bytes)
{
    return isUTF8(bytes) ? QString::fromUtf8(bytes) : codePageToText(bytes);
}
