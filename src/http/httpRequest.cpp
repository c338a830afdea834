#include "http/httpRequest.h"

#include "http/httpPost.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "util/trimming.h"

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {
bool isAscii(QByteArrayView v)
{
    return std::all_of(v.begin(), v.end(), [](char c) { return uchar(c) < 0x80; });
}

// A signed decimal that must use every byte of v.
std::optional<qint64> parseInt64(QByteArrayView v)
{
    v = trimmedControls(v);
    if (v.isEmpty() || v.size() > 20)
        return std::nullopt;
    bool ok = false;
    const qint64 n = v.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return n;
}

QByteArray raw(QByteArrayView v)
{
    return QByteArray::fromRawData(v.data(), v.size());
}
}

void ThttpRequest::reset()
{
    method = HM_UNK;
    url.clear();
    ver.clear();
    firstByte = lastByte = -1;
    headers.clear();
    user.clear();
    pwd.clear();
}

QByteArray ThttpRequest::getHeaderA(QByteArrayView name) const
{
    if (method == HM_UNK)
        return {};
    const qsizetype i = headers.indexOf(raw(name));
    if (i < 0)
        return {};
    const QByteArray &v = headers.valueAt(i);
    const QByteArrayView t = trimmedControls(v);
    return t.size() == v.size() ? v : t.toByteArray();
}

QString ThttpRequest::getHeader(QByteArrayView name) const
{
    return QString::fromUtf8(getHeaderA(name));
}

QString ThttpRequest::getCookie(const QString &name) const
{
    if (method == HM_UNK)
        return {};
    // Scanned on every call: a request asks for one or two cookies, and
    // listing them all cost more than the rest of a small file's reply.
    const QByteArray c = getHeaderA("cookie");
    qsizetype i = 0;
    const qsizetype n = c.size();
    while (i < n) {
        while (i < n && (uchar(c[i]) <= 32 || c[i] == ';'))
            ++i;
        const qsizetype start = i;
        while (i < n && c[i] != ';' && uchar(c[i]) > 32)
            ++i;
        const QByteArrayView item(c.constData() + start, i - start);
        if (item.isEmpty())
            continue;
        const qsizetype eq = item.indexOf('=');
        const QByteArrayView k = eq < 0 ? item : item.first(eq);
        const bool same = isAscii(k) ? sameText(QStringView(name), QLatin1String(k))
                                     : sameText(QString::fromUtf8(k), name);
        if (same)
            return eq < 0 ? QString() : decodeURL(trimmedControls(item.sliced(eq + 1)));
    }
    return {};
}

qsizetype findHeadEnd(QByteArrayView buf, int *termLen)
{
    const char *d = buf.data();
    const qsizetype n = buf.size();
    qsizetype end = -1;
    // The first LF followed by an empty line (CR LF or a bare LF).
    for (qsizetype p = 0; p < n;) {
        const void *found = std::memchr(d + p, '\n', size_t(n - p));
        if (!found)
            break;
        const qsizetype lf = static_cast<const char *>(found) - d;
        qsizetype next = lf + 1;
        if (next < n && d[next] == '\r')
            ++next;
        if (next < n && d[next] == '\n') {
            end = lf > 0 && d[lf - 1] == '\r' ? lf - 1 : lf;
            *termLen = int(next + 1 - end);
            break;
        }
        p = lf + 1;
    }
    // A head ended by bare carriage returns, unless a line end came first.
    // The pair may run into that line end ("\r\r\n\n"): it still came first.
    // Every CR of a usual head is followed by LF: each is looked at once.
    const qsizetype upTo = end < 0 ? n : end + 1;
    for (qsizetype p = 0; p + 1 < upTo;) {
        const void *found = std::memchr(d + p, '\r', size_t(upTo - 1 - p));
        if (!found)
            break;
        const qsizetype cr = static_cast<const char *>(found) - d;
        if (d[cr + 1] == '\r') {
            *termLen = 2;
            return cr;
        }
        p = cr + 1;
    }
    return end;
}

