#include "serve/fileDownload.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "log/log.h"
#include "serve/connData.h"
#include "serve/pageReply.h"
#include "serve/serve.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/format.h"
#include "util/masks.h"
#include "vfs/diskEntry.h"
#include "serve/treeAccess.h"

#include <QFileInfo>

namespace {

struct TmimeEntry
{
    const char16_t *mask;
    const char *type;
};

const TmimeEntry builtinTypes[] = {
    {u"*.htm;*.html", "text/html"},
    {u"*.jpg;*.jpeg;*.jpe", "image/jpeg"},
    {u"*.gif", "image/gif"},
    {u"*.png", "image/png"},
    {u"*.bmp", "image/bmp"},
    {u"*.ico", "image/x-icon"},
    {u"*.mpeg;*.mpg;*.mpe", "video/mpeg"},
    {u"*.avi", "video/x-msvideo"},
    {u"*.txt", "text/plain"},
    {u"*.css", "text/css"},
    {u"*.js", "text/javascript"},
};

const char *const wgetWithBug[] = {"Wget/1.7", "Wget/1.8.2", "Wget/1.9", "Wget/1.9.1"};

} // namespace

QString contentTypeFor(const QString &name, const QStringList &userPairs)
{
    for (qsizetype i = 0; i + 1 < userPairs.size(); i += 2)
        if (matchFileMask(userPairs[i], name))
            return userPairs[i + 1];
    for (const TmimeEntry &e : builtinTypes)
        if (matchFileMask(QStringView(e.mask), name))
            return QString::fromLatin1(e.type);
    return QStringLiteral("application/octet-stream");
}

QString entityTag(qint64 size, double mtimeUTC, const QString &path)
{
    return md5Hex(QString::number(size) + u':' + formatFloat(mtimeUTC, 10) + u':' + path);
}

QString entityTagOf(const QString &path)
{
    const QFileInfo fi(path);
    return entityTag(fi.size(), fileTimeUTC(path), fi.absoluteFilePath());
}

QByteArray encodeDispositionName(const QString &name)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = name.toUtf8();
    QByteArray r;
    r.reserve(utf8.size() * 3);
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 32 || b >= 128 || QByteArrayView("\"#%&',:;<>?").contains(ch)) {
            r += '%';
            r += hex[b >> 4];
            r += hex[b & 15];
        } else {
            r += ch;
        }
    }
    return r;
}

QByteArray contentDisposition(const QString &name, bool inlineOpen)
{
    const QByteArray enc = encodeDispositionName(name);
    return (inlineOpen ? QByteArray() : QByteArray("attachment; ")) + "filename*=UTF-8''" + enc
        + "; filename=" + enc;
}

bool ifNoneMatch(const QString &header, const QString &tag)
{
    QString h = header.trimmed();
    if (h.isEmpty() || tag.isEmpty())
        return false;
    if (h == tag)
        return true;
    return h.size() == tag.size() + 2 && h.startsWith(u'"') && h.endsWith(u'"') && h.mid(1, tag.size()) == tag;
}

void serveFile(TconnData &cd, Tfile &node)
{
    ThttpConn &conn = *cd.conn;
    Tserve &s = serve();
    // 1. Conditional request.
    const QString tag = entityTagOf(node.resource);
    if (ifNoneMatch(conn.getHeader(QByteArrayView("If-None-Match")), tag)) {
        conn.reply.mode = HRM_NOT_MODIFIED;
        return;
    }
    conn.addHeader(QByteArray("ETag: ") + tag.toLatin1(), true);
    conn.addHeader(QByteArray("Last-Modified: ") + httpDate(fileTimeUTC(node.resource)).toLatin1(), true);
    // 2. Counting, and the download limits for counted transfers.
    cd.countAsDownload = node.shouldCountAsDownload();
    if (cd.countAsDownload && !s.admission().allowDownload(cd))
        return;
    // 3-4. The body.
    cd.etaSpeed = 0;
    const QString type = contentTypeFor(node.name, opts().mimeTypes);
    conn.reply.contentType = type.toUtf8();
    conn.reply.bodyMode = RBM_FILE;
    conn.reply.bodyFile = node.resource;
    cd.downloadingWhat = DW_FILE;
    cd.fileXferStart = now();
    // 6. Inline or saved.
    const bool inlineOpen = matchFileMask(opts().openInBrowser, node.name)
        || (opts().inBrowserIfMime && type != u"application/octet-stream");
    // 7. The script may look at the name; the header keeps lastFN.
    s.events().run(QStringLiteral("download name"), &cd);
    // 8.
    if (!(s.switches.noContentDisposition && inlineOpen))
        conn.addHeader("Content-Disposition: " + contentDisposition(cd.lastFN, inlineOpen), true);
}

void downloadCompleted(TconnData &cd)
{
    Tserve &s = serve();
    if (cd.countAsDownload)
        s.counters().increment(QStringLiteral("downloads-total"));
    for (const char *w : wgetWithBug)
        if (sameText(cd.agent, QString::fromLatin1(w))) {
            cd.disconnect(QStringLiteral("wget bug workaround (consider updating wget)"));
            break;
        }
    Tfile *f = cd.FlastFile.data();
    markTreeModified(f);
    if (cd.downloadingWhat == DW_FILE && f)
        f->setDLcount(f->DLcount() + 1); // kept by disk path for temporary nodes
    if (!cd.fullDLlogged && opts().logFullDownloads) {
        cd.fullDLlogged = true;
        add2log(QStringLiteral("Fully downloaded - ") + cd.lastFN, cd.conn, LK_DOWNLOAD);
    }
    if (cd.countAsDownload)
        s.events().run(QStringLiteral("download completed"), &cd);
}
