#include "http/httpReply.h"

#include "http/headBuffers.h"

#include "util/asciiCase.h"
#include "util/encodings.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
#if defined(__SSE2__)
// One bit for each of the 16 bytes at `d` that is 13 or below: NUL, LF and
// CR are, so a block without a bit holds none of them.
unsigned lowBytesAt(const unsigned char *d)
{
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d));
    return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(b, _mm_set1_epi8(13)), b)));
}
#endif

// Position of the line of additionalHeaders that begins with name (ASCII
// case ignored), at `from` when a line starts there or right after a LF;
// -1 when none. Only line starts are compared: the lines are few and short.
qsizetype findLine(const QByteArray &lines, QByteArrayView name, qsizetype from = 0)
{
    if (name.isEmpty())
        return -1;
    const char *d = lines.constData();
    const qsizetype n = lines.size();
    qsizetype p = qMax<qsizetype>(0, from);
    while (p < n) {
        // The first letter, either case, before the whole name.
        if ((p == 0 || d[p - 1] == '\n') && n - p >= name.size() && (d[p] | 0x20) == (name[0] | 0x20)
            && startsWithText(QByteArrayView(d + p, n - p), name))
            return p;
        const void *lf = std::memchr(d + p, '\n', size_t(n - p));
        if (!lf)
            return -1;
        p = static_cast<const char *>(lf) - d + 1;
    }
    return -1;
}

QByteArrayView namePart(QByteArrayView line)
{
    const qsizetype c = line.indexOf(':');
    return c < 0 ? line : line.first(c + 1);
}

constexpr QByteArrayView setCookieName("Set-Cookie:");

// The cookie that a Set-Cookie line sets: the text before its first "=".
QByteArrayView cookieOf(QByteArrayView line)
{
    QByteArrayView v = line.sliced(namePart(line).size());
    const qsizetype eq = v.indexOf('=');
    return (eq < 0 ? v : v.first(eq)).trimmed();
}

// Removes the Set-Cookie lines of one cookie; the other cookies' lines stay.
void removeCookieLines(QByteArray &lines, QByteArrayView cookie)
{
    qsizetype p = 0;
    while ((p = findLine(lines, setCookieName, p)) >= 0) {
        const qsizetype lf = lines.indexOf('\n', p);
        const qsizetype end = lf < 0 ? lines.size() : lf + 1;
        QByteArrayView line = QByteArrayView(lines).sliced(p, end - p);
        if (cookieOf(line.trimmed()) == cookie)
            lines.remove(p, end - p);
        else
            p = end;
    }
}

// For a text inside a double-quoted JavaScript string.
QString jsEscape(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '"' || u == '\'' || u == '<' || u == '>' || u == '&' || u < 32
            || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
}

void ThttpReply::reset(qint64 reqFirstByte, qint64 reqLastByte)
{
    header.clear();
    body.clear();
    // The lines' buffer is reused by the next reply of the connection,
    // unless an unusual reply made it big.
    if (additionalHeaders.capacity() > 4096)
        additionalHeaders.clear();
    else
        additionalHeaders.resize(0);
    reason.clear();
    statusSent = 0;
    bodyMode = RBM_STRING;
    mode = HRM_IGNORE;
    firstByte = reqFirstByte;
    lastByte = reqLastByte;
    static const QString defaultRealmText = QString::fromLatin1(defaultRealm);
    realm = defaultRealmText; // shared, not rebuilt per request
}

bool isHeaderSafe(QByteArrayView v)
{
    const auto *d = reinterpret_cast<const unsigned char *>(v.data());
    const qsizetype n = v.size();
    qsizetype i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step while none is 13 or below; a block with such a
    // byte is looked at one byte at a time.
    while (i + 16 <= n && !lowBytesAt(d + i))
        i += 16;
#endif
    for (; i < n; ++i)
        if (d[i] <= 13 && (d[i] == '\n' || d[i] == '\r' || d[i] == '\0'))
            return false;
    return true;
}

bool isHeaderSafe(QStringView v)
{
    for (QChar c : v)
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return false;
    return true;
}

// An idle connection keeps no buffer: the first line takes one with room
// for a usual reply's lines.
void ThttpReply::makeRoomForLines()
{
    if (additionalHeaders.capacity() == 0)
        additionalHeaders = headBuffers::take(384);
}

// The parts, then CR LF, at the end of the lines.
void ThttpReply::appendLine(std::initializer_list<QByteArrayView> parts)
{
    makeRoomForLines();
    appendParts(additionalHeaders, parts, "\r\n");
}