QByteArray multipartBoundary(QByteArrayView ct)
{
    const qsizetype n = ct.size();
    qsizetype i = ct.indexOf(';');
    if (i < 0)
        return {};
    while (i < n) {
        // One parameter: name=value, the value a token or a quoted string.
        while (i < n && (ct[i] == ';' || ct[i] == ' ' || ct[i] == '\t'))
            ++i;
        const qsizetype nameStart = i;
        while (i < n && ct[i] != '=' && ct[i] != ';')
            ++i;
        const QByteArrayView name = trimmedControls(ct.sliced(nameStart, i - nameStart));
        if (i >= n || ct[i] != '=')
            continue;
        ++i;
        while (i < n && (ct[i] == ' ' || ct[i] == '\t'))
            ++i;
        QByteArray value;
        if (i < n && ct[i] == '"') {
            for (++i; i < n && ct[i] != '"'; ++i) {
                if (ct[i] == '\\' && i + 1 < n)
                    ++i;
                value += ct[i];
            }
            ++i;
        } else {
            const qsizetype start = i;
            while (i < n && ct[i] != ';' && ct[i] != ' ' && ct[i] != '\t')
                ++i;
            value = ct.sliced(start, i - start).toByteArray();
        }
        if (sameText(name, "boundary"))
            return value;
        while (i < n && ct[i] != ';')
            ++i;
    }
    return {};
}

namespace {
// What the Transfer-Encoding lines (all of them, in order) say about the body.
// Read whatever the method: the framing of a body does not depend on it.
ThttpTransferCoding transferCodingOf(const ThttpRequest &req)
{
    bool present = false, unknown = false, chunkedLast = false, afterChunked = false;
    for (qsizetype h = 0; h < req.headers.count(); ++h) {
        if (!sameText(req.headers.nameAt(h), "Transfer-Encoding"))
            continue;
        present = true;
        const QByteArray &v = req.headers.valueAt(h);
        for (qsizetype start = 0; start <= v.size();) {
            qsizetype comma = v.indexOf(',', start);
            if (comma < 0)
                comma = v.size();
            QByteArrayView coding = QByteArrayView(v).sliced(start, comma - start);
            start = comma + 1;
            const qsizetype semi = coding.indexOf(';');
            coding = trimmedControls(semi < 0 ? coding : coding.first(semi));
            if (coding.isEmpty())
                continue;
            afterChunked = afterChunked || chunkedLast;
            chunkedLast = sameText(coding, "chunked");
            unknown = unknown || !chunkedLast;
        }
    }
    if (!present)
        return TC_NONE;
    if (afterChunked)
        return TC_INVALID;
    if (unknown)
        return TC_UNKNOWN;
    return chunkedLast ? TC_CHUNKED : TC_INVALID;
}

// The length the Content-Length lines give: every line, and every
// comma-separated value within one, must name the same; `conflict` tells
// when they do not. Empty when there is no such line.
QByteArray contentLengthOf(const ThttpRequest &req, bool *conflict)
{
    QByteArray length;
    *conflict = false;
    for (qsizetype i = 0; i < req.headers.count(); ++i) {
        if (req.headers.nameAt(i).compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray &part : req.headers.valueAt(i).split(',')) {
            const QByteArrayView value = trimmedControls(part);
            if (length.isNull())
                length = value.toByteArray();
            else if (value != length)
                *conflict = true;
        }
    }
    return length;
}

}

// The version after "HTTP/", upper-cased; the usual ones shared, not built.
QByteArray httpVersionText(QByteArrayView v)
{
    static const QByteArray v11("1.1");
    static const QByteArray v10("1.0");
    if (v == v11)
        return v11;
    if (v == v10)
        return v10;
    return asciiUpper(v);
}

