// From a node to its URL path and absolute address.

#include "vfs/file.h"
#include "vfs/tempPath.h"
#include "vfs/vfs.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

namespace {

QString encodeItem(const TvfsSettings &s, const QString &text, bool fullEncode)
{
    return encodeURL(text, s.encodeNonAscii, fullEncode || s.encodeSpaces);
}

} // namespace

QString Tfile::relativeURL(bool fullEncode) const
{
    QString u;
    appendRelativeURL(u, fullEncode);
    return u;
}

void Tfile::appendRelativeURL(QString &out, bool fullEncode) const
{
    const TvfsSettings &s = vfsSettings();
    if (isLink()) {
        QString target = resource;
        target.replace(QLatin1String("%ip%"), s.defaultIP, Qt::CaseInsensitive);
        out += target;
        return;
    }
    if (isRoot())
        return;
    appendEncodedURL(out, name, s.encodeNonAscii, fullEncode || s.encodeSpaces);
    if (isFolder())
        out += u'/';
}

QString Tfile::pathTill(const Tfile *root, QChar delim) const
{
    if (this == root || (!root && isRoot()))
        return {};
    QString result = name;
    if (isTemp() && parent()) {
        result = tempPathBelowFolder(*this);
        if (delim != u'/')
            result.replace(u'/', delim);
    }
    for (const Tfile *p = parent(); p && p != root && !p->isRoot(); p = p->parent())
        result = p->name + delim + result;
    return result;
}

QString Tfile::url(bool fullEncode) const
{
    if (isLink())
        return relativeURL(fullEncode);
    if (isRoot())
        return QStringLiteral("/");
    // "/" is never encoded, so the whole path can be encoded at once.
    QString u = u'/' + encodeItem(vfsSettings(), pathTill(nullptr, u'/'), fullEncode);
    if (isFolder())
        u += u'/';
    return u;
}

QString Tfile::parentURL() const
{
    if (isRoot())
        return {};
    const QString u = url(true);
    if (u.size() < 2)
        return u;
    const qsizetype cut = u.lastIndexOf(u'/', u.size() - 2);
    return cut < 0 ? QString() : u.left(cut + 1);
}

QString Tfile::getFolder() const
{
    QString result;
    for (const Tfile *p = parent(); p && !p->isRoot(); p = p->parent())
        result = p->name + u'/' + result;
    result.prepend(u'/');
    if (isTemp() && parent()) {
        const QString below = tempPathBelowFolder(*this);
        const qsizetype cut = below.lastIndexOf(u'/');
        if (cut > 0)
            result += below.left(cut + 1);
    }
    return result;
}

QString Tfile::fullURL(const QString &ip) const
{
    const TvfsSettings &s = vfsSettings();
    QString result = url(false);
    if (isLink())
        return result;
    if (!s.serverPort.isEmpty() && s.serverPort != u"80" && !ip.contains(u':') && !s.dontIncludePortInUrl)
        result.prepend(u':' + s.serverPort);
    QString host = ip.isEmpty() ? s.defaultIP : ip;
    // A bare IPv6 address goes in brackets, without its zone; one that is
    // already bracketed (a Host header) is taken as it is.
    if (host.count(u':') >= 2 && !host.startsWith(u'[')) {
        const qsizetype zone = host.indexOf(u'%');
        if (zone >= 0)
            host.truncate(zone);
        host = u'[' + host + u']';
    }
    return (s.httpsUrl ? QStringLiteral("https://") : QStringLiteral("http://")) + host + result;
}

QString Tfile::fullURL(const QString &ip, const QString &user, const QString &pwd) const
{
    const TvfsSettings &s = vfsSettings();
    const QString query = QStringLiteral("mode=auth&u=") + encodeItem(s, user, false);
    return fullURL(ip) + u'?' + query + QStringLiteral("&s2=") + sha256Hex(query + pwd);
}
