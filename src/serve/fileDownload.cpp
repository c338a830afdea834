#include "serve/fileDownload.h"
#include "serve/fileName.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "log/log.h"
#include "serve/connData.h"
#include "serve/fileCache.h"
#include "serve/logPeer.h"
#include "serve/pageReply.h"
#include "serve/protectiveHeaders.h"
#include "serve/serve.h"
#include "serve/treeAccess.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/format.h"
#include "util/masks.h"
#include "vfs/diskEntry.h"

#include <QFileInfo>
#include <QHash>

#include <cstring>

using namespace Qt::StringLiterals;

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

namespace {

// Whether every mask is made of "*.ext" pieces with a one-part extension:
// then the type depends only on what follows the name's last dot.
bool onlyExtensionMasks(const QStringList &userPairs)
{
    const auto simple = [](QStringView mask) {
        for (QStringView piece : mask.split(u';'))
            if (piece.size() < 3 || !piece.startsWith(u"*.") || piece.mid(2).contains(u'.')
                || piece.mid(2).contains(u'*') || piece.mid(2).contains(u'?') || piece.mid(2).contains(u'\\'))
                return false;
        return true;
    };
    for (qsizetype i = 0; i + 1 < userPairs.size(); i += 2)
        if (!simple(userPairs[i]))
            return false;
    for (const TmimeEntry &e : builtinTypes)
        if (!simple(QStringView(e.mask)))
            return false;
    return true;
}

QString lookUpContentType(const QString &name, const QStringList &userPairs)
{
    for (qsizetype i = 0; i + 1 < userPairs.size(); i += 2)
        if (matchFileMask(userPairs[i], name))
            return userPairs[i + 1];
    for (const TmimeEntry &e : builtinTypes)
        if (matchFileMask(QStringView(e.mask), name))
            return QString::fromLatin1(e.type);
    return QStringLiteral("application/octet-stream");
}

} // namespace

