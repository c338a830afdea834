#include "serve/pageReply.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "pages/specialPage.h"
#include "serve/connData.h"
#include "serve/protectiveHeaders.h"
#include "serve/serve.h"
#include "tpl/mainTemplate.h"
#include "util/asciiCase.h"
#include "util/regex.h"

#include <zlib.h>

#include <algorithm>

namespace {

// A body stays with its connection while it is sent, under load one for
// each connection: it keeps no room beyond its bytes. (A conversion to UTF-8
// takes room for three bytes a character, a compression for its input.)
QByteArray withoutSpareRoom(QByteArray bytes)
{
    constexpr qsizetype kMaxSpareRoom = 4096;
    if (bytes.capacity() - bytes.size() > kMaxSpareRoom)
        bytes.squeeze();
    return bytes;
}

} // namespace

ThttpReplyMode replyModeOf(TpageMode mode)
{
    static const ThttpReplyMode modes[] = {HRM_REPLY, HRM_DENY, HRM_NOT_FOUND, HRM_UNAUTHORIZED, HRM_OVERLOAD};
    return modes[mode];
}

ThttpReplyMode specialPageMode(const QString &name)
{
    return replyModeOf(pageModeFor(name));
}

void replySpecialPage(TconnData &cd, const QString &name, Tfile *folder, TtplPtr tpl)
{
    ThttpReply &r = cd.conn->reply();
    if (!tpl)
        tpl = cd.tpl ? cd.tpl : mainTpl();
    // The page's own mode first: "special:begin" or a macro of the page may
    // change it (a redirection), and what they set is what is sent.
    r.mode = specialPageMode(name);
    const QString page = serve().pages().specialPage(cd, name, folder, tpl);
    markOwnPage(r);
    if (page.isEmpty()) {
        // The core's own text for the mode.
        r.body.clear();
        r.bodyMode = RBM_STRING;
        r.contentType = "text/html; charset=utf-8";
        return;
    }
    if (r.contentType.isEmpty())
        r.contentType = "text/html; charset=utf-8";
    r.body = withoutSpareRoom(page.toUtf8());
    r.bodyMode = RBM_STRING;
    compressReply(cd);
}

void replyText(TconnData &cd, const QString &text)
{
    if (!cd.disconnectReason.isEmpty() && !cd.disconnectAfterReply) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return;
    }
    ThttpReply &r = cd.conn->reply();
    markOwnPage(r);
    if (r.contentType.isEmpty()) {
        // The first character after any white space tells (no copy of a big page).
        const auto first = std::find_if(text.cbegin(), text.cend(), [](QChar c) { return !c.isSpace(); });
        const bool html = first != text.cend() && *first == u'<';
        r.contentType = html ? "text/html; charset=utf-8" : "text/plain; charset=utf-8";
    }
    if (r.mode == HRM_IGNORE)
        r.mode = HRM_REPLY;
    r.body = withoutSpareRoom(text.toUtf8());
    r.bodyMode = RBM_STRING;
    compressReply(cd);
}

void compressReply(TconnData &cd)
{
    ThttpConn &conn = *cd.conn;
    ThttpReply &r = conn.reply();
    if (!opts().compressedBrowsing || r.body.isEmpty() || r.bodyMode != RBM_STRING)
        return;
    if (indexOfText(QByteArrayView(conn.getHeaderA("Accept-Encoding")), QByteArrayView("gzip")) < 0)
        return;
    if (cd.request.ieUtf8Workaround == WIE_UNKNOWN)
        cd.request.ieUtf8Workaround
            = regexFind(cd.request.agent, QStringLiteral("^MSIE [4-6]\\."), QStringLiteral("!")) > 0
            ? WIE_NEEDED
            : WIE_NOT_NEEDED;
    const QByteArray z = gzipBytes(r.body);
    if (z.isEmpty() || (cd.request.ieUtf8Workaround == WIE_NEEDED && z.size() < 2000))
        return;
    conn.addHeader("Content-Encoding: gzip", true);
    r.body = z;
}

QByteArray gzipBytes(QByteArrayView data)
{
    z_stream zs{};
    // 15 + 16: gzip wrapper instead of zlib's.
    if (deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&zs, uLong(data.size()))) + 32, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    const qsizetype n = qsizetype(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return {};
    out.resize(n);
    return withoutSpareRoom(std::move(out));
}