bool parseRequestHead(ThttpRequest &req, ThttpPost &post, bool allowPersistent, ThttpHeadInfo *info)
{
    *info = {};
    const QByteArray full = req.full;
    const qsizetype n = full.size();
    // The method ends at the first space within the first ten bytes.
    qsizetype sp = -1;
    for (qsizetype i = 0; i < 10 && i < n; ++i)
        if (full[i] == ' ') {
            sp = i;
            break;
        }
    if (sp < 0 && n < 10)
        return false;
    const QByteArrayView token = sp < 0 ? QByteArrayView(full).first(10) : QByteArrayView(full).first(sp);
    qsizetype pos = sp < 0 ? 11 : sp + 1;

    req.reset();
    req.full = full;
    post.header.clear();
    post.mode = PM_NONE;
    post.boundary.clear();
    post.length = 0;

    if (sameText(token, "GET"))
        req.method = HM_GET;
    else if (sameText(token, "POST"))
        req.method = HM_POST;
    else if (sameText(token, "HEAD"))
        req.method = HM_HEAD;

    const QByteArrayView rest = pos < n ? QByteArrayView(full).sliced(pos) : QByteArrayView();
    qsizetype lineEnd = rest.indexOf('\n');
    const qsizetype crEnd = rest.indexOf('\r');
    if (crEnd >= 0 && (lineEnd < 0 || crEnd < lineEnd))
        lineEnd = crEnd;
    const QByteArrayView firstLine = lineEnd < 0 ? rest : rest.first(lineEnd);
    const qsizetype urlEnd = firstLine.indexOf(' ');
    if (urlEnd < 0) {
        req.url = firstLine.toByteArray();
    } else {
        req.url = firstLine.first(urlEnd).toByteArray();
        const QByteArrayView v = firstLine.sliced(urlEnd + 1);
        if (startsWithText(v, "HTTP/"))
            req.ver = httpVersionText(v.sliced(5));
    }

    // Header lines, split at CR LF, LF or CR.
    if (lineEnd >= 0) {
        qsizetype i = lineEnd;
        const qsizetype rn = rest.size();
        while (i < rn) {
            if (rest[i] == '\r' && i + 1 < rn && rest[i + 1] == '\n')
                i += 2;
            else
                ++i;
            const qsizetype start = i;
            while (i < rn && rest[i] != '\r' && rest[i] != '\n')
                ++i;
            const QByteArrayView line = rest.sliced(start, i - start);
            if (line.isEmpty())
                continue;
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                req.headers.append(line.toByteArray(), QByteArray());
            else
                req.headers.append(line.first(colon).toByteArray(), line.sliced(colon + 1).toByteArray());
        }
    }

    // Range: "bytes=N-M"; a parse error keeps what was set so far.
    const QByteArray range = req.getHeaderA("Range");
    if (startsWithText(range, "bytes=")) {
        const QByteArrayView r = QByteArrayView(range).sliced(6);
        const qsizetype dash = r.indexOf('-');
        const QByteArrayView a = dash < 0 ? r : r.first(dash);
        const QByteArrayView b = dash < 0 ? QByteArrayView() : r.sliced(dash + 1);
        bool ok = true;
        if (!a.isEmpty()) {
            const auto v = parseInt64(a);
            if (v)
                req.firstByte = *v;
            ok = bool(v);
        }
        if (ok && !b.isEmpty())
            if (const auto v = parseInt64(b))
                req.lastByte = *v;
    }

    const QByteArray auth = req.getHeaderA("Authorization");
    if (startsWithText(auth, "Basic")) {
        const QString t = QString::fromUtf8(base64Decode(QByteArrayView(auth).sliced(qMin<qsizetype>(6, auth.size()))));
        const qsizetype colon = t.indexOf(u':');
        if (colon < 0) {
            req.user = t.trimmed();
        } else {
            req.user = t.left(colon).trimmed();
            req.pwd = t.mid(colon + 1);
        }
    }

    const QByteArray conn = req.getHeaderA("Connection");
    info->persistent = allowPersistent
        && (startsWithText(conn, "Keep-Alive")
            || (req.ver >= "1.1"_ba && indexOfText(conn, "close") < 0));

    const QByteArray ct = req.getHeaderA("Content-Type");
    if (startsWithText(ct, "application/x-www-form-urlencoded")) {
        post.mode = PM_URLENCODED;
    } else if (startsWithText(ct, "multipart/form-data")) {
        post.mode = PM_MULTIPART;
        post.boundary = "--" + multipartBoundary(ct);
    }

    const QByteArray len = contentLengthOf(req, &info->conflictingLengths);
    info->contentLengthGiven = !len.isEmpty();
    if (const auto v = parseInt64(len)) {
        // A negative length is a 32-bit wrap-around of a size above 2 GB.
        post.length = *v < 0 ? *v + 4294967296LL : *v;
        if (post.length < 0)
            post.length = 0;
    }
    info->transferCoding = transferCodingOf(req);
    return true;
}