bool ThttpReply::addHeader(QByteArrayView line, bool overwrite)
{
    if (!isHeaderSafe(line))
        return false;
    if (overwrite) {
        // A reply carries one Set-Cookie line per cookie: a line replaces
        // its own cookie's, never the other cookies' (the session's).
        const QByteArrayView name = namePart(line);
        if (sameText(name, setCookieName))
            removeCookieLines(additionalHeaders, cookieOf(line));
        else
            removeHeader(name);
    }
    appendLine({line});
    return true;
}

bool ThttpReply::addHeader(QByteArrayView name, QByteArrayView value, bool overwrite)
{
    if (name.isEmpty() || name.contains(':') || !isHeaderSafe(name) || !isHeaderSafe(value))
        return false;
    if (overwrite && sameText(name, setCookieName.chopped(1)))
        return addHeader(QByteArray(name.toByteArray() + ": " + value.toByteArray()), true);
    if (overwrite)
        removeHeader(name);
    appendLine({name, ": ", value});
    return true;
}

void ThttpReply::addOwnHeader(QByteArrayView line)
{
    Q_ASSERT(isHeaderSafe(line) && line.contains(':') && !startsWithText(line, setCookieName));
    removeHeader(namePart(line));
    appendLine({line});
}

void ThttpReply::addOwnHeaders(QByteArrayView lines)
{
    Q_ASSERT(lines.endsWith("\r\n"));
    if (!additionalHeaders.isEmpty())
        for (qsizetype at = 0; at < lines.size();) {
            const qsizetype end = lines.indexOf('\n', at) + 1;
            removeHeader(namePart(lines.sliced(at, end - at)));
            at = end;
        }
    makeRoomForLines();
    appendParts(additionalHeaders, {lines});
}

bool ThttpReply::setHeaderIfNone(QByteArrayView line)
{
    const qsizetype c = line.indexOf(':');
    if (c < 0)
        throw std::invalid_argument("Missing colon");
    if (findLine(additionalHeaders, line.first(c + 1)) >= 0)
        return false;
    return addHeader(line);
}

void ThttpReply::removeHeader(QByteArrayView name)
{
    if (additionalHeaders.isEmpty() || name.isEmpty())
        return;
    // The name is matched with its colon, whether or not it was given one.
    const QByteArrayView bare = name.endsWith(':') ? name.chopped(1) : name;
    qsizetype p = 0;
    while ((p = findLine(additionalHeaders, bare, p)) >= 0) {
        const qsizetype lf = additionalHeaders.indexOf('\n', p);
        const qsizetype afterName = p + bare.size();
        if (afterName >= additionalHeaders.size() || additionalHeaders[afterName] != ':') {
            p = lf < 0 ? additionalHeaders.size() : lf + 1;
            continue;
        }
        additionalHeaders.remove(p, lf < 0 ? additionalHeaders.size() - p : lf - p + 1);
    }
}

bool ThttpReply::setCookie(const QString &k, const QString &v,
                           const QList<QPair<QString, QString>> &pairs, const QString &extra)
{
    QString s = QStringLiteral("Set-Cookie: ") + k + u'=' + v + QStringLiteral("; ");
    for (const auto &p : pairs)
        s += asciiLower(p.first) + u'=' + p.second + QStringLiteral("; ");
    s += extra;
    return addHeader(s.toUtf8(), true);
}

bool ThttpReply::delCookie(const QString &k)
{
    return setCookie(k, QString(), {{QStringLiteral("expires"), QStringLiteral("Thu, 01-Jan-70 00:00:01 GMT")}});
}

int replyModeCode(ThttpReplyMode mode)
{
    switch (mode) {
    case HRM_REPLY:
    case HRM_REPLY_HEADER: return 200;
    case HRM_DENY: return 403;
    case HRM_UNAUTHORIZED: return 401;
    case HRM_NOT_FOUND: return 404;
    case HRM_BAD_REQUEST: return 400;
    case HRM_INTERNAL_ERROR: return 500;
    case HRM_METHOD_NOT_ALLOWED: return 405;
    case HRM_REDIRECT: return 302;
    case HRM_OVERLOAD: return 429;
    case HRM_TOO_LARGE: return 413;
    case HRM_MOVED: return 301;
    case HRM_NOT_MODIFIED: return 304;
    case HRM_NOT_IMPLEMENTED: return 501;
    case HRM_CLOSE:
    case HRM_IGNORE: break;
    }
    return 0;
}

