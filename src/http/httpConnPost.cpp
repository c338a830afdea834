// The body step of a POST request: urlencoded bodies whole, multipart
// bodies part by part, file parts streamed piece by piece.

#include "http/httpConn.h"

#include "util/asciiCase.h"
#include "util/trimming.h"

namespace {
// A multipart field's value is collected in memory up to this size.
constexpr qsizetype maxFieldValue = 262144;

// Splits at ';' outside double quotes.
QList<QByteArrayView> splitParams(QByteArrayView v)
{
    QList<QByteArrayView> out;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == '"')
            quoted = !quoted;
        else if (v[i] == ';' && !quoted) {
            out.append(v.sliced(start, i - start));
            start = i + 1;
        }
    }
    out.append(v.sliced(start));
    return out;
}

QString paramValue(QByteArrayView v)
{
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        QByteArray s = v.sliced(1, v.size() - 2).toByteArray();
        s.replace("\"\"", "\"");
        return QString::fromUtf8(s);
    }
    return QString::fromUtf8(v);
}
}

void ThttpConn::postStep()
{
    bool ended = false;
    switch (post_.mode) {
    case PM_URLENCODED:
        if (postLeft() <= 0) {
            // Exactly the body: anything behind it is the next request.
            const qsizetype bodyBytes = bodyInBuffer();
            post_.data = buffer_.left(bodyBytes);
            consumeFront(bodyBytes);
            notifyPost(SE_POST_VARS);
            ended = true;
        }
        break;
    case PM_MULTIPART:
        multipartLoop(&ended);
        break;
    case PM_NONE:
        // Not ours to read: the body is skipped.
        ended = true;
        break;
    }
    if (refusingInput)
        return; // closed while collecting a field
    if (ended || postLeft() <= 0)
        endBody();
}

// The bytes at the front of buffer that belong to the body.
qsizetype ThttpConn::bodyInBuffer() const
{
    if (chunked.isActive())
        return buffer_.size(); // the next request is kept out until the last chunk
    const qint64 consumed = postBytesReceived_ - buffer_.size();
    return qsizetype(qBound<qint64>(0, post_.length - consumed, buffer_.size()));
}

void ThttpConn::endBody()
{
    if (chunked.isActive()) {
        // Ended before its last chunk: the rest is decoded and dropped.
        consumeFront(buffer_.size());
        dropChunks = true;
    } else {
        const qint64 consumed = postBytesReceived_ - buffer_.size();
        const qint64 remaining = post_.length - consumed;
        if (remaining > 0)
            dropInput(remaining);
    }
    notifyPost(SE_POST_END);
    state_ = HCS_REPLYING;
}

bool ThttpConn::appendFieldValue(QByteArrayView bytes)
{
    if (post_.data.size() + bytes.size() > maxFieldValue) {
        // A field this large is not a form field: the connection closes.
        refusingInput = true;
        buffer_.resize(0);
        disconnect();
        return false;
    }
    post_.data.append(bytes);
    return true;
}

