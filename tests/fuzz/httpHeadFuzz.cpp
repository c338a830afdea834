// Feeds arbitrary bytes to the request head parsing: the search for the end
// of the head, the parser of the head, the header, cookie and Basic
// credential readers and the multipart boundary parameter. Besides crashes
// and sanitizer reports it checks that
// - the head end found while bytes arrive (searching only the new bytes,
//   as the connection does) is the one found in all the bytes at once,
// - a request parsed over the one before it (a persistent connection) reads
//   exactly as on a fresh connection,
// - a boundary written as a quoted string reads back unchanged.

#include "fuzzTools.h"

#include "http/httpPost.h"
#include "http/httpRequest.h"

namespace {

struct Thead
{
    qsizetype end = -1;
    int termLen = 0;
};

Thead headEnd(QByteArrayView buf)
{
    Thead h;
    h.end = findHeadEnd(buf, &h.termLen);
    return h;
}

void checkHeadEnd(QByteArrayView all)
{
    const Thead whole = headEnd(all);
    fuzzCheck(whole.end < 0 || (whole.termLen >= 2 && whole.end + whole.termLen <= all.size()),
              "head end inside the bytes");
    // The connection searches again from 3 bytes before what it saw last.
    // Every cut of a short head, a sample of those of a long one.
    const qsizetype step = all.size() > 256 ? all.size() / 128 : 1;
    for (qsizetype seen = 1; seen < all.size(); seen += step) {
        const Thead early = headEnd(all.first(seen));
        if (early.end >= 0) {
            // The head ended within what had arrived: where all the bytes say.
            fuzzCheck(early.end == whole.end && early.termLen == whole.termLen, "head end found in the first bytes",
                      QStringLiteral("in %1 bytes: %2/%3, in all: %4/%5")
                          .arg(seen).arg(early.end).arg(early.termLen).arg(whole.end).arg(whole.termLen));
            break;
        }
        const qsizetype from = qMax<qsizetype>(0, seen - 3);
        Thead later = headEnd(all.sliced(from));
        if (later.end >= 0)
            later.end += from;
        fuzzCheck(later.end == whole.end && (whole.end < 0 || later.termLen == whole.termLen),
                  "head end found while bytes arrive",
                  QStringLiteral("after %1 bytes: %2/%3, at once: %4/%5")
                      .arg(seen).arg(later.end).arg(later.termLen).arg(whole.end).arg(whole.termLen));
    }
}

// What a parsed head tells the rest of the program.
QString summary(ThttpRequest &req, const ThttpPost &post, const ThttpHeadInfo &info)
{
    const auto number = [](qint64 n) { return QString::number(n); };
    QStringList s = {number(req.method), QString::fromLatin1(req.url.toPercentEncoding()),
                     QString::fromLatin1(req.ver.toPercentEncoding()), number(req.firstByte), number(req.lastByte),
                     req.user, req.pwd, QString::fromLatin1(req.headers.toText().toPercentEncoding())};
    for (const char *name : {"Host", "Cookie", "Content-Type", "Connection", "Transfer-Encoding"})
        s << req.getHeader(name);
    for (const QString &cookie : {QStringLiteral("sid"), QStringLiteral("a"), QString()})
        s << req.getCookie(cookie);
    s << number(post.mode) << QString::fromLatin1(post.boundary.toPercentEncoding()) << number(post.length)
      << number(info.persistent) << number(info.contentLengthGiven) << number(info.conflictingLengths)
      << number(info.transferCoding);
    return s.join(u'\n');
}

bool parse(ThttpRequest &req, ThttpPost &post, QByteArrayView head, QString *out)
{
    req.full = head.toByteArray();
    ThttpHeadInfo info;
    if (!parseRequestHead(req, post, true, &info))
        return false;
    fuzzCheck(post.length >= 0, "POST length not negative");
    fuzzCheck(req.full == head, "head kept as received");
    *out = summary(req, post, info);
    return true;
}

// The first head of the bytes, then the next one on the same objects.
void checkPersistentParsing(QByteArrayView all)
{
    const Thead end1 = headEnd(all);
    const QByteArrayView head1 = end1.end < 0 ? all : all.first(end1.end);
    const QByteArrayView rest = end1.end < 0 ? QByteArrayView() : all.sliced(end1.end + end1.termLen);
    const Thead end2 = headEnd(rest);
    const QByteArrayView head2 = end2.end < 0 ? rest : rest.first(end2.end);

    ThttpRequest req;
    ThttpPost post;
    QString first, reused, fresh;
    if (!parse(req, post, head1, &first))
        return;
    ThttpRequest freshReq;
    ThttpPost freshPost;
    if (!parse(req, post, head2, &reused) || !parse(freshReq, freshPost, head2, &fresh))
        return;
    fuzzCheck(reused == fresh, "a head reads the same after another one",
              QStringLiteral("after:\n%1\nfresh:\n%2").arg(reused, fresh));
}

QByteArray quoted(QByteArrayView v)
{
    QByteArray q = "\"";
    for (char c : v) {
        if (c == '"' || c == '\\')
            q += '\\';
        q += c;
    }
    return q + '"';
}

void checkBoundary(QByteArrayView all)
{
    (void)multipartBoundary(all);
    const QByteArrayView b = all.first(qMin<qsizetype>(all.size(), 80));
    const QByteArray ct = "multipart/form-data; charset=\"x;y\"; boundary=" + quoted(b) + "; z=1";
    fuzzCheck(multipartBoundary(ct) == b, "quoted boundary read back", QString::fromLatin1(ct.toPercentEncoding()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray all = fuzzBytes(data, size);
    checkHeadEnd(all);
    checkPersistentParsing(all);
    checkBoundary(all);
    return 0;
}