QString contentTypeFor(const QString &name, const QStringList &userPairs)
{
    // Answers by extension are remembered while the pairs stay the same.
    static QStringList memoFor;
    static bool byExtension = false;
    static QHash<QString, QString> memo;
    // The extension of the previous request, compared without a copy.
    static QString lastExtension;
    static QString lastType;
    if (userPairs != memoFor || memo.isEmpty()) {
        memoFor = userPairs;
        memo.clear();
        lastType = QString();
        byExtension = onlyExtensionMasks(userPairs);
    }
    if (!byExtension)
        return lookUpContentType(name, userPairs);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QStringView extension = dot < 0 ? QStringView() : QStringView(name).sliced(dot);
    if (!lastType.isNull() && extension == lastExtension)
        return lastType;
    lastExtension = extension.toString();
    const auto it = memo.constFind(lastExtension);
    if (it != memo.cend()) {
        lastType = *it;
    } else {
        if (memo.size() >= 1024)
            memo.clear();
        lastType = lookUpContentType(name, userPairs);
        memo.insert(lastExtension, lastType);
    }
    return lastType;
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

QString entityTagOf(const QString &path, const DiskEntryInfo &info)
{
    if (info.kind != DiskEntry::File)
        return entityTagOf(path);
    if (!path.startsWith(u'/'))
        return entityTag(info.size, utcDayCount(info.mtimeMs), QFileInfo(path).absoluteFilePath());
    // A tag changes only with the size and the time: remembered per path,
    // which spares a hash per request for the files asked for often.
    struct Tknown
    {
        qint64 size;
        qint64 mtimeMs;
        QString tag;
    };
    static QHash<QString, Tknown> known;
    const auto it = known.constFind(path);
    if (it != known.cend() && it->size == info.size && it->mtimeMs == info.mtimeMs)
        return it->tag;
    if (known.size() >= 4096)
        known.clear();
    const QString tag = entityTag(info.size, utcDayCount(info.mtimeMs), QFileInfo(path).absoluteFilePath());
    known.insert(path, {info.size, info.mtimeMs, tag});
    return tag;
}

QByteArray httpDateOf(qint64 msSinceEpoch)
{
    const qint64 secs = msSinceEpoch >= 0 ? msSinceEpoch / 1000 : -1;
    // The file asked for again has the same time: its text is kept.
    static qint64 lastSecs = -1;
    static QByteArray lastText;
    if (secs >= 0 && secs == lastSecs)
        return lastText;
    const qint64 days = secs / 86400;
    // Civil date from the day number (Howard Hinnant's algorithm), years 1970-9999.
    const qint64 z = days + 719468;
    const qint64 era = z / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const qint64 year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (secs < 0 || year > 9999)
        return httpDate(utcDayCount(msSinceEpoch)).toLatin1();
    static const char dayNames[7][4] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static const char monthNames[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int sod = int(secs % 86400);
    char out[30];
    auto two = [&out](int at, int v) {
        out[at] = char('0' + v / 10);
        out[at + 1] = char('0' + v % 10);
    };
    memcpy(out, dayNames[days % 7], 3);
    out[3] = ',';
    out[4] = ' ';
    two(5, day);
    out[7] = ' ';
    memcpy(out + 8, monthNames[month - 1], 3);
    out[11] = ' ';
    two(12, int(year / 100));
    two(14, int(year % 100));
    out[16] = ' ';
    two(17, sod / 3600);
    out[19] = ':';
    two(20, sod / 60 % 60);
    out[22] = ':';
    two(23, sod % 60);
    memcpy(out + 25, " GMT", 4);
    lastSecs = secs;
    lastText = QByteArray(out, 29);
    return lastText;
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
    // The same few names come again and again: their values are remembered.
    static QHash<QString, QByteArray> known[2];
    QHash<QString, QByteArray> &memo = known[inlineOpen ? 1 : 0];
    const auto it = memo.constFind(name);
    if (it != memo.cend())
        return *it;
    const QByteArray enc = encodeDispositionName(name);
    const QByteArray value = (inlineOpen ? QByteArray() : QByteArray("attachment; ")) + "filename*=UTF-8''" + enc
        + "; filename=" + enc;
    if (memo.size() >= 1024)
        memo.clear();
    memo.insert(name, value);
    return value;
}

namespace {

// Whether the name opens in the browser.
bool opensInBrowser(const QString &mask, const QString &name)
{
    static TfileMaskMemo memo;
    return memo.matches(mask, name);
}

// A text's bytes, converted again only when the text changes: a busy
// server sends the same type and tag over and over.
class TlastBytes
{
public:
    const QByteArray &of(const QString &text)
    {
        if (bytes.isNull() || text != last) {
            last = text;
            bytes = text.toUtf8();
        }
        return bytes;
    }

private:
    QString last;
    QByteArray bytes;
};

} // namespace

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
    serveFile(cd, node, diskEntryInfo(node.resource));
}

void serveFile(TconnData &cd, Tfile &node, const DiskEntryInfo &disk)
{
    ThttpConn &conn = *cd.conn;
    Tserve &s = serve();
    sandboxFile(conn.reply(), node, opts().sandboxAllFiles);
    // A conditional request for the copy the client has.
    const QString tag = entityTagOf(node.resource, disk);
    // Sent with a 304 as well: it names the copy the client may keep using.
    static TlastBytes tagBytes;
    conn.addHeader("ETag"_ba, tagBytes.of(tag), true);
    if (ifNoneMatch(conn.getHeader("If-None-Match"_ba), tag)) {
        conn.reply().mode = HRM_NOT_MODIFIED;
        return;
    }
    conn.addHeader("Last-Modified"_ba,
                   disk.kind == DiskEntry::File ? httpDateOf(disk.mtimeMs)
                                                : httpDate(fileTimeUTC(node.resource)).toLatin1(),
                   true);
    // Counting, and the download limits for counted transfers.
    cd.transfer.countAsDownload = node.shouldCountAsDownload();
    if (cd.transfer.countAsDownload && !s.admission().allowDownload(cd))
        return;
    // The body: from the small-file cache, else sent from the file.
    const QString type = contentTypeFor(node.name, opts().mimeTypes);
    static TlastBytes typeBytes;
    conn.reply().contentType = typeBytes.of(type);
    conn.reply().bodyFile = node.resource;
    conn.reply().body = s.fileCache().contents(node.resource, disk);
    conn.reply().bodyMode = conn.reply().body.isNull() ? RBM_FILE : RBM_STRING;
    cd.transfer.downloadingWhat = DW_FILE;
    cd.transfer.started = now();
    // Opened in the browser or saved.
    const bool inlineOpen = opensInBrowser(opts().openInBrowser, node.name)
        || (opts().inBrowserIfMime && type != u"application/octet-stream");
    // The script may give the name the file is saved under: a plain name,
    // confined like a visitor's; anything else keeps the item's own.
    const QString scripted = cleanScriptName(s.events().run(QStringLiteral("download name"), &cd));
    if (validFilename(scripted))
        cd.transfer.lastFileName = scripted;
    // The name the file is saved under.
    if (!(s.switches.noContentDisposition && inlineOpen))
        conn.addHeader("Content-Disposition"_ba, contentDisposition(cd.transfer.lastFileName, inlineOpen), true);
}

void downloadCompleted(TconnData &cd)
{
    Tserve &s = serve();
    if (cd.transfer.countAsDownload)
        s.counters().increment(QStringLiteral("downloads-total"));
    for (const char *w : wgetWithBug)
        if (sameText(cd.request.agent, w)) {
            cd.disconnect(QStringLiteral("wget bug workaround (consider updating wget)"));
            break;
        }
    Tfile *f = cd.transfer.lastFile.data();
    markCountersChanged(f);
    if (cd.transfer.downloadingWhat == DW_FILE && f)
        f->countDownload();
    // An archive's entries carry their disk paths, not nodes.
    if (cd.transfer.downloadingWhat == DW_ARCHIVE)
        for (const QString &path : std::as_const(cd.transfer.archivePaths))
            countDiskDownload(path);
    if (cd.transfer.countAsDownload)
        s.events().run(QStringLiteral("download completed"), &cd);
}