void ThttpConn::multipartLoop(bool *ended)
{
    const QByteArray &bnd = post_.boundary;
    const qsizetype blen = bnd.size();
    while (state_ == HCS_POSTING && !refusingInput) {
        // Only the body's own bytes are searched: what follows it in the
        // buffer is the next request.
        const QByteArrayView body = QByteArrayView(buffer_).first(bodyInBuffer());
        const qsizetype b = body.indexOf(bnd);
        if (b < 0) {
            // Keep a tail that may hold the start of a boundary and its CR LF.
            const qsizetype keep = blen + 1;
            if (body.size() > keep)
                takePartBytes(body.size() - keep);
            return;
        }
        if (body.sliced(b + blen).startsWith("--\r\n")) {
            if (inBoundaries)
                closePart(b);
            else
                consumeFront(b + blen);
            if (refusingInput)
                return;
            consumeFront(4);
            post_.filename.clear();
            post_.filenameHadPath = false;
            inBoundaries = false;
            *ended = true;
            return;
        }
        const qsizetype hend = body.indexOf("\r\n\r\n", b + blen);
        if (hend < 0) {
            // The bytes before the delimiter's CR LF belong to the open part
            // whatever follows: they are passed on now, as they are when the
            // delimiter comes in a later read. What a part delivers must not
            // depend on how the body was cut (nor, when it ends here, what a
            // partial upload keeps).
            if (b > 2)
                takePartBytes(b - 2);
            return;
        }
        if (inBoundaries)
            closePart(b);
        else
            consumeFront(b + blen); // preamble and the first boundary
        if (refusingInput)
            return;
        post_.filename.clear();
        post_.filenameHadPath = false;
        post_.varname.clear();
        post_.data.clear();
        const qsizetype headerEnd = hend - (b + blen) + 4;
        post_.header = buffer_.left(headerEnd);
        consumeFront(headerEnd);
        const qsizetype firstLf = post_.header.indexOf('\n');
        post_.header.remove(0, firstLf < 0 ? post_.header.size() : firstLf + 1);
        readPartHeader();
        inBoundaries = true;
        lastPostItemPos = postBytesReceived_ - buffer_.size();
        if (!post_.filename.isEmpty()) {
            firstPostFile = false;
            notifyPost(SE_POST_FILE_START);
        }
    }
}

// The first n bytes of the buffer, known to precede the next delimiter:
// dropped as preamble, or passed on as the open part's file data or field
// value.
void ThttpConn::takePartBytes(qsizetype n)
{
    if (!inBoundaries) {
        consumeFront(n);
    } else if (!post_.filename.isEmpty()) {
        post_.data = buffer_.left(n);
        consumeFront(n);
        notifyPost(SE_POST_FILE_DATA);
    } else if (appendFieldValue(QByteArrayView(buffer_).first(n))) {
        consumeFront(n);
    }
}

void ThttpConn::closePart(qsizetype boundaryPos)
{
    QByteArray piece = buffer_.left(boundaryPos);
    consumeFront(boundaryPos + post_.boundary.size());
    piece.chop(2); // the CR LF that precedes every boundary
    const bool isFile = !post_.filename.isEmpty();
    if (isFile) {
        post_.data = piece;
        notifyPost(SE_POST_FILE_DATA);
    } else {
        if (!appendFieldValue(piece))
            return;
        if (!post_.varname.isEmpty())
            notifyPost(SE_POST_VAR);
    }
    bytesPostedLastItem_ = postBytesReceived_ - buffer_.size() - post_.boundary.size() - 2 - lastPostItemPos;
    if (isFile)
        notifyPost(SE_POST_FILE_END);
}

void ThttpConn::readPartHeader()
{
    const QList<QByteArray> lines = post_.header.split('\n');
    for (QByteArrayView line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || !sameText(trimmedControls(line.first(colon)), "Content-Disposition"))
            continue;
        QByteArrayView value = trimmedControls(line.sliced(colon + 1));
        const qsizetype semi = value.indexOf(';');
        const QByteArrayView kind = trimmedControls(semi < 0 ? value : value.first(semi));
        if (!sameText(kind, "form-data") || semi < 0)
            continue;
        for (QByteArrayView param : splitParams(value.sliced(semi + 1))) {
            const qsizetype eq = param.indexOf('=');
            if (eq < 0)
                continue;
            const QByteArrayView name = trimmedControls(param.first(eq));
            const QByteArrayView v = trimmedControls(param.sliced(eq + 1));
            if (sameText(name, "filename")) {
                QString f = paramValue(v);
                const qsizetype cut = qMax(f.lastIndexOf(u'/'), f.lastIndexOf(u'\\'));
                post_.filename = f.mid(cut + 1);
                post_.filenameHadPath = cut >= 0;
            } else if (sameText(name, "name")) {
                post_.varname = paramValue(v);
            }
        }
    }
}