const char *replyModeName(ThttpReplyMode mode)
{
    switch (mode) {
    case HRM_REPLY: return "HRM_REPLY";
    case HRM_REPLY_HEADER: return "HRM_REPLY_HEADER";
    case HRM_DENY: return "HRM_DENY";
    case HRM_UNAUTHORIZED: return "HRM_UNAUTHORIZED";
    case HRM_NOT_FOUND: return "HRM_NOT_FOUND";
    case HRM_BAD_REQUEST: return "HRM_BAD_REQUEST";
    case HRM_INTERNAL_ERROR: return "HRM_INTERNAL_ERROR";
    case HRM_CLOSE: return "HRM_CLOSE";
    case HRM_IGNORE: return "HRM_IGNORE";
    case HRM_METHOD_NOT_ALLOWED: return "HRM_METHOD_NOT_ALLOWED";
    case HRM_REDIRECT: return "HRM_REDIRECT";
    case HRM_OVERLOAD: return "HRM_OVERLOAD";
    case HRM_TOO_LARGE: return "HRM_TOO_LARGE";
    case HRM_MOVED: return "HRM_MOVED";
    case HRM_NOT_MODIFIED: return "HRM_NOT_MODIFIED";
    case HRM_NOT_IMPLEMENTED: return "HRM_NOT_IMPLEMENTED";
    }
    return "HRM_UNKNOWN";
}

QByteArray reasonPhrase(int code)
{
    switch (code) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    }
    return {};
}

QByteArray defaultBody(ThttpReplyMode mode, const QString &url)
{
    switch (mode) {
    case HRM_DENY: return "403 - You are not allowed to access this file";
    case HRM_UNAUTHORIZED: return "401 - You are not authorized to access this file";
    case HRM_NOT_FOUND: return "404 - File not found";
    case HRM_BAD_REQUEST: return "400 - Bad request";
    case HRM_INTERNAL_ERROR: return "500 - Internal server error";
    case HRM_METHOD_NOT_ALLOWED: return "405 - Method not allowed";
    case HRM_OVERLOAD: return "429 - Server is overloaded, retry later";
    case HRM_TOO_LARGE: return "413 - The request has exceeded the max length allowed";
    case HRM_NOT_IMPLEMENTED: return "501 - Not implemented";
    case HRM_MOVED: {
        const QByteArray u = escapeHTML(url).toUtf8();
        return "301 - Moved permanently to <a href=\"" + u + "\">" + u + "</a>";
    }
    case HRM_REDIRECT: {
        // The target is escaped for HTML everywhere, and inside the script
        // string first for JavaScript, so that it cannot leave either.
        const QByteArray u = escapeHTML(url).toUtf8();
        const QByteArray js = escapeHTML(jsEscape(url)).toUtf8();
        return "<html><head><meta http-equiv=\"refresh\" content=\"url=" + u
            + "\" /></head><body onload='window.location=\"" + js + "\"'>302 - <a href=\"" + u
            + "\">Redirection to " + u + "</a></body></html>";
    }
    default: break;
    }
    return {};
}

namespace {
// Well-formed lines: each ended by CR LF, with something before its CR and
// no other CR, and a last line without LF holding no CR. No NUL anywhere.
// One pass that stops only at bytes of 13 or below (NUL, LF and CR are);
// sixteen bytes a step where the processor allows.
bool wellFormedLines(const char *text, qsizetype n)
{
    const auto *d = reinterpret_cast<const unsigned char *>(text);
    qsizetype lineStart = 0;
    qsizetype cr = -1; // the current line's CR
    const auto look = [&](qsizetype i) {
        switch (d[i]) {
        case '\0':
            return false;
        case '\r':
            if (cr >= 0)
                return false;
            cr = i;
            return true;
        case '\n':
            if (cr != i - 1 || i - lineStart < 2)
                return false;
            lineStart = i + 1;
            cr = -1;
            return true;
        default:
            return true;
        }
    };
    qsizetype i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16)
        for (unsigned low = lowBytesAt(d + i); low; low &= low - 1)
            if (!look(i + __builtin_ctz(low)))
                return false;
#endif
    for (; i < n; ++i)
        if (d[i] <= 13 && !look(i))
            return false;
    return cr < 0;
}
} // namespace

QByteArray sanitizeHeaderLines(const QByteArray &lines)
{
    // Fast path: well-formed CR LF lines with no stray CR, LF or NUL and no
    // empty line (which would end the head early).
    const bool clean = wellFormedLines(lines.constData(), lines.size());
    if (clean)
        return lines;
    QByteArray out;
    const QList<QByteArray> parts = lines.split('\n');
    for (QByteArrayView line : parts) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || !isHeaderSafe(line) || line.indexOf(':') < 0)
            continue;
        out += line;
        out += "\r\n";
    }
    return out;
}
